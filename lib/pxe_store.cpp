/*
 * The PXE store (see pxe_store.h).
 *
 * Without boot settings the fragment ends as it always has:
 *   dhcp-boot=tag:pxe,<file>
 *   dhcp-vendorclass=set:pxe,PXEClient
 * With them, every answer is chosen by one tag that tag-if lines compute
 * from the interface the request came in on, the subnet's tag and what the
 * client says of itself, so that each dhcp-boot line keeps the shape
 * tag:<one tag>,<file>[,,<TFTP server>] and no two of them match the same
 * client, whatever order dnsmasq tries them in. Tag names carry the
 * interface: a client on another interface never sees these files.
 */
#include "pxe_store.h"

#include <string.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "orvath_common.h"
#include "subnet_store.h"

/* The boot answers beyond the BIOS file, each with the client-arch values
 * that ask for it (none: the iPXE answer). */
struct BootKind {
    const char *name;
    char (DhcpPxeBoot::*file)[QUOMO_PXE_NAME_LEN];
    const char *arches[2];
};
static const BootKind kArchKinds[] = {
    {"efi64", &DhcpPxeBoot::szBootEfi64, {"7", "9"}},
    {"efi32", &DhcpPxeBoot::szBootEfi32, {"6", NULL}},
    {"arm64", &DhcpPxeBoot::szBootArm64, {"11", NULL}},
};
static const BootKind kIpxeKind = {"ipxe", &DhcpPxeBoot::szIpxe, {NULL, NULL}};

/* The names the tags are made of: the subnet's tag and its interface. */
struct PxeNames {
    const char *szTag;
    const char *szIfName;
};

/* <subnet tag>-<what>-<interface>, e.g. pxe-efi64-eth0. */
static std::string pxeTag(const PxeNames &conf, const char *what)
{
    return std::string(conf.szTag) + "-" + what + "-" + conf.szIfName;
}

/* The tag that picks one dhcp-boot line, e.g. pxe-boot-efi64-eth0. */
static std::string bootTag(const PxeNames &conf, const char *kind)
{
    return pxeTag(conf, (std::string("boot-") + kind).c_str());
}

static bool hasBootSettings(const DhcpPxeBoot *boot)
{
    if (!boot)
        return false;
    for (const BootKind &k : kArchKinds) {
        if ((boot->*k.file)[0])
            return true;
    }
    return boot->szIpxe[0] || boot->szTftpServer[0] || boot->rangeOnly;
}

static int checkBootRecord(const DhcpPxeBoot &boot)
{
#define QUOMO_CHECK_TEXT(f) quomoCheckText(#f, boot.f, sizeof boot.f)
    return QUOMO_CHECK_TEXT(szBootEfi64) && QUOMO_CHECK_TEXT(szBootEfi32) &&
           QUOMO_CHECK_TEXT(szBootArm64) && QUOMO_CHECK_TEXT(szIpxe) &&
           QUOMO_CHECK_TEXT(szTftpServer);
#undef QUOMO_CHECK_TEXT
}

/* The range admits only clients tagged <tag>-client-<if>: the dhcp-range
 * line gains tag:<that> before its set:<tag>. */
static void keepRangeForPxe(std::string &fragment, const PxeNames &conf)
{
    const std::string key = "\ndhcp-range=";
    size_t at = fragment.find(key);
    if (at != std::string::npos)
        fragment.insert(at + key.size(), "tag:" + pxeTag(conf, "client") + ",");
}

static void appendBootLine(std::string &out, const std::string &tag, const char *file,
                           const DhcpPxeBoot &boot)
{
    out += "dhcp-boot=tag:" + tag + "," + file;
    if (boot.szTftpServer[0])
        out += std::string(",,") + boot.szTftpServer;
    out += "\n";
}

/* tag-if=set:<boot tag>,tag:<if>,tag:<subnet tag>[,more conditions]. */
static void appendChoice(std::string &out, const PxeNames &conf, const char *kind,
                         const std::string &conditions)
{
    out += "tag-if=set:" + bootTag(conf, kind) + ",tag:" + conf.szIfName + ",tag:" + conf.szTag +
           conditions + "\n";
}

