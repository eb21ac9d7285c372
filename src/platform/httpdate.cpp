#include "platform/httpdate.h"

#include <cstdio>
#include <cstring>

#include "platform/asciicase.h"

namespace qv {

namespace {

const char* const Months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char* const Days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};

struct TCursor {
  const std::string& S;
  size_t P = 0;
  bool Done() const { return P >= S.size(); }
  void SkipBlanks() {
    while (P < S.size() && S[P] == ' ') ++P;
  }
  bool Take(char c) {
    if (P < S.size() && S[P] == c) {
      ++P;
      return true;
    }
    return false;
  }
  // Between minDigits and maxDigits decimal digits.
  bool Number(int minDigits, int maxDigits, int& v) {
    int n = 0;
    v = 0;
    while (P < S.size() && n < maxDigits && S[P] >= '0' && S[P] <= '9') {
      v = v * 10 + (S[P++] - '0');
      ++n;
    }
    return n >= minDigits;
  }
  bool Word(std::string& w) {
    size_t b = P;
    while (P < S.size() && ((S[P] >= 'A' && S[P] <= 'Z') || (S[P] >= 'a' && S[P] <= 'z'))) ++P;
    w = S.substr(b, P - b);
    return !w.empty();
  }
};

int MonthIndex(const std::string& w) {
  for (int i = 0; i < 12; ++i)
    if (EqualsIC(w, Months[i])) return i;
  return -1;
}

bool Time(TCursor& c, int& h, int& m, int& s) {
  return c.Number(2, 2, h) && c.Take(':') && c.Number(2, 2, m) && c.Take(':') &&
         c.Number(2, 2, s) && h < 24 && m < 60 && s <= 60;
}

bool DaysInMonthOk(int year, int mon, int day) {
  static const int len[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  int max = len[mon] + (mon == 1 && leap ? 1 : 0);
  return day >= 1 && day <= max;
}

bool Gmt(TCursor& c) {
  c.SkipBlanks();
  std::string w;
  return c.Word(w) && w == "GMT";
}

}  // namespace

bool ParseHttpDate(const std::string& text, std::time_t& utc) {
  TCursor c{text};
  c.SkipBlanks();
  std::string dayName;
  if (!c.Word(dayName)) return false;
  int day = 0, mon = -1, year = 0, h = 0, m = 0, s = 0;
  std::string w;
  if (c.Take(',')) {
    c.SkipBlanks();
    if (dayName.size() == 3) {
      // IMF-fixdate: DD Mon YYYY HH:MM:SS GMT
      if (!c.Number(1, 2, day) || !c.Take(' ') || !c.Word(w) || (mon = MonthIndex(w)) < 0 ||
          !c.Take(' ') || !c.Number(4, 4, year) || !c.Take(' ') || !Time(c, h, m, s) || !Gmt(c))
        return false;
    } else {
      // RFC 850: DD-Mon-YY HH:MM:SS GMT
      if (!c.Number(2, 2, day) || !c.Take('-') || !c.Word(w) || (mon = MonthIndex(w)) < 0 ||
          !c.Take('-') || !c.Number(2, 4, year) || !c.Take(' ') || !Time(c, h, m, s) || !Gmt(c))
        return false;
      if (year < 100) year += year < 70 ? 2000 : 1900;
    }
  } else {
    // asctime: Mon DD HH:MM:SS YYYY, the day padded with a blank
    if (dayName.size() != 3 || !c.Take(' ') || !c.Word(w) || (mon = MonthIndex(w)) < 0)
      return false;
    c.SkipBlanks();
    if (!c.Number(1, 2, day) || !c.Take(' ') || !Time(c, h, m, s) || !c.Take(' ') ||
        !c.Number(4, 4, year))
      return false;
  }
  c.SkipBlanks();
  if (!c.Done() || year < 1601 || !DaysInMonthOk(year, mon, day)) return false;
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = mon;
  tm.tm_mday = day;
  tm.tm_hour = h;
  tm.tm_min = m;
  tm.tm_sec = s > 59 ? 59 : s;
  utc = timegm(&tm);
  return true;
}

TDateTime GMTToLocalDateTime(const std::string& text) {
  std::time_t t;
  if (!ParseHttpDate(text, t)) return 0;
  std::tm local{};
  if (!localtime_r(&t, &local)) return 0;
  // Days from 1899-12-30 to the local calendar date, then the time of day.
  std::tm civil{};
  civil.tm_year = local.tm_year;
  civil.tm_mon = local.tm_mon;
  civil.tm_mday = local.tm_mday;
  std::time_t midnight = timegm(&civil);
  const double epochOffsetDays = 25569.0;  // 1970-01-01 as a day number
  double days = static_cast<double>(midnight / 86400) + epochOffsetDays;
  double frac = (local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec) / 86400.0;
  return days + frac;
}

std::string FormatHttpDate(std::time_t utc) {
  std::tm tm{};
  gmtime_r(&utc, &tm);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%s, %02d %s %04d %02d:%02d:%02d GMT", Days[tm.tm_wday],
                tm.tm_mday, Months[tm.tm_mon], tm.tm_year + 1900, tm.tm_hour, tm.tm_min, tm.tm_sec);
  return buf;
}

}  // namespace qv
