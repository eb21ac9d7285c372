#include "platform/wavesound.h"

#include <condition_variable>
#include <mutex>
#include <thread>

#include <gtest/gtest.h>

#include "support/fakesound.h"
#include "support/scratchdir.h"

namespace qv {
namespace {

std::string Le32(uint32_t v) {
  return {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
          static_cast<char>(v >> 24)};
}
std::string Le16(uint16_t v) { return {static_cast<char>(v), static_cast<char>(v >> 8)}; }

std::string Fmt(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits) {
  return "fmt " + Le32(16) + Le16(tag) + Le16(channels) + Le32(rate) +
         Le32(rate * channels * bits / 8) + Le16(static_cast<uint16_t>(channels * bits / 8)) +
         Le16(bits);
}

std::string Riff(const std::string& chunks) {
  return "RIFF" + Le32(4 + chunks.size()) + "WAVE" + chunks;
}

TEST(ParseWave, ReadsPcmWithinItsBounds) {
  const std::string pcm = Fmt(1, 1, 8000, 8);
  struct {
    const char* Name;
    std::string Bytes;
    bool Ok;
    std::size_t Samples;
  } cases[] = {
      {"mono 8-bit", Riff(pcm + "data" + Le32(4) + "abcd"), true, 4},
      {"odd chunk padded before data",
       Riff("LIST" + Le32(3) + "xyz" + std::string(1, '\0') + pcm + "data" + Le32(2) + "ab"), true,
       2},
      {"data longer than the file is cut", Riff(pcm + "data" + Le32(1000) + "abc"), true, 3},
      {"stereo 16-bit keeps whole frames", Riff(Fmt(1, 2, 44100, 16) + "data" + Le32(6) + "abcdef"),
       true, 4},
      {"compressed", Riff(Fmt(2, 1, 8000, 8) + "data" + Le32(2) + "ab"), false, 0},
      {"24-bit", Riff(Fmt(1, 1, 8000, 24) + "data" + Le32(3) + "abc"), false, 0},
      {"data before fmt", Riff("data" + Le32(2) + "ab" + pcm), false, 0},
      {"chunk size past the end", Riff("JUNK" + Le32(0xFFFFFFF0u) + pcm), false, 0},
      {"not RIFF", "RIFX" + Le32(4) + "WAVE", false, 0},
      {"empty", "", false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const auto w = ParseWave(c.Bytes);
    ASSERT_EQ(w.has_value(), c.Ok);
    if (w) {
      EXPECT_EQ(w->Samples.size(), c.Samples);
    }
  }
}

using test::TFakePlayer;
using test::TPlayLog;

TEST(WaveSound, PlaysOffTheCallersThreadAndAMissingFileIsSilent) {
  test::TScratchDir dir;
  TPlayLog log;
  TPlayLog* fake = &log;
  auto player = std::make_unique<TFakePlayer>(log);
  {
    TWaveSound missing(dir / "Drop.wav", std::make_unique<TFakePlayer>(log));
    EXPECT_FALSE(missing.Loaded());
    missing.Play();
  }
  const std::string file =
      dir.Write("Drop.wav", Riff(Fmt(1, 1, 8000, 8) + "data" + Le32(4) + "abcd"));
  {
    TWaveSound sound(file, std::move(player));
    ASSERT_TRUE(sound.Loaded());
    sound.Play();
    std::unique_lock<std::mutex> hold(fake->Lock);
    fake->Done.wait(hold, [&] { return fake->Plays > 0; });
    EXPECT_NE(fake->On, std::this_thread::get_id());
    hold.unlock();
  }  // the destructor waits for the sound
  EXPECT_EQ(fake->Plays, 1);
}

}  // namespace
}  // namespace qv