/* The lines that tag a client by what it says of itself: PXE client,
 * architecture, iPXE. */
static void appendClientTags(std::string &out, const PxeNames &conf, const DhcpPxeBoot &boot)
{
    out += std::string("dhcp-vendorclass=set:") + conf.szTag + ",PXEClient\n";
    if (boot.rangeOnly)
        out += "dhcp-vendorclass=set:" + pxeTag(conf, "client") + ",PXEClient\n";
    for (const BootKind &k : kArchKinds) {
        if (!(boot.*k.file)[0])
            continue;
        for (const char *arch : k.arches) {
            if (arch)
                out += "dhcp-match=set:" + pxeTag(conf, k.name) + ",option:client-arch," + arch +
                       "\n";
        }
    }
    if (boot.szIpxe[0]) {
        /* iPXE names itself by user class, and by its own option 175. */
        out += "dhcp-userclass=set:" + pxeTag(conf, "ipxe") + ",iPXE\n";
        out += "dhcp-match=set:" + pxeTag(conf, "ipxe") + ",175\n";
    }
}

/* One tag-if and one dhcp-boot line per file, the kinds exclusive: iPXE
 * before any architecture, an architecture with a file before BIOS. */
static void appendBootChoices(std::string &out, const PxeNames &conf, const char *szBootFile,
                              const DhcpPxeBoot &boot)
{
    const std::string notIpxe = boot.szIpxe[0] ? ",tag:!" + pxeTag(conf, "ipxe") : "";
    /* The BIOS line first: older readers take the first dhcp-boot line's
     * file as the subnet's one boot file. */
    std::string bios = notIpxe;
    for (const BootKind &k : kArchKinds) {
        if ((boot.*k.file)[0])
            bios += ",tag:!" + pxeTag(conf, k.name);
    }
    if (szBootFile[0]) {
        appendChoice(out, conf, "bios", bios);
        appendBootLine(out, bootTag(conf, "bios"), szBootFile, boot);
    }
    for (const BootKind &k : kArchKinds) {
        if (!(boot.*k.file)[0])
            continue;
        appendChoice(out, conf, k.name, ",tag:" + pxeTag(conf, k.name) + notIpxe);
        appendBootLine(out, bootTag(conf, k.name), boot.*k.file, boot);
    }
    if (boot.szIpxe[0]) {
        appendChoice(out, conf, kIpxeKind.name, ",tag:" + pxeTag(conf, kIpxeKind.name));
        appendBootLine(out, bootTag(conf, kIpxeKind.name), boot.szIpxe, boot);
    }
}

static std::string pxeFragment(const DhcpPxeConf &conf, const DhcpPxeBoot *boot)
{
    QuomoSubnetView v = quomoSubnetView(conf);
    /* Unlike an ordinary subnet, a disabled PXE subnet keeps a complete
     * fragment: it is rewritten whatever the enable flag. */
    std::string fragment;
    quomoAppendSubnetLines(fragment, v);
    if (hasBootSettings(boot)) {
        const PxeNames names = {conf.szTag, conf.szIfName};
        if (boot->rangeOnly)
            keepRangeForPxe(fragment, names);
        appendClientTags(fragment, names, *boot);
        appendBootChoices(fragment, names, conf.szBootFile, *boot);
    } else if (conf.szBootFile[0] != '\0') {
        fragment += std::string("dhcp-boot=tag:") + conf.szTag + "," + conf.szBootFile + "\n";
        /* Every client announcing the vendor class PXEClient is tagged pxe. */
        fragment += "dhcp-vendorclass=set:pxe,PXEClient\n";
    }
    return fragment;
}

static int writePxe(const DhcpPxeConf &conf, const DhcpPxeBoot *boot, int enable)
{
    std::string fragment = pxeFragment(conf, boot);
    return quomoStageSubnet(quomoSubnetView(conf), &fragment, enable);
}

static int checkPxeRecords(const DhcpPxeConf *conf, const DhcpPxeBoot *boot)
{
    if (!conf) {
        ORV_LOG("Bad parameters.");
        return 0;
    }
    return quomoCheckSubnetRecord(*conf) &&
           quomoCheckText("szBootFile", conf->szBootFile, sizeof conf->szBootFile) &&
           (!boot || checkBootRecord(*boot));
}

