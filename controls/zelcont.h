#pragma once
// Named collections of pictures, strings and waves that controls draw from by index: bitmap
// lists, image lists (strips of equal images with an optional mask), string lists, wave lists,
// a connector that shows several image lists as one, and a container holding one of each. Each
// item stores itself in one binary form (see zelcont_store.h); clients follow an image list
// through a change link.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "controls/ZelObject.h"
#include "controls/ZelTypes.h"
#include "controls/zelcont_store.h"
#include "controls/zelwave.h"
#include "platform/ui/colors.h"
#include "platform/ui/types.h"

namespace plat {
class TBitmap;
class TCanvas;
class TStream;
class TStringList;
}  // namespace plat

class TZelBaseContainer;
class TZelCustomImageList;

// A client's tie to a list: told of every change, cut when either side goes.
class TZelChangeLink : public plat::TObject {
public:
  TZelChangeLink() = default;
  ~TZelChangeLink() override;
  TZelChangeLink(const TZelChangeLink&) = delete;
  TZelChangeLink& operator=(const TZelChangeLink&) = delete;

  TZelBaseContainer* List() const { return list_; }
  plat::TNotifyEvent OnChange;
  plat::TObject* Sender = nullptr;  // what OnChange is told (the link when null)
  virtual void Change();
  std::string ClassName() const override { return "TZelChangeLink"; }

private:
  friend class TZelBaseContainer;
  TZelBaseContainer* list_ = nullptr;
};

class TZelBaseContainer : public TZelCustomComponent {
public:
  explicit TZelBaseContainer(plat::TComponent* owner = nullptr) : TZelCustomComponent(owner) {}
  ~TZelBaseContainer() override;

  void RegisterChanges(TZelChangeLink* link);
  void UnRegisterChanges(TZelChangeLink* link);
  int LinkCount() const { return int(links_.size()); }
  // Every link first, then OnChange.
  void Change() override;
  std::string ClassName() const override { return "TZelBaseContainer"; }

private:
  std::vector<TZelChangeLink*> links_;
};

// ---- items ----------------------------------------------------------------------------------------
class TZelListItem : public TZelCustomComponent {
public:
  explicit TZelListItem(plat::TComponent* owner = nullptr) : TZelCustomComponent(owner) {}

  const std::string& Description() const { return description_; }
  void SetDescription(const std::string& v) { SetField(description_, v); }
  uint16_t Ident() const { return ident_; }
  void SetIdent(uint16_t v) { SetField(ident_, v); }
  bool Compressed() const { return compressed_; }
  void SetCompressed(bool v) { SetField(compressed_, v); }

  // The list kind whose record layout the item uses.
  virtual int Kind() const = 0;
  virtual void ToRecord(TZelItemRecord& r) const;
  virtual void FromRecord(const TZelItemRecord& r);
  // The stored property "Internal".
  void WriteData(plat::TStream& s) const;
  void ReadData(plat::TStream& s);
  std::string ClassName() const override { return "TZelListItem"; }

private:
  std::string description_;
  uint16_t ident_ = 0;
  bool compressed_ = false;
};

class TZelBitmapListItem : public TZelListItem {
public:
  explicit TZelBitmapListItem(plat::TComponent* owner = nullptr);
  ~TZelBitmapListItem() override;
  plat::TBitmap* Bitmap() const { return bitmap_.get(); }
  void SetBitmap(plat::TBitmap* v);
  TZelSavePixelFormat PixelFormat() const { return pixelFormat_; }
  void SetPixelFormat(TZelSavePixelFormat v) { SetField(pixelFormat_, v); }
  int Kind() const override { return lkBitmapList; }
  void ToRecord(TZelItemRecord& r) const override;
  void FromRecord(const TZelItemRecord& r) override;
  std::string ClassName() const override { return "TZelBitmapListItem"; }

private:
  std::unique_ptr<plat::TBitmap> bitmap_;
  TZelSavePixelFormat pixelFormat_ = spfDefault;
};

class TZelImageListItem : public TZelListItem {
public:
  explicit TZelImageListItem(plat::TComponent* owner = nullptr);
  ~TZelImageListItem() override;

  int AllocBy() const { return allocBy_; }
  void SetAllocBy(int v) { SetField(allocBy_, v < 1 ? 1 : v); }
  // A value below 1 or equal to the current one is ignored; another empties the item.
  int Width() const { return width_; }
  void SetWidth(int v);
  int Height() const { return height_; }
  void SetHeight(int v);
  bool Masked() const { return masked_; }
  void SetMasked(bool v);
  TZelSavePixelFormat PixelFormat() const { return pixelFormat_; }
  void SetPixelFormat(TZelSavePixelFormat v) { SetField(pixelFormat_, v); }
  int Count() const { return int(slots_.size()); }

