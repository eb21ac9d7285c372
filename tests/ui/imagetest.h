#pragma once

// Picture files for the image panel and viewer tests.

#include <string>

#include <QBuffer>
#include <QColor>
#include <QImage>

namespace qv::test {

// The bytes of a w x h picture of one colour in the given format ("PNG",
// "GIF", "JPEG").
inline std::string PictureBytes(int w, int h, const QColor& colour, const char* format = "PNG") {
  QImage img(w, h, QImage::Format_RGB32);
  img.fill(colour);
  QByteArray bytes;
  QBuffer buf(&bytes);
  buf.open(QIODevice::WriteOnly);
  img.save(&buf, format);
  return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

}  // namespace qv::test
