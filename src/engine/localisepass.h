#pragma once

// The localising pass over the master list with the program's own rewriters:
// pages through LocaliseHTMLFile, style sheets through LocaliseCSSFile. The
// list walk itself lives with the list (TVkURLList::LocaliseReferences), which
// knows nothing of HTML; this binds the two.

#include <string>

#include "engine/htmlparser.h"
#include "model/vkurllist.h"

class TProgressSink;

namespace qv {

// Rewrites every stored page and style sheet of list under dir for off-line
// browsing, showing progress through sink. processMessages (when given) runs
// every 100 tags or references of a long rewrite so the window can take a
// close request, which cuts the rewrite short (see LocaliseReferences).
TLocaliseSummary LocaliseListReferences(TVkURLList& list, const std::string& dir,
                                        TProgressSink& sink,
                                        const TProcessMessages& processMessages = {},
                                        const TFitTextProc& fit = {});

// The file rewriter the pass above uses, for callers that walk a list of
// their own.
TLocaliseFileProc StoredFileLocaliser(const TProcessMessages& processMessages = {});

}  // namespace qv
