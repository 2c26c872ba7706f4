#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTextBlock>
#include <QValidator>

#include "platform/ui/forms.h"
#include "platform/ui/menus.h"
#include "platform/ui/stdctrls.h"
#include "platform/ui/widgets_qt.h"

namespace plat {

// ---- item lists -------------------------------------------------------------------------------

// The items of a list or combo box: a string list that keeps the widget's rows in step.
class ControlStrings : public TStrings {
public:
  std::function<void(int, const std::string&)> inserted;
  std::function<void(int)> deleted;
  std::function<void(int, const std::string&)> changed;
  std::function<void()> cleared;

  ControlStrings() { list_.SetDuplicates(dupAccept); }
  int Count() const override { return list_.Count(); }
  std::string Get(int i) const override { return list_.Get(i); }
  TObject* GetObject(int i) const override { return list_.GetObject(i); }
  void PutObject(int i, TObject* o) override { list_.PutObject(i, o); }
  void Insert(int i, const std::string& s) override {
    list_.Insert(i, s);
    if (inserted) inserted(i, s);
  }
  int Add(const std::string& s) override {
    int i = list_.Add(s);
    if (inserted) inserted(i, s);
    return i;
  }
  void Delete(int i) override {
    list_.Delete(i);
    if (deleted) deleted(i);
  }
  void Put(int i, const std::string& s) override {
    if (list_.Sorted()) {
      TObject* o = list_.GetObject(i);
      Delete(i);
      PutObject(Add(s), o);
      return;
    }
    list_.Put(i, s);
    if (changed) changed(i, s);
  }
  void Clear() override {
    list_.Clear();
    if (cleared) cleared();
  }
  int IndexOf(const std::string& s) const override { return list_.IndexOf(s); }
  void SetSorted(bool v) {
    if (v == list_.Sorted()) return;
    list_.SetSorted(v);
    Rebuild();
  }
  void Rebuild() {
    if (cleared) cleared();
    for (int i = 0; i < list_.Count(); ++i)
      if (inserted) inserted(i, list_.Get(i));
  }

private:
  TStringList list_;
};

// ---- label ------------------------------------------------------------------------------------

TCustomLabel::TCustomLabel(TComponent* owner) : TGraphicControl(owner) {
  SetControlStyle(ControlStyle() | csReplicatable);
  SetBounds(0, 0, 65, 17);
}

uint32_t TCustomLabel::TextFlags() const {
  uint32_t f = DT_EXPANDTABS;
  if (wordWrap_) f |= DT_WORDBREAK;
  if (alignment_ == taCenter) f |= DT_CENTER;
  if (alignment_ == taRightJustify) f |= DT_RIGHT;
  if (!showAccelChar_) f |= DT_NOPREFIX;
  return f;
}

void TCustomLabel::DoDrawText(TRect& r, uint32_t flags) {
  TCanvas& c = *Canvas();
  std::string text = Caption();
  if ((flags & DT_CALCRECT) && (text.empty() || (showAccelChar_ && text[0] == '&' && text.size() == 1))) text += ' ';
  if (!showAccelChar_) flags |= DT_NOPREFIX;
  c.SetFont(*Font());
  if (flags & DT_CALCRECT) {
    c.DrawText(text, r, flags);
    return;
  }
  if (!Enabled()) {
    // The embossed look of a disabled caption: a light copy one pixel down and right.
    TRect r2 = r;
    OffsetRect(r2, 1, 1);
    c.Font()->SetColor(clBtnHighlight);
    c.DrawText(text, r2, flags);
    c.Font()->SetColor(clBtnShadow);
    c.DrawText(text, r, flags);
  } else {
    c.DrawText(text, r, flags);
  }
}

void TCustomLabel::Paint() {
  TCanvas& c = *Canvas();
  TRect r = ClientRect();
  if (!transparent_) {
    c.Brush()->SetColor(Color());
    c.Brush()->SetStyle(bsSolid);
    c.FillRect(r);
  }
  c.Brush()->SetStyle(bsClear);
  uint32_t flags = TextFlags();
  if (layout_ != tlTop) {
    TRect calc = r;
    DoDrawText(calc, flags | DT_CALCRECT);
    const int offset = layout_ == tlBottom ? r.Height() - calc.Height() : (r.Height() - calc.Height()) / 2;
    OffsetRect(r, 0, offset);
  }
  DoDrawText(r, flags);
}

void TCustomLabel::AdjustBounds() {
  if (!autoSize_ || IsLoading()) return;
  TRect r = ClientRect();
  DoDrawText(r, TextFlags() | DT_CALCRECT);
  int l = Left();
  if (alignment_ == taRightJustify) l += Width() - r.Width();
  else if (alignment_ == taCenter) l += (Width() - r.Width()) / 2;
  SetBounds(l, Top(), r.Width(), r.Height());
}

void TCustomLabel::SetAlignment(TAlignment a) {
  if (a == alignment_) return;
  alignment_ = a;
  Invalidate();
}
void TCustomLabel::SetLayout(TTextLayout l) {
  if (l == layout_) return;
  layout_ = l;
  Invalidate();
}
void TCustomLabel::SetAutoSize(bool v) {
  if (v == autoSize_) return;
  autoSize_ = v;
  AdjustBounds();
}
void TCustomLabel::SetWordWrap(bool v) {
  if (v == wordWrap_) return;
  wordWrap_ = v;
  AdjustBounds();
  Invalidate();
}
void TCustomLabel::SetTransparent(bool v) {
  if (v == transparent_) return;
  transparent_ = v;
  SetControlStyle(v ? ControlStyle() & ~csOpaque : ControlStyle() | csOpaque);
  Invalidate();
}
void TCustomLabel::SetShowAccelChar(bool v) {
  if (v == showAccelChar_) return;
  showAccelChar_ = v;
  AdjustBounds();
  Invalidate();
}
void TCustomLabel::SetFocusControl(TWinControl* c) {
  if (focusControl_) focusControl_->RemoveFreeNotification(this);
  focusControl_ = c;
  if (c) c->FreeNotification(this);
}
void TCustomLabel::Notification(TComponent* c, TOperation op) {
  TGraphicControl::Notification(c, op);
  if (op == opRemove && c == focusControl_) focusControl_ = nullptr;
}
void TCustomLabel::TextChanged() {
  AdjustBounds();
  Invalidate();
}
void TCustomLabel::FontChanged() {
  TGraphicControl::FontChanged();
  AdjustBounds();
}
char TCustomLabel::Accelerator() const { return showAccelChar_ && focusControl_ ? GetHotkey(Caption()) : 0; }
bool TCustomLabel::DialogChar(char ch) {
  if (!AcceleratorIs(ch) || !focusControl_->CanFocus()) return false;
  focusControl_->SetFocus();
  return true;
}

// ---- edit -------------------------------------------------------------------------------------

namespace {
class CaseValidator : public QValidator {
public:
  explicit CaseValidator(TEditCharCase c, QObject* parent) : QValidator(parent), c_(c) {}
  State validate(QString& input, int&) const override {
    if (c_ == ecUpperCase) input = input.toUpper();
    if (c_ == ecLowerCase) input = input.toLower();
    return Acceptable;
  }

private:
  TEditCharCase c_;
};
}  // namespace

TCustomEdit::TCustomEdit(TComponent* owner) : TWinControl(owner) {
  SetWidget(this, new Hosted<QLineEdit>(this));
  Init();
}

void TCustomEdit::Init() {
  SetControlStyle(ControlStyle() & ~csClickEvents);
  SetColor(clWindow);
  SetParentColor(false);
  SetTabStop(true);
  SetBounds(0, 0, 121, 21);
  QObject::connect(LineEditOf(this), &QLineEdit::textChanged, GlueOf(this),
                   [this] { CallGuarded([this] { Change(); }); });
}

QLineEdit* LineEditOf(const TCustomEdit* e) { return static_cast<QLineEdit*>(WidgetOf(e)); }

void TCustomEdit::Change() {
  if (OnChange) OnChange(this);
}

std::string TCustomEdit::GetText() const { return LineEditOf(this)->text().toStdString(); }

void TCustomEdit::SetTextRaw(const std::string& s) {
  LineEditOf(this)->setText(QString::fromStdString(s));
  LineEditOf(this)->setModified(false);
}

void TCustomEdit::SetMaxLength(int n) {
  maxLength_ = std::max(0, n);
  LineEditOf(this)->setMaxLength(maxLength_ ? maxLength_ : 32767);
}

bool TCustomEdit::ReadOnly() const { return LineEditOf(this)->isReadOnly(); }
void TCustomEdit::SetReadOnly(bool v) { LineEditOf(this)->setReadOnly(v); }

void TCustomEdit::SetPasswordChar(char c) {
  passwordChar_ = c;
  LineEditOf(this)->setEchoMode(c ? QLineEdit::Password : QLineEdit::Normal);
  LineEditOf(this)->setStyleSheet(
      c ? QStringLiteral("QLineEdit { lineedit-password-character: %1; }").arg(int(uint8_t(c))) : QString());
}

void TCustomEdit::SetCharCase(TEditCharCase c) {
  charCase_ = c;
  LineEditOf(this)->setValidator(c == ecNormal ? nullptr : new CaseValidator(c, LineEditOf(this)));
  if (c != ecNormal) {
    QString t = LineEditOf(this)->text();
    SetTextRaw((c == ecUpperCase ? t.toUpper() : t.toLower()).toStdString());
  }
}

void TCustomEdit::SetBorderStyle(TBorderStyle s) {
  borderStyle_ = s;
  LineEditOf(this)->setFrame(s != bsNone);
}

int TCustomEdit::SelStart() const {
  return LineEditOf(this)->hasSelectedText() ? LineEditOf(this)->selectionStart() : LineEditOf(this)->cursorPosition();
}
void TCustomEdit::SetSelStart(int v) { LineEditOf(this)->setCursorPosition(v); }
int TCustomEdit::SelLength() const { return int(LineEditOf(this)->selectedText().size()); }
void TCustomEdit::SetSelLength(int v) { LineEditOf(this)->setSelection(SelStart(), v); }
std::string TCustomEdit::SelText() const { return LineEditOf(this)->selectedText().toStdString(); }
void TCustomEdit::SetSelText(const std::string& s) { LineEditOf(this)->insert(QString::fromStdString(s)); }
void TCustomEdit::SelectAll() { LineEditOf(this)->selectAll(); }
void TCustomEdit::ClearSelection() { LineEditOf(this)->del(); }
bool TCustomEdit::Modified() const { return LineEditOf(this)->isModified(); }
void TCustomEdit::SetModified(bool v) { LineEditOf(this)->setModified(v); }

void TCustomEdit::ApplyStyleToWidget() {
  WidgetOf(this)->setFont(QtFont(*Font()));
  ApplyPalette(WidgetOf(this), Color(), Font()->Color(), true);
}

void TCustomEdit::WndProc(TMessage& m) {
  TWinControl::WndProc(m);
  if (m.Msg == CM_ENTER && autoSelect_ && !(ControlState() & csLButtonDown))
    QMetaObject::invokeMethod(
        LineEditOf(this), [e = LineEditOf(this)] { e->selectAll(); }, Qt::QueuedConnection);
}

// ---- memo -------------------------------------------------------------------------------------

namespace {
class MemoLines : public TStrings {
public:
  explicit MemoLines(QPlainTextEdit* e) : e_(e) {}
  int Count() const override {
    const QString t = e_->toPlainText();
    if (t.isEmpty()) return 0;
    return int(t.split(QLatin1Char('\n')).size() - (t.endsWith(QLatin1Char('\n')) ? 1 : 0));
  }
  std::string Get(int i) const override {
    auto l = Lines();
    if (i < 0 || i >= int(l.size())) IndexError(i);
    return l[size_t(i)];
  }
  void Put(int i, const std::string& s) override {
    auto l = Lines();
    if (i < 0 || i >= int(l.size())) IndexError(i);
    l[size_t(i)] = s;
    Set(l);
  }
  void Insert(int i, const std::string& s) override {
    auto l = Lines();
    if (i < 0 || i > int(l.size())) IndexError(i);
    l.insert(l.begin() + i, s);
    Set(l);
  }
  void Delete(int i) override {
    auto l = Lines();
    if (i < 0 || i >= int(l.size())) IndexError(i);
    l.erase(l.begin() + i);
    Set(l);
  }
  void Clear() override { e_->setPlainText(QString()); }

private:
  std::vector<std::string> Lines() const {
    std::vector<std::string> r;
    for (int i = 0, n = Count(); i < n; ++i) r.push_back(e_->document()->findBlockByNumber(i).text().toStdString());
    return r;
  }
  void Set(const std::vector<std::string>& l) {
    QString t;
    for (size_t i = 0; i < l.size(); ++i) {
      if (i) t += QLatin1Char('\n');
      t += QString::fromStdString(l[i]);
    }
    e_->setPlainText(t);
  }
  QPlainTextEdit* e_;
};
}  // namespace

TMemo::TMemo(TComponent* owner) : TWinControl(owner) {
  auto* e = new Hosted<QPlainTextEdit>(this);
  SetWidget(this, e);
  e->viewport()->installEventFilter(GlueOf(this));
  lines_ = std::make_unique<MemoLines>(e);
  SetControlStyle(ControlStyle() & ~csClickEvents);
  SetColor(clWindow);
  SetParentColor(false);
  SetTabStop(true);
  SetBounds(0, 0, 185, 89);
  e->setTabChangesFocus(true);
  QObject::connect(e, &QPlainTextEdit::textChanged, GlueOf(this), [this] {
    CallGuarded([this] {
      if (OnChange) OnChange(this);
    });
  });
}

TMemo::~TMemo() = default;

QPlainTextEdit* TextEditOf(const TMemo* m) { return static_cast<QPlainTextEdit*>(WidgetOf(m)); }

std::string TMemo::GetText() const {
  // Lines end in CR LF, as the framework's text does.
  std::string t = TextEditOf(this)->toPlainText().toStdString(), r;
  for (char c : t) {
    if (c == '\n') r += '\r';
    r += c;
  }
  return r;
}

void TMemo::SetTextRaw(const std::string& s) {
  QString t = QString::fromStdString(s);
  t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  TextEditOf(this)->setPlainText(t);
}

bool TMemo::ReadOnly() const { return TextEditOf(this)->isReadOnly(); }
void TMemo::SetReadOnly(bool v) { TextEditOf(this)->setReadOnly(v); }
void TMemo::SetWordWrap(bool v) {
  wordWrap_ = v;
  TextEditOf(this)->setLineWrapMode(v ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
}
void TMemo::SetScrollBars(TScrollStyle s) {
  scrollBars_ = s;
  TextEditOf(this)->setHorizontalScrollBarPolicy(s == ssHorizontal || s == ssBoth ? Qt::ScrollBarAlwaysOn
                                                                                  : Qt::ScrollBarAlwaysOff);
  TextEditOf(this)->setVerticalScrollBarPolicy(s == ssVertical || s == ssBoth ? Qt::ScrollBarAlwaysOn
                                                                              : Qt::ScrollBarAlwaysOff);
}
void TMemo::SetWantTabs(bool v) {
  wantTabs_ = v;
  TextEditOf(this)->setTabChangesFocus(!v);
}
bool TMemo::Modified() const { return TextEditOf(this)->document()->isModified(); }
void TMemo::SetModified(bool v) { TextEditOf(this)->document()->setModified(v); }
bool TMemo::WantsKey(uint16_t key, TShiftState) const { return key == VK_RETURN && wantReturns_; }
void TMemo::ApplyStyleToWidget() {
  WidgetOf(this)->setFont(QtFont(*Font()));
  ApplyPalette(WidgetOf(this), Color(), Font()->Color(), true);
}

// ---- buttons ----------------------------------------------------------------------------------

TButton::TButton(TComponent* owner) : TWinControl(owner) {
  auto* b = new Hosted<QPushButton>(this);
  SetWidget(this, b);
  b->setAutoDefault(false);
  SetControlStyle(ControlStyle() & ~csClickEvents);
  SetTabStop(true);
  SetBounds(0, 0, 75, 25);
  QObject::connect(b, &QPushButton::clicked, GlueOf(this), [this] { CallGuarded([this] { Click(); }); });
}

QPushButton* PushButtonOf(const TButton* b) { return static_cast<QPushButton*>(WidgetOf(b)); }

bool TButton::Down() const { return PushButtonOf(this)->isDown(); }
void TButton::SetDown(bool v) { PushButtonOf(this)->setDown(v); }

void TButton::SetTextRaw(const std::string& s) {
  TWinControl::SetTextRaw(s);
  PushButtonOf(this)->setText(QtCaption(s));
}

void TButton::SetDefault(bool v) {
  default_ = v;
  PushButtonOf(this)->setDefault(v);
}

void TButton::Click() {
  if (TCustomForm* f = GetParentForm(this)) f->SetModalResult(modalResult_);
  TWinControl::Click();
}

bool TButton::DialogKey(uint16_t key, TControl* focused) {
  bool active;
  if (key == VK_RETURN) {
    active = focused == this || (default_ && !(focused && focused->IsPushButton()));
  } else if (key == VK_ESCAPE) {
    active = cancel_;
  } else {
    return false;
  }
  if (!active || !CanFocus()) return false;
  Click();
  return true;
}

char TButton::Accelerator() const { return GetHotkey(Caption()); }
bool TButton::DialogChar(char ch) {
  if (!AcceleratorIs(ch) || !CanFocus()) return false;
  Click();
  return true;
}

void TButton::PaintBackground(TCanvas&) {}

TCheckBox::TCheckBox(TComponent* owner) : TWinControl(owner) {
  auto* b = new Hosted<QCheckBox>(this);
  SetWidget(this, b);
  SetControlStyle(ControlStyle() & ~csClickEvents);
  SetTabStop(true);
  SetBounds(0, 0, 97, 17);
  QObject::connect(b, &QCheckBox::clicked, GlueOf(this), [this, b] {
    state_ = TCheckBoxState(b->checkState() == Qt::Checked            ? cbChecked
                            : b->checkState() == Qt::PartiallyChecked ? cbGrayed
                                                                      : cbUnchecked);
    CallGuarded([this] { Click(); });
  });
}

void TCheckBox::SetState(TCheckBoxState s) {
  if (s == state_) return;
  state_ = s;
  auto* b = static_cast<QCheckBox*>(WidgetOf(this));
  b->setCheckState(s == cbChecked ? Qt::Checked : s == cbGrayed ? Qt::PartiallyChecked : Qt::Unchecked);
  Click();
}

void TCheckBox::SetAllowGrayed(bool v) {
  allowGrayed_ = v;
  static_cast<QCheckBox*>(WidgetOf(this))->setTristate(v);
}

void TCheckBox::SetAlignment(TAlignment a) {
  alignment_ = a;
  WidgetOf(this)->setLayoutDirection(a == taLeftJustify ? Qt::RightToLeft : Qt::LeftToRight);
}

void TCheckBox::SetTextRaw(const std::string& s) {
  TWinControl::SetTextRaw(s);
  static_cast<QCheckBox*>(WidgetOf(this))->setText(QtCaption(s));
}

char TCheckBox::Accelerator() const { return GetHotkey(Caption()); }
bool TCheckBox::DialogChar(char ch) {
  if (!AcceleratorIs(ch) || !CanFocus()) return false;
  SetFocus();
  SetState(state_ == cbChecked ? cbUnchecked : cbChecked);
  return true;
}

TRadioButton::TRadioButton(TComponent* owner) : TWinControl(owner) {
  auto* b = new Hosted<QRadioButton>(this);
  SetWidget(this, b);
  SetControlStyle(ControlStyle() & ~csClickEvents);
  SetBounds(0, 0, 113, 17);
  QObject::connect(b, &QRadioButton::clicked, GlueOf(this), [this] {
    if (Checked()) CallGuarded([this] { Click(); });
  });
}

bool TRadioButton::Checked() const { return static_cast<QRadioButton*>(WidgetOf(this))->isChecked(); }

void TRadioButton::SetChecked(bool v) {
  if (v == Checked()) return;
  static_cast<QRadioButton*>(WidgetOf(this))->setChecked(v);
  SetTabStop(v);
  if (v) Click();
}

void TRadioButton::SetAlignment(TAlignment a) {
  alignment_ = a;
  WidgetOf(this)->setLayoutDirection(a == taLeftJustify ? Qt::RightToLeft : Qt::LeftToRight);
}

void TRadioButton::SetTextRaw(const std::string& s) {
  TWinControl::SetTextRaw(s);
  static_cast<QRadioButton*>(WidgetOf(this))->setText(QtCaption(s));
}

char TRadioButton::Accelerator() const { return GetHotkey(Caption()); }
bool TRadioButton::DialogChar(char ch) {
  if (!AcceleratorIs(ch) || !CanFocus()) return false;
  SetFocus();
  SetChecked(true);
  return true;
}

// ---- list box ---------------------------------------------------------------------------------

namespace {
class ListDelegate : public QStyledItemDelegate {
public:
  ListDelegate(TCustomListBox* lb, QObject* parent) : QStyledItemDelegate(parent), lb_(lb) {}
  void paint(QPainter* p, const QStyleOptionViewItem& opt, const QModelIndex& idx) const override {
    if (lb_->Style() == lbStandard) {
      QStyledItemDelegate::paint(p, opt, idx);
      return;
    }
    QImage img(opt.rect.size(), QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    TOwnerDrawState state = 0;
    if (opt.state & QStyle::State_Selected) state |= odSelected;
    if (opt.state & QStyle::State_HasFocus) state |= odFocused;
    if (!(opt.state & QStyle::State_Enabled)) state |= odDisabled;
    SetTargetImage(*lb_->Canvas(), &img);
    lb_->PaintItem(idx.row(), Bounds(opt.rect.x(), opt.rect.y(), opt.rect.width(), opt.rect.height()), state);
    SetTargetImage(*lb_->Canvas(), nullptr);
    p->drawImage(opt.rect.topLeft(), img);
  }
  QSize sizeHint(const QStyleOptionViewItem& opt, const QModelIndex& idx) const override {
    QSize s = QStyledItemDelegate::sizeHint(opt, idx);
    if (lb_->Style() != lbStandard) s.setHeight(lb_->MeasureItem(idx.row()));
    s.setWidth(std::max(s.width(), lb_->ScrollWidth()));
    return s;
  }

private:
  TCustomListBox* lb_;
};
}  // namespace

TCustomListBox::TCustomListBox(TComponent* owner) : TWinControl(owner) {
  auto* lw = new Hosted<QListWidget>(this);
  SetWidget(this, lw);
  lw->viewport()->installEventFilter(GlueOf(this));
  lw->viewport()->setMouseTracking(true);
  lw->setItemDelegate(new ListDelegate(this, lw));
  lw->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  items_ = std::make_unique<ControlStrings>();
  items_->inserted = [this, lw](int i, const std::string& s) {
    updating_ = true;
    lw->insertItem(i, QString::fromStdString(s));
    updating_ = false;
  };
  items_->deleted = [this, lw](int i) {
    updating_ = true;
    delete lw->takeItem(i);
    updating_ = false;
  };
  items_->changed = [lw](int i, const std::string& s) { lw->item(i)->setText(QString::fromStdString(s)); };
  items_->cleared = [this, lw] {
    updating_ = true;
    lw->clear();
    updating_ = false;
  };
  SetControlStyle(ControlStyle() & ~csClickEvents);
  SetColor(clWindow);
  SetParentColor(false);
  SetTabStop(true);
  SetBounds(0, 0, 121, 97);
  ApplySelectionMode();
  QObject::connect(lw, &QListWidget::itemSelectionChanged, GlueOf(this), [this] {
    if (!updating_) CallGuarded([this] { Click(); });
  });
}

TCustomListBox::~TCustomListBox() {
  items_->inserted = nullptr;
  items_->deleted = nullptr;
  items_->changed = nullptr;
  items_->cleared = nullptr;
}

QListWidget* ListOf(const TCustomListBox* l) { return static_cast<QListWidget*>(WidgetOf(l)); }
TStrings* TCustomListBox::Items() { return items_.get(); }

int TCustomListBox::ItemIndex() const { return ListOf(this)->currentRow(); }

void TCustomListBox::SetItemIndex(int i) {
  if (i < -1 || i >= items_->Count()) i = -1;
  if (i == ItemIndex() && (i < 0 || multiSelect_ || ListOf(this)->item(i)->isSelected())) return;
  updating_ = true;
  if (i < 0) {
    ListOf(this)->clearSelection();
    ListOf(this)->setCurrentRow(-1);
  } else if (multiSelect_) {
    ListOf(this)->setCurrentRow(i, QItemSelectionModel::NoUpdate);
  } else {
    ListOf(this)->setCurrentRow(i);
  }
  updating_ = false;
}

void TCustomListBox::SetSorted(bool v) {
  sorted_ = v;
  updating_ = true;
  items_->SetSorted(v);
  updating_ = false;
}

void TCustomListBox::ApplySelectionMode() {
  ListOf(this)->setSelectionMode(!multiSelect_     ? QAbstractItemView::SingleSelection
                                 : extendedSelect_ ? QAbstractItemView::ExtendedSelection
                                                   : QAbstractItemView::MultiSelection);
}

void TCustomListBox::SetMultiSelect(bool v) {
  multiSelect_ = v;
  ApplySelectionMode();
}

void TCustomListBox::SetExtendedSelect(bool v) {
  extendedSelect_ = v;
  ApplySelectionMode();
}

bool TCustomListBox::Selected(int i) const {
  if (i < 0 || i >= items_->Count()) throw EListError("List index out of bounds (" + std::to_string(i) + ")");
  return ListOf(this)->item(i)->isSelected();
}

void TCustomListBox::SetSelected(int i, bool v) {
  if (i < 0 || i >= items_->Count()) throw EListError("List index out of bounds (" + std::to_string(i) + ")");
  updating_ = true;
  if (!multiSelect_ && v) ListOf(this)->setCurrentRow(i);
  ListOf(this)->item(i)->setSelected(v);
  updating_ = false;
}

int TCustomListBox::SelCount() const {
  if (!multiSelect_) return -1;
  return int(ListOf(this)->selectedItems().size());
}

void TCustomListBox::SetStyle(TListBoxStyle s) {
  style_ = s;
  ListOf(this)->setUniformItemSizes(s != lbOwnerDrawVariable);
  ListOf(this)->doItemsLayout();
  Invalidate();
}

void TCustomListBox::SetItemHeight(int h) {
  if (h <= 0) return;
  itemHeight_ = h;
  ListOf(this)->doItemsLayout();
}

int TCustomListBox::TopIndex() const {
  QListWidgetItem* it = ListOf(this)->itemAt(2, 2);
  return it ? ListOf(this)->row(it) : 0;
}

void TCustomListBox::SetTopIndex(int i) {
  if (i < 0 || i >= items_->Count()) return;
  ListOf(this)->scrollToItem(ListOf(this)->item(i), QAbstractItemView::PositionAtTop);
}

void TCustomListBox::SetScrollWidth(int w) {
  if (w == scrollWidth_) return;
  scrollWidth_ = std::max(0, w);
  ListOf(this)->doItemsLayout();
}

int TCustomListBox::ItemAtPos(TPoint p, bool existing) const {
  QListWidgetItem* it = ListOf(this)->itemAt(QPoint(p.X, p.Y));
  if (it) return ListOf(this)->row(it);
  return existing ? -1 : items_->Count();
}

TRect TCustomListBox::ItemRect(int index) const {
  if (index < 0 || index >= items_->Count()) return {};
  QRect r = ListOf(this)->visualItemRect(ListOf(this)->item(index));
  return Bounds(r.x(), r.y(), r.width(), r.height());
}

void TCustomListBox::Clear() { items_->Clear(); }

void TCustomListBox::SetBorderStyle(TBorderStyle s) {
  borderStyle_ = s;
  ListOf(this)->setFrameShape(s == bsNone ? QFrame::NoFrame : QFrame::StyledPanel);
}

void TCustomListBox::ApplyStyleToWidget() {
  WidgetOf(this)->setFont(QtFont(*Font()));
  ApplyPalette(WidgetOf(this), Color(), Font()->Color(), true);
}

int TCustomListBox::MeasureItem(int index) {
  int h = itemHeight_;
  if (style_ == lbOwnerDrawVariable && OnMeasureItem) CallGuarded([&] { OnMeasureItem(this, index, h); });
  return std::max(h, 1);
}

void TCustomListBox::PaintItem(int index, const TRect& r, TOwnerDrawState state) {
  itemCanvas_.SetOrigin(-r.Left, -r.Top);
  itemCanvas_.SetFont(*Font());
  itemCanvas_.Brush()->SetStyle(bsSolid);
  itemCanvas_.Brush()->SetColor(Color());
  if (state & odSelected) {
    itemCanvas_.Brush()->SetColor(clHighlight);
    itemCanvas_.Font()->SetColor(clHighlightText);
  }
  CallGuarded([&] { DrawItem(index, r, state); });
  if (state & odFocused) itemCanvas_.DrawFocusRect(r);
}

void TCustomListBox::DrawItem(int index, TRect r, TOwnerDrawState state) {
  if (OnDrawItem) {
    OnDrawItem(this, index, r, state);
    return;
  }
  itemCanvas_.FillRect(r);
  if (index >= 0 && index < items_->Count()) itemCanvas_.TextOut(r.Left + 2, r.Top, items_->Get(index));
}

// ---- combo box --------------------------------------------------------------------------------

namespace {
class ComboWidget : public Hosted<QComboBox> {
public:
  explicit ComboWidget(TCustomComboBox* c) : Hosted<QComboBox>(c), combo_(c) {}
  void showPopup() override {
    if (combo_) combo_->DroppingDown(true);
    QComboBox::showPopup();
  }
  void hidePopup() override {
    QComboBox::hidePopup();
    if (combo_) combo_->DroppingDown(false);
  }
  TCustomComboBox* combo_;
};
}  // namespace

TCustomComboBox::TCustomComboBox(TComponent* owner) : TWinControl(owner) {
  auto* cb = new ComboWidget(this);
  SetWidget(this, cb);
  cb->setInsertPolicy(QComboBox::NoInsert);
  cb->setEditable(true);
  cb->setMaxVisibleItems(dropDownCount_);
  items_ = std::make_unique<ControlStrings>();
  items_->inserted = [this, cb](int i, const std::string& s) {
    updating_ = true;
    const QString text = cb->currentText();
    const bool none = cb->currentIndex() < 0;
    cb->insertItem(i, QString::fromStdString(s));
    // Qt selects the first item a list gets; the framework's lists start with none.
    if (none) cb->setCurrentIndex(-1);
    if (style_ != csDropDownList && none) cb->setEditText(text);
    updating_ = false;
  };
  items_->deleted = [this, cb](int i) {
    updating_ = true;
    cb->removeItem(i);
    updating_ = false;
  };
  items_->changed = [cb](int i, const std::string& s) { cb->setItemText(i, QString::fromStdString(s)); };
  items_->cleared = [this, cb] {
    updating_ = true;
    const QString text = cb->currentText();
    cb->clear();
    if (style_ != csDropDownList) cb->setEditText(text);
    updating_ = false;
  };
  SetControlStyle(ControlStyle() & ~csClickEvents);
  SetColor(clWindow);
  SetParentColor(false);
  SetTabStop(true);
  SetBounds(0, 0, 145, 21);
  cb->setCurrentIndex(-1);
  QObject::connect(cb, &QComboBox::activated, GlueOf(this), [this](int) {
    CallGuarded([this] {
      Click();
      Select();
    });
  });
  QObject::connect(cb, &QComboBox::editTextChanged, GlueOf(this), [this](const QString&) {
    if (!updating_ && ComboOf(this)->isEditable() && ComboOf(this)->lineEdit() &&
        ComboOf(this)->lineEdit()->isModified())
      CallGuarded([this] { Change(); });
  });
}

TCustomComboBox::~TCustomComboBox() {
  if (auto* cb = dynamic_cast<ComboWidget*>(WidgetOf(this))) cb->combo_ = nullptr;
  items_->inserted = nullptr;
  items_->deleted = nullptr;
  items_->changed = nullptr;
  items_->cleared = nullptr;
}

QComboBox* ComboOf(const TCustomComboBox* c) { return static_cast<QComboBox*>(WidgetOf(c)); }
TStrings* TCustomComboBox::Items() { return items_.get(); }

int TCustomComboBox::ItemIndex() const {
  const int i = ComboOf(this)->currentIndex();
  // An edited text that no longer matches the item leaves no item selected.
  if (i >= 0 && ComboOf(this)->isEditable() && ComboOf(this)->currentText() != ComboOf(this)->itemText(i)) return -1;
  return i;
}

void TCustomComboBox::SetItemIndex(int i) {
  if (i < -1 || i >= items_->Count()) i = -1;
  updating_ = true;
  ComboOf(this)->setCurrentIndex(i);
  if (i < 0 && ComboOf(this)->isEditable()) ComboOf(this)->setEditText(QString());
  updating_ = false;
}

void TCustomComboBox::SetStyle(TComboBoxStyle s) {
  style_ = s;
  const int i = ComboOf(this)->currentIndex();
  updating_ = true;
  ComboOf(this)->setEditable(s == csDropDown || s == csSimple);
  ComboOf(this)->setCurrentIndex(i);
  if (ComboOf(this)->lineEdit()) {
    ComboOf(this)->lineEdit()->setMaxLength(maxLength_ ? maxLength_ : 32767);
    ComboOf(this)->lineEdit()->installEventFilter(GlueOf(this));
  }
  updating_ = false;
}

void TCustomComboBox::SetSorted(bool v) {
  sorted_ = v;
  const std::string t = GetText();
  items_->SetSorted(v);
  updating_ = true;
  if (style_ == csDropDownList) ComboOf(this)->setCurrentIndex(items_->IndexOf(t));
  updating_ = false;
}

void TCustomComboBox::SetDropDownCount(int n) {
  dropDownCount_ = std::max(1, n);
  ComboOf(this)->setMaxVisibleItems(dropDownCount_);
}

void TCustomComboBox::SetMaxLength(int n) {
  maxLength_ = std::max(0, n);
  if (ComboOf(this)->lineEdit()) ComboOf(this)->lineEdit()->setMaxLength(maxLength_ ? maxLength_ : 32767);
}

bool TCustomComboBox::DroppedDown() const { return ComboOf(this)->view() && ComboOf(this)->view()->isVisible(); }

void TCustomComboBox::SetDroppedDown(bool v) {
  if (v) ComboOf(this)->showPopup();
  else ComboOf(this)->hidePopup();
}

void TCustomComboBox::DroppingDown(bool down) {
  CallGuarded([&] {
    if (down && OnDropDown) OnDropDown(this);
    if (!down && OnCloseUp) OnCloseUp(this);
  });
}

void TCustomComboBox::SelectAll() {
  if (ComboOf(this)->lineEdit()) ComboOf(this)->lineEdit()->selectAll();
}

void TCustomComboBox::Clear() {
  items_->Clear();
  SetText("");
}

std::string TCustomComboBox::GetText() const {
  if (style_ == csDropDownList || !ComboOf(this)->isEditable()) {
    const int i = ComboOf(this)->currentIndex();
    return i >= 0 ? ComboOf(this)->itemText(i).toStdString() : std::string();
  }
  return ComboOf(this)->currentText().toStdString();
}

void TCustomComboBox::SetTextRaw(const std::string& s) {
  updating_ = true;
  if (style_ == csDropDownList || !ComboOf(this)->isEditable()) {
    const int i = items_->IndexOf(s);
    if (i >= 0) ComboOf(this)->setCurrentIndex(i);
  } else {
    const int i = ComboOf(this)->findText(QString::fromStdString(s), Qt::MatchExactly);
    ComboOf(this)->setCurrentIndex(i);
    ComboOf(this)->setEditText(QString::fromStdString(s));
  }
  updating_ = false;
}

void TCustomComboBox::Change() {
  if (OnChange) OnChange(this);
}

void TCustomComboBox::Select() {
  if (OnSelect) OnSelect(this);
  else Change();
}

bool TCustomComboBox::WantsKey(uint16_t key, TShiftState) const {
  return (key == VK_RETURN || key == VK_ESCAPE) && DroppedDown();
}

void TCustomComboBox::ApplyStyleToWidget() {
  WidgetOf(this)->setFont(QtFont(*Font()));
  ApplyPalette(WidgetOf(this), Color(), Font()->Color(), true);
}

// ---- group box --------------------------------------------------------------------------------

TCustomGroupBox::TCustomGroupBox(TComponent* owner) : TCustomControl(owner) {
  SetControlStyle(csAcceptsControls | csCaptureMouse | csClickEvents | csSetCaption | csDoubleClicks | csReplicatable);
  SetBounds(0, 0, 185, 105);
}

void TCustomGroupBox::Paint() {
  TCanvas& c = *Canvas();
  c.SetFont(*Font());
  const int h = c.TextHeight("0");
  TRect r = Rect(0, h / 2 - 1, Width(), Height());
  c.Brush()->SetStyle(bsSolid);
  // The etched frame: a light one a pixel in, a shadow one over it.
  r.Left += 1;
  r.Top += 1;
  c.Brush()->SetColor(clBtnHighlight);
  c.FrameRect(r);
  OffsetRect(r, -1, -1);
  c.Brush()->SetColor(clBtnShadow);
  c.FrameRect(r);
  if (!Caption().empty()) {
    TRect t = Rect(8, 0, 0, h);
    c.DrawText(Caption(), t, DT_SINGLELINE | DT_CALCRECT);
    c.Brush()->SetColor(Color());
    if (!Enabled()) c.Font()->SetColor(clGrayText);
    c.DrawText(Caption(), t, DT_SINGLELINE);
  }
}

void TCustomGroupBox::AdjustClientRect(TRect& r) const {
  TCanvas probe;
  probe.SetFont(*const_cast<TCustomGroupBox*>(this)->Font());
  r.Top += probe.TextHeight("0");
  InflateRect(r, -2, -2);
}

char TCustomGroupBox::Accelerator() const { return GetHotkey(Caption()); }
bool TCustomGroupBox::DialogChar(char ch) {
  if (!AcceleratorIs(ch)) return false;
  for (int i = 0; i < ControlCount(); ++i)
    if (auto* w = dynamic_cast<TWinControl*>(Controls(i)); w && w->CanFocus()) {
      w->SetFocus();
      return true;
    }
  return false;
}

}  // namespace plat
