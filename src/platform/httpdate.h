#pragma once

#include <ctime>
#include <string>

namespace qv {

// A date and time as days since 30 December 1899, the fraction being the
// time of day.
using TDateTime = double;

// Parses an HTTP date in any of the three forms RFC 9110 (5.6.7) accepts:
// IMF-fixdate "Sun, 06 Nov 1994 08:49:37 GMT", RFC 850 "Sunday, 06-Nov-94
// 08:49:37 GMT" and asctime "Sun Nov  6 08:49:37 1994". Returns false for
// anything else (nothing out of range is accepted).
bool ParseHttpDate(const std::string& text, std::time_t& utc);

// The HTTP date as a local date-time; 0 when it cannot be parsed.
TDateTime GMTToLocalDateTime(const std::string& text);

// The date in IMF-fixdate form.
std::string FormatHttpDate(std::time_t utc);

}  // namespace qv
