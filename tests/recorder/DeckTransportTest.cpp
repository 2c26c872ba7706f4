// The deck driven through its keys and handlers: which buttons each state leaves usable, the
// times it shows, winding, the name lines, and the GPI strings of the transport.
#include <QCoreApplication>
#include <QEvent>
#include <QTest>
#include <QWidget>
#include <algorithm>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <random>
#include <thread>

#include "DeckHarness.h"
#include "common/eventually.h"
#include "common/pty.h"
#include "engine/MMWaveIO.h"
#include "platform/ui/native_qt.h"
#include "platform/audio/riff_io.h"

namespace {
// E or D for Record, Pause, Play, Stop, Rewind, FF, Edit, Eject, Load, Save, Other and the slider.
std::string Row(TDeckProbe* d) {
  std::string s;
  for (plat::TControl* c : std::initializer_list<plat::TControl*>{
           d->RecordButton, d->PauseButton, d->PlayButton, d->StopButton, d->RewindButton, d->FastForwardButton,
           d->EditButton, d->EjectButton, d->LoadButton, d->SaveButton, d->OtherButton, d->TrackBar})
    s += c->Enabled() ? 'E' : 'D';
  return s;
}
// Holds the deck's disk thread, as a disk that answers nothing would, until released: the
// recording queue's thread in the free-space check before its write, or, armed for the playback
// side, the playback queue's thread in its next read of the file. However the test ends, the
// thread goes on and the query and the file's event are the deck's own again. What the thread
// waits on is shared with the hook, so a thread still on its way out of the hook outlives nothing.
class DiskStall {
public:
  DiskStall() : gate_(std::make_shared<Gate>()) {
    SetDiskFreeQuery([gate = gate_](const std::string& path, int64_t& freeBytes) {
      if (!plat::IsUiThread()) gate->Hold();
      int64_t total = 0;
      return plat::GetDiskFree(path, freeBytes, total);
    });
  }
  explicit DiskStall(TDeckProbe* deck) : deck_(deck), gate_(std::make_shared<Gate>()) {
    gate_->stalled = false;
    deck->PlayFile->OnBufferLoad = [gate = gate_](TObject*, PWaveHdr, bool&) {
      if (!plat::IsUiThread()) gate->Hold();
    };
  }
  ~DiskStall() {
    Release();
    if (!deck_) {
      SetDiskFreeQuery(nullptr);
      return;
    }
    // The event is the thread's to read while it fills; the UI thread asks for no fill meanwhile.
    while (deck_->PlayRingBuffer->WorkPending()) std::this_thread::sleep_for(std::chrono::microseconds(200));
    deck_->PlayFile->OnBufferLoad = nullptr;
  }
  // The next read or write of the disk thread is held.
  void Arm() {
    std::lock_guard<std::mutex> l(gate_->m);
    gate_->stalled = true;
    gate_->held = false;
  }
  bool Held() {
    std::lock_guard<std::mutex> l(gate_->m);
    return gate_->held;
  }
  // Waits, however slowly the machine runs the thread, until it is held or its work is over
  // (working() turns false); true when held. The limit only keeps a broken build from hanging.
  bool WaitHeld(const std::function<bool()>& working) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!Held()) {
      if (!working() && !Held()) return false;
      if (std::chrono::steady_clock::now() > end) return false;
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
  }
  void Release() {
    {
      std::lock_guard<std::mutex> l(gate_->m);
      gate_->stalled = false;
      ++gate_->releases;
    }
    gate_->cv.notify_all();
  }

private:
  struct Gate {
    std::mutex m;
    std::condition_variable cv;
    bool stalled = true;
    bool held = false;
    uint64_t releases = 0;
    void Hold() {
      std::unique_lock<std::mutex> l(m);
      if (!stalled) return;
      held = true;
      // Let go by this release, even when the stall is armed again before the thread wakes.
      const uint64_t release = releases;
      cv.wait(l, [&] { return releases != release; });
    }
  };
  TDeckProbe* deck_ = nullptr;
  std::shared_ptr<Gate> gate_;
};

// Whether the thread tid of this process sleeps (waits for a lock, an event or the disk).
bool Sleeps(pid_t tid) {
  std::string stat;
  plat::ReadWholeFile("/proc/self/task/" + std::to_string(tid) + "/stat", stat);
  const size_t at = stat.rfind(')');
  return at != std::string::npos && at + 2 < stat.size() && (stat[at + 2] == 'S' || stat[at + 2] == 'D');
}
}  // namespace

