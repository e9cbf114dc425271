// Request value checks: every rule accepts a sound value and refuses the
// values that would put a foreign line, field or path into the service's
// files; the rules and their cases are the ones the page applies too.
#include "validate.h"

#include <gtest/gtest.h>
#include <json/json.h>

#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "rule_table.h"

namespace {

Json::Value readJsonFile(const std::string &path)
{
    Json::Value root;
    std::ifstream in(path);
    Json::CharReaderBuilder builder;
    std::string errors;
    EXPECT_TRUE(Json::parseFromStream(builder, in, &root, &errors)) << path << ": " << errors;
    return root;
}

// Parses a document; nullptr when it is not JSON.
std::unique_ptr<Json::Value> parse(const std::string &text)
{
    Json::CharReaderBuilder builder;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    auto value = std::make_unique<Json::Value>();
    std::string errors;
    if (!reader->parse(text.data(), text.data() + text.size(), value.get(), &errors))
        return nullptr;
    return value;
}

using Params = std::map<std::string, std::string>;

// The request's parameters; a name missing from params is an absent one.
ParamLookup lookupIn(const Params &params)
{
    return [&params](const char *name) -> const char * {
        auto it = params.find(name);
        return it == params.end() ? nullptr : it->second.c_str();
    };
}

const char *const kGlobal =
    R"({"enable_check": true, "pdns": "192.168.1.1", "sdns": "", "leasetime": "1440",
        "domain": "example.lan", "iftype": "eth0"})";
const char *const kSubnets =
    R"([{"activated": true, "pxe": false, "startip": "192.168.1.100", "endip": "192.168.1.200",
         "netmask": "255.255.255.0", "gateway": "192.168.1.1"}])";
const char *const kStatic =
    R"([{"mac": "02:00:00:aa:bb:cc", "ip": "192.168.1.20", "hostname": "printer"}])";

// Reads and checks the three texts ("" = the parameter is absent) and
// returns "" when accepted, else "<where>: <why>".
std::string applyData(const std::string &data, const std::string &subnets,
                      const std::string &reservations)
{
    Params params;
    for (const auto &p : {Params::value_type{"dataArray", data}, {"subnetData", subnets},
                          {"staticData", reservations}}) {
        if (!p.second.empty())
            params.insert(p);
    }
    ActionRequest request;
    ValidationError err;
    if (readApplyData(lookupIn(params), request, err) &&
        validateApplyData(std::get<ApplyDataRequest>(request), err))
        return "";
    return err.text();
}

std::string whereOf(const std::string &error)
{
    return error.substr(0, error.find(':'));
}

std::string compact(const Json::Value &v)
{
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    return Json::writeString(builder, v);
}

// A global object with one member replaced (Json text of the new value).
std::string globalWith(const std::string &member, const std::string &jsonValue)
{
    Json::Value v = *parse(kGlobal);
    v[member] = *parse(jsonValue);
    return compact(v);
}

std::string subnetWith(const std::string &member, const std::string &jsonValue)
{
    Json::Value v = *parse(kSubnets);
    v[0][member] = *parse(jsonValue);
    return compact(v);
}

std::string staticWith(const std::string &member, const std::string &jsonValue)
{
    Json::Value v = *parse(kStatic);
    v[0][member] = *parse(jsonValue);
    return compact(v);
}

} // namespace

