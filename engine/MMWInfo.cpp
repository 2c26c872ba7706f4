#include "engine/MMWInfo.h"

#include <cerrno>
#include <cstdio>
#include <memory>

#include "engine/MMCstDlg.h"
#include "engine/MMDIB_ui.h"
#include "engine/MMWave.h"
#include "platform/audio/riff_io.h"
#include "platform/system/files.h"

using namespace plat;

namespace {

constexpr int kImageSize = 44;

std::string ItemLine(const TInfoList& list, int i) {
  const TInfoIdentifier& id = InfoIdentifier(i);
  const char* mark = InfoItemText(list, i).empty() ? " " : "*";
  char line[64];
  std::snprintf(line, sizeof line, "%-4s%-1s %-25s", id.Code, mark, id.DisplayName);
  return line;
}

template <class T>
T* Place(TWinControl* parent, int l, int t, int w, int h, const std::string& caption = {}) {
  auto* c = new T(parent);
  c->SetParent(parent);
  c->SetBounds(l, t, w, h);
  if (!caption.empty()) c->SetCaption(caption);
  return c;
}

}  // namespace

// ---- the window -------------------------------------------------------------------------------

TMMRiffInfoEditorDlg::TMMRiffInfoEditorDlg(TComponent* owner) : TForm(owner) {
  SetBorderStyle(bsDialog);
  SetPosition(poScreenCenter);
  SetClientWidth(456);
  SetClientHeight(344);
  SetCaption("Riff-Info Editor");

  DescriptionLabel = Place<TLabel>(this, 8, 8, 120, 14, "&Description");
  DescriptionEdit = Place<TEdit>(this, 8, 24, 300, 21);
  DescriptionLabel->SetFocusControl(DescriptionEdit);
  DescriptionEdit->OnEnter = [this](TObject* s) { DescriptionEditEnter(s); };
  DescriptionEdit->OnExit = [this](TObject* s) { DescriptionEditExit(s); };
  DescriptionEdit->OnKeyPress = [this](TObject* s, char& k) { DescriptionEditKeyPress(s, k); };

  DIBImage = Place<TImage>(this, 316, 8, kImageSize, kImageSize);
  DIBImage->SetCenter(true);
  PictureBtn = Place<TButton>(this, 368, 8, 80, 23, "&Picture...");
  PictureBtn->OnClick = [this](TObject* s) { PictureBtnClick(s); };
  ClrBtn = Place<TButton>(this, 368, 34, 80, 23, "&Clear");
  ClrBtn->OnClick = [this](TObject* s) { ClrBtnClick(s); };

  Place<TLabel>(this, 8, 62, 300, 14, "1. Select INFO item to edit/create.");
  ItemsLabel = Place<TLabel>(this, 8, 82, 120, 14, "INFO Items");
  INFOComboBox = Place<TComboBox>(this, 8, 98, 300, 21);
  INFOComboBox->SetStyle(csDropDownList);
  INFOComboBox->SetSorted(true);
  INFOComboBox->SetDropDownCount(12);
  // The columns of the lines line up in a fixed-pitch font.
  INFOComboBox->Font()->SetName("Fixedsys");
  INFOComboBox->Font()->SetPitch(fpFixed);
  INFOComboBox->OnChange = [this](TObject* s) { INFOComboBoxChange(s); };
  ItemsLabel->SetFocusControl(INFOComboBox);
  Place<TLabel>(this, 316, 102, 132, 14, "* means contains Data");

  ItemGroup = Place<TGroupBox>(this, 8, 126, 440, 66, " Description of Item ");
  ChunkInfoLabel = Place<TLabel>(ItemGroup, 8, 18, 424, 42);
  ChunkInfoLabel->SetAutoSize(false);
  ChunkInfoLabel->SetWordWrap(true);

  Place<TLabel>(this, 8, 198, 300, 14, "2. Make change in text below.");
  InfoTextMemo = Place<TMemo>(this, 8, 214, 440, 86);
  InfoTextMemo->SetScrollBars(ssVertical);
  InfoTextMemo->OnExit = [this](TObject* s) { InfoTextMemoExit(s); };

  Place<TLabel>(this, 8, 312, 270, 14, "3. When done, selct OK to save changes.");
  RevertBtn = Place<TButton>(this, 288, 310, 75, 25, "&Reset");
  RevertBtn->OnClick = [this](TObject* s) { RevertBtnClick(s); };
  OKBtn = Place<TButton>(this, 373, 310, 75, 25, "OK");
  OKBtn->SetDefault(true);
  OKBtn->SetModalResult(mrOk);

  PictureOpenDialog = new TMMPictureOpenDialog(this);
  PictureOpenDialog->DefaultExt = "BMP";
  PictureOpenDialog->Title = "Open File";
  PictureOpenDialog->Options = ofHideReadOnly;
  PictureOpenDialog->Filter =
      "Alle Dateien (*.BMP;*.ICO;*.WMF)|*.BMP;*.ICO;*.WMF|Bitmaps (*.BMP)|*.BMP|Symbole (*.ICO)|*.ICO|"
      "Metadateien (*.WMF)|*.WMF";
}

