#include "engine/droppedurls.h"

#include <exception>
#include <new>

#include "engine/htmlparser.h"
#include "model/dropbytes.h"
#include "model/syshelpers.h"
#include "model/tvurlutils.h"
#include "model/uriparser.h"

namespace qv {

namespace {

// Calls fn(line, end) for each piece between CR and LF runs; fn returns
// false to stop. `end` is the offset just after the piece. With a sink, its
// messages run every kLinesBetweenMessages pieces.
template <class F>
void ForEachLine(std::string_view text, F fn, TDroppedURLSink* sink = nullptr) {
  std::size_t i = 0;
  int pieces = 0;
  while (i < text.size()) {
    std::size_t e = text.find_first_of("\r\n", i);
    if (e == std::string_view::npos) e = text.size();
    if (e > i) {
      if (!fn(text.substr(i, e - i), e)) return;
      if (sink && ++pieces % kLinesBetweenMessages == 0) sink->LetMessagesRun();
    }
    i = e + 1;
  }
}

// The row of the root grid that holds url (ignoring case, blanks and tabs),
// appended with attr when there is none.
int FindOrAddRoot(TDroppedURLSink& sink, const std::string& url, uint32_t attr) {
  TStringList rows = sink.RootRows();
  if (AddStringIC(rows, url, " \t") >= 0) return sink.AddRootRow(url, attr);
  const std::string key = TrimBlanks(url);
  for (int i = 0; i < rows.Count(); ++i)
    if (CompareStrippedIC(TrimBlanks(rows[i]), key, " \t") == 0) return i;
  return -1;
}

bool NoLinkRecord(const TZoneDrop& drop, TURLImage& record) {
  if (drop.CustomFormatIndex != 0) return true;
  record = ParseImageDropRecord(drop.Text);
  return record.LinkURL.empty();
}

}  // namespace

std::string BoundDropText(std::string_view text) { return BoundText(CutAtZero(text)); }

int AddURLsFromText(TDroppedURLSink& sink, std::string_view text) {
  sink.SetModified();
  int result = -1;
  const std::string bounded = BoundDropText(text);
  ForEachLine(
      bounded,
      [&](std::string_view piece, std::size_t) {
        if (IsURL(piece)) result = sink.AddFoundURL(std::string(piece), "", "", -1);
        return true;
      },
      &sink);
  return result;
}

bool IsRootScheme(std::string_view url) {
  const std::string_view u = url.substr(std::min(url.find_first_not_of(" \t"), url.size()));
  return IsFetchableURL(u);
}

bool AddDroppedURL(TDroppedURLSink& sink, TDropZone zone, const std::string& url,
                   const std::string& title, const std::string& imageURL) {
  if (!IsURL(url)) return false;
  sink.AddFoundURL(url, title, imageURL, 0);
  sink.SelectURL(url);
  sink.DropFeedback(zone);
  return true;
}

bool AddDroppedRoot(TDroppedURLSink& sink, TDropZone zone, const std::string& url, uint8_t scope) {
  if (!IsURL(url) || !IsRootScheme(url)) return false;
  sink.SetModified();
  const int row = FindOrAddRoot(sink, NormaliseURL(url), 0);
  if (row < 0) return false;
  sink.SetRootURLAttributes(row, scope, 0);
  sink.SelectRoot(row);
  sink.DropFeedback(zone);
  sink.RepaintRoots();
  return true;
}

bool AddDroppedText(TDroppedURLSink& sink, TDropZone zone, std::string_view text) {
  const std::string bounded = BoundDropText(text);
  const int index = AddURLsFromText(sink, bounded);
  if (index < 0) return false;
  // The last URL line is the one the list selects.
  std::string last;
  ForEachLine(bounded, [&](std::string_view piece, std::size_t) {
    if (IsURL(piece)) last = std::string(piece);
    return true;
  });
  sink.SelectURL(last);
  sink.DropFeedback(zone);
  sink.RepaintRoots();
  return true;
}

bool AddDroppedRootText(TDroppedURLSink& sink, TDropZone zone, std::string_view text) {
  sink.SetModified();
  const std::string bounded = BoundDropText(text);
  int last = -1;
  ForEachLine(
      bounded,
      [&](std::string_view line, std::size_t) {
        if (IsURL(line) && IsRootScheme(line)) {
          const int row = FindOrAddRoot(sink, NormaliseURL(line), kPastedRootTag);
          if (row >= 0) last = row;
        }
        return true;
      },
      &sink);
  if (last < 0) return false;
  sink.SelectRoot(last);
  sink.DropFeedback(zone);
  sink.RepaintRoots();
  return true;
}

std::optional<TFragmentImage> FirstFragmentImage(std::string_view fragment) {
  const std::string text = BoundDropText(fragment);
  std::optional<TFragmentImage> result;
  std::string base;
  ForEachLine(text, [&](std::string_view line, std::size_t end) {
    if (line.substr(0, 10) != "SourceURL:") return true;
    base = std::string(line.substr(10));
    // The next line starts after the line break; with nothing after it this
    // was the last line.
    std::size_t next = end;
    if (next < text.size() && text[next] == '\r') ++next;
    if (next < text.size() && text[next] == '\n') ++next;
    if (text.find_first_not_of("\r\n", end) == std::string::npos) return false;
    std::size_t index = next;
    if (!FindNextTagAt(text, index, "img")) return true;
    std::size_t at = index;
    const std::string src = DecodeCharRefs(GetTagAttributeAt("img", "src", text, at));
    if (!src.empty()) {
      at = index;
      const std::string alt = GetTagAttributeAt("img", "alt", text, at);
      result = TFragmentImage{ResolveURL(base, src), alt};
    }
    return false;
  });
  return result;
}

bool DropOnZone(TDroppedURLSink& sink, TDropZone zone, const TZoneDrop& drop) {
  TURLImage record;
  switch (zone) {
    case TDropZone::SingURLs:
      if (drop.Kind == 0) return AddDroppedURL(sink, zone, drop.Text, drop.Title, ""), true;
      if (drop.Kind == 3) return AddDroppedText(sink, zone, drop.Text), true;
      if (drop.Kind == 5 && !NoLinkRecord(drop, record))
        return AddDroppedURL(sink, zone, record.LinkURL, record.Title, record.ImageURL), true;
      return false;
    case TDropZone::RootURLs:
      if (drop.Kind == 0) return AddDroppedRoot(sink, zone, drop.Text, 0), true;
      if (drop.Kind == 3) return AddDroppedRootText(sink, zone, drop.Text), true;
      if (drop.Kind == 5 && !NoLinkRecord(drop, record))
        return AddDroppedRoot(sink, zone, record.LinkURL, 0), true;
      return false;
    case TDropZone::Images:
      sink.SetModified();
      if (drop.Kind == 1) {
        if (const auto image = FirstFragmentImage(drop.Text))
          AddDroppedURL(sink, zone, image->URL, image->Title, "");
      } else if (drop.Kind == 5 && drop.CustomFormatIndex == 0) {
        record = ParseImageDropRecord(drop.Text);
        AddDroppedURL(sink, zone, record.ImageURL, record.Title, "");
      }
      return true;
    case TDropZone::None:
      break;
  }
  return true;
}

void DropOnRootGrid(TDroppedURLSink& sink, const TZoneDrop& drop) {
  TURLImage record;
  if (drop.Kind == 0)
    AddDroppedRoot(sink, TDropZone::None, drop.Text, 0);
  else if (drop.Kind == 3)
    AddDroppedRootText(sink, TDropZone::None, drop.Text);
  else if (drop.Kind == 5 && !NoLinkRecord(drop, record))
    AddDroppedRoot(sink, TDropZone::None, record.LinkURL, 0);
}

void DropOnURLList(TDroppedURLSink& sink, const TZoneDrop& drop) {
  if (drop.Kind == 0) {
    AddDroppedURL(sink, TDropZone::None, drop.Text, drop.Title, "");
  } else if (drop.Kind == 3) {
    AddDroppedText(sink, TDropZone::None, drop.Text);
  } else if (drop.Kind == 1) {
    if (const auto image = FirstFragmentImage(drop.Text))
      AddDroppedURL(sink, TDropZone::None, image->URL, image->Title, "");
  } else if (drop.Kind == 5 && drop.CustomFormatIndex == 0) {
    const TURLImage record = ParseImageDropRecord(drop.Text);
    AddDroppedURL(sink, TDropZone::None, record.LinkURL, record.Title, record.ImageURL);
    AddDroppedURL(sink, TDropZone::None, record.ImageURL, record.Title, "");
  }
}

bool TAutoPaste::PasteClipboardURL(const std::string& text) {
  if (text.size() > kAutoPasteTextLimit || !IsURL(text)) return false;
  for (unsigned char c : text)
    if (c <= 0x20 || c == 0x7F) return false;  // one URL only, no control bytes
  if (text == LastCapture) return false;
  while (AskFirst) {
    if (Host.ProjectEmpty()) break;
    Host.BringToFront();
    const TMsgAnswer answer =
        Prompter.Ask(kAutoPasteQuestion, TMsgKind::Warning, TMsgButtons::YesNoCancel);
    if (answer == TMsgAnswer::Yes) {
      Host.Minimise();
      Host.ProcessMessages();
      break;
    }
    if (answer == TMsgAnswer::Cancel) {
      Host.Minimise();
      LastCapture = text;
      return true;
    }
    if (answer == TMsgAnswer::No) {
      if (!Host.OpenAnotherProject()) {
        Host.Minimise();
        LastCapture = text;
        return true;
      }
    }
    Host.Minimise();
    Host.ProcessMessages();
  }
  AskFirst = false;
  LastCapture = text;
  Host.PlayDropSound();
  // Mail addresses count as pages to the page test, but only web and FTP
  // addresses can be explored.
  if (IsPageOrScriptURL(text) && IsRootScheme(text)) {
    Sink.SetModified();
    const int row = FindOrAddRoot(Sink, NormaliseURL(text), 0);
    if (row >= 0) Sink.SetRootURLAttributes(row, 0, 0);
  } else {
    AddURLsFromText(Sink, text);
  }
  return true;
}

void TAutoPaste::Tick(const std::function<std::optional<std::string>()>& readText,
                      const std::function<void()>& clear) {
  if (Busy) return;
  Busy = true;
  try {
    const std::optional<std::string> text = readText ? readText() : std::nullopt;
    if (text && PasteClipboardURL(*text) && clear) clear();
  } catch (const std::bad_alloc& e) {
    Prompter.ShowMessage(e.what());
    Prompter.ShowMessage(ErrorAdviceText);
    return;
  } catch (const std::exception& e) {
    Prompter.ShowMessage(e.what());
    return;
  } catch (...) {
    Prompter.ShowMessage("Unknown error");
    return;
  }
  Busy = false;
}

}  // namespace qv
