#include "shell/UDiscovery.h"

#include "UVersion.h"
#include "shell/UAbout.h"
#include "shell/UControlRules.h"
#include "shell/USettingsFile.h"
#include "shell/UToolIcons.h"
#include "shell/UUserInterface.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QHelpEvent>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSplitter>
#include <QStatusBar>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QTableView>
#include <QToolBar>
#include <QToolButton>
#include <QToolTip>
#include <QVBoxLayout>

#include <exception>

namespace {

// Cells of the device table: a 13-pixel font where the table asks for one, and the full text
// as a hint only when the cell cannot show it whole.
class TDeviceGridDelegate final : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    if (index.column() != colTYP && index.column() != colDESCRIPTION)
      option->font.setPixelSize(13);
  }

  bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                 const QModelIndex& index) override {
    if (event->type() != QEvent::ToolTip) return QStyledItemDelegate::helpEvent(event, view, option, index);
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QString text = index.data(Qt::ToolTipRole).toString();
    const int room = view->visualRect(index).width() - 8;
    if (!text.isEmpty() && QFontMetrics(opt.font).horizontalAdvance(text) > room)
      QToolTip::showText(event->globalPos(), text, view);
    else
      QToolTip::hideText();
    return true;
  }
};

QLabel* LinkLabel(QWidget* parent) {
  auto* label = new QLabel(QStringLiteral("<a href=\"#\">Click here to open in browser</a>"), parent);
  label->setTextInteractionFlags(Qt::LinksAccessibleByMouse);
  return label;
}

QWidget* Panel(const char* name, QWidget* parent) {
  auto* panel = new QWidget(parent);
  panel->setObjectName(QLatin1String(name));
  return panel;
}

}  // namespace

TFormDiscovery::TFormDiscovery(TUserInterface& ui, const QString& settingsPath,
                               const QString& executableFolder, QWidget* parent)
    : QMainWindow(parent), FUI(ui), FSettingsPath(settingsPath), FExecutableFolder(executableFolder) {
  setObjectName(QStringLiteral("FormDiscovery"));
  resize(960, 640);
  CreateMenu();
  addToolBar(Qt::TopToolBarArea, qobject_cast<QToolBar*>(CreateTopBar()));
  CreateGrid();

  PageControl = new QTabWidget(this);
  PageControl->setObjectName(QStringLiteral("PageControl"));
  PageControl->setStyleSheet(QStringLiteral("QTabBar::tab { width: 120px; height: 30px; }"));
  PageControl->addTab(CreateIPTab(), QStringLiteral("IP"));
  PageControl->addTab(CreateUpdateTab(), QStringLiteral("UPDATE"));
  PageControl->setCurrentWidget(tsIPADDR);
  PageControl->setFixedWidth(320);

  auto* splitter = new QSplitter(Qt::Horizontal, this);
  splitter->setHandleWidth(10);
  splitter->addWidget(GridDevices);
  splitter->addWidget(PageControl);
  splitter->setStretchFactor(0, 1);
  splitter->setStretchFactor(1, 0);
  splitter->setChildrenCollapsible(false);
  setCentralWidget(splitter);

  statusBar()->setSizeGripEnabled(false);
  for (std::size_t i = 0; i < StatusPanels.size(); ++i) {
    StatusPanels[i] = new QLabel(this);
    StatusPanels[i]->setFrameShape(QFrame::Panel);
    StatusPanels[i]->setFrameShadow(QFrame::Sunken);
    StatusPanels[i]->setFixedWidth(100);
    statusBar()->addWidget(StatusPanels[i]);
  }

  FormCreate();
}

void TFormDiscovery::CreateMenu() {
  QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
  mnuExit = file->addAction(QStringLiteral("E&xit"), this, &TFormDiscovery::mnuExitClick);

  QMenu* device = menuBar()->addMenu(QStringLiteral("&Device"));
  mnuDiscover = device->addAction(QStringLiteral("&Search devices"));
  mnuDiscover->setShortcut(QKeySequence(Qt::Key_F5));
  mnuAddDevice = device->addAction(QStringLiteral("&Add device manually"));
  device->addSeparator();
  mnuWebConfig = device->addAction(QStringLiteral("&Open in browser"));

  QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
  mnuAbout = help->addAction(QStringLiteral("&About ..."), this, &TFormDiscovery::mnuAboutClick);
}

