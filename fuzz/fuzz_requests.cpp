// Fuzz target: arbitrary parameter texts for "applydata" and
// "applypxesubnet", run in-process through the dispatcher over a private
// root directory.
//
// Input: fields separated by NUL bytes. The first field picks the action
// ("applypxesubnet", anything else means "applydata"); every further field
// is one request parameter "name=value" (the value may hold any byte but
// NUL). The parameters are url-encoded into the form body of a POST request,
// the only way both actions take them.
//
// After every input the root must hold nothing but the service's directory
// "etc/dhcpd", the package's lease directory and the files set up here, and
// every file in "etc/dhcpd" must hold only lines of the forms the system
// writes, with ranges that dnsmasq accepts and no address reserved twice.
#include <arpa/inet.h>
#include <ctype.h>
#include <dlfcn.h>
#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "dispatch.h"
#include "vorl.h"

namespace {

std::string gBase; // private temporary directory; holds only "root" and "body"
std::string gRoot; // ORVATH_ROOT

void removeBase();

const char *const kLeaseDir = "var/packages/Orvath/target/etc";

// Files the harness puts into the root; the handlers may read them.
const std::map<std::string, std::string> kSetupFiles = {
    {"etc/rc.network", "#!/bin/sh\nexit 0\n"},
    {"etc/quomoinfo.conf", "pxeenable=\"yes\"\n"},
    {"sys/class/net/eth0/ifindex", "2\n"},
    {"sys/class/net/eth1/ifindex", "3\n"},
};

// The service's files before every input: one ordinary subnet and a PXE
// subnet on eth0, a PXE subnet on eth1, the access point's subnet and one
// reservation.
const std::map<std::string, std::string> kSeedFiles = {
    {"etc/dhcpd/dhcpd-eth0-eth00.conf",
     "interface=eth0\n"
     "dhcp-range=set:eth00,192.168.1.100,192.168.1.200,255.255.255.0,86400\n"
     "dhcp-option=tag:eth00,option:router,192.168.1.1\n"
     "dhcp-option=tag:eth00,option:domain-search,example.lan\n"
     "dhcp-option=tag:eth00,option:domain-name,example.lan\n"
     "dhcp-option=tag:eth00,option:dns-server,192.168.1.1,8.8.8.8\n"},
    {"etc/dhcpd/dhcpd-eth0-eth00.info", "enable=\"yes\"\n"},
    {"etc/dhcpd/dhcpd-eth0-pxe.conf",
     "interface=eth0\n"
     "dhcp-range=set:pxe,192.168.2.100,192.168.2.200,255.255.255.0,36000\n"
     "dhcp-option=tag:pxe,option:router,192.168.2.1\n"
     "dhcp-option=tag:pxe,option:dns-server,192.168.2.1\n"
     "dhcp-boot=tag:pxe,pxelinux.0\n"
     "dhcp-vendorclass=set:pxe,PXEClient\n"},
    {"etc/dhcpd/dhcpd-eth0-pxe.info", "enable=\"no\"\n"},
    {"etc/dhcpd/dhcpd-eth1-pxe.conf",
     "interface=eth1\n"
     "dhcp-range=set:pxe,10.1.0.10,10.1.0.50,255.255.255.0,36000\n"
     "dhcp-option=tag:pxe,option:router,10.1.0.1\n"
     "dhcp-option=tag:pxe,option:dns-server,10.1.0.1\n"},
    {"etc/dhcpd/dhcpd-eth1-pxe.info", "enable=\"yes\"\n"},
    {"etc/dhcpd/dhcpd-lbr0-lbr0.conf",
     "interface=lbr0\n"
     "dhcp-range=set:lbr0,192.168.100.10,192.168.100.50,255.255.255.0,86400\n"
     "dhcp-option=tag:lbr0,option:router,192.168.100.1\n"
     "dhcp-option=tag:lbr0,option:dns-server,192.168.100.1\n"},
    {"etc/dhcpd/dhcpd-lbr0-lbr0.info", "enable=\"yes\"\n"},
    {"etc/dhcpd/dhcpdStatic.ori", "dhcp-host=02:00:00:aa:bb:cc,printer,192.168.1.20,infinite\n"},
};

// With ORVATH_FUZZ_SURVEY=1 in the environment a fault is printed and the
// run goes on, to see the kinds of faults of a longer run at once.
bool gSurvey = false;
struct SurveyedFault {};

[[noreturn]] void fault(const std::string &what)
{
    fprintf(stderr, "\n*** fuzz_requests: %s\n", what.c_str());
    fflush(stderr);
    if (gSurvey)
        throw SurveyedFault();
    // libFuzzer keeps the input; the root is of no further use.
    removeBase();
    abort();
}

void makeDirs(const std::string &path)
{
    for (size_t pos = gRoot.size() + 1; pos != std::string::npos;) {
        pos = path.find('/', pos + 1);
        mkdir(path.substr(0, pos).c_str(), 0755);
    }
}

void writeFile(const std::string &rel, const std::string &content, mode_t mode = 0644)
{
    std::string path = gRoot + "/" + rel;
    makeDirs(path.substr(0, path.rfind('/')));
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, mode);
    if (fd < 0 || write(fd, content.data(), content.size()) != (ssize_t)content.size())
        fault("cannot set up " + path);
    close(fd);
    chmod(path.c_str(), mode);
}

