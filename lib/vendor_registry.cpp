/*
 * The makers of network cards (see vendor_registry.h).
 *
 * The index file, in native byte order, every field read with memcpy (the
 * appliance is 32-bit; nothing is assumed aligned):
 *   IndexHeader (128 bytes)
 *   uint64 entries[count[0]]  36-bit blocks  } entry = prefix << 24 | name offset,
 *   uint64 entries[count[1]]  28-bit blocks  } sorted, each prefix once
 *   uint64 entries[count[2]]  24-bit blocks  }
 *   char   names[namesSize]   "\0", then each distinct name once, NUL-terminated
 */
#include "vendor_registry.h"

#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include <algorithm>
#include <new>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "orvath_common.h"
#include "quomodhcp_paths.h"

static const char kMagic[8] = {'M', 'A', 'C', 'V', 'N', 'D', 'X', '1'};
static const uint32_t kVersion = 1;

struct RegistrySource {
    const char *file;
    const char *registry; /* the first column's value */
    unsigned hexDigits;   /* the length of the block's prefix */
    unsigned section;     /* 0: 36-bit, 1: 28-bit, 2: 24-bit */
};
/* The old 36-bit blocks of iab.csv never repeat one of oui36.csv: they
 * share its section. */
static const RegistrySource kSources[] = {
    {"oui.csv", "MA-L", 6, 2},
    {"mam.csv", "MA-M", 7, 1},
    {"oui36.csv", "MA-S", 9, 0},
    {"iab.csv", "IAB", 9, 0},
};
#define SOURCE_COUNT 4
static const unsigned kBits[3] = {36, 28, 24};

/* What tells a changed registry file: -1 size when it is absent. */
struct SourceStamp {
    int64_t size;
    int64_t mtimeSec;
    int64_t mtimeNsec;
};

struct IndexHeader {
    char magic[8];
    uint32_t version;
    uint32_t headerSize;
    SourceStamp stamps[SOURCE_COUNT];
    uint32_t count[3];
    uint32_t namesSize;
};
static_assert(sizeof(IndexHeader) == 128, "the index header's layout");

struct QuomoVendors {
    OrvMapping mapping; /* the index file, or nothing when image holds it */
    std::string image;  /* an index built but not written */
    const unsigned char *base;
    size_t size;
    IndexHeader header;
    size_t sectionAt[3];
    size_t namesAt;
};

const char *quomoRegistryDir(void)
{
    const char *dir = getenv("ORVATH_IEEE_DATA_DIR");
    return dir && dir[0] ? dir : "/usr/share/ieee-data";
}

static SourceStamp stampOf(const std::string &path)
{
    struct stat st;
    if (stat(path.c_str(), &st) != 0)
        return {-1, 0, 0};
    return {(int64_t)st.st_size, (int64_t)st.st_mtim.tv_sec, (int64_t)st.st_mtim.tv_nsec};
}

static std::string sourcePath(unsigned s) { return std::string(quomoRegistryDir()) + "/" + kSources[s].file; }

/* ---- reading the registry ---- */

static int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

static bool parseHex(std::string_view s, unsigned digits, uint64_t &out)
{
    if (s.size() != digits)
        return false;
    uint64_t v = 0;
    for (char c : s) {
        int d = hexDigit(c);
        if (d < 0)
            return false;
        v = v << 4 | (unsigned)d;
    }
    out = v;
    return true;
}

