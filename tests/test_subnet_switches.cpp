// The subnets' switches: which subnet is on, switching an interface off,
// names cut under a long root, and the access point's subnet.
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

// ---- isIfTagEnable ----

TEST(IsIfTagEnable, YesOnlyForExactlyYes)
{
    Sandbox sb;
    const struct {
        const char *info;
        int result;
    } cases[] = {
        {"enable=\"yes\"\n", 0},  {"x=1\nenable=yes\n", 0}, {"enable=\"Yes\"\n", -1},
        {"enable=\"yes \"\n", -1}, {"enable=\"no\"\n", -1},  {"enable=\"\"\n", -1},
        {"enabled=\"yes\"\n", -1},
    };
    for (const auto &c : cases) {
        sb.write(infoName("eth0", "eth00"), c.info);
        EXPECT_EQ(c.result, isIfTagEnable("eth0", "eth00")) << c.info;
    }
    EXPECT_EQ(-1, isIfTagEnable("eth0", "eth01")); // no file
    EXPECT_EQ(-1, isIfTagEnable("eth0", nullptr));
}

// ---- names under a long root ----

// Names are built in 1024-byte buffers. Under a root that long, a name cut to
// the buffer is another file: each call leaves it alone and fails.
TEST(LongRoot, NameCutToItsBufferIsAnotherFileNeitherReadRunNorRemoved)
{
    const struct {
        const char *name;    // what the call opens, below the root
        const char *planted; // at the cut name
        int (*call)();
        int result;
        bool logged; // "Path too long [<root>]"
    } cases[] = {
        {"/etc/dhcpd/dhcpd-eth0-pxe.info", "enable=\"yes\"\n",
         [] { return isIfTagEnable("eth0", "pxe"); }, -1, false},
        {"/etc/rc.network", "#!/bin/sh\ntouch \"$0.ran\"\n", [] { return restartDHCPServer(); },
         127, true},
        {"/etc/dhcpd/dhcpd-dns-dns.conf", "another file\n",
         [] { return QUOMODHCPDecideDisableDNS(); }, 0, true},
    };
    for (const auto &c : cases) {
        Sandbox sb;
        const std::string name = c.name;
        // <root><name> is two characters longer than the buffer holds.
        const std::string rel = sb.deepDir(1024 + 1 - name.size());
        const std::string cut = rel + name.substr(0, name.size() - 2);
        const std::string root = sb.path(rel);
        sb.write(cut, c.planted, 0755);
        setenv("ORVATH_ROOT", root.c_str(), 1);
        testing::internal::CaptureStderr();
        EXPECT_EQ(c.result, c.call()) << c.name;
        std::string log = testing::internal::GetCapturedStderr();
        EXPECT_EQ(c.planted, sb.read(cut)) << c.name;
        EXPECT_FALSE(sb.exists(cut + ".ran")) << c.name;
        EXPECT_EQ(c.logged, logged(log, "Path too long [" + root + "]")) << c.name << ": " << log;
    }
}

// ---- disableDHCPServer ----

TEST(DisableDhcpServer, MarksNumberedUpToTheGapAndThePxeSubnetOff)
{
    Sandbox sb;
    sb.write(numberedInfo("eth0", 0), "enable=\"yes\"\n");
    sb.write(numberedInfo("eth0", 1), "note=\"kept\"\nenable=\"yes\"\n");
    sb.write(numberedInfo("eth0", 3), "enable=\"yes\"\n");
    sb.write(infoName("eth0", "pxe"), "enable=\"yes\"\n");
    sb.write(numberedInfo("eth1", 0), "enable=\"yes\"\n");
    sb.write("etc/dhcpd/dhcpd-eth0-eth00.conf", "interface=eth0\n");
    EXPECT_EQ(1, disableDHCPServer("eth0"));
    EXPECT_EQ("enable=\"no\"\n", sb.read(numberedInfo("eth0", 0)));
    EXPECT_EQ("note=\"kept\"\nenable=\"no\"\n", sb.read(numberedInfo("eth0", 1)));
    EXPECT_EQ("enable=\"yes\"\n", sb.read(numberedInfo("eth0", 3))); // behind the gap
    EXPECT_EQ("enable=\"no\"\n", sb.read(infoName("eth0", "pxe")));
    EXPECT_EQ("enable=\"yes\"\n", sb.read(numberedInfo("eth1", 0)));
    EXPECT_EQ("interface=eth0\n", sb.read("etc/dhcpd/dhcpd-eth0-eth00.conf"));
}

TEST(DisableDhcpServer, ResultTellsWhetherTheInterfaceHadAnySubnet)
{
    Sandbox sb;
    sb.mkdirs("etc/dhcpd");
    EXPECT_EQ(0, disableDHCPServer("eth0"));
    sb.write(infoName("eth0", "pxe"), "enable=\"yes\"\n");
    EXPECT_EQ(1, disableDHCPServer("eth0"));
    EXPECT_EQ("enable=\"no\"\n", sb.read(infoName("eth0", "pxe")));
    sb.write(numberedInfo("eth1", 1), "enable=\"yes\"\n"); // no index 0
    EXPECT_EQ(0, disableDHCPServer("eth1"));
    EXPECT_EQ("enable=\"yes\"\n", sb.read(numberedInfo("eth1", 1)));
}

