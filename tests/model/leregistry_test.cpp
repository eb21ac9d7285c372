#include "model/leregistry.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>

#include <gtest/gtest.h>

#include "model/vkconfig.h"
#include "platform/store.h"
#include "support/envscope.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override { SetRegistryKey(ProgramRegistryKey); }
  void TearDown() override { SetRegistryKey(""); }
  void CreateKey() { ASSERT_TRUE(TValueFile(KeyFile).Create()); }

  test::TScratchHome Home;
  std::string Dir = Home.Dir.Path, KeyFile = Home.SettingsFile();
};

TEST_F(RegistryTest, AbsentKeyLosesWritesAndGivesDefaults) {
  RegWriteString(RegEmail, "joe@example.com");
  RegWriteInteger(RegDailyTime, 480);
  RegWriteBool(RegUseModem, true);
  const unsigned char four[4] = {1, 2, 3, 4};
  RegWriteBinary(RegSchedualTypes, four, 4);
  EXPECT_EQ(RegReadString(RegEmail), "");
  EXPECT_EQ(RegReadInteger(RegDailyTime), 0);
  EXPECT_FALSE(RegReadBool(RegUseModem));
  unsigned char buf[4] = {9, 9, 9, 9};
  RegReadBinary(RegSchedualTypes, buf, 4);
  EXPECT_EQ(std::memcmp(buf, "\x09\x09\x09\x09", 4), 0) << "no key: buffer left as it was";
  EXPECT_FALSE(fs::exists(KeyFile)) << "the store must never create its key";
}

TEST_F(RegistryTest, ValuesRoundTripUnderTheProgramKey) {
  CreateKey();
  RegWriteString(RegEmail, "joe@example.com");
  RegWriteInteger(RegDailyTime, 8 * 60 + 30);
  RegWriteBool(RegShowHelp, true);
  const unsigned char rows[8] = {1, 0, 0, 0, 0xff, 0x10, 0, 0x80};
  RegWriteBinary(RegSchedualTypes, rows, 8);
  EXPECT_EQ(RegReadString(RegEmail), "joe@example.com");
  EXPECT_EQ(RegReadInteger(RegDailyTime), 510);
  EXPECT_TRUE(RegReadBool(RegShowHelp));
  unsigned char buf[8] = {};
  RegReadBinary(RegSchedualTypes, buf, 8);
  EXPECT_EQ(std::memcmp(buf, rows, 8), 0);
  // A read through the general form finds the same key.
  EXPECT_EQ(RegReadStringAt(ProgramRegistryKey, RegEmail, TRegRoot::CurrentUser),
            "joe@example.com");
  EXPECT_TRUE(RegReadBoolAt(ProgramRegistryKey, RegShowHelp, TRegRoot::CurrentUser));
  EXPECT_EQ(RegReadStringAt(ProgramRegistryKey, RegEmail, TRegRoot::LocalMachine), "");
}

