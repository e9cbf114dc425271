/*
 * libquomodhcp: the files of the appliance's DHCP service.
 *
 * Plain functions over flat records and fixed-size text buffers. Every text
 * field is NUL-terminated and filled by a copy cut to the field's width.
 * Record readers and writers return 1 on success and 0 on failure; the
 * predicates isIfTagEnable and isDHCPDActivate return 0 for yes and -1 for
 * no; line and lease operations return 0 or a positive count on success and a
 * negative value on failure.
 */
#ifndef QUOMODHCP_H
#define QUOMODHCP_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The library exports exactly the functions marked QUOMO_API; everything
 * else in it is compiled hidden. */
#define QUOMO_API __attribute__((visibility("default")))

#define QUOMO_IP_LEN 20         /* dotted IPv4 or MAC address text */
#define QUOMO_IFNAME_LEN 16     /* interface name */
#define QUOMO_TAG_LEN 20        /* subnet tag */
#define QUOMO_DOMAIN_LEN 4096   /* domain name */
#define QUOMO_BOOTFILE_LEN 4096 /* PXE boot file name */
#define QUOMO_HOSTNAME_LEN 1024 /* client host name */
#define QUOMO_EXPIRE_LEN 1024   /* expiry text */
#define QUOMO_PATH_LEN 1024     /* file path */
#define QUOMO_IPV6_LEN 48       /* IPv6 address text */

/* One subnet's settings, as its fragment and settings file hold them. */
typedef struct DhcpServerConf {
    int32_t isEnabled; /* 1 when the settings file says enable="yes" */
    int32_t leaseTime; /* seconds */
    char szStartIp[QUOMO_IP_LEN];
    char szEndIp[QUOMO_IP_LEN];
    char szIfName[QUOMO_IFNAME_LEN];
    char szDomain[QUOMO_DOMAIN_LEN];
    char szPrimaryDns[QUOMO_IP_LEN];
    char szSecondaryDns[QUOMO_IP_LEN];
    char szNetmask[QUOMO_IP_LEN];
    char szGateway[QUOMO_IP_LEN];
    char szTag[QUOMO_TAG_LEN];
} DhcpServerConf;

/* The PXE subnet: the fields of DhcpServerConf, then the boot file. */
typedef struct DhcpPxeConf {
    int32_t isEnabled;
    int32_t leaseTime;
    char szStartIp[QUOMO_IP_LEN];
    char szEndIp[QUOMO_IP_LEN];
    char szIfName[QUOMO_IFNAME_LEN];
    char szDomain[QUOMO_DOMAIN_LEN];
    char szPrimaryDns[QUOMO_IP_LEN];
    char szSecondaryDns[QUOMO_IP_LEN];
    char szNetmask[QUOMO_IP_LEN];
    char szGateway[QUOMO_IP_LEN];
    char szTag[QUOMO_TAG_LEN];
    char szBootFile[QUOMO_BOOTFILE_LEN];
} DhcpPxeConf;

/* What the PXE subnet offers beyond its one boot file, which stays the file
 * of BIOS clients and of any client whose architecture has no file here.
 * Empty text: not set. Kept apart from DhcpPxeConf, whose layout callers
 * built apart rely on. */
#define QUOMO_PXE_NAME_LEN 256 /* boot file name or URL */
typedef struct DhcpPxeBoot {
    char szBootEfi64[QUOMO_PXE_NAME_LEN]; /* UEFI x86-64: client-arch 7 and 9 */
    char szBootEfi32[QUOMO_PXE_NAME_LEN]; /* UEFI IA32: client-arch 6 */
    char szBootArm64[QUOMO_PXE_NAME_LEN]; /* UEFI ARM64: client-arch 11 */
    char szIpxe[QUOMO_PXE_NAME_LEN];      /* a client already running iPXE */
    char szTftpServer[QUOMO_IP_LEN];      /* "": the DHCP server itself */
    int32_t rangeOnly; /* 1: the PXE range serves PXE clients only */
} DhcpPxeBoot;

/* Callers on the appliance are built apart from the library, on 32-bit and
 * 64-bit targets alike: the records' layout is part of the interface and
 * must be the same everywhere (int32_t and char arrays, no padding). */
