// Key/value and line files against real files in a fresh root.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

#include "orvath_common.h"
#include "sandbox.h"
#include "vorl.h"

namespace {

const char *const QUOTED = "%s=\"%s\"\n";

// Hidden entries of a directory of the sandbox: leftover temporary files.
std::string leftovers(const Sandbox &sb, const std::string &rel)
{
    std::string names;
    DIR *dir = opendir(sb.path(rel).c_str());
    if (!dir)
        return "no directory";
    while (struct dirent *e = readdir(dir)) {
        std::string n = e->d_name;
        if (n[0] == '.' && n != "." && n != "..")
            names += n + " ";
    }
    closedir(dir);
    return names;
}

std::string getKey(const std::string &path, const char *key, int *rc)
{
    char buf[1024] = "untouched";
    *rc = VORLCFileGetKeyValue(path.c_str(), key, buf, sizeof buf, 0);
    return buf;
}

} // namespace

TEST(VorlFileGetKeyValue, MatchesTheExactKeyAndStripsOnePairOfQuotes)
{
    Sandbox sb;
    sb.write("etc/a.conf", "enable2=\"no\"\n"
                           "enabled=x\n"
                           "enable =space\n"
                           "#enable=\"comment\"\n"
                           "enable=\"yes\"\n"
                           "enable=\"second\"\n"
                           "dhcp-range=set:eth00,10.0.0.1,10.0.0.9,255.255.255.0,86400\n"
                           "a=b=c\n"
                           "twice=\"\"x\"\"\n"
                           "lone=\"\n"
                           "empty=\n"
                           "crlf=\"dos\"\r\n"
                           "last=unterminated");
    std::string path = sb.path("etc/a.conf");
    int rc;
    EXPECT_EQ("yes", getKey(path, "enable", &rc));
    EXPECT_EQ(4, rc);
    EXPECT_EQ("set:eth00,10.0.0.1,10.0.0.9,255.255.255.0,86400", getKey(path, "dhcp-range", &rc));
    EXPECT_GT(rc, 0);
    EXPECT_EQ("b=c", getKey(path, "a", &rc));
    EXPECT_EQ("\"x\"", getKey(path, "twice", &rc));
    EXPECT_EQ("\"", getKey(path, "lone", &rc));
    EXPECT_EQ("", getKey(path, "empty", &rc));
    EXPECT_GT(rc, 0);
    EXPECT_EQ("dos", getKey(path, "crlf", &rc));
    EXPECT_EQ("unterminated", getKey(path, "last", &rc));
    EXPECT_EQ("space", getKey(path, "enable ", &rc));
}

TEST(VorlFileGetKeyValue, NotFoundLeavesTheBufferAlone)
{
    Sandbox sb;
    sb.write("etc/a.conf", "enable=\"yes\"\nnoequals\n");
    int rc = 1;
    EXPECT_EQ("untouched", getKey(sb.path("etc/a.conf"), "enab", &rc));
    EXPECT_EQ(0, rc);
    EXPECT_EQ("untouched", getKey(sb.path("etc/a.conf"), "noequals", &rc));
    EXPECT_EQ(0, rc);
    EXPECT_EQ("untouched", getKey(sb.path("etc/missing.conf"), "enable", &rc));
    EXPECT_EQ(0, rc);
    EXPECT_EQ("untouched", getKey(sb.path("nodir/missing.conf"), "enable", &rc));
    EXPECT_EQ(0, rc);
    EXPECT_EQ("untouched", getKey(sb.path("etc"), "enable", &rc)); // a directory
    EXPECT_LT(rc, 0);
}