// The case file both sides read: each rule's accepted values and the reason
// each refused one gets.
TEST(ValueChecks, EveryRuleAsThePageAppliesIt)
{
    using Rule = std::function<const char *(const std::string &)>;
    const std::map<std::string, Rule> rules = {
        {"interfaceName", [](const std::string &t) { return checkInterfaceName(t.c_str()); }},
        {"ipv4", [](const std::string &t) { return checkIpv4(t.c_str()); }},
        {"serverIpv4", [](const std::string &t) { return checkServerIpv4(t.c_str()); }},
        {"ipv6Server", [](const std::string &t) { return checkServerIpv6(t.c_str()); }},
        {"ipv6HostPart", [](const std::string &t) { return checkIpv6HostPart(t.c_str()); }},
        {"netmask", [](const std::string &t) { return checkNetmask(t.c_str()); }},
        {"mac", [](const std::string &t) { return checkMac(t.c_str()); }},
        {"domain", [](const std::string &t) { return checkDomain(t.c_str()); }},
        {"keywordPrefix", [](const std::string &t) { return checkKeywordPrefix(t.c_str()); }},
        {"hostName", [](const std::string &t) { return checkHostName(t.c_str()); }},
        {"bootFile", [](const std::string &t) { return checkBootFile(t.c_str()); }},
        {"ipxe", [](const std::string &t) { return checkIpxeAnswer(t.c_str()); }},
    };
    const Json::Value cases = readJsonFile(ORVATH_SOURCE_DIR "/tests/rule_cases.json")["cases"];
    ASSERT_GT(cases.size(), 20u);
    for (const Json::Value &c : cases) {
        const std::string name = c["rule"].asString();
        Rule rule = rules.count(name) ? rules.at(name) : nullptr;
        if (name.compare(0, 7, "option:") == 0)
            rule = [name](const std::string &t) { return checkOptionValue(name.substr(7), t); };
        ASSERT_TRUE(rule) << name;
        for (const Json::Value &v : c["accept"]) {
            const char *why = rule(v.asString());
            EXPECT_EQ(why, nullptr) << name << " refused \"" << v.asString() << "\": " << why;
        }
        for (const std::string &value : c["refuse"].getMemberNames()) {
            const char *why = rule(value);
            EXPECT_STREQ(why ? why : "(accepted)", c["refuse"][value].asCString())
                << name << " \"" << value << "\"";
        }
    }
    EXPECT_NE(checkInterfaceName(nullptr), nullptr);
    EXPECT_NE(checkIpv4(nullptr), nullptr);
}

// The program's rules are the ones of the file the page imports.
TEST(RuleTable, TheProgramReadsTheFileThePageImports)
{
    const Json::Value file = readJsonFile(ORVATH_SOURCE_DIR "/web/js/ruletable.json");
    const RuleTableView table = ruleTable();
    ASSERT_EQ(file["keywordPrefixes"].size(), table.prefixCount);
    for (size_t i = 0; i < table.prefixCount; ++i) {
        EXPECT_EQ(file["keywordPrefixes"][(int)i]["prefix"].asString(), table.prefixes[i].prefix);
        EXPECT_EQ(file["keywordPrefixes"][(int)i]["why"].asString(), table.prefixes[i].why);
    }
    ASSERT_EQ(file["namedOptions"].size(), table.namedCount);
    for (size_t i = 0; i < table.namedCount; ++i) {
        const Json::Value &o = file["namedOptions"][(int)i];
        EXPECT_EQ(o["name"].asString(), table.named[i].name);
        EXPECT_EQ(o["code"].asInt(), table.named[i].code);
        EXPECT_EQ(o["check"].asString(), table.named[i].check);
        EXPECT_EQ(o["sends"].asString(), table.named[i].sends);
    }
    ASSERT_EQ(file["ownedCodes"].size(), table.ownedCount);
    for (size_t i = 0; i < table.ownedCount; ++i)
        EXPECT_STREQ(ruleOwnedCode(file["ownedCodes"][(int)i]["code"].asInt()),
                     file["ownedCodes"][(int)i]["why"].asCString());
    ASSERT_EQ(file["otherTypes"].size(), table.otherTypeCount);
    EXPECT_EQ(file["places"].size(), table.placeCount);
    EXPECT_STREQ(rulePlaceWords("pxe_bootloader_efi32"), "Boot file for UEFI 32-bit");
}

