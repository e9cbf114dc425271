// The DNS-only pair follows whether a process named "named" runs.
#include <stdlib.h>

#include <string>

#include <gtest/gtest.h>

#include "quomodhcp.h"
#include "lib_test.h"
#include "sandbox.h"

static const char kConf[] = "etc/dhcpd/dhcpd-dns-dns.conf";
static const char kInfo[] = "etc/dhcpd/dhcpd-dns-dns.info";

static const char kDnsOnlyFragment[] =
    "port=0\n"
    "interface=dns\n"
    "dhcp-range=set:dns,127.0.0.1,127.0.0.1,255.255.255.0,86400\n"
    "dhcp-option=tag:dns,option:router,127.0.0.1\n"
    "dhcp-option=tag:dns,option:dns-server,127.0.0.1\n";

// The library sees the processes the sandbox lists, never those of the
// machine (another test may run a "named" of its own meanwhile).
[[maybe_unused]] static const int procInRoot = setenv("ORVATH_PROC_IN_ROOT", "1", 1);

TEST(DecideDisableDns, WithoutNamedThePairIsRemoved)
{
    Sandbox sb;
    sb.addProcess(1, "init");
    sb.addProcess(2, "namedx");
    const std::string ordinary = "etc/dhcpd/dhcpd-eth0-eth00.conf";
    sb.write(ordinary, "interface=eth0\n");
    for (int round = 0; round < 2; ++round) { // the second time nothing is left to remove
        if (round == 0) {
            sb.write(kConf, "port=0\n");
            sb.write(kInfo, "enable=\"yes\"\n");
        }
        EXPECT_EQ(1, QUOMODHCPDecideDisableDNS());
        EXPECT_FALSE(sb.exists(kConf));
        EXPECT_FALSE(sb.exists(kInfo));
        EXPECT_TRUE(sb.exists(ordinary));
    }
}

TEST(DecideDisableDns, WithNamedThePairIsWrittenAfresh)
{
    Sandbox sb;
    sb.mkdirs("etc/dhcpd");
    sb.write(kConf, "port=53\nleft=over\n");
    sb.write(kInfo, "enable=\"no\"\n");
    sb.addProcess(4242, "named");
    EXPECT_EQ(1, QUOMODHCPDecideDisableDNS());
    EXPECT_EQ(kDnsOnlyFragment, sb.read(kConf));
    EXPECT_EQ("enable=\"yes\"\n", sb.read(kInfo));
    EXPECT_EQ(1, QUOMODHCPDecideDisableDNS()); // the same again, not appended twice
    EXPECT_EQ(kDnsOnlyFragment, sb.read(kConf));
}

TEST(DecideDisableDns, FragmentThatCannotBeCreatedIsLogged)
{
    Sandbox sb; // no etc/dhcpd: nothing can be created in it
    sb.addProcess(4242, "named");
    testing::internal::CaptureStderr();
    EXPECT_EQ(0, QUOMODHCPDecideDisableDNS());
    std::string log = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(logged(log, "Failed to open file [" + sb.path(kConf) + "].\n")) << log;
}

TEST(DecideDisableDns, FailedWriteNamesTheStepAndSwitchesNothingOn)
{
    Sandbox sb;
    sb.mkdirs(kInfo); // a directory where the settings file belongs
    sb.addProcess(4242, "named");
    testing::internal::CaptureStderr();
    EXPECT_EQ(0, QUOMODHCPDecideDisableDNS());
    std::string log = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(logged(log, "dns_only.cpp:")) << log;
    EXPECT_TRUE(logged(log, "Disable dnsmasq DNS SERVER failed QUOMODHCPDecideDisableDNS(")) << log;
    EXPECT_FALSE(sb.exists(kConf));
}
