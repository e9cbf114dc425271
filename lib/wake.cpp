/*
 * Waking a device (see wake.h).
 */
#include "wake.h"

#include <errno.h>
#include <fcntl.h>
#include <linux/nsfs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "orvath_common.h"
#include "quomodhcp.h"
#include "quomodhcp_paths.h"
#include "text.h"
#include "vendor_registry.h"

#define WAKE_PORT 9
#define WAKE_PACKET_LEN 102
/* The addresses remembered for the once-a-second rule. */
#define WAKE_MEMORY 64

/* ---- where this process runs ---- */

/* The initial network and user namespaces have had fixed inode numbers
 * since Linux 3.8 (user) and on recent kernels (network). */
static const ino_t kInitialNetNs = 0xEFFFFFF9u;
static const ino_t kInitialUserNs = 0xEFFFFFFDu;

/* 0 when the namespace belongs to a user namespace other than the
 * initial one (unshare -rn), else -1. Needs no privilege. */
static int ownedByOtherUserNs(void)
{
    int nfd = open("/proc/self/ns/net", O_RDONLY | O_CLOEXEC);
    if (nfd < 0)
        return -1;
    int ufd = ioctl(nfd, NS_GET_USERNS);
    close(nfd);
    if (ufd < 0)
        return -1;
    struct stat owner;
    int r = fstat(ufd, &owner);
    close(ufd);
    return r == 0 && owner.st_ino != kInitialUserNs ? 0 : -1;
}

/* Compared with pid 1's namespace, else the kernel thread daemon's. */
static int sameAsInit(const struct stat &self)
{
    const char *refs[] = {"/proc/1/ns/net", "/proc/2/ns/net"};
    for (const char *ref : refs) {
        if (ref[6] == '2') {
            std::string comm;
            if (orvReadFile("/proc/2/comm", comm) != 1 || comm != "kthreadd\n")
                continue;
        }
        struct stat init;
        if (stat(ref, &init) == 0)
            return self.st_dev == init.st_dev && self.st_ino == init.st_ino ? 1 : 0;
    }
    return -1;
}

int quomoOnHostNetwork(void)
{
    struct stat self;
    if (stat("/proc/self/ns/net", &self) != 0)
        return -1;
    if (self.st_ino == kInitialNetNs)
        return 1;
    if (ownedByOtherUserNs() == 0)
        return 0;
    return sameAsInit(self);
}

/* ---- once a second per address ---- */

static bool wakePath(char (&szPath)[QUOMO_PATH_LEN])
{
    return orvPath(szPath, sizeof szPath, "%s", QUOMO_WAKE_TIMES_PATH);
}

/* The recent sends but those of szMac and the stale ones, and when szMac
 * was last sent to (0: not lately). */
static std::string recentSends(const std::string &text, const char *szMac, time_t now, time_t *pLast)
{
    std::string kept;
    *pLast = 0;
    int count = 0;
    quomoEachLine(text, [&](const std::string &line) {
        char szLineMac[QUOMO_IP_LEN];
        long long when;
        if (sscanf(line.c_str(), "%19s %lld", szLineMac, &when) != 2 || when > now || now - when > 10)
            return;
        if (strcmp(szLineMac, szMac) == 0)
            *pLast = (time_t)when;
        else if (++count < WAKE_MEMORY)
            kept += line + "\n";
    });
    return kept;
}

/* False when szMac was sent to within the last second; otherwise notes the
 * send now (the caller holds the request lock). */
static bool mayWakeNow(const char *szMac)
{
    char szPath[QUOMO_PATH_LEN];
    if (!wakePath(szPath))
        return false;
    std::string text;
    orvReadFile(szPath, text);
    time_t now = orvNow(), last;
    std::string kept = recentSends(text, szMac, now, &last);
    if (last && now - last < 1)
        return false;
    kept += std::string(szMac) + " " + std::to_string((long long)now) + "\n";
    orvReplaceFile(szPath, kept.data(), kept.size(), 0600);
    return true;
}

