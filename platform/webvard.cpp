/*
 * The CGI framework: decodes a request from the CGI environment and standard
 * input, and writes the answer to standard output.
 *
 * Parameters come from QUERY_STRING and, for POST, from a body of type
 * application/x-www-form-urlencoded; the first occurrence of a name wins,
 * the query string before the body. A body of type application/json is the
 * request as one JSON document instead. A body longer than MAX_BODY is not
 * read and leaves the request without parameters.
 */
#include "webvard.h"

#include <ctype.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <stdint.h>
#include <sys/random.h>
#include <unistd.h>

#include <algorithm>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "orvath_common.h"

namespace {

const size_t MAX_BODY = 1024 * 1024;

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

/* Percent-decoding of one name or value; "+" is a blank. A "%" that is not
 * followed by two hex digits stands for itself. */
std::string urlDecode(const char *text, size_t len)
{
    /* Written through a pointer: a save's body is half a megabyte. */
    std::string out(len, '\0');
    char *w = &out[0];
    for (size_t i = 0; i < len; ++i) {
        char c = text[i];
        int high, low;
        if (c == '+') {
            *w++ = ' ';
        } else if (c == '%' && i + 2 < len && (high = hexValue(text[i + 1])) >= 0 &&
                   (low = hexValue(text[i + 2])) >= 0) {
            *w++ = (char)(high * 16 + low);
            i += 2;
        } else {
            *w++ = c;
        }
    }
    out.resize((size_t)(w - out.data()));
    return out;
}

/* Adds the name=value pairs of an urlencoded text; names already present
 * keep their first value. Each pair is searched for its "=" within its own
 * bounds only, so the cost stays linear in the text's length whatever its
 * shape. */
void addParams(const std::string &text, std::map<std::string, std::string> &params)
{
    const char *p = text.data();
    const char *const stop = p + text.size();
    for (;;) {
        const char *end = (const char *)memchr(p, '&', (size_t)(stop - p));
        if (!end)
            end = stop;
        const char *eq = (const char *)memchr(p, '=', (size_t)(end - p));
        if (!eq)
            eq = end;
        if (eq > p) {
            auto added = params.try_emplace(urlDecode(p, (size_t)(eq - p)));
            if (added.second && eq < end)
                added.first->second = urlDecode(eq + 1, (size_t)(end - eq - 1));
        }
        if (end == stop)
            break;
        p = end + 1;
    }
}

/* The media type of a Content-Type value, without parameters and blanks,
 * in lower case. */
std::string mediaType(const char *contentType)
{
    std::string type;
    if (!contentType)
        return type;
    for (const char *p = contentType; *p && *p != ';'; ++p) {
        if (!isspace((unsigned char)*p))
            type += (char)tolower((unsigned char)*p);
    }
    return type;
}

/* CONTENT_LENGTH as a size: decimal digits only. False when absent or not a
 * number; a number too large for size_t reads as SIZE_MAX. */
bool contentLength(const char *text, size_t *length)
{
    if (!text || !*text)
        return false;
    size_t n = 0;
    for (const char *p = text; *p; ++p) {
        if (!isdigit((unsigned char)*p))
            return false;
        size_t digit = (size_t)(*p - '0');
        n = n > (SIZE_MAX - digit) / 10 ? SIZE_MAX : n * 10 + digit;
    }
    *length = n;
    return true;
}

/* The request document: a JSON body (comments allowed). A body that is not
 * JSON, or nests deeper than the reader allows (it throws then), leaves a
 * null document. */
void parseDocument(const std::string &body, Json::Value &document)
{
    Json::CharReaderBuilder builder;
    builder["allowComments"] = true;
    std::string errors;
    bool ok = false;
    try {
        std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
        ok = reader->parse(body.data(), body.data() + body.size(), &document, &errors);
    } catch (const std::exception &e) {
        errors = e.what();
    }
    if (!ok) {
        std::replace(errors.begin(), errors.end(), '\n', ' '); /* one log line */
        ORV_LOG("Request document is not JSON: %s", errors.c_str());
        document = Json::Value();
    }
}

} // namespace

