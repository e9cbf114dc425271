// The CGI framework. Each request is decoded in a child process with its own
// CGI environment, standard input and output, as the web server runs it.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "sandbox.h"
#include "webvard.h"

namespace {

struct Request {
    std::vector<std::pair<std::string, std::string>> env;
    std::string body;
    bool read = true; // the constructor's argument
};

struct Outcome {
    std::string out; // standard output of the child
    std::string err; // standard error: the log lines
    int status = -1;
};

const char *const CGI_VARIABLES[] = {"REQUEST_METHOD", "QUERY_STRING", "CONTENT_LENGTH",
                                     "CONTENT_TYPE", "REMOTE_USER"};

Outcome run(const Sandbox &sb, const Request &request, const std::function<void(Webvard &)> &fn)
{
    sb.write("stdin", request.body);
    fflush(stdout);
    fflush(stderr);
    pid_t pid = fork();
    if (pid == 0) {
        for (const char *name : CGI_VARIABLES)
            unsetenv(name);
        for (const auto &e : request.env)
            setenv(e.first.c_str(), e.second.c_str(), 1);
        setenv("ORVATH_LOG_STDERR", "1", 1);
        int in = open(sb.path("stdin").c_str(), O_RDONLY);
        int out = open(sb.path("stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = open(sb.path("stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || out < 0 || err < 0)
            _exit(126);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        {
            Webvard cgi(request.read);
            fn(cgi);
        }
        fflush(stdout);
        _exit(0);
    }
    Outcome outcome;
    int status = 0;
    waitpid(pid, &status, 0);
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    outcome.out = sb.read("stdout");
    outcome.err = sb.read("stderr");
    return outcome;
}

// Prints name=value (or name=(null)) for each name, one per line.
std::function<void(Webvard &)> show(std::vector<const char *> names)
{
    return [names](Webvard &cgi) {
        for (const char *name : names) {
            const char *value = cgi.In(name, nullptr);
            printf("%s=%s\n", name, value ? value : "(null)");
        }
        printf("json=%s\n", cgi.In() ? "yes" : "no");
    };
}

Request post(const std::string &body, const std::string &type = "application/x-www-form-urlencoded")
{
    Request r;
    r.env = {{"REQUEST_METHOD", "POST"},
             {"CONTENT_TYPE", type},
             {"CONTENT_LENGTH", std::to_string(body.size())}};
    r.body = body;
    return r;
}

} // namespace

TEST(WebvardParams, QueryStringDecoding)
{
    Sandbox sb;
    Request r;
    r.env = {{"REQUEST_METHOD", "GET"},
             {"QUERY_STRING", "action=loadGlobal&iftype=eth0&a=%41%62+c%2B&bad=%zz%4&pct=%"
                              "&flag&&=noname&action=second&enc%20name=%E2%82%AC"}};
    Outcome o = run(sb, r, show({"action", "iftype", "a", "bad", "pct", "flag", "enc name",
                                 "missing", ""}));
    EXPECT_EQ(0, o.status);
    EXPECT_EQ("action=loadGlobal\n"
              "iftype=eth0\n"
              "a=Ab c+\n"
              "bad=%zz%4\n"
              "pct=%\n"
              "flag=\n"
              "enc name=\xE2\x82\xAC\n"
              "missing=(null)\n"
              "=(null)\n"
              "json=no\n",
              o.out);

    // The fallback comes back as given; a found value stays at one address.
    o = run(sb, r, [](Webvard &cgi) {
        const char *fallback = "";
        const char *first = cgi.In("iftype", nullptr);
        printf("%d %d %d\n", cgi.In("dataArray", fallback) == fallback,
               cgi.In(nullptr, fallback) == fallback, cgi.In("iftype", "x") == first);
    });
    EXPECT_EQ("1 1 1\n", o.out);
}

TEST(WebvardParams, FormBodyAfterTheQueryString)
{
    Sandbox sb;
    Request r = post("action=frombody&dataArray=%5B%7B%22a%22%3A1%7D%5D&iftype=eth1&iftype=eth2",
                     "application/x-www-form-urlencoded; charset=UTF-8");
    r.env.push_back({"QUERY_STRING", "action=fromquery"});
    Outcome o = run(sb, r, show({"action", "dataArray", "iftype"}));
    EXPECT_EQ("action=fromquery\ndataArray=[{\"a\":1}]\niftype=eth1\njson=no\n", o.out);

    // Only CONTENT_LENGTH bytes are the body.
    r = post("a=1&b=2");
    r.env[2].second = "3";
    EXPECT_EQ("a=1\nb=(null)\njson=no\n", run(sb, r, show({"a", "b"})).out);

    // A GET request's standard input is not a body.
    r = post("a=1");
    r.env[0].second = "GET";
    EXPECT_EQ("a=(null)\njson=no\n", run(sb, r, show({"a"})).out);

    // A body of another type is not parameters.
    r = post("a=1", "text/plain");
    Outcome other = run(sb, r, show({"a"}));
    EXPECT_EQ("a=(null)\njson=no\n", other.out);
    EXPECT_NE(std::string::npos, other.err.find("text/plain")) << other.err;
}

TEST(WebvardParams, JsonDocumentRequest)
{
    Sandbox sb;
    Request r = post("{\"action\":\"getIfData\", /* note */ \"list\":[1,2]}",
                     "Application/JSON; charset=utf-8");
    r.env.push_back({"QUERY_STRING", "iftype=eth0"});
    Outcome o = run(sb, r, [](Webvard &cgi) {
        const Json::Value *doc = cgi.In();
        if (!doc) {
            printf("no document\n");
            return;
        }
        printf("%s %u %s %s\n", (*doc)["action"].asCString(), (*doc)["list"].size(),
               cgi.In("iftype", "none"), cgi.In("action", "none"));
    });
    EXPECT_EQ("getIfData 2 eth0 none\n", o.out);

    // Not JSON: still a document request, with a null document.
    r = post("{\"action\":", "application/json");
    o = run(sb, r, [](Webvard &cgi) {
        const Json::Value *doc = cgi.In();
        printf("%s\n", !doc ? "no document" : doc->isNull() ? "null" : "value");
    });
    EXPECT_EQ("null\n", o.out);
    EXPECT_NE(std::string::npos, o.err.find("not JSON")) << o.err;

    // Nested deeper than the reader goes: a null document too, not an
    // aborted process.
    r = post(std::string(5000, '[') + std::string(5000, ']'), "application/json");
    o = run(sb, r, [](Webvard &cgi) {
        const Json::Value *doc = cgi.In();
        printf("%s\n", !doc ? "no document" : doc->isNull() ? "null" : "value");
    });
    EXPECT_EQ(0, o.status);
    EXPECT_EQ("null\n", o.out);
    EXPECT_NE(std::string::npos, o.err.find("not JSON")) << o.err;
}

TEST(WebvardParams, BodySizeLimitAndBrokenLengths)
{
    Sandbox sb;
    // Exactly 1 MiB is read.
    std::string big = "a=" + std::string(1024 * 1024 - 2, 'x');
    Outcome o = run(sb, post(big), [](Webvard &cgi) { printf("%zu", strlen(cgi.In("a", ""))); });
    EXPECT_EQ(std::to_string(1024 * 1024 - 2), o.out);

    // One byte more: not read, and the request has no parameters at all.
    Request r = post(big + "x");
    r.env.push_back({"QUERY_STRING", "action=enumIF"});
    o = run(sb, r, show({"action", "a"}));
    EXPECT_EQ("action=(null)\na=(null)\njson=no\n", o.out);
    EXPECT_NE(std::string::npos, o.err.find("exceeds")) << o.err;

    // A body that ends early is not used half.
    r = post("action=applydata&dataArray=[1,2");
    r.env[2].second = "100";
    r.env.push_back({"QUERY_STRING", "iftype=eth0"});
    o = run(sb, r, show({"action", "iftype"}));
    EXPECT_EQ("action=(null)\niftype=(null)\njson=no\n", o.out);
    EXPECT_NE(std::string::npos, o.err.find("ended after")) << o.err;

    // A length that is no number, or none: the body is ignored, the query
    // string still counts.
    for (const char *length : {"12abc", "-5", "", " 3", "99999999999999999999999999"}) {
        r = post("a=1");
        r.env[2].second = length;
        r.env.push_back({"QUERY_STRING", "q=1"});
        o = run(sb, r, show({"q", "a"}));
        EXPECT_EQ(0, o.status) << length;
        if (std::string(length) == "99999999999999999999999999")
            EXPECT_EQ("q=(null)\na=(null)\njson=no\n", o.out);
        else
            EXPECT_EQ("q=1\na=(null)\njson=no\n", o.out) << length;
    }
    r = post("a=1");
    r.env.erase(r.env.begin() + 2);
    EXPECT_EQ("a=(null)\njson=no\n", run(sb, r, show({"a"})).out);
}

TEST(WebvardParams, NotReadWhenAskedNotTo)
{
    Sandbox sb;
    Request r = post("a=1", "application/json");
    r.env.push_back({"QUERY_STRING", "q=1"});
    r.read = false;
    EXPECT_EQ("q=(null)\njson=no\n", run(sb, r, show({"q"})).out);
}

TEST(WebvardAuthorization, RemoteUserDecidesAndNothingIsWritten)
{
    Sandbox sb;
    auto ask = [](Webvard &cgi) { fprintf(stderr, "[%d]", cgi.IsAuthorized(nullptr, 1,
                                                                            CGI_POSITION_ADMIN)); };
    Request r;
    r.env = {{"REQUEST_METHOD", "GET"}, {"REMOTE_USER", "admin"}};
    Outcome o = run(sb, r, ask);
    EXPECT_EQ("", o.out);
    EXPECT_EQ("[1]", o.err);
    r.env[1].second = "";
    o = run(sb, r, ask);
    EXPECT_EQ("", o.out);
    EXPECT_EQ("[0]", o.err);
    r.env.pop_back();
    o = run(sb, r, ask);
    EXPECT_EQ("", o.out);
    EXPECT_EQ("[0]", o.err);
}

// The answer's own writer gives the library writer's bytes for every kind
// of value, taking the library's way for the ones it does not write itself.
TEST(WebvardAnswer, CompactTextIsTheLibraryWritersText)
{
    Json::Value nested(Json::objectValue);
    nested["z"] = Json::Value(Json::objectValue);
    nested["a"]["b"].append(Json::Value());
    nested["a"]["b"].append(false);
    nested["key \"quoted\" \\"] = "v";
    const Json::Value cases[] = {
        Json::Value(),
        Json::Value(true),
        Json::Value(-2147483647 - 1),
        Json::Value(Json::LargestUInt(18446744073709551615ULL)),
        Json::Value(Json::LargestInt(-9007199254740993LL)),
        Json::Value("plain text / with slash ~"),
        Json::Value("quote \" and backslash \\"),
        Json::Value("tab\tnewline\n\x01\x7f"),
        Json::Value("caf\xc3\xa9 \xe2\x82\xac"),
        Json::Value(1.5),
        Json::Value(Json::arrayValue),
        Json::Value(Json::objectValue),
        nested,
    };
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    for (const Json::Value &value : cases) {
        EXPECT_EQ(Json::writeString(builder, value), Webvard::CompactJson(value)) << value;
        Json::Value wrapped;
        wrapped["list"].append(value);
        EXPECT_EQ(Json::writeString(builder, wrapped), Webvard::CompactJson(wrapped)) << value;
    }
}

TEST(WebvardAnswer, HeaderAndCompactBody)
{
    Sandbox sb;
    Request r;
    r.env = {{"REQUEST_METHOD", "GET"}};
    Outcome o = run(sb, r, [](Webvard &cgi) {
        Json::Value answer;
        answer["list"].append(1);
        answer["list"].append("x\"y");
        answer["empty"] = Json::Value(Json::arrayValue);
        answer["success"] = true;
        cgi.WriteHeader("text/plain; charset=\"UTF-8\"");
        cgi.WriteBody(answer);
    });
    EXPECT_EQ("Content-Type: text/plain; charset=\"UTF-8\"\r\n"
              "X-Content-Type-Options: nosniff\r\n"
              "Cache-Control: no-store\r\n\r\n"
              "{\"empty\":[],\"list\":[1,\"x\\\"y\"],\"success\":true}\n",
              o.out);

    // A type that would add header lines is not written as given.
    o = run(sb, r, [](Webvard &cgi) { cgi.WriteHeader("text/html\r\nSet-Cookie: a=b"); });
    EXPECT_EQ("Content-Type: text/plain\r\n"
              "X-Content-Type-Options: nosniff\r\n"
              "Cache-Control: no-store\r\n\r\n",
              o.out);
}
