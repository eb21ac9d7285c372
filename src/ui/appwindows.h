#pragma once
// The program's windows: made once at start-up in a fixed order, each
// reached through one global reference, and freed together at the end.

#include <functional>
#include <memory>
#include <string>

#include "platform/dialup.h"

namespace qv {

class TAboutBox;
class TAutoPasteMod;
class TDialUpDlg;

class TDialUpWindow;
class TDownloadFrm;
class TDownloadWindow;
class TDropDlg;
class TFileCopyDlg;
class TForm1;
class TImageFrm;
class TMimeFilterDlg;
class TNewsDlg;
class TNonModalMsg;
class TQtUiLoop;
class TRobotsDlg;
class TRobotsStore;
class TScheduleDlg;
class TScheduleWindow;
class TSessionScheduleJobs;
class TSettingsDlg;
struct TLocalCopyEnv;

extern TDropDlg* DropDlg;
extern TSettingsDlg* SettingsDlg;
extern TDialUpDlg* DialUpDlg;
extern TImageFrm* ImageFrm;
extern TAboutBox* AboutBox;
extern TNonModalMsg* NonModalMsg;
extern TRobotsDlg* RobotsDlg;
extern TMimeFilterDlg* MimeFilterDlg;
extern TScheduleDlg* ScheduleDlg;
extern TDownloadFrm* DownloadFrm;        // the job runner
extern TDownloadWindow* DownloadWindow;  // its progress window, the view of DownloadFrm
extern TForm1* Form1;
extern TNewsDlg* NewsDlg;
extern TAutoPasteMod* AutoPasteMod;
extern TFileCopyDlg* FileCopyDlg;  // made and owned by the main window

// What stands behind the windows: the dial-up window, the schedule window,
// the scheduler's jobs (the job runner sets its two jobs there), the robots
// store, the user-interface loop of the engine's windows, and what the
// local-copy commands need.
extern TDialUpWindow* DialUpWindow;
extern TScheduleWindow* ScheduleWindow;
extern TSessionScheduleJobs* ScheduleJobs;
extern TRobotsStore* RobotsStore;
extern TQtUiLoop* UiLoop;
extern TLocalCopyEnv* LocalCopyEnv;

// Called with a window's class name as each comes into being.
using TWindowCreated = std::function<void(const std::string& className)>;
void NoteWindowCreated(const std::string& className);

// Makes the windows in the start-up order. `service` is the dial-up service
// (MakeDialUpService() unless given). Not re-entrant; FreeAppWindows undoes
// it, in the reverse order.
void CreateAppWindows(const TWindowCreated& created = {},
                      std::unique_ptr<TDialUpService> service = nullptr);
void FreeAppWindows();

}  // namespace qv
