/*
 * The rule table (see rule_table.h).
 */
#include "rule_table.h"

#include <string.h>
#include <strings.h>

#include "rule_table.inc"

#define COUNT(a) (sizeof(a) / sizeof((a)[0]))

const RuleNamedOption *ruleNamedOption(const std::string &name)
{
    for (const RuleNamedOption &o : kRuleNamedOptions)
        if (name == o.name)
            return &o;
    return nullptr;
}

const RuleNamedOption *ruleNamedOptionByCode(int code)
{
    for (const RuleNamedOption &o : kRuleNamedOptions)
        if (code == o.code)
            return &o;
    return nullptr;
}

const char *ruleOwnedCode(int code)
{
    for (const RuleOwnedCode &o : kRuleOwnedCodes)
        if (code == o.code)
            return o.why;
    return nullptr;
}

bool ruleOtherType(const std::string &type)
{
    for (const char *t : kRuleOtherTypes)
        if (type == t)
            return true;
    return false;
}

const char *ruleKeywordPrefix(const char *text)
{
    if (!text)
        return nullptr;
    for (const RuleKeywordPrefix &p : kRuleKeywordPrefixes)
        if (!strncasecmp(text, p.prefix, strlen(p.prefix)))
            return p.why;
    return nullptr;
}

const char *rulePlaceWords(const std::string &place)
{
    for (const RulePlace &p : kRulePlaces)
        if (place == p.name)
            return p.words;
    return nullptr;
}

bool ruleIpv6Mode(const std::string &mode)
{
    for (const RuleIpv6Mode &m : kRuleIpv6Modes)
        if (mode == m.mode)
            return true;
    return false;
}

std::string ruleIpv6ModeList(void)
{
    std::string list;
    for (const RuleIpv6Mode &m : kRuleIpv6Modes)
        list += std::string(list.empty() ? "" : ", ") + m.mode;
    return list;
}

RuleTableView ruleTable(void)
{
    return {kRuleKeywordPrefixes, COUNT(kRuleKeywordPrefixes), kRuleNamedOptions,
            COUNT(kRuleNamedOptions), kRuleOtherTypes,  COUNT(kRuleOtherTypes),
            kRuleOwnedCodes,      COUNT(kRuleOwnedCodes),      kRulePlaces,
            COUNT(kRulePlaces)};
}
