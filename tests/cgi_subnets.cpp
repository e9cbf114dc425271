// The subnet table of an interface: "applydata" writes it, "getIfData" lists
// it; "enumIF" lists the interfaces.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <time.h>

#include "cgi_files.h"

using ::testing::HasSubstr;

namespace {

CgiResult applyText(const Sandbox &sb, const Json::Value &global, const std::string &table)
{
    return runAction(sb, "applydata", {{"dataArray", toJsonText(global)}, {"subnetData", table}});
}

CgiResult apply(const Sandbox &sb, const Json::Value &global, const Json::Value &table)
{
    return applyText(sb, global, toJsonText(table));
}

Json::Value table(std::initializer_list<Json::Value> rows)
{
    Json::Value t(Json::arrayValue);
    for (const auto &r : rows)
        t.append(r);
    return t;
}

// Subnets of eth0 with the globals the requests below send: an hour, router
// and DNS server 192.168.1.1, second DNS server 8.8.8.8, domain lan.example.
const Subnet kEth00 = {"eth0", "eth00",
    "interface=eth0\n"
    "dhcp-range=set:eth00,192.168.1.100,192.168.1.150,255.255.255.0,3600\n"
    "dhcp-option=tag:eth00,option:router,192.168.1.1\n"
    "dhcp-option=tag:eth00,option:domain-search,lan.example\n"
    "dhcp-option=tag:eth00,option:domain-name,lan.example\n"
    "dhcp-option=tag:eth00,option:dns-server,192.168.1.1,8.8.8.8\n"};
const Subnet kEth01 = {"eth0", "eth01",
    "interface=eth0\n"
    "dhcp-range=set:eth01,192.168.1.160,192.168.1.200,255.255.255.0,3600\n"
    "dhcp-option=tag:eth01,option:router,192.168.1.1\n"
    "dhcp-option=tag:eth01,option:domain-search,lan.example\n"
    "dhcp-option=tag:eth01,option:domain-name,lan.example\n"
    "dhcp-option=tag:eth01,option:dns-server,192.168.1.1,8.8.8.8\n"};
const Subnet kEth01Narrow = {"eth0", "eth01",
    "interface=eth0\n"
    "dhcp-range=set:eth01,192.168.1.160,192.168.1.170,255.255.255.0,3600\n"
    "dhcp-option=tag:eth01,option:router,192.168.1.1\n"
    "dhcp-option=tag:eth01,option:domain-search,lan.example\n"
    "dhcp-option=tag:eth01,option:domain-name,lan.example\n"
    "dhcp-option=tag:eth01,option:dns-server,192.168.1.1,8.8.8.8\n"};
// The rows 192.168.1.10-20 and 192.168.1.30-40 of the tables below, written.
const Subnet kRow10 = {"eth0", "eth00",
    "interface=eth0\n"
    "dhcp-range=set:eth00,192.168.1.10,192.168.1.20,255.255.255.0,3600\n"
    "dhcp-option=tag:eth00,option:router,192.168.1.1\n"
    "dhcp-option=tag:eth00,option:domain-search,lan.example\n"
    "dhcp-option=tag:eth00,option:domain-name,lan.example\n"
    "dhcp-option=tag:eth00,option:dns-server,192.168.1.1,8.8.8.8\n"};
const Subnet kRow30 = {"eth0", "eth01",
    "interface=eth0\n"
    "dhcp-range=set:eth01,192.168.1.30,192.168.1.40,255.255.255.0,3600\n"
    "dhcp-option=tag:eth01,option:router,192.168.1.1\n"
    "dhcp-option=tag:eth01,option:domain-search,lan.example\n"
    "dhcp-option=tag:eth01,option:domain-name,lan.example\n"
    "dhcp-option=tag:eth01,option:dns-server,192.168.1.1,8.8.8.8\n"};
// kPxeEth0 once a request's globals reached it: its range and boot file stay.
const Subnet kPxeWithGlobals = {"eth0", "pxe",
    "interface=eth0\n"
    "dhcp-range=set:pxe,192.168.5.100,192.168.5.150,255.255.255.0,3600\n"
    "dhcp-option=tag:pxe,option:router,192.168.5.1\n"
    "dhcp-option=tag:pxe,option:domain-search,lan.example\n"
    "dhcp-option=tag:pxe,option:domain-name,lan.example\n"
    "dhcp-option=tag:pxe,option:dns-server,192.168.1.1,8.8.8.8\n"
    "dhcp-boot=tag:pxe,pxelinux.0\n"
    "dhcp-vendorclass=set:pxe,PXEClient\n"};

Json::Value listing(const Sandbox &sb, const std::string &ifName)
{
    CgiResult r = runAction(sb, "getIfData", {{"iftype", ifName}});
    EXPECT_TRUE(r.bodyParsed) << r.out;
    return r.body;
}

TEST(CgiSubnets, ApplyThenListRoundTripWithPxeRowBetweenOrdinaryRows)
{
    Sandbox sb;
    sb.installRestartRecorder();
    putSubnet(sb, kPxeEth0, false);
    Json::Value rows = table({row("192.168.1.100", "192.168.1.150", "192.168.1.1", true),
                              row("192.168.5.100", "192.168.5.150", "192.168.5.1", true, true),
                              row("192.168.1.160", "192.168.1.200", "192.168.1.1", false)});
    CgiResult r = apply(sb, globals("eth0", true, "60", "192.168.1.1", "8.8.8.8", "lan.example"),
                        rows);
    EXPECT_EQ(r.body, parseJson(R"({"success": true, "isSameApSubnet": false})")) << r.out;
    EXPECT_EQ(sb.restartCount(), 1);

    // Ordinary rows are numbered 0 and 1; a switched-off row keeps its settings.
    expectSubnet(sb, kEth00, true);
    expectSubnet(sb, kEth01, false);
    // The PXE row takes the request's global settings and keeps its range
    // and boot file.
    expectSubnet(sb, kPxeWithGlobals, true);
    EXPECT_FALSE(sb.exists(confPath("eth0", "eth02")));

    Json::Value expected = parseJson(R"({"success": true, "itemCount": 2, "subnetList": [
        {"activated": true, "startip": "192.168.1.100", "endip": "192.168.1.150",
         "netmask": "255.255.255.0", "gateway": "192.168.1.1", "pxe": false, "rowActive": true,
         "size": 51, "leased": 0, "reserved": 0},
        {"activated": false, "startip": "192.168.1.160", "endip": "192.168.1.200",
         "netmask": "255.255.255.0", "gateway": "192.168.1.1", "pxe": false, "rowActive": false,
         "size": 41, "leased": 0, "reserved": 0},
        {"activated": true, "startip": "192.168.5.100", "endip": "192.168.5.150",
         "netmask": "255.255.255.0", "gateway": "192.168.5.1", "pxe": true, "rowActive": true,
         "size": 51, "leased": 0, "reserved": 0}]})");
    EXPECT_EQ(listing(sb, "eth0"), expected);
}

