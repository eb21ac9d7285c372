#include "ui/controls/uoformats.h"

#include <mutex>

#include <QMimeData>

#include "model/dropbytes.h"
#include "platform/asciicase.h"
#include "ui/controls/uodataobject.h"

namespace qv {

namespace {

const char kURIList[] = "text/uri-list";
const char kMozURL[] = "text/x-moz-url";
const char kWindowsMimePrefix[] = "application/x-qt-windows-mime;value=\"";

std::string_view View(const QByteArray& b) {
  return std::string_view(b.constData(), static_cast<size_t>(b.size()));
}

// Registered names, numbered from 0xC000 in the order first seen. The set's
// own names are registered at start, in this order.
class TFormatRegistry {
 public:
  static TFormatRegistry& Get() {
    static TFormatRegistry r;
    return r;
  }
  uint32_t Register(std::string_view name) {
    std::lock_guard<std::mutex> lock(Mutex);
    for (size_t i = 0; i < Names.size(); ++i)
      if (EqualsIC(Names[i], name)) return kFirst + static_cast<uint32_t>(i);
    Names.emplace_back(name);
    return kFirst + static_cast<uint32_t>(Names.size() - 1);
  }
  std::string Name(uint32_t format) {
    std::lock_guard<std::mutex> lock(Mutex);
    if (format < kFirst || format - kFirst >= Names.size()) return {};
    return Names[format - kFirst].substr(0, 255);
  }

 private:
  static constexpr uint32_t kFirst = 0xC000;
  TFormatRegistry() {
    for (const char* n :
         {"Netscape Image Format", "HTML Format", "Rich Text Format", "UniformResourceLocator",
          "Netscape Bookmark", "FileGroupDescriptor", "FileContents"})
      Names.emplace_back(n);
  }
  std::mutex Mutex;
  std::vector<std::string> Names;
};

bool LooksLikeMimeType(std::string_view name) {
  const size_t slash = name.find('/');
  return slash != std::string_view::npos && slash > 0 && slash + 1 < name.size() &&
         name.find_first_of(" \t\"") == std::string_view::npos;
}

QString WindowsMime(std::string_view name) {
  return QString::fromLatin1(kWindowsMimePrefix) +
         QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())) + '"';
}

bool IsTextPlain(const QString& mime) {
  return mime == QLatin1String("text/plain") || mime.startsWith(QLatin1String("text/plain;"));
}

// A URI list from another program: does it hold file URIs, other URIs?
void ClassifyURIList(const QMimeData* data, bool* files, bool* others) {
  *files = *others = false;
  if (!data->hasFormat(kURIList)) return;
  for (const auto& uri : URIListEntries(View(data->data(kURIList)))) {
    if (IsFileURI(uri))
      *files = *files || FileURIToPath(uri).has_value();
    else
      *others = true;
  }
}

const TTextDataObject* OwnData(const QMimeData* data) {
  return qobject_cast<const TTextDataObject*>(data);
}

}  // namespace

Qt::DropActions DropActionsOf(TDropEffects effects) {
  Qt::DropActions a;
  if (effects.Has(TDropEffect::deCopy)) a |= Qt::CopyAction;
  if (effects.Has(TDropEffect::deMove)) a |= Qt::MoveAction;
  if (effects.Has(TDropEffect::deLink)) a |= Qt::LinkAction;
  return a;
}

TDropEffects DropEffectsOf(Qt::DropActions actions) {
  TDropEffects e;
  if (actions & Qt::CopyAction) e.Include(TDropEffect::deCopy);
  if (actions & Qt::MoveAction) e.Include(TDropEffect::deMove);
  if (actions & Qt::LinkAction) e.Include(TDropEffect::deLink);
  if (e.Empty()) e.Include(TDropEffect::deNone);
  return e;
}

TDropEffect LowestEffect(TDropEffects effects) {
  for (TDropEffect e : {TDropEffect::deNone, TDropEffect::deCopy, TDropEffect::deMove,
                        TDropEffect::deLink, TDropEffect::deScroll})
    if (effects.Has(e)) return e;
  return TDropEffect::deNone;
}

