#include "controls/zelwave.h"

#include <algorithm>
#include <cstring>

#include "controls/ZelStreamUtils.h"
#include "platform/ui/streams.h"
#include "platform/audio/sound_player.h"

namespace {

void StopSound() { plat::SndPlaySound(nullptr, 0); }

uint32_t Le32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

}  // namespace

bool CheckWaveImage(plat::TStream& s, TZelWaveInfo& info) {
  s.SetPosition(0);
  if (s.Size() == 0) return false;
  uint8_t h[34];
  size_t have = 0;
  // Reads up to byte end of the header; a stream that ends first cannot be checked.
  auto need = [&](size_t end) {
    int64_t n = s.Read(h + have, int64_t(end - have));
    have += size_t(std::max<int64_t>(n, 0));
    if (have < end) {
      s.SetPosition(0);
      throw EErrorCheckingWave("GetWaveData: Cannot open file %s");
    }
  };
  bool valid = false;
  need(4);
  if (std::memcmp(h, "RIFF", 4) == 0) {
    need(12);
    if (std::memcmp(h + 8, "WAVE", 4) == 0) {
      need(16);
      if (std::memcmp(h + 12, "fmt ", 4) == 0) {
        need(34);
        info.RiffSize = Le32(h + 4);
        const uint16_t tag = Le16(h + 20), channels = Le16(h + 22);
        info.SamplesPerSec = Le32(h + 24);
        info.Channels = channels == 1 ? 1 : channels == 2 ? 2 : 0;
        info.Pcm = tag == 1 ? 1 : 0;
        info.BlockAlign = Le16(h + 32);
        valid = true;
      }
    }
  }
  s.SetPosition(0);
  return valid;
}

TZelWave::TZelWave() = default;

TZelWave::~TZelWave() {
  if (stream_) StopSound();
}

bool TZelWave::Empty() const { return !stream_ || stream_->Size() == 0; }

int64_t TZelWave::Size() const { return stream_ ? stream_->Size() : 0; }

std::string TZelWave::Bytes() const { return stream_ ? MemoryBytes(*stream_) : std::string(); }

void TZelWave::SetData(std::unique_ptr<plat::TMemoryStream> stream) {
  StopSound();
  stream_ = std::move(stream);
  if (stream_) {
    stream_->SetPosition(0);
  } else {
    info_ = {};
  }
  Change();
}

void TZelWave::LoadFromStream(int64_t count, plat::TStream& src) {
  if (src.Size() == 0) return Clear();
  auto copy = std::make_unique<plat::TMemoryStream>();
  if (count > 0) copy->CopyFrom(src, count);
  TZelWaveInfo info;
  if (!CheckWaveImage(*copy, info)) throw EInvalidWave(ClassName() + ": Cannot open file %s");
  info_ = info;
  SetData(std::move(copy));
}

void TZelWave::LoadFromRestOfStream(plat::TStream& src) { LoadFromStream(StreamRemaining(src), src); }

void TZelWave::LoadFromFile(const std::string& path) {
  plat::TFileStream f(path, plat::fmOpenRead | plat::fmShareDenyNone);
  LoadFromStream(f.Size(), f);
}

void TZelWave::SaveToFile(const std::string& path) const {
  plat::TFileStream f(path, plat::fmCreate);
  SaveToStream(f);
}

void TZelWave::SaveToStream(plat::TStream& dst) const {
  if (!stream_ || stream_->Size() == 0) return;
  const plat::TCustomMemoryStream& m = *stream_;
  dst.WriteBuffer(m.Memory(), stream_->Size());
}

void TZelWave::WriteData(plat::TStream& s) const { WritePlainData(s, Bytes()); }

void TZelWave::ReadData(plat::TStream& s) {
  std::string bytes = ReadPlainData(s);
  plat::TMemoryStream m;
  SetMemoryBytes(m, bytes);
  LoadFromStream(int64_t(bytes.size()), m);
}

void TZelWave::Assign(plat::TPersistent* src) {
  auto* w = dynamic_cast<TZelWave*>(src);
  if (!w) return TZelObject::Assign(src);
  if (w == this) return;
  if (w->Empty()) return Clear();
  auto copy = std::make_unique<plat::TMemoryStream>();
  SetMemoryBytes(*copy, w->Bytes());
  info_ = w->info_;
  SetData(std::move(copy));
}
