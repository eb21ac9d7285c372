#pragma once

// Capture devices the wave-audio recorder reads from: ALSA, or whatever a
// test puts in its place.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace qv {

// The recording format, as the 18-byte head of a Windows wave format record
// (all fields little-endian in the stored form).
struct TWaveFormat {
  uint16_t FormatTag = 0;  // 1 = PCM
  uint16_t Channels = 0;
  uint32_t SamplesPerSec = 0;
  uint32_t AvgBytesPerSec = 0;
  uint16_t BlockAlign = 0;
  uint16_t BitsPerSample = 0;
  uint16_t ExtraSize = 0;
};

// One capture stream. Open, Start, Stop and Close are called by the owner;
// Read only by the capture thread, between Start and Stop. Interrupt may come
// from any thread and makes a Read that waits return 0 at once (and every
// later one, until the next Start).
class TWaveInDevice {
 public:
  virtual ~TWaveInDevice() = default;
  // 0, or a result code when the device cannot record this format.
  virtual int32_t Open(const TWaveFormat& format) = 0;
  virtual int32_t Start() = 0;
  // Waits for samples and copies up to count bytes (whole blocks) into
  // buffer. The byte count; 0 when interrupted; a negative result code when
  // the device failed.
  virtual int64_t Read(uint8_t* buffer, size_t count) = 0;
  virtual void Interrupt() = 0;
  // Ends the capture; samples not read yet are dropped.
  virtual int32_t Stop() = 0;
  virtual void Close() = 0;
};

// The ALSA capture device of that name ("default", or "null" for a device
// that gives silence). A device that delivers faster than real time, as the
// null device does, is read no faster than the format's byte rate.
std::unique_ptr<TWaveInDevice> OpenAlsaWaveIn(const std::string& deviceName);

}  // namespace qv
