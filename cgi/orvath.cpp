/*
 * orvath: request entry, action dispatch and the request handlers of the DHCP
 * pages. The handlers turn request parameters (plain text, or JSON text in a
 * parameter) into calls of libquomodhcp and its answers into JSON members.
 */
#include "orvath.h"

#include <errno.h>
#include <limits.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "orvath_common.h"
#include "quomodhcp.h"
#include "request_origin.h"
#include "service.h"
#include "validate.h"
#include "vorl.h"

static const char kContentType[] = "text/plain; charset=\"UTF-8\"";
static const char kPxeTag[] = "pxe";
static const char kKeyValueFormat[] = "%s=\"%s\"\n";
static const char kStaticListPath[] = "/etc/dhcpd/dhcpdStatic.ori";
/* How long a request waits for another one to finish. */
static const unsigned kLockWaitMs = 30000;
/* Values read from key/value files. */
enum { kValueLen = 1024 };
/* Lease time of a new PXE subnet on an interface without ordinary subnets. */
static const int32_t kDefaultPxeLeaseTime = 36000;

/* ------------------------------------------------------------------------ */
/* Request parameters                                                        */
/* ------------------------------------------------------------------------ */

/* Text of a plain request parameter; absent counts as empty. */
static const char *paramText(DhcpHandler &handler, const char *name)
{
    const char *text = handler.webvard.In(name, NULL);
    return text ? text : "";
}

/* The "iftype" parameter, kept to the interface buffer's width. False, and
 * logged, when it is empty or absent. */
static bool readIfType(DhcpHandler &handler, char (&szIfName)[QUOMO_IFNAME_LEN])
{
    orvCopy(szIfName, sizeof szIfName, paramText(handler, "iftype"));
    if (szIfName[0])
        return true;
    ORV_LOG("WRONG interface name!");
    return false;
}

/* Parses JSON text: comments allowed (and collected), any value at the root,
 * text after the first value ignored. The reader's messages go to the log. */
static bool parseJsonText(const char *text, Json::Value &root)
{
    Json::CharReaderBuilder builder;
    builder["collectComments"] = true;
    builder["allowComments"] = true;
    builder["strictRoot"] = false;
    builder["failIfExtra"] = false;
    std::string errors;
    bool ok = false;
    try {
        std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
        ok = reader->parse(text, text + strlen(text), &root, &errors);
    } catch (const std::exception &e) {
        /* The reader throws when the nesting is too deep. */
        errors = e.what();
        ok = false;
    }
    if (!ok) {
        std::replace(errors.begin(), errors.end(), '\n', ' '); /* one log line */
        ORV_LOG("Error: parsing error, reason = %s", errors.c_str());
        root = Json::Value();
    }
    return ok;
}

bool parseJsonParam(DhcpHandler &handler, const char *name, Json::Value &document)
{
    const char *text = handler.webvard.In(name, "");
    return parseJsonText(text ? text : "", document);
}

/* Refuses a request whose values failed the request checks: the place and
 * the reason go into "error" and the place into the log. Nothing has been
 * written. */
static bool refuse(Json::Value &answer, const ValidationError &err)
{
    ORV_LOG("Invalid parameter %s", err.where.c_str());
    answer["error"] = err.text();
    return false;
}

/* A string member copied into a text field, cut to its width; the field
 * stays as it was when the member is absent or of another type. */
template <size_t N> static void copyMember(char (&field)[N], const Json::Value &object,
                                           const char *name)
{
    if (const char *text = memberText(object, name))
        orvCopy(field, N, text);
}

/* ------------------------------------------------------------------------ */
/* Subnet files                                                              */
/* ------------------------------------------------------------------------ */

/* /etc/dhcpd/dhcpd-<interface>-<tag>.<ext> is readable by this process. */
static bool subnetFileReadable(const char *szIfName, const char *szTag, const char *szExt)
{
    char szPath[QUOMO_PATH_LEN];
    if (!orvPath(szPath, sizeof szPath, "/etc/dhcpd/dhcpd-%s-%s.%s", szIfName, szTag, szExt))
        return false;
    return access(szPath, R_OK) == 0;
}

/* Tag of the ordinary subnet n of an interface: the name and the index. */
static bool ordinaryTag(char (&szTag)[QUOMO_TAG_LEN], const char *szIfName, int n)
{
    return orvFormat(szTag, sizeof szTag, "%s%d", szIfName, n);
}

/* The fragment of ordinary subnet n exists and is readable; its tag in szTag. */
static bool ordinarySubnetReadable(char (&szTag)[QUOMO_TAG_LEN], const char *szIfName, int n)
{
    return ordinaryTag(szTag, szIfName, n) && subnetFileReadable(szIfName, szTag, "conf");
}

/* Reads a subnet of the interface; logged when it cannot be read. */
static bool readSubnet(const char *szIfName, const char *szTag, DhcpServerConf &conf)
{
    if (!QUOMODHCPGetDhcpServerConf(szTag, szIfName, &conf)) {
        ORV_LOG("Cannot get dhcp server config on interface:%s", szIfName);
        return false;
    }
    return true;
}

/* Reads the interface's PXE subnet; logged when it cannot be read. */
static bool readPxeSubnet(const char *szIfName, DhcpPxeConf &pxe)
{
    if (!QUOMONetGetDhcpPXEServerConf(kPxeTag, szIfName, &pxe)) {
        ORV_LOG("Cannot get dhcp server config on interface:%s", szIfName);
        return false;
    }
    return true;
}

