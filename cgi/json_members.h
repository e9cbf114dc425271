/*
 * Reading the JSON documents a request brings. The request checks and the
 * handlers read members the same way, through these: a member of another
 * JSON type than the one expected counts as absent.
 */
#ifndef ORVATH_JSON_MEMBERS_H
#define ORVATH_JSON_MEMBERS_H

#include <json/json.h>

#include <functional>
#include <string>

/* Parses JSON text: comments allowed, any value at the root, text after the
 * first value ignored. False, with the reader's messages in the log, when it
 * is not JSON; root is then null. */
bool parseJsonText(const char *text, Json::Value &root);

/* A member of the row-th object of a list, its value a string. */
typedef std::function<void(size_t row, const std::string &name, const char *value, size_t len)>
    StringRecordMember;
/* A list of objects whose members are all strings without escapes (as the
 * page sends its long lists), read without building a tree: member (may be
 * empty) is given each member in order, the number of objects goes into
 * rows. False, nothing logged, for any other text: parseJsonText reads it. */
bool parseStringRecords(const char *text, const StringRecordMember &member, size_t &rows);

/* A member of a JSON object; NULL when the value is no object or lacks it. */
const Json::Value *findMember(const Json::Value &object, const char *name);
/* A string member's text; NULL when absent or of another type. */
const char *memberText(const Json::Value &object, const char *name);
/* A boolean member into *flag; false, *flag unchanged, when absent or of
 * another type. */
bool memberFlag(const Json::Value &object, const char *name, bool *flag);
/* The boolean member is present and true. */
bool memberTrue(const Json::Value &object, const char *name);

#endif /* ORVATH_JSON_MEMBERS_H */