TEST(CgiSubnets, FewerRowsThanBeforeLeaveNoStaleFiles)
{
    Sandbox sb;
    const Subnet stored[] = {
        {"eth0", "eth00",
         "interface=eth0\n"
         "dhcp-range=set:eth00,192.168.1.100,192.168.1.110,255.255.255.0,3600\n"
         "dhcp-option=tag:eth00,option:router,192.168.1.1\n"
         "dhcp-option=tag:eth00,option:domain-search,lan.example\n"
         "dhcp-option=tag:eth00,option:domain-name,lan.example\n"
         "dhcp-option=tag:eth00,option:dns-server,192.168.1.1,8.8.8.8\n"},
        {"eth0", "eth01",
         "interface=eth0\n"
         "dhcp-range=set:eth01,192.168.1.120,192.168.1.130,255.255.255.0,3600\n"
         "dhcp-option=tag:eth01,option:router,192.168.1.1\n"
         "dhcp-option=tag:eth01,option:domain-search,lan.example\n"
         "dhcp-option=tag:eth01,option:domain-name,lan.example\n"
         "dhcp-option=tag:eth01,option:dns-server,192.168.1.1,8.8.8.8\n"},
        {"eth0", "eth02",
         "interface=eth0\n"
         "dhcp-range=set:eth02,192.168.1.140,192.168.1.150,255.255.255.0,3600\n"
         "dhcp-option=tag:eth02,option:router,192.168.1.1\n"
         "dhcp-option=tag:eth02,option:domain-search,lan.example\n"
         "dhcp-option=tag:eth02,option:domain-name,lan.example\n"
         "dhcp-option=tag:eth02,option:dns-server,192.168.1.1,8.8.8.8\n"},
    };
    for (const Subnet &subnet : stored)
        putSubnet(sb, subnet, true);
    putSubnet(sb, kPxeEth0, true);
    Json::Value rows = table({row("192.168.1.10", "192.168.1.20", "192.168.1.1", true),
                              row("192.168.1.30", "192.168.1.40", "192.168.1.1", true)});
    CgiResult r = apply(sb, globals("eth0", true, "60", "192.168.1.1", "8.8.8.8", "lan.example"),
                        rows);
    EXPECT_EQ(r.body["success"], Json::Value(true)) << r.out;
    expectSubnet(sb, kRow10, true);
    expectSubnet(sb, kRow30, true);
    EXPECT_FALSE(sb.exists(confPath("eth0", "eth02")));
    EXPECT_FALSE(sb.exists(infoPath("eth0", "eth02")));
    expectSubnet(sb, kPxeEth0, true);
    EXPECT_EQ(listing(sb, "eth0")["itemCount"], Json::Value(2));

    // An empty table removes every numbered subnet and keeps the PXE one.
    r = applyText(sb, globals("eth0", true, "60"), "[]");
    EXPECT_EQ(r.body, parseJson(R"({"success": true, "isSameApSubnet": false})")) << r.out;
    EXPECT_FALSE(sb.exists(confPath("eth0", "eth00")));
    EXPECT_FALSE(sb.exists(infoPath("eth0", "eth01")));
    expectSubnet(sb, kPxeEth0, true);
    EXPECT_EQ(listing(sb, "eth0")["itemCount"], Json::Value(0));
}

