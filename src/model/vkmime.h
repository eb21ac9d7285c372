#pragma once

#include <string>
#include <string_view>

namespace qv {

// One row of the content-type table: a lower-case content type and one file
// extension with its ".". Rows of one type stand together; the last row of a
// type is its default extension.
struct TMimePair {
  const char* MimeType;
  const char* Ext;
};

// The fixed table, ended by a row of two empty strings. Stored body names
// depend on it, so it never changes. Style sheets are stored as ".css": a
// browser reading the mirror from file:// takes a file's type from its
// extension and applies no style sheet under any other. (Mirrors written with
// the earlier ".ccs" still work: the stored body is looked up as "Data.*".)
extern const TMimePair MimeTable[];
extern const int MimeTableCount;  // rows before the empty end row

// The extension to store a body of `contentType` under, given the extension
// `currentExt` of the URL's own path ("" when it has none). Parameters after
// ";" and surrounding blanks of the type are ignored, letter case is ignored.
// An extension listed for the type is kept as given; any other gives the
// type's default; an unknown or empty type gives "". Under
// "application/octet-stream" a non-empty current extension is kept whatever it
// is. Pure; any thread.
std::string ExtForMimeType(std::string_view contentType, std::string_view currentExt);

}  // namespace qv