void TMMRiffInfoEditorDlg::SetLists(TInfoList* info, TDispList* disp) {
  info_ = info;
  disp_ = disp;
  FillList();
  ShowDescription();
  ShowPicture();
}

bool TMMRiffInfoEditorDlg::AnySet() const {
  if (info_)
    for (const TInfoItem& item : info_->Items)
      if (item.State == isSet) return true;
  if (disp_)
    for (const TDispItem& item : *disp_)
      if (item.State == isSet) return true;
  return false;
}

int TMMRiffInfoEditorDlg::SelectedItem() const {
  const int line = INFOComboBox->ItemIndex();
  if (line < 0) return -1;
  const std::string text = INFOComboBox->Items()->Strings(line);
  if (text.size() < 4) return -1;
  return FindInfoIdentifier(MakeFourCC(uint8_t(text[0]), uint8_t(text[1]), uint8_t(text[2]), uint8_t(text[3])));
}

void TMMRiffInfoEditorDlg::FillList() {
  if (!info_) return;
  const int keep = SelectedItem();
  TStrings* items = INFOComboBox->Items();
  items->BeginUpdate();
  items->Clear();
  for (int i = 0; i < kInfoItemCount; ++i) items->Add(ItemLine(*info_, i));
  items->EndUpdate();
  if (keep >= 0) {
    const std::string code = InfoIdentifier(keep).Code;
    for (int line = 0; line < items->Count(); ++line)
      if (items->Strings(line).compare(0, 4, code) == 0) INFOComboBox->SetItemIndex(line);
  }
  ShowItem();
}

void TMMRiffInfoEditorDlg::ShowItem() {
  const int i = SelectedItem();
  if (i < 0) {
    if (INFOComboBox->ItemIndex() >= 0) ShowMessage("Can't FIND ItemIndex");
    InfoTextMemo->SetText("");
    ChunkInfoLabel->SetCaption("");
  } else {
    InfoTextMemo->SetText(InfoItemText(*info_, i));
    ChunkInfoLabel->SetCaption(InfoIdentifier(i).Description);
  }
  InfoTextMemo->SetModified(false);
}

void TMMRiffInfoEditorDlg::INFOComboBoxChange(TObject*) { ShowItem(); }

void TMMRiffInfoEditorDlg::InfoTextMemoExit(TObject*) {
  if (!info_) return;
  const int i = SelectedItem();
  if (i < 0) {
    // Only a text typed without an item to hold it is worth the word.
    if (InfoTextMemo->Modified()) ShowMessage("Can't FIND ItemIndex");
    return;
  }
  const std::string text = InfoTextMemo->Text();
  SetInfoItemText(*info_, i, &text, isSet);
  FillList();
}

TDispItem* TMMRiffInfoEditorDlg::FirstEntry(uint32_t type) {
  if (disp_)
    for (TDispItem& item : *disp_)
      if (item.Type == type) return &item;
  return nullptr;
}

TDispItem& TMMRiffInfoEditorDlg::AppendEntry(uint32_t type) {
  TDispItem item;
  item.Type = type;
  disp_->push_back(std::move(item));
  return disp_->back();
}

void TMMRiffInfoEditorDlg::ShowDescription() {
  std::string text;
  if (TDispItem* e = FirstEntry(kDispText))
    if (const std::string* data = DispItemData(*e)) text = DispDataText(*data);
  DescriptionEdit->SetText(text);
}

