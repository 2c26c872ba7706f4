#include "controls/zelcont.h"

#include <algorithm>

#include "controls/ZelStreamUtils.h"
#include "controls/zelgraph.h"
#include "platform/ui/graphics.h"
#include "platform/ui/strings.h"

using plat::TBitmap;
using plat::TCanvas;
using plat::TColor;
using plat::TRect;

TZelContainer* ZelContainer = nullptr;

// ---- change links ---------------------------------------------------------------------------------

TZelChangeLink::~TZelChangeLink() {
  if (list_) list_->UnRegisterChanges(this);
}

void TZelChangeLink::Change() {
  if (!OnChange) return;
  auto handler = OnChange;
  handler(Sender ? Sender : this);
}

TZelBaseContainer::~TZelBaseContainer() {
  for (auto* link : links_) link->list_ = nullptr;
  links_.clear();
}

void TZelBaseContainer::RegisterChanges(TZelChangeLink* link) {
  if (!link || link->list_ == this) return;
  if (link->list_) link->list_->UnRegisterChanges(link);
  link->list_ = this;
  links_.push_back(link);
}

void TZelBaseContainer::UnRegisterChanges(TZelChangeLink* link) {
  auto it = std::find(links_.begin(), links_.end(), link);
  if (it == links_.end()) return;
  links_.erase(it);
  link->list_ = nullptr;
}

void TZelBaseContainer::Change() {
  if (Updating()) return;
  // A link's handler may unregister links; walk a copy and skip the ones that left.
  std::vector<TZelChangeLink*> links = links_;
  for (auto* link : links)
    if (std::find(links_.begin(), links_.end(), link) != links_.end()) link->Change();
  TZelCustomComponent::Change();
}

// ---- items ----------------------------------------------------------------------------------------

void TZelListItem::ToRecord(TZelItemRecord& r) const {
  r.Header.Compressed = compressed_;
  r.Header.Description = description_;
  r.Header.Ident = ident_;
}

void TZelListItem::FromRecord(const TZelItemRecord& r) {
  compressed_ = r.Header.Compressed;
  description_ = r.Header.Description;
  ident_ = r.Header.Ident;
}

void TZelListItem::WriteData(plat::TStream& s) const {
  TZelItemRecord r;
  ToRecord(r);
  WriteItemRecord(s, Kind(), r);
}

void TZelListItem::ReadData(plat::TStream& s) {
  TZelItemRecord r = ReadItemRecord(s, Kind());
  bool was = Updating();
  BeginUpdate();
  try {
    FromRecord(r);
  } catch (...) {
    if (!was) EndUpdate(false);
    throw;
  }
  if (!was) EndUpdate(true);
}

// Bitmap items.

TZelBitmapListItem::TZelBitmapListItem(plat::TComponent* owner)
    : TZelListItem(owner), bitmap_(std::make_unique<TBitmap>()) {
  bitmap_->OnChange = ChangeForwarder();
}

TZelBitmapListItem::~TZelBitmapListItem() { bitmap_->OnChange = nullptr; }

void TZelBitmapListItem::SetBitmap(TBitmap* v) {
  if (v) bitmap_->Assign(v);
  else bitmap_->SetSize(0, 0);
  Change();
}

void TZelBitmapListItem::ToRecord(TZelItemRecord& r) const {
  TZelListItem::ToRecord(r);
  r.Header.PixelFormat = pixelFormat_;
  r.Header.HasData = !bitmap_->Empty();
  if (r.Header.HasData) r.Data = BitmapToBytes(*bitmap_, PixelFormatCode(pixelFormat_));
}

void TZelBitmapListItem::FromRecord(const TZelItemRecord& r) {
  TBitmap loaded;
  if (r.Header.HasData) BitmapFromBytes(loaded, r.Data);
  TZelListItem::FromRecord(r);
  pixelFormat_ = r.Header.PixelFormat;
  bitmap_->Assign(&loaded);
}

// Image items.

TZelImageListItem::TZelImageListItem(plat::TComponent* owner)
    : TZelListItem(owner), strip_(std::make_unique<TBitmap>()), mask_(std::make_unique<TBitmap>()) {
  strip_->SetPixelFormat(plat::pf24bit);
  mask_->SetMonochrome(true);
  Reset();
}

