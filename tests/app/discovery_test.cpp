#include "AppTestSupport.h"
#include "shell/UProfileFile.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTableView>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

namespace {

TNetWorkInfo Camera(TANPRType family, const QString& mac, const QString& ip, const QString& host = {},
                    const QString& description = {}, int serial = 0) {
  TNetWorkInfo info;
  info.ANPRType = family;
  info.SerialNumber = serial;
  info.MACAddress = mac;
  info.IPAddress = ip;
  info.NetMask = "255.255.255.0";
  info.Gateway = "192.168.1.1";
  info.HostName = host;
  info.Description = description;
  return info;
}

QStringList Texts(const std::array<QLineEdit*, 4>& fields) {
  QStringList texts;
  for (const QLineEdit* f : fields) texts << f->text();
  return texts;
}

class DiscoveryTest : public ::testing::Test, public TWindowFixture {
 protected:
  TFormDiscovery& Shown() {
    TFormDiscovery& w = Window ? *Window : Open();
    w.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&w));
    return w;
  }
  int Rows() { return Window->FDeviceTable.rowCount(); }
  QString Cell(int row, TDeviceColumn column) { return Window->FDeviceTable.Cell(row, column); }
  int SelectedRow() {
    const auto rows = Window->GridDevices->selectionModel()->selectedRows();
    return rows.size() == 1 ? rows.first().row() : -1;
  }
};

TEST_F(DiscoveryTest, FirstRunWithoutSettingsFile) {
  {
    QFile plink(Folder.filePath("plink"));  // the SSH tools beside the executable
    ASSERT_TRUE(plink.open(QIODevice::WriteOnly));
    plink.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  }
  TFormDiscovery& w = Open();
  EXPECT_EQ(w.windowTitle(), "TOVRA VISTELLO v2.6");
  EXPECT_EQ(w.FANPRType, ANPR_ANY);
  EXPECT_EQ(w.EditANPRList->currentText(), "ALL");
  EXPECT_EQ(w.EditNICList->currentIndex(), 0);
  EXPECT_EQ(w.FNetworkIF, w.EditNICList->itemText(0));
  EXPECT_EQ(w.FPuttyInfo.ToolFolder, Folder.path() + "/");
  EXPECT_EQ(w.EditUpdateV2->text(), "");
  EXPECT_EQ(w.EditUpdateKIVO->text(), "");
  EXPECT_FALSE(w.btnSetIP->isEnabled());
  EXPECT_FALSE(w.btnUpdateV2->isEnabled());
  EXPECT_FALSE(w.btnUpdateKIVO->isEnabled());
  EXPECT_FALSE(w.FModified);
  EXPECT_TRUE(w.chkDHCP->isChecked());
  EXPECT_TRUE(UI.Errors.isEmpty());
  const QString network = w.FNetworkIF;
  Close();

  EXPECT_EQ(ReadSettings().toStdString(),
            "[options]\nanpr_type=0\nnetwork_if=" + network.toStdString() + "\nputtypath=" +
                Folder.path().toStdString() + "/\n[update_v2]\nfilename=\n"
                "[update_kivo]\nfilename=\nusername=\npassword=\n");
}