  // Adds every Width-wide image of image (Height rows); mask (may be null) marks with 1 the
  // pixels left out. Returns the first new index. "Invalid image size" for a picture of another
  // height or a width that is no multiple of Width; "Too many images" past 32768 pixels.
  int Add(plat::TBitmap& image, plat::TBitmap* mask);
  // The same with the mask made from the pixels of one colour.
  int AddMasked(plat::TBitmap& image, plat::TColor maskColor);
  void Replace(int index, plat::TBitmap& image, plat::TBitmap* mask);
  void Delete(int index);
  void Clear();
  // Copies image index into bitmap (Width x Height); false for an index outside the item.
  bool GetImage(int index, plat::TBitmap& bitmap) const;
  bool GetMask(int index, plat::TBitmap& mask) const;
  // Draws image index with its mask; disabled draws it embossed.
  void Draw(plat::TCanvas& canvas, int x, int y, int index, bool enabled = true) const;
  plat::TBitmap* Strip() const { return strip_.get(); }
  plat::TBitmap* MaskStrip() const { return mask_.get(); }

  int Kind() const override { return lkImageList; }
  void ToRecord(TZelItemRecord& r) const override;
  void FromRecord(const TZelItemRecord& r) override;
  std::string ClassName() const override { return "TZelImageListItem"; }

private:
  struct Slot {
    uint16_t x;
    bool masked;
  };
  void Reset();
  void Grow(int images);
  void PutImage(int index, plat::TBitmap& image, int sx, plat::TBitmap* mask);
  int allocBy_ = 4, width_ = 16, height_ = 16;
  bool masked_ = false;
  TZelSavePixelFormat pixelFormat_ = spfDefault;
  std::unique_ptr<plat::TBitmap> strip_, mask_;
  std::vector<Slot> slots_;
};

class TZelStringListItem : public TZelListItem {
public:
  explicit TZelStringListItem(plat::TComponent* owner = nullptr);
  ~TZelStringListItem() override;
  plat::TStringList* Items() const { return items_.get(); }
  int Kind() const override { return lkStringList; }
  void ToRecord(TZelItemRecord& r) const override;
  void FromRecord(const TZelItemRecord& r) override;
  std::string ClassName() const override { return "TZelStringListItem"; }

private:
  std::unique_ptr<plat::TStringList> items_;
};

class TZelWaveListItem : public TZelListItem {
public:
  explicit TZelWaveListItem(plat::TComponent* owner = nullptr);
  ~TZelWaveListItem() override;
  TZelWave* Wave() const { return wave_.get(); }
  int Kind() const override { return lkWaveList; }
  void ToRecord(TZelItemRecord& r) const override;
  void FromRecord(const TZelItemRecord& r) override;
  std::string ClassName() const override { return "TZelWaveListItem"; }

private:
  std::unique_ptr<TZelWave> wave_;
};

// ---- containers -----------------------------------------------------------------------------------
class TZelCustomContainer : public TZelBaseContainer {
public:
  explicit TZelCustomContainer(plat::TComponent* owner = nullptr) : TZelBaseContainer(owner) {}
  ~TZelCustomContainer() override;

  // Adds item (a new one of the list's item class when null); the container owns it.
  TZelListItem* Add(TZelListItem* item = nullptr);
  void Clear();
  void Delete(int index);
  int Count() const { return int(items_.size()); }
  TZelListItem* Items(int index) const;  // null outside the list
  virtual int Kind() const = 0;
  // The stream form: u32 count, with index a table of absolute positions, the item records.
  void Save(plat::TStream& s, bool withIndex) const;
  // Replaces every item by the stream's; a damaged form raises and leaves the list as it was.
  void Load(plat::TStream& s, bool withIndex);
  void SaveToListFile(const std::string& path) const;
  std::string ClassName() const override { return "TZelCustomContainer"; }

protected:
  virtual TZelListItem* CreateItem() = 0;

private:
  std::vector<TZelListItem*> items_;
};

// Drawing and queries by list index (which list of a multi-list container) and image index.
// Indexes outside give neutral answers: 0, -1, false or white.
class TZelCustomImageList : public TZelCustomContainer {
public:
  explicit TZelCustomImageList(plat::TComponent* owner = nullptr) : TZelCustomContainer(owner) {}

