#include "controls/zeldlgs.h"

#include <algorithm>
#include <filesystem>
#include <strings.h>

#include "controls/zelclass.h"
#include "controls/zelform.h"
#include "controls/zelgraph.h"
#include "controls/zellabel.h"
#include "controls/zelprocs.h"
#include "platform/system/files.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/forms.h"

namespace fs = std::filesystem;

// ---- container component ------------------------------------------------------------------------------

TZelContainerComponent::TZelContainerComponent(plat::TComponent* owner) : TZelImageUser(owner) {}

void TZelContainerComponent::Notification(plat::TComponent* c, plat::TOperation op) {
  TZelCustomComponent::Notification(c, op);
  if (op == plat::opRemove) image_.ListRemoved(c);
}

// ---- base dialog --------------------------------------------------------------------------------------

TZelBaseDialog::TZelBaseDialog(plat::TComponent* owner)
    : TZelContainerComponent(owner), hints_(std::make_unique<plat::TStringList>()) {}

TZelBaseDialog::~TZelBaseDialog() = default;

void TZelBaseDialog::PrepareWindow(plat::TForm* window, plat::TButton* custom, TZelFormStyler* styler, TZelBack* back,
                                   const std::string& defaultTitle) {
  window->SetCaption(captionTitle_.empty() ? defaultTitle : captionTitle_);
  if (custom) {
    if (!customButton_.empty()) {
      custom->SetCaption(customButton_);
      custom->OnClick = OnCustomClick;
      custom->Show();
    } else {
      custom->Hide();
    }
  }
  if (OnCustomize) OnCustomize(window);
  int kind = 0;
  switch (IsDesigning() ? brScreenWorkArea : relatePos_) {
    case brScreen: kind = 0; break;
    case brScreenWorkArea: kind = 1; break;
    case brMainForm: kind = 2; break;
    case brActiveWindow: kind = 3; break;
  }
  const plat::TRect ref = GetReferenceRect(kind);
  if (position_ != bpCustom) PlaceWindow(*window, ref, int(position_));
  if (effect_ != deNone) {
    const plat::TPoint start{ref.Left + ref.Width() / 2, ref.Top + ref.Height() / 2};
    ZoomWindow(*window, start, effect_ == deExplodeExt ? 0 : 20, ZelApplication ? ZelApplication->AnimationDelay() : 0);
  }
  if (styler) {
    if (captionFill_) {
      styler->SetColors(colors_);
      styler->SetEnabled(true);
      styler->Hook();
    }
    styler->SetOptions(styler->Options() | fsCheckSystemGradient);
  }
  if (back && ImageList()) {
    back->SetImageList(ImageList());
    back->SetListIndex(ListIndex());
    back->SetImageIndex(ImageIndex());
    back->SetEnabled(true);
    back->Hook();
  }
}

// ---- directory list -----------------------------------------------------------------------------------

TZelDirectoryListBox::TZelDirectoryListBox(plat::TComponent* owner) : plat::TListBox(owner) { SetItemHeight(17); }

std::string TZelDirectoryListBox::ItemPath(int i) const {
  return i >= 0 && i < int(paths_.size()) ? paths_[size_t(i)] : std::string();
}

void TZelDirectoryListBox::SetDirectory(const std::string& path) {
  std::error_code ec;
  fs::path p = path.empty() ? fs::current_path(ec) : fs::path(path);
  p = fs::absolute(p, ec).lexically_normal();
  // The nearest folder that exists.
  while (!(fs::is_directory(p, ec) && !ec) && p.has_relative_path()) {
    ec.clear();
    p = p.parent_path();
  }
  std::string dir = p.string();
  if (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  const bool changed = dir != directory_;
  directory_ = dir;
  Fill();
  if (changed && OnChange) OnChange(this);
}

void TZelDirectoryListBox::Update() { Fill(); }

void TZelDirectoryListBox::Fill() {
  paths_.clear();
  plat::TStrings* items = Items();
  items->BeginUpdate();
  items->Clear();
  auto add = [&](int level, const std::string& name, const std::string& full) {
    items->Add(std::string(size_t(level) * 2, ' ') + name);
    paths_.push_back(full);
  };
  const fs::path dir(directory_.empty() ? "/" : directory_);
  add(0, "/", "/");
  int level = 0;
  fs::path walked("/");
  for (const fs::path& part : dir.relative_path()) {
    if (part.empty()) continue;
    walked /= part;
    add(++level, part.string(), walked.string());
  }
  currentIndex_ = int(paths_.size()) - 1;
  std::vector<std::string> subs;
  std::error_code ec;
  for (fs::directory_iterator it(dir, fs::directory_options::skip_permission_denied, ec), end; !ec && it != end;
       it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.empty() || name[0] == '.') continue;
    std::error_code e2;
    if (it->is_directory(e2)) subs.push_back(name);
  }
  std::sort(subs.begin(), subs.end(),
            [](const std::string& a, const std::string& b) { return strcasecmp(a.c_str(), b.c_str()) < 0; });
  for (const auto& s : subs) add(level + 1, s, (dir / s).string());
  items->EndUpdate();
  SetItemIndex(currentIndex_);
  if (dirLabel_) dirLabel_->SetCaption(ShortenPath(directory_, 30));
}

