#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <QColor>
#include <QFrame>

class QPainter;

namespace qv {

// A three-band 3-D frame: outer band raised, middle flat, inner sunk with the
// default colours. Each band of thickness n on a side is n one-pixel lines,
// each one pixel further in and one pixel shorter at both ends than the one
// before, so neighbouring sides meet in 45-degree mitres. Lines are drawn as
// a pen that covers its start pixel and not its end pixel: top lines left to
// right, bottom lines right to left, left lines bottom to top, right lines top
// to bottom; the sides in the order top, bottom, left, right.
struct TFrameBands {
  int32_t ThickOuter = 0;
  int32_t ThickMid = 0;
  int32_t ThickInner = 0;
  QColor ColLead = QColor(0xFF, 0xFF, 0xFF);
  QColor ColFlat = QColor(0x80, 0x80, 0x80);
  QColor ColTrail = QColor(0, 0, 0);
  bool BTop = true;
  bool BRight = true;
  bool BBottom = true;
  bool BLeft = true;
  // The target rectangle (right and bottom inclusive) and the canvas, set
  // just before drawing.
  int Left = 0;
  int Top = 0;
  int Right = 0;
  int Bottom = 0;
  QPainter* Canvas = nullptr;

  int Total() const { return ThickOuter + ThickMid + ThickInner; }
  void Draw() const;
};

// A panel without bevels that draws a TFrameBands frame over its background
// and caption, can switch each side of the frame off and keeps laid-out child
// widgets inside the frame (through its contents margins). With OnDropFiles
// set it accepts files dropped from the file manager and hands over their
// local paths.
class TFramedPanel : public QFrame {
  Q_OBJECT
 public:
  using TDropFilesEvent =
      std::function<void(QObject* Sender, const std::vector<std::string>& files)>;

  explicit TFramedPanel(QWidget* parent = nullptr);

  int FrameThickOuter() const { return Frame.ThickOuter; }
  int FrameThickMid() const { return Frame.ThickMid; }
  int FrameThickInner() const { return Frame.ThickInner; }
  QColor FrameColLead() const { return Frame.ColLead; }
  QColor FrameColFlat() const { return Frame.ColFlat; }
  QColor FrameColTrail() const { return Frame.ColTrail; }
  bool BorderTop() const { return Frame.BTop; }
  bool BorderRight() const { return Frame.BRight; }
  bool BorderBottom() const { return Frame.BBottom; }
  bool BorderLeft() const { return Frame.BLeft; }
  const std::string& Caption() const { return Caption_; }

  // Thicknesses below 0 are taken as 0. Each setter realigns the children
  // and repaints.
  void SetFrameThickOuter(int value);
  void SetFrameThickMid(int value);
  void SetFrameThickInner(int value);
  void SetFrameColLead(const QColor& value);
  void SetFrameColFlat(const QColor& value);
  void SetFrameColTrail(const QColor& value);
  // Store and repaint only: the children follow at the next realignment
  // (a resize or a thickness change).
  void SetBorderTop(bool value);
  void SetBorderRight(bool value);
  void SetBorderBottom(bool value);
  void SetBorderLeft(bool value);
  void SetCaption(const std::string& value);

  // Moves the area the children are laid out in inside the frame's sides
  // that are on.
  void AlignControls();

  const TDropFilesEvent& OnDropFiles() const { return OnDropFiles_; }
  // A handler makes the panel accept file drops; none makes it refuse them.
  void SetOnDropFiles(TDropFilesEvent handler);

  // The drop of files: local paths in the order dropped, taken from a URI
  // list. Nothing happens without a handler, outside the panel or when the
  // drop carries no local file. Returns whether the handler ran.
  bool DropFiles(const QByteArray& uriList, const QPoint& pos);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  TFrameBands Frame;
  std::string Caption_;
  TDropFilesEvent OnDropFiles_;
};

}  // namespace qv