int quomoSetPxeBoot(const DhcpPxeConf *conf, const DhcpPxeBoot *boot, int enable)
{
    if (!checkPxeRecords(conf, boot))
        return 0;
    return writePxe(*conf, boot, enable);
}

/* ---- the appliance's switch ---- */

int quomoSetPxeEnableKey(int on)
{
    char szPath[QUOMO_PATH_LEN];
    const char *value = on ? "yes" : "no";
    if (!orvPath(szPath, sizeof szPath, QUOMO_APPLIANCE_CONF) ||
        !quomoStageKey(szPath, QUOMO_HISTORY_PXE_KEY, value)) {
        ORV_LOG("Failed to set pxeenable of quomoinfo.conf. ");
        return 0;
    }
    quomoStageRecordAs(szPath, QUOMO_HISTORY_PXE_PATH, value);
    return 1;
}

bool quomoPxeStoreOwns(const char *szRelPath)
{
    if (strcmp(szRelPath, QUOMO_HISTORY_PXE_PATH) == 0)
        return true;
    std::string ifName;
    return quomoParsePairName(szRelPath, &ifName, QUOMO_PXE_TAG);
}

/* ---- reading ---- */

/* The value of each "dhcp-boot" line of the text, as the platform reads a
 * key's value: without one pair of enclosing quotes, cut to what a value
 * buffer holds. */
static std::vector<std::string> bootValues(const std::string &text)
{
    static const char kKey[] = "dhcp-boot=";
    std::vector<std::string> values;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        if (text.compare(pos, sizeof kKey - 1, kKey) == 0) {
            std::string value = text.substr(pos + sizeof kKey - 1, end - pos - (sizeof kKey - 1));
            if (!value.empty() && value.back() == '\r')
                value.pop_back();
            if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
                value = value.substr(1, value.size() - 2);
            values.push_back(value.substr(0, QUOMO_VALUE_LEN - 1));
        }
        pos = end + 1;
    }
    return values;
}

/* Where the file of a line tagged field0 goes: one of the kinds' fields, or
 * the BIOS file for any other tag. */
static char *slotOf(const PxeNames &conf, DhcpPxeBoot &boot, const char *field0,
                    size_t *size)
{
    const BootKind *kinds[] = {&kArchKinds[0], &kArchKinds[1], &kArchKinds[2], &kIpxeKind};
    for (const BootKind *k : kinds) {
        if ("tag:" + bootTag(conf, k->name) == field0) {
            *size = sizeof(boot.*k->file);
            return boot.*k->file;
        }
    }
    *size = 0;
    return NULL;
}

/* Fills the boot files and the TFTP server from the dhcp-boot lines, the
 * first line of each kind counting. 0 when a line has no field at all. */
static int readBootLines(const std::string &text, const PxeNames &names, char *szBootFile,
                         size_t cbBootFile, DhcpPxeBoot &boot)
{
    bool biosSeen = false;
    for (const std::string &value : bootValues(text)) {
        QuomoList list;
        if (!list.ok())
            return 0;
        int count = VORLCStrTok(value.c_str(), ",", list.out());
        if (count <= 0)
            return 0;
        size_t size = 0;
        char *slot = slotOf(names, boot, list.get(0), &size);
        /* Only the lines written with the boot settings name a server; in
         * the one line written without them a third field is no server. */
        bool ours = slot || "tag:" + bootTag(names, "bios") == list.get(0);
        if (!slot) {
            if (biosSeen)
                continue;
            biosSeen = true;
            slot = szBootFile;
            size = cbBootFile;
        } else if (slot[0]) {
            continue;
        }
        if (count >= 2)
            orvCopy(slot, size, list.get(1));
        if (ours && count >= 3 && !boot.szTftpServer[0])
            orvCopy(boot.szTftpServer, sizeof boot.szTftpServer, list.get(2));
    }
    return 1;
}

/* The range is kept for PXE clients when its line begins with a tag: that
 * selects the clients. */
