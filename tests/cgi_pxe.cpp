// Network boot through the orvath program: "applypxesubnet",
// "loadpxesubnet" and "getEnablePXEConfig".
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "cgi_files.h"

using ::testing::HasSubstr;

namespace {

Params enablePxe(const std::string &ifName, const std::string &orig = "",
                 const std::string &gateway = "192.168.5.1",
                 const std::string &start = "192.168.5.100",
                 const std::string &end = "192.168.5.150")
{
    return {{"pxe_interface", ifName},       {"pxe_enable", "true"},
            {"pxe_start_ip", start},         {"pxe_end_ip", end},
            {"pxe_netmask", "255.255.255.0"}, {"pxe_gateway", gateway},
            {"pxe_dns", "192.168.5.1"},      {"pxe_bootloader", "pxelinux.0"},
            {"orig_interface", orig}};
}

// The parameters with name set to value, replaced or added.
Params withParam(Params params, const std::string &name, const std::string &value)
{
    for (auto &p : params) {
        if (p.first == name) {
            p.second = value;
            return params;
        }
    }
    params.emplace_back(name, value);
    return params;
}

// The PXE subnet that enablePxe() writes on an interface without ordinary
// subnets: kPxeEth0, or this on eth1.
const Subnet kPxeEth1 = {"eth1", "pxe",
    "interface=eth1\n"
    "dhcp-range=set:pxe,192.168.5.100,192.168.5.150,255.255.255.0,36000\n"
    "dhcp-option=tag:pxe,option:router,192.168.5.1\n"
    "dhcp-option=tag:pxe,option:dns-server,192.168.5.1\n"
    "dhcp-boot=tag:pxe,pxelinux.0\n"
    "dhcp-vendorclass=set:pxe,PXEClient\n"};

TEST(CgiPxe, EnableOnAnInterfaceWithoutOrdinarySubnets)
{
    Sandbox sb;
    sb.installRestartRecorder();
    CgiResult r = runAction(sb, "applypxesubnet", enablePxe("eth0"));
    EXPECT_EQ(r.body, parseJson(R"({"success": true, "isSameApSubnet": false})")) << r.out;
    expectSubnet(sb, kPxeEth0, true);
    EXPECT_EQ(sb.restartCount(), 1);
    auto files = filesOf(sb);
    files.erase(confPath("eth0", "pxe"));
    files.erase(infoPath("eth0", "pxe"));
    files.erase("etc/rc.network");
    EXPECT_TRUE(files.empty()) << files.begin()->first;
}

TEST(CgiPxe, EnableInheritsFromTheFirstSubnetAndSharesItsDnsServer)
{
    Sandbox sb;
    // 192.168.<i+1>.100-200, router and DNS server 192.168.<i+1>.1.
    const Subnet stored[] = {
        {"eth0", "eth00",
         "interface=eth0\n"
         "dhcp-range=set:eth00,192.168.1.100,192.168.1.200,255.255.255.0,7200\n"
         "dhcp-option=tag:eth00,option:router,192.168.1.1\n"
         "dhcp-option=tag:eth00,option:domain-search,lan.example\n"
         "dhcp-option=tag:eth00,option:domain-name,lan.example\n"
         "dhcp-option=tag:eth00,option:dns-server,192.168.1.1,9.9.9.9\n"},
        {"eth0", "eth01",
         "interface=eth0\n"
         "dhcp-range=set:eth01,192.168.2.100,192.168.2.200,255.255.255.0,600\n"
         "dhcp-option=tag:eth01,option:router,192.168.2.1\n"
         "dhcp-option=tag:eth01,option:domain-search,lan.example\n"
         "dhcp-option=tag:eth01,option:domain-name,lan.example\n"
         "dhcp-option=tag:eth01,option:dns-server,192.168.2.1,9.9.9.9\n"},
        {"eth0", "eth02",
         "interface=eth0\n"
         "dhcp-range=set:eth02,192.168.3.100,192.168.3.200,255.255.255.0,600\n"
         "dhcp-option=tag:eth02,option:router,192.168.3.1\n"
         "dhcp-option=tag:eth02,option:domain-search,lan.example\n"
         "dhcp-option=tag:eth02,option:domain-name,lan.example\n"
         "dhcp-option=tag:eth02,option:dns-server,192.168.3.1,9.9.9.9\n"},
    };
    for (int i = 0; i < 3; ++i)
        putSubnet(sb, stored[i], i != 1);
    CgiResult r = runAction(sb, "applypxesubnet", enablePxe("eth0"));
    EXPECT_EQ(r.body, parseJson(R"({"success": true, "isSameApSubnet": false})")) << r.out;

    expectSubnet(sb, {"eth0", "pxe",
                      "interface=eth0\n"
                      "dhcp-range=set:pxe,192.168.5.100,192.168.5.150,255.255.255.0,7200\n"
                      "dhcp-option=tag:pxe,option:router,192.168.5.1\n"
                      "dhcp-option=tag:pxe,option:domain-search,lan.example\n"
                      "dhcp-option=tag:pxe,option:domain-name,lan.example\n"
                      "dhcp-option=tag:pxe,option:dns-server,192.168.5.1,9.9.9.9\n"
                      "dhcp-boot=tag:pxe,pxelinux.0\n"
                      "dhcp-vendorclass=set:pxe,PXEClient\n"},
                 true);
    // Every ordinary subnet now offers the PXE DNS server and keeps its
    // on/off; the switched-off one keeps its settings current too.
    const Subnet shared[] = {
        {"eth0", "eth00",
         "interface=eth0\n"
         "dhcp-range=set:eth00,192.168.1.100,192.168.1.200,255.255.255.0,7200\n"
         "dhcp-option=tag:eth00,option:router,192.168.1.1\n"
         "dhcp-option=tag:eth00,option:domain-search,lan.example\n"
         "dhcp-option=tag:eth00,option:domain-name,lan.example\n"
         "dhcp-option=tag:eth00,option:dns-server,192.168.5.1,9.9.9.9\n"},
        {"eth0", "eth01",
         "interface=eth0\n"
         "dhcp-range=set:eth01,192.168.2.100,192.168.2.200,255.255.255.0,600\n"
         "dhcp-option=tag:eth01,option:router,192.168.2.1\n"
         "dhcp-option=tag:eth01,option:domain-search,lan.example\n"
         "dhcp-option=tag:eth01,option:domain-name,lan.example\n"
         "dhcp-option=tag:eth01,option:dns-server,192.168.5.1,9.9.9.9\n"},
        {"eth0", "eth02",
         "interface=eth0\n"
         "dhcp-range=set:eth02,192.168.3.100,192.168.3.200,255.255.255.0,600\n"
         "dhcp-option=tag:eth02,option:router,192.168.3.1\n"
         "dhcp-option=tag:eth02,option:domain-search,lan.example\n"
         "dhcp-option=tag:eth02,option:domain-name,lan.example\n"
         "dhcp-option=tag:eth02,option:dns-server,192.168.5.1,9.9.9.9\n"},
    };
    for (int i = 0; i < 3; ++i)
        expectSubnet(sb, shared[i], i != 1);
}

TEST(CgiPxe, EnableFailsWhenTheFirstSubnetCannotBeRead)
{
    Sandbox sb;
    sb.write(confPath("eth0", "eth00"), "interface=eth0\n");
    auto before = filesOf(sb);
    CgiResult r = runAction(sb, "applypxesubnet", enablePxe("eth0"));
    EXPECT_EQ(r.body, parseJson(R"({"success": false, "isSameApSubnet": false})")) << r.out;
    EXPECT_THAT(r.err, HasSubstr("Cannot read Global setting on eth0 eth00"));
    EXPECT_EQ(filesOf(sb), before);
}

TEST(CgiPxe, AnythingButExactlyTrueDisablesAndKeepsTheSettings)
{
    for (const char *value : {"false", "True", "1", "yes", ""}) {
        Sandbox sb;
        sb.installRestartRecorder();
        putSubnet(sb, kPxeEth0, true);
        CgiResult r = runAction(sb, "applypxesubnet",
                                {{"pxe_interface", "eth0"}, {"pxe_enable", value},
                                 {"pxe_start_ip", "10.0.0.1"}, {"orig_interface", "eth0"}});
        expectOnlySuccess(r, true);
        expectSubnet(sb, kPxeEth0, false);
        EXPECT_EQ(sb.restartCount(), 1);

        r = runAction(sb, "loadpxesubnet", {{"if_name", "eth0"}});
        EXPECT_EQ(r.body, parseJson(R"({"success": true, "data": {
            "pxe_start_ip": "192.168.5.100", "pxe_end_ip": "192.168.5.150",
            "pxe_netmask": "255.255.255.0", "pxe_gateway": "192.168.5.1",
            "pxe_dns": "192.168.5.1", "pxe_bootloader": "pxelinux.0",
            "pxe_bootloader_efi64": "", "pxe_bootloader_efi32": "",
            "pxe_bootloader_arm64": "", "pxe_ipxe": "", "pxe_tftp_server": "",
            "pxe_range_only": false}})"))
            << value << ": " << r.out;
    }

