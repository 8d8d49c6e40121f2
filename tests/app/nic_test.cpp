// Runs each case in a network namespace of its own, where the adapters below are the PC's.
#include "AppTestSupport.h"

#include <QComboBox>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>

namespace {

void Run(const std::string& command) {
  ASSERT_EQ(std::system((command + " >/dev/null").c_str()), 0) << command;
}

// An adapter with one address: one end of a veth pair of its own, so adapters added one after
// the other are reported in that order.
void AddAdapter(const std::string& name, const std::string& address, bool up = false) {
  Run("ip link add " + name + " type veth peer name " + name + "p");
  Run("ip addr add " + address + " brd + dev " + name);
  if (up) Run("ip link set " + name + " up");
}

QStringList Addresses(const TNetworkInterfaceList& list) {
  QStringList out;
  for (const auto& nic : list) out << nic.IPAddress;
  return out;
}

QStringList Rows(const QComboBox* list) {
  QStringList out;
  for (int i = 0; i < list->count(); ++i) out << list->itemText(i);
  return out;
}

class NICTest : public ::testing::Test, public TWindowFixture {};

TEST_F(NICTest, ListsEveryIPv4AdapterButLoopbackInSystemOrder) {
  AddAdapter("nt0", "192.168.1.10/24", true);
  AddAdapter("nt1", "10.0.0.2/8");
  TNetworkInterfaceList list;
  EXPECT_EQ(ListLocalInterfaces(list), 2);
  ASSERT_EQ(Addresses(list), (QStringList{"192.168.1.10", "10.0.0.2"}));
  const TNetworkInterface& up = list[0];
  EXPECT_EQ(up.NetMask, "255.255.255.0");
  EXPECT_EQ(up.NetworkAddress, "192.168.1.0");
  EXPECT_EQ(up.SubnetBroadcast, "192.168.1.255");
  EXPECT_EQ(up.BroadcastAddress, "192.168.1.255");
  EXPECT_TRUE(up.IsUp);
  EXPECT_TRUE(up.BroadcastSupported);
  EXPECT_FALSE(up.IsLoopback);
  EXPECT_FALSE(list[1].IsUp);  // down adapters are listed too
  EXPECT_EQ(list[1].SubnetBroadcast, "10.255.255.255");

  TFormDiscovery& w = Open();
  EXPECT_EQ(Rows(w.EditNICList), (QStringList{"192.168.1.10", "10.0.0.2", "99.99.99.99"}));
  EXPECT_EQ(w.FInterfaces.size(), 3);
  EXPECT_EQ(w.EditNICList->currentIndex(), 0);
  EXPECT_EQ(w.FNetworkIF, "192.168.1.10");
}

TEST_F(NICTest, OnlyLoopbackLeavesTheFixedEntryChosen) {
  TFormDiscovery& w = Open();
  EXPECT_EQ(Rows(w.EditNICList), QStringList{"99.99.99.99"});
  EXPECT_EQ(w.FNetworkIF, "99.99.99.99");
}

TEST_F(NICTest, StoredInterfaceIsChosenOrReplacedWhenGone) {
  AddAdapter("nt0", "192.168.1.10/24");
  AddAdapter("nt1", "10.0.0.2/8");
  const struct {
    const char* stored;
    const char* chosen;
    int row;
  } cases[] = {{"10.0.0.2", "10.0.0.2", 1}, {"172.16.5.5", "192.168.1.10", 0}};
  for (const auto& c : cases) {
    WriteSettings(QByteArray("[options]\nnetwork_if=") + c.stored + "\n");
    TFormDiscovery& w = Open();
    EXPECT_EQ(w.EditNICList->currentIndex(), c.row) << c.stored;
    EXPECT_EQ(w.FNICIndex, c.row) << c.stored;
    Close();
    EXPECT_TRUE(ReadSettings().contains(QByteArray("network_if=") + c.chosen)) << c.stored;
  }
}

TEST_F(NICTest, TwoAdaptersWithOneAddressGiveTwoRowsAndChoosingEitherSelectsTheFirst) {
  AddAdapter("nt0", "192.168.1.10/24");
  AddAdapter("nt1", "192.168.1.10/24");
  TFormDiscovery& w = Open();
  EXPECT_EQ(Rows(w.EditNICList), (QStringList{"192.168.1.10", "192.168.1.10", "99.99.99.99"}));
  w.EditNICListChange(2);
  EXPECT_EQ(w.FNetworkIF, "99.99.99.99");
  w.EditNICListChange(1);
  EXPECT_EQ(w.EditNICList->currentIndex(), 0);
  EXPECT_EQ(w.FNICIndex, 0);
  EXPECT_EQ(w.FNetworkIF, "192.168.1.10");
}

TEST_F(NICTest, MoreThanThirteenAdaptersAreAllListed) {
  for (int i = 0; i < 16; ++i) AddAdapter("m" + std::to_string(i), "10.1." + std::to_string(i) + ".1/24");
  TNetworkInterfaceList list;
  EXPECT_EQ(ListLocalInterfaces(list), 16);
  TFormDiscovery& w = Open();
  EXPECT_EQ(w.EditNICList->count(), 17);
  EXPECT_EQ(w.EditNICList->itemText(15), "10.1.15.1");
  EXPECT_EQ(w.EditNICList->itemText(16), "99.99.99.99");
}

}  // namespace
