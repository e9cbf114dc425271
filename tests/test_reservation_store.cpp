// The static fragment: four fixed lines, then the reservation list.
#include <stdlib.h>

#include <string>

#include <gtest/gtest.h>

#include "quomodhcp.h"
#include "sandbox.h"

// Log lines also go to stderr, where a test can capture them.
[[maybe_unused]] static const int logToStderr = setenv("ORVATH_LOG_STDERR", "1", 1);

static const char kList[] = "etc/dhcpd/dhcpdStatic.ori";
static const char kConf[] = "etc/dhcpd/dhcpd-static-static.conf";
static const char kInfo[] = "etc/dhcpd/dhcpd-static-static.info";

static const char kFixed[] = "interface=static\n"
                             "dhcp-range=set:static,127.0.0.1,127.0.0.1,255.255.255.0,86400\n"
                             "dhcp-option=tag:static,option:router,127.0.0.1\n"
                             "dhcp-option=tag:static,option:dns-server,127.0.0.1\n";

TEST(GenFakeStaticFile, FixedLinesThenEveryReservationInOrder)
{
    Sandbox sb;
    sb.mkdirs("etc/dhcpd");
    ASSERT_EQ(1, writeStaticConf("02:00:00:aa:bb:03", "192.168.1.30", "c"));
    ASSERT_EQ(1, writeStaticConf("02:00:00:aa:bb:01", "192.168.1.10", ""));
    ASSERT_EQ(1, writeStaticConf("02:00:00:aa:bb:02", "192.168.1.20", "b"));
    EXPECT_EQ(1, QUOMODHCPGenFakeStaticFile());
    EXPECT_EQ(std::string(kFixed) + "dhcp-host=02:00:00:aa:bb:03,c,192.168.1.30,infinite\n"
                                     "dhcp-host=02:00:00:aa:bb:01,,192.168.1.10,infinite\n"
                                     "dhcp-host=02:00:00:aa:bb:02,b,192.168.1.20,infinite\n",
              sb.read(kConf));
    EXPECT_EQ("enable=\"yes\"\n", sb.read(kInfo));
}

TEST(GenFakeStaticFile, WithoutReservationsOnlyTheFixedLines)
{
    Sandbox sb;
    sb.mkdirs("etc/dhcpd");
    EXPECT_EQ(1, QUOMODHCPGenFakeStaticFile());
    EXPECT_EQ(kFixed, sb.read(kConf));
    EXPECT_FALSE(sb.exists(kList));

    sb.write(kList, "");
    EXPECT_EQ(1, QUOMODHCPGenFakeStaticFile());
    EXPECT_EQ(kFixed, sb.read(kConf));
}

TEST(GenFakeStaticFile, RebuildsTheFragmentAndKeepsTheSettingsFile)
{
    Sandbox sb;
    sb.write(kConf, "stale line\n");
    sb.write(kInfo, "enable=\"no\"\nother=1\n");
    sb.write(kList, "dhcp-host=02:00:00:aa:bb:01,,192.168.1.10,infinite\n");
    EXPECT_EQ(1, QUOMODHCPGenFakeStaticFile());
    EXPECT_EQ(std::string(kFixed) + "dhcp-host=02:00:00:aa:bb:01,,192.168.1.10,infinite\n", sb.read(kConf));
    EXPECT_EQ("enable=\"yes\"\nother=1\n", sb.read(kInfo));
}

TEST(GenFakeStaticFile, CopiesLinesOfAnyLengthEachEndingInOneNewline)
{
    Sandbox sb;
    std::string longLine = "dhcp-host=02:00:00:aa:bb:01," + std::string(10000, 'h') + ",192.168.1.10,infinite";
    // The last line lacks its newline.
    sb.write(kList, longLine + "\n" + "dhcp-host=02:00:00:aa:bb:02,b,192.168.1.20,infinite");
    EXPECT_EQ(1, QUOMODHCPGenFakeStaticFile());
    EXPECT_EQ(std::string(kFixed) + longLine + "\n" + "dhcp-host=02:00:00:aa:bb:02,b,192.168.1.20,infinite\n",
              sb.read(kConf));
}

TEST(GenFakeStaticFile, FailsWhenTheDirectoryCannotBeMade)
{
    Sandbox sb;
    sb.write("etc/dhcpd", "a file where the directory belongs");
    testing::internal::CaptureStderr();
    EXPECT_EQ(0, QUOMODHCPGenFakeStaticFile());
    std::string log = testing::internal::GetCapturedStderr();
    EXPECT_NE(std::string::npos, log.find("Failed to mkdir [" + sb.path("etc/dhcpd") + "]")) << log;
}

TEST(GenFakeStaticFile, CreatesTheDirectoryWhenMissing)
{
    Sandbox sb;
    EXPECT_EQ(1, QUOMODHCPGenFakeStaticFile());
    EXPECT_EQ("enable=\"yes\"\n", sb.read(kInfo));
}
