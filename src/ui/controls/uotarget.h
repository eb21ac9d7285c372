#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <QPoint>
#include <QPointer>
#include <QWidget>

#include "ui/controls/uoformats.h"

class QMimeData;

namespace qv {

// A component that makes a widget (its acceptor) a drop target. It watches
// the acceptor's drag events through an event filter (on the viewport of a
// scroll area such as an item view) and holds the acceptor weakly: a widget
// destroyed under it simply leaves it without an acceptor.
class TUOGenericTarget : public TUOOLEComponent {
  Q_OBJECT
 public:
  explicit TUOGenericTarget(QObject* parent = nullptr);
  ~TUOGenericTarget() override;

  QWidget* AcceptorControl() const { return Acceptor; }
  // Nothing happens when the widget is already this target's acceptor or
  // another target with the same owner has it.
  virtual void SetAcceptorControl(QWidget* control);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  // A drag event at pos (in the acceptor's coordinates); true when handled.
  virtual bool DragEvent(QEvent* event, const QPoint& pos) = 0;

 private:
  void Unhook();

  QPointer<QWidget> Acceptor;
  // The widget whose events are watched: the acceptor or its viewport.
  QPointer<QWidget> Hooked;
  bool Registered = false;
  bool HookedAcceptedDrops = false;
};

class TUOTextTarget;

// What the drag over a text target holds: the effects the source allows,
// the data dragged, whether it offers an acceptable format, the effect shown
// and the text of the drop.
class TTextDropTarget {
 public:
  explicit TTextDropTarget(TUOTextTarget& owner) : Owner(owner) {}

  TDropEffect DragEnter(const QMimeData* data, Qt::DropActions allowed, Qt::KeyboardModifiers keys,
                        const QPoint& pos);
  TDropEffect DragOver(Qt::KeyboardModifiers keys, const QPoint& pos);
  void DragLeave();
  // The effect of the drop (deNone when refused or nothing was read).
  TDropEffect Drop(const QMimeData* data, Qt::DropActions allowed, Qt::KeyboardModifiers keys,
                   const QPoint& pos);

  // The data now dragged over the target, if any.
  const QMimeData* Data() const { return DataObject.isNull() ? nullptr : Dragged; }
  void TestAcceptable();
  // The data dragged over the target offers a format it accepts.
  bool Acceptable() const { return Acceptable_; }

 private:
  TDropEffect ChooseEffect(Qt::KeyboardModifiers keys) const;
  std::optional<std::string> Read(const std::string& name, std::string* title);
  void Release();

  TUOTextTarget& Owner;
  Qt::DropActions Allowed;
  const QMimeData* Dragged = nullptr;
  QPointer<QObject> DataObject;
  bool Acceptable_ = false;
  TDropEffect Effect = TDropEffect::deNone;
  std::string DropText;
};

// A drop target for URLs, browser HTML, rich text, plain text, files and
// custom formats, handing each drop to OnDrop as text with its kind in
// DropKind (0 URL, 1 HTML, 2 rich text, 3 text, 4 files, 5 custom).
//
// Texts are read as the system's 8-bit text: UTF-16 from browsers becomes
// UTF-8, each is cut at its first zero byte and at kDropTextLimit. Files come
// as their full local paths, one a line. With no modifier key the effect is
// copy where the source allows it: the target only copies what it reads.
class TUOTextTarget : public TUOGenericTarget {
  Q_OBJECT
 public:
  struct TCustomFormat {
    std::string Name;
    // The medium asked for; 0 is global memory, the only one read.
    uint32_t Tymed = 0;
  };

  explicit TUOTextTarget(QObject* parent = nullptr);
  ~TUOTextTarget() override;

  TDropTextFormats AcceptTextFormats() const { return Accept; }
  // Also re-tests the data dragged over the target now.
  void SetAcceptTextFormats(TDropTextFormats formats);

  TDropTextFormats AvailableTextFormats() const;
  std::vector<std::string> DataFormats() const;
  bool HasDataFormat(std::string_view name) const;

  int CustomFormatIndex = -1;
  std::vector<TCustomFormat> CustomFormats;
  uint8_t DropKind = 0;
  std::string URLTitle;
  std::string DroppedText;

  std::function<void(QObject* Sender, QWidget* Acceptor, const std::string& dropText, int X, int Y)>
      OnDrop;
  std::function<void(QObject* Sender, TDropEffect effect, int X, int Y)> OnDragEnter;
  std::function<void(QObject* Sender, TDropEffect effect, int X, int Y)> OnDragOver;
  std::function<void(QObject* Sender)> OnDragLeave;

 protected:
  bool DragEvent(QEvent* event, const QPoint& pos) override;

 private:
  friend class TTextDropTarget;
  TDropTextFormats Accept{TDropTextFormat::dtfText};
  TTextDropTarget Target{*this};
};

}  // namespace qv
