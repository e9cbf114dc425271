// The makers of MAC address blocks: the registry's CSV files, the index and
// the longest match.
#include <stdlib.h>

#include <string>

#include <gtest/gtest.h>

#include "lib_test.h"
#include "quomodhcp.h"
#include "sandbox.h"

static const char kHeader[] = "Registry,Assignment,Organization Name,Organization Address\r\n";

// A registry as the system's files lay it out: CRLF, quoted fields with
// commas, doubled quotes and a line break in the address, blanks around a
// name, rows out of order, a block handed on in pieces, a prefix twice.
static void writeRegistry(const Sandbox &sb)
{
    sb.write("ieee/oui.csv", std::string(kHeader) +
                                 "MA-L,3C2AF4,\"Brother Industries, LTD.\",\"Nagoya\r\nJP\"\r\n"
                                 "MA-L,001EFC,\"JSC \"\"MASSA-K\"\"\",Somewhere\r\n"
                                 "MA-L,70B3D5,IEEE Registration Authority,Piscataway\r\n"
                                 "MA-L,D02212,IEEE Registration Authority,Piscataway\r\n"
                                 "MA-L,080030,NETWORK RESEARCH CORPORATION,X\r\n"
                                 "MA-L,080030,CERN,Y\r\n"
                                 "MA-L,901234,\"Shenzhen YOUHUA Technology Co., Ltd\t\",Z\r\n");
    sb.write("ieee/mam.csv", std::string(kHeader) + "MA-M,D022120,Spirit IT B.V.,NL\r\n"
                                                     "MA-M,1C88790,\"Newps co.,ltd\",\"KR\nSeoul\"\r\n");
    sb.write("ieee/oui36.csv", std::string(kHeader) + "MA-S,70B3D5F2F,TELEPLATFORMS,RU\r\n");
    sb.write("ieee/iab.csv", std::string(kHeader) + "IAB,0050C27D5,DEUTA-WERKE GmbH,DE\r\n");
}

struct RegistryDir {
    explicit RegistryDir(const std::string &dir) { setenv("ORVATH_IEEE_DATA_DIR", dir.c_str(), 1); }
    ~RegistryDir() { unsetenv("ORVATH_IEEE_DATA_DIR"); }
};

static int vendorOf(const char *mac, std::string &vendor)
{
    QuomoVendors *v = QUOMODHCPVendorsOpen();
    char szVendor[QUOMO_VENDOR_LEN];
    int found = QUOMODHCPVendorOf(v, mac, szVendor, sizeof szVendor);
    QUOMODHCPVendorsClose(v);
    vendor = szVendor;
    return found;
}

TEST(VendorRegistry, LongestBlockNamesTheMaker)
{
    Sandbox sb;
    writeRegistry(sb);
    RegistryDir dir(sb.path("ieee"));
    const struct {
        const char *mac;
        int found;
        const char *vendor;
    } cases[] = {
        {"3c:2a:f4:12:34:56", 1, "Brother Industries, LTD."},
        {"3C-2A-F4-12-34-56", 1, "Brother Industries, LTD."},
        {"00:1e:fc:00:00:01", 1, "JSC \"MASSA-K\""},
        {"70:b3:d5:f2:f1:23", 1, "TELEPLATFORMS"},   // 36-bit block under a handed-on one
        {"70:b3:d5:9f:31:00", 0, ""},                // the handed-on block names no maker
        {"d0:22:12:01:02:03", 1, "Spirit IT B.V."},  // 28-bit
        {"d0:22:12:31:02:03", 0, ""},
        {"1c:88:79:01:02:03", 1, "Newps co.,ltd"},   // 28-bit without its 24-bit parent
        {"00:50:c2:7d:51:23", 1, "DEUTA-WERKE GmbH"}, // the old 36-bit list
        {"08:00:30:00:00:01", 1, "NETWORK RESEARCH CORPORATION"}, // the first row wins
        {"90:12:34:00:00:01", 1, "Shenzhen YOUHUA Technology Co., Ltd"},
        {"3e:2a:f4:12:34:56", 2, ""}, // locally administered: the device chose it
        {"da:a1:19:00:00:01", 2, ""},
        {"00:00:00:00:00:01", 0, ""},
        {"3c:2a:f4:12:34", -1, ""},
        {"3c:2a:f4:12:34:5g", -1, ""},
    };
    for (const auto &c : cases) {
        std::string vendor;
        EXPECT_EQ(c.found, vendorOf(c.mac, vendor)) << c.mac;
        EXPECT_EQ(c.vendor, vendor) << c.mac;
    }
    EXPECT_TRUE(sb.exists("var/packages/Orvath/target/var/cache/mac-vendors.idx"));
}

// A changed registry is read again; a missing one names no maker, but still
// tells a random address.
TEST(VendorRegistry, FollowsTheRegistryAndDoesWithoutIt)
{
    Sandbox sb;
    writeRegistry(sb);
    RegistryDir dir(sb.path("ieee"));
    std::string vendor;
    ASSERT_EQ(1, vendorOf("3c:2a:f4:12:34:56", vendor));
    sb.write("ieee/oui.csv", std::string(kHeader) + "MA-L,3C2AF4,Someone Else With A Longer Name,X\r\n");
    EXPECT_EQ(1, vendorOf("3c:2a:f4:12:34:56", vendor));
    EXPECT_EQ("Someone Else With A Longer Name", vendor);
    for (const char *file : {"ieee/oui.csv", "ieee/mam.csv", "ieee/oui36.csv", "ieee/iab.csv"})
        sb.remove(file);
    EXPECT_EQ(0, vendorOf("3c:2a:f4:12:34:56", vendor));
    EXPECT_EQ("", vendor);
    EXPECT_EQ(2, vendorOf("02:00:00:00:50:03", vendor));
    // A damaged index is built again.
    writeRegistry(sb);
    sb.write("var/packages/Orvath/target/var/cache/mac-vendors.idx", "MACVNDX1 but cut short");
    EXPECT_EQ(1, vendorOf("d0:22:12:01:02:03", vendor));
    EXPECT_EQ("Spirit IT B.V.", vendor);
}
