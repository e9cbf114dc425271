// The dispatcher of the orvath program: authorization, the action table, the
// service restart after changing actions, and the answer envelope.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <time.h>

#include "cgi_files.h"

using ::testing::HasSubstr;
using ::testing::Not;

namespace {

const char kNoMapping[] = "Wrong CGI handler: No such action mapping";

TEST(CgiDispatch, UnauthorizedCallerGetsNothingFromTheProgram)
{
    Sandbox sb;
    sb.installRestartRecorder();
    putSubnet(sb, {"eth0", "eth00", "192.168.1.100", "192.168.1.200", "255.255.255.0",
                   "192.168.1.1", 86400, "", "192.168.1.1", "", ""},
              true);
    auto before = sb.snapshot();

    for (const char *action : {"applydata", "disableServer", "loadGlobal"}) {
        CgiRequest request;
        request.authorized = false;
        request.form = {{"action", action}, {"iftype", "eth0"}};
        CgiResult r = runCgi(sb, request);
        EXPECT_EQ(r.exitStatus, 0) << action;
        EXPECT_THAT(r.out, Not(HasSubstr("success"))) << action;
        EXPECT_THAT(r.out, Not(HasSubstr("text/plain"))) << action;
    }
    EXPECT_EQ(sb.snapshot(), before);
    EXPECT_EQ(sb.restartCount(), 0);
}

TEST(CgiDispatch, JsonDocumentRequestIsRefusedWithoutRunningAHandler)
{
    Sandbox sb;
    sb.installRestartRecorder();
    putSubnet(sb, {"eth0", "eth00", "192.168.1.100", "192.168.1.200", "255.255.255.0",
                   "192.168.1.1", 86400, "", "192.168.1.1", "", ""},
              true);
    auto before = filesOf(sb);

    for (const char *action : {"disableServer", "loadGlobal"}) {
        CgiRequest request;
        request.contentType = "application/json";
        request.rawBody = std::string("{\"action\": \"") + action + "\", \"iftype\": \"eth0\"}";
        request.query = {{"action", action}, {"iftype", "eth0"}};
        CgiResult r = runCgi(sb, request);
        EXPECT_EQ(r.exitStatus, 0);
        expectOnlySuccess(r, false);
        EXPECT_THAT(r.err, Not(HasSubstr(kNoMapping)));
    }
    EXPECT_EQ(filesOf(sb), before);
    EXPECT_EQ(sb.restartCount(), 0);
}

TEST(CgiDispatch, UnlistedMissingAndWronglyCasedActionsAreLoggedAndFail)
{
    Sandbox sb;
    sb.installRestartRecorder();
    for (const char *action : {"", "LoadGlobal", "APPLYDATA", "applydata ", "enumif", "nosuch"}) {
        CgiResult r = runAction(sb, action, {{"iftype", "eth0"}});
        EXPECT_EQ(r.exitStatus, 0) << action;
        expectOnlySuccess(r, false);
        EXPECT_THAT(r.err, HasSubstr(kNoMapping)) << "[" << action << "]";
    }

    CgiRequest missing;
    missing.form = {{"iftype", "eth0"}};
    CgiResult r = runCgi(sb, missing);
    EXPECT_EQ(r.exitStatus, 0);
    expectOnlySuccess(r, false);
    EXPECT_THAT(r.err, HasSubstr(kNoMapping));
    EXPECT_EQ(sb.restartCount(), 0);
}

TEST(CgiDispatch, AnswerIsOneHeaderThenOneJsonBody)
{
    Sandbox sb;
    putSubnet(sb, {"eth0", "eth00", "192.168.1.100", "192.168.1.200", "255.255.255.0",
                   "192.168.1.1", 86400, "", "192.168.1.1", "", ""},
              true);
    CgiResult r = runAction(sb, "loadGlobal", {{"iftype", "eth0"}});
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_THAT(r.header, HasSubstr("text/plain; charset=\"UTF-8\""));
    ASSERT_TRUE(r.bodyParsed) << r.out;
    EXPECT_EQ(r.body["success"], Json::Value(true));
    size_t first = r.out.find("text/plain");
    EXPECT_EQ(r.out.find("text/plain", first + 1), std::string::npos);
    EXPECT_EQ(r.out.find("\"success\""), r.out.rfind("\"success\""));
}

// Every action of the table, run over an empty root: only the three changing
// actions restart the service, and they do so also when they fail.
TEST(CgiDispatch, OnlyChangingActionsRestartTheServiceWhateverTheirResult)
{
    Sandbox sb;
    sb.installRestartRecorder();
    sb.addInterface("eth0", 2);
    const std::pair<const char *, bool> actions[] = {
        {"applydata", true},       {"disableServer", true}, {"loadGlobal", false},
        {"getIfData", false},      {"loadStatic", false},   {"loadClientList", false},
        {"loadpxesubnet", false},  {"applypxesubnet", true}, {"enumIF", false},
        {"getEnablePXEConfig", false},
    };
    int expected = 0;
    for (const auto &action : actions) {
        CgiResult r = runAction(sb, action.first, {{"iftype", "eth0"}, {"if_name", "eth0"}});
        EXPECT_EQ(r.exitStatus, 0) << action.first;
        ASSERT_TRUE(r.bodyParsed) << action.first << ": " << r.out;
        EXPECT_TRUE(r.body.isMember("success")) << action.first;
        EXPECT_THAT(r.err, Not(HasSubstr(kNoMapping))) << action.first;
        expected += action.second ? 1 : 0;
        EXPECT_EQ(sb.restartCount(), expected) << action.first;
    }
    EXPECT_EQ(sb.read("restart.log"), "nat-restart-dhcp\nnat-restart-dhcp\nnat-restart-dhcp\n");

    // applypxesubnet enabling into the access point's subnet fails, and the
    // service is still restarted.
    putAccessPoint(sb);
    CgiResult r = runAction(sb, "applypxesubnet",
                            {{"pxe_interface", "eth0"}, {"pxe_enable", "true"},
                             {"pxe_start_ip", "192.168.100.60"}, {"pxe_end_ip", "192.168.100.70"},
                             {"pxe_netmask", "255.255.255.0"}, {"pxe_gateway", "192.168.100.1"},
                             {"pxe_dns", "192.168.100.1"}});
    EXPECT_EQ(r.body["success"], Json::Value(false)) << r.out;
    EXPECT_EQ(sb.restartCount(), expected + 1);
}

TEST(CgiDispatch, FailingRestartScriptDoesNotChangeTheAnswer)
{
    Sandbox sb;
    sb.installRestartRecorder();
    sb.write("restart.status", "1\n");
    putSubnet(sb, {"eth0", "eth00", "192.168.1.100", "192.168.1.200", "255.255.255.0",
                   "192.168.1.1", 86400, "", "192.168.1.1", "", ""},
              true);
    CgiResult r = runAction(sb, "disableServer", {{"iftype", "eth0"}});
    EXPECT_EQ(r.exitStatus, 0);
    expectOnlySuccess(r, true);
    EXPECT_EQ(sb.restartCount(), 1);
}

// "success" of "applydata" is the static step's result combined with the
// switch-off of the interface when the request turned its service off.
TEST(CgiDispatch, ApplyDataSuccessCombinesStaticStepAndSwitchOff)
{
    Sandbox sb;
    sb.installRestartRecorder();

    // Switched off, empty table, no PXE subnet: nothing left to switch off.
    CgiResult r = runAction(sb, "applydata",
                            {{"dataArray", toJsonText(globals("eth0", false, "60"))},
                             {"subnetData", "[]"}});
    EXPECT_EQ(r.body["success"], Json::Value(false)) << r.out;
    EXPECT_EQ(r.body["isSameApSubnet"], Json::Value(false)) << r.out;

    // Switched off without an interface name: the switch-off has nothing to
    // look at and the request still succeeds.
    Json::Value noIf = globals("eth0", false, "60");
    noIf.removeMember("iftype");
    r = runAction(sb, "applydata", {{"dataArray", toJsonText(noIf)}, {"subnetData", "[]"}});
    EXPECT_EQ(r.body["success"], Json::Value(true)) << r.out;

    // No parameters at all: every step falls back, the service counts as
    // switched off for an unnamed interface, and the request succeeds.
    r = runAction(sb, "applydata");
    EXPECT_EQ(r.body["success"], Json::Value(true)) << r.out;
    EXPECT_EQ(r.body["isSameApSubnet"], Json::Value(true)) << r.out;
    EXPECT_THAT(r.err, HasSubstr("Error: parsing error, reason = "));

    // Switched on: success whatever the subnet step did.
    r = runAction(sb, "applydata",
                  {{"dataArray", toJsonText(globals("eth0", true, "60"))}, {"subnetData", "{"}});
    EXPECT_EQ(r.body["success"], Json::Value(true)) << r.out;
    EXPECT_EQ(r.body["isSameApSubnet"], Json::Value(true)) << r.out;
    EXPECT_EQ(sb.restartCount(), 4);
}

TEST(CgiDispatch, RestartOutcomeIsAnsweredAndKeptForTheStatus)
{
    Sandbox sb;
    sb.addInterface("eth0", 2);
    putSubnet(sb, {"eth0", "eth00", "192.168.1.100", "192.168.1.200", "255.255.255.0",
                   "192.168.1.1", 86400, "", "192.168.1.1", "", ""},
              true);
    CgiResult r = runAction(sb, "getServiceStatus");
    EXPECT_EQ(r.body, parseJson(R"({"success": true, "running": false, "dnsOnly": false,
        "enabledSubnets": {"eth0": 1}, "lastRestart": null, "apSubnet": null})"))
        << r.out;

    struct Case {
        const char *script; // body of the start-up script; NULL: there is none
        const char *error;  // NULL: restarted
    } cases[] = {
        {"echo checked; exit 0", nullptr},
        // The last three lines of what it said, on either stream.
        {"echo one >&2; echo two; echo three >&2; echo >&2; echo 'dnsmasq: bad dhcp-range' >&2; "
         "exit 1",
         "exit status 1: two\nthree\ndnsmasq: bad dhcp-range"},
        {"echo going >&2; kill -TERM $$", "killed by signal 15: going"},
        {nullptr, "could not be started (exit status 127)"},
    };
    for (const Case &c : cases) {
        if (c.script)
            sb.write("etc/rc.network", std::string("#!/bin/sh\n") + c.script + "\n", 0755);
        else
            sb.remove("etc/rc.network");
        r = runAction(sb, "disableServer", {{"iftype", "eth0"}});
        EXPECT_EQ(r.body["success"], Json::Value(true)) << r.out;
        EXPECT_EQ(r.service["serviceRestarted"], Json::Value(c.error == nullptr)) << r.out;
        EXPECT_EQ(r.service["serviceError"], c.error ? Json::Value(c.error) : Json::Value())
            << r.out;

        Json::Value last = runAction(sb, "getServiceStatus").body["lastRestart"];
        EXPECT_EQ(last["restarted"], Json::Value(c.error == nullptr)) << last;
        EXPECT_EQ(last["serviceError"], c.error ? Json::Value(c.error) : Json::Value()) << last;
        EXPECT_NEAR(last["time"].asDouble(), (double)time(nullptr), 5) << last;
    }
    EXPECT_EQ(runAction(sb, "getServiceStatus").body["enabledSubnets"]["eth0"], Json::Value(0));
}

} // namespace
