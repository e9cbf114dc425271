/*
 * The fixed paths and formats of the DHCP service's files, in one place for
 * the library, the CGI and the lease hook. Every path is under the
 * file-system root (orvPath). Path buffers are QUOMO_PATH_LEN bytes.
 */
#ifndef QUOMODHCP_PATHS_H
#define QUOMODHCP_PATHS_H

/* The system's configuration directory, and in it the directory of the
 * subnets' files and the reservation list. */
#define QUOMO_ETC_DIR "/etc"
#define QUOMO_DHCPD_DIR QUOMO_ETC_DIR "/dhcpd"
/* A subnet's fragment ("conf") or settings file ("info"):
 * dhcpd-<ifName>-<tag>.<ext>. */
#define QUOMO_SUBNET_FILE_FORMAT QUOMO_DHCPD_DIR "/dhcpd-%s-%s.%s"
/* The tag of an interface's ordinary subnet: its name and its index. */
#define QUOMO_ORDINARY_TAG_FORMAT "%s%d"
/* The tag of the PXE subnet. */
#define QUOMO_PXE_TAG "pxe"
/* The access point's subnet: its interface is also its tag. */
#define QUOMO_AP_IFNAME "lbr0"
/* A line of a settings file, and of the appliance's settings: key="value". */
#define QUOMO_INFO_FORMAT "%s=\"%s\"\n"
/* The reservation list: one mac="ip hostname" line per reservation. */
#define QUOMO_STATIC_LIST QUOMO_DHCPD_DIR "/dhcpdStatic.ori"
/* The reservations' IPv6 addresses, one dhcp-host line each, as dnsmasq
 * reads them from the fragment pair with the tag QUOMO_STATIC6_TAG. */
#define QUOMO_STATIC6_LIST QUOMO_DHCPD_DIR "/dhcpdStatic6.ori"
#define QUOMO_STATIC6_TAG "static6"
/* The subnets' own switches kept while an interface's service is off. */
#define QUOMO_SWITCHES_FORMAT QUOMO_DHCPD_DIR "/orvath-%s.switches"
/* An interface's options and host overrides as the page edits them; the
 * fragment pair with the tag QUOMO_OPTIONS_TAG is made from it. */
#define QUOMO_OPTIONS_FORMAT QUOMO_DHCPD_DIR "/orvath-%s.options"
#define QUOMO_OPTIONS_TAG "options"
/* An interface's access rules as the page gives them; the fragment pair
 * with the tag QUOMO_ACCESS_TAG is made from it. */
#define QUOMO_ACCESS_FORMAT QUOMO_DHCPD_DIR "/orvath-%s.access"
#define QUOMO_ACCESS_TAG "access"
/* The pair of the names an interface's DNS answers for its devices. */
#define QUOMO_NAMES_TAG "names"
/* An interface's IPv6 settings as the page edits them; the fragment pair
 * with the tag QUOMO_IPV6_TAG is made from it. */
#define QUOMO_IPV6_FORMAT QUOMO_DHCPD_DIR "/orvath-%s.ipv6"
#define QUOMO_IPV6_TAG "ipv6"
/* The appliance's own DHCP settings and lease log. */
#define QUOMO_APPLIANCE_INFO QUOMO_DHCPD_DIR "/dhcpd.info"
#define QUOMO_APPLIANCE_LEASE_LOG QUOMO_DHCPD_DIR "/dhcpd-leases.log"
/* The appliance's settings file that says whether PXE is served. */
#define QUOMO_APPLIANCE_CONF_NAME "quomoinfo.conf"
#define QUOMO_APPLIANCE_CONF QUOMO_ETC_DIR "/" QUOMO_APPLIANCE_CONF_NAME

/* The package's directory and its files. */
#define QUOMO_PACKAGE_ETC "/var/packages/Orvath/target/etc"
/* The lease log the hook and the library keep, and the lock every writer of
 * it takes (in the private directory below): each one reads the log and
 * replaces it whole, so a writer running in between would lose the other's
 * record. */
#define QUOMO_LEASE_LOG_PATH QUOMO_PACKAGE_ETC "/dhcpd-leases.log"
#define QUOMO_LEASE_LOG_LOCK_NAME "dhcpd-leases.log.lock"
/* How long a writer of the log waits for the lock before it gives up. */
#define QUOMO_LEASE_LOG_LOCK_WAIT_MS 10000
/* When each client was first seen, and how many the file keeps. */
#define QUOMO_FIRST_SEEN_PATH QUOMO_PACKAGE_ETC "/first-seen"
#define QUOMO_FIRST_SEEN_MAX 4096
/* dnsmasq's lease file. */
#define QUOMO_LEASE_FILE_PATH QUOMO_PACKAGE_ETC "/dhcpd.conf.leases"
/* The outcome of the last restart. */
#define QUOMO_SERVICE_STATUS_NAME "service.status"
#define QUOMO_SERVICE_STATUS_PATH QUOMO_PACKAGE_ETC "/" QUOMO_SERVICE_STATUS_NAME
/* dnsmasq's process id, as the start-up script writes it. */
#define QUOMO_DNSMASQ_PID_PATH "/var/run/orvath-dnsmasq.pid"
/* The appliance's start-up script. */
#define QUOMO_RC_NETWORK QUOMO_ETC_DIR "/rc.network"

/* The package's private directory, which only the service's user may
 * write: the request lock, the lease log's lock and the journal of the
 * change being saved lie in it. */
#define QUOMO_PRIVATE_DIR "/var/packages/Orvath/target/var/lock"
#define QUOMO_JOURNAL_NAME "change.journal"
#define QUOMO_JOURNAL_PATH QUOMO_PRIVATE_DIR "/" QUOMO_JOURNAL_NAME
/* When each device was last woken (the once-a-second rule). */
#define QUOMO_WAKE_TIMES_PATH QUOMO_PRIVATE_DIR "/wake.times"

/* The configuration history: one SQLite database in the package's
 * directory, and where a damaged one is put aside. */
#define QUOMO_PACKAGE_DIR "/var/packages/Orvath/target"
#define QUOMO_HISTORY_PATH QUOMO_PACKAGE_DIR "/history.db"
#define QUOMO_HISTORY_DAMAGED_PATH QUOMO_HISTORY_PATH ".damaged"
/* The newest revision's id, with the store's state it is true for. */
#define QUOMO_HISTORY_NEWEST_PATH QUOMO_HISTORY_PATH ".newest"
/* The pseudo-file of the history that holds the "pxeenable" key of the
 * appliance's settings. */
#define QUOMO_HISTORY_PXE_KEY "pxeenable"
#define QUOMO_HISTORY_PXE_PATH "etc/" QUOMO_APPLIANCE_CONF_NAME "#" QUOMO_HISTORY_PXE_KEY

/* The index of the MAC address registry, rebuilt when the registry
 * changes. */
#define QUOMO_VENDOR_INDEX_PATH QUOMO_PACKAGE_DIR "/var/cache/mac-vendors.idx"

#endif /* QUOMODHCP_PATHS_H */