/* Writes the PXE subnet switched on or off; logged when it cannot be
 * written. */
static bool writePxeSubnet(DhcpPxeConf &pxe, bool enabled)
{
    pxe.isEnabled = enabled ? 1 : 0;
    if (!QUOMONetSetDhcpPXEServerConfigFiles(&pxe, pxe.isEnabled)) {
        ORV_LOG("Write DHCP Server Config Files failed!");
        return false;
    }
    return true;
}

/* Writes the ordinary subnets of a table as one change; logged when they
 * cannot be written. */
static bool writeOrdinarySubnets(const std::vector<DhcpServerConf> &subnets)
{
    if (!QUOMODHCPSetDhcpServerSubnets(subnets.data(), (int)subnets.size())) {
        ORV_LOG("Write DHCP Server Config Files failed!");
        return false;
    }
    return true;
}

/* ------------------------------------------------------------------------ */
/* Global settings                                                           */
/* ------------------------------------------------------------------------ */

/* Applies the global members of "dataArray" to the record; members that are
 * absent, null or of another type than expected leave their field alone. */
bool parseGlobalSettings(DhcpHandler &handler, const Json::Value *document)
{
    if (!document)
        return true; /* absent or not JSON: logged by the parser */
    DhcpServerConf &conf = handler.globalConf;
    const Json::Value &root = *document;
    if (!root.isObject()) {
        ORV_LOG("Global settings are not an object; nothing applied");
        return true;
    }
    bool enabled = false;
    if (memberFlag(root, "enable_check", &enabled))
        conf.isEnabled = enabled ? 1 : 0;
    copyMember(conf.szPrimaryDns, root, "pdns");
    copyMember(conf.szSecondaryDns, root, "sdns");
    /* Minutes in, seconds stored; the request checks have refused a lease
     * time whose seconds are negative or do not fit the 32-bit field. */
    if (const char *text = memberText(root, "leasetime"))
        parseLeaseMinutes(text, &conf.leaseTime);
    copyMember(conf.szDomain, root, "domain");
    copyMember(conf.szIfName, root, "iftype");
    return true;
}

bool loadGlobalSettings(DhcpHandler &handler, Json::Value &answer)
{
    char szIfName[QUOMO_IFNAME_LEN];
    readIfType(handler, szIfName); /* an empty name finds no file */

    DhcpServerConf conf = {};
    char szTag[QUOMO_TAG_LEN];
    bool read = ordinaryTag(szTag, szIfName, 0) &&
                QUOMODHCPGetDhcpServerConf(szTag, szIfName, &conf) != 0;
    /* An interface whose only subnet is the PXE subnet keeps its global
     * settings there; its settings file has the same form. */
    if (!read)
        read = QUOMODHCPGetDhcpServerConf(kPxeTag, szIfName, &conf) != 0;
    if (!read) {
        ORV_LOG("Cannot read Global setting on %s%d or %s", szIfName, 0, kPxeTag);
        return false;
    }

    answer["enable"] = isDHCPDActivate(szIfName) == 0;
    answer["leasetime"] = Json::Value(conf.leaseTime / 60);
    answer["pdns"] = conf.szPrimaryDns;
    answer["sdns"] = conf.szSecondaryDns;
    answer["domain"] = conf.szDomain;
    return true;
}

bool disableServerConfigs(DhcpHandler &handler, Json::Value &)
{
    char szIfName[QUOMO_IFNAME_LEN];
    readIfType(handler, szIfName); /* an empty name finds no file */
    rememberSwitches(szIfName, NULL);

    char szTag[QUOMO_TAG_LEN];
    for (int n = 0; n < INT_MAX && ordinarySubnetReadable(szTag, szIfName, n); ++n) {
        DhcpServerConf conf = {};
        if (!readSubnet(szIfName, szTag, conf))
            return false;
        if (!QUOMODHCPSetDhcpServerConfigFiles(&conf, 0))
            return false;
    }

    if (!subnetFileReadable(szIfName, kPxeTag, "conf"))
        return true;
    DhcpPxeConf pxe = {};
    if (!readPxeSubnet(szIfName, pxe))
        return false;
    if (pxe.isEnabled == 1) {
        char szPath[QUOMO_PATH_LEN];
        if (!orvPath(szPath, sizeof szPath, "/etc/quomoinfo.conf") ||
            VORLCFileSetKeyValue(szPath, "pxeenable", "no", kKeyValueFormat) < 0) {
            ORV_LOG("Failed to set pxeenable of quomoinfo.conf. ");
            return false;
        }
    }
    return QUOMONetSetDhcpPXEServerConfigFiles(&pxe, 0) != 0;
}

/* ------------------------------------------------------------------------ */
/* Subnet table                                                              */
/* ------------------------------------------------------------------------ */

/* The table is an array of usable rows. Checked whole before anything is
 * written, so that no file is ever written from a missing value. */
static bool subnetTableUsable(const Json::Value &table)
{
    if (!table.isArray()) {
        ORV_LOG("Subnet table is not an array");
        return false;
    }
    for (Json::ArrayIndex i = 0; i < table.size(); ++i) {
        if (!subnetRowUsable(table[i])) {
            ORV_LOG("Subnet row %u lacks an address", (unsigned)i);
            return false;
        }
    }
    return true;
}

