// The PXE subnet store: its fragment line for line, its boot settings, and
// what it refuses.
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

// ---- PXE store ----

static const char kPxeConf[] = "etc/dhcpd/dhcpd-eth0-pxe.conf";
static const char kPxeInfo[] = "etc/dhcpd/dhcpd-eth0-pxe.info";

static DhcpPxeConf pxeSubnet(const char *bootFile, const char *domain, const char *secondDns)
{
    DhcpPxeConf c;
    memset(&c, 0, sizeof c);
    c.leaseTime = 36000;
    strcpy(c.szStartIp, "10.1.0.50");
    strcpy(c.szEndIp, "10.1.0.99");
    strcpy(c.szIfName, "eth0");
    strcpy(c.szDomain, domain);
    strcpy(c.szPrimaryDns, "10.1.0.1");
    strcpy(c.szSecondaryDns, secondDns);
    strcpy(c.szNetmask, "255.255.255.0");
    strcpy(c.szGateway, "10.1.0.254");
    strcpy(c.szTag, "pxe");
    strcpy(c.szBootFile, bootFile);
    return c;
}

static DhcpPxeConf filledPxe(char byte)
{
    DhcpPxeConf c;
    memset(&c, byte, sizeof c);
    return c;
}

static bool sameBytes(const DhcpPxeConf &a, const DhcpPxeConf &b)
{
    return memcmp(&a, &b, sizeof a) == 0;
}

TEST(PxeStore, WritesAllLinesByteForByte)
{
    Sandbox sb;
    DhcpPxeConf c = pxeSubnet("pxelinux.0", "lab.example", "10.1.0.2");
    EXPECT_EQ(1, QUOMONetSetDhcpPXEServerConfigFiles(&c, 1));
    EXPECT_EQ("interface=eth0\n"
              "dhcp-range=set:pxe,10.1.0.50,10.1.0.99,255.255.255.0,36000\n"
              "dhcp-option=tag:pxe,option:router,10.1.0.254\n"
              "dhcp-option=tag:pxe,option:domain-search,lab.example\n"
              "dhcp-option=tag:pxe,option:domain-name,lab.example\n"
              "dhcp-option=tag:pxe,option:dns-server,10.1.0.1,10.1.0.2\n"
              "dhcp-boot=tag:pxe,pxelinux.0\n"
              "dhcp-vendorclass=set:pxe,PXEClient\n",
              sb.read(kPxeConf));
    EXPECT_EQ("enable=\"yes\"\n", sb.read(kPxeInfo));
}

TEST(PxeStore, WithoutBootFileDomainOrSecondDnsThoseLinesAreLeftOut)
{
    Sandbox sb;
    sb.write(kPxeConf, "dhcp-boot=tag:pxe,old.0\nstale\nstale\nstale\nstale\nstale\n");
    DhcpPxeConf c = pxeSubnet("", "", "");
    EXPECT_EQ(1, QUOMONetSetDhcpPXEServerConfigFiles(&c, 1));
    EXPECT_EQ("interface=eth0\n"
              "dhcp-range=set:pxe,10.1.0.50,10.1.0.99,255.255.255.0,36000\n"
              "dhcp-option=tag:pxe,option:router,10.1.0.254\n"
              "dhcp-option=tag:pxe,option:dns-server,10.1.0.1\n",
              sb.read(kPxeConf));
}

TEST(PxeStore, DisabledWriteStillRewritesTheWholeFragment)
{
    Sandbox sb;
    DhcpPxeConf c = pxeSubnet("old.0", "", "");
    ASSERT_EQ(1, QUOMONetSetDhcpPXEServerConfigFiles(&c, 1));
    DhcpPxeConf changed = pxeSubnet("new.efi", "", "");
    strcpy(changed.szGateway, "10.1.0.253");
    EXPECT_EQ(1, QUOMONetSetDhcpPXEServerConfigFiles(&changed, 0));
    EXPECT_EQ("enable=\"no\"\n", sb.read(kPxeInfo));
    std::string fragment = sb.read(kPxeConf);
    EXPECT_TRUE(logged(fragment, "option:router,10.1.0.253\n")) << fragment;
    EXPECT_TRUE(logged(fragment, "\ndhcp-boot=tag:pxe,new.efi\n")) << fragment;
    EXPECT_FALSE(logged(fragment, "old.0")) << fragment;
}