class DeckTransport : public DeckHarness {
protected:
  // Records a standard cart at each of the 36 formats in turn: check runs while the take
  // records, then the take is stopped, thrown away and ejected.
  template <typename Check>
  void RecordAtEveryFormat(Check check) {
    for (int format = 0; format < 36; ++format) {
      SCOPED_TRACE("format " + std::to_string(format));
      WriteSettings({"[Standard Cart]", "FORMAT=" + std::to_string(format), "LENGTH=10000"});
      Key('S', plat::ssCtrl);
      Key(plat::VK_F5);
      ASSERT_TRUE(deck->Recording);
      check();
      if (HasFatalFailure()) return;
      Key(plat::VK_F4);
      dialogs->AnswerMessage(plat::mrYes);  // all changes will be lost
      Key(plat::VK_F7);
    }
  }
};

TEST_F(DeckTransport, EachStateLeavesItsButtonsUsable) {
  StartDeck();
  EXPECT_EQ("DDDDDDDDEDED", Row(deck)) << "empty";
  EXPECT_TRUE(deck->DeckEmpty);

  LoadTake(2000);
  EXPECT_EQ("EDEEDEEEDEEE", Row(deck)) << "opened";
  EXPECT_EQ(2000, deck->TrackBar->MaxValue());

  Key(plat::VK_F3);
  EXPECT_TRUE(deck->Playing);
  EXPECT_EQ("EEEEEEDEDDEE", Row(deck)) << "playing";
  Step(2100);
  EXPECT_FALSE(deck->Playing);
  EXPECT_TRUE(deck->Stopped);
  EXPECT_EQ(2000, deck->TrackBar->Position());
  EXPECT_EQ("EDDEEDEEDEEE", Row(deck)) << "played to the end";

  Key(plat::VK_F7);
  EXPECT_EQ("DDDDDDDDEDED", Row(deck)) << "ejected";

  Key('S', plat::ssCtrl);
  EXPECT_EQ(KindStandard, deck->CartKind);
  EXPECT_EQ("EDDDDDDEDDED", Row(deck)) << "blank cart ready to record";

  Key(plat::VK_F5);
  EXPECT_TRUE(deck->Recording);
  EXPECT_EQ("EEDEDDDDDDDD", Row(deck)) << "recording";
  Step(1000);
  EXPECT_GT(deck->MMLevel1->RawPeak(), 0) << "the input reaches the level bars";
  EXPECT_GT(deck->MMMeter2->Needle(), 0);
  Key(plat::VK_F4);
  EXPECT_FALSE(deck->Recording);
  EXPECT_EQ("EDDEEDEEDEEE", Row(deck)) << "recording stopped";
  EXPECT_NEAR(1000, deck->WaveLength(), 100);

  dialogs->AnswerMessage(plat::mrYes);  // all changes will be lost
  Key(plat::VK_F7);
  EXPECT_TRUE(plat::ListFiles(DeckTemp(), "*").empty()) << "the blank cart is gone with the eject";
}

// Counts the paint events of every widget in one window.
class WindowPaints : public QObject {
public:
  explicit WindowPaints(QWidget* window) : window_(window) { qApp->installEventFilter(this); }
  ~WindowPaints() override { qApp->removeEventFilter(this); }
  int paints = 0;

protected:
  bool eventFilter(QObject* o, QEvent* e) override {
    if (e->type() == QEvent::Paint && o->isWidgetType() && static_cast<QWidget*>(o)->window() == window_) ++paints;
    return false;
  }

private:
  QWidget* window_;
};

TEST_F(DeckTransport, TheDeckAtRestPaintsNothingWhateverItsTimersDo) {
  StartDeck();
  // The meters have moved and fallen back before the deck comes to rest with a blank cart.
  Key('S', plat::ssCtrl);
  Key(plat::VK_F5);
  Step(1000);
  ASSERT_GT(deck->MMLevel1->RawPeak(), 0);
  Key(plat::VK_F4);
  dialogs->AnswerMessage(plat::mrYes);  // all changes will be lost
  Key(plat::VK_F7);
  Key('S', plat::ssCtrl);
  Step(100);
  deck->FlashTimerTimer(deck);  // its first tick gives the time-left texts their colour
  QCoreApplication::processEvents();

  WindowPaints shown(plat::WidgetOf(deck)->window());
  Step(2000);  // eighty ticks of the shared timer, which the peak holds count down on
  for (int i = 0; i < 4; ++i) deck->FlashTimerTimer(deck);
  kitTimer->Fire(20);
  Pump();
  QCoreApplication::processEvents();
  EXPECT_EQ(shown.paints, 0);
  deck->MMLevel1->SetValue(50);  // what does move is painted
  QCoreApplication::processEvents();
  EXPECT_GT(shown.paints, 0);
}

