/*
 * orvath: an "applydata" request read once (see apply_request.h).
 */
#include "apply_request.h"

#include "json_members.h"

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

void readApplyData(const Json::Value *global, const Json::Value *table, const Json::Value *set,
                   ApplyDataRequest &request)
{
    request.global = global;
    request.table = table;
    request.set = set;
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