TEST(CgiSubnets, RowTouchingTheAccessPointBlocksTheWholeTable)
{
    // The gateway alone inside, or the range inside (a range lies in one
    // subnet, so its start and end are inside together).
    const Json::Value touching[] = {row("10.0.0.100", "10.0.0.200", "192.168.100.77", true),
                                    row("192.168.100.77", "192.168.100.90", "10.0.0.1", true)};
    for (const Json::Value &bad : touching) {
        Sandbox sb;
        sb.installRestartRecorder();
        putAccessPoint(sb);
        putSubnet(sb, kEth00, true);
        auto before = filesOf(sb);

        Json::Value rows = table({row("192.168.1.10", "192.168.1.20", "192.168.1.1", true), bad});
        CgiResult r = apply(sb, globals("eth0", true, "60"), rows);
        EXPECT_EQ(r.body, parseJson(R"({"success": true, "isSameApSubnet": true})"))
            << bad << r.out;
        EXPECT_EQ(filesOf(sb), before) << bad;
        EXPECT_EQ(sb.restartCount(), 1);
    }

    // Without an access point subnet nothing collides.
    Sandbox sb;
    CgiResult r = apply(sb, globals("eth0", true, "60"),
                        table({row("192.168.100.10", "192.168.100.20", "192.168.100.1", true)}));
    EXPECT_EQ(r.body["isSameApSubnet"], Json::Value(false)) << r.out;
}

TEST(CgiSubnets, MalformedTableWritesNothing)
{
    Json::Value missingGateway = row("192.168.1.30", "192.168.1.40", "192.168.1.1", true);
    missingGateway.removeMember("gateway");
    Json::Value numericStart = row("192.168.1.30", "192.168.1.40", "192.168.1.1", true);
    numericStart["startip"] = 3232235806u;
    const std::string tables[] = {
        "{\"startip\": \"192.168.1.10\"}",
        "\"192.168.1.10\"",
        "[[]]",
        toJsonText(table({row("192.168.1.10", "192.168.1.20", "192.168.1.1", true),
                          missingGateway})),
        toJsonText(table({row("192.168.1.10", "192.168.1.20", "192.168.1.1", true),
                          numericStart})),
        "[{\"startip\": \"192.168.1.10\", ",
    };
    for (const auto &text : tables) {
        Sandbox sb;
        putSubnet(sb, kEth00, true);
        putSubnet(sb, kEth01Narrow, true);
        auto before = filesOf(sb);
        CgiResult r = applyText(sb, globals("eth0", true, "60"), text);
        EXPECT_EQ(r.body, parseJson(R"({"success": true, "isSameApSubnet": true})"))
            << text << ": " << r.out;
        EXPECT_EQ(filesOf(sb), before) << text;
    }
}

