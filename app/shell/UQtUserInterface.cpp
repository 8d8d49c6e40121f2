#include "shell/UQtUserInterface.h"

#include "shell/UBusy.h"
#include "shell/UTypes.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QUrl>

void TQtUserInterface::ShowError(const QString& text) {
  QMessageBox::critical(FParent, QLatin1String(ApplicationTitle), text);
}

void TQtUserInterface::ShowInformation(const QString& text) {
  QMessageBox::information(FParent, QLatin1String(ApplicationTitle), text);
}

bool TQtUserInterface::Confirm(const QString& text) {
  return QMessageBox::question(FParent, QLatin1String(ApplicationTitle), text,
                               QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

void TQtUserInterface::ShowBusy(const QString& prompt) {
  if (FBusy != nullptr) FBusy->ShowBusy(prompt);
}

void TQtUserInterface::HideBusy() {
  if (FBusy != nullptr) FBusy->HideBusy();
}

void TQtUserInterface::AppendProgress(const QString& text) {
  if (FBusy != nullptr) FBusy->AppendProgress(text);
}

QString TQtUserInterface::QtFilter(const QString& pairs) {
  const QStringList parts = pairs.split(QLatin1Char('|'));
  QStringList filters;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    const QString description = parts[i].trimmed();
    const QString pattern = parts[i + 1].trimmed();
    filters.append(description.contains(pattern) ? description
                                                 : QStringLiteral("%1 (%2)").arg(description, pattern));
  }
  return filters.join(QStringLiteral(";;"));
}

QString TQtUserInterface::ChooseFile(const QString& title, const QString& filter,
                                     const QString& initialFolder) {
  return QFileDialog::getOpenFileName(FParent, title, initialFolder, QtFilter(filter));
}

void TQtUserInterface::OpenWebPage(const QString& url) { QDesktopServices::openUrl(QUrl(url)); }

void TQtUserInterface::ProcessPendingEvents() { QCoreApplication::processEvents(); }
