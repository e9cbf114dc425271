/*
 * CGI framework: request parameters, authorization, answer header and body.
 */
#ifndef WEBVARD_H
#define WEBVARD_H

#include <json/json.h>

#include <map>
#include <string>
#include <vector>

enum _tag_cgi_position {
    CGI_POSITION_NONE = 0,
    CGI_POSITION_ADMIN = 1,
};

/* JSON text built in pieces of a fixed size, for Webvard::Verbatim: a text
 * of thousands of entries grows without its bytes being copied. */
class JsonPieces {
public:
    /* The piece to append the next entry to. */
    std::string &tail();
    const std::vector<std::string> &pieces() const { return pieces_; }

private:
    std::vector<std::string> pieces_;
};

class Webvard {
public:
    /* readRequest: decode the request from the CGI environment and stdin. */
    explicit Webvard(bool readRequest);
    Webvard(const Webvard &) = delete;
    Webvard &operator=(const Webvard &) = delete;

    /* True exactly when the web server authenticated the caller
     * (REMOTE_USER set and not empty). Writes nothing either way. */
    bool IsAuthorized(const char *szUser, int level, _tag_cgi_position position);
    /* The request as a JSON document (body of type application/json), or
     * NULL for an ordinary parameter request. */
    const Json::Value *In();
    /* Text of parameter szName, or szFallback when absent. The pointer lives
     * as long as this object. */
    const char *In(const char *szName, const char *szFallback);
    /* Drops the parameters of at least minLength bytes, for a request read
     * once into typed values that own their texts: the texts are not kept
     * beside them. In() gives the fallback for them from then on. */
    void ReleaseLargeParams(size_t minLength);
    /* REQUEST_METHOD, or "" when unknown. */
    const char *Method();
    /* The media type of a POST's body (CONTENT_TYPE without parameters, in
     * lower case), or "" when there is none. */
    const char *BodyType();
    /* Why the request's body was not read ("" when it was, or there is
     * none): larger than the limit, ended early, or of a type that is not
     * read (text/plain, multipart/form-data, ...). */
    const char *BodyError();
    /* QUERY_STRING named at least one parameter. */
    bool HasQueryParameters();
    /* The request header szName ("Origin", "Sec-Fetch-Site", ...) as the web
     * server passed it (HTTP_ORIGIN, ...), or NULL when absent. */
    const char *Header(const char *szName);
    /* The request came over TLS (HTTPS is "on" or "1"). */
    bool IsHttps();
    /* The header block ends with X-Content-Type-Options: nosniff and
     * Cache-Control: no-store. */
    void WriteHeader(const char *szContentType);
    void WriteBody(const Json::Value &body);
    /* The answer's text: compact JSON, members in name order, exactly as
     * jsoncpp's writer with no indentation gives it. */
    static std::string CompactJson(const Json::Value &value);
    /* A value of the answer given as its JSON text, which the answer's text
     * holds in its place: for listings of thousands of entries, which cost
     * many times their text as values. The text must be what the writer
     * would give for the value it stands for (AppendString below); it is
     * kept until the process ends. */
    static Json::Value Verbatim(std::string text);
    static Json::Value Verbatim(JsonPieces text);
    /* Appends the JSON text of a string value, exactly as the writer quotes
     * it. */
    static void AppendString(std::string &out, const char *text, size_t len);

private:
    std::map<std::string, std::string> params_;
    bool read_ = false;
    bool isJsonRequest_ = false;
    bool queryParameters_ = false;
    std::string bodyType_;
    std::string bodyError_;
    Json::Value document_;
};

#endif /* WEBVARD_H */
