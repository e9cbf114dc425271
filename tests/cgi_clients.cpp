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
    // The test addresses are all locally administered: no maker, and never
    // seen by the lease hook.
    c["vendor"] = "";
    c["randomMac"] = true;
    c["firstSeen"] = 0;
    // No subnet gives a domain here: the bare host name.
    c["dnsName"] = host;
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

// The maker comes from the registry's longest block, and the first sighting
// from the lease hook's file.
TEST(CgiClients, EntriesTellTheMakerAndWhenTheClientWasFirstSeen)
{
    Sandbox sb;
    sb.write("ieee/oui.csv", "Registry,Assignment,Organization Name,Organization Address\r\n"
                             "MA-L,3C2AF4,\"Brother Industries, LTD.\",JP\r\n");
    sb.write("ieee/mam.csv", "Registry,Assignment,Organization Name,Organization Address\r\n"
                             "MA-M,3C2AF40,Someone Smaller,JP\r\n");
    sb.write("var/packages/Orvath/target/etc/first-seen", "3c:2a:f4:00:50:21 1765000000\n");
    sb.write(kSystemLog, record(kDayHourMinute, "3C:2A:F4:00:50:21", "192.168.1.50", "printer", "eth0") +
                             record(kDayHourMinute, "3c:2a:f4:10:00:01", "192.168.1.51", "", "eth0") +
                             record(kDayHourMinute, "da:a1:19:00:00:01", "192.168.1.52", "phone", "eth0"));
    CgiRequest request;
    request.form = {{"action", "loadClientList"}, {"iftype", "eth0"}};
    request.env = {{"ORVATH_IEEE_DATA_DIR", sb.path("ieee")}};
    CgiResult r = runCgi(sb, request);
    const struct {
        const char *vendor;
        bool randomMac;
        int64_t firstSeen;
    } cases[] = {{"Someone Smaller", false, 1765000000}, {"Brother Industries, LTD.", false, 0}, {"", true, 0}};
    ASSERT_EQ(r.body["clientList"].size(), 3u) << r.out;
    for (Json::ArrayIndex i = 0; i < 3; ++i) {
        const Json::Value &entry = r.body["clientList"][i];
        EXPECT_EQ(entry["vendor"], cases[i].vendor) << i;
        EXPECT_EQ(entry["randomMac"], cases[i].randomMac) << i;
        EXPECT_EQ(entry["firstSeen"].asInt64(), cases[i].firstSeen) << i;
    }
}

// Keeping devices off: what the page gives is what it reads back; the files
// exist only while someone is kept off.
TEST(CgiClients, AccessRulesAreSavedAndReadBack)
{
    Sandbox sb;
    sb.installRestartRecorder();
    sb.addInterface("eth0", 2);
    const char kAccess[] = R"({"unknownClients": "ignore", "blocked": [{"mac": "02-00-00-00-00-AA", "note": "old tablet, lost"}]})";
    CgiResult r = runAction(sb, "applyAccess", {{"iftype", "eth0"}, {"access", kAccess}});
    EXPECT_EQ(r.body["success"], true) << r.out << r.err;
    const std::string saved = r.history["revision"].asString();
    const std::string list = sb.read("etc/dhcpd/orvath-eth0.access");
    EXPECT_EQ(list, "unknown=ignore\nblock=02:00:00:00:00:aa,old tablet, lost\n");
    EXPECT_EQ(sb.read("etc/dhcpd/dhcpd-eth0-access.conf"),
              "dhcp-ignore=tag:!known,tag:eth0\n"
              "dhcp-mac=set:blocked-eth0,02:00:00:00:00:aa\n"
              "dhcp-ignore=tag:blocked-eth0,tag:eth0\n");
    EXPECT_EQ(sb.restartCount(), 1);
    r = runAction(sb, "loadAccess", {{"iftype", "eth0"}});
    Json::Value expected;
    expected["unknownClients"] = "ignore";
    expected["blocked"][0]["mac"] = "02:00:00:00:00:aa";
    expected["blocked"][0]["note"] = "old tablet, lost";
    EXPECT_EQ(r.body["access"], expected) << r.out;
    EXPECT_TRUE(r.history.isMember("revision")) << r.out;

    r = runAction(sb, "applyAccess", {{"iftype", "eth0"}, {"access", R"({"unknownClients": "serve"})"}});
    EXPECT_EQ(r.body["success"], true) << r.out << r.err;
    for (const char *file : {"etc/dhcpd/dhcpd-eth0-access.conf", "etc/dhcpd/dhcpd-eth0-access.info",
                             "etc/dhcpd/orvath-eth0.access"})
        EXPECT_FALSE(sb.exists(file)) << file;

    // A save like any other: in the history, and put back by a revert.
    r = runAction(sb, "revertTo", {{"id", saved}});
    EXPECT_EQ(r.body["success"], true) << r.out << r.err;
    EXPECT_EQ(sb.read("etc/dhcpd/orvath-eth0.access"), list);
    EXPECT_EQ(sb.read("etc/dhcpd/dhcpd-eth0-access.info"), "enable=\"yes\"\n");
}

