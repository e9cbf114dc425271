/*
 * orvath: reading request JSON (see json_members.h).
 */
#include "json_members.h"

#include <string.h>

#include <algorithm>
#include <exception>
#include <memory>
#include <string>

#include "orvath_common.h"

bool parseJsonText(const char *text, Json::Value &root)
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
