/*
 * String lists and the splitting and trimming of texts into them.
 */
#include "vorl.h"

#include <ctype.h>
#include <limits.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "orvath_common.h"

enum { DEFAULT_CAPACITY = 16 };

PVORL_SZLIST VORLCSzListAlloc(int nSize)
{
    if (nSize < 0) {
        ORV_LOG("Invalid list size %d", nSize);
        VORLCErrSet(VORL_ERR_BAD_ARGUMENT);
        return NULL;
    }
    int capacity = nSize > 0 ? nSize : DEFAULT_CAPACITY;
    PVORL_SZLIST pList = (PVORL_SZLIST)calloc(1, sizeof *pList);
    if (!pList) {
        ORV_LOG("Failed to alloc memory.");
        return NULL;
    }
    pList->pszItem = (char **)calloc((size_t)capacity, sizeof(char *));
    if (!pList->pszItem) {
        ORV_LOG("Failed to alloc memory.");
        free(pList);
        return NULL;
    }
    pList->nAlloc = capacity;
    pList->nItem = 0;
    return pList;
}

void VORLCSzListRemoveAll(PVORL_SZLIST pList)
{
    if (!pList)
        return;
    for (int i = 0; i < pList->nItem; ++i) {
        free(pList->pszItem[i]);
        pList->pszItem[i] = NULL;
    }
    pList->nItem = 0;
}

void VORLCSzListFree(PVORL_SZLIST pList)
{
    if (!pList)
        return;
    VORLCSzListRemoveAll(pList);
    free(pList->pszItem);
    free(pList);
}

const char *VORLCSzListGet(const VORL_SZLIST *pList, int i)
{
    if (!pList || !pList->pszItem || i < 0 || i >= pList->nItem)
        return NULL;
    return pList->pszItem[i];
}

/* Appends a copy of text[0 .. len-1]; grows the item array when full.
 * 0 on success, -1 when memory ran out or the count would overflow. */
static int appendItem(PVORL_SZLIST pList, const char *text, size_t len)
{
    if (pList->nItem >= pList->nAlloc || !pList->pszItem) {
        /* The doubled count, and its size in bytes (32-bit size_t), must not
         * wrap around. */
        if (pList->nAlloc > INT_MAX / 2 ||
            (size_t)pList->nAlloc > SIZE_MAX / 2 / sizeof(char *)) {
            ORV_LOG("String list too long (%d items)", pList->nItem);
            return -1;
        }
        int capacity = pList->nAlloc > 0 ? pList->nAlloc * 2 : DEFAULT_CAPACITY;
        char **grown = (char **)realloc(pList->pszItem, (size_t)capacity * sizeof(char *));
        if (!grown) {
            ORV_LOG("Failed to alloc memory.");
            return -1;
        }
        pList->pszItem = grown;
        pList->nAlloc = capacity;
    }
    char *item = (char *)malloc(len + 1);
    if (!item) {
        ORV_LOG("Failed to alloc memory.");
        return -1;
    }
    memcpy(item, text, len);
    item[len] = '\0';
    pList->pszItem[pList->nItem++] = item;
    return 0;
}

/* Splits szText at every character of szDelims; empty fields are kept only
 * when keepEmpty is set. The list is emptied first and allocated when
 * *ppList is NULL. Returns the field count or -1. */
static int split(const char *szText, const char *szDelims, PVORL_SZLIST *ppList, int keepEmpty)
{
    if (!szText || !szDelims || !ppList) {
        ORV_LOG("Invalid argument to split");
        VORLCErrSet(VORL_ERR_BAD_ARGUMENT);
        return -1;
    }
    if (!*ppList) {
        *ppList = VORLCSzListAlloc(0);
        if (!*ppList)
            return -1;
    }
    PVORL_SZLIST pList = *ppList;
    VORLCSzListRemoveAll(pList);

    const char *field = szText;
    for (;;) {
        size_t len = strcspn(field, szDelims);
        if ((len > 0 || keepEmpty) && appendItem(pList, field, len) != 0) {
            VORLCSzListRemoveAll(pList);
            return -1;
        }
        if (field[len] == '\0')
            break;
        field += len + 1;
    }
    return pList->nItem;
}

int VORLCStrSep(const char *szText, const char *szDelims, PVORL_SZLIST *ppList)
{
    return split(szText, szDelims, ppList, 1);
}

int VORLCStrTok(const char *szText, const char *szDelims, PVORL_SZLIST *ppList)
{
    return split(szText, szDelims, ppList, 0);
}

char *VORLCStrTrimSpace(char *szText, int flags)
{
    (void)flags;
    if (!szText)
        return NULL;
    size_t len = strlen(szText);
    while (len > 0 && isspace((unsigned char)szText[len - 1]))
        --len;
    size_t start = 0;
    while (start < len && isspace((unsigned char)szText[start]))
        ++start;
    memmove(szText, szText + start, len - start);
    szText[len - start] = '\0';
    return szText;
}