  virtual plat::TCanvas* ListCanvas(int li) const = 0;
  // Copies one image into bitmap; false when there is none.
  virtual bool GetImage(int li, int ii, plat::TBitmap& bitmap) const = 0;
  virtual int ImageSize(int li, int selector) const = 0;  // 0 width, 1 height
  int ImageWidth(int li) const { return ImageSize(li, 0); }
  int ImageHeight(int li) const { return ImageSize(li, 1); }
  virtual int ImageCount(int li) const = 0;
  bool IsValid(int li, int ii) const { return ii >= 0 && ii < ImageCount(li); }
  virtual bool IsMasked(int li) const = 0;
  virtual plat::TColor TransparentColor(int li) const = 0;
  uint32_t CornerColor(int li, int ii) const { return PixelColor(li, ii, 0, ImageHeight(li) - 1); }
  virtual uint32_t PixelColor(int li, int ii, int x, int y) const;
  virtual void Draw(plat::TCanvas& canvas, int x, int y, int li, int ii, bool enabled = true) const;
  // Into a rectangle with the bitmap drawing flags (zelgraph.h).
  virtual void DrawRect(plat::TCanvas& canvas, const plat::TRect& r, int li, int ii, uint16_t flags,
                        TZelAlignment alignment = agTopLeft, bool enabled = true) const;
  std::string ClassName() const override { return "TZelCustomImageList"; }
};

class TZelBitmapList : public TZelCustomImageList {
public:
  explicit TZelBitmapList(plat::TComponent* owner = nullptr) : TZelCustomImageList(owner) {}
  bool DefaultCompressed() const { return defaultCompressed_; }
  void SetDefaultCompressed(bool v) { defaultCompressed_ = v; }
  TZelSavePixelFormat DefaultPixelFormat() const { return defaultPixelFormat_; }
  void SetDefaultPixelFormat(TZelSavePixelFormat v) { defaultPixelFormat_ = v; }
  TZelBitmapListItem* Bitmaps(int i) const { return dynamic_cast<TZelBitmapListItem*>(Items(i)); }

  plat::TCanvas* ListCanvas(int li) const override;
  bool GetImage(int li, int ii, plat::TBitmap& bitmap) const override;
  int ImageSize(int li, int selector) const override;
  int ImageCount(int li) const override;
  bool IsMasked(int li) const override { return false; }
  plat::TColor TransparentColor(int li) const override;
  void Draw(plat::TCanvas& canvas, int x, int y, int li, int ii, bool enabled = true) const override;
  void DrawRect(plat::TCanvas& canvas, const plat::TRect& r, int li, int ii, uint16_t flags,
                TZelAlignment alignment = agTopLeft, bool enabled = true) const override;
  int Kind() const override { return lkBitmapList; }
  std::string ClassName() const override { return "TZelBitmapList"; }

protected:
  TZelListItem* CreateItem() override;

private:
  plat::TBitmap* Picture(int li, int ii) const;
  bool defaultCompressed_ = false;
  TZelSavePixelFormat defaultPixelFormat_ = spfDefault;
};

class TZelImageList : public TZelCustomImageList {
public:
  explicit TZelImageList(plat::TComponent* owner = nullptr) : TZelCustomImageList(owner) {}
  bool DefaultCompressed() const { return defaultCompressed_; }
  void SetDefaultCompressed(bool v) { defaultCompressed_ = v; }
  TZelSavePixelFormat DefaultPixelFormat() const { return defaultPixelFormat_; }
  void SetDefaultPixelFormat(TZelSavePixelFormat v) { defaultPixelFormat_ = v; }
  TZelImageListItem* Lists(int i) const { return dynamic_cast<TZelImageListItem*>(Items(i)); }

  plat::TCanvas* ListCanvas(int li) const override;
  bool GetImage(int li, int ii, plat::TBitmap& bitmap) const override;
  int ImageSize(int li, int selector) const override;
  int ImageCount(int li) const override;
  bool IsMasked(int li) const override;
  plat::TColor TransparentColor(int li) const override;
  void Draw(plat::TCanvas& canvas, int x, int y, int li, int ii, bool enabled = true) const override;
  int Kind() const override { return lkImageList; }
  std::string ClassName() const override { return "TZelImageList"; }

protected:
  TZelListItem* CreateItem() override;

private:
  bool defaultCompressed_ = false;
  TZelSavePixelFormat defaultPixelFormat_ = spfDefault;
};

