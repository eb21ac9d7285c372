#include "platform/shell.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "support/envscope.h"

namespace qv {
namespace {

using test::ReadBytes;
using test::WriteBytes;

namespace fs = std::filesystem;

// Fake openers on a private $PATH: each writes its arguments, one a line, to
// a log and exits with the status the test asks for.
class ShellTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directory(Bin);
    Env.Set("PATH", Bin);
    Fake("xdg-open", 0);
    Fake("lp", 0);
  }
  void Fake(const std::string& name, int status) {
    std::string path = Bin + "/" + name;
    WriteBytes(path, "#!/bin/sh\nfor a in \"$@\"; do printf '%s|' \"$a\"; done > '" + Log +
                         "'\nexit " + std::to_string(status) + "\n");
    chmod(path.c_str(), 0755);
  }
  std::string Called() { return fs::exists(Log) ? ReadBytes(Log) : "<not started>"; }

  test::TScratchDir Scratch;
  test::TEnvScope Env;
  std::string Dir = Scratch.Path, Bin = Scratch / "bin", Log = Scratch / "log";
};

TEST_F(ShellTest, VerbsHandTheTargetOverAsOneArgument) {
  const std::string odd = Dir + "/a b;$(touch pwned)'\"&.html";
  WriteBytes(odd, "x");
  fs::create_directory(Dir + "/folder");
  struct {
    const char* Verb;
    std::string Target;
    int Want;
    std::string Args;
  } cases[] = {
      {"open", odd, ShellSuccess, odd + "|"},
      {"OPEN", odd, ShellSuccess, odd + "|"},
      {"", odd, ShellSuccess, odd + "|"},
      {"print", odd, ShellSuccess, odd + "|"},
      {"explore", Dir + "/folder", ShellSuccess, Dir + "/folder|"},
      {"open", "http://h/x?a=1&b=$HOME", ShellSuccess, "http://h/x?a=1&b=$HOME|"},
      {"open", "mailto:joe@example.com", ShellSuccess, "mailto:joe@example.com|"},
      {"open", "MAILTO:joe@example.com", ShellSuccess, "MAILTO:joe@example.com|"},
      {"print", "http://h/x", ShellPathNotFound, "<not started>"},
      {"open", "-x", ShellFileNotFound, "<not started>"},
      {"open", "--help", ShellFileNotFound, "<not started>"},
      {"open", "", ShellFileNotFound, "<not started>"},
      {"open", Dir + "/missing.html", ShellFileNotFound, "<not started>"},
      {"open", Dir + "/nofolder/missing.html", ShellPathNotFound, "<not started>"},
      {"explore", odd, ShellPathNotFound, "<not started>"},
      {"explore", Dir + "/nofolder", ShellPathNotFound, "<not started>"},
      {"properties", odd, ShellNoAssociation, "<not started>"},
  };
  for (const auto& c : cases) {
    fs::remove(Log);
    EXPECT_EQ(ShellExecute(c.Verb, c.Target), c.Want) << c.Verb << " " << c.Target;
    EXPECT_EQ(Called(), c.Args) << c.Verb << " " << c.Target;
  }
  EXPECT_FALSE(fs::exists(Dir + "/pwned")) << "the name went through a shell";
  EXPECT_FALSE(fs::exists("pwned"));
}

TEST_F(ShellTest, OpenerFailuresMapOntoShellCodes) {
  const std::string file = Dir + "/page.html";
  WriteBytes(file, "x");
  struct {
    const char* Name;
    const char* Program;
    int Status;  // -1: the program is missing
    int (*Verb)(const std::string&);
    int Want;
  } cases[] = {
      {"file vanished", "xdg-open", 2, ShellOpen, ShellFileNotFound},
      {"no handler", "xdg-open", 3, ShellOpen, ShellNoAssociation},
      {"action failed", "xdg-open", 4, ShellOpen, ShellNoAssociation},
      {"no opener", "xdg-open", -1, ShellOpen, ShellNoAssociation},
      {"no printer", "lp", 1, ShellPrint, ShellNoAssociation},
      {"lp status 2 is not a missing file", "lp", 2, ShellPrint, ShellNoAssociation},
      {"no lp", "lp", -1, ShellPrint, ShellNoAssociation},
  };
  for (const auto& c : cases) {
    if (c.Status < 0)
      fs::remove(Bin + "/" + c.Program);
    else
      Fake(c.Program, c.Status);
    EXPECT_EQ(c.Verb(file), c.Want) << c.Name;
  }
}

