// What the project session asks of the main window (showing the project's
// values, the caption, the status bar, the busy cursor), and the
// URL views: the "Filters" page, the URL list, the attributes panel and the
// thumbnail.
#include <chrono>
#include <mutex>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QEventLoop>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>

#include "model/syshelpers.h"
#include "model/tvurlutils.h"
#include "model/vkfile.h"
#include "model/vkglobal.h"
#include "model/vkurllist.h"
#include "ui/appwindows.h"
#include "ui/controls/filtergrid.h"
#include "ui/controls/qtext.h"
#include "ui/controls/stringatrgrid.h"
#include "ui/controls/tvimagepanel.h"
#include "ui/controls/urllistbox.h"
#include "ui/mainform.h"
#include "ui/mimefilterdialog.h"
#include "ui/qtprompter.h"
#include "ui/settingsdialog.h"
#include "ui/urllistwalk.h"

namespace qv {

namespace {

inline constexpr char kHiddenWarning[] =
    "WARNING!! Filter settings are causing some URLs to be hidden";

// Runs a handler for the events of the objects it is installed on; the
// handler's true swallows the event.
class TEventHook : public QObject {
 public:
  TEventHook(QObject* parent, std::function<bool(QObject*, QEvent*)> handler)
      : QObject(parent), Handler(std::move(handler)) {}
  bool eventFilter(QObject* o, QEvent* e) override { return Handler(o, e); }

 private:
  std::function<bool(QObject*, QEvent*)> Handler;
};

QComboBox* const* ComboOf(const TForm1& f, int i) {
  QComboBox* const* combos[] = {&f.DLFilesCombo,     &f.ChkFilesCombo, &f.NewFilesCombo,
                                &f.FailedFilesCombo, &f.DelFilesCombo, &f.WebPgFilesCombo,
                                &f.ImageLinksCombo};
  return combos[i];
}

TComboChoice TViewFilter::*const kComboFields[] = {
    &TViewFilter::DLFilesCombo,     &TViewFilter::ChkFilesCombo, &TViewFilter::NewFilesCombo,
    &TViewFilter::FailedFilesCombo, &TViewFilter::DelFilesCombo, &TViewFilter::WebPgFilesCombo,
    &TViewFilter::ImageLinksCombo};

TMimeFilter CurrentMimeFilter() {
  return MimeFilterDlg ? MimeFilterDlg->Filter() : *GlobalMimeFilter().Get();
}

}  // namespace

// ---- the project's values ---------------------------------------------------

void TForm1::ShowProject(const TProjectValues& values) {
  if (SettingsDlg) SettingsDlg->Apply(values.Settings);
  if (MimeFilterDlg) MimeFilterDlg->SetFilter(values.MimeFilter);
  FilterToControls(values.ViewFilter);
  PublishViewFilter();
  Grid1->SetRows(values.RootURLs);
}

void TForm1::ClearRootURLs() { Grid1->ClearRows(); }

void TForm1::SetCaption(const std::string& caption) { setWindowTitle(PromptText(caption)); }

void TForm1::SetStatusText(const std::string& text) { StatusBar1->showMessage(PromptText(text)); }

void TForm1::ShowLoadProgress(const std::string& text) {
  SetStatusText(text);
  // Often enough to repaint the progress and keep the window system's
  // pings answered, seldom enough to cost the load nothing measurable.
  const auto now = std::chrono::steady_clock::now();
  if (now - LoadMessagesRan < std::chrono::milliseconds(40)) return;
  LoadMessagesRan = now;
  // Only what cannot reach the project runs: the lists are being replaced,
  // so a click, a timer (auto-paste, the schedule, the outbox) or a socket
  // (the close signal) waits for the end of the load.
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents |
                                  QEventLoop::ExcludeSocketNotifiers |
                                  QEventLoop::X11ExcludeTimers);
}

void TForm1::SetBusy(bool busy) {
  if (busy)
    QApplication::setOverrideCursor(Qt::WaitCursor);
  else if (QApplication::overrideCursor())
    QApplication::restoreOverrideCursor();
}

