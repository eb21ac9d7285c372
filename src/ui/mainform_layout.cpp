// The main window's controls and their places. Behaviour is elsewhere.
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "ui/aboutbox.h"
#include "ui/controls/filtergrid.h"
#include "ui/controls/passwordgrid.h"
#include "ui/controls/stringatrgrid.h"
#include "ui/controls/tvimagepanel.h"
#include "ui/controls/uotarget.h"
#include "ui/controls/urllistbox.h"
#include "ui/mainform.h"

namespace qv {

namespace {

// A placeholder button: it only carries its page's help context and takes
// the focus when the page comes up, so it sits behind the page's controls.
QPushButton* HelpDummy(QWidget* page, int context) {
  auto* b = new QPushButton(page);
  b->setGeometry(0, 0, 1, 1);
  b->setFlat(true);
  b->setProperty("HelpContext", context);
  b->lower();
  return b;
}

QComboBox* ChoiceCombo(QWidget* parent) {
  auto* c = new QComboBox(parent);
  c->addItems({"", "All", "Only", "No"});
  c->setEditable(false);
  return c;
}

QLineEdit* ReadOnlyEdit(QWidget* parent) {
  auto* e = new QLineEdit(parent);
  e->setReadOnly(true);
  return e;
}

// One of the two large job buttons: the program's logo as its glyph.
QPushButton* LargeButton(const QString& caption, QWidget* parent) {
  auto* b = new QPushButton(caption, parent);
  b->setIcon(QIcon(ProductLogo(48)));
  b->setIconSize(QSize(48, 48));
  b->setMinimumSize(150, 64);
  QFont f = b->font();
  f.setBold(true);
  b->setFont(f);
  return b;
}

}  // namespace

void TForm1::BuildLayout() {
  setObjectName("Form1");
  setProperty("HelpContext", kMainFormHelp);
  resize(760, 560);

  auto* central = new QWidget(this);
  setCentralWidget(central);
  auto* outer = new QVBoxLayout(central);
  auto* split = new QSplitter(Qt::Vertical, central);
  outer->addWidget(split);

  PageControl1 = new QTabWidget(split);
  PageControl1->setObjectName("PageControl1");

  // "Retrieve": the root URLs and the two job buttons.
  RetrievePage = new QWidget;
  RetrievePage->setProperty("HelpContext", kRetrievePageHelp);
  RetrieveHDummy = HelpDummy(RetrievePage, kRetrievePageHelp);
  {
    auto* lay = new QHBoxLayout(RetrievePage);
    Grid1 = new TStringAtrGrid(RetrievePage);
    Grid1->setObjectName("Grid1");
    Grid1->setProperty("HelpContext", kRootGridHelp);
    Grid1->SetHeadings({"Root URLs", "Levels"});
    Grid1->setColumnWidth(1, 90);
    Grid1->horizontalHeader()->setStretchLastSection(false);
    Grid1->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    lay->addWidget(Grid1, 1);
    auto* buttons = new QVBoxLayout;
    QMBtn = LargeButton("Quick mirror", RetrievePage);
    DLBtn = LargeButton("Download files", RetrievePage);
    buttons->addWidget(QMBtn);
    buttons->addWidget(DLBtn);
    buttons->addStretch(1);
    lay->addLayout(buttons);
  }
  PageControl1->addTab(RetrievePage, "Retrieve");

  // "Filters": the view filter.
  FiltersPage = new QWidget;
  FiltersPage->setProperty("HelpContext", kFiltersPageHelp);
  FiltersHDummy = HelpDummy(FiltersPage, kFiltersPageHelp);
  {
    auto* lay = new QHBoxLayout(FiltersPage);
    auto* combos = new QFormLayout;
    DLFilesCombo = ChoiceCombo(FiltersPage);
    ChkFilesCombo = ChoiceCombo(FiltersPage);
    NewFilesCombo = ChoiceCombo(FiltersPage);
    FailedFilesCombo = ChoiceCombo(FiltersPage);
    DelFilesCombo = ChoiceCombo(FiltersPage);
    WebPgFilesCombo = ChoiceCombo(FiltersPage);
    ImageLinksCombo = ChoiceCombo(FiltersPage);
    combos->addRow("Downloaded files", DLFilesCombo);
    combos->addRow("Checked files", ChkFilesCombo);
    combos->addRow("New files", NewFilesCombo);
    combos->addRow("Failed files", FailedFilesCombo);
    combos->addRow("Deleted files", DelFilesCombo);
    combos->addRow("Web page files", WebPgFilesCombo);
    combos->addRow("Image links", ImageLinksCombo);
    lay->addLayout(combos);

    auto* middle = new QVBoxLayout;
    FilGrid = new TFilterGrid(FiltersPage);
    FilGrid->setObjectName("FilGrid");
    FilGrid->SetHeadings({"Name specifications", "Filter"});
    FilGrid->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    FilGrid->setColumnWidth(1, 90);
    middle->addWidget(FilGrid, 1);
    auto* sizes = new QHBoxLayout;
    MinSizeEd = new QLineEdit("0", FiltersPage);
    MaxSizeEd = new QLineEdit("0", FiltersPage);
    sizes->addWidget(new QLabel("Min. Size", FiltersPage));
    sizes->addWidget(MinSizeEd);
    sizes->addWidget(new QLabel("Max. Size", FiltersPage));
    sizes->addWidget(MaxSizeEd);
    middle->addLayout(sizes);
    lay->addLayout(middle, 1);

    auto* right = new QVBoxLayout;
    AutoUpChk = new QCheckBox("Auto Update", FiltersPage);
    AutoUpChk->setChecked(true);
    UpdateBtn = new QPushButton("Update", FiltersPage);
    UpdateBtn->setEnabled(false);
    LimitAdditionsChk = new QCheckBox("Limit additions", FiltersPage);
    Button1 = new QPushButton("Check all", FiltersPage);
    Button5 = new QPushButton("Uncheck all", FiltersPage);
    right->addWidget(AutoUpChk);
    right->addWidget(UpdateBtn);
    right->addWidget(LimitAdditionsChk);
    right->addSpacing(12);
    right->addWidget(Button1);
    right->addWidget(Button5);
    right->addStretch(1);
    lay->addLayout(right);
  }
  PageControl1->addTab(FiltersPage, "Filters");

  // "Images": the focused URL's attributes and its thumbnail.
  ImagesPage = new QWidget;
  ImagesPage->setProperty("HelpContext", kImagesPageHelp);
  URLAttribsHDummy = HelpDummy(ImagesPage, kImagesPageHelp);
  {
    auto* lay = new QHBoxLayout(ImagesPage);
    auto* attribs = new QGroupBox("URL attributes", ImagesPage);
    auto* form = new QFormLayout(attribs);
    StatusEd = ReadOnlyEdit(attribs);
    SizeEd = ReadOnlyEdit(attribs);
    ContentTypeEd = ReadOnlyEdit(attribs);
    ParentURLEd = ReadOnlyEdit(attribs);
    TextEdit = new QPlainTextEdit(attribs);
    TextEdit->setReadOnly(true);
    TextEdit->setMaximumHeight(60);
    DetailsBtn = new QPushButton("Details", attribs);
    DetailsBtn->setEnabled(false);
    form->addRow("Status", StatusEd);
    form->addRow("Size", SizeEd);
    form->addRow("Content type", ContentTypeEd);
    form->addRow("Parent URL", ParentURLEd);
    form->addRow("Title", TextEdit);
    form->addRow("", DetailsBtn);
    lay->addWidget(attribs, 1);

    auto* images = new QVBoxLayout;
    URLImageRBtn = new QRadioButton("Show URL's image", ImagesPage);
    URLImageRBtn->setChecked(true);
    LinkImageRBtn = new QRadioButton("Show link's image", ImagesPage);
    auto* radios = new QHBoxLayout;
    radios->addWidget(URLImageRBtn);
    radios->addWidget(LinkImageRBtn);
    images->addLayout(radios);
    // The thumbnail is placed by hand, centred in the area's bounds.
    auto* thumbArea = new QWidget(ImagesPage);
    thumbArea->setObjectName("ThumbArea");
    thumbArea->setMinimumSize(160, 120);
    ThumbImage1 = new TTvImagePanel(thumbArea);
    ThumbImage1->setObjectName("ThumbImage1");
    ThumbImage1->setGeometry(0, 0, 160, 120);
    images->addWidget(thumbArea, 1);
    DLIELabel = new QLabel("Images are shown through the system's web browser", ImagesPage);
    DLIEBtn = new QPushButton("Download Internet Explorer", ImagesPage);
    images->addWidget(DLIELabel);
    images->addWidget(DLIEBtn);
    auto* row = new QHBoxLayout;
    PrintImageBtn = new QPushButton("Print image", ImagesPage);
    PrintImageBtn->setEnabled(false);
    SlideShowBtn = new QPushButton("Slide show", ImagesPage);
    FullScreenBtn = new QPushButton("Full screen view", ImagesPage);
    ViewIntEd = new QSpinBox(ImagesPage);
    ViewIntEd->setRange(1, 120);
    ViewIntEd->setValue(3);
    row->addWidget(PrintImageBtn);
    row->addWidget(SlideShowBtn);
    row->addWidget(FullScreenBtn);
    row->addWidget(ViewIntEd);
    images->addLayout(row);
    lay->addLayout(images, 1);
  }
  PageControl1->addTab(ImagesPage, "Images");

  // "Passwords": the per-site credentials.
  PasswordsPage = new QWidget;
  PasswordsPage->setProperty("HelpContext", kPasswordsPageHelp);
  PasswordsHDummy = HelpDummy(PasswordsPage, kPasswordsPageHelp);
  {
    auto* lay = new QVBoxLayout(PasswordsPage);
    PWGrid = new TPassWordGrid(PasswordsPage);
    PWGrid->setObjectName("PWGrid");
    PWGrid->SetHeadings({"URL", "User ID", "Password"});
    PWGrid->PWCol = 2;
    PWGrid->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    PWGrid->setColumnWidth(1, 140);
    PWGrid->setColumnWidth(2, 140);
    lay->addWidget(PWGrid);
  }
  PageControl1->addTab(PasswordsPage, "Passwords");

  // The URL list under the pages.
  auto* listArea = new QWidget(split);
  {
    auto* lay = new QVBoxLayout(listArea);
    lay->setContentsMargins(0, 0, 0, 0);
    SingURLs = new TURLListBox(listArea);
    SingURLs->setObjectName("SingURLs");
    lay->addWidget(SingURLs, 1);
    auto* count = new QHBoxLayout;
    count->addStretch(1);
    count->addWidget(new QLabel("Num. URLs:", listArea));
    NumURLsEd = ReadOnlyEdit(listArea);
    NumURLsEd->setMaximumWidth(90);
    NumURLsEd->setText("0");
    count->addWidget(NumURLsEd);
    lay->addLayout(count);
  }
  split->setStretchFactor(0, 1);
  split->setStretchFactor(1, 1);

  StatusBar1 = statusBar();

  HelpPopup = new QMenu(this);
  HelpPopup->addAction("&Help", this, [this] { HelpMenuClick(); });

  MinimizeTimer = new QTimer(this);
  MinimizeTimer->setInterval(50);
  connect(MinimizeTimer, &QTimer::timeout, this, [this] { MinimizeTimerTimer(); });
  BrowseHelpTimer = new QTimer(this);
  BrowseHelpTimer->setInterval(1000);
  connect(BrowseHelpTimer, &QTimer::timeout, this, [this] { BrowseHelpTimerTimer(); });

  RootURLsDrop = new TUOTextTarget(this);
  URLsDrop = new TUOTextTarget(this);
}

}  // namespace qv
