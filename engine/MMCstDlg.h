#pragma once
// The engine's file dialogs: the framework's open and save dialogs with a panel of their own. The
// wave dialogs show the format, size and DISP picture of the file under the cursor, draw a picture
// of its levels and play it; the wave open dialog refuses a file that is no WAV file. The picture
// dialog shows the picture under the cursor. Every dialog is placed centred, a third of the way
// down the free height of the screen. Through the dialog service a test or a script answers them
// like any file dialog: the panel is then never shown, the file-OK checks still run.
#include <memory>
#include <string>

#include "engine/MMObj.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/extctrls.h"

class TMMWave;
class TMMWaveFile;
class TMMADPCMConverter;
class TMMWaveOut;

// Called when the user confirms a file; CanClose false keeps the dialog open.
using TFileOKEvent = std::function<void(TObject* Sender, bool& CanClose)>;

// The picture shown for a wave file that brings no picture of its own (32 x 32, transparent
// around the drawing).
const plat::TPicture& WaveFileBitmap();

// Where a dialog of this size goes on a screen whose free area is workArea.
plat::TPoint DialogPlace(const plat::TRect& workArea, int width, int height);

class TMMCommonDialog : public plat::TOpenDialog {
public:
  explicit TMMCommonDialog(TComponent* owner);
  // After the framework's own checks (and OnCanClose) and the dialog's: the last word on a file.
  TFileOKEvent OnFileOK;
  std::string ClassName() const override { return "TMMCommonDialog"; }

protected:
  bool CanClose(const std::string& path) override;
  void PrepareRequest(plat::FileRequest& r) override;
  // The dialog's own check of a confirmed file; false keeps the dialog open.
  virtual bool FileOK(const std::string& path) { return true; }
  // The dialog stands; the panel shows its first state.
  virtual void DialogShown() {}
  // The panel shown with the file list, or null.
  virtual plat::TWinControl* DialogPanel() { return nullptr; }
  virtual bool PanelBeside() const { return false; }
};

class TMMCustomOpenDialog : public TMMCommonDialog {
public:
  explicit TMMCustomOpenDialog(TComponent* owner);
  ~TMMCustomOpenDialog() override;
  // The panel to show; an empty name shows the plain file dialog.
  std::string TemplateName;
  // The panel of the dialog, made when it is first shown (null before).
  plat::TPanel* Panel() const { return panel_; }
  std::string ClassName() const override { return "TMMCustomOpenDialog"; }

protected:
  plat::TWinControl* DialogPanel() override;
  // Builds the panel with its controls.
  virtual plat::TPanel* CreatePanel() = 0;

private:
  plat::TPanel* panel_ = nullptr;
};

class TMMWaveOpenDialog : public TMMCustomOpenDialog {
public:
  explicit TMMWaveOpenDialog(TComponent* owner);
  ~TMMWaveOpenDialog() override;

  bool Execute() override;

  plat::TColor Color() const { return color_; }
  void SetColor(plat::TColor c);
  plat::TColor ForeColor() const { return foreColor_; }
  void SetForeColor(plat::TColor c);
  plat::TColor LocatorColor() const { return locatorColor_; }
  void SetLocatorColor(plat::TColor c) { locatorColor_ = c; }
  // Draw the level picture of the file under the cursor.
  bool Preview() const { return preview_; }
  void SetPreview(bool on);
  // Start playing a file as soon as it is shown.
  bool AutoPlay() const { return autoPlay_; }
  void SetAutoPlay(bool on) { autoPlay_ = on; }
  // The output device of the preview.
  TMMDeviceId DeviceID() const { return deviceId_; }
  void SetDeviceID(TMMDeviceId id);

  // ---- while shown (null before the dialog was first shown) ------------------------------------
  plat::TButton* PlayButton() const { return playButton_; }
  plat::TCheckBox* PreviewBox() const { return previewBox_; }
  plat::TCheckBox* AutoPlayBox() const { return autoPlayBox_; }
  plat::TLabel* FormatLabel() const { return formatLabel_; }
  plat::TPaintBox* LevelPicture() const { return levelBox_; }
  plat::TPaintBox* FileIcon() const { return iconBox_; }
  // Runs the update of the panel 50 ms after the selection last changed, so that moving quickly
  // through the list reads only the file the cursor stays on.
  plat::TTimer* UpdateTimer() const { return updateTimer_; }
  // Moves the play-position line while the preview plays.
  plat::TTimer* LocatorTimer() const { return locatorTimer_; }
  TMMWave* PreviewWave() const;
  TMMWaveOut* PreviewOutput() const { return output_.get(); }
  bool Playing() const;
  // The level picture as drawn (without the play-position line).
  const plat::TBitmap& LevelImage() const { return levelBitmap_; }
  // The play-position line's column, -1 when none shows.
  int LocatorX() const { return locatorX_; }