void TZelDirectoryListBox::DblClick() {
  plat::TListBox::DblClick();
  const int i = ItemIndex();
  if (i >= 0 && i < int(paths_.size())) SetDirectory(paths_[size_t(i)]);
}

void TZelDirectoryListBox::Notification(plat::TComponent* c, plat::TOperation op) {
  plat::TListBox::Notification(c, op);
  if (op == plat::opRemove && c == dirLabel_) dirLabel_ = nullptr;
}

// ---- volumes ------------------------------------------------------------------------------------------

TZelDriveComboBox::TZelDriveComboBox(plat::TComponent* owner) : plat::TComboBox(owner) {
  SetStyle(plat::csDropDownList);
  volumes_ = MountedVolumeRoots();
  if (std::find(volumes_.begin(), volumes_.end(), "/") == volumes_.end()) volumes_.push_back("/");
  std::sort(volumes_.begin(), volumes_.end(), [](const std::string& a, const std::string& b) {
    if (a == "/" || b == "/") return a == "/" && b != "/";
    return a < b;
  });
  volumes_.erase(std::unique(volumes_.begin(), volumes_.end()), volumes_.end());
  for (const auto& v : volumes_) Items()->Add(v);
}

void TZelDriveComboBox::SelectVolumeOf(const std::string& path) {
  int best = -1;
  size_t bestLength = 0;
  for (size_t i = 0; i < volumes_.size(); ++i) {
    const std::string& v = volumes_[i];
    const bool under =
        v == "/" || path == v || (path.size() > v.size() && path.compare(0, v.size(), v) == 0 && path[v.size()] == '/');
    if (under && v.size() >= bestLength) {
      best = int(i);
      bestLength = v.size();
    }
  }
  if (best < 0) return;
  volume_ = volumes_[size_t(best)];
  SetItemIndex(best);
}

void TZelDriveComboBox::SetDirList(TZelDirectoryListBox* v) {
  if (dirList_) dirList_->RemoveFreeNotification(this);
  dirList_ = v;
  if (v) v->FreeNotification(this);
}

void TZelDriveComboBox::Change() {
  plat::TComboBox::Change();
  const int i = ItemIndex();
  if (i < 0 || i >= int(volumes_.size())) return;
  volume_ = volumes_[size_t(i)];
  if (dirList_) dirList_->SetDirectory(volume_);
}

void TZelDriveComboBox::Notification(plat::TComponent* c, plat::TOperation op) {
  plat::TComboBox::Notification(c, op);
  if (op == plat::opRemove && c == dirList_) dirList_ = nullptr;
}

// ---- input query --------------------------------------------------------------------------------------

std::function<bool(const std::string&, const std::string&, std::string&)> ZelInputQueryHook;

bool ZelInputQuery(const std::string& caption, const std::string& prompt, std::string& value) {
  if (ZelInputQueryHook) return ZelInputQueryHook(caption, prompt, value);
  auto* form = plat::NewForm<plat::TForm>(nullptr);
  struct Free {
    plat::TForm* f;
    ~Free() { f->Free(); }
  } freeForm{form};
  form->SetBorderStyle(plat::bsDialog);
  form->SetCaption(caption);
  form->SetClientWidth(300);
  form->SetClientHeight(92);
  auto* label = new plat::TLabel(form);
  label->SetParent(form);
  label->SetBounds(8, 8, 284, 13);
  label->SetCaption(prompt);
  auto* edit = new plat::TEdit(form);
  edit->SetParent(form);
  edit->SetBounds(8, 26, 284, 21);
  edit->SetText(value);
  auto* ok = new plat::TButton(form);
  ok->SetParent(form);
  ok->SetBounds(136, 58, 75, 25);
  ok->SetCaption("OK");
  ok->SetModalResult(plat::mrOk);
  ok->SetDefault(true);
  auto* cancel = new plat::TButton(form);
  cancel->SetParent(form);
  cancel->SetBounds(217, 58, 75, 25);
  cancel->SetCaption("Cancel");
  cancel->SetModalResult(plat::mrCancel);
  cancel->SetCancel(true);
  form->SetActiveControl(edit);
  form->SetPosition(plat::poScreenCenter);
  if (form->ShowModal() != plat::mrOk) return false;
  value = edit->Text();
  return true;
}

// ---- folder dialog ------------------------------------------------------------------------------------

TZelDirDlg::TZelDirDlg(plat::TComponent* owner) : TZelBaseDialog(owner) {}

namespace {

plat::TButton* MakeButton(plat::TForm* f, const std::string& name, int l, int t, const std::string& caption) {
  auto* b = new plat::TButton(f);
  b->SetName(name);
  b->SetParent(f);
  b->SetBounds(l, t, 86, 24);
  b->SetCaption(caption);
  return b;
}

}  // namespace

