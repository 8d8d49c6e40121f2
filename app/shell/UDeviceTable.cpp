#include "shell/UDeviceTable.h"

#include <algorithm>
#include <numeric>

namespace {

const char* const kHeaders[DeviceColumnCount] = {
    "SN", "ANPR type", "Hostname", "DHCP", "IP address", "Netmask", "Gateway", "MAC address",
    "Description"};

}  // namespace

int TDeviceTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : int(FRows.size());
}

int TDeviceTableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : DeviceColumnCount;
}

QVariant TDeviceTableModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const TRow& row = FRows[std::size_t(index.row())];
  if (index.column() == colDHCP) {
    if (role == Qt::CheckStateRole) return row.dhcp ? Qt::Checked : Qt::Unchecked;
    return {};
  }
  if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
    return row.cells[std::size_t(index.column())];
  return {};
}

QVariant TDeviceTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
      section < DeviceColumnCount)
    return QString::fromLatin1(kHeaders[section]);
  return QAbstractTableModel::headerData(section, orientation, role);
}

Qt::ItemFlags TDeviceTableModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

void TDeviceTableModel::sort(int column, Qt::SortOrder order) {
  if (column < 0 || column >= DeviceColumnCount) return;
  auto less = [column](const TRow& a, const TRow& b) {
    if (column == colSN)
      return a.cells[colSN].toLongLong() < b.cells[colSN].toLongLong();
    if (column == colDHCP) return a.dhcp < b.dhcp;
    return QString::compare(a.cells[std::size_t(column)], b.cells[std::size_t(column)],
                            Qt::CaseInsensitive) < 0;
  };
  std::vector<int> perm(FRows.size());
  std::iota(perm.begin(), perm.end(), 0);
  std::stable_sort(perm.begin(), perm.end(), [&](int a, int b) {
    return order == Qt::AscendingOrder ? less(FRows[std::size_t(a)], FRows[std::size_t(b)])
                                       : less(FRows[std::size_t(b)], FRows[std::size_t(a)]);
  });

  emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
  std::vector<TRow> sorted;
  sorted.reserve(FRows.size());
  std::vector<int> newRowOf(FRows.size());
  for (std::size_t i = 0; i < perm.size(); ++i) {
    sorted.push_back(FRows[std::size_t(perm[i])]);
    newRowOf[std::size_t(perm[i])] = int(i);
  }
  FRows = std::move(sorted);
  const QModelIndexList before = persistentIndexList();
  QModelIndexList after;
  after.reserve(before.size());
  for (const QModelIndex& idx : before)
    after.append(index(newRowOf[std::size_t(idx.row())], idx.column()));
  changePersistentIndexList(before, after);
  emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

QString TDeviceTableModel::NormalisedMAC(const QString& mac) {
  QString normal = mac;
  return normal.replace(QLatin1Char('-'), QLatin1Char(':'));
}

int TDeviceTableModel::FindLastRow(TDeviceColumn column, const QString& text) const {
  for (int row = rowCount() - 1; row >= 0; --row)
    if (FRows[std::size_t(row)].cells[column] == text) return row;
  return -1;
}

int TDeviceTableModel::StoreDevice(const TNetWorkInfo& info) {
  const QString mac = NormalisedMAC(info.MACAddress);
  int row;
  if (!mac.isEmpty())
    row = FindLastRow(colMACADDR, mac);
  else if (!info.IPAddress.isEmpty())
    row = FindLastRow(colIPADDR, info.IPAddress);
  else
    return -1;

  if (row < 0) {
    row = rowCount();
    beginInsertRows({}, row, row);
    FRows.emplace_back();
    endInsertRows();
  }
  TRow& r = FRows[std::size_t(row)];
  r.cells[colTYP] = ANPRTypeTexts().value(info.ANPRType);
  r.cells[colSN] = QString::number(info.SerialNumber);
  r.dhcp = info.DHCP;
  r.cells[colIPADDR] = info.IPAddress;
  r.cells[colNETMASK] = info.NetMask;
  r.cells[colGATEWAY] = info.Gateway;
  r.cells[colMACADDR] = mac;
  r.cells[colHOSTNAME] = info.HostName;
  r.cells[colDESCRIPTION] = info.Description;
  emit dataChanged(index(row, 0), index(row, DeviceColumnCount - 1));
  return row;
}

TNetWorkInfo TDeviceTableModel::ReadDevice(int row) const {
  TNetWorkInfo info;
  const TRow& r = FRows.at(std::size_t(row));
  const int family = ANPRTypeFromText(r.cells[colTYP]);
  info.ANPRType = family < 0 ? ANPR_ANY : TANPRType(family);
  info.DHCP = r.dhcp;
  info.IPAddress = r.cells[colIPADDR];
  info.NetMask = r.cells[colNETMASK];
  info.Gateway = r.cells[colGATEWAY];
  info.MACAddress = r.cells[colMACADDR];
  info.HostName = r.cells[colHOSTNAME];
  return info;
}

QString TDeviceTableModel::Cell(int row, TDeviceColumn column) const {
  return FRows.at(std::size_t(row)).cells[column];
}

void TDeviceTableModel::SetCell(int row, TDeviceColumn column, const QString& text) {
  FRows.at(std::size_t(row)).cells[column] = text;
  emit dataChanged(index(row, column), index(row, column));
}

bool TDeviceTableModel::DHCPCell(int row) const { return FRows.at(std::size_t(row)).dhcp; }

void TDeviceTableModel::Clear() {
  beginResetModel();
  FRows.clear();
  endResetModel();
}

int TDeviceTableModel::DefaultWidth(TDeviceColumn column) {
  switch (column) {
    case colSN: return 90;
    case colHOSTNAME: return 150;
    case colDHCP: return 50;
    case colIPADDR:
    case colNETMASK:
    case colGATEWAY: return 90;
    case colMACADDR: return 140;
    case colDESCRIPTION: return 300;
    default: return 0;
  }
}

bool TDeviceTableModel::ShownAtStart(TDeviceColumn column) {
  return column != colDHCP && column != colNETMASK && column != colGATEWAY;
}
