// Service control (enable state, switching an interface off, the restart
// script), the PXE subnet store with the access point's subnet check, the
// reservation list, expiry texts and the parsing of lease-log records.
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

static std::string infoName(const std::string &ifName, const std::string &tag)
{
    return "etc/dhcpd/dhcpd-" + ifName + "-" + tag + ".info";
}

static std::string numberedInfo(const std::string &ifName, int index)
{
    return infoName(ifName, ifName + std::to_string(index));
}

// ---- the library's interface ----

static std::set<std::string> namesIn(const std::string &file, const std::regex &pattern)
{
    std::ifstream in(std::string(ORVATH_SOURCE_DIR) + "/" + file);
    std::stringstream text;
    text << in.rdbuf();
    std::set<std::string> names;
    std::string all = text.str();
    for (std::sregex_iterator m(all.begin(), all.end(), pattern), end; m != end; ++m)
        names.insert((*m)[1]);
    return names;
}

// The version script and the header name the same functions, and the built
// library exports each of them and none of its own helpers.
TEST(LibraryInterface, VersionScriptHeaderAndLibraryAgree)
{
    std::set<std::string> declared =
        namesIn("lib/quomodhcp.h", std::regex(R"(\nQUOMO_API [A-Za-z0-9_]+ \**([A-Za-z0-9_]+)\()"));
    std::set<std::string> listed = namesIn("lib/quomodhcp.map", std::regex(R"(\n +([A-Za-z0-9_]+);)"));
    EXPECT_EQ(67u, declared.size());
    EXPECT_EQ(declared, listed);

    std::string bin = ORVATH_BIN;
    std::string lib = bin.substr(0, bin.rfind('/')) + "/libquomodhcp.so.1";
    void *handle = dlopen(lib.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(nullptr, handle) << dlerror();
    for (const std::string &name : declared)
        EXPECT_NE(nullptr, dlsym(handle, name.c_str())) << name;
    for (const char *hidden : {"quomoSetSubnet", "quomoParseLeaseRecord", "quomoCommitPending"})
        EXPECT_EQ(nullptr, dlsym(handle, hidden)) << hidden;
    dlclose(handle);
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

// ---- reservation list, expiry texts, lease-log records ----


static const char kList[] = "etc/dhcpd/dhcpdStatic.ori";


// ---- writeStaticConf ----

TEST(WriteStaticConf, AppendsOneLinePerReservationHostBeforeAddress)
{
    Sandbox sb;
    sb.mkdirs("etc/dhcpd");
    EXPECT_EQ(1, writeStaticConf("02:00:00:aa:bb:cc", "192.168.1.20", "printer"));
    EXPECT_EQ(1, writeStaticConf("02:00:00:aa:bb:01", "192.168.1.5", ""));
    EXPECT_EQ(1, writeStaticConf("02:00:00:aa:bb:cc", "192.168.1.21", "dup"));
    EXPECT_EQ("dhcp-host=02:00:00:aa:bb:cc,printer,192.168.1.20,infinite\n"
              "dhcp-host=02:00:00:aa:bb:01,,192.168.1.5,infinite\n"
              "dhcp-host=02:00:00:aa:bb:cc,dup,192.168.1.21,infinite\n",
              sb.read(kList));
}

TEST(WriteStaticConf, NullArgumentWritesNothing)
{
    Sandbox sb;
    sb.mkdirs("etc/dhcpd");
    testing::internal::CaptureStderr();
    EXPECT_EQ(-1, writeStaticConf(nullptr, "192.168.1.20", "h"));
    EXPECT_EQ(-1, writeStaticConf("02:00:00:aa:bb:cc", nullptr, "h"));
    EXPECT_EQ(-1, writeStaticConf("02:00:00:aa:bb:cc", "192.168.1.20", nullptr));
    std::string log = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(logged(log, "Error Static Host Setting parameter!")) << log;
    EXPECT_FALSE(sb.exists(kList));
}

TEST(WriteStaticConf, RefusesLineBreaksInAnyArgument)
{
    Sandbox sb;
    sb.mkdirs("etc/dhcpd");
    const std::string before = "dhcp-host=02:00:00:aa:bb:cc,printer,192.168.1.20,infinite\n";
    sb.write(kList, before);
    for (const char *bad : {"x\ndhcp-script=/bin/sh", "x\r", "\n"}) {
        testing::internal::CaptureStderr();
        EXPECT_EQ(-1, writeStaticConf(bad, "192.168.1.20", "h")) << bad;
        EXPECT_EQ(-1, writeStaticConf("02:00:00:aa:bb:cc", bad, "h")) << bad;
        EXPECT_EQ(-1, writeStaticConf("02:00:00:aa:bb:cc", "192.168.1.20", bad)) << bad;
        std::string log = testing::internal::GetCapturedStderr();
        EXPECT_TRUE(logged(log, "line break")) << log;
    }
    EXPECT_EQ(before, sb.read(kList));
}

TEST(WriteStaticConf, RefusesALineLongerThanTheLineBuffer)
{
    // Cut, the line would lose its address and lease time.
    Sandbox sb;
    sb.mkdirs("etc/dhcpd");
    std::string host(2000, 'h');
    EXPECT_EQ(-1, writeStaticConf("02:00:00:aa:bb:cc", "192.168.1.20", host.c_str()));
    EXPECT_FALSE(sb.exists(kList));
}

TEST(WriteStaticConf, CreatesTheDirectoryOfTheList)
{
    Sandbox sb;
    EXPECT_EQ(1, writeStaticConf("02:00:00:aa:bb:cc", "192.168.1.20", "printer"));
    EXPECT_EQ("dhcp-host=02:00:00:aa:bb:cc,printer,192.168.1.20,infinite\n", sb.read(kList));
}

// ---- readStaticConf ----

struct StaticEntry {
    char mac[QUOMO_IP_LEN];
    char ip[QUOMO_IP_LEN];
    char host[QUOMO_HOSTNAME_LEN];
    StaticEntry()
    {
        snprintf(mac, sizeof mac, "old-mac");
        snprintf(ip, sizeof ip, "old-ip");
        snprintf(host, sizeof host, "old-host");
    }
    int read(const std::string &line) { return readStaticConf(mac, ip, host, line.c_str()); }
};

TEST(ReadStaticConf, ReadsWhatWriteStaticConfWrote)
{
    Sandbox sb;
    sb.mkdirs("etc/dhcpd");
    ASSERT_EQ(1, writeStaticConf("02:00:00:aa:bb:cc", "192.168.1.20", "printer"));
    ASSERT_EQ(1, writeStaticConf("02:00:00:aa:bb:01", "192.168.1.5", ""));
    std::string list = sb.read(kList);
    size_t nl = list.find('\n');

    StaticEntry e;
    EXPECT_EQ(5, e.read(list.substr(0, nl + 1)));
    EXPECT_STREQ("02:00:00:aa:bb:cc", e.mac);
    EXPECT_STREQ("192.168.1.20", e.ip);
    EXPECT_STREQ("printer", e.host);

    EXPECT_EQ(5, e.read(list.substr(nl + 1)));
    EXPECT_STREQ("02:00:00:aa:bb:01", e.mac);
    EXPECT_STREQ("192.168.1.5", e.ip);
    EXPECT_STREQ("", e.host);
}

TEST(ReadStaticConf, CutsFieldsToTheirBuffers)
{
    std::string mac(25, 'm'), ip(30, '1'), host(1500, 'h');
    StaticEntry e;
    EXPECT_EQ(5, e.read("dhcp-host=" + mac + "," + host + "," + ip + ",infinite\n"));
    EXPECT_EQ(mac.substr(0, 19), e.mac);
    EXPECT_EQ(ip.substr(0, 19), e.ip);
    EXPECT_EQ(host.substr(0, 1023), e.host);
}

TEST(ReadStaticConf, LineWithoutFourFieldsLeavesBuffersAlone)
{
    for (const char *line : {"", "\n", "dhcp-host\n", "dhcp-host=02:00:00:aa:bb:cc,printer\n"}) {
        StaticEntry e;
        EXPECT_LT(e.read(line), 0) << line;
        EXPECT_STREQ("old-mac", e.mac) << line;
        EXPECT_STREQ("old-ip", e.ip) << line;
        EXPECT_STREQ("old-host", e.host) << line;
    }
    // Four fields are enough: the address is the fourth.
    StaticEntry e;
    EXPECT_EQ(4, e.read("dhcp-host=02:00:00:aa:bb:cc,printer,192.168.1.20"));
    EXPECT_STREQ("192.168.1.20", e.ip);
}

// ---- getExpireTime ----

TEST(GetExpireTime, RemainingTimeInDaysHoursMinutes)
{
    Sandbox sb;
    sb.mkdirs("etc/dhcpd");
    char text[QUOMO_EXPIRE_LEN];
    FixedClock clock;
    const time_t now = clock.now;
    struct Case {
        long long offset;
        const char *text;
    };
    for (Case c : std::vector<Case>{{90061, "1,1,1"},
                                    {86400 * 3 + 3600 * 23 + 60 * 59 + 30, "3,23,59"},
                                    {3600, "0,1,0"},
                                    {59, "0,0,0"},
                                    {0, "expired"},
                                    {-1, "expired"},
                                    {-86400 * 400, "expired"}}) {
        snprintf(text, sizeof text, "unset");
        EXPECT_EQ(0, getExpireTime(text, (int32_t)(now + c.offset), "02:00:00:aa:bb:cc")) << c.offset;
        EXPECT_STREQ(c.text, text) << c.offset;
    }
    EXPECT_EQ(0, getExpireTime(text, INT32_MIN, "02:00:00:aa:bb:cc"));
    EXPECT_STREQ("expired", text);
}

TEST(GetExpireTime, ReservedClientIsUnlimitedWhateverItsExpiry)
{
    Sandbox sb;
    sb.write(kList, "dhcp-host=02:00:00:aa:bb:01,,192.168.1.5,infinite\n"
                    "dhcp-host=02:00:00:aa:bb:cc,printer,192.168.1.20,infinite\n"
                    "dhcp-host=02:AB:CD:EF:00:01,camera,192.168.1.21,infinite\n");
    char text[QUOMO_EXPIRE_LEN];
    time_t now = time(nullptr);
    for (long long offset : {-100000LL, 0LL, 100000LL}) {
        EXPECT_EQ(0, getExpireTime(text, (int32_t)(now + offset), "02:00:00:aa:bb:cc"));
        EXPECT_STREQ("unlimited", text);
    }
    // Only the MAC field counts, and letter case does not: a reservation
    // typed in upper case covers the lower-case address dnsmasq records.
    struct Case {
        const char *mac;
        const char *text;
    };
    for (Case c : std::vector<Case>{{"02:ab:cd:ef:00:01", "unlimited"},
                                    {"02:AB:CD:EF:00:01", "unlimited"},
                                    {"02:00:00:AA:BB:CC", "unlimited"},
                                    {"02:Ab:cD:ef:00:01", "unlimited"},
                                    {"printer", "expired"},
                                    {"02:00:00:aa:bb", "expired"},
                                    {"02:00:00:aa:bb:02", "expired"}}) {
        EXPECT_EQ(0, getExpireTime(text, (int32_t)now, c.mac)) << c.mac;
        EXPECT_STREQ(c.text, text) << c.mac;
    }
}

TEST(GetExpireTime, EmptyMacIsNotReserved)
{
    Sandbox sb;
    sb.write(kList, "dhcp-host=02:00:00:aa:bb:cc,printer,192.168.1.20,infinite\n");
    char text[QUOMO_EXPIRE_LEN];
    EXPECT_EQ(0, getExpireTime(text, (int32_t)(time(nullptr) - 10), ""));
    EXPECT_STREQ("expired", text);
}

TEST(GetExpireTime, CreatesAMissingReservationList)
{
    Sandbox sb;
    sb.mkdirs("etc/dhcpd");
    char text[QUOMO_EXPIRE_LEN];
    EXPECT_EQ(0, getExpireTime(text, 0, "02:00:00:aa:bb:cc"));
    EXPECT_STREQ("expired", text);
    EXPECT_TRUE(sb.exists(kList));
    EXPECT_EQ("", sb.read(kList));
}

TEST(GetExpireTime, Failures)
{
    Sandbox sb; // no etc/dhcpd: the reservation list cannot be created
    char text[QUOMO_EXPIRE_LEN] = "unset";
    testing::internal::CaptureStderr();
    EXPECT_EQ(-1, getExpireTime(nullptr, 0, "02:00:00:aa:bb:cc"));
    EXPECT_EQ(-1, getExpireTime(text, 0, nullptr));
    EXPECT_LT(getExpireTime(text, 0, "02:00:00:aa:bb:cc"), 0);
    std::string log = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(logged(log, "szExpireTime is null")) << log;
    EXPECT_TRUE(logged(log, "szMac is null")) << log;
    EXPECT_TRUE(logged(log, "check reserved list fail")) << log;
    EXPECT_STREQ("unset", text);
}

// ---- readClientList ----

struct ClientEntry {
    char mac[QUOMO_IP_LEN];
    char ip[QUOMO_IP_LEN];
    char host[QUOMO_HOSTNAME_LEN];
    char expire[QUOMO_EXPIRE_LEN];
    char ifName[QUOMO_IFNAME_LEN];
    ClientEntry()
    {
        snprintf(mac, sizeof mac, "old-mac");
        snprintf(ip, sizeof ip, "old-ip");
        snprintf(host, sizeof host, "old-host");
        snprintf(expire, sizeof expire, "old-expire");
        snprintf(ifName, sizeof ifName, "old-if");
    }
    int read(const std::string &line) { return readClientList(mac, ip, host, expire, ifName, line.c_str()); }
    bool untouched() const
    {
        return std::string(mac) == "old-mac" && std::string(ip) == "old-ip" &&
               std::string(host) == "old-host" && std::string(expire) == "old-expire" &&
               std::string(ifName) == "old-if";
    }
};

TEST(ReadClientList, FiveAndFourFieldRecords)
{
    Sandbox sb;
    sb.mkdirs("etc/dhcpd");
    FixedClock clock;
    const time_t now = clock.now;
    ClientEntry e;
    EXPECT_EQ(0, e.read(std::to_string(now + 90061) + " 02:00:00:aa:bb:cc 192.168.1.20 laptop eth0\n"));
    EXPECT_STREQ("02:00:00:aa:bb:cc", e.mac);
    EXPECT_STREQ("192.168.1.20", e.ip);
    EXPECT_STREQ("laptop", e.host);
    EXPECT_STREQ("1,1,1", e.expire);
    EXPECT_STREQ("eth0", e.ifName);

    // Four fields: no host name; the line end is not part of the interface.
    EXPECT_EQ(0, e.read(std::to_string(now - 5) + " 02:00:00:aa:bb:01 192.168.1.5 ovs_eth1\r\n"));
    EXPECT_STREQ("02:00:00:aa:bb:01", e.mac);
    EXPECT_STREQ("192.168.1.5", e.ip);
    EXPECT_STREQ("", e.host);
    EXPECT_STREQ("expired", e.expire);
    EXPECT_STREQ("ovs_eth1", e.ifName);

    // An empty host name leaves two spaces in a row.
    EXPECT_EQ(0, e.read(std::to_string(now + 59) + " 02:00:00:aa:bb:02 192.168.1.6  eth0"));
    EXPECT_STREQ("", e.host);
    EXPECT_STREQ("0,0,0", e.expire);
    EXPECT_STREQ("eth0", e.ifName);
}

TEST(ReadClientList, ReservedClientReadsUnlimited)
{
    Sandbox sb;
    sb.write(kList, "dhcp-host=02:00:00:aa:bb:cc,printer,192.168.1.20,infinite\n"
                    "dhcp-host=02:AB:CD:EF:00:01,camera,192.168.1.21,infinite\n");
    for (const char *line : {"0 02:00:00:aa:bb:cc 192.168.1.20 printer eth0\n",
                             "0 02:ab:cd:ef:00:01 192.168.1.21 camera eth0\n"}) {
        ClientEntry e;
        EXPECT_EQ(0, e.read(line));
        EXPECT_STREQ("unlimited", e.expire) << line;
    }
}

TEST(ReadClientList, CutsFieldsToTheirBuffers)
{
    Sandbox sb;
    sb.mkdirs("etc/dhcpd");
    std::string mac(25, 'm'), ip(30, '1'), host(1500, 'h'), ifName(20, 'i');
    ClientEntry e;
    EXPECT_EQ(0, e.read("0 " + mac + " " + ip + " " + host + " " + ifName + "\n"));
    EXPECT_EQ(mac.substr(0, 19), e.mac);
    EXPECT_EQ(ip.substr(0, 19), e.ip);
    EXPECT_EQ(host.substr(0, 1023), e.host);
    EXPECT_EQ(ifName.substr(0, 15), e.ifName);
}

TEST(ReadClientList, ExpiryOutsideThe32BitRangeIsClamped)
{
    Sandbox sb;
    sb.mkdirs("etc/dhcpd");
    ClientEntry e;
    EXPECT_EQ(0, e.read("99999999999999999999999 02:00:00:aa:bb:cc 192.168.1.20 h eth0\n"));
    EXPECT_STRNE("expired", e.expire); // the end of the 32-bit range lies ahead
    EXPECT_NE(nullptr, strchr(e.expire, ','));
    for (const char *expiry : {"-99999999999999999999999", "-1", "garbage", ""}) {
        EXPECT_EQ(0, e.read(std::string(expiry) + " 02:00:00:aa:bb:cc 192.168.1.20 h eth0\n"));
        EXPECT_STREQ("expired", e.expire) << expiry;
    }
}

TEST(ReadClientList, DamagedRecordIsUnusableAndChangesNothing)
{
    Sandbox sb;
    sb.mkdirs("etc/dhcpd");
    for (const char *line : {"", "\n", "1700000000\n", "1700000000 02:00:00:aa:bb:cc 192.168.1.20\n",
                             "1700000000 02:00:00:aa:bb:cc 192.168.1.20 h eth0 extra\n",
                             "1700000000 02:00:00:aa:bb:cc 192.168.1.20 h eth0 \n"}) {
        ClientEntry e;
        EXPECT_LT(e.read(line), 0) << line;
        EXPECT_TRUE(e.untouched()) << line;
    }
}