TEST(VorlFileGetKeyValue, CutsLongValuesToTheBuffer)
{
    Sandbox sb;
    std::string longValue(5000, 'v');
    sb.write("etc/a.conf", "k=" + longValue + "\nafter=1\n");
    char small[8];
    EXPECT_EQ(8, VORLCFileGetKeyValue(sb.path("etc/a.conf").c_str(), "k", small, sizeof small, 0));
    EXPECT_STREQ("vvvvvvv", small);
    char buf[1024];
    EXPECT_EQ(2, VORLCFileGetKeyValue(sb.path("etc/a.conf").c_str(), "after", buf, sizeof buf, 0));
    EXPECT_STREQ("1", buf);

    VORLCErrSet(0);
    EXPECT_LT(VORLCFileGetKeyValue(sb.path("etc/a.conf").c_str(), "k", buf, 0, 0), 0);
    EXPECT_EQ(VORL_ERR_BAD_ARGUMENT, VORLCErrGet());
    EXPECT_LT(VORLCFileGetKeyValue(nullptr, "k", buf, sizeof buf, 0), 0);
    EXPECT_LT(VORLCFileGetKeyValue(sb.path("etc/a.conf").c_str(), nullptr, buf, sizeof buf, 0), 0);
}

TEST(VorlFileSetKeyValue, CreatesReplacesInPlaceAndAppends)
{
    Sandbox sb;
    std::string path = sb.path("etc/dhcpd-eth0-eth00.info");
    EXPECT_EQ(1, VORLCFileSetKeyValue(path.c_str(), "enable", "yes", QUOTED));
    EXPECT_EQ("enable=\"yes\"\n", sb.read("etc/dhcpd-eth0-eth00.info"));

    sb.write("etc/x.conf", "# head\nport=1\nenable=\"yes\"\ntail=1\nenable=\"dup\"\n");
    path = sb.path("etc/x.conf");
    EXPECT_EQ(1, VORLCFileSetKeyValue(path.c_str(), "enable", "no", QUOTED));
    EXPECT_EQ("# head\nport=1\nenable=\"no\"\ntail=1\nenable=\"dup\"\n", sb.read("etc/x.conf"));
    EXPECT_EQ(1, VORLCFileSetKeyValue(path.c_str(), "port", "0", nullptr));
    EXPECT_EQ(1, VORLCFileSetKeyValue(path.c_str(), "interface", "dns", nullptr));
    EXPECT_EQ("# head\nport=0\nenable=\"no\"\ntail=1\nenable=\"dup\"\ninterface=dns\n",
              sb.read("etc/x.conf"));

    // An unterminated last line is ended before the new line.
    sb.write("etc/y.conf", "a=1");
    EXPECT_EQ(1, VORLCFileSetKeyValue(sb.path("etc/y.conf").c_str(), "b", "2", QUOTED));
    EXPECT_EQ("a=1\nb=\"2\"\n", sb.read("etc/y.conf"));
    // A format without a newline still yields a whole line; "%%" is a '%'.
    EXPECT_EQ(1, VORLCFileSetKeyValue(sb.path("etc/y.conf").c_str(), "a", "50", "%s=%s%%"));
    EXPECT_EQ("a=50%\nb=\"2\"\n", sb.read("etc/y.conf"));

    int rc;
    EXPECT_EQ("no", getKey(path, "enable", &rc));
    EXPECT_EQ("", leftovers(sb, "etc"));
}

TEST(VorlFileSetKeyValue, RefusesTextThatWouldBreakTheFile)
{
    Sandbox sb;
    sb.write("etc/x.info", "enable=\"yes\"\n");
    std::string path = sb.path("etc/x.info");
    VORLCErrSet(0);
    EXPECT_LT(VORLCFileSetKeyValue(path.c_str(), "enable", "no\nport=53", QUOTED), 0);
    EXPECT_EQ(VORL_ERR_BAD_ARGUMENT, VORLCErrGet());
    EXPECT_LT(VORLCFileSetKeyValue(path.c_str(), "en\nable", "no", QUOTED), 0);
    EXPECT_LT(VORLCFileSetKeyValue(path.c_str(), "a=b", "no", QUOTED), 0);
    EXPECT_LT(VORLCFileSetKeyValue(path.c_str(), "", "no", QUOTED), 0);
    EXPECT_LT(VORLCFileSetKeyValue(path.c_str(), "enable", nullptr, QUOTED), 0);
    // Formats that would read arguments that are not there.
    EXPECT_LT(VORLCFileSetKeyValue(path.c_str(), "enable", "no", "%s=%d\n"), 0);
    EXPECT_LT(VORLCFileSetKeyValue(path.c_str(), "enable", "no", "%s=%s%s\n"), 0);
    EXPECT_LT(VORLCFileSetKeyValue(path.c_str(), "enable", "no", "%s\n"), 0);
    EXPECT_EQ("enable=\"yes\"\n", sb.read("etc/x.info"));
    EXPECT_EQ("", leftovers(sb, "etc"));
    // The directory must exist.
    EXPECT_LT(VORLCFileSetKeyValue(sb.path("nodir/x.info").c_str(), "enable", "no", QUOTED), 0);
    EXPECT_FALSE(sb.exists("nodir"));
}