void TForm1::SetLocalWebDirText(const std::string& dir) {
  if (!SettingsDlg) return;
  TSettings s = SettingsDlg->Capture();
  s.LocWebEd = dir;
  SettingsDlg->Apply(s);
}

// ---- the "Filters" page -----------------------------------------------------

TViewFilter TForm1::FilterFromControls() const {
  TViewFilter f;
  for (int i = 0; i < 7; ++i) {
    const int c = (*ComboOf(*this, i))->currentIndex();
    f.*kComboFields[i] = c >= ccNone && c <= ccNo ? static_cast<TComboChoice>(c) : ccNone;
  }
  f.FilGrid = FilGrid->Rows();
  f.MinSizeEd = FromQ(MinSizeEd->text());
  f.MaxSizeEd = FromQ(MaxSizeEd->text());
  f.LimitAdditionsChk = LimitAdditionsChk->isChecked();
  f.AutoUpChk = AutoUpChk->isChecked();
  return f;
}

void TForm1::FilterToControls(const TViewFilter& f) {
  QObject* const quiet[] = {DLFilesCombo,  ChkFilesCombo,   NewFilesCombo,    FailedFilesCombo,
                            DelFilesCombo, WebPgFilesCombo, ImageLinksCombo,  MinSizeEd,
                            MaxSizeEd,     AutoUpChk,       LimitAdditionsChk};
  for (QObject* o : quiet) o->blockSignals(true);
  for (int i = 0; i < 7; ++i) (*ComboOf(*this, i))->setCurrentIndex(f.*kComboFields[i]);
  FilGrid->SetRows(f.FilGrid);
  MinSizeEd->setText(ToQ(f.MinSizeEd));
  MaxSizeEd->setText(ToQ(f.MaxSizeEd));
  LimitAdditionsChk->setChecked(f.LimitAdditionsChk);
  AutoUpChk->setChecked(f.AutoUpChk);
  UpdateBtn->setEnabled(!f.AutoUpChk);
  for (QObject* o : quiet) o->blockSignals(false);
}

void TForm1::PublishViewFilter() {
  ViewFilter = FilterFromControls();
  GlobalViewFilter().Publish(ViewFilter);
}

void TForm1::FilterChanged() {
  PublishViewFilter();
  SetModified();
  if (AutoUpChk->isChecked()) RefreshURLList();
}

void TForm1::UpdateTimerTimer() {
  UpdateTimer->stop();
  PublishViewFilter();
  RefreshURLList();
}