TEST(ValueChecks, Range)
{
    EXPECT_EQ(checkRange("192.168.1.100", "192.168.1.200", "255.255.255.0"), nullptr);
    EXPECT_EQ(checkRange("192.168.1.5", "192.168.1.5", "255.255.255.0"), nullptr);
    EXPECT_EQ(checkRange("10.0.0.1", "10.0.255.254", "255.255.0.0"), nullptr);
    EXPECT_STREQ(checkRange("192.168.1.200", "192.168.1.100", "255.255.255.0"), "start above end");
    EXPECT_STREQ(checkRange("192.168.1.100", "192.168.2.100", "255.255.255.0"),
                 "start and end not in one subnet");
    // Compared as numbers, not as texts.
    EXPECT_EQ(checkRange("192.168.1.9", "192.168.1.10", "255.255.255.0"), nullptr);
    EXPECT_STREQ(checkRange("192.168.1.10", "192.168.1.9", "255.255.255.0"), "start above end");
    EXPECT_NE(checkRange("192.168.1.1", "192.168.1.x", "255.255.255.0"), nullptr);
    EXPECT_NE(checkRange("192.168.1.1", "192.168.1.9", "255.0.255.0"), nullptr);
}

TEST(ValueChecks, LeaseMinutes)
{
    int seconds = -1;
    EXPECT_EQ(parseLeaseMinutes("90", &seconds), nullptr);
    EXPECT_EQ(seconds, 5400);
    // strtol reading: blanks and a sign before, anything after the digits
    // ignored, no digits at all is 0.
    EXPECT_EQ(parseLeaseMinutes("  +15x", &seconds), nullptr);
    EXPECT_EQ(seconds, 900);
    EXPECT_EQ(parseLeaseMinutes("abc", &seconds), nullptr);
    EXPECT_EQ(seconds, 0);
    EXPECT_EQ(parseLeaseMinutes("", &seconds), nullptr);
    EXPECT_EQ(seconds, 0);
    EXPECT_EQ(parseLeaseMinutes("-0", &seconds), nullptr);
    EXPECT_EQ(seconds, 0);
    EXPECT_EQ(parseLeaseMinutes("35791394", &seconds), nullptr); // largest that fits
    EXPECT_EQ(seconds, 2147483640);

    seconds = 7;
    EXPECT_STREQ(parseLeaseMinutes("-1", &seconds), "negative lease time");
    EXPECT_STREQ(parseLeaseMinutes("35791395", &seconds), "lease time too long");
    EXPECT_STREQ(parseLeaseMinutes("4294967297", &seconds), "lease time too long");
    EXPECT_STREQ(parseLeaseMinutes("99999999999999999999999", &seconds), "lease time too long");
    EXPECT_STREQ(parseLeaseMinutes("-99999999999999999999999", &seconds), "negative lease time");
    EXPECT_EQ(seconds, 7); // untouched when refused
}

TEST(ApplyData, SoundRequestPasses)
{
    EXPECT_EQ(applyData(kGlobal, kSubnets, kStatic), "");
    // The web interface's PXE row and a switched-off row next to it.
    EXPECT_EQ(applyData(kGlobal,
                        R"([{"activated": false, "startip": "10.0.0.10", "endip": "10.0.0.20",
                             "netmask": "255.255.255.0", "gateway": "10.0.0.1"},
                            {"activated": true, "pxe": true, "startip": "10.0.1.10",
                             "endip": "10.0.1.20", "netmask": "255.255.255.0",
                             "gateway": "10.0.1.1"}])",
                        "[]"),
              "");
}

TEST(ApplyData, AbsentOrUnparsableParametersPass)
{
    EXPECT_EQ(applyData("", "", ""), "");
    EXPECT_EQ(applyData("{not json", "[oops", "nope"), "");
    // Only reservations: nothing is written with the interface or DNS server.
    EXPECT_EQ(applyData("", "", kStatic), "");
    // An empty table writes no subnet, so the globals are not required.
    EXPECT_EQ(applyData(R"({"enable_check": false})", "[]", ""), "");
}