/* ---- the packet ---- */

static void magicPacket(unsigned char (&packet)[WAKE_PACKET_LEN], uint64_t mac)
{
    memset(packet, 0xff, 6);
    for (int i = 0; i < 16; ++i)
        for (int b = 0; b < 6; ++b)
            packet[6 + i * 6 + b] = (unsigned char)(mac >> (8 * (5 - b)));
}

/* To 255.255.255.255 out of the interface with this index: IP_PKTINFO
 * chooses it without privilege, and the broadcast never follows a route. */
static int sendBroadcast(unsigned ifIndex, const unsigned char *packet, size_t len)
{
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return errno;
    int one = 1;
    struct sockaddr_in to;
    memset(&to, 0, sizeof to);
    to.sin_family = AF_INET;
    to.sin_port = htons(WAKE_PORT);
    to.sin_addr.s_addr = htonl(INADDR_BROADCAST);
    struct iovec iov = {(void *)packet, len};
    union {
        struct cmsghdr align;
        char buf[CMSG_SPACE(sizeof(struct in_pktinfo))];
    } control;
    memset(&control, 0, sizeof control);
    struct msghdr msg;
    memset(&msg, 0, sizeof msg);
    msg.msg_name = &to;
    msg.msg_namelen = sizeof to;
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    msg.msg_control = control.buf;
    msg.msg_controllen = sizeof control.buf;
    struct cmsghdr *c = CMSG_FIRSTHDR(&msg);
    c->cmsg_level = IPPROTO_IP;
    c->cmsg_type = IP_PKTINFO;
    c->cmsg_len = CMSG_LEN(sizeof(struct in_pktinfo));
    struct in_pktinfo info;
    memset(&info, 0, sizeof info);
    info.ipi_ifindex = (int)ifIndex;
    memcpy(CMSG_DATA(c), &info, sizeof info);
    int err = 0;
    if (setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &one, sizeof one) != 0 ||
        sendmsg(fd, &msg, 0) != (ssize_t)len)
        err = errno;
    close(fd);
    return err;
}

/* Why this process may not send here, or NULL: under a root other than
 * "/" (a test or the demo) only from a network namespace of its own. */
static const char *sendRefusal(void)
{
    if (!orvRoot()[0])
        return NULL;
    int host = quomoOnHostNetwork();
    if (host == 1)
        return "not sent: a test root sends only from inside a network namespace, and this is the machine's own network";
    if (host < 0)
        return "not sent: a test root sends only from inside a network namespace, and this one cannot be told from the machine's own";
    return NULL;
}

static int refuse(char *szReason, size_t cbReason, const char *why, int result)
{
    orvCopy(szReason, cbReason, why);
    return result;
}

int quomoWake(const char *szIfName, const char *szMac, char *szReason, size_t cbReason)
{
    uint64_t mac;
    orvCopy(szReason, cbReason, "");
    if (!szMac || !quomoParseMac48(szMac, &mac) || ((mac >> 40) & 0x01))
        return refuse(szReason, cbReason, "not the MAC address of one device", -1);
    if (const char *why = sendRefusal())
        return refuse(szReason, cbReason, why, -1);
    unsigned ifIndex = szIfName ? if_nametoindex(szIfName) : 0;
    if (!ifIndex)
        return refuse(szReason, cbReason, "no such interface here", -1);
    if (!mayWakeNow(szMac))
        return refuse(szReason, cbReason, "sent to this device less than a second ago", 1);
    unsigned char packet[WAKE_PACKET_LEN];
    magicPacket(packet, mac);
    int err = sendBroadcast(ifIndex, packet, sizeof packet);
    if (err) {
        orvFormat(szReason, cbReason, "not sent: %s", strerror(err));
        ORV_LOG("Wake-on-LAN packet for %s on %s not sent: %s", szMac, szIfName, strerror(err));
        return -1;
    }
    return 0;
}
