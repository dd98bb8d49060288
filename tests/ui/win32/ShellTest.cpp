// What the Win32 Shell makes of the file dialog's names and of a program's arguments.
#include <win32/Win32Shell.h>

#include <gtest/gtest.h>

TEST(Win32ShellTest, ReadsTheFileDialogsNames) {
    using Paths = std::vector<CString>;
    // One file: its path whole. Several: the folder, then the names, each ended by a zero.
    EXPECT_EQ(ParseOpenFileNames("C:\\s\\a.sch\0", 5), Paths({"C:\\s\\a.sch"}));
    EXPECT_EQ(ParseOpenFileNames("C:\\s\0a.sch\0b c.sch\0", 5),
              Paths({"C:\\s\\a.sch", "C:\\s\\b c.sch"}));
    EXPECT_EQ(ParseOpenFileNames("C:\\\0a.sch\0b.sch\0", 4), Paths({"C:\\a.sch", "C:\\b.sch"}));
    EXPECT_EQ(ParseOpenFileNames("\0", 0), Paths());
}

TEST(Win32ShellTest, QuotesEachArgumentSoItIsReadBackWhole) {
    const struct {
        const char* argument;
        const char* quoted;
    } cases[] = {
        {"", "\"\""}, // an empty path is still one argument
        {"C:\\My Schemes\\a b.sch", "\"C:\\My Schemes\\a b.sch\""},
        {"C:\\logs\\", "\"C:\\logs\\\\\""}, // a closing backslash must not escape the quote
        {"say \"hi\"", "\"say \\\"hi\\\"\""},
        {"a\\\\\"b", "\"a\\\\\\\\\\\"b\""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(QuoteArgument(c.argument), c.quoted) << c.argument;
}
