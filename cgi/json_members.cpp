/*
 * orvath: reading request JSON (see json_members.h).
 */
#include "json_members.h"

#include <string.h>

#include <algorithm>
#include <exception>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "orvath_common.h"

/* ---- the plain documents requests bring ---- */

/* Where the texts of plainly parsed values live: blocks never freed, so that
 * values and member names can refer to them without a copy each (a list of
 * thousands of reservations is thousands of small allocations less). */
namespace {

class TextArena {
public:
    /* A NUL-terminated copy of text[0 .. len-1] that lasts until the process
     * ends. */
    const char *keep(const char *text, size_t len)
    {
        if (len + 1 > room_) {
            size_t size = len + 1 > kBlock ? len + 1 : kBlock;
            blocks_.emplace_back(new char[size]);
            next_ = blocks_.back().get();
            room_ = size;
        }
        char *copy = next_;
        memcpy(copy, text, len);
        copy[len] = '\0';
        next_ += len + 1;
        room_ -= len + 1;
        return copy;
    }

private:
    static const size_t kBlock = 64 * 1024;
    std::vector<std::unique_ptr<char[]>> blocks_;
    char *next_ = nullptr;
    size_t room_ = 0;
};

TextArena &textArena()
{
    static TextArena arena;
    return arena;
}

/* A parser of the documents the page sends: objects, arrays, strings without
 * escapes, integers of up to 18 digits, true, false and null, blanks between,
 * nothing after. It gives the value the library's reader gives for them, its
 * strings and member names kept in the arena; anything else (comments,
 * escapes, real numbers, a document the reader would refuse) it leaves to the
 * library's reader. */
class PlainParser {
public:
    explicit PlainParser(const char *text) : p_(text) {}

    bool parse(Json::Value &root)
    {
        skipBlanks();
        if (!value(root, 0))
            return false;
        skipBlanks();
        return *p_ == '\0';
    }

    /* An array of objects whose members are all strings, handed over as
     * they are read, without a tree; the number of objects into rows. False
     * for any other document. */
    bool stringRecords(const StringRecordMember &member, size_t &rows)
    {
        rows = 0;
        skipBlanks();
        if (*p_ != '[')
            return false;
        bool read = elements([&](size_t row) {
            rows = row + 1;
            return *p_ == '{' && members([&](const char *name, size_t nameLen) {
                       const char *text = nullptr;
                       size_t len = 0;
                       if (*p_ != '"' || !span(text, len))
                           return false;
                       if (member)
                           member(row, std::string(name, nameLen), text, len);
                       return true;
                   });
        });
        skipBlanks();
        return read && *p_ == '\0';
    }

private:
    /* Far below the reader's own limit, which it reports. */
    static const int kMaxDepth = 500;

    void skipBlanks()
    {
        while (*p_ == ' ' || *p_ == '\t' || *p_ == '\r' || *p_ == '\n')
            ++p_;
    }

    bool value(Json::Value &out, int depth)
    {
        switch (*p_) {
        case '{':
            return depth < kMaxDepth && object(out, depth + 1);
        case '[':
            return depth < kMaxDepth && array(out, depth + 1);
        case '"': {
            const char *text = nullptr;
            if (!string(text))
                return false;
            out = Json::Value(Json::StaticString(text));
            return true;
        }
        case 't':
            return literal("true", Json::Value(true), out);
        case 'f':
            return literal("false", Json::Value(false), out);
        case 'n':
            return literal("null", Json::Value(), out);
        default:
            return integer(out);
        }
    }

    bool literal(const char *word, const Json::Value &v, Json::Value &out)
    {
        size_t len = strlen(word);
        if (strncmp(p_, word, len) != 0)
            return false;
        p_ += len;
        out = v;
        return true;
    }

    /* A string without escapes, in place. */
    bool span(const char *&begin, size_t &len)
    {
        begin = ++p_;
        while (*p_ && *p_ != '"' && *p_ != '\\')
            ++p_;
        if (*p_ != '"')
            return false;
        len = (size_t)(p_ - begin);
        ++p_;
        return true;
    }

    /* A string without escapes, kept in the arena. */
    bool string(const char *&text)
    {
        const char *begin = nullptr;
        size_t len = 0;
        if (!span(begin, len))
            return false;
        text = textArena().keep(begin, len);
        return true;
    }

    /* A member name kept in the arena once however often it is given (a
     * list's entries share theirs). */
    const char *keepName(const char *begin, size_t len)
    {
        std::string name(begin, len);
        auto known = names_.find(name);
        if (known != names_.end())
            return known->second;
        const char *text = textArena().keep(begin, len);
        names_.emplace(std::move(name), text);
        return text;
    }

