#pragma once
// Shortening a text to a pixel width with a visible cut mark, as the
// owner-drawn URL cells and the copy window show long URLs and paths.
//
// The width of a text comes from a measuring function, so this code needs no
// font: the windows pass their font's metrics, tests a fixed width per byte.
// Texts are bytes; a "character" here is one byte.

#include <functional>
#include <string>
#include <string_view>

namespace qv {

// The width in pixels the text takes when drawn; never negative.
using TTextWidth = std::function<int(std::string_view)>;

// How many characters of the text fit the width, estimated from the whole
// text's width: its length when it fits, else width x length / text width.
// Never below 0 and never above the text's length; 0 for a width of 0 or less
// that the text does not fit.
int FitLength(const TTextWidth& measure, std::string_view text, int width);

// The cut modes of FitTextToWidth.
inline constexpr int kFitCutEnd = 1;     // "abcd>>"
inline constexpr int kFitCutStart = 2;   // "<<wxyz"
inline constexpr int kFitCutMiddle = 3;  // "ab>><<yz"

// The text fitted to the width (3 pixels of margin kept): a text that fits is
// returned unchanged; otherwise, by mode, its start, its end or both ends are
// kept with the cut mark (">>", "<<" or ">><<") in place of the rest. Where so
// little would stay that the mark says nothing (fewer than 4 characters in
// modes 1 and 2, 8 in mode 3), the text's first characters that fit are given
// without a mark. Any other mode gives the text unchanged. The result is
// never longer than the text.
std::string FitTextToWidth(const TTextWidth& measure, std::string_view text, int width, int mode);

// A path shortened to the width by putting "..." in place of its leading
// folders ("/home/u/.../site/Data.html"); when even the file name alone does
// not fit with it, the name cut in its middle. Both "/" and "\" separate.
std::string MinimizeName(const TTextWidth& measure, std::string_view path, int width);

}  // namespace qv
