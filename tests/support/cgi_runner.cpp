#include "cgi_runner.h"

#include <gtest/gtest.h>

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <memory>
#include <sstream>

#include "ci.h"
#include "dnsmasq_check.h"

extern char **environ;

std::string urlEncode(const std::string &text)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

static std::string encodeParams(const Params &params)
{
    std::string out;
    for (const auto &p : params) {
        if (!out.empty())
            out += '&';
        out += urlEncode(p.first) + "=" + urlEncode(p.second);
    }
    return out;
}

std::string toJsonText(const Json::Value &value)
{
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    return Json::writeString(builder, value);
}

Json::Value parseJson(const std::string &text)
{
    Json::CharReaderBuilder builder;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    Json::Value value;
    std::string errors;
    if (!reader->parse(text.data(), text.data() + text.size(), &value, &errors))
        return Json::Value();
    return value;
}

static std::string tempFileWith(const std::string &content)
{
    char tmpl[] = "/tmp/orvath-cgi-XXXXXX";
    int fd = mkstemp(tmpl);
    if (fd >= 0) {
        if (!content.empty() && ::write(fd, content.data(), content.size()) < 0)
            perror("write");
        close(fd);
    }
    return tmpl;
}

static std::vector<std::string> cgiEnvironment(const Sandbox &sandbox, const CgiRequest &request,
                                               size_t bodyLength)
{
    std::vector<std::string> env;
    // Keep the sanitizer settings and the path; everything else is the CGI's.
    for (char **e = environ; *e; ++e) {
        if (!strncmp(*e, "ASAN_", 5) || !strncmp(*e, "UBSAN_", 6) || !strncmp(*e, "LSAN_", 5) ||
            !strncmp(*e, "PATH=", 5))
            env.push_back(*e);
    }
    env.push_back("ORVATH_ROOT=" + sandbox.root());
    env.push_back("ORVATH_LOG_STDERR=1");
    // The program sees the processes the sandbox lists, not another test's.
    env.push_back("ORVATH_PROC_IN_ROOT=1");
    env.push_back("GATEWAY_INTERFACE=CGI/1.1");
    env.push_back("REQUEST_METHOD=" + request.method);
    env.push_back("QUERY_STRING=" + encodeParams(request.query));
    if (request.authorized)
        env.push_back("REMOTE_USER=admin");
    for (const auto &variable : request.env)
        env.push_back(variable.first + "=" + variable.second);
    if (request.method == "POST") {
        env.push_back("CONTENT_TYPE=" + request.contentType);
        env.push_back("CONTENT_LENGTH=" + std::to_string(bodyLength));
    }
    return env;
}

static void splitAnswer(CgiResult &result)
{
    size_t end = result.out.find("\r\n\r\n");
    size_t skip = 4;
    if (end == std::string::npos) {
        end = result.out.find("\n\n");
        skip = 2;
    }
    if (end == std::string::npos)
        return;
    result.header = result.out.substr(0, end);
    std::string text = result.out.substr(end + skip);
    Json::CharReaderBuilder builder;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    std::string errors;
    result.bodyParsed = reader->parse(text.data(), text.data() + text.size(), &result.body, &errors);
    for (const char *name : {"serviceRestarted", "serviceError"}) {
        if (result.body.isObject() && result.body.isMember(name)) {
            result.service[name] = result.body[name];
            result.body.removeMember(name);
        }
    }
    for (const char *name : {"revision", "historyError"}) {
        if (result.body.isObject() && result.body.isMember(name)) {
            result.history[name] = result.body[name];
            result.body.removeMember(name);
        }
    }
    for (const char *name : {"errorAt", "errorKind"}) {
        if (result.body.isObject() && result.body.isMember(name)) {
            result.errorInfo[name] = result.body[name];
            result.body.removeMember(name);
        }
    }
}

// After a request that writes the service's configuration, dnsmasq must
// accept what was written, unless the test says it wrote a rejected one.
static void checkWrittenConfig(const Sandbox &sandbox, const CgiRequest &request,
                               const std::string &body)
{
    std::string query = "&" + encodeParams(request.query) + "&" + body + "&";
    bool writes = false;
    for (const char *action : {"applydata", "disableServer", "applypxesubnet", "applyOptions", "revertTo",
                               "applyIPv6"})
        writes = writes || query.find(std::string("&action=") + action + "&") != std::string::npos;
    if (!writes || request.expectRejectedConfig)
        return;
    if (dnsmasqProgram().empty()) {
        // The check cannot run: say so (once), and under CI=1 fail.
        static bool told = false;
        if (ciRequiresEveryTool())
            ADD_FAILURE() << "CI=1, missing: dnsmasq, which checks the written configuration";
        else if (!told)
            fprintf(stderr, "dnsmasq is not installed: written configurations are not checked\n");
        told = true;
        return;
    }
    DnsmasqCheck check = checkDnsmasqConfig(sandbox.root());
    if (check.ran && !check.accepted)
        ADD_FAILURE() << "dnsmasq rejects the configuration written by this request:\n"
                      << check.message;
}

// Far beyond any request the tests make (the request lock waits 30 s): only a
// program that hangs reaches it.
static const int kProgramSeconds = 120;

CgiRun startCgi(const Sandbox &sandbox, const CgiRequest &request)
{
    CgiRun run;
    run.sandbox = &sandbox;
    run.request = request;
    run.body = request.rawBody.empty() ? encodeParams(request.form) : request.rawBody;
    if (request.method != "POST")
        run.body.clear();
    run.inPath = tempFileWith(run.body);
    run.outPath = tempFileWith("");
    run.errPath = tempFileWith("");
    std::vector<std::string> env = cgiEnvironment(sandbox, request, run.body.size());
    std::vector<char *> envp;
    for (auto &e : env)
        envp.push_back(&e[0]);
    envp.push_back(nullptr);

    run.pid = fork();
    if (run.pid == 0) {
        int in = open(run.inPath.c_str(), O_RDONLY);
        int out = open(run.outPath.c_str(), O_WRONLY | O_TRUNC);
        int err = open(run.errPath.c_str(), O_WRONLY | O_TRUNC);
        if (in < 0 || out < 0 || err < 0)
            _exit(126);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        std::vector<std::string> args = request.wrapper;
        args.push_back(ORVATH_BIN);
        std::vector<char *> argv;
        for (auto &a : args)
            argv.push_back(&a[0]);
        argv.push_back(nullptr);
        execvpe(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    if (run.pid < 0)
        ADD_FAILURE() << "fork: " << strerror(errno);
    return run;
}

CgiResult finishCgi(CgiRun &run)
{
    CgiResult result;
    int status = 0;
    if (run.pid > 0 && !waitForExit(run.pid, kProgramSeconds, &status))
        ADD_FAILURE() << "the program did not end within " << kProgramSeconds << " s, killed";
    if (run.pid > 0)
        result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    run.pid = -1;
    result.out = readFile(run.outPath);
    result.err = readFile(run.errPath);
    unlink(run.inPath.c_str());
    unlink(run.outPath.c_str());
    unlink(run.errPath.c_str());
    splitAnswer(result);
    checkWrittenConfig(*run.sandbox, run.request, run.body);
    return result;
}

CgiResult runCgi(const Sandbox &sandbox, const CgiRequest &request)
{
    CgiRun run = startCgi(sandbox, request);
    return finishCgi(run);
}

CgiResult runAction(const Sandbox &sandbox, const std::string &action, const Params &params)
{
    CgiRequest request;
    request.form.push_back({"action", action});
    for (const auto &p : params)
        request.form.push_back(p);
    return runCgi(sandbox, request);
}
