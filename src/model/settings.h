#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "model/atrrow.h"
#include "model/mimefilter.h"
#include "model/snapshot.h"
#include "model/streamext.h"

namespace qv {

// The program's name and version, as the about box shows them.
inline constexpr char kProgramName[] = "Quendravilos";
inline constexpr char kProgramVersion[] = "1.32";

// The User-Agent text the program's requests carry, and the one robots.txt
// groups are matched against: the "User Agent:" setting, or while it is empty
// (its default) the program's name and version, "Quendravilos/1.32" (many
// servers refuse a request that names no agent).
std::string UserAgentText(const std::string& setting);

// Every option of the settings window, named after the control that shows
// it. Per-user options live in the settings store, per-project ones in the
// project file's settings section. A value is immutable once published:
// worker threads, the job runner and the scheduler read GlobalSettings(),
// which the settings window republishes whenever one of its controls changes.
struct TSettings {
  // Quick mirror
  std::vector<TAtrRow> LinkFollowGrid;  // pattern + TFilterChoice in byte 0
  bool EnterNoRobChk = false;           // on: robots exclusion is not obeyed
  bool OnlyHTMChk = false;              // radio pair with AllMimeChk
  bool AllMimeChk = false;
  bool SpiderFTPChk = false;
  bool AutoQuickChk = false;
  std::string LocWebEd;
  // Download
  bool NeverDLChk = false;  // radio group with OlderDLChk, SeqDLChk
  bool OlderDLChk = false;
  bool SeqDLChk = false;
  bool ResParChk = false;  // counts only while NeverDLChk is checked
  int TimeOutUD = 0;
  int MaxThreadsUD = 0;
  int MaxThrServUD = 0;
  int DLRetriesUD = 0;
  bool RetryServChk = false;
  bool DisCookChk = false;  // radio group with InSesCookChk, IECookChk
  bool InSesCookChk = false;
  bool IECookChk = false;
  // Browsing
  std::string HomePageEd;
  bool UseDropChk = false;
  bool HideMainChk = false;
  bool MainPosChk = false;
  bool TLChk = false;  // radio group: drop window corner
  bool TRChk = false;
  bool BLChk = false;
  bool BRChk = false;
  // Scheduling
  int HrsUD = 0;
  int MinsUD = 0;
  std::string RepeatTimeCombo;
  std::string RepeatUnitsCombo;
  int StayConUD = 0;
  // Path + TScheduleType in byte 0, weekdays in byte 1, time slots in bytes 2-3.
  std::vector<TAtrRow> PrjGrid;
  // Configuration
  std::string EmailEdit;
  std::string UserAgEd;
  std::string HTTPPrEdit;
  std::string HTTPPrPortEdit;
  std::string FTPPrEdit;
  std::string FTPPrPortEdit;
  std::string PrUserEdit;
  std::string PrPWEdit;
  bool UseModemChk = false;
  int DialupsUD = 0;
  bool ShowHlpChk = false;
  std::string CaFiLiEd;

  // Resuming partial files: the box only counts while it is enabled.
  bool ResumePartial() const { return NeverDLChk && ResParChk; }

  bool operator==(const TSettings&) const = default;
};

enum class TOptionKind { Check, Radio, Number, Text, Combo, Grid };

// Where an option is kept: the project file, or the settings store with the
// value's type. IntegerText is an edit's text stored as an integer;
// DailyTime and Schedule are the two composite store values.
enum class TOptionStore { Project, String, Integer, Bool, IntegerText, DailyTime, Schedule };

using TOptionField = std::variant<bool TSettings::*, int TSettings::*, std::string TSettings::*,
                                  std::vector<TAtrRow> TSettings::*>;

// One row of the option table.
struct TOption {
  const char* Control;  // the control's name, also the field's
  const char* Page;
  const char* Group;
  const char* Caption;
  TOptionKind Kind;
  TOptionField Field;
  TOptionStore Store;
  const char* StoreName;  // settings-store value name; "" for the project
  const char* Default;    // the form's value: "1"/"0", a number or a text
  int Min = 0;
  int Max = 0;  // Number only
  int HelpContext = 0;
  const char* Radio = "";  // radio group name
};

// Every option, page by page, in the window's order.
const std::vector<TOption>& SettingsOptions();
const TOption* FindOption(const std::string& control);

// The values the form itself sets before anything is loaded. Start-up seeds
// a newly created settings store with these, so a first run starts with the
// form's cache life, modem, help and dial-up values instead of empty ones.
TSettings FormDefaults();

// Store load and save (the per-user options only; project options are left
// as they are). Missing values read as "", 0 or off; a missing store key
// makes the save a no-op. A stored proxy host of exactly "?" is replaced by
// the system's proxy for that protocol.
void LoadSettingsFromStore(TSettings& s);
void SaveSettingsToStore(const TSettings& s);
// Seeds a store that has no values yet with FormDefaults().
void SeedSettingsStore();

// The scheduled-project list holds at most this many rows.
inline constexpr int kMaxScheduleRows = 1000;
// A row added with "Add": One shot, every weekday, every time slot.
inline constexpr uint32_t kNewScheduleRowAttr = 0x0FFF7F02;

// The settings section of a project file (link-follow rows, option bytes,
// limits, local mirror folder, content-type filter block, home page, window
// option bytes, padding). Load raises EInOutError on a short or damaged
// section and then leaves both values unchanged.
void SaveProjectSettings(TStream& stream, const TSettings& s, const TMimeFilter& filter);
void LoadProjectSettings(TStream& stream, TSettings& s, TMimeFilter& filter);

// The settings worker threads read; starts as FormDefaults().
TPublished<TSettings>& GlobalSettings();

}  // namespace qv