Webvard::Webvard(bool readRequest)
{
    read_ = readRequest;
    if (!readRequest)
        return;
    const char *method = getenv("REQUEST_METHOD");
    const char *query = getenv("QUERY_STRING");
    std::map<std::string, std::string> params;
    if (query)
        addParams(query, params);
    queryParameters_ = !params.empty();

    if (method && strcmp(method, "POST") == 0) {
        const char *lengthText = getenv("CONTENT_LENGTH");
        size_t length = 0;
        if (lengthText && !contentLength(lengthText, &length)) {
            ORV_LOG("Bad CONTENT_LENGTH [%s]; body ignored", lengthText);
            length = 0;
        }
        if (length > MAX_BODY) {
            ORV_LOG("Request body of %zu bytes exceeds %zu; request ignored", length, MAX_BODY);
            bodyError_ = "the body is larger than 1 MiB";
            return;
        }
        std::string body(length, '\0');
        size_t got = 0;
        while (got < length) {
            size_t n = fread(&body[got], 1, length - got, stdin);
            if (n == 0)
                break;
            got += n;
        }
        if (got < length) {
            ORV_LOG("Request body ended after %zu of %zu bytes; request ignored", got, length);
            bodyError_ = "the body ended before its length";
            return;
        }
        std::string type = mediaType(getenv("CONTENT_TYPE"));
        bodyType_ = type;
        if (type == "application/json") {
            isJsonRequest_ = true;
            parseDocument(body, document_);
        } else if (type.empty() || type == "application/x-www-form-urlencoded") {
            addParams(body, params);
        } else if (length > 0) {
            ORV_LOG("Request body of type [%s] ignored", type.c_str());
            bodyError_ = "a body of type " + type + " is not read";
        }
    }
    params_.swap(params);
}

const char *Webvard::BodyError() { return bodyError_.c_str(); }

bool Webvard::IsAuthorized(const char *szUser, int level, _tag_cgi_position position)
{
    (void)szUser;
    (void)level;
    (void)position;
    const char *user = getenv("REMOTE_USER");
    return user && *user;
}

const Json::Value *Webvard::In() { return isJsonRequest_ ? &document_ : nullptr; }

const char *Webvard::In(const char *szName, const char *szFallback)
{
    if (!szName)
        return szFallback;
    auto it = params_.find(szName);
    return it == params_.end() ? szFallback : it->second.c_str();
}

void Webvard::ReleaseLargeParams(size_t minLength)
{
    for (auto it = params_.begin(); it != params_.end();)
        it = it->second.size() >= minLength ? params_.erase(it) : std::next(it);
}

const char *Webvard::Method()
{
    const char *method = read_ ? getenv("REQUEST_METHOD") : NULL;
    return method ? method : "";
}

const char *Webvard::Header(const char *szName)
{
    /* The CGI variable: HTTP_ and the name in upper case, "-" as "_". */
    char variable[64] = "HTTP_";
    size_t len = strlen(variable);
    if (!read_ || !szName || strlen(szName) >= sizeof variable - len)
        return NULL;
    for (const char *p = szName; *p; ++p)
        variable[len++] = *p == '-' ? '_' : (char)toupper((unsigned char)*p);
    variable[len] = '\0';
    return getenv(variable);
}

const char *Webvard::BodyType() { return bodyType_.c_str(); }

bool Webvard::HasQueryParameters() { return queryParameters_; }

bool Webvard::IsHttps()
{
    const char *https = read_ ? getenv("HTTPS") : NULL;
    return https && (strcasecmp(https, "on") == 0 || strcmp(https, "1") == 0);
}

