#include "ui/settingsdialog.h"

#include <algorithm>
#include <map>
#include <set>

#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QScrollBar>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

#include "model/linkfollow.h"
#include "model/projectfile.h"
#include "model/vkfile.h"
#include "platform/progfolder.h"
#include "ui/controls/comboboxext.h"
#include "ui/controls/filtergrid.h"
#include "ui/controls/fontfit.h"
#include "ui/controls/qtext.h"
#include "ui/mimefilterdialog.h"
#include "ui/qtprompter.h"

namespace qv {

namespace {

constexpr int kHelpForm = 77;
const char* const kPages[] = {"Quick mirror", "Download", "Browsing", "Scheduling",
                              "Configuration"};
const int kPageHelp[] = {106, 87, 91, 107, 108};
const char* const kWeekdays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kSlots[] = {"12am", "2am", "4am", "6am", "8am", "10am",
                              "12pm", "2pm", "4pm", "6pm", "8pm", "10pm"};

// Text after a number box.
const std::map<std::string, std::string> kUnits = {
    {"TimeOutUD", "seconds"},
    {"MaxThreadsUD", "total"},
    {"MaxThrServUD", "per server"},
    {"DLRetriesUD", "per file"},
    {"StayConUD", "mins. till next"},
    {"HrsUD", "Hrs."},
    {"MinsUD", ""},
};
// Controls that sit on the line of the control before them.
const std::set<std::string> kSameLine = {"MinsUD", "RepeatUnitsCombo", "HTTPPrPortEdit",
                                         "FTPPrPortEdit"};
// Controls the user may only step, never type into.
const std::set<std::string> kNoKeys = {"HrsUD", "MinsUD", "RepeatTimeCombo", "RepeatUnitsCombo"};

// A number box showing two digits ("05"), as the daily-time boxes do.
class TTwoDigitSpinBox : public QSpinBox {
 public:
  using QSpinBox::QSpinBox;

 protected:
  QString textFromValue(int v) const override { return QString("%1").arg(v, 2, 10, QChar('0')); }
};

// Swallows every key: the box changes only through its arrows or list.
class TKeyEater : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject*, QEvent* e) override {
    return e->type() == QEvent::KeyPress || e->type() == QEvent::KeyRelease;
  }
};

}  // namespace

TSettingsDlg::TSettingsDlg(QWidget* parent) : QDialog(parent), Target(&GlobalSettings()) {
  setObjectName("SettingsDlg");
  setWindowTitle("Settings:-");
  setProperty("HelpContext", kHelpForm);
  Build();
  Apply(FormDefaults());
  BindSignals();
  // The designed client area where the user's font lets every page fit in
  // it, larger where it does not.
  FixFittedSize(this, QSize(399, 448));
}

TPrompter& TSettingsDlg::Prompter() const { return Prompter_ ? *Prompter_ : AppPrompter(); }

QWidget* TSettingsDlg::Control(const char* name) const {
  return findChild<QWidget*>(QString::fromLatin1(name));
}

QWidget* TSettingsDlg::MakeControl(const TOption& o, QWidget* parent) {
  QWidget* w = nullptr;
  switch (o.Kind) {
    case TOptionKind::Check:
      w = new QCheckBox(o.Caption, parent);
      break;
    case TOptionKind::Radio:
      w = new QRadioButton(o.Caption, parent);
      break;
    case TOptionKind::Number: {
      QSpinBox* sb = (std::string(o.Control) == "HrsUD" || std::string(o.Control) == "MinsUD")
                         ? new TTwoDigitSpinBox(parent)
                         : new QSpinBox(parent);
      sb->setRange(o.Min, o.Max);
      // The designed width, or what the largest value needs in this font.
      const int designed = std::string(o.Control) == "StayConUD" ? 60 : 52;
      sb->setFixedWidth(std::max(designed, sb->sizeHint().width()));
      w = sb;
      break;
    }
    case TOptionKind::Text: {
      auto* e = new QLineEdit(parent);
      if (std::string(o.Control) == "PrPWEdit") e->setEchoMode(QLineEdit::Password);
      if (std::string(o.Control) == "CaFiLiEd")
        e->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), e));
      w = e;
      break;
    }
    case TOptionKind::Combo: {
      auto* c = new TComboBoxExt(parent);
      // Any stored text can show, but the user only picks from the list.
      c->setEditable(true);
      c->lineEdit()->setReadOnly(true);
      if (std::string(o.Control) == "RepeatTimeCombo")
        c->addItems({"", "0", "1", "2", "3", "4", "6", "8", "12"});
      else
        c->addItems({"Hrs.", "Mins.", "Secs."});
      c->setFixedWidth(std::max(64, c->sizeHint().width()));
      w = c;
      break;
    }
    case TOptionKind::Grid: {
      auto* g = new TFilterGrid(parent);
      w = g;
      break;
    }
  }
  w->setObjectName(o.Control);
  if (o.HelpContext) w->setProperty("HelpContext", o.HelpContext);
  if (kNoKeys.count(o.Control)) {
    auto* eater = new TKeyEater(w);
    w->installEventFilter(eater);
    if (auto* sb = qobject_cast<QAbstractSpinBox*>(w))
      sb->findChild<QLineEdit*>()->installEventFilter(eater);
    if (auto* cb = qobject_cast<QComboBox*>(w)) cb->lineEdit()->installEventFilter(eater);
  }
  return w;
}

