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

Subnet eth0(int index, const std::string &start, const std::string &end, int lease = 3600,
            const std::string &sdns = "8.8.8.8", const std::string &domain = "lan.example")
{
    return {"eth0", "eth0" + std::to_string(index), start, end, "255.255.255.0", "192.168.1.1",
            lease, domain, "192.168.1.1", sdns, ""};
}

Subnet storedPxe()
{
    return {"eth0", "pxe", "192.168.5.100", "192.168.5.150", "255.255.255.0", "192.168.5.1",
            36000, "", "192.168.5.1", "", "pxelinux.0"};
}

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
    putSubnet(sb, storedPxe(), false);
    Json::Value rows = table({row("192.168.1.100", "192.168.1.150", "192.168.1.1", true),
                              row("192.168.5.100", "192.168.5.150", "192.168.5.1", true, true),
                              row("192.168.1.160", "192.168.1.200", "192.168.1.1", false)});
    CgiResult r = apply(sb, globals("eth0", true, "60", "192.168.1.1", "8.8.8.8", "lan.example"),
                        rows);
    EXPECT_EQ(r.body, parseJson(R"({"success": true, "isSameApSubnet": false})")) << r.out;
    EXPECT_EQ(sb.restartCount(), 1);

    // Ordinary rows are numbered 0 and 1; a switched-off row keeps its settings.
    expectSubnet(sb, eth0(0, "192.168.1.100", "192.168.1.150"), true);
    expectSubnet(sb, eth0(1, "192.168.1.160", "192.168.1.200"), false);
    // The PXE row takes the request's global settings and keeps its range
    // and boot file.
    Subnet pxe = storedPxe();
    pxe.lease = 3600;
    pxe.pdns = "192.168.1.1";
    pxe.sdns = "8.8.8.8";
    pxe.domain = "lan.example";
    expectSubnet(sb, pxe, true);
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
    for (int i = 0; i < 3; ++i)
        putSubnet(sb, eth0(i, "192.168.1." + std::to_string(100 + 20 * i),
                           "192.168.1." + std::to_string(110 + 20 * i)),
                  true);
    putSubnet(sb, storedPxe(), true);
    Json::Value rows = table({row("192.168.1.10", "192.168.1.20", "192.168.1.1", true),
                              row("192.168.1.30", "192.168.1.40", "192.168.1.1", true)});
    CgiResult r = apply(sb, globals("eth0", true, "60", "192.168.1.1", "8.8.8.8", "lan.example"),
                        rows);
    EXPECT_EQ(r.body["success"], Json::Value(true)) << r.out;
    expectSubnet(sb, eth0(0, "192.168.1.10", "192.168.1.20"), true);
    expectSubnet(sb, eth0(1, "192.168.1.30", "192.168.1.40"), true);
    EXPECT_FALSE(sb.exists(confPath("eth0", "eth02")));
    EXPECT_FALSE(sb.exists(infoPath("eth0", "eth02")));
    expectSubnet(sb, storedPxe(), true);
    EXPECT_EQ(listing(sb, "eth0")["itemCount"], Json::Value(2));

    // An empty table removes every numbered subnet and keeps the PXE one.
    r = applyText(sb, globals("eth0", true, "60"), "[]");
    EXPECT_EQ(r.body, parseJson(R"({"success": true, "isSameApSubnet": false})")) << r.out;
    EXPECT_FALSE(sb.exists(confPath("eth0", "eth00")));
    EXPECT_FALSE(sb.exists(infoPath("eth0", "eth01")));
    expectSubnet(sb, storedPxe(), true);
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
        putSubnet(sb, eth0(0, "192.168.1.100", "192.168.1.150"), true);
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
        putSubnet(sb, eth0(0, "192.168.1.100", "192.168.1.150"), true);
        putSubnet(sb, eth0(1, "192.168.1.160", "192.168.1.170"), true);
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
    putSubnet(sb, eth0(1, "192.168.1.160", "192.168.1.170"), true);
    Json::Value rows = table({row("192.168.1.10", "192.168.1.20", "192.168.1.1", true),
                              row("192.168.5.100", "192.168.5.150", "192.168.5.1", true, true),
                              row("192.168.1.30", "192.168.1.40", "192.168.1.1", true)});
    CgiResult r = apply(sb, globals("eth0", true, "60", "192.168.1.1", "8.8.8.8", "lan.example"),
                        rows);
    EXPECT_EQ(r.body, parseJson(R"({"success": true, "isSameApSubnet": true})")) << r.out;
    EXPECT_THAT(r.err, HasSubstr("Cannot read pxe setting on eth0"));
    expectSubnet(sb, eth0(0, "192.168.1.10", "192.168.1.20"), true);
    // The row after the PXE row is not written and nothing is cleaned up.
    expectSubnet(sb, eth0(1, "192.168.1.160", "192.168.1.170"), true);
    EXPECT_FALSE(sb.exists(confPath("eth0", "pxe")));
}

