#include "engine/MMCstDlg.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "engine/MMACM.h"
#include "engine/MMADCvt.h"
#include "engine/MMDIB_ui.h"
#include "engine/MMPCMSup.h"
#include "engine/MMWavOut.h"
#include "engine/MMWave.h"
#include "platform/audio/riff_io.h"
#include "platform/audio/wave_device.h"
#include "platform/system/exceptions.h"
#include "platform/system/files.h"

using namespace plat;

namespace {

constexpr unsigned kUpdateDelayMs = 50;
constexpr unsigned kLocatorIntervalMs = 50;
// Above this many data bytes the level picture shows how far it has got while it reads.
constexpr int64_t kProgressMarkBytes = 2097152;

TPicture DrawWaveFileBitmap() {
  // A sheet with a folded corner and a wave across it: black edges, a white sheet, a navy wave.
  static const char* const kRows[32] = {
      "................................", ".....#################..........", ".....#ooooooooooooooo##.........",
      ".....#ooooooooooooooo#o#........", ".....#ooooooooooooooo#oo#.......", ".....#ooooooooooooooo#ooo#......",
      ".....#ooooooooooooooo#oooo#.....", ".....#ooooooooooooooo#######....", ".....#ooooooooooooooooooooo#....",
      ".....#oooo~oooooooooooooooo#....", ".....#ooo~~oooooooooooooooo#....", ".....#ooo~~ooooooo~oooooooo#....",
      ".....#ooo~o~ooooo~~oooooooo#....", ".....#oo~oo~ooooo~o~ooooooo#....", ".....#oo~oo~oooo~oo~ooooooo#....",
      ".....#oo~oo~oooo~oo~ooooooo#....", ".....#oo~ooo~ooo~ooo~ooo~~o#....", ".....#oooooo~oo~oooo~oo~ooo#....",
      ".....#oooooo~oo~oooo~oo~ooo#....", ".....#oooooo~oo~ooooo~o~ooo#....", ".....#ooooooo~o~ooooo~~oooo#....",
      ".....#ooooooo~~ooooooo~oooo#....", ".....#ooooooo~~oooooooooooo#....", ".....#oooooooo~oooooooooooo#....",
      ".....#ooooooooooooooooooooo#....", ".....#ooooooooooooooooooooo#....", ".....#ooooooooooooooooooooo#....",
      ".....#ooooooooooooooooooooo#....", ".....#ooooooooooooooooooooo#....", ".....#ooooooooooooooooooooo#....",
      ".....#######################....", "................................",
  };
  TBitmap img(32, 32);
  TCanvas& c = *img.Canvas();
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 32; ++x) {
      const char k = kRows[y][x];
      c.SetPixel(x, y, k == '#' ? clBlack : k == 'o' ? clWhite : k == '~' ? clNavy : clFuchsia);
    }
  return TPicture(img, clFuchsia);
}

// The picture of a DISP entry of type 8, or an empty bitmap.
void DispPicture(const TDispList& list, TBitmap& picture) {
  for (const TDispItem& item : list) {
    if (item.Type != kDispBitmap) continue;
    const std::string* data = DispItemData(item);
    if (!data || data->empty()) continue;
    DIBToImage(data->data(), data->size(), picture);
    return;
  }
}

}  // namespace

const TPicture& WaveFileBitmap() {
  static const TPicture img = DrawWaveFileBitmap();
  return img;
}

TPoint DialogPlace(const TRect& workArea, int width, int height) {
  const int x = workArea.Left + std::max(0, (workArea.Width() - width) / 2);
  const int y = workArea.Top + std::max(0, (workArea.Height() - height) / 3);
  return {x, y};
}

// ---- common dialog ----------------------------------------------------------------------------

TMMCommonDialog::TMMCommonDialog(TComponent* owner) : TOpenDialog(owner) {
  Options = ofHideReadOnly | ofNoNetworkButton;
}

bool TMMCommonDialog::CanClose(const std::string& path) {
  if (!TOpenDialog::CanClose(path) || !FileOK(path)) return false;
  bool can = true;
  if (OnFileOK) OnFileOK(this, can);
  return can;
}

