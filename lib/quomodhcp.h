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
/* Writes the subnets pConfs[0 .. count-1] as one change: each one's fragment
 * (whatever isEnabled says: a subnet switched off keeps its current settings)
 * and its settings file switched by isEnabled. Every file is written out
 * before the first is renamed into place, so a failure leaves every old file
 * and a crash finds the table old or new but for the moment of the renames.
 * 1 on success; 0 on failure (logged; orvFailure names the file). */
int QUOMODHCPSetDhcpServerSubnets(const DhcpServerConf *pConfs, int count);
int QUOMODHCPGetDhcpServerConf(const char *szTag, const char *szIfName, DhcpServerConf *pConf);
int removeUnusedConf(const char *szIfName, int firstIndex);
int removeUnusedInfo(const char *szIfName, int firstIndex);

/* Service control and the DNS-only fragment */
int isIfTagEnable(const char *szIfName, const char *szTag);
/* Switches every subnet of the interface off: 1 done, 0 none found or a
 * settings file could not be written, -1 no interface's name. */
int disableDHCPServer(const char *szIfName);
int isDHCPDActivate(const char *szIfName);
int restartDHCPServer(void);
int QUOMODHCPDecideDisableDNS(void);

/* Static reservations: /etc/dhcpd/dhcpdStatic.ori and the static fragment */
int writeStaticConf(const char *szMac, const char *szIp, const char *szHostname);
/* szMac and szIp hold QUOMO_IP_LEN bytes, szHostname QUOMO_HOSTNAME_LEN. */
int readStaticConf(char *szMac, char *szIp, char *szHostname, const char *szLine);
int QUOMODHCPGenFakeStaticFile(void);
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
int QUOMODHCPSetStaticHosts(const QuomoStaticHost *pHosts, int count);

/* Lease log and expiry texts */
/* szExpireTime holds QUOMO_EXPIRE_LEN bytes. */
int getExpireTime(char *szExpireTime, int32_t expiry, const char *szMac);
/* Buffers: QUOMO_IP_LEN, QUOMO_IP_LEN, QUOMO_HOSTNAME_LEN, QUOMO_EXPIRE_LEN,
 * QUOMO_IFNAME_LEN bytes. */
int readClientList(char *szMac, char *szIp, char *szHostname, char *szExpireTime, char *szIfName,
                   const char *szLine);
int QUOMODHCPUpdateLease(void);
int QUOMODHCPRemoveExpiredLease(void);

/* PXE subnet: /etc/dhcpd/dhcpd-<ifName>-pxe.conf / .info */
int QUOMONetSetDhcpPXEServerConfigFiles(const DhcpPxeConf *conf, int enable);
int QUOMONetGetDhcpPXEServerConf(const char *szTag, const char *szIfName, DhcpPxeConf *pConf);
int isSameApSubnet(const char *szIp, const char *szNetmask);

/* One save: the request that changes files holds the request lock
 * (orvLockRequest) exclusively, removes what a killed save left behind before
 * it writes, and syncs the directories after its renames. */
/* Removes the temporary files ".<name>.XXXXXX" a save left in /etc/dhcpd
 * (and /etc/.quomoinfo.conf.XXXXXX); returns how many. */
int QUOMODHCPRemoveStaleTemporaries(void);
/* Syncs /etc/dhcpd and /etc. 1 on success; 0 on failure (logged, noted). */
int QUOMODHCPSyncSave(void);

#ifdef __cplusplus
}
#endif

#endif /* QUOMODHCP_H */
