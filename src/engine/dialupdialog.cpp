#include "engine/dialupdialog.h"

#include <algorithm>

#include "model/settings.h"
#include "model/streamext.h"
#include "platform/progfolder.h"

namespace qv {

namespace {

constexpr size_t kMaxParam = 256;
constexpr size_t kMaxErrorText = 1000;
constexpr size_t kMaxConnections = 20;
constexpr size_t kMaxEntries = 10;
constexpr int32_t kNoRedial = 30000;

std::string FormatTime(std::time_t t, const char* format) {
  std::tm tm{};
  localtime_r(&t, &tm);
  char buf[128];
  size_t n = std::strftime(buf, sizeof buf, format, &tm);
  return std::string(buf, n);
}

}  // namespace

std::string ShortDateText(std::time_t t) { return FormatTime(t, "%x"); }
std::string ShortTimeText(std::time_t t) { return FormatTime(t, "%X"); }

std::string ConnectLogPath() {
  std::string folder = ProgramFolder();
  return folder.empty() ? std::string() : folder + "/ConnectLog.txt";
}

TDialUpDlg::TDialUpDlg(TDialUpService& service, TUiLoop& loop, std::string logPath)
    : Clock([] { return std::time(nullptr); }),
      FService(service),
      FLoop(loop),
      FLogPath(std::move(logPath)),
      FAlive(std::make_shared<std::atomic<bool>>(true)) {}

TDialUpDlg::~TDialUpDlg() {
  FAlive->store(false);
  if (FDialTimer) FLoop.StopTimer(FDialTimer);
}

bool TDialUpDlg::ModemInUse() const { return UseModemChk.load() && FService.Present(); }

void TDialUpDlg::Changed() {
  if (FView) FView->ControlsChanged();
}

void TDialUpDlg::PrepareDialUp(bool useModem, bool unattended, const TDialUpOptions& options) {
  RetryEd.Text = std::to_string(options.Dialups);
  RedialCount = unattended ? -1 : kNoRedial;
  UseModemChk = useModem;
  Unattended = unattended;
  AutoDisChk = false;
  Cancelled = false;
  Changed();
}

void TDialUpDlg::PrepareDialUp(bool useModem, bool unattended) {
  PrepareDialUp(useModem, unattended, TDialUpOptions{GlobalSettings().Get()->DialupsUD});
}

int TDialUpDlg::RetryNumber() const {
  const std::string& t = RetryEd.Text;
  if (t.empty()) return 0;
  long long n = 0;
  for (unsigned char c : t) {
    if (c < '0' || c > '9') return 0;
    n = std::min(n * 10 + (c - '0'), 1000000000LL);  // saturates; exit clamps to 100
  }
  return static_cast<int>(n);
}

bool TDialUpDlg::IsConnected() {
  if (!ModemInUse()) return true;
  for (const auto& c : FService.ActiveConnections(kMaxConnections)) {
    uint32_t state = 0;
    if (c.Handle != 0 && FService.ConnectionStatus(c.Handle, state) && state == DialStateConnected)
      return true;
  }
  return false;
}

void TDialUpDlg::ShowDialStatus(const std::string& text) {
  std::string prefix;
  if (RedialCount > 0 && RedialCount < kNoRedial)
    prefix = "Retry(" + std::to_string(RedialCount) + "): ";
  StatusBar1 = prefix + text;
  if (!text.empty()) LogText += "     " + prefix + text + "\r\n";
  Changed();
}

void TDialUpDlg::AppendLog(const std::string& text) {
  // The log is a convenience: a failure to write it never stops a dial.
  if (!FLogPath.empty()) TryAppendFileString(FLogPath, text);
}

bool TDialUpDlg::EnsureConnected(bool keepRetries) {
  if (!ModemInUse()) return true;
  // A second request while the window is up (from a nested loop) cannot show
  // it again.
  if (FInModal) return false;
  if (keepRetries) {
    RetryEd.Enabled = true;
  } else {
    RetryEd.Text = "0";
    RedialCount = 0;
    RetryEd.Enabled = false;
  }
  ShowDialStatus("");
  ConBtnEnabled = true;
  PendingConnection = 0;
  Changed();
  if (IsConnected()) return true;
  if (Cancelled) return false;
  if (Unattended) {
    std::time_t now = Clock();
    AppendLog("     *****Start of dial sequence*****\r\n     Date: " + ShortDateText(now) +
              "\r\n     Time: " + ShortTimeText(now) + "\r\n");
  }
  LogText.clear();
  PBComboDropDown();
  PBCombo.Text = PBCombo.Items.empty() ? std::string() : PBCombo.Items.front();
  PBComboChange();
  TModalResult result;
  do {
    result = ShowModal();
  } while (result == TModalResult::Retry);
  bool connected = result == TModalResult::OK;
  if (!connected) {
    RetryEd.Text = "0";
    RedialCount = 0;
    Changed();
  }
  if (Unattended) AppendLog(LogText + "     *****End of dial sequence*****\r\n");
  return connected;
}

TModalResult TDialUpDlg::ShowModal() {
  FModalResult = TModalResult::None;
  FInModal = true;
  if (FView) FView->ShowForm();
  FormShow();
  FLoop.RunUntil([this] { return FModalResult != TModalResult::None; });
  FormClose();
  FInModal = false;
  if (FView) FView->HideForm();
  return FModalResult;
}

void TDialUpDlg::Close(TModalResult result) {
  if (FInModal && FModalResult == TModalResult::None) FModalResult = result;
}

void TDialUpDlg::HangUpPending() {
  if (PendingConnection != 0) FService.HangUp(PendingConnection);
  PendingConnection = 0;
}

void TDialUpDlg::Dial() {
  FLoop.ProcessMessages();
  if (RedialCount != 0) FLoop.Wait(2000);
  // The window may have been closed while the loop ran (the user cancelled):
  // a dial now would have nobody waiting for it.
  if (!FInModal || FModalResult != TModalResult::None) return;
  HangUpPending();
  ShowDialStatus("");
  ConBtnEnabled = false;
  DialParams.UserName = UserEd.substr(0, kMaxParam);
  DialParams.Password = PWEd.substr(0, kMaxParam);
  uint64_t seq = ++FDialSeq;
  TUiLoop* loop = &FLoop;
  auto alive = FAlive;
  TDialHandle handle = 0;
  uint32_t error = FService.Dial(
      DialParams,
      [this, loop, alive, seq](uint32_t state, uint32_t err) {
        loop->Post([this, alive, seq, state, err] {
          if (alive->load()) OnDialEvent(seq, state, err);
        });
      },
      handle);
  PendingConnection = handle;
  // No callback will follow a refused dial: close as a failed dial does, so
  // an unattended sequence goes on to its next redial or gives up instead of
  // waiting for a user who is not there.
  if (error != DialErrNone) DialFailed(error);
  Changed();
}

void TDialUpDlg::DialFailed(uint32_t error) {
  std::string text = FService.ErrorText(error).substr(0, kMaxErrorText);
  HangUpPending();
  ShowDialStatus(text);
  ConBtnEnabled = true;
  Close(TModalResult::Retry);
}

void TDialUpDlg::OnDialEvent(uint64_t seq, uint32_t state, uint32_t error) {
  // Events of a dial that was hung up or superseded are stale.
  if (seq != FDialSeq || PendingConnection == 0) return;
  if (error != DialErrNone) {
    DialFailed(error);
    Changed();
    return;
  }
  switch (state) {
    case DialStateOpenPort:
      ShowDialStatus("Dialing host computer");
      break;
    case DialStateAuthenticate:
    case DialStateAuthNotify:
      ShowDialStatus("Verifying user name and password");
      break;
    case DialStateLogonNetwork:
      ShowDialStatus("Logging onto network");
      break;
    case DialStateConnected:
      PendingConnection = 0;  // the connection is kept
      Close(TModalResult::OK);
      ShowDialStatus("Connected");
      break;
    case DialStateDisconnected:
      HangUpPending();
      ShowDialStatus("Disconnected");
      ConBtnEnabled = true;
      Close(TModalResult::Retry);
      break;
    default:
      break;
  }
  Changed();
}

void TDialUpDlg::HangUpAll() {
  RetryEd.Text = "0";
  RedialCount = 0;
  if (Unattended && ModemInUse() && IsConnected()) AppendLog("*****Disconnecting*****\r\n\r\n");
  for (const auto& c : FService.ActiveConnections(kMaxConnections)) FService.HangUp(c.Handle);
  Changed();
}

void TDialUpDlg::ConBtnClick() {
  if (UseModemChk.load()) {
    RedialCount = -1;
    Close(TModalResult::Retry);
  } else {
    Close(TModalResult::OK);
  }
}

void TDialUpDlg::CancelBtnClick() {
  Cancelled = true;
  Close(TModalResult::Cancel);
}

void TDialUpDlg::FormShow() {
  if (FDialTimer) FLoop.StopTimer(FDialTimer);
  FDialTimer = FLoop.StartTimer(1000, [this] {
    FDialTimer = 0;
    DialTimerTimer();
  });
}

void TDialUpDlg::DialTimerTimer() {
  if (FDialTimer) FLoop.StopTimer(FDialTimer);
  FDialTimer = 0;
  if (RedialCount < RetryNumber()) {
    ++RedialCount;
    Dial();
  } else if (Unattended) {
    CancelBtnClick();
  }
}

void TDialUpDlg::FormClose() {
  // The dial timer stops with the window, so no dial starts behind a closed
  // window.
  if (FDialTimer) FLoop.StopTimer(FDialTimer);
  FDialTimer = 0;
  HangUpPending();
}

void TDialUpDlg::PBComboDropDown() {
  PBCombo.Items = FService.PhonebookEntries(kMaxEntries);
  Changed();
}

void TDialUpDlg::PBComboChange() {
  std::string entry = PBCombo.Text.substr(0, kMaxParam);
  TDialParams stored;
  if (!entry.empty() && FService.GetEntryDialParams(entry, stored)) {
    DialParams = stored;
    DialParams.EntryName = entry;
    UserEd = stored.UserName.substr(0, kMaxParam);
    PWEd = stored.Password.substr(0, kMaxParam);
  } else {
    DialParams = TDialParams{};
    DialParams.EntryName = entry;
    UserEd.clear();
    PWEd.clear();
  }
  Changed();
}

void TDialUpDlg::Button3Click() { FService.EditEntry(DialParams.EntryName); }

void TDialUpDlg::RetryEdExit() {
  if (RetryNumber() > 100) {
    RetryEd.Text = "100";
    Changed();
  }
}

}  // namespace qv