#ifdef __cplusplus
#define QUOMO_LAYOUT(cond) static_assert(cond, #cond)
#else
#define QUOMO_LAYOUT(cond) _Static_assert(cond, #cond)
#endif
QUOMO_LAYOUT(sizeof(DhcpServerConf) == 4260);
QUOMO_LAYOUT(offsetof(DhcpServerConf, isEnabled) == 0);
QUOMO_LAYOUT(offsetof(DhcpServerConf, leaseTime) == 4);
QUOMO_LAYOUT(offsetof(DhcpServerConf, szStartIp) == 8);
QUOMO_LAYOUT(offsetof(DhcpServerConf, szEndIp) == 28);
QUOMO_LAYOUT(offsetof(DhcpServerConf, szIfName) == 48);
QUOMO_LAYOUT(offsetof(DhcpServerConf, szDomain) == 64);
QUOMO_LAYOUT(offsetof(DhcpServerConf, szPrimaryDns) == 4160);
QUOMO_LAYOUT(offsetof(DhcpServerConf, szSecondaryDns) == 4180);
QUOMO_LAYOUT(offsetof(DhcpServerConf, szNetmask) == 4200);
QUOMO_LAYOUT(offsetof(DhcpServerConf, szGateway) == 4220);
QUOMO_LAYOUT(offsetof(DhcpServerConf, szTag) == 4240);
QUOMO_LAYOUT(sizeof(DhcpPxeConf) == 8356);
QUOMO_LAYOUT(offsetof(DhcpPxeConf, isEnabled) == 0);
QUOMO_LAYOUT(offsetof(DhcpPxeConf, leaseTime) == 4);
QUOMO_LAYOUT(offsetof(DhcpPxeConf, szStartIp) == 8);
QUOMO_LAYOUT(offsetof(DhcpPxeConf, szEndIp) == 28);
QUOMO_LAYOUT(offsetof(DhcpPxeConf, szIfName) == 48);
QUOMO_LAYOUT(offsetof(DhcpPxeConf, szDomain) == 64);
QUOMO_LAYOUT(offsetof(DhcpPxeConf, szPrimaryDns) == 4160);
QUOMO_LAYOUT(offsetof(DhcpPxeConf, szSecondaryDns) == 4180);
QUOMO_LAYOUT(offsetof(DhcpPxeConf, szNetmask) == 4200);
QUOMO_LAYOUT(offsetof(DhcpPxeConf, szGateway) == 4220);
QUOMO_LAYOUT(offsetof(DhcpPxeConf, szTag) == 4240);
QUOMO_LAYOUT(offsetof(DhcpPxeConf, szBootFile) == 4260);
QUOMO_LAYOUT(sizeof(DhcpPxeBoot) == 1048);
QUOMO_LAYOUT(offsetof(DhcpPxeBoot, szTftpServer) == 1024);
QUOMO_LAYOUT(offsetof(DhcpPxeBoot, rangeOnly) == 1044);
#undef QUOMO_LAYOUT

/* Per-interface subnet files: /etc/dhcpd/dhcpd-<ifName>-<tag>.conf / .info */
QUOMO_API int QUOMODHCPSetDhcpServerConfigFiles(const DhcpServerConf *conf, int enable);
/* Writes the subnets pConfs[0 .. count-1] as one change: each one's fragment
 * (whatever isEnabled says: a subnet switched off keeps its current settings)
 * and its settings file switched by isEnabled. Every file is written out
 * before the first is renamed into place, so a failure leaves every old file
 * and a crash finds the table old or new but for the moment of the renames.
 * 1 on success; 0 on failure (logged; orvFailure names the file). */
QUOMO_API int QUOMODHCPSetDhcpServerSubnets(const DhcpServerConf *pConfs, int count);
QUOMO_API int QUOMODHCPGetDhcpServerConf(const char *szTag, const char *szIfName, DhcpServerConf *pConf);
/* The subnet's fragment (szExt "conf") or settings file ("info") under the
 * root into buf; 0 when the path does not fit size bytes. */
QUOMO_API int QUOMODHCPSubnetPath(char *buf, size_t size, const char *szIfName, const char *szTag, const char *szExt);
QUOMO_API int removeUnusedConf(const char *szIfName, int firstIndex);
QUOMO_API int removeUnusedInfo(const char *szIfName, int firstIndex);

/* Service control and the DNS-only fragment */
QUOMO_API int isIfTagEnable(const char *szIfName, const char *szTag);
/* Switches every subnet of the interface off: 1 done, 0 none found or a
 * settings file could not be written, -1 no interface's name. */
QUOMO_API int disableDHCPServer(const char *szIfName);
QUOMO_API int isDHCPDActivate(const char *szIfName);
/* The number of the interface's subnets (PXE included) switched on. */
QUOMO_API int QUOMODHCPCountEnabled(const char *szIfName);
/* Which of the interface's subnets their settings files switch on: "y" or
 * "n" per ordinary subnet into szRows, the PXE subnet's into *pPxe. 0 when
 * the name is unusable or szRows too small. */
