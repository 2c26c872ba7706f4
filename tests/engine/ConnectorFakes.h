#pragma once
// Stand-ins for what a connector works with: a feed timer with a clock that tests move by hand,
// and displays that keep every block they are fed.
#include <atomic>
#include <cstring>
#include <functional>
#include <mutex>
#include <vector>

#include "engine/MMConect.h"

// Ticks fire only inside Advance, on the caller's thread, each at its own time on the clock.
class ManualFeedTimer : public TMMFeedTimer {
public:
  int64_t NowMicroseconds() override { return now_; }
  void Start(int64_t intervalUs, bool periodic, std::function<void()> tick) override {
    interval_ = intervalUs;
    periodic_ = periodic;
    next_ = now_ + intervalUs;
    tick_ = std::move(tick);
    active_ = true;
  }
  void Stop() override { active_ = false; }

  // Moves the clock on by us, firing every tick that falls due on the way.
  void Advance(int64_t us) {
    const int64_t end = now_ + us;
    while (active_ && next_ <= end) {
      now_ = next_;
      if (periodic_) next_ += interval_;
      else active_ = false;
      ticks.push_back(now_);
      std::function<void()> tick = tick_;
      tick();
    }
    now_ = end;
  }
  bool Active() const { return active_; }
  // When each tick came.
  std::vector<int64_t> ticks;

private:
  std::atomic<int64_t> now_{1'000'000};
  int64_t interval_ = 0;
  int64_t next_ = 0;
  bool periodic_ = false;
  bool active_ = false;
  std::function<void()> tick_;
};

// A screen whose frames come at whole multiples of frameUs on the clock.
class FramedFeedTimer : public ManualFeedTimer {
public:
  explicit FramedFeedTimer(int64_t frameUs) : frame_(frameUs) {}
  int64_t NextFrameAt(int64_t us) override { return (us + frame_ - 1) / frame_ * frame_; }
  int64_t FrameMicroseconds() override { return frame_; }

private:
  int64_t frame_;
};

// Keeps each block with the clock time it came at.
class FakeDisplay : public TMMDisplayFeed {
public:
  explicit FakeDisplay(int32_t block = 1024, TMMFeedTimer* clock = nullptr) : block_(block), clock_(clock) {}
  void SetWaveFormat(const WAVEFORMATEX* f) override {
    std::lock_guard<std::mutex> l(m_);
    format = *f;
    ++formats;
  }
  void FeedPCM(const void* block) override {
    std::lock_guard<std::mutex> l(m_);
    const auto* p = static_cast<const uint8_t*>(block);
    blocks.emplace_back(p, p + block_);
    times.push_back(clock_ ? clock_->NowMicroseconds() : 0);
  }
  void ResetData() override {
    std::lock_guard<std::mutex> l(m_);
    ++resets;
  }
  int32_t BlockBytes() const override { return block_; }
  int32_t AdvanceBytes() const override { return advance_ ? advance_ : block_; }
  TMMChannel TriggerChannel() const override { return channel_; }

  size_t Count() {
    std::lock_guard<std::mutex> l(m_);
    return blocks.size();
  }
  // Every block fed, one after the other.
  std::vector<uint8_t> Stream() {
    std::lock_guard<std::mutex> l(m_);
    std::vector<uint8_t> all;
    for (auto& b : blocks) all.insert(all.end(), b.begin(), b.end());
    return all;
  }

  WAVEFORMATEX format{};
  int formats = 0;
  int resets = 0;
  std::vector<std::vector<uint8_t>> blocks;
  std::vector<int64_t> times;
  int32_t advance_ = 0;
  TMMChannel channel_ = chBoth;

private:
  std::mutex m_;
  int32_t block_;
  TMMFeedTimer* clock_;
};

// A display that is a component too, so the connector hears of its end.
class FakeDisplayComponent : public TComponent, public FakeDisplay {
public:
  explicit FakeDisplayComponent(int32_t block = 1024) : FakeDisplay(block) {}
};

// A buffer as the chain passes it: header and data in one block.
class TestBuffer {
public:
  explicit TestBuffer(uint32_t capacity) : mem_(kWaveHdrSize + capacity) { hdr_ = InitWaveHdr(mem_.data(), capacity); }
  PWaveHdr Fill(const std::vector<uint8_t>& bytes) {
    std::memcpy(hdr_->lpData, bytes.data(), bytes.size());
    hdr_->dwBytesRecorded = uint32_t(bytes.size());
    return hdr_;
  }
  PWaveHdr Hdr() { return hdr_; }

private:
  std::vector<uint8_t> mem_;
  PWaveHdr hdr_;
};