bool checkApSubnets(DhcpHandler &, const Json::Value &subnets)
{
    if (!subnets.isArray())
        return false;
    for (Json::ArrayIndex i = 0; i < subnets.size(); ++i) {
        const Json::Value &row = subnets[i];
        const char *szNetmask = memberText(row, "netmask");
        const char *szGateway = memberText(row, "gateway");
        const char *szStartIp = memberText(row, "startip");
        const char *szEndIp = memberText(row, "endip");
        if (!szNetmask || !szGateway || !szStartIp || !szEndIp)
            return false;
        if (isSameApSubnet(szGateway, szNetmask) || isSameApSubnet(szStartIp, szNetmask) ||
            isSameApSubnet(szEndIp, szNetmask))
            return false;
    }
    return true;
}

/* The PXE row: the stored PXE subnet takes the request's global settings and
 * the row's on/off; its range, router and boot file stay. */
static bool applyPxeRow(const DhcpServerConf &global, bool activated)
{
    DhcpPxeConf pxe = {};
    if (!QUOMONetGetDhcpPXEServerConf(kPxeTag, global.szIfName, &pxe)) {
        ORV_LOG("Cannot read pxe setting on %s", global.szIfName);
        return false;
    }
    ORV_LOG("%s", pxe.szBootFile);
    pxe.leaseTime = global.leaseTime;
    orvCopy(pxe.szPrimaryDns, sizeof pxe.szPrimaryDns, global.szPrimaryDns);
    orvCopy(pxe.szSecondaryDns, sizeof pxe.szSecondaryDns, global.szSecondaryDns);
    orvCopy(pxe.szDomain, sizeof pxe.szDomain, global.szDomain);
    return writePxeSubnet(pxe, activated);
}

/* An ordinary row as subnet n of the interface; false (logged) when its tag
 * does not fit. */
static bool ordinaryRowSubnet(const DhcpServerConf &global, const Json::Value &row, int n,
                              bool activated, DhcpServerConf &conf)
{
    conf = DhcpServerConf();
    conf.isEnabled = activated ? 1 : 0;
    conf.leaseTime = global.leaseTime;
    copyMember(conf.szStartIp, row, "startip");
    copyMember(conf.szEndIp, row, "endip");
    orvCopy(conf.szIfName, sizeof conf.szIfName, global.szIfName);
    orvCopy(conf.szDomain, sizeof conf.szDomain, global.szDomain);
    orvCopy(conf.szPrimaryDns, sizeof conf.szPrimaryDns, global.szPrimaryDns);
    orvCopy(conf.szSecondaryDns, sizeof conf.szSecondaryDns, global.szSecondaryDns);
    copyMember(conf.szNetmask, row, "netmask");
    copyMember(conf.szGateway, row, "gateway");
    if (!ordinaryTag(conf.szTag, global.szIfName, n)) {
        ORV_LOG("Write DHCP Server Config Files failed!");
        return false;
    }
    return true;
}

/* Removes the subnets of the interface from firstIndex on: they go last, each
 * switched off before its fragment goes. An unnamed interface has none. */
static bool removeStaleSubnets(const char *szIfName, int firstIndex)
{
    if (!szIfName[0])
        return true;
    return removeUnusedInfo(szIfName, firstIndex) == 0 &&
           removeUnusedConf(szIfName, firstIndex) == 0;
}

bool applySubnetSettings(DhcpHandler &handler, const Json::Value *document)
{
    if (!document)
        return false; /* absent or not JSON: logged by the parser */
    const Json::Value &table = *document;
    if (!subnetTableUsable(table))
        return false;
    if (!checkApSubnets(handler, table))
        return false;

    const DhcpServerConf &global = handler.globalConf;
    /* Ordinary rows are numbered afresh from 0 and written together, so the
     * table changes at once. */
    std::vector<DhcpServerConf> subnets;
    bool ok = true;
    for (Json::ArrayIndex i = 0; ok && i < table.size(); ++i) {
        const Json::Value &row = table[i];
        bool activated = false;
        bool pxe = false;
        memberFlag(row, "activated", &activated);
        memberFlag(row, "pxe", &pxe);
        if (pxe) {
            ok = applyPxeRow(global, activated);
            continue;
        }
        subnets.emplace_back();
        ok = ordinaryRowSubnet(global, row, (int)subnets.size() - 1, activated, subnets.back());
        if (!ok)
            subnets.pop_back();
    }
    /* The rows before one that failed are still written; nothing is removed. */
    if (!writeOrdinarySubnets(subnets) || !ok)
        return false;
    /* The DNS-only pair follows the name server, not the rows: once is
     * enough. */
    if (!subnets.empty() && !QUOMODHCPDecideDisableDNS())
        return false;
    return removeStaleSubnets(global.szIfName, (int)subnets.size());
}

/* ------------------------------------------------------------------------ */
/* Static reservations                                                       */
/* ------------------------------------------------------------------------ */

