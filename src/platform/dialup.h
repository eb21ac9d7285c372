#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qv {

// The dial-up service: what the dial-up window expects of the system to open,
// watch and close a modem connection. Three implementations: NetworkManager
// through nmcli (dial-up connection kinds only), "none" (no service: every
// host counts as reachable without a modem) and a scripted simulation for
// tests.
//
// Thread-safety: every operation may be called from any thread (worker
// threads ask for the connection status). The dial callback runs on the
// service's own thread; the caller hands it on to its user-interface thread.

// Connection states reported by the dial callback and by ConnectionStatus.
enum : uint32_t {
  DialStateOpenPort = 0,
  DialStateAuthenticate = 5,
  DialStateAuthNotify = 19,
  DialStateLogonNetwork = 21,
  DialStateConnected = 0x2000,
  DialStateDisconnected = 0x2001,
};

// Error codes of this service (0 = no error). ErrorText gives the text.
enum : uint32_t {
  DialErrNone = 0,
  DialErrNoService = 1,  // the service's program could not be run
  DialErrNoEntry = 2,    // no phonebook entry of that name
  DialErrActivate = 3,   // the connection could not be brought up
  DialErrHangUp = 4,     // taking the connection down failed
  DialErrBadHandle = 5,  // no connection with that handle
  DialErrDropped = 6,    // the link went down while dialling
  DialErrAuth = 7,       // user name or password refused
  DialErrLine = 8,       // no answer, busy line, no carrier and the like
};

// The text of one of the codes above, with a detail (e.g. the service's own
// message) after ": " when not empty.
std::string DialErrorText(uint32_t error, const std::string& detail);

// A connection handle; 0 means none.
using TDialHandle = uint64_t;

// The stored dial parameters of a phonebook entry, and what a dial uses.
struct TDialParams {
  std::string EntryName;
  std::string PhoneNumber;
  std::string CallbackNumber;
  std::string UserName;
  std::string Password;
  std::string Domain;
};

struct TActiveConnection {
  TDialHandle Handle = 0;
  std::string EntryName;
};

class TDialUpService {
 public:
  // state, error; runs on the service's thread.
  using TDialCallback = std::function<void(uint32_t state, uint32_t error)>;

  virtual ~TDialUpService() = default;

  // False for the "none" service: no modem can be used at all.
  virtual bool Present() const = 0;

  // Starts dialling asynchronously. On 0 the handle is set and the callback
  // will report the states; otherwise the error code, and no callback follows.
  virtual uint32_t Dial(const TDialParams& params, TDialCallback callback, TDialHandle& handle) = 0;
  virtual uint32_t HangUp(TDialHandle handle) = 0;
  // At most max connections that are up or coming up.
  virtual std::vector<TActiveConnection> ActiveConnections(size_t max) = 0;
  // False when the query fails.
  virtual bool ConnectionStatus(TDialHandle handle, uint32_t& state) = 0;
  // The text of an error code, never empty.
  virtual std::string ErrorText(uint32_t error) = 0;
  // The stored parameters of an entry; false when there are none.
  virtual bool GetEntryDialParams(const std::string& entry, TDialParams& params) = 0;
  // At most max entry names.
  virtual std::vector<std::string> PhonebookEntries(size_t max) = 0;
  // Opens the system's editor of the entry; false when there is none.
  virtual bool EditEntry(const std::string& entry) = 0;
};

// No dial-up service: always connected, never dials.
class TNoDialUp : public TDialUpService {
 public:
  bool Present() const override { return false; }
  uint32_t Dial(const TDialParams&, TDialCallback, TDialHandle& handle) override;
  uint32_t HangUp(TDialHandle) override { return DialErrNone; }
  std::vector<TActiveConnection> ActiveConnections(size_t) override { return {}; }
  bool ConnectionStatus(TDialHandle, uint32_t&) override { return false; }
  std::string ErrorText(uint32_t error) override;
  bool GetEntryDialParams(const std::string&, TDialParams&) override { return false; }
  std::vector<std::string> PhonebookEntries(size_t) override { return {}; }
  bool EditEntry(const std::string&) override { return false; }
};

// NetworkManager through nmcli, found on PATH and started with an argument
// vector. Phonebook entries are the connection profiles of the dial-up kinds
// (gsm, cdma, pppoe, bluetooth); nothing of another kind is ever listed,
// dialled or taken down, so hanging up everything leaves Ethernet and Wi-Fi
// alone. The password typed for a dial goes to nmcli in a private temporary
// file, never on its command line.
class TNmcliDialUp : public TDialUpService {
 public:
  TNmcliDialUp();
  ~TNmcliDialUp() override;

