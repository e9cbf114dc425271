// Reading a subnet back from its fragment and settings file.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include <gtest/gtest.h>

#include "quomodhcp.h"
#include "lib_test.h"
#include "sandbox.h"

static const char kConf[] = "etc/dhcpd/dhcpd-eth0-eth00.conf";
static const char kInfo[] = "etc/dhcpd/dhcpd-eth0-eth00.info";

static const char kRange[] =
    "dhcp-range=set:eth00,192.168.1.100,192.168.1.200,255.255.255.0,86400\n";
static const char kRouter[] = "dhcp-option=tag:eth00,option:router,192.168.1.1\n";
static const char kDns[] = "dhcp-option=tag:eth00,option:dns-server,192.168.1.1\n";
static const char kInterface[] = "interface=eth0\n";

static DhcpServerConf filledWith(char byte)
{
    DhcpServerConf c;
    memset(&c, byte, sizeof c);
    return c;
}

static bool sameBytes(const DhcpServerConf &a, const DhcpServerConf &b)
{
    return memcmp(&a, &b, sizeof a) == 0;
}

// Reads eth0/eth00 into a record that starts out as garbage.
static int readEth00(DhcpServerConf &out)
{
    out = filledWith('#');
    return QUOMODHCPGetDhcpServerConf("eth00", "eth0", &out);
}

// ---- round trips through the writer ----

TEST(GetDhcpServerConf, RoundTripOfAnEnabledSubnet)
{
    Sandbox sb;
    DhcpServerConf written = exampleSubnet();
    ASSERT_EQ(1, QUOMODHCPSetDhcpServerConfigFiles(&written, 1));
    DhcpServerConf read;
    ASSERT_EQ(1, readEth00(read));
    written.isEnabled = 1;
    EXPECT_TRUE(sameBytes(written, read)) << read.szStartIp << " " << read.szGateway;
}

TEST(GetDhcpServerConf, RoundTripWithDomainSecondDnsAndDisabled)
{
    Sandbox sb;
    DhcpServerConf written = exampleSubnet();
    strcpy(written.szDomain, "office.example");
    strcpy(written.szSecondaryDns, "8.8.4.4");
    written.leaseTime = -7;
    ASSERT_EQ(1, QUOMODHCPSetDhcpServerConfigFiles(&written, 1));
    ASSERT_EQ(1, QUOMODHCPSetDhcpServerConfigFiles(&written, 0));
    DhcpServerConf read;
    ASSERT_EQ(1, readEth00(read));
    EXPECT_TRUE(sameBytes(written, read)); // isEnabled 0 on both
}

TEST(GetDhcpServerConf, EmptyValuesReadBackEmpty)
{
    Sandbox sb;
    DhcpServerConf written = exampleSubnet();
    written.szGateway[0] = '\0';
    written.szPrimaryDns[0] = '\0';
    strcpy(written.szSecondaryDns, "8.8.4.4"); // stays the second server
    ASSERT_EQ(1, QUOMODHCPSetDhcpServerConfigFiles(&written, 1));
    DhcpServerConf read;
    ASSERT_EQ(1, readEth00(read));
    EXPECT_STREQ("", read.szGateway);
    EXPECT_STREQ("", read.szPrimaryDns);
    EXPECT_STREQ("8.8.4.4", read.szSecondaryDns);
}

TEST(GetDhcpServerConf, SubnetWrittenOnlyDisabledCannotBeRead)
{
    Sandbox sb;
    DhcpServerConf written = exampleSubnet();
    ASSERT_EQ(1, QUOMODHCPSetDhcpServerConfigFiles(&written, 0));
    DhcpServerConf read = filledWith('#');
    testing::internal::CaptureStderr();
    EXPECT_EQ(0, QUOMODHCPGetDhcpServerConf("eth00", "eth0", &read));
    std::string log = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(logged(log, "File [" + sb.path(kConf) + "] does not exist.\n")) << log;
    EXPECT_TRUE(sameBytes(filledWith('#'), read)); // untouched
}

// ---- where each field comes from ----

