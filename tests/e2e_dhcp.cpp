// The DHCP service end to end: the real orvath writes the configuration, the
// start-up script (scripts/rc.network) starts the real dnsmasq with it, and
// busybox udhcpc asks for leases.
//
// Two network namespaces per test, joined by a veth pair: the server's end is
// eth0, as on the appliance, with 192.168.50.1/24; the client's end is c0.
// orvath runs inside the server namespace, so the dnsmasq that the start-up
// script starts serves there and nowhere else. The namespaces are made with
// `ip netns` as root, otherwise inside an unprivileged user namespace
// (`unshare -rn`); ORVATH_E2E_NETNS=root or =userns forces one way. Every
// process in them is killed, by its id, when a test ends, however it ends.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <stdio.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <time.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <set>
#include <sstream>
#include <thread>

#include "ci.h"
#include "cgi_runner.h"
#include "dnsmasq_check.h"
#include "sandbox.h"

using ::testing::HasSubstr;

namespace {

const char kLeaseLog[] = "var/packages/Orvath/target/etc/dhcpd-leases.log";
const char kPidFile[] = "var/run/orvath-dnsmasq.pid";
const char kDnsmasqLog[] = "var/log/orvath-dnsmasq.log";


struct RunResult {
    int status = -1; // exit status; -1 when it did not end in time or was killed
    std::string output;
};

// Starts a command (looked up in PATH) with standard input from /dev/null
// and its output into outFd (-1: /dev/null). Returns its id.
pid_t spawn(const std::vector<std::string> &args, int outFd)
{
    std::vector<std::string> copy = args;
    std::vector<char *> argv;
    for (auto &a : copy)
        argv.push_back(&a[0]);
    argv.push_back(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        int null = open("/dev/null", O_RDWR);
        if (outFd < 0)
            outFd = null;
        if (null >= 0)
            dup2(null, 0);
        dup2(outFd, 1);
        dup2(outFd, 2);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

// Runs a command with its output collected; kills it by its id when it has
// not ended after `seconds`.
RunResult run(const std::vector<std::string> &args, int seconds = 30)
{
    RunResult result;
    char outPath[] = "/tmp/orvath-e2e-out-XXXXXX";
    int out = mkstemp(outPath);
    if (out < 0)
        return result;
    pid_t pid = spawn(args, out);
    close(out);
    int status = 0;
    bool ended = pid > 0 && waitForExit(pid, seconds, &status);
    if (ended && WIFEXITED(status))
        result.status = WEXITSTATUS(status);
    result.output = readFile(outPath);
    unlink(outPath);
    return result;
}

std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string> &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

bool haveProgram(const std::string &name)
{
    return run({"sh", "-c", "command -v " + name}).status == 0;
}

// A network namespace's identity, for finding the processes inside it.
struct NsId {
    dev_t dev = 0;
    ino_t ino = 0;
    bool valid = false;
};

NsId nsIdOf(const std::string &path)
{
    NsId id;
    struct stat st;
    if (stat(path.c_str(), &st) == 0) {
        id.dev = st.st_dev;
        id.ino = st.st_ino;
        id.valid = true;
    }
    return id;
}

// Ids of the processes whose network namespace is `ns`.
std::vector<pid_t> processesIn(const NsId &ns)
{
    std::vector<pid_t> pids;
    if (!ns.valid)
        return pids;
    DIR *d = opendir("/proc");
    if (!d)
        return pids;
    while (struct dirent *e = readdir(d)) {
        char *end = nullptr;
        long pid = strtol(e->d_name, &end, 10);
        if (*end != '\0' || pid <= 0 || pid == getpid())
            continue;
        NsId id = nsIdOf(std::string("/proc/") + e->d_name + "/ns/net");
        if (id.valid && id.dev == ns.dev && id.ino == ns.ino)
            pids.push_back(static_cast<pid_t>(pid));
    }
    closedir(d);
    return pids;
}

// The server and client namespaces of one test, joined by eth0 <-> c0.
class Namespaces {
public:
    Namespaces()
    {
        std::string forced = getenv("ORVATH_E2E_NETNS") ? getenv("ORVATH_E2E_NETNS") : "";
        std::string tried;
        if (forced != "userns") {
            if (geteuid() == 0 && haveProgram("ip") && makeNamed(tried))
                return;
            if (forced == "root") {
                reason_ = "ORVATH_E2E_NETNS=root, but: " + tried;
                return;
            }
        }
        if (haveProgram("unshare") && haveProgram("nsenter") && makeUserOwned(tried))
            return;
        reason_ = "needs root with `ip netns`, or unprivileged user namespaces "
                  "(`unshare -rn`): " +
                  tried;
    }

    ~Namespaces() { tearDown(); }
    Namespaces(const Namespaces &) = delete;
    Namespaces &operator=(const Namespaces &) = delete;

    bool ok() const { return ok_; }
    const std::string &reason() const { return reason_; }
    // Command prefixes that run a program inside one of the namespaces.
    const std::vector<std::string> &server() const { return server_; }
    const std::vector<std::string> &client() const { return client_; }

private:
    bool makeNamed(std::string &tried)
    {
        static int counter = 0;
        std::string tag = std::to_string(getpid()) + "-" + std::to_string(++counter);
        serverName_ = "orvath-e2e-s" + tag;
        clientName_ = "orvath-e2e-c" + tag;
        RunResult a = run({"ip", "netns", "add", serverName_});
        if (a.status != 0) {
            tried += "ip netns add: " + a.output;
            serverName_.clear();
            clientName_.clear();
            return false;
        }
        RunResult b = run({"ip", "netns", "add", clientName_});
        if (b.status != 0) {
            tried += "ip netns add: " + b.output;
            clientName_.clear();
            tearDown();
            return false;
        }
        serverNs_ = nsIdOf("/run/netns/" + serverName_);
        clientNs_ = nsIdOf("/run/netns/" + clientName_);
        server_ = {"ip", "netns", "exec", serverName_};
        client_ = {"ip", "netns", "exec", clientName_};
        return link(clientName_, tried);
    }

    bool makeUserOwned(std::string &tried)
    {
        serverHolder_ = spawn({"unshare", "-r", "-n", "sleep", "100000"}, -1);
        if (!waitForNewNs(serverHolder_)) {
            tried += " unshare -rn does not work here";
            tearDown();
            return false;
        }
        std::string s = std::to_string(serverHolder_);
        server_ = {"nsenter", "-t", s, "-U", "-n", "--preserve-credentials"};
        clientHolder_ =
            spawn(server_ + std::vector<std::string>{"unshare", "-n", "sleep", "100000"}, -1);
        if (!waitForNewNs(clientHolder_)) {
            tried += " a second namespace inside the user namespace cannot be made";
            tearDown();
            return false;
        }
        client_ = {"nsenter", "-t", std::to_string(clientHolder_), "-U", "-n",
                   "--preserve-credentials"};
        serverNs_ = nsIdOf("/proc/" + s + "/ns/net");
        clientNs_ = nsIdOf("/proc/" + std::to_string(clientHolder_) + "/ns/net");
        return link(std::to_string(clientHolder_), tried);
    }

    // True once the child runs in a network namespace of its own.
    static bool waitForNewNs(pid_t pid)
    {
        NsId mine = nsIdOf("/proc/self/ns/net");
        for (int i = 0; i < 500 && pid > 0; ++i) {
            if (waitpid(pid, nullptr, WNOHANG) == pid)
                return false;
            std::string comm = readFile("/proc/" + std::to_string(pid) + "/comm");
            NsId id = nsIdOf("/proc/" + std::to_string(pid) + "/ns/net");
            if (comm == "sleep\n" && id.valid && id.ino != mine.ino)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    bool link(const std::string &clientRef, std::string &tried)
    {
        // Before the links exist: no duplicate address detection (it holds
        // every IPv6 address back for seconds), and the server takes in no
        // advertisement, its own looped back included, as a router would.
        const std::vector<std::string> noDad = {"sysctl", "-qw", "net.ipv6.conf.all.accept_dad=0",
                                                "net.ipv6.conf.default.accept_dad=0"};
        const std::vector<std::vector<std::string>> steps = {
            server_ + noDad,
            client_ + noDad,
            server_ + std::vector<std::string>{"sysctl", "-qw", "net.ipv6.conf.all.accept_ra=0",
                                               "net.ipv6.conf.default.accept_ra=0"},
            server_ + std::vector<std::string>{"ip", "link", "set", "lo", "up"},
            server_ + std::vector<std::string>{"ip", "link", "add", "eth0", "type", "veth", "peer",
                                               "name", "c0", "netns", clientRef},
            server_ + std::vector<std::string>{"ip", "addr", "add", "192.168.50.1/24", "dev",
                                               "eth0"},
            server_ + std::vector<std::string>{"ip", "addr", "add", "fd50::1/64", "dev", "eth0",
                                               "nodad"},
            server_ + std::vector<std::string>{"ip", "link", "set", "eth0", "up"},
            client_ + std::vector<std::string>{"ip", "link", "set", "lo", "up"},
            client_ + std::vector<std::string>{"ip", "link", "set", "c0", "up"},
        };
        for (const auto &step : steps) {
            RunResult r = run(step);
            if (r.status != 0) {
                tried += " setting up the link failed: " + r.output;
                tearDown();
                return false;
            }
        }
        ok_ = true;
        return true;
    }

    void tearDown()
    {
        ok_ = false;
        // Everything that runs in the namespaces (dnsmasq, its helper, a
        // client that hangs, the holders) is killed by its id.
        for (int round = 0; round < 200; ++round) {
            std::vector<pid_t> pids = processesIn(serverNs_);
            std::vector<pid_t> more = processesIn(clientNs_);
            pids.insert(pids.end(), more.begin(), more.end());
            if (pids.empty())
                break;
            for (pid_t pid : pids)
                kill(pid, SIGKILL);
            for (pid_t *holder : {&serverHolder_, &clientHolder_}) {
                if (*holder > 0 && waitpid(*holder, nullptr, WNOHANG) == *holder)
                    *holder = -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        for (pid_t *holder : {&serverHolder_, &clientHolder_}) {
            if (*holder > 0) {
                kill(*holder, SIGKILL);
                waitpid(*holder, nullptr, 0);
                *holder = -1;
            }
        }
        for (std::string *name : {&serverName_, &clientName_}) {
            if (!name->empty())
                run({"ip", "netns", "delete", *name});
            name->clear();
        }
        serverNs_ = clientNs_ = NsId();
    }

    bool ok_ = false;
    std::string reason_;
    std::string serverName_, clientName_;
    pid_t serverHolder_ = -1, clientHolder_ = -1;
    NsId serverNs_, clientNs_;
    std::vector<std::string> server_, client_;
};

// True while pid is a dnsmasq that has not exited (one that exited but is not
// reaped yet does not count).
bool isRunningDnsmasq(pid_t pid)
{
    if (pid <= 0)
        return false;
    std::string status = readFile("/proc/" + std::to_string(pid) + "/status");
    return status.compare(0, 14, "Name:\tdnsmasq\n") == 0 &&
           status.find("\nState:\tZ") == std::string::npos &&
           status.find("\nState:\tX") == std::string::npos;
}

// What udhcpc was given: the variables its script sees (ip, router, dns,
// domain, boot_file, lease, ...).
struct Lease {
    bool obtained = false;
    std::map<std::string, std::string> values;
    std::string output;
    std::string get(const std::string &key) const
    {
        auto it = values.find(key);
        return it == values.end() ? "" : it->second;
    }
};

const char kUdhcpcScript[] = R"(#!/bin/sh
# Records what the DHCP server offered; configures nothing.
case "$1" in
    bound|renew)
        out="$(dirname "$0")/udhcpc.result"
        {
            echo "ip=$ip"
            echo "subnet=$subnet"
            echo "router=$router"
            echo "dns=$dns"
            echo "domain=$domain"
            echo "boot_file=$boot_file"
            echo "siaddr=$siaddr"
            echo "lease=$lease"
            echo "serverid=$serverid"
            echo "ntpsrv=$ntpsrv"
            echo "mtu=$mtu"
            echo "staticroutes=$staticroutes"
            echo "opt224=$opt224"
        } > "$out.tmp" && mv "$out.tmp" "$out"
        ;;
esac
exit 0
)";

class E2eDhcp : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (dnsmasqProgram().empty())
            SKIP_FOR_MISSING_TOOL() << "dnsmasq is not installed";
        if (!haveProgram("busybox"))
            SKIP_FOR_MISSING_TOOL() << "busybox (udhcpc) is not installed";
        if (!ns_.ok())
            SKIP_FOR_MISSING_TOOL() << "no network namespaces: " << ns_.reason();
        box_.write("etc/rc.network", readFile(ORVATH_SOURCE_DIR "/scripts/rc.network"), 0755);
        ASSERT_EQ(symlink(ORVATH_LEASE_HOOK_BIN, box_.path("etc/orvath-lease-hook").c_str()), 0);
        // dnsmasq otherwise pings each address before offering it (about 3 s).
        box_.write("etc/dnsmasq.d/e2e.conf", "no-ping\nlog-dhcp\n");
        box_.write("udhcpc.sh", kUdhcpcScript, 0755);
        box_.addInterface("lo", 1, "loopback");
        box_.addInterface("eth0", 2);
    }

    void TearDown() override
    {
        if (HasFailure()) {
            std::cerr << "---- dnsmasq log ----\n"
                      << box_.read(kDnsmasqLog) << "\n---- lease log ----\n"
                      << box_.read(kLeaseLog) << "\n";
        }
    }

    // Runs orvath inside the server namespace, as the web server would.
    CgiResult act(const Params &params, bool expectRejected = false)
    {
        CgiRequest request;
        request.form = params;
        request.wrapper = ns_.server();
        request.expectRejectedConfig = expectRejected;
        return runCgi(box_, request);
    }

    CgiResult applyData(const std::vector<Json::Value> &reservations,
                        const std::string &endIp = "192.168.50.150")
    {
        Json::Value global;
        global["enable_check"] = true;
        global["leasetime"] = "90";
        global["domain"] = "office.lan";
        global["pdns"] = "192.168.50.1";
        global["sdns"] = "192.168.50.2";
        global["iftype"] = "eth0";
        Json::Value row;
        row["activated"] = true;
        row["pxe"] = false;
        row["startip"] = "192.168.50.100";
        row["endip"] = endIp;
        row["netmask"] = "255.255.255.0";
        row["gateway"] = "192.168.50.1";
        Json::Value subnets(Json::arrayValue);
        subnets.append(row);
        Json::Value statics(Json::arrayValue);
        for (const auto &r : reservations)
            statics.append(r);
        return act({{"action", "applydata"},
                    {"dataArray", toJsonText(global)},
                    {"subnetData", toJsonText(subnets)},
                    {"staticData", toJsonText(statics)}});
    }

    static Json::Value reservation(const std::string &mac, const std::string &ip,
                                   const std::string &host)
    {
        Json::Value r;
        r["mac"] = mac;
        r["ip"] = ip;
        r["hostname"] = host;
        return r;
    }

    // The client with this MAC address asks for a lease.
    Lease requestLease(const std::string &mac, const std::vector<std::string> &extra = {},
                       int tries = 5)
    {
        Lease lease;
        RunResult set = run(ns_.client() + std::vector<std::string>{"ip", "link", "set", "c0",
                                                                    "address", mac});
        EXPECT_EQ(set.status, 0) << set.output;
        box_.remove("udhcpc.result");
        RunResult r = run(ns_.client() + std::vector<std::string>{"busybox", "udhcpc", "-i", "c0",
                                                                  "-s", box_.path("udhcpc.sh"),
                                                                  "-f", "-q", "-n", "-t",
                                                                  std::to_string(tries), "-T",
                                                                  "1"} +
                              extra);
        lease.output = r.output;
        std::istringstream in(box_.read("udhcpc.result"));
        std::string line;
        while (std::getline(in, line)) {
            size_t eq = line.find('=');
            if (eq != std::string::npos)
                lease.values[line.substr(0, eq)] = line.substr(eq + 1);
        }
        lease.obtained = r.status == 0 && !lease.get("ip").empty();
        return lease;
    }

    // Waits (bounded) until the lease hook has recorded this MAC address.
    bool waitForRecord(const std::string &mac)
    {
        for (int i = 0; i < 1000; ++i) {
            if (box_.read(kLeaseLog).find(mac) != std::string::npos)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    pid_t servicePid() const
    {
        std::string text = box_.read(kPidFile);
        return text.empty() ? -1 : static_cast<pid_t>(atoi(text.c_str()));
    }

    bool serviceRuns() const { return isRunningDnsmasq(servicePid()); }

    // clientList of "loadClientList" for eth0, by MAC address.
    std::map<std::string, Json::Value> clientList()
    {
        CgiResult r = act({{"action", "loadClientList"}, {"iftype", "eth0"}});
        EXPECT_EQ(r.body["success"], true) << r.out << r.err;
        std::map<std::string, Json::Value> byMac;
        for (const auto &entry : r.body["clientList"])
            byMac[entry["mac"].asString()] = entry;
        EXPECT_EQ(r.body["itemCount"].asUInt(), r.body["clientList"].size());
        return byMac;
    }

    Sandbox box_;
    Namespaces ns_;
};

const char kDynamicMac[] = "02:00:00:00:00:11";
const char kReservedMac[] = "02:00:00:00:00:42";

bool inDynamicRange(const std::string &ip)
{
    const std::string prefix = "192.168.50.";
    if (ip.compare(0, prefix.size(), prefix) != 0)
        return false;
    int last = atoi(ip.c_str() + prefix.size());
    return last >= 100 && last <= 150;
}

} // namespace

TEST_F(E2eDhcp, ServesTheSubnetAndTheReservationAndListsTheClients)
{
    CgiResult r = applyData({reservation(kReservedMac, "192.168.50.20", "printer")});
    ASSERT_EQ(r.body["success"], true) << r.out << r.err;
    EXPECT_EQ(r.body["isSameApSubnet"], false);
    EXPECT_THAT(r.err, ::testing::Not(HasSubstr("Failed to restart DHCP SERVER")));
    ASSERT_TRUE(serviceRuns()) << r.err;
    EXPECT_EQ(box_.read("etc/dhcpd/dhcpd.info"), "enable=\"no\"\n");

    // A client without reservation: an address of the range, with the
    // router, both DNS servers and the domain of the global settings.
    Lease dynamic = requestLease(kDynamicMac, {"-x", "hostname:laptop"});
    ASSERT_TRUE(dynamic.obtained) << dynamic.output;
    EXPECT_TRUE(inDynamicRange(dynamic.get("ip"))) << dynamic.get("ip");
    EXPECT_EQ(dynamic.get("subnet"), "255.255.255.0");
    EXPECT_EQ(dynamic.get("router"), "192.168.50.1");
    EXPECT_EQ(dynamic.get("dns"), "192.168.50.1 192.168.50.2");
    EXPECT_EQ(dynamic.get("domain"), "office.lan");
    EXPECT_EQ(dynamic.get("lease"), "5400");

    // The reserved MAC address gets its address, for good.
    Lease reserved = requestLease(kReservedMac);
    ASSERT_TRUE(reserved.obtained) << reserved.output;
    EXPECT_EQ(reserved.get("ip"), "192.168.50.20");
    EXPECT_EQ(reserved.get("router"), "192.168.50.1");
    EXPECT_EQ(reserved.get("lease"), "4294967295");

    ASSERT_TRUE(waitForRecord(kDynamicMac));
    ASSERT_TRUE(waitForRecord(kReservedMac));
    auto listed = clientList();
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[kDynamicMac]["ip"], dynamic.get("ip"));
    EXPECT_EQ(listed[kDynamicMac]["hostname"], "laptop");
    // 5400 s of lease, a moment ago: one hour and 29 or 30 minutes remain.
    EXPECT_THAT(listed[kDynamicMac]["expire"].asString(),
                ::testing::AnyOf("0,1,29", "0,1,30"));
    EXPECT_EQ(listed[kReservedMac]["ip"], "192.168.50.20");
    EXPECT_EQ(listed[kReservedMac]["hostname"], "printer");
    EXPECT_EQ(listed[kReservedMac]["expire"], "unlimited");

    // Another interface has no clients.
    CgiResult other = act({{"action", "loadClientList"}, {"iftype", "eth1"}});
    EXPECT_EQ(other.body["itemCount"], 0);

    // A restart hands dnsmasq's existing leases to the hook again ("old",
    // without interface); the clients stay listed on eth0.
    // The hook's rewrites of the log run while the listings right after the
    // restart edit it: the log's lock keeps either from losing the other's
    // records.
    pid_t before = servicePid();
    r = applyData({reservation(kReservedMac, "192.168.50.20", "printer")});
    ASSERT_EQ(r.body["success"], true) << r.err;
    ASSERT_TRUE(serviceRuns());
    EXPECT_NE(servicePid(), before);
    for (int i = 0; i < 10; ++i) {
        listed = clientList();
        ASSERT_EQ(listed.size(), 2u) << "listing " << i;
    }
    EXPECT_EQ(listed[kReservedMac]["expire"], "unlimited");
    EXPECT_EQ(listed[kDynamicMac]["ip"], dynamic.get("ip"));

    // The same client asking again keeps its address.
    Lease again = requestLease(kDynamicMac, {"-x", "hostname:laptop"});
    ASSERT_TRUE(again.obtained) << again.output;
    EXPECT_EQ(again.get("ip"), dynamic.get("ip"));
}

TEST_F(E2eDhcp, DisableServerStopsAnswering)
{
    CgiResult r = applyData({reservation(kReservedMac, "192.168.50.20", "printer")});
    ASSERT_EQ(r.body["success"], true) << r.err;
    ASSERT_TRUE(requestLease(kDynamicMac).obtained);

    r = act({{"action", "disableServer"}, {"iftype", "eth0"}});
    EXPECT_EQ(r.body["success"], true) << r.out << r.err;
    EXPECT_THAT(box_.read("etc/dhcpd/dhcpd-eth0-eth00.info"), HasSubstr("enable=\"no\""));

    // Neither a new client nor the reserved one gets an answer on eth0.
    EXPECT_FALSE(requestLease("02:00:00:00:00:12", {}, 2).obtained);
    EXPECT_FALSE(requestLease(kReservedMac, {}, 2).obtained);

    // Switched on again, it answers again.
    r = applyData({reservation(kReservedMac, "192.168.50.20", "printer")});
    ASSERT_EQ(r.body["success"], true) << r.err;
    Lease back = requestLease(kReservedMac);
    ASSERT_TRUE(back.obtained) << back.output;
    EXPECT_EQ(back.get("ip"), "192.168.50.20");
}

TEST_F(E2eDhcp, ReleasedLeaseIsHandedToAnotherClient)
{
    // One address to give: the second client gets it only once the first
    // client's lease is released.
    CgiResult r = applyData({}, "192.168.50.100");
    ASSERT_EQ(r.body["success"], true) << r.err;
    EXPECT_EQ(r.service["serviceRestarted"], true) << r.out << r.err;
    Lease first = requestLease(kDynamicMac);
    ASSERT_TRUE(first.obtained) << first.output;
    ASSERT_EQ(first.get("ip"), "192.168.50.100");
    ASSERT_TRUE(waitForRecord(kDynamicMac));
    const char kOtherMac[] = "02:00:00:00:00:12";
    EXPECT_FALSE(requestLease(kOtherMac, {}, 2).obtained);

    const Params release = {{"action", "releaseLease"},
                            {"iftype", "eth0"},
                            {"mac", kDynamicMac},
                            {"ip", "192.168.50.100"}};
    r = act(release);
    EXPECT_EQ(r.body["success"], true) << r.out << r.err;
    EXPECT_EQ(r.body["released"], true) << r.out << r.err;
    EXPECT_THAT(box_.read(kLeaseLog), ::testing::Not(HasSubstr(kDynamicMac)));
    EXPECT_EQ(clientList().count(kDynamicMac), 0u);

    Lease second = requestLease(kOtherMac);
    ASSERT_TRUE(second.obtained) << second.output;
    EXPECT_EQ(second.get("ip"), "192.168.50.100");

    // A lease dnsmasq does not hold is not released, and the answer says why.
    r = act(release);
    EXPECT_EQ(r.body["success"], false) << r.out;
    EXPECT_EQ(r.body["released"], false) << r.out;
    EXPECT_THAT(r.body["releaseError"].asString(),
                HasSubstr("dnsmasq holds no lease of 02:00:00:00:00:11 at 192.168.50.100"));
}

// Further options reach the interface's clients as dnsmasq encodes them,
// and a reserved client's own gateway reaches that client only.
TEST_F(E2eDhcp, OptionsAndHostOverridesReachTheirClients)
{
    CgiResult r = applyData({reservation(kReservedMac, "192.168.50.20", "printer")});
    ASSERT_EQ(r.body["success"], true) << r.err;
    r = act({{"action", "applyOptions"},
             {"iftype", "eth0"},
             {"options", R"([{"name": "ntp-server", "value": "192.168.50.5, 192.168.50.6"},
                             {"name": "mtu", "value": "1400"},
                             {"name": "classless-static-route",
                              "value": "10.9.0.0/16,192.168.50.254"},
                             {"code": 224, "type": "uint16", "value": "258"}])"},
             {"hostOptions", R"([{"mac": "02-00-00-00-00-42", "gateway": "192.168.50.254",
                                  "dns": ""}])"}});
    ASSERT_EQ(r.body["success"], true) << r.out << r.err;
    ASSERT_EQ(r.service["serviceRestarted"], true) << r.out << r.err;

    const std::vector<std::string> asks = {"-O", "ntpsrv", "-O", "mtu", "-O", "staticroutes",
                                           "-O", "224"};
    const struct {
        const char *mac;
        const char *key;
        const char *value;
    } cases[] = {
        {kDynamicMac, "ntpsrv", "192.168.50.5 192.168.50.6"},
        {kDynamicMac, "mtu", "1400"},
        {kDynamicMac, "staticroutes", "10.9.0.0/16 192.168.50.254"},
        {kDynamicMac, "opt224", "0102"},
        {kDynamicMac, "router", "192.168.50.1"},
        {kReservedMac, "router", "192.168.50.254"},
        {kReservedMac, "dns", "192.168.50.1 192.168.50.2"},
        {kReservedMac, "ntpsrv", "192.168.50.5 192.168.50.6"},
    };
    std::map<std::string, Lease> leases;
    for (const char *mac : {kDynamicMac, kReservedMac}) {
        leases[mac] = requestLease(mac, asks);
        ASSERT_TRUE(leases[mac].obtained) << leases[mac].output;
    }
    for (const auto &c : cases)
        EXPECT_EQ(leases[c.mac].get(c.key), c.value) << c.mac << " " << c.key;
}

TEST_F(E2eDhcp, PxeClientReceivesTheBootFile)
{
    CgiResult r = applyData({});
    ASSERT_EQ(r.body["success"], true) << r.err;
    r = act({{"action", "applypxesubnet"},
             {"pxe_interface", "eth0"},
             {"pxe_enable", "true"},
             {"pxe_start_ip", "192.168.50.30"},
             {"pxe_end_ip", "192.168.50.40"},
             {"pxe_netmask", "255.255.255.0"},
             {"pxe_gateway", "192.168.50.1"},
             {"pxe_dns", "192.168.50.1"},
             {"pxe_bootloader", "pxelinux.0"},
             {"orig_interface", ""}});
    ASSERT_EQ(r.body["success"], true) << r.out << r.err;
    EXPECT_EQ(r.body["isSameApSubnet"], false);
    ASSERT_TRUE(serviceRuns()) << r.err;

    Lease pxe = requestLease("02:00:00:00:00:31", {"-V", "PXEClient:Arch:00000:UNDI:002001"});
    ASSERT_TRUE(pxe.obtained) << pxe.output;
    EXPECT_EQ(pxe.get("boot_file"), "pxelinux.0");
    EXPECT_EQ(pxe.get("router"), "192.168.50.1");

    // PXE switched off: the boot file is no longer offered.
    r = act({{"action", "applypxesubnet"},
             {"pxe_interface", "eth0"},
             {"pxe_enable", "false"},
             {"orig_interface", "eth0"}});
    ASSERT_EQ(r.body["success"], true) << r.out << r.err;
    Lease plain = requestLease("02:00:00:00:00:32", {"-V", "PXEClient:Arch:00000:UNDI:002001"});
    ASSERT_TRUE(plain.obtained) << plain.output;
    EXPECT_EQ(plain.get("boot_file"), "");
    EXPECT_TRUE(inDynamicRange(plain.get("ip"))) << plain.get("ip");
}

static bool inPxeRange(const std::string &ip)
{
    const std::string prefix = "192.168.50.";
    if (ip.compare(0, prefix.size(), prefix) != 0)
        return false;
    int last = atoi(ip.c_str() + prefix.size());
    return last >= 30 && last <= 40;
}

TEST_F(E2eDhcp, EachClientArchitectureReceivesItsOwnBootFile)
{
    CgiResult r = applyData({});
    ASSERT_EQ(r.body["success"], true) << r.err;
    r = act({{"action", "applypxesubnet"},
             {"pxe_interface", "eth0"},
             {"pxe_enable", "true"},
             {"pxe_start_ip", "192.168.50.30"},
             {"pxe_end_ip", "192.168.50.40"},
             {"pxe_netmask", "255.255.255.0"},
             {"pxe_gateway", "192.168.50.1"},
             {"pxe_dns", "192.168.50.1"},
             {"pxe_bootloader", "undionly.kpxe"},
             {"pxe_bootloader_efi64", "ipxe.efi"},
             {"pxe_bootloader_efi32", "ipxe32.efi"},
             {"pxe_bootloader_arm64", "snp-arm64.efi"},
             {"pxe_ipxe", "http://192.168.50.5/boot.ipxe"},
             {"pxe_tftp_server", "192.168.50.5"},
             {"pxe_range_only", "true"},
             {"orig_interface", ""}});
    ASSERT_EQ(r.body["success"], true) << r.out << r.err;
    ASSERT_TRUE(serviceRuns()) << r.err;

    const std::vector<std::string> userClassIpxe = {"-x", "0x4d:69505845"}; // "iPXE"
    const struct {
        const char *client, *mac;
        std::vector<std::string> args;
        const char *bootFile;
    } cases[] = {
        {"BIOS", "02:00:00:00:00:41", {"-V", "PXEClient:Arch:00000:UNDI:002001", "-x", "0x5d:0000"},
         "undionly.kpxe"},
        {"UEFI x86-64 (7)", "02:00:00:00:00:42",
         {"-V", "PXEClient:Arch:00007:UNDI:003016", "-x", "0x5d:0007"}, "ipxe.efi"},
        {"UEFI x86-64 (9)", "02:00:00:00:00:43",
         {"-V", "PXEClient:Arch:00009:UNDI:003016", "-x", "0x5d:0009"}, "ipxe.efi"},
        {"UEFI IA32", "02:00:00:00:00:44",
         {"-V", "PXEClient:Arch:00006:UNDI:003016", "-x", "0x5d:0006"}, "ipxe32.efi"},
        {"ARM64", "02:00:00:00:00:45",
         {"-V", "PXEClient:Arch:00011:UNDI:003016", "-x", "0x5d:000b"}, "snp-arm64.efi"},
        {"no architecture", "02:00:00:00:00:46", {"-V", "PXEClient"}, "undionly.kpxe"},
        {"iPXE", "02:00:00:00:00:47",
         std::vector<std::string>{"-V", "PXEClient:Arch:00007:UNDI:003016", "-x", "0x5d:0007"} +
             userClassIpxe,
         "http://192.168.50.5/boot.ipxe"},
    };
    for (const auto &c : cases) {
        Lease lease = requestLease(c.mac, c.args);
        ASSERT_TRUE(lease.obtained) << c.client << ": " << lease.output;
        EXPECT_EQ(lease.get("boot_file"), c.bootFile) << c.client;
        EXPECT_EQ(lease.get("siaddr"), "192.168.50.5") << c.client;
        EXPECT_TRUE(inPxeRange(lease.get("ip"))) << c.client << ": " << lease.get("ip");
    }
    // The lease hook records PXE clients, and the client list shows them.
    ASSERT_TRUE(waitForRecord(cases[1].mac));
    EXPECT_EQ(clientList().count(cases[1].mac), 1u);

    // The range is kept for PXE clients: an ordinary client that asks for a
    // PXE address is given one of the ordinary range, and no boot file.
    Lease laptop = requestLease("02:00:00:00:00:48", {"-r", "192.168.50.33"});
    ASSERT_TRUE(laptop.obtained) << laptop.output;
    EXPECT_TRUE(inDynamicRange(laptop.get("ip"))) << laptop.get("ip");
    EXPECT_EQ(laptop.get("boot_file"), "");
}

TEST_F(E2eDhcp, RejectedConfigurationLeavesThePreviousServiceRunning)
{
    CgiResult r = applyData({});
    ASSERT_EQ(r.body["success"], true) << r.err;
    ASSERT_TRUE(serviceRuns());
    pid_t running = servicePid();

    // An enabled subnet of eth1 that dnsmasq refuses (its range spans two
    // subnets), as a damaged or hand-edited file would leave it.
    box_.write("etc/dhcpd/dhcpd-eth1-eth10.conf",
               "interface=eth1\n"
               "dhcp-range=set:eth10,192.168.60.100,192.168.61.200,255.255.255.0,86400\n"
               "dhcp-option=tag:eth10,option:router,192.168.60.1\n"
               "dhcp-option=tag:eth10,option:dns-server,192.168.60.1\n");
    box_.write("etc/dhcpd/dhcpd-eth1-eth10.info", "enable=\"yes\"\n");
    DnsmasqCheck check = checkDnsmasqConfig(box_.root());
    ASSERT_TRUE(check.ran);
    EXPECT_FALSE(check.accepted);
    EXPECT_THAT(check.message, HasSubstr("inconsistent DHCP range"));

    r = act({{"action", "disableServer"}, {"iftype", "eth9"}}, true);
    EXPECT_THAT(r.err, HasSubstr("Failed to restart DHCP SERVER"));
    EXPECT_THAT(r.err, HasSubstr("inconsistent DHCP range"));
    EXPECT_EQ(servicePid(), running);
    EXPECT_TRUE(serviceRuns());
    Lease lease = requestLease(kDynamicMac);
    ASSERT_TRUE(lease.obtained) << lease.output;
    EXPECT_TRUE(inDynamicRange(lease.get("ip")));

    // A fragment carrying an option that is not a DHCP setting is refused
    // before dnsmasq ever sees it.
    box_.write("etc/dhcpd/dhcpd-eth1-eth10.conf",
               "interface=eth1\n"
               "dhcp-range=set:eth10,192.168.60.100,192.168.60.200,255.255.255.0,86400\n"
               "dhcp-option=tag:eth10,option:router,192.168.60.1\n"
               "dhcp-option=tag:eth10,option:dns-server,192.168.60.1\n"
               "conf-script=/bin/touch " +
                   box_.path("owned") + "\n");
    r = act({{"action", "disableServer"}, {"iftype", "eth9"}}, true);
    EXPECT_THAT(r.err, HasSubstr("Failed to restart DHCP SERVER"));
    EXPECT_FALSE(box_.exists("owned"));
    EXPECT_EQ(servicePid(), running);
}

TEST_F(E2eDhcp, WithANameServerRunningDhcpServesWithoutDns)
{
    box_.addProcess(4242, "named");
    CgiResult r = applyData({});
    ASSERT_EQ(r.body["success"], true) << r.err;
    ASSERT_TRUE(box_.exists("etc/dhcpd/dhcpd-dns-dns.conf"));
    ASSERT_TRUE(serviceRuns()) << r.err;
    Lease lease = requestLease(kDynamicMac);
    ASSERT_TRUE(lease.obtained) << lease.output;
    EXPECT_TRUE(inDynamicRange(lease.get("ip")));

    // port=0: dnsmasq has no DNS socket (port 53 is 0035) in the server's
    // network.
    RunResult udp = run(ns_.server() + std::vector<std::string>{"cat", "/proc/net/udp",
                                                                "/proc/net/tcp"});
    ASSERT_EQ(udp.status, 0) << udp.output;
    EXPECT_THAT(udp.output, ::testing::Not(HasSubstr(":0035 ")));
}

TEST_F(E2eDhcp, DnsmasqRunsWithExactlyTheEnabledFragments)
{
    CgiResult r = applyData({reservation(kReservedMac, "192.168.50.20", "printer")});
    ASSERT_EQ(r.body["success"], true) << r.err;
    const std::string eth1 = "interface=eth1\n"
                             "dhcp-range=set:eth1T,192.168.60.100,192.168.60.200,255.255.255.0,600\n"
                             "dhcp-option=tag:eth1T,option:router,192.168.60.1\n"
                             "dhcp-option=tag:eth1T,option:dns-server,192.168.60.1\n";
    box_.write("etc/dhcpd/dhcpd-eth1-eth10.conf", eth1);
    box_.write("etc/dhcpd/dhcpd-eth1-eth10.info", "enable=\"no\"\n");
    box_.write("etc/dhcpd/dhcpd-eth1-eth11.conf", eth1);
    box_.write("etc/dhcpd/dhcpd-eth1-eth11.info", "enable=\"Yes\"\n");
    box_.write("etc/dhcpd/dhcpd-eth1-eth12.conf", eth1);
    box_.write("etc/dhcpd/dhcpd-eth1-eth12.info", "enable=\"yes\"\n");
    r = act({{"action", "disableServer"}, {"iftype", "eth9"}});
    ASSERT_TRUE(serviceRuns()) << r.err;

    std::string cmdline = readFile("/proc/" + std::to_string(servicePid()) + "/cmdline");
    std::vector<std::string> args, confs;
    std::istringstream in(cmdline);
    std::string arg;
    while (std::getline(in, arg, '\0')) {
        args.push_back(arg);
        if (arg.compare(0, 12, "--conf-file=") == 0)
            confs.push_back(arg.substr(12));
    }
    std::sort(confs.begin(), confs.end());
    const std::string dir = box_.path("etc/dhcpd/");
    EXPECT_EQ(confs, (std::vector<std::string>{dir + "dhcpd-eth0-eth00.conf",
                                               dir + "dhcpd-eth0-names.conf",
                                               dir + "dhcpd-eth1-eth12.conf",
                                               dir + "dhcpd-static-static.conf"}));
    EXPECT_EQ(confs, enabledFragments(box_.root()));
    EXPECT_THAT(args, ::testing::Not(::testing::Contains("--bind-interfaces")));
    EXPECT_THAT(args, ::testing::Contains("--dhcp-leasefile=" +
                                          box_.path("var/packages/Orvath/target/etc/"
                                                    "dhcpd.conf.leases")));
    EXPECT_THAT(args, ::testing::Contains("--dhcp-script=" + box_.path("etc/orvath-lease-hook")));

    // Nothing enabled that serves an interface (the names alone serve
    // nothing): the service stops.
    for (const char *info : {"dhcpd-eth0-eth00.info", "dhcpd-eth1-eth12.info",
                             "dhcpd-static-static.info"})
        box_.write(std::string("etc/dhcpd/") + info, "enable=\"no\"\n");
    pid_t old = servicePid();
    r = act({{"action", "disableServer"}, {"iftype", "eth9"}});
    EXPECT_THAT(r.err, ::testing::Not(HasSubstr("Failed to restart DHCP SERVER")));
    EXPECT_FALSE(serviceRuns());
    EXPECT_FALSE(isRunningDnsmasq(old));
}

// ---- devices on the LAN ----

namespace {

// This program, started again with ORVATH_E2E_UDP_LISTEN=<port> inside the
// client namespace, is the device that waits for its magic packet: it says
// "listening", prints the first datagram to that port as hex and ends (after
// at most 5 s without one).
int listenIfAsked()
{
    const char *port = getenv("ORVATH_E2E_UDP_LISTEN");
    if (!port)
        return 0;
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    struct sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(atoi(port)));
    struct timeval wait = {5, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0)
        _exit(2);
    printf("listening\n");
    fflush(stdout);
    unsigned char buf[512];
    ssize_t n = recv(fd, buf, sizeof buf, 0);
    for (ssize_t i = 0; i < n; ++i)
        printf("%02x", buf[i]);
    printf("\n");
    fflush(stdout);
    _exit(n > 0 ? 0 : 1);
}
[[maybe_unused]] const int listener = listenIfAsked();

std::string selfPath()
{
    char path[4096];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    return n > 0 ? std::string(path, static_cast<size_t>(n)) : "";
}

std::string accessText(const std::string &unknown, const std::string &blockedMac)
{
    Json::Value access;
    access["unknownClients"] = unknown;
    access["blocked"] = Json::Value(Json::arrayValue);
    if (!blockedMac.empty()) {
        Json::Value b;
        b["mac"] = blockedMac;
        b["note"] = "borrowed, not ours";
        access["blocked"].append(b);
    }
    return toJsonText(access);
}

} // namespace

namespace {

// dhcpcd's script: records what DHCPv6 gave; configures nothing.
const char kDhcpcdScript[] = R"(#!/bin/sh
case "$reason" in
    BOUND6|INFORM6|REBOOT6|RENEW6)
        {
            echo "reason=$reason"
            echo "address=${new_dhcp6_ia_na1_ia_addr1:-}"
            echo "dns=${new_dhcp6_name_servers:-}"
            echo "domain=${new_dhcp6_domain_search:-}"
        } > "$DHCPCD_RESULT"
        ;;
esac
exit 0
)";

