#include "ui/controls/uosource.h"

#include <algorithm>

#include <QAbstractButton>
#include <QDrag>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QRadioButton>
#include <QTreeView>

#include "ui/controls/framedpanel.h"
#include "ui/controls/uodataobject.h"

namespace qv {

namespace {

// The program's widgets hold its 8-bit text one byte a character; texts with
// characters beyond Latin-1 came from elsewhere and go out as UTF-8.
std::string WidgetText(const QString& s) {
  const bool latin1 = std::all_of(s.begin(), s.end(), [](QChar c) { return c.unicode() < 0x100; });
  const QByteArray b = latin1 ? s.toLatin1() : s.toUtf8();
  return std::string(b.constData(), static_cast<size_t>(b.size()));
}

std::string Join(const std::vector<std::string>& parts, const char* sep) {
  std::string out;
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i) out += sep;
    out += parts[i];
  }
  return out;
}

std::string ListBoxText(const QListWidget* box) {
  if (box->count() == 0) return {};
  if (box->selectionMode() != QAbstractItemView::SingleSelection) {
    std::vector<std::string> lines;
    for (int i = 0; i < box->count(); ++i)
      if (box->item(i)->isSelected()) lines.push_back(WidgetText(box->item(i)->text()));
    if (!lines.empty()) return Join(lines, "\r\n");
  }
  const QListWidgetItem* current = box->currentItem();
  return current ? WidgetText(current->text()) : std::string();
}

// A list view: the selected rows in order, each its cells joined by tabs.
std::string ListViewText(const QAbstractItemView* view) {
  const QAbstractItemModel* model = view->model();
  if (!model || !view->selectionModel()) return {};
  std::vector<int> rows;
  for (const QModelIndex& i : view->selectionModel()->selectedIndexes())
    if (std::find(rows.begin(), rows.end(), i.row()) == rows.end()) rows.push_back(i.row());
  std::sort(rows.begin(), rows.end());
  std::vector<std::string> lines;
  for (int r : rows) {
    std::vector<std::string> cells;
    for (int c = 0; c < model->columnCount(); ++c)
      cells.push_back(WidgetText(model->index(r, c).data().toString()));
    lines.push_back(Join(cells, "\t"));
  }
  return Join(lines, "\r\n");
}

}  // namespace

std::string TextFromComponent(QObject* donor) {
  if (!donor) return {};
  if (const auto* box = qobject_cast<QListWidget*>(donor)) return ListBoxText(box);
  if (const auto* tree = qobject_cast<QTreeView*>(donor)) {
    const QModelIndex i = tree->currentIndex();
    return i.isValid() ? WidgetText(i.siblingAtColumn(0).data().toString()) : std::string();
  }
  if (const auto* view = qobject_cast<QAbstractItemView*>(donor)) return ListViewText(view);
  if (const auto* group = qobject_cast<QGroupBox*>(donor)) {
    const auto radios = group->findChildren<QRadioButton*>();
    if (radios.isEmpty()) return WidgetText(group->title());
    std::string out;
    for (const QRadioButton* r : radios) out += WidgetText(r->text()) + "\r\n";
    return out;
  }
  if (const auto* panel = qobject_cast<TFramedPanel*>(donor)) return panel->Caption();
  if (const auto* label = qobject_cast<QLabel*>(donor)) return WidgetText(label->text());
  if (const auto* button = qobject_cast<QAbstractButton*>(donor)) return WidgetText(button->text());
  return WidgetText(donor->objectName());
}

TUOTextSource::TUOTextSource(QObject* parent) : TUOOLEComponent(parent) {}

std::string TUOTextSource::Text() {
  if (Donor) Text_ = TextFromComponent(Donor);
  return Text_;
}

void TUOTextSource::SetText(const std::string& text) {
  Text_ = text;
  Donor = nullptr;
}

void TUOTextSource::SetDonorComponent(QObject* donor) {
  if (donor != Donor) Text_.clear();
  Donor = donor;
}

bool TUOTextSource::Execute() {
  if (Dragging_ || (CustomFormats.Empty() && Text().empty())) return false;
  Dragging_ = true;
  CancelReported = false;
  ServedFormatIndex = -1;
  // A drag's data must outlive exec: an X11 receiver asks for it after the
  // drop, when exec has already returned. Qt deletes a drag it ran once the
  // receiver is done with it; a drag a runner ran is deleted when the next
  // one starts (or with the source). The drag deletes its data.
  if (RunnerDrag) RunnerDrag->deleteLater();
  auto* drag = new QDrag(this);
  auto* data = new TTextDataObject(this);
  drag->setMimeData(data);
  QPointer<TTextDataObject> guard(data);
  connect(drag, &QDrag::actionChanged, this, [this](Qt::DropAction a) { GiveFeedback(a); });
  const Qt::DropActions allowed = DropActionsOf(DropEffects);
  const Qt::DropAction result =
      DragRunner ? DragRunner(*drag, allowed) : drag->exec(allowed, Qt::CopyAction);
  // Qt reports a refused drop and a cancel alike; a receiver that asked for
  // the data has taken part in a drop.
  const bool dropped =
      !CancelReported && (result != Qt::IgnoreAction || (guard && guard->RenderedAny()));
  if (DragRunner) RunnerDrag = drag;
  // A handler may end the source; it runs from a copy and the source is
  // touched afterwards only when it is still there.
  QPointer<TUOTextSource> alive(this);
  if (dropped) {
    LastEffect = DropEffectsOf(result);
    const bool droppedOK = !(LastEffect == TDropEffects{TDropEffect::deNone});
    if (const auto handler = OnAfterDrop) handler(this, Donor, droppedOK);
  } else {
    LastEffect = TDropEffects{TDropEffect::deNone};
    if (const auto handler = OnCancelDrop; handler && !CancelReported) handler(this);
  }
  if (alive) Dragging_ = false;
  return true;
}

TUOTextSource::TDragStatus TUOTextSource::QueryContinueDrag(bool escapePressed,
                                                            Qt::MouseButtons buttons) {
  if (escapePressed) {
    CancelReported = true;
    if (OnCancelDrop) OnCancelDrop(this);
    return TDragStatus::Cancel;
  }
  if (buttons & MouseButton) return TDragStatus::Continue;
  if (LastEffect.Empty() || LastEffect == TDropEffects{TDropEffect::deNone})
    return TDragStatus::Drop;
  return BeforeDropCancels() ? TDragStatus::Cancel : TDragStatus::Drop;
}

bool TUOTextSource::BeforeDropCancels() {
  if (!OnBeforeDrop) return false;
  std::string dropText = Text();
  bool cancel = false;
  OnBeforeDrop(this, Donor, dropText, cancel);
  if (Text() != dropText) SetText(dropText);
  return cancel;
}

bool TUOTextSource::GiveFeedback(Qt::DropActions effect) {
  LastEffect = DropEffectsOf(effect);
  bool defCursors = true;
  if (OnGiveFeedback) OnGiveFeedback(this, LowestEffect(LastEffect), defCursors);
  return defCursors;
}

}  // namespace qv
