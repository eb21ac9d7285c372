#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/viewfilter.h"
#include "ui/controls/stringatrgrid.h"

class QListWidget;
class QToolButton;

namespace qv {

// An attribute grid with a second column whose value, an index into SelList,
// lives in byte 0 of the row attribute and is picked from a drop-down list.
// Row arguments of the byte accessors are data-row indices (0 = first row).
class TFilterGrid : public TStringAtrGrid {
  Q_OBJECT
 public:
  explicit TFilterGrid(QWidget* parent = nullptr);

  uint8_t GetSelListSelection(int row) const { return GetByte0(row); }
  void SetSelListSelection(int row, uint8_t value) { SetByte0(row, value); }
  uint8_t GetByte0(int row) const { return GetByte(row, 0); }
  uint8_t GetByte1(int row) const { return GetByte(row, 1); }
  uint8_t GetByte2(int row) const { return GetByte(row, 2); }
  uint8_t GetByte3(int row) const { return GetByte(row, 3); }
  void SetByte0(int row, uint8_t value) { SetByte(row, 0, value); }
  void SetByte1(int row, uint8_t value) { SetByte(row, 1, value); }
  void SetByte2(int row, uint8_t value) { SetByte(row, 2, value); }
  void SetByte3(int row, uint8_t value) { SetByte(row, 3, value); }

  const std::vector<std::string>& GetSelList() const { return SelList; }
  void SetSelList(const std::vector<std::string>& list);

  // Opens the drop list under the focused choice cell, or closes it.
  void BtnClick();
  // Takes the drop list's selected choice for the current row.
  void SelListClick();
  bool DropListShowing() const;
  QListWidget* DropListWidget() const { return DropList; }
  QToolButton* DropButtonWidget() const { return DropButton; }

  QVariant CellData(int col, int gridRow, int role) const override;
  bool CellEditable(int col, int gridRow) const override;

 protected:
  void keyPressEvent(QKeyEvent* e) override;
  void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
  void resizeEvent(QResizeEvent* e) override;
  void scrollContentsBy(int dx, int dy) override;
  void updateGeometries() override;
  bool eventFilter(QObject* o, QEvent* e) override;

 private:
  uint8_t GetByte(int row, int byte) const;
  void SetByte(int row, int byte, uint8_t value);
  void PlaceDropButton();

  std::vector<std::string> SelList;
  bool SizePending = true;
  QListWidget* DropList = nullptr;
  QToolButton* DropButton = nullptr;
};

}  // namespace qv
