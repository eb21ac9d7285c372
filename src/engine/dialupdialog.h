#pragma once

#include <atomic>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/uiloop.h"
#include "platform/dialup.h"

namespace qv {

enum class TModalResult { None, OK, Cancel, Retry };

// What the dial-up logic needs of its window. The window reads the control
// state from TDialUpDlg and forwards its events to the handlers there.
class TDialUpView {
 public:
  virtual ~TDialUpView() = default;
  // Shows the window modally (its loop is run by TDialUpDlg); hides it.
  virtual void ShowForm() = 0;
  virtual void HideForm() = 0;
  // Something in the control state changed; the window shows it.
  virtual void ControlsChanged() = 0;
};

// "ConnectLog.txt" in the program folder; "" when there is no program folder.
std::string ConnectLogPath();
// The locale's short date and time texts, as the connect log writes them.
std::string ShortDateText(std::time_t t);
std::string ShortTimeText(std::time_t t);

// The settings the dial-up connection takes from the settings window.
struct TDialUpOptions {
  int Dialups = 3;  // "Reconnection retries:"
};

// The dial-up connection: dials before a job when the modem is used (the
// user presses "Connect", or unattended for the scheduler with automatic
// redials), tells whether the link is still up, and hangs up. Unattended dial
// sequences are appended to the connect log (LogPath, "ConnectLog.txt" in the
// program folder).
//
// Everything runs on the user-interface thread except IsConnected, which any
// thread may call. The service's dial callback is handed to the
// user-interface thread through the loop; it never touches the state here
// from another thread. Without a dial-up service (TDialUpService::Present
// false) the modem counts as not used: always connected, nothing dialled,
// nothing logged.
class TDialUpDlg {
 public:
  TDialUpDlg(TDialUpService& service, TUiLoop& loop, std::string logPath = ConnectLogPath());
  ~TDialUpDlg();
  TDialUpDlg(const TDialUpDlg&) = delete;
  TDialUpDlg& operator=(const TDialUpDlg&) = delete;

  void SetView(TDialUpView* view) { FView = view; }
  // The wall clock for the log's date and time.
  std::function<std::time_t()> Clock;

  // Control state, read by the window.
  struct TCombo {
    std::vector<std::string> Items;
    std::string Text;
  };
  struct TEdit {
    std::string Text;
    bool Enabled = true;
  };
  TCombo PBCombo;
  std::string UserEd;
  std::string PWEd;
  bool ConBtnEnabled = true;
  TEdit RetryEd{"0", true};
  std::atomic<bool> UseModemChk{true};
  bool AutoDisChk = false;
  std::string StatusBar1;

  // Fields.
  bool Unattended = false;
  std::string LogText;
  bool Cancelled = false;
  int32_t RedialCount = 30000;  // -1 before the first automatic dial; 30000 = none
  TDialParams DialParams;
  TDialHandle PendingConnection = 0;

  void PrepareDialUp(bool useModem, bool unattended, const TDialUpOptions& options);
  // The retries from the published settings ("Reconnection retries:").
  void PrepareDialUp(bool useModem, bool unattended);
  // True when a connection is up or was made.
  bool EnsureConnected(bool keepRetries);
  // Any thread.
  bool IsConnected();
  void HangUpAll();
  void ShowDialStatus(const std::string& text);
  void Dial();

  // Window events.
  void ConBtnClick();
  void CancelBtnClick();
  void FormShow();
  void DialTimerTimer();
  void FormClose();
  void PBComboDropDown();
  void PBComboChange();
  void Button3Click();
  void RetryEdExit();
  // The form is shown modally, closing with Close.
  bool Showing() const { return FInModal; }
  void Close(TModalResult result);

  // The number RetryEd holds: digits only, else 0.
  int RetryNumber() const;

 private:
  bool ModemInUse() const;
  TModalResult ShowModal();
  void OnDialEvent(uint64_t seq, uint32_t state, uint32_t error);
  void HangUpPending();
  // A dial that failed with error: shows why, frees the line and closes for
  // a retry.
  void DialFailed(uint32_t error);
  void AppendLog(const std::string& text);
  void Changed();

  TDialUpService& FService;
  TUiLoop& FLoop;
  std::string FLogPath;
  TDialUpView* FView = nullptr;
  bool FInModal = false;
  TModalResult FModalResult = TModalResult::None;
  int FDialTimer = 0;
  uint64_t FDialSeq = 0;
  // Dial callbacks check this before they post, so a late one from the
  // service's thread never reaches a destroyed dialog.
  std::shared_ptr<std::atomic<bool>> FAlive;
};

}  // namespace qv
