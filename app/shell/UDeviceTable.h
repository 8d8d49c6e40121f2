// The device table: one row per camera and the program's only store of cameras.
#pragma once

#include "shell/UTypes.h"

#include <QAbstractTableModel>
#include <array>
#include <vector>

// Columns by their identity; the user may drag them into another display order, so cells
// are always addressed by these and never by display position.
enum TDeviceColumn : int {
  colSN = 0,
  colTYP,
  colHOSTNAME,
  colDHCP,
  colIPADDR,
  colNETMASK,
  colGATEWAY,
  colMACADDR,
  colDESCRIPTION,
  DeviceColumnCount
};

class TDeviceTableModel final : public QAbstractTableModel {
  Q_OBJECT
 public:
  using QAbstractTableModel::QAbstractTableModel;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  // SN sorts by number, DHCP by state, the others alphabetically; equal rows keep their order.
  void sort(int column, Qt::SortOrder order) override;

  // Stores a camera: the row whose MAC address equals the record's (or, for a record without
  // one, whose IP address does), the one nearest the end when several match, else a new row at
  // the end. Every cell is overwritten. Gives the row, or -1 for a record with neither
  // address, which changes nothing.
  int StoreDevice(const TNetWorkInfo& info);
  // The camera of a row as the selection reads it back: no serial number, no description.
  TNetWorkInfo ReadDevice(int row) const;

  QString Cell(int row, TDeviceColumn column) const;
  void SetCell(int row, TDeviceColumn column, const QString& text);
  bool DHCPCell(int row) const;
  void Clear();

  static QString NormalisedMAC(const QString& mac);
  static int DefaultWidth(TDeviceColumn column);  // 0: the table's default
  static bool ShownAtStart(TDeviceColumn column);

 private:
  struct TRow {
    std::array<QString, DeviceColumnCount> cells;
    bool dhcp = false;
  };
  int FindLastRow(TDeviceColumn column, const QString& text) const;

  std::vector<TRow> FRows;
};
