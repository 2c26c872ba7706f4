#pragma once
// The whole deck for tests: its program folder and temporary folder in a scratch folder, the
// virtual sound device on a clock the test steps, the multimedia timer by hand, and every dialog
// answered from a queue.
#include <gtest/gtest.h>

#include <QTimer>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/app_environment.h"
#include "common/scratch.h"
#include "controls/zelclass.h"
#include "engine/MMConect.h"
#include "engine/MMRingBf.h"
#include "engine/MMWavIn.h"
#include "engine/MMWavOut.h"
#include "engine/MMWave.h"
#include "platform/audio/mmtimer.h"
#include "platform/audio/riff_io.h"
#include "platform/audio/virtual_audio.h"
#include "platform/messages/messages.h"
#include "platform/system/clock.h"
#include "platform/system/files.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/forms.h"
#include "recorder/BlankCarts.h"
#include "recorder/Unit1.h"
#include "DeckProbe.h"
#include "recorder/Unit22.h"
#include "recorder/Unit23.h"
#include "recorder/Unit24.h"
#include "recorder/Unit26.h"
#include "recorder/Unit27.h"
#include "recorder/Unit3.h"
#include "recorder/Unit4.h"
#include "recorder/Unit5.h"

class DeckHarness : public ::testing::Test {
protected:
  void SetUp() override {
    home = dir.Path("home/");
    temp = dir.Path("tmp/");
    ASSERT_TRUE(plat::ForceDirectories(home));
    ASSERT_TRUE(plat::ForceDirectories(temp));
    oldHome_ = Env("SOLVANE_HOME");
    oldTmp_ = Env("TMPDIR");
    setenv("SOLVANE_HOME", home.c_str(), 1);
    setenv("TMPDIR", temp.c_str(), 1);
    plat::UseManualMMTimer(true);
    // The kit's timer pool (held wind buttons, blinking labels), ticked by the test.
    auto timer = std::make_unique<TZelManualTimerBackend>();
    kitTimer = timer.get();
    kit_ = std::make_unique<TZelApplication>(std::move(timer));
    plat::VirtualAudioConfig cfg;
    cfg.Clock = plat::VirtualClock::Manual;
    cfg.CaptureToMemory = true;
    ASSERT_TRUE(plat::SetVirtualAudioConfig(cfg));
    ASSERT_TRUE(plat::SelectWaveBackend(plat::WaveBackendKind::Virtual));
    old_ = plat::SetDialogService(dialogs);
    RegisterBlankHeaders();
    // A settings file that asks nothing at start.
    WriteSettings({"[Standard Cart]", "FORMAT=26", "LENGTH=10000"});
  }

  void TearDown() override {
    if (deck) {
      for (plat::TCustomForm** f :
           {reinterpret_cast<plat::TCustomForm**>(&Form3), reinterpret_cast<plat::TCustomForm**>(&Form4),
            reinterpret_cast<plat::TCustomForm**>(&Form5), reinterpret_cast<plat::TCustomForm**>(&Form22),
            reinterpret_cast<plat::TCustomForm**>(&Form23), reinterpret_cast<plat::TCustomForm**>(&Form24),
            reinterpret_cast<plat::TCustomForm**>(&Form26), reinterpret_cast<plat::TCustomForm**>(&Form27)}) {
        if (*f) (*f)->Free();
        *f = nullptr;
      }
      deck->Free();
      deck = nullptr;
    }
    Pump();
    kit_.reset();
    kitTimer = nullptr;
    // Messages with only an OK button may go unanswered; a question must have had its answer.
    for (const plat::ShownDialog& d : dialogs->Shown())
      EXPECT_TRUE(d.scripted || d.file || d.buttons == plat::Btn(plat::mbOK)) << d.text;
    EXPECT_EQ(0u, dialogs->PendingAnswers()) << "answers left over";
    plat::SetDialogService(old_);
    plat::UseManualMMTimer(false);
    plat::SetVirtualAudioConfig(plat::VirtualAudioConfig{});
    Restore("SOLVANE_HOME", oldHome_);
    Restore("TMPDIR", oldTmp_);
    TSVMain::SetCommandLine({});
    // The exit sequence ends the application; the next test starts as the next run would.
    if (plat::Application && plat::Application->Terminated()) RenewTestApplication();
  }

