#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include <QAbstractListModel>
#include <QListView>

namespace qv {

// The lines of the main URL list: URL texts (bytes) in display order, each at
// most once, with a check mark. The texts sit end to end in one buffer and a
// hash table of line numbers finds a URL's line, so a line costs its text
// plus about 30 bytes, and a million lines open, fill and search without
// per-line allocations. The model holds texts, never record pointers: a
// record may go away while its line is shown.
class TURLListModel : public QAbstractListModel {
  Q_OBJECT
 public:
  explicit TURLListModel(QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  int Count() const { return static_cast<int>(Ends.size()); }
  // The text of a line; empty outside [0, Count()).
  std::string_view Line(int i) const;
  bool Checked(int i) const;
  // Programmatic: no OnUserCheck. Out-of-range lines are ignored.
  void SetChecked(int i, bool on);
  // The line showing the URL (bytes compared exactly), or -1.
  int IndexOf(std::string_view url) const;
  // Appends the URL unless a line shows it already; true when appended.
  bool Append(std::string_view url, bool checked);
  // Appends a batch with one insertion report to the views; URLs shown
  // already are skipped. Returns the number appended.
  struct TNewLine {
    std::string_view URL;
    bool Checked;
  };
  int AppendBatch(const std::vector<TNewLine>& lines);
  // AppendBatch without telling the views (no Qt call: fit for use under
  // the list lock). Publish() reports the lines so far. A view lays out all
  // its rows on every report, so a long fill reports now and then rather
  // than per batch.
  int AppendPendingBatch(const std::vector<TNewLine>& lines);
  void Publish();
  int Published() const { return Shown; }
  // Room for this many lines and bytes of text without regrowing (the
  // table grows as lines come). The system gives memory a page at a time as
  // it is first written, so room a fill does not reach costs little.
  void Reserve(std::size_t lines, std::size_t textBytes);
  void RemoveLine(int i);
  // Empties the lines and gives back their memory.
  void Clear();
  // Empties the lines but keeps their room (texts, offsets, marks, table)
  // for a refill: a million lines fill tens of megabytes, and memory touched
  // for the first time costs the system a page fault every 4 KiB, far more
  // than the lines' own work.
  void ClearForRefill();
  // Gives back room beyond twice what `lines` lines of `textBytes` bytes of
  // text need (the current lines are always kept), so a view that shrank for
  // good, or a smaller project, does not hold its largest size for ever.
  void TrimRoom(std::size_t lines, std::size_t textBytes);

  // Bytes held beyond the texts themselves (offsets, marks, table).
  std::size_t OverheadBytes() const;
  std::size_t TextBytes() const { return Text.size(); }

  // The user changed a line's check mark (the check box or the space key).
  std::function<void(int line, bool on)> OnUserCheck;

 private:
  static std::uint32_t Hash(std::string_view s);
  static std::uint32_t SlotHash(std::uint64_t slot) {
    return static_cast<std::uint32_t>(slot >> 32);
  }
  static int SlotLine(std::uint64_t slot) { return static_cast<int>((slot & 0xFFFFFFFFu) - 1); }
  int Find(std::string_view url, std::uint32_t hash) const;
  void Place(std::uint32_t line, std::uint32_t hash);
  // A table of `count` slots; with `removed` a line number, that line's
  // slot goes and the later lines move up by one.
  void Rehash(std::size_t count, int removed = -1);
  bool AppendRaw(std::string_view url, bool checked);
  void Store(std::string_view url, bool checked, std::uint32_t hash);

  std::string Text;                 // every line's text, end to end
  std::vector<std::uint64_t> Ends;  // end offset of each line in Text
  std::vector<std::uint8_t> Marks;  // check mark per line
  // Hash in the high half, line + 1 in the low half, 0 free; a power of two,
  // at most half full. With the hash in the slot a probe reads no line and
  // regrowing the table reads no text.
  std::vector<std::uint64_t> Slots;
  std::vector<std::uint32_t> Hashes;  // a batch's hashes, kept for its room
  int Shown = 0;                      // lines the views have been told of
};

// The main window's URL list: a check list view over TURLListModel. Lines are
// drawn by the owner's rule: the rectangle filled, the check box, the URL
// fitted to the width with its middle cut. URLs that are valid UTF-8 show as
// such; the lines' texts stay bytes.
class TURLListBox : public QListView {
  Q_OBJECT
 public:
  explicit TURLListBox(QWidget* parent = nullptr);

  TURLListModel* Lines() const { return Model_; }
  int Count() const { return Model_->Count(); }
  int ItemIndex() const;
  // Makes the line focused and the only one selected; -1 clears the focus.
  void SetItemIndex(int index);
  std::string ItemText(int index) const { return std::string(Model_->Line(index)); }
  bool Checked(int index) const { return Model_->Checked(index); }
  void SetChecked(int index, bool on) { Model_->SetChecked(index, on); }
  void AddItem(const std::string& text, bool checked = false) { Model_->Append(text, checked); }
  int IndexOf(std::string_view url) const { return Model_->IndexOf(url); }
  void Clear() { Model_->Clear(); }
  bool MultiSelect() const { return selectionMode() != QAbstractItemView::SingleSelection; }
  // Texts of the selected lines in line order.
  std::vector<std::string> GetSelStrings() const;

  // The focused line's text changed (another line, or none).
  std::function<void()> OnChangeFocus;
  // The user changed a line's check mark.
  std::function<void(int line, bool on)> OnClickCheck;
  // A mouse button was released over the list.
  std::function<void()> OnMouseUp;

  const std::string& FocusText() const { return FocusText_; }

 protected:
  void mouseReleaseEvent(QMouseEvent* e) override;

 private:
  void NoteFocus();

  TURLListModel* Model_;
  std::string FocusText_;
};

}  // namespace qv