void TSettingsDlg::Build() {
  auto* top = new QVBoxLayout(this);
  Pages_ = new QTabWidget(this);
  Pages_->setObjectName("PageControl");
  Pages_->setUsesScrollButtons(false);
  Pages_->setStyleSheet("QTabBar::tab { padding: 3px 5px; }");
  top->addWidget(Pages_);
  auto* okRow = new QHBoxLayout;
  auto* ok = new QPushButton("OK", this);
  ok->setObjectName("OKBtn");
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  okRow->addStretch();
  okRow->addWidget(ok);
  top->addLayout(okRow);

  std::map<std::string, QVBoxLayout*> pageLayouts;
  for (int i = 0; i < 5; ++i) {
    auto* page = new QWidget;
    page->setProperty("HelpContext", kPageHelp[i]);
    auto* l = new QVBoxLayout(page);
    l->setContentsMargins(6, 6, 6, 6);
    l->setSpacing(4);
    pageLayouts[kPages[i]] = l;
    Pages_->addTab(page, kPages[i]);
  }

  // Each group of the table becomes a titled box; options without a group
  // share an untitled one.
  std::string curPage, curGroup;
  QGroupBox* box = nullptr;
  QVBoxLayout* boxLayout = nullptr;
  QHBoxLayout* line = nullptr;
  bool lineExpands = false;
  for (const auto& o : SettingsOptions()) {
    if (o.Page != curPage || o.Group != curGroup || !box) {
      if (line && !lineExpands) line->addStretch();
      curPage = o.Page;
      curGroup = o.Group;
      box = new QGroupBox(o.Group);
      if (curGroup == "HTTP:") box->setProperty("HelpContext", 82);
      if (curGroup == "Drop target:") box->setProperty("HelpContext", 92);
      boxLayout = new QVBoxLayout(box);
      boxLayout->setContentsMargins(6, 4, 6, 4);
      boxLayout->setSpacing(2);
      pageLayouts[curPage]->addWidget(box, o.Kind == TOptionKind::Grid ? 1 : 0);
      line = nullptr;
    }
    QWidget* w = MakeControl(o, box);
    const std::string name = o.Control;
    const bool sameLine = kSameLine.count(name) && line;
    if (!sameLine) {
      if (line && !lineExpands) line->addStretch();
      lineExpands = false;
      line = new QHBoxLayout;
      line->setSpacing(4);
      boxLayout->addLayout(line, o.Kind == TOptionKind::Grid ? 1 : 0);
    }
    const bool captionInside =
        o.Kind == TOptionKind::Check || o.Kind == TOptionKind::Radio || o.Kind == TOptionKind::Grid;
    const bool captionAfter = sameLine && o.Kind == TOptionKind::Number;
    if (!captionInside && !captionAfter && *o.Caption) line->addWidget(new QLabel(o.Caption, box));
    line->addWidget(w, o.Kind == TOptionKind::Text || o.Kind == TOptionKind::Grid ? 1 : 0);
    if (kUnits.count(name) && !kUnits.at(name).empty())
      line->addWidget(new QLabel(ToQ(kUnits.at(name)), box));
    if (captionAfter) line->addWidget(new QLabel(o.Caption, box));
    if (name == "LocWebEd") {
      auto* browse = new QPushButton("Browse", box);
      browse->setObjectName("LocWebBrBtn");
      browse->setProperty("HelpContext", 17);
      connect(browse, &QPushButton::clicked, this, &TSettingsDlg::LocWebBrBtnClick);
      line->addWidget(browse);
    }
    lineExpands = lineExpands || o.Kind == TOptionKind::Text || o.Kind == TOptionKind::Grid;
    if (name == "PrjGrid") {
      auto* buttons = new QHBoxLayout;
      auto* add = new QPushButton("Add", box);
      auto* remove = new QPushButton("Remove", box);
      add->setObjectName("Button1");
      remove->setObjectName("Button3");
      add->setProperty("HelpContext", 111);
      remove->setProperty("HelpContext", 112);
      connect(add, &QPushButton::clicked, this, &TSettingsDlg::Button1Click);
      connect(remove, &QPushButton::clicked, this, &TSettingsDlg::Button3Click);
      buttons->addWidget(add);
      buttons->addWidget(remove);
      buttons->addStretch();
      boxLayout->addLayout(buttons);

      auto* days = new QGroupBox("Active days:");
      days->setProperty("HelpContext", 115);
      auto* dl = new QHBoxLayout(days);
      dl->setContentsMargins(4, 2, 2, 2);
      dl->setSpacing(0);
      for (const char* d : kWeekdays) {
        auto* c = new QCheckBox(d, days);
        c->setObjectName(QString(d) + "Chk");
        dl->addWidget(c);
        WeekdayBoxes.push_back(c);
      }
      pageLayouts[curPage]->addWidget(days);
      auto* slotBox = new QGroupBox("Active 2 hr time slots:");
      slotBox->setProperty("HelpContext", 116);
      auto* sl = new QGridLayout(slotBox);
      sl->setContentsMargins(4, 2, 2, 2);
      sl->setVerticalSpacing(0);
      sl->setHorizontalSpacing(0);
      for (int i = 0; i < 12; ++i) {
        auto* c = new QCheckBox(kSlots[i], slotBox);
        c->setObjectName(QString("Chk") + kSlots[i]);
        sl->addWidget(c, i / 6, i % 6);
        SlotBoxes.push_back(c);
      }
      pageLayouts[curPage]->addWidget(slotBox);
      // A following option starts a box of its own.
      box = nullptr;
      line = nullptr;
    }
  }
  if (line && !lineExpands) line->addStretch();
  for (auto& [name, l] : pageLayouts) l->addStretch(0);

  LinkFollowGrid_ = findChild<TFilterGrid*>("LinkFollowGrid");
  LinkFollowGrid_->SetHeadings({"Link follow specifications", "Filter"});
  LinkFollowGrid_->SetSelList({"", "All", "Only", "No", "All(T)", "Only(T)", "No(T)"});
  PrjGrid_ = findChild<TFilterGrid*>("PrjGrid");
  PrjGrid_->SetHeadings({"Mirror files", "Schedule type"});
  PrjGrid_->SetSelList({"", "Daily", "One shot", "Cyclic", "One slot"});
  PrjGrid_->setTextElideMode(Qt::ElideMiddle);
  for (TFilterGrid* g : {LinkFollowGrid_, PrjGrid_}) {
    g->verticalHeader()->setDefaultSectionSize(g->fontMetrics().height() + 6);
    g->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // The first column keeps its designed 240 pixels unless its heading needs
    // more; the grid is never too narrow for the second heading beside it.
    QHeaderView* h = g->horizontalHeader();
    h->resizeSection(0, std::max(240, h->sectionSizeHint(0)));
    g->setMinimumWidth(h->sectionSize(0) + h->sectionSizeHint(1) + 2 * g->frameWidth() +
                       g->verticalScrollBar()->sizeHint().width());
  }
  PrjGrid_->OnCanEdit = [](int, int) { return false; };

  // Every control remembers itself as the subject of context help.
  installEventFilter(this);
  for (QWidget* w : findChildren<QWidget*>()) w->installEventFilter(this);
}

