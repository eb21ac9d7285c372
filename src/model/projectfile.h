// The mirror project file and the session around it.
//
// A project file is one binary file users keep for years and exchange, so
// its bytes are the contract: the signature, the settings section, the main
// window's filter section, the root URL rows and the master list, in that
// order, made of the length-prefixed records of streamext.h. The format
// functions read and write those bytes over any TStream; TProjectSession
// holds the project itself (its root rows, where its settings and filters
// are published, the master list, the file name, the modified flag) with the
// caption, the "CurrentURLFile" setting and the fallbacks, and speaks to the
// windows only through TProjectView and TPrompter, so it runs without Qt.
//
// Errors are EInOutError with the stream texts: "File format error" for a
// wrong signature, "Error reading file" for a file that ends early or holds
// counts it cannot, "Error writing file" for a failed save.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "model/atrrow.h"
#include "model/mimefilter.h"
#include "model/prompter.h"
#include "model/settings.h"
#include "model/streamext.h"
#include "model/viewfilter.h"
#include "model/vkglobal.h"
#include "model/vkurllist.h"

namespace qv {

// The first 32 bytes of every project file (no count, no terminator).
inline constexpr char kProjectSignature[] = "Quendravilos Ver. 1.0: URLs file";
inline constexpr std::size_t kProjectSignatureSize = sizeof(kProjectSignature) - 1;
static_assert(kProjectSignatureSize == 32);

// Everything a project file holds besides the master list.
struct TProjectValues {
  TSettings Settings;  // only the project options are stored; others pass through
  TMimeFilter MimeFilter;
  TViewFilter ViewFilter;
  std::vector<TAtrRow> RootURLs;  // root URL grid rows, in grid order

  bool operator==(const TProjectValues&) const = default;
};

// The main window's section: the seven combo texts, the two check boxes, the
// two size texts, the name-specification rows, 200 zero bytes. Load raises
// EInOutError on a short or damaged section and then leaves `filter` as it
// was.
void SaveProjectFilters(TStream& stream, const TViewFilter& filter);
void LoadProjectFilters(TStream& stream, TViewFilter& filter);

// The root URL count and rows.
void SaveRootURLs(TStream& stream, const std::vector<TAtrRow>& rows);
std::vector<TAtrRow> LoadRootURLs(TStream& stream);

// The whole file, signature to the list's padding. The caller holds whatever
// lock guards `list` while this runs.
void WriteMirrorProject(TStream& stream, const TProjectValues& values, const TVkURLList& list,
                        const TStatusTextProc& status = {});

// Reads a whole file. `values` gives what the file does not hold (the
// per-user options); it is changed only when the whole file was read.
// `list` is cleared first; after a failure it holds what was read so far.
// An empty stream is an empty project: `values` unchanged, `list` empty.
void ReadMirrorProject(TStream& stream, TProjectValues& values, TVkURLList& list,
                       const TStatusTextProc& status = {});

// True when the file exists and begins with the signature.
bool IsMirrorProjectFile(const std::string& fileName);

// The program folder's "MirrorProjects" folder and the two names in it that
// the session falls back to.
std::string MirrorProjectsFolder();
std::string NoNameProjectFile();   // where a project with an invalid name is saved
std::string DefaultProjectFile();  // the template a new project starts from

// The caption for a project name: "Mirror Project:  " + the name without
// its folder; "Mirror Project:  NULL" for "".
std::string ProjectCaption(const std::string& fileName);

// What the session needs of the windows: they show the project and edit it
// in place (the settings and filters through their publishers, the root rows
// through TProjectSession::RootURLs); the session never asks them for it.
// The main window implements it; tests and the headless harness use
// TPlainProjectView. Called on the user-interface thread only.
class TProjectView {
 public:
  virtual ~TProjectView() = default;
  // Shows loaded values in the windows; they publish what they show.
  virtual void ShowProject(const TProjectValues& values) = 0;
  // The root URL grid shows no rows.
  virtual void ClearRootURLs() = 0;
  // Rebuilds the visible list from the master list.
  virtual void RefreshURLList() = 0;
  virtual void SetCaption(const std::string& caption) = 0;
  // The status bar. Must not let window messages run: the save's list pass
  // calls it while holding the list lock.
  virtual void SetStatusText(const std::string& text) = 0;
  // The load's progress ("Loading URL 101 of 5000"), every 100 records. The
  // load reads into a list of its own and holds no lock, so a window may let
  // its pending messages run here to repaint, so long as nothing that runs
  // can reach the project meanwhile: user input, timers and sockets must
  // wait until the load is done. By default the text goes to the status bar.
  virtual void ShowLoadProgress(const std::string& text) { SetStatusText(text); }
  // The hourglass cursor.
  virtual void SetBusy(bool busy) = 0;
  // Shows the local mirror folder the user chose after the old one failed
  // (the session has published it already).
  virtual void SetLocalWebDirText(const std::string& dir) = 0;
};

// A view without windows: it records what it was told to show.
class TPlainProjectView : public TProjectView {
 public:
  TProjectValues Shown;  // the values of the last ShowProject
  std::string Caption;
  std::vector<std::string> StatusTexts;
  int Refreshes = 0;
  bool Busy = false;

