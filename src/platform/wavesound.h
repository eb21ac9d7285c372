#pragma once
// The drop sound: a small PCM WAVE file read with bounds and played through
// ALSA on a thread of its own, so the user-interface thread never waits for
// the sound card. A missing or unreadable file, or no sound device, is
// silent.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

namespace qv {

struct TWaveData {
  uint16_t Channels = 0;
  uint32_t SampleRate = 0;
  uint16_t BitsPerSample = 0;  // 8 (unsigned) or 16 (signed little-endian)
  std::string Samples;         // interleaved frames, whole frames only
};

// Sound files larger than this are not read.
inline constexpr std::size_t kWaveFileLimit = std::size_t{4} << 20;

// A RIFF "WAVE" block with an uncompressed "fmt " chunk (1 or 2 channels,
// 8 or 16 bits, 1 to 192000 frames a second) and a "data" chunk. Chunk sizes
// are checked against the bytes left; a data chunk that runs past the end is
// cut to what is there. Nothing for anything else.
std::optional<TWaveData> ParseWave(std::string_view bytes);
// The file read (at most kWaveFileLimit bytes) and parsed.
std::optional<TWaveData> ReadWaveFile(const std::string& path);

// Plays one sound to its end (blocking).
class TSoundPlayer {
 public:
  virtual ~TSoundPlayer() = default;
  virtual void Play(const TWaveData& wave) = 0;
};
// The ALSA "default" device; a device that cannot be opened plays nothing.
std::unique_ptr<TSoundPlayer> MakeAlsaPlayer();

// One sound, loaded once, played off the caller's thread. A Play while the
// sound still plays is dropped. Thread-safe; the destructor waits for a
// sound that plays.
class TWaveSound {
 public:
  // An empty path or a file that is no sound gives a silent object.
  TWaveSound(const std::string& path, std::unique_ptr<TSoundPlayer> player);
  ~TWaveSound();
  TWaveSound(const TWaveSound&) = delete;
  TWaveSound& operator=(const TWaveSound&) = delete;

  bool Loaded() const { return Wave.has_value(); }
  void Play();

 private:
  std::optional<TWaveData> Wave;
  std::unique_ptr<TSoundPlayer> Player;
  std::mutex Lock;
  std::thread Worker;
  std::atomic<bool> Playing{false};
};

}  // namespace qv
