/*
 * The refusal rules of request_origin.h.
 */
#include "request_origin.h"

#include <arpa/inet.h>
#include <ctype.h>
#include <errno.h>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>

#include "orvath_common.h"

namespace {

/* Why a request is refused, and the header value that decided it (NULL:
 * none). */
struct Refusal {
    const char *reason;
    const char *value;
};

/* An origin as compared: lower case, without the scheme's default port. */
std::string normalOrigin(const char *text, size_t len)
{
    std::string origin(text, len);
    for (char &c : origin)
        c = (char)tolower((unsigned char)c);
    const char *defaultPort = origin.compare(0, 8, "https://") == 0  ? ":443"
                              : origin.compare(0, 7, "http://") == 0 ? ":80"
                                                                     : NULL;
    size_t portLen = defaultPort ? strlen(defaultPort) : 0;
    if (defaultPort && origin.size() > portLen &&
        origin.compare(origin.size() - portLen, portLen, defaultPort) == 0)
        origin.resize(origin.size() - portLen);
    return origin;
}

/* The origin of a URL: scheme, "://" and the host part up to the path,
 * query or fragment. Empty when the text holds no "://". */
std::string urlOrigin(const char *url)
{
    const char *hostStart = strstr(url, "://");
    if (!hostStart)
        return std::string();
    hostStart += 3;
    size_t len = (size_t)(hostStart - url) + strcspn(hostStart, "/?#");
    return normalOrigin(url, len);
}

/* The origin the request was addressed to; empty without a Host header. */
std::string ownOrigin(Webvard &cgi)
{
    const char *host = cgi.Header("Host");
    if (!host || !*host)
        return std::string();
    std::string origin = std::string(cgi.IsHttps() ? "https://" : "http://") + host;
    return normalOrigin(origin.data(), origin.size());
}

/* The origin is this server's own, or one the web server allows besides
 * (ORVATH_ALLOWED_ORIGINS). */
bool originAllowed(Webvard &cgi, const std::string &origin)
{
    if (origin.empty() || origin == "null")
        return false;
    if (origin == ownOrigin(cgi))
        return true;
    const char *allowed = getenv("ORVATH_ALLOWED_ORIGINS");
    static const char kSeparators[] = " \t,";
    for (const char *p = allowed ? allowed : ""; *p;) {
        p += strspn(p, kSeparators);
        size_t len = strcspn(p, kSeparators);
        if (len > 0 && normalOrigin(p, len) == origin)
            return true;
        p += len;
    }
    return false;
}

/* The host part of a Host header, or of a name the service answers to: in
 * lower case, without the port, the brackets of an IPv6 literal and one
 * trailing dot. */
std::string hostPart(const char *text, size_t len)
{
    std::string host(text, len);
    if (!host.empty() && host[0] == '[') {
        size_t close = host.find(']');
        host = host.substr(1, close == std::string::npos ? std::string::npos : close - 1);
    } else {
        host = host.substr(0, host.find(':'));
    }
    for (char &c : host)
        c = (char)tolower((unsigned char)c);
    if (!host.empty() && host.back() == '.')
        host.pop_back();
    return host;
}

/* An address literal as its bytes: family and 4 or 16 bytes. An IPv6
 * literal may carry a zone ("%eth0"), which is not compared. */
struct Address {
    int family = 0;
    unsigned char bytes[16] = {0};