    // Disabling where there is no PXE subnet writes nothing.
    Sandbox sb;
    auto before = filesOf(sb);
    CgiResult r = runAction(sb, "applypxesubnet", {{"pxe_interface", "eth0"}});
    expectOnlySuccess(r, true);
    EXPECT_EQ(filesOf(sb), before);
}

TEST(CgiPxe, BootSettingsReadBackAsSavedAndOutliveSwitchingOff)
{
    const struct {
        Params extra;
        const char *data; // the members of "data" beyond the range's
    } cases[] = {
        {{{"pxe_bootloader_efi64", "ipxe.efi"}, {"pxe_bootloader_efi32", "i32.efi"},
          {"pxe_bootloader_arm64", "a64.efi"}, {"pxe_ipxe", "http://192.168.5.2/boot.ipxe"},
          {"pxe_tftp_server", "192.168.5.2"}, {"pxe_range_only", "true"}},
         R"("pxe_bootloader": "pxelinux.0", "pxe_bootloader_efi64": "ipxe.efi",
            "pxe_bootloader_efi32": "i32.efi", "pxe_bootloader_arm64": "a64.efi",
            "pxe_ipxe": "http://192.168.5.2/boot.ipxe", "pxe_tftp_server": "192.168.5.2",
            "pxe_range_only": true)"},
        {{{"pxe_bootloader", ""}, {"pxe_bootloader_efi64", "grubx64.efi"},
          {"pxe_range_only", "false"}},
         R"("pxe_bootloader": "", "pxe_bootloader_efi64": "grubx64.efi",
            "pxe_bootloader_efi32": "", "pxe_bootloader_arm64": "", "pxe_ipxe": "",
            "pxe_tftp_server": "", "pxe_range_only": false)"},
    };
    const std::string range = R"("pxe_start_ip": "192.168.5.100", "pxe_end_ip": "192.168.5.150",
        "pxe_netmask": "255.255.255.0", "pxe_gateway": "192.168.5.1", "pxe_dns": "192.168.5.1", )";
    for (const auto &c : cases) {
        Sandbox sb;
        Params params = enablePxe("eth0");
        for (const auto &p : c.extra)
            params = withParam(params, p.first, p.second);
        CgiResult r = runAction(sb, "applypxesubnet", params);
        EXPECT_EQ(r.body, parseJson(R"({"success": true, "isSameApSubnet": false})")) << r.out;
        const Json::Value expected =
            parseJson(R"({"success": true, "data": {)" + range + c.data + "}}");
        r = runAction(sb, "loadpxesubnet", {{"if_name", "eth0"}});
        EXPECT_EQ(r.body, expected) << r.out;

        r = runAction(sb, "applypxesubnet",
                      {{"pxe_interface", "eth0"}, {"pxe_enable", "false"}});
        expectOnlySuccess(r, true);
        r = runAction(sb, "loadpxesubnet", {{"if_name", "eth0"}});
        EXPECT_EQ(r.body, expected) << r.out;
    }

    // A bad value is refused and writes nothing.
    Sandbox sb;
    putSubnet(sb, kPxeEth0, true);
    auto before = filesOf(sb);
    Params bad = withParam(enablePxe("eth0"), "pxe_ipxe", "ftp://192.168.5.2/x");
    CgiResult r = runAction(sb, "applypxesubnet", bad);
    EXPECT_EQ(r.body, parseJson(R"({"success": false,
        "error": "pxe_ipxe: not a file name or an http:// or https:// URL"})")) << r.out;
    EXPECT_EQ(filesOf(sb), before);
}

