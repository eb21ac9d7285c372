#include "components/nmftp.h"

#include <vector>

namespace qv {

void TNMFTP::Connect() {
  Client.Host = Host;
  Client.User = UserID;
  Client.Password = Password;
  Client.Connect(true);
}

void TNMFTP::Disconnect() {
  if (!Client.Connected()) throw ENetNotConnected();
  Client.Quit();
}

std::string TNMFTP::GetCurrentDir() { return Client.RetrieveCurrentDir(); }

void TNMFTP::ChangeDir(const std::string& dir) { Client.TIdFTP::ChangeDir(dir); }

void TNMFTP::List() {
  std::vector<std::string> lines;
  Client.TIdFTP::List(lines, "", true);
  for (const auto& line : lines)
    if (OnListItem) OnListItem(line);
}

void TNMFTP::Download(const std::string& remote, const std::string& local) {
  Client.Get(remote, local, true);
}

void TNMFTP::DownloadRestore(const std::string& remote, const std::string& local) {
  if (!Client.DownloadRestoreExt(remote, local)) throw ENetError("Resumed download failed");
}

void TNMFTP::Mode(TIdFTPTransferType mode) { Client.SetTransferType(mode); }

}  // namespace qv