TEST(ApplyData, GlobalMembers)
{
    // Valid alternatives.
    EXPECT_EQ(applyData(globalWith("sdns", R"("8.8.8.8")"), kSubnets, ""), "");
    EXPECT_EQ(applyData(globalWith("domain", R"("")"), kSubnets, ""), "");
    EXPECT_EQ(applyData(globalWith("leasetime", R"("")"), kSubnets, ""), "");
    EXPECT_EQ(applyData(globalWith("domain", "null"), kSubnets, ""), "");

    EXPECT_EQ(applyData(globalWith("pdns", R"("192.168.1")"), kSubnets, ""),
              "dataArray.pdns: not an IPv4 address");
    EXPECT_EQ(applyData(globalWith("sdns", R"("8.8.8.8,1.1.1.1")"), kSubnets, ""),
              "dataArray.sdns: not an IPv4 address");
    EXPECT_EQ(applyData(globalWith("leasetime", R"("-5")"), kSubnets, ""),
              "dataArray.leasetime: negative lease time");
    EXPECT_EQ(applyData(globalWith("leasetime", R"("40000000")"), kSubnets, ""),
              "dataArray.leasetime: lease time too long");
    EXPECT_EQ(applyData(globalWith("domain", R"("a,b")"), kSubnets, ""),
              "dataArray.domain: not a domain name");
    EXPECT_EQ(applyData(globalWith("iftype", R"("eth0/x")"), kSubnets, ""),
              "dataArray.iftype: not an interface name");
    // Other JSON types than the listed ones count as absent, as the handlers
    // read them.
    EXPECT_EQ(applyData(globalWith("enable_check", R"("true")"), "", ""), "");
    EXPECT_EQ(applyData(globalWith("leasetime", "-90"), "", ""), "");
    EXPECT_EQ(applyData("[1, 2]", "", ""), "");
    EXPECT_EQ(applyData(globalWith("pdns", "1"), kSubnets, ""), "dataArray.pdns: missing");
}

TEST(ApplyData, SubnetsNeedInterfaceAndFirstDnsServer)
{
    EXPECT_EQ(applyData(globalWith("pdns", R"("")"), kSubnets, ""), "dataArray.pdns: missing");
    EXPECT_EQ(applyData(globalWith("pdns", "null"), kSubnets, ""), "dataArray.pdns: missing");
    EXPECT_EQ(applyData(globalWith("iftype", R"("")"), kSubnets, ""), "dataArray.iftype: missing");
    EXPECT_EQ(applyData("", kSubnets, ""), "dataArray.iftype: missing");
    // Without subnet rows they may stay empty.
    EXPECT_EQ(applyData(globalWith("pdns", R"("")"), "[]", ""), "");
    EXPECT_EQ(applyData(globalWith("iftype", R"("")"), "", kStatic), "");
}

TEST(ApplyData, SubnetRows)
{
    for (const char *member : {"startip", "endip", "netmask", "gateway"}) {
        std::string where = std::string("subnetData[0].") + member;
        EXPECT_EQ(applyData(kGlobal, subnetWith(member, R"("192.168.1.300")"), ""),
                  where + ": not an IPv4 address");
        EXPECT_EQ(applyData(kGlobal, subnetWith(member, R"("")"), ""), where + ": missing");
    }
    EXPECT_EQ(applyData(kGlobal, subnetWith("netmask", R"("255.0.255.0")"), ""),
              "subnetData[0].netmask: not a contiguous netmask");
    EXPECT_EQ(applyData(kGlobal, subnetWith("endip", R"("192.168.1.50")"), ""),
              "subnetData[0].endip: start above end");
    EXPECT_EQ(applyData(kGlobal, subnetWith("endip", R"("192.168.2.150")"), ""),
              "subnetData[0].endip: start and end not in one subnet");
    // "pxe" that is not true makes an ordinary row, checked as one.
    Json::Value row = *parse(subnetWith("pxe", R"("yes")"));
    row[0]["gateway"] = "";
    EXPECT_EQ(applyData(kGlobal, compact(row), ""), "subnetData[0].gateway: missing");
}

// A table of `count` activated one-address rows, none sharing an address.
static std::string oneAddressRows(int count)
{
    Json::Value table(Json::arrayValue);
    for (int i = 0; i < count; ++i) {
        Json::Value row = (*parse(kSubnets))[0];
        std::string address = "10.0." + std::to_string(i / 250) + "." + std::to_string(i % 250 + 1);
        row["startip"] = row["endip"] = address;
        row["netmask"] = "255.255.0.0";
        row["gateway"] = "10.0.0.254";
        table.append(row);
    }
    return compact(table);
}

