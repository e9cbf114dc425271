// Request checks through the orvath program: every value a request brings is
// checked before anything is written. A refused request answers
// {"success": false, "error": "<where>: <why>"}, logs "Invalid parameter
// <where>" and leaves every file of the root as it was.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>

#include "cgi_files.h"

using ::testing::ContainsRegex;
using ::testing::EndsWith;
using ::testing::HasSubstr;

namespace {

const Subnet kSubnet = {"eth0", "eth00",
    "interface=eth0\n"
    "dhcp-range=set:eth00,192.168.1.100,192.168.1.200,255.255.255.0,3600\n"
    "dhcp-option=tag:eth00,option:router,192.168.1.1\n"
    "dhcp-option=tag:eth00,option:domain-search,lan.example\n"
    "dhcp-option=tag:eth00,option:domain-name,lan.example\n"
    "dhcp-option=tag:eth00,option:dns-server,192.168.1.1,8.8.8.8\n"};
const Subnet kPxe = {"eth0", "pxe",
    "interface=eth0\n"
    "dhcp-range=set:pxe,192.168.5.100,192.168.5.150,255.255.255.0,3600\n"
    "dhcp-option=tag:pxe,option:router,192.168.5.1\n"
    "dhcp-option=tag:pxe,option:domain-search,lan.example\n"
    "dhcp-option=tag:pxe,option:domain-name,lan.example\n"
    "dhcp-option=tag:pxe,option:dns-server,192.168.5.1\n"
    "dhcp-boot=tag:pxe,pxelinux.0\n"
    "dhcp-vendorclass=set:pxe,PXEClient\n"};
const char kList[] = "etc/dhcpd/dhcpdStatic.ori";
const char kPrinter[] = "dhcp-host=02:00:00:00:00:0b,printer,192.168.1.20,infinite\n";

// A root with a subnet and a switched-off PXE subnet on eth0 and one
// reservation, all sound, and the restart recorder.
struct Seeded : Sandbox {
    Seeded()
    {
        installRestartRecorder();
        addInterface("eth0", 2);
        putSubnet(*this, kSubnet, true);
        putSubnet(*this, kPxe, false);
        write(kList, kPrinter);
    }
};

// A sound "applydata" request for eth0: globals, two subnet rows, two
// reservations. Tests change one value of it.
struct ApplyData {
    Json::Value dataArray = globals("eth0", true, "60", "192.168.1.1", "8.8.8.8", "lan.example");
    Json::Value subnetData{Json::arrayValue};
    Json::Value staticData{Json::arrayValue};

    ApplyData()
    {
        subnetData.append(row("192.168.1.100", "192.168.1.200", "192.168.1.1", true));
        subnetData.append(row("192.168.2.10", "192.168.2.20", "192.168.2.1", false));
        staticData.append(reservation("02:00:00:00:00:0a", "192.168.1.10", "nas"));
        staticData.append(reservation("02:00:00:00:00:0c", "192.168.1.30", "camera"));
    }

    // The member of one parameter: index -1 for "dataArray"'s own members,
    // otherwise the row or reservation.
    Json::Value &at(const std::string &param, int index, const char *member)
    {
        if (param == "dataArray")
            return dataArray[member];
        Json::Value &list = param == "subnetData" ? subnetData : staticData;
        return list[index][member];
    }

