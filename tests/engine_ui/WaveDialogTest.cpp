// The wave and picture file dialogs answered through queued dialogs: the file-OK checks, and the
// panel driven the way the dialog drives it (selections, the update timer's tick, the buttons),
// with the preview playing on the virtual device under a hand-stepped clock.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QApplication>
#include <QFileDialog>
#include <QImage>
#include <QTimer>

#include <cstring>
#include <string>
#include <vector>

#include "DialogAnswers.h"
#include "common/scratch.h"
#include "common/sox_adpcm.h"
#include "engine/MMCstDlg.h"
#include "engine/MMWavOut.h"
#include "engine/MMWave.h"
#include "engine/WaveDeviceKit.h"
#include "engine/WaveFixtures.h"
#include "platform/ui/native_qt.h"
#include "platform/system/files.h"

using namespace plat;
using wavefx::Pcm;

namespace {

// The update the dialog runs 50 ms after the last selection.
void Tick(TMMWaveOpenDialog& d) {
  ASSERT_TRUE(d.UpdateTimer()->Enabled()) << "no update is waiting";
  d.UpdateTimer()->OnTimer(d.UpdateTimer());
}

uint32_t Bgr(const QImage& img, int x, int y) {
  const QRgb p = img.pixel(x, y);
  return qRed(p) | qGreen(p) << 8 | qBlue(p) << 16;
}

class WaveDialog : public wavekit::DeviceTest {
protected:
  std::string Wav(const std::string& name, const WAVEFORMATEX& f, const std::string& data) {
    wavefx::WriteWav(dir_.Path(name), f, data);
    return dir_.Path(name);
  }
  Scratch dir_;
  Answers answers_;
};

}  // namespace

TEST_F(WaveDialog, ConfirmingRefusesWhatIsNoWaveFileAndAsksOnFileOKLast) {
  WriteWholeFile(dir_.Path("notes.txt"), "no wave here");
  const std::string take = Wav("take.wav", Pcm(8000, 1, 8), std::string(800, '\x80'));
  TMMWaveOpenDialog open(nullptr);
  open.InitialDir = dir_.Root();
  std::vector<std::string> asked;
  open.OnFileOK = [&](TObject*, bool& ok) {
    asked.push_back(open.FileName);
    ok = asked.size() > 1;
  };
  answers_->AnswerFile("notes.txt");
  answers_->AnswerMessage(mrOk);
  answers_->AnswerFile("missing");
  answers_->AnswerMessage(mrOk);
  answers_->AnswerFile("take");
  answers_->AnswerFile("take");
  ASSERT_TRUE(open.Execute());
  EXPECT_EQ(open.FileName, take);
  EXPECT_EQ(asked, (std::vector<std::string>{take, take}));
  const auto texts = answers_->Texts();
  ASSERT_EQ(texts, (std::vector<std::string>{"Invalid WaveFile...\r\nIt is no RIFF WAVE file.", "Invalid WaveFile..."}));
  EXPECT_EQ(answers_->Shown()[1].type, mtError);
  EXPECT_EQ(answers_->Shown()[0].text, "Open Wave File");

  // Saving names a file that need not exist, and no wave check stands in the way.
  TMMWaveSaveDialog save(nullptr);
  save.InitialDir = dir_.Root();
  answers_->Clear();
  answers_->AnswerFile("new take");
  ASSERT_TRUE(save.Execute());
  EXPECT_EQ(save.FileName, dir_.Path("new take.wav"));
  EXPECT_EQ(answers_->Shown().front().text, "Save Wave File");
  EXPECT_TRUE(answers_->Texts().empty());
}

