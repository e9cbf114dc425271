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
/* The number of the interface's subnets (PXE included) switched on. */
int QUOMODHCPCountEnabled(const char *szIfName);
/* Which of the interface's subnets their settings files switch on: "y" or
 * "n" per ordinary subnet into szRows, the PXE subnet's into *pPxe. 0 when
 * the name is unusable or szRows too small. */
int QUOMODHCPSubnetSwitches(const char *szIfName, char *szRows, size_t cbRows, int *pPxe);
int restartDHCPServer(void);
int QUOMODHCPDecideDisableDNS(void);

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
int QUOMODHCPRestartWithOutcome(char *szReason, size_t cbReason);
/* The outcome of the last restart; 0 when none is known. */
int QUOMODHCPLastRestart(QuomoRestartOutcome *pOutcome);
/* 1 when the DHCP service (dnsmasq) runs: the start-up script's pid file
 * names a dnsmasq, or, on the system itself (no other root), a dnsmasq runs. */
int QUOMODHCPServiceRunning(void);
/* 1 when the DNS-only mode is on (see QUOMODHCPDecideDisableDNS). */
int QUOMODHCPDnsOnly(void);

/* The subnets' own switches of an interface whose service is off: szRows
 * holds "y" or "n" per ordinary subnet in table order (at most
 * QUOMO_SWITCHES_LEN - 1), pxe the PXE subnet's. Save and Forget return 1 on
 * success; Read returns 1 when a record exists (the service is off). */
#define QUOMO_SWITCHES_LEN 1024
int QUOMODHCPSaveSwitches(const char *szIfName, const char *szRows, int pxe);
int QUOMODHCPReadSwitches(const char *szIfName, char *szRows, size_t cbRows, int *pPxe);
int QUOMODHCPForgetSwitches(const char *szIfName);

/* Asks the running dnsmasq to drop one lease, through the start-up script
 * ("dhcp-release <if> <ip> <mac>", in the service's network), then removes
 * the record from the lease log. Returns the script's exit status (0: dnsmasq
 * dropped it), with the reason as for a restart otherwise. */
int QUOMODHCPReleaseLease(const char *szIfName, const char *szMac, const char *szIp,
                          char *szReason, size_t cbReason);
/* Removes the records of szMac at szIp from the package's lease log, under
 * its lock. The number removed, -1 on failure. */
int QUOMODHCPRemoveLeaseRecord(const char *szMac, const char *szIp);

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

/* PXE subnet: /etc/dhcpd/dhcpd-<ifName>-pxe.conf / .info */
int QUOMONetSetDhcpPXEServerConfigFiles(const DhcpPxeConf *conf, int enable);
int QUOMONetGetDhcpPXEServerConf(const char *szTag, const char *szIfName, DhcpPxeConf *pConf);
int isSameApSubnet(const char *szIp, const char *szNetmask);

#ifdef __cplusplus
}
#endif

#endif /* QUOMODHCP_H */
