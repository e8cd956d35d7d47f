// The interface inventory from given sources (addresses, route table, a sysfs folder): the
// service order by default-route metric, the fallback without a default route, and the byte
// forms of addresses.
#include <gtest/gtest.h>

#include <net/if.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include "PLUMEX_PrintCoreNetwork.h"
#include "TempDir.h"

namespace {

using Net = PLUMEX_PrintCoreNetwork;

constexpr const char* kRouteTitles = "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";

Net::InterfaceAddress ip4(const std::string& name, std::uint32_t address, unsigned flags) {
    Net::InterfaceAddress a;
    a.name = name;
    a.family = AF_INET;
    a.address = address;
    a.netmask = 0xFFFFFF00u;
    a.broadcast = address | 0xFFu;
    a.flags = flags;
    return a;
}

Net::InterfaceAddress packet(const std::string& name, std::array<std::uint8_t, 6> hw) {
    Net::InterfaceAddress a;
    a.name = name;
    a.family = AF_PACKET;
    a.hardwareAddress = hw;
    return a;
}

std::string route(const std::string& iface, const std::string& destination, int flags, int metric) {
    return iface + "\t" + destination + "\t0100A8C0\t" + std::to_string(flags) + "\t0\t0\t" + std::to_string(metric) +
           "\t00000000\t0\t0\t0\n";
}

class InterfaceInventoryTest : public ::testing::Test {
protected:
    void SetUp() override {
        sources_.sysClassNet = dir_.path();
        addType("lo", "772");
        addType("eth0", "1");
        addType("eth1", "1");
        ::mkdir((dir_.path() + "/wlan0").c_str(), 0755);
        ::mkdir((dir_.path() + "/wlan0/wireless").c_str(), 0755);
        sources_.addresses = {ip4("lo", 0x7F000001u, IFF_UP | IFF_LOOPBACK), ip4("eth0", 0xC0A80102u, IFF_UP),
                              ip4("wlan0", 0x0A000005u, IFF_UP), ip4("eth1", 0xAC100001u, 0),
                              packet("eth0", {0x02, 0xfc, 0, 0, 0, 0x01}), packet("wlan0", {0xa0, 0xb1, 0xc2, 0xd3, 0xe4, 0xf5})};
    }
    void addType(const std::string& name, const std::string& type) {
        ::mkdir((dir_.path() + "/" + name).c_str(), 0755);
        dir_.write(name + "/type", type + "\n");
    }

    tessaron::test::TempDir dir_;
    Net::InventorySources sources_;
};

TEST_F(InterfaceInventoryTest, DefaultRoutesOrderedByMetricAreTheServiceOrder) {
    sources_.routeTable = std::string(kRouteTitles) + route("eth0", "00000000", 3, 600) + route("wlan0", "00000000", 3, 100) +
                          route("eth0", "0001A8C0", 1, 0) +     // not a default route
                          route("eth1", "00000000", 2, 50) +    // not up
                          route("eth0", "00000000", 3, 700);    // the same interface again
    const auto inventory = Net::activeInterfacesFrom(sources_);
    EXPECT_EQ(inventory.INTERFACE_ORDER, (std::vector<std::string>{"wlan0", "eth0"}));
    EXPECT_EQ(inventory.SERVICE_ID_ORDER, (std::vector<std::string>{"route:wlan0", "route:eth0"}));
    const auto& wlan = inventory.interfaces.at("wlan0");
    EXPECT_EQ(wlan.at("INTERFACE_TYPE"), "Wi-Fi");
    EXPECT_EQ(wlan.at("NET_SERVICE_NAME"), "Wi-Fi (wlan0)");
    EXPECT_EQ(wlan.at("HARDWARE_ADDRESS"), "a0:b1:c2:d3:e4:f5");
    const auto& eth = inventory.interfaces.at("eth0");
    EXPECT_EQ(eth.at("PF_INET_ADDRESS"), "192.168.1.2");
    EXPECT_EQ(eth.at("PF_INET_NETMASK"), "255.255.255.0");
    EXPECT_EQ(eth.at("PF_INET_BROADCAST"), "192.168.1.255");
    EXPECT_EQ(eth.at("DISPLAY_NAME"), "Ethernet (eth0)");
    EXPECT_EQ(inventory.interfaces.at("lo").at("INTERFACE_TYPE"), "Loopback");
    EXPECT_FALSE(inventory.interfaces.at("eth1").count("NET_SERVICE_ID"));
}

TEST_F(InterfaceInventoryTest, WithoutADefaultRouteTheFirstUpInterfaceServes) {
    sources_.routeTable = kRouteTitles;
    auto inventory = Net::activeInterfacesFrom(sources_);
    EXPECT_EQ(inventory.INTERFACE_ORDER, (std::vector<std::string>{"eth0"}));
    EXPECT_TRUE(inventory.SERVICE_ID_ORDER.empty());

    // Only loopback is up: loopback serves.
    sources_.addresses = {ip4("eth1", 0xAC100001u, 0), ip4("lo", 0x7F000001u, IFF_UP | IFF_LOOPBACK)};
    inventory = Net::activeInterfacesFrom(sources_);
    EXPECT_EQ(inventory.INTERFACE_ORDER, (std::vector<std::string>{"lo"}));

    // No addresses at all (and an unreadable route table): an empty inventory, no crash.
    sources_.addresses.clear();
    sources_.routeTable.clear();
    EXPECT_TRUE(Net::activeInterfacesFrom(sources_).INTERFACE_ORDER.empty());
}

TEST(InterfaceInventory, ThisHostHasAPrimaryInterface) {
    const auto primary = Net::primaryInterface();
    ASSERT_TRUE(primary);
    EXPECT_TRUE(primary->count("PF_INET_ADDRESS"));
    EXPECT_TRUE(Net::networkOrderDataForIP4Address(*Net::primaryIPAddress()));
}

TEST(AddressBytes, TextFormsBecomeNetworkOrderBytes) {
    EXPECT_EQ(Net::networkOrderDataForMacAddress("02:fc:0:A0:00:ff"), (std::array<std::uint8_t, 6>{0x02, 0xfc, 0, 0xa0, 0, 0xff}));
    EXPECT_EQ(Net::networkOrderDataForIP4Address("192.168.1.2"), (std::array<std::uint8_t, 4>{192, 168, 1, 2}));
    for (const char* bad : {"", "02:fc:00:00:00", "02:fc:00:00:00:01:", "02:fc:00:zz:00:01", "02:fc:00:100:00:01",
                            "02:fc::00:00:01"})
        EXPECT_FALSE(Net::networkOrderDataForMacAddress(bad)) << bad;
    for (const char* bad : {"", "1.2.3", "1.2.3.4.", "1.2.3.256", "1.2.x.4", "1..3.4", "-1.2.3.4"})
        EXPECT_FALSE(Net::networkOrderDataForIP4Address(bad)) << bad;
}

}  // namespace
