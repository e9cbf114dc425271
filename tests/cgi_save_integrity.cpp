// What a save guarantees under accidents: two saves at once, a save killed
// midway, a disk that refuses the write, links planted at the files, and the
// umask the program was started with.
#include <fcntl.h>
#include <string.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <random>

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
            CgiRequest a = c.a, b = c.b;
            a.expectRejectedConfig = true; // checked below, once both are done
            b.expectRejectedConfig = true;
            // Both run at once; which one is started first changes by round.
            CgiRun runs[2];
            for (int i : {round % 2, 1 - round % 2})
                runs[i] = startCgi(sb, i == 0 ? a : b);
            CgiResult ra = finishCgi(runs[0]);
            CgiResult rb = finishCgi(runs[1]);
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
        // The next request, even a listing, finishes the change or finds it
        // never began: the configuration is wholly the old or the new one.
        runAction(sb, "getIfData", {{"iftype", "eth0"}});
        Files settled = savedFiles(sb);
        EXPECT_TRUE(settled == oldFiles || settled == newFiles) << "after a kill at " << delay << " s";

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
        CgiResult list = runAction(sb, "listHistory", {{"limit", "1"}});
        Files now = savedFiles(sb); // as the listing, which finishes a killed change, left them
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

const char kLockDir[] = "var/packages/Orvath/target/var/lock";
const char kLock[] = "var/packages/Orvath/target/var/lock/orvath.lock";

TEST(CgiSaveIntegrity, WriteThatFailsIsReportedAndKeepsTheOldFiles)
{
    const char kList[] = "etc/dhcpd/dhcpdStatic.ori";
    struct Case {
        const char *name;
        bool needsDisk;
        void (*spoil)(const Sandbox &sb, const std::string &dir);
        const char *error; // regular expression of "error"
        std::vector<std::string> kept; // files that keep their content; empty: all
        const char *directory;         // the directory put in a file's way, which stays
        bool subnetsFailed;            // "isSameApSubnet": the subnet step failed
        bool needsRoot = false;         // to give a file to another user
        bool stopsListings = false;     // a listing answers the same error
    };
    const Case cases[] = {
        {"full disk", true, [](const Sandbox &, const std::string &dir) { fill(dir); },
         "etc/dhcpd/[^ ]+: No space left on device", {}, nullptr, true},
        {"read-only", true,
         [](const Sandbox &, const std::string &dir) {
             mount(nullptr, dir.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr);
         },
         "etc/dhcpd/[^ ]+: Read-only file system", {}, nullptr, true},
        // The subnets are written before the reservations fail.
        {"directory at the reservation list", false,
         [](const Sandbox &sb, const std::string &) {
             sb.remove("etc/dhcpd/dhcpdStatic.ori");
             sb.mkdirs("etc/dhcpd/dhcpdStatic.ori");
         },
         "etc/dhcpd/dhcpdStatic.ori: Is a directory",
         {"etc/dhcpd/dhcpd-static-static.conf", "etc/dhcpd/dhcpd-static-static.info"}, kList,
         false},
        // The reservations are written after the subnets fail.
        {"directory at a subnet's settings file", false,
         [](const Sandbox &sb, const std::string &) {
             sb.remove("etc/dhcpd/dhcpd-eth0-eth00.info");
             sb.mkdirs("etc/dhcpd/dhcpd-eth0-eth00.info");
         },
         "etc/dhcpd/dhcpd-eth0-eth00.info: Is a directory",
         {"etc/dhcpd/dhcpd-eth0-eth00.conf", "etc/dhcpd/dhcpd-eth0-eth01.conf",
          "etc/dhcpd/dhcpd-eth0-eth01.info"},
         "etc/dhcpd/dhcpd-eth0-eth00.info", true},
        // Whatever is found where the request lock belongs, no request waits
        // on it or goes on without it.
        {"FIFO at the lock", false,
         [](const Sandbox &sb, const std::string &) {
             sb.remove(kLock);
             EXPECT_EQ(0, mkfifo(sb.path(kLock).c_str(), 0666));
         },
         "var/packages/Orvath/target/var/lock/orvath.lock: refused: not a regular file", {},
         nullptr, false, false, true},
        {"link at the lock", false,
         [](const Sandbox &sb, const std::string &) {
             sb.write("outside/lock", "");
             std::string target = sb.path("outside/lock");
             sb.remove(kLock);
             EXPECT_EQ(0, symlink(target.c_str(), sb.path(kLock).c_str()));
         },
         "var/packages/Orvath/target/var/lock/orvath.lock: refused: a symbolic link", {}, nullptr,
         false, false, true},
        {"lock of another user", false,
         [](const Sandbox &sb, const std::string &) {
             EXPECT_EQ(0, chown(sb.path(kLock).c_str(), 65534, 65534));
         },
         "var/packages/Orvath/target/var/lock/orvath.lock: refused: owned by another user", {},
         nullptr, false, true, true},
        {"lock directory writable by others", false,
         [](const Sandbox &sb, const std::string &) {
             EXPECT_EQ(0, chmod(sb.path(kLockDir).c_str(), 0777));
         },
         "var/packages/Orvath/target/var/lock: refused: writable by group or others", {}, nullptr,
         false, false, true},
    };
    for (const Case &c : cases) {
        SaveRoot sb;
        SmallDisk disk(sb, "etc/dhcpd");
        if (c.needsDisk && !disk.mounted) {
            std::cout << "skipped \"" << c.name << "\": needs root to mount a tmpfs\n";
            continue;
        }
        if (c.needsRoot && geteuid() != 0) {
            std::cout << "skipped \"" << c.name << "\": needs root to give a file away\n";
            continue;
        }
        CgiResult r = runCgi(sb, saveRequest("eth0", 1, 1, 20, 1));
        ASSERT_EQ(r.body["success"], Json::Value(true)) << r.out;
        c.spoil(sb, disk.dir);
        Files before = savedFiles(sb);

        r = runCgi(sb, saveRequest("eth0", 2, 2, 30, 2));
        EXPECT_EQ(r.body["success"], Json::Value(false)) << c.name << r.out;
        EXPECT_THAT(r.body["error"].asString(), MatchesRegex(c.error)) << c.name;
        if (!c.stopsListings) {
            EXPECT_EQ(r.body["isSameApSubnet"], Json::Value(c.subnetsFailed)) << c.name;
        }
        Files now = savedFiles(sb);
        if (c.kept.empty()) {
            EXPECT_EQ(now, before) << c.name;
        }
        for (const std::string &path : c.kept)
            EXPECT_EQ(now[path], before[path]) << c.name << ": " << path;
        if (c.directory) {
            EXPECT_TRUE(isDirectory(sb.path(c.directory))) << c.name << ": the directory stays";
        }
        if (c.stopsListings) {
            r = runAction(sb, "loadGlobal", {{"iftype", "eth0"}});
            EXPECT_EQ(r.body["success"], Json::Value(false)) << c.name << r.out;
            EXPECT_THAT(r.body["error"].asString(), MatchesRegex(c.error)) << c.name;
            EXPECT_THAT(r.err, HasSubstr("refused")) << c.name;
        }
    }
}

