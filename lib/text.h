/*
 * Texts as the library's files hold them: bounded numbers, fields of a line
 * split in place, and the refusal of texts and names that could not be
 * written safely. Depends on the common helpers only, so that the lease hook
 * can compile it in. Not exported.
 */
#ifndef QUOMODHCP_TEXT_H
#define QUOMODHCP_TEXT_H

#include <stddef.h>
#include <stdint.h>

#define QUOMO_VALUE_LEN 1024 /* values and lines read from the files */

/* A decimal number read like strtol in base 10 (NULL or no digits: 0), held
 * to the 32-bit range: a larger value in a file must not wrap around. */
int32_t quomoParseInt32(const char *szText);

/* One field of a line, in place. */
typedef struct QuomoField {
    const char *p;
    size_t n;
} QuomoField;
/* Splits text[0 .. len-1] at every character of szDelims, keeping empty
 * fields, without copying them; fills at most max fields and returns the
 * number of fields there are. */
int quomoSplitFields(const char *text, size_t len, const char *szDelims, QuomoField *fields,
                     int max);
/* quomoSplitFields at blanks. */
int quomoSplitBlanks(const char *text, size_t len, QuomoField *fields, int max);
/* Copies a field into buf, cut to size-1 characters. */
void quomoCopyField(char *buf, size_t size, QuomoField field);
/* The field as a number, as quomoParseInt32 reads it. */
int32_t quomoFieldInt32(QuomoField field);
/* The field (up to a NUL byte in it) as a dotted IPv4 address, read as
 * inet_pton reads one, into *pAddr in host byte order; false when it is not
 * one. Read in place: it is asked for every line of the large lists. */
bool quomoFieldIpv4(QuomoField field, uint32_t *pAddr);
/* A list of addresses gathered into the caller's room: add() keeps each
 * address while there is room and counts all; finish() sorts what it kept
 * and keeps each once. */
typedef struct QuomoAddressList {
    uint32_t *pAddrs;
    int max;
    int count;
} QuomoAddressList;
static inline void quomoAddressAdd(QuomoAddressList *pList, uint32_t addr)
{
    if (pList->count < pList->max)
        pList->pAddrs[pList->count] = addr;
    if (pList->count < INT32_MAX)
        ++pList->count;
}
/* The number of distinct addresses when they all had room; more than max
 * (how many were found) when they had not. */
int quomoAddressFinish(QuomoAddressList *pList);

/* Why an interface name or tag cannot name files in the directory or be
 * handed to a program as an argument (empty, contains "/", begins with "."
 * or "-"), or NULL when it can. */
const char *quomoNameFault(const char *name);
/* Refuses text that could not be written safely: a field not terminated
 * within its width, or holding a line break (it would add lines to the
 * fragment). Logs the fault and returns 0; 1 when the text is fine. */
int quomoCheckText(const char *szField, const char *text, size_t width);
/* quomoCheckText, and refuses a name that quomoNameFault finds fault with. */
int quomoCheckName(const char *szField, const char *name, size_t width);

#ifdef __cplusplus
#include <string>
/* The value of the first line key=value (or key="value", the quotes
 * dropped) of a settings text; "" when no line has the key. */
std::string quomoKeyValue(const std::string &text, const char *szKey);
#include <stdio.h>
#include <stdlib.h>
#include <sys/types.h>
/* Hands each line of text to line(const std::string &) without its "\n". */
template <class Line> void quomoEachLine(const std::string &text, Line line)
{
    size_t start = 0;
    while (start < text.size()) {
        size_t nl = text.find('\n', start);
        line(text.substr(start, nl == std::string::npos ? nl : nl - start));
        start = nl == std::string::npos ? text.size() : nl + 1;
    }
}
/* Reads the open file a line at a time (it may be large), handing each to
 * line(text, length) without its "\n", and closes it. False when reading
 * failed. */
template <class Line> bool quomoReadLines(FILE *file, Line line)
{
    char *text = NULL;
    size_t cap = 0;
    ssize_t len;
    while ((len = getline(&text, &cap, file)) >= 0)
        line(text, len > 0 && text[len - 1] == '\n' ? (size_t)len - 1 : (size_t)len);
    bool failed = ferror(file) != 0;
    free(text);
    fclose(file);
    return !failed;
}
#endif

#endif /* QUOMODHCP_TEXT_H */
