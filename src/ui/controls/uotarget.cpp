#include "ui/controls/uotarget.h"

#include <algorithm>

#include <QAbstractScrollArea>
#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>

#include "model/dropbytes.h"
#include "platform/asciicase.h"

namespace qv {

namespace {

std::string_view View(const QByteArray& b) {
  return std::string_view(b.constData(), static_cast<size_t>(b.size()));
}

bool IsFormat(std::string_view name, const char* other) {
  return ClipboardFormatFromName(name) == ClipboardFormatFromName(other);
}

bool IsURLFormat(std::string_view name) {
  return IsFormat(name, "UniformResourceLocator") || IsFormat(name, "Netscape Bookmark");
}

// Formats whose content is text: read up to their first zero byte.
bool IsTextFormat(std::string_view name) {
  const uint32_t n = ClipboardFormatFromName(name);
  return n == CF_TEXT || IsURLFormat(name) || IsFormat(name, "HTML Format") ||
         IsFormat(name, "Rich Text Format");
}

uint8_t KindOf(std::string_view name) {
  const uint32_t n = ClipboardFormatFromName(name);
  if (IsURLFormat(name)) return 0;
  if (IsFormat(name, "HTML Format")) return 1;
  if (IsFormat(name, "Rich Text Format")) return 2;
  if (n == CF_HDROP) return 4;
  if (n == CF_TEXT) return 3;
  return 5;
}

// Browsers name the page a piece of HTML came from in a type of their own.
std::string SourcePageURL(const QMimeData* data) {
  if (data->hasFormat("text/x-moz-url-priv"))
    return ParseMozURL(View(data->data("text/x-moz-url-priv"))).URL;
  if (data->hasFormat("chromium/x-source-url"))
    return DropBytesToText(View(data->data("chromium/x-source-url")));
  return {};
}

}  // namespace

// ---- TUOGenericTarget

TUOGenericTarget::TUOGenericTarget(QObject* parent) : TUOOLEComponent(parent) {}

TUOGenericTarget::~TUOGenericTarget() { Unhook(); }

void TUOGenericTarget::SetAcceptorControl(QWidget* control) {
  if (control == Acceptor) return;
  if (control && parent())
    for (QObject* sibling : parent()->children())
      if (auto* other = qobject_cast<TUOGenericTarget*>(sibling))
        if (other != this && other->Acceptor == control) return;
  Unhook();
  if (!control) return;
  Acceptor = control;
  QWidget* hook = control;
  if (auto* area = qobject_cast<QAbstractScrollArea*>(control)) hook = area->viewport();
  Hooked = hook;
  HookedAcceptedDrops = hook->acceptDrops();
  // The filter takes every drag event, so a control's own drop handling (a
  // text edit's, an item view's) never runs beside this target's.
  hook->installEventFilter(this);
  hook->setAcceptDrops(true);
  Registered = true;
}

void TUOGenericTarget::Unhook() {
  if (Hooked) {
    Hooked->removeEventFilter(this);
    Hooked->setAcceptDrops(HookedAcceptedDrops);
  }
  Hooked = nullptr;
  Acceptor = nullptr;
  Registered = false;
}

bool TUOGenericTarget::eventFilter(QObject* watched, QEvent* event) {
  if (!Registered || !Hooked || watched != Hooked || !Acceptor) return false;
  switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop: {
      QPoint pos = static_cast<QDropEvent*>(event)->position().toPoint();
      if (Hooked != Acceptor) pos = Hooked->mapTo(Acceptor, pos);
      return DragEvent(event, pos);
    }
    case QEvent::DragLeave:
      return DragEvent(event, QPoint());
    default:
      return false;
  }
}

// ---- TTextDropTarget