TEST_F(DeckTransport, PlaybackThatEndsWithinFiveMillisecondsShowsTheWholeLength) {
  StartDeck();
  LoadTake(1000);
  Key(plat::VK_F3);
  Step(1100);
  EXPECT_EQ("00:00:01.000", deck->CurrentPosition->Caption());
  EXPECT_FALSE(deck->PlayButton->Enabled());
  EXPECT_FALSE(deck->FastForwardButton->Enabled());
  // At the end Play stops instead of starting.
  Key(plat::VK_F3);
  EXPECT_FALSE(deck->Playing);
}

TEST_F(DeckTransport, TimesAreTwelveCharactersOrCutBeforeTheMilliseconds) {
  StartDeck();
  EXPECT_EQ("00:00:00.000", deck->FormatTime(0));
  EXPECT_EQ("00:00:00.001", deck->FormatTime(1));
  EXPECT_EQ("00:01:01.001", deck->FormatTime(61001));
  EXPECT_EQ("01:00:00.000", deck->FormatTime(3600000));
  EXPECT_EQ("23:59:59.999", deck->FormatTime(86399999));
  // A day and more no longer fits the twelve characters and is shown as it comes.
  EXPECT_EQ("1:01:00:00.000", deck->FormatTime(90000000));
  deck->Config.shortTimers = true;
  EXPECT_EQ("00:01:01", deck->FormatTime(61001));
  EXPECT_EQ("00:00:00", deck->FormatTime(999));
}

TEST_F(DeckTransport, AHeldWindButtonRepeatsEveryHalfSecondFromTheKitsTimers) {
  StartDeck();
  LoadTake(20000);
  QWidget* ff = plat::WidgetOf(deck->FastForwardButton);
  const QPoint middle(ff->width() / 2, ff->height() / 2);
  QTest::mousePress(ff, Qt::LeftButton, {}, middle);
  Pump();
  EXPECT_EQ(0, deck->TrackBar->Position()) << "a press alone does not wind";
  kitTimer->Fire(9);
  Pump();
  EXPECT_EQ(0, deck->TrackBar->Position());
  kitTimer->Fire(1);  // 500 ms held
  Pump();
  EXPECT_EQ(1000, deck->TrackBar->Position());
  kitTimer->Fire(10);
  Pump();
  EXPECT_EQ(2000, deck->TrackBar->Position());
  QTest::mouseRelease(ff, Qt::LeftButton, {}, middle);
  Pump();
  EXPECT_EQ(3000, deck->TrackBar->Position()) << "the release over the button clicks once more";
  kitTimer->Fire(20);
  Pump();
  EXPECT_EQ(3000, deck->TrackBar->Position()) << "released: no more repeats";
}

TEST_F(DeckTransport, WindingStopsAtBothEndsAndTheStepKeysClimbTheLadder) {
  StartDeck();
  LoadTake(10000);
  ASSERT_EQ(1000, deck->FFRewStep);
  deck->SetSliderPosition(9500);
  deck->Seek();
  Key(plat::VK_F12);
  EXPECT_EQ(10000, deck->TrackBar->Position());
  Key(plat::VK_F12);  // disabled now: the key does nothing
  EXPECT_FALSE(deck->FastForwardButton->Enabled());
  EXPECT_FALSE(deck->PlayButton->Enabled());

  deck->SetSliderPosition(400);
  deck->Seek();
  Key(plat::VK_F11);
  EXPECT_EQ(0, deck->TrackBar->Position());
  EXPECT_FALSE(deck->RewindButton->Enabled());
  EXPECT_TRUE(deck->FastForwardButton->Enabled());

  Key(plat::VK_OEM_PLUS, plat::ssShift);  // "=" works with any modifier
  EXPECT_EQ(10000, deck->FFRewStep);
  EXPECT_EQ("FF\\Rew Sensitivity 10 Second(s) +/- to change", deck->SensitivityLabel->Caption());
  Key(plat::VK_ADD);
  Key(plat::VK_ADD);
  EXPECT_EQ(100000, deck->FFRewStep);
  for (int i = 0; i < 7; ++i) Key(plat::VK_SUBTRACT);
  EXPECT_EQ(1, deck->FFRewStep);
  EXPECT_EQ("FF\\Rew Sensitivity .001 Second(s) +/- to change", deck->SensitivityLabel->Caption());
  deck->FFRewStep = 7;
  Key(plat::VK_ADD);
  EXPECT_EQ(100000, deck->FFRewStep);
  deck->FFRewStep = 7;
  Key(plat::VK_OEM_MINUS);
  EXPECT_EQ(1, deck->FFRewStep);
  // With a modifier the keypad keys are not the table's.
  Key(plat::VK_ADD, plat::ssCtrl);
  EXPECT_EQ(1, deck->FFRewStep);

  // Home, End and Backspace move by the slider's rules.
  Key(plat::VK_END);
  EXPECT_EQ(5000, deck->TrackBar->Position());
  Key(plat::VK_BACK);
  EXPECT_EQ(0, deck->TrackBar->Position());
}

