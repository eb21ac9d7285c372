#include "model/mimefilter.h"

#include <algorithm>

#include "model/strutils.h"
#include "model/textlines.h"
#include "platform/asciicase.h"

namespace qv {

namespace {

constexpr int kFilterPadding = 989;

const std::pair<const char*, const char*> kDescriptions[] = {
    {"plain", "Plain text (*.txt)"},
    {"html", "Hypertext documents (*.htm, *.html)"},
    {"richtext", "Richtext (*.rtf)"},
    {"css", "Cascading Stylesheets (*.css)"},
    {"dsssl", "DSSSL-online stylesheets"},
    {"gif", "GIF (*.gif)"},
    {"x-xbitmap", "X-Windows bitmap b/w (*.xbm)"},
    {"x-xpixmap", "X-Windows pixelmap 8-bit color (*.xpm)"},
    {"x-png", "Portable Network Graphics (*.png)"},
    {"jpeg", "JPEG (*.jpeg, *.jpg, *.jpe)"},
    {"rgb", "RGB (*.rgb)"},
    {"tiff", "TIFF (*.tiff, *.tif)"},
    {"g3fax", "Group III Fax (*.g3f)"},
    {"x-eps", "Encapusulated PostScript (*.eps, *.epsi *.epsf)"},
    {"x-pict", "Macintosh PICT format (*.pict)"},
    {"x-portable-pixmap", "UNIX PPM package (*.ppm)"},
    {"x-portable-graymap", "UNIX PPM package (*.pgm)"},
    {"x-portable-bitmap", "UNIX PPM package (*.pbm)"},
    {"x-portable-anymap", "UNIX PPM package (*.pnm)"},
    {"x-ms-bmp", "Microsoft Windows bitmap (*.bmp)"},
    {"x-photo-cd", "Kodak Photo-CD (*.pcd)"},
    {"basic", "Basic audio - 8-bit u-law PCM (*.au, *.snd)"},
    {"x-aiff", "Macintosh audio format (*.aif, *.aiff, *.aifc)"},
    {"x-wav", "Microsoft audio (*.wav)"},
    {"x-mpeg", "MPEG audio (*.mpa, *.mp2, *,mp3)"},
    {"x-mpeg2", "MPEG-2 audio (*.mp2a, *.mpa2)"},
    {"midi", "MIDI music data (*.mid, *.midi)"},
    {"x-mod", "MOD music data (*.mod)"},
    {"mpeg", "MPEG video (*.mpeg, *.mpg, *.mpe)"},
    {"mpeg2", "MPEG-2 video (*.mpv2, *.mp2v)"},
    {"quicktime", "Macintosh Quicktime (*.qt *.mov)"},
    {"x-msvideo", "Microsoft video (*.avi)"},
    {"postscript", "PostScript (*.eps, *.ps)"},
    {"rtf", "Microsoft Rich Text Format (*.rtf)"},
    {"pdf", "Adobe Acrobat PDF(*.pdf)"},
    {"x-gtar", "Gnu tar format (*.gtar)"},
    {"x-tar", "4.3 BSD tar format (*.tar)"},
    {"zip", "DOS/PC - Pkzipped archive (*.zip)"},
    {"mac-binhex40", "Macintosh Binhexed archive (*.hqx)"},
    {"x-stuffit", "Macintosh Stuffit Archive (*.sit, *.sea)"},
    {"x-lha", "Amiga lha Archive (*.lha)"},
    {"x-lzx", "Amiga lzx Archive (*.lzx)"},
    {"octet-stream", "Binary, UUencoded, PC executable (*.bin, *.uu, *.exe)"},
    {"x-javascript", "Javascript program (*.js, *.mocha)"},
    {"x-perl", "Perl program (*.pl)"},
    {"*", "All sub types from this catagory"},
};

std::string ContentTypeKey(const std::string& contentType) {
  return LowerCaseAscii(TrimBlanks(CutAtDelimiter(contentType, ";")));
}

}  // namespace

const std::vector<TMimeTypeList>& CommonMimeLists() {
  static const std::vector<TMimeTypeList> lists = {
      {"ImageList",
       "Image:-",
       "image/",
       {"*", "g3fax", "gif", "jpeg", "rgb", "tiff", "x-eps", "x-ms-bmp", "x-pict", "x-png",
        "x-portable-anymap", "x-portable-bitmap", "x-portable-graymap", "x-portable-pixmap",
        "x-xbitmap", "x-xpixmap"}},
      {"AppList",
       "Application:-",
       "application/",
       {"*", "dsssl", "mac-binhex40", "octet-stream", "postscript", "pdf", "rtf", "x-gtar", "x-tar",
        "x-stuffit", "x-lha", "x-lzx", "x-javascript", "x-perl", "zip"}},
      {"TextList", "Text:-", "text/", {"*", "css", "html", "plain", "richtext"}},
      {"VideoList", "Video:-", "video/", {"*", "mpeg", "mpeg2", "quicktime", "x-msvideo"}},
      {"SoundList",
       "Sound:-",
       "audio/",
       {"*", "basic", "midi", "x-aiff", "x-mod", "x-mpeg", "x-mpeg2", "x-wav"}},
  };
  return lists;
}

std::string MimeDescription(const std::string& item) {
  for (const auto& [key, text] : kDescriptions)
    if (item == key) return text;
  return "";
}

bool AddPattern(std::vector<std::string>& patterns, const std::string& pattern) {
  auto at = std::lower_bound(
      patterns.begin(), patterns.end(), pattern,
      [](const std::string& a, const std::string& b) { return CompareIC(a, b) < 0; });
  if (at != patterns.end() && CompareIC(*at, pattern) == 0) return false;
  patterns.insert(at, pattern);
  return true;
}

bool TMimeFilter::Match(const std::string& contentType) const {
  if (AllChk) return true;
  if (Patterns.empty()) return true;
  if (UnknownChk && contentType.empty()) return true;
  const std::string key = ContentTypeKey(contentType);
  return std::any_of(Patterns.begin(), Patterns.end(),
                     [&](const std::string& p) { return StrWildCard(key, p); });
}

std::string TMimeFilter::ResponseFilter() const {
  std::string joined;
  for (const auto& p : Patterns) {
    if (!joined.empty()) joined += ',';
    joined += p;
  }
  return joined;
}

void SaveFilter(TStream& stream, const TMimeFilter& filter) {
  WriteStreamString(stream, LinesToText(filter.OtherList));
  WriteStreamString(stream, LinesToText(filter.Patterns));
  WriteStreamByte(stream, filter.SelOnlyChk ? 1 : 0);
  WriteStreamByte(stream, filter.UnknownChk ? 1 : 0);
  WriteStreamByte(stream, filter.AllChk ? 1 : 0);
  WriteStreamZeros(stream, kFilterPadding);
}

void LoadFilter(TStream& stream, TMimeFilter& filter) {
  TMimeFilter f;
  f.OtherList = TextToLines(ReadStreamString(stream));
  for (const auto& p : TextToLines(ReadStreamString(stream))) AddPattern(f.Patterns, p);
  // Set in the stored order, so of the radio group the last stored "on" wins.
  const bool sel = ReadStreamByte(stream) != 0;
  const bool unknown = ReadStreamByte(stream) != 0;
  const bool all = ReadStreamByte(stream) != 0;
  f.SelOnlyChk = sel && !unknown && !all;
  f.UnknownChk = unknown && !all;
  f.AllChk = all;
  SkipStreamBytes(stream, kFilterPadding);
  filter = std::move(f);
}

TPublished<TMimeFilter>& GlobalMimeFilter() {
  static TPublished<TMimeFilter> g;
  return g;
}

}  // namespace qv