void TMMCommonDialog::PrepareRequest(FileRequest& r) {
  if (Screen) r.place = [](int w, int h) { return DialogPlace(Screen->WorkAreaRect(), w, h); };
  r.shown = [this] { DialogShown(); };
  r.panel = DialogPanel();
  r.panelBeside = PanelBeside();
}

TMMCustomOpenDialog::TMMCustomOpenDialog(TComponent* owner) : TMMCommonDialog(owner) {}

TMMCustomOpenDialog::~TMMCustomOpenDialog() {
  if (panel_) panel_->Free();
}

TWinControl* TMMCustomOpenDialog::DialogPanel() {
  if (TemplateName.empty()) return nullptr;
  if (!panel_) panel_ = CreatePanel();
  return panel_;
}

// ---- wave open dialog -------------------------------------------------------------------------

TMMWaveOpenDialog::TMMWaveOpenDialog(TComponent* owner) : TMMCustomOpenDialog(owner) {
  Filter = "Wave-Files(*.wav)|*.wav";
  DefaultExt = "wav";
  Title = "Open Wave File";
  TemplateName = "CustomWaveOpenDlg";
}

TMMWaveOpenDialog::~TMMWaveOpenDialog() {
  for (TTimer* t : {updateTimer_, locatorTimer_})
    if (t) {
      t->SetEnabled(false);
      t->OnTimer = nullptr;
    }
  if (output_) {
    output_->OnStop = nullptr;
    output_->Close();
  }
}

void TMMWaveOpenDialog::SetColor(TColor c) {
  if (c == color_) return;
  color_ = c;
  if (levelBox_) ShowLevels();
}

void TMMWaveOpenDialog::SetForeColor(TColor c) {
  if (c == foreColor_) return;
  foreColor_ = c;
  if (levelBox_) ShowLevels();
}

void TMMWaveOpenDialog::SetPreview(bool on) {
  if (on == preview_) return;
  preview_ = on;
  if (previewBox_) previewBox_->SetChecked(on);
}

void TMMWaveOpenDialog::SetDeviceID(TMMDeviceId id) {
  if (id == deviceId_) return;
  deviceId_ = id;
  if (output_) {
    StopPlay();
    output_->SetDeviceID(id);
  }
}

TMMWave* TMMWaveOpenDialog::PreviewWave() const { return file_ ? file_->Wave() : nullptr; }

bool TMMWaveOpenDialog::Playing() const { return playing_; }

void TMMWaveOpenDialog::MakeChain() {
  if (file_) return;
  file_ = std::make_unique<TMMWaveFile>();
  converter_ = std::make_unique<TMMADPCMConverter>();
  output_ = std::make_unique<TMMWaveOut>();
  converter_->SetInput(file_.get());
  output_->SetInput(converter_.get());
  output_->SetTimeFormat(tfSample);
  output_->SetDeviceID(deviceId_);
  // The end of the file stops the output from its window; the device is closed there too.
  output_->OnStop = [this](TObject*) { PlaybackStopped(); };
}

