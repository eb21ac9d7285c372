#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "model/passwords.h"
#include "ui/controls/scaledstringgrid.h"

namespace qv {

// The per-site credentials grid: columns URL prefix, user ID and password,
// the password column drawn masked, an empty row kept at the bottom for
// typing a new entry. Every change publishes a new password list snapshot,
// which is what the worker threads look credentials up in.
class TPassWordGrid : public TScaledStringGrid {
  Q_OBJECT
 public:
  using TEditedEvent =
      std::function<void(TPassWordGrid* Sender, int Col, int Row, const std::string& Text)>;

  explicit TPassWordGrid(QWidget* parent = nullptr);

  // Where the snapshots go; the global list unless a test gives its own.
  void SetPublishTarget(TPublished<TPassWordList>* target);
  std::shared_ptr<const TPassWordList> Snapshot() const { return Target->Get(); }

  void SetHeadings(const std::vector<std::string>& list);
  std::vector<std::string> GetHeadings() const;

  // One cell per line, rows from row 1 on, left to right.
  void SetText(const std::string& text);
  std::string GetText() const;
  void SortRow(int row);
  void DeleteSelected();
  std::string GetUserID(const std::string& url) const { return Snapshot()->GetUserID(url); }
  std::string GetPW(const std::string& url) const { return Snapshot()->GetPW(url); }

  void FlushEditText();
  bool EditorOpen() const { return state() == QAbstractItemView::EditingState; }

  int PWCol = 0;
  TEditedEvent OnEdited;

  QString DisplayText(int col, int row) const override;
  void SetEditText(int col, int row, const std::string& value) override;
  bool CellEditable(int col, int row) const override { return row >= 1; }

 private:
  void Changed();
  void MoveRow(int from, int to);

  TPublished<TPassWordList>* Target;
  int EditCol = -1;
  int EditRow = -1;
  std::string EditText;
  bool FlushQueued = false;
  bool InChange = false;
};

}  // namespace qv