void TSettingsDlg::BindSignals() {
  for (const auto& o : SettingsOptions()) {
    QWidget* w = Control(o.Control);
    const std::string name = o.Control;
    auto changed = [this] { ControlChanged(); };
    if (auto* b = qobject_cast<QAbstractButton*>(w)) {
      connect(b, &QAbstractButton::toggled, this, changed);
      // Clicks are the user's: they mark the project.
      connect(b, &QAbstractButton::clicked, this, [this] {
        Modified();
        UpdateEnabling();
      });
    } else if (auto* sb = qobject_cast<QSpinBox*>(w)) {
      connect(sb, &QSpinBox::valueChanged, this, changed);
      if (name != "StayConUD" && name != "DialupsUD")
        connect(sb, &QSpinBox::valueChanged, this, [this] {
          if (!Applying) Modified();
        });
    } else if (auto* e = qobject_cast<QLineEdit*>(w)) {
      connect(e, &QLineEdit::textChanged, this, changed);
      if (name == "LocWebEd") {
        connect(e, &QLineEdit::textEdited, this, [this] {
          Modified();
          LocWebChanged = true;
        });
      } else {
        connect(e, &QLineEdit::textEdited, this, [this] { Modified(); });
      }
    } else if (auto* c = qobject_cast<QComboBox*>(w)) {
      connect(c, &QComboBox::currentTextChanged, this, changed);
    } else if (auto* g = qobject_cast<TFilterGrid*>(w)) {
      auto* m = g->Model();
      connect(m, &QAbstractItemModel::dataChanged, this, changed);
      connect(m, &QAbstractItemModel::rowsInserted, this, changed);
      connect(m, &QAbstractItemModel::rowsRemoved, this, changed);
      connect(m, &QAbstractItemModel::modelReset, this, changed);
    }
  }
  LinkFollowGrid_->OnEdited = [this](TStringAtrGrid*, int c, int r, const std::string& t) {
    LinkFollowGridEdited(c, r, t);
  };
  PrjGrid_->OnEdited = [this](TStringAtrGrid*, int c, int r, const std::string& t) {
    PrjGridEdited(c, r, t);
  };
  for (TFilterGrid* g : {LinkFollowGrid_, PrjGrid_}) {
    g->OnKeyDown = [this](TStringAtrGrid* grid, int key, Qt::KeyboardModifiers) {
      if (key == Qt::Key_Delete && grid->GetItemIndex() >= 0 && !grid->EditorOpen()) {
        grid->DeleteSelected();
        if (grid == LinkFollowGrid_) Modified();
        if (grid == PrjGrid_) ShowScheduleRow();
        return true;
      }
      return false;
    };
  }
  connect(PrjGrid_->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this] { ShowScheduleRow(); });
  for (QCheckBox* c : WeekdayBoxes)
    connect(c, &QCheckBox::clicked, this, [this] { StoreScheduleRow(); });
  for (QCheckBox* c : SlotBoxes)
    connect(c, &QCheckBox::clicked, this, [this] { StoreScheduleRow(); });
  ShowScheduleRow();
}

