/*
 * The library's interface: every function libquomodhcp exports (quomodhcp.h
 * gives their contracts, quomodhcp.map lists them for the linker), each a
 * thin entry point over the part of the library that owns its data:
 *
 *   subnet_store     subnets' fragments and settings files, the walk, the
 *                    access point's subnet
 *   pxe_store        the PXE subnet
 *   dns_only         the DNS-only pair
 *   subnet_switches  the subnets' own switches while the service is off
 *   reservation_store  the reservation list and the static fragment
 *   lease_log        the package's lease log and the client list's records
 *   service          restart, its outcome, status, release
 *   option_store     an interface's further options and host overrides
 *   ipv6_store       an interface's router advertisements and DHCPv6
 *   config_files     the whole configuration as the history keeps it, and putting it back
 *   history_store    the configuration history
 *   save             one save: prepare all, then commit; clean-up and sync
 *   vendor_registry  the makers of MAC address blocks
 *   access_store     who an interface's service keeps off
 *   wake             the magic packet that wakes a device
 *   first_seen       when each client was first seen
 *   name_store       the names an interface's DNS answers for its devices
 *
 * Functions marked "no caller here" are used by neither the program nor
 * the lease hook; they are part of the interface the appliance's other
 * callers are built against, and stay.
 */
#include "quomodhcp.h"

#include <string.h>

#include "access_store.h"
#include "config_files.h"
#include "dns_only.h"
#include "first_seen.h"
#include "history_store.h"
#include "request_change.h"
#include "lease_log.h"
#include "name_store.h"
#include "ipv6_store.h"
#include "option_store.h"
#include "pxe_store.h"
#include "reservation_store.h"
#include "save.h"
#include "service.h"
#include "subnet_store.h"
#include "subnet_switches.h"
#include "text.h"
#include "vendor_registry.h"
#include "wake.h"

/* ---- subnets ---- */

int QUOMODHCPSetDhcpServerConfigFiles(const DhcpServerConf *conf, int enable)
{
    return quomoSetSubnet(conf, enable);
}

int QUOMODHCPSetDhcpServerSubnets(const DhcpServerConf *pConfs, int count)
{
    return quomoSetSubnets(pConfs, count);
}

int QUOMODHCPGetDhcpServerConf(const char *szTag, const char *szIfName, DhcpServerConf *pConf)
{
    return quomoGetSubnet(szTag, szIfName, pConf);
}

int QUOMODHCPSubnetPath(char *buf, size_t size, const char *szIfName, const char *szTag,
                        const char *szExt)
{
    return quomoSubnetPath(buf, size, szIfName, szTag, szExt);
}

int removeUnusedConf(const char *szIfName, int firstIndex)
{
    return quomoRemoveNumbered(szIfName, firstIndex, "conf");
}

int removeUnusedInfo(const char *szIfName, int firstIndex)
{
    return quomoRemoveNumbered(szIfName, firstIndex, "info");
}

int isIfTagEnable(const char *szIfName, const char *szTag)
{
    return quomoTagEnabled(szIfName, szTag) ? 0 : -1;
}

int disableDHCPServer(const char *szIfName) { return quomoDisableSubnets(szIfName); }

int isDHCPDActivate(const char *szIfName) { return quomoInterfaceActive(szIfName) ? 0 : -1; }

int QUOMODHCPCountEnabled(const char *szIfName)
{
    char szRows[QUOMO_SWITCHES_LEN];
    int pxe = 0;
    if (!quomoSubnetSwitches(szIfName, szRows, sizeof szRows, &pxe))
        return 0;
    int count = pxe;
    for (const char *p = szRows; *p; ++p)
        count += *p == 'y';
    return count;
}

int QUOMODHCPSubnetSwitches(const char *szIfName, char *szRows, size_t cbRows, int *pPxe)
{
    return quomoSubnetSwitches(szIfName, szRows, cbRows, pPxe);
}

int isSameApSubnet(const char *szIp, const char *szNetmask)
{
    return quomoApConflict(szIp, szNetmask);
}

/* ---- the PXE subnet ---- */

int QUOMONetSetDhcpPXEServerConfigFiles(const DhcpPxeConf *conf, int enable)
{
    return quomoSetPxe(conf, enable);
}

int QUOMONetGetDhcpPXEServerConf(const char *szTag, const char *szIfName, DhcpPxeConf *pConf)
{
    return quomoGetPxe(szTag, szIfName, pConf);
}

