// Every window of the program shows its texts whole, at the desktop's usual
// font and at a large one (16 points, what a user with a large desktop font
// setting gets): no caption, control, column heading or list item is cut off,
// runs past its window's edge or lies over another.
#include <functional>
#include <string>
#include <vector>

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>

#include "engine/robots.h"
#include "mainformfixture.h"
#include "ui/aboutbox.h"
#include "ui/controls/checklistboxext.h"
#include "ui/controls/framedpanel.h"
#include "ui/controls/scaledstringgrid.h"
#include "ui/dialupwindow.h"
#include "ui/dropdialog.h"
#include "ui/filecopydialog.h"
#include "ui/mimefilterdialog.h"
#include "ui/nonmodalmessage.h"
#include "ui/robotsdialog.h"
#include "ui/schedulewindow.h"
#include "ui/settingsdialog.h"

namespace qv {
namespace {

std::string Describe(const QWidget* w) {
  std::string s = w->metaObject()->className();
  if (!w->objectName().isEmpty()) s += " " + w->objectName().toStdString();
  QString text;
  if (auto* l = qobject_cast<const QLabel*>(w)) text = l->text();
  if (auto* b = qobject_cast<const QAbstractButton*>(w)) text = b->text();
  if (auto* g = qobject_cast<const QGroupBox*>(w)) text = g->title();
  if (auto* p = qobject_cast<const TFramedPanel*>(w)) text = QString::fromStdString(p->Caption());
  if (!text.isEmpty()) s += " \"" + text.toStdString() + "\"";
  return s;
}

std::string Text(const QSize& s) {
  return std::to_string(s.width()) + "x" + std::to_string(s.height());
}

// Parts of a compound control (the edit of a spin box, an item view's
// editors) are the compound's business.
bool InsideCompound(const QWidget* w, const QWidget* window) {
  for (const QWidget* p = w->parentWidget(); p && p != window; p = p->parentWidget())
    if (qobject_cast<const QAbstractSpinBox*>(p) || qobject_cast<const QComboBox*>(p) ||
        qobject_cast<const QAbstractItemView*>(p))
      return true;
  return false;
}

bool ShowsText(const QWidget* w) {
  if (auto* l = qobject_cast<const QLabel*>(w)) return !l->text().isEmpty();
  if (auto* b = qobject_cast<const QAbstractButton*>(w))
    return !b->text().isEmpty() || !b->icon().isNull();
  if (auto* g = qobject_cast<const QGroupBox*>(w)) return !g->title().isEmpty();
  if (auto* p = qobject_cast<const TFramedPanel*>(w)) return !p->Caption().empty();
  return qobject_cast<const QLineEdit*>(w) || qobject_cast<const QAbstractSpinBox*>(w) ||
         qobject_cast<const QComboBox*>(w) || qobject_cast<const QTabBar*>(w);
}

// What a control needs to show its text whole in its own font: what its
// style asks for, a wrapped label's height for its width, a framed panel's
// caption inside its frame bands.
QSize Needed(const QWidget* w) {
  if (auto* p = qobject_cast<const TFramedPanel*>(w)) {
    const int frame = 2 * (p->FrameThickOuter() + p->FrameThickMid() + p->FrameThickInner());
    const QFontMetrics fm = p->fontMetrics();
    return {fm.horizontalAdvance(QString::fromStdString(p->Caption())) + frame,
            fm.height() + frame};
  }
  // A push button's text inside its margins and frame (the style's wish for
  // 80 pixels at least is no need of the text).
  if (auto* b = qobject_cast<const QPushButton*>(w)) {
    const QStyle* st = b->style();
    int width = b->fontMetrics().horizontalAdvance(b->text()) +
                st->pixelMetric(QStyle::PM_ButtonMargin, nullptr, b) +
                2 * st->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, b);
    if (!b->icon().isNull()) width += b->iconSize().width() + 4;
    return {width, b->minimumSizeHint().height()};
  }
  if (auto* l = qobject_cast<const QLabel*>(w); l && l->wordWrap())
    return {0, l->heightForWidth(l->width())};
  // An edit scrolls its text: only its height must fit the font.
  if (qobject_cast<const QLineEdit*>(w)) return {0, w->minimumSizeHint().height()};
  return w->minimumSizeHint();
}

void CheckControls(QWidget* window, std::vector<std::string>& faults) {
  std::vector<QWidget*> shown;
  for (QWidget* w : window->findChildren<QWidget*>()) {
    if (!w->isVisibleTo(window) || InsideCompound(w, window) || !ShowsText(w)) continue;
    shown.push_back(w);
    const QSize need = Needed(w);
    if (w->width() < need.width() || w->height() < need.height())
      faults.push_back(Describe(w) + " is " + Text(w->size()) + " but needs " + Text(need));
    if (!w->parentWidget()->rect().contains(w->geometry()))
      faults.push_back(Describe(w) + " runs past the edge of its " +
                       w->parentWidget()->metaObject()->className());
  }
  for (size_t i = 0; i < shown.size(); ++i)
    for (size_t j = i + 1; j < shown.size(); ++j)
      if (shown[i]->parentWidget() == shown[j]->parentWidget() &&
          shown[i]->geometry().intersects(shown[j]->geometry()))
        faults.push_back(Describe(shown[i]) + " lies over " + Describe(shown[j]));
}

void CheckHeadingsAndItems(QWidget* window, std::vector<std::string>& faults) {
  for (QHeaderView* h : window->findChildren<QHeaderView*>()) {
    if (h->orientation() != Qt::Horizontal || !h->isVisibleTo(window)) continue;
    for (int s = 0; s < h->count(); ++s) {
      if (h->isSectionHidden(s)) continue;
      const std::string heading =
          "heading \"" + h->model()->headerData(s, Qt::Horizontal).toString().toStdString() + "\"";
      if (h->sectionSize(s) < h->sectionSizeHint(s))
        faults.push_back(heading + " is " + std::to_string(h->sectionSize(s)) + " wide but needs " +
                         std::to_string(h->sectionSizeHint(s)));
      if (h->sectionViewportPosition(s) + h->sectionSize(s) > h->width())
        faults.push_back(heading + " lies past its grid's right edge");
    }
  }
  // The job window's cells; the first column's URL is fitted to it on
  // purpose.
  for (TScaledStringGrid* t : window->findChildren<TScaledStringGrid*>()) {
    // The style's margins on both sides and the grid line.
    const int margins =
        2 * (t->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, t) + 1) + 1;
    for (int r = 1; r < t->RowCount(); ++r)
      for (int c = 1; c < t->ColCount(); ++c)
        if (const QString text = t->DisplayText(c, r);
            t->fontMetrics().horizontalAdvance(text) + margins > t->columnWidth(c))
          faults.push_back("cell \"" + text.toStdString() + "\" is cut in column " +
                           std::to_string(c));
  }
  for (TCheckListBoxExt* l : window->findChildren<TCheckListBoxExt*>())
    if (l->isVisibleTo(window) && l->count() > 0 &&
        l->sizeHintForColumn(0) > l->viewport()->width())
      faults.push_back("the items of " + l->objectName().toStdString() + " need " +
                       std::to_string(l->sizeHintForColumn(0)) + " pixels, the list shows " +
                       std::to_string(l->viewport()->width()));
}