void Webvard::WriteHeader(const char *szContentType)
{
    /* A type that would break the header block is not written as it is. */
    if (!szContentType || !*szContentType || strpbrk(szContentType, "\r\n"))
        szContentType = "text/plain";
    /* The answer is never to be read as another type, nor kept by a cache. */
    printf("Content-Type: %s\r\n"
           "X-Content-Type-Options: nosniff\r\n"
           "Cache-Control: no-store\r\n\r\n",
           szContentType);
    fflush(stdout);
}

namespace {

/* Appends a string whose bytes are all printable ASCII, quoted; false (with
 * nothing appended) for any other byte, which the library's writer escapes
 * in its own way. */
bool appendPlainString(std::string &out, const char *begin, const char *end)
{
    bool escapes = false;
    for (const char *p = begin; p < end; ++p) {
        if ((unsigned char)*p < 0x20 || (unsigned char)*p > 0x7e)
            return false;
        escapes = escapes || *p == '"' || *p == '\\';
    }
    out += '"';
    if (!escapes) {
        out.append(begin, end);
    } else {
        for (const char *p = begin; p < end; ++p) {
            if (*p == '"' || *p == '\\')
                out += '\\';
            out += *p;
        }
    }
    out += '"';
    return true;
}

/* The verbatim texts of the answer. Each stands in a value as a string that
 * no text of a request or a file makes: a NUL, this process's random key
 * and its index. */
struct VerbatimTexts {
    std::string key;
    std::vector<JsonPieces> texts;
};

VerbatimTexts &verbatimTexts()
{
    static VerbatimTexts v;
    if (v.key.empty()) {
        uint64_t random = 0;
        if (getrandom(&random, sizeof random, GRND_NONBLOCK) != (ssize_t)sizeof random)
            random = (uint64_t)(uintptr_t)&v ^ (uint64_t)getpid();
        char szKey[32];
        snprintf(szKey, sizeof szKey, "%016llx:", (unsigned long long)random);
        v.key.assign(1, '\0');
        v.key += "orvath-verbatim-";
        v.key += szKey;
    }
    return v;
}

std::string verbatimStandIn(size_t index) { return verbatimTexts().key + std::to_string(index); }

/* The verbatim text a string value stands for, or NULL. */
const JsonPieces *verbatimText(const char *begin, const char *end)
{
    if (begin == end || *begin != '\0')
        return nullptr;
    const VerbatimTexts &v = verbatimTexts();
    size_t len = (size_t)(end - begin);
    if (len <= v.key.size() || memcmp(begin, v.key.data(), v.key.size()) != 0)
        return nullptr;
    size_t index = 0;
    for (const char *p = begin + v.key.size(); p < end; ++p) {
        if (*p < '0' || *p > '9' || index > v.texts.size())
            return nullptr;
        index = index * 10 + (size_t)(*p - '0');
    }
    return index < v.texts.size() && verbatimStandIn(index) == std::string(begin, len)
               ? &v.texts[index]
               : nullptr;
}

std::string libraryText(const Json::Value &value)
{
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    return Json::writeString(builder, value);
}

void appendPieces(std::string &out, const JsonPieces &text)
{
    for (const std::string &piece : text.pieces())
        out += piece;
}

/* The library writer's text with each verbatim value's stand-in replaced
 * by its text. */
std::string libraryTextWithVerbatim(const Json::Value &value)
{
    std::string text = libraryText(value);
    const VerbatimTexts &v = verbatimTexts();
    for (size_t i = 0; i < v.texts.size(); ++i) {
        std::string quoted = libraryText(Json::Value(verbatimStandIn(i)));
        size_t at = text.find(quoted);
        if (at == std::string::npos)
            continue;
        std::string verbatim;
        appendPieces(verbatim, v.texts[i]);
        text.replace(at, quoted.size(), verbatim);
    }
    return text;
}

/* Where verbatim texts go into a compact text that leaves them out: at
 * which offset, which text. */
typedef std::vector<std::pair<size_t, const JsonPieces *>> Splices;

/* The compact text the library's writer gives (no blanks, members in name
 * order) for the values answers are made of: objects, arrays, integers,
 * booleans, null and printable ASCII strings, and verbatim texts (into
 * splices when given, else in place). False for anything else (a real
 * number, other text), which then goes through the library's writer. Large
 * listings are written several times faster this way. */
bool appendCompact(std::string &out, const Json::Value &value, Splices *splices = nullptr)
{
    switch (value.type()) {
    case Json::nullValue:
        out += "null";
        return true;
    case Json::booleanValue:
        out += value.asBool() ? "true" : "false";
        return true;
    case Json::intValue:
        out += std::to_string(value.asLargestInt());
        return true;
    case Json::uintValue:
        out += std::to_string(value.asLargestUInt());
        return true;
    case Json::stringValue: {
        const char *begin = nullptr;
        const char *end = nullptr;
        if (!value.getString(&begin, &end))
            return false;
        if (const JsonPieces *verbatim = verbatimText(begin, end)) {
            if (splices)
                splices->emplace_back(out.size(), verbatim);
            else
                appendPieces(out, *verbatim);
            return true;
        }
        return appendPlainString(out, begin, end);
    }
    case Json::arrayValue: {
        out += '[';
        for (Json::ArrayIndex i = 0; i < value.size(); ++i) {
            if (i > 0)
                out += ',';
            if (!appendCompact(out, value[i], splices))
                return false;
        }
        out += ']';
        return true;
    }
    case Json::objectValue: {
        out += '{';
        bool first = true;
        for (auto it = value.begin(); it != value.end(); ++it) {
            if (!first)
                out += ',';
            first = false;
            const char *end = nullptr;
            const char *begin = it.memberName(&end);
            if (!appendPlainString(out, begin, end))
                return false;
            out += ':';
            if (!appendCompact(out, *it, splices))
                return false;
        }
        out += '}';
        return true;
    }
    default:
        return false;
    }
}

} // namespace