    bool operator==(const Address &other) const
    {
        return family && family == other.family &&
               memcmp(bytes, other.bytes, family == AF_INET ? 4 : 16) == 0;
    }
};

Address parseAddress(const std::string &text)
{
    Address address;
    std::string plain = text.substr(0, text.find('%'));
    if (inet_pton(AF_INET, plain.c_str(), address.bytes) == 1)
        address.family = AF_INET;
    else if (inet_pton(AF_INET6, plain.c_str(), address.bytes) == 1)
        address.family = AF_INET6;
    return address;
}

/* The address is one of the machine's interfaces'. */
bool interfaceAddress(const Address &address)
{
    struct ifaddrs *list = NULL;
    if (getifaddrs(&list) != 0) {
        ORV_LOG("Failed to list the interfaces' addresses: %s", strerror(errno));
        return false;
    }
    bool found = false;
    for (struct ifaddrs *i = list; i && !found; i = i->ifa_next) {
        Address own;
        if (!i->ifa_addr || i->ifa_addr->sa_family != address.family)
            continue;
        own.family = address.family;
        if (own.family == AF_INET)
            memcpy(own.bytes, &((const struct sockaddr_in *)i->ifa_addr)->sin_addr, 4);
        else
            memcpy(own.bytes, &((const struct sockaddr_in6 *)i->ifa_addr)->sin6_addr, 16);
        found = own == address;
    }
    freeifaddrs(list);
    return found;
}

/* The host is named in ORVATH_ALLOWED_HOSTS (blank- or comma-separated). */
bool listedHost(const std::string &host, const Address &address)
{
    const char *allowed = getenv("ORVATH_ALLOWED_HOSTS");
    static const char kSeparators[] = " \t,";
    for (const char *p = allowed ? allowed : ""; *p;) {
        p += strspn(p, kSeparators);
        size_t len = strcspn(p, kSeparators);
        std::string name = hostPart(p, len);
        if (len > 0 && (name == host || (address.family && parseAddress(name) == address)))
            return true;
        p += len;
    }
    return false;
}

/* The machine's own names: "localhost", its host name and that name in
 * ".local". */
bool ownName(const std::string &host)
{
    if (host == "localhost")
        return true;
    char name[256];
    if (gethostname(name, sizeof name) != 0)
        return false;
    name[sizeof name - 1] = '\0';
    std::string own = hostPart(name, strlen(name));
    return !own.empty() && (host == own || host == own + ".local");
}

/* The Host names this appliance: an address of SERVER_ADDR or of one of the
 * machine's interfaces, one of its own names, or a name the web server
 * allows. Not SERVER_NAME: web servers may copy it from the Host. A page
 * of another site whose name was made to resolve to the appliance (DNS
 * rebinding) brings its own name, and its Origin matches that name. */
bool ownHost(Webvard &cgi, Refusal &refusal)
{
    const char *header = cgi.Header("Host");
    if (!header || !*header)
        return true;
    refusal = {"request for another host name (Host)", header};
    std::string host = hostPart(header, strlen(header));
    Address address = parseAddress(host);
    if (address.family) {
        const char *server = getenv("SERVER_ADDR");
        if ((server && parseAddress(server) == address) || interfaceAddress(address))
            return true;
    } else if (ownName(host)) {
        return true;
    }
    return listedHost(host, address);
}

/* A changing action takes every parameter, "action" too, from a form body:
 * a page of another site can make a browser send a body of another type
 * (text/plain) or a query string without asking the server first. */
bool formBodyOnly(Webvard &cgi, Refusal &refusal)
{
    if (strcmp(cgi.BodyType(), "application/x-www-form-urlencoded") != 0) {
        const char *type = getenv("CONTENT_TYPE");
        refusal = {"this action takes an application/x-www-form-urlencoded body only",
                   type ? type : ""};
        return false;
    }
    if (cgi.HasQueryParameters()) {
        refusal = {"this action takes no parameters in the query string",
                   getenv("QUERY_STRING")};
        return false;
    }
    return true;
}

/* The cross-origin rule: the first of the browser's headers present
 * decides. */
bool sameOrigin(Webvard &cgi, Refusal &refusal)
{
    if (const char *site = cgi.Header("Sec-Fetch-Site")) {
        refusal = {"cross-origin request (Sec-Fetch-Site)", site};
        return strcmp(site, "same-origin") == 0 || strcmp(site, "none") == 0;
    }
    if (const char *origin = cgi.Header("Origin")) {
        refusal = {"cross-origin request (Origin)", origin};
        return originAllowed(cgi, normalOrigin(origin, strlen(origin)));
    }
    if (const char *referer = cgi.Header("Referer")) {
        refusal = {"cross-origin request (Referer)", referer};
        return originAllowed(cgi, urlOrigin(referer));
    }
    return true;
}

/* A header value as a log line may hold it: printable, cut short. */
void printableValue(char (&out)[128], const char *value)
{
    orvCopy(out, sizeof out, value ? value : "");
    for (char *p = out; *p; ++p) {
        if ((unsigned char)*p < 0x20 || *p == 0x7f)
            *p = '?';
    }
}

} // namespace

bool requestAccepted(Webvard &cgi, bool postOnly, Json::Value &answer)
{
    Refusal refusal = {NULL, NULL};
    if (ownHost(cgi, refusal) && sameOrigin(cgi, refusal)) {
        if (!postOnly)
            return true;
        if (strcmp(cgi.Method(), "POST") != 0)
            refusal = {"this action is accepted by POST only", cgi.Method()};
        else if (formBodyOnly(cgi, refusal))
            return true;
    }
    char value[128];
    printableValue(value, refusal.value);
    ORV_LOG("Request refused: %s [%s]", refusal.reason, value);
    answer["error"] = std::string("request: ") + refusal.reason;
    return false;
}