int QUOMONetSetDhcpPXEBootConfigFiles(const DhcpPxeConf *conf, const DhcpPxeBoot *boot, int enable)
{
    return quomoSetPxeBoot(conf, boot, enable);
}

int QUOMONetGetDhcpPXEBootConf(const char *szTag, const char *szIfName, DhcpPxeConf *pConf,
                               DhcpPxeBoot *pBoot)
{
    return quomoGetPxeBoot(szTag, szIfName, pConf, pBoot);
}

/* ---- the DNS-only pair ---- */

int QUOMODHCPDecideDisableDNS(void) { return quomoDecideDnsOnly(); }

int QUOMODHCPDnsOnly(void) { return quomoDnsOnly() ? 1 : 0; }

/* ---- the subnets' own switches ---- */

int QUOMODHCPSaveSwitches(const char *szIfName, const char *szRows, int pxe)
{
    return quomoSaveSwitches(szIfName, szRows, pxe);
}

int QUOMODHCPReadSwitches(const char *szIfName, char *szRows, size_t cbRows, int *pPxe)
{
    return quomoReadSwitches(szIfName, szRows, cbRows, pPxe);
}

int QUOMODHCPForgetSwitches(const char *szIfName) { return quomoForgetSwitches(szIfName); }

/* ---- reservations ---- */

/* No caller here. */
int writeStaticConf(const char *szMac, const char *szIp, const char *szHostname)
{
    return quomoAddReservation(szMac, szIp, szHostname);
}

int readStaticConf(char *szMac, char *szIp, char *szHostname, const char *szLine)
{
    return quomoReadReservation(szMac, szIp, szHostname, szLine);
}

/* No caller here. */
int QUOMODHCPGenFakeStaticFile(void) { return quomoRebuildStaticFragment(); }

int QUOMODHCPSetStaticHosts(const QuomoStaticHost *pHosts, int count)
{
    return quomoSetReservations(pHosts, count);
}

int QUOMODHCPSetStaticHosts6(const QuomoStaticHost *pHosts, int count)
{
    return quomoSetReservations6(pHosts, count);
}

QuomoReserved *QUOMODHCPReservedLoad(void) { return quomoReservedLoad(); }

void QUOMODHCPReservedFree(QuomoReserved *pReserved) { quomoReservedFree(pReserved); }

/* ---- the lease log and the client list ---- */

/* No caller here. */
int getExpireTime(char *szExpireTime, int32_t expiry, const char *szMac)
{
    QuomoReserved *pReserved = szExpireTime && szMac ? quomoReservedLoad() : NULL;
    int ret = quomoExpiryText(pReserved, szExpireTime, expiry, szMac);
    quomoReservedFree(pReserved);
    return ret;
}

/* No caller here. */
int getExpireTimeWith(const QuomoReserved *pReserved, char *szExpireTime, int32_t expiry,
                      const char *szMac)
{
    return quomoExpiryText(pReserved, szExpireTime, expiry, szMac);
}

/* No caller here. */
int readClientList(char *szMac, char *szIp, char *szHostname, char *szExpireTime, char *szIfName,
                   const char *szLine)
{
    QuomoReserved *pReserved = quomoReservedLoad();
    int ret = quomoReadClient(pReserved, szMac, szIp, szHostname, szExpireTime, szIfName, szLine);
    quomoReservedFree(pReserved);
    return ret;
}

int readClientListWith(const QuomoReserved *pReserved, char *szMac, char *szIp, char *szHostname,
                       char *szExpireTime, char *szIfName, const char *szLine)
{
    return quomoReadClient(pReserved, szMac, szIp, szHostname, szExpireTime, szIfName, szLine);
}

/* No caller here. */
int QUOMODHCPUpdateLease(void) { return quomoUpdateLeases(); }

/* No caller here. */
int QUOMODHCPRemoveExpiredLease(void) { return quomoRemoveExpiredLeases(); }

int QUOMODHCPRefreshLeaseLog(void) { return quomoRefreshLeaseLog(); }

/* No caller here. */
int QUOMODHCPRemoveLeaseRecord(const char *szMac, const char *szIp)
{
    return quomoRemoveLeaseRecord(szMac, szIp);
}

/* ---- the service ---- */

/* No caller here. */
int restartDHCPServer(void) { return quomoRestart(); }

