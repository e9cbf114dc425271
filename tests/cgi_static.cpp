// Static reservations through the orvath program: the static step of
// "applydata", "loadStatic" and "checkReservations".
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <time.h>

#include "cgi_files.h"

using ::testing::HasSubstr;

namespace {

const char kList[] = "etc/dhcpd/dhcpdStatic.ori";
const char kFragment[] = "etc/dhcpd/dhcpd-static-static.conf";
const char kFixedLines[] = "interface=static\n"
                           "dhcp-range=set:static,127.0.0.1,127.0.0.1,255.255.255.0,86400\n"
                           "dhcp-option=tag:static,option:router,127.0.0.1\n"
                           "dhcp-option=tag:static,option:dns-server,127.0.0.1\n";

// The appliance's image ships the directory of the DHCP files; the
// reservation store writes into it without creating it.
struct StaticRoot : Sandbox {
    StaticRoot() { mkdirs("etc/dhcpd"); }
};

CgiResult storeText(const Sandbox &sb, const std::string &text)
{
    return runAction(sb, "applydata", {{"staticData", text}});
}

CgiResult store(const Sandbox &sb, std::initializer_list<Json::Value> set)
{
    Json::Value all(Json::arrayValue);
    for (const auto &r : set)
        all.append(r);
    return storeText(sb, toJsonText(all));
}

TEST(CgiStatic, StoreThenListKeepsOrderDuplicatesAndEmptyHostNames)
{
    StaticRoot sb;
    sb.installRestartRecorder();
    CgiResult r = store(sb, {reservation("02:00:00:00:00:0c", "192.168.1.30", "camera"),
                             reservation("02:00:00:00:00:0a", "192.168.1.10", ""),
                             reservation("02:00:00:00:00:0c", "192.168.1.31", "camera-2")});
    EXPECT_EQ(r.body["success"], Json::Value(true)) << r.out;
    EXPECT_EQ(sb.restartCount(), 1);
    const std::string lines = "dhcp-host=02:00:00:00:00:0c,camera,192.168.1.30,infinite\n"
                              "dhcp-host=02:00:00:00:00:0a,,192.168.1.10,infinite\n"
                              "dhcp-host=02:00:00:00:00:0c,camera-2,192.168.1.31,infinite\n";
    EXPECT_EQ(sb.read(kList), lines);
    EXPECT_EQ(sb.read(kFragment), kFixedLines + lines);
    EXPECT_EQ(sb.read("etc/dhcpd/dhcpd-static-static.info"), infoText(true));

    r = runAction(sb, "loadStatic");
    EXPECT_EQ(r.body, parseJson(R"({"success": true, "itemCount": 3, "staticData": [
        {"mac": "02:00:00:00:00:0c", "ip": "192.168.1.30", "hostname": "camera"},
        {"mac": "02:00:00:00:00:0a", "ip": "192.168.1.10", "hostname": ""},
        {"mac": "02:00:00:00:00:0c", "ip": "192.168.1.31", "hostname": "camera-2"}]})"))
        << r.out;
    EXPECT_EQ(sb.restartCount(), 1);

    // A new set replaces the old one whole.
    store(sb, {reservation("02:00:00:00:00:0b", "192.168.1.20", "printer")});
    EXPECT_EQ(sb.read(kList), "dhcp-host=02:00:00:00:00:0b,printer,192.168.1.20,infinite\n");
}