// Home while playing disables Rewind at the start; the playback moving on from there enables it
// again, so F11 winds back.
TEST_F(DeckTransport, PlaybackMovingOnFromTheStartGivesRewindBack) {
  StartDeck();
  LoadTake(3000);
  Key(plat::VK_F3);
  Step(500);
  Key(plat::VK_HOME);
  EXPECT_FALSE(deck->RewindButton->Enabled()) << "at the start";
  Step(500);
  ASSERT_TRUE(deck->Playing);
  ASSERT_GT(deck->TrackBar->Position(), 0);
  EXPECT_TRUE(deck->RewindButton->Enabled());
  Key(plat::VK_F11);
  EXPECT_EQ(0, deck->TrackBar->Position()) << "F11 winds back";
  Key(plat::VK_F4);
}

TEST_F(DeckTransport, TheCartsNameIsSplitOverThreeLines) {
  StartDeck();
  auto lines = [&] {
    return std::vector<std::string>{deck->NameLabel1->Caption(), deck->NameLabel2->Caption(),
                                    deck->NameLabel3->Caption()};
  };
  std::string n32(32, 'a');
  deck->Label12Caption("/x/" + n32);
  EXPECT_EQ((std::vector<std::string>{"..\\" + n32, "", ""}), lines());
  std::string n33(33, 'b');
  deck->Label12Caption("/x/" + n33);
  EXPECT_EQ((std::vector<std::string>{"..\\" + n33, "", ""}), lines());
  // Characters 34 to 70 go to the second line without their leading blanks.
  std::string n70 = std::string(33, 'c') + "   " + std::string(34, 'd');
  deck->Label12Caption("/x/" + n70);
  EXPECT_EQ((std::vector<std::string>{"..\\" + std::string(33, 'c'), std::string(34, 'd'), ""}), lines());
  std::string n71 = std::string(70, 'e') + "f";
  deck->Label12Caption("/x/" + n71);
  EXPECT_EQ("f", lines()[2]);
  // Up to character 270 goes to the third line, which ends in an ellipsis when it does not fit.
  std::string n300 = std::string(70, 'g') + std::string(200, 'h') + std::string(30, 'i');
  deck->Label12Caption("/x/" + n300);
  std::string third = lines()[2];
  ASSERT_GT(third.size(), 3u);
  EXPECT_EQ("...", third.substr(third.size() - 3));
  EXPECT_EQ(std::string::npos, third.find('i'));
  EXPECT_EQ(third.substr(0, third.size() - 3), std::string(third.size() - 3, 'h'));
  deck->Label12Caption("");
  EXPECT_EQ((std::vector<std::string>{"", "", ""}), lines());
}

TEST_F(DeckTransport, SpaceOnTheRecordButtonDoesNotStartARecording) {
  StartDeck();
  Key('S', plat::ssCtrl);
  uint16_t k = plat::VK_SPACE;
  deck->RecordButtonKeyDown(deck->RecordButton, k, 0);
  deck->RecordButtonClick(deck->RecordButton);
  EXPECT_FALSE(deck->Recording);
  deck->RecordButtonClick(deck->RecordButton);
  EXPECT_TRUE(deck->Recording);
  Key(plat::VK_F4);
}