TEST(VorlFileRewrite, ReplacesTheFileWholeAndKeepsItsMode)
{
    Sandbox sb;
    sb.write("etc/x.info", "enable=\"yes\"\nother=1\n", 0640);
    std::string path = sb.path("etc/x.info");

    // A reader that opened the old file keeps reading the old content whole:
    // the new file is renamed into place, never written over the old one.
    int oldFd = open(path.c_str(), O_RDONLY);
    ASSERT_GE(oldFd, 0);
    EXPECT_EQ(1, VORLCFileSetKeyValue(path.c_str(), "enable", "no", QUOTED));
    EXPECT_EQ(1, VORLCFileAddLine(path.c_str(), nullptr, "added", 1));
    char old[64] = {0};
    EXPECT_GT(read(oldFd, old, sizeof old - 1), 0);
    close(oldFd);
    EXPECT_STREQ("enable=\"yes\"\nother=1\n", old);
    EXPECT_EQ("enable=\"no\"\nother=1\nadded\n", sb.read("etc/x.info"));

    struct stat st;
    ASSERT_EQ(0, stat(path.c_str(), &st));
    EXPECT_EQ(0640u, st.st_mode & 07777);
    EXPECT_EQ(1, VORLCFileRemoveLine(path.c_str(), "added"));
    EXPECT_EQ("", leftovers(sb, "etc"));

    // A link is neither written through nor read: the file it points at
    // could be any, and its lines would land in a new file. The change is
    // refused and both stay as they are.
    ASSERT_EQ(0, symlink(path.c_str(), sb.path("etc/link.info").c_str()));
    EXPECT_EQ(-1, VORLCFileSetKeyValue(sb.path("etc/link.info").c_str(), "other", "2", nullptr));
    EXPECT_EQ(-1, VORLCFileAddLine(sb.path("etc/link.info").c_str(), nullptr, "added", 1));
    ASSERT_EQ(0, lstat(sb.path("etc/link.info").c_str(), &st));
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ("enable=\"no\"\nother=1\n", sb.read("etc/x.info"));
}

// Every reader takes a regular file only: a link (even to a readable file),
// a FIFO (an open for reading would wait for a writer), a device and a
// directory are errors, answered at once.
TEST(VorlFileReaders, RefuseLinksFifosDevicesAndDirectories)
{
    Sandbox sb;
    sb.write("etc/real.info", "enable=\"yes\"\n");
    ASSERT_EQ(0, symlink(sb.path("etc/real.info").c_str(), sb.path("etc/link.info").c_str()));
    ASSERT_EQ(0, mkfifo(sb.path("etc/fifo.info").c_str(), 0666));
    sb.mkdirs("etc/dir.info");
    const struct {
        const char *path;
        int err;
    } kinds[] = {
        {"etc/link.info", ELOOP},
        {"etc/fifo.info", EINVAL},
        {"/dev/null", EINVAL},
        {"etc/dir.info", EISDIR},
    };
    for (const auto &k : kinds) {
        std::string path = k.path[0] == '/' ? k.path : sb.path(k.path);
        std::string text = "untouched";
        errno = 0;
        EXPECT_EQ(-1, orvReadFile(path.c_str(), text)) << k.path;
        EXPECT_EQ(k.err, errno) << k.path;
        EXPECT_EQ("", text) << k.path;
        int rc = 0;
        EXPECT_EQ("untouched", getKey(path, "enable", &rc)) << k.path;
        EXPECT_LT(rc, 0) << k.path;
        char buf[64];
        EXPECT_LT(VORLCFileGetLine(path.c_str(), "enable", buf, sizeof buf, 1024), 0) << k.path;
        EXPECT_EQ(nullptr, VORLCSysFopen(path.c_str(), "r", __FILE__, __LINE__)) << k.path;
    }
    std::string text;
    EXPECT_EQ(1, orvReadFile(sb.path("etc/real.info").c_str(), text));
    EXPECT_EQ("enable=\"yes\"\n", text);
    EXPECT_EQ(0, orvReadFile(sb.path("etc/none").c_str(), text));
}

