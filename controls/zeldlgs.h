#pragma once
// The kit's dialog components and the folder chooser. The chooser lists the current folder's
// ancestors and subfolders, and offers the mounted volumes where the old platform had drives.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "controls/zelctrls.h"
#include "platform/ui/stdctrls.h"
#include "platform/ui/strings.h"

namespace plat {
class TForm;
class TLabel;
}  // namespace plat
class TZelFormStyler;
class TZelBack;

enum TZelDlgPosRel { brScreen, brScreenWorkArea, brMainForm, brActiveWindow };
enum TZelDlgPosition {
  bpCustom,
  bpTopLeft,
  bpTopCenter,
  bpTopRight,
  bpCenterLeft,
  bpCenter,
  bpCenterRight,
  bpBottomLeft,
  bpBottomCenter,
  bpBottomRight
};
enum TZelDlgEffect { deNone, deExplode, deExplodeExt };

// A non-visual component with an image from an image list.
class TZelContainerComponent : public TZelImageUser<TZelCustomComponent> {
public:
  explicit TZelContainerComponent(plat::TComponent* owner);
  std::string ClassName() const override { return "TZelContainerComponent"; }

protected:
  void Notification(plat::TComponent* c, plat::TOperation op) override;
};

class TZelBaseDialog : public TZelContainerComponent {
public:
  explicit TZelBaseDialog(plat::TComponent* owner);
  ~TZelBaseDialog() override;

  const std::string& CaptionTitle() const { return captionTitle_; }
  void SetCaptionTitle(const std::string& v) { captionTitle_ = v; }
  const std::string& CustomButton() const { return customButton_; }
  void SetCustomButton(const std::string& v) { customButton_ = v; }
  TZelDlgEffect Effect() const { return effect_; }
  void SetEffect(TZelDlgEffect v) { effect_ = v; }
  plat::TStrings* Hints() const { return hints_.get(); }
  void SetHints(plat::TStrings* v) { hints_->Assign(v); }
  bool ShowHints() const { return showHints_; }
  void SetShowHints(bool v) { showHints_ = v; }
  bool CaptionFill() const { return captionFill_; }
  void SetCaptionFill(bool v) { captionFill_ = v; }
  uint8_t Colors() const { return colors_; }
  void SetColors(uint8_t v) { colors_ = v; }
  TZelDlgPosition Position() const { return position_; }
  void SetPosition(TZelDlgPosition v) { position_ = v; }
  TZelDlgPosRel RelatePos() const { return relatePos_; }
  void SetRelatePos(TZelDlgPosRel v) { relatePos_ = v; }
  // Told with the dialog's window before it shows.
  plat::TNotifyEvent OnCustomize;
  plat::TNotifyEvent OnCustomClick;
  plat::TNotifyEvent OnFolderError;

  virtual bool Execute() { return false; }
  std::string ClassName() const override { return "TZelBaseDialog"; }

protected:
  // What every kit dialog does before showing its window: title, custom button, the caller's
  // customising, placement, opening effect, caption colouring and background picture.
  void PrepareWindow(plat::TForm* window, plat::TButton* custom, TZelFormStyler* styler, TZelBack* back,
                     const std::string& defaultTitle);

private:
  std::string captionTitle_, customButton_;
  TZelDlgEffect effect_ = deNone;
  std::unique_ptr<plat::TStringList> hints_;
  bool showHints_ = true, captionFill_ = false;
  uint8_t colors_ = 32;
  TZelDlgPosition position_ = bpCenter;
  TZelDlgPosRel relatePos_ = brScreen;
};

// The folders on the way down to the current one, then its subfolders. A double click opens
// the folder of an item.
class TZelDirectoryListBox : public plat::TListBox {
public:
  explicit TZelDirectoryListBox(plat::TComponent* owner);

  // The current folder, without a trailing separator (except the root).
  const std::string& Directory() const { return directory_; }
  // A folder that does not exist leaves its nearest existing ancestor current.
  void SetDirectory(const std::string& path);
  // The folder of item i (empty outside).
  std::string ItemPath(int i) const;
  // Lists the current folder again.
  void Update() override;
  // Shows the current folder (when set).
  plat::TLabel* DirLabel() const { return dirLabel_; }
  void SetDirLabel(plat::TLabel* v) { dirLabel_ = v; }
  plat::TNotifyEvent OnChange;
  std::string ClassName() const override { return "TZelDirectoryListBox"; }

protected:
  void DblClick() override;
  void Notification(plat::TComponent* c, plat::TOperation op) override;

private:
  void Fill();
  std::string directory_;
  std::vector<std::string> paths_;
  int currentIndex_ = 0;
  plat::TLabel* dirLabel_ = nullptr;
};

// The root folders of the volumes mounted and ready, as the system reports them (zeldlgs_qt.cpp).
std::vector<std::string> MountedVolumeRoots();

// The mounted volumes; choosing one opens its root in the directory list.
class TZelDriveComboBox : public plat::TComboBox {
public:
  explicit TZelDriveComboBox(plat::TComponent* owner);
  // The mount points, "/" first.
  const std::vector<std::string>& Volumes() const { return volumes_; }
  // Selects the volume that holds path (the longest mount point it lies under).
  void SelectVolumeOf(const std::string& path);
  const std::string& Volume() const { return volume_; }
  TZelDirectoryListBox* DirList() const { return dirList_; }
  void SetDirList(TZelDirectoryListBox* v);
  std::string ClassName() const override { return "TZelDriveComboBox"; }

protected:
  void Change() override;
  void Notification(plat::TComponent* c, plat::TOperation op) override;

private:
  std::vector<std::string> volumes_;
  std::string volume_;
  TZelDirectoryListBox* dirList_ = nullptr;
};

// Asks for a line of text; true when confirmed (value then holds the answer).
bool ZelInputQuery(const std::string& caption, const std::string& prompt, std::string& value);
// Tests answer here instead of a person: the same contract as ZelInputQuery.
extern std::function<bool(const std::string& caption, const std::string& prompt, std::string& value)> ZelInputQueryHook;

class TZelDirDlg : public TZelBaseDialog {
public:
  explicit TZelDirDlg(plat::TComponent* owner);

  // Written before Execute, read after; never stored with the form.
  const std::string& Path() const { return path_; }
  void SetPath(const std::string& v) { path_ = v; }
  bool AllowNewDir() const { return allowNewDir_; }
  void SetAllowNewDir(bool v) { allowNewDir_ = v; }
  bool ShowLabelDir() const { return showLabelDir_; }
  void SetShowLabelDir(bool v) { showLabelDir_ = v; }

  // Shows the chooser modally; true when closed with OK (Path then holds the folder, its case
  // kept), false otherwise (Path untouched).
  bool Execute() override;
  // While the window is open.
  plat::TForm* Window() const { return window_; }
  TZelDirectoryListBox* DirectoryList() const { return dirList_; }
  TZelDriveComboBox* DriveCombo() const { return driveCombo_; }
  // The new-folder step: asks for a name and creates the folder under the current one.
  void NewFolder();
  std::string ClassName() const override { return "TZelDirDlg"; }

private:
  std::string path_;
  bool allowNewDir_ = false, showLabelDir_ = false;
  plat::TForm* window_ = nullptr;
  TZelDirectoryListBox* dirList_ = nullptr;
  TZelDriveComboBox* driveCombo_ = nullptr;
};
