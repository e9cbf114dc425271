// Times the orvath program per action over a sandbox root of realistic size
// and reports its peak memory. Not a test: it prints figures.
//
//   bench_requests <path to orvath> [runs per action] [lease records]
//
// The sandbox holds 4 interfaces with 8 subnets each, 200 reservations and a
// lease log of 250 records by default (with a matching lease file of the
// service, so that the client list rewrites every record).
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

static std::string root;
static int leaseCount = 250;

static void writeFile(const std::string &rel, const std::string &text, mode_t mode = 0644)
{
    std::string path = root + "/" + rel;
    for (size_t i = root.size() + 1; i < path.size(); ++i)
        if (path[i] == '/')
            mkdir(path.substr(0, i).c_str(), 0755);
    std::ofstream(path) << text;
    chmod(path.c_str(), mode);
}

static std::string subnetFragment(const std::string &ifName, int n, int net)
{
    std::string tag = ifName + std::to_string(n);
    std::string prefix = "10." + std::to_string(net) + "." + std::to_string(n) + ".";
    return "interface=" + ifName + "\ndhcp-range=set:" + tag + "," + prefix + "100," + prefix +
           "200,255.255.255.0,86400\ndhcp-option=tag:" + tag + ",option:router," + prefix +
           "1\ndhcp-option=tag:" + tag + ",option:dns-server," + prefix + "1\n";
}

static std::string mac(int i)
{
    char text[20];
    snprintf(text, sizeof text, "02:00:00:00:%02x:%02x", (i >> 8) & 0xff, i & 0xff);
    return text;
}

static void makeSandbox()
{
    char tmpl[] = "/tmp/orvath-bench-XXXXXX";
    root = mkdtemp(tmpl);
    writeFile("etc/rc.network", "#!/bin/sh\nexit 0\n", 0755);
    for (int i = 0; i < 4; ++i) {
        std::string ifName = "eth" + std::to_string(i);
        writeFile("sys/class/net/" + ifName + "/ifindex", std::to_string(i + 2) + "\n");
        writeFile("sys/class/net/" + ifName + "/type", "1\n");
        for (int n = 0; n < 8; ++n) {
            std::string base = "etc/dhcpd/dhcpd-" + ifName + "-" + ifName + std::to_string(n);
            writeFile(base + ".conf", subnetFragment(ifName, n, i));
            writeFile(base + ".info", "enable=\"yes\"\n");
        }
    }
    std::string reservations, leases, log;
    for (int i = 0; i < 200; ++i)
        reservations += "dhcp-host=" + mac(i) + ",host" + std::to_string(i) + ",10.0.0." +
                        std::to_string(i + 2) + ",infinite\n";
    long expiry = (long)time(nullptr) + 86400;
    for (int i = 0; i < leaseCount; ++i) {
        std::string ip = "10.0." + std::to_string(i / 200) + "." + std::to_string(i % 200 + 2);
        leases += std::to_string(expiry) + " " + mac(i) + " " + ip + " client * \n";
        log += std::to_string(expiry) + " " + mac(i) + " " + ip + " client" + std::to_string(i) +
               " eth" + std::to_string(i % 4) + "\n";
    }
    writeFile("etc/dhcpd/dhcpdStatic.ori", reservations);
    writeFile("etc/dhcpd/dhcpd.info", "enable=\"no\"\n");
    writeFile("var/packages/Orvath/target/etc/dhcpd.conf.leases", leases);
    writeFile("var/packages/Orvath/target/etc/dhcpd-leases.log", log);
}

struct Sample {
    double ms;
    long maxRssKb;
};

static Sample runOnce(const char *program, const std::string &query)
{
    std::string envRoot = "ORVATH_ROOT=" + root;
    std::string envQuery = "QUERY_STRING=" + query;
    const char *envp[] = {envRoot.c_str(), envQuery.c_str(), "REQUEST_METHOD=POST",
                          "REMOTE_USER=bench", "PATH=/usr/bin:/bin", nullptr};
    struct timespec start, end;
    fflush(stdout);
    clock_gettime(CLOCK_MONOTONIC, &start);
    pid_t pid = fork();
    if (pid == 0) {
        if (!freopen("/dev/null", "w", stdout) || !freopen("/dev/null", "w", stderr))
            _exit(126);
        const char *argv[] = {program, nullptr};
        execve(program, const_cast<char *const *>(argv), const_cast<char *const *>(envp));
        _exit(127);
    }
    int status = 0;
    struct rusage usage;
    wait4(pid, &status, 0, &usage);
    clock_gettime(CLOCK_MONOTONIC, &end);
    double ms = (end.tv_sec - start.tv_sec) * 1e3 + (end.tv_nsec - start.tv_nsec) / 1e6;
    return {ms, usage.ru_maxrss};
}

int main(int argc, char **argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: %s <orvath> [runs]\n", argv[0]);
        return 2;
    }
    int runs = argc > 2 ? atoi(argv[2]) : 20;
    if (runs < 1)
        runs = 1;
    if (argc > 3 && atoi(argv[3]) > 0)
        leaseCount = std::min(atoi(argv[3]), 60000);
    printf("%d runs per request; %d lease records\n", runs, leaseCount);
    makeSandbox();
    const char *queries[] = {
        "action=enumIF",
        "action=getIfData&iftype=eth0",
        "action=loadGlobal&iftype=eth0",
        "action=loadStatic",
        "action=loadClientList&iftype=eth0",
        "action=getEnablePXEConfig",
        "action=disableServer&iftype=eth3",
    };
    printf("%-36s %10s %10s %12s\n", "request", "median ms", "max ms", "max RSS KiB");
    for (const char *query : queries) {
        std::vector<Sample> samples;
        for (int i = 0; i < runs; ++i)
            samples.push_back(runOnce(argv[1], query));
        std::sort(samples.begin(), samples.end(),
                  [](const Sample &a, const Sample &b) { return a.ms < b.ms; });
        long rss = 0;
        for (const Sample &s : samples)
            rss = std::max(rss, s.maxRssKb);
        printf("%-36s %10.2f %10.2f %12ld\n", query, samples[samples.size() / 2].ms,
               samples.back().ms, rss);
    }
    std::string cleanup = root;
    fflush(stdout);
    pid_t pid = fork();
    if (pid == 0) {
        execl("/bin/rm", "rm", "-rf", cleanup.c_str(), (char *)nullptr);
        _exit(127);
    }
    waitpid(pid, nullptr, 0);
    return 0;
}