bool applyStaticSettings(const Json::Value *document)
{
    /* Absent or not JSON (logged by the parser): the stored set stays. An
     * array replaces it; a scalar has no elements and clears it; an object is
     * no set of reservations at all and changes nothing. */
    if (!document)
        return true;
    const Json::Value &set = *document;
    if (set.isObject()) {
        ORV_LOG("Error: parsing error, reason = %s", "reservations are an object, not an array");
        return true;
    }
    /* A member that is missing or not text goes on as absent; the store
     * refuses the entry and writes no line for it. */
    std::vector<QuomoStaticHost> hosts;
    if (set.isArray()) {
        for (Json::ArrayIndex i = 0; i < set.size(); ++i) {
            const Json::Value &entry = set[i];
            hosts.push_back({memberText(entry, "mac"), memberText(entry, "ip"),
                             memberText(entry, "hostname")});
        }
    }
    return QUOMODHCPSetStaticHosts(hosts.data(), (int)hosts.size()) == 1;
}

/* Lists a text file of the system: toEntry turns each line (newline
 * included; the last line may lack it) into an entry, or returns false to
 * leave the line out. The entries go into the answer member listName and
 * their number into "itemCount". False, with nothing answered, when the file
 * cannot be opened. */
template <typename Fn>
static bool listFileLines(const char *szPath, Json::Value &answer, const char *listName,
                          Fn toEntry)
{
    FILE *file = fopen(szPath, "r");
    if (!file)
        return false;
    Json::Value entries(Json::arrayValue);
    char *line = NULL;
    size_t cap = 0;
    while (getline(&line, &cap, file) >= 0) {
        Json::Value entry(Json::objectValue);
        if (toEntry(line, entry))
            entries.append(std::move(entry));
    }
    free(line);
    fclose(file);
    /* Moved, not copied: a list of thousands of entries is large. */
    answer["itemCount"] = Json::Value((int)entries.size());
    answer[listName] = std::move(entries);
    return true;
}

/* The members a reservation and a client have in common. */
static void putHost(Json::Value &entry, const char *szMac, const char *szIp,
                    const char *szHostname)
{
    /* Static keys are not copied: lists hold thousands of entries. */
    entry[Json::StaticString("mac")] = szMac;
    entry[Json::StaticString("ip")] = szIp;
    entry[Json::StaticString("hostname")] = szHostname;
}

/* One line of the reservation list as an entry of "staticData"; a line that
 * cannot be split is left out. */
static bool reservationEntry(const char *line, Json::Value &entry)
{
    char szMac[QUOMO_IP_LEN] = "";
    char szIp[QUOMO_IP_LEN] = "";
    char szHostname[QUOMO_HOSTNAME_LEN] = "";
    if (readStaticConf(szMac, szIp, szHostname, line) <= 0)
        return false;
    putHost(entry, szMac, szIp, szHostname);
    return true;
}

bool loadStaticSettings(DhcpHandler &, Json::Value &answer)
{
    char szList[QUOMO_PATH_LEN];
    bool listed = orvPath(szList, sizeof szList, kStaticListPath) &&
                  listFileLines(szList, answer, "staticData", reservationEntry);
    if (!listed)
        ORV_LOG("Can not open DHCP static file");
    return listed;
}

/* ------------------------------------------------------------------------ */
/* Client list                                                               */
/* ------------------------------------------------------------------------ */

/* The lease log to list: the package's own while the appliance's DHCP
 * settings file says enable="no", otherwise the appliance's. */
static bool chooseLeaseLog(char *szPath, size_t cbPath)
{
    char szInfo[QUOMO_PATH_LEN];
    char szEnable[kValueLen] = "";
    bool packageLog = orvPath(szInfo, sizeof szInfo, "/etc/dhcpd/dhcpd.info") &&
                      VORLCFileGetKeyValue(szInfo, "enable", szEnable, sizeof szEnable, 0) > 0 &&
                      strcmp(szEnable, "no") == 0;
    if (packageLog)
        return orvPath(szPath, cbPath, "/var/packages/Orvath/target/etc/dhcpd-leases.log");
    return orvPath(szPath, cbPath, "/etc/dhcpd/dhcpd-leases.log");
}

bool loadClientList(DhcpHandler &handler, Json::Value &answer)
{
    char szIfName[QUOMO_IFNAME_LEN];
    if (!readIfType(handler, szIfName))
        return false;

    char szLog[4096];
    bool havePath = chooseLeaseLog(szLog, sizeof szLog);
    QUOMODHCPRefreshLeaseLog();
    /* Read once for the whole list; NULL leaves every expiry text empty. */
    QuomoReserved *pReserved = QUOMODHCPReservedLoad();

    /* One record of the log as an entry of "clientList"; those of other
     * interfaces are left out. A record that cannot be read leaves the
     * buffers empty, so it names no interface and is left out too; one whose
     * expiry text could not be formed (the reservation list unreadable) is
     * still listed. */
    auto clientEntry = [&szIfName, pReserved](const char *line, Json::Value &entry) {
        char szMac[QUOMO_IP_LEN] = "";
        char szIp[QUOMO_IP_LEN] = "";
        char szHostname[QUOMO_HOSTNAME_LEN] = "";
        char szExpire[QUOMO_EXPIRE_LEN] = "";
        char szLeaseIf[QUOMO_IFNAME_LEN] = "";
        readClientListWith(pReserved, szMac, szIp, szHostname, szExpire, szLeaseIf, line);
        if (strcmp(szLeaseIf, szIfName) != 0)
            return false;
        putHost(entry, szMac, szIp, szHostname);
        entry[Json::StaticString("expire")] = szExpire;
        return true;
    };
    bool listed = havePath && listFileLines(szLog, answer, "clientList", clientEntry);
    QUOMODHCPReservedFree(pReserved);
    if (!listed)
        ORV_LOG("Can not open DHCP lease file");
    return listed;
}

