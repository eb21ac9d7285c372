#pragma once

#include <cstdint>
#include <string>

namespace qv {

// The text of an FTP reply code (RFC 959 wording as the program shows it);
// "" for a code it does not know.
std::string FtpReplyText(int32_t code);

}  // namespace qv