TEST_F(WaveDialog, PanelShowsFormatAndSizeAndOffersPreviewAndPlayOnlyWhereTheyWork) {
  Scratch sox;
  soxadpcm::WavImage adpcm;
  std::vector<int16_t> decoded;
  const bool haveSox = soxadpcm::Encode(sox, "ms-adpcm", 22050, 1, soxadpcm::Signal(6000, 1), adpcm, decoded);
  // 1464.88 KB on disk: shown as 1464.
  const std::string big = Wav("big.wav", Pcm(44100, 2, 16), std::string(1499996, '\0'));
  const std::string blank = Wav("blank.wav", Pcm(22050, 1, 8), "");
  WriteWholeFile(dir_.Path("text.wav"), "RIFF but not really");

  TMMWaveOpenDialog d(nullptr);
  d.SetPreview(true);
  bool ran = false;
  answers_->OnFileShown = [&](FileRequest& r) {
    ran = true;
    ASSERT_EQ(r.panel, d.Panel());
    EXPECT_FALSE(r.panelBeside);
    EXPECT_EQ(d.FormatLabel()->Caption(), "Unknown");
    EXPECT_TRUE(d.PreviewBox()->Checked());
    EXPECT_FALSE(d.PlayButton()->Enabled());

    r.selectionChanged(big);
    Tick(d);
    EXPECT_EQ(d.FormatLabel()->Caption(), "PCM; 44,100 Hz, 16 Bit, Stereo; 1464 KB");
    EXPECT_TRUE(d.PreviewBox()->Enabled());
    EXPECT_TRUE(d.PlayButton()->Enabled());

    // A header without samples: its format, nothing to draw or play.
    r.selectionChanged(blank);
    Tick(d);
    EXPECT_EQ(d.FormatLabel()->Caption(), "PCM; 22,050 Hz, 8 Bit, Mono; 0 KB");
    EXPECT_FALSE(d.PreviewBox()->Enabled());
    EXPECT_FALSE(d.PlayButton()->Enabled());

    if (haveSox) {
      // The names come from the codec manager, which the engine loads when first asked.
      const std::string kb = "; " + std::to_string(plat::FileSize(sox.Path("enc.wav")) / 1024) + " KB";
      r.selectionChanged(sox.Path("enc.wav"));
      Tick(d);
      EXPECT_EQ(d.FormatLabel()->Caption(), "Microsoft ADPCM; 22,050 Hz, 4 Bit, Mono" + kb);
      EXPECT_FALSE(d.PreviewBox()->Enabled());
      // The output plays what the converter decodes.
      d.PlayButton()->Click();
      ASSERT_TRUE(wavekit::PumpUntil([&] {
        StepVirtualAudio(50);
        return !d.Playing();
      }));
      const auto caps = VirtualCaptures();
      ASSERT_EQ(caps.size(), 1u);
      std::vector<int16_t> played(caps[0].audio.size() / 2);
      std::memcpy(played.data(), caps[0].audio.data(), played.size() * 2);
      EXPECT_EQ(played, decoded);
    }

    r.selectionChanged(dir_.Path("text.wav"));
    Tick(d);
    EXPECT_EQ(d.FormatLabel()->Caption(), "Unknown");
    EXPECT_FALSE(d.PlayButton()->Enabled());
    EXPECT_FALSE(d.PreviewBox()->Enabled());
  };
  answers_->CancelFile();
  EXPECT_FALSE(d.Execute());
  EXPECT_TRUE(ran);
  EXPECT_FALSE(d.UpdateTimer()->Enabled());
  EXPECT_EQ(d.PreviewWave()->FileName(), "") << "the dialog keeps no file open once closed";
  if (!haveSox) GTEST_SKIP() << "sox is not installed: the ADPCM file was not checked";
}

TEST_F(WaveDialog, MovingQuicklyThroughTheListReadsOnlyTheFileTheCursorStaysOn) {
  std::vector<std::string> files;
  for (int i = 0; i < 10; ++i)
    files.push_back(Wav("f" + std::to_string(i) + ".wav", Pcm(8000 + 1000 * i, 1, 8), std::string(100, '\x80')));
  TMMWaveOpenDialog d(nullptr);
  answers_->OnFileShown = [&](FileRequest& r) {
    for (const auto& f : files) {
      r.selectionChanged(f);
      EXPECT_EQ(d.UpdateTimer()->Interval(), 50u);
      EXPECT_EQ(d.PreviewWave()->FileName(), "") << "read " << f << " before it stayed selected";
    }
    Tick(d);
    EXPECT_EQ(d.PreviewWave()->FileName(), files.back());
    EXPECT_EQ(d.FormatLabel()->Caption(), "PCM; 17,000 Hz, 8 Bit, Mono; 0 KB");
    // Staying on the same file asks for nothing more.
    r.selectionChanged(files.back());
    EXPECT_FALSE(d.UpdateTimer()->Enabled());
  };
  answers_->CancelFile();
  d.Execute();
}

