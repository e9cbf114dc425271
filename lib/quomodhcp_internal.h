/*
 * Helpers shared by the sources of libquomodhcp; not exported.
 *
 * A subnet lives in two files under /etc/dhcpd: the fragment
 * dhcpd-<ifName>-<tag>.conf (dnsmasq option lines) and the settings file
 * dhcpd-<ifName>-<tag>.info (enable="yes" or "no"). Ordinary subnets are
 * numbered: their tag is the interface name followed by the index.
 */
#ifndef QUOMODHCP_INTERNAL_H
#define QUOMODHCP_INTERNAL_H

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#include "quomodhcp.h"
#include "vorl.h"

#define QUOMO_DHCPD_DIR "/etc/dhcpd"
#define QUOMO_STATIC_LIST QUOMO_DHCPD_DIR "/dhcpdStatic.ori" /* the reservation list */
#define QUOMO_WALK_PATH_LEN 4096 /* paths of the numbered-file walks */
#define QUOMO_VALUE_LEN 1024     /* values and lines read from the files */
#define QUOMO_LIST_SIZE 512      /* capacity hint of the string lists */
#define QUOMO_INFO_FORMAT "%s=\"%s\"\n"

/* A string list for splitting a line; logs "Failed to alloc memory." and
 * returns NULL when there is no memory. Freed with VORLCSzListFree. */
PVORL_SZLIST quomoListAlloc(void);

/* A decimal number read like strtol in base 10 (NULL or no digits: 0), held
 * to the 32-bit range: a larger value in a file must not wrap around. */
int32_t quomoParseInt32(const char *szText);

/* One field of a line, in place. */
typedef struct QuomoField {
    const char *p;
    size_t n;
} QuomoField;
/* Splits text[0 .. len-1] at every character of szDelims, keeping empty
 * fields as VORLCStrSep does, without copying them; fills at most max fields
 * and returns the number of fields there are. */
int quomoSplitFields(const char *text, size_t len, const char *szDelims, QuomoField *fields,
                     int max);
/* Copies a field into buf, cut to size-1 characters. */
void quomoCopyField(char *buf, size_t size, QuomoField field);

/* 1 when szMac is one of the reserved MAC addresses (letter case aside); an
 * empty MAC address never is. */
int quomoIsReserved(const QuomoReserved *pReserved, const char *szMac);

/* <root>/etc/dhcpd/dhcpd-<ifName>-<tag>.<ext>. False when it did not fit. */
int quomoSubnetPath(char *buf, size_t size, const char *szIfName, const char *szTag,
                    const char *ext);
/* <root>/etc/dhcpd/dhcpd-<ifName>-<ifName><index>.<ext>, a numbered subnet. */
int quomoNumberedPath(char *buf, size_t size, const char *szIfName, int index, const char *ext);
/* <root>/etc/dhcpd/dhcpdStatic.ori into szPath (QUOMO_PATH_LEN bytes); logs
 * "Path too long" and returns 0 when it did not fit. */
int quomoStaticListPath(char *szPath);

/* mkdir -p <root>/etc/dhcpd; logs "Failed to mkdir [...]" and returns 0 on
 * failure. */
int quomoMakeDhcpdDir(void);

/* Creates the fragment and then the settings file, empty when missing; logs
 * "File [...] touch failed." for the first that cannot be created and
 * returns 0. */
int quomoTouchPair(const char *szConf, const char *szInfo);

/* Writes the lines of a placeholder subnet of one loopback address tagged
 * name into the fragment szConf: interface=name, its dhcp-range, router and
 * dns-server lines. 1 when every line was written. */
int quomoWriteLoopbackSubnet(const char *szConf, const char *name);

/* Names the subnet's fragment in szConf (QUOMO_PATH_LEN bytes); 1 when it
 * exists, else logs "File [...] does not exist." and returns 0. */
int quomoExistingFragment(char *szConf, const char *szIfName, const char *szTag);

/* 1 when the settings file's "enable" reads exactly "yes" (without quotes);
 * 0 when it says anything else, lacks the key or does not exist. */
int quomoInfoEnabled(const char *szInfoPath);

