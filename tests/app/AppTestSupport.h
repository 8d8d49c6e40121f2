// Shared by the program's window tests: one offscreen application object and a recorder that
// stands in for the window behind the logic-window seam.
#pragma once

#include "shell/UDiscovery.h"
#include "shell/UUserInterface.h"

#include <QApplication>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

inline QApplication& TestApplication() {
  static int argc = 1;
  static char name[] = "vistello_test";
  static char* argv[] = {name, nullptr};
  static QApplication* app = [] {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    return new QApplication(argc, argv);
  }();
  return *app;
}

// Records everything the logic shows and answers confirmations as the test says.
class TRecordingUserInterface final : public TUserInterface {
 public:
  QStringList Errors, Informations, Questions, BusyPrompts, Progress, WebPages;
  bool ConfirmAnswer = true;
  QString ChosenFile;

  void ShowError(const QString& text) override { Errors << text; }
  void ShowInformation(const QString& text) override { Informations << text; }
  bool Confirm(const QString& text) override {
    Questions << text;
    return ConfirmAnswer;
  }
  void ShowBusy(const QString& prompt) override { BusyPrompts << prompt; }
  void HideBusy() override {}
  void AppendProgress(const QString& text) override { Progress << text; }
  QString ChooseFile(const QString&, const QString&, const QString&) override { return ChosenFile; }
  void OpenWebPage(const QString& url) override { WebPages << url; }
  void ProcessPendingEvents() override { QCoreApplication::processEvents(); }
};

// A main window over a settings file and an executable folder of its own.
struct TWindowFixture {
  TWindowFixture() { TestApplication(); }

  QString SettingsPath() const { return Folder.filePath(QStringLiteral("vistello.ini")); }
  void WriteSettings(const QByteArray& text) const {
    QFile file(SettingsPath());
    file.open(QIODevice::WriteOnly);
    file.write(text);
  }
  QByteArray ReadSettings() const {
    QFile file(SettingsPath());
    file.open(QIODevice::ReadOnly);
    return file.readAll();
  }
  TFormDiscovery& Open() {
    Window = std::make_unique<TFormDiscovery>(UI, SettingsPath(), Folder.path());
    return *Window;
  }
  void Close() {
    Window->close();
    Window.reset();
  }

  QTemporaryDir Folder;
  TRecordingUserInterface UI;
  std::unique_ptr<TFormDiscovery> Window;
};
