#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qv {

// The type a stored value was written with. Types are kept apart: a value
// asked for as another type is not there.
enum class TStoreType : uint8_t { String, Integer, Boolean, Binary };

// A typed value file: the settings of one key, one value a line.
//
//   # comment
//   string Email=joe@example.com
//   integer DailyTime=480
//   boolean UseModem=true
//   binary SchedualTypes=0a000000ff
//
// Names and string values escape "\\", control bytes and (names only) "="
// as \\, \n, \r, \t or \xHH; other bytes, 0x80 and above included, are kept
// as they are. A line that does not read as a value is damaged: it reads as
// missing and is kept, byte for byte, when the file is rewritten.
//
// The file exists or not as a whole ("the key"): nothing here but Create()
// makes it, so writes to a missing file are lost and reads find nothing.
// Every write rewrites the file atomically (temporary file in the same folder,
// flushed, renamed over), mode 0600, since passwords are kept in it. A file
// that cannot be read (too large, no permission) reads as empty and is never
// rewritten. Calls are serialised inside the process; no state is kept
// between calls but the path.
class TValueFile {
 public:
  explicit TValueFile(std::string path) : Path_(std::move(path)) {}

  const std::string& Path() const { return Path_; }

  // The key exists: the path names a regular file.
  bool Exists() const;

  // Makes the file (and its folders, mode 0700) when it is missing, with no
  // values; true when it exists afterwards. Only the program's start-up
  // calls this.
  bool Create() const;

  // Missing file, missing name, a value of another type, or a damaged line
  // all give nullopt.
  std::optional<std::string> ReadString(std::string_view name) const;
  std::optional<int32_t> ReadInteger(std::string_view name) const;
  std::optional<bool> ReadBool(std::string_view name) const;
  std::optional<std::string> ReadBinary(std::string_view name) const;

  // True when the value was stored; false when the file is missing or
  // cannot be rewritten (the old file is then unchanged).
  bool WriteString(std::string_view name, std::string_view value) const;
  bool WriteInteger(std::string_view name, int32_t value) const;
  bool WriteBool(std::string_view name, bool value) const;
  bool WriteBinary(std::string_view name, std::string_view bytes) const;

  // Largest file read; a larger one reads as damaged.
  static constexpr size_t MaxFileSize = 64u << 20;

 private:
  bool Write(std::string_view name, TStoreType type, std::string_view encoded) const;
  std::optional<std::string> Read(std::string_view name, TStoreType type) const;

  std::string Path_;
};

// The file of a settings key path given in the registry's form
// ("Software\Maker\Program\1.0"): ConfigHome() + "/Maker/Program/1.0". A
// leading "Software" part is dropped; empty parts are skipped. A key with a
// part "." or "..", a "/" or a zero byte, or with no part left, gives "".
std::string StoreFileForKey(std::string_view keyPath);

}  // namespace qv
