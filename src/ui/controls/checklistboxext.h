#pragma once

#include <functional>
#include <string>

#include <QRect>
#include <QStyle>

#include "ui/controls/listboxext.h"

namespace qv {

// A list box whose items carry a check mark. It reports, through
// OnChangeFocus, when the text of the focused item changes, so an owner can
// show the details of the focused entry without reacting to every repaint.
class TCheckListBoxExt : public TListBoxExt {
  Q_OBJECT
 public:
  using TDrawItemEvent = std::function<void(TCheckListBoxExt* Control, int Index, const QRect& Rect,
                                            QStyle::State State)>;

  explicit TCheckListBoxExt(QWidget* parent = nullptr);

  void AddItem(const std::string& text, bool checked = false);
  bool Checked(int index) const;
  // Programmatic changes of a check mark do not raise OnClickCheck.
  void SetChecked(int index, bool on);

  const std::vector<std::string>& GetSelStrings(const TConvert& Convert = {}) override;

  // Runs after an item has been painted: the owner's OnDrawItem, then the
  // focus report for an item drawn both selected and focused.
  void DrawItem(int Index, const QRect& Rect, QStyle::State State);

  TDrawItemEvent OnDrawItem;
  TDrawItemEvent OnChangeFocus;
  // The user changed the check mark of the item at the index.
  std::function<void(TCheckListBoxExt* Control, int Index)> OnClickCheck;

  const std::string& FocusText() const { return FocusText_; }

 private:
  std::string FocusText_;
  bool Updating = false;
};

}  // namespace qv