    CgiResult run(const Sandbox &sb) const
    {
        return runAction(sb, "applydata",
                         {{"dataArray", toJsonText(dataArray)},
                          {"subnetData", toJsonText(subnetData)},
                          {"staticData", toJsonText(staticData)}});
    }
};

// A sound "applypxesubnet" request enabling PXE on eth0.
std::map<std::string, std::string> pxeRequest()
{
    return {{"pxe_interface", "eth0"},         {"pxe_enable", "true"},
            {"pxe_start_ip", "192.168.5.100"}, {"pxe_end_ip", "192.168.5.150"},
            {"pxe_netmask", "255.255.255.0"},  {"pxe_gateway", "192.168.5.1"},
            {"pxe_dns", "192.168.5.1"},        {"pxe_bootloader", "pxelinux.0"},
            {"orig_interface", "eth0"}};
}

CgiResult runPxe(const Sandbox &sb, const std::map<std::string, std::string> &params)
{
    return runAction(sb, "applypxesubnet", Params(params.begin(), params.end()));
}

// The request was refused with exactly this error, logged with its place,
// and no file of the root changed.
void expectRefused(const CgiResult &r, const std::string &error,
                   const std::map<std::string, std::string> &before, const Sandbox &sb)
{
    Json::Value expected(Json::objectValue);
    expected["success"] = false;
    expected["error"] = error;
    EXPECT_EQ(r.body, expected) << r.out;
    const std::string where = error.substr(0, error.find(": "));
    EXPECT_THAT(r.err, HasSubstr("Invalid parameter " + where + "\n"));
    EXPECT_EQ(r.errorInfo["errorAt"], Json::Value(where)) << r.out;
    EXPECT_EQ(r.errorInfo["errorKind"], Json::Value("invalid")) << r.out;
    EXPECT_EQ(filesOf(sb), before) << error;
}

// The request went through and wrote the value somewhere in the root.
void expectAccepted(const CgiResult &r, const std::string &value,
                    const std::map<std::string, std::string> &before, const Sandbox &sb)
{
    EXPECT_EQ(r.body["success"], Json::Value(true)) << value << ": " << r.out;
    EXPECT_FALSE(r.body.isMember("error")) << r.out;
    auto after = filesOf(sb);
    EXPECT_NE(after, before) << value;
    if (value.empty())
        return;
    bool found = false;
    for (const auto &file : after)
        found = found || file.second.find(value) != std::string::npos;
    EXPECT_TRUE(found) << value << " is written nowhere";
}

struct DataCase {
    const char *param;
    int index;
    const char *member;
    std::string value;
    const char *error; // NULL: accepted
};

void runDataCases(const std::vector<DataCase> &cases)
{
    for (const DataCase &c : cases) {
        SCOPED_TRACE(std::string(c.param) + "." + c.member + " = [" + c.value + "]");
        Seeded sb;
        auto before = filesOf(sb);
        ApplyData request;
        request.at(c.param, c.index, c.member) = c.value;
        CgiResult r = request.run(sb);
        if (c.error)
            expectRefused(r, c.error, before, sb);
        else
            expectAccepted(r, c.value, before, sb);
    }
}

struct PxeCase {
    const char *param;
    std::string value;
    const char *error; // NULL: accepted
};

void runPxeCases(const std::vector<PxeCase> &cases,
                 const std::map<std::string, std::string> &base = pxeRequest())
{
    for (const PxeCase &c : cases) {
        SCOPED_TRACE(std::string(c.param) + " = [" + c.value + "]");
        Seeded sb;
        auto before = filesOf(sb);
        auto params = base;
        params[c.param] = c.value;
        CgiResult r = runPxe(sb, params);
        if (c.error)
            expectRefused(r, c.error, before, sb);
        else
            expectAccepted(r, c.value, before, sb);
    }
}

// ---- every rule: a sound value passes, an unsound one is refused ----

TEST(CgiValidation, GlobalMembersOfApplyData)
{
    runDataCases({
        {"dataArray", -1, "iftype", "eth0.5", nullptr},
        {"dataArray", -1, "iftype", "eth0/x", "dataArray.iftype: not an interface name"},
        {"dataArray", -1, "iftype", "bridge-to-office",
         "dataArray.iftype: longer than 15 characters"},
        {"dataArray", -1, "iftype", "", "dataArray.iftype: missing"},
        {"dataArray", -1, "iftype", "-eth0", "dataArray.iftype: begins with \"-\""},
        {"dataArray", -1, "pdns", "10.0.0.53", nullptr},
        {"dataArray", -1, "pdns", "10.0.0", "dataArray.pdns: not an IPv4 address"},
        {"dataArray", -1, "pdns", "0.0.0.0", "dataArray.pdns: not the address of a server"},
        {"dataArray", -1, "sdns", "255.255.255.255", "dataArray.sdns: not the address of a server"},
        {"dataArray", -1, "sdns", "", nullptr},
        {"dataArray", -1, "sdns", "8.8.8.8 ", "dataArray.sdns: not an IPv4 address"},
        {"dataArray", -1, "domain", "", nullptr},
        {"dataArray", -1, "domain", "corp-1.example", nullptr},
        {"dataArray", -1, "domain", "corp..example", "dataArray.domain: empty label"},
        {"dataArray", -1, "domain", "-corp.example",
         "dataArray.domain: label begins with \"-\" or \"_\""},
        {"dataArray", -1, "domain", std::string(64, 'a') + ".example",
         "dataArray.domain: label longer than 63 characters"},
        {"dataArray", -1, "leasetime", "-1", "dataArray.leasetime: negative lease time"},
    });
}

TEST(CgiValidation, SubnetRowsOfApplyData)
{
    runDataCases({
        {"subnetData", 0, "netmask", "255.255.0.0", nullptr},
        {"subnetData", 0, "netmask", "255.0.255.0",
         "subnetData[0].netmask: not a contiguous netmask"},
        {"subnetData", 0, "endip", "192.168.1.250", nullptr},
        {"subnetData", 0, "endip", "192.168.3.10",
         "subnetData[0].endip: start and end not in one subnet"},
        {"subnetData", 1, "gateway", "192.168.2.254", nullptr},
        {"subnetData", 1, "gateway", "", "subnetData[1].gateway: missing"},
        {"subnetData", 1, "gateway", "192.168.2.x", "subnetData[1].gateway: not an IPv4 address"},
        {"subnetData", 1, "gateway", "0.0.0.0", "subnetData[1].gateway: not the address of a server"},
    });
}

TEST(CgiValidation, ActivatedRangesThatShareAnAddressAreRefused)
{
    Seeded sb;
    auto before = filesOf(sb);
    ApplyData request;
    request.subnetData[1] = row("192.168.1.200", "192.168.1.220", "192.168.1.1", true);
    expectRefused(request.run(sb), "subnetData[1].startip: overlaps subnetData[0]", before, sb);
    // Switched off, or next to each other, they do not collide.
    request.subnetData[1]["activated"] = false;
    EXPECT_EQ(request.run(sb).body["success"], Json::Value(true));
    request.subnetData[1] = row("192.168.1.201", "192.168.1.220", "192.168.1.1", true);
    EXPECT_EQ(request.run(sb).body["success"], Json::Value(true));
}

TEST(CgiValidation, ATableOfMoreThan256RowsIsRefused)
{
    Seeded sb;
    auto before = filesOf(sb);
    ApplyData request;
    request.subnetData = Json::Value(Json::arrayValue);
    for (int i = 0; i < 257; ++i) {
        std::string address = "10.1." + std::to_string(i / 250) + "." + std::to_string(i % 250 + 1);
        request.subnetData.append(row(address, address, "10.1.0.254", true, false, "255.255.0.0"));
    }
    expectRefused(request.run(sb), "subnetData: more than 256 rows", before, sb);
}

TEST(CgiValidation, ReservationsOfApplyData)
{
    runDataCases({
        {"staticData", 0, "mac", "02:00:00:AA:BB:CC", nullptr},
        {"staticData", 0, "mac", "02-00-00-aa-bb-cc", "staticData[0].mac: not a MAC address"},
        {"staticData", 1, "mac", "02:00:00:00:00:0c:0d", "staticData[1].mac: not a MAC address"},
        {"staticData", 0, "ip", "192.168.1.11", nullptr},
        {"staticData", 0, "ip", "192.168.1", "staticData[0].ip: not an IPv4 address"},
        {"staticData", 0, "hostname", "", nullptr},
        {"staticData", 0, "hostname", "nas_2.lan", nullptr},
        {"staticData", 0, "hostname", "infinite",
         "staticData[0].hostname: read by dnsmasq as a keyword"},
        {"staticData", 0, "hostname", "5m",
         "staticData[0].hostname: read by dnsmasq as a lease time"},
        {"staticData", 0, "hostname", "90",
         "staticData[0].hostname: read by dnsmasq as a lease time"},
        {"staticData", 0, "hostname", "tag:known",
         "staticData[0].hostname: read by dnsmasq as a client id or tag"},
        {"staticData", 0, "hostname", "ID:x",
         "staticData[0].hostname: read by dnsmasq as a client id or tag"},
        {"staticData", 0, "hostname", "*", "staticData[0].hostname: read by dnsmasq as a wildcard"},
        {"staticData", 1, "hostname", "192.168.1.99",
         "staticData[1].hostname: read by dnsmasq as an address"},
    });
}

TEST(CgiValidation, EnablingPxe)
{
    runPxeCases({
        {"pxe_interface", "eth1", nullptr},
        {"pxe_interface", "", "pxe_interface: missing"},
        {"pxe_start_ip", "192.168.5.1000", "pxe_start_ip: not an IPv4 address"},
        {"pxe_netmask", "255.255.255.1", "pxe_netmask: not a contiguous netmask"},
        {"pxe_gateway", "", "pxe_gateway: missing"},
        {"pxe_dns", "192.168.5.2", nullptr},
        {"pxe_dns", "", "pxe_dns: missing"},
        {"pxe_dns", "255.255.255.255", "pxe_dns: not the address of a server"},
        {"pxe_bootloader", "boot/pxelinux.0", nullptr},
        {"pxe_bootloader", "pxe linux.0",
         "pxe_bootloader: contains a blank or an unprintable character"},
        {"pxe_bootloader", "pxelinux.0#x", "pxe_bootloader: contains one of , \" ' # ="},
        {"pxe_bootloader", "boot/../../etc/shadow",
         "pxe_bootloader: contains a \"..\" path element"},
        {"pxe_bootloader", std::string(256, 'b'), "pxe_bootloader: longer than 255 characters"},
        // dnsmasq would take these for a second tag or an option name and
        // refuse the whole configuration.
        {"pxe_bootloader", "tag:foo", "pxe_bootloader: read by dnsmasq as a client id or tag"},
        {"pxe_bootloader", "SET:x", "pxe_bootloader: read by dnsmasq as a client id or tag"},
        {"pxe_bootloader", "Net:lan", "pxe_bootloader: read by dnsmasq as a client id or tag"},
        {"pxe_bootloader", "Option:bootfile-name",
         "pxe_bootloader: read by dnsmasq as an option keyword"},
        {"pxe_bootloader", "efi/tag:x.efi", nullptr},
        {"pxe_tftp_server", "0.0.0.0", "pxe_tftp_server: not the address of a server"},
        {"pxe_interface", "--help", "pxe_interface: begins with \"-\""},
        {"orig_interface", "-eth0", "orig_interface: begins with \"-\""},
        {"orig_interface", "eth0:1", "orig_interface: not an interface name"},
    });

    // A PXE range that shares an address with an ordinary subnet's: the
    // subnet table could never be saved again.
    {
        Seeded sb;
        auto before = filesOf(sb);
        auto params = pxeRequest();
        params["pxe_start_ip"] = "192.168.1.190";
        params["pxe_end_ip"] = "192.168.1.220";
        params["pxe_gateway"] = "192.168.1.1";
        expectRefused(runPxe(sb, params), "pxe_start_ip: overlaps subnet 1", before, sb);
    }

    // An empty boot file is a PXE subnet without boot lines.
    Seeded sb;
    auto params = pxeRequest();
    params["pxe_bootloader"] = "";
    CgiResult r = runPxe(sb, params);
    EXPECT_EQ(r.body, parseJson(R"({"success": true, "isSameApSubnet": false})")) << r.out;
    expectSubnet(sb, {"eth0", "pxe",
                      "interface=eth0\n"
                      "dhcp-range=set:pxe,192.168.5.100,192.168.5.150,255.255.255.0,3600\n"
                      "dhcp-option=tag:pxe,option:router,192.168.5.1\n"
                      "dhcp-option=tag:pxe,option:domain-search,lan.example\n"
                      "dhcp-option=tag:pxe,option:domain-name,lan.example\n"
                      "dhcp-option=tag:pxe,option:dns-server,192.168.5.1,8.8.8.8\n"},
                 true);
}

TEST(CgiValidation, DisablingPxeReadsOnlyTheInterfaces)
{
    auto disabling = pxeRequest();
    disabling["pxe_enable"] = "false";
    disabling["pxe_start_ip"] = "192.168.5.100\ndhcp-script=/tmp/x";
    disabling["pxe_bootloader"] = "../x";
    {
        Seeded sb;
        putSubnet(sb, kPxe, true);
        CgiResult r = runPxe(sb, disabling);
        EXPECT_EQ(r.body, parseJson(R"({"success": true})")) << r.out;
        expectSubnet(sb, kPxe, false);
    }
    runPxeCases({{"pxe_interface", "../eth0", "pxe_interface: begins with \".\""},
                 {"orig_interface", "eth0\n", "orig_interface: not an interface name"}},
                disabling);
}

TEST(CgiValidation, InterfaceNamesOfTheReadingActions)
{
    const std::pair<const char *, const char *> actions[] = {
        {"loadGlobal", "iftype"},     {"disableServer", "iftype"},  {"getIfData", "iftype"},
        {"loadClientList", "iftype"}, {"loadpxesubnet", "if_name"},  {"loadIPv6", "iftype"},
    };
    for (const auto &action : actions) {
        SCOPED_TRACE(action.first);
        Seeded sb;
        sb.write("etc/dhcpd/dhcpd-leases.log", "");
        auto before = filesOf(sb);
        const std::string param = action.second;
        for (const char *name : {"../../x", "--help", "-eth0", "eth0 ", "eth0,eth1", "eth0\nx"}) {
            CgiResult r = runAction(sb, action.first, {{param, name}});
            const std::string why = name[0] == '.'   ? "begins with \".\""
                                    : name[0] == '-' ? "begins with \"-\""
                                                     : "not an interface name";
            expectRefused(r, param + ": " + why, before, sb);
        }
        // A sound name is served as before.
        CgiResult r = runAction(sb, action.first, {{param, "eth0"}});
        EXPECT_EQ(r.body["success"], Json::Value(true)) << r.out;
        EXPECT_FALSE(r.body.isMember("error")) << r.out;
    }
    // Nor does one reach the argument list of the lease's release.
    Seeded sb;
    auto before = filesOf(sb);
    CgiResult r = runAction(sb, "releaseLease",
                            {{"iftype", "--help"}, {"mac", "02:00:00:00:00:0b"}, {"ip", "192.168.1.20"}});
    expectRefused(r, "iftype: begins with \"-\"", before, sb);
    r = runAction(sb, "releaseLease",
                  {{"iftype", "eth0"}, {"mac", "02:00:00:00:00:0b"}, {"ip", "fd50::10"}});
    expectRefused(r, "ip: a DHCPv6 lease is released by its client, not here", before, sb);
}

// ---- the injections ----

TEST(CgiValidation, LineBreakCannotAddADirective)
{
    for (const char *brk : {"\ndhcp-script=/tmp/x", "\rdhcp-script=/tmp/x", "\n"}) {
        runDataCases({
            {"dataArray", -1, "domain", std::string("lan.example") + brk,
             "dataArray.domain: not a domain name"},
            {"dataArray", -1, "pdns", std::string("192.168.1.1") + brk,
             "dataArray.pdns: not an IPv4 address"},
            {"subnetData", 0, "startip", std::string("192.168.1.100") + brk,
             "subnetData[0].startip: not an IPv4 address"},
            {"staticData", 0, "hostname", std::string("nas") + brk,
             "staticData[0].hostname: not a host name"},
            {"staticData", 0, "mac", std::string("02:00:00:00:00:0a") + brk,
             "staticData[0].mac: not a MAC address"},
            {"staticData", 0, "ip", std::string("192.168.1.10") + brk,
             "staticData[0].ip: not an IPv4 address"},
        });
        runPxeCases({
            {"pxe_bootloader", std::string("pxelinux.0") + brk,
             "pxe_bootloader: contains a blank or an unprintable character"},
            {"pxe_gateway", std::string("192.168.5.1") + brk, "pxe_gateway: not an IPv4 address"},
        });
    }
}

TEST(CgiValidation, CommaCannotAddFieldsToARangeOrAReservation)
{
    runDataCases({
        {"subnetData", 0, "endip", "192.168.1.200,static",
         "subnetData[0].endip: not an IPv4 address"},
        {"subnetData", 0, "netmask", "255.255.255.0,infinite",
         "subnetData[0].netmask: not an IPv4 address"},
        {"staticData", 0, "mac", "02:00:00:00:00:0a,set:trusted",
         "staticData[0].mac: not a MAC address"},
        {"staticData", 0, "hostname", "nas,192.168.1.99",
         "staticData[0].hostname: not a host name"},
        {"staticData", 0, "ip", "192.168.1.10,ignore", "staticData[0].ip: not an IPv4 address"},
        {"dataArray", -1, "sdns", "8.8.8.8,1.1.1.1", "dataArray.sdns: not an IPv4 address"},
    });
}

TEST(CgiValidation, InterfaceNameCannotLeadOutOfTheDirectory)
{
    runDataCases(
        {{"dataArray", -1, "iftype", "../../x", "dataArray.iftype: begins with \".\""},
         {"dataArray", -1, "iftype", "x/../../y", "dataArray.iftype: not an interface name"}});
    runPxeCases({{"pxe_interface", "../../x", "pxe_interface: begins with \".\""},
                 {"orig_interface", "../../x", "orig_interface: begins with \".\""}});
}

TEST(CgiValidation, ReservationWithTheMacAIsRefused)
{
    runDataCases({{"staticData", 1, "mac", "a", "staticData[1].mac: not a MAC address"}});
}

TEST(CgiValidation, RangeWhoseStartLiesAboveItsEndIsRefused)
{
    runDataCases(
        {{"subnetData", 1, "startip", "192.168.2.30", "subnetData[1].endip: start above end"}});
    runPxeCases({{"pxe_start_ip", "192.168.5.200", "pxe_end_ip: start above end"}});
}

TEST(CgiValidation, UnparsableAddressIsRefused)
{
    std::vector<DataCase> cases;
    for (const char *address : {"192.168.1.300", "192.168.1", "0x7f.0.0.1", "::1", "192.168.1.1 ",
                                "", "192.168.001.010"}) {
        cases.push_back({"subnetData", 1, "startip", address,
                         *address ? "subnetData[1].startip: not an IPv4 address"
                                  : "subnetData[1].startip: missing"});
    }
    runDataCases(cases);
}

TEST(CgiValidation, EmptyPrimaryDnsServerOnlyWithoutRows)
{
    runDataCases({{"dataArray", -1, "pdns", "", "dataArray.pdns: missing"}});

    // No rows to write it into: an empty table goes through and removes the
    // interface's subnets.
    Seeded sb;
    ApplyData request;
    request.dataArray["pdns"] = "";
    request.subnetData = Json::Value(Json::arrayValue);
    CgiResult r = request.run(sb);
    EXPECT_EQ(r.body, parseJson(R"({"success": true, "isSameApSubnet": false})")) << r.out;
    EXPECT_FALSE(sb.exists(confPath("eth0", "eth00")));
}

TEST(CgiValidation, OneAddressReservedTwiceIsRefusedOneMacTwiceIsNot)
{
    runDataCases({{"staticData", 1, "ip", "192.168.1.10",
                   "staticData[1].ip: same address as staticData[0]"}});

    Seeded sb;
    ApplyData request;
    request.staticData[1]["mac"] = "02:00:00:00:00:0a";
    CgiResult r = request.run(sb);
    EXPECT_EQ(r.body["success"], Json::Value(true)) << r.out;
    EXPECT_EQ(sb.read(kList), "dhcp-host=02:00:00:00:00:0a,nas,192.168.1.10,infinite\n"
                              "dhcp-host=02:00:00:00:00:0a,camera,192.168.1.30,infinite\n");
}

// ---- the answer and what runs around it ----

TEST(CgiValidation, RefusalNamesThePlaceLogsItAndStillRestarts)
{
    Seeded sb;
    auto before = filesOf(sb);
    ApplyData request;
    request.subnetData[1]["startip"] = "192.168.2.256";
    CgiResult r = request.run(sb);
    EXPECT_THAT(r.out, EndsWith("\r\n\r\n{\"error\":\"subnetData[1].startip: not an IPv4 "
                                "address\",\"errorAt\":\"subnetData[1].startip\",\"errorKind\":"
                                "\"invalid\",\"serviceRestarted\":true,\"success\":false}\n"));
    EXPECT_THAT(r.err, ContainsRegex(
                           "dispatch\\.cpp:[0-9]+ Invalid parameter subnetData\\[1\\]\\.startip\n"));
    EXPECT_EQ(filesOf(sb), before);
    EXPECT_EQ(sb.restartCount(), 1);

    r = runPxe(sb, {{"pxe_interface", "eth0"}, {"pxe_enable", "true"}});
    EXPECT_EQ(r.body, parseJson(R"({"success": false, "error": "pxe_start_ip: missing"})"))
        << r.out;
    EXPECT_EQ(sb.restartCount(), 2);
    EXPECT_EQ(filesOf(sb), before);
}

TEST(CgiValidation, AnInvalidReservationStopsEveryStepOfApplyData)
{
    // The global and subnet steps would rewrite the subnet and the switch-off
    // would turn the PXE subnet's neighbour off: none of it happens.
    Seeded sb;
    auto before = filesOf(sb);
    ApplyData request;
    request.dataArray["enable_check"] = false;
    request.dataArray["leasetime"] = "5";
    request.subnetData.resize(1);
    request.staticData[1]["hostname"] = "ignore";
    CgiResult r = request.run(sb);
    expectRefused(r, "staticData[1].hostname: read by dnsmasq as a keyword", before, sb);
    EXPECT_EQ(sb.read(kList), kPrinter);
}

} // namespace

