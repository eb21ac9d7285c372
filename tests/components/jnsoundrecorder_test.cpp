#include "components/jnsoundrecorder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "components/simwavein.h"
#include "platform/store.h"
#include "support/envscope.h"
#include "support/filesizelimit.h"
#include "support/scratchdir.h"

namespace qv {
namespace {

std::string Le16(uint16_t v) { return {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)}; }
std::string Le32(uint32_t v) { return Le16(static_cast<uint16_t>(v)) + Le16(v >> 16); }

std::string FormatRecord(uint16_t tag, uint16_t channels, uint32_t rate, uint32_t avg,
                         uint16_t blockAlign, uint16_t bits, uint16_t extra = 0) {
  return Le16(tag) + Le16(channels) + Le32(rate) + Le32(avg) + Le16(blockAlign) + Le16(bits) +
         Le16(extra);
}

const std::string kRadio = FormatRecord(1, 1, 22050, 22050, 1, 8);

uint32_t U32At(const std::string& s, size_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(s[at + i]);
  return v;
}

class RecorderTest : public ::testing::Test {
 protected:
  RecorderTest() {
    Store = TValueFile(StoreFileForKey(TJnSoundRecorder::WaveFormatsKey));
    Store.Create();
  }
  // A recorder on a simulated device whose state the test holds.
  std::unique_ptr<TJnSoundRecorder> MakeRecorder() {
    auto state = Sim;
    return std::make_unique<TJnSoundRecorder>(
        [state] { return std::make_unique<test::TSimWaveIn>(state); });
  }
  // Records exactly n bytes of the device's pattern and stops.
  void RecordBytes(TJnSoundRecorder& r, uint64_t n) {
    Sim->Limit = n;
    ASSERT_EQ(r.Record(), 0);
    ASSERT_TRUE(Sim->WaitDelivered(n));
    ASSERT_EQ(r.Stop(), 0);
  }
  std::string Format(const TJnSoundRecorder& r) {
    return std::string(r.Format.begin(), r.Format.end());
  }

