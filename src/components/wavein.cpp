#include "components/wavein.h"

#include <alsa/asoundlib.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace qv {

namespace {

// Result codes of the recorder's platform: error, no driver, bad format.
constexpr int32_t kError = 1;
constexpr int32_t kNoDriver = 6;
constexpr int32_t kBadFormat = 32;

bool AlsaFormat(const TWaveFormat& f, snd_pcm_format_t& out) {
  switch (f.BitsPerSample) {
    case 8:
      out = SND_PCM_FORMAT_U8;
      return true;
    case 16:
      out = SND_PCM_FORMAT_S16_LE;
      return true;
    case 24:
      out = SND_PCM_FORMAT_S24_3LE;
      return true;  // packed, as wave files hold it
    case 32:
      out = SND_PCM_FORMAT_S32_LE;
      return true;
    default:
      return false;
  }
}

class TAlsaWaveIn : public TWaveInDevice {
 public:
  explicit TAlsaWaveIn(std::string name) : FName(std::move(name)) {}
  ~TAlsaWaveIn() override { Close(); }

  int32_t Open(const TWaveFormat& f) override {
    Close();
    snd_pcm_format_t fmt;
    if (f.FormatTag != 1 || f.BlockAlign == 0 || f.SamplesPerSec == 0 || !AlsaFormat(f, fmt))
      return kBadFormat;
    if (snd_pcm_open(&FPcm, FName.c_str(), SND_PCM_STREAM_CAPTURE, SND_PCM_NONBLOCK) < 0) {
      FPcm = nullptr;
      return kNoDriver;
    }
    // Half a second of latency: the device's own ring holds what arrives
    // while the capture thread hands a full buffer over.
    if (snd_pcm_set_params(FPcm, fmt, SND_PCM_ACCESS_RW_INTERLEAVED, f.Channels, f.SamplesPerSec, 1,
                           500000) < 0) {
      Close();
      return kBadFormat;
    }
    FFormat = f;
    return 0;
  }

  int32_t Start() override {
    if (!FPcm) return kError;
    {
      std::lock_guard<std::mutex> l(FWake);
      FInterrupted = false;
    }
    FStarted = std::chrono::steady_clock::now();
    FFrames = 0;
    if (snd_pcm_prepare(FPcm) < 0) return kError;
    int r = snd_pcm_start(FPcm);
    return r < 0 && r != -EBADFD ? kError : 0;
  }

  int64_t Read(uint8_t* buffer, size_t count) override {
    const size_t frames = count / FFormat.BlockAlign;
    if (!FPcm || frames == 0) return 0;
    for (;;) {
      if (Interrupted()) return 0;
      snd_pcm_sframes_t n = snd_pcm_readi(FPcm, buffer, frames);
      if (n == -EAGAIN) {
        snd_pcm_wait(FPcm, 50);
        continue;
      }
      if (n == -EPIPE || n == -ESTRPIPE) {
        // An overrun: the device ring filled while nobody read. Start over.
        if (snd_pcm_recover(FPcm, static_cast<int>(n), 1) < 0) return -kError;
        snd_pcm_start(FPcm);
        continue;
      }
      if (n < 0) return -kError;
      FFrames += static_cast<uint64_t>(n);
      if (!Pace()) return 0;
      return static_cast<int64_t>(n) * FFormat.BlockAlign;
    }
  }

  void Interrupt() override {
    std::lock_guard<std::mutex> l(FWake);
    FInterrupted = true;
    FWakeCv.notify_all();
  }

  int32_t Stop() override {
    if (!FPcm) return kError;
    return snd_pcm_drop(FPcm) < 0 ? kError : 0;
  }

  void Close() override {
    if (FPcm) snd_pcm_close(FPcm);
    FPcm = nullptr;
  }

 private:
  bool Interrupted() {
    std::lock_guard<std::mutex> l(FWake);
    return FInterrupted;
  }
  // Waits until the frames read so far are due by the clock. A real device
  // is never ahead, so this only slows a device that does not keep time.
  // False when interrupted meanwhile.
  bool Pace() {
    const auto due =
        FStarted + std::chrono::microseconds(FFrames * 1000000 / FFormat.SamplesPerSec);
    std::unique_lock<std::mutex> l(FWake);
    FWakeCv.wait_until(l, due, [&] { return FInterrupted; });
    return !FInterrupted;
  }

  std::string FName;
  snd_pcm_t* FPcm = nullptr;
  TWaveFormat FFormat;
  std::chrono::steady_clock::time_point FStarted;
  uint64_t FFrames = 0;
  std::mutex FWake;
  std::condition_variable FWakeCv;
  bool FInterrupted = false;
};

}  // namespace

std::unique_ptr<TWaveInDevice> OpenAlsaWaveIn(const std::string& deviceName) {
  return std::make_unique<TAlsaWaveIn>(deviceName);
}

}  // namespace qv