  bool Present() const override { return true; }
  uint32_t Dial(const TDialParams& params, TDialCallback callback, TDialHandle& handle) override;
  uint32_t HangUp(TDialHandle handle) override;
  std::vector<TActiveConnection> ActiveConnections(size_t max) override;
  bool ConnectionStatus(TDialHandle handle, uint32_t& state) override;
  std::string ErrorText(uint32_t error) override;
  bool GetEntryDialParams(const std::string& entry, TDialParams& params) override;
  std::vector<std::string> PhonebookEntries(size_t max) override;
  bool EditEntry(const std::string& entry) override;

  // Seconds nmcli may take to bring a connection up.
  int ActivateTimeout = 90;

 private:
  struct TProfile {
    std::string Name, Uuid, Type, State;
  };
  std::vector<TProfile> ListProfiles(bool activeOnly);
  TDialHandle HandleOf(const std::string& uuid);
  std::string UuidOf(TDialHandle handle);
  void SetLastError(uint32_t error, const std::string& detail);

  std::mutex FLock;
  std::map<std::string, TDialHandle> FHandles;  // by UUID; stable for the run
  TDialHandle FNextHandle = 1;
  std::map<uint32_t, std::string> FDetails;  // last detail per error code
  struct TDialThread {
    std::thread Thread;
    std::shared_ptr<std::atomic<bool>> Done;
  };
  std::vector<TDialThread> FDials;  // joined by the destructor
};

// True when NetworkManager is installed and has at least one dial-up profile.
bool NmcliHasDialUpProfiles();
// The service to use on this machine: nmcli when it has dial-up profiles,
// else none.
std::unique_ptr<TDialUpService> MakeDialUpService();

// Splits one line of nmcli's terse tabular output into its fields: ":"
// separates them, "\:" and "\\" stand for ":" and "\".
std::vector<std::string> SplitNmcliTerse(const std::string& line);
// The dial-up kinds of connection profile.
bool IsDialUpKind(const std::string& type);

// A scripted dial-up service for tests. Entries are set with AddEntry; each
// Dial takes the next script from the queue (a success that steps through the
// usual states when the queue is empty) and plays it on its own thread.
class TSimDialUp : public TDialUpService {
 public:
  struct TStep {
    int DelayMs = 0;
    uint32_t State = 0;
    uint32_t Error = 0;
  };
  using TScript = std::vector<TStep>;

  TSimDialUp();
  ~TSimDialUp() override;

  void AddEntry(const TDialParams& params);
  void QueueScript(TScript script);
  // The next Dial call itself fails with this code.
  void FailNextDialCall(uint32_t error);
  // Every connection that is up goes down, as a dropped line does.
  void DropLink();
  // A connection that is already up, as if dialled before.
  TDialHandle ConnectNow(const std::string& entry);
  // Waits until every script has been played.
  void WaitIdle();

  // What happened, for assertions.
  struct TDialRecord {
    TDialParams Params;
    TDialHandle Handle;
  };
  std::vector<TDialRecord> Dials();
  std::vector<TDialHandle> HangUps();
  int StatusQueries();

  static TScript Success();
  static TScript Failure(uint32_t error);

  bool Present() const override { return true; }
  uint32_t Dial(const TDialParams& params, TDialCallback callback, TDialHandle& handle) override;
  uint32_t HangUp(TDialHandle handle) override;
  std::vector<TActiveConnection> ActiveConnections(size_t max) override;
  bool ConnectionStatus(TDialHandle handle, uint32_t& state) override;
  std::string ErrorText(uint32_t error) override;
  bool GetEntryDialParams(const std::string& entry, TDialParams& params) override;
  std::vector<std::string> PhonebookEntries(size_t max) override;
  bool EditEntry(const std::string& entry) override;

 private:
  struct TConn {
    std::string Entry;
    uint32_t State = DialStateOpenPort;
  };
  struct TJob {
    TDialHandle Handle;
    TScript Script;
    TDialCallback Callback;
  };
  void Run();

  std::mutex FLock;
  std::condition_variable FWake;
  std::condition_variable FIdle;
  std::vector<TDialParams> FEntries;
  std::deque<TScript> FScripts;
  std::deque<TJob> FJobs;
  bool FPlaying = false;
  bool FStop = false;
  uint32_t FFailNext = 0;
  std::map<TDialHandle, TConn> FConns;
  TDialHandle FNextHandle = 100;
  std::vector<TDialRecord> FDialLog;
  std::vector<TDialHandle> FHangUps;
  int FStatusQueries = 0;
  std::thread FThread;
};

}  // namespace qv
