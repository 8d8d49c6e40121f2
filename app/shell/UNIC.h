// The PC's own IPv4 interfaces, from which the user picks the address the searches use.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

struct TNetworkInterface final {
  QString ComputerName;
  QString IPAddress;
  QString NetMask;
  QString NetworkAddress;    // address AND netmask
  QString BroadcastAddress;  // as the system reports it; empty when it reports none
  QString SubnetBroadcast;   // (address AND netmask) OR (NOT netmask)
  bool IsUp = false;
  bool BroadcastSupported = false;
  bool IsLoopback = false;
};

using TNetworkInterfaceList = QList<TNetworkInterface>;

// Replaces the list's content with one entry per IPv4 address of every interface but the
// loopback ones, up or down, in the order the system reports them. Gives the count; a
// failed query leaves the list empty.
int ListLocalInterfaces(TNetworkInterfaceList& list);

// The address of the entry that keeps the interface list from ever being empty; no interface
// of the PC has it.
inline constexpr char FixedNICAddress[] = "99.99.99.99";

// Row of the first entry whose text equals the address; the first row when none does;
// -1 for an empty list.
int NICIndexOf(const QStringList& rows, const QString& address);