TDropEffect TTextDropTarget::ChooseEffect(Qt::KeyboardModifiers keys) const {
  if (!Acceptable_) return TDropEffect::deNone;
  const bool ctrl = keys & Qt::ControlModifier, shift = keys & Qt::ShiftModifier;
  if (!ctrl && !shift) {
    for (TDropEffect e : {TDropEffect::deCopy, TDropEffect::deMove, TDropEffect::deLink})
      if (Allowed & DropActionOf(e)) return e;
    return TDropEffect::deNone;
  }
  const TDropEffect asked = ctrl && shift ? TDropEffect::deLink
                            : ctrl        ? TDropEffect::deCopy
                                          : TDropEffect::deMove;
  return (Allowed & DropActionOf(asked)) ? asked : TDropEffect::deNone;
}

void TTextDropTarget::TestAcceptable() {
  Acceptable_ = false;
  const QMimeData* data = Data();
  if (!data) return;
  const TDropTextFormats f = Owner.Accept;
  if (f.Has(TDropTextFormat::dtfCustom))
    for (const auto& c : Owner.CustomFormats)
      if ((c.Tymed == 0 || (c.Tymed & TYMED_HGLOBAL)) && DataObjectHasFormat(data, c.Name))
        return void(Acceptable_ = true);
  if (f.Has(TDropTextFormat::dtfURL) && (DataObjectHasFormat(data, "UniformResourceLocator") ||
                                         DataObjectHasFormat(data, "Netscape Bookmark")))
    return void(Acceptable_ = true);
  if (f.Has(TDropTextFormat::dtfIEHTML) && DataObjectHasFormat(data, "HTML Format"))
    return void(Acceptable_ = true);
  if (f.Has(TDropTextFormat::dtfRichText) && DataObjectHasFormat(data, "Rich Text Format"))
    return void(Acceptable_ = true);
  if (f.Has(TDropTextFormat::dtfFiles) && DataObjectHasFormat(data, "15"))
    return void(Acceptable_ = true);
  if (f.Has(TDropTextFormat::dtfText) && DataObjectHasFormat(data, "1"))
    return void(Acceptable_ = true);
}

TDropEffect TTextDropTarget::DragEnter(const QMimeData* data, Qt::DropActions allowed,
                                       Qt::KeyboardModifiers keys, const QPoint& pos) {
  Dragged = data;
  DataObject = const_cast<QMimeData*>(data);
  TestAcceptable();
  Allowed = allowed;
  Effect = ChooseEffect(keys);
  if (Owner.OnDragEnter) Owner.OnDragEnter(&Owner, Effect, pos.x(), pos.y());
  return Effect;
}

TDropEffect TTextDropTarget::DragOver(Qt::KeyboardModifiers keys, const QPoint& pos) {
  Effect = ChooseEffect(keys);
  if (Owner.OnDragOver) Owner.OnDragOver(&Owner, Effect, pos.x(), pos.y());
  return Effect;
}

void TTextDropTarget::DragLeave() {
  Acceptable_ = false;
  QPointer<TUOTextTarget> alive(&Owner);
  if (const auto handler = Owner.OnDragLeave) handler(&Owner);
  if (alive) Release();
}

void TTextDropTarget::Release() {
  Dragged = nullptr;
  DataObject = nullptr;
  Allowed = {};
}