void TForm1::ConnectViews() {
  FilGrid->SetSelList({"", "All", "Only", "No", "All(T)", "Only(T)", "No(T)"});
  FilGrid->horizontalHeader()->setStretchLastSection(false);
  FilGrid->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
  FilGrid->setColumnWidth(1, 90);

  // The combos choose by their drop-down only: typed characters would pick
  // an item by its first letter.
  auto* noTyping = new TEventHook(this, [](QObject*, QEvent* e) {
    if (e->type() != QEvent::KeyPress) return false;
    const auto* k = static_cast<QKeyEvent*>(e);
    return !k->text().isEmpty() && k->text().at(0).isPrint();
  });
  for (int i = 0; i < 7; ++i) {
    QComboBox* c = *ComboOf(*this, i);
    c->installEventFilter(noTyping);
    connect(c, &QComboBox::currentIndexChanged, this, [this] { FilterChanged(); });
  }
  connect(LimitAdditionsChk, &QCheckBox::toggled, this, [this] { FilterChanged(); });
  connect(AutoUpChk, &QCheckBox::clicked, this, [this] {
    if (AutoUpChk->isChecked()) {
      UpdateBtn->setEnabled(false);
      FilterChanged();
    } else {
      UpdateBtn->setEnabled(true);
      PublishViewFilter();
    }
  });
  connect(UpdateBtn, &QPushButton::clicked, this, [this] {
    HelpControl = UpdateBtn;
    PublishViewFilter();
    RefreshURLList();
    if (AutoUpChk->isChecked()) UpdateBtn->setEnabled(false);
  });

  // Sizes: digits and backspace only; the view follows on leaving the edit.
  for (QLineEdit* e : {MinSizeEd, MaxSizeEd}) {
    e->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), e));
    // Published at once, as every other filter control is: a job started
    // before the view follows queues by the limits shown.
    connect(e, &QLineEdit::textEdited, this, [this] {
      SizeFilterEdited = true;
      PublishViewFilter();
    });
  }
  auto* sizeLeave = new TEventHook(this, [this](QObject*, QEvent* e) {
    if (e->type() == QEvent::FocusOut && SizeFilterEdited) UpdateTimer->start();
    return false;
  });
  MinSizeEd->installEventFilter(sizeLeave);
  MaxSizeEd->installEventFilter(sizeLeave);

  FilGrid->OnEdited = [this](TStringAtrGrid*, int col, int gridRow, const std::string& text) {
    if (!Session().ValidateLocalWebDir()) {
      // A choice from the drop-down is in the grid already: what the grid
      // shows is what the workers filter by and a save stores.
      PublishViewFilter();
      return;
    }
    SetModified();
    const int row = gridRow - 1;
    // A row deleted here takes its choice with it: the view must follow as
    // when the choice itself changed.
    const bool hadChoice =
        row >= 0 && row < FilGrid->Count() && AttrByte(FilGrid->Attr(row), 0) != fcNone;
    if (col == 0) {
      if (row >= 0 && row < FilGrid->Count()) {
        if (text.empty())
          FilGrid->DeleteRow(row);
        else
          FilGrid->SetRowText(row, text);
      } else if (!text.empty()) {
        FilGrid->AddRow(text, 0);
      }
    }
    PublishViewFilter();
    const bool hasChoice =
        row >= 0 && row < FilGrid->Count() && AttrByte(FilGrid->Attr(row), 0) != fcNone;
    if (AutoUpChk->isChecked() && (col == 1 || row < 0 || hadChoice || hasChoice))
      UpdateTimer->start();
  };
  FilGrid->OnKeyDown = [this](TStringAtrGrid*, int key, Qt::KeyboardModifiers) {
    if (key == Qt::Key_Down) {
      FilGrid->FlushEditText();
      QCoreApplication::processEvents();
      return false;
    }
    if (key == Qt::Key_Delete && !FilGrid->EditorOpen()) {
      if (FilGrid->DeleteSelected()) FilterChanged();
      return true;
    }
    return false;
  };

  UpdateTimer = new QTimer(this);
  UpdateTimer->setInterval(100);
  connect(UpdateTimer, &QTimer::timeout, this, [this] { UpdateTimerTimer(); });
  Outbox_ = std::make_unique<TOutbox>();
  Adder_ = std::make_unique<TURLAdder>(*Outbox_);
  DrainTimer = new QTimer(this);
  DrainTimer->setInterval(100);
  connect(DrainTimer, &QTimer::timeout, this, [this] { DrainOutbox(); });
  DrainTimer->start();

  // The list.
  SingURLs->OnChangeFocus = [this] { ShowAttributes(); };
  SingURLs->OnClickCheck = [this](int line, bool on) {
    // The record follows the line at once: a rebuild or a pass that starts
    // before the mouse is released must see the mark the user set.
    const std::string url = SingURLs->ItemText(line);
    {
      std::lock_guard<TCriticalSection> hold(*URLListLock);
      if (TVkURLItem* r = GlobalURLList->FindItem(url)) r->Checked = on ? 1 : 0;
    }
    SetModified();
    UpdateBtn->setEnabled(true);
  };
  SingURLs->OnMouseUp = [this] {
    const int cur = SingURLs->ItemIndex();
    if (cur < 0 || SingURLs->selectionModel()->selectedRows().isEmpty()) return;
    const std::string url = SingURLs->ItemText(cur);
    std::lock_guard<TCriticalSection> hold(*URLListLock);
    if (TVkURLItem* r = GlobalURLList->FindItem(url)) r->Checked = SingURLs->Checked(cur) ? 1 : 0;
  };

  connect(Button1, &QPushButton::clicked, this, [this] { CheckAllURLs(true); });
  connect(Button5, &QPushButton::clicked, this, [this] { CheckAllURLs(false); });
  // The thumbnail is centred in its area, whatever size the page gives it.
  QWidget* thumbArea = ThumbImage1->parentWidget();
  thumbArea->installEventFilter(new TEventHook(this, [this, thumbArea](QObject*, QEvent* e) {
    if (e->type() == QEvent::Resize) ThumbBounds = {0, 0, thumbArea->width(), thumbArea->height()};
    return false;
  }));
  // A mouse-up on the pages while "Images" shows brings its thumbnail.
  PageControl1->tabBar()->installEventFilter(new TEventHook(this, [this](QObject*, QEvent* e) {
    if (e->type() == QEvent::MouseButtonRelease && PageControl1->currentWidget() == ImagesPage)
      QTimer::singleShot(0, this, [this] { ShowAttributes(); });
    return false;
  }));
  // What silent printing could not do (no printer, a file that would not
  // load) is said in the status bar.
  ThumbImage1->SetOnStatus([this](const std::string& text) { SetStatusText(text); });
  connect(URLImageRBtn, &QRadioButton::clicked, this, [this] { ShowAttributes(); });
  connect(LinkImageRBtn, &QRadioButton::clicked, this, [this] { ShowAttributes(); });
  // The workers' snapshot starts as the controls show it, not as a window
  // made before this one left it.
  PublishViewFilter();
}