// One entry of a connector: an image list and which of its lists to use.
struct TZelBorImageListItem {
  std::string Name;
  TZelCustomImageList* ImageList = nullptr;
  int Index = 0;
};

class TZelImageListConnector : public TZelCustomImageList {
public:
  explicit TZelImageListConnector(plat::TComponent* owner = nullptr) : TZelCustomImageList(owner) {}
  ~TZelImageListConnector() override;
  // The entries; setting one follows its list (and forgets it when the list goes).
  const std::vector<TZelBorImageListItem>& ImageLists() const { return entries_; }
  void AddEntry(const TZelBorImageListItem& e);
  void SetEntry(int i, const TZelBorImageListItem& e);
  void ClearEntries();

  plat::TCanvas* ListCanvas(int li) const override;
  bool GetImage(int li, int ii, plat::TBitmap& bitmap) const override;
  int ImageSize(int li, int selector) const override;
  int ImageCount(int li) const override;
  bool IsMasked(int li) const override;
  plat::TColor TransparentColor(int li) const override;
  uint32_t PixelColor(int li, int ii, int x, int y) const override;
  void Draw(plat::TCanvas& canvas, int x, int y, int li, int ii, bool enabled = true) const override;
  void DrawRect(plat::TCanvas& canvas, const plat::TRect& r, int li, int ii, uint16_t flags,
                TZelAlignment alignment = agTopLeft, bool enabled = true) const override;
  int Kind() const override { return lkImageList; }
  std::string ClassName() const override { return "TZelImageListConnector"; }

protected:
  TZelListItem* CreateItem() override { return nullptr; }
  void Notification(plat::TComponent* c, plat::TOperation op) override;

private:
  const TZelBorImageListItem* Entry(int li) const;
  void Follow(TZelCustomImageList* list);
  std::vector<TZelBorImageListItem> entries_;
  std::vector<std::unique_ptr<TZelChangeLink>> links_;
};

class TZelStringList : public TZelCustomContainer {
public:
  explicit TZelStringList(plat::TComponent* owner = nullptr) : TZelCustomContainer(owner) {}
  bool DefaultCompressed() const { return defaultCompressed_; }
  void SetDefaultCompressed(bool v) { defaultCompressed_ = v; }
  TZelStringListItem* Lists(int i) const { return dynamic_cast<TZelStringListItem*>(Items(i)); }
  int Kind() const override { return lkStringList; }
  std::string ClassName() const override { return "TZelStringList"; }

protected:
  TZelListItem* CreateItem() override;

private:
  bool defaultCompressed_ = false;
};

class TZelWaveList : public TZelCustomContainer {
public:
  explicit TZelWaveList(plat::TComponent* owner = nullptr) : TZelCustomContainer(owner) {}
  bool DefaultCompressed() const { return defaultCompressed_; }
  void SetDefaultCompressed(bool v) { defaultCompressed_ = v; }
  TZelWaveListItem* Waves(int i) const { return dynamic_cast<TZelWaveListItem*>(Items(i)); }
  int Kind() const override { return lkWaveList; }
  std::string ClassName() const override { return "TZelWaveList"; }

protected:
  TZelListItem* CreateItem() override;

private:
  bool defaultCompressed_ = false;
};

// One list of each kind; their changes are the container's.
class TZelContainer : public TZelBaseContainer {
public:
  explicit TZelContainer(plat::TComponent* owner = nullptr);
  ~TZelContainer() override;
  TZelBitmapList* BitmapList() const { return bitmaps_; }
  TZelImageList* ImageList() const { return images_; }
  TZelWaveList* WaveList() const { return waves_; }
  TZelStringList* StringList() const { return strings_; }
  std::string ClassName() const override { return "TZelContainer"; }

private:
  TZelBitmapList* bitmaps_;
  TZelImageList* images_;
  TZelWaveList* waves_;
  TZelStringList* strings_;
};

// The kit's global container (null outside the kit's lifetime); its bitmap and image lists are
// the standard lists other objects name by tag.
extern TZelContainer* ZelContainer;
bool IsStandardList(const TZelCustomImageList* list);
// "ZelBML30" or "ZelIML30" for a standard list, empty for any other.
std::string WriteListTag(const TZelCustomImageList* list);
TZelCustomImageList* ReadListTag(const std::string& tag);  // null for an unknown tag

// Reads item i of a list file of the expected kind into item (index: a table read before, or
// null to read the file's own).
void LoadItemFromFile(const std::string& fileName, int expectedKind, const std::vector<uint32_t>* index,
                      TZelListItem& item, int i);
