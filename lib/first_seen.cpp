/*
 * When each client was first seen (see first_seen.h).
 */
#include "first_seen.h"

#include <stdlib.h>
#include <string.h>

#include <new>
#include <string>
#include <unordered_map>

#include "orvath_common.h"
#include "quomodhcp_paths.h"
#include "vendor_registry.h"

struct QuomoFirstSeen {
    std::unordered_map<uint64_t, int64_t> seen;
};

static bool seenPath(char (&szPath)[QUOMO_PATH_LEN])
{
    return orvPath(szPath, sizeof szPath, "%s", QUOMO_FIRST_SEEN_PATH);
}

/* One line: its address and time; false for a line that is none. */
static bool parseLine(const char *line, size_t len, uint64_t *pMac, int64_t *pWhen)
{
    const char *blank = (const char *)memchr(line, ' ', len);
    if (!blank || blank - line >= QUOMO_IP_LEN)
        return false;
    char szMac[QUOMO_IP_LEN];
    memcpy(szMac, line, (size_t)(blank - line));
    szMac[blank - line] = '\0';
    char *end = NULL;
    long long when = strtoll(blank + 1, &end, 10);
    return quomoParseMac48(szMac, pMac) && end == line + len && when > 0 && (*pWhen = when, true);
}

/* Calls visit(mac, when, line, len) for each line of text that is one. */
template <class Visit> static void eachLine(const std::string &text, Visit visit)
{
    size_t start = 0;
    while (start < text.size()) {
        size_t nl = text.find('\n', start);
        size_t end = nl == std::string::npos ? text.size() : nl;
        uint64_t mac;
        int64_t when;
        if (parseLine(text.data() + start, end - start, &mac, &when))
            visit(mac, when, text.data() + start, end - start);
        start = end + 1;
    }
}

/* The lines to keep beside a new one: all but the oldest when full. */
static std::string keptLines(const std::string &text)
{
    size_t count = 0;
    eachLine(text, [&count](uint64_t, int64_t, const char *, size_t) { ++count; });
    size_t drop = count >= QUOMO_FIRST_SEEN_MAX ? count - QUOMO_FIRST_SEEN_MAX + 1 : 0;
    std::string kept;
    eachLine(text, [&kept, &drop](uint64_t, int64_t, const char *line, size_t len) {
        if (drop) {
            --drop;
            return;
        }
        kept.append(line, len);
        kept += '\n';
    });
    return kept;
}

/* "<mac> " as the file writes it: lower case, ":" between pairs, as the
 * lease log writes MAC addresses. */
static std::string lineStart(uint64_t mac)
{
    char sz[32];
    orvFormat(sz, sizeof sz, "%02x:%02x:%02x:%02x:%02x:%02x ", (unsigned)(mac >> 40) & 0xff,
              (unsigned)(mac >> 32) & 0xff, (unsigned)(mac >> 24) & 0xff, (unsigned)(mac >> 16) & 0xff,
              (unsigned)(mac >> 8) & 0xff, (unsigned)mac & 0xff);
    return sz;
}

int quomoFirstSeenNote(const char *szMac, int64_t now)
{
    char szPath[QUOMO_PATH_LEN];
    uint64_t mac;
    if (!seenPath(szPath) || !quomoParseMac48(szMac, &mac))
        return -1;
    std::string text;
    if (orvReadFile(szPath, text) < 0) {
        ORV_LOG("Can not read [%s]", szPath);
        return -1;
    }
    /* Every line is written as this one would be: a known address is found
     * by its text, without reading each line. */
    std::string line = lineStart(mac);
    if (text.compare(0, line.size(), line) == 0 || text.find("\n" + line) != std::string::npos)
        return 0;
    std::string kept = keptLines(text);
    kept += line + std::to_string((long long)now) + "\n";
    return orvReplaceFile(szPath, kept.data(), kept.size(), 0644) ? 1 : -1;
}

QuomoFirstSeen *quomoFirstSeenLoad(void)
{
    QuomoFirstSeen *pSeen = new (std::nothrow) QuomoFirstSeen();
    char szPath[QUOMO_PATH_LEN];
    std::string text;
    if (!pSeen || !seenPath(szPath) || orvReadFile(szPath, text) != 1)
        return pSeen;
    eachLine(text, [pSeen](uint64_t mac, int64_t when, const char *, size_t) { pSeen->seen.emplace(mac, when); });
    return pSeen;
}

int64_t quomoFirstSeenOf(const QuomoFirstSeen *pSeen, const char *szMac)
{
    uint64_t mac;
    if (!pSeen || !quomoParseMac48(szMac, &mac))
        return 0;
    auto found = pSeen->seen.find(mac);
    return found == pSeen->seen.end() ? 0 : found->second;
}

void quomoFirstSeenFree(QuomoFirstSeen *pSeen) { delete pSeen; }