TEST_F(DiscoveryTest, LayoutOfTheMainWindow) {
  TFormDiscovery& w = Open();
  EXPECT_EQ(w.size(), QSize(960, 640));
  EXPECT_EQ(w.mnuDiscover->shortcut(), QKeySequence(Qt::Key_F5));
  EXPECT_EQ(w.tbnDiscover->toolTip(), "Search devices");
  EXPECT_EQ(w.tbnAdd->toolTip(), "Add device manually");
  EXPECT_EQ(w.tbnWebConfig->toolTip(), "Open in browser");
  EXPECT_FALSE(w.tbnDiscover->icon().isNull());
  EXPECT_EQ(w.EditPassword->echoMode(), QLineEdit::Password);
  EXPECT_EQ(w.EditUpdateV2->placeholderText(), QString::fromUtf8("\u00AB no file selected \u00BB"));
  EXPECT_TRUE(w.EditUpdateV2->isReadOnly());
  EXPECT_FALSE(w.EditMAC->isEnabled());
  EXPECT_EQ(w.statusBar()->findChildren<QLabel*>().size(), 3);

  const char* headers[] = {"SN", "ANPR type", "Hostname", "DHCP", "IP address", "Netmask",
                           "Gateway", "MAC address", "Description"};
  const bool shown[] = {true, true, true, false, true, false, false, true, true};
  for (int c = 0; c < DeviceColumnCount; ++c) {
    EXPECT_EQ(w.FDeviceTable.headerData(c, Qt::Horizontal, Qt::DisplayRole).toString(), headers[c]);
    EXPECT_EQ(!w.GridDevices->isColumnHidden(c), shown[c]) << headers[c];
  }
  EXPECT_EQ(w.GridDevices->horizontalHeader()->sortIndicatorSection(), colSN);
  EXPECT_EQ(w.GridDevices->selectionBehavior(), QAbstractItemView::SelectRows);
  EXPECT_EQ(w.GridDevices->selectionMode(), QAbstractItemView::SingleSelection);
}

TEST_F(DiscoveryTest, StoredFamilyKeepsItsLowSevenBits) {
  const struct {
    const char* stored;
    int row;
    const char* writtenBack;
  } cases[] = {{"2", 2, "anpr_type=2"}, {"7", -1, "anpr_type=7"}, {"256", 0, "anpr_type=0"},
               {"131", 3, "anpr_type=3"}, {"two", 0, "anpr_type=0"}};
  for (const auto& c : cases) {
    WriteSettings(QByteArray("[options]\nanpr_type=") + c.stored + "\n");
    TFormDiscovery& w = Open();
    EXPECT_EQ(w.EditANPRList->currentIndex(), c.row) << c.stored;
    Close();
    EXPECT_TRUE(ReadSettings().contains(c.writtenBack)) << c.stored;
  }
}

TEST_F(DiscoveryTest, UnreadableSettingsFileIsReportedAndStartUpGoesOn) {
  QDir(Folder.path()).mkdir("vistello.ini");  // a folder where the file should be
  TFormDiscovery& w = Open();
  ASSERT_EQ(UI.Errors.size(), 1);
  EXPECT_TRUE(UI.Errors.first().contains("vistello.ini"));
  EXPECT_EQ(w.EditANPRList->currentText(), "ALL");
  EXPECT_EQ(w.EditNICList->currentIndex(), 0);
  EXPECT_FALSE(w.btnSetIP->isEnabled());
  Close();  // the failing save at close stays silent
  EXPECT_EQ(UI.Errors.size(), 1);
}

TEST_F(DiscoveryTest, StoredUpdateFileThatIsGoneIsShownButCannotBeUsed) {
  QFile kivo(Folder.filePath("kivo.sh"));
  ASSERT_TRUE(kivo.open(QIODevice::WriteOnly));
  kivo.close();
  const QString gone = Folder.filePath("os.gpg");
  WriteSettings(("[update_v2]\nfilename=" + gone + "\n[update_kivo]\nfilename=" + kivo.fileName() +
                 "\nusername=admin\npassword=pw\n").toUtf8());
  TFormDiscovery& w = Shown();
  EXPECT_EQ(w.FUpdateFileV2, gone);
  EXPECT_EQ(w.EditUser->text(), "admin");
  EXPECT_EQ(w.EditPassword->text(), "pw");

  w.AddOrUpdateDevice(Camera(ANPR_KORDEX_V2, "00:11:22:33:44:55", "192.168.1.20"));
  w.PageControl->setCurrentWidget(w.tsUPDATE);
  QApplication::processEvents();
  // Shown in its field, shortened to the field's width with the label's font.
  const QString shown = w.EditUpdateV2->text();
  EXPECT_TRUE(shown.endsWith("/os.gpg")) << shown.toStdString();
  EXPECT_LE(QFontMetrics(w.lblFileV2->font()).horizontalAdvance(shown), w.EditUpdateV2->width() - 6);
  EXPECT_FALSE(w.btnUpdateV2->isEnabled());
  w.AddOrUpdateDevice(Camera(ANPR_KIVO, "", "192.168.1.21"));
  EXPECT_TRUE(w.btnUpdateKIVO->isEnabled());
}