QUOMO_API int QUOMODHCPSubnetSwitches(const char *szIfName, char *szRows, size_t cbRows, int *pPxe);
QUOMO_API int restartDHCPServer(void);
QUOMO_API int QUOMODHCPDecideDisableDNS(void);

/* The restart as the administrator sees it. The outcome of the last restart
 * is kept in one small status file (replaced whole after each). */
#define QUOMO_REASON_LEN 512 /* "exit status 1: <last lines of its output>" */
typedef struct QuomoRestartOutcome {
    long long time; /* seconds since the epoch */
    int status;     /* the start-up script's exit status; 0: restarted */
    char szReason[QUOMO_REASON_LEN]; /* "" when it restarted */
} QuomoRestartOutcome;
/* restartDHCPServer, with the start-up script's output read as it runs (it
 * still reaches standard error): when it fails, szReason gets its exit status
 * and the last lines of that output, otherwise "". Keeps the outcome in the
 * status file. Returns the script's exit status as restartDHCPServer does. */
QUOMO_API int QUOMODHCPRestartWithOutcome(char *szReason, size_t cbReason);
/* The outcome of the last restart; 0 when none is known. */
QUOMO_API int QUOMODHCPLastRestart(QuomoRestartOutcome *pOutcome);
/* 1 when the DHCP service (dnsmasq) runs: the start-up script's pid file
 * names a dnsmasq, or, on the system itself (no other root), a dnsmasq runs. */
QUOMO_API int QUOMODHCPServiceRunning(void);
/* 1 when the DNS-only mode is on (see QUOMODHCPDecideDisableDNS). */
QUOMO_API int QUOMODHCPDnsOnly(void);

/* The subnets' own switches of an interface whose service is off: szRows
 * holds "y" or "n" per ordinary subnet in table order (at most
 * QUOMO_SWITCHES_LEN - 1), pxe the PXE subnet's. Save and Forget return 1 on
 * success; Read returns 1 when a record exists (the service is off). */
#define QUOMO_SWITCHES_LEN 1024
QUOMO_API int QUOMODHCPSaveSwitches(const char *szIfName, const char *szRows, int pxe);
QUOMO_API int QUOMODHCPReadSwitches(const char *szIfName, char *szRows, size_t cbRows, int *pPxe);
QUOMO_API int QUOMODHCPForgetSwitches(const char *szIfName);

/* Asks the running dnsmasq to drop one lease, through the start-up script
 * ("dhcp-release <if> <ip> <mac>", in the service's network), then removes
 * the record from the lease log. Returns the script's exit status (0: dnsmasq
 * dropped it), with the reason as for a restart otherwise. */
QUOMO_API int QUOMODHCPReleaseLease(const char *szIfName, const char *szMac, const char *szIp,
                          char *szReason, size_t cbReason);
/* Removes the records of szMac at szIp from the package's lease log, under
 * its lock. The number removed, -1 on failure. */
QUOMO_API int QUOMODHCPRemoveLeaseRecord(const char *szMac, const char *szIp);

/* Static reservations: /etc/dhcpd/dhcpdStatic.ori and the static fragment */
QUOMO_API int writeStaticConf(const char *szMac, const char *szIp, const char *szHostname);
/* szMac and szIp hold QUOMO_IP_LEN bytes, szHostname QUOMO_HOSTNAME_LEN. */
QUOMO_API int readStaticConf(char *szMac, char *szIp, char *szHostname, const char *szLine);
QUOMO_API int QUOMODHCPGenFakeStaticFile(void);
/* One reservation of a set; members as for writeStaticConf. */
typedef struct QuomoStaticHost {
    const char *szMac;
    const char *szIp;
    const char *szHostname;
} QuomoStaticHost;
/* Replaces the reservation list with the set and rebuilds the static
 * fragment from it, each file written whole once. An entry writeStaticConf
 * would refuse is logged and left out. 1 on success; 0 when a file could not
 * be written (orvFailure names it), its old content in place. */
QUOMO_API int QUOMODHCPSetStaticHosts(const QuomoStaticHost *pHosts, int count);
/* The reservations' IPv6 addresses: szIp a host part ("::10") or a whole
 * IPv6 address, kept in /etc/dhcpd/dhcpdStatic6.ori and the pair
 * dhcpd-static6-static6.conf/.info (no file while there are none). dnsmasq
 * gives it to the client with that MAC address on the link it asks on, a
 * host part under that link's prefix. Replaces them all; 1 on success, 0 on
 * failure, every old file in place. */