TEST(CgiClients, AccessAndWakeRequestsAreCheckedFirst)
{
    Sandbox sb;
    sb.installRestartRecorder();
    sb.addInterface("eth0", 2);
    std::string many = R"({"unknownClients": "serve", "blocked": [)";
    for (int i = 0; i < 513; ++i)
        many += std::string(i ? "," : "") + R"({"mac": "02:00:00:00:)" + (i < 256 ? "00" : "01") + ":" +
                "0123456789abcdef"[(i % 256) / 16] + "0123456789abcdef"[i % 16] + R"("})";
    many += "]}";
    const struct {
        const char *action;
        Params params;
        const char *error;
    } cases[] = {
        {"applyAccess", {{"iftype", "eth0"}, {"access", R"({"unknownClients": "drop"})"}},
         "access.unknownClients: not \"serve\" or \"ignore\""},
        {"applyAccess", {{"iftype", "eth0"}, {"access", "[]"}}, "access: not a JSON object"},
        {"applyAccess", {{"iftype", "eth9"}, {"access", R"({"unknownClients": "serve"})"}},
         "iftype: not an interface of this system"},
        {"applyAccess", {{"iftype", "eth0"}, {"access", R"({"unknownClients": "serve", "blocked": [{"mac": "02:00:00:00:00:1"}]})"}},
         "access.blocked[0].mac: "},
        {"applyAccess", {{"iftype", "eth0"}, {"access", R"({"unknownClients": "serve", "blocked": [{"mac": "02:00:00:00:00:01"}, {"mac": "02-00-00-00-00-01"}]})"}},
         "access.blocked[1].mac: given twice"},
        {"applyAccess", {{"iftype", "eth0"}, {"access", R"({"unknownClients": "serve", "blocked": [{"mac": "02:00:00:00:00:01", "note": "a\u0007b"}]})"}},
         "access.blocked[0].note: not printable"},
        {"applyAccess", {{"iftype", "eth0"}, {"access", R"({"unknownClients": "serve", "blocked": [{"mac": "02:00:00:00:00:01", "note": "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx"}]})"}},
         "access.blocked[0].note: longer than 64 bytes"},
        {"applyAccess", {{"iftype", "eth0"}, {"access", many}}, "access.blocked: more than 512 clients"},
        {"wakeClient", {{"iftype", "eth9"}, {"mac", "02:00:00:00:00:01"}}, "iftype: not an interface of this system"},
        {"wakeClient", {{"iftype", "eth0"}, {"mac", "02:00:00:00:00"}}, "mac: "},
        {"wakeClient", {{"iftype", "eth0"}, {"mac", "01:00:5e:00:00:01"}}, "mac: a group address, not one device's"},
    };
    for (const auto &c : cases) {
        CgiResult r = runAction(sb, c.action, c.params);
        EXPECT_EQ(r.body["success"], false) << c.error;
        EXPECT_EQ(r.errorInfo["errorKind"], "invalid") << c.error;
        EXPECT_THAT(r.body["error"].asString(), HasSubstr(c.error)) << r.out;
    }
    EXPECT_FALSE(sb.exists("etc/dhcpd/orvath-eth0.access"));
}

// Under a test root, no packet leaves the machine's own network: the request
// is refused before anything is sent (the interface exists only in the test
// root, so nothing could be sent there either).
TEST(CgiClients, WakeUnderATestRootStaysOffTheMachinesOwnNetwork)
{
    Sandbox sb;
    sb.addInterface("orvtest9", 2);
    CgiResult r = runAction(sb, "wakeClient", {{"iftype", "orvtest9"}, {"mac", "3c:2a:f4:00:50:21"}});
    EXPECT_EQ(r.body["success"], false) << r.out;
    EXPECT_EQ(r.body["sent"], false) << r.out;
    // Inside a container's own namespace the interface is what is missing.
    std::string error = r.body["error"].asString();
    EXPECT_TRUE(error.find("network namespace") != std::string::npos ||
                error.find("no such interface here") != std::string::npos)
        << r.out;
    EXPECT_THAT(r.err, HasSubstr("Wake 3c:2a:f4:00:50:21 on orvtest9 asked by admin")) << r.err;
}