/* ------------------------------------------------------------------------ */
/* Interface and subnet listing                                              */
/* ------------------------------------------------------------------------ */

/* The platform's interface list; 0 or less on failure (logged). */
int listInterfaces(VORL_NETIF (&ifs)[kMaxInterfaces])
{
    memset(ifs, 0, sizeof ifs);
    int count = VORLNetGetInterfaceInfo(ifs, kMaxInterfaces, 2);
    if (count <= 0) {
        ORV_LOG("get ifinfos failed(%d)", count);
        return count;
    }
    return count < kMaxInterfaces ? count : kMaxInterfaces;
}

/* An interface record's name as NUL-terminated text. */
void interfaceName(const VORL_NETIF &netif, char (&szName)[QUOMO_IFNAME_LEN])
{
    size_t len = strnlen(netif.szName, sizeof netif.szName);
    if (len >= sizeof szName)
        len = sizeof szName - 1;
    memcpy(szName, netif.szName, len);
    szName[len] = '\0';
}

bool listedInterfaceType(int type)
{
    return type == 0 || type == 3 || type == 4 || type == 8;
}

bool enumInterfaces(DhcpHandler &, Json::Value &answer)
{
    VORL_NETIF ifs[kMaxInterfaces];
    int count = listInterfaces(ifs);
    if (count <= 0)
        return false;

    Json::Value items(Json::arrayValue);
    for (int i = 0; i < count; ++i) {
        char szName[QUOMO_IFNAME_LEN];
        interfaceName(ifs[i], szName);
        if (!listedInterfaceType(SDK::Network::GetIfType(szName, NULL)))
            continue;
        /* A fresh display name per interface: a failed lookup must not show
         * the previous interface's name. */
        std::string display;
        SDK::Network::GetIfName(szName, display);
        Json::Value item(Json::objectValue);
        item["if_value"] = szName;
        item["if_display"] = display;
        item["if_addrs"] = interfaceAddresses(szName);
        items.append(item);
    }
    answer["items"] = items;
    answer["total"] = Json::Value((int)items.size());
    return true;
}

static Json::Value subnetEntry(const DhcpServerConf &conf, const char *szIfName,
                               const char *szTag, bool pxe)
{
    Json::Value entry(Json::objectValue);
    entry["activated"] = isIfTagEnable(szIfName, szTag) == 0;
    entry["startip"] = conf.szStartIp;
    entry["endip"] = conf.szEndIp;
    entry["netmask"] = conf.szNetmask;
    entry["gateway"] = conf.szGateway;
    entry["pxe"] = pxe;
    return entry;
}

bool getInterfaceSubnets(DhcpHandler &handler, Json::Value &answer)
{
    char szIfName[QUOMO_IFNAME_LEN];
    readIfType(handler, szIfName); /* an empty name finds no file */

    Json::Value subnets(Json::arrayValue);
    DhcpServerConf conf = {};
    char szTag[QUOMO_TAG_LEN];
    unsigned count = 0;
    /* The ordinary subnets end at the first index without a readable file. */
    for (int n = 0; n < INT_MAX && ordinarySubnetReadable(szTag, szIfName, n); ++n) {
        if (!readSubnet(szIfName, szTag, conf))
            return false;
        subnets.append(subnetEntry(conf, szIfName, szTag, false));
        ++count;
    }
    if (subnetFileReadable(szIfName, kPxeTag, "conf")) {
        if (!readSubnet(szIfName, kPxeTag, conf))
            return false;
        subnets.append(subnetEntry(conf, szIfName, kPxeTag, true));
    }
    putRowSwitches(szIfName, subnets);
    answer["subnetList"] = subnets;
    answer["itemCount"] = Json::Value(count);
    return true;
}

/* ------------------------------------------------------------------------ */
/* Network boot                                                              */
/* ------------------------------------------------------------------------ */

/* The PXE range members: start, end, netmask, router and DNS server. */
static void putPxeRange(Json::Value &target, const DhcpPxeConf &pxe, const char *const names[5])
{
    target[names[0]] = pxe.szStartIp;
    target[names[1]] = pxe.szEndIp;
    target[names[2]] = pxe.szNetmask;
    target[names[3]] = pxe.szGateway;
    target[names[4]] = pxe.szPrimaryDns;
}

bool loadPxeSubnet(DhcpHandler &handler, Json::Value &answer)
{
    const char *szParam = paramText(handler, "if_name");
    char szIfName[QUOMO_IFNAME_LEN];
    orvCopy(szIfName, sizeof szIfName, szParam);
    if (!szIfName[0] || strcmp(szIfName, "--") == 0) {
        ORV_LOG("WRONG interface name!");
        return false;
    }

    Json::Value data(Json::objectValue);
    if (!subnetFileReadable(szIfName, kPxeTag, "conf")) {
        /* No PXE subnet yet: the page starts from an empty form. */
        data["pxe_interface"] = szParam;
        answer["data"] = data;
        return true;
    }
    DhcpPxeConf pxe = {};
    if (!readPxeSubnet(szIfName, pxe))
        return false;
    static const char *const kMembers[] = {"pxe_start_ip", "pxe_end_ip", "pxe_netmask",
                                           "pxe_gateway", "pxe_dns"};
    putPxeRange(data, pxe, kMembers);
    data["pxe_bootloader"] = pxe.szBootFile;
    answer["data"] = data;
    return true;
}

