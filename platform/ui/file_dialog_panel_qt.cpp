#include "platform/ui/file_dialog_panel_qt.h"

#include <QFileDialog>
#include <QGridLayout>
#include <QPushButton>

#include "platform/ui/native_qt.h"

namespace plat {

FileDialogPanel::FileDialogPanel(QFileDialog& dialog, const FileRequest& r) {
  if (!r.panel || !WidgetOf(r.panel)) return;
  auto* grid = qobject_cast<QGridLayout*>(dialog.layout());
  if (!grid) return;
  widget_ = WidgetOf(r.panel);
  widget_->setParent(&dialog);
  // The panel keeps the size its controls were laid out for.
  widget_->setFixedSize(r.panel->Width(), r.panel->Height());
  // Enter belongs to the dialog's own button, not to a button of the panel that had the focus once.
  for (QPushButton* b : widget_->findChildren<QPushButton*>()) b->setAutoDefault(false);
  if (r.panelBeside) grid->addWidget(widget_, 0, grid->columnCount(), grid->rowCount(), 1, Qt::AlignTop);
  else grid->addWidget(widget_, grid->rowCount(), 0, 1, grid->columnCount(), Qt::AlignLeft);
  widget_->show();
}

FileDialogPanel::~FileDialogPanel() {
  if (!widget_) return;
  widget_->hide();
  if (QLayout* l = widget_->parentWidget() ? widget_->parentWidget()->layout() : nullptr) l->removeWidget(widget_);
  widget_->setParent(nullptr);
  widget_->setMinimumSize(0, 0);
  widget_->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
}

}  // namespace plat
