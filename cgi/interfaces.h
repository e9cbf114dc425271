/*
 * The system's interfaces as the program sees them: those that serve DHCP
 * ("enumIF") and their own addresses.
 */
#ifndef ORVATH_INTERFACES_H
#define ORVATH_INTERFACES_H

#include <json/json.h>

#include <string>
#include <vector>

#include "quomodhcp.h"
#include "vorl.h"

/* The platform's interface list (room for kMaxInterfaces); 0 or less on
 * failure (logged). */
enum { kMaxInterfaces = 32 };
int listInterfaces(VORL_NETIF (&ifs)[kMaxInterfaces]);
/* An interface record's name as NUL-terminated text. */
void interfaceName(const VORL_NETIF &netif, char (&szName)[QUOMO_IFNAME_LEN]);
/* The kinds of interface that serve DHCP (SDK::Network::GetIfType). */
bool listedInterfaceType(int type);
/* One of the interfaces "enumIF" lists. */
bool isSystemInterface(const char *szIfName);
/* The interface's IPv4 addresses as "a.b.c.d/prefix" texts: from the system,
 * or, under another root, from <root>/sys/class/net/<name>/orvath_addrs (one
 * such text a line). */
Json::Value interfaceAddresses(const char *szIfName);
/* The interface's global IPv6 addresses as "fd50::1/64" texts (link-local
 * and multicast ones left out): from the system, or under another root
 * from <root>/sys/class/net/<name>/orvath_addrs6. */
std::vector<std::string> interfaceAddresses6(const char *szIfName);
/* The address lies in the prefix of one of such address texts. */
bool insideIpv6Prefixes(const char *szIp, const std::vector<std::string> &addresses);
/* The prefix of such an address text, "fd50::/64"; "" for another text. */
std::string ipv6Prefix(const std::string &addressWithLength);

#endif /* ORVATH_INTERFACES_H */