// ---- the filter test and the list -------------------------------------------

bool TForm1::URLPassesFilters(const std::string& url, TVkURLItem* record) {
  const TMimeFilter mime = CurrentMimeFilter();
  if (record) return qv::URLPassesFilters(ViewFilter, mime, *record);
  return qv::URLPassesFilters(ViewFilter, mime, url);
}

void TForm1::RefreshURLList() {
  SetStatusText("");
  ListRebuilt = false;
  bool warned = false;
  bool warningShown = false;
  const TViewFilter filter = ViewFilter;
  const TMimeFilter mime = CurrentMimeFilter();
  TMessagePace pace;
  const bool whole = RefillURLLines(
      *SingURLs->Lines(),
      [&] {
        // The warning is shown here, outside the list lock.
        if (warned && !warningShown) {
          warningShown = true;
          SetStatusText(kHiddenWarning);
        }
        if (pace.Due()) {
          NumURLsEd->setText(QString::number(SingURLs->Count()));
          QCoreApplication::processEvents();
        }
        // A newer rebuild that ran and finished meanwhile has the list.
        return !ListRebuilt;
      },
      [&](TVkURLItem& r) {
        if (qv::URLPassesFilters(filter, mime, r)) return true;
        warned = true;
        return false;
      });
  if (whole && warned && !warningShown) SetStatusText(kHiddenWarning);
  if (whole) {
    NumURLsEd->setText(QString::number(SingURLs->Count()));
    ListRebuilt = true;
    SizeFilterEdited = false;
  }
  if (SingURLs->Count() > 0) {
    SingURLs->SetItemIndex(0);
    ShowAttributes();
  }
}

void TForm1::CheckAllURLs(bool on) {
  CheckPassDone = false;
  const TViewFilter filter = ViewFilter;
  const TMimeFilter mime = CurrentMimeFilter();
  std::vector<std::string> marked;
  TMessagePace pace;
  const bool whole = WalkURLList(
      [&] {
        if (pace.Due()) QCoreApplication::processEvents();
        return !CheckPassDone;
      },
      [&](TVkURLItem& r) {
        if (qv::URLPassesFilters(filter, mime, r)) {
          r.Checked = on ? 1 : 0;
          marked.push_back(r.URL);
        }
      },
      [&] {
        // Lines appended by additions are out of order: a URL's line is
        // found through the list's own map, not by a search over sorted
        // lines.
        for (const std::string& url : marked) SingURLs->SetChecked(SingURLs->IndexOf(url), on);
        marked.clear();
      });
  if (whole) CheckPassDone = true;
}

int TForm1::AddURLItem(uint8_t appendToView, const TVkURLItem& record) {
  return Adder_->AddURLItem(appendToView, record);
}

int TForm1::AddURLItemLocked(uint8_t appendToView, const TVkURLItem& record) {
  return Adder_->AddURLItemLocked(appendToView, record);
}

