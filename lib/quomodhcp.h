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

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define QUOMO_IP_LEN 20         /* dotted IPv4 or MAC address text */
#define QUOMO_IFNAME_LEN 16     /* interface name */
#define QUOMO_TAG_LEN 20        /* subnet tag */
#define QUOMO_DOMAIN_LEN 4096   /* domain name */
#define QUOMO_BOOTFILE_LEN 4096 /* PXE boot file name */
#define QUOMO_HOSTNAME_LEN 1024 /* client host name */
#define QUOMO_EXPIRE_LEN 1024   /* expiry text */
#define QUOMO_PATH_LEN 1024     /* file path */

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

/* Per-interface subnet files: /etc/dhcpd/dhcpd-<ifName>-<tag>.conf / .info */
int QUOMODHCPSetDhcpServerConfigFiles(const DhcpServerConf *conf, int enable);
int QUOMODHCPGetDhcpServerConf(const char *szTag, const char *szIfName, DhcpServerConf *pConf);
int removeUnusedConf(const char *szIfName, int firstIndex);
int removeUnusedInfo(const char *szIfName, int firstIndex);

/* Service control and the DNS-only fragment */
int isIfTagEnable(const char *szIfName, const char *szTag);
int disableDHCPServer(const char *szIfName);
int isDHCPDActivate(const char *szIfName);
int restartDHCPServer(void);
int QUOMODHCPDecideDisableDNS(void);

/* Static reservations: /etc/dhcpd/dhcpdStatic.ori and the static fragment */
int writeStaticConf(const char *szMac, const char *szIp, const char *szHostname);
/* szMac and szIp hold QUOMO_IP_LEN bytes, szHostname QUOMO_HOSTNAME_LEN. */
int readStaticConf(char *szMac, char *szIp, char *szHostname, const char *szLine);
int QUOMODHCPGenFakeStaticFile(void);

/* Lease log and expiry texts */
/* szExpireTime holds QUOMO_EXPIRE_LEN bytes. */
int getExpireTime(char *szExpireTime, int32_t expiry, const char *szMac);
/* Buffers: QUOMO_IP_LEN, QUOMO_IP_LEN, QUOMO_HOSTNAME_LEN, QUOMO_EXPIRE_LEN,
 * QUOMO_IFNAME_LEN bytes. */
int readClientList(char *szMac, char *szIp, char *szHostname, char *szExpireTime, char *szIfName,
                   const char *szLine);
int QUOMODHCPUpdateLease(void);
int QUOMODHCPRemoveExpiredLease(void);
/* Both of the above under one hold of the lease log's lock, writing the log
 * at most once and not at all when nothing changed; the client list's
 * refresh. 0, or -1 when either part failed (logged). */
int QUOMODHCPRefreshLeaseLog(void);

/* The reserved MAC addresses, read once for many lookups. MAC addresses
 * compare without regard to letter case; the list keeps them as entered. */
typedef struct QuomoReserved QuomoReserved;
/* Reads the reservation list, creating it empty when missing. NULL when it
 * cannot be read (logged). */
QuomoReserved *QUOMODHCPReservedLoad(void);
void QUOMODHCPReservedFree(QuomoReserved *pReserved);
/* getExpireTime and readClientList against a list read beforehand; NULL
 * fails as an unreadable list does. */
int getExpireTimeWith(const QuomoReserved *pReserved, char *szExpireTime, int32_t expiry,
                      const char *szMac);
int readClientListWith(const QuomoReserved *pReserved, char *szMac, char *szIp, char *szHostname,
                       char *szExpireTime, char *szIfName, const char *szLine);

/* PXE subnet: /etc/dhcpd/dhcpd-<ifName>-pxe.conf / .info */
int QUOMONetSetDhcpPXEServerConfigFiles(const DhcpPxeConf *conf, int enable);
int QUOMONetGetDhcpPXEServerConf(const char *szTag, const char *szIfName, DhcpPxeConf *pConf);
int isSameApSubnet(const char *szIp, const char *szNetmask);

#ifdef __cplusplus
}
#endif

#endif /* QUOMODHCP_H */
