#include "engine/vkftp.h"

namespace qv {

namespace {
struct TReplyText {
  int32_t Code;
  const char* Text;
};

// The texts as the program has always shown them, spelling included: stored
// logs and users' notes quote them.
const TReplyText ReplyTexts[] = {
    {110, "MARK yyyy = mmmm"},
    {120, "Service ready in nnn minutes"},
    {125, "Data connection already open; transfer starting"},
    {150, "File status ok; about to open data connection"},
    {200, "Command ok"},
    {202, "Command not implemented, superfluous at this site"},
    {211, "System status, or system help reply"},
    {212, "Directory status"},
    {213, "File status"},
    {214, "Help message"},
    {215, "NAME system type"},
    {220, "Service ready for new user"},
    {221, "Service closing control connection"},
    {225, "Data connection open; no transfer in progress"},
    {226, "Closing data connection"},
    {227, "Entering passive mode (h1,h2,h3,h4,p1,p2)"},
    {230, "User logged in, proceed"},
    {250, "Requested file action ok, completed"},
    {257, "PATHNAME created"},
    {331, "User name ok, need password"},
    {332, "Need account for login"},
    {350, "Requested file actionpending further information"},
    {421, "Service not available, closing control connection"},
    {425, "Can't open data connection"},
    {426, "Connection closed, transfer aborted"},
    {450, "Requested file action not taken"},
    {451, "Requested action aborted: local error in processing"},
    {452, "Requested action not taken"},
    {500, "Syntax error, command unrecognized"},
    {501, "Syntax error in paramters or arguments"},
    {502, "Command not implemented"},
    {503, "Bad sequence of commands"},
    {504, "Command not implemented for that parameter"},
    {530, "Not logged in"},
    {532, "Need account for storing files"},
    {550, "Requested action not taken"},
    {551, "Requested action aborted: page type unknown"},
    {552, "Requested file action aborted"},
    {553, "Requested action not taken"},
};
}  // namespace

std::string FtpReplyText(int32_t code) {
  for (const auto& t : ReplyTexts)
    if (t.Code == code) return t.Text;
  return "";
}

}  // namespace qv