bool TZelDirDlg::Execute() {
  auto* form = plat::NewForm<plat::TForm>(nullptr);
  struct Close {
    TZelDirDlg* d;
    plat::TForm* f;
    ~Close() {
      d->window_ = nullptr;
      d->dirList_ = nullptr;
      d->driveCombo_ = nullptr;
      f->Free();
    }
  } close{this, form};
  form->SetBorderStyle(plat::bsDialog);
  form->Font()->SetName("MS Sans Serif");
  form->Font()->SetHeight(-12);
  form->Font()->SetColor(plat::clWindowText);

  plat::TButton* ok = MakeButton(form, "OKButton", 302, 20, "OK");
  ok->SetModalResult(plat::mrOk);
  ok->SetDefault(true);
  plat::TButton* cancel = MakeButton(form, "CancelButton", 302, 47, "Cancel");
  cancel->SetModalResult(plat::mrCancel);
  cancel->SetCancel(true);
  plat::TButton* custom = MakeButton(form, "CustomButton", 302, 81, "");
  custom->Hide();
  plat::TButton* newDir = MakeButton(form, "NewFolderButton", 302, 225, "");
  newDir->Hide();
  if (allowNewDir_) {
    newDir->SetCaption("&New Folder");
    newDir->OnClick = [this](plat::TObject*) { NewFolder(); };
    newDir->Show();
  }

  auto* dirLabel = new plat::TLabel(form);
  dirLabel->SetName("DirLabel");
  dirLabel->SetParent(form);
  dirLabel->SetAutoSize(false);
  dirLabel->SetBounds(35, 5, 186, 13);
  dirLabel->Font()->SetColor(plat::clNavy);
  dirLabel->SetTransparent(true);
  dirLabel->SetVisible(showLabelDir_);

  auto* list = new TZelDirectoryListBox(form);
  list->SetName("DirList");
  list->SetParent(form);
  list->SetBounds(6, 20, 290, 229);
  list->SetDirLabel(dirLabel);

  auto* pathLabel = new TZelSimpleLabel(form);
  pathLabel->SetName("PathLabel");
  pathLabel->SetParent(form);
  pathLabel->SetBounds(6, 5, pathLabel->Width(), pathLabel->Height());
  pathLabel->SetCaption("&Path:");
  pathLabel->SetFocusControl(list);

  auto* driveLabel = new plat::TLabel(form);
  driveLabel->SetName("DriveLabel");
  driveLabel->SetParent(form);
  driveLabel->SetBounds(8, 253, driveLabel->Width(), driveLabel->Height());
  driveLabel->SetCaption("&Drive:");
  driveLabel->SetTransparent(true);

  auto* drives = new TZelDriveComboBox(form);
  drives->SetName("DriveCombo");
  drives->SetParent(form);
  drives->SetBounds(6, 267, 290, 19);
  drives->SetDirList(list);
  driveLabel->SetFocusControl(drives);

  list->SetTabOrder(0);
  drives->SetTabOrder(1);
  ok->SetTabOrder(2);
  cancel->SetTabOrder(3);
  custom->SetTabOrder(4);
  newDir->SetTabOrder(5);
  form->SetActiveControl(list);

  auto* styler = new TZelFormStyler(form);
  styler->SetEnabled(false);
  styler->SetOptions(fsAdjustRect | fsUseDefaultFont | fsUseFormCaption);
  auto* back = new TZelBack(form);
  back->SetEnabled(false);

  form->SetClientWidth(ok->Left() + ok->Width() + 7);
  form->SetClientHeight(drives->Top() + drives->Height() + 6);

  if (ShowHints() && Hints()->Count() > 0) {
    form->SetShowHint(true);
    plat::TControl* targets[] = {ok, custom, cancel, list, drives, newDir};
    for (int i = 0; i < Hints()->Count() && i < 6; ++i) targets[i]->SetHint(Hints()->Get(i));
  }

  // No drives here: the volume that holds the folder is the one offered.
  list->SetDirectory(path_);
  drives->SelectVolumeOf(list->Directory());

  window_ = form;
  dirList_ = list;
  driveCombo_ = drives;
  PrepareWindow(form, custom, styler, back, "Select Path...");
  if (form->ShowModal() != plat::mrOk) return false;
  // The folder as it is named: upper-casing it would name another folder here.
  path_ = list->Directory();
  return true;
}

void TZelDirDlg::NewFolder() {
  if (!dirList_ || dirList_->ItemIndex() < 0) return;
  const std::string item = dirList_->ItemPath(dirList_->ItemIndex());
  const std::string prompt = "Name: (" + ShortenPath(item, 36) + ")";
  std::string name;
  if (!ZelInputQuery("New Folder", prompt, name) || name.empty()) return;
  // A name, not a path: separators or dot names would create the folder somewhere else.
  const bool isName = name.find('/') == std::string::npos && name != "." && name != "..";
  const std::string folder = AddBackslash(dirList_->Directory()) + name;
  if (isName && plat::CreateDir(folder)) {
    dirList_->SetDirectory(folder);
    dirList_->Update();
    return;
  }
  if (OnFolderError) OnFolderError(this);
  else plat::MessageDlg("IO-Error!\rCould not create folder.", plat::mtWarning, plat::mbOKOnly);
}