void TSettingsDlg::SetPublishTarget(TPublished<TSettings>* target) {
  Target = target ? target : &GlobalSettings();
  Target->Publish(Capture());
}

void TSettingsDlg::ControlChanged() {
  if (Applying) return;
  Target->Publish(Capture());
}

void TSettingsDlg::Modified() {
  if (!Applying && OnModified) OnModified();
}

TSettings TSettingsDlg::Capture() const {
  TSettings s;
  for (const auto& o : SettingsOptions()) {
    QWidget* w = Control(o.Control);
    std::visit(
        [&](auto field) {
          using F = decltype(field);
          if constexpr (std::is_same_v<F, bool TSettings::*>) {
            s.*field = static_cast<QAbstractButton*>(w)->isChecked();
          } else if constexpr (std::is_same_v<F, int TSettings::*>) {
            s.*field = static_cast<QSpinBox*>(w)->value();
          } else if constexpr (std::is_same_v<F, std::string TSettings::*>) {
            if (auto* e = qobject_cast<QLineEdit*>(w))
              s.*field = FromQ(e->text());
            else
              s.*field = FromQ(static_cast<QComboBox*>(w)->currentText());
          } else {
            s.*field = static_cast<TFilterGrid*>(w)->Rows();
          }
        },
        o.Field);
  }
  return s;
}

