#pragma once

#include <set>
#include <string>

namespace qv {

// The address an answer for `fetched` sends the fetch on to: its Location,
// else its Content-Location, resolved against `fetched`. "" when the answer
// names neither, or names `fetched` itself or an address already met in this
// item (a server that repeats a page's own Content-Location on every answer,
// or two pages naming each other). `seen` holds the addresses met; the
// caller puts the first one in, the result is added.
std::string NextHopURL(const std::string& fetched, const std::string& location,
                       const std::string& contentLocation, std::set<std::string>& seen);

}  // namespace qv