QWidget* TFormDiscovery::CreateTopBar() {
  auto* bar = new QToolBar(this);
  bar->setObjectName(QStringLiteral("ToolBar1"));
  bar->setMovable(false);
  bar->setFloatable(false);
  bar->setIconSize(QSize(64, 32));

  auto tool = [bar](const char* name, const QString& hint, const QIcon& icon) {
    auto* button = new QToolButton(bar);
    button->setObjectName(QLatin1String(name));
    button->setToolTip(hint);
    button->setIcon(icon);
    button->setIconSize(QSize(64, 32));
    button->setFixedSize(71, 38);
    button->setAutoRaise(true);
    bar->addWidget(button);
    return button;
  };
  tbnDiscover = tool("tbnDiscover", QStringLiteral("Search devices"), DiscoverIcon());
  tbnAdd = tool("tbnAdd", QStringLiteral("Add device manually"), AddDeviceIcon());
  bar->addSeparator();
  tbnWebConfig = tool("tbnWebConfig", QStringLiteral("Open in browser"), WebConfigIcon());
  bar->addSeparator();

  auto* lists = new QWidget(bar);
  auto* grid = new QGridLayout(lists);
  grid->setContentsMargins(8, 0, 8, 0);
  grid->setVerticalSpacing(1);
  grid->setHorizontalSpacing(12);
  EditANPRList = new QComboBox(lists);
  EditANPRList->setObjectName(QStringLiteral("EditANPRList"));
  EditANPRList->setFixedWidth(150);
  EditNICList = new QComboBox(lists);
  EditNICList->setObjectName(QStringLiteral("EditNICList"));
  EditNICList->setFixedWidth(150);
  grid->addWidget(new QLabel(QStringLiteral("ANPR type:"), lists), 0, 0);
  grid->addWidget(EditANPRList, 1, 0);
  grid->addWidget(new QLabel(QStringLiteral("Network:"), lists), 0, 1);
  grid->addWidget(EditNICList, 1, 1);
  bar->addWidget(lists);

  connect(EditANPRList, &QComboBox::activated, this, &TFormDiscovery::EditANPRListChange);
  connect(EditNICList, &QComboBox::activated, this, &TFormDiscovery::EditNICListChange);
  return bar;
}

void TFormDiscovery::CreateGrid() {
  GridDevices = new QTableView(this);
  GridDevices->setObjectName(QStringLiteral("GridDevices"));
  GridDevices->setModel(&FDeviceTable);
  GridDevices->setItemDelegate(new TDeviceGridDelegate(GridDevices));
  GridDevices->setSelectionBehavior(QAbstractItemView::SelectRows);
  GridDevices->setSelectionMode(QAbstractItemView::SingleSelection);
  GridDevices->setEditTriggers(QAbstractItemView::NoEditTriggers);
  GridDevices->setShowGrid(false);
  GridDevices->setWordWrap(false);
  GridDevices->setStyleSheet(QStringLiteral(
      "QTableView { selection-background-color: rgba(0, 120, 215, 80); selection-color: black; }"));
  GridDevices->verticalHeader()->hide();
  GridDevices->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  GridDevices->verticalHeader()->setDefaultSectionSize(25);
  QHeaderView* header = GridDevices->horizontalHeader();
  header->setFixedHeight(25);
  header->setSectionsMovable(true);
  header->setHighlightSections(false);
  header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  for (int c = 0; c < DeviceColumnCount; ++c) {
    const auto column = TDeviceColumn(c);
    if (const int width = TDeviceTableModel::DefaultWidth(column)) GridDevices->setColumnWidth(c, width);
    GridDevices->setColumnHidden(c, !TDeviceTableModel::ShownAtStart(column));
  }
  header->setSortIndicator(colSN, Qt::AscendingOrder);
  GridDevices->setSortingEnabled(true);
  connect(GridDevices->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          &TFormDiscovery::OnGridSelectionChanged);
}