QUOMO_API int QUOMODHCPSetStaticHosts6(const QuomoStaticHost *pHosts, int count);

/* Lease log and expiry texts */
/* szExpireTime holds QUOMO_EXPIRE_LEN bytes. */
QUOMO_API int getExpireTime(char *szExpireTime, int32_t expiry, const char *szMac);
/* Buffers: QUOMO_IP_LEN, QUOMO_IP_LEN, QUOMO_HOSTNAME_LEN, QUOMO_EXPIRE_LEN,
 * QUOMO_IFNAME_LEN bytes. */
QUOMO_API int readClientList(char *szMac, char *szIp, char *szHostname, char *szExpireTime, char *szIfName,
                   const char *szLine);
QUOMO_API int QUOMODHCPUpdateLease(void);
QUOMO_API int QUOMODHCPRemoveExpiredLease(void);
/* Both of the above under one hold of the lease log's lock, writing the log
 * at most once and not at all when nothing changed; the client list's
 * refresh. 0, or -1 when either part failed (logged). */
QUOMO_API int QUOMODHCPRefreshLeaseLog(void);

/* The reserved MAC addresses, read once for many lookups. MAC addresses
 * compare without regard to letter case; the list keeps them as entered. */
typedef struct QuomoReserved QuomoReserved;
/* Reads the reservation list, creating it empty when missing. NULL when it
 * cannot be read (logged). */
QUOMO_API QuomoReserved *QUOMODHCPReservedLoad(void);
QUOMO_API void QUOMODHCPReservedFree(QuomoReserved *pReserved);
/* getExpireTime and readClientList against a list read beforehand; NULL
 * fails as an unreadable list does. */
QUOMO_API int getExpireTimeWith(const QuomoReserved *pReserved, char *szExpireTime, int32_t expiry,
                      const char *szMac);
QUOMO_API int readClientListWith(const QuomoReserved *pReserved, char *szMac, char *szIp, char *szHostname,
                       char *szExpireTime, char *szIfName, const char *szLine);

/* The reservations of the list, in list order, each line that is one
 * through visit(mac, ip, hostname, pContext). 1; 0 when the list cannot be
 * read. */
typedef void (*QuomoReservationVisit)(const char *szMac, const char *szIp, const char *szHostname,
                                      void *pContext);
QUOMO_API int QUOMODHCPListReservations(QuomoReservationVisit visit, void *pContext);
/* The same for the IPv6 addresses of the reservations (szIp as given). */
QUOMO_API int QUOMODHCPListReservations6(QuomoReservationVisit visit, void *pContext);

/* One record of the lease log as the client list shows it (readClientList's
 * fields; empty where the line is no record). */
typedef struct QuomoClient {
    char szMac[QUOMO_IP_LEN];
    char szIp[QUOMO_IP_LEN];
    char szHostname[QUOMO_HOSTNAME_LEN];
    char szExpire[QUOMO_EXPIRE_LEN];
    char szIfName[QUOMO_IFNAME_LEN];
} QuomoClient;
typedef void (*QuomoClientVisit)(const QuomoClient *pClient, void *pContext);
/* The client list: brings the package's log up to date (as
 * QUOMODHCPRefreshLeaseLog), chooses the log to list (the package's while
 * the appliance's settings say enable="no", else the appliance's) and visits
 * each record in log order, with szIfName (not NULL) only those that name
 * that interface. 1 listed; 0 the log cannot be read; -1 the lease log's
 * lock was held by another process for the whole wait (busy). */
QUOMO_API int QUOMODHCPListClients(const char *szIfName, QuomoClientVisit visit, void *pContext);
/* One DHCPv6 lease of dnsmasq's lease file. */
#define QUOMO_DUID_LEN 400 /* a DUID as colon-separated bytes */
typedef struct QuomoClient6 {
    char szIp[QUOMO_IPV6_LEN];
    char szDuid[QUOMO_DUID_LEN];
    uint32_t iaid;
    char szHostname[QUOMO_HOSTNAME_LEN]; /* "" when the client gave none */
    char szMac[QUOMO_IP_LEN];            /* from a DUID made of it; "" when it is not */
    char szExpire[QUOMO_EXPIRE_LEN];     /* as QuomoClient's; "unlimited" for a reserved one */
} QuomoClient6;
typedef void (*QuomoClient6Visit)(const QuomoClient6 *pClient, void *pContext);
/* Visits each DHCPv6 lease of dnsmasq's lease file in file order (it names
 * no interface: the caller tells them by prefix). 1 listed (also: no lease
 * file yet), 0 the file cannot be read. */