TEST_F(DiscoveryTest, VisibleAndEnabledStatesFollowTheSelectedFamily) {
  struct Expect {
    bool settings, kivoLink, hostname, address, dhcp, update1, update2, updateKivo, web;
  };
  const struct {
    const char* what;
    std::optional<TNetWorkInfo> camera;
    Expect e;
  } cases[] = {
      {"no row", std::nullopt, {false, false, false, false, false, false, false, false, false}},
      {"KORDEX", Camera(ANPR_KORDEX, "00:11:22:33:44:01", "192.168.1.2"),
       {true, false, true, true, true, true, false, false, true}},
      {"KORDEX V2", Camera(ANPR_KORDEX_V2, "00:11:22:33:44:02", "192.168.1.3"),
       {true, false, false, true, true, false, true, false, true}},
      {"KIVO", Camera(ANPR_KIVO, "", "192.168.1.4"),
       {false, true, false, true, true, false, false, true, true}},
      {"KORDEX V2 without MAC", Camera(ANPR_KORDEX_V2, "", "192.168.1.5"),
       {false, false, false, true, true, false, true, false, true}},
  };
  for (const auto& c : cases) {
    TFormDiscovery& w = Open();
    if (c.camera) {
      TNetWorkInfo info = *c.camera;
      info.DHCP = false;
      w.AddOrUpdateDevice(info);
    }
    EXPECT_EQ(!w.PanelIPADDR->isHidden(), c.e.settings) << c.what;
    EXPECT_EQ(!w.PanelIPADDRKIVO->isHidden(), c.e.kivoLink) << c.what;
    EXPECT_EQ(w.EditHostname->isEnabled(), c.e.hostname) << c.what;
    EXPECT_EQ(w.EditIP[0]->isEnabled(), c.e.address) << c.what;
    EXPECT_EQ(w.chkDHCP->isEnabled(), c.e.dhcp) << c.what;
    EXPECT_EQ(!w.PanelUpdateV1->isHidden(), c.e.update1) << c.what;
    EXPECT_EQ(!w.PanelUpdateV2->isHidden(), c.e.update2) << c.what;
    EXPECT_EQ(!w.PanelUpdateKIVO->isHidden(), c.e.updateKivo) << c.what;
    EXPECT_EQ(w.tbnWebConfig->isEnabled(), c.e.web) << c.what;
    EXPECT_EQ(w.mnuWebConfig->isEnabled(), c.e.web) << c.what;
    EXPECT_FALSE(w.EditMAC->isEnabled()) << c.what;
    EXPECT_FALSE(w.btnSetIP->isEnabled()) << c.what;
    EXPECT_FALSE(w.btnCancelIP->isEnabled()) << c.what;
    Close();
  }
}

TEST_F(DiscoveryTest, EnablingDHCPDisablesTheTwelveFieldsAndKeepsTheirTexts) {
  TFormDiscovery& w = Shown();
  w.AddOrUpdateDevice(Camera(ANPR_KORDEX, "00:11:22:33:44:01", "192.168.1.2"));
  ASSERT_FALSE(w.chkDHCP->isChecked());
  QTest::mouseClick(w.chkDHCP, Qt::LeftButton);
  EXPECT_TRUE(w.chkDHCP->isChecked());
  for (const QLineEdit* field : w.AddressFields()) EXPECT_FALSE(field->isEnabled()) << field->objectName().toStdString();
  EXPECT_EQ(Texts(w.EditIP), (QStringList{"192", "168", "1", "2"}));
  EXPECT_EQ(Texts(w.EditGW), (QStringList{"192", "168", "1", "1"}));
  EXPECT_TRUE(w.FModified);
  EXPECT_TRUE(w.btnSetIP->isEnabled());
}