// dhcpcd asks DHCPv6 straight away (an address, or with --inform6 the
// other settings only), with a DUID made from the MAC address.
const char kDhcpcdConf[] = "duid ll\nnoipv4\nnoipv6rs\nia_na\n"
                           "option dhcp6_name_servers, dhcp6_domain_search\n";
const char kDhcpcdInformConf[] = "duid ll\nnoipv4\nnoipv6rs\n"
                                 "option dhcp6_name_servers, dhcp6_domain_search\n";

// dhcpcd keeps its state in /var/lib/dhcpcd and /run and its script's
// resolver in /etc/resolv.conf: in a mount namespace of its own, the test's
// directories stand in for them.
const char kPrivateMounts[] = R"(d=$1; shift
mount --bind "$d/lib" /var/lib/dhcpcd && mount --bind "$d/run" /run &&
mount --bind "$d/resolv.conf" /etc/resolv.conf && mkdir -p /run/dhcpcd && exec dhcpcd "$@")";

// What rdisc6 saw of the router advertisement on c0.
struct Advert {
    bool answered = false;
    std::string managed, other, autonomous, prefix; // "Yes"/"No", "fd50::/64"
    std::vector<std::string> dns;
    std::string output;
};

Advert parseAdvert(const RunResult &r)
{
    Advert a;
    a.output = r.output;
    a.answered = r.status == 0;
    std::istringstream in(r.output);
    std::string line;
    while (std::getline(in, line)) {
        size_t colon = line.find(": ");
        if (colon == std::string::npos)
            continue;
        std::string key = line.substr(0, colon), value = line.substr(colon + 2);
        value.erase(0, value.find_first_not_of(' '));
        value = value.substr(0, value.find(' '));
        if (key.find("Stateful address conf.") == 0)
            a.managed = value;
        else if (key.find("Stateful other conf.") == 0)
            a.other = value;
        else if (key.find("  Autonomous address conf.") == 0)
            a.autonomous = value;
        else if (key.find(" Prefix ") == 0)
            a.prefix = value;
        else if (key.find(" Recursive DNS server") == 0)
            a.dns.push_back(value);
    }
    return a;
}

