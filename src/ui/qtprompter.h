#pragma once

#include <memory>
#include <string>

#include <QPointer>
#include <QString>

#include "model/prompter.h"

class QFileDialog;
class QMessageBox;
class QWidget;

namespace qv {

// The program's prompter on the desktop: message boxes and file dialogs,
// modal to the parent window (none: to the application).
class TQtPrompter : public TPrompter {
 public:
  explicit TQtPrompter(QWidget* parent = nullptr) : Parent(parent) {}
  void SetParent(QWidget* parent) { Parent = parent; }

  TMsgAnswer Ask(const std::string& text, TMsgKind kind, TMsgButtons buttons) override;
  void ShowMessage(const std::string& text) override;
  std::string ChooseFolder(const std::string& caption, const std::string& start) override;
  std::string ChooseOpenFile(const std::string& caption, const std::string& start,
                             const std::string& filter) override;
  std::string ChooseSaveFile(const std::string& caption, const std::string& start,
                             const std::string& filter) override;
  std::string ChooseOpenOrNewFile(const std::string& caption, const std::string& start,
                                  const std::string& filter,
                                  const std::string& defaultExt) override;

 private:
  QPointer<QWidget> Parent;
};

// The prompter windows use unless they are given their own: the desktop one
// until SetAppPrompter names another (a test's scripted one; null goes back).
TPrompter& AppPrompter();
void SetAppPrompter(TPrompter* prompter);

// The program's text shown to the user: UTF-8 when the bytes are valid
// UTF-8, else Latin-1 (every byte one character), never a lossy guess.
QString PromptText(const std::string& text);
// File names between the file system's bytes and the dialogs.
QString PathToQ(const std::string& path);
std::string PathFromQ(const QString& path);
// A chooser filter: "Name|*.a;*.b|All files|*.*" becomes
// "Name (*.a *.b);;All files (*)"; a filter without "|" is taken as it is.
QString DialogFilter(const std::string& filter);

// The box Ask shows, built but not shown (tests look at it), and the answer
// its pressed button stands for (none pressed, or closed: Cancel).
std::unique_ptr<QMessageBox> MakeMessageBox(QWidget* parent, const std::string& text, TMsgKind kind,
                                            TMsgButtons buttons);
TMsgAnswer AnswerOf(const QMessageBox& box);

// The chooser ChooseOpenOrNewFile shows, built but not shown (tests drive
// it). It is a save-mode chooser that asks nothing about existing files and
// says "Open": an open-mode one, in Qt's own dialog and in the desktop's,
// refuses a name that does not exist.
std::unique_ptr<QFileDialog> MakeOpenOrNewDialog(QWidget* parent, const std::string& caption,
                                                 const std::string& start,
                                                 const std::string& filter,
                                                 const std::string& defaultExt);

}  // namespace qv
