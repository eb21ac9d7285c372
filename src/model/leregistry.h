#pragma once

#include <cstdint>
#include <string>

namespace qv {

// The per-user settings store: one key, values by name, each with a type.
// Nothing here raises or shows a message. Where the key does not exist (the
// store never creates it) every write is lost and every read gives its
// failure result; a value of another type also reads as the failure result.
// Used from the user-interface thread; each call opens, uses and closes the
// store, so no state survives between calls but the key path.

// Roots a key path may be looked up under.
enum class TRegRoot { CurrentUser, LocalMachine, ClassesRoot };

// The key the system's proxy is read from (answered from the environment).
inline const std::string InternetSettingsKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

// The key path every operation below uses, e.g.
// "Software\Quorvane Software\Quendravilos\1.0"; "" (no key) until set.
void SetRegistryKey(const std::string& keyPath);
std::string GetRegistryKey();

void RegWriteString(const std::string& name, const std::string& value);
void RegWriteInteger(const std::string& name, int32_t value);
void RegWriteBool(const std::string& name, bool value);
void RegWriteBinary(const std::string& name, const void* buffer, int count);

// "" when missing or on failure; "" at once for an empty name.
std::string RegReadString(const std::string& name);
// 0 when missing or on failure.
int32_t RegReadInteger(const std::string& name);
// false when missing or on failure.
bool RegReadBool(const std::string& name);
// Fills `count` bytes of `buffer` from the value; bytes past a shorter value
// are zero. A missing value, a value of another type or one larger than the
// buffer leaves the buffer all zero; a missing key leaves it untouched.
void RegReadBinary(const std::string& name, void* buffer, int count);

// Reads under any key and root. The Internet Settings key of the current
// user answers "ProxyEnable" and "ProxyServer" from the system's proxy
// setting; keys of the current user map to their settings files; other roots
// hold nothing here.
std::string RegReadStringAt(const std::string& keyPath, const std::string& name, TRegRoot root);
bool RegReadBoolAt(const std::string& keyPath, const std::string& name, TRegRoot root);

}  // namespace qv
