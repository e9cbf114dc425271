// The configuration history through the built program: which requests record
// a revision, what a revert puts back, the conflict between two pages, and
// the bound.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <functional>

#include "cgi_files.h"

namespace {

using Files = std::map<std::string, std::string>;

struct HistoryRoot : Sandbox {
    HistoryRoot()
    {
        mkdirs("etc/dhcpd");
        addInterface("eth0", 2);
        installRestartRecorder();
    }
};

// Posts a request; unless told, the history must have recorded it
// without an error.
CgiResult post(const Sandbox &sb, const Params &form, bool historyFails = false)
{
    CgiRequest request;
    request.form = form;
    request.env = {{"REMOTE_ADDR", "192.0.2.7"}};
    CgiResult r = runCgi(sb, request);
    EXPECT_EQ(r.history.isMember("historyError"), historyFails) << r.out;
    return r;
}

// "applydata" for eth0: `rows` subnets 10.1.<i>.0/24, the lease time in
// minutes, and reservations of 02:00:00:00:00:<i>.
Params save(int rows, const std::string &minutes, int hosts)
{
    Json::Value table(Json::arrayValue), set(Json::arrayValue);
    for (int i = 0; i < rows; ++i) {
        std::string net = "10.1." + std::to_string(i) + ".";
        table.append(row(net + "100", net + "200", net + "1", true));
    }
    for (int i = 0; i < hosts; ++i)
        set.append(reservation("02:00:00:00:00:1" + std::to_string(i),
                               "10.1.0." + std::to_string(10 + i), "h" + std::to_string(i)));
    return {{"action", "applydata"},
            {"dataArray", toJsonText(globals("eth0", true, minutes, "10.0.0.1"))},
            {"subnetData", toJsonText(table)},
            {"staticData", toJsonText(set)}};
}

// The parameters with `name` set to `value`.
Params with(Params params, const std::string &name, const std::string &value)
{
    for (auto &param : params) {
        if (param.first == name) {
            param.second = value;
            return params;
        }
    }
    params.push_back({name, value});
    return params;
}

// The history as one line per revision: "<id> <action> <iftype> <user>
// <addr> [revertOf] <summary>".
std::string historyText(const Sandbox &sb)
{
    CgiResult r = runAction(sb, "listHistory");
    std::string text;
    for (const Json::Value &rev : r.body["revisions"]) {
        text += rev["id"].asString() + " " + rev["action"].asString() + " " +
                rev["iftype"].asString() + " " + rev["user"].asString() + " " +
                rev["addr"].asString() + " ";
        if (rev.isMember("revertOf"))
            text += "of " + rev["revertOf"].asString() + " ";
        text += rev["summary"].asString() + "\n";
    }
    return text;
}

// "applyOptions" on eth0 with the given options (JSON text).
Params options(const std::string &list)
{
    return {{"action", "applyOptions"}, {"iftype", "eth0"}, {"options", list}};
}

const char kStore[] = "var/packages/Orvath/target/history.db";

// Another program's files, which no request may write, remove or record.
const Files kForeign = {
    {"etc/dhcpd/dhcpd-lbr0-lbr0.conf", kAccessPoint.fragment},
    {"etc/dhcpd/dhcpd-lbr0-lbr0.info", "enable=\"yes\"\n"},
    {"etc/dhcpd/dhcpd.info", "enable=\"no\"\n"},
};

// A subnet of eth1 as a save writes it, here written by hand.
const char kEth1Subnet[] = "interface=eth1\n"
                           "dhcp-range=set:eth10,10.2.0.100,10.2.0.200,255.255.255.0,3600\n"
                           "dhcp-option=tag:eth10,option:router,10.2.0.1\n"
                           "dhcp-option=tag:eth10,option:dns-server,10.0.0.1\n";

TEST(CgiHistory, RulesOfTheHistory)
{
    struct Case {
        const char *name;
        std::function<void(const Sandbox &)> steps;
        const char *history;
    };
    const Case cases[] = {
        {"the first change records the configuration before it",
         [](const Sandbox &sb) {
             sb.write("etc/dhcpd/dhcpdStatic.ori", "02:00:00:00:00:99=\"10.1.0.99 old\"\n");
             CgiResult r = post(sb, save(1, "60", 1));
             EXPECT_EQ(r.history["revision"], Json::Value(2)) << r.out;
         },
         "2 applydata eth0 admin 192.0.2.7 eth0: 1 subnet, 1 reservation, PXE off\n"
         "1 initial    0 subnets, 1 reservation, PXE off\n"},
        {"a request that changed nothing records nothing",
         [](const Sandbox &sb) {
             sb.write("etc/dhcpd/dhcpd.info", ""); // an empty file is a file too
             post(sb, save(1, "60", 0));
             CgiResult r = post(sb, save(1, "60", 0));
             EXPECT_EQ(r.body["success"], Json::Value(true)) << r.out;
             EXPECT_FALSE(r.history.isMember("revision")) << r.out;
         },
         "2 applydata eth0 admin 192.0.2.7 eth0: 1 subnet, 0 reservations, PXE off\n"
         "1 initial    0 subnets, 0 reservations, PXE off\n"},
        {"a refused request records nothing",
         [](const Sandbox &sb) {
             CgiResult r = post(sb, with(save(1, "60", 0), "subnetData", "[{\"startip\":\"x\"}]"));
             EXPECT_EQ(r.body["success"], Json::Value(false)) << r.out;
             EXPECT_FALSE(r.history.isMember("revision")) << r.out;
         },
         ""},
        {"an unknown revision is neither shown nor reverted",
         [](const Sandbox &sb) {
             post(sb, save(1, "60", 0));
             for (const char *action : {"showRevision", "revertTo"}) {
                 CgiResult r = post(sb, {{"action", action}, {"id", "9"}});
                 EXPECT_EQ(r.body["success"], Json::Value(false)) << action;
                 EXPECT_EQ(r.body["error"], Json::Value("no revision 9 in the history")) << action;
             }
         },
         "2 applydata eth0 admin 192.0.2.7 eth0: 1 subnet, 0 reservations, PXE off\n"
         "1 initial    0 subnets, 0 reservations, PXE off\n"},
        {"a save from an older revision is a conflict and writes nothing",
         [](const Sandbox &sb) {
             post(sb, save(1, "60", 0));
             EXPECT_EQ(runAction(sb, "loadGlobal", {{"iftype", "eth0"}}).history["revision"],
                       Json::Value(2));
             Files before = filesOf(sb);
             CgiResult r = post(sb, with(save(2, "60", 0), "baseRevision", "1"));
             EXPECT_EQ(r.body["conflict"], Json::Value(true)) << r.out;
             EXPECT_THAT(r.body["error"].asString(),
                         ::testing::MatchesRegex("changed by admin from 192.0.2.7 at "
                                                 "[0-9-]+ [0-9:]+ UTC since this page was loaded"));
             EXPECT_EQ(filesOf(sb), before);
             r = post(sb, with(save(2, "60", 0), "baseRevision", "2"));
             EXPECT_EQ(r.history["revision"], Json::Value(3)) << r.out;
         },
         "3 applydata eth0 admin 192.0.2.7 eth0: 2 subnets, 0 reservations, PXE off\n"
         "2 applydata eth0 admin 192.0.2.7 eth0: 1 subnet, 0 reservations, PXE off\n"
         "1 initial    0 subnets, 0 reservations, PXE off\n"},
        {"a store put back from a backup answers its own newest revision",
         [](const Sandbox &sb) {
             post(sb, save(1, "60", 0));
             const std::string backup = sb.read(kStore);
             post(sb, save(2, "60", 0));
             EXPECT_EQ(runAction(sb, "getIfData", {{"iftype", "eth0"}}).history["revision"],
                       Json::Value(3));
             sb.write(kStore, backup, 0600);
             EXPECT_EQ(runAction(sb, "getIfData", {{"iftype", "eth0"}}).history["revision"],
                       Json::Value(2));
             CgiResult r = post(sb, with(save(2, "60", 0), "baseRevision", "3"));
             EXPECT_EQ(r.body["conflict"], Json::Value(true)) << r.out;
         },
         "2 applydata eth0 admin 192.0.2.7 eth0: 1 subnet, 0 reservations, PXE off\n"
         "1 initial    0 subnets, 0 reservations, PXE off\n"},
        {"a revert puts the options back, and loadOptions answers them",
         [](const Sandbox &sb) {
             post(sb, save(1, "60", 0));
             post(sb, options(R"([{"name": "ntp-server", "value": "10.1.0.5"}])"));
             post(sb, options(R"([{"name": "ntp-server", "value": "10.1.0.99"},
                                  {"name": "mtu", "value": "1400"}])"));
             CgiResult r = post(sb, {{"action", "revertTo"}, {"id", "3"}});
             EXPECT_EQ(r.body["success"], Json::Value(true)) << r.out;
             r = runAction(sb, "loadOptions", {{"iftype", "eth0"}});
             EXPECT_EQ(r.body["options"], parseJson(R"([{"name": "ntp-server", "code": 42,
                 "type": "ipv4-list", "value": "10.1.0.5"}])")) << r.out;
         },
         "5 revertTo  admin 192.0.2.7 of 3 1 subnet, 0 reservations, PXE off\n"
         "4 applyOptions eth0 admin 192.0.2.7 eth0: 1 subnet, 0 reservations, PXE off\n"
         "3 applyOptions eth0 admin 192.0.2.7 eth0: 1 subnet, 0 reservations, PXE off\n"
         "2 applydata eth0 admin 192.0.2.7 eth0: 1 subnet, 0 reservations, PXE off\n"
         "1 initial    0 subnets, 0 reservations, PXE off\n"},
        {"a revert of one interface puts back its subnets and options only",
         [](const Sandbox &sb) {
             sb.addInterface("eth1", 3);
             post(sb, save(1, "60", 1));
             post(sb, options(R"([{"name": "ntp-server", "value": "10.1.0.5"}])"));
             post(sb, with(options(R"([{"name": "mtu", "value": "1400"}])"), "iftype", "eth1"));
             post(sb, save(2, "60", 2));
             CgiResult r = post(sb, {{"action", "revertTo"}, {"id", "2"}, {"iftype", "eth1/"}});
             EXPECT_EQ(r.errorInfo["errorAt"], Json::Value("iftype")) << r.out;
             r = post(sb, {{"action", "revertTo"}, {"id", "2"}, {"iftype", "eth0"}});
             EXPECT_EQ(r.body["revertOf"], Json::Value(2)) << r.out;
             EXPECT_EQ(runAction(sb, "getIfData", {{"iftype", "eth0"}}).body["itemCount"], Json::Value(1));
             EXPECT_EQ(runAction(sb, "loadOptions", {{"iftype", "eth0"}}).body["options"].size(), 0u);
             EXPECT_EQ(runAction(sb, "loadOptions", {{"iftype", "eth1"}}).body["options"].size(), 1u);
             EXPECT_EQ(runAction(sb, "loadStatic").body["itemCount"], Json::Value(2));
         },
         "6 revertTo eth0 admin 192.0.2.7 of 2 eth0: 1 subnet, 2 reservations, PXE off\n"
         "5 applydata eth0 admin 192.0.2.7 eth0: 2 subnets, 2 reservations, PXE off\n"
         "4 applyOptions eth1 admin 192.0.2.7 eth1: 0 subnets, 1 reservation, PXE off\n"
         "3 applyOptions eth0 admin 192.0.2.7 eth0: 1 subnet, 1 reservation, PXE off\n"
         "2 applydata eth0 admin 192.0.2.7 eth0: 1 subnet, 1 reservation, PXE off\n"
         "1 initial    0 subnets, 0 reservations, PXE off\n"},
        {"starting the service again restarts it, records nothing and logs who asked",
         [](const Sandbox &sb) {
             post(sb, save(1, "60", 0));
             CgiResult r = post(sb, {{"action", "restartService"}});
             EXPECT_EQ(r.body["success"], Json::Value(true)) << r.out;
             EXPECT_EQ(r.service["serviceRestarted"], Json::Value(true)) << r.out;
             EXPECT_FALSE(r.history.isMember("revision")) << r.out;
             EXPECT_THAT(r.err, ::testing::HasSubstr("Service restart asked by admin from 192.0.2.7"));
             EXPECT_EQ(sb.restartCount(), 2);
             // A link or an image can make a browser GET: that restarts nothing.
             CgiRequest get;
             get.method = "GET";
             get.query = {{"action", "restartService"}};
             EXPECT_EQ(runCgi(sb, get).body["success"], Json::Value(false));
             EXPECT_EQ(sb.restartCount(), 2);
         },
         "2 applydata eth0 admin 192.0.2.7 eth0: 1 subnet, 0 reservations, PXE off\n"
         "1 initial    0 subnets, 0 reservations, PXE off\n"},
        {"another program's files are neither recorded nor touched by a revert",
         [](const Sandbox &sb) {
             for (const auto &file : kForeign)
                 sb.write(file.first, file.second);
             post(sb, save(2, "60", 1));
             sb.write("etc/dhcpd/dhcpd.info", "enable=\"yes\"\n"); // the start-up script's
             post(sb, {{"action", "revertTo"}, {"id", "1"}});
             for (const auto &file : kForeign) {
                 std::string expected = file.first == "etc/dhcpd/dhcpd.info" ? "enable=\"yes\"\n" : file.second;
                 EXPECT_EQ(sb.read(file.first), expected) << file.first;
             }
             CgiResult r = post(sb, {{"action", "showRevision"}, {"id", "2"}});
             for (const Json::Value &file : r.body["files"])
                 EXPECT_EQ(file["path"].asString().find("lbr0"), std::string::npos) << r.out;
         },
         "3 revertTo  admin 192.0.2.7 of 1 0 subnets, 0 reservations, PXE off\n"
         "2 applydata eth0 admin 192.0.2.7 eth0: 2 subnets, 1 reservation, PXE off\n"
         "1 initial    0 subnets, 0 reservations, PXE off\n"},
        {"an edit made by hand is recorded as outside, never as the next request's",
         [](const Sandbox &sb) {
             post(sb, save(1, "60", 0));
             sb.write("etc/dhcpd/dhcpd-eth1-eth10.conf", kEth1Subnet);
             sb.write("etc/dhcpd/dhcpd-eth1-eth10.info", "enable=\"yes\"\n");
             CgiResult refused = post(sb, with(save(1, "60", 0), "subnetData", "[{\"startip\":\"x\"}]"));
             EXPECT_EQ(refused.body["success"], Json::Value(false)) << refused.out;
             CgiResult r = post(sb, save(1, "90", 0));
             EXPECT_EQ(r.history["revision"], Json::Value(4)) << r.out;
             r = post(sb, {{"action", "showRevision"}, {"id", "4"}});
             ASSERT_EQ(r.body["files"].size(), 1u) << r.out;
             EXPECT_EQ(r.body["files"][0]["path"], Json::Value("etc/dhcpd/dhcpd-eth0-eth00.conf"));
         },
         "4 applydata eth0 admin 192.0.2.7 eth0: 1 subnet, 0 reservations, PXE off\n"
         "3 outside    2 subnets, 0 reservations, PXE off\n"
         "2 applydata eth0 admin 192.0.2.7 eth0: 1 subnet, 0 reservations, PXE off\n"
         "1 initial    0 subnets, 0 reservations, PXE off\n"},
        {"refused and reading requests leave the store byte for byte, and make none",
         [](const Sandbox &sb) {
             runAction(sb, "loadGlobal", {{"iftype", "eth0"}});
             EXPECT_FALSE(sb.exists(kStore));
             post(sb, save(1, "60", 0));
             const std::string before = sb.read(kStore);
             post(sb, with(save(1, "60", 0), "subnetData", "[{\"startip\":\"x\"}]"));
             post(sb, with(save(2, "60", 0), "baseRevision", "1"));
             for (const char *reading : {"loadGlobal", "getIfData", "listHistory", "loadStatic"})
                 runAction(sb, reading, {{"iftype", "eth0"}});
             EXPECT_EQ(sb.read(kStore), before);
         },
         "2 applydata eth0 admin 192.0.2.7 eth0: 1 subnet, 0 reservations, PXE off\n"
         "1 initial    0 subnets, 0 reservations, PXE off\n"},
        {"a revision holding what no save writes is refused whole",
         [](const Sandbox &sb) {
             post(sb, save(1, "60", 0));
             sb.write("etc/dhcpd/dhcpd-eth1-eth10.conf", std::string(kEth1Subnet) + "conf-file=/tmp/x\n");
             sb.write("etc/dhcpd/dhcpd-eth1-eth10.info", "enable=\"no\"\n");
             post(sb, save(2, "60", 0)); // records the edit as outside first
             sb.remove("etc/dhcpd/dhcpd-eth1-eth10.conf");
             sb.remove("etc/dhcpd/dhcpd-eth1-eth10.info");
             post(sb, save(1, "60", 0));
             const Files before = filesOf(sb);
             CgiResult r = post(sb, {{"action", "revertTo"}, {"id", "3"}});
             EXPECT_EQ(r.body["error"], Json::Value("etc/dhcpd/dhcpd-eth1-eth10.conf: not a subnet "
                                                    "as this system writes it")) << r.out;
             EXPECT_EQ(filesOf(sb), before);
         },
         "6 applydata eth0 admin 192.0.2.7 eth0: 1 subnet, 0 reservations, PXE off\n"
         "5 outside    2 subnets, 0 reservations, PXE off\n"
         "4 applydata eth0 admin 192.0.2.7 eth0: 2 subnets, 0 reservations, PXE off\n"
         "3 outside    2 subnets, 0 reservations, PXE off\n"
         "2 applydata eth0 admin 192.0.2.7 eth0: 1 subnet, 0 reservations, PXE off\n"
         "1 initial    0 subnets, 0 reservations, PXE off\n"},
        {"a link at the store is put aside, its target untouched",
         [](const Sandbox &sb) {
             sb.write("elsewhere.db", "");
             ASSERT_EQ(symlink(sb.path("elsewhere.db").c_str(), sb.path(kStore).c_str()), 0);
             CgiResult r = post(sb, save(1, "60", 0), true);
             EXPECT_EQ(r.history["historyError"],
                       Json::Value("var/packages/Orvath/target/history.db: a symbolic link"));
             EXPECT_EQ(sb.read("elsewhere.db"), "");
             struct stat st;
             ASSERT_EQ(stat(sb.path("elsewhere.db").c_str(), &st), 0);
             EXPECT_EQ(st.st_mode & 0777, 0644u);
             EXPECT_EQ(post(sb, save(2, "60", 0)).history["revision"], Json::Value(2));
         },
         "2 applydata eth0 admin 192.0.2.7 eth0: 2 subnets, 0 reservations, PXE off\n"
         "1 initial    1 subnet, 0 reservations, PXE off\n"},
        {"a damaged store never stops a save, and the next save starts afresh",
         [](const Sandbox &sb) {
             sb.write("var/packages/Orvath/target/history.db", "not a database\n", 0600);
             CgiResult r = post(sb, save(1, "60", 0), true);
             EXPECT_EQ(r.body["success"], Json::Value(true)) << r.out;
             EXPECT_EQ(r.history["historyError"],
                       Json::Value("var/packages/Orvath/target/history.db: file is not a database"));
             EXPECT_EQ(post(sb, save(2, "60", 0)).history["revision"], Json::Value(2));
         },
         "2 applydata eth0 admin 192.0.2.7 eth0: 2 subnets, 0 reservations, PXE off\n"
         "1 initial    1 subnet, 0 reservations, PXE off\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        HistoryRoot sb;
        c.steps(sb);
        EXPECT_EQ(historyText(sb), c.history);
    }
}

TEST(CgiHistory, ShowRevisionGivesTheChangedFilesAsUnifiedDiffs)
{
    HistoryRoot sb;
    post(sb, save(1, "60", 0));
    post(sb, save(1, "120", 0));
    CgiResult r = post(sb, {{"action", "showRevision"}, {"id", "3"}});
    ASSERT_EQ(r.body["files"].size(), 1u) << r.out;
    EXPECT_EQ(r.body["files"][0]["path"], Json::Value("etc/dhcpd/dhcpd-eth0-eth00.conf"));
    EXPECT_EQ(r.body["files"][0]["change"], Json::Value("changed"));
    EXPECT_EQ(r.body["files"][0]["diff"].asString(),
              "--- a/etc/dhcpd/dhcpd-eth0-eth00.conf\n"
              "+++ b/etc/dhcpd/dhcpd-eth0-eth00.conf\n"
              "@@ -1,4 +1,4 @@\n"
              " interface=eth0\n"
              "-dhcp-range=set:eth00,10.1.0.100,10.1.0.200,255.255.255.0,3600\n"
              "+dhcp-range=set:eth00,10.1.0.100,10.1.0.200,255.255.255.0,7200\n"
              " dhcp-option=tag:eth00,option:router,10.1.0.1\n"
              " dhcp-option=tag:eth00,option:dns-server,10.0.0.1\n");
}

TEST(CgiHistory, RevertPutsBackEveryFileByteForByteAddedAndRemovedToo)
{
    HistoryRoot sb;
    sb.write("etc/quomoinfo.conf", "pxeenable=\"no\"\n");
    sb.write("etc/dhcpd/dhcpd-eth1-eth10.conf", kEth1Subnet);
    sb.write("etc/dhcpd/dhcpd-eth1-eth10.info", "enable=\"no\"\n");
    const Files first = filesOf(sb);
    post(sb, save(3, "60", 2));
    const Files second = filesOf(sb);
    sb.remove("etc/dhcpd/dhcpd-eth1-eth10.conf");
    sb.remove("etc/dhcpd/dhcpd-eth1-eth10.info");
    post(sb, save(1, "90", 0));
    sb.write("etc/quomoinfo.conf", "pxeenable=\"yes\"\n");
    post(sb, save(2, "90", 1));

    const struct {
        const char *id;
        const Files &files;
        int revision;
    } reverts[] = {{"2", second, 7}, {"1", first, 8}};

    for (const auto &revert : reverts) {
        CgiResult r = post(sb, {{"action", "revertTo"}, {"id", revert.id}});
        EXPECT_EQ(r.body["success"], Json::Value(true)) << r.out;
        EXPECT_EQ(r.body["revertOf"].asString(), revert.id) << r.out;
        EXPECT_EQ(r.history["revision"], Json::Value(revert.revision)) << r.out;
        EXPECT_EQ(r.service["serviceRestarted"], Json::Value(true)) << r.out;
        EXPECT_EQ(filesOf(sb), revert.files) << "revert to " << revert.id;
    }
    EXPECT_THAT(historyText(sb), ::testing::StartsWith(
                                     "8 revertTo  admin 192.0.2.7 of 1 1 subnet, 0 reservations, "
                                     "PXE off\n7 revertTo  admin 192.0.2.7 of 2 4 subnets, 2 "
                                     "reservations, PXE off\n6 applydata eth0 admin 192.0.2.7 "
                                     "eth0: 2 subnets, 1 reservation, PXE off\n5 outside    "
                                     "1 subnet, 0 reservations, PXE on\n"));
}

TEST(CgiHistory, TheNewest200RevisionsAreKept)
{
    HistoryRoot sb;
    for (int i = 0; i < 202; ++i)
        post(sb, save(1, std::to_string(60 + i), 0));
    CgiResult r = post(sb, {{"action", "listHistory"}, {"limit", "500"}});
    ASSERT_EQ(r.body["revisions"].size(), 200u) << r.out;
    EXPECT_EQ(r.body["revisions"][0]["id"], Json::Value(203));
    EXPECT_EQ(r.body["revisions"][199]["id"], Json::Value(4));
    r = post(sb, {{"action", "revertTo"}, {"id", "3"}});
    EXPECT_EQ(r.body["error"], Json::Value("no revision 3 in the history")) << r.out;
}

} // namespace