// A link at a file that a save writes whole is replaced itself. A file whose
// old content a save reads first is refused when it is a link: whatever it
// points at would be copied into a file others may read. Either way the
// link's target is neither written nor read.
TEST(CgiSaveIntegrity, LinksAtTheFilesAreNeverWrittenThroughNorRead)
{
    const char kLoop[] = ": Too many levels of symbolic links";
    const struct {
        const char *path;
        const char *failsAt; // the action that answers the link's error; NULL: none
    } cases[] = {
        {"etc/dhcpd/dhcpd-eth0-eth00.conf", NULL},
        {"etc/dhcpd/dhcpd-eth0-eth00.info", NULL},
        {"etc/dhcpd/dhcpdStatic.ori", NULL},
        {"etc/dhcpd/dhcpd-static-static.conf", NULL},
        {"etc/dhcpd/dhcpd-static-static.info", "applydata"},
        {"etc/quomoinfo.conf", "disableServer"},
    };
    for (const auto &c : cases) {
        SaveRoot sb;
        putSubnet(sb, kPxeEth0, true);
        sb.write("outside/target", "kept\n");
        sb.remove(c.path);
        ASSERT_EQ(0, symlink(sb.path("outside/target").c_str(), sb.path(c.path).c_str())) << c.path;
        const CgiResult answers[] = {
            runCgi(sb, saveRequest("eth0", 1, 1, 3, 1)),
            runAction(sb, "disableServer", {{"iftype", "eth0"}}),
        };
        bool refused = c.failsAt != NULL;
        if (refused) {
            const CgiResult &r = answers[strcmp(c.failsAt, "disableServer") == 0 ? 1 : 0];
            EXPECT_EQ(r.body["success"], Json::Value(false)) << c.path << r.out;
            EXPECT_EQ(r.body["error"], Json::Value(std::string(c.path) + kLoop)) << c.path;
        } else {
            for (const CgiResult &r : answers)
                EXPECT_EQ(r.body["success"], Json::Value(true)) << c.path << r.out;
        }
        EXPECT_EQ("kept\n", sb.read("outside/target")) << c.path;
        struct stat st;
        ASSERT_EQ(0, lstat(sb.path(c.path).c_str(), &st)) << c.path;
        EXPECT_EQ(refused ? S_IFLNK : S_IFREG, st.st_mode & S_IFMT) << c.path;
    }
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
        {kLockDir, 0700},
        {kLock, 0600},
    };
    for (const auto &e : expected) {
        struct stat st;
        ASSERT_EQ(0, stat(sb.path(e.path).c_str(), &st)) << e.path;
        EXPECT_EQ(e.mode, st.st_mode & 07777) << e.path;
    }
}

} // namespace
