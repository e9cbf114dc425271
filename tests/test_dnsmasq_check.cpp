// The configuration check that runs after every writing request of the
// black-box tests: which fragments count as enabled, and what dnsmasq says.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "ci.h"
#include "dnsmasq_check.h"
#include "sandbox.h"

using ::testing::HasSubstr;

namespace {

const char kGood[] = "interface=eth0\n"
                     "dhcp-range=set:eth00,192.168.1.100,192.168.1.200,255.255.255.0,86400\n"
                     "dhcp-option=tag:eth00,option:router,192.168.1.1\n"
                     "dhcp-option=tag:eth00,option:dns-server,192.168.1.1\n";

void pair(const Sandbox &box, const std::string &name, const std::string &conf,
          const std::string &info)
{
    if (!conf.empty())
        box.write("etc/dhcpd/dhcpd-" + name + ".conf", conf);
    box.write("etc/dhcpd/dhcpd-" + name + ".info", info);
}

} // namespace

TEST(DnsmasqCheck, OnlyFragmentsWhoseSettingsSayExactlyYesAreEnabled)
{
    Sandbox box;
    pair(box, "eth0-eth00", kGood, "enable=\"yes\"\n");
    pair(box, "eth0-eth01", kGood, "enable=\"no\"\n");
    pair(box, "eth0-eth02", kGood, "enable=\"Yes\"\n");
    pair(box, "eth0-eth03", kGood, "enable=\"yes \"\n");
    pair(box, "eth0-eth04", kGood, "other=\"yes\"\n");
    pair(box, "eth0-pxe", kGood, "enable=yes\n");
    pair(box, "eth1-eth10", "", "enable=\"yes\"\n"); // no fragment
    pair(box, "static-static", kGood, "enable=\"yes\"\n");
    pair(box, "dns-dns", kGood, "enable=\"yes\"\n");
    // The client list's switch is no fragment's settings file.
    box.write("etc/dhcpd/dhcpd.info", "enable=\"yes\"\n");
    box.write("etc/dhcpd/dhcpd.conf", kGood);

    const std::string dir = box.path("etc/dhcpd/");
    EXPECT_EQ(enabledFragments(box.root()),
              (std::vector<std::string>{dir + "dhcpd-dns-dns.conf", dir + "dhcpd-eth0-eth00.conf",
                                        dir + "dhcpd-eth0-pxe.conf",
                                        dir + "dhcpd-static-static.conf"}));
}

TEST(DnsmasqCheck, NothingEnabledIsNothingToCheck)
{
    Sandbox box;
    EXPECT_FALSE(checkDnsmasqConfig(box.root()).ran);
    pair(box, "eth0-eth00", "garbage\n", "enable=\"no\"\n");
    DnsmasqCheck check = checkDnsmasqConfig(box.root());
    EXPECT_FALSE(check.ran);
    EXPECT_TRUE(check.accepted);
}

TEST(DnsmasqCheck, DnsmasqJudgesTheEnabledFragments)
{
    if (dnsmasqProgram().empty())
        SKIP_FOR_MISSING_TOOL() << "dnsmasq is not installed";
    Sandbox box;
    pair(box, "eth0-eth00", kGood, "enable=\"yes\"\n");
    // A disabled fragment is not the service's business.
    pair(box, "eth0-eth01", "dhcp-range=nonsense\n", "enable=\"no\"\n");
    DnsmasqCheck check = checkDnsmasqConfig(box.root());
    EXPECT_TRUE(check.ran);
    EXPECT_TRUE(check.accepted) << check.message;

    // One address reserved for two clients: dnsmasq refuses to start.
    pair(box, "static-static",
         "interface=static\n"
         "dhcp-range=set:static,127.0.0.1,127.0.0.1,255.255.255.0,86400\n"
         "dhcp-host=02:00:00:00:00:01,a,192.168.1.20,infinite\n"
         "dhcp-host=02:00:00:00:00:02,b,192.168.1.20,infinite\n",
         "enable=\"yes\"\n");
    check = checkDnsmasqConfig(box.root());
    EXPECT_TRUE(check.ran);
    EXPECT_FALSE(check.accepted);
    EXPECT_THAT(check.message, HasSubstr("duplicate dhcp-host IP address"));
}

TEST(DnsmasqCheck, OptionsThatAreNoDhcpSettingsAreRefused)
{
    Sandbox box;
    // dnsmasq itself would take this line and run the command as root.
    pair(box, "eth0-eth00", std::string(kGood) + "conf-script=/bin/sh -c id\n",
         "enable=\"yes\"\n");
    if (dnsmasqProgram().empty())
        SKIP_FOR_MISSING_TOOL() << "dnsmasq is not installed";
    DnsmasqCheck check = checkDnsmasqConfig(box.root());
    EXPECT_TRUE(check.ran);
    EXPECT_FALSE(check.accepted);
    EXPECT_THAT(check.message, HasSubstr("line 5"));
    EXPECT_THAT(check.message, HasSubstr("conf-script="));
}