void TMMRiffInfoEditorDlg::StoreDescription() {
  if (!disp_) return;
  const std::string text = DescriptionEdit->Text();
  TDispItem* e = FirstEntry(kDispText);
  if (!e) {
    if (text.empty()) return;
    e = &AppendEntry(kDispText);
  }
  const std::string* now = DispItemData(*e);
  if (now && DispDataText(*now) == text) return;
  // An empty text is no data: the entry is then not written.
  const std::string data = text.empty() ? std::string() : DispTextData(text);
  SetDispItemData(*e, &data, isSet);
}

void TMMRiffInfoEditorDlg::DescriptionEditEnter(TObject*) { OKBtn->SetDefault(false); }

void TMMRiffInfoEditorDlg::DescriptionEditExit(TObject*) {
  StoreDescription();
  OKBtn->SetDefault(true);
}

void TMMRiffInfoEditorDlg::DescriptionEditKeyPress(TObject*, char& Key) {
  if (Key != '\r') return;
  Key = 0;
  StoreDescription();
  OKBtn->SetDefault(true);
}

void TMMRiffInfoEditorDlg::ShowPicture() {
  const std::string* data = nullptr;
  if (disp_)
    for (const TDispItem& item : *disp_) {
      const std::string* d = item.Type == kDispBitmap ? DispItemData(item) : nullptr;
      if (d && !d->empty()) {
        data = d;
        break;
      }
    }
  TBitmap picture;
  if (data) DIBToImage(data->data(), data->size(), picture);
  if (!picture.Empty()) {
    DIBImage->SetStretch(picture.Width() > kImageSize || picture.Height() > kImageSize);
    TPicture(picture).FlattenOnto(*DIBImage->Picture(), Color());
  } else {
    DIBImage->SetStretch(false);
    WaveFileBitmap().FlattenOnto(*DIBImage->Picture(), Color());
  }
  // A picture that cannot be drawn can still be cleared.
  ClrBtn->SetEnabled(data != nullptr);
  DIBImage->Invalidate();
}

void TMMRiffInfoEditorDlg::PictureBtnClick(TObject*) {
  if (!disp_ || !PictureOpenDialog->Execute()) return;
  const TPicture loaded = LoadPictureFile(PictureOpenDialog->FileName);
  // A DIB has no transparency: transparent parts take the form's colour.
  TBitmap opaque;
  loaded.FlattenOnto(opaque, Color());
  void* dib = BitmapToDIB(opaque, nullptr, loaded.Depth() == 1 ? 1 : 24);
  if (!dib) throw Exception("Bitmap image is not valid");
  const uint32_t size = DIBSize(dib);
  std::string data(static_cast<const char*>(dib), size);
  FreeDIB(dib);
  // A reader skips what is larger: the picture would be written and then never found again.
  if (size + 4 > kMaxListPayload) throw Exception("The picture is too large to be kept with the wave");
  TDispItem* e = FirstEntry(kDispBitmap);
  if (!e) e = &AppendEntry(kDispBitmap);
  SetDispItemData(*e, &data, isSet);
  ShowPicture();
}

void TMMRiffInfoEditorDlg::ClrBtnClick(TObject*) {
  if (!disp_) return;
  // Every picture entry, so that none is written.
  for (TDispItem& item : *disp_)
    if (item.Type == kDispBitmap) SetDispItemData(item, nullptr, isSet);
  ShowPicture();
}

void TMMRiffInfoEditorDlg::RevertBtnClick(TObject*) {
  if (info_)
    for (int i = 0; i < kInfoItemCount; ++i) SetInfoItemText(*info_, i, nullptr, isDeleted);
  if (disp_)
    for (TDispItem& item : *disp_) SetDispItemData(item, nullptr, isDeleted);
  ShowPicture();
  FillList();
  ShowDescription();
}

// ---- the components ---------------------------------------------------------------------------

TMMRiffInfoEditor::TMMRiffInfoEditor(TComponent* owner) : TComponent(owner) {}

void TMMRiffInfoEditor::SetLists(TInfoList* info, TDispList* disp) {
  info_ = info;
  disp_ = disp;
}

bool TMMRiffInfoEditor::GetLists(TInfoList*& info, TDispList*& disp) {
  info = info_;
  disp = disp_;
  return info && disp;
}

