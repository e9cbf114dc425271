// Interface list, kinds and display names from <root>/sys/class/net, and
// the subnet test.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sandbox.h"
#include "vorl.h"

namespace {

std::vector<std::string> listNames(int nMax, int *count)
{
    std::vector<VORL_NETIF> records(32);
    *count = VORLNetGetInterfaceInfo(records.data(), nMax, 2);
    std::vector<std::string> names;
    for (int i = 0; i < *count; ++i)
        names.push_back(records[i].szName);
    return names;
}

using Names = std::vector<std::string>;

std::string displayName(const char *name)
{
    std::string display = "stale";
    SDK::Network::GetIfName(name, display);
    return display;
}

} // namespace

TEST(VorlNetInterfaces, OrderedByIfindexThenName)
{
    Sandbox sb;
    sb.addInterface("eth1", 3);
    sb.addInterface("lo", 1, "loopback");
    sb.addInterface("eth0", 2);
    sb.addInterface("bond0", 3, "bond"); // same index as eth1: by name
    sb.addInterface("lbr0", 10, "bridge");
    sb.mkdirs("sys/class/net/zz0"); // no ifindex: after the others
    sb.mkdirs("sys/class/net/aa0");
    sb.write("sys/class/net/bonding_masters", "bond0\n"); // a file, not an interface
    sb.write("sys/class/net/wlan0/ifindex", "garbage\n"); // unreadable index
    sb.write("sys/class/net/eth9/ifindex", "100000\n");

    int count = 0;
    EXPECT_EQ((Names{"lo", "eth0", "bond0", "eth1", "lbr0", "eth9", "aa0", "wlan0", "zz0"}),
              listNames(32, &count));
    EXPECT_EQ(9, count);
    EXPECT_EQ((Names{"lo", "eth0", "bond0"}), listNames(3, &count));
    EXPECT_EQ(3, count);

    VORL_NETIF one[1];
    ASSERT_EQ(1, VORLNetGetInterfaceInfo(one, 1, 2));
    EXPECT_STREQ("lo", one[0].szName);
    EXPECT_EQ(1, one[0].ifIndex);
}

TEST(VorlNetInterfaces, EmptyMissingAndBadArguments)
{
    Sandbox sb;
    int count = 1;
    EXPECT_EQ(Names{}, listNames(32, &count));
    EXPECT_LT(count, 0); // no <root>/sys/class/net at all

    sb.mkdirs("sys/class/net");
    EXPECT_EQ(Names{}, listNames(32, &count));
    EXPECT_EQ(0, count);

    sb.addInterface("eth0", 1);
    VORL_NETIF records[4];
    EXPECT_LT(VORLNetGetInterfaceInfo(nullptr, 4, 2), 0);
    EXPECT_LT(VORLNetGetInterfaceInfo(records, 0, 2), 0);
    EXPECT_LT(VORLNetGetInterfaceInfo(records, 4, 7), 0);
}

TEST(VorlNetIfType, KindFromTheInterfaceDirectory)
{
    Sandbox sb;
    sb.addInterface("eth0", 2);
    sb.addInterface("lo", 1, "loopback");
    sb.addInterface("bond0", 3, "bond");
    sb.addInterface("lbr0", 4, "bridge");
    sb.addInterface("wlan0", 5, "wireless");
    sb.addInterface("tun0", 6, "tunnel");
    sb.addInterface("wlan1", 7);
    sb.mkdirs("sys/class/net/wlan1/phy80211");
    sb.mkdirs("sys/class/net/notype");
    sb.write("sys/class/net/spaced/type", " 1\n");

    EXPECT_EQ(0, SDK::Network::GetIfType("eth0", nullptr));
    EXPECT_EQ(1, SDK::Network::GetIfType("lo", nullptr));
    EXPECT_EQ(3, SDK::Network::GetIfType("bond0", nullptr)); // its type file says 1
    EXPECT_EQ(4, SDK::Network::GetIfType("lbr0", nullptr));
    EXPECT_EQ(8, SDK::Network::GetIfType("wlan0", nullptr));
    EXPECT_EQ(8, SDK::Network::GetIfType("wlan1", nullptr));
    EXPECT_EQ(9, SDK::Network::GetIfType("tun0", nullptr));
    EXPECT_EQ(9, SDK::Network::GetIfType("notype", nullptr));
    EXPECT_EQ(9, SDK::Network::GetIfType("spaced", nullptr));
    EXPECT_EQ(9, SDK::Network::GetIfType("missing", nullptr));
    EXPECT_EQ(9, SDK::Network::GetIfType("../../../etc", nullptr));
    EXPECT_EQ(9, SDK::Network::GetIfType(nullptr, nullptr));
}

TEST(VorlNetIfName, DisplayNames)
{
    EXPECT_EQ("LAN 1", displayName("eth0"));
    EXPECT_EQ("LAN 13", displayName("eth12"));
    EXPECT_EQ("Bond 1", displayName("bond0"));
    EXPECT_EQ("Bond 3", displayName("bond2"));
    EXPECT_EQ("lbr0", displayName("lbr0"));
    EXPECT_EQ("eth", displayName("eth"));
    EXPECT_EQ("eth0.10", displayName("eth0.10"));
    EXPECT_EQ("ethx", displayName("ethx"));
    EXPECT_EQ("eth01", displayName("eth01"));
    EXPECT_EQ("eth99999999999", displayName("eth99999999999"));
    EXPECT_EQ("bonding", displayName("bonding"));
    EXPECT_EQ("stale", displayName(nullptr));
}

TEST(VorlNetSameSubnet, AddressesUnderAMask)
{
    EXPECT_EQ(1, QUOMONetIsSameSubnet("192.168.1.10", "192.168.1.1", "255.255.255.0"));
    EXPECT_EQ(0, QUOMONetIsSameSubnet("192.168.2.10", "192.168.1.1", "255.255.255.0"));
    EXPECT_EQ(1, QUOMONetIsSameSubnet("192.168.2.10", "192.168.1.1", "255.255.0.0"));
    EXPECT_EQ(0, QUOMONetIsSameSubnet("10.0.0.129", "10.0.0.1", "255.255.255.128"));
    EXPECT_EQ(1, QUOMONetIsSameSubnet("1.2.3.4", "200.1.1.1", "0.0.0.0"));
    EXPECT_EQ(0, QUOMONetIsSameSubnet("1.2.3.4", "1.2.3.5", "255.255.255.255"));

    const char *bad[] = {"", "1.2.3", "1.2.3.256", " 1.2.3.4", "1.2.3.4 ", "::1", "a.b.c.d"};
    for (const char *text : bad) {
        EXPECT_EQ(-1, QUOMONetIsSameSubnet(text, "1.2.3.4", "255.255.255.0")) << text;
        EXPECT_EQ(-1, QUOMONetIsSameSubnet("1.2.3.4", text, "255.255.255.0")) << text;
        EXPECT_EQ(-1, QUOMONetIsSameSubnet("1.2.3.4", "1.2.3.4", text)) << text;
    }
    EXPECT_EQ(-1, QUOMONetIsSameSubnet(nullptr, "1.2.3.4", "255.255.255.0"));
}