TEST(CgiSubnets, PxeRowWithoutStoredPxeSubnetStopsTheTable)
{
    Sandbox sb;
    putSubnet(sb, kEth01Narrow, true);
    Json::Value rows = table({row("192.168.1.10", "192.168.1.20", "192.168.1.1", true),
                              row("192.168.5.100", "192.168.5.150", "192.168.5.1", true, true),
                              row("192.168.1.30", "192.168.1.40", "192.168.1.1", true)});
    CgiResult r = apply(sb, globals("eth0", true, "60", "192.168.1.1", "8.8.8.8", "lan.example"),
                        rows);
    EXPECT_EQ(r.body, parseJson(R"({"success": true, "isSameApSubnet": true})")) << r.out;
    EXPECT_THAT(r.err, HasSubstr("Cannot read pxe setting on eth0"));
    expectSubnet(sb, kRow10, true);
    // The row after the PXE row is not written and nothing is cleaned up.
    expectSubnet(sb, kEth01Narrow, true);
    EXPECT_FALSE(sb.exists(confPath("eth0", "pxe")));
}

TEST(CgiSubnets, SwitchedOffServiceTurnsEverySubnetAndThePxeSubnetOff)
{
    Sandbox sb;
    putSubnet(sb, kPxeEth0, true);
    Json::Value rows = table({row("192.168.1.10", "192.168.1.20", "192.168.1.1", true),
                              row("192.168.5.100", "192.168.5.150", "192.168.5.1", true, true),
                              row("192.168.1.30", "192.168.1.40", "192.168.1.1", false)});
    CgiResult r = apply(sb, globals("eth0", false, "60", "192.168.1.1", "8.8.8.8", "lan.example"),
                        rows);
    EXPECT_EQ(r.body, parseJson(R"({"success": true, "isSameApSubnet": false})")) << r.out;
    expectSubnet(sb, kRow10, false);
    expectSubnet(sb, kRow30, false);
    expectSubnet(sb, kPxeWithGlobals, false);

    Json::Value list = listing(sb, "eth0");
    ASSERT_EQ(list["subnetList"].size(), 3u) << list;
    for (const auto &entry : list["subnetList"])
        EXPECT_EQ(entry["activated"], Json::Value(false)) << list;
    // Each row keeps its own switch while the service is off ...
    const bool own[] = {true, false, true}; // eth00, eth01, pxe
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(list["subnetList"][i]["rowActive"], Json::Value(own[i])) << list;
    // ... also through a second switch-off, which finds every file off.
    r = runAction(sb, "disableServer", {{"iftype", "eth0"}});
    EXPECT_EQ(listing(sb, "eth0")["subnetList"], list["subnetList"]);

    // Switched on with those switches, exactly those rows serve again.
    r = apply(sb, globals("eth0", true, "60", "192.168.1.1", "8.8.8.8", "lan.example"), rows);
    EXPECT_EQ(r.body["success"], Json::Value(true)) << r.out;
    expectSubnet(sb, kRow10, true);
    expectSubnet(sb, kRow30, false);
    expectSubnet(sb, kPxeWithGlobals, true);
    list = listing(sb, "eth0");
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(list["subnetList"][i]["activated"], Json::Value(own[i])) << list;
        EXPECT_EQ(list["subnetList"][i]["rowActive"], Json::Value(own[i])) << list;
    }
}

TEST(CgiSubnets, GetIfDataStopsAtTheFirstGapAndCountsOnlyOrdinarySubnets)
{
    Sandbox sb;
    sb.installRestartRecorder();
    EXPECT_EQ(listing(sb, "eth0"), parseJson(R"({"success": true, "itemCount": 0,
        "subnetList": []})"));

    putSubnet(sb, kPxeEth0, true);
    EXPECT_EQ(listing(sb, "eth0"), parseJson(R"({"success": true, "itemCount": 0,
        "subnetList": [{"activated": true, "startip": "192.168.5.100",
        "endip": "192.168.5.150", "netmask": "255.255.255.0", "gateway": "192.168.5.1",
        "pxe": true, "rowActive": true, "size": 51, "leased": 0, "reserved": 0}]})"));

    putSubnet(sb, kRow10, true);
    putSubnet(sb, {"eth0", "eth02",
                   "interface=eth0\n"
                   "dhcp-range=set:eth02,192.168.1.30,192.168.1.40,255.255.255.0,3600\n"
                   "dhcp-option=tag:eth02,option:router,192.168.1.1\n"
                   "dhcp-option=tag:eth02,option:domain-search,lan.example\n"
                   "dhcp-option=tag:eth02,option:domain-name,lan.example\n"
                   "dhcp-option=tag:eth02,option:dns-server,192.168.1.1,8.8.8.8\n"},
              true);
    sb.write(infoPath("eth0", "eth00"), "enable=\"Yes\"\n");
    Json::Value list = listing(sb, "eth0");
    EXPECT_EQ(list["itemCount"], Json::Value(1)) << list;
    ASSERT_EQ(list["subnetList"].size(), 2u) << list;
    EXPECT_EQ(list["subnetList"][0]["startip"], Json::Value("192.168.1.10"));
    EXPECT_EQ(list["subnetList"][0]["activated"], Json::Value(false));
    EXPECT_EQ(list["subnetList"][1]["pxe"], Json::Value(true));
    EXPECT_EQ(sb.restartCount(), 0);
}