bool TMMRiffInfoEditor::Execute() {
  TInfoList* info = nullptr;
  TDispList* disp = nullptr;
  if (!GetLists(info, disp)) return false;
  // The window edits copies of its own: whatever holds the lists may let them go while it shows.
  TInfoList editedInfo = *info;
  TDispList editedDisp = *disp;
  bool done = false;
  {
    auto* dlg = NewForm<TMMRiffInfoEditorDlg>(nullptr);
    struct Freer {
      TMMRiffInfoEditorDlg* d;
      ~Freer() { d->Free(); }
    } freer{dlg};
    dlg->SetCaption(title_);
    dlg->SetLists(&editedInfo, &editedDisp);
    done = dlg->ShowModal() == mrOk && dlg->AnySet();
  }
  // Closed with or without OK, the edits stand, where the lists are still those that were shown.
  if (!ListsKept() || !GetLists(info, disp)) return false;
  *info = std::move(editedInfo);
  *disp = std::move(editedDisp);
  return done;
}

TMMWaveInfoEditor::TMMWaveInfoEditor(TComponent* owner) : TMMRiffInfoEditor(owner) { SetTitle("Wave-Info Editor"); }

TMMWaveInfoEditor::~TMMWaveInfoEditor() { SetSource(nullptr); }

void TMMWaveInfoEditor::SetSource(TMMCustomWaveFile* s) {
  if (s == source_) return;
  if (source_) source_->RemoveFreeNotification(this);
  source_ = s;
  if (source_) source_->FreeNotification(this);
}

void TMMWaveInfoEditor::Notification(TComponent* c, TOperation op) {
  TMMRiffInfoEditor::Notification(c, op);
  if (op == opRemove && c == source_) {
    source_ = nullptr;
    listsKept_ = false;
  }
}

bool TMMWaveInfoEditor::GetLists(TInfoList*& info, TDispList*& disp) {
  TMMWave* wave = source_ ? source_->Wave() : nullptr;
  WaveIOBlock* block = wave && wave->DataSize() > 0 ? wave->IOBlock() : nullptr;
  if (!block) return false;
  info = &block->InfoList;
  disp = &block->DispList;
  return true;
}

bool TMMWaveInfoEditor::Execute() {
  // A wave freed or given another file while the window shows no longer holds the lists shown.
  TMMObserver watch;
  watch.OnNotify = [this](TObject*, void*) { listsKept_ = false; };
  listsKept_ = true;
  if (source_) source_->Wave()->AddObserver(&watch);
  if (!TMMRiffInfoEditor::Execute()) return false;
  if (!writeToFile_ || !source_) return true;
  std::string foreign;
  const TWaveInfoWrite r = WriteWaveInfo(*source_->Wave(), &foreign);
  if (r == TWaveInfoWrite::Failed) throw EMMWaveError(LoadLibraryMessage(140));
  const std::string refusal = WaveInfoRefusal(r, foreign);
  if (!refusal.empty()) MessageDlg(refusal, mtWarning, mbOKOnly);
  return true;
}

// ---- writing the lists into the file ----------------------------------------------------------

