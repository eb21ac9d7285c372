#pragma once

#include <functional>
#include <string>

#include <QDrag>
#include <QPointer>
#include <Qt>

#include "ui/controls/uoformats.h"

namespace qv {

// The text a donor widget gives a drag: a list box its selected items (one
// per line in a multi-select list, else the current one); a table its
// selected rows, cells joined by tabs; a tree its current item; a group box
// of radio buttons their texts one per line; a label, button, group box or
// framed panel its caption; anything else its object name. Texts come back
// as UTF-8.
std::string TextFromComponent(QObject* donor);

// Starts drags of a text (set directly or taken from a donor widget) or of a
// list of custom formats rendered when a receiver asks for them.
class TUOTextSource : public TUOOLEComponent {
  Q_OBJECT
 public:
  // Runs one drag and returns the action it ended in (Qt::IgnoreAction when
  // nothing took it). Tests give a runner of their own: the offscreen
  // platform ends QDrag::exec at once.
  using TDragRunner = std::function<Qt::DropAction(QDrag& drag, Qt::DropActions allowed)>;
  enum class TDragStatus { Continue, Drop, Cancel };

  explicit TUOTextSource(QObject* parent = nullptr);

  // With a donor, reading the text first takes the donor's text.
  std::string Text();
  // Stores the text and clears the donor.
  void SetText(const std::string& text);
  QObject* DonorComponent() const { return Donor; }
  // Another donor empties the stored text.
  void SetDonorComponent(QObject* donor);
  bool Dragging() const { return Dragging_; }

  // One drag; false when there is nothing to drag or a drag is running. A
  // drop calls OnAfterDrop; a drag that ends untaken with no data asked for
  // counts as cancelled and calls OnCancelDrop.
  bool Execute();

  // The answers to the drag: the Escape key cancels, the MouseButton still
  // down goes on, its release drops unless the before-drop step cancels.
  TDragStatus QueryContinueDrag(bool escapePressed, Qt::MouseButtons buttons);
  // Records the effect shown; true when the default cursors are to be used.
  bool GiveFeedback(Qt::DropActions effect);

  Qt::MouseButton MouseButton = Qt::LeftButton;
  TCustomFormatDataList CustomFormats;
  int ServedFormatIndex = -1;
  TDropEffects DropEffects{TDropEffect::deCopy};
  TDropEffects LastEffect;
  TDragRunner DragRunner;

  std::function<void(QObject* Sender, QObject* Donor, std::string& dropText, bool& cancelDrop)>
      OnBeforeDrop;
  std::function<void(QObject* Sender, QObject* Donor, bool droppedOK)> OnAfterDrop;
  std::function<void(QObject* Sender, TDropEffect effect, bool& defCursors)> OnGiveFeedback;
  std::function<void(QObject* Sender)> OnCancelDrop;
  std::function<void(QObject* Sender, const std::string& formatName, std::string& formatContent)>
      OnRenderCustomFormat;

 private:
  bool BeforeDropCancels();

  std::string Text_;
  QPointer<QObject> Donor;
  // The last drag a DragRunner ran, kept so a late request still finds its
  // data.
  QPointer<QDrag> RunnerDrag;
  bool Dragging_ = false;
  bool CancelReported = false;
};

}  // namespace qv
