/*
 * The refusal rules of request_origin.h.
 */
#include "request_origin.h"

#include <ctype.h>
#include <stdlib.h>
#include <string.h>

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
    if (sameOrigin(cgi, refusal)) {
        if (!postOnly || strcmp(cgi.Method(), "POST") == 0)
            return true;
        refusal = {"this action is accepted by POST only", cgi.Method()};
    }
    char value[128];
    printableValue(value, refusal.value);
    ORV_LOG("Request refused: %s [%s]", refusal.reason, value);
    answer["error"] = std::string("request: ") + refusal.reason;
    return false;
}