TEST(DisableDhcpServer, EmptyOrPathLikeNamesAreRefused)
{
    Sandbox sb;
    sb.write(numberedInfo("eth0", 0), "enable=\"yes\"\n");
    auto before = sb.snapshot();
    for (const char *name : {"", "../dhcpd/x", ".eth0"})
        EXPECT_EQ(-1, disableDHCPServer(name)) << name;
    EXPECT_EQ(-1, disableDHCPServer(nullptr));
    EXPECT_EQ(before, sb.snapshot());
}

// ---- isDHCPDActivate ----

TEST(IsDhcpdActivate, AnyEnabledSubnetBeforeTheGapOrThePxeSubnet)
{
    Sandbox sb;
    sb.mkdirs("etc/dhcpd");
    EXPECT_EQ(-1, isDHCPDActivate("eth0")); // no files at all
    EXPECT_EQ(-1, isDHCPDActivate(""));
    EXPECT_EQ(-1, isDHCPDActivate(nullptr));

    sb.write(numberedInfo("eth0", 0), "enable=\"no\"\n");
    sb.write(numberedInfo("eth0", 1), "enable=\"yes \"\n");
    sb.write(numberedInfo("eth0", 3), "enable=\"yes\"\n"); // hidden by the gap at 2
    EXPECT_EQ(-1, isDHCPDActivate("eth0"));

    sb.write(numberedInfo("eth0", 2), "other=\"x\"\n"); // no enable key: off
    EXPECT_EQ(0, isDHCPDActivate("eth0"));              // now 3 counts

    sb.remove(numberedInfo("eth0", 2));
    sb.write(infoName("eth0", "pxe"), "enable=\"Yes\"\n");
    EXPECT_EQ(-1, isDHCPDActivate("eth0"));
    sb.write(infoName("eth0", "pxe"), "enable=\"yes\"\n");
    EXPECT_EQ(0, isDHCPDActivate("eth0"));
    EXPECT_EQ(-1, isDHCPDActivate("eth1"));
}

TEST(IsDhcpdActivate, FollowsDisableDhcpServer)
{
    Sandbox sb;
    sb.write(numberedInfo("eth0", 0), "enable=\"yes\"\n");
    sb.write(infoName("eth0", "pxe"), "enable=\"yes\"\n");
    ASSERT_EQ(0, isDHCPDActivate("eth0"));
    ASSERT_EQ(1, disableDHCPServer("eth0"));
    EXPECT_EQ(-1, isDHCPDActivate("eth0"));
}

// ---- isSameApSubnet ----

static const char kApConf[] = "etc/dhcpd/dhcpd-lbr0-lbr0.conf";

static void writeAccessPoint(const Sandbox &sb)
{
    sb.write(kApConf, "interface=lbr0\n"
                      "dhcp-range=set:lbr0,192.168.50.10,192.168.50.99,255.255.255.0,86400\n"
                      "dhcp-option=tag:lbr0,option:router,192.168.50.1\n"
                      "dhcp-option=tag:lbr0,option:dns-server,192.168.50.1\n");
}

TEST(IsSameApSubnet, NoAccessPointSubnetNoConflict)
{
    Sandbox sb;
    EXPECT_EQ(0, isSameApSubnet("192.168.50.1", "255.255.255.0"));
    EXPECT_EQ(0, isSameApSubnet("not an address", "255.255.255.0"));
}

TEST(IsSameApSubnet, ConflictUnderEitherMask)
{
    Sandbox sb;
    writeAccessPoint(sb);
    EXPECT_NE(0, isSameApSubnet("192.168.50.1", "255.255.255.0")); // the router itself
    EXPECT_NE(0, isSameApSubnet("192.168.50.1", "255.255.255.255"));
    EXPECT_NE(0, isSameApSubnet("192.168.50.77", "255.255.255.0"));
    EXPECT_NE(0, isSameApSubnet("192.168.50.77", "255.255.255.252")); // the AP's own mask
    EXPECT_NE(0, isSameApSubnet("192.168.51.7", "255.255.0.0"));      // the caller's mask
    EXPECT_EQ(0, isSameApSubnet("192.168.51.7", "255.255.255.0"));
    EXPECT_EQ(0, isSameApSubnet("10.0.0.5", "255.0.0.0"));
}

TEST(IsSameApSubnet, UnparsableTextCountsAsAConflict)
{
    Sandbox sb;
    writeAccessPoint(sb);
    EXPECT_NE(0, isSameApSubnet("192.168.51.7", "not a mask"));
    EXPECT_NE(0, isSameApSubnet("", "255.255.255.0"));
    EXPECT_NE(0, isSameApSubnet(nullptr, nullptr));
}

TEST(IsSameApSubnet, AccessPointFragmentLackingLinesIsMinusOne)
{
    Sandbox sb;
    sb.write(kApConf, "interface=lbr0\n"
                      "dhcp-range=set:lbr0,192.168.50.10,192.168.50.99,255.255.255.0,86400\n");
    testing::internal::CaptureStderr();
    EXPECT_EQ(-1, isSameApSubnet("10.0.0.5", "255.0.0.0"));
    std::string log = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(logged(log, "Failed to get key dhcp-option\n")) << log;
}
