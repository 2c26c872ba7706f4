#pragma once
// A caller's panel inside Qt's file dialog (private to the framework stand-in).
#include <QPointer>

#include "platform/ui/dialogs.h"

class QFileDialog;
class QWidget;

namespace plat {

// Puts the request's panel into the dialog's layout for as long as this lives, and gives the
// panel's widget back (hidden, without a parent) before the dialog can take it down with itself.
class FileDialogPanel {
public:
  FileDialogPanel(QFileDialog& dialog, const FileRequest& r);
  ~FileDialogPanel();
  FileDialogPanel(const FileDialogPanel&) = delete;
  FileDialogPanel& operator=(const FileDialogPanel&) = delete;

private:
  QPointer<QWidget> widget_;
};

}  // namespace plat