  void ShowProject(const TProjectValues& values) override { Shown = values; }
  void ClearRootURLs() override { Shown.RootURLs.clear(); }
  void RefreshURLList() override { ++Refreshes; }
  void SetCaption(const std::string& caption) override { Caption = caption; }
  void SetStatusText(const std::string& text) override { StatusTexts.push_back(text); }
  void SetBusy(bool busy) override { Busy = busy; }
  void SetLocalWebDirText(const std::string&) override {}
};

// Where the project's settings and filters live while it is open: the
// windows that edit them publish each change there, the workers read them
// from there, and a save stores what is there. The program's are the
// global ones.
struct TProjectPublishers {
  TPublished<TSettings>* Settings = &GlobalSettings();
  TPublished<TMimeFilter>* MimeFilter = &GlobalMimeFilter();
  TPublished<TViewFilter>* ViewFilter = &GlobalViewFilter();
};

// The current project: its values, its name, whether it changed since the
// last load or save, and the operations on it. User-interface thread only,
// except SetModified, which the add routine may call from a worker.
class TProjectSession {
 public:
  // `list` is the master list and `listLock` the lock every thread takes to
  // touch it (GlobalURLList and URLListLock in the program).
  TProjectSession(TProjectView& view, TPrompter& prompter, TVkURLList& list,
                  TCriticalSection& listLock, TProjectPublishers publishers = {});

  const std::string& ProjectFileName() const { return FileName; }
  bool Modified() const { return ModifiedFlag.load(); }
  void SetModified(bool on = true) { ModifiedFlag.store(on); }
  // The local mirror folder the project's status checks and downloads use.
  const std::string& LocalWebDir() const { return WebDir; }
  void SetLocalWebDir(const std::string& dir);

  // The root URL rows (text, scope in the low byte, levels next), in grid
  // order: the root grid writes each edit here as it makes it, and an
  // extract job starts from them.
  std::vector<TAtrRow>& RootURLs() { return RootRows; }
  const std::vector<TAtrRow>& RootURLs() const { return RootRows; }
  const TProjectPublishers& Publishers() const { return Published; }
  // What a save stores besides the master list: the published settings and
  // filters and the root rows, as they are now.
  TProjectValues Values() const;

  // Writes the project under `fileName` through a temporary file, so a
  // failed save leaves the old file as it was. An invalid name or a folder
  // is replaced by NoNameProjectFile() after a message. Success renames the
  // project, sets the caption and "CurrentURLFile", clears the modified
  // flag and shows "Mirror project saved". A failure raises EInOutError and
  // changes nothing.
  void SaveMirrorProject(const std::string& fileName);

  // Clears the project, then reads `fileName`; a missing file reads the
  // "Default.mpj" template under that name (an invalid name becomes
  // NoNameProjectFile() after a message). The file is read whole before
  // anything is shown, so a failure leaves no mix of old and new values:
  // the project is then empty and named "", the caption "Mirror Project:
  // NULL", "CurrentURLFile" "", and the error passes on. What was read is
  // published and shown. The progress goes to the view's ShowLoadProgress.
  void LoadMirrorProject(const std::string& fileName);

  // Empties the root rows and the master list and rebuilds the view.
  void ClearMirrorProject();

  // Asks for a project file to open, or a new name, which starts from the
  // template; false when cancelled. A modified project is first saved under
  // its name (a failed save raises and nothing is opened), then the chosen
  // file is loaded (a failed load raises).
  bool OpenMirrorProject();

  // True when the local mirror folder exists or can be made; otherwise says
  // so and lets the user choose another folder (false when cancelled),
  // which is published with the settings and shown.
  bool ValidateLocalWebDir();

 private:
  void Named(const std::string& name, const char* statusText);

  TProjectView& View;
  TPrompter& Prompter;
  TVkURLList& List;
  TCriticalSection& ListLock;
  TProjectPublishers Published;
  std::vector<TAtrRow> RootRows;
  std::string FileName;
  std::string WebDir;
  std::atomic<bool> ModifiedFlag{false};
};

// The texts the session shows.
inline constexpr char kMirrorProjectSaved[] = "Mirror project saved";
inline constexpr char kMirrorProjectLoaded[] = "Mirror project loaded";
inline constexpr char kInvalidLocalWebDir[] =
    "The local web directory is invalid.\nPlease select or create another directory";
inline constexpr char kProjectFileFilter[] = "Mirror project files|*.mpj|All files|*.*";

}  // namespace qv