QLineEdit* TFormDiscovery::CreateAddressField(QWidget* parent) {
  auto* field = new QLineEdit(QStringLiteral("0"), parent);
  // Typing is limited to three digits; a longer text set by the program stays visible, in red.
  field->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,3}")), field));
  field->setAlignment(Qt::AlignCenter);
  field->setFixedWidth(40);
  connect(field, &QLineEdit::textChanged, this, [this, field] {
    if (!FFilling) OnInputChanged();
    OnValueValidate(field);
  });
  connect(field, &QLineEdit::textEdited, this, [this, field](const QString& text) {
    if (text.size() < 3) return;
    const QList<QLineEdit*> fields = AddressFields();
    const qsizetype at = fields.indexOf(field);
    if (at >= 0 && at + 1 < fields.size()) fields[at + 1]->setFocus();
  });
  return field;
}

QWidget* TFormDiscovery::CreateIPTab() {
  tsIPADDR = new QWidget(this);
  tsIPADDR->setObjectName(QStringLiteral("tsIPADDR"));
  auto* page = new QVBoxLayout(tsIPADDR);

  PanelIPADDRKIVO = Panel("PanelIPADDRKIVO", tsIPADDR);
  auto* kivo = new QVBoxLayout(PanelIPADDRKIVO);
  kivo->addWidget(new QLabel(QStringLiteral("Setup IP-address:"), PanelIPADDRKIVO));
  kivo->addWidget(LinkLabel(PanelIPADDRKIVO));
  page->addWidget(PanelIPADDRKIVO);

  PanelIPADDR = Panel("PanelIPADDR", tsIPADDR);
  auto* grid = new QGridLayout(PanelIPADDR);
  grid->setContentsMargins(0, 0, 0, 0);
  grid->setHorizontalSpacing(2);
  int row = 0;
  EditHostname = new QLineEdit(PanelIPADDR);
  EditHostname->setObjectName(QStringLiteral("EditHostname"));
  EditHostname->setPlaceholderText(QString::fromUtf8("\u00AB hostname \u00BB"));
  grid->addWidget(new QLabel(QStringLiteral("Hostname:"), PanelIPADDR), row, 0);
  grid->addWidget(EditHostname, row++, 1, 1, 7);
  connect(EditHostname, &QLineEdit::textChanged, this, [this] {
    if (!FFilling) OnInputChanged();
  });

  EditMAC = new QLineEdit(PanelIPADDR);
  EditMAC->setObjectName(QStringLiteral("EditMAC"));
  EditMAC->setEnabled(false);
  EditMAC->setStyleSheet(QStringLiteral("QLineEdit { background: #d8d8d8; }"));
  grid->addWidget(new QLabel(QStringLiteral("MAC address:"), PanelIPADDR), row, 0);
  grid->addWidget(EditMAC, row++, 1, 1, 7);

  chkDHCP = new QCheckBox(QStringLiteral("Enable DHCP"), PanelIPADDR);
  chkDHCP->setObjectName(QStringLiteral("chkDHCP"));
  chkDHCP->setChecked(true);
  grid->addWidget(chkDHCP, row++, 1, 1, 7);
  connect(chkDHCP, &QCheckBox::clicked, this, [this] { OnInputChanged(); });

  auto addressRow = [&](const char* caption, std::array<QLineEdit*, 4>& fields, const char* name) {
    grid->addWidget(new QLabel(QLatin1String(caption), PanelIPADDR), row, 0);
    for (int i = 0; i < 4; ++i) {
      if (i > 0) grid->addWidget(new QLabel(QStringLiteral("."), PanelIPADDR), row, 2 * i);
      fields[std::size_t(i)] = CreateAddressField(PanelIPADDR);
      fields[std::size_t(i)]->setObjectName(QStringLiteral("%1%2").arg(QLatin1String(name)).arg(i + 1));
      grid->addWidget(fields[std::size_t(i)], row, 2 * i + 1);
    }
    ++row;
  };
  addressRow("IP address:", EditIP, "EditIP");
  addressRow("Netmask:", EditNM, "EditNM");
  addressRow("Gateway:", EditGW, "EditGW");

  btnSetIP = new QPushButton(QStringLiteral("Set IP"), PanelIPADDR);
  btnSetIP->setObjectName(QStringLiteral("btnSetIP"));
  btnCancelIP = new QPushButton(QStringLiteral("Cancel"), PanelIPADDR);
  btnCancelIP->setObjectName(QStringLiteral("btnCancelIP"));
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(btnSetIP);
  buttons->addWidget(btnCancelIP);
  grid->addLayout(buttons, row++, 0, 1, 8);
  grid->setColumnStretch(8, 1);
  grid->setColumnMinimumWidth(0, grid->itemAtPosition(1, 0)->widget()->sizeHint().width() + 6);
  connect(btnCancelIP, &QPushButton::clicked, this, &TFormDiscovery::btnCancelIPClick);

  page->addWidget(PanelIPADDR);
  page->addStretch();
  return tsIPADDR;
}

