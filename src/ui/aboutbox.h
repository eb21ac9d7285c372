#pragma once

#include <QDialog>

class QFrame;
class QLabel;

namespace qv {

// The about box the main window shows modally: the product with its version,
// the platform it was made for, the libraries it stands on, the logo and "OK".
class TAboutBox : public QDialog {
  Q_OBJECT
 public:
  explicit TAboutBox(QWidget* parent = nullptr);

  QFrame* Panel1;       // the bevelled panel that frames the logo
  QLabel* ProgramIcon;  // the logo
  QLabel* ProductName;
  QLabel* Version;
  QLabel* Platform;
  QLabel* Libraries;

 protected:
  void showEvent(QShowEvent* e) override;

 private:
  bool Placed = false;
};

// "Qt 6.4.2, OpenSSL 3.0.19, libpsl 0.21.2 and libjpeg-turbo 2.1.5": the
// versions the program runs with (JPEG: the one it was built with).
QString LibraryVersions();

// The program's logo, drawn at the given size.
QPixmap ProductLogo(int size);

}  // namespace qv