TEST(PxeStore, RoundTrips)
{
    const struct {
        const char *bootFile, *domain, *secondDns;
        int enable;
    } cases[] = {
        {"pxelinux.0", "lab.example", "10.1.0.2", 1},
        {"", "", "", 1},
        {"boot/grubx64.efi", "", "10.1.0.2", 0},
        {"", "lab.example", "", 0},
    };
    for (const auto &c : cases) {
        Sandbox sb;
        DhcpPxeConf written = pxeSubnet(c.bootFile, c.domain, c.secondDns);
        ASSERT_EQ(1, QUOMONetSetDhcpPXEServerConfigFiles(&written, c.enable));
        DhcpPxeConf read = filledPxe('#');
        ASSERT_EQ(1, QUOMONetGetDhcpPXEServerConf("pxe", "eth0", &read)) << c.bootFile;
        written.isEnabled = c.enable;
        EXPECT_TRUE(sameBytes(written, read)) << c.bootFile << "|" << read.szBootFile << "|"
                                              << read.szDomain << "|" << read.szSecondaryDns;
    }
}

static DhcpPxeBoot pxeBoot(const char *efi64, const char *efi32, const char *arm64,
                           const char *ipxe, const char *tftp, int rangeOnly)
{
    DhcpPxeBoot b;
    memset(&b, 0, sizeof b);
    strcpy(b.szBootEfi64, efi64);
    strcpy(b.szBootEfi32, efi32);
    strcpy(b.szBootArm64, arm64);
    strcpy(b.szIpxe, ipxe);
    strcpy(b.szTftpServer, tftp);
    b.rangeOnly = rangeOnly;
    return b;
}

TEST(PxeStore, WritesTheBootSettingsLineForLine)
{
    const struct {
        DhcpPxeBoot boot;
        const char *bootFile;
        const char *tail; // what follows the dns-server line
    } cases[] = {
        {pxeBoot("", "", "", "", "", 0), "pxelinux.0", // as without the settings
         "dhcp-boot=tag:pxe,pxelinux.0\n"
         "dhcp-vendorclass=set:pxe,PXEClient\n"},
        {pxeBoot("ipxe.efi", "", "", "", "10.1.0.9", 0), "undionly.kpxe",
         "dhcp-vendorclass=set:pxe,PXEClient\n"
         "dhcp-match=set:pxe-efi64-eth0,option:client-arch,7\n"
         "dhcp-match=set:pxe-efi64-eth0,option:client-arch,9\n"
         "tag-if=set:pxe-boot-bios-eth0,tag:eth0,tag:pxe,tag:!pxe-efi64-eth0\n"
         "dhcp-boot=tag:pxe-boot-bios-eth0,undionly.kpxe,,10.1.0.9\n"
         "tag-if=set:pxe-boot-efi64-eth0,tag:eth0,tag:pxe,tag:pxe-efi64-eth0\n"
         "dhcp-boot=tag:pxe-boot-efi64-eth0,ipxe.efi,,10.1.0.9\n"},
        {pxeBoot("", "i32.efi", "a64.efi", "http://10.1.0.9/boot.ipxe", "", 1), "",
         "dhcp-vendorclass=set:pxe,PXEClient\n"
         "dhcp-vendorclass=set:pxe-client-eth0,PXEClient\n"
         "dhcp-match=set:pxe-efi32-eth0,option:client-arch,6\n"
         "dhcp-match=set:pxe-arm64-eth0,option:client-arch,11\n"
         "dhcp-userclass=set:pxe-ipxe-eth0,iPXE\n"
         "dhcp-match=set:pxe-ipxe-eth0,175\n"
         "tag-if=set:pxe-boot-efi32-eth0,tag:eth0,tag:pxe,tag:pxe-efi32-eth0,tag:!pxe-ipxe-eth0\n"
         "dhcp-boot=tag:pxe-boot-efi32-eth0,i32.efi\n"
         "tag-if=set:pxe-boot-arm64-eth0,tag:eth0,tag:pxe,tag:pxe-arm64-eth0,tag:!pxe-ipxe-eth0\n"
         "dhcp-boot=tag:pxe-boot-arm64-eth0,a64.efi\n"
         "tag-if=set:pxe-boot-ipxe-eth0,tag:eth0,tag:pxe,tag:pxe-ipxe-eth0\n"
         "dhcp-boot=tag:pxe-boot-ipxe-eth0,http://10.1.0.9/boot.ipxe\n"},
    };
    for (const auto &c : cases) {
        Sandbox sb;
        DhcpPxeConf conf = pxeSubnet(c.bootFile, "", "");
        ASSERT_EQ(1, QUOMONetSetDhcpPXEBootConfigFiles(&conf, &c.boot, 1)) << c.tail;
        const std::string range = c.boot.rangeOnly ? "tag:pxe-client-eth0,set:pxe" : "set:pxe";
        EXPECT_EQ("interface=eth0\n"
                  "dhcp-range=" + range + ",10.1.0.50,10.1.0.99,255.255.255.0,36000\n"
                  "dhcp-option=tag:pxe,option:router,10.1.0.254\n"
                  "dhcp-option=tag:pxe,option:dns-server,10.1.0.1\n" + std::string(c.tail),
                  sb.read(kPxeConf));
    }
}