TZelImageListItem::~TZelImageListItem() = default;

void TZelImageListItem::Reset() {
  slots_.clear();
  strip_->SetSize(0, height_);
  mask_->SetSize(0, height_);
}

void TZelImageListItem::SetWidth(int v) {
  if (v < 1 || v == width_ || v > int(kZelMaxStripWidth)) return;
  width_ = v;
  Reset();
  Change();
}

void TZelImageListItem::SetHeight(int v) {
  if (v < 1 || v == height_ || v > int(kZelMaxStripWidth)) return;
  height_ = v;
  Reset();
  Change();
}

void TZelImageListItem::SetMasked(bool v) {
  if (v == masked_) return;
  masked_ = v;
  if (!masked_)
    for (auto& s : slots_) s.masked = false;
  Change();
}

void TZelImageListItem::Grow(int images) {
  const int used = (Count() + images) * width_;
  if (used > int(kZelMaxStripWidth)) throw plat::EInvalidGraphicOperation("Too many images");
  int w = strip_->Width();
  if (w >= used) return;
  while (w < used) w += allocBy_ * width_;
  w = std::min(w, int(kZelMaxStripWidth));
  strip_->SetSize(w, height_);
  mask_->SetSize(w, height_);
}

void TZelImageListItem::PutImage(int index, TBitmap& image, int sx, TBitmap* mask) {
  const int x = slots_[size_t(index)].x;
  TBitmap src, m;
  src.AssignPart(image, plat::Bounds(sx, 0, width_, height_));
  src.SetPixelFormat(plat::pf32bit);
  if (mask) {
    m.AssignPart(*mask, plat::Bounds(sx, 0, width_, height_));
    m.SetPixelFormat(plat::pf32bit);
  }
  for (int y = 0; y < height_; ++y)
    for (int i = 0; i < width_; ++i) {
      // A masked-out pixel is black in the picture, so drawing is an and with the mask and an or
      // with the picture.
      const bool out = mask && m.PixelColor(i, y) != plat::clBlack;
      strip_->SetPixelColor(x + i, y, out ? plat::clBlack : src.PixelColor(i, y));
      mask_->SetPixelIndex(x + i, y, out ? 1 : 0);
    }
  slots_[size_t(index)].masked = masked_ && mask != nullptr;
  strip_->Modified();
}

int TZelImageListItem::Add(TBitmap& image, TBitmap* mask) {
  if (image.Height() != height_ || image.Width() % width_ != 0 || image.Empty())
    throw plat::EInvalidGraphicOperation("Invalid image size");
  if (mask && (mask->Width() < image.Width() || mask->Height() < height_))
    throw plat::EInvalidGraphicOperation("Invalid image size");
  const int n = image.Width() / width_;
  Grow(n);
  const int first = Count();
  for (int k = 0; k < n; ++k) {
    slots_.push_back({uint16_t((first + k) * width_), false});
    PutImage(first + k, image, k * width_, masked_ ? mask : nullptr);
  }
  Change();
  return first;
}

int TZelImageListItem::AddMasked(TBitmap& image, TColor maskColor) {
  TBitmap mask(image.Width(), image.Height());
  TBitmap src;
  src.Assign(&image);
  src.SetPixelFormat(plat::pf32bit);
  const uint32_t key = plat::ColorToBGR(maskColor);
  for (int y = 0; y < src.Height(); ++y)
    for (int x = 0; x < src.Width(); ++x)
      mask.SetPixelColor(x, y, uint32_t(src.PixelColor(x, y)) == key ? plat::clWhite : plat::clBlack);
  return Add(image, &mask);
}

void TZelImageListItem::Replace(int index, TBitmap& image, TBitmap* mask) {
  if (index < 0 || index >= Count()) throw plat::EInvalidGraphicOperation("Invalid image index");
  if (image.Height() != height_ || image.Width() < width_) throw plat::EInvalidGraphicOperation("Invalid image size");
  PutImage(index, image, 0, masked_ ? mask : nullptr);
  Change();
}