TEST(CgiPxe, MovingPxeSwitchesThePreviousInterfaceOff)
{
    Sandbox sb;
    putSubnet(sb, kPxeEth0, true);
    CgiResult r = runAction(sb, "applypxesubnet", enablePxe("eth1", "eth0"));
    EXPECT_EQ(r.body, parseJson(R"({"success": true, "isSameApSubnet": false})")) << r.out;
    expectSubnet(sb, kPxeEth1, true);
    expectSubnet(sb, kPxeEth0, false);

    // Back to eth0 while eth2 is named as the previous one, which has none:
    // the request fails and, all or nothing, changes nothing.
    r = runAction(sb, "applypxesubnet", enablePxe("eth0", "eth2"));
    EXPECT_EQ(r.body, parseJson(R"({"success": false, "isSameApSubnet": false})")) << r.out;
    EXPECT_THAT(r.err, HasSubstr("Cannot read pxe setting on eth2"));
    expectSubnet(sb, kPxeEth0, false);
    expectSubnet(sb, kPxeEth1, true);

    // Disabling and naming the previous interface switches both off.
    r = runAction(sb, "applypxesubnet",
                  {{"pxe_interface", "eth0"}, {"pxe_enable", "false"}, {"orig_interface", "eth1"}});
    expectOnlySuccess(r, true);
    expectSubnet(sb, kPxeEth0, false);
    expectSubnet(sb, kPxeEth1, false);
}

