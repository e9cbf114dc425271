// Writing a subnet's fragment and settings file, refusing records that would
// write unintended lines or files, and removing surplus numbered files.
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

#include "orvath_common.h"
#include "quomodhcp.h"
#include "lib_test.h"
#include "sandbox.h"

static const char kConf[] = "etc/dhcpd/dhcpd-eth0-eth00.conf";
static const char kInfo[] = "etc/dhcpd/dhcpd-eth0-eth00.info";

static const char kExampleFragment[] =
    "interface=eth0\n"
    "dhcp-range=set:eth00,192.168.1.100,192.168.1.200,255.255.255.0,86400\n"
    "dhcp-option=tag:eth00,option:router,192.168.1.1\n"
    "dhcp-option=tag:eth00,option:dns-server,192.168.1.1\n";

// ---- file contents ----

TEST(SetDhcpServerConfigFiles, WritesFragmentAndSettingsFileByteForByte)
{
    Sandbox sb; // no etc/dhcpd yet: the writer creates it
    DhcpServerConf c = exampleSubnet();
    EXPECT_EQ(1, QUOMODHCPSetDhcpServerConfigFiles(&c, 1));
    EXPECT_EQ(kExampleFragment, sb.read(kConf));
    EXPECT_EQ("enable=\"yes\"\n", sb.read(kInfo));
}

TEST(SetDhcpServerConfigFiles, DomainAddsTwoLinesAndSecondDnsAFourthField)
{
    Sandbox sb;
    DhcpServerConf c = exampleSubnet();
    strcpy(c.szTag, "eth03");
    strcpy(c.szDomain, "office.example");
    strcpy(c.szSecondaryDns, "8.8.8.8");
    c.leaseTime = -1;
    EXPECT_EQ(1, QUOMODHCPSetDhcpServerConfigFiles(&c, 1));
    EXPECT_EQ("interface=eth0\n"
              "dhcp-range=set:eth03,192.168.1.100,192.168.1.200,255.255.255.0,-1\n"
              "dhcp-option=tag:eth03,option:router,192.168.1.1\n"
              "dhcp-option=tag:eth03,option:domain-search,office.example\n"
              "dhcp-option=tag:eth03,option:domain-name,office.example\n"
              "dhcp-option=tag:eth03,option:dns-server,192.168.1.1,8.8.8.8\n",
              sb.read("etc/dhcpd/dhcpd-eth0-eth03.conf"));
}

TEST(SetDhcpServerConfigFiles, EmptyPrimaryDnsStillWritesTheDnsLine)
{
    Sandbox sb;
    DhcpServerConf c = exampleSubnet();
    c.szPrimaryDns[0] = '\0';
    EXPECT_EQ(1, QUOMODHCPSetDhcpServerConfigFiles(&c, 1));
    std::string fragment = sb.read(kConf);
    EXPECT_TRUE(logged(fragment, "\ndhcp-option=tag:eth00,option:dns-server,\n")) << fragment;
}

TEST(SetDhcpServerConfigFiles, FieldsAtFullWidthAreWrittenWhole)
{
    Sandbox sb;
    DhcpServerConf c = exampleSubnet();
    const std::string ip19(19, '1'), name15(15, 'n'), tag19(19, 't'), domain(4095, 'd');
    for (char *f : {c.szStartIp, c.szEndIp, c.szPrimaryDns, c.szSecondaryDns, c.szNetmask,
                    c.szGateway})
        strcpy(f, ip19.c_str());
    strcpy(c.szIfName, name15.c_str());
    strcpy(c.szTag, tag19.c_str());
    strcpy(c.szDomain, domain.c_str());
    EXPECT_EQ(1, QUOMODHCPSetDhcpServerConfigFiles(&c, 1));
    const std::string t = "dhcp-option=tag:" + tag19 + ",";
    EXPECT_EQ("interface=" + name15 + "\n" + "dhcp-range=set:" + tag19 + "," + ip19 + "," + ip19 +
                  "," + ip19 + ",86400\n" + t + "option:router," + ip19 + "\n" + t +
                  "option:domain-search," + domain + "\n" + t + "option:domain-name," + domain +
                  "\n" + t + "option:dns-server," + ip19 + "," + ip19 + "\n",
              sb.read("etc/dhcpd/dhcpd-" + name15 + "-" + tag19 + ".conf"));
}