std::optional<std::string> TTextDropTarget::Read(const std::string& name, std::string* title) {
  const QMimeData* data = Data();
  if (!data) return std::nullopt;
  const uint32_t n = ClipboardFormatFromName(name);
  if (n == CF_TEXT) {
    for (const char* mime : {"text/plain;charset=utf-8", "text/plain"})
      if (auto b = DataObjectBytes(data, name, mime)) return DropBytesToText(View(*b));
    return std::nullopt;
  }
  if (n == CF_HDROP) {
    const auto b = DataObjectBytes(data, name, "text/uri-list");
    if (!b) return std::nullopt;
    const std::vector<std::string> files = FilePathsFromURIList(View(*b));
    if (files.empty()) return std::nullopt;
    std::string out;
    for (const auto& f : files) out += (out.empty() ? "" : "\r\n") + f;
    return out;
  }
  if (IsFormat(name, "UniformResourceLocator")) {
    if (auto b = DataObjectBytes(data, name, "text/x-moz-url")) {
      TMozURL moz = ParseMozURL(View(*b));
      if (!moz.URL.empty()) {
        *title = moz.Title;
        return moz.URL;
      }
    }
    if (auto b = DataObjectBytes(data, name, "text/uri-list"))
      for (const auto& uri : URIListEntries(View(*b)))
        if (!IsFileURI(uri)) return uri;
    return std::nullopt;
  }
  if (IsFormat(name, "HTML Format")) {
    const auto b = DataObjectBytes(data, name, "text/html");
    if (!b) return std::nullopt;
    std::string html = DropBytesToText(View(*b));
    if (!ParseHTMLFormat(html).HasHeader) {
      // Without the old header the page's address would be lost; the HTML
      // readers look for it on a "SourceURL:" line.
      const std::string source = SourcePageURL(data);
      if (!source.empty()) html = BoundText("SourceURL:" + source + "\r\n" + html);
    }
    return html;
  }
  for (const QString& mime : MimeTypesOfFormat(name)) {
    if (auto b = DataObjectBytes(data, name, mime)) {
      if (IsTextFormat(name)) return DropBytesToText(View(*b));
      return std::string(View(*b).substr(0, kDropTextLimit));
    }
  }
  return std::nullopt;
}

TDropEffect TTextDropTarget::Drop(const QMimeData* data, Qt::DropActions allowed,
                                  Qt::KeyboardModifiers keys, const QPoint& pos) {
  DropText.clear();
  if (data != Dragged || !DataObject) {
    Dragged = data;
    DataObject = const_cast<QMimeData*>(data);
    TestAcceptable();
  }
  Allowed = allowed;
  Effect = ChooseEffect(keys);
  if (Effect == TDropEffect::deNone) {
    Release();
    return Effect;
  }
  Owner.CustomFormatIndex = -1;
  struct TProbe {
    std::string Name;
    int Custom;
  };
  std::vector<TProbe> probes;
  const TDropTextFormats f = Owner.Accept;
  if (f.Has(TDropTextFormat::dtfCustom))
    for (size_t i = 0; i < Owner.CustomFormats.size(); ++i) {
      const auto& c = Owner.CustomFormats[i];
      if (ClipboardFormatFromName(c.Name) != 0 && (c.Tymed == 0 || (c.Tymed & TYMED_HGLOBAL)))
        probes.push_back({c.Name, static_cast<int>(i)});
    }
  if (f.Has(TDropTextFormat::dtfURL)) {
    probes.push_back({"UniformResourceLocator", -1});
    probes.push_back({"Netscape Bookmark", -1});
  }
  if (f.Has(TDropTextFormat::dtfIEHTML)) probes.push_back({"HTML Format", -1});
  if (f.Has(TDropTextFormat::dtfRichText)) probes.push_back({"Rich Text Format", -1});
  if (f.Has(TDropTextFormat::dtfFiles)) probes.push_back({"15", -1});
  if (f.Has(TDropTextFormat::dtfText)) probes.push_back({"1", -1});

  std::string mozTitle;
  const TProbe* read = nullptr;
  for (const auto& p : probes) {
    if (auto text = Read(p.Name, &mozTitle)) {
      DropText = std::move(*text);
      read = &p;
      break;
    }
  }
  if (!read) {
    Effect = TDropEffect::deNone;
    Release();
    return Effect;
  }
  if (read->Custom >= 0) Owner.CustomFormatIndex = read->Custom;
  Owner.DroppedText = DropText;
  Owner.DropKind = KindOf(read->Name);
  if (Owner.DropKind == 0) {
    // The title is a bonus: without one the drop still stands.
    Owner.URLTitle.clear();
    std::optional<std::string> name;
    for (const QString& mime : MimeTypesOfFormat("FileGroupDescriptor"))
      if (auto b = DataObjectBytes(Data(), "FileGroupDescriptor", mime); b && !name)
        name = FileGroupDescriptorName(View(*b));
    if (name)
      Owner.URLTitle =
          URLTitleFromFileName(std::move(*name), IsFormat(read->Name, "Netscape Bookmark"));
    else
      Owner.URLTitle = mozTitle;
  }
  const TDropEffect effect = Effect;
  const std::string text = DropText;
  // The handler may end the target (closing its window): it runs from a copy
  // and nothing of the target is touched after it unless the target is alive.
  QPointer<TUOTextTarget> alive(&Owner);
  if (const auto handler = Owner.OnDrop)
    handler(&Owner, Owner.AcceptorControl(), text, pos.x(), pos.y());
  if (alive) Release();
  return effect;
}

