// The main window: the device table, the settings panel, the update tab and the state that
// every command shares.
#pragma once

#include "kivo/UPutty.h"
#include "shell/UDeviceTable.h"
#include "shell/UNIC.h"
#include "shell/UTypes.h"

#include <QMainWindow>
#include <QList>
#include <array>
#include <cstdint>

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QTableView;
class QToolButton;
class QWidget;
class TFormAbout;
class TUserInterface;

class TFormDiscovery final : public QMainWindow {
  Q_OBJECT
 public:
  // Builds the window and runs its start-up: fills the two lists, reads the settings file
  // at the path and recomputes the controls. The tool folder defaults to the executable's.
  TFormDiscovery(TUserInterface& ui, const QString& settingsPath, const QString& executableFolder,
                 QWidget* parent = nullptr);

  // The about box, created after the main window.
  void SetAboutForm(TFormAbout* about) { FAboutForm = about; }

  void LoadSettings(const QString& path);
  void SaveSettings(const QString& path);
  void FillANPRTypeList();
  void SelectANPRType(std::int32_t value);
  void FillNICList();
  void SelectNIC(const QString& address);
  void UpdateControls();
  static QString ShortenPath(const QString& path, const QFont& font, int maximum);

  void AddOrUpdateDevice(const TNetWorkInfo& info);
  void GridDevicesSelectCell(int column, int row);
  void ShowDeviceSettings(const TNetWorkInfo& info);
  void OnInputChanged();
  void OnValueValidate(QLineEdit* field);
  void btnCancelIPClick();
  void EditANPRListChange(int index);
  void EditNICListChange(int index);
  void mnuExitClick();
  void mnuAboutClick();

  // Shared window state.
  std::int32_t FANPRType = ANPR_ANY;
  QString FNetworkIF;
  TNetworkInterfaceList FInterfaces;
  int FNICIndex = 0;
  QString FUpdateFileV2;
  QString FUpdateFileKIVO;
  TNetWorkInfo FDevice;
  bool FModified = false;
  TPuttyInfo FPuttyInfo;
  TDeviceTableModel FDeviceTable;

  // Controls, named as the commands address them.
  QAction* mnuExit = nullptr;
  QAction* mnuDiscover = nullptr;
  QAction* mnuAddDevice = nullptr;
  QAction* mnuWebConfig = nullptr;
  QAction* mnuAbout = nullptr;
  QToolButton* tbnDiscover = nullptr;
  QToolButton* tbnAdd = nullptr;
  QToolButton* tbnWebConfig = nullptr;
  QComboBox* EditANPRList = nullptr;
  QComboBox* EditNICList = nullptr;
  QTableView* GridDevices = nullptr;
  QTabWidget* PageControl = nullptr;
  QWidget* tsIPADDR = nullptr;
  QWidget* tsUPDATE = nullptr;
  QWidget* PanelIPADDRKIVO = nullptr;
  QWidget* PanelIPADDR = nullptr;
  QLineEdit* EditHostname = nullptr;
  QLineEdit* EditMAC = nullptr;
  QCheckBox* chkDHCP = nullptr;
  std::array<QLineEdit*, 4> EditIP{};
  std::array<QLineEdit*, 4> EditNM{};
  std::array<QLineEdit*, 4> EditGW{};
  QPushButton* btnSetIP = nullptr;
  QPushButton* btnCancelIP = nullptr;
  QWidget* PanelUpdateV1 = nullptr;
  QWidget* PanelUpdateV2 = nullptr;
  QLabel* lblFileV2 = nullptr;
  QLineEdit* EditUpdateV2 = nullptr;
  QPushButton* btnBrowseV2 = nullptr;
  QPushButton* btnUpdateV2 = nullptr;
  QWidget* PanelUpdateKIVO = nullptr;
  QLabel* lblFileKIVO = nullptr;
  QLineEdit* EditUpdateKIVO = nullptr;
  QPushButton* btnBrowseKIVO = nullptr;
  QLineEdit* EditUser = nullptr;
  QLineEdit* EditPassword = nullptr;
  QPushButton* btnUpdateKIVO = nullptr;
  std::array<QLabel*, 3> StatusPanels{};

  // The twelve address fields in tab order: IP, netmask, gateway.
  QList<QLineEdit*> AddressFields() const;
  bool IsFieldInvalid(const QLineEdit* field) const;

 protected:
  void closeEvent(QCloseEvent* event) override;    // FormClose
  void resizeEvent(QResizeEvent* event) override;  // FormResize
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void CreateMenu();
  QWidget* CreateTopBar();
  void CreateGrid();
  QWidget* CreateIPTab();
  QWidget* CreateUpdateTab();
  QLineEdit* CreateAddressField(QWidget* parent);
  void SetFieldInvalid(QLineEdit* field, bool invalid);
  void ShowUpdateFiles();
  void OnGridSelectionChanged();
  void FormCreate();
  void FormResize();

  TUserInterface& FUI;
  TFormAbout* FAboutForm = nullptr;
  QString FSettingsPath;
  QString FExecutableFolder;
  bool FFilling = false;    // the panel is being filled, not edited
  bool FSelecting = false;  // a row is being selected by the program
};
