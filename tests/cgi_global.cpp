// Global settings of an interface: "loadGlobal", "disableServer" and the
// global step of "applydata", over real files in a sandbox root.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "cgi_files.h"

using ::testing::HasSubstr;

namespace {

Subnet eth0(int index, const std::string &start, const std::string &end, int lease = 5400)
{
    return {"eth0", "eth0" + std::to_string(index), start, end, "255.255.255.0", "192.168.1.1",
            lease, "office.example", "192.168.1.1", "8.8.8.8", ""};
}

Subnet eth0Pxe(int lease = 7200)
{
    return {"eth0", "pxe", "192.168.5.100", "192.168.5.150", "255.255.255.0", "192.168.5.1",
            lease, "boot.example", "192.168.5.1", "192.168.5.2", "pxelinux.0"};
}

TEST(CgiGlobal, LoadGlobalReportsSubnetZeroAndWhetherAnySubnetIsOn)
{
    Sandbox sb;
    putSubnet(sb, eth0(0, "192.168.1.100", "192.168.1.150"), false);
    putSubnet(sb, eth0(1, "192.168.1.160", "192.168.1.200", 60), true);
    CgiResult r = runAction(sb, "loadGlobal", {{"iftype", "eth0"}});
    ASSERT_TRUE(r.bodyParsed) << r.out;
    EXPECT_EQ(r.body, parseJson(R"({"success": true, "enable": true, "leasetime": 90,
        "pdns": "192.168.1.1", "sdns": "8.8.8.8", "domain": "office.example"})"));

    // Every subnet off: "enable" false; lease times are cut to whole minutes.
    putSubnet(sb, eth0(0, "192.168.1.100", "192.168.1.150", 119), false);
    putSubnet(sb, eth0(1, "192.168.1.160", "192.168.1.200"), false);
    r = runAction(sb, "loadGlobal", {{"iftype", "eth0"}});
    EXPECT_EQ(r.body["enable"], Json::Value(false)) << r.out;
    EXPECT_EQ(r.body["leasetime"], Json::Value(1)) << r.out;
}

TEST(CgiGlobal, LoadGlobalFallsBackToThePxeSubnet)
{
    Sandbox sb;
    putSubnet(sb, eth0Pxe(), true);
    CgiResult r = runAction(sb, "loadGlobal", {{"iftype", "eth0"}});
    EXPECT_EQ(r.body, parseJson(R"({"success": true, "enable": true, "leasetime": 120,
        "pdns": "192.168.5.1", "sdns": "192.168.5.2", "domain": "boot.example"})"))
        << r.out;
}

TEST(CgiGlobal, LoadGlobalWithoutSubnetsFails)
{
    Sandbox sb;
    putSubnet(sb, eth0(0, "192.168.1.100", "192.168.1.150"), true);
    CgiResult r = runAction(sb, "loadGlobal", {{"iftype", "eth1"}});
    expectOnlySuccess(r, false);
    EXPECT_THAT(r.err, HasSubstr("Cannot read Global setting on eth10 or pxe"));

    for (const Params &params : {Params{{"iftype", ""}}, Params{}}) {
        r = runAction(sb, "loadGlobal", params);
        expectOnlySuccess(r, false);
        EXPECT_THAT(r.err, HasSubstr("WRONG interface name!"));
        EXPECT_THAT(r.err, HasSubstr("Cannot read Global setting on 0 or pxe"));
    }
}

TEST(CgiGlobal, DisableServerSwitchesEverySubnetOffAndKeepsSettings)
{
    Sandbox sb;
    sb.installRestartRecorder();
    putSubnet(sb, eth0(0, "192.168.1.100", "192.168.1.150"), true);
    putSubnet(sb, eth0(1, "192.168.1.160", "192.168.1.200"), true);
    putSubnet(sb, eth0(3, "192.168.1.210", "192.168.1.220"), true); // behind a gap
    Subnet other = eth0(0, "192.168.2.100", "192.168.2.200");
    other.ifName = "eth1";
    other.tag = "eth10";
    putSubnet(sb, other, true);

    CgiResult r = runAction(sb, "disableServer", {{"iftype", "eth0"}});
    expectOnlySuccess(r, true);
    expectSubnet(sb, eth0(0, "192.168.1.100", "192.168.1.150"), false);
    expectSubnet(sb, eth0(1, "192.168.1.160", "192.168.1.200"), false);
    expectSubnet(sb, eth0(3, "192.168.1.210", "192.168.1.220"), true);
    expectSubnet(sb, other, true);
    EXPECT_FALSE(sb.exists("etc/quomoinfo.conf"));
    EXPECT_EQ(sb.restartCount(), 1);
}

TEST(CgiGlobal, DisableServerSwitchesAnEnabledPxeSubnetOffInTheSystemSettings)
{
    Sandbox sb;
    sb.write("etc/quomoinfo.conf", "hostname=\"nas\"\npxeenable=\"yes\"\nlang=\"en\"\n");
    putSubnet(sb, eth0(0, "192.168.1.100", "192.168.1.150"), true);
    putSubnet(sb, eth0Pxe(), true);
    CgiResult r = runAction(sb, "disableServer", {{"iftype", "eth0"}});
    expectOnlySuccess(r, true);
    expectSubnet(sb, eth0(0, "192.168.1.100", "192.168.1.150"), false);
    expectSubnet(sb, eth0Pxe(), false);
    EXPECT_EQ(sb.read("etc/quomoinfo.conf"),
              "hostname=\"nas\"\npxeenable=\"no\"\nlang=\"en\"\n");

    // Already off: the system settings stay as they are.
    sb.write("etc/quomoinfo.conf", "pxeenable=\"yes\"\n");
    r = runAction(sb, "disableServer", {{"iftype", "eth0"}});
    expectOnlySuccess(r, true);
    expectSubnet(sb, eth0Pxe(), false);
    EXPECT_EQ(sb.read("etc/quomoinfo.conf"), "pxeenable=\"yes\"\n");
}

TEST(CgiGlobal, DisableServerStopsAtTheFirstSubnetItCannotRead)
{
    Sandbox sb;
    putSubnet(sb, eth0(0, "192.168.1.100", "192.168.1.150"), true);
    // Subnet 1 lacks its router line.
    sb.write(confPath("eth0", "eth01"),
             "interface=eth0\ndhcp-range=set:eth01,192.168.1.160,192.168.1.200,255.255.255.0,60\n"
             "dhcp-option=tag:eth01,option:dns-server,192.168.1.1\n");
    sb.write(infoPath("eth0", "eth01"), infoText(true));
    putSubnet(sb, eth0(2, "192.168.1.210", "192.168.1.220"), true);
    putSubnet(sb, eth0Pxe(), true);

    CgiResult r = runAction(sb, "disableServer", {{"iftype", "eth0"}});
    expectOnlySuccess(r, false);
    EXPECT_THAT(r.err, HasSubstr("Cannot get dhcp server config on interface:eth0"));
    expectSubnet(sb, eth0(0, "192.168.1.100", "192.168.1.150"), false);
    EXPECT_EQ(sb.read(infoPath("eth0", "eth01")), infoText(true));
    expectSubnet(sb, eth0(2, "192.168.1.210", "192.168.1.220"), true);
    expectSubnet(sb, eth0Pxe(), true);
}

TEST(CgiGlobal, DisableServerWithoutInterfaceFindsNothingAndSucceeds)
{
    Sandbox sb;
    putSubnet(sb, eth0(0, "192.168.1.100", "192.168.1.150"), true);
    auto before = filesOf(sb);
    CgiResult r = runAction(sb, "disableServer");
    expectOnlySuccess(r, true);
    EXPECT_THAT(r.err, HasSubstr("WRONG interface name!"));
    EXPECT_EQ(filesOf(sb), before);
}

// What the global step reads shows in the subnet that the same request writes.
std::string oneRow()
{
    Json::Value table(Json::arrayValue);
    table.append(row("192.168.1.100", "192.168.1.200", "192.168.1.1", true));
    return toJsonText(table);
}

CgiResult applyOneRow(const Sandbox &sb, const Json::Value &global)
{
    return runAction(sb, "applydata", {{"dataArray", toJsonText(global)}, {"subnetData", oneRow()}});
}

Subnet written(const std::string &ifName, int lease, const std::string &pdns = "192.168.1.1",
               const std::string &sdns = "", const std::string &domain = "")
{
    return {ifName,  ifName + "0", "192.168.1.100", "192.168.1.200", "255.255.255.0",
            "192.168.1.1", lease, domain, pdns, sdns, ""};
}

TEST(CgiGlobal, ApplyDataGlobalStepReachesTheWrittenSubnet)
{
    Sandbox sb;
    CgiResult r = applyOneRow(sb, globals("eth0", true, "90", "192.168.1.1", "8.8.8.8",
                                          "office.example"));
    EXPECT_EQ(r.body, parseJson(R"({"success": true, "isSameApSubnet": false})")) << r.out;
    expectSubnet(sb, written("eth0", 5400, "192.168.1.1", "8.8.8.8", "office.example"), true);

    // Comments are allowed in the request's JSON text.
    r = runAction(sb, "applydata",
                  {{"dataArray", "/* page v2 */ {\"iftype\": \"eth0\", \"enable_check\": true,"
                                 " \"leasetime\": \"1440\", // one day\n \"pdns\": \"1.1.1.1\"}"},
                   {"subnetData", oneRow()}});
    EXPECT_EQ(r.body["success"], Json::Value(true)) << r.out;
    expectSubnet(sb, written("eth0", 86400, "1.1.1.1"), true);
}

TEST(CgiGlobal, ApplyDataLeaseTimeConversion)
{
    // minutes text -> seconds written
    const struct {
        const char *minutes;
        int seconds;
    } cases[] = {
        {"90", 5400}, {" +2", 120}, {"15min", 900}, {"abc", 0}, {"", 0}, {"35791394", 2147483640},
    };
    for (const auto &c : cases) {
        Sandbox sb;
        CgiResult r = applyOneRow(sb, globals("eth0", true, c.minutes));
        EXPECT_EQ(r.body["success"], Json::Value(true)) << c.minutes;
        EXPECT_EQ(sb.read(confPath("eth0", "eth00")), fragmentText(written("eth0", c.seconds)))
            << "[" << c.minutes << "]";
    }

    // Seconds that are negative or do not fit 32 bits: the request is
    // refused and the stored subnet stays as it was.
    const struct {
        const char *minutes;
        const char *error;
    } refused[] = {
        {"35791395", "dataArray.leasetime: lease time too long"},
        {"-5", "dataArray.leasetime: negative lease time"},
        {"99999999999999999999", "dataArray.leasetime: lease time too long"},
    };
    for (const auto &c : refused) {
        Sandbox sb;
        putSubnet(sb, written("eth0", 5400), true);
        auto before = filesOf(sb);
        CgiResult r = applyOneRow(sb, globals("eth0", true, c.minutes));
        EXPECT_EQ(r.body["success"], Json::Value(false)) << c.minutes;
        EXPECT_EQ(r.body["error"], Json::Value(c.error)) << c.minutes;
        EXPECT_THAT(r.err, HasSubstr("Invalid parameter dataArray.leasetime")) << c.minutes;
        EXPECT_EQ(filesOf(sb), before) << c.minutes;
    }
}

TEST(CgiGlobal, ApplyDataMembersOmittedOrOfAnotherTypeKeepTheirInitialValues)
{
    // No "iftype": the interface name stays empty, and a subnet table cannot
    // be written for an unnamed interface: the request is refused whole.
    Sandbox sb;
    putSubnet(sb, written("eth0", 5400), true);
    auto before = filesOf(sb);
    Json::Value g = globals("eth0", true, "60");
    g.removeMember("iftype");
    CgiResult r = applyOneRow(sb, g);
    EXPECT_EQ(r.body, parseJson(R"({"success": false, "error": "dataArray.iftype: missing"})"))
        << r.out;
    EXPECT_THAT(r.err, HasSubstr("Invalid parameter dataArray.iftype"));
    EXPECT_EQ(filesOf(sb), before);

    // Numbers and strings where text and flags belong count as absent:
    // lease 0 and the service switched off.
    Sandbox sb2;
    putSubnet(sb2, {"eth0", "pxe", "192.168.5.100", "192.168.5.150", "255.255.255.0",
                    "192.168.5.1", 600, "", "192.168.5.1", "", ""},
              true);
    g = globals("eth0", true, "60");
    g["leasetime"] = 60;
    g["enable_check"] = "true";
    g["sdns"] = Json::Value(Json::nullValue);
    r = applyOneRow(sb2, g);
    EXPECT_EQ(r.body["success"], Json::Value(true)) << r.out;
    expectSubnet(sb2, written("eth0", 0), false);
    EXPECT_EQ(sb2.read(infoPath("eth0", "pxe")), infoText(false));

    // A root that is no object applies nothing: the service counts as
    // switched off for an unnamed interface. With rows to write that lack
    // their interface the request is refused; with none it goes through.
    Sandbox sb3;
    r = applyOneRow(sb3, Json::Value(Json::arrayValue));
    EXPECT_EQ(r.body, parseJson(R"({"success": false, "error": "dataArray.iftype: missing"})"))
        << r.out;
    EXPECT_TRUE(filesOf(sb3).empty());
    r = runAction(sb3, "applydata", {{"dataArray", "[]"}, {"subnetData", "[]"}});
    EXPECT_EQ(r.body, parseJson(R"({"success": true, "isSameApSubnet": false})")) << r.out;
    EXPECT_THAT(r.err, HasSubstr("Global settings are not an object"));
}

} // namespace
