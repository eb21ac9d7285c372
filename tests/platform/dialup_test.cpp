#include "platform/dialup.h"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "support/envscope.h"

namespace qv {
namespace {

using test::ReadBytes;
using test::WriteBytes;

TEST(NmcliTerse, SplitsFieldsAndUnescapes) {
  struct {
    const char* Line;
    std::vector<std::string> Fields;
  } rows[] = {
      {"Office:1234:gsm:activated", {"Office", "1234", "gsm", "activated"}},
      {"My\\:Net:u:pppoe:", {"My:Net", "u", "pppoe", ""}},
      {"back\\\\slash:u", {"back\\slash", "u"}},
      {"", {""}},
      {"trailing\\", {"trailing\\"}},
  };
  for (const auto& r : rows) EXPECT_EQ(SplitNmcliTerse(r.Line), r.Fields) << r.Line;
}

// A stand-in nmcli first on PATH. It answers from files in its folder:
// "profiles" and "active" (terse NAME:UUID:TYPE:STATE lines), "secrets-UUID",
// and "up-fail" (when present, "connection up" fails with its text on
// stderr). Every call's arguments are appended to "calls"; the passwd-file
// given to "up" is copied to "passwd".
const char* const kStub = R"(#!/bin/sh
d=$(dirname "$0")
echo "$*" >> "$d/calls"
case "$*" in
  "-t -f NAME,UUID,TYPE,STATE connection show --active") cat "$d/active" ;;
  "-t -f NAME,UUID,TYPE,STATE connection show") cat "$d/profiles" ;;
  --wait*"connection up uuid"*)
    if [ -f "$d/up-fail" ]; then cat "$d/up-fail" >&2; exit 4; fi
    while [ $# -gt 0 ]; do
      if [ "$1" = passwd-file ]; then cp "$2" "$d/passwd"; fi
      shift
    done ;;
  "connection down uuid "*) ;;
  "--show-secrets -t -m multiline connection show uuid "*) cat "$d/secrets-$8" ;;
  *) echo "Error: unexpected arguments" >&2; exit 2 ;;
esac
)";

class NmcliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteBytes(Dir + "/nmcli", kStub);
    chmod((Dir + "/nmcli").c_str(), 0755);
    const char* path = getenv("PATH");
    Env.Set("PATH", Dir + ":" + (path ? path : ""));
    WriteBytes(Dir + "/profiles",
               "Wired connection 1:e-1:802-3-ethernet:activated\n"
               "Mobile\\:Net:g-1:gsm:\n"
               "Cafe:w-1:802-11-wireless:\n"
               "DSL:p-1:pppoe:\n"
               "Work VPN:v-1:vpn:\n"
               "Phone:b-1:bluetooth:\n"
               "EVDO:c-1:cdma:\n");
    WriteBytes(Dir + "/active", "Wired connection 1:e-1:802-3-ethernet:activated\n");
  }
  std::string Calls() { return ReadBytes(Dir + "/calls"); }

  // Dials and waits for the last state the callback reports.
  struct TOutcome {
    uint32_t CallResult = 0;
    std::vector<std::pair<uint32_t, uint32_t>> Events;
  };
  TOutcome DialAndWait(TNmcliDialUp& nm, const TDialParams& p, TDialHandle& h) {
    TOutcome out;
    std::mutex m;
    std::condition_variable cv;
    bool done = false;
    out.CallResult = nm.Dial(
        p,
        [&](uint32_t state, uint32_t error) {
          std::lock_guard<std::mutex> g(m);
          out.Events.push_back({state, error});
          if (error || state == DialStateConnected) {
            done = true;
            cv.notify_all();
          }
        },
        h);
    if (out.CallResult == DialErrNone) {
      std::unique_lock<std::mutex> g(m);
      EXPECT_TRUE(cv.wait_for(g, std::chrono::seconds(20), [&] { return done; }));
    }
    return out;
  }

  test::TScratchDir Scratch;
  test::TEnvScope Env;
  std::string Dir = Scratch.Path;
};

TEST_F(NmcliTest, PhonebookHoldsOnlyDialUpProfiles) {
  TNmcliDialUp nm;
  EXPECT_EQ(nm.PhonebookEntries(10),
            (std::vector<std::string>{"Mobile:Net", "DSL", "Phone", "EVDO"}));
  EXPECT_EQ(nm.PhonebookEntries(2), (std::vector<std::string>{"Mobile:Net", "DSL"}));
  EXPECT_TRUE(NmcliHasDialUpProfiles());
  EXPECT_TRUE(MakeDialUpService()->Present());

  WriteBytes(Dir + "/profiles", "Wired connection 1:e-1:802-3-ethernet:activated\n");
  EXPECT_FALSE(NmcliHasDialUpProfiles());
  EXPECT_FALSE(MakeDialUpService()->Present());
}