TPanel* TMMWaveOpenDialog::CreatePanel() {
  MakeChain();
  auto* panel = new TPanel(this);
  panel->SetBevelOuter(bvNone);
  panel->SetBounds(0, 0, 420, 90);

  iconBox_ = new TPaintBox(panel);
  iconBox_->SetParent(panel);
  iconBox_->SetBounds(4, 4, 36, 36);
  iconBox_->OnPaint = [this](TObject*) { PaintIcon(); };

  auto* caption = new TLabel(panel);
  caption->SetParent(panel);
  caption->SetBounds(46, 6, 40, 14);
  caption->SetCaption("Format:");

  formatLabel_ = new TLabel(panel);
  formatLabel_->SetParent(panel);
  formatLabel_->SetAutoSize(false);
  formatLabel_->SetBounds(88, 6, 328, 14);
  formatLabel_->SetCaption(LoadLibraryMessage(6));

  levelBox_ = new TPaintBox(panel);
  levelBox_->SetParent(panel);
  levelBox_->SetBounds(46, 24, 256, 62);
  levelBox_->OnPaint = [this](TObject*) { PaintLevels(); };
  levelBitmap_.SetSize(levelBox_->Width(), levelBox_->Height());
  iconBitmap_.SetSize(iconBox_->Width(), iconBox_->Height());

  playButton_ = new TButton(panel);
  playButton_->SetParent(panel);
  playButton_->SetBounds(312, 24, 104, 23);
  playButton_->SetCaption("Play");
  playButton_->OnClick = [this](TObject* s) { PlayButtonClick(s); };

  previewBox_ = new TCheckBox(panel);
  previewBox_->SetParent(panel);
  previewBox_->SetBounds(312, 52, 104, 17);
  previewBox_->SetCaption("Vorschau");
  previewBox_->OnClick = [this](TObject*) {
    preview_ = previewBox_->Checked();
    if (previewBox_->Enabled()) ShowLevels();
  };

  autoPlayBox_ = new TCheckBox(panel);
  autoPlayBox_->SetParent(panel);
  autoPlayBox_->SetBounds(312, 70, 104, 17);
  autoPlayBox_->SetCaption("Auto Play");
  autoPlayBox_->OnClick = [this](TObject*) { autoPlay_ = autoPlayBox_->Checked(); };

  updateTimer_ = new TTimer(this);
  updateTimer_->SetEnabled(false);
  updateTimer_->SetInterval(kUpdateDelayMs);
  updateTimer_->OnTimer = [this](TObject*) {
    updateTimer_->SetEnabled(false);
    LoadPending();
    UpdatePanel();
  };
  locatorTimer_ = new TTimer(this);
  locatorTimer_->SetEnabled(false);
  locatorTimer_->SetInterval(kLocatorIntervalMs);
  locatorTimer_->OnTimer = [this](TObject*) { MoveLocator(); };
  return panel;
}

void TMMWaveOpenDialog::DialogShown() {
  if (!Panel()) return;
  StopPlay();
  updateTimer_->SetEnabled(false);
  pending_.clear();
  PreviewWave()->FreeWave();
  // The boxes show the properties; setting them fires their clicks, which only copy them back.
  previewBox_->SetChecked(preview_);
  autoPlayBox_->SetChecked(autoPlay_);
  UpdatePanel();
}

bool TMMWaveOpenDialog::Execute() {
  const bool ok = TMMCustomOpenDialog::Execute();
  // Nothing of the preview outlives the dialog: no sound, no timer, no open file.
  if (Panel()) {
    StopPlay();
    updateTimer_->SetEnabled(false);
    pending_.clear();
    PreviewWave()->FreeWave();
  }
  return ok;
}

bool TMMWaveOpenDialog::FileOK(const std::string& path) {
  TWaveIOProblem why;
  if (IsWaveFile(path, wioFile, &why)) return true;
  MessageDlg(WaveRefusalMessage("Invalid WaveFile...", why), mtError, mbOKOnly);
  return false;
}

void TMMWaveOpenDialog::SelectionChanged(const std::string& path) {
  TMMCustomOpenDialog::SelectionChanged(path);
  if (!Panel() || path == pending_) return;
  StopPlay();
  pending_ = path;
  // Each change starts the wait again.
  updateTimer_->SetEnabled(false);
  updateTimer_->SetEnabled(true);
}

void TMMWaveOpenDialog::LoadPending() {
  TMMWave* wave = PreviewWave();
  if (wave->IOBlock() && wave->FileName() == pending_) return;
  StopPlay();
  bool loaded = false;
  if (!pending_.empty() && IsWaveFile(pending_, wioFile)) {
    try {
      wave->SetFileName(pending_);
      loaded = wave->IOBlock() != nullptr;
    } catch (const std::exception&) {
      loaded = false;
    }
  }
  if (!loaded) wave->FreeWave();
  converter_->SetEnabled(converter_->Decoding() && converter_->OutputIsPCM());
}

void TMMWaveOpenDialog::UpdatePanel() {
  TMMWave* wave = PreviewWave();
  DrawFileIcon();
  previewBox_->SetEnabled(false);
  const WAVEFORMATEX* f = wave->IOBlock() ? wave->GetPWaveFormat() : nullptr;
  if (!f) {
    formatLabel_->SetCaption(LoadLibraryMessage(6));
    playButton_->SetEnabled(false);
    ClearLevels(clBtnFace);
    return;
  }
  std::string tag, text;
  GetFormatNames(f, tag, text);
  formatLabel_->SetCaption(tag + "; " + text + "; " + std::to_string(wave->FileSize() / 1024) + " KB");
  previewBox_->SetEnabled(LevelsPossible());
  ShowLevels();
  playButton_->SetEnabled(CanPlay());
  if (autoPlay_ && playButton_->Enabled()) StartPlay();
}