// Faults of a shown window, each page of its page controls in turn.
std::vector<std::string> Faults(QWidget* window) {
  std::vector<std::string> faults;
  QList<QTabWidget*> pages = window->findChildren<QTabWidget*>();
  if (pages.isEmpty()) {
    CheckControls(window, faults);
    CheckHeadingsAndItems(window, faults);
    return faults;
  }
  for (QTabWidget* tabs : pages) {
    const int was = tabs->currentIndex();
    for (int i = 0; i < tabs->count(); ++i) {
      tabs->setCurrentIndex(i);
      test::Pump();
      std::vector<std::string> page;
      CheckControls(window, page);
      CheckHeadingsAndItems(window, page);
      for (const std::string& f : page)
        faults.push_back("page \"" + tabs->tabText(i).toStdString() + "\": " + f);
    }
    tabs->setCurrentIndex(was);
  }
  return faults;
}

std::string Join(const std::vector<std::string>& lines) {
  std::string s;
  for (const std::string& l : lines) s += "\n  " + l;
  return s;
}

// The font the platform gives before any test changes it.
const QFont& DesktopFont() {
  test::App();
  static const QFont font = QApplication::font();
  return font;
}

// The application's font is set before the windows are made, as the
// desktop's font is.
struct TFontFirst {
  explicit TFontFirst(int points) {
    QFont f = DesktopFont();
    if (points > 0) f.setPointSize(points);
    QApplication::setFont(f);
  }
};

