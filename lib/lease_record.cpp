/*
 * The lease-log record (see lease_record.h).
 */
#include "lease_record.h"

#include <string.h>

#include "orvath_common.h"

enum { RECORD_MAX_FIELDS = 6 };

static char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? (char)(c - 'A' + 'a') : c; }

int quomoParseLeaseRecord(const char *text, size_t len, QuomoLeaseRecord *pRecord)
{
    QuomoField f[RECORD_MAX_FIELDS];
    int count = quomoSplitBlanks(text, strnlen(text, len), f, RECORD_MAX_FIELDS);
    if (count != 4 && count != 5)
        return 0;
    pRecord->expiry = f[0];
    pRecord->mac = f[1];
    pRecord->ip = f[2];
    pRecord->host = count == 5 ? f[3] : QuomoField{"", 0};
    pRecord->ifName = f[count - 1];
    return 1;
}

QuomoField quomoLineMac(const char *text, size_t len)
{
    /* Called for every line of a log at every lease event: only the first
     * two fields are looked at, and a NUL byte before their end cuts the
     * line there as it cuts a C string. */
    const char *first = (const char *)memchr(text, ' ', len);
    if (!first)
        return QuomoField{"", 0};
    const char *mac = first + 1;
    const char *second = (const char *)memchr(mac, ' ', len - (size_t)(mac - text));
    size_t end = second ? (size_t)(second - text) : len;
    const char *nul = (const char *)memchr(text, '\0', end);
    if (nul && nul < mac)
        return QuomoField{"", 0};
    return QuomoField{mac, (size_t)((nul ? nul : text + end) - mac)};
}

/* Appends a field up to a NUL byte in it, as "%.*s" would. */
static bool appendField(char *buf, size_t size, size_t &len, QuomoField field)
{
    size_t n = strnlen(field.p, field.n);
    if (n >= size - len)
        return false;
    memcpy(buf + len, field.p, n);
    len += n;
    return true;
}

int quomoFormatLeaseRecord(char *buf, size_t size, unsigned long expiry, QuomoField mac,
                           QuomoField ip, QuomoField host, QuomoField ifName)
{
    /* "<expiry> <mac> <ip> <host> <ifName>", put together by hand: it is
     * written for every lease at every refresh. */
    if (size == 0)
        return 0;
    char digits[24];
    size_t nDigits = 0;
    do {
        digits[nDigits++] = (char)('0' + expiry % 10);
        expiry /= 10;
    } while (expiry);
    size_t len = 0;
    bool fits = nDigits < size;
    for (size_t i = 0; fits && i < nDigits; ++i)
        buf[len++] = digits[nDigits - 1 - i];
    const QuomoField fields[] = {mac, ip, host, ifName};
    for (const QuomoField &field : fields)
        fits = fits && appendField(buf, size, len, QuomoField{" ", 1}) &&
               appendField(buf, size, len, field);
    buf[len] = '\0'; /* what fitted, for the log */
    return fits && len <= QUOMO_RECORD_LEN;
}

bool quomoSameMac(QuomoField a, QuomoField b)
{
    if (a.n != b.n)
        return false;
    /* From the end: two addresses of one maker differ there. */
    for (size_t i = a.n; i-- > 0;)
        if (lowerAscii(a.p[i]) != lowerAscii(b.p[i]))
            return false;
    return true;
}

std::string quomoMacKey(const char *szMac, size_t len)
{
    std::string key(szMac, len);
    for (char &c : key)
        c = lowerAscii(c);
    return key;
}

QuomoField quomoTextField(const char *text) { return QuomoField{text, strlen(text)}; }