bool TMMWaveOpenDialog::LevelsPossible() const {
  TMMWave* wave = PreviewWave();
  const WAVEFORMATEX* f = wave->IOBlock() ? wave->GetPWaveFormat() : nullptr;
  return f && f->wFormatTag == WAVE_FORMAT_PCM && wave->HasData() && f->nChannels <= 2 &&
         (f->wBitsPerSample == 8 || f->wBitsPerSample == 16);
}

void TMMWaveOpenDialog::ShowLevels() {
  if (preview_ && LevelsPossible()) DrawLevels();
  else ClearLevels(clBtnFace);
}

bool TMMWaveOpenDialog::CanPlay() const {
  TMMWave* wave = PreviewWave();
  if (!wave->HasData()) return false;
  const WAVEFORMATEX* f = output_->GetWaveFormat();
  if (!f || f->wFormatTag != WAVE_FORMAT_PCM) return false;
  return plat::WaveOutOpen(nullptr, deviceId_, f, nullptr, plat::WAVE_FORMAT_QUERY) == plat::MMSYSERR_NOERROR;
}

void TMMWaveOpenDialog::ClearLevels(TColor c) {
  TCanvas* canvas = levelBitmap_.Canvas();
  canvas->Brush()->SetColor(c);
  canvas->FillRect(Rect(0, 0, levelBitmap_.Width(), levelBitmap_.Height()));
  levelBox_->Invalidate();
}

void TMMWaveOpenDialog::DrawLevels() {
  TMMWave* wave = PreviewWave();
  const WaveIOBlock* block = wave->IOBlock();
  const WAVEFORMATEX* f = wave->GetPWaveFormat();
  const int w = levelBitmap_.Width(), h = levelBitmap_.Height();
  ClearLevels(color_);
  if (!block || !f || w <= 0 || h <= 0) return;
  TCanvas* canvas = levelBitmap_.Canvas();
  canvas->Pen()->SetMode(pmCopy);
  canvas->Pen()->SetColor(foreColor_);
  canvas->MoveTo(0, h / 2);
  canvas->LineTo(w, h / 2);

  const int64_t dataBytes = block->DataSize;
  const int64_t step = std::max<int64_t>(4, dataBytes / w / 4 * 4);
  auto file = RiffFile::Open(block->Name, RiffMode::Read);
  if (!file || file->Seek(block->DataOffset, SEEK_SET) < 0) return;
  const bool marks = dataBytes > kProgressMarkBytes;
  const TCursor oldCursor = Screen ? Screen->Cursor() : crDefault;
  if (Screen) Screen->SetCursor(crHourGlass);
  std::vector<uint8_t> buf(static_cast<size_t>(step));
  int64_t left = dataBytes;
  const auto y = [h](int v) { return int((int64_t(32767) - v) * (h - 1) / 65535); };
  int x = 0;
  for (; x < w && left > 0; ++x) {
    const int64_t want = std::min(step, left);
    const int64_t got = file->Read(buf.data(), want);
    if (got <= 0) break;
    left -= got;
    int v[4];
    FindMinMaxSamples(f, buf.data(), int32_t(got), v[0], v[1], v[2], v[3]);
    if (f->wBitsPerSample == 8)
      for (int& s : v) s = (s - 128) * 256;
    const int lo = *std::min_element(v, v + 4), hi = *std::max_element(v, v + 4);
    if (marks) {
      // The progress mark stood here: the column starts again from the background.
      canvas->Brush()->SetColor(color_);
      canvas->FillRect(Rect(x, 0, x + 1, h));
      canvas->SetPixel(x, h / 2, foreColor_);
    }
    canvas->Pen()->SetColor(foreColor_);
    canvas->MoveTo(x, y(hi));
    canvas->LineTo(x, y(lo) + 1);
    if (marks && x + 1 < w) {
      canvas->Pen()->SetColor(locatorColor_);
      canvas->MoveTo(x + 1, 0);
      canvas->LineTo(x + 1, h);
      if (x % 16 == 0) levelBox_->Repaint();
    }
  }
  if (marks && x > 0 && x < w) {
    // The file ended before the picture did: no mark stays behind.
    canvas->Brush()->SetColor(color_);
    canvas->FillRect(Rect(x, 0, x + 1, h));
    canvas->SetPixel(x, h / 2, foreColor_);
  }
  if (Screen) Screen->SetCursor(oldCursor);
  levelBox_->Invalidate();
}

