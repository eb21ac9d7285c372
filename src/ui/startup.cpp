#include "ui/startup.h"

#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>

#include <QApplication>
#include <QLockFile>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QTimer>

#include "model/leregistry.h"
#include "model/settings.h"
#include "model/vkconfig.h"
#include "model/vkfile.h"
#include "platform/progfolder.h"
#include "platform/store.h"
#include "ui/aboutbox.h"
#include "ui/appwindows.h"
#include "ui/dropdialog.h"
#include "ui/helpwindow.h"
#include "ui/mainform.h"
#include "ui/qtprompter.h"

namespace qv {

namespace {

std::vector<std::string>& Args() {
  static std::vector<std::string> args;
  return args;
}

}  // namespace

const std::vector<std::string>& ProgramArguments() { return Args(); }
void SetProgramArguments(std::vector<std::string> args) { Args() = std::move(args); }

bool IsSwitch(const std::string& arg) {
  return arg.size() >= 2 && arg[0] == '/' && arg.find('/', 1) == std::string::npos;
}

std::string ChooseProjectFile(const std::vector<std::string>& args,
                              const std::string& storedCurrent) {
  std::string name;
  if (!args.empty() && IsSwitch(args[0]))
    name = args.size() > 1 ? args[1] : "";
  else if (!args.empty())
    name = args[0];
  if (!name.empty()) {
    std::error_code ec;
    const auto full = std::filesystem::absolute(name, ec).lexically_normal();
    name = ec ? "" : TrueFileName(full.string());
  }
  return name.empty() ? storedCurrent : name;
}

bool IsBrowseSwitch(const std::vector<std::string>& args) {
  return !args.empty() && args[0] == "/B";
}

bool IsScheduleSwitch(const std::vector<std::string>& args) {
  return !args.empty() && (args[0] == "/S" || args[0] == "/s");
}

std::string InstanceLockPath() {
  QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
  if (dir.isEmpty()) dir = QStandardPaths::writableLocation(QStandardPaths::TempLocation);
  return PathFromQ(dir) + "/QuendravilosIsRunning.lock";
}

TInstanceLock::TInstanceLock(const std::string& path)
    : Lock(std::make_unique<QLockFile>(PathToQ(path))) {
  // Held for the whole run: never stale by age, only when its process is gone.
  Lock->setStaleLockTime(0);
}

TInstanceLock::~TInstanceLock() = default;

bool TInstanceLock::TryLock() { return Lock->tryLock(0); }

void ShowException(std::exception_ptr e, TPrompter& prompter) {
  std::string text;
  try {
    if (e) std::rethrow_exception(e);
  } catch (const std::exception& ex) {
    text = ex.what();
  } catch (...) {
  }
  prompter.Ask(text.empty() ? "Unknown error" : text, TMsgKind::Error, TMsgButtons::Ok);
}

bool AcquireInstance(TInstanceLock& lock, TPrompter& prompter) {
  if (lock.TryLock()) return true;
  prompter.ShowMessage(kAnotherInstance);
  return false;
}

std::string InstalledDataFolder() { return InstalledDataFolderOf(ExecutableFolder()); }

bool SeedProgramFolder(const std::string& from, const std::string& to) {
  namespace fs = std::filesystem;
  std::error_code ec;
  if (from.empty() || to.empty() || !fs::is_directory(from, ec)) return false;
  if (fs::equivalent(from, to, ec)) return true;
  bool ok = true;
  auto copyMissing = [&](const fs::path& source) {
    const fs::path target = fs::path(to) / fs::relative(source, from, ec);
    if (fs::exists(fs::symlink_status(target, ec))) return;
    fs::create_directories(target.parent_path(), ec);
    if (!fs::copy_file(source, target, ec)) ok = false;
  };
  for (const char* entry : kShippedEntries) {
    const fs::path p = fs::path(from) / entry;
    if (fs::is_regular_file(p, ec)) {
      copyMissing(p);
    } else if (fs::is_directory(p, ec)) {
      for (auto it = fs::recursive_directory_iterator(p, ec); !ec && it != fs::end(it);
           it.increment(ec))
        if (it->is_regular_file(ec)) copyMissing(it->path());
    }
  }
  return ok;
}

std::string ShippedFilesFolder() {
  const std::string installed = InstalledDataFolder();
  if (!installed.empty()) return installed;
  const std::string exeDir = ExecutableFolder();
  std::error_code ec;
  if (!exeDir.empty() && std::filesystem::is_directory(exeDir + "/MirrorProjects", ec))
    return exeDir;
  return "";
}

namespace {

// Qt cannot carry an exception out of an event handler: every event is
// delivered here, and what escapes a handler is shown and the loop goes on.
class TApplication : public QApplication {
 public:
  using QApplication::QApplication;
  bool notify(QObject* receiver, QEvent* event) override {
    try {
      return QApplication::notify(receiver, event);
    } catch (...) {
      ShowException(std::current_exception(), AppPrompter());
    }
    return false;
  }
};

// SIGTERM and SIGINT close the main window as its close box does, so a
// session manager or a test ends the program with everything saved.
int SignalPipe[2] = {-1, -1};

void OnSignal(int) {
  const char b = 1;
  [[maybe_unused]] ssize_t n = write(SignalPipe[1], &b, 1);
}

void InstallCloseSignals(QObject* owner) {
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, SignalPipe) != 0) return;
  auto* n = new QSocketNotifier(SignalPipe[0], QSocketNotifier::Read, owner);
  QObject::connect(n, &QSocketNotifier::activated, owner, [] {
    char b;
    [[maybe_unused]] ssize_t r = read(SignalPipe[0], &b, 1);
    if (Form1) Form1->close();
  });
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGINT, &sa, nullptr);
}

