// The client list's view of a lease-log record: its expiry text and its
// fields.
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

static const char kList[] = "etc/dhcpd/dhcpdStatic.ori";

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
                    "dhcp-host=02:AB:CD:EF:00:01,camera,192.168.1.21,infinite\n"
                    "dhcp-host=02-00-00-aa-bb-dd,edited,192.168.1.22,infinite\n");
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
                                    {"02:00:00:aa:bb:02", "expired"},
                                    {"02-00-00-AA-BB-DD", "unlimited"}, // a key typed by hand
                                    {"02:00:00:aa:bb:dd", "expired"}}) {
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