// The IPv6 address as 16 bytes compared: inside [first, last].
bool ipv6Within(const std::string &ip, const char *first, const char *last)
{
    unsigned char a[16], lo[16], hi[16];
    return inet_pton(AF_INET6, ip.c_str(), a) == 1 && inet_pton(AF_INET6, first, lo) == 1 &&
           inet_pton(AF_INET6, last, hi) == 1 && memcmp(a, lo, 16) >= 0 && memcmp(a, hi, 16) <= 0;
}

} // namespace

// Each client shows its maker from the registry (none for an address the
// device chose itself), when it was first seen, and the name the service's
// DNS answers for it, which a real query to the service resolves; so does a
// reservation's name while its client holds no lease.
TEST_F(E2eDhcp, EachClientShowsItsMakerAndWhenItWasFirstSeenAndResolvesByName)
{
    if (access("/usr/share/ieee-data/oui.csv", R_OK) != 0)
        SKIP_FOR_MISSING_TOOL() << "ieee-data is not installed";
    if (!haveProgram("dig"))
        SKIP_FOR_MISSING_TOOL() << "dig (dnsutils) is not installed";
    CgiResult r = applyData({reservation(kReservedMac, "192.168.50.20", "printer")});
    ASSERT_EQ(r.body["success"], true) << r.err;
    const time_t before = time(nullptr);
    const struct {
        const char *mac;
        const char *host;
        const char *vendor;
        bool randomMac;
        const char *dnsName;
    } cases[] = {
        {"3c:2a:f4:00:50:21", "laptop", "Brother Industries, LTD.", false, "laptop.office.lan"},
        {"dc:a6:32:00:50:22", "", "Raspberry Pi Trading Ltd", false, ""},
        {kDynamicMac, "phone", "", true, "phone.office.lan"},
    };
    for (const auto &c : cases) {
        std::vector<std::string> extra;
        if (c.host[0])
            extra = {"-x", std::string("hostname:") + c.host};
        Lease lease = requestLease(c.mac, extra);
        ASSERT_TRUE(lease.obtained) << c.mac << lease.output;
        ASSERT_TRUE(waitForRecord(c.mac)) << c.mac;
    }
    std::map<std::string, Json::Value> clients = clientList();
    for (const auto &c : cases) {
        const Json::Value &entry = clients[c.mac];
        EXPECT_EQ(entry["vendor"], c.vendor) << c.mac;
        EXPECT_EQ(entry["randomMac"], c.randomMac) << c.mac;
        EXPECT_GE(entry["firstSeen"].asInt64(), static_cast<int64_t>(before)) << c.mac;
        EXPECT_LE(entry["firstSeen"].asInt64(), static_cast<int64_t>(time(nullptr))) << c.mac;
        EXPECT_EQ(entry["dnsName"], c.dnsName) << c.mac;
    }

    // The client side needs an address of the subnet to ask from (outside
    // the range).
    RunResult addr = run(ns_.client() + std::vector<std::string>{"ip", "addr", "add", "192.168.50.250/24", "dev", "c0"});
    ASSERT_EQ(addr.status, 0) << addr.output;
    const struct {
        std::string name;
        std::string address;
    } names[] = {
        {"laptop.office.lan", clients["3c:2a:f4:00:50:21"]["ip"].asString()},
        {"laptop", clients["3c:2a:f4:00:50:21"]["ip"].asString()},
        {"phone.office.lan", clients[kDynamicMac]["ip"].asString()},
        {"printer.office.lan", "192.168.50.20"}, // reserved, never leased
        {"printer", "192.168.50.20"},
        {"nothere.office.lan", ""},
    };
    for (const auto &n : names) {
        RunResult dig = run(ns_.client() + std::vector<std::string>{"dig", "@192.168.50.1", n.name, "A", "+short",
                                                                   "+time=1", "+tries=2"});
        EXPECT_EQ(dig.status, 0) << n.name << dig.output;
        EXPECT_EQ(dig.output, n.address.empty() ? "" : n.address + "\n") << n.name;
    }
}

