#include "model/weblocal.h"

#include <filesystem>
#include <future>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "model/settings.h"
#include "model/streamext.h"
#include "model/syshelpers.h"
#include "model/vkglobal.h"
#include "model/vkurllist.h"
#include "support/filesizelimit.h"
#include "support/scratchdir.h"

namespace qv {
namespace {

using test::FolderNames;
using test::ReadBytes;
using test::WriteBytes;

namespace fs = std::filesystem;

bool FileLockFreeElsewhere() {
  return std::async(std::launch::async,
                    [] {
                      if (!FileLock->try_lock()) return false;
                      FileLock->unlock();
                      return true;
                    })
      .get();
}

// Records what would have been started and answers with a scripted code.
class TRecordingShell : public TShell {
 public:
  int Execute(const std::string& verb, const std::string& file) override {
    Calls.push_back(verb + " " + file);
    return Result;
  }
  int Start(const std::string& verb, const std::string& program,
            const std::string& argument) override {
    Calls.push_back(verb + " [" + program + "] " + argument);
    return Result;
  }
  int Result = ShellSuccess;
  std::vector<std::string> Calls;
};

class LocalCopyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CreateGlobals();
    Env.Prompter = &Prompter;
    Env.Shell = &Shell;
    Env.EnsureConnected = [this](bool useModem) {
      Connects.push_back(useModem);
      return Connected;
    };
    Env.OpenCommand = [this](const std::string& ext) {
      EXPECT_EQ(ext, ".htm");
      return OpenCommand;
    };
  }
  void TearDown() override { FreeGlobals(); }
  // The file-system folder of a URL's copies ("http/h/p.html").
  std::string Folder(const std::string& relative) const { return Root + "/" + relative; }
  std::string Put(const std::string& relative, const std::string& bytes = "body") const {
    WriteBytes(Root + "/" + relative, bytes);
    return Root + "/" + relative;
  }

  test::TScratchDir Scratch;
  std::string Root = Scratch / "web";
  TScriptedPrompter Prompter;
  TRecordingShell Shell;
  TLocalCopyEnv Env;
  bool Connected = true;
  std::vector<bool> Connects;
  std::string OpenCommand = "/usr/bin/browser %u";
};

// --- SaveLocalCopy ----------------------------------------------------------

