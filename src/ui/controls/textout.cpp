#include "ui/controls/textout.h"

#include <QFontMetrics>
#include <QPainter>

#include "model/textfit.h"
#include "ui/controls/qtext.h"

namespace qv {

std::string FitTextToWidth(const QFontMetrics& metrics, const std::string& text, int width,
                           int mode) {
  const TTextWidth measure = [&metrics](std::string_view s) {
    return metrics.horizontalAdvance(ToQ(std::string(s)));
  };
  return FitTextToWidth(measure, text, width, mode);
}

void TextOutFitted(QPainter& canvas, int x, int y, const std::string& text, int width, int mode) {
  const QFontMetrics metrics = canvas.fontMetrics();
  canvas.drawText(x, y + metrics.ascent(), ToQ(FitTextToWidth(metrics, text, width, mode)));
}

}  // namespace qv
