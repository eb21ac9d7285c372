#include "engine/localisepass.h"

#include <memory>

#include "engine/cssparser.h"
#include "model/progresssink.h"

namespace qv {

TLocaliseFileProc StoredFileLocaliser(const TProcessMessages& processMessages) {
  // One pass looks each target up once, not once per page that links to it.
  auto bodies = std::make_shared<TStoredBodies>();
  return [processMessages, bodies](TStoredTextKind kind, const std::string& url,
                                   const std::string& dir, const std::atomic<bool>& abort) {
    if (kind == TStoredTextKind::Page)
      LocaliseHTMLFile(url, dir, abort, processMessages, bodies.get());
    else if (kind == TStoredTextKind::StyleSheet)
      LocaliseCSSFile(url, dir, abort, processMessages, bodies.get());
  };
}

TLocaliseSummary LocaliseListReferences(TVkURLList& list, const std::string& dir,
                                        TProgressSink& sink,
                                        const TProcessMessages& processMessages,
                                        const TFitTextProc& fit) {
  return list.LocaliseReferences(dir, sink, StoredFileLocaliser(processMessages), fit);
}

}  // namespace qv