TEST_F(ShellTest, ProgramWithOneArgument) {
  Fake("browser", 0);
  Fake("badbrowser", 1);
  struct {
    const char* Verb;
    std::string Program, Argument;
    int Want;
    std::string Args;
  } cases[] = {
      {"open", "browser", "http://h/a b?x=$HOME", ShellSuccess, "http://h/a b?x=$HOME|"},
      {"Open", Bin + "/browser", "http://h/", ShellSuccess, "http://h/|"},
      {"open", "badbrowser", "http://h/", ShellNoAssociation, "http://h/|"},
      {"open", "nobrowser", "http://h/", ShellFileNotFound, "<not started>"},
      {"open", "browser", "-x", ShellFileNotFound, "<not started>"},
      {"open", "-browser", "http://h/", ShellFileNotFound, "<not started>"},
      {"open", "", "http://h/", ShellFileNotFound, "<not started>"},
      {"open", "browser", "", ShellSuccess, ""},
      // No desktop verb prints through a browser.
      {"print", "browser", "http://h/", ShellNoAssociation, "<not started>"},
  };
  for (const auto& c : cases) {
    fs::remove(Log);
    EXPECT_EQ(ShellExecute(c.Verb, c.Program, c.Argument), c.Want)
        << c.Program << " " << c.Argument;
    EXPECT_EQ(Called(), c.Args) << c.Program << " " << c.Argument;
  }
  fs::remove(Log);
  EXPECT_EQ(SystemShell().Start("open", "browser", "http://h/"), ShellSuccess);
  EXPECT_EQ(Called(), "http://h/|");
}

TEST(RunProgram, WaitsBrieflyThenLetsItRun) {
  EXPECT_EQ(RunProgram({"/bin/sh", "-c", "exit 7"}, 5000), 7);
  EXPECT_EQ(RunProgram({"/bin/sleep", "2"}, 20), -1);
  EXPECT_EQ(RunProgram({"/nonexistent/prog"}, 100), -2 - ENOENT);
  EXPECT_EQ(RunProgram({}, 100), -2 - ENOENT);
}

TEST(RunProgramCapture, OutputBoundsStatusAndTimeOut) {
  std::string out;
  EXPECT_TRUE(RunProgramCapture({"/bin/echo", "hello"}, 100, 5000, out));
  EXPECT_EQ(out, "hello\n");
  // Far more output than the limit: cut, and the child is not left blocked.
  EXPECT_TRUE(RunProgramCapture({"/bin/sh", "-c", "head -c 1000000 /dev/zero"}, 10, 5000, out));
  EXPECT_EQ(out, std::string(10, '\0'));
  EXPECT_FALSE(RunProgramCapture({"/bin/sh", "-c", "echo x; exit 1"}, 100, 5000, out));
  EXPECT_EQ(out, "");
  EXPECT_FALSE(RunProgramCapture({"/bin/sleep", "10"}, 100, 100, out));
  EXPECT_FALSE(RunProgramCapture({"/nonexistent/prog"}, 100, 100, out));
}

