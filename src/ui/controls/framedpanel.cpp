#include "ui/controls/framedpanel.h"

#include <algorithm>
#include <utility>

#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QPainter>

#include "model/dropbytes.h"
#include "ui/controls/qtext.h"

namespace qv {

namespace {

const char kURIList[] = "text/uri-list";

// A pen line from (x0, y) towards (x1, y): covers x0, not x1.
void HLine(QPainter& p, int x0, int x1, int y, const QColor& c) {
  if (x0 < x1) p.fillRect(QRect(x0, y, x1 - x0, 1), c);
  if (x0 > x1) p.fillRect(QRect(x1 + 1, y, x0 - x1, 1), c);
}

// A pen line from (x, y0) towards (x, y1): covers y0, not y1.
void VLine(QPainter& p, int x, int y0, int y1, const QColor& c) {
  if (y0 < y1) p.fillRect(QRect(x, y0, 1, y1 - y0), c);
  if (y0 > y1) p.fillRect(QRect(x, y1 + 1, 1, y0 - y1), c);
}

bool OffersLocalFiles(const QMimeData* md) {
  if (!md || !md->hasFormat(kURIList)) return false;
  const QByteArray list = md->data(kURIList);
  return !FilePathsFromURIList(std::string_view(list.constData(), static_cast<size_t>(list.size())))
              .empty();
}

}  // namespace

void TFrameBands::Draw() const {
  if (!Canvas) return;
  QPainter& p = *Canvas;
  struct TBand {
    int From, Count;
    QColor TopLeft, BottomRight;
  };
  // Outer band raised, middle flat, inner sunk: the inner band swaps colours.
  const TBand bands[] = {{0, ThickOuter, ColLead, ColTrail},
                         {ThickOuter, ThickMid, ColFlat, ColFlat},
                         {ThickOuter + ThickMid, ThickInner, ColTrail, ColLead}};
  if (BTop)
    for (const auto& b : bands)
      for (int i = b.From; i < b.From + b.Count; ++i)
        HLine(p, Left + i, Right - i, Top + i, b.TopLeft);
  if (BBottom)
    for (const auto& b : bands)
      for (int i = b.From; i < b.From + b.Count; ++i)
        HLine(p, Right - i, Left + i, Bottom - i, b.BottomRight);
  if (BLeft)
    for (const auto& b : bands)
      for (int i = b.From; i < b.From + b.Count; ++i)
        VLine(p, Left + i, Bottom - i, Top + i, b.TopLeft);
  if (BRight)
    for (const auto& b : bands)
      for (int i = b.From; i < b.From + b.Count; ++i)
        VLine(p, Right - i, Top + i, Bottom - i, b.BottomRight);
}

TFramedPanel::TFramedPanel(QWidget* parent) : QFrame(parent) {
  setFrameShape(QFrame::NoFrame);
  setLineWidth(0);
  setMidLineWidth(0);
  setAutoFillBackground(true);
  setAcceptDrops(false);
}

void TFramedPanel::SetFrameThickOuter(int value) {
  Frame.ThickOuter = std::max(value, 0);
  AlignControls();
  update();
}

void TFramedPanel::SetFrameThickMid(int value) {
  Frame.ThickMid = std::max(value, 0);
  AlignControls();
  update();
}

void TFramedPanel::SetFrameThickInner(int value) {
  Frame.ThickInner = std::max(value, 0);
  AlignControls();
  update();
}

void TFramedPanel::SetFrameColLead(const QColor& value) {
  Frame.ColLead = value;
  update();
}

void TFramedPanel::SetFrameColFlat(const QColor& value) {
  Frame.ColFlat = value;
  update();
}

void TFramedPanel::SetFrameColTrail(const QColor& value) {
  Frame.ColTrail = value;
  update();
}

void TFramedPanel::SetBorderTop(bool value) {
  Frame.BTop = value;
  update();
}

void TFramedPanel::SetBorderRight(bool value) {
  Frame.BRight = value;
  update();
}

void TFramedPanel::SetBorderBottom(bool value) {
  Frame.BBottom = value;
  update();
}

void TFramedPanel::SetBorderLeft(bool value) {
  Frame.BLeft = value;
  update();
}

void TFramedPanel::SetCaption(const std::string& value) {
  Caption_ = value;
  update();
}

void TFramedPanel::AlignControls() {
  const int t = Frame.Total();
  setContentsMargins(Frame.BLeft ? t : 0, Frame.BTop ? t : 0, Frame.BRight ? t : 0,
                     Frame.BBottom ? t : 0);
}

void TFramedPanel::SetOnDropFiles(TDropFilesEvent handler) {
  OnDropFiles_ = std::move(handler);
  setAcceptDrops(static_cast<bool>(OnDropFiles_));
}

bool TFramedPanel::DropFiles(const QByteArray& uriList, const QPoint& pos) {
  if (!OnDropFiles_ || !rect().contains(pos)) return false;
  const std::vector<std::string> files = FilePathsFromURIList(
      std::string_view(uriList.constData(), static_cast<size_t>(uriList.size())));
  if (files.empty()) return false;
  // The handler may clear itself; a copy keeps the call valid.
  const TDropFilesEvent handler = OnDropFiles_;
  handler(this, files);
  return true;
}

void TFramedPanel::paintEvent(QPaintEvent* event) {
  QFrame::paintEvent(event);
  QPainter p(this);
  if (!Caption_.empty()) p.drawText(rect(), Qt::AlignCenter, ExternalToQ(Caption_));
  TFrameBands bands = Frame;
  bands.Left = 0;
  bands.Top = 0;
  bands.Right = width() - 1;
  bands.Bottom = height() - 1;
  bands.Canvas = &p;
  bands.Draw();
}

void TFramedPanel::resizeEvent(QResizeEvent* event) {
  AlignControls();
  QFrame::resizeEvent(event);
}

void TFramedPanel::dragEnterEvent(QDragEnterEvent* event) {
  if (OnDropFiles_ && OffersLocalFiles(event->mimeData())) {
    event->setDropAction(Qt::CopyAction);
    event->accept();
  } else {
    event->ignore();
  }
}

void TFramedPanel::dragMoveEvent(QDragMoveEvent* event) {
  if (OnDropFiles_ && (event->possibleActions() & Qt::CopyAction)) {
    event->setDropAction(Qt::CopyAction);
    event->accept();
  } else {
    event->ignore();
  }
}

void TFramedPanel::dropEvent(QDropEvent* event) {
  const QMimeData* md = event->mimeData();
  if (md && DropFiles(md->data(kURIList), event->position().toPoint())) {
    event->setDropAction(Qt::CopyAction);
    event->accept();
  } else {
    event->ignore();
  }
}

}  // namespace qv
