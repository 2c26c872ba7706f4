#pragma once
// A plain playback-chain component that decodes the 4-bit ADPCM it pulls from its Input into PCM
// of 8 or 16 bits: Microsoft ADPCM (tag 2) and the IMA-style streams of tags 3, 0x33 and 0x206.
// PCM, and anything while disabled, passes through unchanged.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/MMADPCM.h"
#include "engine/MMDSPObj.h"

class TMMADPCMConverter : public TMMDSPComponent {
public:
  explicit TMMADPCMConverter(TComponent* owner = nullptr);
  ~TMMADPCMConverter() override;

  TMMBits BitLength() const { return bitLength_; }
  void SetBitLength(TMMBits bits);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);

  // The format pulled from Input (nullptr without one), and whether it needs decoding.
  const WAVEFORMATEX* InputFormat() const { return input_.get(); }
  bool Decoding() const { return decoding_; }
  // Whether there is a PCM format to decode the input to.
  bool OutputIsPCM() const { return outputIsPCM_; }
  // The PCM format it decodes to (nullptr when there is none).
  const WAVEFORMATEX* OutputFormat() const { return output_.get(); }

  // The chain's format arrives here from Input; the component passes on the PCM format it
  // decodes to, or the input's format when it does not decode.
  void SetPWaveFormat(const WAVEFORMATEX* format) override;
  // Formats pushed from elsewhere are ignored: this component's format follows its input.
  void SetWaveFormat(const WAVEFORMATEX* format) override;

  void ChainOpen() override;
  void ChainClose() override;
  void ChainStart() override;
  void BufferLoad(PWaveHdr lpWaveHdr, bool& MoreBuffers) override;

  std::string ClassName() const override { return "TMMADPCMConverter"; }

  // The bytes the component pulls from its Input at a time: 4096, or for Microsoft ADPCM the
  // whole blocks that fit in it (at least one).
  static int32_t PullSize(const WAVEFORMATEX* input);

private:
  void Recompute();
  void Allocate();
  void FreeBuffers();
  void ResetDecoder();
  // Decodes what the source buffer holds (all of it when final, else whole units) into the
  // output buffer; keeps the rest for the next pull. Sets damaged for a damaged block.
  void DecodeHeld(bool final, bool& damaged);
  int32_t DecodeBytes(const uint8_t* src, int32_t count, bool& damaged);

  bool enabled_ = true;
  TMMBits bitLength_ = b16Bit;
  TWaveFormatPtr input_;
  TWaveFormatPtr output_;
  bool decoding_ = false;
  bool outputIsPCM_ = false;

  bool active_ = false;  // opened for decoding
  std::vector<uint8_t> source_;
  int32_t sourceHeld_ = 0;
  int32_t unit_ = 1;  // source bytes decoded together
  std::vector<uint8_t> out_;
  int32_t outAvailable_ = 0;
  int32_t outHanded_ = 0;
  bool inputEnded_ = false;
  std::unique_ptr<unsigned char[]> pullBlock_;
  PWaveHdr pull_ = nullptr;
  TMMIMAState state_;
};