/* The PXE settings of an "applypxesubnet" request. */
struct PxeRequest {
    const char *szInterfaceParam; /* "pxe_interface" as received */
    char szIfName[QUOMO_IFNAME_LEN];
    bool enable;                 /* "pxe_enable" is exactly "true" */
    const char *szOrigInterface; /* "orig_interface"; "" = none */
    /* Read only when enabling. */
    const char *szStartIp;
    const char *szEndIp;
    const char *szNetmask;
    const char *szGateway;
    const char *szDns;
    const char *szBootFile;
};

static void readPxeRequest(DhcpHandler &handler, PxeRequest &request)
{
    request.szInterfaceParam = paramText(handler, "pxe_interface");
    orvCopy(request.szIfName, sizeof request.szIfName, request.szInterfaceParam);
    request.enable = strcmp(paramText(handler, "pxe_enable"), "true") == 0;
    request.szOrigInterface = paramText(handler, "orig_interface");
    request.szStartIp = request.szEndIp = request.szNetmask = "";
    request.szGateway = request.szDns = request.szBootFile = "";
    if (request.enable) {
        request.szStartIp = paramText(handler, "pxe_start_ip");
        request.szEndIp = paramText(handler, "pxe_end_ip");
        request.szNetmask = paramText(handler, "pxe_netmask");
        request.szGateway = paramText(handler, "pxe_gateway");
        request.szDns = paramText(handler, "pxe_dns");
        request.szBootFile = paramText(handler, "pxe_bootloader");
    }
}

/* Settings a new PXE subnet takes over from the interface's first ordinary
 * subnet: secondary DNS server, domain and lease time. */
static bool inheritPxeSettings(const char *szIfName, DhcpPxeConf &pxe)
{
    char szTag[QUOMO_TAG_LEN];
    if (!ordinarySubnetReadable(szTag, szIfName, 0)) {
        pxe.szSecondaryDns[0] = '\0';
        pxe.szDomain[0] = '\0';
        pxe.leaseTime = kDefaultPxeLeaseTime;
        return true;
    }
    DhcpServerConf first = {};
    if (!QUOMODHCPGetDhcpServerConf(szTag, szIfName, &first)) {
        ORV_LOG("Cannot read Global setting on %s %s", szIfName, szTag);
        return false;
    }
    orvCopy(pxe.szSecondaryDns, sizeof pxe.szSecondaryDns, first.szSecondaryDns);
    orvCopy(pxe.szDomain, sizeof pxe.szDomain, first.szDomain);
    pxe.leaseTime = first.leaseTime;
    return true;
}

/* Every ordinary subnet of the interface takes the PXE subnet's DNS server and
 * keeps its own on/off. */
static bool shareDnsWithSubnets(const char *szIfName, const char *szDns)
{
    char szTag[QUOMO_TAG_LEN];
    std::vector<DhcpServerConf> subnets;
    for (int n = 0; n < INT_MAX && ordinarySubnetReadable(szTag, szIfName, n); ++n) {
        subnets.emplace_back();
        DhcpServerConf &conf = subnets.back();
        if (!readSubnet(szIfName, szTag, conf))
            return false;
        orvCopy(conf.szPrimaryDns, sizeof conf.szPrimaryDns, szDns);
    }
    return writeOrdinarySubnets(subnets);
}

static bool enablePxe(const PxeRequest &request, Json::Value &answer)
{
    bool collision = isSameApSubnet(request.szGateway, request.szNetmask) ||
                     isSameApSubnet(request.szStartIp, request.szNetmask) ||
                     isSameApSubnet(request.szEndIp, request.szNetmask);
    answer["isSameApSubnet"] = collision;
    if (collision)
        return false;
    if (!request.szIfName[0])
        ORV_LOG("WRONG interface name!");

    DhcpPxeConf pxe = {};
    if (!inheritPxeSettings(request.szIfName, pxe))
        return false;
    orvCopy(pxe.szBootFile, sizeof pxe.szBootFile, request.szBootFile);
    orvCopy(pxe.szIfName, sizeof pxe.szIfName, request.szIfName);
    orvCopy(pxe.szStartIp, sizeof pxe.szStartIp, request.szStartIp);
    orvCopy(pxe.szEndIp, sizeof pxe.szEndIp, request.szEndIp);
    orvCopy(pxe.szNetmask, sizeof pxe.szNetmask, request.szNetmask);
    orvCopy(pxe.szGateway, sizeof pxe.szGateway, request.szGateway);
    orvCopy(pxe.szTag, sizeof pxe.szTag, kPxeTag);
    orvCopy(pxe.szPrimaryDns, sizeof pxe.szPrimaryDns, request.szDns);
    if (!writePxeSubnet(pxe, true))
        return false;
    return shareDnsWithSubnets(request.szIfName, request.szDns);
}

