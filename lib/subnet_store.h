/*
 * The subnet store: every subnet of an interface is a pair of files under
 * /etc/dhcpd, the fragment dhcpd-<ifName>-<tag>.conf (dnsmasq option lines)
 * and the settings file dhcpd-<ifName>-<tag>.info (enable="yes" or "no").
 * Ordinary subnets are numbered densely from 0 (tag: the interface name and
 * the index); the PXE subnet has the tag "pxe". This file owns their names,
 * the one walk over an interface's subnets, the fragment's reader and
 * writer, and the settings files' switches. Not exported.
 */
#ifndef QUOMODHCP_SUBNET_STORE_H
#define QUOMODHCP_SUBNET_STORE_H

#include <stddef.h>
#include <stdint.h>

#include <functional>
#include <string>

#include "quomodhcp.h"
#include "quomodhcp_paths.h"
#include "save.h"
#include "text.h"
#include "vorl.h"

/* A string list, freed when the owner goes. Test with ok(): allocation may
 * have failed (logged "Failed to alloc memory."). */
class QuomoList {
public:
    QuomoList();
    ~QuomoList() { VORLCSzListFree(list_); }
    QuomoList(const QuomoList &) = delete;
    QuomoList &operator=(const QuomoList &) = delete;

    bool ok() const { return list_ != NULL; }
    /* For the splitters, which fill (and may replace) the list. */
    PVORL_SZLIST *out() { return &list_; }
    const char *get(int i) const { return VORLCSzListGet(list_, i); }

private:
    PVORL_SZLIST list_;
};

/* ---- names ---- */

/* <root>/etc/dhcpd/dhcpd-<ifName>-<tag>.<ext>; 0 when it does not fit. */
int quomoSubnetPath(char *buf, size_t size, const char *szIfName, const char *szTag,
                    const char *szExt);
/* The same for the numbered subnet index of the interface. */
int quomoNumberedPath(char *buf, size_t size, const char *szIfName, int index, const char *ext);
/* The pair of a fixed fragment whose interface and tag are both name
 * ("dns", "static") into szConf and szInfo (QUOMO_PATH_LEN bytes each); logs
 * "Path too long" and returns 0 when a name did not fit. */
int quomoFixedPair(char *szConf, char *szInfo, const char *name);
/* Names the subnet's fragment in szConf (QUOMO_PATH_LEN bytes); 1 when it
 * exists, else logs "File [...] does not exist." and returns 0. */
int quomoExistingFragment(char *szConf, const char *szIfName, const char *szTag);

/* The files the stores write, by path under the root ("etc/dhcpd/..."):
 * the name within the directory, or NULL for a path outside it. */
const char *quomoDhcpdName(const char *szRelPath);
/* A pair file "etc/dhcpd/dhcpd-<if>-<tag>.conf" or ".info" of one of the
 * system's interfaces (never the access point's), its interface into
 * *pIfName when not NULL: with szTag, of that tag; with NULL, an ordinary
 * subnet's (the tag is the interface's name and an index). */
bool quomoParsePairName(const char *szRelPath, std::string *pIfName, const char *szTag);
/* A file "etc/dhcpd/orvath-<if>.<szExt>" of one of the system's interfaces
 * (never the access point's), its interface into ifName. */
bool quomoParseListName(const char *szRelPath, const char *szExt, std::string &ifName);
/* Which file of a store that keeps a list "orvath-<if>.<szExt>" and the
 * pair of szTag szRelPath is (its interface into ifName): none of them,
 * the list, or the pair's ".conf" or ".info". */
enum QuomoStoreFile { QUOMO_STORE_NONE, QUOMO_STORE_LIST, QUOMO_STORE_CONF, QUOMO_STORE_INFO };
QuomoStoreFile quomoListStoreFile(const char *szRelPath, const char *szExt, const char *szTag,
                                  std::string &ifName);
/* The files this store writes: every interface's ordinary subnets. */
bool quomoSubnetStoreOwns(const char *szRelPath);

/* ---- the walk ---- */

/* Calls visit(path, tag) for each numbered file of the interface with the
 * extension ext ("info" or "conf"), from index first up to the first one
 * that does not exist, then, with pxe set, for the PXE subnet's file when
 * it exists. Stops early when visit returns non-zero and returns that
 * value; returns 0 after the last file. *pFound (when not NULL) counts the
 * files visited. */