QUOMO_API int QUOMODHCPListClients6(QuomoClient6Visit visit, void *pContext);
/* The addresses of dnsmasq's current leases (its lease file), each once, in
 * ascending order (host byte order), into pAddrs. The number of them; when
 * they do not fit in max, a number larger than max: ask again with room for
 * that many. -1 when the lease file cannot be read. */
QUOMO_API int QUOMODHCPCurrentLeaseAddresses(uint32_t *pAddrs, int max);
/* The reservations' IPv4 addresses, as QUOMODHCPCurrentLeaseAddresses
 * gives the leases'; -1 when the reservation list cannot be read. */
QUOMO_API int QUOMODHCPReservedAddresses(uint32_t *pAddrs, int max);
/* The text as a dotted IPv4 address, read as inet_pton reads one, into
 * *pAddr in host byte order: 1; 0 when it is not one (or NULL). The reader
 * the lists use, for every address of thousands. */
QUOMO_API int QUOMODHCPParseIpv4(const char *szText, uint32_t *pAddr);

/* Makes the names the interface's DNS answers for its devices from its
 * subnets and the reservation list as the request leaves them: the pair
 * dhcpd-<ifName>-names.conf/.info, removed when there is no name. 1; 0 when
 * a file could not be written (orvFailure names it). */
QUOMO_API int QUOMODHCPSetNames(const char *szIfName);
/* QUOMODHCPSetNames for count interfaces at once, the reservation list read
 * once for all: 1; 0 when a file could not be written (orvFailure names the
 * first). */
QUOMO_API int QUOMODHCPSetNamesOf(const char *const *ifNames, int count);

/* Who an interface's service keeps off: with ignoreUnknown only clients
 * with a reservation get an address there; a blocked client gets none
 * there. /etc/dhcpd/orvath-<ifName>.access and the pair
 * dhcpd-<ifName>-access.conf/.info, none of them while no one is kept off. */
#define QUOMO_MAX_BLOCKED 512
#define QUOMO_NOTE_LEN 65 /* a blocked client's note: printable, at most 64 bytes */
typedef struct QuomoBlocked {
    char szMac[QUOMO_IP_LEN]; /* lower case, ":" */
    char szNote[QUOMO_NOTE_LEN];
} QuomoBlocked;
/* Replaces the interface's rules, each file written whole once. 1; 0 when a
 * record cannot be written as it is or a file could not be written
 * (orvFailure names it), the old files in place. */
QUOMO_API int QUOMODHCPSetAccess(const char *szIfName, int ignoreUnknown, const QuomoBlocked *pBlocked,
                                 int count);
/* The interface's rules: up to max blocked clients into pBlocked. 1; 0 when
 * they cannot be read. */
QUOMO_API int QUOMODHCPGetAccess(const char *szIfName, int *pIgnoreUnknown, QuomoBlocked *pBlocked,
                                 int max, int *pCount);

/* Wakes the device szMac on the interface szIfName: the magic packet as a
 * UDP broadcast to port 9 out of that interface only. Under a root other
 * than "/" it sends only from a network namespace other than the machine's
 * own. 0 sent; 1 not sent, as it was sent to the same address less than a
 * second ago; -1 refused or failed. szReason: why not. */
QUOMO_API int QUOMODHCPWake(const char *szIfName, const char *szMac, char *szReason, size_t cbReason);

/* When each client was first seen, as the lease hook noted it; read once
 * for many lookups. QUOMODHCPFirstSeenOf: seconds since the epoch, 0 when
 * not known. */
typedef struct QuomoFirstSeen QuomoFirstSeen;
QUOMO_API QuomoFirstSeen *QUOMODHCPFirstSeenLoad(void);
QUOMO_API int64_t QUOMODHCPFirstSeenOf(const QuomoFirstSeen *pSeen, const char *szMac);
QUOMO_API void QUOMODHCPFirstSeenFree(QuomoFirstSeen *pSeen);

/* The makers of network cards, from the registry of MAC address blocks
 * (ORVATH_IEEE_DATA_DIR, else /usr/share/ieee-data), through an index kept in
 * the package's cache and rebuilt when the registry changed. Open once for
 * many lookups; never NULL but when memory ran out, and without a registry
 * every lookup answers 0. */
