#include "platform/dialup.h"

namespace qv {

namespace {

const char* BaseErrorText(uint32_t error) {
  switch (error) {
    case DialErrNone:
      return "No error";
    case DialErrNoService:
      return "The dial-up service is not available";
    case DialErrNoEntry:
      return "The phonebook entry was not found";
    case DialErrActivate:
      return "The connection could not be brought up";
    case DialErrHangUp:
      return "The connection could not be hung up";
    case DialErrBadHandle:
      return "The connection handle is not valid";
    case DialErrDropped:
      return "The link went down";
    case DialErrAuth:
      return "The user name or password was refused";
    case DialErrLine:
      return "The remote computer did not answer";
    default:
      return nullptr;
  }
}

}  // namespace

std::string DialErrorText(uint32_t error, const std::string& detail) {
  const char* base = BaseErrorText(error);
  std::string text = base ? base : "Dial-up error " + std::to_string(error);
  if (!detail.empty()) text += ": " + detail;
  return text;
}

uint32_t TNoDialUp::Dial(const TDialParams&, TDialCallback, TDialHandle& handle) {
  handle = 0;
  return DialErrNoService;
}

std::string TNoDialUp::ErrorText(uint32_t error) { return DialErrorText(error, ""); }

std::vector<std::string> SplitNmcliTerse(const std::string& line) {
  std::vector<std::string> fields(1);
  for (size_t i = 0; i < line.size(); ++i) {
    char c = line[i];
    if (c == '\\' && i + 1 < line.size()) {
      fields.back() += line[++i];
    } else if (c == ':') {
      fields.emplace_back();
    } else {
      fields.back() += c;
    }
  }
  return fields;
}

bool IsDialUpKind(const std::string& type) {
  return type == "gsm" || type == "cdma" || type == "pppoe" || type == "bluetooth";
}

std::unique_ptr<TDialUpService> MakeDialUpService() {
  if (NmcliHasDialUpProfiles()) return std::make_unique<TNmcliDialUp>();
  return std::make_unique<TNoDialUp>();
}

}  // namespace qv
