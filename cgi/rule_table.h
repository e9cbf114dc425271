/*
 * The rules the program and the page both apply, as one data file holds
 * them (web/js/ruletable.json, turned into C++ when the program is built):
 * the named options, the codes the system sets itself, the keyword prefixes
 * dnsmasq reads, and the places of a request in the screen's words.
 */
#ifndef ORVATH_RULE_TABLE_H
#define ORVATH_RULE_TABLE_H

#include <stddef.h>

#include <string>

struct RuleKeywordPrefix {
    const char *prefix;
    const char *why;
};
struct RuleNamedOption {
    const char *name;
    int code;
    const char *check; /* the rule its value is held to */
    const char *sends; /* the library's type it is sent as */
    const char *label; /* the screen's words */
};
struct RuleOwnedCode {
    int code;
    const char *why;
};
struct RuleIpv6Mode {
    const char *mode;
    const char *gives; /* what clients get, in the screen's words */
};
struct RulePlace {
    const char *name;
    const char *words;
};

/* The named option of that name or code; NULL when none. */
const RuleNamedOption *ruleNamedOption(const std::string &name);
const RuleNamedOption *ruleNamedOptionByCode(int code);
/* Why the system sets the code itself; NULL when it does not. */
const char *ruleOwnedCode(int code);
/* A type another code may be sent as. */
bool ruleOtherType(const std::string &type);
/* Why dnsmasq would read the text as a keyword where it stands first in a
 * field (its prefix, in any letter case); NULL when it would not. */
const char *ruleKeywordPrefix(const char *text);
/* A request's place in the screen's words: "pxe_bootloader_efi32" is "Boot
 * file for UEFI 32-bit"; NULL when the table has no words for it. */
const char *rulePlaceWords(const std::string &place);

/* An IPv6 mode of the table. */
bool ruleIpv6Mode(const std::string &mode);
/* The modes as a list for a refusal: "off, ra-only, ...". */
std::string ruleIpv6ModeList(void);

/* The whole table, for the test that holds it to its file. */
struct RuleTableView {
    const RuleKeywordPrefix *prefixes;
    size_t prefixCount;
    const RuleNamedOption *named;
    size_t namedCount;
    const char *const *otherTypes;
    size_t otherTypeCount;
    const RuleOwnedCode *owned;
    size_t ownedCount;
    const RulePlace *places;
    size_t placeCount;
};
RuleTableView ruleTable(void);

#endif /* ORVATH_RULE_TABLE_H */