int QUOMODHCPRestartWithOutcome(char *szReason, size_t cbReason)
{
    return quomoRestartWithOutcome(szReason, cbReason);
}

int QUOMODHCPLastRestart(QuomoRestartOutcome *pOutcome) { return quomoLastRestart(pOutcome); }

int QUOMODHCPServiceRunning(void) { return quomoServiceRunning(); }

int QUOMODHCPReleaseLease(const char *szIfName, const char *szMac, const char *szIp,
                          char *szReason, size_t cbReason)
{
    return quomoReleaseLease(szIfName, szMac, szIp, szReason, cbReason);
}

/* ---- further options ---- */

int QUOMODHCPSetOptions(const char *szIfName, const QuomoDhcpOption *pOptions, int count,
                        const QuomoHostOption *pHosts, int hostCount)
{
    return quomoSetOptions(szIfName, pOptions, count, pHosts, hostCount);
}

int QUOMODHCPGetOptions(const char *szIfName, QuomoDhcpOption *pOptions, int maxOptions,
                        int *pCount, QuomoHostOption *pHosts, int maxHosts, int *pHostCount)
{
    return quomoGetOptions(szIfName, pOptions, maxOptions, pCount, pHosts, maxHosts, pHostCount);
}

/* ---- IPv6 ---- */

int QUOMODHCPSetIpv6(const char *szIfName, const QuomoIpv6Settings *pSettings)
{
    return quomoSetIpv6(szIfName, pSettings);
}

int QUOMODHCPGetIpv6(const char *szIfName, QuomoIpv6Settings *pSettings)
{
    return quomoGetIpv6(szIfName, pSettings);
}

/* ---- the configuration history ---- */

QuomoConfig *QUOMODHCPConfigRead(void)
{
    return quomoConfigRead();
}

void QUOMODHCPConfigFree(QuomoConfig *pConfig)
{
    quomoConfigFree(pConfig);
}

int QUOMODHCPConfigCount(const QuomoConfig *pConfig)
{
    return quomoConfigCount(pConfig);
}

int QUOMODHCPConfigFile(const QuomoConfig *pConfig, int i, const char **pszPath, const char **ppData, size_t *pLen)
{
    return quomoConfigFile(pConfig, i, pszPath, ppData, pLen);
}

int QUOMODHCPConfigFind(const QuomoConfig *pConfig, const char *szPath, const char **ppData, size_t *pLen)
{
    return quomoConfigFind(pConfig, szPath, ppData, pLen);
}

int QUOMODHCPConfigEqual(const QuomoConfig *pA, const QuomoConfig *pB)
{
    return quomoConfigEqual(pA, pB);
}

void QUOMODHCPConfigSummary(const QuomoConfig *pConfig, const char *szIfName, char *szBuf, size_t cbBuf)
{
    quomoConfigSummary(pConfig, szIfName, szBuf, cbBuf);
}

int QUOMODHCPConfigRestore(const QuomoConfig *pTarget, const char *szIfName, char *szWhy, size_t cbWhy)
{
    return quomoConfigRestore(pTarget, szIfName, szWhy, cbWhy);
}

QuomoHistory *QUOMODHCPHistoryOpen(int forChange, char *szError, size_t cbError)
{
    return quomoHistoryOpen(forChange, szError, cbError);
}

void QUOMODHCPHistoryClose(QuomoHistory *pHistory)
{
    quomoHistoryClose(pHistory);
}

int QUOMODHCPHistoryNewest(QuomoHistory *pHistory, QuomoRevision *pRev)
{
    return quomoHistoryNewest(pHistory, pRev);
}

int QUOMODHCPHistoryNewestId(int64_t *pId, char *szError, size_t cbError)
{
    if (!pId || !szError || cbError == 0)
        return -1;
    return quomoHistoryNewestId(pId, szError, cbError);
}

int QUOMODHCPHistoryList(QuomoHistory *pHistory, QuomoRevision *pRevs, int nMax)
{
    return quomoHistoryList(pHistory, pRevs, nMax);
}

int QUOMODHCPHistoryGet(QuomoHistory *pHistory, int64_t id, QuomoRevision *pRev, QuomoConfig **ppConfig)
{
    return quomoHistoryGet(pHistory, id, pRev, ppConfig);
}

int QUOMODHCPHistoryPrevious(QuomoHistory *pHistory, int64_t id, QuomoRevision *pRev, QuomoConfig **ppConfig)
{
    return quomoHistoryPrevious(pHistory, id, pRev, ppConfig);
}

