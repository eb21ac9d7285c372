#pragma once

// Finds the references of a style sheet, and rewrites them in a stored style
// sheet so the local mirror browses without a network.
//
// A reference is a url() wherever a value holds one (after a colon, with or
// without a blank, or in a list of values) and the address of an @import
// rule, written as a url() or as a string. A url() value may be quoted with
// double or single quotes. Comments are passed over.

#include <atomic>
#include <cstddef>
#include <string>
#include <vector>

#include "engine/htmlparser.h"

namespace qv {

// One reference found in a style sheet's text: its bytes, trimmed; whether
// its closing quote or ")" was found on its line (a value without one must
// never be rewritten: it would run into the rules after it); whether it is an
// @import rule's address.
struct TCSSReference {
  const char* Start = nullptr;
  std::size_t Length = 0;
  bool Closed = false;
  bool Import = false;
};
// The next non-empty reference of the text from p, which ends at its zero
// byte; false when there is none.
bool FindCSSReference(const char* p, TCSSReference& out);

// The next non-empty url() value from the cursor, trimmed, with the cursor
// moved onto the value's first byte; "" (cursor unchanged) when there is none.
// The scan stops at the text's terminating zero.
std::string NextCSSURL(const char*& cursor);
// The same, telling an @import rule's address (a style sheet of its own,
// to be read in turn) from the other references.
std::string NextCSSURL(const char*& cursor, bool& import);

// The in-memory half of LocaliseCSSFile; every change made is appended to
// edits when given.
void LocaliseCSSText(std::string& text, const std::string& pageURL, const std::string& webDir,
                     const std::atomic<bool>& abort, const TProcessMessages& processMessages = {},
                     std::vector<TTextEdit>* edits = nullptr, TStoredBodies* bodies = nullptr);

// Rewrites every url() of the stored copy of the style sheet at pageURL under
// webDir to its local form (a relative path to a stored body, else an
// absolute URL) and writes it back when anything changed, also after an
// abort. A zero byte in the sheet ends no scan. A value without its
// closing quote or ")", or one running over a line break, is never rewritten.
// A failed write raises the input/output exception and leaves the stored
// copy as it was. Nothing happens when there is no stored copy or it is empty.
void LocaliseCSSFile(const std::string& pageURL, const std::string& webDir,
                     const std::atomic<bool>& abort, const TProcessMessages& processMessages = {},
                     TStoredBodies* bodies = nullptr);

}  // namespace qv