  test::TScratchHome Home;
  TValueFile Store{""};
  std::shared_ptr<test::TSimWaveState> Sim = std::make_shared<test::TSimWaveState>();
};

TEST_F(RecorderTest, OperationsBeforeNewGiveInvalidHandle) {
  auto r = MakeRecorder();
  const std::string file = Home.Dir / "never.wav";
  struct Case {
    const char* Name;
    std::function<int32_t()> Call;
  } cases[] = {
      {"Record", [&] { return r->Record(); }},
      {"Stop", [&] { return r->Stop(); }},
      {"Close", [&] { return r->Close(); }},
      {"Save", [&] { return r->Save(file); }},
  };
  for (const auto& c : cases) {
    r->LastResult = 99;
    EXPECT_EQ(c.Call(), kWaveInvalidHandle) << c.Name;
    EXPECT_EQ(r->LastResult.load(), kWaveInvalidHandle) << c.Name;
  }
  EXPECT_TRUE(Sim->Opened.empty());
  EXPECT_TRUE(test::ReadBytes(file).empty());
  EXPECT_FALSE(std::filesystem::exists(file));
}

TEST_F(RecorderTest, NewWhileOpenIsBusyAndKeepsTheDevice) {
  Store.WriteBinary("CD", FormatRecord(1, 2, 44100, 176400, 4, 16));
  auto r = MakeRecorder();
  r->New("CD");
  ASSERT_EQ(r->LastResult.load(), 0);
  r->New("missing");
  EXPECT_EQ(r->LastResult.load(), kWaveHandleBusy);
  EXPECT_EQ(Sim->Opened.size(), 1u);
  EXPECT_EQ(r->FormatFields().Channels, 2);
  EXPECT_EQ(r->Close(), 0);
}

// The stored record is untrusted: whatever it says, the recorder either takes
// a consistent PCM format or falls back to radio quality.
TEST_F(RecorderTest, StoredFormatsAreCheckedBeforeUse) {
  struct Case {
    const char* Name;
    std::string Record;
    bool Usable;
    int32_t BufferSize;
  } cases[] = {
      {"cd quality", FormatRecord(1, 2, 44100, 176400, 4, 16), true, 32000},
      {"24-bit mono, block align 3", FormatRecord(1, 1, 8000, 24000, 3, 24), true, 31998},
      {"old 16-byte record", FormatRecord(1, 1, 8000, 8000, 1, 8).substr(0, 16), true, 32000},
      {"missing name", "", false, 32000},
      {"extra size past the buffer", FormatRecord(1, 1, 8000, 8000, 1, 8, 0xFFFF), false, 32000},
      {"zero average bytes", FormatRecord(1, 1, 8000, 0, 1, 8), false, 32000},
      {"huge block align", FormatRecord(1, 1, 8000, 8000, 0xFFFF, 8), false, 32000},
      {"zero block align", FormatRecord(1, 1, 8000, 0, 0, 8), false, 32000},
      {"not PCM", FormatRecord(2, 1, 8000, 4096, 256, 4, 32), false, 32000},
      {"no channels", FormatRecord(1, 0, 8000, 0, 0, 8), false, 32000},
      {"nine channels", FormatRecord(1, 9, 8000, 72000, 9, 8), false, 32000},
      {"12 bits", FormatRecord(1, 1, 8000, 12000, 3, 12), false, 32000},
      {"zero rate", FormatRecord(1, 1, 0, 0, 1, 8), false, 32000},
      {"byte rate overflows", FormatRecord(1, 8, 0x40000000, 0, 32, 32), false, 32000},
      {"four bytes", "\x01\x00\x01\x00", false, 32000},
  };
  for (const auto& c : cases) {
    if (!c.Record.empty()) {
      ASSERT_TRUE(Store.WriteBinary("F", c.Record));
    }
    auto r = MakeRecorder();
    r->New(c.Record.empty() ? "absent" : "F");
    std::string expect = c.Usable ? c.Record : kRadio;
    expect.resize(18, '\0');
    EXPECT_EQ(Format(*r), expect) << c.Name;
    EXPECT_EQ(r->BufferSize, c.BufferSize) << c.Name;
    EXPECT_EQ(r->Close(), 0) << c.Name;
  }
}

// The device refusing the stored format gives radio quality, with the buffer
// size already worked out for the stored one.
TEST_F(RecorderTest, AFormatTheDeviceRefusesFallsBackToRadioQuality) {
  Store.WriteBinary("F", FormatRecord(1, 1, 8000, 24000, 3, 24));
  Sim->FailOpens = 1;
  auto r = MakeRecorder();
  r->New("F");
  EXPECT_EQ(Format(*r), kRadio);
  EXPECT_EQ(r->BufferSize, 31998);
  ASSERT_EQ(Sim->Opened.size(), 2u);
  EXPECT_EQ(Sim->Opened[1].BitsPerSample, 8);

  Sim->FailOpens = 2;
  auto r2 = MakeRecorder();
  try {
    r2->New("F");
    FAIL() << "no exception";
  } catch (const EExternalException& e) {
    EXPECT_STREQ(e.what(), "Error opening wave device for recording");
  }
  EXPECT_EQ(r2->WaveIn, nullptr);
  EXPECT_EQ(r2->Record(), kWaveInvalidHandle);
}

// The data chunk is the device's stream without gaps, across buffer
// boundaries and reads that do not line up with them; an odd length gets its
// pad byte, counted in the RIFF size.
TEST_F(RecorderTest, SavedFileHoldsTheWholeStreamWithGoldenHeader) {
  auto r = MakeRecorder();
  r->New("absent");
  RecordBytes(*r, 70001);
  EXPECT_EQ(r->GetWaveSize(), 70001u);
  std::filesystem::create_directories(Home.Dir / "out");
  const std::string file = Home.Dir / "out/rec.wav";
  ASSERT_EQ(r->Save(file), 0);
  const std::string bytes = test::ReadBytes(file);
  ASSERT_EQ(bytes.size(), 58u + 70001 + 1);
  EXPECT_EQ(bytes.substr(0, 58), test::ReadBytes(QV_TEST_DATA "/components/radio-70001-head.bin"));
  EXPECT_TRUE(bytes.substr(58, 70001) == test::Pattern(0, 70001));
  EXPECT_EQ(bytes.back(), '\0');
  EXPECT_EQ(U32At(bytes, 4) + 8, bytes.size());
  EXPECT_EQ(test::FolderNames(Home.Dir / "out"), std::set<std::string>{"rec.wav"});
}

// Recording goes on after Stop; the sample count is whole blocks; an empty
// recording has an empty data chunk.
TEST_F(RecorderTest, FactCountAndRecordingAgainAfterStop) {
  Store.WriteBinary("F", FormatRecord(1, 2, 8000, 32000, 4, 16));
  auto r = MakeRecorder();
  r->New("F");
  const std::string empty = Home.Dir / "empty.wav";
  ASSERT_EQ(r->Save(empty), 0);
  std::string bytes = test::ReadBytes(empty);
  ASSERT_EQ(bytes.size(), 58u);
  EXPECT_EQ(U32At(bytes, 4), 50u);
  EXPECT_EQ(U32At(bytes, 46), 0u);  // fact
  EXPECT_EQ(U32At(bytes, 54), 0u);  // data size

  RecordBytes(*r, 40000);
  RecordBytes(*r, 41000);  // the device's stream goes on where it stopped
  const std::string file = Home.Dir / "rec.wav";
  ASSERT_EQ(r->Save(file), 0);
  bytes = test::ReadBytes(file);
  ASSERT_EQ(bytes.size(), 58u + 41000);
  EXPECT_EQ(U32At(bytes, 46), 41000u / 4);
  EXPECT_EQ(U32At(bytes, 54), 41000u);
  EXPECT_TRUE(bytes.substr(58) == test::Pattern(0, 41000));
  EXPECT_EQ(Sim->Starts, 2);
}

// A failed write keeps the file that was there and leaves no temporary file.
TEST_F(RecorderTest, FullDiskKeepsTheOldFile) {
  auto r = MakeRecorder();
  r->New("absent");
  RecordBytes(*r, 40000);
  std::filesystem::create_directories(Home.Dir / "out");
  const std::string file = Home.Dir / "out/rec.wav";
  test::WriteBytes(file, "the old recording");
  {
    test::TFileSizeLimit limit(1000);
    EXPECT_EQ(r->Save(file), kWaveError);
  }
  EXPECT_EQ(r->LastResult.load(), kWaveError);
  EXPECT_EQ(test::ReadBytes(file), "the old recording");
  EXPECT_EQ(test::FolderNames(Home.Dir / "out"), std::set<std::string>{"rec.wav"});
  EXPECT_EQ(r->Save(Home.Dir / "no/such/folder.wav"), kWaveCannotCreate);
}

// A recording stops with an error where its file could not hold more; what
// was recorded up to there is kept whole.
TEST_F(RecorderTest, RecordingStopsAtTheSizeLimit) {
  auto r = MakeRecorder();
  r->New("absent");
  r->DataLimit = 50001;
  ASSERT_EQ(r->Record(), 0);
  ASSERT_TRUE(Sim->WaitDelivered(50001));
  for (int i = 0; i < 60000 && r->LastResult.load() != kWaveTooLarge; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_EQ(r->LastResult.load(), kWaveTooLarge);
  EXPECT_EQ(r->Stop(), kWaveTooLarge);
  EXPECT_EQ(r->GetWaveSize(), 50001u);
  const std::string file = Home.Dir / "rec.wav";
  ASSERT_EQ(r->Save(file), 0);
  EXPECT_EQ(test::ReadBytes(file).size(), 58u + 50001 + 1);
  EXPECT_EQ(Sim->Delivered, 50001u);
}

// Save and GetWaveSize while the capture thread appends, then Close while it
// still runs: a snapshot of whole buffers, and nothing freed under the thread
// (this test is meant for the ThreadSanitizer run).
TEST_F(RecorderTest, SaveAndCloseWhileRecording) {
  Sim->Piece = 4000;
  Sim->PauseEachRead = std::chrono::microseconds(200);
  auto r = MakeRecorder();
  r->New("absent");
  ASSERT_EQ(r->Record(), 0);
  ASSERT_TRUE(Sim->WaitDelivered(3 * 32000));
  EXPECT_EQ(r->Record(), 0);  // already recording: no second thread
  const std::string file = Home.Dir / "snap.wav";
  ASSERT_EQ(r->Save(file), 0);
  const std::string bytes = test::ReadBytes(file);
  ASSERT_GE(bytes.size(), 58u + 2 * 32000);
  const uint32_t data = U32At(bytes, 54);
  EXPECT_EQ(data % 32000, 0u);
  EXPECT_EQ(bytes.size(), 58u + data);
  EXPECT_TRUE(bytes.substr(58) == test::Pattern(0, data));
  EXPECT_GE(r->GetWaveSize(), data);
  EXPECT_EQ(r->Close(), 0);
  EXPECT_EQ(r->GetWaveSize(), 0u);
  EXPECT_TRUE(Sim->Closed);
  EXPECT_EQ(r->Save(file), kWaveInvalidHandle);
}

TEST_F(RecorderTest, DestroyingWhileRecordingEndsTheCapture) {
  auto r = MakeRecorder();
  r->New("absent");
  ASSERT_EQ(r->Record(), 0);
  ASSERT_TRUE(Sim->WaitDelivered(1000));
  r.reset();
  EXPECT_TRUE(Sim->Closed);
}

// The ALSA "null" device: silence at the format's rate.
TEST(RecorderAlsa, NullDeviceRecordsWholeBuffers) {
  test::TScratchHome home;
  TJnSoundRecorder r([] { return OpenAlsaWaveIn("null"); });
  try {
    r.New("absent");
  } catch (const EExternalException&) {
    GTEST_SKIP() << "no ALSA null device here";
  }
  ASSERT_EQ(r.Record(), 0);
  for (int i = 0; i < 30000 && r.GetWaveSize() < 32000; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_EQ(r.Stop(), 0);
  EXPECT_GE(r.GetWaveSize(), 32000u);
  const std::string file = home.Dir / "null.wav";
  ASSERT_EQ(r.Save(file), 0);
  const std::string bytes = test::ReadBytes(file);
  EXPECT_EQ(U32At(bytes, 54), r.GetWaveSize());
  EXPECT_EQ(r.Close(), 0);
}

}  // namespace
}  // namespace qv