TEST(PxeStore, BootSettingsRoundTripAndOutliveTheOlderWriter)
{
    const struct {
        const char *bootFile;
        DhcpPxeBoot boot;
    } cases[] = {
        {"pxelinux.0", pxeBoot("grubx64.efi", "i32.efi", "a64.efi", "boot.ipxe", "10.1.0.9", 1)},
        {"", pxeBoot("ipxe.efi", "", "", "https://h/x.ipxe", "", 0)},
        {"undionly.kpxe", pxeBoot("", "", "", "", "10.1.0.9", 1)},
        {"", pxeBoot("", "", "", "", "", 1)},
        {"pxelinux.0", pxeBoot("", "", "", "", "", 0)},
    };
    for (const auto &c : cases) {
        Sandbox sb;
        DhcpPxeConf written = pxeSubnet(c.bootFile, "lab.example", "10.1.0.2");
        written.isEnabled = 1;
        ASSERT_EQ(1, QUOMONetSetDhcpPXEBootConfigFiles(&written, &c.boot, 1)) << c.bootFile;
        DhcpPxeConf read = filledPxe('#');
        DhcpPxeBoot boot;
        memset(&boot, '#', sizeof boot);
        ASSERT_EQ(1, QUOMONetGetDhcpPXEBootConf("pxe", "eth0", &read, &boot)) << c.bootFile;
        EXPECT_TRUE(sameBytes(written, read)) << c.bootFile << "|" << read.szStartIp;
        EXPECT_EQ(0, memcmp(&c.boot, &boot, sizeof boot)) << c.bootFile << "|" << boot.szBootEfi64;

        // A caller that knows only the one boot file switches the subnet off
        // and changes its gateway; the boot settings stay as they were.
        strcpy(written.szGateway, "10.1.0.253");
        written.isEnabled = 0;
        ASSERT_EQ(1, QUOMONetSetDhcpPXEServerConfigFiles(&written, 0));
        memset(&boot, '#', sizeof boot);
        ASSERT_EQ(1, QUOMONetGetDhcpPXEBootConf("pxe", "eth0", &read, &boot));
        EXPECT_TRUE(sameBytes(written, read)) << c.bootFile;
        EXPECT_EQ(0, memcmp(&c.boot, &boot, sizeof boot)) << c.bootFile;
    }
}

TEST(PxeStore, BootFileReadsBackUpToItsFirstCommaAndWithinTheValueBuffer)
{
    Sandbox sb;
    DhcpPxeConf c = pxeSubnet("first,second", "", "");
    ASSERT_EQ(1, QUOMONetSetDhcpPXEServerConfigFiles(&c, 1));
    DhcpPxeConf read;
    ASSERT_EQ(1, QUOMONetGetDhcpPXEServerConf("pxe", "eth0", &read));
    EXPECT_STREQ("first", read.szBootFile);

    // The whole name is written; the value "tag:pxe,<name>" is read through a
    // 1024-byte buffer, leaving 1023 - 8 characters of the name.
    const std::string longName(4095, 'b');
    c = pxeSubnet(longName.c_str(), "", "");
    ASSERT_EQ(1, QUOMONetSetDhcpPXEServerConfigFiles(&c, 1));
    EXPECT_TRUE(logged(sb.read(kPxeConf), "dhcp-boot=tag:pxe," + longName + "\n"));
    ASSERT_EQ(1, QUOMONetGetDhcpPXEServerConf("pxe", "eth0", &read));
    EXPECT_EQ(longName.substr(0, 1015), read.szBootFile);
}

TEST(PxeStore, OddBootLines)
{
    Sandbox sb;
    DhcpPxeConf c = pxeSubnet("", "", "");
    ASSERT_EQ(1, QUOMONetSetDhcpPXEServerConfigFiles(&c, 1));
    const std::string fragment = sb.read(kPxeConf);
    const struct {
        const char *line;
        int result;
        const char *bootFile;
    } cases[] = {
        {"dhcp-boot=pxelinux.0\n", 1, ""}, // one field: no boot file
        {"dhcp-boot=,,,\n", 0, ""},         // no field at all
        {"dhcp-boot=\"tag:pxe,quoted.0\"\n", 1, "quoted.0"},
    };
    for (const auto &k : cases) {
        sb.write(kPxeConf, fragment + k.line);
        DhcpPxeConf read = filledPxe('#');
        EXPECT_EQ(k.result, QUOMONetGetDhcpPXEServerConf("pxe", "eth0", &read)) << k.line;
        EXPECT_STREQ(k.bootFile, read.szBootFile) << k.line;
        EXPECT_STREQ("10.1.0.254", read.szGateway) << k.line; // subnet part filled
    }
}

