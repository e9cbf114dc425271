#include "dnsmasq_check.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <sstream>

#include "sandbox.h"

static bool endsWith(const std::string &text, const std::string &tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// The value of "enable" as the library reads it: the first line whose key is
// exactly "enable", without one pair of enclosing double quotes.
static std::string enableValue(const std::string &infoPath)
{
    std::istringstream in(readFile(infoPath));
    std::string line;
    while (std::getline(in, line)) {
        if (line.compare(0, 7, "enable=") != 0)
            continue;
        std::string value = line.substr(7);
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        return value;
    }
    return "";
}

std::vector<std::string> enabledFragments(const std::string &root)
{
    std::vector<std::string> fragments;
    std::string dir = root + "/etc/dhcpd";
    DIR *d = opendir(dir.c_str());
    if (!d)
        return fragments;
    while (struct dirent *e = readdir(d)) {
        std::string name = e->d_name;
        // dhcpd-<if>-<tag>.info; dhcpd.info is the client list's switch.
        if (name.compare(0, 6, "dhcpd-") != 0 || !endsWith(name, ".info") ||
            name.find('-', 6) == std::string::npos)
            continue;
        std::string info = dir + "/" + name;
        std::string conf = info.substr(0, info.size() - 5) + ".conf";
        if (enableValue(info) == "yes" && access(conf.c_str(), R_OK) == 0)
            fragments.push_back(conf);
    }
    closedir(d);
    std::sort(fragments.begin(), fragments.end());
    return fragments;
}

std::string dnsmasqProgram()
{
    std::string path = getenv("PATH") ? getenv("PATH") : "";
    path += ":/usr/sbin:/sbin";
    std::istringstream dirs(path);
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        if (dir.empty())
            continue;
        std::string candidate = dir + "/dnsmasq";
        if (access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return "";
}

// The options the library writes; the start-up script refuses anything else.
static bool allowedLine(const std::string &line)
{
    static const char *const keys[] = {"interface=",        "dhcp-range=",     "dhcp-option=",
                                       "dhcp-boot=",        "dhcp-vendorclass=", "dhcp-userclass=",
                                       "dhcp-match=",       "tag-if=",         "dhcp-host=",
                                       "dhcp-mac=",         "dhcp-ignore=",    "domain=",
                                       "host-record=",      "port="};
    if (line.find_first_not_of(" \t\r") == std::string::npos || line == "enable-ra")
        return true;
    for (const char *key : keys) {
        if (line.compare(0, strlen(key), key) == 0)
            return true;
    }
    return false;
}

DnsmasqCheck checkDnsmasqConfig(const std::string &root)
{
    DnsmasqCheck check;
    std::string program = dnsmasqProgram();
    std::vector<std::string> fragments = enabledFragments(root);
    if (program.empty() || fragments.empty())
        return check;
    check.ran = true;

    for (const auto &f : fragments) {
        std::istringstream in(readFile(f));
        std::string line;
        int number = 0;
        while (std::getline(in, line)) {
            ++number;
            if (!allowedLine(line)) {
                check.accepted = false;
                check.message = "not a DHCP setting at line " + std::to_string(number) + " of " +
                                f + ": " + line;
                return check;
            }
        }
    }

    std::vector<std::string> args = {program, "--test"};
    for (const auto &f : fragments)
        args.push_back("--conf-file=" + f);
    std::vector<char *> argv;
    for (auto &a : args)
        argv.push_back(&a[0]);
    argv.push_back(nullptr);

    char outPath[] = "/tmp/orvath-dnsmasq-test-XXXXXX";
    int out = mkstemp(outPath);
    if (out < 0) {
        check.accepted = false;
        check.message = "cannot make a temporary file";
        return check;
    }
    pid_t pid = fork();
    if (pid == 0) {
        int in = open("/dev/null", O_RDONLY);
        if (in >= 0)
            dup2(in, 0);
        dup2(out, 1);
        dup2(out, 2);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(out);
    int status = 0;
    if (pid < 0 || !waitForExit(pid, 60, &status))
        status = -1;
    check.message = readFile(outPath);
    unlink(outPath);
    check.accepted = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return check;
}