/* The text fields of a subnet that go into its fragment, whichever record
 * they come from (DhcpServerConf, or the same leading fields of DhcpPxeConf). */
typedef struct QuomoSubnetView {
    int32_t leaseTime;
    const char *szStartIp;
    const char *szEndIp;
    const char *szIfName;
    const char *szDomain;
    const char *szPrimaryDns;
    const char *szSecondaryDns;
    const char *szNetmask;
    const char *szGateway;
    const char *szTag;
} QuomoSubnetView;

/* Why an interface name or tag cannot name files in the directory (empty,
 * contains "/", begins with "."), or NULL when it can. */
const char *quomoNameFault(const char *name);
/* Refuses text that could not be written safely: a field not terminated
 * within its width, or holding a line break (it would add lines to the
 * fragment). Logs the fault and returns 0; 1 when the text is fine. */
int quomoCheckText(const char *szField, const char *text, size_t width);
/* quomoCheckText, and refuses an interface name or tag that quomoNameFault
 * finds fault with (it would name a file outside the directory). */
int quomoCheckName(const char *szField, const char *name, size_t width);

/* Both files of one subnet being written: the settings file is open and holds
 * its enable line. */
typedef struct QuomoSubnetWrite {
    FILE *info;
    char szInfoPath[QUOMO_PATH_LEN];
    char szConfPath[QUOMO_PATH_LEN];
} QuomoSubnetWrite;

/* Creates the directory, opens the settings file (truncating it) and writes
 * enable="yes" or "no". Logs and returns 0 on failure, with nothing written.
 * The caller has checked the record's text (quomoCheckSubnetRecord). */
int quomoBeginSubnetWrite(QuomoSubnetWrite *w, const QuomoSubnetView *v, int enable);
/* Rewrites the fragment with the subnet's lines (interface, range, router,
 * domain, DNS servers). Logs and returns 0 when it cannot be opened. */
int quomoWriteSubnetFragment(const QuomoSubnetWrite *w, const QuomoSubnetView *v);
/* Closes a file that was written. A write that did not reach the file (disk
 * full, I/O error) must not pass for success: logs "Failed to write file"
 * and returns 0. */
int quomoCloseWritten(FILE *fp, const char *szPath);
/* Logs a fragment that could not be opened for the subnet of szIfName. */
void quomoLogFragmentFailure(const char *szConfPath, const char *szIfName);
/* Closes the settings file; returns result, or 0 when the settings file was
 * not written whole. */
int quomoEndSubnetWrite(QuomoSubnetWrite *w, int result);

#ifdef __cplusplus
/* The view of a record with the leading DhcpServerConf fields. */
template <class Record> inline QuomoSubnetView quomoSubnetView(const Record &r)
{
    QuomoSubnetView v;
    v.leaseTime = r.leaseTime;
    v.szStartIp = r.szStartIp;
    v.szEndIp = r.szEndIp;
    v.szIfName = r.szIfName;
    v.szDomain = r.szDomain;
    v.szPrimaryDns = r.szPrimaryDns;
    v.szSecondaryDns = r.szSecondaryDns;
    v.szNetmask = r.szNetmask;
    v.szGateway = r.szGateway;
    v.szTag = r.szTag;
    return v;
}

/* quomoCheckText/quomoCheckName over every text field of such a record. */
template <class Record> inline int quomoCheckSubnetRecord(const Record &r)
{
#define QUOMO_CHECK_TEXT(f) quomoCheckText(#f, r.f, sizeof r.f)
    return quomoCheckName("szIfName", r.szIfName, sizeof r.szIfName) &&
           quomoCheckName("szTag", r.szTag, sizeof r.szTag) && QUOMO_CHECK_TEXT(szStartIp) &&
           QUOMO_CHECK_TEXT(szEndIp) && QUOMO_CHECK_TEXT(szDomain) &&
           QUOMO_CHECK_TEXT(szPrimaryDns) && QUOMO_CHECK_TEXT(szSecondaryDns) &&
           QUOMO_CHECK_TEXT(szNetmask) && QUOMO_CHECK_TEXT(szGateway);
#undef QUOMO_CHECK_TEXT
}
#endif

#endif /* QUOMODHCP_INTERNAL_H */
