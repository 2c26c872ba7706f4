// ALSA backend of the wave devices. Numbered devices are the cards (plughw:N,0, so ALSA converts
// rates and sample sizes the card lacks); the wave mapper is ALSA's "default", which on a desktop
// reaches the sound server. With no card at all, "default" becomes device 0 when it opens.
#include <alsa/asoundlib.h>

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/audio/alsa_stream.h"
#include "platform/audio/wave_backend.h"
#include "platform/audio/wave_mapper.h"

namespace plat::wavecore {

namespace {

using alsa::PcmPtr;

constexpr unsigned kPeriodUs = 20000;           // 20 ms
constexpr unsigned kPlaybackBufferUs = 200000;  // 200 ms
// A recorder cannot afford to lose audio when the disk or the screen holds the program up, and a
// source may deliver in bursts: capture waits in a buffer of a second.
constexpr unsigned kCaptureBufferUs = 1000000;

void QuietAlsa(const char*, int, const char*, int, const char*, ...) {}

void InstallQuietErrorHandlerOnce() {
  static std::once_flag once;
  // alsa-lib prints every failed open to stderr; a missing card is a normal answer here.
  std::call_once(once, [] { snd_lib_error_set_handler(QuietAlsa); });
}

using ConfigPtr = std::shared_ptr<snd_config_t>;

ConfigPtr ParseConfig(const std::string& text) {
  snd_config_t* top = nullptr;
  if (snd_config_top(&top) < 0) return nullptr;
  ConfigPtr cfg(top, [](snd_config_t* c) { snd_config_delete(c); });
  snd_input_t* in = nullptr;
  if (snd_input_buffer_open(&in, text.data(), ssize_t(text.size())) < 0) return nullptr;
  int err = snd_config_load(top, in);
  snd_input_close(in);
  return err < 0 ? nullptr : cfg;
}

// What the sound servers' plugins answer when no server listens.
bool ServerUnreachableError(int err) {
  switch (-err) {
    case ECONNREFUSED:
    case EHOSTDOWN:
    case ECONNRESET:
    case ENOTCONN: return true;
    default: return false;
  }
}

MMRESULT FromErrno(int err) {
  switch (-err) {
    case EBUSY: return MMSYSERR_ALLOCATED;
    case ENOENT:
    case ENODEV:
    case ENXIO: return MMSYSERR_BADDEVICEID;
    case ENOMEM: return MMSYSERR_NOMEM;
    case EINVAL: return WAVERR_BADFORMAT;
    default: return MMSYSERR_ERROR;
  }
}

std::optional<snd_pcm_format_t> AlsaFormat(const WAVEFORMATEX& f) {
  if (f.wFormatTag == WAVE_FORMAT_IEEE_FLOAT) {
    if (f.wBitsPerSample == 32) return SND_PCM_FORMAT_FLOAT_LE;
    if (f.wBitsPerSample == 64) return SND_PCM_FORMAT_FLOAT64_LE;
    return std::nullopt;
  }
  switch (f.wBitsPerSample) {
    case 8: return SND_PCM_FORMAT_U8;
    case 16: return SND_PCM_FORMAT_S16_LE;
    case 24: return SND_PCM_FORMAT_S24_3LE;
    case 32: return SND_PCM_FORMAT_S32_LE;
    default: return std::nullopt;
  }
}

int OpenPcm(const ConfigPtr& cfg, const std::string& name, bool input, PcmPtr& out) {
  snd_pcm_t* pcm = nullptr;
  snd_pcm_stream_t stream = input ? SND_PCM_STREAM_CAPTURE : SND_PCM_STREAM_PLAYBACK;
  int err = cfg ? snd_pcm_open_lconf(&pcm, name.c_str(), stream, SND_PCM_NONBLOCK, cfg.get())
                : snd_pcm_open(&pcm, name.c_str(), stream, SND_PCM_NONBLOCK);
  if (err < 0) return err;
  out.reset(pcm);
  return 0;
}

// Restricts params to the format; < 0 when the device cannot take it. Unsigned 8-bit audio is
// played as 16-bit wherever the device takes that (*wide tells): a sound server fills a stream
// with zero bytes where it has no audio from it (one that runs dry, starts or stops), and a zero
// byte is a full-scale negative 8-bit sample, a thump, where a zero 16-bit sample is silence.
int ApplyFormat(snd_pcm_t* pcm, snd_pcm_hw_params_t* hw, const WAVEFORMATEX& f, bool input, bool* wide = nullptr) {
  auto fmt = AlsaFormat(f);
  if (!fmt) return -EINVAL;
  int err;
  if ((err = snd_pcm_hw_params_set_access(pcm, hw, SND_PCM_ACCESS_RW_INTERLEAVED)) < 0) return err;
  const bool widen =
      !input && *fmt == SND_PCM_FORMAT_U8 && snd_pcm_hw_params_test_format(pcm, hw, SND_PCM_FORMAT_S16) == 0;
  if (widen) fmt = SND_PCM_FORMAT_S16;
  if (wide) *wide = widen;
  if ((err = snd_pcm_hw_params_set_format(pcm, hw, *fmt)) < 0) return err;
  if ((err = snd_pcm_hw_params_set_channels(pcm, hw, f.nChannels)) < 0) return err;
  return snd_pcm_hw_params_set_rate(pcm, hw, f.nSamplesPerSec, 0);
}

// ---- the backend --------------------------------------------------------------------------------

struct Entry {
  std::string pcm;
  std::string product;
  std::optional<WaveCaps> caps;
};

class AlsaBackend : public WaveBackend, public std::enable_shared_from_this<AlsaBackend> {
public:
  explicit AlsaBackend(ConfigPtr cfg) : cfg_(std::move(cfg)) { InstallQuietErrorHandlerOnce(); }