using QuomoSubnetVisit = std::function<int(const char *szPath, const char *szTag)>;
int quomoWalkSubnets(const char *szIfName, const char *ext, int first, bool pxe,
                     const QuomoSubnetVisit &visit, int *pFound);

/* ---- settings files ---- */

/* 1 when the settings file's "enable" reads exactly "yes" (without quotes);
 * 0 when it says anything else, lacks the key or does not exist. */
int quomoInfoEnabled(const char *szInfoPath);
/* The subnet's settings file says enable="yes". */
bool quomoTagEnabled(const char *szIfName, const char *szTag);
/* Switches every subnet of the interface off: 1 done, 0 none found or a
 * settings file could not be written, -1 no interface's name. */
int quomoDisableSubnets(const char *szIfName);
/* At least one subnet of the interface (PXE included) is switched on. */
bool quomoInterfaceActive(const char *szIfName);
/* "y"/"n" per ordinary subnet into szRows, the PXE subnet's switch into
 * *pPxe; 0 when the name is unusable or szRows too small. */
int quomoSubnetSwitches(const char *szIfName, char *szRows, size_t cbRows, int *pPxe);
/* Removes the numbered files of the interface with the extension ext from
 * firstIndex upward, up to the first that does not exist. 0, or -1 when
 * the name is unusable or one cannot be removed (logged and noted). */
int quomoRemoveNumbered(const char *szIfName, int firstIndex, const char *ext);

/* ---- fragments ---- */

/* The text fields of a subnet that go into its fragment, whichever record
 * they come from (DhcpServerConf, or the same leading fields of DhcpPxeConf). */
struct QuomoSubnetView {
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
};

/* The view of a record with the leading DhcpServerConf fields. */
template <class Record> inline QuomoSubnetView quomoSubnetView(const Record &r)
{
    return QuomoSubnetView{r.leaseTime,    r.szStartIp,      r.szEndIp,   r.szIfName, r.szDomain,
                           r.szPrimaryDns, r.szSecondaryDns, r.szNetmask, r.szGateway, r.szTag};
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

/* Appends the fragment lines of a subnet: interface, range, router, domain,
 * DNS servers. */
void quomoAppendSubnetLines(std::string &out, const QuomoSubnetView &v);
/* Appends the lines of a placeholder subnet of one loopback address tagged
 * name: interface=name, its dhcp-range, router and dns-server lines. */
void quomoAppendLoopbackSubnet(std::string &out, const char *name);

/* Stages a pair of files into the change: the fragment szConf (skipped
 * when confText is NULL), then the settings file szInfo with enable="yes"
 * or "no". Fragment first, so that a settings file never switches on a
 * fragment that is not complete. Logs "Failed to open file [...]." for the
 * file that failed (for the fragment, with szOwner not NULL, also "Failed
 * to set config file of dhcp server [<szOwner>].") and returns 0. */
int quomoStagePair(const char *szConf, const char *confText, size_t confLen, const char *szInfo,
                   int enable, const char *szOwner);
/* quomoStagePair for the subnet's own two files (the fragment skipped when
 * fragment is NULL), its directory made first. */
int quomoStageSubnet(const QuomoSubnetView &v, const std::string *fragment, int enable);

/* See QUOMODHCPSetDhcpServerConfigFiles, QUOMODHCPSetDhcpServerSubnets and
 * QUOMODHCPGetDhcpServerConf. */
int quomoSetSubnet(const DhcpServerConf *conf, int enable);
int quomoSetSubnets(const DhcpServerConf *pConfs, int count);
int quomoGetSubnet(const char *szTag, const char *szIfName, DhcpServerConf *pConf);

/* ---- the access point's subnet ---- */

/* 1 when the address lies in the access point's subnet (under szNetmask or
 * under its own mask), 0 when not or there is none, -1 when its fragment
 * cannot be read. */
int quomoApConflict(const char *szIp, const char *szNetmask);

/* ---- checking a file a revert would write ---- */

/* Whether content is exactly what the store writes for what its reader
 * reads back from the file at szRelPath (under the current root); the
 * reason into szWhy when not. Settings files are enable="yes" or "no". */
bool quomoInfoVerify(const std::string &content, char *szWhy, size_t cbWhy);
bool quomoSubnetVerify(const char *szRelPath, const std::string &content, char *szWhy, size_t cbWhy);

#endif /* QUOMODHCP_SUBNET_STORE_H */
