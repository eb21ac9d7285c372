#pragma once

#include <string>

namespace qv {

// RFC 4648 Base64 with padding, as HTTP basic credentials use it.
std::string EncodeBase64(const std::string& bytes);

}  // namespace qv