TEST(VorlFileGetLine, FirstLineContainingTheText)
{
    Sandbox sb;
    std::string longLine = "dhcp-host=" + std::string(3000, 'h') + ",aa:bb:cc";
    sb.write("etc/f.conf", "interface=eth0\r\n"
                           "dhcp-option=tag:eth00,option:router,10.0.0.1\n"
                           "dhcp-option=tag:eth00,option:dns-server,8.8.8.8,8.8.4.4\n"
                           "dhcp-option=tag:eth01,option:dns-server,1.1.1.1\n" +
                               longLine + "\n" + "no newline at end");
    std::string path = sb.path("etc/f.conf");
    char buf[1024] = "untouched";
    int rc = VORLCFileGetLine(path.c_str(), "option:dns-server", buf, sizeof buf, 1024);
    EXPECT_GT(rc, 0);
    EXPECT_STREQ("dhcp-option=tag:eth00,option:dns-server,8.8.8.8,8.8.4.4", buf);
    EXPECT_GT(VORLCFileGetLine(path.c_str(), "eth0", buf, sizeof buf, 1024), 0);
    EXPECT_STREQ("interface=eth0", buf);
    EXPECT_GT(VORLCFileGetLine(path.c_str(), "end", buf, sizeof buf, 1024), 0);
    EXPECT_STREQ("no newline at end", buf);

    // The text lies beyond the first kilobyte of a long line: still found,
    // and the line is cut to the buffer.
    EXPECT_EQ(1024, VORLCFileGetLine(path.c_str(), "aa:bb:cc", buf, sizeof buf, 1024));
    EXPECT_EQ(longLine.substr(0, 1023), buf);

    strcpy(buf, "untouched");
    EXPECT_EQ(0, VORLCFileGetLine(path.c_str(), "nowhere", buf, sizeof buf, 1024));
    EXPECT_EQ(0, VORLCFileGetLine(path.c_str(), "eth0\r", buf, sizeof buf, 1024));
    EXPECT_EQ(0, VORLCFileGetLine(sb.path("etc/missing").c_str(), "x", buf, sizeof buf, 1024));
    EXPECT_STREQ("untouched", buf);
    EXPECT_LT(VORLCFileGetLine(sb.path("etc").c_str(), "x", buf, sizeof buf, 1024), 0);
    EXPECT_LT(VORLCFileGetLine(path.c_str(), nullptr, buf, sizeof buf, 1024), 0);
}

