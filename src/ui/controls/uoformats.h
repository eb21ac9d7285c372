#pragma once
// What the drag-and-drop set shares: the effects and text formats, the format
// names and their numbers, the custom-format records a drag source offers and
// the format utilities the windows call.
//
// A format is named by a decimal number from 1 to 16 ("1" text, "15" a drop
// of files) or by a registered name. On this platform a drag carries MIME
// types; each name maps to MIME types and back:
//   "1"                       text/plain
//   "15"                      text/uri-list (file: URIs)
//   "UniformResourceLocator"  text/x-moz-url, and text/uri-list of other URIs
//   "HTML Format"             text/html (no "Version:" header)
//   "Rich Text Format"        text/rtf
//   any other name            application/x-qt-windows-mime;value="NAME"
// A MIME type that fits none of these is listed under its own name.
// Everything here runs on the user-interface thread; the registry itself is
// guarded, so reading it elsewhere is harmless.

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <QObject>
#include <QString>
#include <QStringList>
#include <Qt>

class QMimeData;

namespace qv {

inline constexpr char kUOOLEVersion[] = "1.36 (March 6, 2000)";

// The base of the drag-and-drop components: one read-only version text.
class TUOOLEComponent : public QObject {
  Q_OBJECT
 public:
  explicit TUOOLEComponent(QObject* parent = nullptr) : QObject(parent) {}
  std::string Version() const { return kUOOLEVersion; }
  // Writing the version restores it.
  void SetVersion(const std::string&) {}
};

enum class TDropEffect { deNone, deCopy, deMove, deLink, deScroll };
enum class TDropTextFormat { dtfURL, dtfIEHTML, dtfRichText, dtfText, dtfFiles, dtfCustom };

// A set over an enumeration's members.
template <class E>
class TEnumSet {
 public:
  constexpr TEnumSet() = default;
  constexpr TEnumSet(std::initializer_list<E> members) {
    for (E e : members) Include(e);
  }
  constexpr bool Has(E e) const { return Bits & Bit(e); }
  constexpr void Include(E e) { Bits |= Bit(e); }
  constexpr void Exclude(E e) { Bits &= ~Bit(e); }
  constexpr bool Empty() const { return Bits == 0; }
  constexpr bool operator==(const TEnumSet&) const = default;