#define QUOMO_VENDOR_LEN 128 /* a maker's name */
typedef struct QuomoVendors QuomoVendors;
QUOMO_API QuomoVendors *QUOMODHCPVendorsOpen(void);
/* The maker of the block that holds szMac, the longest of its 36-, 28- and
 * 24-bit blocks, into szVendor ("" unless 1): 1 a maker, 0 none known, 2 a
 * locally administered address (no maker), -1 not a MAC address. */
QUOMO_API int QUOMODHCPVendorOf(const QuomoVendors *pVendors, const char *szMac, char *szVendor,
                                size_t size);
QUOMO_API void QUOMODHCPVendorsClose(QuomoVendors *pVendors);

/* PXE subnet: /etc/dhcpd/dhcpd-<ifName>-pxe.conf / .info */
QUOMO_API int QUOMONetSetDhcpPXEServerConfigFiles(const DhcpPxeConf *conf, int enable);
QUOMO_API int QUOMONetGetDhcpPXEServerConf(const char *szTag, const char *szIfName, DhcpPxeConf *pConf);

/* The PXE subnet with these settings; NULL boot writes none of them. The
 * older writer QUOMONetSetDhcpPXEServerConfigFiles keeps those on disk. */
QUOMO_API int QUOMONetSetDhcpPXEBootConfigFiles(const DhcpPxeConf *conf, const DhcpPxeBoot *boot,
                                                int enable);
/* The PXE subnet and its settings; pBoot may be NULL. */
QUOMO_API int QUOMONetGetDhcpPXEBootConf(const char *szTag, const char *szIfName, DhcpPxeConf *pConf,
                                         DhcpPxeBoot *pBoot);
QUOMO_API int isSameApSubnet(const char *szIp, const char *szNetmask);

/* One save: the request that changes files holds the request lock
 * (orvLockRequest) exclusively, removes what a killed save left behind before
 * it writes, and commits its whole change as one transaction. */
/* Removes the temporary files ".<name>.XXXXXX" a save left in /etc/dhcpd
 * (and /etc/.quomoinfo.conf.XXXXXX, the restart status file's and the
 * journal's); returns how many. */
QUOMO_API int QUOMODHCPRemoveStaleTemporaries(void);
/* Syncs /etc/dhcpd and /etc. 1 on success; 0 on failure (logged, noted). */
QUOMO_API int QUOMODHCPSyncSave(void);
/* Sets the appliance's "pxeenable" key ("yes" for on) as part of the
 * change. 1, or 0 on failure (logged, noted). */
QUOMO_API int QUOMODHCPSetPxeEnable(int on);

struct QuomoRevisionRecord; /* QuomoRevision, below */
/* A request's change. Between Begin and Commit (or Abandon) every file the
 * library writes or removes is staged: nothing on disk changes, and the
 * library's own readers see the staged files. Commit records what someone
 * else changed on disk since the newest revision as an "outside" revision,
 * journals the whole change with the intent (time, user, address, action,
 * interface, revertOf of pIntent), renames every file into place, syncs the
 * directories and records the change as one revision (its id into
 * *pRevision; 0 when it changed nothing the history keeps). A failure on
 * the way puts every old file back: 0 (logged, noted). The history's own
 * failure does not fail the change: its reason goes into szHistoryError
 * ("" when none). Abandon drops the staged files. */
QUOMO_API int QUOMODHCPChangeBegin(void);
QUOMO_API void QUOMODHCPChangeAbandon(void);
QUOMO_API int QUOMODHCPChangeCommit(const struct QuomoRevisionRecord *pIntent, int64_t *pRevision,
                                   char *szHistoryError, size_t cbHistoryError);
/* 1 when a killed request left a change to finish. */
QUOMO_API int QUOMODHCPChangeInterrupted(void);
/* Finishes the change a killed request left: every file as its journal
 * says, recorded once under that request's intent. 1 finished, 0 none, -1
 * when it could not be (logged, noted; it is tried again by the next
 * request). Under the exclusive request lock. */
QUOMO_API int QUOMODHCPChangeFinishInterrupted(char *szHistoryError, size_t cbHistoryError);

/* ---- Configuration history ----
 * A configuration is every file the system writes under /etc/dhcpd (the
 * fragments, settings files, the reservation list, the subnet switches; not
 * the lease log nor temporaries) and the "pxeenable" key of the appliance's
 * settings (the pseudo-file QUOMO_HISTORY_PXE_PATH), by path under the root
 * ("etc/dhcpd/..."). The history keeps whole configurations as revisions in
 * the store QUOMO_HISTORY_PATH: the newest 200 and at most about 12 MiB of
 * distinct file contents, the newest always. Every call below is made under
 * the request lock. */
typedef struct QuomoConfig QuomoConfig;
typedef struct QuomoHistory QuomoHistory;

