#include "ui/aboutbox.h"

#include <cmath>

#include <QDialogButtonBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QRadialGradient>
#include <QVBoxLayout>
#include <QtGlobal>

#include <libpsl.h>
#include <openssl/crypto.h>
#if __has_include(<jconfig.h>)
#include <jconfig.h>
#endif

#include "model/settings.h"

namespace qv {

namespace {

#define QV_STRINGIFY2(x) #x
#define QV_STRINGIFY(x) QV_STRINGIFY2(x)

QString JpegVersion() {
#ifdef LIBJPEG_TURBO_VERSION
  return QStringLiteral("libjpeg-turbo " QV_STRINGIFY(LIBJPEG_TURBO_VERSION));
#else
  return QStringLiteral("libjpeg-turbo");
#endif
}

// "OpenSSL 3.0.19 27 Jan 2026" -> "OpenSSL 3.0.19".
QString OpenSSLVersion() {
  const QStringList words = QString::fromLatin1(OpenSSL_version(OPENSSL_VERSION)).split(' ');
  return words.size() >= 2 ? words[0] + ' ' + words[1] : words.value(0);
}

}  // namespace

QString LibraryVersions() {
  return QStringLiteral("Qt %1, %2, libpsl %3 and %4")
      .arg(QString::fromLatin1(qVersion()), OpenSSLVersion(),
           // "0.21.2 (+libidn2/2.3.3)": the library's own number only.
           QString::fromLatin1(psl_get_version()).section(' ', 0, 0), JpegVersion());
}

QPixmap ProductLogo(int size) {
  QPixmap pm(size, size);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF globe(size * 0.06, size * 0.06, size * 0.88, size * 0.88);
  QRadialGradient shade(globe.center() - QPointF(size * 0.15, size * 0.15), size * 0.6);
  shade.setColorAt(0, QColor(140, 200, 255));
  shade.setColorAt(1, QColor(20, 80, 160));
  p.setBrush(shade);
  p.setPen(QPen(QColor(10, 50, 110), size / 40.0));
  p.drawEllipse(globe);
  // Meridians and parallels.
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(QColor(230, 240, 255, 170), size / 64.0));
  for (double w : {0.25, 0.55}) {
    QRectF m(0, 0, globe.width() * w, globe.height());
    m.moveCenter(globe.center());
    p.drawEllipse(m);
  }
  p.drawLine(QPointF(globe.center().x(), globe.top()), QPointF(globe.center().x(), globe.bottom()));
  for (double f : {0.3, 0.5, 0.7}) {
    const double y = globe.top() + globe.height() * f;
    const double half = globe.width() / 2 * std::sqrt(1 - std::pow(2 * f - 1, 2));
    p.drawLine(QPointF(globe.center().x() - half, y), QPointF(globe.center().x() + half, y));
  }
  // The arrow of a copy coming down to the disk.
  QPainterPath arrow;
  const double cx = size * 0.72, top = size * 0.48, bottom = size * 0.96, w = size * 0.11;
  arrow.moveTo(cx - w / 2, top);
  arrow.lineTo(cx + w / 2, top);
  arrow.lineTo(cx + w / 2, bottom - w * 1.4);
  arrow.lineTo(cx + w * 1.3, bottom - w * 1.4);
  arrow.lineTo(cx, bottom);
  arrow.lineTo(cx - w * 1.3, bottom - w * 1.4);
  arrow.lineTo(cx - w / 2, bottom - w * 1.4);
  arrow.closeSubpath();
  p.setPen(QPen(QColor(120, 60, 0), size / 64.0));
  p.setBrush(QColor(255, 170, 40));
  p.drawPath(arrow);
  return pm;
}

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent) {
  setObjectName("AboutBox");
  setWindowTitle("About");
  setModal(true);
  // A dialog border: a close button only, and no sizing by the user.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);

  Panel1 = new QFrame(this);
  Panel1->setObjectName("Panel1");
  Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  Panel1->setLineWidth(2);
  ProgramIcon = new QLabel(Panel1);
  ProgramIcon->setObjectName("ProgramIcon");
  ProgramIcon->setPixmap(ProductLogo(72));

  ProductName = new QLabel(kProgramName, this);
  QFont big = ProductName->font();
  big.setPointSizeF(big.pointSizeF() * 1.6);
  big.setBold(true);
  ProductName->setFont(big);
  Version = new QLabel(QString("Version ") + kProgramVersion, this);
  Platform = new QLabel("for Linux", this);
  Libraries = new QLabel("Built on " + LibraryVersions(), this);
  Libraries->setWordWrap(true);

  auto* text = new QVBoxLayout;
  text->addWidget(ProductName);
  text->addWidget(Version);
  text->addWidget(Platform);
  text->addSpacing(8);
  text->addWidget(Libraries);
  text->addStretch(1);

  auto* top = new QHBoxLayout;
  top->addWidget(Panel1, 0, Qt::AlignTop);
  top->addSpacing(12);
  top->addLayout(text, 1);

  auto* buttons = new QDialogButtonBox(this);
  QPushButton* ok = buttons->addButton("OK", QDialogButtonBox::AcceptRole);
  ok->setObjectName("OKButton");
  ok->setDefault(true);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(16, 16, 16, 12);
  outer->addLayout(top);
  outer->addSpacing(8);
  outer->addWidget(buttons);
  setFixedWidth(380);
  // Until the first showing the panel is sized for the logo, so the layout
  // leaves room for it.
  const int bevel = Panel1->frameWidth();
  Panel1->setFixedSize(ProgramIcon->pixmap().size() + QSize(2 * bevel, 2 * bevel));
}

void TAboutBox::showEvent(QShowEvent* e) {
  QDialog::showEvent(e);
  if (Placed) return;
  Placed = true;
  // The logo sits inside the panel's bevel; the panel fits the logo.
  const int bevel = Panel1->frameWidth();
  ProgramIcon->move(bevel, bevel);
  ProgramIcon->resize(ProgramIcon->pixmap().size());
  Panel1->setFixedSize(ProgramIcon->size() + QSize(2 * bevel, 2 * bevel));
  const int height = heightForWidth(width());
  setFixedHeight(height > 0 ? height : sizeHint().height());
}

}  // namespace qv