TEST_F(NmcliTest, DialBringsTheProfileUpWithThePasswordInAPrivateFile) {
  TNmcliDialUp nm;
  TDialHandle h = 0;
  auto out = DialAndWait(nm, {"Mobile:Net", "", "", "me", "s3cret", ""}, h);
  ASSERT_EQ(out.CallResult, DialErrNone);
  EXPECT_NE(h, 0u);
  EXPECT_EQ(out.Events, (std::vector<std::pair<uint32_t, uint32_t>>{{DialStateOpenPort, 0},
                                                                    {DialStateConnected, 0}}));
  EXPECT_EQ(ReadBytes(Dir + "/passwd"), "gsm.password:s3cret\n");
  std::string calls = Calls();
  EXPECT_NE(calls.find("--wait 90 connection up uuid g-1 passwd-file "), std::string::npos);
  EXPECT_EQ(calls.find("s3cret"), std::string::npos);  // never on a command line

  // Bluetooth dial-up keeps its secrets in the gsm setting too; no password,
  // no file.
  auto bt = DialAndWait(nm, {"Phone", "", "", "", "", ""}, h);
  EXPECT_EQ(bt.Events.back(), (std::pair<uint32_t, uint32_t>{DialStateConnected, 0}));
  EXPECT_NE(Calls().find("connection up uuid b-1\n"), std::string::npos);
}

TEST_F(NmcliTest, AFailingUpReportsNmclisComplaint) {
  WriteBytes(Dir + "/up-fail", "Error: Connection activation failed: No carrier\nhint\n");
  TNmcliDialUp nm;
  TDialHandle h = 0;
  auto out = DialAndWait(nm, {"DSL", "", "", "", "pw", ""}, h);
  ASSERT_EQ(out.CallResult, DialErrNone);
  ASSERT_FALSE(out.Events.empty());
  EXPECT_EQ(out.Events.back().second, DialErrActivate);
  EXPECT_EQ(nm.ErrorText(DialErrActivate),
            "The connection could not be brought up: "
            "Error: Connection activation failed: No carrier");

  // Unknown entries and kinds that are not dial-up are never brought up.
  for (const char* entry : {"Nowhere", "Wired connection 1", "Work VPN"}) {
    EXPECT_EQ(nm.Dial(
                  {entry, "", "", "", "", ""}, [](uint32_t, uint32_t) {}, h),
              DialErrNoEntry)
        << entry;
    EXPECT_EQ(h, 0u);
  }
  EXPECT_EQ(Calls().find("up uuid e-1"), std::string::npos);
}

TEST_F(NmcliTest, ActiveConnectionsAndHangUpNeverTouchEthernetOrWifi) {
  WriteBytes(Dir + "/active",
             "Wired connection 1:e-1:802-3-ethernet:activated\n"
             "Cafe:w-1:802-11-wireless:activated\n"
             "Mobile\\:Net:g-1:gsm:activated\n"
             "DSL:p-1:pppoe:activating\n");
  TNmcliDialUp nm;
  auto active = nm.ActiveConnections(20);
  ASSERT_EQ(active.size(), 2u);
  EXPECT_EQ(active[0].EntryName, "Mobile:Net");
  EXPECT_EQ(active[1].EntryName, "DSL");
  uint32_t state = 0;
  ASSERT_TRUE(nm.ConnectionStatus(active[0].Handle, state));
  EXPECT_EQ(state, DialStateConnected);
  ASSERT_TRUE(nm.ConnectionStatus(active[1].Handle, state));
  EXPECT_NE(state, DialStateConnected);
  EXPECT_FALSE(nm.ConnectionStatus(12345, state));

  for (const auto& c : active) EXPECT_EQ(nm.HangUp(c.Handle), DialErrNone);
  EXPECT_EQ(nm.HangUp(12345), DialErrBadHandle);
  std::string calls = Calls();
  EXPECT_NE(calls.find("connection down uuid g-1"), std::string::npos);
  EXPECT_NE(calls.find("connection down uuid p-1"), std::string::npos);
  EXPECT_EQ(calls.find("down uuid e-1"), std::string::npos);
  EXPECT_EQ(calls.find("down uuid w-1"), std::string::npos);
}

TEST_F(NmcliTest, StoredDialParameters) {
  WriteBytes(Dir + "/secrets-g-1",
             "connection.id:Mobile:Net\n"
             "gsm.number:*99#\n"
             "gsm.username:web\n"
             "gsm.password:pa:ss\n"
             "ppp.username:other\n");
  WriteBytes(Dir + "/secrets-p-1", "pppoe.username:dsluser\npppoe.password:\n");
  TNmcliDialUp nm;
  TDialParams p;
  ASSERT_TRUE(nm.GetEntryDialParams("Mobile:Net", p));
  EXPECT_EQ(p.EntryName, "Mobile:Net");
  EXPECT_EQ(p.PhoneNumber, "*99#");
  EXPECT_EQ(p.UserName, "web");
  EXPECT_EQ(p.Password, "pa:ss");
  ASSERT_TRUE(nm.GetEntryDialParams("DSL", p));
  EXPECT_EQ(p.UserName, "dsluser");
  EXPECT_EQ(p.Password, "");
  EXPECT_FALSE(nm.GetEntryDialParams("Cafe", p));
  EXPECT_FALSE(nm.EditEntry("DSL"));  // no editor installed here
}

TEST_F(NmcliTest, WithoutNmcliNothingIsDialled) {
  Env.Set("PATH", "/nonexistent");
  TNmcliDialUp nm;
  TDialHandle h = 7;
  EXPECT_EQ(nm.Dial(
                {"DSL", "", "", "", "", ""}, [](uint32_t, uint32_t) {}, h),
            DialErrNoService);
  EXPECT_EQ(h, 0u);
  EXPECT_TRUE(nm.PhonebookEntries(10).empty());
  EXPECT_TRUE(nm.ActiveConnections(20).empty());
  EXPECT_FALSE(NmcliHasDialUpProfiles());
}

}  // namespace
}  // namespace qv
