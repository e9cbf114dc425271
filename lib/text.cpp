/*
 * Bounded numbers, fields and the library's own refusals (see text.h).
 */
#include "text.h"

#include <ctype.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>

#include "orvath_common.h"

int32_t quomoParseInt32(const char *szText)
{
    long long value = szText ? strtoll(szText, NULL, 10) : 0;
    if (value > INT32_MAX)
        return INT32_MAX;
    if (value < INT32_MIN)
        return INT32_MIN;
    return (int32_t)value;
}

int quomoSplitFields(const char *text, size_t len, const char *szDelims, QuomoField *fields,
                     int max)
{
    int count = 0;
    size_t start = 0;
    size_t nDelims = strlen(szDelims);
    /* Several delimiters: looked up in a table, once per character. */
    bool isDelim[256] = {false};
    for (size_t i = 0; i < nDelims; ++i)
        isDelim[(unsigned char)szDelims[i]] = true;
    for (;;) {
        size_t end = start;
        if (nDelims == 1) {
            const void *at = memchr(text + start, szDelims[0], len - start);
            end = at ? (size_t)((const char *)at - text) : len;
        } else {
            while (end < len && !isDelim[(unsigned char)text[end]])
                ++end;
        }
        if (count < max)
            fields[count] = QuomoField{text + start, end - start};
        if (count < INT_MAX)
            ++count;
        if (end == len)
            return count;
        start = end + 1;
    }
}

int quomoSplitBlanks(const char *text, size_t len, QuomoField *fields, int max)
{
    return quomoSplitFields(text, len, " ", fields, max);
}

void quomoCopyField(char *buf, size_t size, QuomoField field)
{
    size_t n = field.n < size - 1 ? field.n : size - 1;
    memcpy(buf, field.p, n);
    buf[n] = '\0';
}

bool quomoFieldIpv4(QuomoField field, uint32_t *pAddr)
{
    /* Four decimal parts of at most 255 without leading zeros, nothing else;
     * a NUL byte ends the text as it ends inet_pton's. */
    const char *p = field.p, *end = field.p + field.n;
    uint32_t addr = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0 && (p == end || *p++ != '.'))
            return false;
        unsigned value = p < end ? (unsigned)(*p - '0') : 10;
        if (value > 9)
            return false;
        ++p;
        for (int digits = 1; p < end && (unsigned)(*p - '0') <= 9; ++digits, ++p) {
            if (value == 0 || digits == 3)
                return false;
            value = value * 10 + (unsigned)(*p - '0');
        }
        if (value > 255)
            return false;
        addr = addr << 8 | value;
    }
    if (p != end && *p != '\0')
        return false;
    *pAddr = addr;
    return true;
}

int quomoAddressFinish(QuomoAddressList *pList)
{
    if (pList->count > pList->max)
        return pList->count;
    uint32_t *end = pList->pAddrs + pList->count;
    std::sort(pList->pAddrs, end);
    return (int)(std::unique(pList->pAddrs, end) - pList->pAddrs);
}

int32_t quomoFieldInt32(QuomoField field)
{
    /* As quomoParseInt32 reads the field's copy (cut to QUOMO_VALUE_LEN - 1
     * bytes), read in place: it is asked for every record of a lease log. */
    const char *p = field.p;
    const char *end = p + (field.n < QUOMO_VALUE_LEN - 1 ? field.n : QUOMO_VALUE_LEN - 1);
    while (p < end && isspace((unsigned char)*p))
        ++p;
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-'))
        negative = *p++ == '-';
    long long value = 0;
    for (; p < end && *p >= '0' && *p <= '9'; ++p)
        if (value <= (long long)INT32_MAX + 1) /* past the range it stays past it */
            value = value * 10 + (*p - '0');
    if (negative)
        value = -value;
    if (value > INT32_MAX)
        return INT32_MAX;
    if (value < INT32_MIN)
        return INT32_MIN;
    return (int32_t)value;
}

const char *quomoNameFault(const char *name)
{
    if (!name || name[0] == '\0')
        return "empty";
    if (strchr(name, '/'))
        return "contains \"/\"";
    if (name[0] == '.')
        return "begins with \".\"";
    /* The start-up script and dhcp_release take it as an argument. */
    if (name[0] == '-')
        return "begins with \"-\"";
    return NULL;
}

int quomoCheckText(const char *szField, const char *text, size_t width)
{
    if (!memchr(text, '\0', width)) {
        ORV_LOG("Invalid parameter %s: not terminated within %zu bytes", szField, width);
        return 0;
    }
    if (strpbrk(text, "\r\n")) {
        ORV_LOG("Invalid parameter %s: contains a line break", szField);
        return 0;
    }
    return 1;
}

int quomoCheckName(const char *szField, const char *name, size_t width)
{
    if (!quomoCheckText(szField, name, width))
        return 0;
    const char *fault = quomoNameFault(name);
    if (fault) {
        ORV_LOG("Invalid parameter %s: %s", szField, fault);
        return 0;
    }
    return 1;
}

std::string quomoKeyValue(const std::string &text, const char *szKey)
{
    size_t keyLen = strlen(szKey);
    for (size_t at = 0; at < text.size();) {
        size_t nl = text.find('\n', at);
        size_t end = nl == std::string::npos ? text.size() : nl;
        if (end > at && text[end - 1] == '\r')
            --end;
        if (end - at > keyLen && text.compare(at, keyLen, szKey) == 0 && text[at + keyLen] == '=') {
            std::string value = text.substr(at + keyLen + 1, end - at - keyLen - 1);
            if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
                value = value.substr(1, value.size() - 2);
            return value;
        }
        if (nl == std::string::npos)
            break;
        at = nl + 1;
    }
    return "";
}
