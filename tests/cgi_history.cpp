// The configuration history through the built program: which requests record
// a revision, what a revert puts back, the conflict between two pages, and
// the bound.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

#include "cgi_files.h"

namespace {

using Files = std::map<std::string, std::string>;

struct HistoryRoot : Sandbox {
    HistoryRoot()
    {
        mkdirs("etc/dhcpd");
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
        {"a damaged store never stops a save, and the next save starts afresh",
         [](const Sandbox &sb) {
             sb.write("var/packages/Orvath/target/history.db", "not a database\n");
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
    sb.write("etc/dhcpd/dhcpd-eth1-eth10.conf", "interface=eth1\n");
    sb.write("etc/dhcpd/dhcpd-eth1-eth10.info", "enable=\"no\"\n");
    const Files first = filesOf(sb);
    post(sb, save(3, "60", 2));
    const Files second = filesOf(sb);
    sb.remove("etc/dhcpd/dhcpd-eth1-eth10.conf");
    post(sb, save(1, "90", 0));
    sb.write("etc/quomoinfo.conf", "pxeenable=\"yes\"\n");
    post(sb, save(2, "90", 1));

    const struct {
        const char *id;
        const Files &files;
        int revision;
    } reverts[] = {{"2", second, 5}, {"1", first, 6}};
    for (const auto &revert : reverts) {
        CgiResult r = post(sb, {{"action", "revertTo"}, {"id", revert.id}});
        EXPECT_EQ(r.body["success"], Json::Value(true)) << r.out;
        EXPECT_EQ(r.body["revertOf"].asString(), revert.id) << r.out;
        EXPECT_EQ(r.history["revision"], Json::Value(revert.revision)) << r.out;
        EXPECT_EQ(r.service["serviceRestarted"], Json::Value(true)) << r.out;
        EXPECT_EQ(filesOf(sb), revert.files) << "revert to " << revert.id;
    }
    EXPECT_THAT(historyText(sb), ::testing::StartsWith(
                                     "6 revertTo  admin 192.0.2.7 of 1 1 subnet, 0 reservations, "
                                     "PXE off\n5 revertTo  admin 192.0.2.7 of 2 4 subnets, 2 "
                                     "reservations, PXE off\n"));
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
