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
#include "quomodhcp_paths.h"
#include "vorl.h"

#define QUOMO_TEMP_PATH_LEN 4096 /* a temporary beside its file: a longer name */
#define QUOMO_VALUE_LEN 1024     /* values and lines read from the files */
#define QUOMO_LIST_SIZE 512      /* capacity hint of the string lists */

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

/* <root>/etc/dhcpd/dhcpd-<ifName>-<ifName><index>.<ext>, a numbered subnet. */
int quomoNumberedPath(char *buf, size_t size, const char *szIfName, int index, const char *ext);
/* <root>/etc/dhcpd/dhcpdStatic.ori into szPath (QUOMO_PATH_LEN bytes); logs
 * "Path too long" and returns 0 when it did not fit. */
int quomoStaticListPath(char *szPath);

/* mkdir -p <root>/etc/dhcpd with mkdir(2), no program run; logs "Failed to
 * mkdir [...]", notes the reason and returns 0 on failure. */
int quomoMakeDhcpdDir(void);

/* Replaces the file whole with data[0 .. len-1] (orvReplaceFile: a new file
 * gets mode 0666 less the umask, an existing one keeps its mode). 1 on
 * success; 0 on failure, with the old file in place and the reason noted. */
int quomoReplace(const char *szPath, const char *data, size_t len);

/* Writes a pair of files: the fragment szConf (skipped when confText is
 * NULL), then the settings file szInfo with enable="yes" or "no". Both are
 * written out before either is renamed into place, fragment first, so that
 * a settings file never switches on a fragment that is not complete and a
 * failure of either leaves both old files. Logs "Failed to open file [...]." for
 * the file that failed (for the fragment, with szOwner not NULL, also "Failed
 * to set config file of dhcp server [<szOwner>].") and returns 0. */
int quomoWritePair(const char *szConf, const char *confText, size_t confLen, const char *szInfo,
                   int enable, const char *szOwner);

/* Removes the file at szPath; a missing file is no error. A directory in
 * its place is never removed: that is a failure. 1 on success; 0 on failure,
 * logged and noted. */
int quomoRemoveFile(const char *szPath);

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

#ifdef __cplusplus
#include <string>
#include <vector>

/* Appends the fragment lines of a subnet: interface, range, router, domain,
 * DNS servers. */
void quomoAppendSubnetLines(std::string &out, const QuomoSubnetView &v);
/* Appends the lines of a placeholder subnet of one loopback address tagged
 * name: interface=name, its dhcp-range, router and dns-server lines. */
void quomoAppendLoopbackSubnet(std::string &out, const char *name);
/* Files written out to their temporaries, waiting to be renamed into place
 * together (orvPrepareReplace / orvCommitReplace). */
struct QuomoPending {
    std::string temp;
    std::string path;
};
/* Writes out a subnet's fragment (when fragment is not NULL) and then its
 * settings file, as quomoWritePair does, and adds both to pending. 0 on
 * failure (logged, noted), with nothing added. */
int quomoPrepareSubnet(const QuomoSubnetView &v, const std::string *fragment, int enable,
                       std::vector<QuomoPending> &pending);
/* Renames the pending files into place in their order and empties the list;
 * the first failure (logged, noted) removes the temporaries of the rest and
 * returns 0. */
int quomoCommitPending(std::vector<QuomoPending> &pending);
/* Removes the pending temporaries and empties the list. */
void quomoAbandonPending(std::vector<QuomoPending> &pending);
/* quomoPrepareSubnet and quomoCommitPending for one subnet. */
int quomoWriteSubnet(const QuomoSubnetView &v, const std::string *fragment, int enable);

/* Appends the reservation list line "dhcp-host=<mac>,<host>,<ip>,infinite"
 * and its newline. Logs and returns 0, appending nothing, for a member that
 * is missing or holds a line break, or a line too long for the list. */
int quomoStaticLine(std::string &out, const char *szMac, const char *szIp, const char *szHostname);

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