namespace {

const uint32_t kFact = FourCC("fact");
const uint32_t kDisp = FourCC("DISP");
const uint32_t kJunk = FourCC("JUNK");
const uint32_t kInfo = FourCC("INFO");

std::string ChunkName(const RiffChunk& ck) {
  std::string name = FourCCText(ck.id);
  if (ck.id == kListId) name += " " + FourCCText(ck.type);
  return name;
}

// Written when nothing but samples, the count, DISP, INFO and filler would be lost by rewriting.
TWaveInfoWrite CheckTail(const WaveIOBlock& b, std::string& foreign) {
  SmallRead refusal = SmallRead::Read;
  auto file = RiffFile::Open(b.Name, RiffMode::Read, &refusal);
  if (!file && refusal != SmallRead::Read && refusal != SmallRead::Missing && refusal != SmallRead::Failed) {
    foreign = RefusalReason(refusal, errno);
    return TWaveInfoWrite::Refused;
  }
  if (!file) return TWaveInfoWrite::Failed;
  const int64_t fileSize = file->Size();
  // An unfinished recording (RIFF size 0) has all of the file in its form.
  const int64_t formEnd =
      b.RiffCk.size == 0 ? fileSize : std::min<int64_t>(b.RiffCk.dataOffset + b.RiffCk.size, fileSize);
  if (formEnd + (formEnd & 1) < fileSize) return TWaveInfoWrite::BytesBehindForm;
  const int64_t declaredEnd = b.DataOffset + b.DataCk.size;
  if (b.DataCk.size < uint64_t(b.DataSize) || declaredEnd > formEnd)  // only samples to the end
    return b.DataOffset + b.DataSize + b.Format->nBlockAlign > formEnd ? TWaveInfoWrite::Written
                                                                       : TWaveInfoWrite::BytesBehindForm;
  int64_t at = declaredEnd + (b.DataCk.size & 1);
  while (at + 8 <= formEnd) {
    RiffChunk ck;
    if (file->Seek(at, SEEK_SET) < 0 || file->Descend(ck) != RiffResult::Ok) return TWaveInfoWrite::Failed;
    if (ck.dataOffset + int64_t(ck.size) > formEnd) return TWaveInfoWrite::BytesBehindForm;
    bool ours = ck.id == kFact || ck.id == kJunk || (ck.id == kListId && ck.type == kInfo);
    if (ck.id == kDisp) {
      uint8_t t[4];
      ours = ck.size >= 4 && file->Read(t, 4) == 4 && (GetLE32(t) == kDispText || GetLE32(t) == kDispBitmap);
    }
    if (!ours) {
      foreign = ChunkName(ck);
      return TWaveInfoWrite::ForeignChunks;
    }
    at = ck.dataOffset + int64_t(ck.size) + (ck.size & 1);
  }
  return TWaveInfoWrite::Written;
}

}  // namespace

TWaveInfoWrite WriteWaveInfo(TMMWave& wave, std::string* foreign) {
  if (wave.FileOpen()) return TWaveInfoWrite::Busy;
  WaveIOBlock* b = wave.IOBlock();
  if (!b || wave.IsMemoryWave() || !(b->Options & wioFile) || !b->Format || !b->HasDataChunk)
    return TWaveInfoWrite::NotOurs;
  if (IsReadOnly(b->Name)) return TWaveInfoWrite::ReadOnly;
  if (b->FormatBehindData) return TWaveInfoWrite::FormatBehindData;
  std::string name;
  const TWaveInfoWrite tail = CheckTail(*b, name);
  if (foreign) *foreign = name;
  if (tail != TWaveInfoWrite::Written) return tail;
  if (WaveIOReopen(b) != wioOk) return TWaveInfoWrite::Failed;
  if (!b->File->Writable()) {
    const bool twin = b->File->Links() > 1;
    WaveIOFinish(b);
    return twin ? TWaveInfoWrite::SecondName : TWaveInfoWrite::ReadOnly;
  }
  // Finishing writes the count and the lists behind the samples as after a recording.
  b->Dirty = true;
  return WaveIOFinish(b) == wioOk ? TWaveInfoWrite::Written : TWaveInfoWrite::Failed;
}

std::string WaveInfoNotTaken(const std::string& why) { return "The file did not take the edit: " + why + "."; }

std::string WaveInfoRefusal(TWaveInfoWrite result, const std::string& foreign) {
  switch (result) {
    case TWaveInfoWrite::NotOurs: return WaveInfoNotTaken("it is no WAV file on disk with a data chunk");
    case TWaveInfoWrite::ReadOnly: return WaveInfoNotTaken("it is read-only");
    case TWaveInfoWrite::FormatBehindData: return WaveInfoNotTaken("its format chunk lies behind its samples");
    case TWaveInfoWrite::ForeignChunks:
      return WaveInfoNotTaken("rewriting it would lose the \"" + foreign +
                              "\" chunk that another program put behind its samples");
    case TWaveInfoWrite::BytesBehindForm:
      return WaveInfoNotTaken(
          "rewriting it would lose the bytes behind its RIFF form (such as a tag another program appended)");
    case TWaveInfoWrite::SecondName:
      return WaveInfoNotTaken(
          "it has another name as well (a second hard link), and the file under that name would change too");
    case TWaveInfoWrite::Refused: return WaveInfoNotTaken(foreign);
    default: return {};
  }
}
