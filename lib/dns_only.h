/*
 * The DNS-only pair dhcpd-dns-dns.conf/.info: while a name server ("named")
 * runs on the appliance, dnsmasq must not answer DNS itself, and the pair
 * sets its DNS port to 0. Not exported.
 */
#ifndef QUOMODHCP_DNS_ONLY_H
#define QUOMODHCP_DNS_ONLY_H

/* See QUOMODHCPDecideDisableDNS and QUOMODHCPDnsOnly. */
int quomoDecideDnsOnly(void);
bool quomoDnsOnly(void);

#endif /* QUOMODHCP_DNS_ONLY_H */
