#include <gtest/gtest.h>

#include <string>

#include "run/path_text.h"

TEST(ComposePath, NeverCuts)
{
    char path[TEXT_CAPACITY];
    ASSERT_TRUE(composePath(path, "C:", "update.txt"));
    EXPECT_STREQ(path, "C:\\update.txt");

    std::string folder(200, 'f');
    std::string fits(58, 'n');  // 200 + 1 + 58 = 259 characters
    ASSERT_TRUE(composePath(path, folder.c_str(), fits.c_str()));
    EXPECT_EQ(std::string(path), folder + "\\" + fits);

    std::string tooLong(59, 'n');
    EXPECT_FALSE(composePath(path, folder.c_str(), tooLong.c_str()));
    EXPECT_STREQ(path, "");
}

TEST(CopyText, RefusesWhatDoesNotFit)
{
    char text[TEXT_CAPACITY];
    EXPECT_TRUE(copyText(text, std::string(259, 'a').c_str()));
    EXPECT_FALSE(copyText(text, std::string(260, 'a').c_str()));
    EXPECT_STREQ(text, "");
}

TEST(StaysInsideFolder, Table)
{
    const std::pair<const char*, bool> cases[] = {
        {"game.exe", true},        {"data\\maps\\level1.map", true}, {"a/b.txt", true},
        {"..foo", true},           {"foo..", true},                 {".hidden", true},
        {"..", false},             {"..\\evil.dll", false},         {"data\\..\\..\\x", false},
        {"data/../x", false},      {"\\Windows\\x.dll", false},     {"/etc/x", false},
        {"C:\\Windows\\x", false}, {"C:x", false},                  {"data\\. .\\x", false},
        {"...\\x", false},         {"a\\..", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(staysInsideFolder(c.first), c.second) << c.first;
}
