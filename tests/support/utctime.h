#pragma once

#include <ctime>

namespace qv::test {

// The moment a UTC calendar date and time names (month 1 to 12).
inline std::time_t UtcTime(int year, int month, int day, int h, int m, int s = 0) {
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = h;
  tm.tm_min = m;
  tm.tm_sec = s;
  return timegm(&tm);
}

}  // namespace qv::test
