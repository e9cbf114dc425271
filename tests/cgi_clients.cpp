// "loadClientList": the clients holding a lease on one interface, with the
// package's lease log brought up to date first.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <time.h>

#include "cgi_files.h"

using ::testing::HasSubstr;
using ::testing::Not;

namespace {

const char kSystemLog[] = "etc/dhcpd/dhcpd-leases.log";
const char kPackageLog[] = "var/packages/Orvath/target/etc/dhcpd-leases.log";
const char kServiceLeases[] = "var/packages/Orvath/target/etc/dhcpd.conf.leases";

// A lease-log record expiring `offset` seconds from now.
std::string record(long offset, const std::string &mac, const std::string &ip,
                   const std::string &host, const std::string &ifName)
{
    return std::to_string((unsigned long)(time(nullptr) + offset)) + " " + mac + " " + ip + " " +
           host + " " + ifName + "\n";
}

Json::Value client(const std::string &mac, const std::string &ip, const std::string &host,
                   const std::string &expire)
{
    Json::Value c(Json::objectValue);
    c["mac"] = mac;
    c["ip"] = ip;
    c["hostname"] = host;
    c["expire"] = expire;
    return c;
}

Json::Value answer(std::initializer_list<Json::Value> clients)
{
    Json::Value a(Json::objectValue);
    a["success"] = true;
    a["clientList"] = Json::Value(Json::arrayValue);
    for (const auto &c : clients)
        a["clientList"].append(c);
    a["itemCount"] = (int)clients.size();
    a["clientList6"] = Json::Value(Json::arrayValue);
    return a;
}

// 90061 s is one day, one hour and one minute; the margin covers the time
// between writing the record and the request.
const long kDayHourMinute = 90061 + 30;

TEST(CgiClients, AnUnreadableReservationListStillListsTheClients)
{
    // The expiry text cannot be formed without the reservation list; the
    // client is listed all the same, with an empty expiry.
    Sandbox sb;
    sb.mkdirs("etc/dhcpd/dhcpdStatic.ori");
    sb.write(kSystemLog, record(kDayHourMinute, "02:00:00:00:00:01", "192.168.1.50", "laptop", "eth0"));
    CgiResult r = runAction(sb, "loadClientList", {{"iftype", "eth0"}});
    EXPECT_EQ(r.body, answer({client("02:00:00:00:00:01", "192.168.1.50", "laptop", "")})) << r.out;
    EXPECT_THAT(r.err, HasSubstr("check reserved list fail"));
}

TEST(CgiClients, ListsTheRecordsOfTheRequestedInterfaceOnly)
{
    Sandbox sb;
    sb.installRestartRecorder();
    sb.write("etc/dhcpd/dhcpdStatic.ori",
             "dhcp-host=02:00:00:00:00:06,cam,192.168.1.54,infinite\n");
    std::string log = record(kDayHourMinute, "02:00:00:00:00:01", "192.168.1.50", "laptop", "eth0") +
                      record(kDayHourMinute, "02:00:00:00:00:02", "192.168.2.50", "phone", "eth1") +
                      record(kDayHourMinute, "02:00:00:00:00:03", "192.168.1.51", "tab", "ETH0") +
                      "garbage\n" +
                      record(-60, "02:00:00:00:00:04", "192.168.1.52", "old", "eth0") +
                      std::to_string((unsigned long)time(nullptr) + kDayHourMinute) +
                      " 02:00:00:00:00:05 192.168.1.53 eth0\n" +
                      record(100, "02:00:00:00:00:06", "192.168.1.54", "cam", "eth0");
    sb.write(kSystemLog, log);

    // Neither the service's lease file nor the package's log exists: both
    // maintenance steps fail, are logged, and the list still comes.
    CgiResult r = runAction(sb, "loadClientList", {{"iftype", "eth0"}});
    EXPECT_EQ(r.body, answer({client("02:00:00:00:00:01", "192.168.1.50", "laptop", "1,1,1"),
                              client("02:00:00:00:00:04", "192.168.1.52", "old", "expired"),
                              client("02:00:00:00:00:05", "192.168.1.53", "", "1,1,1"),
                              client("02:00:00:00:00:06", "192.168.1.54", "cam", "unlimited")}))
        << r.out;
    EXPECT_THAT(r.err, HasSubstr("Updating leasetime failed"));
    EXPECT_THAT(r.err, HasSubstr("Cannot remove expired lease"));
    EXPECT_EQ(sb.read(kSystemLog), log);
    EXPECT_EQ(sb.restartCount(), 0);

    r = runAction(sb, "loadClientList", {{"iftype", "eth1"}});
    EXPECT_EQ(r.body, answer({client("02:00:00:00:00:02", "192.168.2.50", "phone", "1,1,1")}))
        << r.out;
}

TEST(CgiClients, EmptyLogListsNothingAndMissingLogFails)
{
    Sandbox sb;
    CgiResult r = runAction(sb, "loadClientList", {{"iftype", "eth0"}});
    expectOnlySuccess(r, false);
    EXPECT_THAT(r.err, HasSubstr("Can not open DHCP lease file"));

    sb.write(kSystemLog, "");
    r = runAction(sb, "loadClientList", {{"iftype", "eth0"}});
    EXPECT_EQ(r.body, answer({})) << r.out;
}

TEST(CgiClients, ApplianceSettingsChooseTheLeaseLog)
{
    const struct {
        const char *info; // nullptr: no settings file
        bool packageLog;
    } cases[] = {
        {"enable=\"no\"\n", true},   {"enable=no\n", true},     {"enable=\"yes\"\n", false},
        {"enable=\"No\"\n", false},  {"other=\"no\"\n", false}, {nullptr, false},
    };
    for (const auto &c : cases) {
        Sandbox sb;
        if (c.info)
            sb.write("etc/dhcpd/dhcpd.info", c.info);
        sb.write(kSystemLog, record(kDayHourMinute, "02:00:00:00:00:01", "192.168.1.50", "a", "eth0"));
        sb.write(kPackageLog, record(kDayHourMinute, "02:00:00:00:00:02", "192.168.1.60", "b", "eth0"));
        CgiResult r = runAction(sb, "loadClientList", {{"iftype", "eth0"}});
        ASSERT_EQ(r.body["clientList"].size(), 1u) << r.out;
        EXPECT_EQ(r.body["clientList"][0]["hostname"], Json::Value(c.packageLog ? "b" : "a"))
            << (c.info ? c.info : "(none)");
    }
}

TEST(CgiClients, PackageLogIsUpdatedAndCleanedBeforeListing)
{
    Sandbox sb;
    sb.write("etc/dhcpd/dhcpd.info", "enable=\"no\"\n");
    const time_t now = time(nullptr);
    const std::string renewed = std::to_string((unsigned long)now + kDayHourMinute);
    const std::string kept = record(kDayHourMinute, "02:00:00:00:00:03", "192.168.1.52", "tv", "eth0");
    sb.write(kPackageLog, record(100, "02:00:00:00:00:01", "192.168.1.50", "laptop", "eth0") +
                              record(-7200, "02:00:00:00:00:02", "192.168.1.51", "old", "eth0") +
                              kept);
    sb.write(kServiceLeases, renewed + " 02:00:00:00:00:01 192.168.1.50 laptop 01:02:00:00:00:00:01\n");

    CgiResult r = runAction(sb, "loadClientList", {{"iftype", "eth0"}});
    EXPECT_EQ(r.body, answer({client("02:00:00:00:00:03", "192.168.1.52", "tv", "1,1,1"),
                              client("02:00:00:00:00:01", "192.168.1.50", "laptop", "1,1,1")}))
        << r.out;
    EXPECT_THAT(r.err, Not(HasSubstr("Updating leasetime failed")));
    EXPECT_THAT(r.err, Not(HasSubstr("Cannot remove expired lease")));
    EXPECT_EQ(sb.read(kPackageLog), kept + renewed + " 02:00:00:00:00:01 192.168.1.50 laptop eth0\n");
    EXPECT_FALSE(sb.exists(std::string(kPackageLog) + ".tmp"));
}

// The DHCPv6 leases of dnsmasq's lease file, after its "duid" line: those
// inside the interface's prefixes, the MAC address where the DUID is made of
// it, a reservation's infinite lease as "unlimited".
TEST(CgiClients, ListsTheDhcpv6LeasesInsideTheInterfacesPrefixes)
{
    Sandbox sb;
    sb.write("etc/dhcpd/dhcpd.info", "enable=\"no\"\n");
    sb.write(kPackageLog, "");
    sb.write("sys/class/net/eth0/orvath_addrs6", "fd50::1/64\n");
    sb.write("sys/class/net/eth1/orvath_addrs6", "fd60::1/64\n");
    const std::string soon = std::to_string((unsigned long)time(nullptr) + kDayHourMinute);
    sb.write(kServiceLeases,
             soon + " 02:00:00:00:00:01 192.168.1.50 laptop 01:02:00:00:00:00:01\n"
             "duid 00:01:00:01:32:aa:f3:64:02:00:00:00:50:01\n" +
             soon + " 20496 fd50::1d2 * 00:03:00:01:02:00:00:00:50:10\n"
             "0 20497 fd50::10 printer 00:01:00:01:32:aa:f2:7c:02:00:00:00:50:11\n" +
             soon + " 7 fd60::100 phone 00:03:00:01:02:00:00:00:60:10\n" +
             soon + " 8 fd50::20 odd 00:02:00:00:ab:11:01\n" +
             soon + " 9x fd50::30 bad 00:03:00:01:02:00:00:00:50:12\n" +
             soon + " 10 fd50::zz bad 00:03:00:01:02:00:00:00:50:13\n");
    CgiResult r = runAction(sb, "loadClientList", {{"iftype", "eth0"}});
    EXPECT_EQ(r.body["clientList6"], parseJson(R"([
        {"ip": "fd50::1d2", "duid": "00:03:00:01:02:00:00:00:50:10", "iaid": 20496, "hostname": "",
         "mac": "02:00:00:00:50:10", "expire": "1,1,1"},
        {"ip": "fd50::10", "duid": "00:01:00:01:32:aa:f2:7c:02:00:00:00:50:11", "iaid": 20497,
         "hostname": "printer", "mac": "02:00:00:00:50:11", "expire": "unlimited"},
        {"ip": "fd50::20", "duid": "00:02:00:00:ab:11:01", "iaid": 8, "hostname": "odd",
         "expire": "1,1,1"}])")) << r.out;
    r = runAction(sb, "loadClientList", {{"iftype", "eth1"}});
    ASSERT_EQ(r.body["clientList6"].size(), 1u) << r.out;
    EXPECT_EQ(r.body["clientList6"][0]["ip"], "fd60::100");
}

TEST(CgiClients, EmptyInterfaceLeavesTheLeaseLogUntouched)
{
    Sandbox sb;
    sb.write("etc/dhcpd/dhcpd.info", "enable=\"no\"\n");
    sb.write(kPackageLog, record(-7200, "02:00:00:00:00:02", "192.168.1.51", "old", "eth0"));
    sb.write(kServiceLeases, std::to_string((unsigned long)time(nullptr) + 600) +
                                 " 02:00:00:00:00:02 192.168.1.51 old *\n");
    auto before = filesOf(sb);
    for (const Params &params : {Params{{"iftype", ""}}, Params{}}) {
        CgiResult r = runAction(sb, "loadClientList", params);
        expectOnlySuccess(r, false);
        EXPECT_THAT(r.err, HasSubstr("WRONG interface name!"));
        EXPECT_EQ(filesOf(sb), before);
    }
}

} // namespace