int TForm1::AddFoundURL(uint8_t appendToView, const std::string& url, const std::string& foundURL,
                        const std::string& parentURL, uint8_t pageFileFlag,
                        const std::string& title, const std::string& imageURL, int32_t size) {
  return Adder_->AddFoundURL(appendToView, url, foundURL, parentURL, pageFileFlag, title, imageURL,
                             size);
}

void TForm1::DrainOutbox() {
  if (!Outbox_->Pending()) return;
  TOutbox::TDrained d = Outbox_->Drain();
  if (!d.Lines.empty()) {
    // A line takes its record's mark; a rebuild that ran since the post may
    // show the URL already, and the list keeps each URL once.
    std::vector<TURLListModel::TNewLine> batch;
    batch.reserve(d.Lines.size());
    {
      std::lock_guard<TCriticalSection> hold(*URLListLock);
      for (const std::string& url : d.Lines) {
        const TVkURLItem* r = GlobalURLList->FindItem(url);
        batch.push_back({url, r && r->Checked != 0});
      }
    }
    SingURLs->Lines()->AppendBatch(batch);
  }
  if (!d.Lines.empty() || d.CountChanged) NumURLsEd->setText(QString::number(SingURLs->Count()));
  if (d.Modified) SetModified();
  if (!d.StatusTexts.empty()) SetStatusText(d.StatusTexts.back());
}

// ---- the attributes panel and the thumbnail ---------------------------------

void TForm1::ShowAttributes() {
  if (SingURLs->Count() == 0) return;
  const int cur = SingURLs->ItemIndex();
  if (cur < 0) {
    ClearAttributes();
    return;
  }
  const std::string url = SingURLs->ItemText(cur);
  std::string imageURL;
  {
    std::lock_guard<TCriticalSection> hold(*URLListLock);
    TVkURLItem* r = GlobalURLList->FindItem(url);
    if (!r) {
      ClearAttributes();
      return;
    }
    StatusEd->setText(ToQ(r->GetStatusText()));
    DetailsBtn->setEnabled(!r->Details.empty());
    SizeEd->setText(r->Size > 0 ? QString::number(r->Size) : QStringLiteral("Unavailable"));
    ContentTypeEd->setText(ToQ(r->ContentType));
    ParentURLEd->setText(ExternalToQ(r->ParentURL));
    TextEdit->setPlainText(ExternalToQ(r->Title));
    imageURL = r->ImageURL;
  }
  PrintImageBtn->setEnabled(false);
  if (PageControl1->currentWidget() == ImagesPage) {
    std::string source;
    if (LinkImageRBtn->isChecked() && !imageURL.empty())
      source = imageURL;
    else if (URLImageRBtn->isChecked())
      source = url;
    if (!source.empty()) {
      // The panel, its page and the printer take the file's own path: the
      // layout's form with backslashes names no file here.
      const std::string path = NativePath(URLToLocalPath(LocalWebDir(), source, "Data", ""));
      if (!path.empty() && IsImageFile(path) && LockedFileExists(path)) {
        ShowThumbnail(path);
        return;
      }
    }
  }
  ThumbImage1->hide();
}

void TForm1::ClearAttributes() {
  StatusEd->clear();
  SizeEd->clear();
  ContentTypeEd->clear();
  ParentURLEd->clear();
  TextEdit->clear();
  DetailsBtn->setEnabled(false);
  ThumbImage1->hide();
}

void TForm1::ShowThumbnail(const std::string& path) {
  ThumbImage1->ImageFile = path;
  ThumbImage1->FrameImage(ThumbBounds.Width, ThumbBounds.Height, false);
  const int w = ThumbImage1->width(), h = ThumbImage1->height();
  ThumbImage1->move(ThumbBounds.Left + (ThumbBounds.Width - w) / 2,
                    ThumbBounds.Top + (ThumbBounds.Height - h) / 2);
  PrintImageBtn->setEnabled(true);
  if (!ThumbShown) {
    ThumbShown = true;
    ThumbImage1->show();
  }
  ThumbImage1->ShowOnComplete = 1;
  ThumbImage1->LoadPage();
}

}  // namespace qv
