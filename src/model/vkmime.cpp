#include "model/vkmime.h"

#include "platform/asciicase.h"

namespace qv {

const TMimePair MimeTable[] = {
    {"text/plain", ".txt"},
    {"text/html", ".shtml"},
    {"text/html", ".htm"},
    {"text/html", ".html"},
    {"text/richtext", ".rtf"},
    {"image/gif", ".gif"},
    {"image/jpeg", ".jpe"},
    {"image/jpeg", ".jpeg"},
    {"image/jpeg", ".jpg"},
    {"image/rgb", ".rgb"},
    {"image/x-eps", ".epsf"},
    {"image/x-eps", ".epsi"},
    {"image/x-eps", ".eps"},
    {"image/x-xbitmap", ".xbm"},
    {"image/x-xpixmap", ".xpm"},
    {"image/x-png", ".png"},
    {"image/tiff", ".tiff"},
    {"image/tiff", ".tif"},
    {"image/g3fax", ".g3f"},
    {"image/x-pict", ".pict"},
    {"image/x-portable-pixmap", ".ppm"},
    {"image/x-portable-graymap", ".pgm"},
    {"image/x-portable-bitmap", ".pbm"},
    {"image/x-portable-anymap", ".pnm"},
    {"image/x-ms-bmp", ".bmp"},
    {"image/x-photo-cd", ".pcd"},
    {"audio/basic", ".au"},
    {"audio/basic", ".snd"},
    {"audio/x-aiff", ".aif"},
    {"audio/x-aiff", ".aiff"},
    {"audio/x-aiff", ".aifc"},
    {"audio/x-wav", ".wav"},
    {"audio/x-mpeg", ".mpa"},
    {"audio/x-mpeg", ".mp2"},
    {"audio/x-mpeg", ".mp3"},
    {"audio/x-mpeg2", ".mp2a"},
    {"audio/x-mpeg2", ".mpa2"},
    {"audio/midi", ".mid"},
    {"audio/midi", ".midi"},
    {"audio/x-mod", ".mod"},
    {"video/mpeg", ".mpe"},
    {"video/mpeg", ".mpeg"},
    {"video/mpeg", ".mpg"},
    {"video/mpeg2", ".mp2v"},
    {"video/mpeg2", ".mpv2"},
    {"video/quicktime", ".qt"},
    {"video/quicktime", ".mov"},
    {"video/x-msvideo", ".avi"},
    {"application/postscript", ".ps"},
    {"application/postscript", ".eps"},
    {"application/rtf", ".rtf"},
    {"application/pdf", ".pdf"},
    {"application/x-gtar", ".gtar"},
    {"application/x-tar", ".tar"},
    {"application/zip", ".zip"},
    {"application/mac-binhex40", ".hqz"},
    {"application/x-stuffit", ".sit"},
    {"application/x-stuffit", ".sea"},
    {"application/x-lha", ".lha"},
    {"application/x-lzx", ".lzx"},
    {"application/octet-stream", ".bin"},
    {"application/octet-stream", ".uu"},
    {"application/octet-stream", ".exe"},
    {"application/x-javascript", ".js"},
    {"application/x-javascript", ".mocha"},
    {"application/x-perl", ".pl"},
    {"text/css", ".css"},
    {"", ""},
};

const int MimeTableCount = static_cast<int>(sizeof(MimeTable) / sizeof(MimeTable[0])) - 1;

namespace {

// Blanks here are every byte up to the space, as the old trim took them.
std::string_view TrimBlanks(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  return s.substr(b, e - b);
}

}  // namespace

std::string ExtForMimeType(std::string_view contentType, std::string_view currentExt) {
  std::string_view type = contentType.substr(0, contentType.find(';'));
  type = TrimBlanks(type);

  if (!currentExt.empty() && EqualsIC(type, "application/octet-stream"))
    return std::string(currentExt);

  for (int i = 0; MimeTable[i].MimeType[0] != '\0'; ++i) {
    if (!EqualsIC(type, MimeTable[i].MimeType)) continue;
    if (EqualsIC(currentExt, MimeTable[i].Ext)) return std::string(currentExt);
    // The end row's empty type never equals a real one, so the last row of a
    // type always answers with its default.
    if (!EqualsIC(MimeTable[i + 1].MimeType, MimeTable[i].MimeType)) return MimeTable[i].Ext;
  }
  return "";
}

}  // namespace qv