std::string readWhole(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// Removes a directory tree (no symlinks are followed: lstat).
void removeTree(const std::string &path)
{
    struct stat st;
    if (lstat(path.c_str(), &st) != 0)
        return;
    if (S_ISDIR(st.st_mode)) {
        if (DIR *dir = opendir(path.c_str())) {
            while (struct dirent *e = readdir(dir)) {
                if (strcmp(e->d_name, ".") && strcmp(e->d_name, ".."))
                    removeTree(path + "/" + e->d_name);
            }
            closedir(dir);
        }
        rmdir(path.c_str());
    } else {
        unlink(path.c_str());
    }
}

// Every entry under rel (relative to the root); directories end in "/".
void listTree(const std::string &rel, std::vector<std::string> &out)
{
    std::string path = rel.empty() ? gRoot : gRoot + "/" + rel;
    DIR *dir = opendir(path.c_str());
    if (!dir)
        return;
    while (struct dirent *e = readdir(dir)) {
        if (!strcmp(e->d_name, ".") || !strcmp(e->d_name, ".."))
            continue;
        std::string child = rel.empty() ? e->d_name : rel + "/" + e->d_name;
        struct stat st;
        if (lstat((gRoot + "/" + child).c_str(), &st) != 0)
            continue;
        if (S_ISDIR(st.st_mode)) {
            out.push_back(child + "/");
            listTree(child, out);
        } else if (S_ISREG(st.st_mode)) {
            out.push_back(child);
        } else {
            fault("not a regular file: " + child);
        }
    }
    closedir(dir);
}

void resetRoot()
{
    removeTree(gRoot + "/etc/dhcpd");
    removeTree(gRoot + "/var");
    for (const auto &f : kSetupFiles)
        writeFile(f.first, f.second, f.first == "etc/rc.network" ? 0755 : 0644);
    for (const auto &f : kSeedFiles)
        writeFile(f.first, f.second);
    makeDirs(gRoot + "/" + kLeaseDir);
}

// ---- the forms of the lines the system writes ----
// Written here independently of the request checks, as the fuzzer's oracle.

bool startsWith(const std::string &text, const char *prefix)
{
    return text.compare(0, strlen(prefix), prefix) == 0;
}

bool allOf(const std::string &text, const char *chars)
{
    return text.find_first_not_of(chars) == std::string::npos;
}

const char kNameChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_-.";
const char kLabelChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_-";

// Not a path element, nor an option of the programs it is handed to.
bool isIfName(const std::string &t)
{
    return !t.empty() && t.size() <= 15 && t[0] != '.' && t[0] != '-' && allOf(t, kNameChars);
}

bool isTag(const std::string &t)
{
    return !t.empty() && t.size() <= 19 && allOf(t, kNameChars);
}

bool isIp(const std::string &t)
{
    struct in_addr in;
    return inet_pton(AF_INET, t.c_str(), &in) == 1;
}

uint32_t addressOf(const std::string &text)
{
    struct in_addr in;
    if (inet_pton(AF_INET, text.c_str(), &in) != 1)
        fault("address does not parse: " + text);
    return ntohl(in.s_addr);
}

std::vector<std::string> splitFields(const std::string &text, char sep)
{
    std::vector<std::string> out;
    size_t pos = 0;
    for (;;) {
        size_t end = text.find(sep, pos);
        out.push_back(text.substr(pos, end - pos));
        if (end == std::string::npos)
            return out;
        pos = end + 1;
    }
}

bool isDomain(const std::string &t)
{
    if (t.empty() || t.size() > 253)
        return false;
    for (const std::string &label : splitFields(t, '.')) {
        if (label.empty() || label.size() > 63 || !allOf(label, kLabelChars) || label[0] == '-' ||
            label[0] == '_' || label.back() == '-')
            return false;
    }
    return true;
}

// A host name that dnsmasq reads as a host name, not as a lease time,
// keyword or address.
bool isHostName(const std::string &t)
{
    if (t.empty())
        return true;
    if (!isDomain(t) || t == "infinite" || t == "ignore" || allOf(t, "0123456789."))
        return false;
    size_t digits = t.find_first_not_of("0123456789");
    return !(digits > 0 && digits == t.size() - 1 && strchr("smhdwSMHDW", t.back()));
}

bool isMac(const std::string &t)
{
    if (t.size() != 17)
        return false;
    for (size_t i = 0; i < 17; i++) {
        if (i % 3 == 2 ? t[i] != ':' : !isxdigit((unsigned char)t[i]))
            return false;
    }
    return true;
}

// dnsmasq reads "<keyword>:" at the start of a field as a tag or an option
// name, in any letter case.
bool beginsWithKeyword(const std::string &t)
{
    size_t colon = t.find(':');
    if (colon == std::string::npos)
        return false;
    std::string head = t.substr(0, colon);
    for (char &c : head)
        c = (char)tolower((unsigned char)c);
    for (const char *keyword :
         {"tag", "set", "id", "net", "encap", "vi-encap", "vendor", "option", "option6"}) {
        if (head == keyword)
            return true;
    }
    return false;
}

bool isBootFile(const std::string &t)
{
    if (t.empty() || t.size() > 255 || beginsWithKeyword(t))
        return false;
    for (unsigned char c : t) {
        if (c <= ' ' || c >= 0x7f || strchr(",\"'#=", c))
            return false;
    }
    for (const std::string &element : splitFields(t, '/')) {
        if (element == "..")
            return false;
    }
    return true;
}

// A dhcp-range that dnsmasq accepts: contiguous mask, start and end in one
// subnet, start not above end.
bool isRange(const std::string &startText, const std::string &endText, const std::string &maskText)
{
    if (!isIp(startText) || !isIp(endText) || !isIp(maskText))
        return false;
    uint32_t start = addressOf(startText), end = addressOf(endText), mask = addressOf(maskText);
    uint32_t host = ~mask;
    return (host & (host + 1)) == 0 && (start & mask) == (end & mask) && start <= end;
}

bool isLeaseSeconds(const std::string &t)
{
    return !t.empty() && t.size() <= 10 && allOf(t, "0123456789") &&
           strtoll(t.c_str(), nullptr, 10) <= INT32_MAX;
}

bool isFragmentLine(const std::string &line)
{
    if (line == "port=0" || line == "dhcp-vendorclass=set:pxe,PXEClient")
        return true;
    if (startsWith(line, "interface="))
        return isIfName(line.substr(10));
    if (startsWith(line, "dhcp-range=set:")) {
        std::vector<std::string> f = splitFields(line.substr(15), ',');
        return f.size() == 5 && isTag(f[0]) && isRange(f[1], f[2], f[3]) && isLeaseSeconds(f[4]);
    }
    if (startsWith(line, "dhcp-option=tag:")) {
        std::vector<std::string> f = splitFields(line.substr(16), ',');
        if (f.size() < 3 || !isTag(f[0]))
            return false;
        if (f[1] == "option:router")
            return f.size() == 3 && isIp(f[2]);
        if (f[1] == "option:domain-search" || f[1] == "option:domain-name")
            return f.size() == 3 && isDomain(f[2]);
        if (f[1] == "option:dns-server")
            return (f.size() == 3 || f.size() == 4) && isIp(f[2]) && (f.size() == 3 || isIp(f[3]));
        return false;
    }
    if (startsWith(line, "dhcp-boot=tag:")) {
        std::vector<std::string> f = splitFields(line.substr(14), ',');
        return f.size() == 2 && isTag(f[0]) && isBootFile(f[1]);
    }
    if (startsWith(line, "dhcp-host=")) {
        std::vector<std::string> f = splitFields(line.substr(10), ',');
        return f.size() == 4 && isMac(f[0]) && isHostName(f[1]) && isIp(f[2]) &&
               f[3] == "infinite";
    }
    return false;
}

// "dhcpd-<interface>-<tag>.conf" or ".info", or the reservation list.
bool isServiceFileName(const std::string &name)
{
    if (name == "dhcpdStatic.ori")
        return true;
    size_t dot = name.rfind('.');
    if (!startsWith(name, "dhcpd-") || dot == std::string::npos)
        return false;
    std::string ext = name.substr(dot);
    if (ext != ".conf" && ext != ".info")
        return false;
    std::string middle = name.substr(6, dot - 6);
    // Interface names may hold "-": some split must give a name and a tag.
    for (size_t dash = middle.find('-'); dash != std::string::npos;
         dash = middle.find('-', dash + 1)) {
        if (isIfName(middle.substr(0, dash)) && isTag(middle.substr(dash + 1)))
            return true;
    }
    return false;
}

std::string shown(const std::string &line)
{
    std::string out;
    for (unsigned char c : line) {
        if (c >= ' ' && c < 0x7f) {
            out += (char)c;
        } else {
            char buf[8];
            snprintf(buf, sizeof buf, "\\x%02x", c);
            out += buf;
        }
    }
    return out;
}

// "orvath-<interface>.switches", the subnets' own switches kept while the
// interface's service is off: "rows=" with "y" or "n" per subnet, "pxe=y|n".
bool checkedSwitchesFile(const std::string &name)
{
    const std::string prefix = "orvath-", suffix = ".switches";
    if (!startsWith(name, prefix.c_str()) || name.size() <= prefix.size() + suffix.size() ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
        return false;
    std::string where = "etc/dhcpd/" + name;
    if (!isIfName(name.substr(prefix.size(), name.size() - prefix.size() - suffix.size())))
        fault("unexpected file name " + shown(where));
    std::string content = readWhole(gRoot + "/" + where);
    size_t rowsEnd = content.find('\n');
    bool ok = startsWith(content, "rows=") && rowsEnd != std::string::npos &&
              content.find_first_not_of("yn", 5) == rowsEnd &&
              (content.substr(rowsEnd + 1) == "pxe=y\n" || content.substr(rowsEnd + 1) == "pxe=n\n");
    if (!ok)
        fault(where + ": not a record of switches: " + shown(content));
    return true;
}

void checkServiceFile(const std::string &name)
{
    std::string where = "etc/dhcpd/" + name;
    if (checkedSwitchesFile(name))
        return;
    if (!isServiceFileName(name))
        fault("unexpected file name " + shown(where));
    std::string content = readWhole(gRoot + "/" + where);
    if (!content.empty() && content.back() != '\n')
        fault(where + ": last line without newline");
    if (!content.empty())
        content.pop_back();
    bool info = name.size() > 5 && name.compare(name.size() - 5, 5, ".info") == 0;
    std::set<uint32_t> reserved;
    for (const std::string &line : splitFields(content, '\n')) {
        if (content.empty())
            break;
        if (info) {
            if (line != "enable=\"yes\"" && line != "enable=\"no\"")
                fault(where + ": foreign line: " + shown(line));
            continue;
        }
        if (!isFragmentLine(line))
            fault(where + ": foreign line: " + shown(line));
        if (startsWith(line, "dhcp-host=")) {
            std::vector<std::string> f = splitFields(line, ',');
            if (!reserved.insert(addressOf(f[2])).second)
                fault(where + ": address reserved twice: " + line);
        }
    }
}

void checkRoot()
{
    // Nothing beside the root and the request's body in the private directory.
    if (DIR *dir = opendir(gBase.c_str())) {
        while (struct dirent *e = readdir(dir)) {
            if (strcmp(e->d_name, ".") && strcmp(e->d_name, "..") && strcmp(e->d_name, "root") &&
                strcmp(e->d_name, "body"))
                fault("file outside the root: " + gBase + "/" + shown(e->d_name));
        }
        closedir(dir);
    }

    std::set<std::string> allowedDirs = {"etc/", "etc/dhcpd/", "var/", "var/packages/",
                                         "var/packages/Orvath/", "var/packages/Orvath/target/",
                                         std::string(kLeaseDir) + "/"};
    for (const auto &f : kSetupFiles) {
        for (size_t pos = f.first.find('/'); pos != std::string::npos;
             pos = f.first.find('/', pos + 1))
            allowedDirs.insert(f.first.substr(0, pos + 1));
    }
    std::vector<std::string> entries;
    listTree("", entries);
    for (const std::string &e : entries) {
        if (allowedDirs.count(e) || kSetupFiles.count(e) ||
            e == "var/packages/Orvath/target/var/" ||
            e == "var/packages/Orvath/target/var/lock/" ||
            e == "var/packages/Orvath/target/var/lock/orvath.lock" ||
            e == "var/packages/Orvath/target/history.db" ||
            e == "var/packages/Orvath/target/history.db-journal" ||
            e == "var/packages/Orvath/target/history.db.newest")
            continue;
        if (e.compare(0, 10, "etc/dhcpd/") == 0 && e.find('/', 10) == std::string::npos) {
            checkServiceFile(e.substr(10));
            continue;
        }
        std::string leaseDir = std::string(kLeaseDir) + "/";
        if (e.compare(0, leaseDir.size(), leaseDir) == 0 &&
            e.find('/', leaseDir.size()) == std::string::npos)
            continue;
        fault("file outside the service's directories: " + shown(e));
    }
    for (const auto &f : kSetupFiles) {
        if (readWhole(gRoot + "/" + f.first) != f.second && f.first != "etc/quomoinfo.conf")
            fault("set-up file changed: " + f.first);
    }
}

// ---- the request ----

std::string urlEncode(const std::string &text)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
            c == '-' || c == '_' || c == '.' || c == '~') {
            out += (char)c;
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

std::string bodyOf(const uint8_t *data, size_t size)
{
    std::vector<std::string> fields = splitFields(std::string((const char *)data, size), '\0');
    std::string query = "action=";
    query += fields[0] == "applypxesubnet" ? "applypxesubnet" : "applydata";
    for (size_t i = 1; i < fields.size(); i++) {
        size_t eq = fields[i].find('=');
        if (eq == std::string::npos || eq == 0)
            continue;
        query += "&" + urlEncode(fields[i].substr(0, eq)) + "=" + urlEncode(fields[i].substr(eq + 1));
    }
    return query;
}

void removeBase()
{
    if (!gBase.empty())
        removeTree(gBase);
}

} // namespace

// The service restart "<root>/etc/rc.network nat-restart-dhcp" after every
// applied request costs, as a program, far more than the rest of a request.
// This definition takes the place of the platform library's (the program's
// own symbols come first) and answers it in-process: the restart succeeds
// without effect (the files it would start the service from are what is
// checked). Any other program is still run by the platform library.
extern "C" int VORLCExec(const char *szProg, const char *a1, const char *a2, const char *a3,
                         const char *a4)
{
    using ExecFn = int (*)(const char *, const char *, const char *, const char *, const char *);
    static ExecFn real = (ExecFn)dlsym(RTLD_NEXT, "VORLCExec");
    if (szProg && a1 && !a2 && szProg == gRoot + "/etc/rc.network" &&
        !strcmp(a1, "nat-restart-dhcp"))
        return 0;
    if (!real)
        fault("the platform library's VORLCExec is not found");
    return real(szProg, a1, a2, a3, a4);
}

// The restart with its outcome reads the start-up script's output through a
// pipe rather than through VORLCExec: it is answered in-process as well, as
// a restart that succeeded. The library is linked statically here, so the
// handlers' calls reach this through the linker's --wrap.
extern "C" int __wrap_QUOMODHCPRestartWithOutcome(char *szReason, size_t cbReason)
{
    if (szReason && cbReason)
        szReason[0] = '\0';
    return 0;
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    char tmpl[] = "/tmp/orvath-fuzz-XXXXXX";
    if (!mkdtemp(tmpl))
        fault("mkdtemp failed");
    gBase = tmpl;
    gRoot = gBase + "/root";
    mkdir(gRoot.c_str(), 0755);
    atexit(removeBase);
    const char *survey = getenv("ORVATH_FUZZ_SURVEY");
    gSurvey = survey && !strcmp(survey, "1");
    setenv("ORVATH_ROOT", gRoot.c_str(), 1);
    setenv("REQUEST_METHOD", "POST", 1);
    setenv("REMOTE_USER", "fuzz", 1);
    setenv("CONTENT_TYPE", "application/x-www-form-urlencoded", 1);
    unsetenv("QUERY_STRING");
    unsetenv("ORVATH_LOG_STDERR");
    // The answers are of no interest here.
    int null = open("/dev/null", O_WRONLY);
    if (null >= 0) {
        dup2(null, STDOUT_FILENO);
        close(null);
    }
    fprintf(stderr, "fuzz_requests: root %s\n", gRoot.c_str());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    resetRoot();
    // The body comes on standard input, as the web server passes it.
    std::string body = bodyOf(data, size);
    std::string bodyPath = gBase + "/body";
    FILE *fp = fopen(bodyPath.c_str(), "w");
    if (!fp || fwrite(body.data(), 1, body.size(), fp) != body.size() || fclose(fp) != 0)
        fault("cannot write the request body");
    if (!freopen(bodyPath.c_str(), "r", stdin))
        fault("cannot read the request body");
    setenv("CONTENT_LENGTH", std::to_string(body.size()).c_str(), 1);
    {
        Webvard cgi(true);
        dispatchRequest(cgi);
    }
    fflush(stdout);
    try {
        checkRoot();
    } catch (const SurveyedFault &) {
    }
    return 0;
}
