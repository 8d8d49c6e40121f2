// Vistello: finds TOVRA ANPR cameras on the attached network and manages them.
#include "kivo/UKIVO.h"
#include "kordex/UWendaro.h"
#include "shell/UAbout.h"
#include "shell/UAddDevice.h"
#include "shell/UBusy.h"
#include "shell/UDiscovery.h"
#include "shell/UQtUserInterface.h"
#include "shell/USettingsFile.h"
#include "shell/UToolIcons.h"

#include <QApplication>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  // The name decides the user's configuration folder, where the settings file goes when the
  // executable's folder cannot be written.
  QApplication::setApplicationName(QStringLiteral("Vistello"));
  QApplication::setWindowIcon(WindowIcon());

  // The six windows, in this order; the main window's creation reads the settings.
  TQtUserInterface ui;
  TFormDiscovery formDiscovery(ui, SettingsFilePath(QApplication::applicationFilePath()),
                               QApplication::applicationDirPath());
  ui.SetParentWindow(&formDiscovery);
  TFormWendaro formWendaro;
  TFormAbout formAbout(ui);  // centred on the screen, so without a parent
  TFormBusy formBusy;
  TFormKIVO formKIVO;
  TFormAddDevice formAddDevice(&formDiscovery);
  ui.SetBusyForm(&formBusy);
  formDiscovery.SetAboutForm(&formAbout);

  formDiscovery.show();
  return QApplication::exec();
}
