// Copying dnsmasq's lease expiries into the package's lease log.
#include <stdlib.h>

#include <string>

#include <gtest/gtest.h>

#include "quomodhcp.h"
#include "sandbox.h"

// Log lines also go to stderr, where a test can capture them.
[[maybe_unused]] static const int logToStderr = setenv("ORVATH_LOG_STDERR", "1", 1);

static const char kLog[] = "var/packages/Orvath/target/etc/dhcpd-leases.log";
static const char kLeases[] = "var/packages/Orvath/target/etc/dhcpd.conf.leases";

static const char kA[] = "1700000000 02:00:00:aa:bb:01 192.168.1.10 alpha eth0\n";
static const char kB[] = "1700000001 02:00:00:aa:bb:02 192.168.1.20 beta eth0\n";
static const char kC[] = "1700000002 02:00:00:aa:bb:03 192.168.1.30 gamma eth1\n";

TEST(UpdateLease, RewritesTheExpiryAndMovesTheRecordToTheEnd)
{
    Sandbox sb;
    sb.write(kLog, std::string(kA) + kB + kC);
    sb.write(kLeases, "1800000000 02:00:00:aa:bb:02 192.168.1.20 beta 01:02:00:00:aa:bb:02\n"
                      "1800000001 02:00:00:aa:bb:01 192.168.1.10 alpha *\n");
    EXPECT_EQ(0, QUOMODHCPUpdateLease());
    EXPECT_EQ(std::string(kC) + "1800000000 02:00:00:aa:bb:02 192.168.1.20 beta eth0\n" +
                  "1800000001 02:00:00:aa:bb:01 192.168.1.10 alpha eth0\n",
              sb.read(kLog));
}

TEST(UpdateLease, FourFieldRecordIsRewrittenWithAnEmptyHostName)
{
    Sandbox sb;
    sb.write(kLog, std::string("1700000000 02:00:00:aa:bb:01 192.168.1.10 eth0\n") + kB);
    sb.write(kLeases, "1800000000 02:00:00:aa:bb:01 192.168.1.10 * *\n");
    EXPECT_EQ(0, QUOMODHCPUpdateLease());
    EXPECT_EQ(std::string(kB) + "1800000000 02:00:00:aa:bb:01 192.168.1.10  eth0\n", sb.read(kLog));
}

TEST(UpdateLease, ZeroExpiryIsCopiedAsZero)
{
    Sandbox sb;
    sb.write(kLog, std::string(kA) + kB);
    sb.write(kLeases, "0 02:00:00:aa:bb:01 192.168.1.10 alpha *\n");
    EXPECT_EQ(0, QUOMODHCPUpdateLease());
    EXPECT_EQ(std::string(kB) + "0 02:00:00:aa:bb:01 192.168.1.10 alpha eth0\n", sb.read(kLog));
}

TEST(UpdateLease, ExpiryOutsideTheRecordRangeIsClamped)
{
    Sandbox sb;
    sb.write(kLog, std::string(kA) + kB);
    sb.write(kLeases, "99999999999999999999 02:00:00:aa:bb:01 192.168.1.10 alpha *\n"
                      "-5 02:00:00:aa:bb:02 192.168.1.20 beta *\n");
    EXPECT_EQ(0, QUOMODHCPUpdateLease());
    EXPECT_EQ("2147483647 02:00:00:aa:bb:01 192.168.1.10 alpha eth0\n"
              "0 02:00:00:aa:bb:02 192.168.1.20 beta eth0\n",
              sb.read(kLog));
}

TEST(UpdateLease, LeasesWithoutARecordChangeNothing)
{
    Sandbox sb;
    const std::string log = std::string(kA) + kB;
    sb.write(kLog, log);
    // Unknown MAC addresses, and lines without a MAC address at all: an empty
    // one would otherwise match the first record.
    sb.write(kLeases, "1800000000 02:00:00:aa:bb:99 192.168.1.99 other *\n"
                      "\n"
                      "1800000000\n"
                      "1800000000  192.168.1.99 other *\n");
    EXPECT_EQ(0, QUOMODHCPUpdateLease());
    EXPECT_EQ(log, sb.read(kLog));

    sb.write(kLeases, "");
    EXPECT_EQ(0, QUOMODHCPUpdateLease());
    EXPECT_EQ(log, sb.read(kLog));
}

TEST(UpdateLease, DamagedRecordStays)
{
    Sandbox sb;
    const std::string log = "1700000000 02:00:00:aa:bb:01 192.168.1.10\n"
                            "1700000000 02:00:00:aa:bb:02 192.168.1.20 beta eth0 extra\n";
    sb.write(kLog, log);
    sb.write(kLeases, "1800000000 02:00:00:aa:bb:01 192.168.1.10 alpha *\n"
                      "1800000000 02:00:00:aa:bb:02 192.168.1.20 beta *\n");
    testing::internal::CaptureStderr();
    EXPECT_EQ(0, QUOMODHCPUpdateLease());
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(std::string::npos, err.find("FILE dhcpd-lease.log be destroied.")) << err;
    EXPECT_EQ(log, sb.read(kLog));
}

TEST(UpdateLease, RecordThatDoesNotFitTheLineBufferStays)
{
    Sandbox sb;
    // Longer than the line buffer: read back cut, so it cannot be replaced
    // (its rewrite with a shorter expiry would fit the buffer).
    const std::string longRecord = "17000000000000 02:00:00:aa:bb:01 192.168.1.10 " + std::string(1100, 'h') + " eth0\n";
    // Fits now, but not with a ten-digit expiry and a fifth field.
    std::string tight = "1 02:00:00:aa:bb:02 192.168.1.20 eth0";
    tight.insert(tight.size() - 5, std::string(1023 - tight.size(), 'x'));
    ASSERT_EQ(1023u, tight.size());
    const std::string log = longRecord + tight + "\n";
    sb.write(kLog, log);
    sb.write(kLeases, "1800000000 02:00:00:aa:bb:01 192.168.1.10 alpha *\n"
                      "1800000000 02:00:00:aa:bb:02 192.168.1.20 beta *\n");
    EXPECT_EQ(0, QUOMODHCPUpdateLease());
    EXPECT_EQ(log, sb.read(kLog));
}

TEST(UpdateLease, MissingFiles)
{
    Sandbox sb;
    sb.write(kLog, kA);
    testing::internal::CaptureStderr();
    EXPECT_EQ(-1, QUOMODHCPUpdateLease());
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(std::string::npos, err.find("Can not open original DHCP lease file")) << err;
    EXPECT_EQ(kA, sb.read(kLog));

    // No lease log: nothing to update, and it is not created.
    sb.remove(kLog);
    sb.write(kLeases, "1800000000 02:00:00:aa:bb:01 192.168.1.10 alpha *\n");
    EXPECT_EQ(0, QUOMODHCPUpdateLease());
    EXPECT_FALSE(sb.exists(kLog));
}