 private:
  static constexpr uint32_t Bit(E e) { return uint32_t{1} << static_cast<int>(e); }
  uint32_t Bits = 0;
};

using TDropEffects = TEnumSet<TDropEffect>;
using TDropTextFormats = TEnumSet<TDropTextFormat>;

// deCopy, deMove and deLink are the drop-effect bits 1, 2 and 4, which are
// Qt's copy, move and link actions; deScroll has no bit.
Qt::DropActions DropActionsOf(TDropEffects effects);
// The effects of an action mask; no bit gives [deNone].
TDropEffects DropEffectsOf(Qt::DropActions actions);
// The lowest member of the set (deNone for an empty set).
TDropEffect LowestEffect(TDropEffects effects);
Qt::DropAction DropActionOf(TDropEffect effect);

inline constexpr uint32_t CF_TEXT = 1;
inline constexpr uint32_t CF_HDROP = 15;
// Storage media; only global memory (bytes) is ever served or read here.
inline constexpr uint32_t TYMED_HGLOBAL = 1;
inline constexpr uint32_t TYMED_ISTREAM = 4;
inline constexpr uint32_t TYMED_ISTORAGE = 8;
inline constexpr uint32_t TYMED_GDI = 16;
inline constexpr uint32_t TYMED_ENHMF = 64;
inline constexpr uint32_t TYMED_ALL = 0xFFFFFFFFu;

// "" gives 0; a decimal name from 1 to 16 gives its value; any other name is
// registered (names compare ignoring case) and gives its number, 0xC000 up.
uint32_t ClipboardFormatFromName(std::string_view name);
// The name of a number: its decimal text for 1 to 16, the registered name
// (at most 255 characters) otherwise, "" for a number never given out.
std::string ClipboardFormatName(uint32_t format);

// The MIME types a format name is carried as, preferred first.
QStringList MimeTypesOfFormat(std::string_view name);
// The format name a MIME type stands for: "1", "HTML Format", "Rich Text
// Format", the value of a windows-mime type, or the type itself. text/uri-list
// stands for "15" or "UniformResourceLocator" by its content, so it gives "".
std::string FormatNameOfMime(const QString& mime);

// One custom format a drag source offers. Only records whose Tymed includes
// global memory (0 counts as global memory) are ever offered: the content is
// bytes, never an object to hand out.
struct TCustomFormatData {
  std::string FormatName;
  std::string FormatContent;
  int32_t LIndex = 0;
  uint32_t Tymed = TYMED_HGLOBAL;
  bool NullTerminated = true;
};

class TCustomFormatDataList {
 public:
  void AddFormat(const std::string& name, const std::string& content) {
    Items.push_back({name, content, 0, TYMED_HGLOBAL, true});
  }
  void AddFormatEx(const std::string& name, const std::string& content, int32_t lindex,
                   uint32_t tymed) {
    Items.push_back({name, content, lindex, tymed == 0 ? TYMED_HGLOBAL : tymed, true});
  }
  void Clear() { Items.clear(); }
  int Count() const { return static_cast<int>(Items.size()); }
  bool Empty() const { return Items.empty(); }
  TCustomFormatData& operator[](int i) { return Items[static_cast<size_t>(i)]; }
  const TCustomFormatData& operator[](int i) const { return Items[static_cast<size_t>(i)]; }

 private:
  std::vector<TCustomFormatData> Items;
};

// One entry of a data object's format enumeration.
struct TFormatEtc {
  uint32_t Format = 0;
  int32_t LIndex = -1;
  uint32_t Tymed = TYMED_HGLOBAL;
  bool operator==(const TFormatEtc&) const = default;
};

// A walk over a list of format entries. Next hands out one entry a call:
// asked for exactly one while entries remain it copies it, advances and
// returns true; any other count copies nothing and returns false. fetched,
// when given, receives the number copied.
class TUOEnumFormatEtc {
 public:
  explicit TUOEnumFormatEtc(std::vector<TFormatEtc> entries) : Entries(std::move(entries)) {}
  bool Next(unsigned count, TFormatEtc* out, unsigned* fetched = nullptr) {
    const bool ok = count == 1 && Pos < Entries.size() && out;
    if (ok) *out = Entries[Pos++];
    if (fetched) *fetched = ok ? 1 : 0;
    return ok;
  }
  // Advances by n when n entries remain; else stays and returns false.
  bool Skip(unsigned n) {
    if (Entries.size() - Pos < n) return false;
    Pos += n;
    return true;
  }
  void Reset() { Pos = 0; }
  // A copy of the entries at the same position.
  TUOEnumFormatEtc Clone() const { return *this; }

 private:
  std::vector<TFormatEtc> Entries;
  size_t Pos = 0;
};

// The formats a drag's data offers, in order: a TTextDataObject's records, or
// the names another program's MIME types stand for (each once).
std::vector<TFormatEtc> EnumDataObjectFormats(const QMimeData* data);
// The names of those formats (a number for 1 to 16, else the name).
std::vector<std::string> GetDataObjectFormatNames(const QMimeData* data);
// True when the name has a number and the data offers it as bytes. Null data
// gives false. Another program's data may be read to tell a drop of files
// from a drop of links.
bool DataObjectHasFormat(const QMimeData* data, std::string_view name);

// The bytes a format offers, as the MIME type carries them; nothing when the
// data does not offer the format in that type.
std::optional<QByteArray> DataObjectBytes(const QMimeData* data, std::string_view name,
                                          const QString& mime);

}  // namespace qv
