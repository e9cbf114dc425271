// The reservation list: one line per reservation, read back field by field.
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