Qt::DropAction DropActionOf(TDropEffect effect) {
  switch (effect) {
    case TDropEffect::deCopy:
      return Qt::CopyAction;
    case TDropEffect::deMove:
      return Qt::MoveAction;
    case TDropEffect::deLink:
      return Qt::LinkAction;
    default:
      return Qt::IgnoreAction;
  }
}

uint32_t ClipboardFormatFromName(std::string_view name) {
  if (name.empty()) return 0;
  if (name.size() <= 2 && name.find_first_not_of("0123456789") == std::string_view::npos) {
    const uint32_t v = name.size() == 1
                           ? static_cast<uint32_t>(name[0] - '0')
                           : static_cast<uint32_t>((name[0] - '0') * 10 + name[1] - '0');
    if (v >= 1 && v <= 16) return v;
  }
  return TFormatRegistry::Get().Register(name);
}

std::string ClipboardFormatName(uint32_t format) {
  if (format >= 1 && format <= 16) return std::to_string(format);
  return TFormatRegistry::Get().Name(format);
}

QStringList MimeTypesOfFormat(std::string_view name) {
  switch (ClipboardFormatFromName(name)) {
    case 0:
      return {};
    case CF_TEXT:
      return {"text/plain"};
    case CF_HDROP:
      return {kURIList};
    default:
      break;
  }
  if (EqualsIC(name, "UniformResourceLocator")) return {kMozURL, kURIList};
  if (EqualsIC(name, "HTML Format")) return {"text/html"};
  if (EqualsIC(name, "Rich Text Format")) return {"text/rtf"};
  QStringList out{WindowsMime(name)};
  if (LooksLikeMimeType(name))
    out << QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
  return out;
}

std::string FormatNameOfMime(const QString& mime) {
  if (IsTextPlain(mime)) return "1";
  if (mime == QLatin1String(kURIList)) return {};
  if (mime == QLatin1String(kMozURL)) return "UniformResourceLocator";
  if (mime == QLatin1String("text/html")) return "HTML Format";
  if (mime == QLatin1String("text/rtf")) return "Rich Text Format";
  if (mime.startsWith(QLatin1String(kWindowsMimePrefix)) && mime.endsWith('"'))
    return mime.mid(static_cast<qsizetype>(sizeof(kWindowsMimePrefix) - 1))
        .chopped(1)
        .toUtf8()
        .toStdString();
  return mime.toUtf8().toStdString();
}

std::vector<TFormatEtc> EnumDataObjectFormats(const QMimeData* data) {
  if (!data) return {};
  if (const auto* own = OwnData(data)) return own->EnumFormatEtc();
  std::vector<TFormatEtc> out;
  auto add = [&](std::string_view name) {
    const uint32_t n = ClipboardFormatFromName(name);
    if (n == 0) return;
    for (const auto& f : out)
      if (f.Format == n) return;
    out.push_back({n, -1, TYMED_HGLOBAL});
  };
  for (const QString& mime : data->formats()) {
    if (mime == QLatin1String(kURIList)) {
      bool files, others;
      ClassifyURIList(data, &files, &others);
      if (files) add("15");
      if (others) add("UniformResourceLocator");
    } else {
      add(FormatNameOfMime(mime));
    }
  }
  return out;
}

std::vector<std::string> GetDataObjectFormatNames(const QMimeData* data) {
  std::vector<std::string> out;
  TUOEnumFormatEtc walk(EnumDataObjectFormats(data));
  TFormatEtc f;
  while (walk.Next(1, &f) && f.Format != 0) out.push_back(ClipboardFormatName(f.Format));
  return out;
}

bool DataObjectHasFormat(const QMimeData* data, std::string_view name) {
  const uint32_t n = ClipboardFormatFromName(name);
  if (!data || n == 0) return false;
  if (const auto* own = OwnData(data)) return own->QueryGetData(n, -1, TYMED_HGLOBAL);
  for (const auto& f : EnumDataObjectFormats(data))
    if (f.Format == n) return true;
  return false;
}

std::optional<QByteArray> DataObjectBytes(const QMimeData* data, std::string_view name,
                                          const QString& mime) {
  if (!data) return std::nullopt;
  if (const auto* own = OwnData(data)) return own->DataForName(name, mime);
  if (!data->hasFormat(mime)) return std::nullopt;
  return data->data(mime);
}

}  // namespace qv