TEST(PxeStore, ReaderFailures)
{
    Sandbox sb;
    DhcpPxeConf read = filledPxe('#');
    testing::internal::CaptureStderr();
    EXPECT_EQ(0, QUOMONetGetDhcpPXEServerConf("pxe", "eth0", &read));
    EXPECT_EQ(0, QUOMONetGetDhcpPXEServerConf(nullptr, "eth0", &read));
    EXPECT_EQ(0, QUOMONetGetDhcpPXEServerConf("pxe", nullptr, &read));
    EXPECT_EQ(0, QUOMONetGetDhcpPXEServerConf("pxe", "eth0", nullptr));
    std::string log = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(logged(log, "File [" + sb.path(kPxeConf) + "] does not exist.\n")) << log;
    EXPECT_EQ(std::string::npos, log.find("does not exist", log.find("does not exist") + 1));
    EXPECT_TRUE(sameBytes(filledPxe('#'), read));

    sb.write(kPxeConf, "interface=eth0\n"
                       "dhcp-range=set:pxe,10.1.0.50,10.1.0.99,255.255.255.0,36000\n"
                       "dhcp-option=tag:pxe,option:dns-server,10.1.0.1\n"
                       "dhcp-boot=tag:pxe,pxelinux.0\n");
    testing::internal::CaptureStderr();
    EXPECT_EQ(0, QUOMONetGetDhcpPXEServerConf("pxe", "eth0", &read)); // no router line
    log = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(logged(log, "Failed to get key dhcp-option\n")) << log;
}

TEST(PxeStore, WriterFailures)
{
    Sandbox sb;
    testing::internal::CaptureStderr();
    EXPECT_EQ(0, QUOMONetSetDhcpPXEServerConfigFiles(nullptr, 1));
    std::string log = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(logged(log, "pxe_store.cpp:")) << log;
    EXPECT_TRUE(logged(log, " Bad parameters.\n")) << log;

    sb.mkdirs(kPxeConf); // a directory where the fragment belongs
    DhcpPxeConf c = pxeSubnet("pxelinux.0", "", "");
    testing::internal::CaptureStderr();
    EXPECT_EQ(0, QUOMONetSetDhcpPXEServerConfigFiles(&c, 0));
    log = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(logged(log, "Failed to open file [" + sb.path(kPxeConf) + "].\n")) << log;
    EXPECT_TRUE(logged(log, "Failed to set config file of dhcp server [eth0].\n")) << log;
    EXPECT_FALSE(sb.exists(kPxeInfo)); // written after its fragment only
}

TEST(PxeStore, RefusesTextThatWouldAddLinesOrLeaveTheDirectory)
{
    Sandbox sb;
    DhcpPxeConf good = pxeSubnet("pxelinux.0", "lab.example", "");
    ASSERT_EQ(1, QUOMONetSetDhcpPXEServerConfigFiles(&good, 1));
    auto before = sb.snapshot();
    const struct {
        void (*spoil)(DhcpPxeConf &);
        const char *message;
    } cases[] = {
        {[](DhcpPxeConf &c) { strcpy(c.szBootFile, "x.0\ndhcp-script=/bin/sh"); },
         "Invalid parameter szBootFile: contains a line break"},
        {[](DhcpPxeConf &c) { strcpy(c.szBootFile, "x.0\r"); },
         "Invalid parameter szBootFile: contains a line break"},
        {[](DhcpPxeConf &c) { memset(c.szBootFile, 'b', sizeof c.szBootFile); },
         "Invalid parameter szBootFile: not terminated within 4096 bytes"},
        {[](DhcpPxeConf &c) { strcpy(c.szDomain, "a\nb"); },
         "Invalid parameter szDomain: contains a line break"},
        {[](DhcpPxeConf &c) { strcpy(c.szIfName, "../.."); },
         "Invalid parameter szIfName: contains \"/\""},
        {[](DhcpPxeConf &c) { strcpy(c.szTag, "p/xe"); }, "Invalid parameter szTag: contains \"/\""},
        {[](DhcpPxeConf &c) { strcpy(c.szTag, ".pxe"); },
         "Invalid parameter szTag: begins with \".\""},
        {[](DhcpPxeConf &c) { c.szIfName[0] = '\0'; }, "Invalid parameter szIfName: empty"},
    };
    for (const auto &k : cases) {
        DhcpPxeConf c = good;
        k.spoil(c);
        testing::internal::CaptureStderr();
        EXPECT_EQ(0, QUOMONetSetDhcpPXEServerConfigFiles(&c, 1)) << k.message;
        std::string log = testing::internal::GetCapturedStderr();
        EXPECT_TRUE(logged(log, k.message)) << log;
    }
    EXPECT_EQ(before, sb.snapshot());
}