TEST(ApplyData, AtMost256RowsATable)
{
    EXPECT_EQ(applyData(kGlobal, oneAddressRows(256), ""), "");
    EXPECT_EQ(applyData(kGlobal, oneAddressRows(257), ""), "subnetData: more than 256 rows");
    // Even one that would not be applied: its rows are still read.
    std::string numbers = "[1";
    for (int i = 1; i < 257; ++i)
        numbers += ",1";
    EXPECT_EQ(applyData("", numbers + "]", ""), "subnetData: more than 256 rows");
}

TEST(ApplyData, ActivatedRangesThatShareAnAddress)
{
    struct Range {
        const char *start, *end;
        bool activated;
    };
    struct Case {
        std::vector<Range> rows;
        const char *error; // "" = accepted
    };
    const Case cases[] = {
        {{{"10.0.0.10", "10.0.0.20", true}, {"10.0.0.21", "10.0.0.30", true}}, ""},
        {{{"10.0.0.10", "10.0.0.20", true}, {"10.0.0.20", "10.0.0.30", true}},
         "subnetData[1].startip: overlaps subnetData[0]"},
        {{{"10.0.0.10", "10.0.0.20", false}, {"10.0.0.15", "10.0.0.16", true}}, ""},
        {{{"10.0.0.5", "10.0.0.5", true}, {"10.0.0.5", "10.0.0.5", true}},
         "subnetData[1].startip: overlaps subnetData[0]"},
        // The later row is named, whichever of the two begins first.
        {{{"10.0.0.50", "10.0.0.60", true}, {"10.0.0.10", "10.0.0.55", true}},
         "subnetData[1].startip: overlaps subnetData[0]"},
        // Inside a wide range that an unrelated row follows.
        {{{"10.0.0.1", "10.0.0.200", true}, {"10.0.0.210", "10.0.0.220", true},
          {"10.0.0.100", "10.0.0.110", true}},
         "subnetData[2].startip: overlaps subnetData[0]"},
        {{{"10.0.0.10", "10.0.0.20", true}, {"10.0.0.30", "10.0.0.40", true},
          {"10.0.0.1", "10.0.0.100", true}},
         "subnetData[2].startip: overlaps subnetData[0]"},
        {{{"10.0.0.30", "10.0.0.40", true}, {"10.0.0.1", "10.0.0.9", true},
          {"10.0.0.41", "10.0.0.50", true}, {"10.0.0.10", "10.0.0.29", true}},
         ""},
    };
    for (const Case &c : cases) {
        Json::Value table(Json::arrayValue);
        for (const Range &r : c.rows) {
            Json::Value row = (*parse(kSubnets))[0];
            row["startip"] = r.start;
            row["endip"] = r.end;
            row["activated"] = r.activated;
            table.append(row);
        }
        EXPECT_EQ(applyData(kGlobal, compact(table), ""), c.error) << compact(table);
    }
}

TEST(ApplyData, TablesThatAreNotAppliedNeedNoGlobals)
{
    // A table that is not an array of rows with four address texts is not
    // applied at all: its texts are still checked, but nothing is required.
    const std::string noGlobals = R"({"enable_check": true})";
    for (const std::string &table :
         {subnetWith("gateway", "null"), subnetWith("startip", "7"), std::string("[1]"),
          std::string(R"({"startip": "1.2.3.4"})"), std::string("null"), std::string("[]")}) {
        EXPECT_EQ(applyData(noGlobals, table, ""), "") << table;
    }
    EXPECT_EQ(applyData(noGlobals, R"([{"startip": "1.2.3.4,5"}])", ""),
              "subnetData[0].startip: not an IPv4 address");
    EXPECT_EQ(applyData(noGlobals, kSubnets, ""), "dataArray.iftype: missing");
}

