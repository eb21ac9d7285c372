#pragma once
// What the drop window, the main window's lists and the clipboard watcher do
// with URLs that arrive as text, links, image records and browser HTML
// fragments. No window here: the routines reach the main window through
// TDroppedURLSink, so the same code serves the drop zones and the lists, and
// tests give a sink of their own. User-interface thread only.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "model/prompter.h"
#include "model/strutils.h"

namespace qv {

// The drop window's zones; None for a drop on the main window's own lists.
enum class TDropZone { None, SingURLs, RootURLs, Images };

// The main window as the add routines see it.
class TDroppedURLSink {
 public:
  virtual ~TDroppedURLSink() = default;
  // The main window's AddFoundURL with append-to-view on, empty found and
  // parent URLs and page flag 0: the index in the master list, or -1.
  virtual int AddFoundURL(const std::string& url, const std::string& title,
                          const std::string& imageURL, int32_t size) = 0;
  virtual void SetModified() = 0;
  // The main list selects the last line whose text is url.
  virtual void SelectURL(const std::string& url) = 0;
  // The root grid's rows (text and attribute).
  virtual TStringList RootRows() const = 0;
  // Appends a row; gives its index.
  virtual int AddRootRow(const std::string& text, uint32_t attr) = 0;
  // Bits 0-7 of the row's attribute become the scope, bits 8-15 the levels.
  virtual void SetRootURLAttributes(int row, uint8_t scope, uint8_t levels) = 0;
  virtual void SelectRoot(int row) = 0;
  virtual void RepaintRoots() = 0;
  // The zone turns green (None: no zone) and the drop sound plays.
  virtual void DropFeedback(TDropZone zone) = 0;
  // A long text (up to kDropTextLimit bytes) is many lines: the routines call
  // this every kLinesBetweenMessages lines so the windows stay responsive.
  virtual void LetMessagesRun() {}
};

inline constexpr int kLinesBetweenMessages = 100;

// Dropped and pasted text is cut at its first zero byte and bounded before
// anything reads it.
std::string BoundDropText(std::string_view text);

// Splits the text at CR and LF (runs count as one break) and adds each piece
// that is a URL, as it is, to the master list (size -1). Sets Modified.
// Returns the index of the last URL added, or -1.
int AddURLsFromText(TDroppedURLSink& sink, std::string_view text);

// Only http:, https: and ftp: addresses are explored, so only they become
// root URLs.
bool IsRootScheme(std::string_view url);

// A link: added (size 0) when it is a URL, then selected; feedback for zone.
bool AddDroppedURL(TDroppedURLSink& sink, TDropZone zone, const std::string& url,
                   const std::string& title, const std::string& imageURL);
// A root URL: normalised, added to the root grid unless present (ignoring
// case, blanks and tabs); the row, new or old, gets scope (byte 0) and 0
// levels and is selected. A URL of another scheme is refused silently.
bool AddDroppedRoot(TDroppedURLSink& sink, TDropZone zone, const std::string& url,
                    uint8_t scope = 0);
// The URL lines of the text into the master list.
bool AddDroppedText(TDroppedURLSink& sink, TDropZone zone, std::string_view text);
// The URL lines of the text (root schemes only) into the root grid.
bool AddDroppedRootText(TDroppedURLSink& sink, TDropZone zone, std::string_view text);

// The first image of a browser HTML fragment: after a line beginning with
// "SourceURL:" (that line's rest is the base), the next "img" tag of the text
// after it; a "SourceURL:" line with no "img" tag after it lets the scan go
// on. The search ends at the first "img" tag: nothing when its "src" is
// empty. URL resolved against the base; Title is the tag's "alt".
struct TFragmentImage {
  std::string URL;
  std::string Title;
};
std::optional<TFragmentImage> FirstFragmentImage(std::string_view text);

// A drop on one of the drop window's zones, by the target's kind
// (0 URL, 1 HTML fragment, 3 text, 5 custom format). Returns false when the
// drop is no link for that zone and the user is to be told (kNotALinkText).
struct TZoneDrop {
  TZoneDrop() = default;
  TZoneDrop(uint8_t kind, int customFormatIndex, std::string text, std::string title = {})
      : Kind(kind),
        CustomFormatIndex(customFormatIndex),
        Text(std::move(text)),
        Title(std::move(title)) {}
  uint8_t Kind = 0;
  int CustomFormatIndex = -1;
  std::string Text;   // the URL, the fragment, the text or the custom block
  std::string Title;  // the link title of a URL drop
};
inline constexpr char kNotALinkText[] =
    "This object is not a link\n\nEmbedded images should be dropped on the \"Image\" panel";
bool DropOnZone(TDroppedURLSink& sink, TDropZone zone, const TZoneDrop& drop);

// A drop on the main window's lists (kind as above, 1 only for SingURLs).
void DropOnRootGrid(TDroppedURLSink& sink, const TZoneDrop& drop);
void DropOnURLList(TDroppedURLSink& sink, const TZoneDrop& drop);

// The clipboard watcher's logic. The host is what it reaches beyond the add
// routines; the window wraps this with a clipboard and a timer.
class TAutoPasteHost {
 public:
  virtual ~TAutoPasteHost() = default;
  virtual bool ProjectEmpty() = 0;  // master list and root grid
  virtual void BringToFront() = 0;
  virtual void Minimise() = 0;
  virtual void ProcessMessages() = 0;
  // No job running (or the user stopped it) and a new project was opened
  // (the view rebuilt); false otherwise.
  virtual bool OpenAnotherProject() = 0;
  virtual void PlayDropSound() = 0;
};

inline constexpr char kAutoPasteQuestion[] =
    "Copy URLs to existing project?\n\nIf you click \"No\" a dialog box will open where you may "
    "enter a new project name.";
// Clipboard text longer than this is no single URL and is not read.
inline constexpr size_t kAutoPasteTextLimit = 8 * 1024;

class TAutoPaste {
 public:
  TAutoPaste(TDroppedURLSink& sink, TAutoPasteHost& host, TPrompter& prompter)
      : Sink(sink), Host(host), Prompter(prompter) {}

  // Ask before the next capture (set at each deactivation).
  bool AskFirst = false;
  // Set during a tick; stays set after an exception, which ends auto-paste.
  bool Busy = false;

  // The program went to the background: ask before the next capture, and
  // take again a URL taken in an earlier background spell.
  void Deactivated() {
    AskFirst = true;
    LastCapture.clear();
  }

  // Takes a single URL from the clipboard text; true when the clipboard is
  // to be cleared.
  bool PasteClipboardURL(const std::string& text);
  // One tick: readText gives the clipboard's plain text (nothing when it
  // offers none), clear empties the clipboard.
  void Tick(const std::function<std::optional<std::string>()>& readText,
            const std::function<void()>& clear);

 private:
  TDroppedURLSink& Sink;
  TAutoPasteHost& Host;
  TPrompter& Prompter;
  // A clipboard manager may put the cleared URL back: it is not taken again.
  std::string LastCapture;
};

}  // namespace qv