TEST(GetDhcpServerConf, InterfaceComesFromTheFileAndTagFromTheArgument)
{
    Sandbox sb;
    sb.write(kConf, std::string("interface=eth7\n") + kRange + kRouter + kDns);
    DhcpServerConf read;
    ASSERT_EQ(1, readEth00(read));
    EXPECT_STREQ("eth7", read.szIfName);
    EXPECT_STREQ("eth00", read.szTag);
}

TEST(GetDhcpServerConf, DomainComesFromTheSearchLineOnly)
{
    Sandbox sb;
    const std::string base = std::string(kInterface) + kRange + kRouter + kDns;
    sb.write(kConf, base + "dhcp-option=tag:eth00,option:domain-name,name.example\n");
    DhcpServerConf read;
    ASSERT_EQ(1, readEth00(read));
    EXPECT_STREQ("", read.szDomain);

    sb.write(kConf, base + "dhcp-option=tag:eth00,option:domain-search,search.example\n" +
                        "dhcp-option=tag:eth00,option:domain-name,name.example\n");
    ASSERT_EQ(1, readEth00(read));
    EXPECT_STREQ("search.example", read.szDomain);
}

TEST(GetDhcpServerConf, DnsLineWithAnUnexpectedFieldCountLeavesBothEmpty)
{
    Sandbox sb;
    for (const char *dns : {"dhcp-option=tag:eth00,option:dns-server,1.1.1.1,2.2.2.2,3.3.3.3\n",
                            "dhcp-option=option:dns-server\n"}) {
        sb.write(kConf, std::string(kInterface) + kRange + kRouter + dns);
        DhcpServerConf read;
        ASSERT_EQ(1, readEth00(read)) << dns;
        EXPECT_STREQ("", read.szPrimaryDns) << dns;
        EXPECT_STREQ("", read.szSecondaryDns) << dns;
    }
}

TEST(GetDhcpServerConf, EnabledOnlyForExactlyYes)
{
    Sandbox sb;
    sb.write(kConf, std::string(kInterface) + kRange + kRouter + kDns);
    const struct {
        const char *info;
        int enabled;
    } cases[] = {
        {"enable=\"yes\"\n", 1},   {"enable=yes\n", 1},       {"other=1\nenable=\"yes\"\n", 1},
        {"enable=\"Yes\"\n", 0},   {"enable=\"yes \"\n", 0},  {"enable=\"no\"\n", 0},
        {"enable=\"1\"\n", 0},     {"enabled=\"yes\"\n", 0},  {"", 0},
    };
    for (const auto &c : cases) {
        sb.write(kInfo, c.info);
        DhcpServerConf read;
        ASSERT_EQ(1, readEth00(read));
        EXPECT_EQ(c.enabled, read.isEnabled) << c.info;
    }
    sb.remove(kInfo);
    DhcpServerConf read;
    ASSERT_EQ(1, readEth00(read)); // a missing settings file is no error
    EXPECT_EQ(0, read.isEnabled);
}

// ---- cut to the field widths ----

TEST(GetDhcpServerConf, EveryFieldIsCutToItsWidth)
{
    Sandbox sb;
    const std::string ip(25, '9'), name(30, 'n'), domain(400, 'd');
    const std::string tag = "eth00";
    sb.write(kConf, "interface=" + name + "\n" + "dhcp-range=set:" + tag + "," + ip + "1," + ip +
                        "2," + ip + "3,600\n" + "dhcp-option=tag:eth00,option:router," + ip +
                        "4\n" + "dhcp-option=tag:eth00,option:domain-search," + domain + "\n" +
                        "dhcp-option=tag:eth00,option:dns-server," + ip + "5," + ip + "6\n");
    DhcpServerConf read;
    ASSERT_EQ(1, readEth00(read));
    const std::string ip19 = ip.substr(0, 19);
    EXPECT_EQ(ip19, read.szStartIp);
    EXPECT_EQ(ip19, read.szEndIp);
    EXPECT_EQ(ip19, read.szNetmask);
    EXPECT_EQ(ip19, read.szGateway);
    EXPECT_EQ(ip19, read.szPrimaryDns);
    EXPECT_EQ(ip19, read.szSecondaryDns);
    EXPECT_EQ(name.substr(0, 15), read.szIfName);
    EXPECT_EQ(domain.substr(0, 254), read.szDomain);
    EXPECT_EQ(600, read.leaseTime);
}