void TSettingsDlg::Apply(const TSettings& s) {
  Applying = true;
  std::vector<QAbstractButton*> radios;
  for (const auto& o : SettingsOptions()) {
    QWidget* w = Control(o.Control);
    std::visit(
        [&](auto field) {
          using F = decltype(field);
          if constexpr (std::is_same_v<F, bool TSettings::*>) {
            auto* b = static_cast<QAbstractButton*>(w);
            // A radio group stored all off shows no button checked.
            if (o.Kind == TOptionKind::Radio) {
              b->setAutoExclusive(false);
              radios.push_back(b);
            }
            b->setChecked(s.*field);
          } else if constexpr (std::is_same_v<F, int TSettings::*>) {
            static_cast<QSpinBox*>(w)->setValue(s.*field);
          } else if constexpr (std::is_same_v<F, std::string TSettings::*>) {
            if (auto* e = qobject_cast<QLineEdit*>(w))
              e->setText(ToQ(s.*field));
            else
              static_cast<QComboBox*>(w)->setCurrentText(ToQ(s.*field));
          } else {
            static_cast<TFilterGrid*>(w)->SetRows(s.*field);
          }
        },
        o.Field);
  }
  for (QAbstractButton* b : radios) b->setAutoExclusive(true);
  Applying = false;
  UpdateEnabling();
  ShowScheduleRow();
  Target->Publish(Capture());
}

void TSettingsDlg::FormShow() {
  TSettings s = Capture();
  LoadSettingsFromStore(s);
  Apply(s);
  LocWebChanged = false;
  UpdateEnabling();
}

void TSettingsDlg::FormHide() {
  const TSettings s = Capture();
  SaveSettingsToStore(s);
  if (OnLocalWebDir) OnLocalWebDir(s.LocWebEd);
}

void TSettingsDlg::showEvent(QShowEvent* e) {
  FormShow();
  QDialog::showEvent(e);
}

void TSettingsDlg::hideEvent(QHideEvent* e) {
  QDialog::hideEvent(e);
  FormHide();
}

void TSettingsDlg::SaveProjectSettings(TStream& stream) const {
  const TMimeFilter filter = MimeFilterDlg ? MimeFilterDlg->Filter() : *GlobalMimeFilter().Get();
  qv::SaveProjectSettings(stream, Capture(), filter);
}

void TSettingsDlg::LoadProjectSettings(TStream& stream) {
  TSettings s = Capture();
  TMimeFilter filter = MimeFilterDlg ? MimeFilterDlg->Filter() : *GlobalMimeFilter().Get();
  qv::LoadProjectSettings(stream, s, filter);
  Apply(s);
  if (MimeFilterDlg)
    MimeFilterDlg->SetFilter(filter);
  else
    GlobalMimeFilter().Publish(filter);
  if (OnLocalWebDir) OnLocalWebDir(s.LocWebEd);
}

void TSettingsDlg::UpdateEnabling() {
  Control("ResParChk")
      ->setEnabled(static_cast<QAbstractButton*>(Control("NeverDLChk"))->isChecked());
}

void TSettingsDlg::CheckWeekdays(bool on) {
  for (QCheckBox* c : WeekdayBoxes) c->setChecked(on);
}
void TSettingsDlg::CheckSlots(bool on) {
  for (QCheckBox* c : SlotBoxes) c->setChecked(on);
}
void TSettingsDlg::EnableWeekdays(bool on) {
  for (QCheckBox* c : WeekdayBoxes) c->setEnabled(on);
}
void TSettingsDlg::EnableSlots(bool on) {
  for (QCheckBox* c : SlotBoxes) c->setEnabled(on);
}

