#pragma once

#include <string>

class QFontMetrics;
class QPainter;

namespace qv {

// FitTextToWidth (model/textfit.h) measured with a font. Texts cross into Qt
// byte for byte, as every cell of the lists shows them.
std::string FitTextToWidth(const QFontMetrics& metrics, const std::string& text, int width,
                           int mode);

// Draws the text fitted to the width with the painter's font and pen, its
// top left corner at x, y; nothing is clipped beyond what the fitting does.
void TextOutFitted(QPainter& canvas, int x, int y, const std::string& text, int width, int mode);

}  // namespace qv
