#include "ui/mimefilterdialog.h"

#include <algorithm>

#include <QContextMenuEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "model/strutils.h"
#include "ui/controls/checklistboxext.h"
#include "ui/controls/fontfit.h"
#include "ui/controls/qtext.h"
#include "ui/qtprompter.h"

namespace qv {

namespace {

constexpr int kHelpForm = 128;
constexpr int kHelpCommon = 129;
constexpr int kHelpOther = 130;
constexpr int kHelpAssertion = 144;

}  // namespace

TMimeFilterDlg::TMimeFilterDlg(QWidget* parent) : QDialog(parent), Target(&GlobalMimeFilter()) {
  setObjectName("MimeFilterDlg");
  setWindowTitle("Content-Type filters:");
  setProperty("HelpContext", kHelpForm);

  auto* common = new QGroupBox("Common types:-", this);
  common->setProperty("HelpContext", kHelpCommon);
  auto* commonLayout = new QGridLayout(common);
  const auto& lists = CommonMimeLists();
  // Laid out image, application, text, sound, video; patterns are collected
  // in the model's order.
  const char* shown[] = {"ImageList", "AppList", "TextList", "SoundList", "VideoList"};
  int col = 0;
  for (const char* name : shown) {
    const TMimeTypeList* def = nullptr;
    for (const auto& l : lists)
      if (std::string(l.Name) == name) def = &l;
    auto* list = new TCheckListBoxExt(common);
    list->setObjectName(name);
    for (const auto& item : def->Items) list->AddItem(item);
    for (int i = 0; i < list->count(); ++i) list->item(i)->setToolTip(list->item(i)->text());
    list->OnClickCheck = [this](TCheckListBoxExt*, int) { Changed = true; };
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // The form fills these lists: each is as large as its items need in the
    // user's font, so every subtype reads in full without scrolling.
    const int frame = 2 * list->frameWidth();
    list->setMinimumSize(list->sizeHintForColumn(0) + frame,
                         list->count() * list->sizeHintForRow(0) + frame);
    // The description follows the item the user picks.
    connect(list, &QListWidget::currentRowChanged, this, [this, list](int row) {
      if (row >= 0 && (list->hasFocus() || !isVisible()))
        DescriptionTxt->setText(ToQ(MimeDescription(list->ItemText(row))));
    });
    connect(list, &QListWidget::itemClicked, this, [this](QListWidgetItem* it) {
      DescriptionTxt->setText(ToQ(MimeDescription(FromQ(it->text()))));
    });
    list->installEventFilter(this);
    commonLayout->addWidget(new QLabel(def->Caption, common), 0, col);
    commonLayout->addWidget(list, 1, col);
    ++col;
    if (def->Name == std::string("ImageList")) ImageList = list;
    if (def->Name == std::string("AppList")) AppList = list;
    if (def->Name == std::string("TextList")) TextList = list;
    if (def->Name == std::string("SoundList")) SoundList = list;
    if (def->Name == std::string("VideoList")) VideoList = list;
  }
  auto* descBox = new QGroupBox("Description:", common);
  auto* descLayout = new QVBoxLayout(descBox);
  DescriptionTxt = new QLabel(descBox);
  DescriptionTxt->setObjectName("DescriptionTxt");
  DescriptionTxt->setWordWrap(true);
  descLayout->addWidget(DescriptionTxt);
  commonLayout->addWidget(descBox, 2, 0, 1, col);
  commonLayout->setHorizontalSpacing(2);
  commonLayout->setContentsMargins(4, 4, 4, 4);

  auto* other = new QGroupBox("Other types:-", this);
  other->setProperty("HelpContext", kHelpOther);
  auto* otherLayout = new QGridLayout(other);
  auto* hint = new QLabel(
      "Other mime content types must be of the form:- <Type>/SubType,   e.g.  text/x-speech",
      other);
  hint->setWordWrap(true);
  hint->setTextFormat(Qt::PlainText);
  OtherEd = new QLineEdit(other);
  OtherEd->setObjectName("OtherEd");
  AddBtn = new QPushButton("Add", other);
  RemoveBtn = new QPushButton("Remove", other);
  OtherList = new TCheckListBoxExt(other);
  OtherList->setObjectName("OtherList");
  OtherList->OnClickCheck = [this](TCheckListBoxExt*, int) { Changed = true; };
  otherLayout->addWidget(hint, 0, 0, 1, 2);
  otherLayout->addWidget(OtherEd, 1, 0, 1, 2);
  otherLayout->addWidget(AddBtn, 2, 0);
  otherLayout->addWidget(RemoveBtn, 2, 1);
  otherLayout->addWidget(OtherList, 3, 0, 1, 2);
  connect(AddBtn, &QPushButton::clicked, this, &TMimeFilterDlg::Button1Click);
  connect(RemoveBtn, &QPushButton::clicked, this, &TMimeFilterDlg::Button2Click);

  auto* assertion = new QGroupBox("Filter assertion", this);
  assertion->setProperty("HelpContext", kHelpAssertion);
  auto* aLayout = new QVBoxLayout(assertion);
  aLayout->setContentsMargins(4, 4, 4, 4);
  SelOnlyChk = new QRadioButton("Selected types only", assertion);
  UnknownChk = new QRadioButton("Include unknown", assertion);
  AllChk = new QRadioButton("Include all", assertion);
  SelOnlyChk->setObjectName("SelOnlyChk");
  UnknownChk->setObjectName("UnknownChk");
  AllChk->setObjectName("AllChk");
  SelOnlyChk->setProperty("HelpContext", 145);
  UnknownChk->setProperty("HelpContext", 146);
  AllChk->setProperty("HelpContext", 147);
  SelOnlyChk->setChecked(true);
  for (QRadioButton* r : {SelOnlyChk, UnknownChk, AllChk}) {
    aLayout->addWidget(r);
    connect(r, &QRadioButton::clicked, this, [this] {
      Changed = true;
      Publish();
    });
  }

  auto* right = new QVBoxLayout;
  right->addWidget(other, 1);
  right->addWidget(assertion);
  auto* top = new QHBoxLayout(this);
  top->setContentsMargins(6, 6, 6, 6);
  top->addWidget(common, 1);
  top->addLayout(right, 0);
  // The right-hand groups share one width: the designed 146 pixels, or what
  // their buttons need in the user's font.
  const int rightWidth =
      std::max({146, other->minimumSizeHint().width(), assertion->minimumSizeHint().width()});
  other->setFixedWidth(rightWidth);
  assertion->setFixedWidth(rightWidth);
  FixFittedSize(this, QSize(630, 356));

  // Every control remembers itself as the subject of context help.
  for (QWidget* w : findChildren<QWidget*>()) w->installEventFilter(this);

  RunModal = [](TMimeFilterDlg* d) { d->exec(); };
}

void TMimeFilterDlg::SetPublishTarget(TPublished<TMimeFilter>* target) {
  Target = target ? target : &GlobalMimeFilter();
  Publish();
}

TMimeFilter TMimeFilterDlg::Filter() const {
  TMimeFilter f;
  f.OtherList = OtherList->ItemTexts();
  f.Patterns = Patterns_;
  f.SelOnlyChk = SelOnlyChk->isChecked();
  f.UnknownChk = UnknownChk->isChecked();
  f.AllChk = AllChk->isChecked();
  return f;
}

void TMimeFilterDlg::SetFilter(const TMimeFilter& filter) {
  OtherList->clear();
  for (const auto& t : filter.OtherList) OtherList->AddItem(t);
  Patterns_ = filter.Patterns;
  // A group stored all off shows no button checked.
  for (QRadioButton* r : {SelOnlyChk, UnknownChk, AllChk}) r->setAutoExclusive(false);
  SelOnlyChk->setChecked(filter.SelOnlyChk);
  UnknownChk->setChecked(filter.UnknownChk);
  AllChk->setChecked(filter.AllChk);
  for (QRadioButton* r : {SelOnlyChk, UnknownChk, AllChk}) r->setAutoExclusive(true);
  Publish();
}

void TMimeFilterDlg::Publish() { Target->Publish(Filter()); }

void TMimeFilterDlg::SaveFilter(TStream& stream) const { qv::SaveFilter(stream, Filter()); }

void TMimeFilterDlg::LoadFilter(TStream& stream) {
  TMimeFilter f = Filter();
  qv::LoadFilter(stream, f);
  SetFilter(f);
}

void TMimeFilterDlg::UncheckAll(TCheckListBoxExt* list) {
  for (int i = 0; i < list->count(); ++i) list->SetChecked(i, false);
}

bool TMimeFilterDlg::CheckItem(TCheckListBoxExt* list, const std::string& text) {
  for (int i = 0; i < list->count(); ++i)
    if (list->ItemText(i) == text) {
      list->SetChecked(i, true);
      return true;
    }
  return false;
}

TCheckListBoxExt* TMimeFilterDlg::ListFor(const std::string& major) const {
  if (major == "image") return ImageList;
  if (major == "application") return AppList;
  if (major == "text") return TextList;
  if (major == "video") return VideoList;
  if (major == "audio") return SoundList;
  return nullptr;
}

void TMimeFilterDlg::CheckCommonType(const std::string& pattern) {
  const size_t slash = pattern.find('/');
  TCheckListBoxExt* list = ListFor(pattern.substr(0, slash));
  if (list && CheckItem(list, pattern.substr(slash + 1))) return;
  CheckOtherType(pattern);
}

void TMimeFilterDlg::CheckOtherType(const std::string& pattern) {
  TStringList items;
  for (const auto& t : OtherList->ItemTexts()) items.Add(t);
  const std::string lower = LowerCaseAscii(pattern);
  if (AddStringIC(items, lower) >= 0) OtherList->AddItem(lower);
  // Matched ignoring case: a pattern stored in capitals would otherwise be
  // added in lower case, left unchecked and silently dropped.
  for (int i = 0; i < OtherList->count(); ++i)
    if (LowerCaseAscii(OtherList->ItemText(i)) == lower) {
      OtherList->SetChecked(i, true);
      return;
    }
}

void TMimeFilterDlg::CollectChecked(TCheckListBoxExt* list, const std::string& prefix) {
  for (int i = 0; i < list->count(); ++i)
    if (list->Checked(i)) AddPattern(Patterns_, prefix + list->ItemText(i));
}

bool TMimeFilterDlg::Execute() {
  Changed = false;
  for (TCheckListBoxExt* l : {ImageList, AppList, TextList, SoundList, VideoList, OtherList})
    UncheckAll(l);
  for (const auto& p : Patterns_) {
    if (p.find('/') == std::string::npos) continue;  // dropped below
    CheckCommonType(p);
  }
  RunModal(this);
  Patterns_.clear();
  CollectChecked(ImageList, "image/");
  CollectChecked(AppList, "application/");
  CollectChecked(TextList, "text/");
  CollectChecked(VideoList, "video/");
  CollectChecked(SoundList, "audio/");
  CollectChecked(OtherList, "");
  Publish();
  return Changed;
}

void TMimeFilterDlg::Button1Click() {
  const std::string text = FromQ(OtherEd->text());
  if (text.find('/') == std::string::npos) {
    (Prompter ? *Prompter : AppPrompter())
        .ShowMessage("Mime content types must be of the form <Type>/<SubType>");
    return;
  }
  TStringList items;
  for (const auto& t : OtherList->ItemTexts()) items.Add(t);
  if (AddStringIC(items, text) >= 0) OtherList->AddItem(text);
  OtherEd->clear();
  Changed = true;
}

void TMimeFilterDlg::Button2Click() {
  const int i = OtherList->currentRow();
  if (i < 0 || !OtherList->item(i)->isSelected()) return;
  OtherEd->setText(OtherList->item(i)->text());
  delete OtherList->takeItem(i);
  Changed = true;
}

bool TMimeFilterDlg::eventFilter(QObject* o, QEvent* e) {
  if (QWidget* pressed = HelpPress.Pressed(o, e)) HelpControl = pressed;
  if (e->type() == QEvent::FocusOut) {
    for (TCheckListBoxExt* l : {ImageList, AppList, TextList, SoundList, VideoList})
      if (o == l) l->clearSelection();
  }
  return QDialog::eventFilter(o, e);
}

void TMimeFilterDlg::contextMenuEvent(QContextMenuEvent* e) {
  QMenu menu(this);
  QAction* help = menu.addAction("Help");
  if (menu.exec(e->globalPos()) == help && ShowHelp) {
    int context = kHelpForm;
    for (QWidget* w = HelpControl; w; w = w->parentWidget())
      if (w->property("HelpContext").isValid()) {
        context = w->property("HelpContext").toInt();
        break;
      }
    ShowHelp(context);
  }
}

}  // namespace qv