TEST_F(WaveDialog, LevelPictureMapsBothSampleSizesOntoItsHeightAndLeavesNoProgressMark) {
  // 8 bits: silence, then full scale. 16 bits: a square wave at half scale.
  std::string eight(1024, '\x80');
  for (int i = 0; i < 1024; ++i) eight += char(i % 2 ? 255 : 0);
  const std::string e = Wav("eight.wav", Pcm(8000, 1, 8), eight);
  std::string sixteen;
  for (int i = 0; i < 4096; ++i) sixteen += wavefx::LE16(uint16_t(i % 2 ? 16384 : -16384));
  const std::string s = Wav("sixteen.wav", Pcm(8000, 2, 16), sixteen);
  const std::string large = Wav("large.wav", Pcm(44100, 1, 16), std::string(2200000, '\0'));

  TMMWaveOpenDialog d(nullptr);
  d.SetPreview(true);
  const uint32_t fore = 0x00FF00, back = 0, red = 0x0000FF;
  answers_->OnFileShown = [&](FileRequest& r) {
    const QImage& img = plat::ImageOf(d.LevelImage());
    const int w = img.width(), h = img.height();
    ASSERT_EQ(w, 256);
    ASSERT_EQ(h, 62);
    r.selectionChanged(e);
    Tick(d);
    for (int x : {0, 127}) {
      EXPECT_EQ(Bgr(img, x, 30), fore) << x;  // silence lies on the middle
      EXPECT_EQ(Bgr(img, x, 0), back) << x;
      EXPECT_EQ(Bgr(img, x, h - 1), back) << x;
    }
    for (int x : {128, 255})
      for (int y : {0, h / 2, h - 1}) EXPECT_EQ(Bgr(img, x, y), fore) << x << "," << y;

    r.selectionChanged(s);
    Tick(d);
    for (int x : {0, 100, 255}) {
      EXPECT_EQ(Bgr(img, x, 14), back) << x;
      EXPECT_EQ(Bgr(img, x, 15), fore) << x;
      EXPECT_EQ(Bgr(img, x, 45), fore) << x;
      EXPECT_EQ(Bgr(img, x, 46), back) << x;
    }

    r.selectionChanged(large);
    Tick(d);
    int marks = 0, traced = 0;
    for (int x = 0; x < w; ++x) {
      traced += Bgr(img, x, 31) == fore;
      for (int y = 0; y < h; ++y) marks += Bgr(img, x, y) == red;
    }
    EXPECT_EQ(marks, 0);
    EXPECT_EQ(traced, w);

    // Without Vorschau nothing is drawn; ticking it draws at once.
    d.PreviewBox()->SetChecked(false);
    EXPECT_FALSE(d.Preview());
    EXPECT_EQ(Bgr(img, 5, 31), ColorToBGR(clBtnFace));
    d.PreviewBox()->SetChecked(true);
    EXPECT_EQ(Bgr(img, 5, 31), fore);
  };
  answers_->CancelFile();
  d.Execute();
}