  uint32_t NumDevices(bool input) override {
    std::lock_guard<std::mutex> l(m_);
    return uint32_t(ListLocked(input).devices.size());
  }

  std::string NoDeviceReason(bool input) override {
    std::lock_guard<std::mutex> l(m_);
    const List& list = ListLocked(input);
    if (!list.devices.empty() || list.defaultError == 0) return {};
    const std::string why = snd_strerror(list.defaultError);
    if (ServerUnreachableError(list.defaultError)) return ServerUnreachable(why);
    return "No sound card was found, and the default sound device could not be opened (" + why + ").";
  }

  std::string ServerFailure() override {
    std::lock_guard<std::mutex> l(m_);
    return serverFailure_;
  }

  MMRESULT Caps(bool input, int32_t id, WaveCaps& caps) override {
    std::lock_guard<std::mutex> l(m_);
    Entry* e = EntryLocked(input, id);
    if (!e) return MMSYSERR_BADDEVICEID;
    if (!e->caps) {
      WaveCaps c;
      c.ProductName = e->product;
      int err = ProbeCaps(*e, input, c);
      if (err == -EBUSY) {
        caps = c;  // in use: the name, and no format promised
        return MMSYSERR_NOERROR;
      }
      e->caps = c;
    }
    caps = *e->caps;
    return MMSYSERR_NOERROR;
  }

  MMRESULT CheckFormat(bool input, int32_t id, const WAVEFORMATEX& f) override {
    PcmPtr pcm;
    snd_pcm_hw_params_t* hw;
    snd_pcm_hw_params_alloca(&hw);
    bool wide = false;
    return OpenWithFormat(input, id, f, pcm, hw, wide);
  }