TEST_F(DeckTransport, ClicksOnTheDisplaysLeaveTheKeyboardOnTheTransport) {
  StartDeck();
  LoadTake(3000);
  QWidget* targets[] = {plat::WidgetOf(deck->CurrentPosition),  plat::WidgetOf(deck->NameLabel1),
                        plat::WidgetOf(deck->DisplayPanel),     plat::WidgetOf(deck->LevelPanel),
                        plat::WidgetOf(deck->SensitivityLabel), plat::ClientWidgetOf(deck)};
  for (QWidget* w : targets) {
    deck->PlayButtonClick(deck->PlayButton);
    ASSERT_TRUE(deck->Playing);
    deck->StopButton->SetFocus();
    QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(2, 2));
    Pump();
    EXPECT_TRUE(deck->StopButton->Focused()) << w->metaObject()->className();
    QWidget* keys = QApplication::focusWidget();
    QTest::keyClick(keys ? keys : plat::WidgetOf(deck), Qt::Key_Space);
    Pump();
    EXPECT_FALSE(deck->Playing) << "Space stops: " << w->metaObject()->className();
    deck->TrackBar->SetPosition(0);
    deck->Seek();
  }
}

TEST_F(DeckTransport, GpiStringsFollowTheTransport) {
  PtyPair pty;
  ASSERT_TRUE(pty.Ok());
  setenv("SOLVANE_COM1", pty.SlavePath().c_str(), 1);
  WriteSettings({"[Standard Cart]", "FORMAT=26", "LENGTH=10000", "[GPI]", "ENABLE=1", "ON LOAD=L", "ON RECORD=R",
                 "ON STOP=S{{crlf}}", "ON EXIT=X"});
  StartDeck();
  unsetenv("SOLVANE_COM1");
  EXPECT_EQ("L", pty.ReadBytes(1));
  Key('S', plat::ssCtrl);
  Key(plat::VK_F5);
  Step(300);
  Key(plat::VK_F2);  // pause
  Key(plat::VK_F2);  // resume
  Step(300);
  Key(plat::VK_F4);  // the input's own stop writes it too
  EXPECT_EQ("RS\r\nRS\r\nS\r\n", pty.ReadBytes(10));
  EXPECT_EQ("", pty.Arrived());
}

TEST_F(DeckTransport, ARecordingWhoseFileCannotBeWrittenStopsAndSaysWhy) {
  WriteSettings({"[Standard Cart]", "FORMAT=31", "LENGTH=10000"});  // 44.1 kHz, 16 bit, stereo
  StartDeck();
  Key('S', plat::ssCtrl);
  Key(plat::VK_F5);
  ASSERT_TRUE(deck->Recording);
  Step(2000);  // the queue has written once
  const std::string path = deck->RecordFileName;
  // The disk fills while the recording runs.
  struct FreeSpace {
    FreeSpace() {
      SetDiskFreeQuery([](const std::string&, int64_t& freeBytes) {
        freeBytes = 0;
        return true;
      });
    }
    ~FreeSpace() { SetDiskFreeQuery(nullptr); }
  };
  {
    FreeSpace full;
    Step(3000);
  }
  EXPECT_FALSE(deck->Recording);
  EXPECT_FALSE(deck->WaveIn->IsOpen()) << "nothing more is recorded into the void";
  EXPECT_TRUE(Shown("The recording file could not be written"));
  EXPECT_EQ("EDDEEDEEDEEE", Row(deck)) << "as after a stop";

  // What reached the file before is a whole, readable take.
  const std::string bytes = Read(path);
  ASSERT_GT(bytes.size(), 46u);
  EXPECT_EQ(plat::GetLE32(reinterpret_cast<const uint8_t*>(bytes.data()) + 4), bytes.size() - 8);
  EXPECT_GE(deck->WaveLength(), 1000);
  EXPECT_LE(deck->WaveLength(), 4000);
  dialogs->AnswerMessage(plat::mrYes);  // all changes will be lost
  Key(plat::VK_F7);
}

TEST_F(DeckTransport, ASecondLongDiskStallLosesNoRecordedAudio) {
  WriteSettings({"[Standard Cart]", "FORMAT=31", "LENGTH=10000"});  // 44.1 kHz, 16 bit, stereo
  StartDeck();
  Key('S', plat::ssCtrl);
  Key(plat::VK_F5);
  ASSERT_TRUE(deck->Recording);
  // The disk answers no write for a second of recording while the input goes on.
  DiskStall stall;
  for (int i = 0; i < 10; ++i) {
    plat::StepVirtualAudio(100);
    plat::StepManualMMTimer(100);
    Pump();
  }
  stall.Release();
  Step(100);
  Key(plat::VK_F4);
  EXPECT_FALSE(deck->Recording);
  EXPECT_EQ(0u, deck->RecRingBuffer->DroppedBuffers());
  EXPECT_NEAR(1100, deck->WaveLength(), 30);
  EXPECT_FALSE(Shown("Part of this recording was lost"));
  dialogs->AnswerMessage(plat::mrYes);  // all changes will be lost
  Key(plat::VK_F7);
}

