#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <QMimeData>
#include <QPointer>

#include "ui/controls/uoformats.h"

namespace qv {

class TUOTextSource;

// The data of one drag started by a TUOTextSource. With custom formats it
// offers those (rendering an empty one through the source's
// OnRenderCustomFormat when first asked for), else the source's text as "1".
// Rendering happens when a receiver asks, never before; what was rendered is
// kept for the rest of the drag. A source that is gone serves nothing.
//
// The record calls (QueryGetData, GetData) give the bytes a record holds, as
// the formats' own block layouts have them; the MIME calls give them in the
// MIME type's form: text without a terminating zero (text/plain as UTF-8), a
// drop-files block as a URI list, a URL as text/x-moz-url (UTF-16) or a URI
// list, HTML without its "Version:" header.
class TTextDataObject : public QMimeData {
  Q_OBJECT
 public:
  explicit TTextDataObject(TUOTextSource* source);

  // A record matches when its number equals format, its media share a bit
  // with tymed (TYMED_ALL matching any) and lindex is -1 or its LIndex.
  bool QueryGetData(uint32_t format, int32_t lindex = -1, uint32_t tymed = TYMED_HGLOBAL) const;
  // The global-memory block of the first matching record: its content with
  // one terminating zero when NullTerminated (the source's text and a zero
  // without records). Nothing for another medium or no match.
  std::optional<std::string> GetData(uint32_t format, int32_t lindex = -1,
                                     uint32_t tymed = TYMED_HGLOBAL);
  std::vector<TFormatEtc> EnumFormatEtc() const;

  // The bytes of the first record of that name in the MIME type's form.
  std::optional<QByteArray> DataForName(std::string_view name, const QString& mime) const;
  // True once any data was handed out.
  bool RenderedAny() const { return RenderedAny_; }

  QStringList formats() const override;
  bool hasFormat(const QString& mime) const override;

 protected:
  QVariant retrieveData(const QString& mime, QMetaType type) const override;

 private:
  std::optional<std::string> Serve(uint32_t format, int32_t lindex, uint32_t tymed);
  std::optional<QByteArray> Convert(uint32_t format, const QString& mime) const;

  QPointer<TUOTextSource> Source;
  // Records whose render handler has run in this drag.
  std::vector<bool> Rendered;
  mutable std::map<std::pair<uint32_t, QString>, QByteArray> Cache;
  mutable bool RenderedAny_ = false;
};

}  // namespace qv
