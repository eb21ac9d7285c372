#include "platform/dialup.h"

#include <chrono>

namespace qv {

TSimDialUp::TSimDialUp() : FThread([this] { Run(); }) {}

TSimDialUp::~TSimDialUp() {
  {
    std::lock_guard<std::mutex> g(FLock);
    FStop = true;
  }
  FWake.notify_all();
  FThread.join();
}

TSimDialUp::TScript TSimDialUp::Success() {
  return {{0, DialStateOpenPort, 0},
          {0, DialStateAuthenticate, 0},
          {0, DialStateLogonNetwork, 0},
          {0, DialStateConnected, 0}};
}

TSimDialUp::TScript TSimDialUp::Failure(uint32_t error) {
  return {{0, DialStateOpenPort, 0}, {0, DialStateOpenPort, error}};
}

void TSimDialUp::AddEntry(const TDialParams& params) {
  std::lock_guard<std::mutex> g(FLock);
  FEntries.push_back(params);
}

void TSimDialUp::QueueScript(TScript script) {
  std::lock_guard<std::mutex> g(FLock);
  FScripts.push_back(std::move(script));
}

void TSimDialUp::FailNextDialCall(uint32_t error) {
  std::lock_guard<std::mutex> g(FLock);
  FFailNext = error;
}

void TSimDialUp::DropLink() {
  std::lock_guard<std::mutex> g(FLock);
  for (auto it = FConns.begin(); it != FConns.end();)
    it = it->second.State == DialStateConnected ? FConns.erase(it) : std::next(it);
}

TDialHandle TSimDialUp::ConnectNow(const std::string& entry) {
  std::lock_guard<std::mutex> g(FLock);
  TDialHandle h = FNextHandle++;
  FConns[h] = {entry, DialStateConnected};
  return h;
}

void TSimDialUp::WaitIdle() {
  std::unique_lock<std::mutex> g(FLock);
  FIdle.wait(g, [this] { return FJobs.empty() && !FPlaying; });
}

std::vector<TSimDialUp::TDialRecord> TSimDialUp::Dials() {
  std::lock_guard<std::mutex> g(FLock);
  return FDialLog;
}

std::vector<TDialHandle> TSimDialUp::HangUps() {
  std::lock_guard<std::mutex> g(FLock);
  return FHangUps;
}

int TSimDialUp::StatusQueries() {
  std::lock_guard<std::mutex> g(FLock);
  return FStatusQueries;
}

uint32_t TSimDialUp::Dial(const TDialParams& params, TDialCallback callback, TDialHandle& handle) {
  std::lock_guard<std::mutex> g(FLock);
  handle = 0;
  if (FFailNext != 0) {
    uint32_t e = FFailNext;
    FFailNext = 0;
    return e;
  }
  handle = FNextHandle++;
  FDialLog.push_back({params, handle});
  FConns[handle] = {params.EntryName, DialStateOpenPort};
  TScript script = Success();
  if (!FScripts.empty()) {
    script = std::move(FScripts.front());
    FScripts.pop_front();
  }
  FJobs.push_back({handle, std::move(script), std::move(callback)});
  FWake.notify_all();
  return DialErrNone;
}

void TSimDialUp::Run() {
  std::unique_lock<std::mutex> g(FLock);
  for (;;) {
    FWake.wait(g, [this] { return FStop || !FJobs.empty(); });
    if (FStop) return;
    TJob job = std::move(FJobs.front());
    FJobs.pop_front();
    FPlaying = true;
    for (const TStep& step : job.Script) {
      if (step.DelayMs > 0) {
        FWake.wait_for(g, std::chrono::milliseconds(step.DelayMs), [this] { return FStop; });
        if (FStop) return;
      }
      auto it = FConns.find(job.Handle);
      // A hung-up dial reports nothing more.
      if (it == FConns.end()) break;
      if (step.Error != 0) {
        FConns.erase(it);
      } else {
        it->second.State = step.State;
      }
      g.unlock();
      job.Callback(step.State, step.Error);
      g.lock();
      if (step.Error != 0) break;
    }
    FPlaying = false;
    FIdle.notify_all();
  }
}

uint32_t TSimDialUp::HangUp(TDialHandle handle) {
  std::lock_guard<std::mutex> g(FLock);
  FHangUps.push_back(handle);
  auto it = FConns.find(handle);
  if (it == FConns.end()) return DialErrBadHandle;
  FConns.erase(it);
  return DialErrNone;
}

std::vector<TActiveConnection> TSimDialUp::ActiveConnections(size_t max) {
  std::lock_guard<std::mutex> g(FLock);
  std::vector<TActiveConnection> out;
  for (const auto& [h, c] : FConns) {
    if (out.size() >= max) break;
    out.push_back({h, c.Entry});
  }
  return out;
}

bool TSimDialUp::ConnectionStatus(TDialHandle handle, uint32_t& state) {
  std::lock_guard<std::mutex> g(FLock);
  ++FStatusQueries;
  auto it = FConns.find(handle);
  if (it == FConns.end()) return false;
  state = it->second.State;
  return true;
}

std::string TSimDialUp::ErrorText(uint32_t error) { return DialErrorText(error, ""); }

bool TSimDialUp::GetEntryDialParams(const std::string& entry, TDialParams& params) {
  std::lock_guard<std::mutex> g(FLock);
  for (const auto& e : FEntries)
    if (e.EntryName == entry) {
      params = e;
      return true;
    }
  return false;
}

std::vector<std::string> TSimDialUp::PhonebookEntries(size_t max) {
  std::lock_guard<std::mutex> g(FLock);
  std::vector<std::string> out;
  for (const auto& e : FEntries) {
    if (out.size() >= max) break;
    out.push_back(e.EntryName);
  }
  return out;
}

bool TSimDialUp::EditEntry(const std::string& entry) {
  std::lock_guard<std::mutex> g(FLock);
  for (const auto& e : FEntries)
    if (e.EntryName == entry) return true;
  return false;
}

}  // namespace qv