TEST_F(DeckTransport, AudioLostToALongerStallIsToldWhenTheTakeEnds) {
  WriteSettings({"[Standard Cart]", "FORMAT=31", "LENGTH=10000"});
  StartDeck();
  Key('S', plat::ssCtrl);
  Key(plat::VK_F5);
  ASSERT_TRUE(deck->Recording);
  DiskStall stall;
  // Eight seconds without a write: more than the queue holds (128 buffers of 50 ms). The queue's
  // thread is held, so the buffers are handled here without waiting for it.
  for (int i = 0; i < 80; ++i) {
    plat::StepVirtualAudio(100);
    plat::StepManualMMTimer(100);
    plat::Application->ProcessMessages();
  }
  EXPECT_TRUE(deck->Recording);
  EXPECT_FALSE(Shown("Part of this recording was lost")) << "not in the middle of the take";
  stall.Release();
  Step(100);
  Key(plat::VK_F4);
  EXPECT_FALSE(deck->Recording);
  EXPECT_GT(deck->RecRingBuffer->DroppedBuffers(), 0u);
  EXPECT_LT(deck->WaveLength(), 8000);
  EXPECT_TRUE(Shown("Part of this recording was lost"));
  // It says what happened, which need not be the disk's fault, and what to do.
  EXPECT_TRUE(Shown("the audio came in faster than it could be written to the disk (the disk was slow, or the "
                    "computer or Solvane was held up for seconds"));
  EXPECT_TRUE(Shown("Play the take through before saving it."));
  EXPECT_FALSE(Shown("could not keep up")) << "the disk is blamed alone";

  // The next take starts with a clean count.
  dialogs->AnswerMessage(plat::mrYes);  // all changes will be lost
  Key(plat::VK_F7);
  Key('S', plat::ssCtrl);
  Key(plat::VK_F5);
  Step(500);
  Key(plat::VK_F4);
  const std::vector<std::string> texts = dialogs->Texts();
  EXPECT_EQ(1, std::count_if(texts.begin(), texts.end(), [](const std::string& t) {
              return t.find("Part of this recording was lost") != std::string::npos;
            }));
  dialogs->AnswerMessage(plat::mrYes);
  Key(plat::VK_F7);
}

// The time-left warning flashes while a take runs into its last seconds and ends with the take,
// also when the take's disk holds up its stop: nothing more is being recorded then.
TEST_F(DeckTransport, TheTimeLeftWarningEndsWithTheTakeAlsoWhileItsDiskHoldsTheStop) {
  WriteSettings({"[Standard Cart]", "FORMAT=26", "LENGTH=4", "[RECORDING OPTIONS]", "Time Remaining Warning=True",
                 "Time=00:00:03"});
  StartDeck();
  deck->WaveIn->SetStopWait(100);  // the deck's two seconds, shorter
  Key('S', plat::ssCtrl);
  Key(plat::VK_F5);
  Step(1500);
  auto flashes = [&] {
    bool red = false;
    for (int i = 0; i < 4; ++i) {
      deck->FlashTimerTimer(deck);
      red = red || deck->TimeLeft->Font()->Color() == plat::clRed;
    }
    return red;
  };
  ASSERT_TRUE(flashes()) << "no warning in the take's last three seconds";

  DiskStall stall;
  for (int i = 0; i < 4; ++i) {
    plat::StepVirtualAudio(100);
    plat::StepManualMMTimer(100);
    plat::Application->ProcessMessages();
  }
  Key(plat::VK_F4);
  ASSERT_STREQ("stopping", deck->Snapshot().state);
  EXPECT_FALSE(flashes()) << "the warning goes on after the stop";

  stall.Release();
  ASSERT_TRUE(Eventually([&] {
    Pump();
    return deck->Snapshot().state == std::string("stopped");
  }));
  EXPECT_FALSE(flashes());
  dialogs->AnswerMessage(plat::mrYes);  // all changes will be lost
  Key(plat::VK_F7);
}