/* Switches the interface's PXE subnet off, keeping its settings on disk. */
static bool disablePxe(const PxeRequest &request)
{
    if (!subnetFileReadable(request.szIfName, kPxeTag, "conf"))
        return true;
    DhcpPxeConf pxe = {};
    if (!readPxeSubnet(request.szIfName, pxe))
        return false;
    return writePxeSubnet(pxe, false);
}

/* PXE is served by one interface: the one it leaves is switched off. */
static bool leaveOrigInterface(const PxeRequest &request)
{
    const char *szOrig = request.szOrigInterface;
    if (!szOrig[0] || strcmp(szOrig, request.szInterfaceParam) == 0)
        return true;
    DhcpPxeConf pxe = {};
    if (!QUOMONetGetDhcpPXEServerConf(kPxeTag, szOrig, &pxe)) {
        ORV_LOG("Cannot read pxe setting on %s", szOrig);
        return false;
    }
    return writePxeSubnet(pxe, false);
}

bool applyPxeSubnet(DhcpHandler &handler, Json::Value &answer)
{
    ValidationError err;
    auto param = [&handler](const char *name) { return handler.webvard.In(name, NULL); };
    if (!validateApplyPxe(param, err))
        return refuse(answer, err);
    PxeRequest request;
    readPxeRequest(handler, request);
    bool ok = request.enable ? enablePxe(request, answer) : disablePxe(request);
    if (!ok)
        return false;
    return leaveOrigInterface(request);
}

/* The PXE subnet of the interface is switched on: its settings file is
 * readable and says enable="yes". */
static bool pxeEnabledOn(const char *szIfName)
{
    return subnetFileReadable(szIfName, kPxeTag, "info") && isIfTagEnable(szIfName, kPxeTag) == 0;
}

bool getEnablePxeConfig(DhcpHandler &, Json::Value &answer)
{
    VORL_NETIF ifs[kMaxInterfaces];
    int count = listInterfaces(ifs);
    if (count <= 0)
        return false;

    char szIfName[QUOMO_IFNAME_LEN] = "";
    for (int i = 0; i < count && !szIfName[0]; ++i) {
        char szName[QUOMO_IFNAME_LEN];
        interfaceName(ifs[i], szName);
        if (szName[0] && pxeEnabledOn(szName))
            orvCopy(szIfName, sizeof szIfName, szName);
    }

    static const char *const kRangeMembers[] = {"pxe_startip", "pxe_endip", "pxe_netmask",
                                                "pxe_gateway", "pxe_dns"};
    if (!szIfName[0]) {
        answer["pxe_enabled"] = false;
        answer["pxe_interface"] = "";
        for (const char *name : kRangeMembers)
            answer[name] = "";
        answer["pxe_interface_id"] = "";
        return true;
    }

    std::string display;
    SDK::Network::GetIfName(szIfName, display);
    answer["pxe_enabled"] = true;
    answer["pxe_interface"] = display;
    answer["pxe_interface_id"] = szIfName;
    if (!subnetFileReadable(szIfName, kPxeTag, "conf")) {
        ORV_LOG("Cannot get pxe dhcp server config on interface:%s", szIfName);
        return false;
    }
    DhcpPxeConf pxe = {};
    if (!readPxeSubnet(szIfName, pxe))
        return false;
    putPxeRange(answer, pxe, kRangeMembers);
    return true;
}

/* ------------------------------------------------------------------------ */
/* Dispatch                                                                  */
/* ------------------------------------------------------------------------ */

/* A JSON parameter of "applydata", parsed once for the request checks and
 * the steps; get() is NULL when it is absent or not JSON (logged). */
struct JsonParam {
    Json::Value document;
    bool parsed;
    JsonParam(DhcpHandler &handler, const char *name)
        : document(), parsed(parseJsonParam(handler, name, document))
    {
    }
    const Json::Value *get() const { return parsed ? &document : NULL; }
};

/* "applydata": every value of the three parameters is checked before any
 * step runs, so an invalid one writes nothing at all. Then global settings,
 * subnet table, reservations; then, when the request switched the interface
 * off, every subnet of it goes off. */
static bool applyData(DhcpHandler &handler, Json::Value &answer)
{
    const JsonParam global(handler, "dataArray");
    const JsonParam table(handler, "subnetData");
    const JsonParam set(handler, "staticData");
    ValidationError err;
    if (!validateApplyData(global.get(), table.get(), set.get(), err))
        return refuse(answer, err);

    bool globalOk = parseGlobalSettings(handler, global.get());
    bool subnetsOk = applySubnetSettings(handler, table.get());
    answer["isSameApSubnet"] = !subnetsOk;
    bool staticOk = applyStaticSettings(set.get());
    bool ok = staticOk && globalOk;
    if (handler.globalConf.isEnabled == 1)
        forgetSwitches(handler.globalConf.szIfName);
    if (handler.globalConf.isEnabled == 0) {
        rememberSwitches(handler.globalConf.szIfName, subnetsOk ? table.get() : NULL);
        /* 1: settings files switched off; -1: no interface name. Both keep
         * the result; 0 (nothing found to switch off) fails it. */
        int disabled = disableDHCPServer(handler.globalConf.szIfName);
        ok = ok && (disabled == 1 || disabled == -1);
    }
    return ok;
}

typedef bool (*ActionHandler)(DhcpHandler &, Json::Value &);

/* How an action may be requested: an action that changes the configuration
 * comes by POST only (request_origin.h). */