TEST(VorlFileAddLine, AppendsOneWholeLine)
{
    Sandbox sb;
    std::string path = sb.path("etc/dhcpd/static.ori");
    sb.mkdirs("etc/dhcpd");
    EXPECT_EQ(1, VORLCFileAddLine(path.c_str(), nullptr, "dhcp-host=a,b,c,infinite", 512));
    EXPECT_EQ(1, VORLCFileAddLine(path.c_str(), nullptr, "second\n", 512));
    EXPECT_EQ(1, VORLCFileAddLine(path.c_str(), nullptr, "", 1));
    EXPECT_EQ("dhcp-host=a,b,c,infinite\nsecond\n\n", sb.read("etc/dhcpd/static.ori"));

    sb.write("etc/u.log", "unterminated");
    EXPECT_EQ(1, VORLCFileAddLine(sb.path("etc/u.log").c_str(), nullptr, "next", 1));
    EXPECT_EQ("unterminated\nnext\n", sb.read("etc/u.log"));

    // A line with a line break inside would smuggle in a second line.
    EXPECT_LT(VORLCFileAddLine(path.c_str(), nullptr, "dhcp-host=a\nport=0", 512), 0);
    EXPECT_LT(VORLCFileAddLine(path.c_str(), "anchor", "x", 1), 0);
    EXPECT_LT(VORLCFileAddLine(path.c_str(), nullptr, nullptr, 1), 0);
    EXPECT_EQ("dhcp-host=a,b,c,infinite\nsecond\n\n", sb.read("etc/dhcpd/static.ori"));
    EXPECT_LT(VORLCFileAddLine(sb.path("nodir/x").c_str(), nullptr, "x", 1), 0);
}

TEST(VorlFileRemoveLine, RemovesEveryEqualLineAndCountsThem)
{
    Sandbox sb;
    sb.write("etc/leases.log", "100 aa 10.0.0.1 pc eth0\n"
                               "100 aa 10.0.0.1 pc eth0 \n"
                               "200 bb 10.0.0.2  eth0\n"
                               "100 aa 10.0.0.1 pc eth0\r\n"
                               "x100 aa 10.0.0.1 pc eth0\n"
                               "100 aa 10.0.0.1 pc eth0");
    std::string path = sb.path("etc/leases.log");
    EXPECT_EQ(3, VORLCFileRemoveLine(path.c_str(), "100 aa 10.0.0.1 pc eth0"));
    EXPECT_EQ("100 aa 10.0.0.1 pc eth0 \n"
              "200 bb 10.0.0.2  eth0\n"
              "x100 aa 10.0.0.1 pc eth0\n",
              sb.read("etc/leases.log"));
    // The given line's own line end is not compared either.
    EXPECT_EQ(1, VORLCFileRemoveLine(path.c_str(), "200 bb 10.0.0.2  eth0\n"));

    struct stat before, after;
    ASSERT_EQ(0, stat(path.c_str(), &before));
    EXPECT_EQ(0, VORLCFileRemoveLine(path.c_str(), "not there"));
    ASSERT_EQ(0, stat(path.c_str(), &after));
    EXPECT_EQ(before.st_ino, after.st_ino); // untouched when nothing matched
    EXPECT_EQ("100 aa 10.0.0.1 pc eth0 \nx100 aa 10.0.0.1 pc eth0\n", sb.read("etc/leases.log"));

    EXPECT_EQ(0, VORLCFileRemoveLine(sb.path("etc/missing.log").c_str(), "x"));
    EXPECT_FALSE(sb.exists("etc/missing.log"));
    EXPECT_LT(VORLCFileRemoveLine(nullptr, "x"), 0);
}

TEST(VorlFileExistTouch, CreateOnlyWhenMissing)
{
    Sandbox sb;
    std::string path = sb.path("etc/t.conf");
    EXPECT_EQ(0, VORLCFileExist(path.c_str()));
    EXPECT_EQ(0, VORLCFileTouch(path.c_str()));
    EXPECT_EQ(1, VORLCFileExist(path.c_str()));
    EXPECT_EQ("", sb.read("etc/t.conf"));

    sb.write("etc/t.conf", "keep\n");
    EXPECT_EQ(0, VORLCFileTouch(path.c_str()));
    EXPECT_EQ("keep\n", sb.read("etc/t.conf"));

    EXPECT_NE(0, VORLCFileTouch(sb.path("nodir/t.conf").c_str()));
    EXPECT_EQ(0, VORLCFileExist(sb.path("nodir/t.conf").c_str()));
    EXPECT_EQ(0, VORLCFileExist(nullptr));
}
