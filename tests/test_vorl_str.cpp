// String lists: splitting with and without empty fields, growth, reuse,
// bounds, and trimming.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "vorl.h"

namespace {

std::vector<std::string> items(const VORL_SZLIST *list)
{
    std::vector<std::string> out;
    for (int i = 0; VORLCSzListGet(list, i); ++i)
        out.push_back(VORLCSzListGet(list, i));
    return out;
}

struct ListHolder {
    PVORL_SZLIST list = VORLCSzListAlloc(512);
    ~ListHolder() { VORLCSzListFree(list); }
};

using Fields = std::vector<std::string>;

} // namespace

TEST(VorlStrSep, KeepsEmptyFields)
{
    ListHolder h;
    EXPECT_EQ(3, VORLCStrSep("a,,b", ",", &h.list));
    EXPECT_EQ((Fields{"a", "", "b"}), items(h.list));
    EXPECT_EQ(1, VORLCStrSep("", ",", &h.list));
    EXPECT_EQ((Fields{""}), items(h.list));
    EXPECT_EQ(3, VORLCStrSep(",,", ",", &h.list));
    EXPECT_EQ((Fields{"", "", ""}), items(h.list));
    EXPECT_EQ(1, VORLCStrSep("no delimiter", ",", &h.list));
    EXPECT_EQ((Fields{"no delimiter"}), items(h.list));
}

TEST(VorlStrSep, SplitsAtEveryDelimiterCharacter)
{
    // A reservation line: "=" and "," both separate; the newline stays.
    ListHolder h;
    const char *line = "dhcp-host=00:11:22:33:44:55,pc,192.168.1.5,infinite\n";
    std::string before = line;
    EXPECT_EQ(5, VORLCStrSep(line, "=,", &h.list));
    EXPECT_EQ((Fields{"dhcp-host", "00:11:22:33:44:55", "pc", "192.168.1.5", "infinite\n"}),
              items(h.list));
    EXPECT_EQ(before, line);

    // A lease record whose host name is empty: two blanks in a row.
    EXPECT_EQ(5, VORLCStrSep("1700000000 aa:bb 10.0.0.2  eth0", " ", &h.list));
    EXPECT_EQ((Fields{"1700000000", "aa:bb", "10.0.0.2", "", "eth0"}), items(h.list));
}

TEST(VorlStrTok, DropsEmptyFields)
{
    ListHolder h;
    EXPECT_EQ(0, VORLCStrTok("", ",", &h.list));
    EXPECT_EQ(nullptr, VORLCSzListGet(h.list, 0));
    EXPECT_EQ(0, VORLCStrTok(",,,", ",", &h.list));
    EXPECT_EQ(2, VORLCStrTok(",,a,,b,,", ",", &h.list));
    EXPECT_EQ((Fields{"a", "b"}), items(h.list));
    EXPECT_EQ(5, VORLCStrTok("set:eth00,192.168.1.10,192.168.1.99,255.255.255.0,86400", ",",
                             &h.list));
    EXPECT_EQ((Fields{"set:eth00", "192.168.1.10", "192.168.1.99", "255.255.255.0", "86400"}),
              items(h.list));
}

TEST(VorlSzList, ReuseEmptiesAndGrowsPastTheHint)
{
    PVORL_SZLIST list = VORLCSzListAlloc(2);
    ASSERT_NE(nullptr, list);
    std::string text;
    for (int i = 0; i < 1000; ++i)
        text += std::to_string(i) + " ";
    EXPECT_EQ(1001, VORLCStrSep(text.c_str(), " ", &list));
    EXPECT_EQ(1001, list->nItem);
    EXPECT_STREQ("999", VORLCSzListGet(list, 999));
    EXPECT_STREQ("", VORLCSzListGet(list, 1000));
    EXPECT_EQ(nullptr, VORLCSzListGet(list, 1001));
    EXPECT_EQ(nullptr, VORLCSzListGet(list, -1));

    // A second split replaces the fields of the first.
    EXPECT_EQ(2, VORLCStrSep("x y", " ", &list));
    EXPECT_EQ((Fields{"x", "y"}), items(list));

    VORLCSzListRemoveAll(list);
    EXPECT_EQ(0, list->nItem);
    EXPECT_EQ(nullptr, VORLCSzListGet(list, 0));
    EXPECT_EQ(1, VORLCStrSep("again", " ", &list));
    VORLCSzListFree(list);

    // No list yet: one is allocated.
    PVORL_SZLIST fresh = nullptr;
    EXPECT_EQ(2, VORLCStrTok("a b", " ", &fresh));
    ASSERT_NE(nullptr, fresh);
    EXPECT_EQ((Fields{"a", "b"}), items(fresh));
    VORLCSzListFree(fresh);

    VORLCSzListFree(nullptr);
    VORLCSzListRemoveAll(nullptr);
    EXPECT_EQ(nullptr, VORLCSzListGet(nullptr, 0));
}

TEST(VorlSzList, BadArgumentsFail)
{
    ListHolder h;
    VORLCErrSet(0);
    EXPECT_LT(VORLCStrSep(nullptr, ",", &h.list), 0);
    EXPECT_EQ(VORL_ERR_BAD_ARGUMENT, VORLCErrGet());
    EXPECT_LT(VORLCStrTok("a", nullptr, &h.list), 0);
    EXPECT_LT(VORLCStrSep("a", ",", nullptr), 0);
    EXPECT_EQ(nullptr, VORLCSzListAlloc(-1));
}

TEST(VorlStrTrimSpace, StripsBothEndsInPlace)
{
    struct Case {
        const char *in, *out;
    } cases[] = {
        {"  eth0\n", "eth0"}, {"eth0", "eth0"},       {"\t a b \r\n", "a b"},
        {"   ", ""},          {"", ""},               {"\n", ""},
        {"x", "x"},           {" lead", "lead"},      {"trail\t", "trail"},
    };
    for (const Case &c : cases) {
        char buf[32];
        snprintf(buf, sizeof buf, "%s", c.in);
        EXPECT_EQ(buf, VORLCStrTrimSpace(buf, 0)) << c.in;
        EXPECT_STREQ(c.out, buf) << '"' << c.in << '"';
    }
    EXPECT_EQ(nullptr, VORLCStrTrimSpace(nullptr, 0));
}