std::string Webvard::CompactJson(const Json::Value &value)
{
    std::string text;
    if (appendCompact(text, value))
        return text;
    return verbatimTexts().texts.empty() ? libraryText(value) : libraryTextWithVerbatim(value);
}

std::string &JsonPieces::tail()
{
    /* Room for an entry or a few hundred in each piece; an entry longer
     * than the room left grows its piece alone. */
    static const size_t kPiece = 64 * 1024;
    static const size_t kFull = kPiece - 1024;
    if (pieces_.empty() || pieces_.back().size() >= kFull) {
        pieces_.emplace_back();
        pieces_.back().reserve(kPiece);
    }
    return pieces_.back();
}

Json::Value Webvard::Verbatim(JsonPieces text)
{
    VerbatimTexts &v = verbatimTexts();
    v.texts.push_back(std::move(text));
    return Json::Value(verbatimStandIn(v.texts.size() - 1));
}

Json::Value Webvard::Verbatim(std::string text)
{
    JsonPieces pieces;
    pieces.tail() = std::move(text);
    return Verbatim(std::move(pieces));
}

void Webvard::AppendString(std::string &out, const char *text, size_t len)
{
    if (!appendPlainString(out, text, text + len))
        out += libraryText(Json::Value(text, text + len));
}

void Webvard::WriteBody(const Json::Value &body)
{
    /* Verbatim texts are written from where they are, never copied. */
    std::string text;
    Splices splices;
    if (!appendCompact(text, body, &splices)) {
        text = CompactJson(body);
        splices.clear();
    }
    text += '\n';
    size_t at = 0;
    for (const auto &splice : splices) {
        fwrite(text.data() + at, 1, splice.first - at, stdout);
        for (const std::string &piece : splice.second->pieces())
            fwrite(piece.data(), 1, piece.size(), stdout);
        at = splice.first;
    }
    fwrite(text.data() + at, 1, text.size() - at, stdout);
    fflush(stdout);
}
