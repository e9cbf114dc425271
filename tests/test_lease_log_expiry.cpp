// Removal of lease-log records an hour after their lease ended.
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

#include "quomodhcp.h"
#include "lib_test.h"
#include "sandbox.h"

static const char kLog[] = "var/packages/Orvath/target/etc/dhcpd-leases.log";
static const char kTmp[] = "var/packages/Orvath/target/etc/dhcpd-leases.log.tmp";
static const char kList[] = "etc/dhcpd/dhcpdStatic.ori";


static std::string record(long long expiry, const std::string &rest)
{
    return std::to_string(expiry) + " " + rest + "\n";
}

TEST(RemoveExpiredLease, RemovesRecordsAnHourAfterTheirExpiry)
{
    Sandbox sb;
    sb.mkdirs("etc/dhcpd");
    FixedClock clock;
    const time_t now = clock.now;
    const std::string kept1 = record(now - 3599, "02:00:00:aa:bb:01 192.168.1.10 alpha eth0");
    const std::string gone1 = record(now - 3600, "02:00:00:aa:bb:02 192.168.1.20 beta eth0");
    const std::string kept2 = record(now + 86400, "02:00:00:aa:bb:03 192.168.1.30 gamma eth1");
    const std::string gone2 = record(now - 100000, "02:00:00:aa:bb:04 192.168.1.40 eth1");
    const std::string gone3 = record(0, "02:00:00:aa:bb:05 192.168.1.50  eth0");
    sb.write(kLog, kept1 + gone1 + kept2 + gone2 + gone3);
    EXPECT_EQ(0, QUOMODHCPRemoveExpiredLease());
    EXPECT_EQ(kept1 + kept2, sb.read(kLog));
    EXPECT_FALSE(sb.exists(kTmp));
}

TEST(RemoveExpiredLease, ReservedClientsAreNeverRemoved)
{
    Sandbox sb;
    sb.write(kList, "dhcp-host=02:00:00:aa:bb:01,alpha,192.168.1.10,infinite\n");
    const std::string reserved = record(0, "02:00:00:aa:bb:01 192.168.1.10 alpha eth0");
    const std::string other = record(0, "02:00:00:aa:bb:02 192.168.1.20 beta eth0");
    sb.write(kLog, reserved + other);
    EXPECT_EQ(0, QUOMODHCPRemoveExpiredLease());
    EXPECT_EQ(reserved, sb.read(kLog));
}

TEST(RemoveExpiredLease, LinesThatAreNotRecordsAreKept)
{
    Sandbox sb;
    sb.mkdirs("etc/dhcpd");
    const std::string kept = "\n"
                             "0\n"
                             "0 02:00:00:aa:bb:01 192.168.1.10\n"
                             "0 02:00:00:aa:bb:02 192.168.1.20 beta eth0 extra\n";
    // The last record lacks its newline and is still removed.
    sb.write(kLog, kept + record(0, "02:00:00:aa:bb:03 192.168.1.30 gamma eth0") +
                       "0 02:00:00:aa:bb:04 192.168.1.40 delta eth0");
    EXPECT_EQ(0, QUOMODHCPRemoveExpiredLease());
    EXPECT_EQ(kept, sb.read(kLog));
    EXPECT_FALSE(sb.exists(kTmp));
}

TEST(RemoveExpiredLease, ExpiryAtTheEndsOfTheRange)
{
    Sandbox sb;
    sb.mkdirs("etc/dhcpd");
    // The grace time added to the largest expiry must not wrap it into the past.
    const std::string kept = record(2147483647LL, "02:00:00:aa:bb:01 192.168.1.10 a eth0") +
                             record(99999999999999999LL, "02:00:00:aa:bb:02 192.168.1.20 b eth0");
    sb.write(kLog, kept + record(-99999999999999999LL, "02:00:00:aa:bb:03 192.168.1.30 c eth0"));
    EXPECT_EQ(0, QUOMODHCPRemoveExpiredLease());
    EXPECT_EQ(kept, sb.read(kLog));
}

TEST(RemoveExpiredLease, EmptyLog)
{
    Sandbox sb;
    sb.mkdirs("etc/dhcpd");
    sb.write(kLog, "");
    EXPECT_EQ(0, QUOMODHCPRemoveExpiredLease());
    EXPECT_TRUE(sb.exists(kLog));
    EXPECT_EQ("", sb.read(kLog));
    EXPECT_FALSE(sb.exists(kTmp));
}

TEST(RemoveExpiredLease, MissingLogFails)
{
    Sandbox sb;
    sb.mkdirs("etc/dhcpd");
    testing::internal::CaptureStderr();
    EXPECT_EQ(-1, QUOMODHCPRemoveExpiredLease());
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(std::string::npos, err.find("Can not open DHCP lease file")) << err;
    EXPECT_FALSE(sb.exists(kLog));
}

TEST(RemoveExpiredLease, LogThatCannotBeReplacedFailsAndStays)
{
    Sandbox sb;
    sb.mkdirs("etc/dhcpd");
    const std::string log = record(0, "02:00:00:aa:bb:01 192.168.1.10 alpha eth0") +
                            record(2147483647LL, "02:00:00:aa:bb:02 192.168.1.20 beta eth0");
    sb.write(kLog, log);
    // No file may grow past 8 bytes: the new log cannot be written.
    struct rlimit saved;
    ASSERT_EQ(0, getrlimit(RLIMIT_FSIZE, &saved));
    struct rlimit tiny = saved;
    tiny.rlim_cur = 8;
    void (*oldHandler)(int) = signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(0, setrlimit(RLIMIT_FSIZE, &tiny));
    int ret = QUOMODHCPRemoveExpiredLease();
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(-1, ret);
    EXPECT_EQ(log, sb.read(kLog));
}

TEST(RemoveExpiredLease, FailingReservationCheckKeepsTheRecord)
{
    Sandbox sb; // no etc/dhcpd: the reservation list cannot be created
    const std::string log = record(0, "02:00:00:aa:bb:01 192.168.1.10 alpha eth0");
    sb.write(kLog, log);
    testing::internal::CaptureStderr();
    EXPECT_EQ(0, QUOMODHCPRemoveExpiredLease());
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(std::string::npos, err.find("Calculating expired time failed.")) << err;
    EXPECT_EQ(log, sb.read(kLog));
    EXPECT_FALSE(sb.exists(kTmp));
}
