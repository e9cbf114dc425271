// The lease hook as dnsmasq runs it: the built program with an event, the
// client's MAC, IP and host name as arguments and DNSMASQ_* variables; and
// the hook and the library writing the lease log at the same time.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <dirent.h>

#include <algorithm>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "quomodhcp.h"
#include "sandbox.h"

namespace {

const char kLog[] = "var/packages/Orvath/target/etc/dhcpd-leases.log";

using Env = std::map<std::string, std::string>;

// Runs the hook with exactly these arguments and variables (plus the root);
// returns its exit status.
int runHook(const Sandbox &box, const std::vector<std::string> &args, const Env &env = {})
{
    std::vector<std::string> argvText = {ORVATH_LEASE_HOOK_BIN};
    argvText.insert(argvText.end(), args.begin(), args.end());
    std::vector<std::string> envText = {"ORVATH_ROOT=" + box.root()};
    for (const auto &e : env)
        envText.push_back(e.first + "=" + e.second);
    if (const char *asan = getenv("ASAN_OPTIONS"))
        envText.push_back(std::string("ASAN_OPTIONS=") + asan);
    std::vector<char *> argv, envp;
    for (auto &a : argvText)
        argv.push_back(&a[0]);
    argv.push_back(nullptr);
    for (auto &e : envText)
        envp.push_back(&e[0]);
    envp.push_back(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        execve(ORVATH_LEASE_HOOK_BIN, argv.data(), envp.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

Env lease(const std::string &expires, const std::string &ifName = "eth0")
{
    Env env = {{"DNSMASQ_LEASE_EXPIRES", expires}, {"DNSMASQ_TIME_REMAINING", "3600"}};
    if (!ifName.empty())
        env["DNSMASQ_INTERFACE"] = ifName;
    return env;
}

std::vector<std::string> filesIn(const std::string &dir)
{
    std::vector<std::string> names;
    if (DIR *d = opendir(dir.c_str())) {
        while (struct dirent *e = readdir(d)) {
            std::string name = e->d_name;
            if (name != "." && name != "..")
                names.push_back(name);
        }
        closedir(d);
    }
    return names;
}

} // namespace

TEST(LeaseHook, AddWritesOneRecordAndCreatesTheLog)
{
    Sandbox box;
    EXPECT_EQ(runHook(box, {"add", "02:00:00:aa:bb:cc", "192.168.1.100", "laptop"},
                      lease("1700000000")),
              0);
    EXPECT_EQ(box.read(kLog), "1700000000 02:00:00:aa:bb:cc 192.168.1.100 laptop eth0\n");

    // Without a host name the field stays empty: two blanks in a row.
    EXPECT_EQ(runHook(box, {"add", "02:00:00:aa:bb:dd", "192.168.1.101"}, lease("1700000100")),
              0);
    EXPECT_EQ(box.read(kLog), "1700000000 02:00:00:aa:bb:cc 192.168.1.100 laptop eth0\n"
                              "1700000100 02:00:00:aa:bb:dd 192.168.1.101  eth0\n");

    // Only the log and the first sightings remain in the directory (its
    // lock lies in the private one): no temporary file is left.
    std::vector<std::string> files = filesIn(box.path("var/packages/Orvath/target/etc"));
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{"dhcpd-leases.log", "first-seen"}));
}

TEST(LeaseHook, RepeatedEventsKeepOneRecordPerClient)
{
    Sandbox box;
    box.write(kLog, "1600000000 02:00:00:00:00:01 192.168.1.10 one eth0\n"
                    "1600000000 02:00:00:00:00:02 192.168.1.11 two eth1\n"
                    "1600000000 02:00:00:00:00:03 192.168.1.12 eth0\n");
    // A renewal ("old") of client 2 replaces its record, which moves to the end.
    ASSERT_EQ(runHook(box, {"old", "02:00:00:00:00:02", "192.168.1.11", "two"},
                      lease("1700000000", "eth1")),
              0);
    ASSERT_EQ(runHook(box, {"old", "02:00:00:00:00:02", "192.168.1.11", "two"},
                      lease("1700000000", "eth1")),
              0);
    // The MAC address is compared without regard to case; a four-field record
    // (without host name) is replaced like any other.
    ASSERT_EQ(runHook(box, {"add", "02:00:00:00:00:03", "192.168.1.12"}, lease("1700000300")), 0);
    EXPECT_EQ(box.read(kLog), "1600000000 02:00:00:00:00:01 192.168.1.10 one eth0\n"
                              "1700000000 02:00:00:00:00:02 192.168.1.11 two eth1\n"
                              "1700000300 02:00:00:00:00:03 192.168.1.12  eth0\n");
    ASSERT_EQ(runHook(box, {"add", "02:00:00:00:00:01", "192.168.1.10", "one"},
                      lease("1700000400")),
              0);
    ASSERT_EQ(runHook(box, {"add", "02:00:00:00:00:01", "192.168.1.10", "one"},
                      lease("1700000400")),
              0);
    EXPECT_EQ(box.read(kLog), "1700000000 02:00:00:00:00:02 192.168.1.11 two eth1\n"
                              "1700000300 02:00:00:00:00:03 192.168.1.12  eth0\n"
                              "1700000400 02:00:00:00:00:01 192.168.1.10 one eth0\n");
}

TEST(LeaseHook, UppercaseMacReplacesLowercaseRecord)
{
    Sandbox box;
    box.write(kLog, "1600000000 02:00:00:0a:0b:0c 192.168.1.10 one eth0\n");
    ASSERT_EQ(runHook(box, {"add", "02:00:00:0A:0B:0C", "192.168.1.10", "one"},
                      lease("1700000000")),
              0);
    EXPECT_EQ(box.read(kLog), "1700000000 02:00:00:0A:0B:0C 192.168.1.10 one eth0\n");
}

// The record as it would be written, beside another line of the same client
// in other letters: the log is rewritten to the one record.
TEST(LeaseHook, UnchangedRecordWithADuplicateStillLeavesOneRecord)
{
    Sandbox box;
    const std::string record = "1700000000 02:00:00:0a:0b:0c 192.168.1.10 one eth0\n";
    const std::string other = "1600000000 02:00:00:00:00:01 192.168.1.11 two eth0\n";
    box.write(kLog, record + other + "1600000000 02:00:00:0A:0B:0C 192.168.1.99 old eth1\n");
    ASSERT_EQ(runHook(box, {"old", "02:00:00:0a:0b:0c", "192.168.1.10", "one"},
                      lease("1700000000")),
              0);
    EXPECT_EQ(box.read(kLog), other + record);
}

// A link, a FIFO or a directory planted where the log lies is neither
// followed nor waited on: the event fails and whatever was planted stays.
TEST(LeaseHook, PlantedFilesAtTheLogAreRefused)
{
    for (const char *kind : {"link", "fifo", "dir"}) {
        Sandbox box;
        box.write("secret", "1700000000 02:00:00:aa:aa:aa 10.0.0.1 secret eth0\n", 0600);
        std::string log = box.path(kLog);
        if (std::string(kind) == "link")
            ASSERT_EQ(0, symlink(box.path("secret").c_str(), log.c_str()));
        else if (std::string(kind) == "fifo")
            ASSERT_EQ(0, mkfifo(log.c_str(), 0644));
        else
            box.mkdirs(kLog);
        EXPECT_EQ(runHook(box, {"add", "02:00:00:aa:bb:cc", "192.168.1.100", "laptop"},
                          lease("1700000000")),
                  1)
            << kind;
        struct stat st;
        ASSERT_EQ(0, lstat(log.c_str(), &st)) << kind;
        EXPECT_FALSE(S_ISREG(st.st_mode)) << kind;
        EXPECT_EQ(box.read("secret"), "1700000000 02:00:00:aa:aa:aa 10.0.0.1 secret eth0\n");
    }
}

TEST(LeaseHook, OldEventAfterRestartKeepsTheKnownInterface)
{
    // dnsmasq reports its existing leases as "old" when it starts, without
    // DNSMASQ_INTERFACE: the record keeps the interface it had.
    Sandbox box;
    box.write(kLog, "1600000000 02:00:00:00:00:01 192.168.1.10 one eth1\n"
                    "1600000000 02:00:00:00:00:02 192.168.1.11 eth2\n");
    ASSERT_EQ(runHook(box, {"old", "02:00:00:00:00:01", "192.168.1.10", "one"},
                      lease("1700000000", "")),
              0);
    ASSERT_EQ(runHook(box, {"old", "02:00:00:00:00:02", "192.168.1.11"}, lease("1700000000", "")),
              0);
    // A client the log does not know gets an empty interface.
    ASSERT_EQ(runHook(box, {"old", "02:00:00:00:00:03", "192.168.1.12"}, lease("1700000000", "")),
              0);
    EXPECT_EQ(box.read(kLog), "1700000000 02:00:00:00:00:01 192.168.1.10 one eth1\n"
                              "1700000000 02:00:00:00:00:02 192.168.1.11  eth2\n"
                              "1700000000 02:00:00:00:00:03 192.168.1.12  \n");
}

TEST(LeaseHook, DelRemovesTheRecordAndToleratesRepeats)
{
    Sandbox box;
    box.write(kLog, "1600000000 02:00:00:00:00:01 192.168.1.10 one eth0\n"
                    "1600000000 02:00:00:00:00:02 192.168.1.11 two eth0\n"
                    "1600000000 02:00:00:00:00:01 192.168.1.10 one eth0\n");
    EXPECT_EQ(runHook(box, {"del", "02:00:00:00:00:01", "192.168.1.10", "one"}), 0);
    EXPECT_EQ(box.read(kLog), "1600000000 02:00:00:00:00:02 192.168.1.11 two eth0\n");
    EXPECT_EQ(runHook(box, {"del", "02:00:00:00:00:01", "192.168.1.10"}), 0);
    EXPECT_EQ(box.read(kLog), "1600000000 02:00:00:00:00:02 192.168.1.11 two eth0\n");

    // "del" without a log creates none.
    Sandbox empty;
    EXPECT_EQ(runHook(empty, {"del", "02:00:00:00:00:01", "192.168.1.10"}), 0);
    EXPECT_FALSE(empty.exists(kLog));
}

TEST(LeaseHook, OtherEventsChangeNothing)
{
    Sandbox box;
    const std::string before = "1600000000 02:00:00:00:00:01 192.168.1.10 one eth0\n";
    box.write(kLog, before);
    EXPECT_EQ(runHook(box, {"init"}), 0);
    EXPECT_EQ(runHook(box, {"tftp", "1024", "192.168.1.10", "/srv/tftp/pxelinux.0"}), 0);
    EXPECT_EQ(runHook(box, {"arp-add", "02:00:00:00:00:09", "192.168.1.19"}), 0);
    EXPECT_EQ(runHook(box, {"relay-snoop", "eth0", "fe80::1", "2001:db8::/64"}), 0);
    EXPECT_EQ(runHook(box, {}), 0);
    // DHCPv6 leases: a DUID where the MAC stands, an IPv6 address.
    Env v6 = lease("1796791997");
    v6["DNSMASQ_IAID"] = "20496";
    for (const char *event : {"add", "old", "del"}) {
        EXPECT_EQ(runHook(box, {event, "00:03:00:01:02:00:00:00:50:10", "fd50::10", "printer"}, v6), 0)
            << event;
        EXPECT_EQ(runHook(box, {event, "00:01:00:01:32:aa:f2:7c:02:00:00:00:50:10", "fd50::11"},
                          lease("1796791997")),
                  0)
            << event;
    }
    EXPECT_EQ(box.read(kLog), before);
}

TEST(LeaseHook, ExpiryIsZeroForInfiniteOrUnreadableTimes)
{
    Sandbox box;
    ASSERT_EQ(runHook(box, {"add", "02:00:00:00:00:01", "192.168.1.20", "printer"}, lease("0")), 0);
    ASSERT_EQ(runHook(box, {"add", "02:00:00:00:00:02", "192.168.1.21"}, {}), 0);
    ASSERT_EQ(runHook(box, {"add", "02:00:00:00:00:03", "192.168.1.22"}, lease("17x")), 0);
    ASSERT_EQ(runHook(box, {"add", "02:00:00:00:00:04", "192.168.1.23"}, lease("-5")), 0);
    ASSERT_EQ(runHook(box, {"add", "02:00:00:00:00:05", "192.168.1.24"},
                      lease("99999999999999999999999")),
              0);
    EXPECT_EQ(box.read(kLog), "0 02:00:00:00:00:01 192.168.1.20 printer eth0\n"
                              "0 02:00:00:00:00:02 192.168.1.21  \n"
                              "0 02:00:00:00:00:03 192.168.1.22  eth0\n"
                              "0 02:00:00:00:00:04 192.168.1.23  eth0\n"
                              "0 02:00:00:00:00:05 192.168.1.24  eth0\n");
}

TEST(LeaseHook, ClientChosenTextNeverSplitsOrForgesRecords)
{
    Sandbox box;
    // A host name with a line break would otherwise add a second, forged record.
    ASSERT_EQ(runHook(box, {"add", "02:00:00:00:00:01", "192.168.1.30",
                            "evil\n0 02:00:00:00:00:99 192.168.1.1 forged eth0"},
                      lease("1700000000")),
              0);
    ASSERT_EQ(runHook(box, {"add", "02:00:00:00:00:02", "192.168.1.31", "two words"},
                      lease("1700000000")),
              0);
    ASSERT_EQ(runHook(box, {"add", "02:00:00:00:00:03", "192.168.1.32", "semi;colon"},
                      lease("1700000000")),
              0);
    ASSERT_EQ(runHook(box, {"add", "02:00:00:00:00:04", "192.168.1.33", std::string(256, 'a')},
                      lease("1700000000")),
              0);
    ASSERT_EQ(runHook(box, {"add", "02:00:00:00:00:05", "192.168.1.34", "host-1_a.lan"},
                      lease("1700000000", "eth0 x")),
              0);
    ASSERT_EQ(runHook(box, {"add", "02:00:00:00:00:06", "192.168.1.35", std::string(255, 'b')},
                      lease("1700000000", "eth0\n")),
              0);
    EXPECT_EQ(box.read(kLog), "1700000000 02:00:00:00:00:01 192.168.1.30  eth0\n"
                              "1700000000 02:00:00:00:00:02 192.168.1.31  eth0\n"
                              "1700000000 02:00:00:00:00:03 192.168.1.32  eth0\n"
                              "1700000000 02:00:00:00:00:04 192.168.1.33  eth0\n"
                              "1700000000 02:00:00:00:00:05 192.168.1.34 host-1_a.lan \n"
                              "1700000000 02:00:00:00:00:06 192.168.1.35 " +
                                  std::string(255, 'b') + " \n");

    // A malformed MAC or IP address is refused; the log stays as it was.
    const std::string before = box.read(kLog);
    EXPECT_NE(runHook(box, {"add", "02:00:00:00:00:07\n1 x", "192.168.1.36"}, lease("1")), 0);
    EXPECT_NE(runHook(box, {"add", "02 00", "192.168.1.36"}, lease("1")), 0);
    EXPECT_NE(runHook(box, {"add", "", "192.168.1.36"}, lease("1")), 0);
    EXPECT_NE(runHook(box, {"add", "02:00:00:00:00:07", "192.168.1.36 x"}, lease("1")), 0);
    EXPECT_NE(runHook(box, {"add", "02:00:00:00:00:07", "192.168.1.300"}, lease("1")), 0);
    EXPECT_NE(runHook(box, {"del", "02:00:00:00:00:01 ", "192.168.1.30"}), 0);
    EXPECT_NE(runHook(box, {"add", "02:00:00:00:00:07"}, lease("1")), 0);
    EXPECT_EQ(box.read(kLog), before);
}

TEST(LeaseHook, RewriteKeepsModeAndDropsBlankLines)
{
    Sandbox box;
    box.write(kLog, "1600000000 02:00:00:00:00:01 192.168.1.10 one eth0\n\n"
                    "1600000000 02:00:00:00:00:02 192.168.1.11 two eth0",
              0600);
    ASSERT_EQ(runHook(box, {"add", "02:00:00:00:00:03", "192.168.1.12", "three"},
                      lease("1700000000")),
              0);
    EXPECT_EQ(box.read(kLog), "1600000000 02:00:00:00:00:01 192.168.1.10 one eth0\n"
                              "1600000000 02:00:00:00:00:02 192.168.1.11 two eth0\n"
                              "1700000000 02:00:00:00:00:03 192.168.1.12 three eth0\n");
    struct stat st;
    ASSERT_EQ(stat(box.path(kLog).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

namespace {

std::string macOf(int group, int n)
{
    char mac[18];
    snprintf(mac, sizeof mac, "02:00:00:%02x:%02x:%02x", group, n / 256, n % 256);
    return mac;
}

// The log's records by MAC address (a MAC recorded twice appears twice).
std::multimap<std::string, std::string> recordsByMac(const std::string &log)
{
    std::multimap<std::string, std::string> byMac;
    std::istringstream in(log);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string expiry, mac;
        fields >> expiry >> mac;
        byMac.emplace(mac, line);
    }
    return byMac;
}

} // namespace

TEST(LeaseHook, HookAndLibraryRewritingTheLogTogetherLoseNoRecord)
{
    // The hook and the library's update and clean-up each read the log and
    // replace it by rename; whichever runs in between the other's read and
    // rename would lose the other's record, were they not serialised by the
    // lock beside the log. A child process feeds the hook lease events for
    // new clients while this process updates the other clients' records and
    // drops expired ones over and over.
    Sandbox box;
    box.mkdirs("etc/dhcpd"); // for the reservations the clean-up looks at
    const char kLeases[] = "var/packages/Orvath/target/etc/dhcpd.conf.leases";
    const int kLibraryClients = 16;
    const int kHookEvents = 120;
    const long base = static_cast<long>(time(nullptr)) + 86400;

    auto libraryRecord = [&](int n, long expiry) {
        return std::to_string(expiry) + " " + macOf(0, n) + " 192.168.1." +
               std::to_string(10 + n) + " lib" + std::to_string(n) + " eth0";
    };
    std::string log;
    for (int n = 0; n < kLibraryClients; ++n)
        log += libraryRecord(n, base) + "\n";
    box.write(kLog, log);

    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Every second client's lease ended long ago: a record for the
        // clean-up to remove, so that it rewrites the log too.
        int failed = 0;
        for (int i = 0; i < kHookEvents; ++i) {
            bool stale = i % 2 == 1;
            std::string ip = "10.0." + std::to_string(i / 250) + "." + std::to_string(i % 250 + 1);
            failed += runHook(box, {"add", macOf(stale ? 2 : 1, i), ip, "hook"},
                              lease(stale ? "1000" : std::to_string(base))) != 0;
        }
        _exit(failed == 0 ? 0 : 1);
    }

    // The library runs as long as the hook does (bounded all the same).
    long lastExpiry = base;
    int updateFailures = 0, removeFailures = 0;
    int status = 0;
    for (int round = 1; round <= 100000; ++round) {
        if (waitpid(child, &status, WNOHANG) == child) {
            child = -1;
            break;
        }
        std::string leases;
        for (int n = 0; n < kLibraryClients; ++n)
            leases += std::to_string(base + round) + " " + macOf(0, n) + " 192.168.1." +
                      std::to_string(10 + n) + " lib" + std::to_string(n) + " *\n";
        box.write(kLeases, leases);
        updateFailures += QUOMODHCPUpdateLease() != 0;
        lastExpiry = base + round;
        removeFailures += QUOMODHCPRemoveExpiredLease() != 0;
    }
    if (child > 0)
        waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a hook run failed";
    EXPECT_EQ(updateFailures, 0);
    EXPECT_EQ(removeFailures, 0);

    // Every client the hook added with a running lease is there, once; every
    // record the library rewrote is there once, as its last update left it.
    auto records = recordsByMac(box.read(kLog));
    int lostByHook = 0, lostByLibrary = 0, doubled = 0;
    for (int i = 0; i < kHookEvents; i += 2) {
        size_t count = records.count(macOf(1, i));
        lostByHook += count == 0;
        doubled += count > 1;
    }
    for (int n = 0; n < kLibraryClients; ++n) {
        auto found = records.equal_range(macOf(0, n));
        size_t count = static_cast<size_t>(std::distance(found.first, found.second));
        lostByLibrary += count != 1 || found.first->second != libraryRecord(n, lastExpiry);
        doubled += count > 1;
    }
    EXPECT_EQ(lostByHook, 0);
    EXPECT_EQ(lostByLibrary, 0);
    EXPECT_EQ(doubled, 0);
}

TEST(LeaseHook, WritersGiveUpWhenTheLockIsUnsafe)
{
    // A directory where the lock file belongs cannot be locked: the hook and
    // the library say so and leave the log as it is, rather than write it
    // beside another writer.
    Sandbox box;
    box.mkdirs("etc/dhcpd");
    const long future = static_cast<long>(time(nullptr)) + 86400;
    box.mkdirs("var/packages/Orvath/target/var/lock/dhcpd-leases.log.lock");
    box.write(kLog, "1000 02:00:00:00:00:01 192.168.1.10 gone eth0\n"
                    "1700000000 02:00:00:00:00:02 192.168.1.11 two eth0\n");
    box.write("var/packages/Orvath/target/etc/dhcpd.conf.leases",
              std::to_string(future) + " 02:00:00:00:00:02 192.168.1.11 two *\n");

    const std::string before = box.read(kLog);
    EXPECT_EQ(runHook(box, {"add", "02:00:00:00:00:03", "192.168.1.12", "three"},
                      lease(std::to_string(future))),
              1);
    EXPECT_EQ(QUOMODHCPUpdateLease(), -1);
    EXPECT_EQ(QUOMODHCPRemoveExpiredLease(), -1);
    EXPECT_EQ(box.read(kLog), before);
}

// A device's first lease is noted once, with one log line naming it; the
// file keeps the newest sightings only.
TEST(LeaseHook, FirstSightingIsNotedOnceAndLogged)
{
    Sandbox box;
    box.write("ieee/oui.csv", "Registry,Assignment,Organization Name,Organization Address\r\n"
                              "MA-L,3C2AF4,\"Brother Industries, LTD.\",JP\r\n");
    const char kSeen[] = "var/packages/Orvath/target/etc/first-seen";
    std::string full;
    for (int i = 0; i < 4096; ++i)
        full += "02:00:00:01:" + std::string(1, "0123456789abcdef"[i / 256 % 16]) +
                "0123456789abcdef"[i / 16 % 16] + ":0" + "0123456789abcdef"[i % 16] + " 1600000000\n";
    box.write(kSeen, full);
    const struct {
        std::vector<std::string> args;
        const char *logged; // "" when no line
    } cases[] = {
        {{"add", "3c:2a:f4:00:50:21", "192.168.1.100", "laptop"},
         "New device 3c:2a:f4:00:50:21 (Brother Industries, LTD.) \"laptop\" on eth0"},
        {{"old", "3c:2a:f4:00:50:21", "192.168.1.100", "laptop"}, ""},
        {{"add", "02:00:00:00:00:11", "192.168.1.101"}, "New device 02:00:00:00:00:11 () \"\" on eth0"},
        {{"del", "02:00:00:00:00:11", "192.168.1.101"}, ""},
        {{"add", "02:00:00:00:00:11", "192.168.1.101"}, ""},
    };
    Env env = lease("1700000000");
    env["ORVATH_LOG_STDERR"] = "1";
    env["ORVATH_IEEE_DATA_DIR"] = box.path("ieee");
    for (const auto &c : cases) {
        testing::internal::CaptureStderr();
        EXPECT_EQ(runHook(box, c.args, env), 0);
        std::string log = testing::internal::GetCapturedStderr();
        EXPECT_EQ(log.find("New device") != std::string::npos, c.logged[0] != '\0') << log;
        EXPECT_THAT(log, ::testing::HasSubstr(c.logged));
    }
    std::string seen = box.read(kSeen);
    EXPECT_EQ(std::count(seen.begin(), seen.end(), '\n'), 4096);
    EXPECT_EQ(seen.compare(0, 30, full, 2 * 29, 30), 0) << seen.substr(0, 60);
    EXPECT_THAT(seen, ::testing::ContainsRegex("\n3c:2a:f4:00:50:21 [0-9]+\n02:00:00:00:00:11 [0-9]+\n$"));
}