// "ignore" serves the reserved clients only; a blocked client gets nothing
// on the interface, whatever case and separator its address was given in.
TEST_F(E2eDhcp, AccessRulesKeepDevicesOff)
{
    CgiResult r = applyData({reservation(kReservedMac, "192.168.50.20", "printer")});
    ASSERT_EQ(r.body["success"], true) << r.err;
    const struct {
        const char *unknown;
        const char *blocked;
        const char *mac;
        bool served;
    } cases[] = {
        {"ignore", "", kDynamicMac, false},
        {"ignore", "", kReservedMac, true},
        {"serve", "02-00-00-00-00-1A", "02:00:00:00:00:1a", false},
        {"serve", "02-00-00-00-00-1A", "02:00:00:00:00:1b", true},
        {"serve", "02:00:00:00:00:42", kReservedMac, false},
    };
    for (const auto &c : cases) {
        r = act({{"action", "applyAccess"}, {"iftype", "eth0"}, {"access", accessText(c.unknown, c.blocked)}});
        ASSERT_EQ(r.body["success"], true) << r.out << r.err;
        ASSERT_EQ(r.service["serviceRestarted"], true) << r.out << r.err;
        Lease lease = requestLease(c.mac, {}, c.served ? 5 : 2);
        EXPECT_EQ(lease.obtained, c.served) << c.unknown << " " << c.blocked << " " << c.mac;
    }
    // The defaults again: no files at all.
    r = act({{"action", "applyAccess"}, {"iftype", "eth0"}, {"access", accessText("serve", "")}});
    ASSERT_EQ(r.body["success"], true) << r.out << r.err;
    EXPECT_FALSE(box_.exists("etc/dhcpd/dhcpd-eth0-access.conf"));
    EXPECT_FALSE(box_.exists("etc/dhcpd/orvath-eth0.access"));
    EXPECT_TRUE(requestLease(kDynamicMac).obtained);
}

