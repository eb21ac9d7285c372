// Length-prefixed records and whole-file input/output.
//
// The program's own files are sequences of three untagged records: a string
// (signed 32-bit little-endian byte count, then the bytes), a block (count, then
// bytes) and a byte. The reader must know the sequence.
//
// Every function here is stateless and may be called from any thread; callers
// working in the shared trees hold the file-system lock themselves.
//
// Errors: record and file failures raise EInOutError with the system's texts
// (kErrorReadingFile and friends; the whole-file reader and writer append
// ":-\n\n" and the file name). A file that cannot be opened or created raises
// EFOpenError, which is an EInOutError too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace qv {

inline constexpr char kErrorReadingFile[] = "Error reading file";
inline constexpr char kErrorWritingFile[] = "Error writing file";
inline constexpr char kErrorCopyingFile[] = "Error copying file";
inline constexpr char kFileFormatError[] = "File format error";

// The input/output exception: file and stream failures, shown to the user by
// the command handlers.
class EInOutError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A file that could not be opened or created.
class EFOpenError : public EInOutError {
 public:
  using EInOutError::EInOutError;
};

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

// A byte stream with a position. Read and Write return how many bytes they
// moved; fewer than asked means the end of the stream or a failure. Nothing
// here raises on a short transfer: the record functions decide.
class TStream {
 public:
  virtual ~TStream() = default;
  virtual std::size_t Read(void* buffer, std::size_t count) = 0;
  virtual std::size_t Write(const void* buffer, std::size_t count) = 0;
  // Gives the new position, or -1 when the stream cannot move there.
  virtual std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) = 0;
  virtual std::int64_t Size() = 0;

  std::int64_t Position() { return Seek(0, TSeekOrigin::soCurrent); }
  // Bytes between the position and the end; 0 when unknown or past the end.
  // Readers bound every count taken from the stream by this.
  std::int64_t Remaining();
};

// A stream over bytes held in memory. Writing past the end grows it.
class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::string bytes) : Bytes(std::move(bytes)) {}

  std::size_t Read(void* buffer, std::size_t count) override;
  std::size_t Write(const void* buffer, std::size_t count) override;
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
  std::int64_t Size() override { return static_cast<std::int64_t>(Bytes.size()); }

  const std::string& Data() const { return Bytes; }

 private:
  std::string Bytes;
  std::size_t Pos = 0;
};

// A buffered stream over a file. Writes are buffered, so a failing write may
// only show at Flush or Close: a writer must end with Close(), which raises
// "Error writing file" when any write, the flush or the close failed. The
// destructor closes without reporting (for paths that are already failing).
class TFileStream : public TStream {
 public:
  enum class TMode {
    fmOpenRead,       // existing file, reading
    fmOpenReadWrite,  // existing file, reading and writing
    fmCreate,         // create or truncate, reading and writing
  };
  // Raises EFOpenError when the file cannot be opened or created.
  TFileStream(const std::string& fileName, TMode mode);
  ~TFileStream() override;
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;

  std::size_t Read(void* buffer, std::size_t count) override;
  std::size_t Write(const void* buffer, std::size_t count) override;
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
  std::int64_t Size() override;

  // Writes out the buffer; raises "Error writing file" on any failure so far.
  void Flush();
  // Flushes and closes; raises "Error writing file" when anything written was
  // not stored. Safe to call twice.
  void Close();

 private:
  bool FlushBuffer();  // false on a failed or short write
  void DropReadAhead();

  int Fd = -1;
  std::string Name;
  std::string WriteBuf;      // bytes accepted but not yet written
  std::string ReadBuf;       // bytes read ahead of the position
  std::size_t ReadPos = 0;   // next byte of ReadBuf
  std::int64_t FilePos = 0;  // the descriptor's own offset
  bool Failed = false;       // a write was lost
  bool ReadOnly = false;
  std::int64_t KnownSize = 0;  // size of a file opened for reading
};

// Records. Writers raise "Error writing file" when the stream takes fewer
// bytes than given; readers raise "Error reading file" at a short read or a
// negative count, and never allocate more than the bytes left in the stream.
void WriteStreamString(TStream& stream, const std::string& text);
std::string ReadStreamString(TStream& stream);
void WriteStreamBlock(TStream& stream, const void* buffer, std::int32_t count);
// Reads a block into a buffer of `capacity` bytes: the first min(count,
// capacity) bytes are stored, any rest of the buffer is zeroed, and the stream
// moves past the whole block.
void ReadStreamBlock(TStream& stream, void* buffer, std::int32_t capacity);
// A byte write is checked like every write; a byte read is not: the next
// string or block record reports the end of the stream, and a byte read at
// the end gives 0.
void WriteStreamByte(TStream& stream, std::uint8_t value);
std::uint8_t ReadStreamByte(TStream& stream);
// Four bytes little-endian; checked like the string record.
void WriteStreamInt32(TStream& stream, std::int32_t value);
std::int32_t ReadStreamInt32(TStream& stream);
// Moves forward over `count` bytes of padding; "Error reading file" when the
// stream ends first.
void SkipStreamBytes(TStream& stream, std::int64_t count);
// Writes `count` zero bytes of padding.
void WriteStreamZeros(TStream& stream, std::size_t count);

// Whole files. File names may use "\" or "/" as separators.
// Every byte of the file, zero bytes included.
std::string ReadFileString(const std::string& fileName);
// ReadFileString reporting by result, for callers to whom a missing file is
// an answer rather than a fault (a cache look-up): false, and text
// unspecified, when the file cannot be read whole.
bool TryReadFileString(const std::string& fileName, std::string& text) noexcept;
// Creates the file's folders, then the file (replacing it), and stores text.
// An existing plain file of ours is replaced only once the new text is wholly
// stored, so a failed write leaves its old content.
void WriteFileString(const std::string& fileName, const std::string& text);
// Appends text, creating the file and its folders when missing.
void AppendFileString(const std::string& fileName, const std::string& text);
// AppendFileString reporting by result: false when anything failed.
bool TryAppendFileString(const std::string& fileName, const std::string& text) noexcept;
// Appends the whole source file to the target (created when missing); raises
// "Error copying file" when not every byte arrived.
void AppendFileToFile(const std::string& target, const std::string& source);

}  // namespace qv
