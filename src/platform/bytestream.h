#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

namespace qv {

// A seekable byte sink/source that connections read into and write from.
// Errors (disk full, limit reached) raise EByteStreamError.
class EByteStreamError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TByteStream {
 public:
  virtual ~TByteStream() = default;
  // Writes n bytes at the position and moves it on; grows the stream.
  virtual void Write(const char* data, size_t n) = 0;
  // Reads up to n bytes from the position; returns how many (0 at the end).
  virtual size_t Read(char* data, size_t n) = 0;
  virtual int64_t Size() const = 0;
  virtual int64_t Position() const = 0;
  virtual void Seek(int64_t position) = 0;
  // Cuts or extends the stream to size bytes; the position is kept when it
  // still lies inside, else moved to the new end.
  virtual void SetSize(int64_t size) = 0;
};

// The stream kept in memory. Limit (bytes, 0 = none) bounds what a peer can
// make it hold; a write past it raises.
class TStringByteStream : public TByteStream {
 public:
  explicit TStringByteStream(size_t limit = 0) : FLimit(limit) {}
  void Write(const char* data, size_t n) override;
  size_t Read(char* data, size_t n) override;
  int64_t Size() const override { return static_cast<int64_t>(FData.size()); }
  int64_t Position() const override { return static_cast<int64_t>(FPos); }
  void Seek(int64_t position) override;
  void SetSize(int64_t size) override;

  const std::string& DataString() const { return FData; }
  std::string TakeString();

 private:
  std::string FData;
  size_t FPos = 0;
  size_t FLimit;
};

// A file opened with a POSIX descriptor; the destructor closes it.
class TFileByteStream : public TByteStream {
 public:
  enum TMode { fmCreate, fmOpenReadWrite, fmOpenRead };
  // fmCreate creates or empties the file; the others need it to exist.
  // Raises EByteStreamError with the system's reason when it cannot open.
  // Limit (bytes, 0 = none) bounds what a peer can make the file hold; a
  // write past it raises.
  TFileByteStream(const std::string& fileName, TMode mode, int64_t limit = 0);
  ~TFileByteStream() override;
  TFileByteStream(const TFileByteStream&) = delete;
  TFileByteStream& operator=(const TFileByteStream&) = delete;

  void Write(const char* data, size_t n) override;
  size_t Read(char* data, size_t n) override;
  int64_t Size() const override;
  int64_t Position() const override { return FPos; }
  void Seek(int64_t position) override;
  void SetSize(int64_t size) override;
  // Closes the file; raises EByteStreamError when the system reports an
  // error at the close (a write that a network file system deferred and
  // then failed), so the file cannot pass as written whole. The destructor
  // closes quietly: a caller that cares closes first.
  void Close();

 private:
  int FFd = -1;
  int64_t FPos = 0;
  int64_t FLimit = 0;
  std::string FName;
};

// A file made (created or emptied) only when the first byte is written to it
// or Close is called: until then nothing on disk is touched, so a transfer
// that fails before its first byte leaves no file, and with makeFolders no
// folder either (the missing ones are made with the file). Limit and errors
// as for TFileByteStream.
class TFileOnFirstWrite : public TByteStream {
 public:
  explicit TFileOnFirstWrite(std::string fileName, bool makeFolders = false, int64_t limit = 0);

  void Write(const char* data, size_t n) override;
  size_t Read(char* data, size_t n) override;
  int64_t Size() const override { return FFile ? FFile->Size() : 0; }
  int64_t Position() const override { return FFile ? FFile->Position() : 0; }
  // Moving to, or cutting to, the start of a file not made yet makes none.
  void Seek(int64_t position) override;
  void SetSize(int64_t size) override;
  // Makes the file when no byte came (an empty file is a file too), then
  // closes it as TFileByteStream::Close does.
  void Close();
  // Whether the file has been made.
  bool Made() const { return FFile != nullptr; }

 private:
  TFileByteStream& File();
  std::string FName;
  bool FMakeFolders;
  int64_t FLimit;
  std::unique_ptr<TFileByteStream> FFile;
};

}  // namespace qv