namespace {

// "applyOptions" on eth0 with one option (JSON text) and no host overrides.
CgiResult runOption(const Sandbox &sb, const std::string &option,
                    const std::string &hosts = "[]")
{
    return runAction(sb, "applyOptions",
                     {{"iftype", "eth0"}, {"options", "[" + option + "]"}, {"hostOptions", hosts}});
}

} // namespace

// Every option's value against its type: the fragment line that is sent, or
// the refusal with its place. dnsmasq checks every fragment written.
TEST(CgiValidation, FurtherOptionsAndHostOverrides)
{
    const struct {
        std::string option;
        const char *line; // the line in dhcpd-eth0-options.conf; NULL: refused
        const char *error;
    } cases[] = {
        {R"({"name": "ntp-server", "value": "192.168.1.5, 192.168.1.6"})",
         "dhcp-option=tag:eth0,42,192.168.1.5,192.168.1.6\n", nullptr},
        {R"({"name": "ntp-server", "value": "192.168.1.5,ntp.lan"})", nullptr,
         "options[0].value: not a list of IPv4 addresses"},
        {R"({"name": "mtu", "code": 26, "value": "1400"})", "dhcp-option=tag:eth0,26,1400s\n",
         nullptr},
        {R"({"name": "mtu", "value": "67"})", nullptr,
         "options[0].value: not a number from 68 to 65535"},
        {R"({"name": "mtu", "code": 27, "value": "1400"})", nullptr,
         "options[0].code: not the code of mtu"},
        {R"({"name": "classless-static-route", "value": "10.9.0.0/16,192.168.1.254"})",
         "dhcp-option=tag:eth0,121,10.9.0.0/16,192.168.1.254\n", nullptr},
        {R"({"name": "classless-static-route", "value": "10.9.0.1/16,192.168.1.254"})", nullptr,
         "options[0].value: not a network address before \"/\""},
        {R"({"name": "classless-static-route", "value": "10.9.0.0/16"})", nullptr,
         "options[0].value: not a list of \"a.b.c.d/len,gateway\""},
        {R"({"name": "tftp-server", "value": "192.168.1.9"})",
         "dhcp-option=tag:eth0,66,\"192.168.1.9\"\n", nullptr},
        {R"({"name": "tftp-server", "value": "tag:x"})", nullptr,
         "options[0].value: not a host name or an IPv4 address"},
        {R"({"name": "bootfile-name", "value": "set:pxe"})", nullptr,
         "options[0].value: read by dnsmasq as a client id or tag"},
        {R"({"name": "time-offset", "value": "-3600"})",
         "dhcp-option=tag:eth0,2,ff:ff:f1:f0\n", nullptr},
        {R"({"name": "sip-server", "value": "sip.lan,192.168.1.7"})", nullptr,
         "options[0].value: addresses and names cannot be mixed"},
        {R"({"name": "wpad", "value": "http://wpad.lan/wpad.dat"})",
         "dhcp-option=tag:eth0,252,\"http://wpad.lan/wpad.dat\"\n", nullptr},
        {R"({"name": "wpad", "value": "http://x/\"\nconf-file=/etc/shadow"})", nullptr,
         "options[0].value: holds a quote, a backslash or a character that is not printable"},
        {R"({"name": "no-such", "value": "1"})", nullptr, "options[0].name: not a named option"},
        {R"({"code": 224, "type": "uint8", "value": "255"})", "dhcp-option=tag:eth0,224,255b\n",
         nullptr},
        {R"({"code": 224, "type": "uint8", "value": "256"})", nullptr,
         "options[0].value: not a number from 0 to 255"},
        {R"({"code": 225, "type": "uint32", "value": "4294967295"})",
         "dhcp-option=tag:eth0,225,4294967295i\n", nullptr},
        {R"({"code": 226, "type": "bool", "value": "true"})", "dhcp-option=tag:eth0,226,1b\n",
         nullptr},
        {R"({"code": 227, "type": "hex", "value": "0a"})", "dhcp-option=tag:eth0,227,10b\n",
         nullptr},
        {R"({"code": 227, "type": "hex", "value": "0a:ff:3"})", nullptr,
         "options[0].value: not colon-separated hexadecimal bytes"},
        {R"({"code": 228, "type": "text", "value": "a, b # c"})",
         "dhcp-option=tag:eth0,228,\"a, b # c\"\n", nullptr},
        {R"({"code": 229, "type": "ipv4", "value": "10.0.0.256"})", nullptr,
         "options[0].value: not an IPv4 address"},
        {R"({"code": 230, "type": "float", "value": "1"})", nullptr,
         "options[0].type: not a type of option"},
        {R"({"code": 255, "type": "uint8", "value": "1"})", nullptr,
         "options[0].code: not a code from 1 to 254"},
        {R"({"code": 3, "type": "ipv4", "value": "192.168.1.1"})", nullptr,
         "options[0].code: set from the subnet's gateway"},
        {R"({"code": 6, "type": "ipv4", "value": "192.168.1.1"})", nullptr,
         "options[0].code: set from the DNS servers of the global settings"},
        {R"({"code": 60, "type": "text", "value": "PXEClient"})", nullptr,
         "options[0].code: set by network boot: use the PXE section"},
        {R"({"code": 42, "type": "ipv4", "value": "192.168.1.5"})", nullptr,
         "options[0].code: use the named option ntp-server"},
        // Codes the client, the server or a relay agent set.
        {R"({"code": 12, "type": "text", "value": "pc"})", nullptr,
         "options[0].code: set by the client itself (its host name)"},
        {R"({"code": 52, "type": "uint8", "value": "3"})", nullptr,
         "options[0].code: set by the DHCP server itself"},
        {R"({"code": 81, "type": "hex", "value": "00"})", nullptr,
         "options[0].code: set by the client itself (its name for the DNS)"},
        {R"({"code": 82, "type": "hex", "value": "01:02"})", nullptr,
         "options[0].code: set by the relay agent between client and server"},
        // Servers are hosts a client can reach.
        {R"({"name": "ntp-server", "value": "0.0.0.0"})", nullptr,
         "options[0].value: not the address of a server"},
        {R"({"name": "netbios-ns", "value": "192.168.1.2,255.255.255.255"})", nullptr,
         "options[0].value: not the address of a server"},
        // A quoted text cannot carry a backslash.
        {R"({"name": "bootfile-name", "value": "boot\\phone.cfg"})", nullptr,
         "options[0].value: contains a backslash"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.option);
        Seeded sb;
        auto before = filesOf(sb);
        CgiResult r = runOption(sb, c.option);
        if (c.error) {
            expectRefused(r, c.error, before, sb);
            continue;
        }
        EXPECT_EQ(r.body["success"], Json::Value(true)) << r.out;
        EXPECT_EQ(sb.read("etc/dhcpd/dhcpd-eth0-options.conf"), c.line);
        EXPECT_EQ(sb.read("etc/dhcpd/dhcpd-eth0-options.info"), "enable=\"yes\"\n");
    }

    const struct {
        const char *hosts;
        const char *error;
    } hostCases[] = {
        {R"([{"mac": "02:00:00:00:00:0G", "gateway": "192.168.1.2", "dns": ""}])",
         "hostOptions[0].mac: not a MAC address"},
        {R"([{"mac": "02:00:00:00:00:0b", "gateway": "", "dns": ""}])",
         "hostOptions[0]: neither a gateway nor a DNS server"},
        {R"([{"mac": "02:00:00:00:00:0b", "gateway": "192.168.1.2"},
             {"mac": "02-00-00-00-00-0B", "dns": "192.168.1.3"}])",
         "hostOptions[1].mac: given twice"},
        {R"([{"mac": "02:00:00:00:00:0b", "dns": "192.168.1.300"}])",
         "hostOptions[0].dns: not an IPv4 address"},
        {R"([{"mac": "02:00:00:00:00:0b", "gateway": "0.0.0.0"}])",
         "hostOptions[0].gateway: not the address of a server"},
        {R"([{"mac": "02:00:00:00:00:0b", "dns": "255.255.255.255"}])",
         "hostOptions[0].dns: not the address of a server"},
        // A gateway the client cannot reach: in no subnet of the interface.
        {R"([{"mac": "02:00:00:00:00:0b", "gateway": "10.0.0.1"}])",
         "hostOptions[0].gateway: not inside a subnet of eth0"},
    };
    for (const auto &c : hostCases) {
        SCOPED_TRACE(c.hosts);
        Seeded sb;
        auto before = filesOf(sb);
        expectRefused(runOption(sb, "", c.hosts), c.error, before, sb);
    }

    // Options only for the system's own interfaces: not the tags dnsmasq
    // sets for every reserved host or PXE client, nor the access point's.
    for (const char *ifName : {"known", "pxe", "static", "lbr0"}) {
        SCOPED_TRACE(ifName);
        Seeded sb;
        sb.addInterface("lbr0", 3, "bridge");
        auto before = filesOf(sb);
        expectRefused(runAction(sb, "applyOptions",
                                {{"iftype", ifName},
                                 {"options", R"([{"name": "mtu", "value": "1400"}])"}}),
                      "iftype: not an interface of this system", before, sb);
    }
}