#define QUOMO_HISTORY_TEXT_LEN 128
typedef struct QuomoRevisionRecord {
    int64_t id;
    int64_t time;
    char szUser[QUOMO_HISTORY_TEXT_LEN];
    char szAddr[QUOMO_HISTORY_TEXT_LEN];
    char szAction[QUOMO_HISTORY_TEXT_LEN];
    char szIfName[QUOMO_IFNAME_LEN];
    int64_t revertOf; /* 0: not a revert */
    char szSummary[QUOMO_HISTORY_TEXT_LEN];
} QuomoRevision;

/* The configuration on disk; NULL when a file could not be read (logged,
 * noted). */
QUOMO_API QuomoConfig *QUOMODHCPConfigRead(void);
QUOMO_API void QUOMODHCPConfigFree(QuomoConfig *pConfig);
QUOMO_API int QUOMODHCPConfigCount(const QuomoConfig *pConfig);
/* The i-th file's path and content (len bytes), in path order: 1; 0 past
 * the end. */
QUOMO_API int QUOMODHCPConfigFile(const QuomoConfig *pConfig, int i, const char **pszPath,
                                  const char **ppData, size_t *pLen);
/* The content of szPath: 1; 0 when the configuration does not hold it. */
QUOMO_API int QUOMODHCPConfigFind(const QuomoConfig *pConfig, const char *szPath,
                                  const char **ppData, size_t *pLen);
QUOMO_API int QUOMODHCPConfigEqual(const QuomoConfig *pA, const QuomoConfig *pB);
/* "<ifName>: 2 subnets, 14 reservations, PXE on" (without "<ifName>: " and
 * counting every interface's subnets when szIfName is empty). */
QUOMO_API void QUOMODHCPConfigSummary(const QuomoConfig *pConfig, const char *szIfName,
                                      char *szBuf, size_t cbBuf);
/* Stages pTarget as the change (of szIfName's files only, when it is not
 * NULL or empty): each owned file that differs is written, each owned file
 * pTarget lacks removed; no other file is touched. Every file to be written
 * is first read back by its store's reader and must be exactly what the
 * store writes for what it read; otherwise nothing is staged, and szWhy
 * says "<path>: <reason>". 1 on success; 0 on failure (szWhy, or logged and
 * noted). */
QUOMO_API int QUOMODHCPConfigRestore(const QuomoConfig *pTarget, const char *szIfName, char *szWhy,
                                     size_t cbWhy);

/* Opens the store: for a change (forChange) it is made when missing, mode
 * 0600, and one that is damaged, a link, not a regular file of the
 * service's user or not of mode 0600 is moved to QUOMO_HISTORY_DAMAGED_PATH,
 * so that the next change starts a fresh history; a reading opens it
 * read-only and writes nothing. NULL when the store cannot be opened, with
 * the reason in szError ("" for a reading when no store exists yet: the
 * history is empty). */
QUOMO_API QuomoHistory *QUOMODHCPHistoryOpen(int forChange, char *szError, size_t cbError);
QUOMO_API void QUOMODHCPHistoryClose(QuomoHistory *pHistory);
/* The newest revision into pRev: 1; 0 when the history is empty; -1 on
 * error. */
QUOMO_API int QUOMODHCPHistoryNewest(QuomoHistory *pHistory, QuomoRevision *pRev);
/* The newest revision's id into *pId (0 while the history is empty), as
 * the last change left it beside the store when that is still true, else
 * from the store: 1; -1 when the store cannot be read (szError says why). */
QUOMO_API int QUOMODHCPHistoryNewestId(int64_t *pId, char *szError, size_t cbError);
/* Up to nMax revisions, newest first; the number, or -1 on error. */
QUOMO_API int QUOMODHCPHistoryList(QuomoHistory *pHistory, QuomoRevision *pRevs, int nMax);
/* Revision id and, when ppConfig is not NULL, its configuration: 1; 0 no
 * such revision; -1 on error. */
QUOMO_API int QUOMODHCPHistoryGet(QuomoHistory *pHistory, int64_t id, QuomoRevision *pRev,
                                  QuomoConfig **ppConfig);
/* The revision before id (1, 0 when none, -1 on error). */
QUOMO_API int QUOMODHCPHistoryPrevious(QuomoHistory *pHistory, int64_t id, QuomoRevision *pRev,
                                       QuomoConfig **ppConfig);