TEST(SetDhcpServerConfigFiles, RewriteTruncatesTheLongerOldFiles)
{
    Sandbox sb;
    DhcpServerConf c = exampleSubnet();
    strcpy(c.szDomain, "a-rather-long-domain.example");
    strcpy(c.szSecondaryDns, "8.8.8.8");
    ASSERT_EQ(1, QUOMODHCPSetDhcpServerConfigFiles(&c, 1));
    sb.write(kInfo, "enable=\"yes\"\nstale=\"line that must go\"\n");
    DhcpServerConf shorter = exampleSubnet();
    EXPECT_EQ(1, QUOMODHCPSetDhcpServerConfigFiles(&shorter, 1));
    EXPECT_EQ(kExampleFragment, sb.read(kConf));
    EXPECT_EQ("enable=\"yes\"\n", sb.read(kInfo));
}

// ---- enable flag ----

TEST(SetDhcpServerConfigFiles, DisabledWriteKeepsTheLastEnabledFragment)
{
    Sandbox sb;
    DhcpServerConf c = exampleSubnet();
    ASSERT_EQ(1, QUOMODHCPSetDhcpServerConfigFiles(&c, 1));
    strcpy(c.szGateway, "10.9.9.9"); // not written while disabled
    EXPECT_EQ(1, QUOMODHCPSetDhcpServerConfigFiles(&c, 0));
    EXPECT_EQ("enable=\"no\"\n", sb.read(kInfo));
    EXPECT_EQ(kExampleFragment, sb.read(kConf));
}

TEST(SetDhcpServerConfigFiles, DisabledFirstWriteLeavesOnlyTheSettingsFile)
{
    Sandbox sb;
    DhcpServerConf c = exampleSubnet();
    c.isEnabled = 1; // ignored: the argument decides
    EXPECT_EQ(1, QUOMODHCPSetDhcpServerConfigFiles(&c, 0));
    EXPECT_EQ("enable=\"no\"\n", sb.read(kInfo));
    EXPECT_FALSE(sb.exists(kConf));
}

// ---- failures ----

TEST(SetDhcpServerConfigFiles, NullRecordIsLoggedAndRefused)
{
    Sandbox sb;
    auto before = sb.snapshot();
    testing::internal::CaptureStderr();
    EXPECT_EQ(0, QUOMODHCPSetDhcpServerConfigFiles(nullptr, 1));
    std::string log = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(logged(log, "subnet_store.cpp:")) << log;
    EXPECT_TRUE(logged(log, " Bad parameters.\n")) << log;
    EXPECT_EQ(before, sb.snapshot());
}

TEST(SetDhcpServerConfigFiles, DirectoryThatCannotBeMadeIsLogged)
{
    Sandbox sb;
    sb.write("etc/dhcpd", "a file where the directory belongs\n");
    auto before = sb.snapshot();
    DhcpServerConf c = exampleSubnet();
    testing::internal::CaptureStderr();
    EXPECT_EQ(0, QUOMODHCPSetDhcpServerConfigFiles(&c, 1));
    std::string log = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(logged(log, "Failed to mkdir [" + sb.path("etc/dhcpd") + "]\n")) << log;
    EXPECT_EQ(before, sb.snapshot());
}

TEST(SetDhcpServerConfigFiles, SettingsFileThatCannotBeOpenedWritesNothing)
{
    Sandbox sb;
    sb.mkdirs(kInfo); // a directory in its place
    DhcpServerConf c = exampleSubnet();
    testing::internal::CaptureStderr();
    EXPECT_EQ(0, QUOMODHCPSetDhcpServerConfigFiles(&c, 1));
    std::string log = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(logged(log, "Failed to open file [" + sb.path(kInfo) + "].\n")) << log;
    EXPECT_FALSE(sb.exists(kConf));
}

TEST(SetDhcpServerConfigFiles, FragmentThatCannotBeWrittenSwitchesNothingOn)
{
    Sandbox sb;
    sb.mkdirs(kConf);
    DhcpServerConf c = exampleSubnet();
    testing::internal::CaptureStderr();
    EXPECT_EQ(0, QUOMODHCPSetDhcpServerConfigFiles(&c, 1));
    std::string log = testing::internal::GetCapturedStderr();
    size_t open = log.find("Failed to open file [" + sb.path(kConf) + "].\n");
    size_t set = log.find("Failed to set config file of dhcp server [eth0].\n");
    EXPECT_NE(std::string::npos, open) << log;
    EXPECT_NE(std::string::npos, set) << log;
    EXPECT_LT(open, set);
    EXPECT_FALSE(sb.exists(kInfo)); // written after its fragment only
    EXPECT_STREQ("etc/dhcpd/dhcpd-eth0-eth00.conf: Is a directory", orvFailure());
    orvClearFailure();
}