TEST(ApplyData, TheFirstBadRowIsNamed)
{
    std::string table = R"([{"startip": "10.0.0.10", "endip": "10.0.0.20", "netmask": "255.255.255.0",
                              "gateway": "10.0.0.1"},
                             {"startip": "10.0.1.x", "endip": "10.0.1.20", "netmask": "255.255.255.0",
                              "gateway": "10.0.1.1"},
                             {"startip": "bad", "endip": "10.0.2.20", "netmask": "255.255.255.0",
                              "gateway": "10.0.2.1"}])";
    EXPECT_EQ(applyData(kGlobal, table, ""), "subnetData[1].startip: not an IPv4 address");
}

TEST(ApplyData, PxeRowAddressesMayBeEmptyButNotForeign)
{
    EXPECT_EQ(applyData(kGlobal, R"([{"pxe": true, "activated": true}])", ""), "");
    EXPECT_EQ(applyData(kGlobal,
                        R"([{"pxe": true, "startip": "", "endip": "", "netmask": "",
                             "gateway": ""}])",
                        ""),
              "");
    EXPECT_EQ(applyData(kGlobal, R"([{"pxe": true, "gateway": "1.2.3.4\nport=53"}])", ""),
              "subnetData[0].gateway: not an IPv4 address");
}

TEST(ApplyData, Reservations)
{
    auto reservations = [](const std::string &text) { return applyData("", "", text); };
    EXPECT_EQ(reservations(kStatic), "");
    EXPECT_EQ(reservations(staticWith("hostname", R"("")")), "");
    EXPECT_EQ(reservations(staticWith("mac", R"("02:00:00:AA:BB:0C")")), "");
    EXPECT_EQ(reservations(staticWith("mac", R"("02-00-00-aa-bb-cc")")),
              "staticData[0].mac: not a MAC address");
    EXPECT_EQ(reservations(staticWith("ip", R"("192.168.1.256")")),
              "staticData[0].ip: not an IPv4 address");
    EXPECT_EQ(reservations(staticWith("hostname", R"("12h")")),
              "staticData[0].hostname: read by dnsmasq as a lease time");
    EXPECT_EQ(reservations(staticWith("hostname", R"("ignore")")),
              "staticData[0].hostname: read by dnsmasq as a keyword");
}

TEST(ApplyData, ReservationsKeepTheirSpecialShapes)
{
    // A scalar or an object is no set to check; an element that is no
    // object, or lacks a text, is left out by the store and so not refused.
    for (const char *text : {"5", "null", R"({"mac": "a"})",
                             R"([{"mac": "02:00:00:aa:bb:cc", "ip": "192.168.1.20"}])",
                             R"([{"mac": 5, "ip": "192.168.1.20", "hostname": "x"}])",
                             R"(["02:00:00:aa:bb:cc", 7, null])"}) {
        EXPECT_EQ(applyData("", "", text), "") << text;
    }
    // ... but a text that is given is still checked.
    EXPECT_EQ(applyData("", "", R"([{"mac": "a", "ip": "192.168.1.20"}])"),
              "staticData[0].mac: not a MAC address");
}

TEST(ApplyData, OneAddressReservedTwiceIsRefusedOneMacTwiceIsNot)
{
    EXPECT_EQ(applyData("", "",
                        R"([{"mac": "02:00:00:00:00:01", "ip": "192.168.1.20", "hostname": "a"},
                            {"mac": "02:00:00:00:00:01", "ip": "192.168.1.21", "hostname": "b"}])"),
              "");
    EXPECT_EQ(applyData("", "",
                        R"([{"mac": "02:00:00:00:00:01", "ip": "192.168.1.20", "hostname": "a"},
                            {"mac": "02:00:00:00:00:02", "ip": "192.168.1.21", "hostname": "b"},
                            {"mac": "02:00:00:00:00:03", "ip": "192.168.1.20", "hostname": "c"}])"),
              "staticData[2].ip: same address as staticData[0]");
}

TEST(ApplyData, OrderIsGlobalsThenSubnetsThenReservations)
{
    std::string badStatic = staticWith("mac", R"("a")");
    std::string badSubnet = subnetWith("gateway", R"("x")");
    std::string badGlobal = globalWith("sdns", R"("x")");
    EXPECT_EQ(whereOf(applyData(badGlobal, badSubnet, badStatic)), "dataArray.sdns");
    EXPECT_EQ(whereOf(applyData(kGlobal, badSubnet, badStatic)), "subnetData[0].gateway");
    EXPECT_EQ(whereOf(applyData(kGlobal, kSubnets, badStatic)), "staticData[0].mac");
}

