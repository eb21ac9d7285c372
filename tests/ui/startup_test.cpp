#include "ui/startup.h"

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include <QApplication>
#include <QLockFile>

#include "support/envscope.h"
#include "support/scratchdir.h"
#include "uitest.h"

namespace qv {
namespace {

using test::ReadBytes;
using test::TScratchDir;

struct TChdir {
  explicit TChdir(const std::string& dir) : Old(std::filesystem::current_path()) {
    std::filesystem::current_path(dir);
  }
  ~TChdir() { std::filesystem::current_path(Old); }
  std::filesystem::path Old;
};

TEST(CommandLine, ChoosesTheProjectAndTheSwitches) {
  TScratchDir dir;
  const std::string p = dir.Write("p.mpj", "x");
  const std::string stored = "/stored/Current.mpj";
  TChdir here(dir.Path);
  struct TCase {
    const char* Name;
    std::vector<std::string> Args;
    std::string Project;
    bool Browse;
    bool Schedule;
  };
  const TCase cases[] = {
      {"schedule with a project", {"/S", p}, p, false, true},
      {"lower-case schedule", {"/s", p}, p, false, true},
      {"lower-case b is not browse", {"/b", p}, p, false, false},
      {"browse alone keeps the stored project", {"/B"}, stored, true, false},
      {"browse with a project", {"/B", p}, p, true, false},
      {"a project alone", {p}, p, false, false},
      {"a relative name", {"p.mpj"}, p, false, false},
      {"a relative name after a switch", {"/S", "./p.mpj"}, p, false, true},
      {"a missing file", {"/S", dir / "none.mpj"}, stored, false, true},
      {"a missing file alone", {dir / "none.mpj"}, stored, false, false},
      {"no arguments", {}, stored, false, false},
      {"an empty first argument", {""}, stored, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(ChooseProjectFile(c.Args, stored), c.Project);
    EXPECT_EQ(IsBrowseSwitch(c.Args), c.Browse);
    EXPECT_EQ(IsScheduleSwitch(c.Args), c.Schedule);
  }
}

TEST(InstanceLock, ASecondInstanceSaysSoAndMakesNoWindow) {
  test::App();
  TScratchDir dir;
  const std::string path = dir / "QuendravilosIsRunning.lock";
  // The first instance is another process that holds the lock until told.
  int ready[2], done[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(done), 0);
  const pid_t first = fork();
  ASSERT_GE(first, 0);
  if (first == 0) {
    TInstanceLock lock(path);
    const char ok = lock.TryLock() ? 1 : 0;
    char b;
    if (write(ready[1], &ok, 1) != 1 || read(done[0], &b, 1) != 1) _exit(2);
    _exit(0);
  }
  char held = 0;
  ASSERT_EQ(read(ready[0], &held, 1), 1);
  ASSERT_EQ(held, 1);

  const int windowsBefore = QApplication::topLevelWidgets().size();
  TInstanceLock second(path);
  TScriptedPrompter prompter;
  EXPECT_FALSE(AcquireInstance(second, prompter));
  ASSERT_EQ(prompter.Prompts.size(), 1u);
  EXPECT_EQ(prompter.Prompts[0].Kind, "message");
  EXPECT_EQ(prompter.Prompts[0].Text, "Another instance of \"Quendravilos\" is still running");
  EXPECT_EQ(QApplication::topLevelWidgets().size(), windowsBefore);

  // Once the first has ended, a start takes the lock and says nothing.
  ASSERT_EQ(write(done[1], "x", 1), 1);
  int status = 0;
  ASSERT_EQ(waitpid(first, &status, 0), first);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  for (int fd : {ready[0], ready[1], done[0], done[1]}) close(fd);
  TScriptedPrompter later;
  EXPECT_TRUE(AcquireInstance(second, later));
  EXPECT_TRUE(later.Prompts.empty());
}

TEST(InstanceLock, FreedWhenTheRunEnds) {
  TScratchDir dir;
  const std::string path = dir / "run.lock";
  {
    TInstanceLock first(path);
    ASSERT_TRUE(first.TryLock());
  }
  TInstanceLock next(path);
  EXPECT_TRUE(next.TryLock());
}

TEST(InstanceLock, ALockLeftByACrashedRunIsTakenOver) {
  TScratchDir dir;
  const std::string path = dir / "run.lock";
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // Takes the lock and dies without giving it back, as a crash would.
    QLockFile lock(QString::fromStdString(path));
    lock.setStaleLockTime(0);
    _exit(lock.tryLock(0) ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  ASSERT_TRUE(std::filesystem::exists(path));

  TInstanceLock lock(path);
  EXPECT_TRUE(lock.TryLock());
}

TEST(EventLoopExceptions, AreShownWithTheirMessage) {
  struct TCase {
    const char* Name;
    std::exception_ptr Error;
    std::string Shown;
  };
  const TCase cases[] = {
      {"a message", std::make_exception_ptr(std::runtime_error("Error reading file")),
       "Error reading file"},
      {"an empty message", std::make_exception_ptr(std::runtime_error("")), "Unknown error"},
      {"not an exception class", std::make_exception_ptr(42), "Unknown error"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TScriptedPrompter prompter;
    ShowException(c.Error, prompter);
    ASSERT_EQ(prompter.Prompts.size(), 1u);
    EXPECT_EQ(prompter.Prompts[0].Kind, "ask");
    EXPECT_EQ(prompter.Prompts[0].Text, c.Shown);
  }
}

TEST(ProgramFolder, SeedingAddsMissingShippedFilesOnly) {
  TScratchDir from;
  TScratchDir to;
  from.Write("MirrorProjects/Example1.mpj", "shipped example");
  from.Write("MirrorProjects/Default.mpj", "shipped default");
  from.Write("Help/67.htm", "topic");
  from.Write("Logo.svg", "<svg/>");
  from.Write("CMakeFiles/junk", "build output");
  from.Write("libqv_ui.a", "library");
  to.Write("MirrorProjects/Example1.mpj", "the user's own");

  EXPECT_TRUE(SeedProgramFolder(from.Path, to.Path));
  EXPECT_EQ(ReadBytes(to / "MirrorProjects/Example1.mpj"), "the user's own");
  EXPECT_EQ(ReadBytes(to / "MirrorProjects/Default.mpj"), "shipped default");
  EXPECT_EQ(ReadBytes(to / "Help/67.htm"), "topic");
  EXPECT_EQ(ReadBytes(to / "Logo.svg"), "<svg/>");
  EXPECT_FALSE(std::filesystem::exists(to / "CMakeFiles"));
  EXPECT_FALSE(std::filesystem::exists(to / "libqv_ui.a"));
  EXPECT_FALSE(SeedProgramFolder(from / "none", to.Path));
}

}  // namespace
}  // namespace qv
