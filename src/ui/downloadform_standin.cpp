#include "ui/downloadform_standin.h"

#include "ui/qtprompter.h"

namespace qv {

TDownloadFrm::TDownloadFrm(QWidget* parent) : QDialog(parent) {
  setWindowTitle("Download");
  setProperty("HelpContext", 79);
}

bool TDownloadFrm::CanStartOperation(bool blocksExtract, bool blocksDownload) {
  if (Job == TJobKind::None) return true;
  if (Job == TJobKind::Download && !blocksDownload) return true;
  if (Job == TJobKind::Extract && !blocksExtract) return true;
  if (isVisible()) raise();
  TPrompter& p = Prompter ? *Prompter : AppPrompter();
  if (p.Ask(kStopJobQuestion, TMsgKind::Warning, TMsgButtons::YesNo) == TMsgAnswer::Yes)
    StopBtnClick();
  return false;
}

void TDownloadFrm::StopBtnClick() {
  StopRequested = true;
  if (OnStop) OnStop();
}

}  // namespace qv
