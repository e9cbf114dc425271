// What a save guarantees under accidents: two saves at once, a save killed
// midway, a disk that refuses the write, links planted at the files, and the
// umask the program was started with.
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <random>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "cgi_files.h"
#include "dnsmasq_check.h"

using ::testing::HasSubstr;
using ::testing::MatchesRegex;

namespace {

using Files = std::map<std::string, std::string>;

// `rows` ordinary subnets of one interface, 10.<net>.<i>.0/24 each.
Json::Value subnetTable(int rows, int net)
{
    Json::Value t(Json::arrayValue);
    for (int i = 0; i < rows; ++i) {
        std::string prefix = "10." + std::to_string(net) + "." + std::to_string(i) + ".";
        t.append(row(prefix + "100", prefix + "200", prefix + "1", i % 3 != 2));
    }
    return t;
}

// `count` reservations; `variant` changes every host name and address.
Json::Value reservationSet(int count, int variant)
{
    Json::Value set(Json::arrayValue);
    for (int i = 0; i < count; ++i) {
        char mac[32];
        snprintf(mac, sizeof mac, "02:00:00:%02x:%02x:%02x", variant & 0xff, (i >> 8) & 0xff,
                 i & 0xff);
        std::string ip = "172.16." + std::to_string(variant * 10 + i / 250) + "." +
                         std::to_string(i % 250 + 1);
        set.append(reservation(mac, ip, "host" + std::to_string(variant) + "-" + std::to_string(i)));
    }
    return set;
}

CgiRequest saveRequest(const std::string &ifName, int rows, int net, int hosts, int variant)
{
    CgiRequest request;
    request.form = {{"action", "applydata"},
                    {"dataArray", toJsonText(globals(ifName, true, "1440", "10.0.0.1"))},
                    {"subnetData", toJsonText(subnetTable(rows, net))},
                    {"staticData", toJsonText(reservationSet(hosts, variant))}};
    return request;
}

// A sandbox ready for saves: the directory the image ships, a recorder for
// the restart.
struct SaveRoot : Sandbox {
    SaveRoot()
    {
        mkdirs("etc/dhcpd");
        installRestartRecorder();
    }
};

bool isTemporary(const std::string &path)
{
    std::string name = path.substr(path.rfind('/') + 1);
    return name.size() > 8 && name[0] == '.' && name[name.size() - 7] == '.';
}

// The files a save decides; the DNS-only pair follows whether a process
// named "named" runs, which other tests start for a moment.
Files savedFiles(const Sandbox &sb, bool withTemporaries = false)
{
    Files files = filesOf(sb);
    files.erase("etc/dhcpd/dhcpd-dns-dns.conf");
    files.erase("etc/dhcpd/dhcpd-dns-dns.info");
    for (auto it = files.begin(); it != files.end();) {
        if (!withTemporaries && isTemporary(it->first))
            it = files.erase(it);
        else
            ++it;
    }
    return files;
}

// The files after running the requests one after the other in a fresh root.
Files afterInOrder(std::initializer_list<CgiRequest> requests)
{
    SaveRoot ref;
    for (const CgiRequest &request : requests) {
        CgiResult r = runCgi(ref, request);
        EXPECT_EQ(r.body["success"], Json::Value(true)) << r.out;
    }
    return savedFiles(ref);
}

TEST(CgiSaveIntegrity, TwoSavesAtOnceEndAsOneAfterTheOtherNeverMixed)
{
    struct Case {
        const char *name;
        CgiRequest a, b;
    };
    // Same reservation count, other names and addresses; on one interface
    // a different number of subnets, so leftovers of the longer table show.
    const Case cases[] = {
        {"different interfaces", saveRequest("eth0", 6, 1, 100, 1), saveRequest("eth1", 6, 2, 100, 2)},
        {"same interface", saveRequest("eth0", 8, 1, 100, 1), saveRequest("eth0", 5, 2, 100, 2)},
    };
    for (const Case &c : cases) {
        const Files aThenB = afterInOrder({c.a, c.b});
        const Files bThenA = afterInOrder({c.b, c.a});
        for (int round = 0; round < 3; ++round) {
            SaveRoot sb;
            std::atomic<int> ready{0};
            CgiResult ra, rb;
            auto run = [&](CgiRequest request, CgiResult &result) {
                request.expectRejectedConfig = true; // checked below, once both are done
                ++ready;
                while (ready.load() < 2) {
                }
                result = runCgi(sb, request);
            };
            std::thread ta(run, std::cref(c.a), std::ref(ra));
            std::thread tb(run, std::cref(c.b), std::ref(rb));
            ta.join();
            tb.join();
            EXPECT_EQ(ra.body["success"], Json::Value(true)) << c.name << ra.out;
            EXPECT_EQ(rb.body["success"], Json::Value(true)) << c.name << rb.out;
            Files now = savedFiles(sb, true);
            EXPECT_TRUE(now == aThenB || now == bThenA) << c.name << ", round " << round;
            DnsmasqCheck check = checkDnsmasqConfig(sb.root());
            EXPECT_TRUE(check.accepted) << c.name << ", round " << round << ": " << check.message;
        }
    }
}

TEST(CgiSaveIntegrity, SaveKilledAnywhereLeavesWholeFilesAndTheNextSaveTidiesUp)
{
    const CgiRequest oldSave = saveRequest("eth0", 24, 1, 500, 1);
    const CgiRequest newSave = saveRequest("eth0", 32, 2, 1000, 2);
    const Files oldFiles = afterInOrder({oldSave});
    Files newFiles;
    double span = 0;
    {
        SaveRoot ref;
        for (const auto &file : oldFiles)
            ref.write(file.first, file.second);
        auto started = std::chrono::steady_clock::now();
        CgiResult r = runCgi(ref, newSave);
        span = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        ASSERT_EQ(r.body["success"], Json::Value(true)) << r.out;
        newFiles = savedFiles(ref);
    }

    std::mt19937 random(20261208);
    std::uniform_real_distribution<double> moment(0.0, span);
    int leftTemporaries = 0;
    for (int round = 0; round < 6; ++round) {
        SaveRoot sb;
        for (const auto &file : oldFiles)
            sb.write(file.first, file.second);
        CgiRequest killed = newSave;
        char delay[32];
        snprintf(delay, sizeof delay, "%.3f", moment(random));
        killed.wrapper = {"timeout", "-s", "KILL", delay};
        runCgi(sb, killed); // checks what it left with dnsmasq --test

        Files now = savedFiles(sb, true);
        for (const auto &file : now) {
            if (isTemporary(file.first)) {
                ++leftTemporaries;
                continue;
            }
            auto before = oldFiles.find(file.first);
            auto after = newFiles.find(file.first);
            bool whole = (before != oldFiles.end() && before->second == file.second) ||
                         (after != newFiles.end() && after->second == file.second);
            EXPECT_TRUE(whole) << file.first << " after a kill at " << delay << " s";
        }
        for (const auto &file : oldFiles) {
            bool kept = now.count(file.first) || !newFiles.count(file.first);
            EXPECT_TRUE(kept) << file.first << " lost after a kill at " << delay << " s";
        }

        CgiResult next = runCgi(sb, newSave);
        EXPECT_EQ(next.body["success"], Json::Value(true)) << next.out;
        EXPECT_EQ(savedFiles(sb, true), newFiles) << "after a kill at " << delay << " s";
    }
    RecordProperty("temporaries_left_by_kills", leftTemporaries);
}

// The history after a revert killed at any moment equals the files on disk:
// the revert is in both or in neither, and a revert to the newest revision
// then changes nothing. Kills spread over the whole revert find the moment
// its files change; more kills then fall around that moment, where the
// files and the history are written one after the other.
TEST(CgiSaveIntegrity, RevertKilledAnywhereLeavesTheHistoryEqualToTheFiles)
{
    // One small file of a large configuration changes.
    const CgiRequest oldSave = saveRequest("eth0", 1, 1, 1000, 1);
    CgiRequest newSave = oldSave;
    newSave.form[1].second = toJsonText(globals("eth0", true, "720", "10.0.0.1"));
    CgiRequest revert;
    revert.form = {{"action", "revertTo"}, {"id", "2"}};
    auto prepared = [&](const Sandbox &sb) {
        for (const CgiRequest *request : {&oldSave, (const CgiRequest *)&newSave}) {
            CgiResult r = runCgi(sb, *request);
            ASSERT_EQ(r.body["success"], Json::Value(true)) << r.out;
        }
    };
    Files oldFiles;
    double span = 0;
    {
        SaveRoot ref;
        prepared(ref);
        auto started = std::chrono::steady_clock::now();
        CgiResult r = runCgi(ref, revert);
        span = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        ASSERT_EQ(r.history["revision"], Json::Value(4)) << r.out;
        oldFiles = savedFiles(ref);
    }
    // Kills the revert after `seconds`; true when it had put the files back.
    auto killAt = [&](double seconds) {
        SaveRoot sb;
        prepared(sb);
        CgiRequest killed = revert;
        char delay[32];
        snprintf(delay, sizeof delay, "%.4f", seconds);
        killed.wrapper = {"timeout", "-s", "KILL", delay};
        runCgi(sb, killed);
        Files now = savedFiles(sb);
        CgiResult list = runAction(sb, "listHistory", {{"limit", "1"}});
        Json::Value newest = list.body["revisions"][0]["id"];
        EXPECT_EQ(newest, Json::Value(now == oldFiles ? 4 : 3)) << "after a kill at " << delay;
        CgiResult same = runAction(sb, "revertTo", {{"id", newest.asString()}});
        EXPECT_EQ(same.body["success"], Json::Value(true)) << same.out;
        EXPECT_FALSE(same.history.isMember("revision")) << "after a kill at " << delay << same.out;
        EXPECT_EQ(savedFiles(sb), now) << "after a kill at " << delay;
        return now == oldFiles;
    };
    // Each pass spreads its kills between the last moment that left the
    // files as they were and the first that found them put back.
    double before = 0, after = span;
    for (int pass = 0; pass < 3; ++pass) {
        const int rounds = pass == 0 ? 6 : 4;
        double from = before, to = after;
        for (int round = 0; round < rounds; ++round) {
            double moment = from + (to - from) * (round + 0.5) / rounds;
            if (killAt(moment))
                after = std::min(after, moment);
            else if (moment < after)
                before = std::max(before, moment);
        }
    }
}

// Mounts a small tmpfs at a directory of the sandbox (as root), unmounted
// when it goes away.
struct SmallDisk {
    std::string dir;
    bool mounted = false;
    SmallDisk(const Sandbox &sb, const std::string &rel) : dir(sb.path(rel))
    {
        sb.mkdirs(rel);
        mounted = geteuid() == 0 && mount("tmpfs", dir.c_str(), "tmpfs", 0, "size=64k") == 0;
    }
    ~SmallDisk()
    {
        if (mounted)
            umount2(dir.c_str(), MNT_DETACH);
    }
};

// Fills the file system of dir until no byte more fits.
void fill(const std::string &dir)
{
    int fd = open((dir + "/filler").c_str(), O_WRONLY | O_CREAT, 0644);
    char block[4096] = {0};
    while (fd >= 0 && write(fd, block, sizeof block) > 0) {
    }
    while (fd >= 0 && write(fd, block, 1) > 0) {
    }
    if (fd >= 0)
        close(fd);
}

bool isDirectory(const std::string &path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

TEST(CgiSaveIntegrity, WriteThatFailsIsReportedAndKeepsTheOldFiles)
{
    const char kList[] = "etc/dhcpd/dhcpdStatic.ori";
    struct Case {
        const char *name;
        bool needsDisk;
        void (*spoil)(const Sandbox &sb, const std::string &dir);
        const char *error; // regular expression of "error"
        std::vector<std::string> kept; // files that keep their content; empty: all
    };
    const Case cases[] = {
        {"full disk", true, [](const Sandbox &, const std::string &dir) { fill(dir); },
         "etc/dhcpd/[^ ]+: No space left on device", {}},
        {"read-only", true,
         [](const Sandbox &, const std::string &dir) {
             mount(nullptr, dir.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr);
         },
         "etc/dhcpd/[^ ]+: Read-only file system", {}},
        // The subnets are written before the reservations fail.
        {"directory at the reservation list", false,
         [](const Sandbox &sb, const std::string &) {
             sb.remove("etc/dhcpd/dhcpdStatic.ori");
             sb.mkdirs("etc/dhcpd/dhcpdStatic.ori");
         },
         "etc/dhcpd/dhcpdStatic.ori: Is a directory",
         {"etc/dhcpd/dhcpd-static-static.conf", "etc/dhcpd/dhcpd-static-static.info"}},
    };
    for (const Case &c : cases) {
        SaveRoot sb;
        SmallDisk disk(sb, "etc/dhcpd");
        if (c.needsDisk && !disk.mounted) {
            std::cout << "skipped \"" << c.name << "\": needs root to mount a tmpfs\n";
            continue;
        }
        CgiResult r = runCgi(sb, saveRequest("eth0", 1, 1, 20, 1));
        ASSERT_EQ(r.body["success"], Json::Value(true)) << r.out;
        c.spoil(sb, disk.dir);
        Files before = savedFiles(sb);

        r = runCgi(sb, saveRequest("eth0", 2, 2, 30, 2));
        EXPECT_EQ(r.body["success"], Json::Value(false)) << c.name << r.out;
        EXPECT_THAT(r.body["error"].asString(), MatchesRegex(c.error)) << c.name;
        Files now = savedFiles(sb);
        if (c.kept.empty()) {
            EXPECT_EQ(now, before) << c.name;
        }
        for (const std::string &path : c.kept)
            EXPECT_EQ(now[path], before[path]) << c.name << ": " << path;
        if (!c.needsDisk) {
            EXPECT_TRUE(isDirectory(sb.path(kList))) << c.name << ": the directory stays";
        }
    }
}

TEST(CgiSaveIntegrity, LinksAtTheFilesAreReplacedNeverWrittenThrough)
{
    SaveRoot sb;
    putSubnet(sb, {"eth0", "pxe", "192.168.5.100", "192.168.5.150", "255.255.255.0",
                   "192.168.5.1", 36000, "", "192.168.5.1", "", "pxelinux.0"},
              true);
    const std::vector<std::string> linked = {
        "etc/dhcpd/dhcpd-eth0-eth00.conf",    "etc/dhcpd/dhcpd-eth0-eth00.info",
        "etc/dhcpd/dhcpdStatic.ori",          "etc/dhcpd/dhcpd-static-static.conf",
        "etc/dhcpd/dhcpd-static-static.info", "etc/quomoinfo.conf",
    };
    auto target = [](size_t i) { return "outside/" + std::to_string(i); };
    for (size_t i = 0; i < linked.size(); ++i) {
        sb.write(target(i), "kept\n");
        ASSERT_EQ(0, symlink(sb.path(target(i)).c_str(), sb.path(linked[i]).c_str()))
            << linked[i];
    }
    CgiResult r = runCgi(sb, saveRequest("eth0", 1, 1, 3, 1));
    EXPECT_EQ(r.body["success"], Json::Value(true)) << r.out;
    r = runAction(sb, "disableServer", {{"iftype", "eth0"}});
    EXPECT_EQ(r.body["success"], Json::Value(true)) << r.out;

    for (size_t i = 0; i < linked.size(); ++i) {
        EXPECT_EQ("kept\n", sb.read(target(i))) << linked[i];
        struct stat st;
        ASSERT_EQ(0, lstat(sb.path(linked[i]).c_str(), &st)) << linked[i];
        EXPECT_TRUE(S_ISREG(st.st_mode)) << linked[i];
    }
    EXPECT_THAT(sb.read("etc/quomoinfo.conf"), HasSubstr("pxeenable=\"no\"\n"));
}

TEST(CgiSaveIntegrity, ModesDoNotFollowTheUmaskTheProgramWasStartedWith)
{
    SaveRoot sb;
    rmdir(sb.path("etc/dhcpd").c_str());
    mode_t saved = umask(0);
    CgiResult r = runCgi(sb, saveRequest("eth0", 1, 1, 2, 1));
    umask(saved);
    EXPECT_EQ(r.body["success"], Json::Value(true)) << r.out;
    const struct {
        const char *path;
        mode_t mode;
    } expected[] = {
        {"etc/dhcpd", 0755},
        {"etc/dhcpd/dhcpd-eth0-eth00.conf", 0644},
        {"etc/dhcpd/dhcpd-eth0-eth00.info", 0644},
        {"etc/dhcpd/dhcpdStatic.ori", 0644},
        {"etc/dhcpd/dhcpd-static-static.conf", 0644},
        {"var/lock/orvath.lock", 0600},
    };
    for (const auto &e : expected) {
        struct stat st;
        ASSERT_EQ(0, stat(sb.path(e.path).c_str(), &st)) << e.path;
        EXPECT_EQ(e.mode, st.st_mode & 07777) << e.path;
    }
}

} // namespace