class WindowFitTest : public ::testing::WithParamInterface<int>,
                      private TFontFirst,
                      public test::MainFormFixture {
 protected:
  WindowFitTest() : TFontFirst(GetParam()) {}
  ~WindowFitTest() override { QApplication::setFont(DesktopFont()); }
};

TEST_P(WindowFitTest, EveryWindowShowsItsTextsWhole) {
  const std::string longURL = "http://www.example.com/" + std::string(150, 'x') + "/index.html";
  struct TCase {
    const char* Name;
    QWidget* Window;
    std::function<void()> Prepare;
  };
  const TCase cases[] = {
      {"main window", Form1, [] { Form1->AddURLsFromText("http://www.example.com/a.html\r\n"); }},
      {"settings", SettingsDlg, [] {}},
      {"content types", MimeFilterDlg, [] {}},
      {"robots", RobotsDlg,
       [&] {
         RobotsStore->ParseRobotsTxt("http://www.example.com/", "User-agent: *\nDisallow: /cgi/\n",
                                     "*");
         RobotsStore->AddNoFollow(longURL);
       }},
      {"about", AboutBox, [] {}},
      {"schedule", ScheduleWindow, [] {}},
      {"dial-up", DialUpWindow, [] {}},
      {"job", DownloadWindow,
       [&] {
         DownloadFrm->Caption = "Downloading files:";
         DownloadFrm->Panels[0] = "Waiting files: 123456";
         DownloadFrm->Panels[1] = "Cache drive free (/) 123456 Meg.";
         DownloadFrm->Panels[2] = "Web drive free (/)  123456 Meg.";
         DownloadFrm->Grid.resize(3, std::vector<std::string>(6));
         for (size_t r = 1; r < 3; ++r)
           DownloadFrm->Grid[r] = {DownloadWindow->FitStatusURL(longURL),
                                   " 12345678",
                                   " 12345678",
                                   "Receiving",
                                   " 30",
                                   " 2"};
         DownloadWindow->ControlsChanged();
         DownloadWindow->GridChanged();
       }},
      {"drop", DropDlg, [] {}},
      {"message", NonModalMsg,
       [&] {
         NonModalMsg->SetCaption("Localising references:");
         NonModalMsg->ShowText(
             "References are being localised to enable local browsing.\n\nPage:-\n" +
             NonModalMsg->FitToLabel(longURL));
       }},
      {"file copy", FileCopyDlg, [] { FileCopyDlg->Start("3"); }},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    ASSERT_NE(c.Window, nullptr);
    c.Prepare();
    c.Window->show();
    test::Pump();
    const std::vector<std::string> faults = Faults(c.Window);
    EXPECT_TRUE(faults.empty()) << c.Name << " at " << QApplication::font().pointSize()
                                << " points:" << Join(faults);
    // A window is never smaller than its layout needs.
    EXPECT_GE(c.Window->width(), c.Window->minimumSizeHint().width()) << c.Name;
    EXPECT_GE(c.Window->height(), c.Window->minimumSizeHint().height()) << c.Name;
    c.Window->hide();
  }
  FileCopyDlg->Finish();
  NonModalMsg->HideMsg();
}

// The content types a user picks from: every subtype in view, none behind
// a scroll bar.
TEST_P(WindowFitTest, EveryCommonContentTypeIsInView) {
  MimeFilterDlg->show();
  test::Pump();
  for (TCheckListBoxExt* l :
       {MimeFilterDlg->ImageList, MimeFilterDlg->AppList, MimeFilterDlg->TextList,
        MimeFilterDlg->SoundList, MimeFilterDlg->VideoList}) {
    SCOPED_TRACE(l->objectName().toStdString());
    for (int i = 0; i < l->count(); ++i)
      EXPECT_TRUE(l->viewport()->rect().contains(l->visualItemRect(l->item(i))))
          << l->item(i)->text().toStdString();
  }
}

INSTANTIATE_TEST_SUITE_P(Fonts, WindowFitTest, ::testing::Values(0, 16),
                         [](const ::testing::TestParamInfo<int>& p) {
                           return p.param == 0 ? std::string("DesktopFont")
                                               : "Font" + std::to_string(p.param) + "pt";
                         });

}  // namespace
}  // namespace qv
