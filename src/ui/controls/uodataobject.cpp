#include "ui/controls/uodataobject.h"

#include "model/dropbytes.h"
#include "ui/controls/uosource.h"

namespace qv {

namespace {

QByteArray Bytes(std::string_view s) {
  return QByteArray(s.data(), static_cast<qsizetype>(s.size()));
}

bool MediaMatch(uint32_t recordTymed, uint32_t requested) {
  return requested == TYMED_ALL || (recordTymed & requested) != 0;
}

}  // namespace

TTextDataObject::TTextDataObject(TUOTextSource* source) : Source(source) {
  if (source) Rendered.assign(static_cast<size_t>(source->CustomFormats.Count()), false);
}

bool TTextDataObject::QueryGetData(uint32_t format, int32_t lindex, uint32_t tymed) const {
  if (!Source || format == 0) return false;
  // Only bytes are served: a request that cannot take global memory is refused.
  if (!MediaMatch(TYMED_HGLOBAL, tymed)) return false;
  const TCustomFormatDataList& list = Source->CustomFormats;
  if (list.Empty()) return format == CF_TEXT;
  for (int i = 0; i < list.Count(); ++i) {
    const TCustomFormatData& r = list[i];
    if (ClipboardFormatFromName(r.FormatName) == format && (r.Tymed & TYMED_HGLOBAL) &&
        (lindex == -1 || lindex == r.LIndex))
      return true;
  }
  return false;
}

std::optional<std::string> TTextDataObject::GetData(uint32_t format, int32_t lindex,
                                                    uint32_t tymed) {
  return Serve(format, lindex, tymed);
}

std::optional<std::string> TTextDataObject::Serve(uint32_t format, int32_t lindex, uint32_t tymed) {
  if (!Source || format == 0) return std::nullopt;
  Source->ServedFormatIndex = -1;
  TCustomFormatDataList& list = Source->CustomFormats;
  int found = -1;
  for (int i = 0; i < list.Count() && found < 0; ++i) {
    const TCustomFormatData& r = list[i];
    if (ClipboardFormatFromName(r.FormatName) == format && MediaMatch(r.Tymed, tymed) &&
        (lindex == -1 || lindex == r.LIndex))
      found = i;
  }
  if (found < 0 && (!list.Empty() || format != CF_TEXT)) return std::nullopt;
  bool terminate = true;
  if (found >= 0) {
    Source->ServedFormatIndex = found;
    // Content held in another medium would be an object to hand out, not
    // bytes: such a record is never served.
    if (!(list[found].Tymed & TYMED_HGLOBAL) || !MediaMatch(TYMED_HGLOBAL, tymed))
      return std::nullopt;
    const size_t at = static_cast<size_t>(found);
    if (at >= Rendered.size()) Rendered.resize(at + 1, false);
    if (list[found].FormatContent.empty() && Source->OnRenderCustomFormat && !Rendered[at]) {
      Rendered[at] = true;
      std::string content;
      const std::string name = list[found].FormatName;
      Source->OnRenderCustomFormat(Source, name, content);
      // The handler may have changed the list or ended the source.
      if (!Source || found >= Source->CustomFormats.Count()) return std::nullopt;
      Source->CustomFormats[found].FormatContent = content;
    }
    Source->SetText(Source->CustomFormats[found].FormatContent);
    terminate = Source->CustomFormats[found].NullTerminated &&
                Source->CustomFormats[found].Tymed == TYMED_HGLOBAL;
  } else if (!MediaMatch(TYMED_HGLOBAL, tymed)) {
    return std::nullopt;
  }
  std::string block = Source->Text();
  if (terminate) block += '\0';
  RenderedAny_ = true;
  return block;
}

std::vector<TFormatEtc> TTextDataObject::EnumFormatEtc() const {
  if (!Source) return {};
  const TCustomFormatDataList& list = Source->CustomFormats;
  if (list.Empty()) return {{CF_TEXT, -1, TYMED_HGLOBAL}};
  std::vector<TFormatEtc> out;
  for (int i = 0; i < list.Count(); ++i)
    out.push_back({ClipboardFormatFromName(list[i].FormatName), list[i].LIndex, list[i].Tymed});
  return out;
}

std::optional<QByteArray> TTextDataObject::Convert(uint32_t format, const QString& mime) const {
  const auto key = std::make_pair(format, mime);
  if (auto it = Cache.find(key); it != Cache.end()) return it->second;
  std::optional<std::string> block =
      const_cast<TTextDataObject*>(this)->Serve(format, -1, TYMED_HGLOBAL);
  if (!block) return std::nullopt;
  const std::string_view text = CutAtZero(*block);
  QByteArray out;
  if (mime == QLatin1String("text/plain")) {
    out = Bytes(AsUtf8(text));
  } else if (mime == QLatin1String("text/uri-list")) {
    if (format == CF_HDROP) {
      // The record holds a drop-files block; a receiver here reads a URI list.
      const std::string list = URIListFromPaths(ReadDropFilesBlock(*block));
      if (list.empty()) return std::nullopt;
      out = Bytes(list);
    } else {
      out = Bytes(std::string(text) + "\r\n");
    }
  } else if (mime == QLatin1String("text/x-moz-url")) {
    out = Bytes(BuildMozURL(text, ""));
  } else if (mime == QLatin1String("text/html")) {
    out = Bytes(ParseHTMLFormat(text).HTML);
  } else if (mime == QLatin1String("text/rtf")) {
    out = Bytes(text);
  } else {
    out = Bytes(*block);
  }
  Cache.emplace(key, out);
  return out;
}

std::optional<QByteArray> TTextDataObject::DataForName(std::string_view name,
                                                       const QString& mime) const {
  const uint32_t format = ClipboardFormatFromName(name);
  if (!QueryGetData(format) || !MimeTypesOfFormat(name).contains(mime)) return std::nullopt;
  return Convert(format, mime);
}

QStringList TTextDataObject::formats() const {
  QStringList out;
  for (const auto& f : EnumFormatEtc()) {
    if (!(f.Tymed & TYMED_HGLOBAL)) continue;
    for (const QString& m : MimeTypesOfFormat(ClipboardFormatName(f.Format)))
      if (!out.contains(m)) out << m;
  }
  return out;
}

bool TTextDataObject::hasFormat(const QString& mime) const { return formats().contains(mime); }

QVariant TTextDataObject::retrieveData(const QString& mime, QMetaType) const {
  // The first offered format carried in this MIME type serves.
  for (const auto& f : EnumFormatEtc()) {
    if (!(f.Tymed & TYMED_HGLOBAL)) continue;
    const std::string name = ClipboardFormatName(f.Format);
    if (!MimeTypesOfFormat(name).contains(mime)) continue;
    if (auto bytes = Convert(f.Format, mime)) return *bytes;
    return {};
  }
  return {};
}

}  // namespace qv
