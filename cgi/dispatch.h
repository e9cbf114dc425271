/*
 * orvath: the CGI program behind the DHCP pages of the web administration.
 * One request is one process: main (main.cpp) reads the request and hands
 * it to dispatchRequest (dispatch.cpp), whose action table names each
 * action's traits, reader and handler (handlers.h).
 */
#ifndef ORVATH_DISPATCH_H
#define ORVATH_DISPATCH_H

#include "webvard.h"

/* Authorizes, runs the action and writes the JSON answer with its "success"
 * member. A request that request_origin.h refuses (another host's or
 * origin's, or a changing action not sent as a form by POST), or whose
 * body cannot be read (too large, of another type), runs nothing and gets
 * "error" saying why ("request: <reason>"). A request that arrives as a
 * JSON document runs nothing either. A changing request is read once and
 * checked before anything is written, and refused with "error" naming its
 * place. A writing action holds the request lock exclusively until its
 * restart has returned (a listing holds it shared); one that cannot get it
 * within the wait answers "busy: ...". A write that failed is named in
 * "error" ("<path under the root>: <reason>"). Every "error" comes with
 * "errorKind" and, where there is one, "errorAt" (request_context.h).
 * Returns the handler's result. Writes nothing for an unauthorized caller. */
bool dispatchRequest(Webvard &cgi);

#endif /* ORVATH_DISPATCH_H */