// Each way a request could smuggle a dnsmasq directive, an extra field or a
// path into the service's files.
TEST(Injection, NulCharacterCannotHideARest)
{
    EXPECT_EQ(applyData(globalWith("domain", R"("lan\u0000x")"), kSubnets, ""),
              "dataArray.domain: contains a NUL character");
}

namespace {

const Params kPxeOn = {
    {"pxe_interface", "eth0"},       {"pxe_enable", "true"},
    {"pxe_start_ip", "10.0.5.10"},   {"pxe_end_ip", "10.0.5.50"},
    {"pxe_netmask", "255.255.255.0"}, {"pxe_gateway", "10.0.5.1"},
    {"pxe_dns", "10.0.5.1"},         {"pxe_bootloader", "pxelinux.0"},
    {"orig_interface", "eth1"},
};

// "" when accepted, else "<where>: <why>"; a name missing from params is an
// absent parameter.
std::string applyPxe(const Params &params)
{
    ActionRequest request;
    ValidationError err;
    readPxeRequest(lookupIn(params), request, err);
    return validateApplyPxe(std::get<PxeRequest>(request), err) ? "" : err.text();
}

Params pxeWith(const std::string &name, const std::string &value)
{
    Params p = kPxeOn;
    p[name] = value;
    return p;
}

Params pxeWithout(const std::string &name)
{
    Params p = kPxeOn;
    p.erase(name);
    return p;
}

} // namespace

TEST(ApplyPxe, EnablingChecksEveryValue)
{
    EXPECT_EQ(applyPxe(kPxeOn), "");
    EXPECT_EQ(applyPxe(pxeWith("pxe_bootloader", "")), "");
    EXPECT_EQ(applyPxe(pxeWithout("pxe_bootloader")), "");
    EXPECT_EQ(applyPxe(pxeWith("orig_interface", "")), "");
    EXPECT_EQ(applyPxe(pxeWith("orig_interface", "eth0")), "");

    for (const char *name : {"pxe_start_ip", "pxe_end_ip", "pxe_netmask", "pxe_gateway", "pxe_dns"}) {
        EXPECT_EQ(applyPxe(pxeWith(name, "10.0.5")), std::string(name) + ": not an IPv4 address");
        EXPECT_EQ(applyPxe(pxeWith(name, "")), std::string(name) + ": missing");
        EXPECT_EQ(applyPxe(pxeWithout(name)), std::string(name) + ": missing");
    }
    EXPECT_EQ(applyPxe(pxeWith("pxe_netmask", "255.255.0.255")),
              "pxe_netmask: not a contiguous netmask");
    EXPECT_EQ(applyPxe(pxeWith("pxe_end_ip", "10.0.5.9")), "pxe_end_ip: start above end");
    EXPECT_EQ(applyPxe(pxeWith("pxe_end_ip", "10.0.6.9")),
              "pxe_end_ip: start and end not in one subnet");
    EXPECT_EQ(applyPxe(pxeWith("pxe_bootloader", "../../etc/shadow")),
              "pxe_bootloader: contains a \"..\" path element");
    EXPECT_EQ(whereOf(applyPxe(pxeWith("pxe_bootloader", "pxelinux.0\ndhcp-script=/tmp/x"))),
              "pxe_bootloader");
    EXPECT_EQ(applyPxe(pxeWith("pxe_interface", "")), "pxe_interface: missing");
    EXPECT_EQ(applyPxe(pxeWithout("pxe_interface")), "pxe_interface: missing");
    EXPECT_EQ(applyPxe(pxeWith("pxe_interface", "../../x")), "pxe_interface: begins with \".\"");
    EXPECT_EQ(applyPxe(pxeWith("orig_interface", "eth0/..")),
              "orig_interface: not an interface name");
}