  MMRESULT Open(bool input, int32_t id, const WAVEFORMATEX& f, uint64_t, std::unique_ptr<WaveDriver>& driver,
                WaveDeviceOptions& options) override {
    PcmPtr pcm;
    snd_pcm_hw_params_t* hw;
    snd_pcm_hw_params_alloca(&hw);
    bool wide = false;
    if (MMRESULT r = OpenWithFormat(input, id, f, pcm, hw, wide); r != MMSYSERR_NOERROR) return r;
    int err;
    unsigned bufferUs = input ? kCaptureBufferUs : kPlaybackBufferUs, periodUs = kPeriodUs;
    snd_pcm_hw_params_set_buffer_time_near(pcm.get(), hw, &bufferUs, nullptr);
    snd_pcm_hw_params_set_period_time_near(pcm.get(), hw, &periodUs, nullptr);
    if ((err = snd_pcm_hw_params(pcm.get(), hw)) < 0) return Failed(err);
    snd_pcm_uframes_t period = 0, buffer = 0;
    snd_pcm_hw_params_get_period_size(hw, &period, nullptr);
    snd_pcm_hw_params_get_buffer_size(hw, &buffer);
    bool canPause = snd_pcm_hw_params_can_pause(hw);

    snd_pcm_sw_params_t* sw;
    snd_pcm_sw_params_alloca(&sw);
    snd_pcm_sw_params_current(pcm.get(), sw);
    snd_pcm_uframes_t boundary = 0;
    snd_pcm_sw_params_get_boundary(sw, &boundary);
    // Playback starts itself once its buffer is full (or we start it when the queue runs out
    // first); capture starts at Start.
    snd_pcm_sw_params_set_start_threshold(pcm.get(), sw, input ? boundary : buffer);
    snd_pcm_sw_params_set_avail_min(pcm.get(), sw, std::max<snd_pcm_uframes_t>(1, period));
    if ((err = snd_pcm_sw_params(pcm.get(), sw)) < 0) return Failed(err);
    if (!input && (err = snd_pcm_prepare(pcm.get())) < 0) return Failed(err);

    // Raise the driver thread where the system allows it; an unpaced device (ALSA's null) never
    // gets real-time scheduling, so a test run cannot starve the machine.
    options.priority =
        snd_pcm_type(pcm.get()) == SND_PCM_TYPE_NULL ? ThreadPriority::AboveNormal : ThreadPriority::Highest;
    alsa::StreamSetup setup{std::move(pcm), f, std::max<snd_pcm_uframes_t>(1, period), buffer, canPause, wide, {}};
    setup.serverGone = [self = weak_from_this(), name = NameOf(input, id), input] {
      const std::shared_ptr<AlsaBackend> b = self.lock();
      return b && !name.empty() ? b->Reach(name, input) : MMSYSERR_NOERROR;
    };
    driver = input ? alsa::MakeCapture(std::move(setup)) : alsa::MakePlayback(std::move(setup));
    return MMSYSERR_NOERROR;
  }

private:
  struct List {
    bool listed = false;
    std::vector<Entry> devices;
    std::optional<Entry> mapper;
    int defaultError = 0;  // why "default" did not open
  };

  std::string NameOf(bool input, int32_t id) {
    std::lock_guard<std::mutex> l(m_);
    Entry* e = EntryLocked(input, id);
    return e ? e->pcm : std::string();
  }

  // A stream of the device failed: whether its sound server can be reached now, asked by opening
  // the device anew (a card in use by the stream itself answers that it is busy).
  MMRESULT Reach(const std::string& name, bool input) {
    PcmPtr pcm;
    const int err = OpenPcm(cfg_, name, input, pcm);
    return err < 0 && ServerUnreachableError(err) ? Failed(err) : MMSYSERR_NOERROR;
  }

  // Opens the device's PCM and narrows hw (the caller's, on its stack) to the format (wide: 8-bit
  // audio goes to it as 16-bit).
  MMRESULT OpenWithFormat(bool input, int32_t id, const WAVEFORMATEX& f, PcmPtr& pcm, snd_pcm_hw_params_t* hw,
                          bool& wide) {
    const std::string name = NameOf(input, id);
    if (name.empty()) return MMSYSERR_BADDEVICEID;
    int err = OpenPcm(cfg_, name, input, pcm);
    if (err < 0) return Failed(err);
    if (snd_pcm_hw_params_any(pcm.get(), hw) < 0) return MMSYSERR_ERROR;
    return ApplyFormat(pcm.get(), hw, f, input, &wide) < 0 ? WAVERR_BADFORMAT : MMSYSERR_NOERROR;
  }