TEST(GetDhcpServerConf, LongTagArgumentIsCutInTheRecord)
{
    Sandbox sb;
    const std::string tag(25, 't');
    sb.write("etc/dhcpd/dhcpd-eth0-" + tag + ".conf",
             std::string(kInterface) + kRange + kRouter + kDns);
    DhcpServerConf read;
    ASSERT_EQ(1, QUOMODHCPGetDhcpServerConf(tag.c_str(), "eth0", &read));
    EXPECT_EQ(tag.substr(0, 19), read.szTag);
}

TEST(GetDhcpServerConf, LeaseTimeOutsideThirtyTwoBitsIsHeldAtTheLimit)
{
    Sandbox sb;
    const struct {
        const char *text;
        int32_t value;
    } cases[] = {
        {"2147483647", INT32_MAX},   {"2147483648", INT32_MAX},
        {"99999999999999999999999", INT32_MAX}, {"-2147483649", INT32_MIN},
        {"-86400", -86400},          {"3600abc", 3600},
        {"infinite", 0},
    };
    for (const auto &c : cases) {
        sb.write(kConf, std::string(kInterface) +
                            "dhcp-range=set:eth00,10.0.0.10,10.0.0.20,255.255.255.0," + c.text +
                            "\n" + kRouter + kDns);
        DhcpServerConf read;
        ASSERT_EQ(1, readEth00(read)) << c.text;
        EXPECT_EQ(c.value, read.leaseTime) << c.text;
    }
}

// ---- failures ----

TEST(GetDhcpServerConf, NullArgumentsFailSilently)
{
    Sandbox sb;
    DhcpServerConf written = exampleSubnet();
    ASSERT_EQ(1, QUOMODHCPSetDhcpServerConfigFiles(&written, 1));
    DhcpServerConf read = filledWith('#');
    testing::internal::CaptureStderr();
    EXPECT_EQ(0, QUOMODHCPGetDhcpServerConf(nullptr, "eth0", &read));
    EXPECT_EQ(0, QUOMODHCPGetDhcpServerConf("eth00", nullptr, &read));
    EXPECT_EQ(0, QUOMODHCPGetDhcpServerConf("eth00", "eth0", nullptr));
    EXPECT_EQ("", testing::internal::GetCapturedStderr());
    EXPECT_TRUE(sameBytes(filledWith('#'), read));
}

TEST(GetDhcpServerConf, EachRequiredLineMissingFailsWithItsMessage)
{
    Sandbox sb;
    const std::string conf = sb.path(kConf);
    const struct {
        std::string content;
        std::string message;
    } cases[] = {
        {std::string(kInterface) + kRouter + kDns, "Failed to get key dhcp-range\n"},
        {std::string(kInterface) + "dhcp-range=set:eth00,10.0.0.1,10.0.0.9,255.0.0.0\n" + kRouter +
             kDns,
         "Failed to get key dhcp-range\n"},
        {std::string(kInterface) + "dhcp-range=set:eth00\n" + kRouter + kDns,
         "Failed to get key dhcp-range\n"},
        {std::string(kInterface) + kRange + kRouter, "Failed to get key dhcp-option\n"},
        {std::string(kInterface) + kRange + kDns, "Failed to get key dhcp-option\n"},
        {std::string(kRange) + kRouter + kDns, "Failed to get key interface in " + conf + "\n"},
    };
    for (const auto &c : cases) {
        sb.write(kConf, c.content);
        DhcpServerConf read;
        testing::internal::CaptureStderr();
        EXPECT_EQ(0, readEth00(read)) << c.content;
        std::string log = testing::internal::GetCapturedStderr();
        EXPECT_TRUE(logged(log, "subnet_store.cpp:")) << log;
        EXPECT_TRUE(logged(log, c.message)) << c.content << log;
    }
}

TEST(GetDhcpServerConf, EmptyRangeValueFailsWithoutAMessage)
{
    Sandbox sb;
    sb.write(kConf, std::string(kInterface) + "dhcp-range=,,\n" + kRouter + kDns);
    DhcpServerConf read;
    testing::internal::CaptureStderr();
    EXPECT_EQ(0, readEth00(read));
    EXPECT_EQ("", testing::internal::GetCapturedStderr());
}