// What is saved reads back as given, the overrides scoped to their client
// and the interface; saving none leaves no file of them.
TEST(CgiValidation, OptionsReadBackAndGoWhenNoneIsLeft)
{
    Seeded sb;
    CgiResult r = runAction(
        sb, "applyOptions",
        {{"iftype", "eth0"},
         {"options", R"([{"name": "ntp-server", "value": "192.168.1.5"},
                         {"code": 224, "type": "text", "value": "hello, world"}])"},
         {"hostOptions", R"([{"mac": "02-00-00-00-00-0B", "gateway": "192.168.1.2"}])"}});
    ASSERT_EQ(r.body["success"], Json::Value(true)) << r.out;
    EXPECT_EQ(sb.read("etc/dhcpd/dhcpd-eth0-options.conf"),
              "dhcp-option=tag:eth0,42,192.168.1.5\n"
              "dhcp-option=tag:eth0,224,\"hello, world\"\n"
              "dhcp-mac=set:host-02000000000b,02:00:00:00:00:0b\n"
              "dhcp-option=tag:host-02000000000b,tag:eth0,option:router,192.168.1.2\n");
    r = runAction(sb, "loadOptions", {{"iftype", "eth0"}});
    EXPECT_EQ(r.body, parseJson(R"({"success": true,
        "options": [{"name": "ntp-server", "code": 42, "type": "ipv4-list", "value": "192.168.1.5"},
                    {"name": "", "code": 224, "type": "text", "value": "hello, world"}],
        "hostOptions": [{"mac": "02:00:00:00:00:0b", "gateway": "192.168.1.2", "dns": ""}]})"))
        << r.out;

    r = runAction(sb, "applyOptions", {{"iftype", "eth0"}, {"options", "[]"}});
    ASSERT_EQ(r.body["success"], Json::Value(true)) << r.out;
    for (const char *gone : {"etc/dhcpd/dhcpd-eth0-options.conf", "etc/dhcpd/dhcpd-eth0-options.info",
                             "etc/dhcpd/orvath-eth0.options"})
        EXPECT_FALSE(sb.exists(gone)) << gone;
    r = runAction(sb, "loadOptions", {{"iftype", "eth0"}});
    EXPECT_EQ(r.body, parseJson(R"({"success": true, "options": [], "hostOptions": []})"));
}