void TMMWaveOpenDialog::DrawFileIcon() {
  TCanvas* canvas = iconBitmap_.Canvas();
  canvas->Brush()->SetColor(clBtnFace);
  canvas->FillRect(Rect(0, 0, iconBitmap_.Width(), iconBitmap_.Height()));
  const TRect inside = Bounds(2, 2, iconBitmap_.Width() - 4, iconBitmap_.Height() - 4);
  TBitmap picture;
  if (const WaveIOBlock* block = PreviewWave()->IOBlock()) DispPicture(block->DispList, picture);
  if (!picture.Empty()) TPicture(picture).StretchOn(iconBitmap_, inside);
  else WaveFileBitmap().DrawOn(iconBitmap_, inside.Left, inside.Top);
  iconBitmap_.Modified();
  iconBox_->Invalidate();
}

void TMMWaveOpenDialog::PaintLevels() {
  TCanvas* c = levelBox_->Canvas();
  c->Draw(0, 0, &levelBitmap_);
  if (locatorX_ >= 0) {
    c->Pen()->SetMode(pmXor);
    c->Pen()->SetColor(locatorColor_);
    c->MoveTo(locatorX_, 0);
    c->LineTo(locatorX_, levelBox_->Height());
    c->Pen()->SetMode(pmCopy);
  }
}

void TMMWaveOpenDialog::PaintIcon() { iconBox_->Canvas()->Draw(0, 0, &iconBitmap_); }

void TMMWaveOpenDialog::PlayButtonClick(TObject*) {
  if (playing_) StopPlay();
  else StartPlay();
}

void TMMWaveOpenDialog::StartPlay() {
  if (playing_ || !PreviewWave()->HasData()) return;
  try {
    PreviewWave()->SetPosition(0);
    playing_ = true;
    output_->Start();
  } catch (...) {
    playing_ = false;
    output_->Close();
    throw;
  }
  playButton_->SetCaption("Stop");
  locatorTimer_->SetEnabled(true);
}

void TMMWaveOpenDialog::StopPlay() {
  if (!output_) return;
  if (playing_) output_->Stop();  // its stop event ends the rest
  PlaybackStopped();
}

void TMMWaveOpenDialog::PlaybackStopped() {
  const bool was = playing_;
  playing_ = false;
  output_->Close();
  if (!Panel()) return;
  locatorTimer_->SetEnabled(false);
  playButton_->SetCaption("Play");
  if (was && locatorX_ >= 0) {
    locatorX_ = -1;
    levelBox_->Invalidate();
  }
}

void TMMWaveOpenDialog::MoveLocator() {
  if (!playing_) return;
  const int64_t total = PreviewWave()->DataSize();
  if (total <= 0) return;
  const int64_t pos = std::clamp<int64_t>(output_->GetPosition(), 0, total);
  const int x = int(std::min<int64_t>(levelBox_->Width() - 1, levelBox_->Width() * pos / total));
  if (x == locatorX_) return;
  locatorX_ = x;
  levelBox_->Invalidate();
}

TMMWaveSaveDialog::TMMWaveSaveDialog(TComponent* owner) : TMMWaveOpenDialog(owner) { Title = "Save Wave File"; }

// ---- pictures ---------------------------------------------------------------------------------

std::string GraphicFilter() {
  struct Kind {
    const char* description;
    std::vector<const char*> extensions;
  };
  const Kind kinds[] = {{"Bitmaps", {"bmp"}},
                        {"Icons", {"ico"}},
                        {"PNG Images", {"png"}},
                        {"JPEG Images", {"jpg", "jpeg"}},
                        {"GIF Images", {"gif"}}};
  std::string all, each;
  for (const Kind& k : kinds) {
    if (!TPicture::CanRead(k.extensions.front())) continue;
    std::string patterns;
    for (const char* e : k.extensions) patterns += (patterns.empty() ? "*." : ";*.") + std::string(e);
    all += (all.empty() ? "" : ";") + patterns;
    each += "|" + std::string(k.description) + " (" + patterns + ")|" + patterns;
  }
  return "All (" + all + ")|" + all + each;
}