// A warning sound that cannot be read is told in a box, whose loop goes on ticking the flash timer:
// told once all the same, not once more every second until the operator answers.
TEST_F(DeckTransport, AWarningSoundThatCannotBeReadIsToldOnceWhileItsBoxStands) {
  const std::string fifo = dir.Path("Beep.wav");
  ASSERT_EQ(0, ::mkfifo(fifo.c_str(), 0600));
  WriteSettings({"[Standard Cart]", "FORMAT=26", "LENGTH=4", "[RECORDING OPTIONS]", "Time Remaining Warning=True",
                 "Time=00:00:03", "Warning Wav=" + fifo});
  // Each box stands for two of the timer's ticks before it is answered.
  struct TickingBoxes : plat::DialogService {
    std::shared_ptr<plat::QueuedDialogs> answers;
    TDeckProbe** deck = nullptr;
    int depth = 0;
    int Message(const plat::MessageRequest& r) override {
      if (depth++ == 0)
        for (int i = 0; i < 2; ++i) (*deck)->FlashTimerTimer(*deck);
      --depth;
      return answers->Message(r);
    }
    bool File(plat::FileRequest& r, std::vector<std::string>& files, int& filterIndex) override {
      return answers->File(r, files, filterIndex);
    }
  };
  auto boxes = std::make_shared<TickingBoxes>();
  boxes->answers = dialogs;
  boxes->deck = &deck;
  const auto previous = plat::SetDialogService(boxes);
  StartDeck();
  Key('S', plat::ssCtrl);
  Key(plat::VK_F5);
  Step(1500);
  for (int i = 0; i < 6; ++i) deck->FlashTimerTimer(deck);
  const std::vector<std::string> texts = dialogs->Texts();
  EXPECT_EQ(1, std::count_if(texts.begin(), texts.end(), [&](const std::string& t) {
              return t.find("Unable to read " + fifo) != std::string::npos;
            })) << Joined(texts);
  EXPECT_TRUE(deck->Recording) << "the take did not go on";
  Key(plat::VK_F4);
  dialogs->AnswerMessage(plat::mrYes);  // all changes will be lost
  Key(plat::VK_F7);
  plat::SetDialogService(previous);
}

TEST_F(DeckTransport, EverySeekDuringAFillPlaysOnFromTheChosenFrame) {
  StartDeck();
  // A minute of noise at 48 kHz, 16 bit, stereo (192 bytes a millisecond): no stretch of it
  // repeats, so what plays tells where in the file it came from. Even the last five seconds that
  // End jumps to are more than the playback queue holds, so a fill is under way there as well.
  constexpr int64_t kPerMs = 192;
  std::string samples(size_t(60000 * kPerMs), '\0');
  std::mt19937 noise(19);
  for (char& c : samples) c = char(noise());
  LoadFile("noise.wav", WaveOf(35, samples));
  Key(plat::VK_F3);
  ASSERT_TRUE(deck->Playing);

  auto played = [] {
    const std::vector<plat::VirtualCapture> caps = plat::VirtualCaptures();
    return caps.empty() ? std::string() : std::string(caps.back().audio.begin(), caps.back().audio.end());
  };
  const pid_t ui = gettid();
  DiskStall stall(deck);
  std::mt19937 pick(5);
  const uint16_t keys[] = {plat::VK_HOME, plat::VK_END, plat::VK_BACK, plat::VK_F12, plat::VK_F11};
  for (int seek = 0; seek < 100; ++seek) {
    SCOPED_TRACE("seek " + std::to_string(seek));
    // Play on until the playback queue's thread is in the middle of a fill, held in its read. A
    // fill asked for reaches its read before the clock moves on, as it would in real time.
    stall.Arm();
    for (int steps = 0; steps < 200 && !stall.Held(); ++steps) {
      plat::StepVirtualAudio(30);
      plat::StepManualMMTimer(30);
      plat::Application->ProcessMessages();
      auto filling = [&] { return deck->PlayRingBuffer->WorkPending(); };
      if (!stall.WaitHeld(filling) && filling()) break;
    }
    ASSERT_TRUE(stall.Held()) << "no fill began; playing " << deck->Playing << " at " << deck->TrackBar->Position()
                              << " queued " << deck->PlayRingBuffer->QueuedBuffers() << " pending "
                              << deck->PlayRingBuffer->WorkPending() << " out " << deck->MMWaveOut1->IsStarted();
    ASSERT_TRUE(deck->Playing);
    // The seek as the operator makes it; the read goes on once the deck waits for the thread.
    std::atomic<bool> seeking{true};
    std::thread releaser([&] {
      while (seeking && !Sleeps(ui)) std::this_thread::yield();
      stall.Release();
    });
    const size_t before = played().size();
    if (seek % 7 < 5) {
      plat::CallGuarded([&] {
        uint16_t k = keys[seek % 7];
        deck->FormKeyDown(deck, k, 0);
      });
    } else {
      deck->TrackBar->SetPosition(int(pick() % 54000));
      deck->TrackBarTrackEnd(deck->TrackBar);
    }
    seeking = false;
    releaser.join();
    const int64_t at = deck->TrackBar->Position();
    Pump();
    Step(20);
    const std::string after = played().substr(before);
    const size_t check = size_t(10 * kPerMs);
    ASSERT_GE(after.size(), check);
    ASSERT_LE(at * kPerMs + int64_t(check), int64_t(samples.size()));
    if (after.compare(0, check, samples, size_t(at * kPerMs), check) == 0) continue;
    const size_t found = samples.find(after.substr(0, check));
    ADD_FAILURE() << "the seek to " << at << " ms played on from "
                  << (found == std::string::npos ? std::string("nowhere in the file")
                                                 : std::to_string(found / kPerMs) + " ms");
  }
  stall.Release();
  Key(plat::VK_F4);
}