// ---- TUOTextTarget

TUOTextTarget::TUOTextTarget(QObject* parent) : TUOGenericTarget(parent) {}

TUOTextTarget::~TUOTextTarget() { SetAcceptorControl(nullptr); }

void TUOTextTarget::SetAcceptTextFormats(TDropTextFormats formats) {
  Accept = formats;
  Target.TestAcceptable();
}

TDropTextFormats TUOTextTarget::AvailableTextFormats() const {
  TDropTextFormats out;
  const std::vector<std::string> names = GetDataObjectFormatNames(Target.Data());
  std::vector<std::string> upper;
  for (const auto& n : names) upper.push_back(UpperCaseAscii(n));
  const bool hasURL =
      std::find(upper.begin(), upper.end(), "UNIFORMRESOURCELOCATOR") != upper.end();
  size_t recognised = 0;
  for (const auto& n : upper) {
    if (n == "1") {
      out.Include(TDropTextFormat::dtfText);
    } else if (n == "UNIFORMRESOURCELOCATOR") {
      out.Include(TDropTextFormat::dtfURL);
    } else if (n == "NETSCAPE BOOKMARK" && !hasURL) {
      out.Include(TDropTextFormat::dtfURL);
    } else if (n == "15") {
      out.Include(TDropTextFormat::dtfFiles);
    } else if (n == "HTML FORMAT") {
      out.Include(TDropTextFormat::dtfIEHTML);
    } else if (n == "RICH TEXT FORMAT") {
      out.Include(TDropTextFormat::dtfRichText);
    } else {
      continue;
    }
    ++recognised;
  }
  if (recognised < names.size()) out.Include(TDropTextFormat::dtfCustom);
  return out;
}

std::vector<std::string> TUOTextTarget::DataFormats() const {
  return GetDataObjectFormatNames(Target.Data());
}

bool TUOTextTarget::HasDataFormat(std::string_view name) const {
  return DataObjectHasFormat(Target.Data(), name);
}

bool TUOTextTarget::DragEvent(QEvent* event, const QPoint& pos) {
  switch (event->type()) {
    case QEvent::DragEnter: {
      auto* e = static_cast<QDragEnterEvent*>(event);
      const TDropEffect effect =
          Target.DragEnter(e->mimeData(), e->possibleActions(), e->modifiers(), pos);
      // The entry is taken whenever a format fits, so that another key can
      // still make the drop possible on the way.
      if (Target.Acceptable()) {
        e->setDropAction(DropActionOf(effect));
        e->accept();
      } else {
        e->ignore();
      }
      return true;
    }
    case QEvent::DragMove: {
      auto* e = static_cast<QDragMoveEvent*>(event);
      const TDropEffect effect = Target.DragOver(e->modifiers(), pos);
      if (effect != TDropEffect::deNone) {
        e->setDropAction(DropActionOf(effect));
        e->accept();
      } else {
        e->ignore();
      }
      return true;
    }
    case QEvent::DragLeave:
      Target.DragLeave();
      event->accept();
      return true;
    case QEvent::Drop: {
      auto* e = static_cast<QDropEvent*>(event);
      const TDropEffect effect =
          Target.Drop(e->mimeData(), e->possibleActions(), e->modifiers(), pos);
      if (effect != TDropEffect::deNone) {
        e->setDropAction(DropActionOf(effect));
        e->accept();
      } else {
        e->ignore();
      }
      return true;
    }
    default:
      return false;
  }
}

}  // namespace qv