TEST(CgiPxe, CollisionWithTheAccessPointWritesNothing)
{
    const Params cases[] = {
        enablePxe("eth0", "", "192.168.100.1"), // gateway alone inside
        enablePxe("eth0", "", "192.168.5.1", "192.168.100.120", "192.168.100.150"), // range
    };
    for (const Params &params : cases) {
        Sandbox sb;
        sb.installRestartRecorder();
        putAccessPoint(sb);
        auto before = filesOf(sb);
        CgiResult r = runAction(sb, "applypxesubnet", params);
        EXPECT_EQ(r.body, parseJson(R"({"success": false, "isSameApSubnet": true})")) << r.out;
        EXPECT_EQ(filesOf(sb), before);
        EXPECT_EQ(sb.restartCount(), 1);
    }

    // The same range with no access point subnet is accepted.
    Sandbox sb;
    CgiResult r = runAction(sb, "applypxesubnet",
                            enablePxe("eth0", "", "192.168.100.1", "192.168.100.120",
                                      "192.168.100.150"));
    EXPECT_EQ(r.body, parseJson(R"({"success": true, "isSameApSubnet": false})")) << r.out;
}

TEST(CgiPxe, LoadPxeSubnetWithAndWithoutASubnet)
{
    Sandbox sb;
    sb.installRestartRecorder();
    CgiResult r = runAction(sb, "loadpxesubnet", {{"if_name", "eth0"}});
    EXPECT_EQ(r.body, parseJson(R"({"success": true, "data": {"pxe_interface": "eth0"}})"))
        << r.out;

    for (const Params &params : {Params{{"if_name", "--"}}, Params{{"if_name", ""}}, Params{}}) {
        r = runAction(sb, "loadpxesubnet", params);
        expectOnlySuccess(r, false);
        EXPECT_THAT(r.err, HasSubstr("WRONG interface name!"));
    }

    sb.write(confPath("eth0", "pxe"), "interface=eth0\n");
    r = runAction(sb, "loadpxesubnet", {{"if_name", "eth0"}});
    expectOnlySuccess(r, false);
    EXPECT_THAT(r.err, HasSubstr("Cannot get dhcp server config on interface:eth0"));
    EXPECT_EQ(sb.restartCount(), 0);
}