TEST_F(WaveDialog, PreviewPlaysTheFileToItsEndAndNothingOutlivesTheDialog) {
  const std::string data = wavefx::Frames(0, 4000, 1);
  const std::string take = Wav("take.wav", Pcm(11025, 1, 8), data);
  const std::string other = Wav("other.wav", Pcm(11025, 1, 8), std::string(11025, '\x80'));
  TMMWaveOpenDialog d(nullptr);
  d.SetAutoPlay(true);
  d.SetPreview(true);
  answers_->OnFileShown = [&](FileRequest& r) {
    r.selectionChanged(take);
    Tick(d);
    ASSERT_TRUE(d.Playing());
    EXPECT_EQ(d.PlayButton()->Caption(), "Stop");
    EXPECT_EQ(OpenWaveDevices(), 1);
    wavekit::Advance(100);
    d.LocatorTimer()->OnTimer(d.LocatorTimer());
    EXPECT_GT(d.LocatorX(), 0);
    EXPECT_LT(d.LocatorX(), 256);
    wavekit::Advance(400);
    EXPECT_FALSE(d.Playing()) << "the file ended";
    EXPECT_EQ(d.PlayButton()->Caption(), "Play");
    EXPECT_EQ(d.LocatorX(), -1);
    EXPECT_EQ(OpenWaveDevices(), 0);
    const auto caps = VirtualCaptures();
    ASSERT_EQ(caps.size(), 1u);
    EXPECT_EQ(std::string(caps[0].audio.begin(), caps[0].audio.end()), data);

    // Play again starts from the beginning; another selection stops it.
    d.PlayButton()->Click();
    EXPECT_TRUE(d.Playing());
    wavekit::Advance(50);
    r.selectionChanged(other);
    EXPECT_FALSE(d.Playing());
    EXPECT_EQ(OpenWaveDevices(), 0);
    const auto again = VirtualCaptures();
    ASSERT_EQ(again.size(), 2u);
    EXPECT_EQ(std::string(again[1].audio.begin(), again[1].audio.end()), data.substr(0, again[1].audio.size()));
    Tick(d);
    EXPECT_TRUE(d.Playing());
  };
  answers_->CancelFile();
  d.Execute();
  EXPECT_FALSE(d.Playing());
  EXPECT_EQ(OpenWaveDevices(), 0) << "the preview device outlived the dialog";
}

TEST_F(WaveDialog, PictureDialogShowsThePictureUnderTheCursorOnlyWithVorschau) {
  QImage pic(40, 20, QImage::Format_RGB32);
  pic.fill(QColor(10, 200, 30));
  ASSERT_TRUE(pic.save(QString::fromStdString(dir_.Path("logo.bmp")), "BMP"));
  WriteWholeFile(dir_.Path("old.wmf"), "not read here");
  const std::string fifo = dir_.Path("jam.png");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  TMMPictureOpenDialog d(nullptr);
  answers_->OnFileShown = [&](FileRequest& r) {
    EXPECT_TRUE(r.panelBeside);
    r.selectionChanged(dir_.Path("logo.bmp"));
    EXPECT_TRUE(d.Picture().Empty());
    d.PreviewBox()->SetChecked(true);
    ASSERT_FALSE(d.Picture().Empty());
    EXPECT_EQ(QSize(d.Picture().Width(), d.Picture().Height()), QSize(40, 20));
    r.selectionChanged(dir_.Path("old.wmf"));
    EXPECT_TRUE(d.Picture().Empty());
    // A FIFO under the cursor is never waited on.
    r.selectionChanged(fifo);
    EXPECT_TRUE(d.Picture().Empty());
  };
  answers_->AnswerFile(dir_.Path("logo.bmp"));
  ASSERT_TRUE(d.Execute());
  EXPECT_TRUE(d.Preview());
  EXPECT_EQ(answers_->Shown().front().text, "Open Picture File");
  EXPECT_THROW(LoadPictureFile(dir_.Path("old.wmf")), Exception);
  try {
    LoadPictureFile(fifo);
    ADD_FAILURE() << "a FIFO was taken for a picture";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Unable to read " + fifo + ": it is not a regular file.");
  }
}

TEST_F(WaveDialog, QtsDialogHostsThePanelWhileItRunsAndGivesItBack) {
  auto old = SetDialogService(nullptr);  // Qt's dialogs
  TMMWaveOpenDialog d(nullptr);
  for (int run = 0; run < 2; ++run) {
    bool seen = false;
    QTimer::singleShot(0, [&] {
      auto* fd = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      ASSERT_NE(fd, nullptr);
      seen = true;
      EXPECT_EQ(plat::WidgetOf(d.Panel())->parentWidget(), fd);
      EXPECT_TRUE(plat::WidgetOf(d.Panel())->isVisible());
      EXPECT_EQ(d.FormatLabel()->Caption(), "Unknown");
      const TPoint at = DialogPlace(Screen->WorkAreaRect(), fd->width(), fd->height());
      EXPECT_EQ(fd->pos(), QPoint(at.X, at.Y));
      fd->reject();
    });
    EXPECT_FALSE(d.Execute());
    EXPECT_TRUE(seen);
    EXPECT_EQ(plat::WidgetOf(d.Panel())->parentWidget(), nullptr) << "the panel went down with the dialog";
  }
  SetDialogService(old);
}