void TSettingsDlg::ShowScheduleRow() {
  const int row = PrjGrid_->GetItemIndex();
  if (row < 0 || row >= PrjGrid_->Count()) {
    CheckWeekdays(false);
    CheckSlots(false);
    EnableWeekdays(false);
    EnableSlots(false);
    return;
  }
  EnableWeekdays(true);
  EnableSlots(PrjGrid_->GetByte0(row) >= 3);
  const uint8_t days = PrjGrid_->GetByte1(row);
  const unsigned slotBits = PrjGrid_->GetByte2(row) | (PrjGrid_->GetByte3(row) << 8);
  for (int i = 0; i < 7; ++i) WeekdayBoxes[i]->setChecked(days & (1 << i));
  for (int i = 0; i < 12; ++i) SlotBoxes[i]->setChecked(slotBits & (1u << i));
}

void TSettingsDlg::StoreScheduleRow() {
  const int row = PrjGrid_->GetItemIndex();
  if (row < 0 || row >= PrjGrid_->Count()) return;
  uint8_t days = 0, low = 0, high = 0;
  for (int i = 0; i < 7; ++i)
    if (WeekdayBoxes[i]->isChecked()) days |= 1 << i;
  for (int i = 0; i < 8; ++i)
    if (SlotBoxes[i]->isChecked()) low |= 1 << i;
  for (int i = 8; i < 12; ++i)
    if (SlotBoxes[i]->isChecked()) high |= 1 << (i - 8);
  PrjGrid_->SetByte1(row, days);
  PrjGrid_->SetByte2(row, low);
  PrjGrid_->SetByte3(row, high);
}

void TSettingsDlg::Button1Click() {
  const std::string file = Prompter().ChooseOpenFile("", ProgramFolder() + "/MirrorProjects",
                                                     "Mirror project files|*.mpj|All files|*.*");
  if (file.empty()) return;
  if (!IsMirrorProjectFile(file)) {
    Prompter().ShowMessage("File: \"" + file + "\" is not a valid \"Mirror project\" file.");
    return;
  }
  if (PrjGrid_->Count() >= kMaxScheduleRows) {
    Prompter().ShowMessage("No more than " + std::to_string(kMaxScheduleRows) +
                           " projects can be scheduled.");
    return;
  }
  PrjGrid_->AddRow(file, kNewScheduleRowAttr);
  ShowScheduleRow();
  PrjGrid_->Refresh();
}

void TSettingsDlg::Button3Click() {
  if (PrjGrid_->GetItemIndex() < 0) return;
  PrjGrid_->DeleteSelected();
  ShowScheduleRow();
}

void TSettingsDlg::LocWebBrBtnClick() {
  auto* e = static_cast<QLineEdit*>(Control("LocWebEd"));
  const std::string dir = Prompter().ChooseFolder("", FromQ(e->text()));
  if (dir.empty()) return;
  e->setText(ToQ(dir));
  LocWebChanged = true;
  Modified();
}

bool TSettingsDlg::CanFollowLink(const std::string& url, const std::string& linkText) const {
  return qv::CanFollowLink(LinkFollowGrid_->Rows(), url, linkText);
}

void TSettingsDlg::LinkFollowGridEdited(int Col, int Row, const std::string& Text) {
  Modified();
  if (Col != 0) return;
  const int dataRow = Row - 1;
  if (dataRow >= 0 && dataRow < LinkFollowGrid_->Count()) {
    if (Text.empty())
      LinkFollowGrid_->DeleteRow(dataRow);
    else
      LinkFollowGrid_->SetRowText(dataRow, Text);
  } else if (!Text.empty()) {
    LinkFollowGrid_->AddRow(Text, 0);
  }
}

void TSettingsDlg::PrjGridEdited(int Col, int, const std::string&) {
  if (Col == 1) ShowScheduleRow();
}

int TSettingsDlg::HelpContextOf(QWidget* w) const {
  for (; w; w = w->parentWidget())
    if (w->property("HelpContext").isValid()) return w->property("HelpContext").toInt();
  return kHelpForm;
}

bool TSettingsDlg::eventFilter(QObject* o, QEvent* e) {
  if (QWidget* pressed = HelpPress.Pressed(o, e)) HelpControl = pressed;
  return QDialog::eventFilter(o, e);
}

void TSettingsDlg::contextMenuEvent(QContextMenuEvent* e) {
  QMenu menu(this);
  QAction* help = menu.addAction("Help");
  if (menu.exec(e->globalPos()) == help && ShowHelp) ShowHelp(HelpContextOf(HelpControl));
}

}  // namespace qv