void TZelImageListItem::Delete(int index) {
  if (index < 0 || index >= Count()) return;
  for (int k = index + 1; k < Count(); ++k) {
    const int from = slots_[size_t(k)].x, to = slots_[size_t(k - 1)].x;
    for (int y = 0; y < height_; ++y)
      for (int i = 0; i < width_; ++i) {
        strip_->SetPixelColor(to + i, y, strip_->PixelColor(from + i, y));
        mask_->SetPixelIndex(to + i, y, mask_->PixelIndex(from + i, y));
      }
    slots_[size_t(k - 1)].masked = slots_[size_t(k)].masked;
  }
  slots_.pop_back();
  Change();
}

void TZelImageListItem::Clear() {
  if (slots_.empty()) return;
  Reset();
  Change();
}

bool TZelImageListItem::GetImage(int index, TBitmap& bitmap) const {
  if (index < 0 || index >= Count()) return false;
  bitmap.AssignPart(*strip_, plat::Bounds(slots_[size_t(index)].x, 0, width_, height_));
  return true;
}

bool TZelImageListItem::GetMask(int index, TBitmap& mask) const {
  if (index < 0 || index >= Count()) return false;
  mask.AssignPart(*mask_, plat::Bounds(slots_[size_t(index)].x, 0, width_, height_));
  return true;
}

void TZelImageListItem::Draw(TCanvas& canvas, int x, int y, int index, bool enabled) const {
  if (index < 0 || index >= Count()) return;
  const int sx = slots_[size_t(index)].x;
  if (!enabled) {
    TBitmap image;
    GetImage(index, image);
    if (slots_[size_t(index)].masked) {
      // Masked-out pixels become the transparent colour the embossing leaves out.
      TBitmap m;
      m.AssignPart(*mask_, plat::Bounds(sx, 0, width_, height_));
      for (int j = 0; j < height_; ++j)
        for (int i = 0; i < width_; ++i)
          if (m.PixelIndex(i, j)) image.SetPixelColor(i, j, plat::clWhite);
      image.SetTransparentColor(plat::clWhite);
    }
    DrawDisabledGlyph(canvas, image, x, y);
    return;
  }
  if (!slots_[size_t(index)].masked) {
    canvas.BitBlt(x, y, width_, height_, *strip_->Canvas(), sx, 0, plat::SRCCOPY);
    return;
  }
  const uint32_t text = canvas.TextColorRGB(), bk = canvas.BkColorRGB();
  canvas.SetTextColor(plat::clBlack);
  canvas.SetBkColor(plat::clWhite);
  canvas.BitBlt(x, y, width_, height_, *mask_->Canvas(), sx, 0, plat::SRCAND);
  canvas.BitBlt(x, y, width_, height_, *strip_->Canvas(), sx, 0, plat::SRCPAINT);
  canvas.SetTextColor(TColor(text));
  canvas.SetBkColor(TColor(bk));
}

void TZelImageListItem::ToRecord(TZelItemRecord& r) const {
  TZelListItem::ToRecord(r);
  r.Header.PixelFormat = pixelFormat_;
  r.Image = {uint32_t(height_), uint32_t(width_), uint32_t(allocBy_), masked_, uint32_t(Count())};
  if (Count() == 0) return;
  // The strips are stored just as wide as their images.
  TBitmap strip, mask;
  strip.AssignPart(*strip_, plat::Rect(0, 0, Count() * width_, height_));
  r.Data = BitmapToBytes(strip, PixelFormatCode(pixelFormat_));
  if (masked_) {
    mask.AssignPart(*mask_, plat::Rect(0, 0, Count() * width_, height_));
    r.Mask = BitmapToBytes(mask, 2);
  }
}