QWidget* TFormDiscovery::CreateUpdateTab() {
  tsUPDATE = new QWidget(this);
  tsUPDATE->setObjectName(QStringLiteral("tsUPDATE"));
  auto* page = new QVBoxLayout(tsUPDATE);
  const QString noFile = QString::fromUtf8("\u00AB no file selected \u00BB");

  PanelUpdateV1 = Panel("PanelUpdateV1", tsUPDATE);
  auto* v1 = new QVBoxLayout(PanelUpdateV1);
  v1->addWidget(new QLabel(QStringLiteral("Update firmware / recognition library:"), PanelUpdateV1));
  v1->addWidget(LinkLabel(PanelUpdateV1));
  page->addWidget(PanelUpdateV1);

  auto fileRow = [&](QWidget* panel, QGridLayout* grid, int row, const char* caption, QLabel*& label,
                     QLineEdit*& edit, const char* editName, QPushButton*& browse, const char* browseName) {
    label = new QLabel(QLatin1String(caption), panel);
    edit = new QLineEdit(panel);
    edit->setObjectName(QLatin1String(editName));
    edit->setReadOnly(true);
    edit->setPlaceholderText(noFile);
    edit->installEventFilter(this);
    browse = new QPushButton(QStringLiteral("..."), panel);
    browse->setObjectName(QLatin1String(browseName));
    browse->setToolTip(QStringLiteral("Click to select file"));
    browse->setFixedWidth(32);
    grid->addWidget(label, row, 0);
    grid->addWidget(edit, row, 1);
    grid->addWidget(browse, row, 2);
  };

  PanelUpdateV2 = Panel("PanelUpdateV2", tsUPDATE);
  auto* v2 = new QGridLayout(PanelUpdateV2);
  fileRow(PanelUpdateV2, v2, 0, "File:", lblFileV2, EditUpdateV2, "EditUpdateV2", btnBrowseV2, "btnBrowseV2");
  btnUpdateV2 = new QPushButton(QStringLiteral("Update OS"), PanelUpdateV2);
  btnUpdateV2->setObjectName(QStringLiteral("btnUpdateV2"));
  v2->addWidget(btnUpdateV2, 1, 1, 1, 2, Qt::AlignRight);
  page->addWidget(PanelUpdateV2);

  PanelUpdateKIVO = Panel("PanelUpdateKIVO", tsUPDATE);
  auto* kivo = new QGridLayout(PanelUpdateKIVO);
  fileRow(PanelUpdateKIVO, kivo, 0, "Update file:", lblFileKIVO, EditUpdateKIVO, "EditUpdateKIVO",
          btnBrowseKIVO, "btnBrowseKIVO");
  EditUser = new QLineEdit(PanelUpdateKIVO);
  EditUser->setObjectName(QStringLiteral("EditUser"));
  EditUser->setPlaceholderText(QString::fromUtf8("\u00AB user \u00BB"));
  EditPassword = new QLineEdit(PanelUpdateKIVO);
  EditPassword->setObjectName(QStringLiteral("EditPassword"));
  EditPassword->setPlaceholderText(QString::fromUtf8("\u00AB password \u00BB"));
  EditPassword->setEchoMode(QLineEdit::Password);
  EditPassword->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));
  kivo->addWidget(new QLabel(QStringLiteral("User:"), PanelUpdateKIVO), 1, 0);
  kivo->addWidget(EditUser, 1, 1, 1, 2);
  kivo->addWidget(new QLabel(QStringLiteral("Password:"), PanelUpdateKIVO), 2, 0);
  kivo->addWidget(EditPassword, 2, 1, 1, 2);
  btnUpdateKIVO = new QPushButton(QStringLiteral("Update KIVO"), PanelUpdateKIVO);
  btnUpdateKIVO->setObjectName(QStringLiteral("btnUpdateKIVO"));
  kivo->addWidget(btnUpdateKIVO, 3, 1, 1, 2, Qt::AlignRight);
  page->addWidget(PanelUpdateKIVO);

  page->addStretch();
  return tsUPDATE;
}

