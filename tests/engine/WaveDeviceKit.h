#pragma once
// What the wave device component tests share: the virtual device on a hand-stepped clock, ALSA's
// null device where it opens, and a pump for the device windows.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <exception>
#include <string>
#include <thread>
#include <vector>

#include "common/handled_texts.h"
#include "platform/audio/virtual_audio.h"
#include "platform/audio/wave_device.h"
#include "platform/messages/app_hooks.h"
#include "platform/messages/messages.h"
#include "platform/system/threads.h"

namespace wavekit {

// Handles every message posted so far, including those posted while handling.
inline void Pump() {
  for (int i = 0; i < 1000 && plat::ProcessMessages(); ++i) {}
}

// Advances the virtual clock ms at a time for totalMs, handling the device notices after each
// step as the UI thread would.
inline void Advance(uint32_t totalMs, uint32_t stepMs = 50) {
  for (uint32_t done = 0; done < totalMs; done += stepMs) {
    plat::StepVirtualAudio(std::min(stepMs, totalMs - done));
    Pump();
  }
}

// Pumps until f holds. The limit only keeps a broken build from hanging; it decides nothing.
template <class F>
bool PumpUntil(F f) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!f()) {
    if (std::chrono::steady_clock::now() > end) return false;
    plat::ProcessMessages();
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return true;
}

// The lifecycle events of a device component in order, and where its stops ran.
struct DeviceEvents {
  std::vector<std::string> log;  // UI-thread events only
  std::atomic<int> errors{0}, stops{0}, loops{0};
  std::atomic<bool> stopsOnUi{true};

  template <class Device>
  void Hook(Device& d) {
    auto note = [this](const char* what) { return [this, what](plat::TObject*) { log.push_back(what); }; };
    d.OnOpen = note("Open");
    d.OnStart = note("Start");
    d.OnPause = note("Pause");
    d.OnRestart = note("Restart");
    d.OnClose = note("Close");
    d.OnError = [this](plat::TObject*) { ++errors; };
    d.OnStop = [this](plat::TObject*) {
      ++stops;
      if (!plat::IsUiThread()) stopsOnUi = false;
      log.push_back("Stop");
    };
    if constexpr (requires { d.OnLooping; }) d.OnLooping = [this](plat::TObject*) { ++loops; };
  }
};

// Runs f, which must raise E, and returns its text.
template <class E, class F>
std::string RaisedText(F f) {
  try {
    f();
  } catch (const E& e) {
    return e.what();
  }
  ADD_FAILURE() << "nothing raised";
  return {};
}

// The virtual device with a manual clock and captured output; a test may switch to ALSA's null
// device instead. Everything is restored afterwards.
class DeviceTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(plat::SelectWaveBackend(plat::WaveBackendKind::Virtual));
    config_.Clock = plat::VirtualClock::Manual;
    config_.CaptureToMemory = true;
    plat::ClearVirtualCaptures();
    Apply();
  }
  void TearDown() override {
    Pump();
    EXPECT_EQ(plat::OpenWaveDevices(), 0) << "a test left a device open";
    plat::SelectWaveBackend(plat::WaveBackendKind::Virtual);
    plat::UseAlsaConfig("");
    plat::SetVirtualAudioConfig(plat::VirtualAudioConfig{});
    plat::ClearVirtualCaptures();
  }
  void Apply() { ASSERT_TRUE(plat::SetVirtualAudioConfig(config_)); }

  // ALSA with its default device pointed at the null device; false where that does not open.
  static bool SwitchToAlsaNull() {
    if (!plat::SelectWaveBackend(plat::WaveBackendKind::Alsa) || !plat::UseAlsaConfig("pcm.!default { type null }"))
      return false;
    plat::WAVEFORMATEX f;
    f.wFormatTag = plat::WAVE_FORMAT_PCM;
    f.nChannels = 1;
    f.nSamplesPerSec = 8000;
    f.wBitsPerSample = 8;
    f.nBlockAlign = 1;
    f.nAvgBytesPerSec = 8000;
    return plat::WaveInGetNumDevs() > 0 && plat::WaveOutGetNumDevs() > 0 &&
           plat::WaveInOpen(nullptr, plat::WAVE_MAPPER, &f, nullptr, plat::WAVE_FORMAT_QUERY) == 0 &&
           plat::WaveOutOpen(nullptr, plat::WAVE_MAPPER, &f, nullptr, plat::WAVE_FORMAT_QUERY) == 0;
  }

  plat::VirtualAudioConfig config_;
};

}  // namespace wavekit
