#pragma once

#include <memory>
#include <string>
#include <string_view>

#include <sys/types.h>

#include "platform/bytestream.h"

namespace qv {

// Replaces the file's content as one step: the bytes go to a temporary file in
// the same folder (named "." + the name + a random tail), which is given
// `mode`, flushed to disk unless `sync` is off (a cache that may lose its last
// writes in a crash), and renamed over the name. A reader sees the old file or the new one whole;
// on any failure the old file is untouched, the temporary file is removed and the result is false.
// The folder must exist. A symbolic link at the name is replaced by the file, never written
// through.
bool WriteFileAtomic(const std::string& path, std::string_view content, mode_t mode,
                     bool sync = true);

// A file written as a stream and put in place as one step: the bytes go to a
// temporary file in the same folder (named as WriteFileAtomic names it),
// made at the first write; Commit gives it `mode`, flushes it to disk and
// renames it over the name. Until then the file at the name is untouched;
// an object that goes uncommitted removes its temporary file. Errors raise
// EByteStreamError. One thread uses it.
class TAtomicFileStream : public TByteStream {
 public:
  TAtomicFileStream(std::string path, mode_t mode);
  ~TAtomicFileStream() override;
  TAtomicFileStream(const TAtomicFileStream&) = delete;
  TAtomicFileStream& operator=(const TAtomicFileStream&) = delete;

  void Write(const char* data, size_t n) override;
  size_t Read(char* data, size_t n) override;
  int64_t Size() const override;
  int64_t Position() const override;
  void Seek(int64_t position) override;
  void SetSize(int64_t size) override;
  // Puts the bytes written (none: an empty file) in place of the file.
  void Commit();

 private:
  TFileByteStream& File();
  std::string FPath;
  std::string FTemp;
  mode_t FMode;
  std::unique_ptr<TFileByteStream> FFile;
};

// Creates the folder and every missing parent with `mode`; true when the
// folder exists afterwards.
bool MakeFolderChain(const std::string& folder, mode_t mode);

}  // namespace qv
