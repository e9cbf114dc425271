/*
 * "applyOptions" read once into typed values and checked: an interface's
 * further DHCP options ("options") and its host overrides ("hostOptions"),
 * each given as JSON text. Every value is checked against its option's type
 * before anything is written; a refusal names its place, e.g.
 * "options[2].value: not an IPv4 address".
 */
#ifndef ORVATH_OPTION_REQUEST_H
#define ORVATH_OPTION_REQUEST_H

#include <stdint.h>

#include <string>
#include <vector>

#include "apply_request.h"

/* A named option: what the page calls it, its code and how it is sent. */
struct NamedOption {
    const char *name;
    int code;
    const char *type; /* the library's type of its value */
};
/* The named options, in the page's order; NULL when name is none of them. */
const NamedOption *findNamedOption(const std::string &name);
const NamedOption *namedOptionByCode(int code);

struct OptionEntry {
    int code = 0;
    std::string name;  /* a named option, or "" */
    std::string type;  /* the library's type */
    std::string value; /* as sent: lists without blanks */
};

struct HostOverride {
    std::string mac; /* lower case, ":" */
    std::string gateway;
    std::string dns;
};

struct OptionsRequest {
    std::string ifName; /* "iftype" */
    std::vector<OptionEntry> options;
    std::vector<HostOverride> hosts;
};

/* Reads and checks the request: true when every value may be written;
 * otherwise false with the first error. */
bool readOptionsRequest(const ParamLookup &param, OptionsRequest &request, ValidationError &err);

/* The check of one value of a type ("ipv4", "ipv4-list", "text", "uint8",
 * "uint16", "uint32", "bool", "hex", and the named options' own); NULL when
 * it fits, else the reason. */
const char *checkOptionValue(const std::string &type, const std::string &value);

#endif /* ORVATH_OPTION_REQUEST_H */