// A reservation's IPv6 address lives in files of its own: the IPv4 list and
// fragment stay byte for byte as without it; it reads back with its row; a
// set without any leaves none of its files.
TEST(CgiStatic, Ipv6AddressesOfReservationsKeepTheIpv4FilesAsTheyAre)
{
    StaticRoot sb;
    sb.installRestartRecorder();
    sb.addInterface("eth0", 2);
    sb.write("sys/class/net/eth0/orvath_addrs6", "fd50::1/64\n");
    Json::Value printer = reservation("02:00:00:00:00:0b", "192.168.1.20", "printer");
    Json::Value camera = reservation("02:00:00:00:00:0c", "192.168.1.30", "");
    Json::Value nas = reservation("02:00:00:00:00:0d", "192.168.1.40", "nas");
    ASSERT_EQ(store(sb, {printer, camera, nas}).body["success"], Json::Value(true));
    const std::string list = sb.read(kList), fragment = sb.read(kFragment);
    printer["ipv6"] = "::10";
    camera["ipv6"] = "fd50::c";
    nas["ipv6"] = "";
    CgiResult r = store(sb, {printer, camera, nas});
    ASSERT_EQ(r.body["success"], Json::Value(true)) << r.out;
    EXPECT_EQ(sb.read(kList), list);
    EXPECT_EQ(sb.read(kFragment), fragment);
    const std::string lines = "dhcp-host=02:00:00:00:00:0b,[::10],printer,infinite\n"
                              "dhcp-host=02:00:00:00:00:0c,[fd50::c],infinite\n";
    EXPECT_EQ(sb.read("etc/dhcpd/dhcpdStatic6.ori"), lines);
    EXPECT_EQ(sb.read("etc/dhcpd/dhcpd-static6-static6.conf"), lines);
    EXPECT_EQ(sb.read("etc/dhcpd/dhcpd-static6-static6.info"), infoText(true));
    r = runAction(sb, "loadStatic");
    EXPECT_EQ(r.body["staticData"], parseJson(R"([
        {"mac": "02:00:00:00:00:0b", "ip": "192.168.1.20", "hostname": "printer", "ipv6": "::10"},
        {"mac": "02:00:00:00:00:0c", "ip": "192.168.1.30", "hostname": "", "ipv6": "fd50::c"},
        {"mac": "02:00:00:00:00:0d", "ip": "192.168.1.40", "hostname": "nas"}])")) << r.out;

    const struct {
        const char *ipv6;
        const char *error;
    } refused[] = {
        {"fd60::c", "staticData[0].ipv6: not a host part and inside no prefix of this system's interfaces"},
        {"fe80::c", "staticData[0].ipv6: a link-local address"},
        {"::10,infinite", "staticData[0].ipv6: not an IPv6 address"},
        {"[::10]", "staticData[0].ipv6: not an IPv6 address"},
    };
    for (const auto &c : refused) {
        Json::Value bad = printer;
        bad["ipv6"] = c.ipv6;
        auto before = filesOf(sb);
        r = store(sb, {bad});
        EXPECT_EQ(r.body["error"], Json::Value(c.error)) << r.out;
        EXPECT_EQ(filesOf(sb), before) << c.ipv6;
    }

    ASSERT_EQ(store(sb, {reservation("02:00:00:00:00:0b", "192.168.1.20", "printer")}).body["success"],
              Json::Value(true));
    for (const char *gone : {"etc/dhcpd/dhcpdStatic6.ori", "etc/dhcpd/dhcpd-static6-static6.conf",
                             "etc/dhcpd/dhcpd-static6-static6.info"})
        EXPECT_FALSE(sb.exists(gone)) << gone;
}

TEST(CgiStatic, EmptyArrayAndScalarRootsClearTheSet)
{
    for (const char *text : {"[]", "5", "\"text\"", "true", "false", "null", "// none\n[]"}) {
        StaticRoot sb;
        store(sb, {reservation("02:00:00:00:00:0b", "192.168.1.20", "printer")});
        CgiResult r = storeText(sb, text);
        EXPECT_EQ(r.body["success"], Json::Value(true)) << text;
        EXPECT_FALSE(sb.exists(kList)) << text;
        EXPECT_EQ(sb.read(kFragment), kFixedLines) << text;

        r = runAction(sb, "loadStatic");
        expectOnlySuccess(r, false);
        EXPECT_THAT(r.err, HasSubstr("Can not open DHCP static file"));
    }
}

TEST(CgiStatic, TextThatIsNoReservationArrayLeavesTheSetAlone)
{
    for (const char *text : {"", "[{\"mac\": ", "dhcp-host=x", "{\"mac\": \"02:00:00:00:00:0a\"}",
                             "{}"}) {
        StaticRoot sb;
        store(sb, {reservation("02:00:00:00:00:0b", "192.168.1.20", "printer")});
        auto before = filesOf(sb);
        CgiResult r = storeText(sb, text);
        EXPECT_EQ(r.body["success"], Json::Value(true)) << text;
        EXPECT_THAT(r.err, HasSubstr("Error: parsing error, reason = ")) << text;
        EXPECT_EQ(filesOf(sb), before) << text;
    }

    // Absent altogether.
    StaticRoot sb;
    store(sb, {reservation("02:00:00:00:00:0b", "192.168.1.20", "printer")});
    auto before = filesOf(sb);
    CgiResult r = runAction(sb, "applydata");
    EXPECT_EQ(r.body["success"], Json::Value(true)) << r.out;
    EXPECT_EQ(filesOf(sb), before);
}