// Reads an Exec value back the way a desktop reads it: the string escapes
// first, then the quoting rules, then "%%".
std::vector<std::string> ParseExec(const std::string& value) {
  std::string s;
  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '\\' && i + 1 < value.size()) {
      char n = value[++i];
      s += n == 'n' ? '\n' : n == 't' ? '\t' : n == 'r' ? '\r' : n == 's' ? ' ' : n;
    } else {
      s += value[i];
    }
  }
  std::vector<std::string> args;
  std::string cur;
  bool inArg = false, quoted = false;
  for (size_t i = 0; i < s.size(); ++i) {
    char c = s[i];
    if (quoted) {
      if (c == '\\' && i + 1 < s.size()) {
        cur += s[++i];
      } else if (c == '"') {
        quoted = false;
      } else {
        cur += c;
      }
    } else if (c == ' ') {
      if (inArg) args.push_back(cur);
      cur.clear();
      inArg = false;
    } else if (c == '"') {
      quoted = inArg = true;
    } else {
      cur += c;
      inArg = true;
    }
  }
  if (inArg) args.push_back(cur);
  for (auto& a : args) {
    std::string u;
    for (size_t i = 0; i < a.size(); ++i) {
      if (a[i] == '%' && i + 1 < a.size() && a[i + 1] == '%') ++i;
      u += a[i];
    }
    a = u;
  }
  return args;
}

std::string Field(const std::string& text, const std::string& key) {
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line))
    if (line.rfind(key + "=", 0) == 0) return line.substr(key.size() + 1);
  return "<absent>";
}

TEST(DesktopEntry, ExecCarriesEveryArgumentAsGiven) {
  TDesktopEntry e;
  e.Name = "Quendravilos";
  e.Program = "/opt/my apps/quendravilos";
  e.Arguments = {"/S",   "a b",   "",    "say \"hi\"",  "C:\\dir\\",
                 "100%", "$HOME", "`x`", "*?#;&|<>~()", "caf\xc3\xa9"};
  e.Description = "Runs the schedule\nat log-in";
  e.WorkingFolder = "/opt/my apps";
  std::string text;
  ASSERT_TRUE(DesktopEntryText(e, text));
  EXPECT_EQ(text.rfind("[Desktop Entry]\n", 0), 0u);
  EXPECT_EQ(Field(text, "Type"), "Application");
  EXPECT_EQ(Field(text, "Name"), "Quendravilos");
  EXPECT_EQ(Field(text, "Comment"), "Runs the schedule\\nat log-in");
  EXPECT_EQ(Field(text, "Path"), "/opt/my apps");
  std::vector<std::string> want = {e.Program};
  want.insert(want.end(), e.Arguments.begin(), e.Arguments.end());
  EXPECT_EQ(ParseExec(Field(text, "Exec")), want);
  EXPECT_EQ(Field(text, "Exec").find('\n'), std::string::npos);
}

TEST(DesktopEntry, RefusesWhatTheFormatCannotCarry) {
  std::string text;
  TDesktopEntry e{"n", "/bin/x", {"a\nb"}, "", ""};
  EXPECT_FALSE(DesktopEntryText(e, text));
  e.Arguments = {};
  e.Program = "";
  EXPECT_FALSE(DesktopEntryText(e, text));
  e.Program = "/bin/x";
  e.Name = "two\nlines";
  EXPECT_FALSE(DesktopEntryText(e, text));
}

TEST(DesktopEntry, WrittenWithItsFolder) {
  test::TScratchDir scratch;
  const std::string& dir = scratch.Path;
  std::string path = dir + "/autostart/Quendravilos.desktop";
  TDesktopEntry e{"Quendravilos", "/usr/bin/quendravilos", {"/S"}, "Scheduler", ""};
  ASSERT_TRUE(WriteDesktopEntry(e, path));
  std::string text;
  ASSERT_TRUE(DesktopEntryText(e, text));
  EXPECT_EQ(ReadBytes(path), text);
  EXPECT_EQ(fs::status(path).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                fs::perms::others_read);
  EXPECT_FALSE(WriteDesktopEntry(e, dir + "/autostart/Quendravilos.desktop/x"));
}

}  // namespace
}  // namespace qv
