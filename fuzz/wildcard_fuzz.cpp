// The wildcard matchers: answers agree with the plain recursive rules wherever
// those finish quickly, and every input is answered in bounded time (libFuzzer's
// -timeout catches a matcher that backtracks without end).
// Layout: a flags byte, a byte giving the text's share, then text and pattern.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "../tests/support/wildcard_reference.h"
#include "model/strutils.h"

namespace {
void Check(bool ok) {
  if (!ok) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!data || size < 2) return 0;
  const uint8_t flags = data[0];
  const std::string_view rest(reinterpret_cast<const char*>(data + 2), size - 2);
  const std::size_t split = rest.empty() ? 0 : data[1] % (rest.size() + 1);
  const std::string_view text = rest.substr(0, split), pattern = rest.substr(split);
  const bool prefix = flags & 1, caseSensitive = flags & 2;
  const std::string_view ignored = (flags & 4) ? " -" : "";

  const bool card = qv::StrWildCard(text, pattern, ignored, prefix, caseSensitive);
  const bool cmpi = qv::StrWildCmpi(text, pattern, ignored, prefix);

  // The recursive oracle is exponential in the stars: ask it only for small inputs.
  std::size_t stars = 0;
  for (char c : pattern) stars += c == '*';
  if (text.size() <= 40 && stars <= 5) {
    Check(card == qv::testref::RefWildCard(text, pattern, ignored, prefix, caseSensitive));
    Check(cmpi == qv::testref::RefWildCmpi(text, pattern, ignored, prefix));
  }
  return 0;
}