int QUOMODHCPRemoveStaleTemporaries(void) { return quomoRemoveStaleTemporaries(); }

int QUOMODHCPSyncSave(void) { return quomoSyncSave(); }

int QUOMODHCPSetPxeEnable(int on) { return quomoSetPxeEnableKey(on); }

int QUOMODHCPChangeBegin(void) { return quomoRequestChangeBegin(); }

void QUOMODHCPChangeAbandon(void) { quomoRequestChangeAbandon(); }

int QUOMODHCPChangeCommit(const QuomoRevision *pIntent, int64_t *pRevision, char *szHistoryError,
                          size_t cbHistoryError)
{
    return quomoRequestChangeCommit(pIntent, pRevision, szHistoryError, cbHistoryError);
}

int QUOMODHCPChangeInterrupted(void) { return quomoJournalPending(); }

int QUOMODHCPChangeFinishInterrupted(char *szHistoryError, size_t cbHistoryError)
{
    return quomoRequestChangeRecover(szHistoryError, cbHistoryError);
}

int QUOMODHCPListReservations(QuomoReservationVisit visit, void *pContext)
{
    return visit ? quomoListReservations(visit, pContext) : 0;
}

int QUOMODHCPListReservations6(QuomoReservationVisit visit, void *pContext)
{
    return visit ? quomoListReservations6(visit, pContext) : 0;
}

int QUOMODHCPListClients(const char *szIfName, QuomoClientVisit visit, void *pContext)
{
    return visit ? quomoListClients(szIfName, visit, pContext) : 0;
}

int QUOMODHCPListClients6(QuomoClient6Visit visit, void *pContext)
{
    return visit ? quomoListClients6(visit, pContext) : 0;
}

int QUOMODHCPCurrentLeaseAddresses(uint32_t *pAddrs, int max)
{
    return max > 0 && !pAddrs ? -1 : quomoCurrentLeaseAddresses(pAddrs, max);
}

int QUOMODHCPReservedAddresses(uint32_t *pAddrs, int max)
{
    return max > 0 && !pAddrs ? -1 : quomoReservedAddresses(pAddrs, max);
}

int QUOMODHCPParseIpv4(const char *szText, uint32_t *pAddr)
{
    return szText && pAddr && quomoFieldIpv4(QuomoField{szText, strlen(szText)}, pAddr) ? 1 : 0;
}

/* ---- the makers of network cards ---- */

QuomoVendors *QUOMODHCPVendorsOpen(void) { return quomoVendorsOpen(); }

int QUOMODHCPVendorOf(const QuomoVendors *pVendors, const char *szMac, char *szVendor, size_t size)
{
    return quomoVendorOf(pVendors, szMac, szVendor, size);
}

void QUOMODHCPVendorsClose(QuomoVendors *pVendors) { quomoVendorsClose(pVendors); }

/* ---- who an interface's service keeps off ---- */

int QUOMODHCPSetAccess(const char *szIfName, int ignoreUnknown, const QuomoBlocked *pBlocked, int count)
{
    return quomoSetAccess(szIfName, ignoreUnknown, pBlocked, count);
}

int QUOMODHCPGetAccess(const char *szIfName, int *pIgnoreUnknown, QuomoBlocked *pBlocked, int max,
                       int *pCount)
{
    return quomoGetAccess(szIfName, pIgnoreUnknown, pBlocked, max, pCount);
}

/* ---- waking a device ---- */

int QUOMODHCPWake(const char *szIfName, const char *szMac, char *szReason, size_t cbReason)
{
    return quomoWake(szIfName, szMac, szReason, cbReason);
}

/* ---- when each client was first seen ---- */

QuomoFirstSeen *QUOMODHCPFirstSeenLoad(void) { return quomoFirstSeenLoad(); }

int64_t QUOMODHCPFirstSeenOf(const QuomoFirstSeen *pSeen, const char *szMac)
{
    return quomoFirstSeenOf(pSeen, szMac);
}

void QUOMODHCPFirstSeenFree(QuomoFirstSeen *pSeen) { quomoFirstSeenFree(pSeen); }

/* ---- the names of the devices ---- */

int QUOMODHCPSetNames(const char *szIfName) { return quomoSetNames(szIfName); }

int QUOMODHCPSetNamesOf(const char *const *ifNames, int count)
{
    return quomoSetNamesOf(ifNames, count);
}
