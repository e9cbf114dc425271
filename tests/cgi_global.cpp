// Global settings of an interface: "loadGlobal", "disableServer" and the
// global step of "applydata", over real files in a sandbox root.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "cgi_files.h"

using ::testing::HasSubstr;

namespace {

// Subnets of the office: router 192.168.1.1, domain office.example, DNS
// servers 192.168.1.1 and 8.8.8.8, 90 minutes unless the name says otherwise.
const Subnet kEth00 = {"eth0", "eth00",
    "interface=eth0\n"
    "dhcp-range=set:eth00,192.168.1.100,192.168.1.150,255.255.255.0,5400\n"
    "dhcp-option=tag:eth00,option:router,192.168.1.1\n"
    "dhcp-option=tag:eth00,option:domain-search,office.example\n"
    "dhcp-option=tag:eth00,option:domain-name,office.example\n"
    "dhcp-option=tag:eth00,option:dns-server,192.168.1.1,8.8.8.8\n"};
const Subnet kEth00Lease119 = {"eth0", "eth00",
    "interface=eth0\n"
    "dhcp-range=set:eth00,192.168.1.100,192.168.1.150,255.255.255.0,119\n"
    "dhcp-option=tag:eth00,option:router,192.168.1.1\n"
    "dhcp-option=tag:eth00,option:domain-search,office.example\n"
    "dhcp-option=tag:eth00,option:domain-name,office.example\n"
    "dhcp-option=tag:eth00,option:dns-server,192.168.1.1,8.8.8.8\n"};
const Subnet kEth01 = {"eth0", "eth01",
    "interface=eth0\n"
    "dhcp-range=set:eth01,192.168.1.160,192.168.1.200,255.255.255.0,5400\n"
    "dhcp-option=tag:eth01,option:router,192.168.1.1\n"
    "dhcp-option=tag:eth01,option:domain-search,office.example\n"
    "dhcp-option=tag:eth01,option:domain-name,office.example\n"
    "dhcp-option=tag:eth01,option:dns-server,192.168.1.1,8.8.8.8\n"};
const Subnet kEth01Lease60 = {"eth0", "eth01",
    "interface=eth0\n"
    "dhcp-range=set:eth01,192.168.1.160,192.168.1.200,255.255.255.0,60\n"
    "dhcp-option=tag:eth01,option:router,192.168.1.1\n"
    "dhcp-option=tag:eth01,option:domain-search,office.example\n"
    "dhcp-option=tag:eth01,option:domain-name,office.example\n"
    "dhcp-option=tag:eth01,option:dns-server,192.168.1.1,8.8.8.8\n"};
const Subnet kEth02 = {"eth0", "eth02",
    "interface=eth0\n"
    "dhcp-range=set:eth02,192.168.1.210,192.168.1.220,255.255.255.0,5400\n"
    "dhcp-option=tag:eth02,option:router,192.168.1.1\n"
    "dhcp-option=tag:eth02,option:domain-search,office.example\n"
    "dhcp-option=tag:eth02,option:domain-name,office.example\n"
    "dhcp-option=tag:eth02,option:dns-server,192.168.1.1,8.8.8.8\n"};
const Subnet kEth03 = {"eth0", "eth03",
    "interface=eth0\n"
    "dhcp-range=set:eth03,192.168.1.210,192.168.1.220,255.255.255.0,5400\n"
    "dhcp-option=tag:eth03,option:router,192.168.1.1\n"
    "dhcp-option=tag:eth03,option:domain-search,office.example\n"
    "dhcp-option=tag:eth03,option:domain-name,office.example\n"
    "dhcp-option=tag:eth03,option:dns-server,192.168.1.1,8.8.8.8\n"};
const Subnet kEth10 = {"eth1", "eth10",
    "interface=eth1\n"
    "dhcp-range=set:eth10,192.168.2.100,192.168.2.200,255.255.255.0,5400\n"
    "dhcp-option=tag:eth10,option:router,192.168.1.1\n"
    "dhcp-option=tag:eth10,option:domain-search,office.example\n"
    "dhcp-option=tag:eth10,option:domain-name,office.example\n"
    "dhcp-option=tag:eth10,option:dns-server,192.168.1.1,8.8.8.8\n"};
// eth0's PXE subnet: two hours, domain boot.example.
const Subnet kEth0Pxe = {"eth0", "pxe",
    "interface=eth0\n"
    "dhcp-range=set:pxe,192.168.5.100,192.168.5.150,255.255.255.0,7200\n"
    "dhcp-option=tag:pxe,option:router,192.168.5.1\n"
    "dhcp-option=tag:pxe,option:domain-search,boot.example\n"
    "dhcp-option=tag:pxe,option:domain-name,boot.example\n"
    "dhcp-option=tag:pxe,option:dns-server,192.168.5.1,192.168.5.2\n"
    "dhcp-boot=tag:pxe,pxelinux.0\n"
    "dhcp-vendorclass=set:pxe,PXEClient\n"};

TEST(CgiGlobal, LoadGlobalReportsSubnetZeroAndWhetherAnySubnetIsOn)
{
    Sandbox sb;
    putSubnet(sb, kEth00, false);
    putSubnet(sb, kEth01Lease60, true);
    CgiResult r = runAction(sb, "loadGlobal", {{"iftype", "eth0"}});
    ASSERT_TRUE(r.bodyParsed) << r.out;
    EXPECT_EQ(r.body, parseJson(R"({"success": true, "enable": true, "leasetime": 90,
        "pdns": "192.168.1.1", "sdns": "8.8.8.8", "domain": "office.example"})"));

    // Every subnet off: "enable" false; lease times are cut to whole minutes.
    putSubnet(sb, kEth00Lease119, false);
    putSubnet(sb, kEth01, false);
    r = runAction(sb, "loadGlobal", {{"iftype", "eth0"}});
    EXPECT_EQ(r.body["enable"], Json::Value(false)) << r.out;
    EXPECT_EQ(r.body["leasetime"], Json::Value(1)) << r.out;
}

TEST(CgiGlobal, LoadGlobalFallsBackToThePxeSubnet)
{
    Sandbox sb;
    putSubnet(sb, kEth0Pxe, true);
    CgiResult r = runAction(sb, "loadGlobal", {{"iftype", "eth0"}});
    EXPECT_EQ(r.body, parseJson(R"({"success": true, "enable": true, "leasetime": 120,
        "pdns": "192.168.5.1", "sdns": "192.168.5.2", "domain": "boot.example"})"))
        << r.out;
}

TEST(CgiGlobal, LoadGlobalWithoutSubnetsFails)
{
    Sandbox sb;
    putSubnet(sb, kEth00, true);
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
    putSubnet(sb, kEth00, true);
    putSubnet(sb, kEth01, true);
    putSubnet(sb, kEth03, true); // behind a gap
    putSubnet(sb, kEth10, true);

    CgiResult r = runAction(sb, "disableServer", {{"iftype", "eth0"}});
    expectOnlySuccess(r, true);
    expectSubnet(sb, kEth00, false);
    expectSubnet(sb, kEth01, false);
    expectSubnet(sb, kEth03, true);
    expectSubnet(sb, kEth10, true);
    EXPECT_FALSE(sb.exists("etc/quomoinfo.conf"));
    EXPECT_EQ(sb.restartCount(), 1);
}

TEST(CgiGlobal, DisableServerSwitchesAnEnabledPxeSubnetOffInTheSystemSettings)
{
    Sandbox sb;
    sb.write("etc/quomoinfo.conf", "hostname=\"nas\"\npxeenable=\"yes\"\nlang=\"en\"\n");
    putSubnet(sb, kEth00, true);
    putSubnet(sb, kEth0Pxe, true);
    CgiResult r = runAction(sb, "disableServer", {{"iftype", "eth0"}});
    expectOnlySuccess(r, true);
    expectSubnet(sb, kEth00, false);
    expectSubnet(sb, kEth0Pxe, false);
    EXPECT_EQ(sb.read("etc/quomoinfo.conf"),
              "hostname=\"nas\"\npxeenable=\"no\"\nlang=\"en\"\n");

    // Already off: the system settings stay as they are.
    sb.write("etc/quomoinfo.conf", "pxeenable=\"yes\"\n");
    r = runAction(sb, "disableServer", {{"iftype", "eth0"}});
    expectOnlySuccess(r, true);
    expectSubnet(sb, kEth0Pxe, false);
    EXPECT_EQ(sb.read("etc/quomoinfo.conf"), "pxeenable=\"yes\"\n");
}

// A change is all or nothing: the subnets before the unreadable one stay on.
TEST(CgiGlobal, DisableServerThatCannotReadASubnetChangesNothing)
{
    Sandbox sb;
    putSubnet(sb, kEth00, true);
    // Subnet 1 lacks its router line.
    sb.write(confPath("eth0", "eth01"),
             "interface=eth0\ndhcp-range=set:eth01,192.168.1.160,192.168.1.200,255.255.255.0,60\n"
             "dhcp-option=tag:eth01,option:dns-server,192.168.1.1\n");
    sb.write(infoPath("eth0", "eth01"), infoText(true));
    putSubnet(sb, kEth02, true);
    putSubnet(sb, kEth0Pxe, true);
    const auto before = filesOf(sb);

    CgiResult r = runAction(sb, "disableServer", {{"iftype", "eth0"}});
    expectOnlySuccess(r, false);
    EXPECT_THAT(r.err, HasSubstr("Cannot get dhcp server config on interface:eth0"));
    EXPECT_EQ(filesOf(sb), before);
}

TEST(CgiGlobal, DisableServerWithoutInterfaceFindsNothingAndSucceeds)
{
    Sandbox sb;
    putSubnet(sb, kEth00, true);
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

// What oneRow() writes with lease 90 minutes and DNS server 192.168.1.1.
const Subnet kWritten = {"eth0", "eth00",
    "interface=eth0\n"
    "dhcp-range=set:eth00,192.168.1.100,192.168.1.200,255.255.255.0,5400\n"
    "dhcp-option=tag:eth00,option:router,192.168.1.1\n"
    "dhcp-option=tag:eth00,option:dns-server,192.168.1.1\n"};

TEST(CgiGlobal, ApplyDataGlobalStepReachesTheWrittenSubnet)
{
    Sandbox sb;
    CgiResult r = applyOneRow(sb, globals("eth0", true, "90", "192.168.1.1", "8.8.8.8",
                                          "office.example"));
    EXPECT_EQ(r.body, parseJson(R"({"success": true, "isSameApSubnet": false})")) << r.out;
    expectSubnet(sb, {"eth0", "eth00",
                      "interface=eth0\n"
                      "dhcp-range=set:eth00,192.168.1.100,192.168.1.200,255.255.255.0,5400\n"
                      "dhcp-option=tag:eth00,option:router,192.168.1.1\n"
                      "dhcp-option=tag:eth00,option:domain-search,office.example\n"
                      "dhcp-option=tag:eth00,option:domain-name,office.example\n"
                      "dhcp-option=tag:eth00,option:dns-server,192.168.1.1,8.8.8.8\n"},
                 true);

    // Comments are allowed in the request's JSON text.
    r = runAction(sb, "applydata",
                  {{"dataArray", "/* page v2 */ {\"iftype\": \"eth0\", \"enable_check\": true,"
                                 " \"leasetime\": \"1440\", // one day\n \"pdns\": \"1.1.1.1\"}"},
                   {"subnetData", oneRow()}});
    EXPECT_EQ(r.body["success"], Json::Value(true)) << r.out;
    expectSubnet(sb, {"eth0", "eth00",
                      "interface=eth0\n"
                      "dhcp-range=set:eth00,192.168.1.100,192.168.1.200,255.255.255.0,86400\n"
                      "dhcp-option=tag:eth00,option:router,192.168.1.1\n"
                      "dhcp-option=tag:eth00,option:dns-server,1.1.1.1\n"},
                 true);
}

TEST(CgiGlobal, ApplyDataLeaseTimeConversion)
{
    // minutes text -> the fragment written, its range line carrying seconds
    const struct {
        const char *minutes;
        const char *fragment;
    } cases[] = {
        {"90",
         "interface=eth0\n"
         "dhcp-range=set:eth00,192.168.1.100,192.168.1.200,255.255.255.0,5400\n"
         "dhcp-option=tag:eth00,option:router,192.168.1.1\n"
         "dhcp-option=tag:eth00,option:dns-server,192.168.1.1\n"},
        {" +2",
         "interface=eth0\n"
         "dhcp-range=set:eth00,192.168.1.100,192.168.1.200,255.255.255.0,120\n"
         "dhcp-option=tag:eth00,option:router,192.168.1.1\n"
         "dhcp-option=tag:eth00,option:dns-server,192.168.1.1\n"},
        {"15min",
         "interface=eth0\n"
         "dhcp-range=set:eth00,192.168.1.100,192.168.1.200,255.255.255.0,900\n"
         "dhcp-option=tag:eth00,option:router,192.168.1.1\n"
         "dhcp-option=tag:eth00,option:dns-server,192.168.1.1\n"},
        {"abc",
         "interface=eth0\n"
         "dhcp-range=set:eth00,192.168.1.100,192.168.1.200,255.255.255.0,0\n"
         "dhcp-option=tag:eth00,option:router,192.168.1.1\n"
         "dhcp-option=tag:eth00,option:dns-server,192.168.1.1\n"},
        {"",
         "interface=eth0\n"
         "dhcp-range=set:eth00,192.168.1.100,192.168.1.200,255.255.255.0,0\n"
         "dhcp-option=tag:eth00,option:router,192.168.1.1\n"
         "dhcp-option=tag:eth00,option:dns-server,192.168.1.1\n"},
        {"35791394",
         "interface=eth0\n"
         "dhcp-range=set:eth00,192.168.1.100,192.168.1.200,255.255.255.0,2147483640\n"
         "dhcp-option=tag:eth00,option:router,192.168.1.1\n"
         "dhcp-option=tag:eth00,option:dns-server,192.168.1.1\n"},
    };
    for (const auto &c : cases) {
        Sandbox sb;
        CgiResult r = applyOneRow(sb, globals("eth0", true, c.minutes));
        EXPECT_EQ(r.body["success"], Json::Value(true)) << c.minutes;
        EXPECT_EQ(sb.read(confPath("eth0", "eth00")), c.fragment) << "[" << c.minutes << "]";
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
        putSubnet(sb, kWritten, true);
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
    putSubnet(sb, kWritten, true);
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
    putSubnet(sb2, {"eth0", "pxe",
                    "interface=eth0\n"
                    "dhcp-range=set:pxe,192.168.5.100,192.168.5.150,255.255.255.0,600\n"
                    "dhcp-option=tag:pxe,option:router,192.168.5.1\n"
                    "dhcp-option=tag:pxe,option:dns-server,192.168.5.1\n"},
              true);
    g = globals("eth0", true, "60");
    g["leasetime"] = 60;
    g["enable_check"] = "true";
    g["sdns"] = Json::Value(Json::nullValue);
    r = applyOneRow(sb2, g);
    EXPECT_EQ(r.body["success"], Json::Value(true)) << r.out;
    expectSubnet(sb2, {"eth0", "eth00",
                       "interface=eth0\n"
                       "dhcp-range=set:eth00,192.168.1.100,192.168.1.200,255.255.255.0,0\n"
                       "dhcp-option=tag:eth00,option:router,192.168.1.1\n"
                       "dhcp-option=tag:eth00,option:dns-server,192.168.1.1\n"},
                 false);
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
