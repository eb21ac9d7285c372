#pragma once

#include <string>

#include <QDialog>

#include "model/progresssink.h"
#include "model/prompter.h"

class QLabel;

namespace qv {

// The modeless "Information:-" window long passes over the URL list show
// their progress in. A pass calls ShowText, then UpdateText at its progress
// points (it stops when that gives false), then HideMsg. While a pass holds
// the window the user cannot close it: the attempt is recorded, and the next
// UpdateText asks whether to abort. User-interface thread only; worker-facing
// code may read CloseRequested from any thread.
class TNonModalMsg : public QDialog, public TProgressSink {
  Q_OBJECT
 public:
  explicit TNonModalMsg(QWidget* parent = nullptr);

  // The prompter for the abort question; AppPrompter() unless set.
  void SetPrompter(TPrompter* prompter) { Prompter = prompter; }

  // False, changing nothing, while another pass holds the window.
  bool ShowText(const std::string& text) override;
  bool UpdateText(const std::string& text) override;
  void HideMsg() override;
  void SetCaption(const std::string& caption) override;
  void SetText(const std::string& text) override;

  // The text shortened to the label's width with its middle cut out, as a
  // pass shows a long URL.
  std::string FitToLabel(const std::string& text) const;
  std::string FitText(const std::string& text) const override { return FitToLabel(text); }

  bool Busy = false;
  QLabel* Label1;

 protected:
  void closeEvent(QCloseEvent* e) override;
  void reject() override;
  void showEvent(QShowEvent* e) override;

 private:
  // Makes the window as tall as its text needs; shrink: also smaller.
  void FitHeight(bool shrink);

  TPrompter* Prompter = nullptr;
};

}  // namespace qv
