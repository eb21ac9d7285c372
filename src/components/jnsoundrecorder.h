#pragma once

// A recorder of the system's sound input: captures into a chain of memory
// buffers on a thread of its own and saves the recording as a RIFF "WAVE"
// file ("fmt ", "fact" and "data" chunks).
//
// Formats are looked up by name in the settings key of the system's wave
// formats ("Software\Microsoft\Multimedia\Audio\WaveFormats", a binary value
// holding a wave format record). There is no audio compression manager here,
// so only PCM can be recorded: any other stored format, and any record whose
// numbers do not agree, gives radio quality (PCM, mono, 22,050 samples a
// second, 8 bits).
//
// Threads: every operation is the owner's (one thread). The capture thread
// only fills buffers and appends them to Buffers under BuffersLock;
// GetWaveSize and Save read a snapshot taken under that lock, so both may be
// called while recording. Stop and Close end the capture thread and wait for
// it before anything is freed.

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "components/wavein.h"

namespace qv {

// A device that could not be opened for recording.
class EExternalException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One capture buffer and the bytes recorded into it.
struct TWaveHdr {
  std::vector<uint8_t> Data;
  size_t BytesRecorded = 0;
};
using TWaveHdrList = std::vector<std::shared_ptr<const TWaveHdr>>;

// Result codes besides the device's own.
enum : int32_t {
  kWaveNoError = 0,
  kWaveError = 1,           // a short write while saving; a failed rename
  kWaveInvalidHandle = 5,   // no device open
  kWaveNoMemory = 7,        // a buffer could not be allocated
  kWaveHandleBusy = 12,     // New while a device is open
  kWaveTooLarge = 13,       // the recording reached the largest a file holds
  kWaveCannotCreate = 272,  // Save could not create the file
};

class TJnSoundRecorder {
 public:
  using TDeviceOpener = std::function<std::unique_ptr<TWaveInDevice>()>;

  // Records from ALSA's "default" device.
  TJnSoundRecorder();
  // Records from the devices opener makes (one per New).
  explicit TJnSoundRecorder(TDeviceOpener opener);
  ~TJnSoundRecorder();
  TJnSoundRecorder(const TJnSoundRecorder&) = delete;
  TJnSoundRecorder& operator=(const TJnSoundRecorder&) = delete;

  // The format record: the 18-byte head, then ExtraSize bytes (none for PCM).
  std::vector<uint8_t> Format;
  // The largest format record: PCM's 18 bytes, there being no compression
  // manager to ask for more.
  uint32_t MaxFormatSize = 18;
  int32_t BufferSize = 0;
  // Always false: with no compression manager there is nothing to fail.
  bool AcmFailed = false;
  // The result of the last operation; the capture thread stores its failure
  // here too when the recording ends on its own.
  std::atomic<int32_t> LastResult{0};
  // The open device; null when closed.
  std::unique_ptr<TWaveInDevice> WaveIn;
  // The filled buffers in recording order; read or changed only under
  // BuffersLock. A buffer never changes once it is listed.
  TWaveHdrList Buffers;
  mutable std::mutex BuffersLock;
  // Most sample bytes a recording may hold: the RIFF sizes are 32-bit, so a
  // recording stops with kWaveTooLarge when it reaches this many.
  uint64_t DataLimit = kMaxDataSize;
  static constexpr uint64_t kMaxDataSize = 0xFFFFFFFFull - 64;

  static const char* const WaveFormatsKey;

  // Sets Format to radio quality: PCM, 1 channel, 22,050 samples and bytes a
  // second, 8 bits, block align 1, no extra bytes.
  void SetToRadioQuality();
  // Opens the device for the format stored under name (radio quality when
  // there is none or it is unusable). Raises EExternalException "Error
  // opening wave device for recording" when no device can be opened. With a
  // device already open, LastResult becomes 12 and nothing else happens.
  void New(const std::string& formatName);
  // Queues one empty buffer for the capture thread.
  int32_t AddBuffer();
  // Starts (or, after Stop, continues) recording; 5 when closed.
  int32_t Record();
  // Ends the recording; the buffer being filled is kept when it holds
  // anything. The capture thread's failure, if it ended on one; 5 when closed.
  int32_t Stop();
  // Stops, closes the device and frees every buffer; 5 when closed.
  int32_t Close();
  // The bytes recorded in Buffers.
  uint64_t GetWaveSize() const;
  // Writes the recorded bytes of each buffer of list to the file, in order,
  // stopping after the first short write; the bytes written.
  static uint64_t WriteData(int fd, const TWaveHdrList& list);
  // Writes the RIFF file of the recording so far: to a temporary name beside
  // it, then renamed over, so a failure leaves an existing file as it was.
  // 5 when closed, 272 when the file cannot be created, 1 when a write or the
  // rename fails.
  int32_t Save(const std::string& fileName);

  // The stored format record under name is usable: PCM, 1 to 8 channels,
  // 8/16/24/32 bits, block align and byte rate that agree, no extra bytes.
  static bool IsUsableFormat(const std::string& record);
  // The header fields of Format.
  TWaveFormat FormatFields() const;

 private:
  bool LoadWaveFormat(const std::string& name);
  void CaptureLoop();
  void EndCapture();
  int32_t SetResult(int32_t r) {
    LastResult.store(r);
    return r;
  }

  TDeviceOpener FOpener;
  std::thread FCapture;
  std::atomic<bool> FStopRequested{false};
  std::atomic<int32_t> FCaptureError{0};
  // Empty buffers waiting for the capture thread, and the byte count of
  // Buffers; both under BuffersLock.
  std::deque<std::shared_ptr<TWaveHdr>> FQueued;
  uint64_t FRecorded = 0;
};

}  // namespace qv