TEST_F(DiscoveryTest, ShortenPathCutsTheFolderFromItsEnd) {
  TestApplication();
  QFont font;
  font.setPixelSize(13);
  const QFontMetrics metrics(font);
  const QString path = "/srv/updates/camera/firmware.gpg";
  const int whole = metrics.horizontalAdvance(path);
  const int cut = metrics.horizontalAdvance("/srv/upd.../firmware.gpg");

  EXPECT_EQ(TFormDiscovery::ShortenPath(path, font, whole), path);
  EXPECT_EQ(TFormDiscovery::ShortenPath(path, font, cut), "/srv/upd.../firmware.gpg");
  EXPECT_EQ(TFormDiscovery::ShortenPath(path, font, 5), "firmware.gpg");
  EXPECT_EQ(TFormDiscovery::ShortenPath("", font, 5), "");
  EXPECT_EQ(TFormDiscovery::ShortenPath("bare-name-that-is-wide.gpg", font, 5), "bare-name-that-is-wide.gpg");
}

TEST_F(DiscoveryTest, AddOrUpdateDeviceMergesByMACThenByIP) {
  const struct {
    const char* what;
    std::vector<TNetWorkInfo> added;
    int rows;
    int updatedRow;  // where the last record went
  } cases[] = {
      {"dash and colon forms of one MAC",
       {Camera(ANPR_KORDEX, "00-11-22-33-44-55", "192.168.1.2"),
        Camera(ANPR_KORDEX, "00:11:22:33:44:55", "192.168.1.3")},
       1, 0},
      {"letter case differs",
       {Camera(ANPR_KORDEX, "00:11:22:33:44:aa", "192.168.1.2"),
        Camera(ANPR_KORDEX, "00:11:22:33:44:AA", "192.168.1.2")},
       2, 1},
      {"MAC record beside an IP-only row",
       {Camera(ANPR_KIVO, "", "192.168.1.2"), Camera(ANPR_KORDEX, "00:11:22:33:44:55", "192.168.1.2")},
       2, 1},
      {"IP-only record merges with the last row of its IP",
       {Camera(ANPR_KIVO, "", "192.168.1.2"), Camera(ANPR_KIVO, "", "192.168.1.9"),
        Camera(ANPR_KIVO, "", "192.168.1.2")},
       2, 0},
      {"neither MAC nor IP",
       {Camera(ANPR_KORDEX, "00:11:22:33:44:55", "192.168.1.2"), Camera(ANPR_KIVO, "", "")},
       1, 0},
  };
  for (const auto& c : cases) {
    TFormDiscovery& w = Open();
    for (const auto& info : c.added) w.AddOrUpdateDevice(info);
    EXPECT_EQ(Rows(), c.rows) << c.what;
    EXPECT_EQ(SelectedRow(), c.updatedRow) << c.what;
    Close();
  }
}

TEST_F(DiscoveryTest, UpdateOverwritesEveryCellOfTheLowerOfTwoEqualRows) {
  TFormDiscovery& w = Open();
  TNetWorkInfo first = Camera(ANPR_KORDEX, "00-11-22-33-44-66", "192.168.1.50", "cam-a", "model A", 123);
  first.DHCP = true;
  w.AddOrUpdateDevice(first);
  w.AddOrUpdateDevice(Camera(ANPR_KORDEX, "00:11:22:33:44:77", "192.168.1.51", "cam-b", "model B", 124));
  w.AddOrUpdateDevice(Camera(ANPR_KIVO, "", "192.168.1.52"));
  // Two rows with one MAC address: the lower one is the camera's row.
  w.FDeviceTable.SetCell(1, colMACADDR, "00:11:22:33:44:66");

  w.AddOrUpdateDevice(Camera(ANPR_KORDEX_V2, "00:11:22:33:44:66", "192.168.1.60"));
  ASSERT_EQ(Rows(), 3);
  EXPECT_EQ(SelectedRow(), 1);
  EXPECT_EQ(Cell(0, colIPADDR), "192.168.1.50");
  EXPECT_EQ(Cell(1, colTYP), "KORDEX V2");
  EXPECT_EQ(Cell(1, colSN), "0");
  EXPECT_EQ(Cell(1, colIPADDR), "192.168.1.60");
  EXPECT_EQ(Cell(1, colHOSTNAME), "");
  EXPECT_EQ(Cell(1, colDESCRIPTION), "");

  // And the first camera's row loses its host name, DHCP flag and serial number when a later
  // answer lacks them.
  w.FDeviceTable.SetCell(1, colMACADDR, "00:11:22:33:44:77");
  w.AddOrUpdateDevice(Camera(ANPR_KORDEX, "00:11:22:33:44:66", "192.168.1.50", "", "", -5));
  EXPECT_EQ(SelectedRow(), 0);
  EXPECT_EQ(Cell(0, colHOSTNAME), "");
  EXPECT_EQ(Cell(0, colSN), "-5");
  EXPECT_EQ(Cell(0, colDESCRIPTION), "");
  EXPECT_FALSE(w.FDeviceTable.DHCPCell(0));
}

