// The restart through the start-up script.
#include <dlfcn.h>
#include <stdlib.h>
#include <string.h>

#include <fstream>
#include <initializer_list>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <stdio.h>
#include <time.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "quomodhcp.h"
#include "lib_test.h"
#include "sandbox.h"

[[maybe_unused]] static std::string infoName(const std::string &ifName, const std::string &tag)
{
    return "etc/dhcpd/dhcpd-" + ifName + "-" + tag + ".info";
}

[[maybe_unused]] static std::string numberedInfo(const std::string &ifName, int index)
{
    return infoName(ifName, ifName + std::to_string(index));
}

// ---- restartDHCPServer ----

TEST(RestartDhcpServer, RunsTheStartUpScriptAndReturnsItsStatus)
{
    Sandbox sb;
    sb.installRestartRecorder();
    const struct {
        const char *status; // nullptr: no status file, the script exits 0
        int result;
        bool message;
    } cases[] = {{nullptr, 0, false}, {"1\n", 1, true}, {"2\n", 2, false}, {"0\n", 0, false}};
    int runs = 0;
    for (const auto &c : cases) {
        if (c.status)
            sb.write("restart.status", c.status);
        testing::internal::CaptureStderr();
        EXPECT_EQ(c.result, restartDHCPServer());
        std::string log = testing::internal::GetCapturedStderr();
        EXPECT_EQ(c.message, logged(log, "Failed to restart DHCP SERVER\n")) << log;
        EXPECT_EQ(c.message, logged(log, "service.cpp:")) << log;
        EXPECT_EQ(++runs, sb.restartCount());
    }
    EXPECT_EQ("nat-restart-dhcp\nnat-restart-dhcp\nnat-restart-dhcp\nnat-restart-dhcp\n",
              sb.read("restart.log"));
}

TEST(RestartDhcpServer, MissingScriptIsReturnedSilently)
{
    Sandbox sb;
    testing::internal::CaptureStderr();
    EXPECT_EQ(127, restartDHCPServer());
    EXPECT_FALSE(logged(testing::internal::GetCapturedStderr(), "Failed to restart"));
}