QList<QLineEdit*> TFormDiscovery::AddressFields() const {
  QList<QLineEdit*> fields;
  for (const auto* group : {&EditIP, &EditNM, &EditGW})
    for (QLineEdit* f : *group) fields.append(f);
  return fields;
}

// ---- Start-up, settings and close -------------------------------------------------------

void TFormDiscovery::FormCreate() {
  setWindowTitle(QLatin1String(ApplicationTitle) + QStringLiteral(" v") +
                 QLatin1String(VersionInfo::ProductVersion));
  FNetworkIF.clear();
  FUpdateFileV2.clear();
  FUpdateFileKIVO.clear();
  FModified = false;
  FillANPRTypeList();
  FillNICList();
  FPuttyInfo.ToolFolder = DefaultToolFolder(FExecutableFolder);
  // Each step is guarded on its own, so a settings file that cannot be read still leaves a
  // family and an interface chosen.
  auto guarded = [this](auto step) {
    try {
      step();
    } catch (const std::exception& e) {
      FUI.ShowError(QString::fromLocal8Bit(e.what()));
    }
  };
  guarded([this] { LoadSettings(FSettingsPath); });
  guarded([this] { SelectANPRType(FANPRType); });
  guarded([this] { SelectNIC(FNetworkIF); });
  UpdateControls();
}

void TFormDiscovery::LoadSettings(const QString& path) {
  TStoredSettings stored;
  stored.NetworkIF = FNetworkIF;
  stored.PuttyPath = FPuttyInfo.ToolFolder;
  stored.UpdateFileV2 = FUpdateFileV2;
  stored.UpdateFileKIVO = FUpdateFileKIVO;
  stored.Load(path);
  FANPRType = stored.ANPRType;
  FNetworkIF = stored.NetworkIF;
  FPuttyInfo.ToolFolder = stored.PuttyPath;
  FUpdateFileV2 = stored.UpdateFileV2;
  FUpdateFileKIVO = stored.UpdateFileKIVO;
  EditUser->setText(stored.UserName);
  EditPassword->setText(stored.Password);
}

void TFormDiscovery::SaveSettings(const QString& path) {
  TStoredSettings stored;
  stored.ANPRType = FANPRType;
  stored.NetworkIF = FNetworkIF;
  stored.PuttyPath = FPuttyInfo.ToolFolder;
  stored.UpdateFileV2 = FUpdateFileV2;
  stored.UpdateFileKIVO = FUpdateFileKIVO;
  stored.UserName = EditUser->text();
  stored.Password = EditPassword->text();
  stored.Save(path);
}

void TFormDiscovery::closeEvent(QCloseEvent* event) {
  try {
    SaveSettings(FSettingsPath);
  } catch (...) {
    // Settings that cannot be written must not keep the program from ending.
  }
  event->accept();
}