TEST_F(DiscoveryTest, SelectionFillsFDeviceAndThePanel) {
  TFormDiscovery& w = Shown();
  TNetWorkInfo info = Camera(ANPR_KORDEX, "00-11-22-33-44-55", "10.1.2.3", "gate", "desc", 77);
  info.DHCP = true;
  w.AddOrUpdateDevice(info);
  w.AddOrUpdateDevice(Camera(ANPR_KIVO, "", "10.1.2.4"));
  w.GridDevices->selectRow(0);  // as a user's click
  EXPECT_EQ(w.FDevice.ANPRType, ANPR_KORDEX);
  EXPECT_EQ(w.FDevice.MACAddress, "00:11:22:33:44:55");
  EXPECT_EQ(w.FDevice.HostName, "gate");
  EXPECT_TRUE(w.FDevice.DHCP);
  EXPECT_EQ(w.FDevice.SerialNumber, 0);
  EXPECT_EQ(w.FDevice.Description, "");
  EXPECT_EQ(w.EditMAC->text(), "00:11:22:33:44:55");
  EXPECT_EQ(Texts(w.EditIP), (QStringList{"10", "1", "2", "3"}));
  EXPECT_TRUE(w.chkDHCP->isChecked());
  EXPECT_FALSE(w.FModified);
  EXPECT_FALSE(w.btnSetIP->isEnabled());
  EXPECT_FALSE(w.btnCancelIP->isEnabled());

  w.GridDevices->clearSelection();
  EXPECT_TRUE(w.PanelIPADDR->isHidden());
  EXPECT_FALSE(w.tbnWebConfig->isEnabled());
}

TEST_F(DiscoveryTest, AddressOfThreePartsLeavesTheFourthFieldAsItWas) {
  TFormDiscovery& w = Open();
  w.AddOrUpdateDevice(Camera(ANPR_KORDEX, "00:11:22:33:44:01", "192.168.1.44"));
  TNetWorkInfo odd = Camera(ANPR_KORDEX, "00:11:22:33:44:02", "10.20.30");
  odd.NetMask = "255.x.0.0";
  w.AddOrUpdateDevice(odd);
  EXPECT_EQ(Texts(w.EditIP), (QStringList{"10", "20", "30", "44"}));
  EXPECT_EQ(Texts(w.EditNM), (QStringList{"255", "0", "0", "0"}));  // not a number: "0"
}