TEST(ApplyPxe, BootSettingsAreCheckedLikeTheBootFile)
{
    const struct {
        const char *name, *value, *answer;
    } cases[] = {
        {"pxe_bootloader_efi64", "grubx64.efi", ""},
        {"pxe_bootloader_efi32", "efi/i32 .efi", "pxe_bootloader_efi32: contains a blank or an unprintable character"},
        {"pxe_bootloader_arm64", "a,b", "pxe_bootloader_arm64: contains one of , \" ' # ="},
        {"pxe_bootloader_efi64", "tag:x", "pxe_bootloader_efi64: read by dnsmasq as a client id or tag"},
        {"pxe_ipxe", "http://10.0.5.2/boot.ipxe", ""},
        {"pxe_ipxe", "HTTPS://boot.lan/x.ipxe", ""},
        {"pxe_ipxe", "ftp://10.0.5.2/x", "pxe_ipxe: not a file name or an http:// or https:// URL"},
        {"pxe_ipxe", "http://h/x?a=1", "pxe_ipxe: contains one of , \" ' # ="},
        {"pxe_tftp_server", "10.0.5.2", ""},
        {"pxe_tftp_server", "tftp.lan", "pxe_tftp_server: not an IPv4 address"},
        {"pxe_tftp_server", "0.0.0.0", "pxe_tftp_server: not the address of a server"},
        {"pxe_range_only", "true", ""},
        {"pxe_range_only", "false", ""},
        {"pxe_range_only", "yes", "pxe_range_only: neither true nor false"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(applyPxe(pxeWith(c.name, c.value)), c.answer) << c.name << "=" << c.value;
    EXPECT_EQ(applyPxe(pxeWith("pxe_bootloader_arm64", std::string(256, 'a'))),
              "pxe_bootloader_arm64: longer than 255 characters");

    // A TFTP server is kept with the files it serves.
    Params noFile = pxeWith("pxe_tftp_server", "10.0.5.2");
    noFile.erase("pxe_bootloader");
    EXPECT_EQ(applyPxe(noFile), "pxe_tftp_server: no boot file to serve");
    noFile["pxe_ipxe"] = "boot.ipxe";
    EXPECT_EQ(applyPxe(noFile), "");
}

TEST(ApplyPxe, DisablingChecksOnlyTheInterfaces)
{
    Params off = {{"pxe_interface", "eth0"}, {"pxe_enable", "True"},
                  {"pxe_start_ip", "junk"},  {"pxe_bootloader", "a\nb"}};
    EXPECT_EQ(applyPxe(off), "");
    EXPECT_EQ(applyPxe({{"pxe_enable", "false"}}), "");
    EXPECT_EQ(applyPxe({}), "");
    EXPECT_EQ(applyPxe({{"pxe_interface", "a/b"}, {"pxe_enable", "false"}}),
              "pxe_interface: not an interface name");
    EXPECT_EQ(applyPxe({{"pxe_enable", "false"}, {"orig_interface", "../../x"}}),
              "orig_interface: begins with \".\"");
}

TEST(InterfaceParam, EmptyOrAbsentKeepsTheReadingBehaviour)
{
    ValidationError err;
    EXPECT_TRUE(validateInterfaceParam("iftype", nullptr, err));
    EXPECT_TRUE(validateInterfaceParam("iftype", "", err));
    EXPECT_TRUE(validateInterfaceParam("iftype", "eth0", err));
    EXPECT_TRUE(validateInterfaceParam("if_name", "--", err));
    EXPECT_FALSE(validateInterfaceParam("iftype", "--", err));
    EXPECT_EQ(err.text(), "iftype: begins with \"-\"");
    EXPECT_FALSE(validateInterfaceParam("if_name", "--help", err));
    EXPECT_FALSE(validateInterfaceParam("iftype", "eth0 ", err));
    EXPECT_EQ(err.text(), "iftype: not an interface name");
    EXPECT_FALSE(validateInterfaceParam("iftype", "abcdefghijklmnopq", err));
    EXPECT_EQ(err.text(), "iftype: longer than 15 characters");
}
