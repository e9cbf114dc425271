/*
 * orvath: an "applydata" request read once (see apply_request.h).
 */
#include "apply_request.h"

#include <string.h>

#include "json_members.h"
#include "orvath_common.h"

const char *const kSubnetAddressMembers[4] = {"startip", "endip", "netmask", "gateway"};

/* The row as typed values; false when it is no object or lacks an address
 * text. */
static bool readRow(const Json::Value &row, SubnetRow &out)
{
    const char *text[4];
    for (int k = 0; k < 4; ++k) {
        text[k] = memberText(row, kSubnetAddressMembers[k]);
        if (!text[k])
            return false;
    }
    out.szStartIp = text[0];
    out.szEndIp = text[1];
    out.szNetmask = text[2];
    out.szGateway = text[3];
    out.activated = memberTrue(row, "activated");
    out.pxe = memberTrue(row, "pxe");
    return true;
}

/* The member's text, NULL when absent or not a string; notes the first
 * member whose text holds a NUL character. */
static const char *readText(const Json::Value &object, const char *name, const char **pNul)
{
    const Json::Value *value = findMember(object, name);
    if (!value || !value->isString())
        return nullptr;
    const char *begin = nullptr, *end = nullptr;
    value->getString(&begin, &end);
    if (!*pNul && memchr(begin, '\0', (size_t)(end - begin)))
        *pNul = name;
    return value->asCString();
}

static void readSettings(const Json::Value *document, GlobalSettings &settings)
{
    static const Json::Value none;
    const Json::Value &root = document ? *document : none;
    settings = GlobalSettings();
    settings.isObject = root.isObject();
    settings.hasEnable = memberFlag(root, "enable_check", &settings.enable);
    const char **nul = &settings.szNulMember;
    settings.szPrimaryDns = readText(root, "pdns", nul);
    settings.szSecondaryDns = readText(root, "sdns", nul);
    settings.szLeaseTime = readText(root, "leasetime", nul);
    settings.szDomain = readText(root, "domain", nul);
    settings.szIfName = readText(root, "iftype", nul);
}

void readApplyData(const Json::Value *global, const Json::Value *table, const Json::Value *set,
                   ApplyDataRequest &request)
{
    request.global = global;
    request.table = table;
    request.set = set;
    readSettings(global, request.settings);
    request.rows.clear();
    request.tableUsable = table && table->isArray();
    if (!request.tableUsable)
        return;
    request.rows.reserve(table->size());
    for (Json::ArrayIndex i = 0; i < table->size(); ++i) {
        SubnetRow row;
        if (!readRow((*table)[i], row)) {
            request.tableUsable = false;
            request.rows.clear();
            return;
        }
        request.rows.push_back(row);
    }
}

void readPxeRequest(const ParamLookup &param, PxeRequest &request)
{
    auto text = [&param](const char *name) {
        const char *value = param(name);
        return value ? value : "";
    };
    request.szInterface = text("pxe_interface");
    orvCopy(request.szIfName, sizeof request.szIfName, request.szInterface);
    request.enable = strcmp(text("pxe_enable"), "true") == 0;
    request.szOrigInterface = text("orig_interface");
    request.szStartIp = text("pxe_start_ip");
    request.szEndIp = text("pxe_end_ip");
    request.szNetmask = text("pxe_netmask");
    request.szGateway = text("pxe_gateway");
    request.szDns = text("pxe_dns");
    request.szBootFile = text("pxe_bootloader");
}