enum ActionMethod { kAnyMethod, kPostOnly };

struct ActionEntry {
    const char *szAction;
    ActionHandler handler;
    bool restart; /* restart the service afterwards, whatever the result */
    /* The interface name parameter checked before the handler runs; NULL
     * for none ("applydata" and "applypxesubnet" check their own). */
    const char *szIfParam;
    ActionMethod method;
};

static const ActionEntry kActions[] = {
    {"applydata", applyData, true, NULL, kPostOnly},
    {"disableServer", disableServerConfigs, true, "iftype", kPostOnly},
    {"loadGlobal", loadGlobalSettings, false, "iftype", kAnyMethod},
    {"getIfData", getInterfaceSubnets, false, "iftype", kAnyMethod},
    {"loadStatic", loadStaticSettings, false, NULL, kAnyMethod},
    {"loadClientList", loadClientList, false, "iftype", kAnyMethod},
    {"loadpxesubnet", loadPxeSubnet, false, "if_name", kAnyMethod},
    {"applypxesubnet", applyPxeSubnet, true, NULL, kPostOnly},
    {"enumIF", enumInterfaces, false, NULL, kAnyMethod},
    {"getEnablePXEConfig", getEnablePxeConfig, false, NULL, kAnyMethod},
    {"getServiceStatus", getServiceStatus, false, NULL, kAnyMethod},
    {"releaseLease", releaseLease, false, NULL, kPostOnly},
};

/* The action's interface name parameter, when it has one, is absent, empty
 * (the handler's own handling) or a valid interface name; it names files. */
static bool checkIfParam(DhcpHandler &handler, const ActionEntry &entry, Json::Value &answer)
{
    if (!entry.szIfParam)
        return true;
    ValidationError err;
    const char *value = handler.webvard.In(entry.szIfParam, NULL);
    return validateInterfaceParam(entry.szIfParam, value, err) || refuse(answer, err);
}

/* A request's hold on the service's files: the request lock, exclusive for a
 * changing action from before its first read until its restart has returned
 * (the hold goes with the object), shared for a listing. A changing action
 * first removes what a killed one left behind, and at its end syncs the
 * directories. A write that failed is named in "error". */
class RequestHold {
public:
    explicit RequestHold(bool writes) : writes_(writes) {}
    ~RequestHold() { orvUnlockFile(lock_); }
    RequestHold(const RequestHold &) = delete;
    RequestHold &operator=(const RequestHold &) = delete;

    /* False, with "error", when a changing action cannot have the lock: it
     * then neither writes nor restarts. */
    bool take(Json::Value &answer)
    {
        orvClearFailure();
        lock_ = orvLockRequest(writes_, kLockWaitMs);
        if (lock_ < 0 && errno == EWOULDBLOCK) {
            answer["error"] = "busy: another request is changing the DHCP settings";
            return false;
        }
        if (lock_ < 0 && writes_) {
            answer["error"] = orvFailure();
            return false;
        }
        if (lock_ < 0)
            orvClearFailure(); /* a listing goes on without the lock */
        if (writes_)
            QUOMODHCPRemoveStaleTemporaries();
        return true;
    }
    /* The request's result once its files are synced. */
    bool finish(bool result, Json::Value &answer)
    {
        if (writes_ && !QUOMODHCPSyncSave())
            result = false;
        if (!result && orvFailure()[0] && !answer.isMember("error"))
            answer["error"] = orvFailure();
        return result;
    }

private:
    bool writes_;
    int lock_ = -1;
};

/* Runs the action's handler once its interface name passed, then restarts
 * the service after a changing action, whatever the result. */
static bool runHandler(DhcpHandler &handler, const ActionEntry &entry, Json::Value &answer)
{
    RequestHold hold(entry.restart);
    if (!hold.take(answer))
        return false;
    bool result = checkIfParam(handler, entry, answer) && entry.handler(handler, answer);
    result = hold.finish(result, answer);
    if (entry.restart)
        restartService(answer);
    return result;
}

static const ActionEntry *findAction(const char *szAction)
{
    if (!szAction)
        return NULL;
    for (const ActionEntry &entry : kActions) {
        if (strcmp(entry.szAction, szAction) == 0)
            return &entry;
    }
    return NULL;
}

bool dispatchAction(DhcpHandler &handler)
{
    Json::Value answer;
    if (!handler.webvard.IsAuthorized(NULL, 1, CGI_POSITION_ADMIN))
        return false;

    bool result = false;
    const ActionEntry *entry = findAction(handler.webvard.In("action", NULL));
    /* A refused request runs nothing; requests that arrive as a JSON
     * document are not served. */
    if (requestAccepted(handler.webvard, entry && entry->method == kPostOnly, answer) &&
        !handler.webvard.In()) {
        /* No "action" at all counts as an unlisted one. */
        if (!entry)
            ORV_LOG("Wrong CGI handler: No such action mapping");
        else
            result = runHandler(handler, *entry, answer);
    }

    answer["success"] = result;
    handler.webvard.WriteHeader(kContentType);
    handler.webvard.WriteBody(answer);
    return result;
}

#ifndef ORVATH_NO_MAIN
int main()
{
    /* Files and directories this program makes are never writable by
     * others, whatever umask the web server passed on. */
    umask(022);
    DhcpHandler handler;
    dispatchAction(handler);
    return 0;
}
#endif