/* Further DHCP options of an interface and host overrides:
 * /etc/dhcpd/orvath-<ifName>.options keeps them, and the pair
 * dhcpd-<ifName>-options.conf/.info carries their dnsmasq lines (no pair
 * while there are none). Values are checked by the caller; the library
 * refuses only what could not be written safely. */
#define QUOMO_OPTION_NAME_LEN 32
#define QUOMO_OPTION_TYPE_LEN 16
#define QUOMO_OPTION_VALUE_LEN 1024
#define QUOMO_MAX_OPTIONS 64
#define QUOMO_MAX_HOST_OPTIONS 256
typedef struct QuomoDhcpOption {
    int32_t code;                          /* 1 .. 254 */
    char szName[QUOMO_OPTION_NAME_LEN];    /* the named option, "" for another code */
    char szType[QUOMO_OPTION_TYPE_LEN];    /* how the value is sent, see below */
    char szValue[QUOMO_OPTION_VALUE_LEN];  /* as the administrator gave it */
} QuomoDhcpOption;
/* Types: "ipv4", "ipv4-list", "routes" (a.b.c.d/len,gateway pairs), "names"
 * (addresses or names, sent as dnsmasq reads them), "text" (sent quoted),
 * "uint8", "uint16", "uint32", "int32", "bool" ("true"/"false"), "hex"
 * (colon-separated bytes). */
typedef struct QuomoHostOption {
    char szMac[QUOMO_IP_LEN];
    char szGateway[QUOMO_IP_LEN]; /* "" for none */
    char szDns[QUOMO_IP_LEN];     /* "" for none */
} QuomoHostOption;
/* Replaces the interface's options and host overrides, the list and the
 * fragment pair as one change. 1 on success; 0 on failure (logged, noted),
 * every old file in place. */
QUOMO_API int QUOMODHCPSetOptions(const char *szIfName, const QuomoDhcpOption *pOptions, int count,
                        const QuomoHostOption *pHosts, int hostCount);
/* Reads them back: at most maxOptions and maxHosts entries, their numbers
 * into *pCount and *pHostCount. 1 read (also: none kept), 0 on failure. */
QUOMO_API int QUOMODHCPGetOptions(const char *szIfName, QuomoDhcpOption *pOptions, int maxOptions,
                        int *pCount, QuomoHostOption *pHosts, int maxHosts, int *pHostCount);

/* IPv6 on an interface's link: router advertisements and DHCPv6.
 * /etc/dhcpd/orvath-<ifName>.ipv6 keeps the settings, and the pair
 * dhcpd-<ifName>-ipv6.conf/.info carries their dnsmasq lines (no files while
 * IPv6 is off). Values are checked by the caller; the library refuses only
 * what could not be written safely. */
#define QUOMO_IPV6_MODE_LEN 16 /* "off", "ra-only", "stateless", "stateful" */
#define QUOMO_IPV6_MAX_DNS 3
#define QUOMO_IPV6_DOMAIN_LEN 256
typedef struct QuomoIpv6Settings {
    char szMode[QUOMO_IPV6_MODE_LEN];
    char szStart[QUOMO_IPV6_LEN]; /* the range's host parts, e.g. "::100"; stateful only */
    char szEnd[QUOMO_IPV6_LEN];
    int32_t prefixLength;         /* 64: dnsmasq builds on the interface's /64 */
    int32_t leaseSeconds;
    int32_t dnsCount;
    char aszDns[QUOMO_IPV6_MAX_DNS][QUOMO_IPV6_LEN]; /* none: szOwnAddress */
    /* The interface's own address, announced as the DNS server when no
     * server is given ("" for dnsmasq's default): the DNS-only mode's name
     * server answers there, and dnsmasq announces nothing by itself then. */
    char szOwnAddress[QUOMO_IPV6_LEN];
    int32_t raNames; /* 1: clients' SLAAC addresses get their IPv4 host names in DNS */
    char szDomain[QUOMO_IPV6_DOMAIN_LEN]; /* the interface's domain, sent as search list; "" none */
} QuomoIpv6Settings;
/* Replaces the interface's IPv6 settings, the settings file and the
 * fragment pair as one change ("off": both removed). 1 on success; 0 on
 * failure (logged, noted), every old file in place. */
QUOMO_API int QUOMODHCPSetIpv6(const char *szIfName, const QuomoIpv6Settings *pSettings);
/* Reads them back; mode "off" (prefix length 64) when none are kept. 1 read,
 * 0 on failure. */
QUOMO_API int QUOMODHCPGetIpv6(const char *szIfName, QuomoIpv6Settings *pSettings);

#ifdef __cplusplus
}
#endif

#endif /* QUOMODHCP_H */