void TFormDiscovery::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  FormResize();
}

void TFormDiscovery::FormResize() {
  const int rest = StatusPanels[1]->width() + StatusPanels[2]->width();
  StatusPanels[0]->setFixedWidth(std::max(0, statusBar()->width() - rest));
}

void TFormDiscovery::FillANPRTypeList() {
  EditANPRList->clear();
  EditANPRList->addItems(ANPRTypeTexts());
}

void TFormDiscovery::SelectANPRType(std::int32_t value) {
  FANPRType = ANPRTypeFromStored(value);
  EditANPRList->setCurrentIndex(FANPRType < EditANPRList->count() ? FANPRType : -1);
}

void TFormDiscovery::EditANPRListChange(int index) { SelectANPRType(index); }

void TFormDiscovery::mnuExitClick() { close(); }

void TFormDiscovery::mnuAboutClick() {
  if (FAboutForm != nullptr) FAboutForm->exec();
}

// ---- Interface choice ---------------------------------------------------------------------

void TFormDiscovery::FillNICList() {
  EditNICList->clear();
  const int n = ListLocalInterfaces(FInterfaces);
  TNetworkInterface fixed;
  fixed.IPAddress = QLatin1String(FixedNICAddress);
  FInterfaces.append(fixed);
  for (int i = 0; i <= n; ++i) EditNICList->addItem(FInterfaces[i].IPAddress);
}

void TFormDiscovery::SelectNIC(const QString& address) {
  QStringList rows;
  for (int i = 0; i < EditNICList->count(); ++i) rows.append(EditNICList->itemText(i));
  FNICIndex = NICIndexOf(rows, address);
  EditNICList->setCurrentIndex(FNICIndex);
  if (FNICIndex >= 0) FNetworkIF = FInterfaces[FNICIndex].IPAddress;
}

void TFormDiscovery::EditNICListChange(int index) {
  FNetworkIF = EditNICList->itemText(index);
  SelectNIC(FNetworkIF);
}

// ---- Controls -----------------------------------------------------------------------------

bool TFormDiscovery::IsFieldInvalid(const QLineEdit* field) const {
  return field->property("invalid").toBool();
}

void TFormDiscovery::SetFieldInvalid(QLineEdit* field, bool invalid) {
  if (IsFieldInvalid(field) == invalid) return;
  field->setProperty("invalid", invalid);
  QPalette palette = field->style()->standardPalette();
  if (invalid) {
    palette.setColor(QPalette::Base, Qt::red);
    palette.setColor(QPalette::Text, Qt::white);
  }
  field->setPalette(palette);
}

void TFormDiscovery::UpdateControls() {
  TControlInputs in;
  in.One = GridDevices->selectionModel()->selectedRows().size() == 1;
  in.Family = FDevice.ANPRType;
  in.HasMAC = !FDevice.MACAddress.isEmpty();
  in.DHCP = chkDHCP->isChecked();
  for (const QLineEdit* field : AddressFields()) in.Invalid = in.Invalid || IsFieldInvalid(field);
  in.Modified = FModified;
  in.UpdateFileV2Exists = !FUpdateFileV2.isEmpty() && QFileInfo(FUpdateFileV2).isFile();
  in.UpdateFileKIVOExists = !FUpdateFileKIVO.isEmpty() && QFileInfo(FUpdateFileKIVO).isFile();
  const TControlStates s = ComputeControlStates(in);

  tbnWebConfig->setEnabled(s.WebConfigEnabled);
  mnuWebConfig->setEnabled(s.WebConfigEnabled);
  PanelIPADDR->setVisible(s.PanelIPADDRVisible);
  PanelIPADDRKIVO->setVisible(s.PanelIPADDRKIVOVisible);
  chkDHCP->setEnabled(s.DHCPEnabled);
  EditHostname->setEnabled(s.HostnameEnabled);
  EditMAC->setEnabled(s.MACEnabled);
  for (QLineEdit* field : AddressFields()) field->setEnabled(s.AddressFieldsEnabled);
  btnSetIP->setEnabled(s.SetIPEnabled);
  btnCancelIP->setEnabled(s.CancelIPEnabled);
  PanelUpdateV1->setVisible(s.PanelUpdateV1Visible);
  PanelUpdateV2->setVisible(s.PanelUpdateV2Visible);
  btnUpdateV2->setEnabled(s.UpdateV2Enabled);
  PanelUpdateKIVO->setVisible(s.PanelUpdateKIVOVisible);
  btnUpdateKIVO->setEnabled(s.UpdateKIVOEnabled);
  ShowUpdateFiles();
}