TEST(SetDhcpServerConfigFiles, LinksAreReplacedNeverWrittenThrough)
{
    Sandbox sb;
    sb.write("outside/fragment", "kept\n");
    sb.write("outside/settings", "kept\n");
    sb.mkdirs("etc/dhcpd");
    ASSERT_EQ(0, symlink(sb.path("outside/fragment").c_str(), sb.path(kConf).c_str()));
    ASSERT_EQ(0, symlink(sb.path("outside/settings").c_str(), sb.path(kInfo).c_str()));
    DhcpServerConf c = exampleSubnet();
    EXPECT_EQ(1, QUOMODHCPSetDhcpServerConfigFiles(&c, 1));
    EXPECT_EQ(kExampleFragment, sb.read(kConf));
    EXPECT_EQ("enable=\"yes\"\n", sb.read(kInfo));
    EXPECT_EQ("kept\n", sb.read("outside/fragment"));
    EXPECT_EQ("kept\n", sb.read("outside/settings"));
    struct stat st;
    ASSERT_EQ(0, lstat(sb.path(kConf).c_str(), &st));
    EXPECT_TRUE(S_ISREG(st.st_mode));
}

// ---- refused records: nothing on disk changes ----

struct Refusal {
    const char *name;
    void (*spoil)(DhcpServerConf &);
    const char *message;
};

static const Refusal kRefusals[] = {
    {"LineBreakInDomain", [](DhcpServerConf &c) { strcpy(c.szDomain, "x\ndhcp-script=/tmp/x"); },
     "Invalid parameter szDomain: contains a line break"},
    {"CarriageReturnInGateway", [](DhcpServerConf &c) { strcpy(c.szGateway, "1.1.1.1\r"); },
     "Invalid parameter szGateway: contains a line break"},
    {"LineBreakInStart", [](DhcpServerConf &c) { strcpy(c.szStartIp, "1.1.1.1\n"); },
     "Invalid parameter szStartIp: contains a line break"},
    {"LineBreakInEnd", [](DhcpServerConf &c) { strcpy(c.szEndIp, "\n"); },
     "Invalid parameter szEndIp: contains a line break"},
    {"LineBreakInNetmask", [](DhcpServerConf &c) { strcpy(c.szNetmask, "\n255.0.0.0"); },
     "Invalid parameter szNetmask: contains a line break"},
    {"LineBreakInPrimaryDns", [](DhcpServerConf &c) { strcpy(c.szPrimaryDns, "a\nb"); },
     "Invalid parameter szPrimaryDns: contains a line break"},
    {"LineBreakInSecondaryDns", [](DhcpServerConf &c) { strcpy(c.szSecondaryDns, "a\nb"); },
     "Invalid parameter szSecondaryDns: contains a line break"},
    {"LineBreakInInterface", [](DhcpServerConf &c) { strcpy(c.szIfName, "eth0\nport=5"); },
     "Invalid parameter szIfName: contains a line break"},
    {"LineBreakInTag", [](DhcpServerConf &c) { strcpy(c.szTag, "eth00\n"); },
     "Invalid parameter szTag: contains a line break"},
    {"SlashInInterface", [](DhcpServerConf &c) { strcpy(c.szIfName, "../../x"); },
     "Invalid parameter szIfName: contains \"/\""},
    {"SlashInTag", [](DhcpServerConf &c) { strcpy(c.szTag, "a/b"); },
     "Invalid parameter szTag: contains \"/\""},
    {"DotInterface", [](DhcpServerConf &c) { strcpy(c.szIfName, ".hidden"); },
     "Invalid parameter szIfName: begins with \".\""},
    {"DotTag", [](DhcpServerConf &c) { strcpy(c.szTag, ".."); },
     "Invalid parameter szTag: begins with \".\""},
    {"EmptyInterface", [](DhcpServerConf &c) { c.szIfName[0] = '\0'; },
     "Invalid parameter szIfName: empty"},
    {"EmptyTag", [](DhcpServerConf &c) { c.szTag[0] = '\0'; }, "Invalid parameter szTag: empty"},
    {"UnterminatedStart", [](DhcpServerConf &c) { memset(c.szStartIp, '1', sizeof c.szStartIp); },
     "Invalid parameter szStartIp: not terminated within 20 bytes"},
    {"UnterminatedInterface",
     [](DhcpServerConf &c) { memset(c.szIfName, 'e', sizeof c.szIfName); },
     "Invalid parameter szIfName: not terminated within 16 bytes"},
};