void TZelImageListItem::FromRecord(const TZelItemRecord& r) {
  const TZelImageItemFields& f = r.Image;
  const int count = int(f.Count), w = int(f.Width), h = int(f.Height);
  TBitmap strip, mask;
  if (count > 0) {
    BitmapFromBytes(strip, r.Data);
    // A picture that cannot hold the images it claims is damaged data.
    if (strip.Height() != h || strip.Width() < count * w) throw plat::EReadError("List data is damaged");
    if (f.Masked) {
      BitmapFromBytes(mask, r.Mask);
      if (mask.Height() != h || mask.Width() < count * w) throw plat::EReadError("List data is damaged");
    }
  }
  TZelListItem::FromRecord(r);
  pixelFormat_ = r.Header.PixelFormat;
  width_ = w;
  height_ = h;
  allocBy_ = int(f.AllocBy);
  masked_ = f.Masked;
  Reset();
  if (count == 0) return;
  TBitmap part;
  part.AssignPart(strip, plat::Rect(0, 0, count * w, h));
  part.SetPixelFormat(plat::pf24bit);
  strip_->AssignPart(part, plat::Rect(0, 0, count * w, h));
  // One bit a pixel, black and white: set where the stored mask is not black.
  TBitmap m;
  m.SetMonochrome(true);
  m.SetSize(count * w, h);
  if (f.Masked) mask.SetPixelFormat(plat::pf32bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < count * w; ++x)
      m.SetPixelIndex(x, y, f.Masked && mask.PixelColor(x, y) != plat::clBlack ? 1 : 0);
  mask_->AssignPart(m, plat::Rect(0, 0, count * w, h));
  for (int k = 0; k < count; ++k) slots_.push_back({uint16_t(k * w), bool(f.Masked)});
}

// String and wave items.

TZelStringListItem::TZelStringListItem(plat::TComponent* owner)
    : TZelListItem(owner), items_(std::make_unique<plat::TStringList>()) {
  items_->OnChange = ChangeForwarder();
}

TZelStringListItem::~TZelStringListItem() { items_->OnChange = nullptr; }

void TZelStringListItem::ToRecord(TZelItemRecord& r) const {
  TZelListItem::ToRecord(r);
  r.Header.HasData = items_->Count() > 0;
  if (r.Header.HasData) r.Data = items_->Text();
}

void TZelStringListItem::FromRecord(const TZelItemRecord& r) {
  TZelListItem::FromRecord(r);
  if (r.Header.HasData) items_->SetText(r.Data);
  else items_->Clear();
}

TZelWaveListItem::TZelWaveListItem(plat::TComponent* owner) : TZelListItem(owner), wave_(std::make_unique<TZelWave>()) {
  wave_->OnChange = ChangeForwarder();
}

TZelWaveListItem::~TZelWaveListItem() { wave_->OnChange = nullptr; }

void TZelWaveListItem::ToRecord(TZelItemRecord& r) const {
  TZelListItem::ToRecord(r);
  r.Header.HasData = !wave_->Empty();
  if (r.Header.HasData) r.Data = wave_->Bytes();
}

void TZelWaveListItem::FromRecord(const TZelItemRecord& r) {
  if (!r.Header.HasData) {
    TZelListItem::FromRecord(r);
    wave_->Clear();
    return;
  }
  plat::TMemoryStream m;
  SetMemoryBytes(m, r.Data);
  TZelWave loaded;
  loaded.LoadFromStream(m.Size(), m);
  TZelListItem::FromRecord(r);
  wave_->Assign(&loaded);
}

// ---- containers -----------------------------------------------------------------------------------

TZelCustomContainer::~TZelCustomContainer() {
  for (auto* item : items_) {
    item->OnChange = nullptr;
    delete item;
  }
}

TZelListItem* TZelCustomContainer::Add(TZelListItem* item) {
  if (!item) item = CreateItem();
  if (!item) return nullptr;
  item->OnChange = ChangeForwarder();
  items_.push_back(item);
  Change();
  return item;
}

void TZelCustomContainer::Clear() {
  if (items_.empty()) return;
  for (auto* item : items_) {
    item->OnChange = nullptr;
    delete item;
  }
  items_.clear();
  Change();
}

void TZelCustomContainer::Delete(int index) {
  if (index < 0 || index >= Count()) return;
  TZelListItem* item = items_[size_t(index)];
  items_.erase(items_.begin() + index);
  item->OnChange = nullptr;
  delete item;
  Change();
}

TZelListItem* TZelCustomContainer::Items(int index) const {
  return index >= 0 && index < Count() ? items_[size_t(index)] : nullptr;
}

