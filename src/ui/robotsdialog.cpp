#include "ui/robotsdialog.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

#include "engine/robots.h"
#include "ui/controls/fontfit.h"
#include "ui/controls/qtext.h"

namespace qv {

namespace {

constexpr int kHelpContext = 124;

// Draws each entry on one line, fitted to the list's width. The fitted text
// takes the place of the item's own, so the style draws it once, inside its
// margins.
class TFittedDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

 protected:
  void initStyleOption(QStyleOptionViewItem* o, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(o, index);
    if (o->rect.width() <= 0) return;
    const QStyle* style = o->widget ? o->widget->style() : QApplication::style();
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, o->widget) + 1;
    o->text = FitTextMiddle(o->text, o->fontMetrics, o->rect.width() - 2 * margin);
  }
};

}  // namespace

QString FitTextMiddle(const QString& text, const QFontMetrics& fm, int width) {
  if (fm.horizontalAdvance(text) <= width) return text;
  const QString mark = ">><<";
  // Keep as many characters from both ends as fit, the left end first.
  qsizetype lo = 0, hi = text.size();
  while (lo < hi) {
    const qsizetype keep = (lo + hi + 1) / 2;
    const qsizetype left = (keep + 1) / 2, right = keep / 2;
    const QString candidate = text.left(left) + mark + text.right(right);
    if (fm.horizontalAdvance(candidate) <= width)
      lo = keep;
    else
      hi = keep - 1;
  }
  return text.left((lo + 1) / 2) + mark + text.right(lo / 2);
}

TRobotsDlg::TRobotsDlg(TRobotsStore* store, QWidget* parent) : QDialog(parent), Store(store) {
  setObjectName("RobotsDlg");
  setWindowTitle("Robot exclusions:-");
  setProperty("HelpContext", kHelpContext);
  auto* l = new QVBoxLayout(this);
  Label1 = new QLabel(
      "Robots.txt exclusions (URLs beginning with these names have been excluded):-", this);
  ListBox1 = new QListWidget(this);
  Label2 = new QLabel("Meta tag exclusions (Links on these pages have not been followed):-", this);
  ListBox2 = new QListWidget(this);
  // In a large font a caption wraps rather than run past the window's edge.
  Label1->setWordWrap(true);
  Label2->setWordWrap(true);
  for (QListWidget* b : {ListBox1, ListBox2}) {
    b->setItemDelegate(new TFittedDelegate(b));
    b->setUniformItemSizes(true);
    b->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  }
  ListBox1->setObjectName("ListBox1");
  ListBox2->setObjectName("ListBox2");
  l->addWidget(Label1);
  l->addWidget(ListBox1, 1);
  l->addWidget(Label2);
  l->addWidget(ListBox2, 1);
  FixFittedSize(this, QSize(520, 360));
}

void TRobotsDlg::FormShow() {
  ListBox1->clear();
  ListBox2->clear();
  if (!Store) return;
  ListBox1->addItems(ToQList(Store->ExclusionsSnapshot()));
  ListBox2->addItems(ToQList(Store->NoFollowSnapshot()));
}

void TRobotsDlg::Help1Click() {
  if (ShowHelp) ShowHelp(kHelpContext);
}

void TRobotsDlg::showEvent(QShowEvent* e) {
  FormShow();
  QDialog::showEvent(e);
}

void TRobotsDlg::contextMenuEvent(QContextMenuEvent* e) {
  QMenu menu(this);
  QAction* help = menu.addAction("Help");
  if (menu.exec(e->globalPos()) == help) Help1Click();
}

}  // namespace qv
