#include "platform/audio/sound_player.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/audio/simple_wav.h"
#include "platform/audio/wave_device.h"
#include "platform/system/threads.h"

namespace plat {

namespace {

constexpr int kBuffers = 4;
constexpr uint32_t kBufferMs = 100;

// One sound playing on its own feeder thread. The device's callback only queues the returned
// buffers; the feeder refills and writes them, since a callback may not call the device.
class Playback {
public:
  Playback(SimpleWav wav, bool loop) : wav_(std::move(wav)), loop_(loop) {}
  ~Playback() { Stop(); }

  bool Start() {
    HWAVEOUT h = 0;
    MMRESULT r = WaveOutOpen(
        &h, WAVE_MAPPER, &wav_.format,
        [this](uint64_t, WaveMsg msg, WAVEHDR* hdr) {
          if (msg != WaveMsg::Done) return;
          std::lock_guard<std::mutex> l(m_);
          returned_.push_back(hdr);
          cv_.notify_all();
        },
        0);
    if (r != MMSYSERR_NOERROR) return false;
    handle_ = h;
    uint32_t align = wav_.format.nBlockAlign;
    uint32_t bytes = std::max(align, wav_.format.nAvgBytesPerSec * kBufferMs / 1000 / align * align);
    for (int i = 0; i < kBuffers; ++i) {
      bufs_.emplace_back(std::make_unique<Buf>(bytes));
      WaveOutPrepareHeader(handle_, &bufs_.back()->hdr);
    }
    thread_ = std::thread([this] { Feed(); });
    return true;
  }

  void Stop() {
    {
      std::lock_guard<std::mutex> l(m_);
      stop_ = true;
      cv_.notify_all();
    }
    if (thread_.joinable()) thread_.join();
  }

  // Waits until the sound has played out (or was stopped).
  void Wait() {
    std::unique_lock<std::mutex> l(m_);
    cv_.wait(l, [&] { return finished_; });
  }

  bool Finished() {
    std::lock_guard<std::mutex> l(m_);
    return finished_;
  }

private:
  struct Buf {
    explicit Buf(uint32_t bytes) : data(bytes) {
      hdr.lpData = data.data();
      hdr.dwBufferLength = bytes;
    }
    WAVEHDR hdr;
    std::vector<char> data;
  };

  // Fills a buffer from the sound, wrapping round when it loops; false at the end.
  bool Fill(Buf& b) {
    const size_t cap = b.data.size();
    size_t n = 0;
    while (n < cap) {
      if (pos_ >= wav_.data.size()) {
        if (!loop_ || wav_.data.empty()) break;
        pos_ = 0;
      }
      size_t take = std::min(cap - n, wav_.data.size() - pos_);
      std::memcpy(b.data.data() + n, wav_.data.data() + pos_, take);
      n += take;
      pos_ += take;
    }
    b.hdr.dwBufferLength = uint32_t(n);
    return n > 0;
  }

  void Feed() {
    int atDevice = 0;
    for (auto& b : bufs_) {
      if (!Fill(*b)) break;
      if (WaveOutWrite(handle_, &b->hdr) == MMSYSERR_NOERROR) ++atDevice;
    }
    std::unique_lock<std::mutex> l(m_);
    while (!stop_ && atDevice > 0) {
      cv_.wait(l, [&] { return stop_ || !returned_.empty(); });
      std::vector<WAVEHDR*> back(returned_.begin(), returned_.end());
      returned_.clear();
      l.unlock();
      for (WAVEHDR* hdr : back) {
        --atDevice;
        Buf* b = FindBuf(hdr);
        if (b && Fill(*b) && WaveOutWrite(handle_, &b->hdr) == MMSYSERR_NOERROR) ++atDevice;
      }
      l.lock();
    }
    l.unlock();
    WaveOutReset(handle_);
    for (auto& b : bufs_) WaveOutUnprepareHeader(handle_, &b->hdr);
    WaveOutClose(handle_);
    l.lock();
    finished_ = true;
    cv_.notify_all();
  }

  Buf* FindBuf(WAVEHDR* hdr) {
    for (auto& b : bufs_)
      if (&b->hdr == hdr) return b.get();
    return nullptr;
  }

  SimpleWav wav_;
  const bool loop_;
  size_t pos_ = 0;
  HWAVEOUT handle_ = 0;
  std::vector<std::unique_ptr<Buf>> bufs_;
  std::thread thread_;
  std::mutex m_;
  std::condition_variable cv_;
  std::deque<WAVEHDR*> returned_;
  bool stop_ = false;
  bool finished_ = false;
};

struct Player {
  std::mutex m;  // one caller at a time starts or stops a sound
  std::unique_ptr<Playback> current;
  bool shutDown = false;
};

// Never destroyed; the guard below stops a sound still playing when the program ends.
Player& P() {
  static Player* p = new Player;
  return *p;
}

struct ExitGuard {
  ~ExitGuard() { ShutdownSoundPlayer(); }
} g_exitGuard;

bool Play(SimpleWav wav, uint32_t flags) {
  const bool async = flags & SND_ASYNC;
  const bool loop = flags & SND_LOOP;
  if (loop && !async) return false;  // a looping sound would never return
  Player& p = P();
  std::unique_lock<std::mutex> l(p.m);
  if (p.shutDown) return false;
  if (p.current && !p.current->Finished() && (flags & SND_NOSTOP)) return false;
  p.current.reset();
  auto pb = std::make_unique<Playback>(std::move(wav), loop);
  if (!pb->Start()) return false;
  if (async) {
    p.current = std::move(pb);
    return true;
  }
  l.unlock();
  pb->Wait();
  return true;
}

}  // namespace

bool PlaySound(const char* path, uint32_t flags) {
  if (!path || !*path) {
    StopSound();
    return true;
  }
  SimpleWav wav;
  if (!ReadSimpleWav(path, wav)) return false;
  return Play(std::move(wav), flags);
}

bool PlaySoundImage(const void* image, size_t size, uint32_t flags) {
  if (!image || size == 0) {
    StopSound();
    return true;
  }
  SimpleWav wav;
  if (!ParseSimpleWav(static_cast<const uint8_t*>(image), size, wav)) return false;
  return Play(std::move(wav), flags);
}

void StopSound() {
  Player& p = P();
  std::unique_ptr<Playback> old;
  {
    std::lock_guard<std::mutex> l(p.m);
    old = std::move(p.current);
  }
  old.reset();  // stops and joins outside the lock
}

bool SoundPlaying() {
  Player& p = P();
  std::lock_guard<std::mutex> l(p.m);
  return p.current && !p.current->Finished();
}

void ShutdownSoundPlayer() {
  Player& p = P();
  {
    std::lock_guard<std::mutex> l(p.m);
    p.shutDown = true;
  }
  StopSound();
}

}  // namespace plat