TEST_F(DiscoveryTest, OutOfRangeFieldTurnsRedAndBlocksSetIPUntilMended) {
  TFormDiscovery& w = Shown();
  w.AddOrUpdateDevice(Camera(ANPR_KORDEX_V2, "00:11:22:33:44:01", "192.168.1.2"));
  QLineEdit* field = w.EditIP[2];
  field->setFocus();
  field->selectAll();
  QTest::keyClicks(field, "300");
  EXPECT_EQ(field->text(), "300");
  EXPECT_TRUE(w.IsFieldInvalid(field));
  EXPECT_EQ(field->palette().color(QPalette::Base), QColor(Qt::red));
  EXPECT_TRUE(w.EditIP[3]->hasFocus());  // three digits move on to the next field
  EXPECT_TRUE(w.FModified);
  EXPECT_FALSE(w.btnSetIP->isEnabled());
  EXPECT_TRUE(w.btnCancelIP->isEnabled());

  field->setFocus();
  field->selectAll();
  QTest::keyClicks(field, "30");
  EXPECT_FALSE(w.IsFieldInvalid(field));
  EXPECT_NE(field->palette().color(QPalette::Base), QColor(Qt::red));
  EXPECT_TRUE(w.btnSetIP->isEnabled());

  QTest::keyClicks(w.EditIP[0], "x");  // letters cannot be typed
  EXPECT_EQ(w.EditIP[0]->text(), "192");
}

TEST_F(DiscoveryTest, CancelRestoresTheRowsValues) {
  TFormDiscovery& w = Shown();
  w.AddOrUpdateDevice(Camera(ANPR_KORDEX, "00:11:22:33:44:01", "192.168.1.2", "gate"));
  w.EditHostname->setFocus();
  QTest::keyClicks(w.EditHostname, "-x");
  w.EditNM[3]->selectAll();
  QTest::keyClicks(w.EditNM[3], "999");
  QTest::mouseClick(w.chkDHCP, Qt::LeftButton);
  ASSERT_TRUE(w.btnCancelIP->isEnabled());

  QTest::mouseClick(w.btnCancelIP, Qt::LeftButton);
  EXPECT_EQ(w.EditHostname->text(), "gate");
  EXPECT_EQ(Texts(w.EditNM), (QStringList{"255", "255", "255", "0"}));
  EXPECT_FALSE(w.IsFieldInvalid(w.EditNM[3]));
  EXPECT_FALSE(w.chkDHCP->isChecked());
  EXPECT_FALSE(w.FModified);
  EXPECT_FALSE(w.btnSetIP->isEnabled());
  EXPECT_FALSE(w.btnCancelIP->isEnabled());
}

TEST_F(DiscoveryTest, SerialNumbersSortAsNumbersAndCellsFollowTheirColumn) {
  TFormDiscovery& w = Open();
  for (int serial : {100, 9, -3, 25})
    w.AddOrUpdateDevice(Camera(ANPR_KORDEX, QString("00:11:22:33:44:%1").arg(qAbs(serial), 2, 10, QChar('0')),
                               QString("10.0.0.%1").arg(qAbs(serial)), {}, {}, serial));
  QHeaderView* header = w.GridDevices->horizontalHeader();
  header->moveSection(header->visualIndex(colMACADDR), 0);  // the user drags a column
  w.GridDevices->sortByColumn(colSN, Qt::AscendingOrder);
  QStringList order;
  for (int row = 0; row < Rows(); ++row) order << Cell(row, colSN);
  EXPECT_EQ(order, (QStringList{"-3", "9", "25", "100"}));
  // The selection (the last added camera, 25) stays on its camera.
  EXPECT_EQ(Cell(SelectedRow(), colSN), "25");
  // An update still finds the camera by its MAC column wherever that column is shown.
  w.AddOrUpdateDevice(Camera(ANPR_KORDEX, "00:11:22:33:44:09", "10.0.0.99", {}, {}, 9));
  EXPECT_EQ(Rows(), 4);
  EXPECT_EQ(Cell(1, colIPADDR), "10.0.0.99");
}

TEST_F(DiscoveryTest, WideningTheWindowWidensOnlyTheFirstStatusPanel) {
  TFormDiscovery& w = Shown();
  const int first = w.StatusPanels[0]->width();
  w.resize(1200, 640);
  QApplication::processEvents();
  EXPECT_EQ(w.StatusPanels[0]->width(), first + 240);
  EXPECT_EQ(w.StatusPanels[1]->width(), 100);
  EXPECT_EQ(w.StatusPanels[2]->width(), 100);
}

}  // namespace