// The IPv6 files are the configuration's too: switched off and reverted,
// they come back byte for byte; a fragment edited by hand is refused.
TEST(CgiHistory, RevertPutsBackTheIpv6Files)
{
    HistoryRoot sb;
    sb.write("sys/class/net/eth0/orvath_addrs6", "fd50::1/64\n");
    const Params stateful = {{"action", "applyIPv6"}, {"iftype", "eth0"},
                             {"ipv6", R"({"mode": "stateful", "start": "::100", "end": "::1ff",
                                          "leasetime": "720", "dns": ["fd50::53"]})"}};
    CgiResult r = post(sb, stateful);
    ASSERT_EQ(r.body["success"], Json::Value(true)) << r.out;
    const std::string revision = r.history["revision"].asString();
    const Files on = filesOf(sb);
    EXPECT_EQ(on.count("etc/dhcpd/orvath-eth0.ipv6"), 1u);
    r = post(sb, {{"action", "applyIPv6"}, {"iftype", "eth0"}, {"ipv6", R"({"mode": "off"})"}});
    ASSERT_EQ(r.body["success"], Json::Value(true)) << r.out;
    EXPECT_EQ(filesOf(sb).count("etc/dhcpd/dhcpd-eth0-ipv6.conf"), 0u);

    r = post(sb, {{"action", "revertTo"}, {"id", revision}});
    EXPECT_EQ(r.body["success"], Json::Value(true)) << r.out;
    EXPECT_EQ(filesOf(sb), on);

    sb.write("etc/dhcpd/dhcpd-eth0-ipv6.conf", "interface=eth0\nenable-ra\nport=53\n");
    r = post(sb, {{"action", "applyIPv6"}, {"iftype", "eth0"}, {"ipv6", R"({"mode": "off"})"}});
    ASSERT_EQ(r.body["success"], Json::Value(true)) << r.out;
    const std::string edited = std::to_string(r.history["revision"].asInt() - 1);
    r = post(sb, {{"action", "revertTo"}, {"id", edited}});
    EXPECT_EQ(r.body["success"], Json::Value(false)) << r.out;
    EXPECT_EQ(r.body["error"], Json::Value("etc/dhcpd/dhcpd-eth0-ipv6.conf: not IPv6 settings as "
                                           "this system writes them")) << r.out;
}
