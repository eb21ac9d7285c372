#include "engine/localisepass.h"

#include "engine/cssparser.h"
#include "model/progresssink.h"

namespace qv {

TLocaliseFileProc StoredFileLocaliser(const TProcessMessages& processMessages) {
  return [processMessages](TStoredTextKind kind, const std::string& url, const std::string& dir,
                           const std::atomic<bool>& abort) {
    if (kind == TStoredTextKind::Page)
      LocaliseHTMLFile(url, dir, abort, processMessages);
    else if (kind == TStoredTextKind::StyleSheet)
      LocaliseCSSFile(url, dir, abort, processMessages);
  };
}

TLocaliseSummary LocaliseListReferences(TVkURLList& list, const std::string& dir,
                                        TProgressSink& sink,
                                        const TProcessMessages& processMessages,
                                        const TFitTextProc& fit) {
  return list.LocaliseReferences(dir, sink, StoredFileLocaliser(processMessages), fit);
}

}  // namespace qv
