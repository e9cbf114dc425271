// Validation of request values before anything is written.
#include "validate.h"

#include <arpa/inet.h>
#include <errno.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include <algorithm>
#include <map>
#include <vector>

#include "interfaces.h"
#include "quomodhcp.h"
#include "quomodhcp_paths.h"
#include "rule_table.h"

// ---- single values ----

static bool isAsciiAlnum(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

static bool isHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool parseIpv4(const char *text, uint32_t *addr)
{
    return QUOMODHCPParseIpv4(text, addr) == 1;
}

const char *checkInterfaceName(const char *text)
{
    if (!text || !*text)
        return "missing";
    size_t len = strlen(text);
    if (len > 15)
        return "longer than 15 characters";
    if (text[0] == '.')
        return "begins with \".\"";
    if (text[0] == '-')
        return "begins with \"-\"";
    for (size_t i = 0; i < len; i++) {
        char c = text[i];
        if (!isAsciiAlnum(c) && c != '_' && c != '-' && c != '.')
            return "not an interface name";
    }
    return nullptr;
}

const char *checkIpv4(const char *text)
{
    uint32_t addr;
    return parseIpv4(text, &addr) ? nullptr : "not an IPv4 address";
}

bool parseIpv6(const char *text, unsigned char (&bytes)[16])
{
    // inet_pton takes a zone-less address only; the length keeps a long text
    // from being read at all.
    return text && strlen(text) < 46 && inet_pton(AF_INET6, text, bytes) == 1;
}

const char *checkServerIpv6(const char *text)
{
    unsigned char b[16];
    if (!parseIpv6(text, b))
        return "not an IPv6 address";
    if (b[0] == 0xff)
        return "a multicast address";
    if (b[0] == 0xfe && (b[1] & 0xc0) == 0x80)
        return "a link-local address";
    static const unsigned char zero[15] = {0};
    if (memcmp(b, zero, 15) == 0 && b[15] <= 1)
        return "not the address of a server";
    return nullptr;
}

const char *checkIpv6HostPart(const char *text)
{
    unsigned char b[16];
    if (!parseIpv6(text, b))
        return "not an IPv6 address";
    static const unsigned char zero[16] = {0};
    if (memcmp(b, zero, 8) != 0)
        return "not a host part (such as ::100)";
    if (memcmp(b, zero, 16) == 0)
        return "not a host address";
    return nullptr;
}

const char *checkServerIpv4(const char *text)
{
    uint32_t addr;
    if (!parseIpv4(text, &addr))
        return "not an IPv4 address";
    return addr == 0 || addr == 0xffffffffu ? "not the address of a server" : nullptr;
}

const char *checkNetmask(const char *text)
{
    uint32_t mask;
    if (!parseIpv4(text, &mask))
        return "not an IPv4 address";
    // The zero-bits below the mask, plus one, must be a single bit (or zero).
    uint32_t host = ~mask;
    if ((host & (host + 1)) != 0)
        return "not a contiguous netmask";
    return nullptr;
}

const char *checkRange(const char *start, const char *end, const char *netmask)
{
    uint32_t first = 0, last = 0, mask = 0;
    if (!parseIpv4(start, &first) || !parseIpv4(end, &last))
        return "not an IPv4 address";
    if (const char *why = checkNetmask(netmask))
        return why;
    parseIpv4(netmask, &mask);
    if ((first & mask) != (last & mask))
        return "start and end not in one subnet";
    if (first > last)
        return "start above end";
    return nullptr;
}

const char *checkMac(const char *text)
{
    if (!text || strlen(text) != 17)
        return "not a MAC address";
    for (int i = 0; i < 17; i++) {
        bool ok = (i % 3 == 2) ? text[i] == ':' : isHexDigit(text[i]);
        if (!ok)
            return "not a MAC address";
    }
    return nullptr;
}

// Dot-separated labels; badChar is the reason for a character outside them.
static const char *checkLabels(const char *text, const char *badChar)
{
    if (!text || !*text)
        return nullptr;
    size_t len = strlen(text);
    if (len > 253)
        return "longer than 253 characters";
    size_t labelStart = 0;
    for (size_t i = 0; i <= len; i++) {
        char c = text[i];
        if (c != '.' && c != '\0') {
            if (!isAsciiAlnum(c) && c != '-' && c != '_')
                return badChar;
            continue;
        }
        size_t labelLen = i - labelStart;
        if (labelLen == 0)
            return "empty label";
        if (labelLen > 63)
            return "label longer than 63 characters";
        char first = text[labelStart], lastc = text[i - 1];
        if (first == '-' || first == '_')
            return "label begins with \"-\" or \"_\"";
        if (lastc == '-')
            return "label ends with \"-\"";
        labelStart = i + 1;
    }
    return nullptr;
}

const char *checkDomain(const char *text)
{
    return checkLabels(text, "not a domain name");
}

// dnsmasq reads a "dhcp-host" field made of digits with an optional unit
// letter as a lease time.
static bool looksLikeLeaseTime(const char *text)
{
    size_t digits = strspn(text, "0123456789");
    if (digits == 0)
        return false;
    const char *rest = text + digits;
    return *rest == '\0' || (strchr("smhdwSMHDW", *rest) && rest[1] == '\0');
}

const char *checkKeywordPrefix(const char *text)
{
    return ruleKeywordPrefix(text);
}

const char *checkHostName(const char *text)
{
    if (!text || !*text)
        return nullptr;
    if (const char *why = checkKeywordPrefix(text))
        return why;
    if (strchr(text, '*'))
        return "read by dnsmasq as a wildcard";
    if (!strcasecmp(text, "infinite") || !strcasecmp(text, "ignore"))
        return "read by dnsmasq as a keyword";
    if (looksLikeLeaseTime(text))
        return "read by dnsmasq as a lease time";
    // Digits and dots only: an address, or a text that looks like one.
    if (strspn(text, "0123456789.") == strlen(text))
        return "read by dnsmasq as an address";
    return checkLabels(text, "not a host name");
}

// True when the path has an element that is exactly "..", with "/" or "\"
// between elements.
static bool hasParentElement(const char *text)
{
    const char *p = text;
    while (*p) {
        size_t len = strcspn(p, "/\\");
        if (len == 2 && p[0] == '.' && p[1] == '.')
            return true;
        p += len;
        if (*p)
            p++;
    }
    return false;
}

const char *checkBootFile(const char *text)
{
    if (!text || !*text)
        return nullptr;
    size_t len = strlen(text);
    if (len > 255)
        return "longer than 255 characters";
    for (size_t i = 0; i < len; i++) {
        unsigned char c = (unsigned char)text[i];
        if (c <= ' ' || c >= 0x7f)
            return "contains a blank or an unprintable character";
        if (strchr(",\"'#=", c))
            return "contains one of , \" ' # =";
    }
    if (hasParentElement(text))
        return "contains a \"..\" path element";
    return checkKeywordPrefix(text);
}

// ---- whole requests ----
//
// A subnet table that is not an array of usable rows is not applied at all,
// and a reservation without its three texts is left out. These checks follow
// the handlers' reading: they look at every text that is given, and at what
// will be written with it.

// Runs a value check on a given text; an absent text passes.
static bool checkPresent(const char *text, const char *(*check)(const char *),
                         const std::string &where, ValidationError &err)
{
    if (!text)
        return true;
    const char *why = check(text);
    return why ? failAt(err, where, why) : true;
}

static bool checkPresent(const Text &text, const char *(*check)(const char *),
                         const std::string &where, ValidationError &err)
{
    return checkPresent(textOrNull(text), check, where, err);
}

// A text that is written where an empty value breaks the line: given, not
// empty and accepted by check.
static bool checkRequired(const std::string &text, const char *(*check)(const char *),
                          const std::string &where, ValidationError &err)
{
    if (text.empty())
        return failAt(err, where, "missing");
    return checkPresent(text.c_str(), check, where, err);
}

// Empty text may stand for "none"; anything else must be an address.
static const char *checkOptionalIpv4(const char *text)
{
    return *text ? checkIpv4(text) : nullptr;
}

static const char *checkOptionalServer(const char *text)
{
    return *text ? checkServerIpv4(text) : nullptr;
}

static bool validateGlobal(const GlobalSettings &settings, bool writesSubnets,
                           ValidationError &err)
{
    const Text &pdns = settings.primaryDns, &ifName = settings.ifName;
    if (!checkPresent(pdns, checkOptionalServer, "dataArray.pdns", err) ||
        !checkPresent(settings.secondaryDns, checkOptionalServer, "dataArray.sdns", err) ||
        !checkPresent(settings.domain, checkDomain, "dataArray.domain", err) ||
        !validateInterfaceParam("dataArray.iftype", textOrNull(ifName), err))
        return false;

    // Subnets are written with the interface name and the first DNS server;
    // an empty one gives a file name without interface, or a dns-server line
    // that makes dnsmasq refuse the whole configuration.
    if (writesSubnets) {
        if (!ifName || ifName->empty())
            return failAt(err, "dataArray.iftype", "missing");
        if (!pdns || pdns->empty())
            return failAt(err, "dataArray.pdns", "missing");
    }
    return true;
}

static bool validateSubnetRow(const SubnetRow &row, size_t i, ValidationError &err)
{
    const std::string at = "subnetData[" + std::to_string(i) + "].";
    const struct {
        const char *name;
        const Text &text;
    } addresses[] = {{"startip", row.startIp},
                     {"endip", row.endIp},
                     {"netmask", row.netmask},
                     {"gateway", row.gateway}};

    if (row.pxe) {
        // The PXE row's addresses are only compared with the access point's
        // subnet; its stored range is written by "applypxesubnet".
        for (const auto &a : addresses) {
            if (!checkPresent(a.text, checkOptionalIpv4, at + a.name, err))
                return false;
        }
        return true;
    }

    for (const auto &a : addresses) {
        const bool server = std::string(a.name) == "gateway";
        if (a.text && !checkRequired(*a.text, server ? checkServerIpv4 : checkIpv4, at + a.name, err))
            return false;
    }
    if (!checkPresent(row.netmask, checkNetmask, at + "netmask", err))
        return false;
    if (row.startIp && row.endIp && row.netmask) {
        if (const char *why = checkRange(row.startIp->c_str(), row.endIp->c_str(),
                                         row.netmask->c_str()))
            return failAt(err, at + "endip", why);
    }
    return true;
}

// The range of an activated row, in host byte order, with its row.
struct ActiveRange {
    uint32_t first;
    uint32_t last;
    size_t row;
};

// The activated rows with a valid range (every row checked before has one).
static std::vector<ActiveRange> activeRanges(const std::vector<SubnetRow> &rows)
{
    std::vector<ActiveRange> ranges;
    for (size_t i = 0; i < rows.size(); i++) {
        const SubnetRow &row = rows[i];
        ActiveRange r{0, 0, i};
        if (row.activated && parseIpv4(textOrNull(row.startIp), &r.first) &&
            parseIpv4(textOrNull(row.endIp), &r.last) && r.first <= r.last)
            ranges.push_back(r);
    }
    return ranges;
}

// dnsmasq serves two ranges that share an address, but which of them a
// client gets is left to chance: the later row of such a pair is refused.
// Sorted by their first address, a range overlaps an earlier one exactly
// when it begins at or before the furthest end seen so far.
static bool checkOverlaps(const std::vector<SubnetRow> &rows, ValidationError &err)
{
    std::vector<ActiveRange> ranges = activeRanges(rows);
    std::sort(ranges.begin(), ranges.end(), [](const ActiveRange &a, const ActiveRange &b) {
        return a.first != b.first ? a.first < b.first : a.row < b.row;
    });
    const ActiveRange *furthest = nullptr;
    for (const ActiveRange &r : ranges) {
        if (furthest && r.first <= furthest->last) {
            size_t later = std::max(r.row, furthest->row), earlier = std::min(r.row, furthest->row);
            return failAt(err, "subnetData[" + std::to_string(later) + "].startip",
                          "overlaps subnetData[" + std::to_string(earlier) + "]");
        }
        if (!furthest || r.last > furthest->last)
            furthest = &r;
    }
    return true;
}

static bool validateSubnets(const std::vector<SubnetRow> &rows, ValidationError &err)
{
    if (rows.size() > kMaxSubnetRows)
        return failAt(err, "subnetData",
                      "more than " + std::to_string((int)kMaxSubnetRows) + " rows");
    for (size_t i = 0; i < rows.size(); i++) {
        if (!validateSubnetRow(rows[i], i, err))
            return false;
    }
    return checkOverlaps(rows, err);
}

// A reservation's IPv6 address: a host part, which dnsmasq puts under the
// prefix of the link the client asks on, or a whole address inside a prefix
// of one of the system's interfaces.
static bool validateReservation6(const Text &ipv6, const std::string &at, ValidationError &err)
{
    if (!ipv6 || ipv6->empty() || !checkIpv6HostPart(ipv6->c_str()))
        return true;
    if (const char *why = checkServerIpv6(ipv6->c_str()))
        return failAt(err, at, why);
    VORL_NETIF ifs[kMaxInterfaces];
    int count = listInterfaces(ifs);
    for (int i = 0; i < count; ++i) {
        char szName[QUOMO_IFNAME_LEN];
        interfaceName(ifs[i], szName);
        if (insideIpv6Prefixes(ipv6->c_str(), interfaceAddresses6(szName)))
            return true;
    }
    return failAt(err, at, "not a host part and inside no prefix of this system's interfaces");
}

static bool validateReservations(const std::vector<Reservation> &set, ValidationError &err)
{
    std::map<uint32_t, size_t> byAddress;
    for (size_t i = 0; i < set.size(); i++) {
        const Reservation &host = set[i];
        /* Where a fault lies is put into words only for a fault: the set may
         * hold thousands of rows. */
        auto at = [i]() { return "staticData[" + std::to_string(i) + "]"; };
        const struct {
            const Text &text;
            const char *(*check)(const char *);
            const char *name;
        } members[] = {{host.mac, checkMac, ".mac"},
                       {host.ip, checkIpv4, ".ip"},
                       {host.hostname, checkHostName, ".hostname"}};
        for (const auto &member : members)
            if (const char *why = member.text ? member.check(member.text->c_str()) : nullptr)
                return failAt(err, at() + member.name, why);
        if (host.ipv6 && !host.ipv6->empty() && !validateReservation6(host.ipv6, at() + ".ipv6", err))
            return false;
        if (!host.mac || !host.ip || !host.hostname)
            continue; // left out by the store
        // dnsmasq refuses to start with one address reserved twice; one MAC
        // address with several reservations is allowed.
        uint32_t addr = 0;
        parseIpv4(host.ip->c_str(), &addr);
        auto seen = byAddress.emplace(addr, i);
        if (!seen.second)
            return failAt(err, at() + ".ip",
                          "same address as staticData[" + std::to_string(seen.first->second) + "]");
    }
    return true;
}

bool validateApplyData(const ApplyDataRequest &request, ValidationError &err)
{
    bool writesSubnets = request.tableUsable && !request.rows.empty();
    return validateGlobal(request.settings, writesSubnets, err) &&
           validateSubnets(request.rows, err) && validateReservations(request.set, err);
}

const char *checkIpxeAnswer(const char *text)
{
    if (const char *why = checkBootFile(text))
        return why;
    const char *scheme = text ? strstr(text, "://") : nullptr;
    if (scheme && strncasecmp(text, "http://", 7) && strncasecmp(text, "https://", 8))
        return "not a file name or an http:// or https:// URL";
    return nullptr;
}

// The boot files, the iPXE answer, the TFTP server and the range switch of
// a PXE subnet being switched on.
static bool validatePxeBoot(const PxeRequest &request, ValidationError &err)
{
    const struct {
        const char *name;
        const std::string &text;
        const char *(*check)(const char *);
    } fields[] = {{"pxe_bootloader", request.bootFile, checkBootFile},
                  {"pxe_bootloader_efi64", request.bootEfi64, checkBootFile},
                  {"pxe_bootloader_efi32", request.bootEfi32, checkBootFile},
                  {"pxe_bootloader_arm64", request.bootArm64, checkBootFile},
                  {"pxe_ipxe", request.ipxe, checkIpxeAnswer},
                  {"pxe_tftp_server", request.tftpServer, checkOptionalServer}};
    bool anyFile = false;
    for (const auto &field : fields) {
        if (!checkPresent(field.text.c_str(), field.check, field.name, err))
            return false;
        anyFile = anyFile || (field.check != checkOptionalServer && !field.text.empty());
    }
    // The server is written with the files it serves; alone it would be lost.
    if (!request.tftpServer.empty() && !anyFile)
        return failAt(err, "pxe_tftp_server", "no boot file to serve");
    const std::string &only = request.rangeOnly;
    if (!only.empty() && only != "true" && only != "false")
        return failAt(err, "pxe_range_only", "neither true nor false");
    return true;
}

bool validateApplyPxe(const PxeRequest &request, ValidationError &err)
{
    // An absent parameter reads as empty text, which every check here takes
    // as it takes a missing one.
    if (!validateInterfaceParam("pxe_interface", request.interface.c_str(), err))
        return false;
    if (request.enable) {
        if (request.interface.empty())
            return failAt(err, "pxe_interface", "missing");
        const struct {
            const char *name;
            const std::string &text;
        } addresses[] = {{"pxe_start_ip", request.startIp}, {"pxe_end_ip", request.endIp},
                         {"pxe_netmask", request.netmask},  {"pxe_gateway", request.gateway},
                         {"pxe_dns", request.dns}};
        for (const auto &address : addresses) {
            const bool server = &address.text == &request.gateway || &address.text == &request.dns;
            if (!checkRequired(address.text, server ? checkServerIpv4 : checkIpv4, address.name,
                               err))
                return false;
        }
        if (!checkPresent(request.netmask.c_str(), checkNetmask, "pxe_netmask", err))
            return false;
        if (const char *why = checkRange(request.startIp.c_str(), request.endIp.c_str(),
                                         request.netmask.c_str()))
            return failAt(err, "pxe_end_ip", why);
        if (!validatePxeBoot(request, err))
            return false;
    }
    return validateInterfaceParam("orig_interface", request.origInterface.c_str(), err);
}

bool validateReleaseLease(const ReleaseRequest &request, ValidationError &err)
{
    unsigned char ipv6[16];
    if (parseIpv6(request.ip.c_str(), ipv6))
        return failAt(err, "ip", "a DHCPv6 lease is released by its client, not here");
    return checkRequired(request.ifName, checkInterfaceName, "iftype", err) &&
           checkRequired(request.mac, checkMac, "mac", err) &&
           checkRequired(request.ip, checkIpv4, "ip", err);
}

bool validateInterfaceParam(const char *name, const char *value, ValidationError &err)
{
    if (!value || !*value)
        return true;
    // "--" names no interface: the listing answers so and opens nothing.
    if (!strcmp(name, "if_name") && !strcmp(value, "--"))
        return true;
    return checkPresent(value, checkInterfaceName, name, err);
}

// ---- further options ----


static bool parseUnsigned(const std::string &text, unsigned long long max, unsigned long long *out)
{
    if (text.empty() || text.size() > 10 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    *out = strtoull(text.c_str(), nullptr, 10);
    return *out <= max;
}

static const char *checkIpv4List(const std::string &value)
{
    for (const std::string &part : splitCommas(value))
        if (checkIpv4(part.c_str()))
            return "not a list of IPv4 addresses";
    return nullptr;
}

// Servers' addresses: each one a host a client can reach.
static const char *checkServerList(const std::string &value)
{
    if (const char *why = checkIpv4List(value))
        return why;
    for (const std::string &part : splitCommas(value))
        if (const char *why = checkServerIpv4(part.c_str()))
            return why;
    return nullptr;
}

// "a.b.c.d/len,gateway" pairs; the destination a network address.
static const char *checkRoutes(const std::string &value)
{
    std::vector<std::string> parts = splitCommas(value);
    if (parts.size() % 2 != 0)
        return "not a list of \"a.b.c.d/len,gateway\"";
    for (size_t i = 0; i < parts.size(); i += 2) {
        size_t slash = parts[i].find('/');
        unsigned long long len = 0;
        uint32_t host = 0;
        if (slash == std::string::npos || !parseIpv4(parts[i].substr(0, slash).c_str(), &host) ||
            !parseUnsigned(parts[i].substr(slash + 1), 32, &len) || checkIpv4(parts[i + 1].c_str()))
            return "not a list of \"a.b.c.d/len,gateway\"";
        uint32_t mask = len == 0 ? 0 : 0xffffffffu << (32 - len);
        if (host & ~mask)
            return "not a network address before \"/\"";
    }
    return nullptr;
}

// Addresses or names, all of one kind (they are sent in one form).
static const char *checkNames(const std::string &value)
{
    int addresses = 0, names = 0;
    for (const std::string &part : splitCommas(value)) {
        if (!checkIpv4(part.c_str()))
            ++addresses;
        else if (!part.empty() && !checkDomain(part.c_str()))
            ++names;
        else
            return "not a list of IPv4 addresses or names";
    }
    return addresses && names ? "addresses and names cannot be mixed" : nullptr;
}

// Printable, nothing that could end or escape the quoted text it is sent
// as, at most 255 bytes.
static const char *checkQuotedText(const std::string &value)
{
    if (value.empty())
        return "empty";
    if (value.size() > 255)
        return "longer than 255 characters";
    for (unsigned char c : value)
        if (c < ' ' || c > '~' || c == '"' || c == '\\')
            return "holds a quote, a backslash or a character that is not printable";
    return nullptr;
}

static const char *checkHex(const std::string &value)
{
    size_t count = 0;
    size_t start = 0;
    for (;;) {
        size_t colon = value.find(':', start);
        std::string pair = value.substr(start, colon == std::string::npos ? colon : colon - start);
        if (pair.size() != 2 || !isHexDigit(pair[0]) || !isHexDigit(pair[1]))
            return "not colon-separated hexadecimal bytes";
        ++count;
        if (colon == std::string::npos)
            break;
        start = colon + 1;
    }
    return count > 255 ? "longer than 255 bytes" : nullptr;
}

static const char *checkUrl(const std::string &value)
{
    if (const char *why = checkQuotedText(value))
        return why;
    if (value.compare(0, 7, "http://") != 0 && value.compare(0, 8, "https://") != 0)
        return "not an http or https URL";
    if (value.find(' ') != std::string::npos)
        return "not an http or https URL";
    return checkKeywordPrefix(value.c_str());
}

static const char *checkInt32(const std::string &value)
{
    unsigned long long n = 0;
    bool negative = !value.empty() && value[0] == '-';
    std::string digits = negative ? value.substr(1) : value;
    bool fits = parseUnsigned(digits, negative ? 2147483648ULL : 2147483647ULL, &n);
    return fits ? nullptr : "not a number of seconds from -2147483648 to 2147483647";
}

static const char *checkServerName(const std::string &value)
{
    bool address = !checkServerIpv4(value.c_str());
    bool name = !value.empty() && checkIpv4(value.c_str()) && !checkDomain(value.c_str());
    return address || name ? checkKeywordPrefix(value.c_str()) : "not a host name or an IPv4 address";
}

// A boot file sent as a quoted text: the boot file rule, and no backslash,
// which the quoted text cannot carry.
static const char *checkQuotedFileName(const std::string &value)
{
    if (value.empty())
        return "empty";
    if (const char *why = checkBootFile(value.c_str()))
        return why;
    return value.find('\\') == std::string::npos ? nullptr : "contains a backslash";
}

const char *checkOptionValue(const std::string &rule, const std::string &value)
{
    unsigned long long n = 0;
    if (rule == "ipv4")
        return checkIpv4(value.c_str());
    if (rule == "ipv4-list")
        return checkIpv4List(value);
    if (rule == "server-list")
        return checkServerList(value);
    if (rule == "routes")
        return checkRoutes(value);
    if (rule == "names")
        return checkNames(value);
    if (rule == "text")
        return checkQuotedText(value);
    if (rule == "uint8")
        return parseUnsigned(value, 255, &n) ? nullptr : "not a number from 0 to 255";
    if (rule == "uint16")
        return parseUnsigned(value, 65535, &n) ? nullptr : "not a number from 0 to 65535";
    if (rule == "uint32")
        return parseUnsigned(value, 4294967295ULL, &n) ? nullptr : "not a number from 0 to 4294967295";
    if (rule == "mtu")
        return parseUnsigned(value, 65535, &n) && n >= 68 ? nullptr : "not a number from 68 to 65535";
    if (rule == "int32")
        return checkInt32(value);
    if (rule == "bool")
        return value == "true" || value == "false" ? nullptr : "not \"true\" or \"false\"";
    if (rule == "hex")
        return checkHex(value);
    if (rule == "server-name")
        return checkServerName(value);
    if (rule == "file-name")
        return checkQuotedFileName(value);
    if (rule == "url")
        return checkUrl(value);
    return "not a type of option";
}

static bool validateOption(const OptionEntry &entry, const std::string &where, ValidationError &err)
{
    if (!entry.name.empty()) {
        const RuleNamedOption *named = ruleNamedOption(entry.name);
        if (!named)
            return failAt(err, where + ".name", "not a named option");
        if (!entry.codeText.empty() && entry.codeText != std::to_string(named->code))
            return failAt(err, where + ".code", "not the code of " + entry.name);
    } else {
        if (entry.code < 1 || entry.code > 254)
            return failAt(err, where + ".code", "not a code from 1 to 254");
        if (const char *owned = ruleOwnedCode(entry.code))
            return failAt(err, where + ".code", owned);
        if (const RuleNamedOption *same = ruleNamedOptionByCode(entry.code))
            return failAt(err, where + ".code", std::string("use the named option ") + same->name);
        if (!ruleOtherType(entry.type))
            return failAt(err, where + ".type", "not a type of option");
    }
    if (const char *why = checkOptionValue(entry.check, entry.value))
        return failAt(err, where + ".value", why);
    return true;
}

static bool validateHostOverride(const HostOverride &host, const std::string &where,
                                 ValidationError &err)
{
    if (const char *why = checkMac(host.mac.c_str()))
        return failAt(err, where + ".mac", why);
    if (host.gateway.empty() && host.dns.empty())
        return failAt(err, where, "neither a gateway nor a DNS server");
    if (!host.gateway.empty())
        if (const char *why = checkServerIpv4(host.gateway.c_str()))
            return failAt(err, where + ".gateway", why);
    if (!host.dns.empty())
        if (const char *why = checkServerIpv4(host.dns.c_str()))
            return failAt(err, where + ".dns", why);
    return true;
}

bool validateApplyOptions(const OptionsRequest &request, ValidationError &err)
{
    if (const char *why = checkInterfaceName(request.ifName.c_str()))
        return failAt(err, "iftype", why);
    /* The access point's network is another program's. */
    if (!isSystemInterface(request.ifName.c_str()) || request.ifName == QUOMO_AP_IFNAME)
        return failAt(err, "iftype", "not an interface of this system");
    if (request.options.size() > QUOMO_MAX_OPTIONS)
        return failAt(err, "options", "more than " + std::to_string(QUOMO_MAX_OPTIONS) + " options");
    if (request.hosts.size() > QUOMO_MAX_HOST_OPTIONS)
        return failAt(err, "hostOptions",
                      "more than " + std::to_string(QUOMO_MAX_HOST_OPTIONS) + " entries");
    for (size_t i = 0; i < request.options.size(); ++i) {
        const std::string where = "options[" + std::to_string(i) + "]";
        if (!validateOption(request.options[i], where, err))
            return false;
        for (size_t j = 0; j < i; ++j)
            if (request.options[j].code == request.options[i].code)
                return failAt(err, where + ".code", "given twice");
    }
    for (size_t i = 0; i < request.hosts.size(); ++i) {
        const std::string where = "hostOptions[" + std::to_string(i) + "]";
        if (!validateHostOverride(request.hosts[i], where, err))
            return false;
        for (size_t j = 0; j < i; ++j)
            if (request.hosts[j].mac == request.hosts[i].mac)
                return failAt(err, where + ".mac", "given twice");
    }
    return true;
}

// ---- IPv6 ----

// The prefix length: 64 where clients form their own addresses, and for a
// range too, which dnsmasq makes from the interface's /64 prefix.
static bool validateIpv6Prefix(const Ipv6Request &request, ValidationError &err)
{
    const std::string &text = request.prefixLength;
    if (text.empty() || text == "64")
        return true;
    if (text.size() > 3 || text.find_first_not_of("0123456789") != std::string::npos)
        return failAt(err, "ipv6.prefixLength", "not a prefix length");
    if (request.mode != "stateful")
        return failAt(err, "ipv6.prefixLength", "must be 64 where clients form their own addresses");
    return failAt(err, "ipv6.prefixLength", "must be 64: the range is made from the interface's /64 prefix");
}

static bool validateIpv6Range(const Ipv6Request &request, ValidationError &err)
{
    if (request.mode != "stateful") {
        if (!request.start.empty())
            return failAt(err, "ipv6.start", "a range only for stateful");
        return request.end.empty() || failAt(err, "ipv6.end", "a range only for stateful");
    }
    unsigned char start[16], end[16];
    if (!checkRequired(request.start, checkIpv6HostPart, "ipv6.start", err) ||
        !checkRequired(request.end, checkIpv6HostPart, "ipv6.end", err))
        return false;
    parseIpv6(request.start.c_str(), start);
    parseIpv6(request.end.c_str(), end);
    return memcmp(start, end, 16) <= 0 || failAt(err, "ipv6.end", "before the start");
}

static bool validateIpv6Dns(const Ipv6Request &request, ValidationError &err)
{
    if (request.dns.size() > QUOMO_IPV6_MAX_DNS)
        return failAt(err, "ipv6.dns", "more than " + std::to_string(QUOMO_IPV6_MAX_DNS) + " servers");
    for (size_t i = 0; i < request.dns.size(); ++i)
        if (!checkRequired(request.dns[i], checkServerIpv6, "ipv6.dns[" + std::to_string(i) + "]", err))
            return false;
    return true;
}

bool validateApplyIpv6(const Ipv6Request &request, ValidationError &err)
{
    if (!checkRequired(request.ifName, checkInterfaceName, "iftype", err))
        return false;
    if (!isSystemInterface(request.ifName.c_str()) || request.ifName == QUOMO_AP_IFNAME)
        return failAt(err, "iftype", "not an interface of this system");
    if (!ruleIpv6Mode(request.mode))
        return failAt(err, "ipv6.mode", "not one of " + ruleIpv6ModeList());
    if (request.mode == "off")
        return true;
    if (!request.leaseTime)
        return failAt(err, "ipv6.leasetime", "missing");
    if (request.leaseSeconds < 120)
        return failAt(err, "ipv6.leasetime", "less than 2 minutes");
    return validateIpv6Prefix(request, err) && validateIpv6Range(request, err) &&
           validateIpv6Dns(request, err);
}

bool validateDisableServer(const DisableRequest &request, ValidationError &err)
{
    return validateInterfaceParam("iftype", request.ifName.c_str(), err);
}

// ---- access and wake ----

static bool checkSystemInterface(const std::string &ifName, ValidationError &err)
{
    if (const char *why = checkInterfaceName(ifName.c_str()))
        return failAt(err, "iftype", why);
    if (!isSystemInterface(ifName.c_str()) || ifName == QUOMO_AP_IFNAME)
        return failAt(err, "iftype", "not an interface of this system");
    return true;
}

static const char *checkNote(const std::string &note)
{
    if (note.size() > QUOMO_NOTE_LEN - 1)
        return "longer than 64 bytes";
    for (unsigned char c : note)
        if (c < ' ' || c == 0x7f)
            return "not printable";
    return nullptr;
}

bool validateApplyAccess(const AccessRequest &request, ValidationError &err)
{
    if (!checkSystemInterface(request.ifName, err))
        return false;
    if (request.unknownClients != "serve" && request.unknownClients != "ignore")
        return failAt(err, "access.unknownClients", "not \"serve\" or \"ignore\"");
    if (request.blocked.size() > QUOMO_MAX_BLOCKED)
        return failAt(err, "access.blocked", "more than " + std::to_string(QUOMO_MAX_BLOCKED) + " clients");
    for (size_t i = 0; i < request.blocked.size(); ++i) {
        const std::string where = "access.blocked[" + std::to_string(i) + "]";
        const BlockedClient &b = request.blocked[i];
        if (!checkRequired(b.mac, checkMac, where + ".mac", err))
            return false;
        if (const char *why = checkNote(b.note))
            return failAt(err, where + ".note", why);
        for (size_t j = 0; j < i; ++j)
            if (request.blocked[j].mac == b.mac)
                return failAt(err, where + ".mac", "given twice");
    }
    return true;
}

bool validateWakeClient(const WakeRequest &request, ValidationError &err)
{
    if (!checkSystemInterface(request.ifName, err) || !checkRequired(request.mac, checkMac, "mac", err))
        return false;
    if (strtoul(request.mac.substr(0, 2).c_str(), nullptr, 16) & 0x01)
        return failAt(err, "mac", "a group address, not one device's");
    return true;
}

bool validateRequest(const ActionRequest &request, ValidationError &err)
{
    if (const auto *r = std::get_if<ApplyDataRequest>(&request))
        return validateApplyData(*r, err);
    if (const auto *r = std::get_if<DisableRequest>(&request))
        return validateDisableServer(*r, err);
    if (const auto *r = std::get_if<PxeRequest>(&request))
        return validateApplyPxe(*r, err);
    if (const auto *r = std::get_if<OptionsRequest>(&request))
        return validateApplyOptions(*r, err);
    if (const auto *r = std::get_if<ReleaseRequest>(&request))
        return validateReleaseLease(*r, err);
    if (const auto *r = std::get_if<RevertRequest>(&request))
        return validateInterfaceParam("iftype", r->ifName.c_str(), err);
    if (const auto *r = std::get_if<AccessRequest>(&request))
        return validateApplyAccess(*r, err);
    if (const auto *r = std::get_if<WakeRequest>(&request))
        return validateWakeClient(*r, err);
    if (const auto *r = std::get_if<Ipv6Request>(&request))
        return validateApplyIpv6(*r, err);
    return true;
}