void TFormDiscovery::ShowUpdateFiles() {
  EditUpdateV2->setText(ShortenPath(FUpdateFileV2, lblFileV2->font(), EditUpdateV2->width() - 6));
  EditUpdateKIVO->setText(ShortenPath(FUpdateFileKIVO, lblFileKIVO->font(), EditUpdateKIVO->width() - 6));
}

bool TFormDiscovery::eventFilter(QObject* watched, QEvent* event) {
  // The fields get their real width only once their panel is laid out.
  if (event->type() == QEvent::Resize && (watched == EditUpdateV2 || watched == EditUpdateKIVO))
    ShowUpdateFiles();
  return QMainWindow::eventFilter(watched, event);
}

QString TFormDiscovery::ShortenPath(const QString& path, const QFont& font, int maximum) {
  const QFontMetrics metrics(font);
  return ::ShortenPath(path, [&metrics](const QString& text) { return metrics.horizontalAdvance(text); },
                       maximum);
}

// ---- Device table and settings panel ------------------------------------------------------

void TFormDiscovery::AddOrUpdateDevice(const TNetWorkInfo& info) {
  const TNetWorkInfo copy = info;  // the caller's record may be FDevice, refilled below
  const int row = FDeviceTable.StoreDevice(copy);
  if (row < 0) return;
  FSelecting = true;
  GridDevices->selectionModel()->setCurrentIndex(
      FDeviceTable.index(row, colSN), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  FSelecting = false;
  GridDevicesSelectCell(colSN, row);
  UpdateControls();
}

void TFormDiscovery::OnGridSelectionChanged() {
  if (FSelecting) return;
  const QModelIndexList rows = GridDevices->selectionModel()->selectedRows();
  if (rows.size() == 1)
    GridDevicesSelectCell(GridDevices->currentIndex().column(), rows.first().row());
  else
    GridDevicesSelectCell(-1, -1);
}

void TFormDiscovery::GridDevicesSelectCell(int /*column*/, int row) {
  if (row >= 0 && row < FDeviceTable.rowCount()) {
    FDevice = FDeviceTable.ReadDevice(row);
    ShowDeviceSettings(FDevice);
  }
  UpdateControls();
}

void TFormDiscovery::ShowDeviceSettings(const TNetWorkInfo& info) {
  const TNetWorkInfo copy = info;
  FModified = false;
  FFilling = true;
  chkDHCP->setChecked(copy.DHCP);
  EditHostname->setText(copy.HostName);
  EditMAC->setText(copy.MACAddress);
  auto fill = [](const QString& address, const std::array<QLineEdit*, 4>& fields) {
    if (address.isEmpty()) return;  // no parts: every field keeps its text
    const QStringList parts = address.split(QLatin1Char('.'));
    for (qsizetype i = 0; i < parts.size() && i < 4; ++i)
      fields[std::size_t(i)]->setText(AddressFieldText(parts[i]));
  };
  fill(copy.IPAddress, EditIP);
  fill(copy.NetMask, EditNM);
  fill(copy.Gateway, EditGW);
  FFilling = false;
  UpdateControls();
}

void TFormDiscovery::OnInputChanged() {
  FModified = true;
  UpdateControls();
}

void TFormDiscovery::OnValueValidate(QLineEdit* field) {
  SetFieldInvalid(field, !IsValidAddressPart(field->text()));
  UpdateControls();
}

void TFormDiscovery::btnCancelIPClick() { ShowDeviceSettings(FDevice); }
