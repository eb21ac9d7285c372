#include "model/leregistry.h"

#include <cstring>
#include <mutex>
#include <optional>

#include "platform/asciicase.h"
#include "platform/store.h"
#include "platform/sysproxy.h"

namespace qv {

namespace {

std::mutex KeyMutex;
std::string RegistryKeyPath;  // guarded by KeyMutex

// The store of a key, or nullopt when the key does not exist: the access is
// then skipped.
std::optional<TValueFile> OpenKey(const std::string& keyPath) {
  std::string file = StoreFileForKey(keyPath);
  if (file.empty()) return std::nullopt;
  TValueFile f(file);
  if (!f.Exists()) return std::nullopt;
  return f;
}

std::optional<TValueFile> OpenOwnKey() { return OpenKey(GetRegistryKey()); }

bool IsInternetSettings(const std::string& keyPath, TRegRoot root) {
  return root == TRegRoot::CurrentUser && EqualsIC(keyPath, InternetSettingsKey);
}

}  // namespace

void SetRegistryKey(const std::string& keyPath) {
  std::lock_guard<std::mutex> hold(KeyMutex);
  RegistryKeyPath = keyPath;
}

std::string GetRegistryKey() {
  std::lock_guard<std::mutex> hold(KeyMutex);
  return RegistryKeyPath;
}

void RegWriteString(const std::string& name, const std::string& value) {
  if (auto key = OpenOwnKey()) key->WriteString(name, value);
}

void RegWriteInteger(const std::string& name, int32_t value) {
  if (auto key = OpenOwnKey()) key->WriteInteger(name, value);
}

void RegWriteBool(const std::string& name, bool value) {
  if (auto key = OpenOwnKey()) key->WriteBool(name, value);
}

void RegWriteBinary(const std::string& name, const void* buffer, int count) {
  if (count < 0 || (count > 0 && !buffer)) return;
  if (auto key = OpenOwnKey())
    key->WriteBinary(name,
                     std::string(static_cast<const char*>(buffer), static_cast<size_t>(count)));
}

std::string RegReadString(const std::string& name) {
  if (name.empty()) return "";
  auto key = OpenOwnKey();
  if (!key) return "";
  return key->ReadString(name).value_or("");
}

int32_t RegReadInteger(const std::string& name) {
  auto key = OpenOwnKey();
  if (!key) return 0;
  return key->ReadInteger(name).value_or(0);
}

bool RegReadBool(const std::string& name) {
  auto key = OpenOwnKey();
  if (!key) return false;
  return key->ReadBool(name).value_or(false);
}

void RegReadBinary(const std::string& name, void* buffer, int count) {
  if (count <= 0 || !buffer) return;
  auto key = OpenOwnKey();
  if (!key) return;
  std::memset(buffer, 0, static_cast<size_t>(count));
  auto value = key->ReadBinary(name);
  if (!value || value->size() > static_cast<size_t>(count)) return;
  std::memcpy(buffer, value->data(), value->size());
}

std::string RegReadStringAt(const std::string& keyPath, const std::string& name, TRegRoot root) {
  if (IsInternetSettings(keyPath, root))
    return EqualsIC(name, "ProxyServer") ? SystemProxyServer() : "";
  if (root != TRegRoot::CurrentUser || name.empty()) return "";
  auto key = OpenKey(keyPath);
  if (!key) return "";
  return key->ReadString(name).value_or("");
}

bool RegReadBoolAt(const std::string& keyPath, const std::string& name, TRegRoot root) {
  if (IsInternetSettings(keyPath, root))
    return EqualsIC(name, "ProxyEnable") && SystemProxyEnabled();
  if (root != TRegRoot::CurrentUser) return false;
  auto key = OpenKey(keyPath);
  if (!key) return false;
  return key->ReadBool(name).value_or(false);
}

}  // namespace qv
