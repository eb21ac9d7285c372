#include "model/textfit.h"

#include <algorithm>
#include <cstdint>

namespace qv {

int FitLength(const TTextWidth& measure, std::string_view text, int width) {
  const std::int64_t length = static_cast<std::int64_t>(text.size());
  const std::int64_t textWidth = std::max(0, measure(text));
  if (textWidth <= width) return static_cast<int>(std::min<std::int64_t>(length, INT32_MAX));
  // Here textWidth > width; a width of 0 or less leaves no room at all, and
  // above it textWidth is positive, so the division is safe.
  if (width <= 0) return 0;
  const std::int64_t n = static_cast<std::int64_t>(width) * length / textWidth;
  return static_cast<int>(
      std::clamp<std::int64_t>(n, 0, std::min<std::int64_t>(length, INT32_MAX)));
}

std::string FitTextToWidth(const TTextWidth& measure, std::string_view text, int width, int mode) {
  if (mode < kFitCutEnd || mode > kFitCutMiddle) return std::string(text);
  // width - 3 without wrapping below the smallest int.
  const int room = width < INT32_MIN + 3 ? INT32_MIN : width - 3;
  const std::size_t n = static_cast<std::size_t>(FitLength(measure, text, room));
  const std::size_t length = text.size();
  if (n >= length) return std::string(text);
  const std::size_t kept = mode == kFitCutMiddle ? (n >= 8 ? n - 8 : 0) : (n >= 4 ? n - 4 : 0);
  const std::size_t minimum = mode == kFitCutMiddle ? 8 : 4;
  if (kept < minimum) return std::string(text.substr(0, n));
  switch (mode) {
    case kFitCutEnd:
      return std::string(text.substr(0, kept)) + ">>";
    case kFitCutStart:
      return "<<" + std::string(text.substr(length - kept));
    default: {
      // The removed run is (length - n) + 8 long, centred (halved toward zero).
      const std::size_t run = length - kept;
      const std::size_t start = kept / 2;
      return std::string(text.substr(0, start)) + ">><<" + std::string(text.substr(start + run));
    }
  }
}

std::string MinimizeName(const TTextWidth& measure, std::string_view path, int width) {
  auto fits = [&](std::string_view s) { return measure(s) <= width; };
  if (fits(path)) return std::string(path);
  const std::size_t last = path.find_last_of("/\\");
  if (last == std::string_view::npos)
    return FitTextToWidth(measure, path, width + 3, kFitCutMiddle);
  // The first component stays ("" for an absolute path, "C:" and the like);
  // folders after it give way one by one, nearest the root first.
  const std::size_t first = path.find_first_of("/\\");
  const std::string_view head = path.substr(0, first + 1);
  std::size_t from = first + 1;
  while (from <= last) {
    const std::size_t next = path.find_first_of("/\\", from);
    from = next + 1;
    const std::string candidate = std::string(head) + "..." + std::string(path.substr(next));
    if (fits(candidate)) return candidate;
  }
  const std::string name = "..." + std::string(path.substr(last));
  if (fits(name)) return name;
  return FitTextToWidth(measure, path.substr(last + 1), width + 3, kFitCutMiddle);
}

}  // namespace qv