// A lease-log record of eth0 expiring `offset` seconds from now.
// A lease as dnsmasq's lease file holds it, ending offset seconds from now
// (0: never).
std::string dnsmasqLease(long offset, const std::string &mac, const std::string &ip)
{
    unsigned long ends = offset ? (unsigned long)(time(nullptr) + offset) : 0;
    return std::to_string(ends) + " " + mac + " " + ip + " host *\n";
}

TEST(CgiSubnets, GetIfDataTellsEachRangeSizeLeasesAndReservations)
{
    Sandbox sb;
    putSubnet(sb, {"eth0", "eth00",
                   "interface=eth0\n"
                   "dhcp-range=set:eth00,192.168.1.10,192.168.1.20,255.255.255.0,3600\n"
                   "dhcp-option=tag:eth00,option:router,192.168.1.1\n"
                   "dhcp-option=tag:eth00,option:dns-server,192.168.1.1\n"}, true); // partly leased
    putSubnet(sb, {"eth0", "eth01",
                   "interface=eth0\n"
                   "dhcp-range=set:eth01,192.168.1.30,192.168.1.31,255.255.255.0,3600\n"
                   "dhcp-option=tag:eth01,option:router,192.168.1.1\n"
                   "dhcp-option=tag:eth01,option:dns-server,192.168.1.1\n"}, true); // full
    putSubnet(sb, {"eth0", "eth02",
                   "interface=eth0\n"
                   "dhcp-range=set:eth02,192.168.1.40,192.168.1.40,255.255.255.0,3600\n"
                   "dhcp-option=tag:eth02,option:router,192.168.1.1\n"
                   "dhcp-option=tag:eth02,option:dns-server,192.168.1.1\n"}, true); // empty
    putSubnet(sb, kPxeEth0, true);
    sb.write("etc/dhcpd/dhcpdStatic.ori", "dhcp-host=02:00:00:00:00:0a,cam,192.168.1.15,infinite\n"
                                          "dhcp-host=02:00:00:00:00:0b,nas,192.168.1.60,infinite\n"
                                          "dhcp-host=02:00:00:00:00:0c,tv,192.168.5.120,infinite\n"
                                          "dhcp-host=02:00:00:00:00:0d,pc,192.168.1.017,infinite\n");
    // Only dnsmasq's current leases count, each address once: the package's
    // log, whatever it holds, does not.
    sb.write("var/packages/Orvath/target/etc/dhcpd.conf.leases",
             dnsmasqLease(600, "02:00:00:00:00:01", "192.168.1.11") +
                 dnsmasqLease(900, "02:00:00:00:00:09", "192.168.1.11") +       // the same address
                 dnsmasqLease(600, "02:00:00:00:00:02", "192.168.1.20") +
                 dnsmasqLease(-60, "02:00:00:00:00:03", "192.168.1.12") +       // expired
                 dnsmasqLease(0, "02:00:00:00:00:04", "192.168.1.13") +         // never ends
                 dnsmasqLease(600, "02:00:00:00:00:0a", "192.168.1.15") +       // reserved client
                 dnsmasqLease(600, "02:00:00:00:00:05", "192.168.1.50") +       // outside every range
                 dnsmasqLease(600, "02:00:00:00:00:06", "192.168.1.30") +
                 dnsmasqLease(600, "02:00:00:00:00:07", "192.168.1.31") +
                 dnsmasqLease(600, "02:00:00:00:00:08", "192.168.5.101") +
                 dnsmasqLease(600, "02:00:00:00:00:0d", "192.168.1.014") +      // not an address:
                 dnsmasqLease(600, "02:00:00:00:00:0e", "192.168.1.16.") +      // none counts
                 dnsmasqLease(600, "02:00:00:00:00:0f", "192.168.1.1000") +
                 "duid 00:01:00:01:2c:00:00:00:02:00:00:00:00:01\n"
                 "7200 1234 fd50::11 host 00:01\n");
    sb.write("etc/dhcpd/dhcpd-leases.log",
             std::to_string((unsigned long)time(nullptr) + 600) + " 02:00:00:00:00:0f 192.168.1.40 x eth0\n");
    Json::Value list = listing(sb, "eth0");
    const char *expected[] = {"11 3 1", "2 2 0", "1 0 0", "51 1 1"};
    ASSERT_EQ(list["subnetList"].size(), 4u) << list;
    for (int i = 0; i < 4; ++i) {
        const Json::Value &row = list["subnetList"][i];
        EXPECT_EQ(row["size"].asString() + " " + row["leased"].asString() + " " +
                      row["reserved"].asString(),
                  expected[i])
            << row;
    }
}

