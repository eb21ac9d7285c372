#pragma once
// What the main window's command files share.

#include "model/prompter.h"
#include "model/settings.h"
#include "model/weblocal.h"

namespace qv {

// The settings the commands read (defaults before the settings window).
const TSettings& CommandSettings();
// The local-copy operations' environment, with its questions going to the
// prompter.
TLocalCopyEnv& CommandCopyEnv(TPrompter& prompter);
// Shows the drop window.
void ShowDropTarget();

}  // namespace qv