// QUENDRAVILOS_STARTED_FILE (for tests and scripts): once the project is
// loaded, the main window's caption is written there.
void ReportStarted(QObject* owner) {
  const QByteArray path = qgetenv("QUENDRAVILOS_STARTED_FILE");
  if (path.isEmpty()) return;
  auto* t = new QTimer(owner);
  QObject::connect(t, &QTimer::timeout, owner, [t, path] {
    if (!Form1 || !Form1->FirstShowDone) return;
    t->stop();
    std::ofstream(path.toStdString()) << Form1->windowTitle().toStdString() << "\n";
  });
  t->start(100);
}

// The settings store is made once, filled with the settings window's
// defaults, so a first run starts with them.
void CreateSettingsStore() {
  SetRegistryKey(ProgramRegistryKey);
  const TValueFile store(StoreFileForKey(ProgramRegistryKey));
  if (!store.Exists() && store.Create()) SeedSettingsStore();
}

}  // namespace

int ProgramMain(int& argc, char** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
  SetProgramArguments(std::move(args));
  // The stay-on-top drop window and the clipboard watcher need X11; a
  // Wayland session offers it through XWayland.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && !qEnvironmentVariableIsEmpty("DISPLAY"))
    qputenv("QT_QPA_PLATFORM", "xcb");

  TApplication app(argc, argv);
  QApplication::setApplicationName(kProgramTitle);
  QApplication::setWindowIcon(QIcon(ProductLogo(64)));
  // The drop window is the main window: the loop ends when it closes, not
  // when the last visible window does.
  QApplication::setQuitOnLastWindowClosed(false);

  TInstanceLock lock;
  if (!AcquireInstance(lock, AppPrompter())) return 0;
  try {
    SeedProgramFolder(ShippedFilesFolder(), ProgramFolder());
    CreateSettingsStore();
    CreateAppWindows();
    InstallCloseSignals(&app);
    ReportStarted(&app);
    Form1->show();
    QTimer::singleShot(0, &app, [] {
      if (DropDlg) DropDlg->FirstShow();
    });
    QApplication::exec();
  } catch (...) {
    ShowException(std::current_exception(), AppPrompter());
  }
  FreeAppWindows();
  FreeAppHelpWindow();
  return 0;
}

}  // namespace qv