void TZelCustomContainer::Save(plat::TStream& s, bool withIndex) const {
  std::vector<TZelItemRecord> records(items_.size());
  for (size_t i = 0; i < items_.size(); ++i) items_[i]->ToRecord(records[i]);
  WriteContainer(s, Kind(), records, withIndex);
}

void TZelCustomContainer::Load(plat::TStream& s, bool withIndex) {
  // Everything is read and built first, so damaged data leaves the list as it was.
  std::vector<TZelItemRecord> records = ReadContainer(s, Kind(), withIndex);
  std::vector<std::unique_ptr<TZelListItem>> fresh;
  for (const auto& r : records) {
    std::unique_ptr<TZelListItem> item(CreateItem());
    item->FromRecord(r);
    fresh.push_back(std::move(item));
  }
  bool was = Updating();
  BeginUpdate();
  Clear();
  for (auto& item : fresh) Add(item.release());
  if (!was) EndUpdate(true);
}

void TZelCustomContainer::SaveToListFile(const std::string& path) const {
  std::vector<TZelItemRecord> records(items_.size());
  for (size_t i = 0; i < items_.size(); ++i) items_[i]->ToRecord(records[i]);
  plat::TFileStream f(path, plat::fmCreate);
  WriteListFile(f, Kind(), records);
}

// ---- image lists ----------------------------------------------------------------------------------

uint32_t TZelCustomImageList::PixelColor(int li, int ii, int x, int y) const {
  if (!IsValid(li, ii) || x < 0 || y < 0 || x >= ImageWidth(li) || y >= ImageHeight(li)) return 0xFFFFFF;
  TBitmap image;
  if (!GetImage(li, ii, image)) return 0xFFFFFF;
  return uint32_t(image.PixelColor(x, y));
}

void TZelCustomImageList::Draw(TCanvas& canvas, int x, int y, int li, int ii, bool enabled) const {
  TBitmap image;
  if (!GetImage(li, ii, image)) return;
  if (enabled) canvas.Draw(x, y, &image);
  else DrawDisabledGlyph(canvas, image, x, y);
}

void TZelCustomImageList::DrawRect(TCanvas& canvas, const TRect& r, int li, int ii, uint16_t flags,
                                   TZelAlignment alignment, bool enabled) const {
  TBitmap image;
  if (!GetImage(li, ii, image)) return;
  if (!enabled) {
    TRect at = AlignRect(alignment, {image.Width(), image.Height()}, r);
    DrawDisabledGlyph(canvas, image, at.Left, at.Top);
    return;
  }
  DrawBitmapFlags(canvas, r, image, flags, alignment, 0, 0, TransparentColor(li));
}

// Bitmap lists: each item is a list of one picture.

TZelListItem* TZelBitmapList::CreateItem() {
  auto* item = new TZelBitmapListItem();
  item->SetCompressed(defaultCompressed_);
  item->SetPixelFormat(defaultPixelFormat_);
  return item;
}

TBitmap* TZelBitmapList::Picture(int li, int ii) const {
  TZelBitmapListItem* item = Bitmaps(li);
  if (!item || ii != 0 || item->Bitmap()->Empty()) return nullptr;
  return item->Bitmap();
}

plat::TCanvas* TZelBitmapList::ListCanvas(int li) const {
  TZelBitmapListItem* item = Bitmaps(li);
  return item ? item->Bitmap()->Canvas() : nullptr;
}

bool TZelBitmapList::GetImage(int li, int ii, TBitmap& bitmap) const {
  TBitmap* p = Picture(li, ii);
  if (!p) return false;
  bitmap.Assign(p);
  return true;
}

int TZelBitmapList::ImageSize(int li, int selector) const {
  TZelBitmapListItem* item = Bitmaps(li);
  if (!item) return 0;
  return selector == 0 ? item->Bitmap()->Width() : item->Bitmap()->Height();
}

int TZelBitmapList::ImageCount(int li) const {
  TZelBitmapListItem* item = Bitmaps(li);
  if (!item) return -1;
  return item->Bitmap()->Empty() ? 0 : 1;
}

TColor TZelBitmapList::TransparentColor(int li) const {
  TZelBitmapListItem* item = Bitmaps(li);
  return item ? item->Bitmap()->TransparentColor() : plat::clWhite;
}

