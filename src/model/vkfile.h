// Small file-system helpers. Stateless, callable from any thread; none takes
// a lock. File names may use "\" or "/" as separators: stored paths are built
// in their Windows form (see the local storage layout) and meet the file
// system here, where every "\" becomes "/".
#pragma once

#include <cstdint>
#include <string>

namespace qv {

// The name with every "\" turned into "/", as handed to the file system.
std::string NativePath(const std::string& fileName);

// Size in bytes of a plain file; 0 when it cannot be opened or is no file.
std::int64_t FileSizeOf(const std::string& fileName);
// A 64-bit size as stored in a record's signed 32-bit Size field: sizes that
// do not fit stay at the largest value instead of wrapping negative.
std::int32_t SaturateSize32(std::int64_t size);

// Creates the folder and every missing parent; true when it exists afterwards.
// Never raises. `created`, when given, tells whether this call made the
// folder itself (so it held nothing a moment ago).
bool ForceDirs(const std::string& folder, bool* created = nullptr);

// For a stored copy written whole into `folder` (a URL's folder of the mirror
// or the cache), on this thread: whether the folder can hold no other copy
// of `kind`, so that looking for copies to remove is needless. True when
// this write made the folder (madeNow), or when this thread's write just
// before it made the folder for a copy of another kind (a URL's body, then
// its headers). Otherwise false. Asked before the write; each call ends what
// the one before could tell.
bool NoOtherCopiesOfKind(const std::string& folder, const std::string& kind, bool madeNow);

// The path ending in a separator: "/" is appended unless the path already
// ends in "/" or "\"; "" gives "/".
std::string DirAppend(const std::string& path);

// True when the name can name a project file: absolute ("\" counts as "/"),
// with a file-name part after the last separator, and free of control bytes
// (below 0x20, and 0x7F). Every other byte the file system takes is accepted.
bool IsValidPath(const std::string& fileName);

// The command line that opens files with this extension (".html"): the Exec
// line of the desktop's default application for the extension's type (asked
// of xdg-mime, never through a shell), else "xdg-open"; "" for an empty
// extension.
std::string GetOpenCommand(const std::string& ext);

// Deletes every plain, non-hidden file of `folder` whose name matches `mask`.
// Masks match as file masks do on the old platform: "*" and "?" wildcards,
// letter case ignored, and a mask ending in ".*" also matches a name without
// any extension ("Data.*" matches "Data"). Files that cannot be deleted are
// skipped.
void DeleteFilesByMask(const std::string& mask, const std::string& folder);

// The name as stored on disk (its folder + "/" + its own name), absolute;
// "" when no such file or folder exists.
std::string TrueFileName(const std::string& fileName);

// The first free name in the file's folder, counting the base name up like an
// odometer ("AAAA", "AAAB", ...); the given name when it is free; the folder +
// "/" alone when none of the candidates is free. Tests each candidate by its
// full name, never against the current folder.
std::string UniqueFileName(const std::string& fileName);
// One step of that odometer (exposed for the download thread's numbering).
void OdometerStep(std::string& base);

}  // namespace qv
