#pragma once
// Menus. A menu item with items of its own opens a submenu; its OnClick fires as the submenu
// opens (where the program enables and checks the items). Shortcuts are shown beside the
// caption and handled by the forms' key dispatch (an item answers its shortcut only while it and
// its parents are enabled).
#include <functional>
#include <string>
#include <vector>

#include "platform/system/component.h"
#include "platform/ui/controls.h"

namespace plat {

class MenuBarWidget;

using TShortCut = uint16_t;
constexpr TShortCut scShift = 0x2000, scCtrl = 0x4000, scAlt = 0x8000, scNone = 0;
TShortCut ShortCut(uint16_t key, TShiftState shift);
void ShortCutToKey(TShortCut sc, uint16_t& key, TShiftState& shift);
// "Ctrl+I", "Shift+F6", "Alt+F4", "Ins", "Del", ...; 0 for text that names no key.
TShortCut TextToShortCut(const std::string& text);
std::string ShortCutToText(TShortCut sc);
// Removes the "&" marks of a caption ("&&" stays one "&").
std::string StripHotkey(const std::string& caption);
// The accelerator letter of a caption (upper case), 0 when it has none.
char GetHotkey(const std::string& caption);

class TMenu;

class TMenuItem : public TComponent {
public:
  explicit TMenuItem(TComponent* owner);
  ~TMenuItem() override;

  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& c);  // "-" is a separator
  bool Checked() const { return checked_; }
  void SetChecked(bool v);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool v);
  bool Visible() const { return visible_; }
  void SetVisible(bool v);
  TShortCut ShortCut() const { return shortCut_; }
  void SetShortCut(TShortCut sc);
  bool RadioItem() const { return radioItem_; }
  void SetRadioItem(bool v);
  int GroupIndex() const { return groupIndex_; }
  void SetGroupIndex(int g) { groupIndex_ = g; }
  bool AutoCheck() const { return autoCheck_; }
  void SetAutoCheck(bool v) { autoCheck_ = v; }
  bool Default() const { return default_; }
  void SetDefault(bool v);
  const std::string& Hint() const { return hint_; }
  void SetHint(const std::string& h) { hint_ = h; }
  bool IsLine() const { return caption_ == "-"; }

  int Count() const { return int(items_.size()); }
  TMenuItem* Items(int i) const { return items_.at(size_t(i)); }
  int IndexOf(const TMenuItem* item) const;
  void Add(TMenuItem* item);
  void Insert(int index, TMenuItem* item);
  void Delete(int index);  // removes without freeing
  void Remove(TMenuItem* item);
  void Clear();  // frees the items
  TMenuItem* Parent() const { return parent_; }
  TMenuItem* Find(const std::string& caption) const;  // by caption without "&", any case
  TMenu* GetParentMenu() const;

  // Fires OnClick when enabled (and toggles the check mark with AutoCheck).
  virtual void Click();
  TNotifyEvent OnClick;

  std::string ClassName() const override { return "TMenuItem"; }

  // The item's action and submenu on the Qt side (native_qt.h).
  struct Native;
  Native& NativePart() const { return *native_; }

private:
  friend class TMenu;
  void UpdateAction();
  void EnsureSubMenu();
  TMenuItem* FindShortCut(TShortCut sc);
  std::string caption_;
  bool checked_ = false, enabled_ = true, visible_ = true, radioItem_ = false, autoCheck_ = false, default_ = false;
  TShortCut shortCut_ = 0;
  int groupIndex_ = 0;
  std::string hint_;
  std::vector<TMenuItem*> items_;
  TMenuItem* parent_ = nullptr;
  TMenu* menu_ = nullptr;
  std::unique_ptr<Native> native_;
};

class TMenu : public TComponent {
public:
  explicit TMenu(TComponent* owner);
  ~TMenu() override;
  TMenuItem* Items() const { return items_; }
  // Runs the item whose shortcut this is; true when one was run.
  bool IsShortCut(uint16_t key, TShiftState shift);
  // Opens the submenu of the top item with this accelerator letter; true when one was found.
  virtual bool OpenByAccelerator(char ch) { return false; }
  // Called after an item changed, so the menu can show it.
  virtual void ItemsChanged() {}
  std::string ClassName() const override { return "TMenu"; }

private:
  TMenuItem* items_;
};

class TMainMenu : public TMenu {
public:
  explicit TMainMenu(TComponent* owner) : TMenu(owner) {}
  bool OpenByAccelerator(char ch) override;
  void ItemsChanged() override;
  std::string ClassName() const override { return "TMainMenu"; }

private:
  // The form that shows this menu sets its bar (null when none does).
  friend class TCustomForm;
  void SetMenuBar(MenuBarWidget* bar) {
    bar_ = bar;
    ItemsChanged();
  }
  MenuBarWidget* bar_ = nullptr;
};

enum TPopupAlignment { paLeft, paRight, paCenter };

class TPopupMenu : public TMenu {
public:
  explicit TPopupMenu(TComponent* owner) : TMenu(owner) {}
  // Shows the menu at a screen position and returns when it closes.
  virtual void Popup(int x, int y);
  bool AutoPopup() const { return autoPopup_; }
  void SetAutoPopup(bool v) { autoPopup_ = v; }
  TPopupAlignment Alignment() const { return alignment_; }
  void SetAlignment(TPopupAlignment a) { alignment_ = a; }
  TComponent* PopupComponent() const { return popupComponent_; }
  void SetPopupComponent(TComponent* c) { popupComponent_ = c; }
  TNotifyEvent OnPopup;
  // Tests and scripted runs pick an item here instead of a person: called with the open menu,
  // it returns the item to click (or null to close the menu without a choice).
  static std::function<TMenuItem*(TPopupMenu& menu)> ChooseHook;
  std::string ClassName() const override { return "TPopupMenu"; }

private:
  bool autoPopup_ = true;
  TPopupAlignment alignment_ = paLeft;
  TComponent* popupComponent_ = nullptr;
};

}  // namespace plat