class SetDhcpServerConfigFilesRefusal : public testing::TestWithParam<Refusal> {};

TEST_P(SetDhcpServerConfigFilesRefusal, LogsAndLeavesTheSandboxUnchanged)
{
    Sandbox sb;
    DhcpServerConf c = exampleSubnet();
    ASSERT_EQ(1, QUOMODHCPSetDhcpServerConfigFiles(&c, 1)); // an earlier state to keep
    auto before = sb.snapshot();
    GetParam().spoil(c);
    for (int enable : {1, 0}) {
        testing::internal::CaptureStderr();
        EXPECT_EQ(0, QUOMODHCPSetDhcpServerConfigFiles(&c, enable));
        std::string log = testing::internal::GetCapturedStderr();
        EXPECT_TRUE(logged(log, GetParam().message)) << log;
    }
    EXPECT_EQ(before, sb.snapshot());
}

INSTANTIATE_TEST_SUITE_P(Records, SetDhcpServerConfigFilesRefusal, testing::ValuesIn(kRefusals),
                         [](const testing::TestParamInfo<Refusal> &info) {
                             return std::string(info.param.name);
                         });

// ---- removal of surplus numbered files ----

static void writeNumbered(const Sandbox &sb, const std::string &ifName,
                          std::initializer_list<int> indices)
{
    for (int i : indices) {
        std::string base = "etc/dhcpd/dhcpd-" + ifName + "-" + ifName + std::to_string(i);
        sb.write(base + ".conf", "interface=" + ifName + "\n");
        sb.write(base + ".info", "enable=\"yes\"\n");
    }
}

TEST(RemoveUnused, RemovesFromTheFirstIndexUpToTheEnd)
{
    Sandbox sb;
    writeNumbered(sb, "eth0", {0, 1, 2, 3, 4});
    writeNumbered(sb, "eth1", {2});
    EXPECT_EQ(0, removeUnusedConf("eth0", 2));
    for (int i = 0; i <= 4; ++i) {
        std::string base = "etc/dhcpd/dhcpd-eth0-eth0" + std::to_string(i);
        EXPECT_EQ(i < 2, sb.exists(base + ".conf")) << i;
        EXPECT_TRUE(sb.exists(base + ".info")) << i; // only the fragments so far
    }
    EXPECT_EQ(0, removeUnusedInfo("eth0", 2));
    for (int i = 0; i <= 4; ++i)
        EXPECT_EQ(i < 2, sb.exists("etc/dhcpd/dhcpd-eth0-eth0" + std::to_string(i) + ".info"));
    EXPECT_TRUE(sb.exists("etc/dhcpd/dhcpd-eth1-eth12.conf"));
    EXPECT_TRUE(sb.exists("etc/dhcpd/dhcpd-eth1-eth12.info"));
}

TEST(RemoveUnused, StopsAtTheFirstGap)
{
    Sandbox sb;
    writeNumbered(sb, "eth0", {0, 1, 3});
    auto before = sb.snapshot();
    EXPECT_EQ(0, removeUnusedConf("eth0", 2));
    EXPECT_EQ(0, removeUnusedInfo("eth0", 2));
    EXPECT_EQ(before, sb.snapshot());

    EXPECT_EQ(0, removeUnusedConf("eth0", 0)); // 0 and 1, then the gap at 2
    EXPECT_FALSE(sb.exists("etc/dhcpd/dhcpd-eth0-eth00.conf"));
    EXPECT_FALSE(sb.exists("etc/dhcpd/dhcpd-eth0-eth01.conf"));
    EXPECT_TRUE(sb.exists("etc/dhcpd/dhcpd-eth0-eth03.conf"));
}

TEST(RemoveUnused, IndexTenIsNotTakenForOne)
{
    Sandbox sb;
    writeNumbered(sb, "eth0", {10});
    EXPECT_EQ(0, removeUnusedConf("eth0", 1));
    EXPECT_TRUE(sb.exists("etc/dhcpd/dhcpd-eth0-eth010.conf"));
}

TEST(RemoveUnused, NamesThatAreNoInterfaceAreRefused)
{
    Sandbox sb;
    writeNumbered(sb, "eth0", {0});
    auto before = sb.snapshot();
    for (const char *name : {"", "../dhcpd-x", ".", "a/b"}) {
        EXPECT_EQ(-1, removeUnusedConf(name, 0)) << name;
        EXPECT_EQ(-1, removeUnusedInfo(name, 0)) << name;
    }
    EXPECT_EQ(-1, removeUnusedConf(nullptr, 0));
    EXPECT_EQ(before, sb.snapshot());
}
