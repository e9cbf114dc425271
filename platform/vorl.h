/*
 * Platform utility library: key/value and line files, string lists, program
 * execution, process test, interface list and names, subnet test.
 *
 * Paths are used as given: callers build them with orvPath() so that they lie
 * under the sandbox root when ORVATH_ROOT is set.
 */
#ifndef VORL_H
#define VORL_H

#include <stdio.h>

#ifdef __cplusplus
extern "C" {
#endif

#define VORL_ERR_BAD_ARGUMENT 0x0D00

/* ---- string lists ---- */
typedef struct _tag_VORL_SZLIST {
    int nAlloc;     /* capacity hint given at allocation; grows as needed */
    int nItem;      /* number of items */
    char **pszItem; /* items 0 .. nItem-1, each NUL-terminated */
} VORL_SZLIST, *PVORL_SZLIST;

PVORL_SZLIST VORLCSzListAlloc(int nSize);
void VORLCSzListFree(PVORL_SZLIST pList);
void VORLCSzListRemoveAll(PVORL_SZLIST pList);
/* Item i, or NULL when i is outside 0 .. nItem-1 (never reads past the count). */
const char *VORLCSzListGet(const VORL_SZLIST *pList, int i);

/* Split szText at every character of szDelims into *ppList (emptied first).
 * VORLCStrSep keeps empty fields, VORLCStrTok drops them. Returns the field
 * count, or a negative value on failure. szText is not changed. */
int VORLCStrSep(const char *szText, const char *szDelims, PVORL_SZLIST *ppList);
int VORLCStrTok(const char *szText, const char *szDelims, PVORL_SZLIST *ppList);
/* Strips white space at both ends of szText in place; returns szText. */
char *VORLCStrTrimSpace(char *szText, int flags);

/* ---- files ---- */
/* Every reader opens a regular file only, never through a symbolic link: a
 * link, a FIFO or a device at the path is an error (orvOpenRead). */
/* Value of the first line key=value whose text before the first '=' is
 * exactly szKey, without one pair of enclosing double quotes. > 0 found (the
 * value's length + 1), 0 not found (also: no such file), < 0 error. */
int VORLCFileGetKeyValue(const char *szPath, const char *szKey, char *szBuf, int cbBuf, int flags);
/* Replaces the key's line in place, or appends one; creates the file. The line
 * is printed with szFormat ("%s=\"%s\"\n"), or key=value when it is NULL.
 * 1 on success, < 0 on failure. A key or value holding a line break, a key
 * holding '=', and a format with anything but two "%s" (and "%%") are
 * refused. */
int VORLCFileSetKeyValue(const char *szPath, const char *szKey, const char *szValue,
                         const char *szFormat);
/* First line containing szText, without its line end. > 0 found, 0 none,
 * < 0 error (a missing file is "none"). */
int VORLCFileGetLine(const char *szPath, const char *szText, char *szBuf, int cbBuf, int flags);
/* Appends szLine and one newline, creating the file. szAnchor must be NULL.
 * 1 on success, < 0 on failure. A line break inside szLine is refused. */
int VORLCFileAddLine(const char *szPath, const char *szAnchor, const char *szLine, int flags);
/* Removes every line equal to szLine (line end not compared). Returns the
 * number removed, 0 when none, < 0 on error. */
int VORLCFileRemoveLine(const char *szPath, const char *szLine);
/* 1 when the file exists, 0 when not. */
int VORLCFileExist(const char *szPath);
/* Creates the file empty when missing. 0 when it exists afterwards. */
int VORLCFileTouch(const char *szPath);

/* ---- system ---- */
/* 0 when removed, non-zero otherwise. */
int VORLCSysRemove(const char *szPath);
/* Removes a file; a missing file is no error. 0 on success. */
int VORLCSysUnlink(const char *szPath);
/* fopen; szSrc and line name the caller, for the log. A mode that only
 * reads ("r", "re") opens a regular file only, never through a symbolic
 * link (orvOpenRead). */
FILE *VORLCSysFopen(const char *szPath, const char *szMode, const char *szSrc, int line);
/* Runs szProg with the arguments up to the first NULL (fork/execv, never a
 * shell), waits, and returns its exit status; 127 when it could not be
 * started, the negated signal number when a signal killed it. The program's
 * standard output goes to standard error (ours may be a CGI answer). */
int VORLCExec(const char *szProg, const char *a1, const char *a2, const char *a3, const char *a4);
/* 1 when a process whose /proc/<pid>/comm is exactly szName runs, else 0. */
int VORLCIsProcAlive(const char *szName);
void VORLCErrSet(int code);
int VORLCErrGet(void);

/* ---- network ---- */
typedef struct _tag_VORL_NETIF {
    char szName[16]; /* interface name, NUL-terminated; first member */
    int ifIndex;
} VORL_NETIF;

/* Lists the entries of <root>/sys/class/net in ifindex order (ties and
 * missing ifindex files: by name), at most nMax. Selector 2: all interfaces,
 * up or down. Returns the number filled, <= 0 on failure. */
int VORLNetGetInterfaceInfo(VORL_NETIF *pIf, int nMax, int selector);

/* Non-zero when szIp and szOther lie in one subnet under szMask; -1 when any
 * of the three is not dotted IPv4. */
int QUOMONetIsSameSubnet(const char *szIp, const char *szOther, const char *szMask);

#ifdef __cplusplus
}
#endif

#ifdef __cplusplus
#include <string>
namespace SDK {
namespace Network {
/* Interface kind: 0 Ethernet, 1 loopback, 3 bond, 4 bridge, 8 wireless,
 * 9 anything else. */
int GetIfType(const char *szName, void *reserved);
/* Display name: "LAN n+1" for eth<n>, "Bond n+1" for bond<n>, else the name. */
int GetIfName(const char *szName, std::string &display);
} // namespace Network
} // namespace SDK
#endif

#endif /* VORL_H */
