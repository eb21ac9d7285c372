#pragma once
// What the main window's command files share.

#include "model/prompter.h"
#include "model/settings.h"
#include "model/weblocal.h"

class QBoxLayout;
class QWidget;

namespace qv {

// The settings the commands read (defaults before the settings window).
const TSettings& CommandSettings();
// The local-copy operations' environment, with its questions going to the
// prompter.
TLocalCopyEnv& CommandCopyEnv(TPrompter& prompter);
// Shows the drop window.
void ShowDropTarget();
// The box layout that holds w itself, searched from the layout of w's parent
// widget down through the layouts nested in it; nullptr when none does. The
// commands place their buttons beside ones the window's layout made, found so
// rather than by the layout's shape, which a reordered layout would change.
QBoxLayout* BoxHolding(QWidget* w);

}  // namespace qv
