// Renders the real main window with a few cameras in its table into a PNG picture, for the
// README. Usage: vistello_screenshot <output.png>
#include "shell/UDiscovery.h"
#include "shell/UQtUserInterface.h"
#include "shell/UToolIcons.h"

#include <QApplication>
#include <QDir>
#include <QTableView>
#include <QTemporaryDir>
#include <cstdio>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <output.png>\n", argv[0]);
    return 2;
  }
  QApplication::setWindowIcon(WindowIcon());

  // A settings file of its own, so the picture never depends on a user's settings.
  QTemporaryDir settings;
  TQtUserInterface ui;
  TFormDiscovery window(ui, settings.filePath(QStringLiteral("vistello.ini")), settings.path());
  ui.SetParentWindow(&window);

  const struct {
    TANPRType family;
    int serial;
    bool dhcp;
    const char *mac, *ip, *host, *description;
  } cameras[] = {
      {ANPR_KORDEX, 10234, false, "00-1B-2C-10-22-01", "198.18.0.21", "gate-north", "KORDEX 300, ANPR lib 4.2"},
      {ANPR_KORDEX_V2, 20877, false, "00:1B:2C:20:40:17", "198.18.0.22", "", "KORDEX V2 OS 3.1.7"},
      {ANPR_KIVO, 0, true, "", "198.18.0.40", "", "KIVO-2 parking entry"},
      {ANPR_KORDEX_V2, 20912, false, "00:1B:2C:20:40:3A", "198.18.0.23", "", "KORDEX V2 OS 3.1.7"},
      {ANPR_KORDEX, 10288, false, "00-1B-2C-10-22-07", "198.18.0.24", "gate-south", "KORDEX 300, ANPR lib 4.2"},
  };
  for (const auto& c : cameras) {
    TNetWorkInfo info;
    info.ANPRType = c.family;
    info.SerialNumber = c.serial;
    info.DHCP = c.dhcp;
    info.MACAddress = QLatin1String(c.mac);
    info.IPAddress = QLatin1String(c.ip);
    info.NetMask = QStringLiteral("255.255.255.0");
    info.Gateway = QStringLiteral("198.18.0.1");
    info.HostName = QLatin1String(c.host);
    info.Description = QLatin1String(c.description);
    window.AddOrUpdateDevice(info);
  }
  window.resize(960, 640);
  window.show();
  QApplication::processEvents();
  // The first KORDEX camera, as a user would click it.
  window.GridDevices->selectRow(0);
  QApplication::processEvents();

  const QString out = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(QFileInfo(out).absolutePath());
  if (!window.grab().save(out, "PNG")) {
    std::fprintf(stderr, "cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
