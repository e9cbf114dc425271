// Runs the built orvath program as the web server would: a CGI process with
// its environment and standard input, in the sandbox's root.
#pragma once

#include <json/json.h>

#include <string>
#include <utility>
#include <vector>

#include "sandbox.h"

using Params = std::vector<std::pair<std::string, std::string>>;

struct CgiRequest {
    std::string method = "POST";
    Params query;           // goes into QUERY_STRING
    Params form;            // POST body, application/x-www-form-urlencoded
    std::string rawBody;    // used instead of form when set
    std::string contentType = "application/x-www-form-urlencoded";
    bool authorized = true; // REMOTE_USER set
    Params env;             // further CGI variables: HTTP_ORIGIN, HTTPS, ...
    // After a request that writes, the enabled fragments are checked with
    // `dnsmasq --test` and a rejected configuration fails the test; a test
    // that deliberately writes one sets this.
    bool expectRejectedConfig = false;
    // Command the program is run under, e.g. {"ip", "netns", "exec", "srv"}
    // (looked up in PATH); empty: run it directly.
    std::vector<std::string> wrapper;
};

struct CgiResult {
    int exitStatus = -1;
    std::string out;     // everything on standard output
    std::string err;     // standard error (log lines with ORVATH_LOG_STDERR=1)
    std::string header;  // the header block, without the blank line
    Json::Value body;    // the parsed answer (null when there is none)
    bool bodyParsed = false;
    // The restart's members of the answer ("serviceRestarted", "serviceError"),
    // taken out of body: the tests of what a request writes compare body
    // whole, whatever became of the restart after it.
    Json::Value service;
    // The history's members ("revision", "historyError"), taken out the same
    // way.
    Json::Value history;
    // Where and of what kind a refusal or failure is ("errorAt",
    // "errorKind"), taken out the same way.
    Json::Value errorInfo;
};

// A program started by startCgi, not yet waited for.
struct CgiRun {
    const Sandbox *sandbox = nullptr;
    CgiRequest request;
    std::string body;
    std::string inPath, outPath, errPath; // its standard input, output and error
    pid_t pid = -1;
};

std::string urlEncode(const std::string &text);
CgiResult runCgi(const Sandbox &sandbox, const CgiRequest &request);
// runCgi in two halves, for programs that run at the same time: startCgi
// returns once the program is started, finishCgi waits for it (killing it,
// and failing the test, when it has not ended within two minutes) and reads
// its answer. Programs are started from one thread only: a process forked
// while another of its threads is inside a system call can inherit a lock
// taken for that call (the 32-bit emulation takes one for every path name)
// and never reach exec.
CgiRun startCgi(const Sandbox &sandbox, const CgiRequest &request);
CgiResult finishCgi(CgiRun &run);
// POSTs "action" and the given parameters as a form.
CgiResult runAction(const Sandbox &sandbox, const std::string &action, const Params &params = {});
// Compact JSON text of a value, for request parameters.
std::string toJsonText(const Json::Value &value);
Json::Value parseJson(const std::string &text);