TEST_F(RegistryTest, FailureResults) {
  CreateKey();
  RegWriteString(RegRepeatTime, "15");
  RegWriteInteger(RegDialups, 3);
  const unsigned char eight[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  RegWriteBinary(RegSchedualTypes, eight, 8);

  EXPECT_EQ(RegReadInteger(RegStayConnected), 0) << "missing integer";
  EXPECT_FALSE(RegReadBool(RegUseModem)) << "missing boolean";
  EXPECT_EQ(RegReadString(RegUserAgent), "") << "missing string";
  EXPECT_EQ(RegReadInteger(RegRepeatTime), 0) << "string read as integer";
  EXPECT_EQ(RegReadString(RegDialups), "") << "integer read as string";
  EXPECT_FALSE(RegReadBool(RegDialups)) << "integer read as boolean";
  EXPECT_EQ(RegReadString(""), "");

  struct {
    const char* Name;
    std::string Value;
    int Size;
    std::string Want;
  } bins[] = {
      {"wrong type", RegRepeatTime, 4, std::string(4, '\0')},
      {"missing", RegCacheFileLife, 4, std::string(4, '\0')},
      {"larger than buffer", RegSchedualTypes, 4, std::string(4, '\0')},
      {"exact size", RegSchedualTypes, 8, "\x01\x02\x03\x04\x05\x06\x07\x08"},
      {"smaller than buffer", RegSchedualTypes, 12,
       std::string("\x01\x02\x03\x04\x05\x06\x07\x08\0\0\0\0", 12)},
  };
  for (const auto& c : bins) {
    std::string buf(static_cast<size_t>(c.Size), '\x5a');
    RegReadBinary(c.Value, buf.data(), c.Size);
    EXPECT_EQ(buf, c.Want) << c.Name;
  }
}

TEST_F(RegistryTest, NoKeyPathSetMeansNoStore) {
  CreateKey();
  SetRegistryKey("");
  RegWriteString(RegEmail, "x");
  SetRegistryKey(ProgramRegistryKey);
  EXPECT_EQ(RegReadString(RegEmail), "");
}

TEST_F(RegistryTest, FirstRunChoosesTheExampleProject) {
  InitCurrentURLFile();
  EXPECT_EQ(RegReadString(RegCurrentURLFile), "") << "no key, nothing stored";

  CreateKey();
  InitCurrentURLFile();
  EXPECT_EQ(RegReadString(RegCurrentURLFile), Dir + "/prog/MirrorProjects/Example1.mpj");

  RegWriteString(RegCurrentURLFile, "/home/u/mine.mpj");
  InitCurrentURLFile();
  EXPECT_EQ(RegReadString(RegCurrentURLFile), "/home/u/mine.mpj");
}

TEST_F(RegistryTest, InternetSettingsComeFromTheEnvironment) {
  const char* vars[] = {"http_proxy",  "HTTP_PROXY", "https_proxy",
                        "HTTPS_PROXY", "ftp_proxy",  "FTP_PROXY"};
  struct {
    const char* Name;
    std::map<std::string, std::string> Set;
    bool Enable;
    const char* Server;
  } cases[] = {
      {"none", {}, false, ""},
      {"empty values", {{"http_proxy", ""}, {"FTP_PROXY", ""}}, false, ""},
      {"http only", {{"http_proxy", "p:3128"}}, true, "http=p:3128"},
      {"upper case", {{"HTTP_PROXY", "P:1"}}, true, "http=P:1"},
      {"lower case wins", {{"http_proxy", "low:1"}, {"HTTP_PROXY", "up:2"}}, true, "http=low:1"},
      {"url with credentials and path",
       {{"http_proxy", "http://u:pw@proxy.example:8080/"}},
       true,
       "http=proxy.example:8080"},
      {"url without port takes the scheme's",
       {{"https_proxy", "https://s.example"}},
       true,
       "https=s.example:443"},
      {"all three in order",
       {{"ftp_proxy", "f:21"}, {"https_proxy", "s:443"}, {"http_proxy", "h:80"}},
       true,
       "http=h:80;https=s:443;ftp=f:21"},
      {"a value that would split the text", {{"http_proxy", "a;ftp=evil:1"}}, false, ""},
  };
  for (const auto& c : cases) {
    test::TEnvScope env;
    for (const char* v : vars) env.Set(v, nullptr);
    for (const auto& [k, v] : c.Set) env.Set(k.c_str(), v.c_str());
    EXPECT_EQ(RegReadBoolAt(InternetSettingsKey, "ProxyEnable", TRegRoot::CurrentUser), c.Enable)
        << c.Name;
    EXPECT_EQ(RegReadStringAt(InternetSettingsKey, "ProxyServer", TRegRoot::CurrentUser), c.Server)
        << c.Name;
    // Key names are not case-sensitive in the registry; other roots hold nothing.
    EXPECT_EQ(RegReadStringAt("software\\microsoft\\windows\\currentversion\\internet settings",
                              "ProxyServer", TRegRoot::CurrentUser),
              c.Server)
        << c.Name;
    EXPECT_FALSE(RegReadBoolAt(InternetSettingsKey, "ProxyEnable", TRegRoot::LocalMachine));
  }
}

TEST(RegValueNames, EveryNameWithItsType) {
  std::map<std::string, TStoreType> want = {
      {"CurrentURLFile", TStoreType::String}, {"PassWords", TStoreType::String},
      {"DailyTime", TStoreType::Integer},     {"RepeatTime", TStoreType::String},
      {"RepeatUnits", TStoreType::String},    {"StayConnected", TStoreType::Integer},
      {"Dialups", TStoreType::Integer},       {"SchedualMirrors", TStoreType::String},
      {"SchedualTypes", TStoreType::Binary},  {"CacheFileLife", TStoreType::String},
      {"UseModem", TStoreType::Boolean},      {"Email", TStoreType::String},
      {"UserAgent", TStoreType::String},      {"ShowHelp", TStoreType::Boolean},
      {"HTTPProxy", TStoreType::String},      {"HTTPProxyPort", TStoreType::Integer},
      {"FTPProxy", TStoreType::String},       {"FTPProxyPort", TStoreType::Integer},
      {"ProxyUser", TStoreType::String},      {"ProxyPW", TStoreType::String},
  };
  std::map<std::string, TStoreType> got;
  for (int i = 0; i < RegValueNameCount; ++i) got[*RegValueNames[i].Name] = RegValueNames[i].Type;
  EXPECT_EQ(got, want);
}

}  // namespace
}  // namespace qv