namespace {

// "applyIPv6" on eth0 with the settings as JSON text.
CgiResult runIpv6(const Sandbox &sb, const std::string &ipv6, const std::string &ifName = "eth0")
{
    return runAction(sb, "applyIPv6", {{"iftype", ifName}, {"ipv6", ipv6}});
}

const char kIpv6Conf[] = "etc/dhcpd/dhcpd-eth0-ipv6.conf";
const char kIpv6Info[] = "etc/dhcpd/dhcpd-eth0-ipv6.info";
const char kIpv6Settings[] = "etc/dhcpd/orvath-eth0.ipv6";

} // namespace

// Each mode's fragment, scoped to the interface by the range's tag, and
// every refusal with its place; dnsmasq checks every fragment written. The
// interface's own address is announced as DNS server when none is given.
TEST(CgiValidation, Ipv6ModesAndTheirChecks)
{
    const struct {
        std::string ipv6;
        const char *fragment; // dhcpd-eth0-ipv6.conf; NULL: refused
        const char *error;
    } cases[] = {
        {R"({"mode": "ra-only", "leasetime": "720", "dns": []})",
         "interface=eth0\nenable-ra\n"
         "dhcp-range=set:eth0-ipv6,::,constructor:eth0,ra-only,64,43200\n"
         "dhcp-option=tag:eth0-ipv6,option6:dns-server,[fd50::1]\n"
         "dhcp-option=tag:eth0-ipv6,option6:domain-search,lan.example\n", nullptr},
        {R"({"mode": "stateless", "leasetime": "1440", "dns": ["fd50::53", " fd50::54 "], "raNames": true})",
         "interface=eth0\nenable-ra\n"
         "dhcp-range=set:eth0-ipv6,::,constructor:eth0,ra-stateless,ra-names,64,86400\n"
         "dhcp-option=tag:eth0-ipv6,option6:dns-server,[fd50::53],[fd50::54]\n"
         "dhcp-option=tag:eth0-ipv6,option6:domain-search,lan.example\n", nullptr},
        {R"({"mode": "stateful", "start": "::100", "end": "::1ff", "prefixLength": 64, "leasetime": "60"})",
         "interface=eth0\nenable-ra\n"
         "dhcp-range=set:eth0-ipv6,::100,::1ff,constructor:eth0,64,3600\n"
         "dhcp-option=tag:eth0-ipv6,option6:dns-server,[fd50::1]\n"
         "dhcp-option=tag:eth0-ipv6,option6:domain-search,lan.example\n", nullptr},
        {R"({"mode": "stateful", "start": "::1:0", "end": "::1:ff", "prefixLength": "64", "leasetime": "2", "raNames": true})",
         "interface=eth0\nenable-ra\n"
         "dhcp-range=set:eth0-ipv6,::1:0,::1:ff,constructor:eth0,ra-names,64,120\n"
         "dhcp-option=tag:eth0-ipv6,option6:dns-server,[fd50::1]\n"
         "dhcp-option=tag:eth0-ipv6,option6:domain-search,lan.example\n", nullptr},
        {R"({"mode": "slaac", "leasetime": "60"})", nullptr,
         "ipv6.mode: not one of off, ra-only, stateless, stateful"},
        {R"({"leasetime": "60"})", nullptr, "ipv6.mode: not one of off, ra-only, stateless, stateful"},
        {R"({"mode": "stateless"})", nullptr, "ipv6.leasetime: missing"},
        {R"({"mode": "stateless", "leasetime": "1"})", nullptr, "ipv6.leasetime: less than 2 minutes"},
        {R"({"mode": "stateless", "leasetime": "-5"})", nullptr, "ipv6.leasetime: negative lease time"},
        {R"({"mode": "stateless", "leasetime": "60", "prefixLength": 48})", nullptr,
         "ipv6.prefixLength: must be 64 where clients form their own addresses"},
        {R"({"mode": "stateful", "start": "::100", "end": "::1ff", "prefixLength": 112, "leasetime": "60"})",
         nullptr, "ipv6.prefixLength: must be 64: the range is made from the interface's /64 prefix"},
        {R"({"mode": "stateful", "start": "::100", "end": "::1ff", "prefixLength": "64x", "leasetime": "60"})",
         nullptr, "ipv6.prefixLength: not a prefix length"},
        {R"({"mode": "ra-only", "start": "::100", "leasetime": "60"})", nullptr,
         "ipv6.start: a range only for stateful"},
        {R"({"mode": "stateful", "end": "::1ff", "leasetime": "60"})", nullptr, "ipv6.start: missing"},
        {R"({"mode": "stateful", "start": "fd50::100", "end": "::1ff", "leasetime": "60"})", nullptr,
         "ipv6.start: not a host part (such as ::100)"},
        {R"({"mode": "stateful", "start": "::100", "end": "::1ff,ra-only", "leasetime": "60"})", nullptr,
         "ipv6.end: not an IPv6 address"},
        {R"({"mode": "stateful", "start": "::200", "end": "::1ff", "leasetime": "60"})", nullptr,
         "ipv6.end: before the start"},
        {R"({"mode": "stateless", "leasetime": "60", "dns": ["fe80::1"]})", nullptr,
         "ipv6.dns[0]: a link-local address"},
        {R"({"mode": "stateless", "leasetime": "60", "dns": ["fd50::53", "ff02::1"]})", nullptr,
         "ipv6.dns[1]: a multicast address"},
        {R"({"mode": "stateless", "leasetime": "60", "dns": ["::"]})", nullptr,
         "ipv6.dns[0]: not the address of a server"},
        {R"({"mode": "stateless", "leasetime": "60", "dns": ["192.168.1.1"]})", nullptr,
         "ipv6.dns[0]: not an IPv6 address"},
        {R"({"mode": "stateless", "leasetime": "60", "dns": ["fd50::53]\ndhcp-range=x"]})", nullptr,
         "ipv6.dns[0]: not an IPv6 address"},
        {R"({"mode": "stateless", "leasetime": "60", "dns": "fd50::53"})", nullptr, "ipv6.dns: not a list"},
        {R"({"mode": "stateless", "leasetime": "60", "dns": ["fd50::1", "fd50::2", "fd50::3", "fd50::4"]})",
         nullptr, "ipv6.dns: more than 3 servers"},
        {R"(["stateless"])", nullptr, "ipv6: not a JSON object"},
    };
    for (const auto &c : cases) {
        Seeded sb;
        sb.write("sys/class/net/eth0/orvath_addrs6", "fe80::1/64\nfd50::1/64\n");
        auto before = filesOf(sb);
        CgiResult r = runIpv6(sb, c.ipv6);
        if (c.fragment) {
            EXPECT_EQ(r.body["success"], Json::Value(true)) << c.ipv6 << ": " << r.out;
            EXPECT_EQ(sb.read(kIpv6Conf), c.fragment) << c.ipv6;
            EXPECT_EQ(sb.read(kIpv6Info), "enable=\"yes\"\n") << c.ipv6;
        } else {
            expectRefused(r, c.error, before, sb);
        }
    }
    Seeded sb;
    auto before = filesOf(sb);
    expectRefused(runIpv6(sb, R"({"mode": "stateless", "leasetime": "60"})", "eth9"),
                  "iftype: not an interface of this system", before, sb);
    expectRefused(runIpv6(sb, R"({"mode": "stateless", "leasetime": "60"})", "lbr0"),
                  "iftype: not an interface of this system", before, sb);
}

