// The status and localising passes over the whole master list.

#include <algorithm>
#include <string>

#include "model/progresssink.h"
#include "model/streamext.h"
#include "model/strutils.h"
#include "model/vkglobal.h"
#include "model/vkurllist.h"

namespace qv {

namespace {

// URLListLock for one step; nothing before the globals exist.
class TListHold {
 public:
  TListHold() : Lock(URLListLock) {
    if (Lock) Lock->lock();
  }
  ~TListHold() {
    if (Lock) Lock->unlock();
  }
  TListHold(const TListHold&) = delete;
  TListHold& operator=(const TListHold&) = delete;

 private:
  TCriticalSection* Lock;
};

// A pass that leaves its window shown keeps every later job from starting,
// so the window goes on every way out, an exception's included.
class THideOnExit {
 public:
  explicit THideOnExit(TProgressSink& sink) : Sink(sink) {}
  ~THideOnExit() { Sink.HideMsg(); }
  THideOnExit(const THideOnExit&) = delete;
  THideOnExit& operator=(const THideOnExit&) = delete;

 private:
  TProgressSink& Sink;
};

bool IsBlankByte(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && LowerCaseAscii(a) == LowerCaseAscii(b);
}

}  // namespace

TStoredTextKind StoredTextKind(std::string_view contentType) {
  std::string_view type = contentType.substr(0, contentType.find(';'));
  while (!type.empty() && IsBlankByte(type.front())) type.remove_prefix(1);
  while (!type.empty() && IsBlankByte(type.back())) type.remove_suffix(1);
  if (EqualsIgnoringCase(type, "text/html")) return TStoredTextKind::Page;
  if (EqualsIgnoringCase(type, "text/css")) return TStoredTextKind::StyleSheet;
  return TStoredTextKind::Other;
}

std::string LocaliseFailureText(const TLocaliseSummary& summary) {
  if (summary.Failed <= 0) return "";
  // The error names the file on a line of its own; the status bar has one.
  std::string error;
  for (char c : summary.FirstError) {
    if (c == '\n' || c == '\r') {
      if (!error.empty() && error.back() != ' ') error += ' ';
    } else {
      error += c;
    }
  }
  std::string text = "Localising references: " + std::to_string(summary.Failed) +
                     (summary.Failed == 1 ? " file" : " files") + " could not be rewritten";
  if (!error.empty()) text += " (" + error + ")";
  return text;
}

bool TVkURLList::UpdateStatusInfo(TProgressSink& sink, const std::function<void()>& cancelDrag) {
  if (cancelDrag) cancelDrag();
  sink.SetCaption("Updating status info.:");
  if (!sink.ShowText("")) return false;
  THideOnExit hide(sink);
  for (int i = 0;;) {
    int count;
    {
      TListHold hold;
      count = Count();
    }
    if (i >= count) return true;
    if (!sink.UpdateText("\n\n\nURLs updated: " + std::to_string(i + 1) + " of " +
                         std::to_string(count)))
      return false;
    // The step may have deleted records: the batch ends at the count of now.
    TListHold hold;
    const int end = std::min(i + 100, Count());
    for (; i < end; ++i) GetItem(i)->NeedsCheck = 1;
    if (i % 100 != 0) return true;
  }
}

TLocaliseSummary TVkURLList::LocaliseReferences(const std::string& dir, TProgressSink& sink,
                                                const TLocaliseFileProc& localise,
                                                const TFitTextProc& fit) {
  TLocaliseSummary summary;
  sink.SetCaption("Localising references:");
  if (!sink.ShowText("")) return summary;
  summary.Ran = true;
  THideOnExit hide(sink);
  bool retake = false;
  for (int i = 0;;) {
    // One step under the lock: the records up to the next page, style sheet
    // or searching point. What is rewritten is the record's URL as read here;
    // the record itself may be gone once the progress point has run.
    int count;
    TStoredTextKind kind = TStoredTextKind::Other;
    std::string url;
    {
      TListHold hold;
      count = Count();
      for (; i < count; ++i) {
        const TVkURLItem* item = GetItem(i);
        kind = StoredTextKind(item->ContentType);
        if (kind != TStoredTextKind::Other) {
          url = item->URL;
          break;
        }
        if (i % 1000 == 0) break;
      }
    }
    if (i >= count) break;

    if (kind == TStoredTextKind::Other) {
      if (!sink.UpdateText("Searching for HTML files:\n\nChecking file: " + std::to_string(i) +
                           " of " + std::to_string(count))) {
        summary.Aborted = true;
        break;
      }
      ++i;
      continue;
    }

    const std::string text =
        "References are being localised to enable local browsing.\n\nPage:-\n" +
        (fit ? fit(url) : url);
    if (!sink.UpdateText(text)) {
      summary.Aborted = true;
      break;
    }
    // A close request answered "go on" is spent, whatever the sink does with
    // it: left set, it would cut every later rewrite short.
    if (retake) sink.CloseRequested = false;
    retake = false;
    sink.SetText(text);
    try {
      localise(kind, url, dir, sink.CloseRequested);
    } catch (const EInOutError& e) {
      ++summary.Failed;
      if (summary.FirstError.empty()) summary.FirstError = e.what();
      ++i;
      continue;
    }
    if (sink.CloseRequested) {
      // Cut short: the progress point asks whether to abort, then the whole
      // file is rewritten again.
      retake = true;
      continue;
    }
    ++summary.Rewritten;
    ++i;
  }
  return summary;
}

}  // namespace qv
