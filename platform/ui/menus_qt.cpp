#include <QAction>
#include <QMenu>
#include <QMenuBar>

#include "platform/ui/menus.h"
#include "platform/ui/widgets_qt.h"

namespace plat {

std::function<TMenuItem*(TPopupMenu&)> TPopupMenu::ChooseHook;

// ---- shortcuts --------------------------------------------------------------------------------

TShortCut ShortCut(uint16_t key, TShiftState shift) {
  if (key & 0xFF00) return 0;
  TShortCut sc = key;
  if (shift & ssShift) sc |= scShift;
  if (shift & ssCtrl) sc |= scCtrl;
  if (shift & ssAlt) sc |= scAlt;
  return sc;
}

void ShortCutToKey(TShortCut sc, uint16_t& key, TShiftState& shift) {
  key = sc & 0xFF;
  shift = 0;
  if (sc & scShift) shift |= ssShift;
  if (sc & scCtrl) shift |= ssCtrl;
  if (sc & scAlt) shift |= ssAlt;
}

namespace {
struct KeyName {
  uint16_t key;
  const char* name;
};
constexpr KeyName kKeyNames[] = {
    {VK_BACK, "BkSp"},   {VK_TAB, "Tab"},        {VK_ESCAPE, "Esc"},     {VK_RETURN, "Enter"}, {VK_SPACE, "Space"},
    {VK_PRIOR, "PgUp"},  {VK_NEXT, "PgDn"},      {VK_END, "End"},        {VK_HOME, "Home"},    {VK_LEFT, "Left"},
    {VK_UP, "Up"},       {VK_RIGHT, "Right"},    {VK_DOWN, "Down"},      {VK_INSERT, "Ins"},   {VK_DELETE, "Del"},
    {VK_ADD, "Num +"},   {VK_SUBTRACT, "Num -"}, {VK_MULTIPLY, "Num *"}, {VK_DIVIDE, "Num /"}, {VK_OEM_PLUS, "="},
    {VK_OEM_MINUS, "-"},
};

std::string KeyText(uint16_t key) {
  if ((key >= 'A' && key <= 'Z') || (key >= '0' && key <= '9')) return std::string(1, char(key));
  if (key >= VK_F1 && key <= VK_F1 + 23) return "F" + std::to_string(key - VK_F1 + 1);
  for (const auto& k : kKeyNames)
    if (k.key == key) return k.name;
  return {};
}
}  // namespace

std::string ShortCutToText(TShortCut sc) {
  std::string name = KeyText(sc & 0xFF);
  if (name.empty()) return {};
  std::string r;
  if (sc & scShift) r += "Shift+";
  if (sc & scCtrl) r += "Ctrl+";
  if (sc & scAlt) r += "Alt+";
  return r + name;
}

TShortCut TextToShortCut(const std::string& text) {
  std::string t = text;
  TShortCut mods = 0;
  auto eat = [&](const char* prefix, TShortCut flag) {
    size_t n = std::strlen(prefix);
    if (t.size() > n && strncasecmp(t.c_str(), prefix, n) == 0) {
      t = t.substr(n);
      mods |= flag;
      return true;
    }
    return false;
  };
  while (eat("Shift+", scShift) || eat("Ctrl+", scCtrl) || eat("Alt+", scAlt)) {}
  for (uint16_t key = 1; key < 256; ++key) {
    std::string name = KeyText(key);
    if (!name.empty() && strcasecmp(name.c_str(), t.c_str()) == 0) return TShortCut(key | mods);
  }
  return 0;
}

std::string StripHotkey(const std::string& caption) {
  std::string r;
  for (size_t i = 0; i < caption.size(); ++i) {
    if (caption[i] == '&') {
      if (i + 1 < caption.size() && caption[i + 1] == '&') {
        r += '&';
        ++i;
      }
      continue;
    }
    r += caption[i];
  }
  return r;
}

char GetHotkey(const std::string& caption) {
  for (size_t i = 0; i + 1 < caption.size(); ++i) {
    if (caption[i] != '&') continue;
    if (caption[i + 1] == '&') {
      ++i;
      continue;
    }
    return char(toupper(static_cast<unsigned char>(caption[i + 1])));
  }
  return 0;
}

// ---- items ------------------------------------------------------------------------------------

TMenuItem::TMenuItem(TComponent* owner) : TComponent(owner), native_(std::make_unique<Native>()) {
  native_->context = new QObject;
  native_->action = new QAction(native_->context);
  QObject::connect(native_->action, &QAction::triggered, native_->context,
                   [this] { CallGuarded([this] { Click(); }); });
  UpdateAction();
}

TMenuItem::~TMenuItem() {
  Destroying();
  if (parent_) parent_->Remove(this);
  Clear();
  delete native_->submenu;
  native_->submenu = nullptr;
  delete native_->context;  // and the action with it
}

void TMenuItem::UpdateAction() {
  if (!native_->action) return;
  native_->action->setSeparator(IsLine());
  // A line has no text: some styles would draw its "-" beside the line.
  QString text = IsLine() ? QString() : QtCaption(caption_);
  if (shortCut_ && !IsLine()) text += QLatin1Char('\t') + QString::fromStdString(ShortCutToText(shortCut_));
  native_->action->setText(text);
  native_->action->setCheckable(checked_ || autoCheck_ || radioItem_);
  native_->action->setChecked(checked_);
  native_->action->setEnabled(enabled_);
  native_->action->setVisible(visible_);
  QFont f = native_->action->font();
  f.setBold(default_);
  native_->action->setFont(f);
  if (TMenu* m = GetParentMenu()) m->ItemsChanged();
}

void TMenuItem::EnsureSubMenu() {
  if (native_->submenu) return;
  native_->submenu = new QMenu;
  native_->action->setMenu(native_->submenu);
  QObject::connect(native_->submenu, &QMenu::aboutToShow, native_->context, [this] {
    CallGuarded([this] {
      if (OnClick) OnClick(this);
    });
  });
}

void TMenuItem::SetCaption(const std::string& c) {
  if (c == caption_) return;
  caption_ = c;
  UpdateAction();
}

void TMenuItem::SetChecked(bool v) {
  if (v == checked_) return;
  checked_ = v;
  // Checking a radio item clears the others of its group.
  if (v && radioItem_ && parent_)
    for (TMenuItem* s : parent_->items_)
      if (s != this && s->radioItem_ && s->groupIndex_ == groupIndex_ && s->checked_) {
        s->checked_ = false;
        s->UpdateAction();
      }
  UpdateAction();
}

void TMenuItem::SetEnabled(bool v) {
  if (v == enabled_) return;
  enabled_ = v;
  UpdateAction();
}

void TMenuItem::SetVisible(bool v) {
  if (v == visible_) return;
  visible_ = v;
  UpdateAction();
}

void TMenuItem::SetShortCut(TShortCut sc) {
  if (sc == shortCut_) return;
  shortCut_ = sc;
  UpdateAction();
}

void TMenuItem::SetRadioItem(bool v) {
  radioItem_ = v;
  UpdateAction();
}

void TMenuItem::SetDefault(bool v) {
  default_ = v;
  UpdateAction();
}

int TMenuItem::IndexOf(const TMenuItem* item) const {
  for (size_t i = 0; i < items_.size(); ++i)
    if (items_[i] == item) return int(i);
  return -1;
}

void TMenuItem::Add(TMenuItem* item) { Insert(Count(), item); }

void TMenuItem::Insert(int index, TMenuItem* item) {
  if (!item || item->parent_) throw EInvalidOperation("Menu inserted twice");
  if (index < 0 || index > Count()) throw EListError();
  EnsureSubMenu();
  QAction* before = index < Count() ? ActionOf(items_[size_t(index)]) : nullptr;
  items_.insert(items_.begin() + index, item);
  item->parent_ = this;
  native_->submenu->insertAction(before, ActionOf(item));
  item->UpdateAction();
}

void TMenuItem::Delete(int index) {
  if (index < 0 || index >= Count()) throw EListError();
  TMenuItem* item = items_[size_t(index)];
  items_.erase(items_.begin() + index);
  item->parent_ = nullptr;
  if (native_->submenu) native_->submenu->removeAction(ActionOf(item));
  if (TMenu* m = GetParentMenu()) m->ItemsChanged();
}

void TMenuItem::Remove(TMenuItem* item) {
  int i = IndexOf(item);
  if (i >= 0) Delete(i);
}

void TMenuItem::Clear() {
  while (!items_.empty()) {
    TMenuItem* item = items_.back();
    Delete(Count() - 1);
    item->Free();
  }
}

TMenuItem* TMenuItem::Find(const std::string& caption) const {
  std::string want = StripHotkey(caption);
  for (TMenuItem* i : items_)
    if (strcasecmp(StripHotkey(i->caption_).c_str(), want.c_str()) == 0) return i;
  return nullptr;
}

TMenu* TMenuItem::GetParentMenu() const {
  const TMenuItem* i = this;
  while (i->parent_) i = i->parent_;
  return i->menu_;
}

void TMenuItem::Click() {
  if (!enabled_) return;
  if (autoCheck_) SetChecked(!checked_);
  if (OnClick) OnClick(this);
}

TMenuItem* TMenuItem::FindShortCut(TShortCut sc) {
  for (TMenuItem* i : items_) {
    if (i->shortCut_ == sc && !i->IsLine()) return i;
    if (TMenuItem* f = i->FindShortCut(sc)) return f;
  }
  return nullptr;
}

// ---- menus ------------------------------------------------------------------------------------

TMenu::TMenu(TComponent* owner) : TComponent(owner) {
  items_ = new TMenuItem(nullptr);
  items_->menu_ = this;
  items_->EnsureSubMenu();
}

TMenu::~TMenu() {
  Destroying();
  items_->menu_ = nullptr;
  items_->Free();
}

bool TMenu::IsShortCut(uint16_t key, TShiftState shift) {
  TShortCut sc = ShortCut(key, shift);
  if (!sc) return false;
  TMenuItem* item = items_->FindShortCut(sc);
  if (!item) return false;
  // The submenus on the way are "opened" first, so their handlers can update the items.
  std::vector<TMenuItem*> chain;
  for (TMenuItem* p = item->Parent(); p && p != items_; p = p->Parent()) chain.insert(chain.begin(), p);
  for (TMenuItem* p : chain) {
    if (!p->Enabled()) return false;
    if (p->OnClick) p->OnClick(p);
  }
  if (!item->Enabled() || !item->Visible()) return false;
  item->Click();
  return true;
}

bool TMainMenu::OpenByAccelerator(char ch) {
  QMenuBar* bar = bar_;
  if (!bar) return false;
  const char up = char(toupper(static_cast<unsigned char>(ch)));
  for (int i = 0; i < Items()->Count(); ++i) {
    TMenuItem* top = Items()->Items(i);
    if (top->Visible() && top->Enabled() && GetHotkey(top->Caption()) == up) {
      if (top->Count() == 0) {
        top->Click();
      } else {
        bar->setActiveAction(ActionOf(top));
      }
      return true;
    }
  }
  return false;
}

void TMainMenu::ItemsChanged() {
  QMenuBar* bar = bar_;
  if (!bar) return;
  QList<QAction*> want;
  for (int i = 0; i < Items()->Count(); ++i) want << ActionOf(Items()->Items(i));
  if (bar->actions() == want) return;
  bar->clear();
  bar->addActions(want);
}

void TPopupMenu::Popup(int x, int y) {
  if (OnPopup) OnPopup(this);
  if (ChooseHook) {
    if (TMenuItem* item = ChooseHook(*this)) item->Click();
    return;
  }
  QMenu* m = SubMenuOf(Items());
  if (!m || Items()->Count() == 0) return;
  QPoint at(x, y);
  if (alignment_ != paLeft) {
    int w = m->sizeHint().width();
    at.rx() -= alignment_ == paRight ? w : w / 2;
  }
  m->exec(at);
}

}  // namespace plat