// What is saved reads back as given, with the interface's prefixes; "off"
// leaves no file of IPv6 at all.
TEST(CgiValidation, Ipv6ReadsBackAndOffLeavesNoFile)
{
    Seeded sb;
    sb.write("sys/class/net/eth0/orvath_addrs6", "fe80::1/64\nfd50::1/64\nfd51::9/48\nfd50::2/64\n");
    CgiResult r = runAction(sb, "loadIPv6", {{"iftype", "eth0"}});
    EXPECT_EQ(r.body, parseJson(R"({"success": true, "prefixes": ["fd50::/64", "fd51::/48"],
        "ipv6": {"mode": "off", "start": "", "end": "", "prefixLength": 64, "leasetime": "1440",
                 "dns": [], "raNames": false}})")) << r.out;
    EXPECT_EQ(r.history["revision"], Json::Value(0)) << r.out;

    r = runIpv6(sb, R"({"mode": "stateful", "start": "::100", "end": "::1ff", "prefixLength": 64,
                        "leasetime": "720", "dns": ["fd50::53"], "raNames": false})");
    ASSERT_EQ(r.body["success"], Json::Value(true)) << r.out;
    EXPECT_EQ(sb.restartCount(), 1);
    r = runAction(sb, "loadIPv6", {{"iftype", "eth0"}});
    EXPECT_EQ(r.body["ipv6"], parseJson(R"({"mode": "stateful", "start": "::100", "end": "::1ff",
        "prefixLength": 64, "leasetime": "720", "dns": ["fd50::53"], "raNames": false})")) << r.out;
    EXPECT_GT(r.history["revision"].asInt(), 0) << r.out;

    r = runIpv6(sb, R"({"mode": "off"})");
    ASSERT_EQ(r.body["success"], Json::Value(true)) << r.out;
    for (const char *gone : {kIpv6Conf, kIpv6Info, kIpv6Settings})
        EXPECT_FALSE(sb.exists(gone)) << gone;
    r = runAction(sb, "loadIPv6", {{"iftype", "eth0"}});
    EXPECT_EQ(r.body["ipv6"]["mode"], Json::Value("off")) << r.out;
}
