#include "components/jnsoundrecorder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

#include "platform/store.h"

namespace qv {

namespace {

// Empty buffers kept ready for the capture thread, so that it never waits
// for memory between two buffers.
constexpr size_t kRingBuffers = 4;
constexpr size_t kFormatHead = 18;

uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Get32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
void Put16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
void Append32(std::string& s, uint32_t v) {
  for (int i = 0; i < 4; ++i) s += static_cast<char>(static_cast<uint8_t>(v >> (8 * i)));
}

// Writes all of data; false on any failure (a full disk shows as EFBIG or
// ENOSPC, or as a write of fewer bytes).
bool WriteAll(int fd, const uint8_t* data, size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

const char* const TJnSoundRecorder::WaveFormatsKey =
    "Software\\Microsoft\\Multimedia\\Audio\\WaveFormats";

TJnSoundRecorder::TJnSoundRecorder() : TJnSoundRecorder([] { return OpenAlsaWaveIn("default"); }) {}

TJnSoundRecorder::TJnSoundRecorder(TDeviceOpener opener) : FOpener(std::move(opener)) {
  Format.assign(MaxFormatSize, 0);
}

TJnSoundRecorder::~TJnSoundRecorder() {
  if (WaveIn) Close();
}

void TJnSoundRecorder::SetToRadioQuality() {
  std::fill(Format.begin(), Format.end(), 0);
  uint8_t* p = Format.data();
  Put16(p, 1);
  Put16(p + 2, 1);
  Put32(p + 4, 22050);
  Put32(p + 8, 22050);
  Put16(p + 12, 1);
  Put16(p + 14, 8);
  Put16(p + 16, 0);
}

TWaveFormat TJnSoundRecorder::FormatFields() const {
  const uint8_t* p = Format.data();
  TWaveFormat f;
  f.FormatTag = Get16(p);
  f.Channels = Get16(p + 2);
  f.SamplesPerSec = Get32(p + 4);
  f.AvgBytesPerSec = Get32(p + 8);
  f.BlockAlign = Get16(p + 12);
  f.BitsPerSample = Get16(p + 14);
  f.ExtraSize = Get16(p + 16);
  return f;
}

bool TJnSoundRecorder::IsUsableFormat(const std::string& record) {
  // A record of 16 bytes is the older PCM form without the extra-size field.
  if (record.size() < 16) return false;
  const auto* p = reinterpret_cast<const uint8_t*>(record.data());
  const uint16_t tag = Get16(p), channels = Get16(p + 2), blockAlign = Get16(p + 12),
                 bits = Get16(p + 14);
  const uint32_t rate = Get32(p + 4), avg = Get32(p + 8);
  if (tag != 1) return false;
  if (channels < 1 || channels > 8) return false;
  if (bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
  if (blockAlign != channels * bits / 8) return false;
  if (rate == 0 || static_cast<uint64_t>(rate) * blockAlign != avg) return false;
  if (record.size() >= kFormatHead && Get16(p + 16) != 0) return false;
  return true;
}

bool TJnSoundRecorder::LoadWaveFormat(const std::string& name) {
  const std::string file = StoreFileForKey(WaveFormatsKey);
  if (file.empty()) return false;
  std::optional<std::string> value = TValueFile(file).ReadBinary(name);
  if (!value || !IsUsableFormat(*value)) return false;
  std::fill(Format.begin(), Format.end(), 0);
  std::memcpy(Format.data(), value->data(), std::min<size_t>(value->size(), MaxFormatSize));
  return true;
}

void TJnSoundRecorder::New(const std::string& formatName) {
  if (WaveIn) {
    SetResult(kWaveHandleBusy);
    return;
  }
  SetResult(kWaveNoError);
  try {
    if (!LoadWaveFormat(formatName)) SetToRadioQuality();
    if (FormatFields().BlockAlign == 0) SetToRadioQuality();
    const int32_t blockAlign = FormatFields().BlockAlign;
    BufferSize = 32000 - 32000 % blockAlign;
    std::unique_ptr<TWaveInDevice> device = FOpener ? FOpener() : nullptr;
    if (!device) throw EExternalException("Error opening wave device for recording");
    if (device->Open(FormatFields()) != 0) {
      SetToRadioQuality();
      if (device->Open(FormatFields()) != 0)
        throw EExternalException("Error opening wave device for recording");
    }
    WaveIn = std::move(device);
  } catch (...) {
    WaveIn.reset();
    throw;
  }
}

int32_t TJnSoundRecorder::AddBuffer() {
  if (!WaveIn) return SetResult(kWaveInvalidHandle);
  try {
    auto hdr = std::make_shared<TWaveHdr>();
    hdr->Data.resize(static_cast<size_t>(BufferSize));
    std::lock_guard<std::mutex> l(BuffersLock);
    FQueued.push_back(std::move(hdr));
  } catch (const std::bad_alloc&) {
    return SetResult(kWaveNoMemory);
  }
  return SetResult(kWaveNoError);
}

int32_t TJnSoundRecorder::Record() {
  if (!WaveIn) return SetResult(kWaveInvalidHandle);
  if (FCapture.joinable()) {
    if (!FStopRequested.load() && FCaptureError.load() == 0) return SetResult(kWaveNoError);
    EndCapture();  // it ended on its own after a failure
  }
  for (;;) {
    {
      std::lock_guard<std::mutex> l(BuffersLock);
      if (FQueued.size() >= kRingBuffers) break;
    }
    if (int32_t r = AddBuffer(); r != 0) return r;
  }
  if (int32_t r = WaveIn->Start(); r != 0) return SetResult(r);
  FStopRequested.store(false);
  FCaptureError.store(0);
  // Before the thread starts: a failure it meets at once must not be
  // overwritten by this success.
  SetResult(kWaveNoError);
  FCapture = std::thread([this] { CaptureLoop(); });
  return kWaveNoError;
}

void TJnSoundRecorder::CaptureLoop() {
  const size_t blockAlign = FormatFields().BlockAlign;
  std::shared_ptr<TWaveHdr> cur;
  int32_t error = 0;
  while (!FStopRequested.load()) {
    if (!cur) {
      std::lock_guard<std::mutex> l(BuffersLock);
      if (!FQueued.empty()) {
        cur = std::move(FQueued.front());
        FQueued.pop_front();
      }
    }
    if (!cur) {
      try {
        cur = std::make_shared<TWaveHdr>();
        cur->Data.resize(static_cast<size_t>(BufferSize));
      } catch (const std::bad_alloc&) {
        error = kWaveNoMemory;
        break;
      }
    }
    // FRecorded changes only on this thread while it runs.
    const uint64_t used = FRecorded + cur->BytesRecorded;
    const uint64_t left = used < DataLimit ? DataLimit - used : 0;
    if (left < blockAlign) {
      error = kWaveTooLarge;
      break;
    }
    size_t room = cur->Data.size() - cur->BytesRecorded;
    if (room > left) room = static_cast<size_t>(left - left % blockAlign);
    const int64_t n = WaveIn->Read(cur->Data.data() + cur->BytesRecorded, room);
    if (n < 0) {
      error = static_cast<int32_t>(-n);
      break;
    }
    cur->BytesRecorded += static_cast<size_t>(std::min<int64_t>(n, static_cast<int64_t>(room)));
    if (cur->BytesRecorded == cur->Data.size()) {
      std::lock_guard<std::mutex> l(BuffersLock);
      FRecorded += cur->BytesRecorded;
      Buffers.push_back(std::move(cur));
      cur.reset();
    }
  }
  // The buffer being filled comes back with what it holds.
  if (cur && cur->BytesRecorded > 0) {
    std::lock_guard<std::mutex> l(BuffersLock);
    FRecorded += cur->BytesRecorded;
    Buffers.push_back(std::move(cur));
  }
  if (error != 0) {
    FCaptureError.store(error);
    LastResult.store(error);
  }
}

void TJnSoundRecorder::EndCapture() {
  if (!FCapture.joinable()) return;
  FStopRequested.store(true);
  WaveIn->Interrupt();
  FCapture.join();
}

int32_t TJnSoundRecorder::Stop() {
  if (!WaveIn) return SetResult(kWaveInvalidHandle);
  EndCapture();
  const int32_t r = WaveIn->Stop();
  {
    std::lock_guard<std::mutex> l(BuffersLock);
    FQueued.clear();
  }
  const int32_t error = FCaptureError.exchange(0);
  return SetResult(error != 0 ? error : r);
}

int32_t TJnSoundRecorder::Close() {
  if (!WaveIn) return SetResult(kWaveInvalidHandle);
  Stop();
  WaveIn->Close();
  WaveIn.reset();
  {
    std::lock_guard<std::mutex> l(BuffersLock);
    Buffers.clear();
    FQueued.clear();
    FRecorded = 0;
  }
  return SetResult(kWaveNoError);
}

uint64_t TJnSoundRecorder::GetWaveSize() const {
  std::lock_guard<std::mutex> l(BuffersLock);
  return FRecorded;
}

uint64_t TJnSoundRecorder::WriteData(int fd, const TWaveHdrList& list) {
  uint64_t written = 0;
  for (const auto& hdr : list) {
    if (!WriteAll(fd, hdr->Data.data(), hdr->BytesRecorded)) break;
    written += hdr->BytesRecorded;
  }
  return written;
}

int32_t TJnSoundRecorder::Save(const std::string& fileName) {
  if (!WaveIn) return SetResult(kWaveInvalidHandle);
  TWaveHdrList snapshot;
  uint64_t total;
  {
    std::lock_guard<std::mutex> l(BuffersLock);
    snapshot = Buffers;
    total = FRecorded;
  }
  const TWaveFormat f = FormatFields();
  const uint32_t fmtSize = kFormatHead + f.ExtraSize;
  const uint32_t pad = static_cast<uint32_t>(total & 1);
  // "WAVE", the three chunk heads, the format record, the count, the samples
  // and the pad byte that keeps the next chunk on an even offset.
  const uint64_t riffSize = 4 + (8 + fmtSize) + (8 + 4) + 8 + total + pad;
  if (riffSize > 0xFFFFFFFFull) return SetResult(kWaveError);

  std::string head = "RIFF";
  Append32(head, static_cast<uint32_t>(riffSize));
  head += "WAVEfmt ";
  Append32(head, fmtSize);
  head.append(reinterpret_cast<const char*>(Format.data()),
              std::min<size_t>(fmtSize, Format.size()));
  head.append(fmtSize - std::min<size_t>(fmtSize, Format.size()), '\0');
  head += "fact";
  Append32(head, 4);
  Append32(head, static_cast<uint32_t>(f.BlockAlign ? total / f.BlockAlign : 0));
  head += "data";
  Append32(head, static_cast<uint32_t>(total));

  const std::string folder = FolderOf(fileName);
  const size_t slash = fileName.rfind('/');
  std::string temp = folder + "/." +
                     (slash == std::string::npos ? fileName : fileName.substr(slash + 1)) +
                     ".XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) return SetResult(kWaveCannotCreate);
  bool ok = WriteAll(fd, reinterpret_cast<const uint8_t*>(head.data()), head.size()) &&
            WriteData(fd, snapshot) == total;
  if (ok && pad) {
    const uint8_t zero = 0;
    ok = WriteAll(fd, &zero, 1);
  }
  // A new file gets the usual mode; a replaced one keeps its own.
  struct stat st;
  const mode_t mode = ::stat(fileName.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644;
  ok = ok && ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  if (ok && ::rename(temp.c_str(), fileName.c_str()) == 0) return SetResult(kWaveNoError);
  ::unlink(temp.c_str());
  return SetResult(kWaveError);
}

}  // namespace qv
