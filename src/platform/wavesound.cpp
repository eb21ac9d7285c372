#include "platform/wavesound.h"

#include <algorithm>
#include <fstream>
#include <vector>

#include <alsa/asoundlib.h>

namespace qv {

namespace {

uint32_t Le32(std::string_view b, std::size_t at) {
  return static_cast<uint32_t>(static_cast<unsigned char>(b[at])) |
         static_cast<uint32_t>(static_cast<unsigned char>(b[at + 1])) << 8 |
         static_cast<uint32_t>(static_cast<unsigned char>(b[at + 2])) << 16 |
         static_cast<uint32_t>(static_cast<unsigned char>(b[at + 3])) << 24;
}

uint16_t Le16(std::string_view b, std::size_t at) {
  return static_cast<uint16_t>(static_cast<unsigned char>(b[at]) |
                               static_cast<unsigned char>(b[at + 1]) << 8);
}

// ALSA reports a missing card on stderr; a missing device is to be silent.
void QuietAlsa(const char*, int, const char*, int, const char*, ...) {}

class TAlsaPlayer : public TSoundPlayer {
 public:
  TAlsaPlayer() { snd_lib_error_set_handler(QuietAlsa); }

  void Play(const TWaveData& wave) override {
    snd_pcm_t* pcm = nullptr;
    if (snd_pcm_open(&pcm, "default", SND_PCM_STREAM_PLAYBACK, 0) < 0) return;
    const snd_pcm_format_t format =
        wave.BitsPerSample == 8 ? SND_PCM_FORMAT_U8 : SND_PCM_FORMAT_S16_LE;
    if (snd_pcm_set_params(pcm, format, SND_PCM_ACCESS_RW_INTERLEAVED, wave.Channels,
                           wave.SampleRate, 1, 200000) == 0) {
      const std::size_t frameBytes = std::size_t{wave.Channels} * (wave.BitsPerSample / 8);
      const char* p = wave.Samples.data();
      snd_pcm_uframes_t left = wave.Samples.size() / frameBytes;
      while (left > 0) {
        snd_pcm_sframes_t n = snd_pcm_writei(pcm, p, left);
        if (n < 0) n = snd_pcm_recover(pcm, static_cast<int>(n), 1);
        if (n < 0) break;
        p += static_cast<std::size_t>(n) * frameBytes;
        left -= static_cast<snd_pcm_uframes_t>(n);
      }
      snd_pcm_drain(pcm);
    }
    snd_pcm_close(pcm);
  }
};

}  // namespace

std::optional<TWaveData> ParseWave(std::string_view b) {
  if (b.size() < 12 || b.substr(0, 4) != "RIFF" || b.substr(8, 4) != "WAVE") return std::nullopt;
  TWaveData wave;
  bool haveFormat = false;
  std::size_t at = 12;
  while (b.size() - at >= 8) {
    const std::string_view id = b.substr(at, 4);
    const std::size_t size = Le32(b, at + 4);
    const std::size_t body = at + 8;
    const std::size_t left = b.size() - body;
    if (id == "fmt ") {
      if (size < 16 || size > left) return std::nullopt;
      if (Le16(b, body) != 1) return std::nullopt;  // PCM only
      wave.Channels = Le16(b, body + 2);
      wave.SampleRate = Le32(b, body + 4);
      wave.BitsPerSample = Le16(b, body + 14);
      if (wave.Channels < 1 || wave.Channels > 2 || wave.SampleRate < 1 ||
          wave.SampleRate > 192000 || (wave.BitsPerSample != 8 && wave.BitsPerSample != 16))
        return std::nullopt;
      haveFormat = true;
    } else if (id == "data") {
      if (!haveFormat) return std::nullopt;
      const std::size_t frame = std::size_t{wave.Channels} * (wave.BitsPerSample / 8);
      std::size_t n = std::min(size, left);
      n -= n % frame;
      if (n == 0) return std::nullopt;
      wave.Samples = std::string(b.substr(body, n));
      return wave;
    }
    if (size > left) return std::nullopt;
    at = body + size + (size & 1);  // chunks are padded to even sizes
    if (at > b.size()) return std::nullopt;
  }
  return std::nullopt;
}

std::optional<TWaveData> ReadWaveFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string bytes(kWaveFileLimit + 1, '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  const auto got = static_cast<std::size_t>(in.gcount());
  if (got > kWaveFileLimit) return std::nullopt;
  bytes.resize(got);
  return ParseWave(bytes);
}

std::unique_ptr<TSoundPlayer> MakeAlsaPlayer() { return std::make_unique<TAlsaPlayer>(); }

TWaveSound::TWaveSound(const std::string& path, std::unique_ptr<TSoundPlayer> player)
    : Player(std::move(player)) {
  if (!path.empty() && Player) Wave = ReadWaveFile(path);
}

TWaveSound::~TWaveSound() {
  std::lock_guard<std::mutex> hold(Lock);
  if (Worker.joinable()) Worker.join();
}

void TWaveSound::Play() {
  if (!Wave) return;
  std::lock_guard<std::mutex> hold(Lock);
  if (Playing.load(std::memory_order_acquire)) return;
  if (Worker.joinable()) Worker.join();
  Playing.store(true, std::memory_order_release);
  Worker = std::thread([this] {
    try {
      Player->Play(*Wave);
    } catch (...) {
      // A sound that cannot play is silent.
    }
    Playing.store(false, std::memory_order_release);
  });
}

}  // namespace qv
