// Helpers of the library's unit tests.
#pragma once

#include <stdlib.h>
#include <string.h>

#include <time.h>

#include <string>

#include "orvath_common.h"
#include "quomodhcp.h"

// Log lines also go to stderr, where a test can capture them.
[[maybe_unused]] static const int logToStderr = setenv("ORVATH_LOG_STDERR", "1", 1);

// Fixes the library's clock at the current second while it lives, so that
// times computed from `now` cannot be caught by the clock ticking over.
struct FixedClock {
    const time_t now = time(nullptr);
    FixedClock() { orvSetClock(now); }
    ~FixedClock() { orvSetClock((time_t)-1); }
    FixedClock(const FixedClock &) = delete;
    FixedClock &operator=(const FixedClock &) = delete;
};

// The captured log holds message.
inline bool logged(const std::string &log, const std::string &message)
{
    return log.find(message) != std::string::npos;
}

// eth0's first subnet: 192.168.1.100-200/24, one day, router and DNS .1.
inline DhcpServerConf exampleSubnet()
{
    DhcpServerConf c;
    memset(&c, 0, sizeof c);
    c.leaseTime = 86400;
    strcpy(c.szStartIp, "192.168.1.100");
    strcpy(c.szEndIp, "192.168.1.200");
    strcpy(c.szIfName, "eth0");
    strcpy(c.szPrimaryDns, "192.168.1.1");
    strcpy(c.szNetmask, "255.255.255.0");
    strcpy(c.szGateway, "192.168.1.1");
    strcpy(c.szTag, "eth00");
    return c;
}
