/*
 * Which requests orvath serves at all, decided before any handler runs.
 *
 * A browser sends the administrator's credentials with every request to the
 * appliance, also with those that another web site makes it send. So:
 *
 * - A request whose Host is not one of this machine's names is refused,
 *   whatever the action: a page of another site whose name was made to
 *   resolve to the appliance (DNS rebinding) is same-origin with itself.
 *   Its own names are an address literal of SERVER_ADDR or of one of the
 *   machine's interfaces (IPv6 in brackets), "localhost", the host name
 *   (gethostname) and that name with ".local", and the names in
 *   ORVATH_ALLOWED_HOSTS (blanks or commas between them); the port is not
 *   compared. Not SERVER_NAME: a web server may copy it from the Host. A
 *   request without Host passes this rule.
 * - An action that changes the configuration comes by POST only: a link, an
 *   image or a redirect can only make a browser GET. It takes every
 *   parameter, "action" too, from an application/x-www-form-urlencoded body:
 *   a body of another type (text/plain, which a page may send anywhere
 *   without asking) or any parameter in the query string is refused.
 * - A request that a browser sends for another origin is refused, whatever
 *   the action. The browser's own headers decide, the first one present:
 *   Sec-Fetch-Site ("same-origin" and "none" pass), else Origin (it must be
 *   this server's origin; "null" never is), else Referer (its origin must be
 *   this server's). A request with none of them does not come from a browser
 *   acting for a page (scripts, curl, the appliance's own tools) and passes.
 *
 * This server's origin is the scheme (https when HTTPS is on) and the Host
 * header. Behind a reverse proxy that passes another Host on, the web server
 * sets ORVATH_ALLOWED_ORIGINS in the program's environment to the origins the
 * page is served from ("https://nas.example.com", several separated by
 * blanks or commas); an Origin or Referer of one of them passes as well.
 */
#ifndef REQUEST_ORIGIN_H
#define REQUEST_ORIGIN_H

#include <json/json.h>

#include "webvard.h"

/* True when the request may run. A refused request gets "error"
 * ("request: <reason>") in the answer and one log line naming the reason.
 * postOnly: the action changes the configuration. */
bool requestAccepted(Webvard &cgi, bool postOnly, Json::Value &answer);

#endif /* REQUEST_ORIGIN_H */