TEST(CgiSubnets, GetIfDataFailsWholeWhenASubnetCannotBeRead)
{
    Sandbox sb;
    putSubnet(sb, kRow10, true);
    sb.write(confPath("eth0", "eth01"), "interface=eth0\n");
    CgiResult r = runAction(sb, "getIfData", {{"iftype", "eth0"}});
    expectOnlySuccess(r, false);
    EXPECT_THAT(r.err, HasSubstr("Cannot get dhcp server config on interface:eth0"));

    r = runAction(sb, "getIfData");
    EXPECT_EQ(r.body, parseJson(R"({"success": true, "itemCount": 0, "subnetList": []})"));
    EXPECT_THAT(r.err, HasSubstr("WRONG interface name!"));
}

TEST(CgiSubnets, EnumIfListsEthernetBondBridgeAndWirelessInPlatformOrder)
{
    Sandbox sb;
    sb.addInterface("lo", 1, "loopback");
    sb.addInterface("wlan0", 7, "wireless");
    sb.addInterface("eth1", 3);
    sb.addInterface("eth0", 2);
    sb.addInterface("tun0", 4, "tunnel");
    sb.addInterface("bond0", 5, "bond");
    sb.addInterface("br0", 6, "bridge");
    // Under a root the interfaces' own addresses come from a file of the
    // sandbox; what is no "address/prefix" is left out.
    sb.write("sys/class/net/eth0/orvath_addrs", "192.168.50.1/24\n10.0.0.1/33\nx\n10.1.0.1/8\n");
    CgiResult r = runAction(sb, "enumIF");
    EXPECT_EQ(r.body, parseJson(R"({"success": true, "total": 5, "items": [
        {"if_value": "eth0", "if_display": "LAN 1", "if_addrs": ["192.168.50.1/24", "10.1.0.1/8"]},
        {"if_value": "eth1", "if_display": "LAN 2", "if_addrs": []},
        {"if_value": "bond0", "if_display": "Bond 1", "if_addrs": []},
        {"if_value": "br0", "if_display": "br0", "if_addrs": []},
        {"if_value": "wlan0", "if_display": "wlan0", "if_addrs": []}]})"))
        << r.out;
}

TEST(CgiSubnets, EnumIfConsidersAtMost32Interfaces)
{
    Sandbox sb;
    for (int i = 0; i < 40; ++i)
        sb.addInterface("eth" + std::to_string(i), 2 + i);
    CgiResult r = runAction(sb, "enumIF");
    EXPECT_EQ(r.body["total"], Json::Value(32)) << r.out;
    ASSERT_EQ(r.body["items"].size(), 32u);
    EXPECT_EQ(r.body["items"][31],
              parseJson(R"({"if_value": "eth31", "if_display": "LAN 32", "if_addrs": []})"));
}

TEST(CgiSubnets, EnumIfWithNothingListable)
{
    Sandbox sb;
    CgiResult r = runAction(sb, "enumIF");
    expectOnlySuccess(r, false);
    EXPECT_THAT(r.err, HasSubstr("get ifinfos failed("));

    sb.addInterface("lo", 1, "loopback");
    sb.addInterface("tun0", 2, "tunnel");
    r = runAction(sb, "enumIF");
    EXPECT_EQ(r.body, parseJson(R"({"success": true, "total": 0, "items": []})")) << r.out;
}

} // namespace