    /* An integer without leading zeros ("0" aside) that fits in 64 bits
     * whatever its digits: the reader's integer value for it. */
    bool integer(Json::Value &out)
    {
        bool negative = *p_ == '-';
        if (negative)
            ++p_;
        const char *digits = p_;
        while (*p_ >= '0' && *p_ <= '9')
            ++p_;
        size_t count = (size_t)(p_ - digits);
        if (count == 0 || count > 18 || (digits[0] == '0' && (count > 1 || negative)))
            return false;
        /* A number goes on in a fraction or an exponent: left to the reader. */
        if (*p_ == '.' || *p_ == 'e' || *p_ == 'E')
            return false;
        Json::LargestInt v = 0;
        for (const char *d = digits; d < p_; ++d)
            v = v * 10 + (*d - '0');
        out = Json::Value(negative ? -v : v);
        return true;
    }

    /* The items of the object or array at p_, up to close and separated by
     * commas, each read by item(index). */
    template <class Item> bool items(char close, Item item)
    {
        ++p_;
        skipBlanks();
        if (*p_ == close) {
            ++p_;
            return true;
        }
        for (size_t i = 0;; ++i) {
            if (!item(i))
                return false;
            skipBlanks();
            if (*p_ == close) {
                ++p_;
                return true;
            }
            if (*p_ != ',')
                return false;
            ++p_;
            skipBlanks();
        }
    }

    /* The members of the object at p_, each name handed to member(name,
     * length), which reads the value that follows. */
    template <class Member> bool members(Member member)
    {
        return items('}', [&](size_t) {
            const char *name = nullptr;
            size_t len = 0;
            if (*p_ != '"' || !span(name, len))
                return false;
            skipBlanks();
            if (*p_ != ':')
                return false;
            ++p_;
            skipBlanks();
            return member(name, len);
        });
    }

    /* The elements of the array at p_, each read by element(index). */
    template <class Element> bool elements(Element element) { return items(']', element); }

    bool object(Json::Value &out, int depth)
    {
        out = Json::Value(Json::objectValue);
        /* A name given twice: the last value, as the reader keeps it. */
        return members([&](const char *name, size_t len) {
            return value(out[Json::StaticString(keepName(name, len))], depth);
        });
    }

    bool array(Json::Value &out, int depth)
    {
        out = Json::Value(Json::arrayValue);
        return elements([&](size_t i) { return value(out[(Json::ArrayIndex)i], depth); });
    }

    const char *p_;
    std::map<std::string, const char *> names_;
};

/* The library's reader: comments allowed, any value at the root, text after
 * the first value ignored. */
bool readerParse(const char *text, Json::Value &root)
{
    Json::CharReaderBuilder builder;
    builder["collectComments"] = true;
    builder["allowComments"] = true;
    builder["strictRoot"] = false;
    builder["failIfExtra"] = false;
    std::string errors;
    bool ok = false;
    try {
        std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
        ok = reader->parse(text, text + strlen(text), &root, &errors);
    } catch (const std::exception &e) {
        /* The reader throws when the nesting is too deep. */
        errors = e.what();
        ok = false;
    }
    if (!ok) {
        std::replace(errors.begin(), errors.end(), '\n', ' '); /* one log line */
        ORV_LOG("Error: parsing error, reason = %s", errors.c_str());
        root = Json::Value();
    }
    return ok;
}

} // namespace

bool parseStringRecords(const char *text, const StringRecordMember &member, size_t &rows)
{
    return PlainParser(text).stringRecords(member, rows);
}

bool parseJsonText(const char *text, Json::Value &root)
{
    Json::Value plain;
    if (PlainParser(text).parse(plain)) {
        root = std::move(plain);
        return true;
    }
    return readerParse(text, root);
}

const Json::Value *findMember(const Json::Value &object, const char *name)
{
    if (!object.isObject())
        return nullptr;
    return object.find(name, name + strlen(name));
}

const char *memberText(const Json::Value &object, const char *name)
{
    const Json::Value *value = findMember(object, name);
    if (!value || !value->isString())
        return nullptr;
    return value->asCString();
}

bool memberFlag(const Json::Value &object, const char *name, bool *flag)
{
    const Json::Value *value = findMember(object, name);
    if (!value || !value->isBool())
        return false;
    *flag = value->asBool();
    return true;
}

bool memberTrue(const Json::Value &object, const char *name)
{
    bool flag = false;
    return memberFlag(object, name, &flag) && flag;
}