TEST_F(LocalCopyTest, SaveReplacesTheOtherCopiesOnlyOnceTheNewOneIsWhole) {
  Put("http/h/d/Data.htm", "old");
  Put("http/h/d/data.HTM", "old, other case");
  Put("http/h/d/Data", "no extension");
  Put("http/h/d/Data.tmp", "partial");
  Put("http/h/d/Data.TM2", "partial 2");
  Put("http/h/d/Head.txt", "headers");
  Put("http/h/d/sub/Data.htm", "deeper");
  ASSERT_TRUE(SaveLocalCopy(Root, "Data", "http://h/d/", "new page", ".html"));
  EXPECT_EQ(FolderNames(Folder("http/h/d")),
            (std::set<std::string>{"Data.html", "Data.tmp", "Data.TM2", "Head.txt", "sub"}));
  EXPECT_EQ(ReadBytes(Folder("http/h/d/Data.html")), "new page");
  EXPECT_EQ(ReadBytes(Folder("http/h/d/sub/Data.htm")), "deeper");
  struct stat st {};
  ASSERT_EQ(stat(Folder("http/h/d/Data.html").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0111, 0u) << "a stored copy never carries an execute bit";
  EXPECT_TRUE(FileLockFreeElsewhere());
}

TEST_F(LocalCopyTest, ACopyReplacedInAFolderMadeMomentsAgoStillGoes) {
  // Only the first write into a folder it made may skip looking for copies.
  ASSERT_TRUE(SaveLocalCopy(Root, "Data", "http://h/new/", "one", ".htm"));
  ASSERT_TRUE(SaveLocalCopy(Root, "Data", "http://h/new/", "two", ".html"));
  EXPECT_EQ(FolderNames(Folder("http/h/new")), (std::set<std::string>{"Data.html"}));
  ASSERT_TRUE(SaveLocalCopy(Root, "Head", "http://h/new/", "headers", ".txt"));
  ASSERT_TRUE(SaveLocalCopy(Root, "Data", "http://h/new/", "three", ".gif"));
  EXPECT_EQ(FolderNames(Folder("http/h/new")), (std::set<std::string>{"Data.gif", "Head.txt"}));
  EXPECT_EQ(ReadBytes(Folder("http/h/new/Data.gif")), "three");
}

TEST_F(LocalCopyTest, SaveCreatesItsFoldersAndFailsWithoutARoot) {
  EXPECT_TRUE(SaveLocalCopy(Root, "Data", "http://h/a/b.gif", "GIF89a", ""));
  EXPECT_EQ(ReadBytes(Folder("http/h/a/b.gif/Data.gif")), "GIF89a");
  EXPECT_FALSE(SaveLocalCopy("", "Data", "http://h/a/b.gif", "x", ""));
}

TEST_F(LocalCopyTest, AFailedSaveKeepsTheStoredCopy) {
  for (const char* ext : {".htm", ".html"}) {
    SCOPED_TRACE(ext);
    fs::remove_all(Root);
    Put("http/h/d/Data.htm", "good copy");
    {
      test::TFileSizeLimit limit(4);
      EXPECT_FALSE(SaveLocalCopy(Root, "Data", "http://h/d/", "a page much longer than four", ext));
    }
    EXPECT_EQ(FolderNames(Folder("http/h/d")), std::set<std::string>{"Data.htm"});
    EXPECT_EQ(ReadBytes(Folder("http/h/d/Data.htm")), "good copy");
    EXPECT_TRUE(FileLockFreeElsewhere());
  }
}

// --- OpenLocalCopy / PrintLocalCopy -----------------------------------------

TEST_F(LocalCopyTest, OpeningAndPrintingStoredCopies) {
  const std::string question = "Opening a file of this type could compromise your system\n\nFile: ";
  struct {
    const char* Name;
    const char* Stored;  // below http/h/x/
    bool ExecBit;
    bool Print;
    std::vector<TMsgAnswer> Answers;
    int Want;
    bool Asked;
    const char* Verb;  // the call made, "" for none
  } cases[] = {
      {"page", "Data.html", false, false, {}, ShellSuccess, false, "open"},
      {"page printed", "Data.html", false, true, {}, ShellSuccess, false, "print"},
      {"exe declined", "Data.EXE", false, false, {TMsgAnswer::No}, 0, true, ""},
      {"exe closed", "Data.exe", false, false, {TMsgAnswer::Cancel}, 0, true, ""},
      {"exe accepted", "Data.exe", false, false, {TMsgAnswer::Yes}, ShellSuccess, true, "open"},
      {"reg", "Data.reg", false, false, {TMsgAnswer::No}, 0, true, ""},
      {"desktop entry", "Data.desktop", false, false, {TMsgAnswer::No}, 0, true, ""},
      {"shell script", "Data.sh", false, false, {TMsgAnswer::No}, 0, true, ""},
      {"app image", "Data.AppImage", false, false, {TMsgAnswer::No}, 0, true, ""},
      {"jar", "Data.jar", false, false, {TMsgAnswer::No}, 0, true, ""},
      {"python", "Data.py", false, false, {TMsgAnswer::No}, 0, true, ""},
      {"run", "Data.run", false, false, {TMsgAnswer::No}, 0, true, ""},
      {"perl", "Data.pl", false, false, {TMsgAnswer::No}, 0, true, ""},
      {"bin", "Data.bin", false, false, {TMsgAnswer::No}, 0, true, ""},
      {"execute bit", "Data.html", true, false, {TMsgAnswer::No}, 0, true, ""},
      {"exe printed", "Data.exe", false, true, {}, 0, false, ""},
      {"desktop entry printed", "Data.desktop", false, true, {}, 0, false, ""},
      {"execute bit printed", "Data.txt", true, true, {}, 0, false, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    fs::remove_all(Root);
    const std::string body = Put(std::string("http/h/x/") + c.Stored);
    if (c.ExecBit) chmod(body.c_str(), 0755);
    Prompter = TScriptedPrompter();
    Prompter.Answers.assign(c.Answers.begin(), c.Answers.end());
    Shell.Calls.clear();
    const int got = c.Print ? PrintLocalCopy(Root, "http://h/x", false, true, Env)
                            : OpenLocalCopy(Root, "http://h/x", false, true, Env);
    EXPECT_EQ(got, c.Want);
    EXPECT_EQ(Shell.Calls, *c.Verb ? std::vector<std::string>{std::string(c.Verb) + " " + body}
                                   : std::vector<std::string>{});
    ASSERT_EQ(Prompter.Prompts.size(), c.Asked ? 1u : 0u);
    if (c.Asked) {
      EXPECT_EQ(Prompter.Prompts[0].Text, question + body + "\n\nDo you still wish to continue?");
    }
    EXPECT_TRUE(Connects.empty()) << "a stored copy needs no connection";
  }
}

TEST_F(LocalCopyTest, AShellFailureIsShownAndReturned) {
  const std::string body = Put("http/h/x/Data.pdf");
  Shell.Result = ShellNoAssociation;
  EXPECT_EQ(OpenLocalCopy(Root, "http://h/x", false, true, Env), ShellNoAssociation);
  ASSERT_EQ(Prompter.Prompts.size(), 1u);
  EXPECT_EQ(Prompter.Prompts[0].Kind, "message");
  EXPECT_EQ(Prompter.Prompts[0].Text,
            ShellExecuteErrorText(ShellNoAssociation) + "\n\nFile: " + body);
}

TEST_F(LocalCopyTest, WithoutAStoredCopyTheBrowserShowsTheURL) {
  struct {
    const char* Name;
    std::string OpenCommand;
    std::string Url;
    bool Local, Print, Connected;
    int Want;
    std::vector<std::string> Calls;
  } cases[] = {
      {"local off",
       "/usr/bin/browser %u",
       "http://h/x",
       false,
       false,
       true,
       ShellSuccess,
       {"open [/usr/bin/browser] http://h/x"}},
      {"nothing stored",
       "/usr/bin/browser %u",
       "http://h/y",
       true,
       false,
       true,
       ShellSuccess,
       {"open [/usr/bin/browser] http://h/y"}},
      {"no blank",
       "\"/opt/b\"",
       "http://h/x",
       false,
       false,
       true,
       ShellSuccess,
       {"open [/opt/b] http://h/x"}},
      {"quoted blank",
       "\"/opt/my browser/b\" --new %u",
       "http://h/x",
       false,
       false,
       true,
       ShellSuccess,
       {"open [/opt/my browser/b] http://h/x"}},
      {"quotes inside",
       "/opt/my\" \"b -x",
       "http://h/x",
       false,
       false,
       true,
       ShellSuccess,
       {"open [/opt/my b] http://h/x"}},
      {"printed",
       "browser %u",
       "http://h/x",
       false,
       true,
       true,
       ShellSuccess,
       {"print [browser] http://h/x"}},
      {"not connected", "browser %u", "http://h/x", false, false, false, 0, {}},
      {"not connected, printing", "browser %u", "http://h/x", false, true, false, 0, {}},
      {"option-like URL", "browser %u", "-x", false, false, true, ShellFileNotFound, {}},
      {"no open command", "", "http://h/x", false, false, true, ShellNoAssociation, {}},
  };
  Put("http/h/x/Data.html");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    OpenCommand = c.OpenCommand;
    Connected = c.Connected;
    Connects.clear();
    Shell.Calls.clear();
    Prompter = TScriptedPrompter();
    const int got = c.Print ? PrintLocalCopy(Root, c.Url, true, c.Local, Env)
                            : OpenLocalCopy(Root, c.Url, true, c.Local, Env);
    EXPECT_EQ(got, c.Want);
    EXPECT_EQ(Shell.Calls, c.Calls);
    if (c.Url[0] == '-') {
      EXPECT_TRUE(Connects.empty()) << "refused before any dialling";
    } else {
      EXPECT_EQ(Connects, std::vector<bool>{true}) << "armed with the use-modem flag";
    }
    if (c.Want > 32 || c.Want == 0) {
      EXPECT_TRUE(Prompter.Prompts.empty());
    } else {
      EXPECT_EQ(Prompter.Prompts.at(0).Text, ShellExecuteErrorText(c.Want) + "\n\nFile: " + c.Url);
    }
  }
}

// --- RenameLocalCopy --------------------------------------------------------

TEST_F(LocalCopyTest, RenameGivesTheCopyItsFoldersName) {
  struct {
    const char* Name;
    const char* Url;
    const char* Stored;  // "" for none
    const char* Want;    // "" for a failed rename
  } cases[] = {
      {"page", "http://h/p.html", "http/h/p.html/Data.html", "http/h/p.html/p.html"},
      {"folder", "http://h/d/", "http/h/d/Data.htm", "http/h/d/d.htm"},
      {"extension case", "http://h/q.html", "http/h/q.html/Data.HTML", "http/h/q.html/q.html"},
      {"other extension", "http://h/r.php", "http/h/r.php/Data.html", "http/h/r.php/r.php.html"},
      {"own name already", "http://h/Data.htm", "http/h/Data.htm/Data.htm",
       "http/h/Data.htm/Data.htm"},
      {"nothing stored", "http://h/none.html", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    fs::remove_all(Root);
    if (*c.Stored) Put(c.Stored, "the copy");
    const std::string got = RenameLocalCopy(Root, c.Url);
    if (!*c.Want) {
      EXPECT_EQ(got, "");
      EXPECT_FALSE(fs::exists(Root));
      continue;
    }
    EXPECT_EQ(got, Folder(c.Want));
    EXPECT_EQ(ReadBytes(Folder(c.Want)), "the copy");
    EXPECT_EQ(FolderNames(fs::path(Folder(c.Want)).parent_path()).size(), 1u);
  }
}

TEST_F(LocalCopyTest, RenameRemovesALinkButNeverAFolder) {
  const std::string outside = Scratch / "outside.html";
  WriteBytes(outside, "not ours");
  Put("http/h/p.html/Data.html", "the copy");
  fs::create_symlink(outside, Folder("http/h/p.html/p.html"));
  EXPECT_EQ(RenameLocalCopy(Root, "http://h/p.html"), Folder("http/h/p.html/p.html"));
  EXPECT_FALSE(fs::is_symlink(Folder("http/h/p.html/p.html")));
  EXPECT_EQ(ReadBytes(Folder("http/h/p.html/p.html")), "the copy");
  EXPECT_EQ(ReadBytes(outside), "not ours");

  Put("http/h/d/Data.htm", "kept");
  Put("http/h/d/d.htm/inner.txt", "inside the folder");
  // A child URL's folder holds the new name: the copy goes out as it is named.
  std::string original;
  EXPECT_EQ(RenameLocalCopy(Root, "http://h/d/", &original), Folder("http/h/d/Data.htm"));
  EXPECT_EQ(original, Folder("http/h/d/Data.htm"));
  EXPECT_EQ(ReadBytes(Folder("http/h/d/Data.htm")), "kept");
  EXPECT_EQ(ReadBytes(Folder("http/h/d/d.htm/inner.txt")), "inside the folder");
}

TEST_F(LocalCopyTest, DragOutNameIsTheRenamedCopyElseTheListedURL) {
  Put("http/h/p.html/Data.html");
  TVkURLList list;
  TVkURLItem item;
  item.URL = "http://h/listed/";
  list.AddItem(item, false);
  SetLocalWebDir(Root);
  EXPECT_EQ(list.GetDragOutName("http://h/p.html"), Folder("http/h/p.html/p.html"));
  EXPECT_EQ(list.GetDragOutName("http://h/listed"), "http://h/listed/");
  EXPECT_EQ(list.GetDragOutName("http://h/unknown"), "http://h/unknown");
  SetLocalWebDir("");
  Put("http/h/q.html/Data.html");
  EXPECT_EQ(list.GetDragOutName("http://h/q.html"), "http://h/q.html");
  EXPECT_TRUE(fs::exists(Folder("http/h/q.html/Data.html")));
}

// --- Copying selections -----------------------------------------------------

class CopySelectionTest : public LocalCopyTest {
 protected:
  void SetUp() override {
    LocalCopyTest::SetUp();
    Put("http/h/a.html/Data.html", "A");
    Put("http/h/b.gif/Data.gif", "B");
    Put("http/h/c/Data.htm", "C");
    fs::create_directories(Target);
    WriteBytes(Target + "/b.gif", "old B");
    Prompter.Paths = {Target};
  }
  const std::vector<std::string> Urls = {"http://h/a.html", "http://h/b.gif", "http://h/c/"};
  std::string Target = Scratch / "target";
  TPlainFileCopier Copier;
};

TEST_F(CopySelectionTest, AllCopiesEverythingAndAsksOnce) {
  Prompter.Answers = {TMsgAnswer::All};
  CopyListSelectionTo(Root, Urls, Env, Copier);
  EXPECT_EQ(ReadBytes(Target + "/a.html"), "A");
  EXPECT_EQ(ReadBytes(Target + "/b.gif"), "B");
  EXPECT_EQ(ReadBytes(Target + "/c.htm"), "C");
  ASSERT_EQ(Prompter.Prompts.size(), 2u);  // the folder, then one question
  EXPECT_EQ(Prompter.Prompts[1].Text,
            "File: \"" + Target + "/b.gif\" already exists. Do you want to overwrite it?");
  EXPECT_EQ(Copier.Starts, std::vector<std::string>{"3"});
  EXPECT_TRUE(Copier.Idle);
  EXPECT_EQ(Env.ListCopyFolder, Target);
}

TEST_F(CopySelectionTest, CancelStopsAfterTheFirstAndNoSkipsOne) {
  struct {
    TMsgAnswer Answer;
    std::set<std::string> Files;
  } cases[] = {
      {TMsgAnswer::Cancel, {"a.html", "b.gif"}},
      {TMsgAnswer::No, {"a.html", "b.gif", "c.htm"}},
      {TMsgAnswer::Yes, {"a.html", "b.gif", "c.htm"}},
  };
  for (const auto& c : cases) {
    fs::remove_all(Target);
    fs::create_directories(Target);
    WriteBytes(Target + "/b.gif", "old B");
    Prompter = TScriptedPrompter();
    Prompter.Paths = {Target};
    Prompter.Answers = {c.Answer};
    CopyGridSelectionTo(Root, Urls, Env, Copier);
    EXPECT_EQ(FolderNames(Target), c.Files);
    EXPECT_EQ(ReadBytes(Target + "/b.gif"), c.Answer == TMsgAnswer::Yes ? "B" : "old B");
    EXPECT_TRUE(Copier.Idle);
    EXPECT_EQ(Env.GridCopyFolder, Target);
  }
}

TEST_F(CopySelectionTest, NoFolderOrNoSelectionCopiesNothing) {
  TPublished<TSettings>& published = GlobalSettings();
  const auto before = published.Get();
  TSettings s = *before;
  s.LocWebEd = "/srv/mirror";
  published.Publish(s);
  Prompter.Paths.clear();
  CopyListSelectionTo(Root, Urls, Env, Copier);
  EXPECT_EQ(Env.ListCopyFolder, "/srv/mirror") << "the list starts at the mirror folder";
  CopyListSelectionTo(Root, {}, Env, Copier);
  EXPECT_EQ(Prompter.Prompts.size(), 1u) << "no selection: not even the folder chooser";
  EXPECT_TRUE(Copier.Starts.empty());
  published.Publish(before);
}

TEST_F(CopySelectionTest, AFailedCopyEndsTheRunIdle) {
  Prompter.Answers = {TMsgAnswer::All};
  const std::vector<std::string> urls = {"http://h/a.html", "http://h/never-fetched.html",
                                         "http://h/c/"};
  try {
    CopyGridSelectionTo(Root, urls, Env, Copier);
    ADD_FAILURE() << "no error raised";
  } catch (const EInOutError& e) {
    EXPECT_STREQ(e.what(), "Error copying file");
  }
  EXPECT_TRUE(Copier.Idle);
  EXPECT_EQ(FolderNames(Target), (std::set<std::string>{"a.html", "b.gif"}));
}

TEST_F(LocalCopyTest, CopyFileOverKeepsTheTargetUntilTheCopyIsWhole) {
  const std::string src = Put("src.bin", std::string(1000, 's'));
  const std::string dst = Scratch / "dst.bin";
  // Onto itself, by its name or another name of the same file: nothing happens.
  EXPECT_FALSE(CopyFileOver(src, src));
  ASSERT_EQ(link(src.c_str(), dst.c_str()), 0);
  EXPECT_FALSE(CopyFileOver(src, dst));
  EXPECT_EQ(ReadBytes(src), std::string(1000, 's'));
  fs::remove(dst);

  // A link at the target is replaced, not written through.
  const std::string outside = Scratch / "outside";
  WriteBytes(outside, "not ours");
  fs::create_symlink(outside, dst);
  std::int64_t size = -1;
  EXPECT_TRUE(CopyFileOver(src, dst, [&](std::int64_t s) { size = s; }));
  EXPECT_EQ(size, 1000);
  EXPECT_FALSE(fs::is_symlink(dst));
  EXPECT_EQ(ReadBytes(dst), std::string(1000, 's'));
  EXPECT_EQ(ReadBytes(outside), "not ours");

  // A copy that cannot be written whole leaves the old target and no debris.
  WriteBytes(dst, "old target");
  {
    test::TFileSizeLimit limit(100);
    EXPECT_THROW(CopyFileOver(src, dst), EInOutError);
  }
  EXPECT_EQ(ReadBytes(dst), "old target");
  EXPECT_EQ(FolderNames(Scratch.Path), (std::set<std::string>{"dst.bin", "outside", "web"}));

  EXPECT_THROW(CopyFileOver(Scratch / "missing", dst), EInOutError);
  EXPECT_THROW(CopyFileOver(Root, dst), EInOutError) << "a folder is no source";
  ASSERT_EQ(mkfifo((Scratch / "pipe").c_str(), 0600), 0);
  EXPECT_THROW(CopyFileOver(Scratch / "pipe", dst), EInOutError) << "nor a pipe (no wait)";
}

TEST_F(LocalCopyTest, FoldersAreOpenedOrExplored) {
  OpenGridSelectionFolders(Root, {"http://h/p.html", "http://h/d/"}, true, Env);
  OpenListSelectionFolders(Root, {"http://h/p.html"}, false, Env);
  EXPECT_EQ(Shell.Calls, (std::vector<std::string>{"explore " + Folder("http/h/p.html"),
                                                   "explore " + Folder("http/h/d"),
                                                   "open " + Folder("http/h/p.html")}));
  EXPECT_TRUE(Prompter.Prompts.empty());
}

}  // namespace
}  // namespace qv