// Playing CD-quality audio, the output is handed a buffer about 22 times a second (each one
// wakes the device's thread and the window's), with as much audio queued at the device as before.
TEST_F(DeckTransport, PlayingAtCdQualityFillsTheOutputFewerThanTwentyFiveTimesASecond) {
  StartDeck();
  constexpr int64_t kPerMs = 176;  // 44.1 kHz, 16 bit, stereo: 176.4 bytes a millisecond
  std::string samples(size_t(20000 * kPerMs), '\0');
  for (size_t i = 0; i < samples.size(); ++i) samples[i] = char(i * 7);
  LoadFile("tone.wav", WaveOf(31, samples));
  int filled = 0;
  deck->MMWaveOut1->OnBufferFilled = [&](TObject*, PWaveHdr) { ++filled; };
  Key(plat::VK_F3);
  ASSERT_TRUE(deck->Playing);
  EXPECT_GE(int64_t(deck->MMWaveOut1->BufferSize()) * deck->MMWaveOut1->NumBuffers(), 50 * 4096)
      << "less audio queued at the device";
  Step(1000);
  const int atStart = filled;
  Step(2000);
  ASSERT_TRUE(deck->Playing);
  EXPECT_GT(filled - atStart, 2 * 15) << "the output starved";
  EXPECT_LT(filled - atStart, 2 * 25);
  deck->MMWaveOut1->OnBufferFilled = nullptr;
  Key(plat::VK_F4);
}

// The input hands its audio over every 50 ms at every format: soon enough for a killed take to
// keep all but the last half second, and no more often than that asks (each buffer wakes the
// device's thread and the window's).
TEST_F(DeckTransport, AtEveryFormatTheInputHandsOverFiftyMillisecondsAtATime) {
  StartDeck();
  RecordAtEveryFormat([&] {
    const WAVEFORMATEX& f = *deck->WaveIn->GetWaveFormat();
    const int32_t size = deck->WaveIn->BufferSize();
    EXPECT_EQ(size % f.nBlockAlign, 0);
    EXPECT_LE(int64_t(size) * 1000, int64_t(f.nAvgBytesPerSec) * 50);
    EXPECT_GT(int64_t(size + f.nBlockAlign) * 1000, int64_t(f.nAvgBytesPerSec) * 50);
  });
}

TEST_F(DeckTransport, AtEveryFormatTheTakeOnDiskIsNeverMoreThanHalfASecondBehindTheInput) {
  StartDeck();
  RecordAtEveryFormat([&] {
    const std::string path = deck->RecordFileName;
    // What a process killed now would leave: the file as the system holds it, read as the next
    // start reads it. Every frame the input gave up to half a second ago must be in it.
    int64_t worst = 0;
    for (int64_t ms = 10; ms <= 2000; ms += 10) {
      Step(10);
      PWaveIOBlock b;
      ASSERT_EQ(wioOk, WaveIOOpen(b, path, plat::FourCC("WAVE"), wioFile)) << ms;
      const WAVEFORMATEX& f = *b->PFormat();
      worst = std::max(worst, ms - b->TotalSamples * 1000 / int64_t(f.nSamplesPerSec));
      if (ms % 500) continue;
      std::string bytes;
      plat::ReadWholeFile(path, bytes);
      ASSERT_TRUE(plat::MatchesVirtualPattern(reinterpret_cast<const uint8_t*>(bytes.data()) + b->DataOffset,
                                              size_t(b->DataSize), f, 0))
          << "what is on disk is not the input from its start (" << ms << " ms)";
    }
    EXPECT_LE(worst, 500);
  });
}