void TZelBitmapList::Draw(TCanvas& canvas, int x, int y, int li, int ii, bool enabled) const {
  TBitmap* p = Picture(li, ii);
  if (!p) return;
  if (enabled) canvas.Draw(x, y, p);
  else DrawDisabledGlyph(canvas, *p, x, y);
}

void TZelBitmapList::DrawRect(TCanvas& canvas, const TRect& r, int li, int ii, uint16_t flags, TZelAlignment alignment,
                              bool enabled) const {
  TBitmap* p = Picture(li, ii);
  if (!p) return;
  if (!enabled) return TZelCustomImageList::DrawRect(canvas, r, li, ii, flags, alignment, false);
  DrawBitmapFlags(canvas, r, *p, flags, alignment, 0, 0, p->TransparentColor());
}

// Image lists: each item is a strip.

TZelListItem* TZelImageList::CreateItem() {
  auto* item = new TZelImageListItem();
  item->SetCompressed(defaultCompressed_);
  item->SetPixelFormat(defaultPixelFormat_);
  return item;
}

plat::TCanvas* TZelImageList::ListCanvas(int li) const {
  TZelImageListItem* item = Lists(li);
  return item ? item->Strip()->Canvas() : nullptr;
}

bool TZelImageList::GetImage(int li, int ii, TBitmap& bitmap) const {
  TZelImageListItem* item = Lists(li);
  return item && item->GetImage(ii, bitmap);
}

int TZelImageList::ImageSize(int li, int selector) const {
  TZelImageListItem* item = Lists(li);
  if (!item) return 0;
  return selector == 0 ? item->Width() : item->Height();
}

int TZelImageList::ImageCount(int li) const {
  TZelImageListItem* item = Lists(li);
  return item ? item->Count() : -1;
}

bool TZelImageList::IsMasked(int li) const {
  TZelImageListItem* item = Lists(li);
  return item && item->Masked();
}

TColor TZelImageList::TransparentColor(int li) const {
  TZelImageListItem* item = Lists(li);
  if (!item || item->Count() == 0) return plat::clWhite;
  return item->Strip()->PixelColor(0, item->Height() - 1);
}

void TZelImageList::Draw(TCanvas& canvas, int x, int y, int li, int ii, bool enabled) const {
  if (TZelImageListItem* item = Lists(li)) item->Draw(canvas, x, y, ii, enabled);
}

// The connector.

TZelImageListConnector::~TZelImageListConnector() {
  for (auto& e : entries_)
    if (e.ImageList) e.ImageList->RemoveFreeNotification(this);
}

void TZelImageListConnector::Follow(TZelCustomImageList* list) {
  if (!list) return;
  list->FreeNotification(this);
  auto link = std::make_unique<TZelChangeLink>();
  link->OnChange = [this](plat::TObject*) { Change(); };
  list->RegisterChanges(link.get());
  links_.push_back(std::move(link));
}

void TZelImageListConnector::AddEntry(const TZelBorImageListItem& e) {
  entries_.push_back(e);
  Follow(e.ImageList);
  Change();
}

void TZelImageListConnector::SetEntry(int i, const TZelBorImageListItem& e) {
  if (i < 0 || i >= int(entries_.size())) return;
  entries_[size_t(i)] = e;
  Follow(e.ImageList);
  Change();
}

void TZelImageListConnector::ClearEntries() {
  entries_.clear();
  links_.clear();
  Change();
}

void TZelImageListConnector::Notification(plat::TComponent* c, plat::TOperation op) {
  TZelCustomImageList::Notification(c, op);
  if (op != plat::opRemove) return;
  bool changed = false;
  for (auto& e : entries_)
    if (e.ImageList == c) {
      e.ImageList = nullptr;
      changed = true;
    }
  if (changed && !IsDestroying()) Change();
}

const TZelBorImageListItem* TZelImageListConnector::Entry(int li) const {
  if (li < 0 || li >= int(entries_.size()) || !entries_[size_t(li)].ImageList) return nullptr;
  return &entries_[size_t(li)];
}

plat::TCanvas* TZelImageListConnector::ListCanvas(int li) const {
  auto* e = Entry(li);
  return e ? e->ImageList->ListCanvas(e->Index) : nullptr;
}