TEST(CgiSubnets, SwitchedOffServiceTurnsEverySubnetAndThePxeSubnetOff)
{
    Sandbox sb;
    putSubnet(sb, storedPxe(), true);
    Json::Value rows = table({row("192.168.1.10", "192.168.1.20", "192.168.1.1", true),
                              row("192.168.5.100", "192.168.5.150", "192.168.5.1", true, true),
                              row("192.168.1.30", "192.168.1.40", "192.168.1.1", false)});
    CgiResult r = apply(sb, globals("eth0", false, "60", "192.168.1.1", "8.8.8.8", "lan.example"),
                        rows);
    EXPECT_EQ(r.body, parseJson(R"({"success": true, "isSameApSubnet": false})")) << r.out;
    expectSubnet(sb, eth0(0, "192.168.1.10", "192.168.1.20"), false);
    expectSubnet(sb, eth0(1, "192.168.1.30", "192.168.1.40"), false);
    Subnet pxe = storedPxe();
    pxe.lease = 3600;
    pxe.pdns = "192.168.1.1";
    pxe.sdns = "8.8.8.8";
    pxe.domain = "lan.example";
    expectSubnet(sb, pxe, false);

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
    expectSubnet(sb, eth0(0, "192.168.1.10", "192.168.1.20"), true);
    expectSubnet(sb, eth0(1, "192.168.1.30", "192.168.1.40"), false);
    expectSubnet(sb, pxe, true);
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

    putSubnet(sb, storedPxe(), true);
    EXPECT_EQ(listing(sb, "eth0"), parseJson(R"({"success": true, "itemCount": 0,
        "subnetList": [{"activated": true, "startip": "192.168.5.100",
        "endip": "192.168.5.150", "netmask": "255.255.255.0", "gateway": "192.168.5.1",
        "pxe": true, "rowActive": true, "size": 51, "leased": 0, "reserved": 0}]})"));

    putSubnet(sb, eth0(0, "192.168.1.10", "192.168.1.20"), true);
    putSubnet(sb, eth0(2, "192.168.1.30", "192.168.1.40"), true);
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
std::string leaseRecord(long offset, const std::string &mac, const std::string &ip,
                        const std::string &ifName = "eth0")
{
    return std::to_string((unsigned long)(time(nullptr) + offset)) + " " + mac + " " + ip +
           " host " + ifName + "\n";
}

TEST(CgiSubnets, GetIfDataTellsEachRangeSizeLeasesAndReservations)
{
    Sandbox sb;
    putSubnet(sb, eth0(0, "192.168.1.10", "192.168.1.20"), true); // partly leased
    putSubnet(sb, eth0(1, "192.168.1.30", "192.168.1.31"), true); // full
    putSubnet(sb, eth0(2, "192.168.1.40", "192.168.1.40"), true); // empty
    putSubnet(sb, storedPxe(), true);
    sb.write("etc/dhcpd/dhcpdStatic.ori", "dhcp-host=02:00:00:00:00:0a,cam,192.168.1.15,infinite\n"
                                          "dhcp-host=02:00:00:00:00:0b,nas,192.168.1.60,infinite\n"
                                          "dhcp-host=02:00:00:00:00:0c,tv,192.168.5.120,infinite\n");
    sb.write("etc/dhcpd/dhcpd-leases.log",
             leaseRecord(600, "02:00:00:00:00:01", "192.168.1.11") +
                 leaseRecord(600, "02:00:00:00:00:02", "192.168.1.20") +
                 leaseRecord(-60, "02:00:00:00:00:03", "192.168.1.12") +        // expired
                 leaseRecord(600, "02:00:00:00:00:04", "192.168.1.13", "eth1") + // other interface
                 leaseRecord(600, "02:00:00:00:00:0a", "192.168.1.15") +        // reserved client
                 leaseRecord(600, "02:00:00:00:00:05", "192.168.1.50") +        // outside every range
                 leaseRecord(600, "02:00:00:00:00:06", "192.168.1.30") +
                 leaseRecord(600, "02:00:00:00:00:07", "192.168.1.31") +
                 leaseRecord(600, "02:00:00:00:00:08", "192.168.5.101"));
    Json::Value list = listing(sb, "eth0");
    const char *expected[] = {"11 2 1", "2 2 0", "1 0 0", "51 1 1"};
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
    putSubnet(sb, eth0(0, "192.168.1.10", "192.168.1.20"), true);
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
