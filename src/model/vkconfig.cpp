#include "model/vkconfig.h"

#include "model/leregistry.h"
#include "platform/progfolder.h"

namespace qv {

const TRegValueName RegValueNames[] = {
    {&RegCurrentURLFile, TStoreType::String},  {&RegPassWords, TStoreType::String},
    {&RegDailyTime, TStoreType::Integer},      {&RegRepeatTime, TStoreType::String},
    {&RegRepeatUnits, TStoreType::String},     {&RegStayConnected, TStoreType::Integer},
    {&RegDialups, TStoreType::Integer},        {&RegSchedualMirrors, TStoreType::String},
    {&RegSchedualTypes, TStoreType::Binary},   {&RegCacheFileLife, TStoreType::String},
    {&RegUseModem, TStoreType::Boolean},       {&RegEmail, TStoreType::String},
    {&RegUserAgent, TStoreType::String},       {&RegShowHelp, TStoreType::Boolean},
    {&RegHTTPProxy, TStoreType::String},       {&RegHTTPProxyPort, TStoreType::Integer},
    {&RegFTPProxy, TStoreType::String},        {&RegFTPProxyPort, TStoreType::Integer},
    {&RegProxyUser, TStoreType::String},       {&RegProxyPW, TStoreType::String},
};

const int RegValueNameCount = static_cast<int>(sizeof(RegValueNames) / sizeof(RegValueNames[0]));

void InitCurrentURLFile() {
  if (!RegReadString(RegCurrentURLFile).empty()) return;
  std::string folder = ProgramFolder();
  if (folder.empty()) return;
  RegWriteString(RegCurrentURLFile, folder + "/MirrorProjects/Example1.mpj");
}

}  // namespace qv