TEST(CgiStatic, ElementsWithoutTextMembersAreLeftOut)
{
    StaticRoot sb;
    Json::Value noMac = reservation("", "192.168.1.11", "a");
    noMac.removeMember("mac");
    Json::Value numericIp = reservation("02:00:00:00:00:0e", "", "b");
    numericIp["ip"] = 3232235787u;
    Json::Value nullHost = reservation("02:00:00:00:00:0f", "192.168.1.13", "");
    nullHost["hostname"] = Json::Value(Json::nullValue);
    CgiResult r = store(sb, {noMac, reservation("02:00:00:00:00:0d", "192.168.1.12", "nas"),
                             numericIp, nullHost, Json::Value("02:00:00:00:00:10")});
    EXPECT_EQ(r.body["success"], Json::Value(true)) << r.out;
    EXPECT_EQ(sb.read(kList), "dhcp-host=02:00:00:00:00:0d,nas,192.168.1.12,infinite\n");
    EXPECT_EQ(sb.read(kFragment),
              std::string(kFixedLines) + "dhcp-host=02:00:00:00:00:0d,nas,192.168.1.12,infinite\n");
}

TEST(CgiStatic, LoadStaticListsWhatTheListHolds)
{
    StaticRoot sb;
    sb.write(kList, "");
    CgiResult r = runAction(sb, "loadStatic");
    EXPECT_EQ(r.body, parseJson(R"({"success": true, "itemCount": 0, "staticData": []})"))
        << r.out;

    // Over-long addresses are cut to 19 characters; a last line without its
    // newline is read; a line that cannot be split is left out rather than
    // repeating its neighbour.
    sb.write(kList, "dhcp-host=02:00:00:00:00:0a:ff:ee:dd,pc,192.168.100.100.100.1,infinite\n"
                    "garbage\n"
                    "dhcp-host=02:00:00:00:00:0b,tv,192.168.1.21,infinite");
    r = runAction(sb, "loadStatic");
    EXPECT_EQ(r.body, parseJson(R"({"success": true, "itemCount": 2, "staticData": [
        {"mac": "02:00:00:00:00:0a:f", "ip": "192.168.100.100.100", "hostname": "pc"},
        {"mac": "02:00:00:00:00:0b", "ip": "192.168.1.21", "hostname": "tv"}]})"))
        << r.out;
}

TEST(CgiStatic, CheckReservationsWarnsInTheScreensWords)
{
    StaticRoot sb;
    sb.addInterface("eth0", 2);
    putSubnet(sb,
              {"eth0", "eth00",
               "interface=eth0\n"
               "dhcp-range=set:eth00,192.168.1.10,192.168.1.20,255.255.255.0,3600\n"
               "dhcp-option=tag:eth00,option:router,192.168.1.1\n"
               "dhcp-option=tag:eth00,option:dns-server,192.168.1.1\n"},
              true);
    const char *hosts[][2] = {
        {"02:00:00:00:00:0a", "192.168.1.15"}, {"02:00:00:00:00:0b", "192.168.9.5"},
        {"02:00:00:00:00:0c", "192.168.1.1"},  {"02:00:00:00:00:0d", "192.168.1.0"},
        {"02:00:00:00:00:0e", "192.168.1.255"}, {"02:00:00:00:00:0A", "192.168.1.60"},
        {"02:00:00:00:00:0f", "192.168.1.70"}, {"02:00:00:00:00:10", "192.168.1.80"},
    };
    std::string list;
    for (const auto &h : hosts)
        list += std::string("dhcp-host=") + h[0] + ",," + h[1] + ",infinite\n";
    sb.write(kList, list);
    const std::string later = std::to_string((unsigned long)time(nullptr) + 600);
    sb.write("etc/dhcpd/dhcpd-leases.log", later + " 02:00:00:00:00:99 192.168.1.70 pc eth0\n" +
                                               later + " 02:00:00:00:00:10 192.168.1.80 tv eth0\n");
    CgiResult r = runAction(sb, "checkReservations");
    ASSERT_EQ(r.body["success"], Json::Value(true)) << r.out;
    std::string warnings;
    for (const Json::Value &w : r.body["warnings"])
        warnings += w["index"].asString() + " " + w["mac"].asString() + " " + w["ip"].asString() +
                    ": " + w["reason"].asString() + "\n";
    EXPECT_EQ(warnings,
              "0 02:00:00:00:00:0a 192.168.1.15: inside the address range of eth0, Subnet 1: "
              "still served, but the range has one address fewer to lend\n"
              "1 02:00:00:00:00:0b 192.168.9.5: in no subnet of any interface: no client can use it\n"
              "2 02:00:00:00:00:0c 192.168.1.1: the gateway of eth0, Subnet 1: no client can use it\n"
              "3 02:00:00:00:00:0d 192.168.1.0: the network address of eth0, Subnet 1: no client can use it\n"
              "4 02:00:00:00:00:0e 192.168.1.255: the broadcast address of eth0, Subnet 1: no client can use it\n"
              "0 02:00:00:00:00:0a 192.168.1.15: not used: reservation 6 has the same MAC address, "
              "and dnsmasq gives the client that one's address\n"
              "6 02:00:00:00:00:0f 192.168.1.70: leased right now to another client "
              "(02:00:00:00:00:99)\n");
}

} // namespace