  void PlayButtonClick(TObject* Sender);
  std::string ClassName() const override { return "TMMWaveOpenDialog"; }

protected:
  bool FileOK(const std::string& path) override;
  void SelectionChanged(const std::string& path) override;
  void DialogShown() override;
  plat::TPanel* CreatePanel() override;

private:
  void MakeChain();
  void LoadPending();
  void UpdatePanel();
  bool LevelsPossible() const;
  void ShowLevels();
  void ClearLevels(plat::TColor c);
  void DrawLevels();
  void DrawFileIcon();
  bool CanPlay() const;
  void StartPlay();
  void StopPlay();
  void PlaybackStopped();
  void MoveLocator();
  void PaintLevels();
  void PaintIcon();

  plat::TColor color_ = plat::clBlack;
  plat::TColor foreColor_ = 65280;
  plat::TColor locatorColor_ = 255;
  bool preview_ = false, autoPlay_ = false;
  TMMDeviceId deviceId_ = MapperId;

  std::unique_ptr<TMMWaveFile> file_;
  std::unique_ptr<TMMADPCMConverter> converter_;
  std::unique_ptr<TMMWaveOut> output_;
  std::string pending_;  // the file under the cursor, loaded when the update runs
  bool playing_ = false;

  plat::TButton* playButton_ = nullptr;
  plat::TCheckBox* previewBox_ = nullptr;
  plat::TCheckBox* autoPlayBox_ = nullptr;
  plat::TLabel* formatLabel_ = nullptr;
  plat::TPaintBox* levelBox_ = nullptr;
  plat::TPaintBox* iconBox_ = nullptr;
  plat::TTimer* updateTimer_ = nullptr;
  plat::TTimer* locatorTimer_ = nullptr;
  plat::TBitmap levelBitmap_, iconBitmap_;
  int locatorX_ = -1;
};

// The wave open dialog run as a save dialog: no check that the chosen file is a WAV file.
class TMMWaveSaveDialog : public TMMWaveOpenDialog {
public:
  explicit TMMWaveSaveDialog(TComponent* owner);
  std::string ClassName() const override { return "TMMWaveSaveDialog"; }

protected:
  bool IsSave() const override { return true; }
  bool FileOK(const std::string&) override { return true; }
};

// The filter of the picture files the framework reads: "All (...)|...|Bitmaps (*.bmp)|*.bmp|...".
std::string GraphicFilter();

class TMMPictureOpenDialog : public TMMCustomOpenDialog {
public:
  explicit TMMPictureOpenDialog(TComponent* owner);
  ~TMMPictureOpenDialog() override;

  // Background of the picture area.
  plat::TColor Color() const { return color_; }
  void SetColor(plat::TColor c) { color_ = c; }
  // Show the picture under the cursor.
  bool Preview() const { return preview_; }
  void SetPreview(bool on);

  plat::TCheckBox* PreviewBox() const { return previewBox_; }
  plat::TPaintBox* PictureArea() const { return pictureBox_; }
  // The picture under the cursor (empty when none could be read).
  const plat::TPicture& Picture() const { return picture_; }
  std::string ClassName() const override { return "TMMPictureOpenDialog"; }

protected:
  void SelectionChanged(const std::string& path) override;
  void DialogShown() override;
  bool PanelBeside() const override { return true; }
  plat::TPanel* CreatePanel() override;

private:
  void ShowPicture();
  void PaintPicture();

  plat::TColor color_ = plat::clWindow;
  bool preview_ = false;
  std::string selected_;
  plat::TPicture picture_;
  plat::TBitmap shown_;
  plat::TCheckBox* previewBox_ = nullptr;
  plat::TPaintBox* pictureBox_ = nullptr;
};

// Reads a picture file as the framework's picture does; raises plat::Exception when it cannot.
plat::TPicture LoadPictureFile(const std::string& path);
