#include "shell/UAbout.h"

#include "UVersion.h"
#include "shell/UToolIcons.h"
#include "shell/UUserInterface.h"

#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QVBoxLayout>

namespace {

QLabel* WhiteLabel(const QString& text, QWidget* parent, int height) {
  auto* label = new QLabel(text, parent);
  label->setStyleSheet(QStringLiteral("color: white;"));
  label->setFixedHeight(height);
  return label;
}

}  // namespace

TFormAbout::TFormAbout(TUserInterface& ui, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint), FUI(ui) {
  setObjectName(QStringLiteral("FormAbout"));
  setWindowTitle(QStringLiteral("About . . ."));
  setFixedSize(400, 320);
  setModal(true);
  setAutoFillBackground(true);
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, QColor(0, 138, 204));
  setPalette(palette);
  QFont font = this->font();
  font.setPixelSize(13);
  setFont(font);

  Picture = new QLabel(this);
  Picture->setGeometry(0, 0, 400, 100);
  Picture->setPixmap(AboutPicture(QSize(400, 100)));

  auto* panel = new QWidget(this);
  panel->setGeometry(20, 100, 380, 220);
  panel->setAutoFillBackground(true);
  QPalette panelPalette = panel->palette();
  panelPalette.setColor(QPalette::Window, QColor(0, 138, 207));
  panel->setPalette(panelPalette);
  auto* layout = new QVBoxLayout(panel);
  layout->setContentsMargins(10, 10, 10, 10);
  layout->setSpacing(0);

  lblProductName = WhiteLabel(QLatin1String(VersionInfo::ProductName), panel, 65);
  QFont nameFont = font;
  nameFont.setPixelSize(43);
  nameFont.setBold(true);
  lblProductName->setFont(nameFont);
  lblProductName->setWordWrap(true);
  layout->addWidget(lblProductName);

  auto* separator = new QWidget(panel);
  separator->setFixedHeight(15);
  auto* bar = new QWidget(separator);
  bar->setGeometry(0, 5, 75, 4);
  bar->setStyleSheet(QStringLiteral("background: rgb(255, 108, 55);"));
  layout->addWidget(separator);
  layout->addStretch();

  lblProductVersion = WhiteLabel(QStringLiteral("Version: ") + QLatin1String(VersionInfo::ProductVersion),
                                 panel, 20);
  lblLegalCopyright = WhiteLabel(QLatin1String(VersionInfo::LegalCopyright), panel, 20);
  lblWebsite = WhiteLabel(WebsiteAddress(), panel, 20);
  lblWebsite->setCursor(Qt::PointingHandCursor);
  lblWebsite->installEventFilter(this);
  layout->addWidget(lblProductVersion);
  layout->addWidget(lblLegalCopyright);
  layout->addWidget(lblWebsite);
}

QString TFormAbout::WebsiteAddress() { return QStringLiteral("www.tovra.example"); }

void TFormAbout::lblWebsiteClick() { FUI.OpenWebPage(QStringLiteral("http://") + lblWebsite->text()); }

void TFormAbout::keyPressEvent(QKeyEvent* event) {
  event->accept();
  accept();
}

void TFormAbout::mousePressEvent(QMouseEvent* event) {
  // Labels pass their clicks on to here, so a click anywhere but the web address closes.
  event->accept();
  accept();
}

bool TFormAbout::eventFilter(QObject* watched, QEvent* event) {
  if (watched == lblWebsite) {
    if (event->type() == QEvent::MouseButtonPress) return true;
    if (event->type() == QEvent::MouseButtonRelease) {
      lblWebsiteClick();
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}
