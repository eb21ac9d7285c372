#pragma once

#include <QAbstractTableModel>

namespace qv {

// A table model whose grid announces its own row changes: Qt keeps the
// begin/end notifications protected, these make them the grid's to call.
class TGridModel : public QAbstractTableModel {
 public:
  using QAbstractTableModel::QAbstractTableModel;

  void BeginInsert(int first, int last) { beginInsertRows({}, first, last); }
  void EndInsert() { endInsertRows(); }
  void BeginRemove(int first, int last) { beginRemoveRows({}, first, last); }
  void EndRemove() { endRemoveRows(); }
  void BeginReset() { beginResetModel(); }
  void EndReset() { endResetModel(); }
};

}  // namespace qv
