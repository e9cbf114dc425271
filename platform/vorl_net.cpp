/*
 * Network interfaces as the kernel lists them under <root>/sys/class/net,
 * their kinds and display names, and the subnet test.
 */
#include "vorl.h"

#include <arpa/inet.h>
#include <ctype.h>
#include <dirent.h>
#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <vector>

#include "orvath_common.h"

namespace {

const int NO_IFINDEX = 0; /* kernel indexes start at 1 */

/* A decimal number of at most 9 digits (no sign, no leading blanks) followed
 * by nothing or white space, into *value. False otherwise. */
bool parseSmallNumber(const char *text, size_t len, int *value)
{
    size_t digits = 0;
    int n = 0;
    while (digits < len && isdigit((unsigned char)text[digits])) {
        if (digits == 9)
            return false;
        n = n * 10 + (text[digits] - '0');
        ++digits;
    }
    if (digits == 0)
        return false;
    for (size_t i = digits; i < len; ++i) {
        if (!isspace((unsigned char)text[i]))
            return false;
    }
    *value = n;
    return true;
}

/* Reads a small number from <root>/sys/class/net/<name>/<entry>. */
bool readNumber(const char *name, const char *entry, int *value)
{
    char path[1024];
    if (!orvPath(path, sizeof path, "/sys/class/net/%s/%s", name, entry))
        return false;
    FILE *fp = fopen(path, "r");
    if (!fp)
        return false;
    char text[32];
    size_t n = fread(text, 1, sizeof text, fp);
    fclose(fp);
    return n < sizeof text && parseSmallNumber(text, n, value);
}

bool hasEntry(const char *name, const char *entry)
{
    char path[1024];
    struct stat st;
    return orvPath(path, sizeof path, "/sys/class/net/%s/%s", name, entry) &&
           stat(path, &st) == 0;
}

/* An interface name that can be used as one path component. */
bool isPlainName(const char *name)
{
    return name && *name && strlen(name) < sizeof(((VORL_NETIF *)0)->szName) &&
           !strchr(name, '/') && strcmp(name, ".") != 0 && strcmp(name, "..") != 0;
}

struct Entry {
    std::string name;
    int ifIndex;
};

/* When name is prefix followed by a decimal number n (digits only, no
 * leading zero), n + 1 into *next. */
bool numberedName(const char *name, const char *prefix, long *next)
{
    size_t len = strlen(prefix);
    if (strncmp(name, prefix, len) != 0)
        return false;
    const char *digits = name + len;
    size_t n = strlen(digits);
    if (n == 0 || n > 9 || (digits[0] == '0' && n > 1))
        return false;
    long value = 0;
    for (size_t i = 0; i < n; ++i) {
        if (!isdigit((unsigned char)digits[i]))
            return false;
        value = value * 10 + (digits[i] - '0');
    }
    *next = value + 1;
    return true;
}

} // namespace

int VORLNetGetInterfaceInfo(VORL_NETIF *pIf, int nMax, int selector)
{
    if (!pIf || nMax <= 0 || selector != 2) {
        ORV_LOG("Invalid argument to VORLNetGetInterfaceInfo (max %d, selector %d)", nMax,
                selector);
        VORLCErrSet(VORL_ERR_BAD_ARGUMENT);
        return -1;
    }
    char dirPath[1024];
    if (!orvPath(dirPath, sizeof dirPath, "/sys/class/net")) {
        ORV_LOG("Path of the interface list too long");
        return -1;
    }
    DIR *dir = opendir(dirPath);
    if (!dir) {
        ORV_LOG("Failed to open [%s]: %s", dirPath, strerror(errno));
        return -1;
    }
    std::vector<Entry> found;
    struct dirent *de;
    while ((de = readdir(dir)) != NULL) {
        if (de->d_name[0] == '.')
            continue;
        if (!isPlainName(de->d_name)) {
            ORV_LOG("Interface name [%s] too long, skipped", de->d_name);
            continue;
        }
        /* Interfaces are directories (links to them in the real /sys);
         * plain files such as bonding_masters are not interfaces. */
        std::string path = std::string(dirPath) + "/" + de->d_name;
        struct stat st;
        if (stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
            continue;
        int index = NO_IFINDEX;
        if (!readNumber(de->d_name, "ifindex", &index))
            index = NO_IFINDEX;
        found.push_back({de->d_name, index});
    }
    closedir(dir);

    /* By ifindex; interfaces without one after the others; ties by name. */
    std::sort(found.begin(), found.end(), [](const Entry &a, const Entry &b) {
        bool knownA = a.ifIndex != NO_IFINDEX, knownB = b.ifIndex != NO_IFINDEX;
        if (knownA != knownB)
            return knownA;
        if (a.ifIndex != b.ifIndex)
            return a.ifIndex < b.ifIndex;
        return a.name < b.name;
    });
    int count = 0;
    for (const Entry &e : found) {
        if (count >= nMax)
            break;
        memset(&pIf[count], 0, sizeof pIf[count]);
        orvCopy(pIf[count].szName, sizeof pIf[count].szName, e.name.c_str());
        pIf[count].ifIndex = e.ifIndex;
        ++count;
    }
    return count;
}

int QUOMONetIsSameSubnet(const char *szIp, const char *szOther, const char *szMask)
{
    struct in_addr ip, other, mask;
    if (!szIp || !szOther || !szMask || inet_pton(AF_INET, szIp, &ip) != 1 ||
        inet_pton(AF_INET, szOther, &other) != 1 || inet_pton(AF_INET, szMask, &mask) != 1)
        return -1;
    return (ip.s_addr & mask.s_addr) == (other.s_addr & mask.s_addr) ? 1 : 0;
}

namespace SDK {
namespace Network {

int GetIfType(const char *szName, void *reserved)
{
    (void)reserved;
    if (!isPlainName(szName))
        return 9;
    if (hasEntry(szName, "wireless") || hasEntry(szName, "phy80211"))
        return 8;
    if (hasEntry(szName, "bridge"))
        return 4;
    if (hasEntry(szName, "bonding"))
        return 3;
    int type = -1;
    if (readNumber(szName, "type", &type)) {
        if (type == 772)
            return 1;
        if (type == 1)
            return 0;
    }
    return 9;
}

int GetIfName(const char *szName, std::string &display)
{
    if (!szName)
        return -1;
    long next = 0;
    if (numberedName(szName, "eth", &next))
        display = "LAN " + std::to_string(next);
    else if (numberedName(szName, "bond", &next))
        display = "Bond " + std::to_string(next);
    else
        display = szName;
    return 0;
}

} // namespace Network
} // namespace SDK