  bool Opens(const std::string& name, bool input, int* errOut = nullptr) {
    PcmPtr pcm;
    int err = OpenPcm(cfg_, name, input, pcm);
    if (errOut) *errOut = err;
    return err >= 0 || err == -EBUSY;
  }

  List& ListLocked(bool input) {
    List& list = input ? in_ : out_;
    if (list.listed) return list;
    list.listed = true;
    int card = -1;
    while (snd_card_next(&card) == 0 && card >= 0) {
      std::string pcm = "plughw:" + std::to_string(card) + ",0";
      if (!Opens(pcm, input)) continue;
      char* name = nullptr;
      std::string product = "Card " + std::to_string(card);
      if (snd_card_get_name(card, &name) == 0 && name) {
        product = name;
        free(name);
      }
      list.devices.push_back({pcm, product, std::nullopt});
    }
    if (Opens("default", input, &list.defaultError)) {
      Entry def{"default", "Default sound device", std::nullopt};
      if (list.devices.empty()) list.devices.push_back(def);
      list.mapper = def;
    } else if (!list.devices.empty()) {
      list.mapper = list.devices.front();
    }
    return list;
  }

  Entry* EntryLocked(bool input, int32_t id) {
    List& list = ListLocked(input);
    if (id == WAVE_MAPPER) return list.mapper ? &*list.mapper : nullptr;
    if (id < 0 || size_t(id) >= list.devices.size()) return nullptr;
    return &list.devices[size_t(id)];
  }

  int ProbeCaps(const Entry& e, bool input, WaveCaps& c) {
    PcmPtr pcm;
    int err = OpenPcm(cfg_, e.pcm, input, pcm);
    if (err < 0) return err;
    snd_pcm_hw_params_t *any, *tmp;
    snd_pcm_hw_params_alloca(&any);
    snd_pcm_hw_params_alloca(&tmp);
    if ((err = snd_pcm_hw_params_any(pcm.get(), any)) < 0) return err;
    // The capabilities speak of mono and stereo. A converter (plug, a sound server) takes any
    // count up to 32 and mixes it to the device's own, which it does not tell: say what the
    // program can count on, not the converter's limit.
    unsigned maxChannels = 0;
    snd_pcm_hw_params_get_channels_max(any, &maxChannels);
    c.Channels = uint16_t(std::min(maxChannels, 2u));
    for (uint32_t rate : {11025u, 22050u, 44100u})
      for (uint16_t ch : {1, 2})
        for (uint16_t bits : {8, 16}) {
          WAVEFORMATEX f;
          f.wFormatTag = WAVE_FORMAT_PCM;
          f.nChannels = ch;
          f.nSamplesPerSec = rate;
          f.wBitsPerSample = bits;
          snd_pcm_hw_params_copy(tmp, any);
          if (ApplyFormat(pcm.get(), tmp, f, input) == 0) c.Formats |= StandardFormatBit(rate, ch, bits);
        }
    return 0;
  }

  // A failure's result; a sound server that could not be reached is told as that, and why.
  MMRESULT Failed(int err) {
    if (!ServerUnreachableError(err)) return FromErrno(err);
    std::lock_guard<std::mutex> l(m_);
    serverFailure_ = snd_strerror(err);
    return WAVERR_NOSERVER;
  }

  ConfigPtr cfg_;
  std::mutex m_;
  List in_, out_;
  std::string serverFailure_;
};

}  // namespace

std::shared_ptr<WaveBackend> MakeAlsaBackend(const std::string& configText) {
  ConfigPtr cfg;
  if (!configText.empty()) cfg = ParseConfig(configText);
  return std::make_shared<AlsaBackend>(cfg);
}

bool CheckAlsaConfigText(const std::string& configText) { return ParseConfig(configText) != nullptr; }

}  // namespace plat::wavecore
