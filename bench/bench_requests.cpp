// Times the orvath program per request at a large appliance's scale and
// compares it with a trivial CGI built with the same flags and libraries.
// Not a test: it prints figures.
//
//   bench_requests <orvath> <trivial CGI> [runs per request]
//
// The scale: 8 interfaces with 8 subnets each and 4,096 reservations, set up
// through the program's own "applydata"; a lease log of 10,000 records of
// which dnsmasq's lease file holds 9,000 current (written directly: they
// come from dnsmasq), and the check of a subnet table of 256 rows, the most
// one may have. Then the client list alone at 1,000 and 10,000 records.
// Each line gives the median wall time of whole processes, the trivial
// CGI's median for the same request, their ratio, the peak resident
// memory, and the median processor time (user + system) with its ratio,
// which a busy machine disturbs less; a request is run fewer times when it
// is slow.
//
// ORVATH_BENCH_ONLY=<text> runs only the requests whose label holds the
// text; ORVATH_BENCH_KEEP=1 keeps the roots and prints where they are, to
// run one request by hand there: each request measured leaves its query and
// body in <root>/requests/<label>.query and .body.
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

namespace {

const int kInterfaces = 8;
const int kSubnets = 8;
const int kReservations = 4096;
const double kBudgetMs = 30000; // per request and program, once one run is done

std::string root;

void makeDirs(const std::string &path)
{
    for (size_t i = 1; i < path.size(); ++i)
        if (path[i] == '/')
            mkdir(path.substr(0, i).c_str(), 0755);
}

void writeFile(const std::string &rel, const std::string &text, mode_t mode = 0644)
{
    std::string path = root + "/" + rel;
    makeDirs(path);
    std::ofstream(path) << text;
    chmod(path.c_str(), mode);
}

std::string mac(int i)
{
    char text[20];
    snprintf(text, sizeof text, "02:00:00:%02x:%02x:%02x", (i >> 16) & 0xff, (i >> 8) & 0xff,
             i & 0xff);
    return text;
}

std::string percentEncode(const std::string &text)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (isalnum(c) || c == '.' || c == '-' || c == '_') {
            out += (char)c;
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

struct Request {
    std::string label;
    std::string query; // GET when body is empty
    std::string body;  // form body of a POST
};

Request post(const std::string &label, const std::vector<std::pair<std::string, std::string>> &params)
{
    Request r{label, "", ""};
    for (const auto &p : params)
        r.body += (r.body.empty() ? "" : "&") + p.first + "=" + percentEncode(p.second);
    return r;
}

std::string subnetRows(int ifIndex)
{
    std::string rows = "[";
    for (int n = 0; n < kSubnets; ++n) {
        std::string prefix = "10." + std::to_string(ifIndex) + "." + std::to_string(n) + ".";
        rows += std::string(n ? "," : "") + "{\"activated\":true,\"startip\":\"" + prefix +
                "100\",\"endip\":\"" + prefix + "200\",\"netmask\":\"255.255.255.0\"," +
                "\"gateway\":\"" + prefix + "1\"}";
    }
    return rows + "]";
}

std::string reservations()
{
    std::string list = "[";
    for (int i = 0; i < kReservations; ++i)
        list += std::string(i ? "," : "") + "{\"mac\":\"" + mac(i) + "\",\"ip\":\"10.100." +
                std::to_string(i / 250) + "." + std::to_string(i % 250 + 2) +
                "\",\"hostname\":\"host" + std::to_string(i) + "\"}";
    return list + "]";
}

Request applyData(int ifIndex, bool withReservations)
{
    std::string ifName = "eth" + std::to_string(ifIndex);
    std::string global = "{\"enable_check\":true,\"leasetime\":\"1440\",\"pdns\":\"10." +
                         std::to_string(ifIndex) + ".0.1\",\"sdns\":\"\",\"domain\":\"lan\"," +
                         "\"iftype\":\"" + ifName + "\"}";
    std::vector<std::pair<std::string, std::string>> params = {
        {"action", "applydata"}, {"dataArray", global}, {"subnetData", subnetRows(ifIndex)}};
    if (withReservations)
        params.push_back({"staticData", reservations()});
    return post("applydata, 8 subnets + 4,096 reservations", params);
}

// "applydata" with a table of `rows` activated one-address rows whose last
// shares its address with the first: every row and the overlap check run,
// and the request is refused before anything is written, so its time is
// the reading and the checking of the table.
Request checkedTable(int rows)
{
    std::string global = "{\"enable_check\":true,\"leasetime\":\"1440\",\"pdns\":\"10.9.0.1\","
                         "\"sdns\":\"\",\"domain\":\"lan\",\"iftype\":\"eth0\"}";
    std::string table = "[";
    for (int i = 0; i < rows; ++i) {
        int n = i == rows - 1 ? 0 : i;
        std::string ip = "10.9." + std::to_string(n / 250) + "." + std::to_string(n % 250 + 1);
        table += std::string(i ? "," : "") + "{\"activated\":true,\"startip\":\"" + ip +
                 "\",\"endip\":\"" + ip + "\",\"netmask\":\"255.255.0.0\",\"gateway\":\"10.9.0.254\"}";
    }
    return post("applydata, " + std::to_string(rows) + "-row table checked",
                {{"action", "applydata"}, {"dataArray", global}, {"subnetData", table + "]"}});
}

struct Sample {
    double ms;
    double cpuMs; // user + system time of the process
    long maxRssKb;
    int status;
};

Sample runOnce(const std::string &program, const Request &r)
{
    std::string envRoot = "ORVATH_ROOT=" + root;
    std::string envQuery = "QUERY_STRING=" + r.query;
    std::string envLength = "CONTENT_LENGTH=" + std::to_string(r.body.size());
    const char *envp[] = {envRoot.c_str(),
                          envQuery.c_str(),
                          "REQUEST_METHOD=POST",
                          "REMOTE_USER=bench",
                          "PATH=/usr/bin:/bin",
                          "CONTENT_TYPE=application/x-www-form-urlencoded",
                          envLength.c_str(),
                          nullptr};
    int in[2];
    if (pipe(in) != 0) {
        perror("pipe");
        exit(1);
    }
    struct timespec start, end;
    fflush(stdout);
    clock_gettime(CLOCK_MONOTONIC, &start);
    pid_t pid = fork();
    if (pid == 0) {
        dup2(in[0], 0);
        close(in[0]);
        close(in[1]);
        if (!freopen("/dev/null", "w", stdout) || !freopen("/dev/null", "w", stderr))
            _exit(126);
        const char *argv[] = {program.c_str(), nullptr};
        execve(program.c_str(), const_cast<char *const *>(argv), const_cast<char *const *>(envp));
        _exit(127);
    }
    close(in[0]);
    size_t done = 0;
    while (done < r.body.size()) {
        ssize_t n = write(in[1], r.body.data() + done, r.body.size() - done);
        if (n <= 0)
            break;
        done += (size_t)n;
    }
    close(in[1]);
    int status = 0;
    struct rusage usage;
    wait4(pid, &status, 0, &usage);
    clock_gettime(CLOCK_MONOTONIC, &end);
    double ms = (end.tv_sec - start.tv_sec) * 1e3 + (end.tv_nsec - start.tv_nsec) / 1e6;
    double cpuMs = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
                   (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
    return {ms, cpuMs, usage.ru_maxrss, status};
}

struct Figures {
    double medianMs = 0;
    double medianCpuMs = 0;
    long peakKb = 0;
    int runs = 0;
};

Figures measure(const std::string &program, const Request &r, int runs)
{
    std::vector<double> times, cpu;
    Figures f;
    double spent = 0;
    while ((int)times.size() < runs && (times.empty() || spent < kBudgetMs)) {
        Sample s = runOnce(program, r);
        if (!WIFEXITED(s.status) || WEXITSTATUS(s.status) != 0)
            fprintf(stderr, "%s: %s ended with status %d\n", r.label.c_str(), program.c_str(),
                    s.status);
        times.push_back(s.ms);
        cpu.push_back(s.cpuMs);
        spent += s.ms;
        f.peakKb = std::max(f.peakKb, s.maxRssKb);
    }
    std::sort(times.begin(), times.end());
    std::sort(cpu.begin(), cpu.end());
    f.medianMs = times[times.size() / 2];
    f.medianCpuMs = cpu[cpu.size() / 2];
    f.runs = (int)times.size();
    return f;
}

void printHeader()
{
    printf("%-44s %10s %10s %8s %9s %5s %9s %9s\n", "request", "median ms", "trivial ms",
           "ratio", "peak MiB", "runs", "cpu ms", "cpu ratio");
}

bool keepRoots()
{
    const char *keep = getenv("ORVATH_BENCH_KEEP");
    return keep && *keep && strcmp(keep, "0") != 0;
}

void keepRequest(const Request &r)
{
    std::string name;
    for (char c : r.label)
        name += isalnum((unsigned char)c) ? c : '_';
    writeFile("requests/" + name + ".query", r.query);
    writeFile("requests/" + name + ".body", r.body);
}

bool chosen(const std::string &label)
{
    const char *only = getenv("ORVATH_BENCH_ONLY");
    return !only || label.find(only) != std::string::npos;
}

void report(const std::string &orvath, const std::string &trivial, const Request &r, int runs)
{
    if (!chosen(r.label))
        return;
    if (keepRoots())
        keepRequest(r);
    Figures mine = measure(orvath, r, runs);
    Figures base = measure(trivial, r, runs);
    printf("%-44s %10.2f %10.2f %8.1f %9.2f %5d %9.2f %9.1f\n", r.label.c_str(), mine.medianMs,
           base.medianMs, mine.medianMs / base.medianMs, mine.peakKb / 1024.0, mine.runs,
           mine.medianCpuMs, mine.medianCpuMs / base.medianCpuMs);
}

void run(const std::string &program, const Request &r)
{
    Sample s = runOnce(program, r);
    if (!WIFEXITED(s.status) || WEXITSTATUS(s.status) != 0)
        fprintf(stderr, "setup %s failed with status %d\n", r.label.c_str(), s.status);
}

void makeRoot()
{
    char tmpl[] = "/tmp/orvath-bench-XXXXXX";
    if (!mkdtemp(tmpl)) {
        perror("mkdtemp");
        exit(1);
    }
    root = tmpl;
    // The service's restart is the start-up script's cost, not the program's.
    writeFile("etc/rc.network", "#!/bin/sh\nexit 0\n", 0755);
    writeFile("etc/dhcpd/dhcpd.info", "enable=\"no\"\n");
}

void addInterfaces()
{
    for (int i = 0; i < kInterfaces; ++i) {
        std::string ifName = "eth" + std::to_string(i);
        writeFile("sys/class/net/" + ifName + "/ifindex", std::to_string(i + 2) + "\n");
        writeFile("sys/class/net/" + ifName + "/type", "1\n");
    }
}

// A lease log of records clients, spread over the interfaces; dnsmasq's
// lease file holds the current nine in ten, in another order.
void writeLeases(int records)
{
    std::string log, leases;
    long expiry = (long)time(nullptr) + 86400;
    for (int i = 0; i < records; ++i) {
        std::string ip = "10." + std::to_string(i % kInterfaces) + "." +
                         std::to_string(i / 250 % 8) + "." + std::to_string(i % 250 + 2);
        log += std::to_string(expiry - 600) + " " + mac(0x100000 + i) + " " + ip + " client" +
               std::to_string(i) + " eth" + std::to_string(i % kInterfaces) + "\n";
    }
    for (int k = 0; k < records; ++k) {
        int i = (int)((k * 7919L) % records); // every record once, shuffled
        if (i % 10 == 9)
            continue;
        leases += std::to_string(expiry) + " " + mac(0x100000 + i) + " 10.0.0.1 client" +
                  std::to_string(i) + " *\n";
    }
    writeFile("var/packages/Orvath/target/etc/dhcpd-leases.log", log);
    writeFile("var/packages/Orvath/target/etc/dhcpd.conf.leases", leases);
}

void removeRoot()
{
    fflush(stdout);
    if (keepRoots()) {
        fprintf(stderr, "kept %s\n", root.c_str());
        return;
    }
    pid_t pid = fork();
    if (pid == 0) {
        execl("/bin/rm", "rm", "-rf", root.c_str(), (char *)nullptr);
        _exit(127);
    }
    waitpid(pid, nullptr, 0);
}

Request get(const std::string &label, const std::string &query) { return {label, query, ""}; }

// The makers' index is built once, by the first client list after the
// registry changes; every later request maps it. That once is not what a
// request costs.
void buildMakersIndex(const std::string &orvath)
{
    run(orvath, get("loadClientList", "action=loadClientList&iftype=eth0"));
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: %s <orvath> <trivial CGI> [runs per request]\n", argv[0]);
        return 2;
    }
    std::string orvath = argv[1], trivial = argv[2];
    int runs = argc > 3 ? std::max(1, atoi(argv[3])) : 15;

    makeRoot();
    addInterfaces();
    for (int i = 0; i < kInterfaces; ++i)
        run(orvath, applyData(i, i == 0));
    writeLeases(10000);
    buildMakersIndex(orvath);
    printf("%d interfaces x %d subnets, %d reservations, 10,000 lease records "
           "(9,000 current); up to %d runs per request\n",
           kInterfaces, kSubnets, kReservations, runs);
    printHeader();
    const Request reading[] = {
        get("enumIF", "action=enumIF"),
        get("loadGlobal", "action=loadGlobal&iftype=eth0"),
        get("getIfData", "action=getIfData&iftype=eth0"),
        get("loadpxesubnet", "action=loadpxesubnet&if_name=eth7"),
        get("getEnablePXEConfig", "action=getEnablePXEConfig"),
        get("loadStatic", "action=loadStatic"),
        get("checkReservations", "action=checkReservations"),
        get("loadClientList", "action=loadClientList&iftype=eth0"),
    };
    for (const Request &r : reading)
        report(orvath, trivial, r, runs);
    report(orvath, trivial,
           post("applypxesubnet", {{"action", "applypxesubnet"},
                                   {"pxe_interface", "eth7"},
                                   {"pxe_enable", "true"},
                                   {"pxe_start_ip", "10.77.0.100"},
                                   {"pxe_end_ip", "10.77.0.150"},
                                   {"pxe_netmask", "255.255.255.0"},
                                   {"pxe_gateway", "10.77.0.1"},
                                   {"pxe_dns", "10.77.0.1"},
                                   {"pxe_bootloader", "pxelinux.0"},
                                   {"orig_interface", ""}}),
           runs);
    report(orvath, trivial, get("disableServer", "action=disableServer&iftype=eth6"), runs);
    writeFile("sys/class/net/eth0/orvath_addrs6", "fd50::1/64\n");
    report(orvath, trivial,
           post("applyIPv6", {{"action", "applyIPv6"},
                              {"iftype", "eth0"},
                              {"ipv6", R"({"mode": "stateful", "start": "::100", "end": "::1ff",
                                           "leasetime": "720", "dns": ["fd50::53"]})"}}),
           runs);
    report(orvath, trivial, get("loadIPv6", "action=loadIPv6&iftype=eth0"), runs);
    report(orvath, trivial, applyData(0, true), runs);
    report(orvath, trivial, checkedTable(256), runs);
    removeRoot();

    // The client list alone, at two sizes.
    for (int records : {1000, 10000}) {
        makeRoot();
        addInterfaces();
        writeLeases(records);
        buildMakersIndex(orvath);
        report(orvath, trivial,
               get("loadClientList, " + std::to_string(records) + " records",
                   "action=loadClientList&iftype=eth0"),
               runs);
        removeRoot();
    }
    return 0;
}