static std::string_view trimBlanks(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

/* One field at i: quoted ones may hold ',', line breaks and "" for a quote.
 * Only the first three fields are kept (dst NULL for the others). False on a
 * quote that never closes. */
static bool readField(std::string_view text, size_t &i, std::string *dst)
{
    size_t n = text.size();
    if (i < n && text[i] == '"') {
        for (++i;; ++i) {
            if (i >= n)
                return false;
            if (text[i] == '"') {
                if (i + 1 < n && text[i + 1] == '"') {
                    ++i;
                } else {
                    ++i;
                    break;
                }
            }
            if (dst)
                dst->push_back(text[i]);
        }
    }
    size_t start = i;
    while (i < n && text[i] != ',' && text[i] != '\n' && text[i] != '\r')
        ++i;
    if (dst)
        dst->append(text.data() + start, i - start);
    return true;
}

/* One record at i into fields[0..2]; the number of fields it had, or -1. */
static int readRecord(std::string_view text, size_t &i, std::string (&fields)[3])
{
    for (std::string &f : fields)
        f.clear();
    int count = 0;
    for (;;) {
        if (!readField(text, i, count < 3 ? &fields[count] : NULL))
            return -1;
        ++count;
        if (i < text.size() && text[i] == ',') {
            ++i;
            continue;
        }
        if (i < text.size() && text[i] == '\r')
            ++i;
        if (i < text.size() && text[i] == '\n')
            ++i;
        return count;
    }
}

struct IndexBuild {
    std::vector<uint64_t> section[3];
    std::string names;
    std::unordered_map<std::string, uint32_t> nameAt;
};

static uint32_t nameOffset(IndexBuild &b, std::string_view name)
{
    std::string key(name);
    auto found = b.nameAt.find(key);
    if (found != b.nameAt.end())
        return found->second;
    uint32_t at = (uint32_t)b.names.size();
    b.names.append(key);
    b.names.push_back('\0');
    b.nameAt.emplace(std::move(key), at);
    return at;
}

/* A block the registry handed on in smaller pieces names no maker: an
 * address there without a smaller block has none known. */
static bool namesMaker(std::string_view name)
{
    return !name.empty() && name != "IEEE Registration Authority";
}

static bool indexSource(IndexBuild &b, const RegistrySource &src, std::string_view text)
{
    std::string fields[3];
    size_t i = 0;
    bool header = true;
    while (i < text.size()) {
        int count = readRecord(text, i, fields);
        if (count < 0)
            return false;
        uint64_t prefix;
        if (header || count < 3 || fields[0] != src.registry ||
            !parseHex(fields[1], src.hexDigits, prefix)) {
            header = false;
            continue;
        }
        std::string_view name = trimBlanks(fields[2]);
        if (namesMaker(name))
            b.section[src.section].push_back(prefix << 24 | nameOffset(b, name));
    }
    return true;
}

/* Sorted by prefix; of a prefix listed twice the first row in file order
 * stays. */
static void sortSection(std::vector<uint64_t> &section)
{
    auto prefixLess = [](uint64_t a, uint64_t b) { return (a >> 24) < (b >> 24); };
    auto samePrefix = [](uint64_t a, uint64_t b) { return (a >> 24) == (b >> 24); };
    std::stable_sort(section.begin(), section.end(), prefixLess);
    section.erase(std::unique(section.begin(), section.end(), samePrefix), section.end());
}

static void appendBytes(std::string &out, const void *p, size_t n)
{
    out.append((const char *)p, n);
}

/* The index file's bytes for the registry as it is now. False when a file
 * cannot be read or parsed (logged). */
static bool buildImage(std::string &image)
{
    IndexBuild b;
    b.names.assign(1, '\0');
    IndexHeader h;
    memset(&h, 0, sizeof h);
    for (unsigned s = 0; s < SOURCE_COUNT; ++s) {
        std::string path = sourcePath(s), text;
        h.stamps[s] = stampOf(path);
        if (h.stamps[s].size < 0)
            continue;
        if (orvReadFile(path.c_str(), text) != 1 || !indexSource(b, kSources[s], text)) {
            ORV_LOG("Can not read the MAC address registry [%s]", path.c_str());
            return false;
        }
    }
    if (b.names.size() >= (1u << 24))
        return false;
    memcpy(h.magic, kMagic, sizeof kMagic);
    h.version = kVersion;
    h.headerSize = sizeof h;
    for (unsigned k = 0; k < 3; ++k) {
        sortSection(b.section[k]);
        h.count[k] = (uint32_t)b.section[k].size();
    }
    h.namesSize = (uint32_t)b.names.size();
    image.clear();
    appendBytes(image, &h, sizeof h);
    for (const std::vector<uint64_t> &section : b.section)
        appendBytes(image, section.data(), section.size() * sizeof(uint64_t));
    image += b.names;
    return true;
}

/* ---- the index ---- */

static bool indexPath(char (&szPath)[QUOMO_PATH_LEN])
{
    return orvPath(szPath, sizeof szPath, "%s", QUOMO_VENDOR_INDEX_PATH);
}

static bool validIndex(QuomoVendors &v)
{
    if (!v.base || v.size < sizeof(IndexHeader))
        return false;
    memcpy(&v.header, v.base, sizeof v.header);
    const IndexHeader &h = v.header;
    if (memcmp(h.magic, kMagic, sizeof kMagic) != 0 || h.version != kVersion ||
        h.headerSize != sizeof h)
        return false;
    uint64_t at = sizeof h;
    for (unsigned k = 0; k < 3; ++k) {
        v.sectionAt[k] = (size_t)at;
        at += (uint64_t)h.count[k] * 8;
    }
    v.namesAt = (size_t)at;
    return at + h.namesSize == v.size && h.namesSize > 0 && v.base[v.size - 1] == '\0';
}

static bool staleIndex(const QuomoVendors &v)
{
    for (unsigned s = 0; s < SOURCE_COUNT; ++s) {
        SourceStamp now = stampOf(sourcePath(s));
        const SourceStamp &was = v.header.stamps[s];
        if (now.size != was.size || now.mtimeSec != was.mtimeSec || now.mtimeNsec != was.mtimeNsec)
            return true;
    }
    return false;
}

static bool mapIndex(QuomoVendors &v, const char *szPath)
{
    if (orvMapFile(szPath, &v.mapping) != 1)
        return false;
    v.base = (const unsigned char *)v.mapping.data;
    v.size = v.mapping.size;
    if (validIndex(v) && !staleIndex(v))
        return true;
    orvUnmapFile(&v.mapping);
    v.base = NULL;
    v.size = 0;
    return false;
}

/* Builds the index and keeps it for the next process; when it cannot be
 * written this process still uses what it built. */
static bool rebuildIndex(QuomoVendors &v, const char *szPath)
{
    if (!buildImage(v.image))
        return false;
    std::string dir(szPath, strrchr(szPath, '/') - szPath);
    if (!orvMakeDirs(dir.c_str(), 0755) ||
        !orvReplaceFile(szPath, v.image.data(), v.image.size(), 0644))
        ORV_LOG("The MAC address index is used without being kept [%s]", szPath);
    v.base = (const unsigned char *)v.image.data();
    v.size = v.image.size();
    return validIndex(v);
}

QuomoVendors *quomoVendorsOpen(void)
{
    QuomoVendors *v = new (std::nothrow) QuomoVendors();
    char szPath[QUOMO_PATH_LEN];
    if (!v || !indexPath(szPath))
        return v;
    if (!mapIndex(*v, szPath) && !rebuildIndex(*v, szPath)) {
        v->base = NULL;
        v->size = 0;
    }
    return v;
}

void quomoVendorsClose(QuomoVendors *pVendors)
{
    if (!pVendors)
        return;
    if (pVendors->mapping.data)
        orvUnmapFile(&pVendors->mapping);
    delete pVendors;
}

/* ---- lookup ---- */

bool quomoParseMac48(const char *szMac, uint64_t *pMac)
{
    uint64_t v = 0;
    int digits = 0;
    for (const char *p = szMac; p && *p; ++p) {
        if (*p == ':' || *p == '-' || *p == '.')
            continue;
        int d = hexDigit(*p);
        if (d < 0 || ++digits > 12)
            return false;
        v = v << 4 | (unsigned)d;
    }
    *pMac = v;
    return digits == 12;
}

/* The name of the block with this prefix in section k, or NULL. */
static const char *findBlock(const QuomoVendors &v, unsigned k, uint64_t key)
{
    const unsigned char *section = v.base + v.sectionAt[k];
    size_t lo = 0, hi = v.header.count[k];
    while (lo < hi) {
        size_t mid = lo + (hi - lo) / 2;
        uint64_t e;
        memcpy(&e, section + mid * 8, 8);
        if ((e >> 24) == key) {
            uint32_t at = (uint32_t)(e & 0xFFFFFF);
            return at < v.header.namesSize ? (const char *)v.base + v.namesAt + at : NULL;
        }
        if ((e >> 24) < key)
            lo = mid + 1;
        else
            hi = mid;
    }
    return NULL;
}

int quomoVendorOf(const QuomoVendors *pVendors, const char *szMac, char *szVendor, size_t size)
{
    uint64_t mac;
    if (szVendor && size)
        szVendor[0] = '\0';
    if (!quomoParseMac48(szMac, &mac))
        return -1;
    /* Locally administered: chosen by the device (a phone's private
     * address), so its block says nothing of the maker. */
    if ((mac >> 40) & 0x02)
        return 2;
    if (!pVendors || !pVendors->base)
        return 0;
    for (unsigned k = 0; k < 3; ++k) {
        const char *name = findBlock(*pVendors, k, mac >> (48 - kBits[k]));
        if (name && name[0]) {
            if (szVendor && size)
                orvCopy(szVendor, size, name);
            return 1;
        }
    }
    return 0;
}