TPicture LoadPictureFile(const std::string& path) {
  std::string ext = ExtractFileExt(path);
  for (char& c : ext) c = char(tolower(static_cast<unsigned char>(c)));
  const std::string format = ext.empty() ? std::string() : ext.substr(1);
  if (format.empty() || !TPicture::CanRead(format)) throw Exception("Unknown picture file extension (" + ext + ")");
  const SmallFile file = ReadSmallFile(path, TPicture::PictureFileLimit);
  if (file.Refused()) throw Exception(SmallFileRefusal(path, file));
  if (!file.Ok()) throw Exception("Cannot open file \"" + path + "\". No such file or directory");
  TPicture img;
  if (!img.LoadFromData(file.data, format))
    throw Exception(format == "bmp" ? "Bitmap image is not valid" : "Invalid picture file \"" + path + "\"");
  return img;
}

TMMPictureOpenDialog::TMMPictureOpenDialog(TComponent* owner) : TMMCustomOpenDialog(owner) {
  Filter = GraphicFilter();
  DefaultExt = "bmp";
  Title = "Open Picture File";
  TemplateName = "CustomPictureOpenDlg";
}

TMMPictureOpenDialog::~TMMPictureOpenDialog() = default;

void TMMPictureOpenDialog::SetPreview(bool on) {
  if (on == preview_) return;
  preview_ = on;
  if (previewBox_) previewBox_->SetChecked(on);
}

TPanel* TMMPictureOpenDialog::CreatePanel() {
  auto* panel = new TPanel(this);
  panel->SetBevelOuter(bvNone);
  panel->SetBounds(0, 0, 196, 224);
  previewBox_ = new TCheckBox(panel);
  previewBox_->SetParent(panel);
  previewBox_->SetBounds(8, 4, 180, 17);
  previewBox_->SetCaption("Vorschau");
  previewBox_->OnClick = [this](TObject*) {
    preview_ = previewBox_->Checked();
    ShowPicture();
  };
  pictureBox_ = new TPaintBox(panel);
  pictureBox_->SetParent(panel);
  pictureBox_->SetBounds(8, 28, 180, 188);
  pictureBox_->OnPaint = [this](TObject*) { PaintPicture(); };
  return panel;
}

void TMMPictureOpenDialog::DialogShown() {
  if (!Panel()) return;
  selected_.clear();
  previewBox_->SetChecked(preview_);
  ShowPicture();
}

void TMMPictureOpenDialog::SelectionChanged(const std::string& path) {
  TMMCustomOpenDialog::SelectionChanged(path);
  if (!Panel()) return;
  selected_ = path;
  ShowPicture();
}

void TMMPictureOpenDialog::ShowPicture() {
  picture_ = TPicture();
  if (preview_ && !selected_.empty() && FileExists(selected_)) {
    try {
      picture_ = LoadPictureFile(selected_);
    } catch (const std::exception&) {
      picture_ = TPicture();  // nothing to show for a file that is no picture
    }
  }
  // Scaled to fit the area, keeping its proportions.
  const int w = pictureBox_->Width(), h = pictureBox_->Height();
  shown_.SetSize(0, 0);
  if (!picture_.Empty() && w > 0 && h > 0) {
    // Transparent parts show the area's colour.
    picture_.ScaledToFit(w, h).FlattenOnto(shown_, color_);
  }
  pictureBox_->Invalidate();
}

void TMMPictureOpenDialog::PaintPicture() {
  TCanvas* c = pictureBox_->Canvas();
  const int w = pictureBox_->Width(), h = pictureBox_->Height();
  c->Brush()->SetColor(color_);
  c->FillRect(Rect(0, 0, w, h));
  if (!shown_.Empty()) c->Draw((w - shown_.Width()) / 2, (h - shown_.Height()) / 2, &shown_);
}
