#pragma once

#include <string>
#include <vector>

#include "model/snapshot.h"

namespace qv {

// The user ID and password that go together for one site.
struct TCredentials {
  std::string UserID;
  std::string PW;
  bool operator==(const TCredentials&) const = default;
};

// One entry of the site password list: a URL prefix and its credentials.
struct TPassWordRow {
  std::string URL;
  std::string UserID;
  std::string PW;
  bool operator==(const TPassWordRow&) const = default;
};

// The site password list as the worker threads read it: the grid's entry
// rows in grid order (the empty row the grid keeps for typing is not part of
// it). Immutable once published.
class TPassWordList {
 public:
  TPassWordList() = default;
  explicit TPassWordList(std::vector<TPassWordRow> rows) : Rows(std::move(rows)) {}

  // Both values from the one row that matches: rows are tried from the last
  // up, the trimmed URL against the trimmed prefix over the shorter of the
  // two lengths, ignoring case (so an empty prefix matches every URL); a
  // comparison that ends inside either host matches nothing, so credentials
  // never reach another host or port.
  TCredentials Lookup(const std::string& url) const;
  std::string GetUserID(const std::string& url) const { return Lookup(url).UserID; }
  std::string GetPW(const std::string& url) const { return Lookup(url).PW; }

  std::vector<TPassWordRow> Rows;
};

// The password list the worker threads read; the main window's password grid
// publishes into it.
TPublished<TPassWordList>& GlobalPassWords();

}  // namespace qv