  // ---- the settings and files ----
  void WriteSettings(const std::vector<std::string>& lines) {
    std::string text = "; Settings File for Solvane\r\n";
    for (const std::string& l : lines) text += l + "\r\n";
    ASSERT_TRUE(plat::WriteWholeFile(home + "Solvane.ini", text));
  }
  // A WAV file of one of the standard formats holding samples.
  static std::string WaveOf(int format, const std::string& samples) {
    std::string data = BlankWaveHeader(format);
    uint8_t* head = reinterpret_cast<uint8_t*>(data.data());
    plat::PutLE32(head + 4, uint32_t(data.size() - 8 + samples.size()));
    plat::PutLE32(head + data.size() - 4, uint32_t(samples.size()));
    return data + samples;
  }
  // ms of audio in format 26 (32 kHz, 16 bit, mono: 64 bytes a millisecond), in a pattern.
  static std::string TakeSamples(int64_t ms) {
    std::string samples(size_t(ms * 64), '\0');
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = char(i * 7);
    return samples;
  }
  // A WAV file of format 26 holding ms of audio.
  std::string WriteTake(const std::string& path, int64_t ms) {
    const std::string data = WaveOf(26, TakeSamples(ms));
    EXPECT_TRUE(plat::WriteWholeFile(path, data));
    return data;
  }
  // A WAV file written in the test folder and opened through the deck's Load.
  std::string LoadFile(const std::string& name, const std::string& data) {
    std::string path = dir.Path(name);
    EXPECT_TRUE(plat::WriteWholeFile(path, data));
    dialogs->AnswerFile(path);
    deck->LoadCart1Click(deck);
    Pump();
    return path;
  }
  // A take of ms written in the test folder and opened through the deck's Load.
  std::string LoadTake(int64_t ms, const std::string& name = "take.wav") {
    return LoadFile(name, WaveOf(26, TakeSamples(ms)));
  }
  static std::string Read(const std::string& path) {
    std::string s;
    plat::ReadWholeFile(path, s);
    return s;
  }
  std::string DeckTemp() const { return temp + "Solvane/"; }

  // ---- the deck ----
  // Creates the deck as the program does (OnCreate runs FormCreate) with the dialogs it uses.
  void StartDeck(bool show = true) {
    deck = plat::NewForm<TDeckProbe>(plat::Application);
    Form3 = plat::NewForm<TForm3>(deck);
    Form4 = plat::NewForm<TForm4>(deck);
    Form5 = plat::NewForm<TForm5>(deck);
    Form5->SettleMs = 0;
    Form22 = plat::NewForm<TForm22>(deck);
    Form23 = plat::NewForm<TForm23>(deck);
    Form24 = plat::NewForm<TForm24>(deck);
    Form26 = plat::NewForm<TForm26>(deck);
    Form27 = plat::NewForm<TForm27>(deck);
    if (show && deck->CreatedOk()) deck->Show();
    Pump();
  }

  // Handles everything posted and waits for the ring buffers' threads, so the deck is at rest.
  void Pump() {
    for (int round = 0; round < 200; ++round) {
      if (plat::Application) plat::Application->ProcessMessages();
      bool busy = deck && (deck->RecRingBuffer->WorkPending() || deck->PlayRingBuffer->WorkPending());
      if (!busy && plat::PendingMessages() == 0) return;
      plat::SleepMs(1);
    }
  }
  // Moves the sound devices and the timers on by ms, in steps of 10 ms, with the deck at rest
  // between them.
  void Step(uint32_t ms) {
    for (uint32_t done = 0; done < ms; done += 10) {
      plat::StepVirtualAudio(10);
      plat::StepManualMMTimer(10);
      Pump();
    }
  }
  void Key(uint16_t key, plat::TShiftState shift = 0) {
    // As the form's key handling does: what a handler raises is shown, not passed on.
    plat::CallGuarded([&] {
      uint16_t k = key;
      deck->FormKeyDown(deck, k, shift);
    });
    Pump();
  }

  // Runs fn once the next modal window has started its loop (to press its buttons).
  static void WhenModal(std::function<void()> fn) { QTimer::singleShot(0, std::move(fn)); }
  bool Shown(const std::string& text) const {
    for (const std::string& t : dialogs->Texts())
      if (t.find(text) != std::string::npos) return true;
    return false;
  }

  static std::string Joined(const std::vector<std::string>& v) {
    std::string s;
    for (const std::string& t : v) s += "[" + t + "] ";
    return s;
  }

  Scratch dir;
  std::string home, temp;
  std::shared_ptr<plat::QueuedDialogs> dialogs = std::make_shared<plat::QueuedDialogs>();
  TDeckProbe* deck = nullptr;
  TZelManualTimerBackend* kitTimer = nullptr;  // 50 ms a tick

private:
  std::unique_ptr<TZelApplication> kit_;
  static std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
  }
  static void Restore(const char* name, const std::string& value) {
    if (value.empty()) unsetenv(name);
    else setenv(name, value.c_str(), 1);
  }
  std::string oldHome_, oldTmp_;
  std::shared_ptr<plat::DialogService> old_;
};