static void readRangeOnly(const char *szConf, DhcpPxeBoot &boot)
{
    char szValue[QUOMO_VALUE_LEN] = "";
    if (VORLCFileGetKeyValue(szConf, "dhcp-range", szValue, sizeof szValue, 0) > 0)
        boot.rangeOnly = strncmp(szValue, "tag:", 4) == 0 ? 1 : 0;
}

/* Copies the DhcpServerConf fields into the same leading fields of a
 * DhcpPxeConf. */
static void copyToPxe(DhcpPxeConf *dst, const DhcpServerConf *src)
{
    static_assert(offsetof(DhcpPxeConf, szBootFile) == sizeof(DhcpServerConf),
                  "a PXE record begins with a subnet record");
    memcpy(dst, src, sizeof *src);
}

int quomoGetPxeBoot(const char *szTag, const char *szIfName, DhcpPxeConf *pConf,
                    DhcpPxeBoot *pBoot)
{
    if (!pConf || !szIfName || !szTag)
        return 0;

    char szConf[QUOMO_PATH_LEN];
    if (!quomoExistingFragment(szConf, szIfName, szTag))
        return 0;

    DhcpServerConf subnet;
    memset(&subnet, 0, sizeof subnet);
    int ok = quomoGetSubnet(szTag, szIfName, &subnet);
    copyToPxe(pConf, &subnet);
    if (!ok)
        return 0;

    memset(pConf->szBootFile, 0, sizeof pConf->szBootFile);
    DhcpPxeBoot boot;
    memset(&boot, 0, sizeof boot);
    std::string text;
    if (orvReadFile(szConf, text) != 1) {
        ORV_LOG("Failed to read file [%s].", szConf);
        return 0;
    }
    /* The tags were made of the names that name the fragment. */
    if (!readBootLines(text, PxeNames{szTag, szIfName}, pConf->szBootFile,
                       sizeof pConf->szBootFile, boot))
        return 0;
    readRangeOnly(szConf, boot);
    if (pBoot)
        *pBoot = boot;
    return 1;
}

int quomoSetPxe(const DhcpPxeConf *conf, int enable)
{
    if (!checkPxeRecords(conf, NULL))
        return 0;
    /* A caller that knows nothing of the boot settings keeps those on disk. */
    DhcpPxeConf old;
    DhcpPxeBoot kept;
    memset(&kept, 0, sizeof kept);
    char szConf[QUOMO_PATH_LEN];
    if (quomoSubnetPath(szConf, sizeof szConf, conf->szIfName, conf->szTag, "conf") &&
        access(szConf, F_OK) == 0 && !quomoGetPxeBoot(conf->szTag, conf->szIfName, &old, &kept))
        memset(&kept, 0, sizeof kept);
    return writePxe(*conf, &kept, enable);
}

int quomoGetPxe(const char *szTag, const char *szIfName, DhcpPxeConf *pConf)
{
    return quomoGetPxeBoot(szTag, szIfName, pConf, NULL);
}

bool quomoPxeVerify(const char *szRelPath, const std::string &content, char *szWhy, size_t cbWhy)
{
    if (strcmp(szRelPath, QUOMO_HISTORY_PXE_PATH) == 0) {
        if (content == "yes" || content == "no")
            return true;
        orvCopy(szWhy, cbWhy, "not yes or no");
        return false;
    }
    std::string ifName;
    if (!quomoParsePairName(szRelPath, &ifName, QUOMO_PXE_TAG)) {
        orvCopy(szWhy, cbWhy, "not a PXE subnet's file");
        return false;
    }
    size_t len = strlen(szRelPath);
    if (len > 5 && strcmp(szRelPath + len - 5, ".info") == 0)
        return quomoInfoVerify(content, szWhy, cbWhy);
    DhcpPxeConf conf;
    DhcpPxeBoot boot;
    if (quomoGetPxeBoot(QUOMO_PXE_TAG, ifName.c_str(), &conf, &boot) && ifName == conf.szIfName &&
        checkPxeRecords(&conf, &boot) && pxeFragment(conf, &boot) == content)
        return true;
    orvCopy(szWhy, cbWhy, "not a PXE subnet as this system writes it");
    return false;
}