TEST(CgiPxe, GetEnablePxeConfigReportsTheFirstEnabledInterface)
{
    Sandbox sb;
    CgiResult r = runAction(sb, "getEnablePXEConfig");
    expectOnlySuccess(r, false);
    EXPECT_THAT(r.err, HasSubstr("get ifinfos failed("));

    sb.addInterface("eth0", 3);
    sb.addInterface("eth1", 2);
    putSubnet(sb, kPxeEth0, false);
    r = runAction(sb, "getEnablePXEConfig");
    EXPECT_EQ(r.body, parseJson(R"({"success": true, "pxe_enabled": false,
        "pxe_interface": "", "pxe_interface_id": "", "pxe_startip": "", "pxe_endip": "",
        "pxe_netmask": "", "pxe_gateway": "", "pxe_dns": ""})"))
        << r.out;

    putSubnet(sb, kPxeEth0, true);
    const char *eth0Answer = R"({"success": true, "pxe_enabled": true,
        "pxe_interface": "LAN 1", "pxe_interface_id": "eth0", "pxe_startip": "192.168.5.100",
        "pxe_endip": "192.168.5.150", "pxe_netmask": "255.255.255.0",
        "pxe_gateway": "192.168.5.1", "pxe_dns": "192.168.5.1"})";
    r = runAction(sb, "getEnablePXEConfig");
    EXPECT_EQ(r.body, parseJson(eth0Answer)) << r.out;

    // Both enabled: eth1 comes first in the platform's order.
    putSubnet(sb, {"eth1", "pxe",
                   "interface=eth1\n"
                   "dhcp-range=set:pxe,192.168.6.100,192.168.5.150,255.255.255.0,36000\n"
                   "dhcp-option=tag:pxe,option:router,192.168.5.1\n"
                   "dhcp-option=tag:pxe,option:dns-server,192.168.5.1\n"
                   "dhcp-boot=tag:pxe,pxelinux.0\n"
                   "dhcp-vendorclass=set:pxe,PXEClient\n"},
              true);
    r = runAction(sb, "getEnablePXEConfig");
    EXPECT_EQ(r.body["pxe_interface_id"], Json::Value("eth1")) << r.out;
    EXPECT_EQ(r.body["pxe_interface"], Json::Value("LAN 2")) << r.out;
    EXPECT_EQ(r.body["pxe_startip"], Json::Value("192.168.6.100")) << r.out;

    // Enabled but its fragment is gone: the interface is named, then it fails.
    sb.remove(confPath("eth1", "pxe"));
    r = runAction(sb, "getEnablePXEConfig");
    EXPECT_EQ(r.body, parseJson(R"({"success": false, "pxe_enabled": true,
        "pxe_interface": "LAN 2", "pxe_interface_id": "eth1"})"))
        << r.out;
    EXPECT_THAT(r.err, HasSubstr("Cannot get pxe dhcp server config on interface:eth1"));
}

} // namespace