// The magic packet reaches the device on the interface's link.
TEST_F(E2eDhcp, WakeClientDeliversTheMagicPacket)
{
    CgiResult r = applyData({});
    ASSERT_EQ(r.body["success"], true) << r.err;
    char outPath[] = "/tmp/orvath-e2e-wake-XXXXXX";
    int out = mkstemp(outPath);
    ASSERT_GE(out, 0);
    pid_t listenerPid =
        spawn(ns_.client() + std::vector<std::string>{"env", "ORVATH_E2E_UDP_LISTEN=9", selfPath()}, out);
    close(out);
    bool listening = false;
    for (int i = 0; i < 500 && !listening; ++i) {
        listening = readFile(outPath).find("listening\n") != std::string::npos;
        if (!listening)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_TRUE(listening) << readFile(outPath);

    r = act({{"action", "wakeClient"}, {"iftype", "eth0"}, {"mac", "3C-2A-F4-00-50-21"}});
    EXPECT_EQ(r.body["success"], true) << r.out << r.err;
    EXPECT_EQ(r.body["sent"], true) << r.out;
    EXPECT_THAT(r.err, HasSubstr("Wake 3c:2a:f4:00:50:21 on eth0 asked by admin"));
    int status = 0;
    EXPECT_TRUE(waitForExit(listenerPid, 10, &status));
    std::string magic = "ffffffffffff";
    for (int i = 0; i < 16; ++i)
        magic += "3c2af4005021";
    EXPECT_EQ(readFile(outPath), "listening\n" + magic + "\n");
    unlink(outPath);
}

// Each IPv6 mode as clients see it: rdisc6 reads the advertisement's flags,
// prefix and DNS servers; dhcpcd asks DHCPv6 for an address or for the other
// settings. The DNS server is the interface's own address unless given.
TEST_F(E2eDhcp, EachIpv6ModeGivesClientsWhatItSays)
{
    for (const char *tool : {"rdisc6", "dhcpcd", "timeout", "unshare"})
        if (!haveProgram(tool))
            SKIP_FOR_MISSING_TOOL() << tool << " is not installed";
    box_.write("sys/class/net/eth0/orvath_addrs6", "fd50::1/64\n");
    box_.write("dhcpcd.sh", kDhcpcdScript, 0755);
    box_.write("dhcpcd.conf", kDhcpcdConf);
    box_.write("dhcpcd-inform.conf", kDhcpcdInformConf);
    // Both ends need their link-local address before anything is sent.
    for (int i = 0; i < 200; ++i) {
        RunResult c = run(ns_.client() + std::vector<std::string>{"ip", "-6", "addr", "show", "dev", "c0"});
        RunResult s = run(ns_.server() + std::vector<std::string>{"ip", "-6", "addr", "show", "dev", "eth0"});
        if (c.output.find("fe80") != std::string::npos && s.output.find("fe80") != std::string::npos)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_EQ(applyData({}).body["success"], true);

    const struct {
        const char *mode;
        const char *ipv6; // "applyIPv6"'s settings
        const char *managed, *other, *autonomous;
        std::vector<std::string> dns;
        bool informAnswered; // an information request is answered with the DNS servers
        bool leases;         // dhcpcd obtains an address from the range
    } cases[] = {
        {"off", R"({"mode": "off"})", "", "", "", {}, false, false},
        {"ra-only", R"({"mode": "ra-only", "leasetime": "720"})", "No", "No", "Yes", {"fd50::1"},
         false, false},
        {"stateless", R"({"mode": "stateless", "leasetime": "720", "dns": ["fd50::53", "fd50::54"]})",
         "No", "Yes", "Yes", {"fd50::53", "fd50::54"}, true, false},
        {"stateful",
         R"({"mode": "stateful", "start": "::100", "end": "::1ff", "leasetime": "720", "dns": []})",
         "Yes", "Yes", "No", {"fd50::1"}, true, true},
    };
    std::string dynamic6;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.mode);
        CgiResult r = act({{"action", "applyIPv6"}, {"iftype", "eth0"}, {"ipv6", c.ipv6}});
        ASSERT_EQ(r.body["success"], true) << r.out << r.err;
        ASSERT_TRUE(serviceRuns()) << r.err;

        const bool on = strcmp(c.mode, "off") != 0;
        RunResult rd = run(ns_.client() + std::vector<std::string>{"rdisc6", "-1", "-w",
                                                                   on ? "1000" : "500", "-r",
                                                                   on ? "3" : "2", "c0"});
        Advert advert = parseAdvert(rd);
        ASSERT_EQ(advert.answered, on) << advert.output;
        if (on) {
            EXPECT_EQ(advert.prefix, "fd50::/64") << advert.output;
            EXPECT_EQ(advert.managed, c.managed) << advert.output;
            EXPECT_EQ(advert.other, c.other) << advert.output;
            EXPECT_EQ(advert.autonomous, c.autonomous) << advert.output;
            EXPECT_EQ(advert.dns, c.dns) << advert.output;
        }
        if (!on)
            continue;

        // One client state per question, in the test's own directory.
        const std::string state = std::string("dhcpcd-") + c.mode + (c.leases ? "" : "-inform");
        box_.mkdirs(state + "/lib");
        box_.mkdirs(state + "/run");
        box_.write(state + "/resolv.conf", "");
        box_.remove("dhcpcd.result");
        std::vector<std::string> args = {"timeout", c.informAnswered ? "10" : "4"};
        args = args + ns_.client() +
               std::vector<std::string>{"unshare", "-m", "--propagation", "private", "sh", "-c",
                                        kPrivateMounts, "sh", box_.path(state), "-f",
                                        box_.path(c.leases ? "dhcpcd.conf" : "dhcpcd-inform.conf"),
                                        "-c", box_.path("dhcpcd.sh"), "-e",
                                        "DHCPCD_RESULT=" + box_.path("dhcpcd.result"), "-6", "-1",
                                        "-B"};
        if (!c.leases)
            args.push_back("--inform6");
        args.push_back("c0");
        RunResult client = run(args, 20);
        std::map<std::string, std::string> got;
        std::istringstream in(box_.read("dhcpcd.result"));
        std::string line;
        while (std::getline(in, line))
            if (line.find('=') != std::string::npos)
                got[line.substr(0, line.find('='))] = line.substr(line.find('=') + 1);
        if (!c.informAnswered) {
            // Unanswered, dhcpcd asks on until the time limit stops it.
            EXPECT_EQ(client.status, 124) << client.output;
            EXPECT_TRUE(got.empty()) << box_.read("dhcpcd.result");
            continue;
        }
        ASSERT_EQ(client.status, 0) << client.output;
        std::string dns;
        for (const std::string &d : c.dns)
            dns += (dns.empty() ? "" : " ") + d;
        EXPECT_EQ(got["dns"], dns) << client.output;
        EXPECT_EQ(got["domain"], "office.lan") << client.output;
        if (c.leases) {
            EXPECT_TRUE(ipv6Within(got["address"], "fd50::100", "fd50::1ff")) << got["address"];
        }
        run(ns_.client() + std::vector<std::string>{"ip", "-6", "addr", "flush", "dev", "c0",
                                                    "scope", "global"});
        if (c.leases)
            dynamic6 = got["address"];
    }

    // Still stateful: a reservation's host part reaches the client with its
    // MAC address under the link's prefix, and the client list shows both
    // leases, the reserved one for good.
    Json::Value reserved = reservation(kReservedMac, "192.168.50.20", "printer");
    reserved["ipv6"] = "::10";
    ASSERT_EQ(applyData({reserved}).body["success"], true);
    // Down and up again: the link-local address, from which dnsmasq learns
    // the MAC address too, is made anew from the reserved one.
    for (const std::vector<std::string> &step :
         {std::vector<std::string>{"ip", "link", "set", "c0", "down"},
          std::vector<std::string>{"ip", "link", "set", "c0", "address", kReservedMac},
          std::vector<std::string>{"ip", "link", "set", "c0", "up"}})
        ASSERT_EQ(run(ns_.client() + step).status, 0);
    for (int i = 0; i < 200; ++i) {
        RunResult c = run(ns_.client() + std::vector<std::string>{"ip", "-6", "addr", "show", "dev", "c0"});
        if (c.output.find("fe80::ff:fe00:42") != std::string::npos)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    box_.mkdirs("dhcpcd-reserved/lib");
    box_.mkdirs("dhcpcd-reserved/run");
    box_.write("dhcpcd-reserved/resolv.conf", "");
    box_.remove("dhcpcd.result");
    RunResult client = run(std::vector<std::string>{"timeout", "10"} + ns_.client() +
                               std::vector<std::string>{
                                   "unshare", "-m", "--propagation", "private", "sh", "-c",
                                   kPrivateMounts, "sh", box_.path("dhcpcd-reserved"), "-f",
                                   box_.path("dhcpcd.conf"), "-c", box_.path("dhcpcd.sh"), "-e",
                                   "DHCPCD_RESULT=" + box_.path("dhcpcd.result"), "-6", "-1", "-B",
                                   "c0"},
                           20);
    ASSERT_EQ(client.status, 0) << client.output;
    EXPECT_THAT(box_.read("dhcpcd.result"), HasSubstr("address=fd50::10\n")) << client.output;

    // Its IPv4 lease as well: one reservation for both families.
    Lease lease4 = requestLease(kReservedMac);
    ASSERT_TRUE(lease4.obtained) << lease4.output;
    EXPECT_EQ(lease4.get("ip"), "192.168.50.20");
    ASSERT_TRUE(waitForRecord(kReservedMac));

    CgiResult list = act({{"action", "loadClientList"}, {"iftype", "eth0"}});
    EXPECT_EQ(list.body["clientList"].size(), 1u) << list.out;
    std::map<std::string, Json::Value> byIp;
    for (const Json::Value &lease : list.body["clientList6"])
        byIp[lease["ip"].asString()] = lease;
    ASSERT_EQ(byIp.size(), 2u) << list.out;
    EXPECT_EQ(byIp["fd50::10"]["mac"], kReservedMac) << list.out;
    EXPECT_EQ(byIp["fd50::10"]["hostname"], "printer") << list.out;
    EXPECT_EQ(byIp["fd50::10"]["expire"], "unlimited") << list.out;
    EXPECT_EQ(byIp["fd50::10"]["duid"], std::string("00:03:00:01:") + kReservedMac) << list.out;
    ASSERT_EQ(byIp.count(dynamic6), 1u) << list.out;
    EXPECT_THAT(byIp[dynamic6]["expire"].asString(), ::testing::AnyOf("0,11,59", "0,12,0"));

    // The DNS-only mode: with a name server running dnsmasq serves no DNS
    // and would announce none; the advertisement still names the
    // interface's address.
    box_.addProcess(4242, "named");
    ASSERT_EQ(applyData({reserved}).body["success"], true);
    ASSERT_TRUE(box_.exists("etc/dhcpd/dhcpd-dns-dns.conf"));
    CgiResult r = act({{"action", "applyIPv6"}, {"iftype", "eth0"},
                       {"ipv6", R"({"mode": "ra-only", "leasetime": "720"})"}});
    ASSERT_EQ(r.body["success"], true) << r.out << r.err;
    ASSERT_TRUE(serviceRuns()) << r.err;
    Advert advert = parseAdvert(run(ns_.client() + std::vector<std::string>{"rdisc6", "-1", "-w", "1000",
                                                                            "-r", "3", "c0"}));
    ASSERT_TRUE(advert.answered) << advert.output;
    EXPECT_EQ(advert.dns, std::vector<std::string>{"fd50::1"}) << advert.output;
}
