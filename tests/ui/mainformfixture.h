#pragma once
// Every window of the program for a fresh user, as start-up makes them, with
// the master list filled by hand instead of from a project file.

#include <mutex>
#include <string>
#include <vector>

#include "engine/downloadform.h"
#include "model/leregistry.h"
#include "model/settings.h"
#include "model/vkconfig.h"
#include "model/vkglobal.h"
#include "model/vkurllist.h"
#include "platform/dialup.h"
#include "platform/store.h"
#include "support/envscope.h"
#include "support/scratchdir.h"
#include "ui/appwindows.h"
#include "ui/controls/urllistbox.h"
#include "ui/downloadwindow.h"
#include "ui/mainform.h"
#include "ui/qtprompter.h"
#include "ui/startup.h"
#include "uitest.h"

namespace qv::test {

class MainFormFixture : public UiTest {
 protected:
  MainFormFixture() {
    SeedProgramFolder(std::string(QV_SOURCE_DIR) + "/share", Home.Dir / "prog");
    SetRegistryKey(ProgramRegistryKey);
    TValueFile(StoreFileForKey(ProgramRegistryKey)).Create();
    SeedSettingsStore();
    SetAppPrompter(&Prompter);
    SetProgramArguments({});
    CreateAppWindows({}, std::make_unique<TNoDialUp>());
    Form1->SetPrompter(&Prompter);
    DownloadWindow->SetPrompter(&Prompter);
    // As a loaded project leaves it: the settings window holds the folder
    // the jobs use (its hiding hands that folder on).
    Form1->Session().SetLocalWebDir(Home.Dir / "TvWeb");
    Form1->SetLocalWebDirText(Home.Dir / "TvWeb");
  }
  ~MainFormFixture() override {
    FreeAppWindows();
    SetAppPrompter(nullptr);
    SetProgramArguments({});
  }

  // Adds a record to the master list in key order.
  static void List(const std::string& url, uint8_t status = usNew, bool checked = false,
                   int32_t size = 0) {
    TVkURLItem r;
    r.URL = url;
    r.SetStatus(status);
    r.Checked = checked ? 1 : 0;
    r.Size = size;
    std::lock_guard<TCriticalSection> hold(*URLListLock);
    GlobalURLList->AddItem(r, false);
  }

  std::vector<std::string> Lines() const {
    std::vector<std::string> out;
    for (int i = 0; i < Form1->SingURLs->Count(); ++i) out.push_back(Form1->SingURLs->ItemText(i));
    return out;
  }

  TScratchHome Home;
  TScriptedPrompter Prompter;
};

}  // namespace qv::test
