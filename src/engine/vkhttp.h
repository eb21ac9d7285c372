#pragma once

#include <cstdint>
#include <string>

namespace qv {

// The text shown for an HTTP status code or one of the program's own result
// codes (0 no server, -1 no exchange, -2 from the cache, -406 and 406
// filtered, -412 changed while resuming). Standard codes read as their reason
// phrase followed by " (code)"; unknown codes give "".
std::string HttpStatusText(int32_t code);

// The value of header line `name` in a block of lines separated by CR, LF or
// both. "" when no line starts with the name (compared over the name's length,
// any case); a single blank when the line is there with an empty value.
std::string GetHeaderField(const std::string& block, const std::string& name);

// The value of parameter `name` in a ";"-separated list ("a=1; path=/x;
// secure"). "" when absent; a single blank when present without a value.
std::string GetParamValue(const std::string& list, const std::string& name);

}  // namespace qv