bool TZelImageListConnector::GetImage(int li, int ii, TBitmap& bitmap) const {
  auto* e = Entry(li);
  return e && e->ImageList->GetImage(e->Index, ii, bitmap);
}

int TZelImageListConnector::ImageSize(int li, int selector) const {
  auto* e = Entry(li);
  return e ? e->ImageList->ImageSize(e->Index, selector) : 0;
}

int TZelImageListConnector::ImageCount(int li) const {
  auto* e = Entry(li);
  return e ? e->ImageList->ImageCount(e->Index) : -1;
}

bool TZelImageListConnector::IsMasked(int li) const {
  auto* e = Entry(li);
  return e && e->ImageList->IsMasked(e->Index);
}

TColor TZelImageListConnector::TransparentColor(int li) const {
  auto* e = Entry(li);
  return e ? e->ImageList->TransparentColor(e->Index) : plat::clWhite;
}

uint32_t TZelImageListConnector::PixelColor(int li, int ii, int x, int y) const {
  auto* e = Entry(li);
  return e ? e->ImageList->PixelColor(e->Index, ii, x, y) : 0xFFFFFF;
}

void TZelImageListConnector::Draw(TCanvas& canvas, int x, int y, int li, int ii, bool enabled) const {
  if (auto* e = Entry(li)) e->ImageList->Draw(canvas, x, y, e->Index, ii, enabled);
}

void TZelImageListConnector::DrawRect(TCanvas& canvas, const TRect& r, int li, int ii, uint16_t flags,
                                      TZelAlignment alignment, bool enabled) const {
  if (auto* e = Entry(li)) e->ImageList->DrawRect(canvas, r, e->Index, ii, flags, alignment, enabled);
}

// String and wave lists.

TZelListItem* TZelStringList::CreateItem() {
  auto* item = new TZelStringListItem();
  item->SetCompressed(defaultCompressed_);
  return item;
}

TZelListItem* TZelWaveList::CreateItem() {
  auto* item = new TZelWaveListItem();
  item->SetCompressed(defaultCompressed_);
  return item;
}

// The container of one list of each kind.

TZelContainer::TZelContainer(plat::TComponent* owner)
    : TZelBaseContainer(owner),
      bitmaps_(new TZelBitmapList()),
      images_(new TZelImageList()),
      waves_(new TZelWaveList()),
      strings_(new TZelStringList()) {
  for (TZelCustomComponent* list : std::initializer_list<TZelCustomComponent*>{bitmaps_, images_, waves_, strings_})
    list->OnChange = ChangeForwarder();
}

TZelContainer::~TZelContainer() {
  for (TZelCustomComponent* list : std::initializer_list<TZelCustomComponent*>{bitmaps_, images_, waves_, strings_}) {
    list->OnChange = nullptr;
    delete list;
  }
  if (ZelContainer == this) ZelContainer = nullptr;
}

bool IsStandardList(const TZelCustomImageList* list) {
  return list && ZelContainer && (list == ZelContainer->BitmapList() || list == ZelContainer->ImageList());
}

std::string WriteListTag(const TZelCustomImageList* list) {
  if (!IsStandardList(list)) return {};
  return list == ZelContainer->BitmapList() ? kZelListTags[lkBitmapList] : kZelListTags[lkImageList];
}

TZelCustomImageList* ReadListTag(const std::string& tag) {
  if (!ZelContainer) return nullptr;
  if (tag == kZelListTags[lkBitmapList]) return ZelContainer->BitmapList();
  if (tag == kZelListTags[lkImageList]) return ZelContainer->ImageList();
  return nullptr;
}

void LoadItemFromFile(const std::string& fileName, int expectedKind, const std::vector<uint32_t>* index,
                      TZelListItem& item, int i) {
  TZelItemRecord r = LoadItemRecordFromFile(fileName, expectedKind, index, i);
  if (item.Kind() != expectedKind) throw plat::Exception("Cannot open file %s: " + fileName);
  bool was = item.Updating();
  item.BeginUpdate();
  try {
    item.FromRecord(r);
  } catch (...) {
    if (!was) item.EndUpdate(false);
    throw;
  }
  if (!was) item.EndUpdate(true);
}
