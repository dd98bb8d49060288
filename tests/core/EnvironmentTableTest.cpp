#include "EnvironmentTable.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

using namespace veldran;

namespace {

EnvironmentSettings Parse(std::string_view table, char separator = '\\') {
    EnvironmentSettings s;
    ApplyEnvironmentTable(table, s, separator);
    return s;
}

} // namespace

TEST(EnvironmentTable, TheFourKeysAndTheTrailingSeparator) {
    const EnvironmentSettings s =
        Parse("SB_TEMP=C:\\tmp\nSB_SHIPDATA=D:\\data\\\nSB_SHIPSCH=E:\\sch\nSB_PROJECT=Alpha\n");
    EXPECT_EQ(s.logDir, "C:\\tmp\\");
    EXPECT_EQ(s.batchDir, "D:\\data\\");
    EXPECT_EQ(s.schemeDir, "E:\\sch\\");
    EXPECT_EQ(s.projectName, "Project Name: Alpha");

    const EnvironmentSettings posix = Parse("SB_TEMP=/var/tmp\nSB_SHIPSCH=/sch/\n", '/');
    EXPECT_EQ(posix.logDir, "/var/tmp/");
    EXPECT_EQ(posix.schemeDir, "/sch/");
    EXPECT_EQ(posix.batchDir, "/");
}

TEST(EnvironmentTable, NoEntryLeavesEverythingEmpty) {
    for (const std::string_view table : {"", "\n\n", "just words\nno equals sign"}) {
        const EnvironmentSettings s = Parse(table);
        EXPECT_EQ(s.logDir, "");
        EXPECT_EQ(s.batchDir, "");
        EXPECT_EQ(s.schemeDir, "");
        EXPECT_EQ(s.projectName, "");
    }
}

TEST(EnvironmentTable, AnyEntryGivesEveryDirectoryItsSeparator) {
    EXPECT_EQ(Parse("OTHER=1\n").batchDir, "\\");
    EXPECT_EQ(Parse("SB_SHIPDATA=\n").batchDir, "\\");
    // Names are exact: blanks around '=' and letter case count.
    const EnvironmentSettings s = Parse("SB_TEMP = C:\\tmp\nsb_temp=C:\\x\n");
    EXPECT_EQ(s.logDir, "\\");
    EXPECT_EQ(s.projectName, "");
}

TEST(EnvironmentTable, ValuesAreTakenWhole) {
    EXPECT_EQ(Parse("SB_PROJECT=a=b\n").projectName, "Project Name: a=b");
    EXPECT_EQ(Parse("SB_PROJECT=one\nSB_PROJECT=two\n").projectName, "Project Name: two");
    EXPECT_EQ(Parse("SB_PROJECT= spaced \t").projectName, "Project Name:  spaced \t");
    EXPECT_EQ(Parse("SB_TEMP=C:\\a\rb\n").logDir, "C:\\a\rb\\"); // a lone CR is a character
    // Lines of any length: nothing is cut or overflows.
    const std::string longValue(10000, 'v');
    const std::string longName(10000, 'n');
    const EnvironmentSettings s =
        Parse(longName + "=x\nSB_SHIPSCH=" + longValue + "\n" + longName + "\n");
    EXPECT_EQ(s.schemeDir, longValue + "\\");
    EXPECT_EQ(Parse(std::string(25, 'N') + "=1\nSB_TEMP=t").logDir, "t\\");
}

TEST(EnvironmentTable, TextModeLineEndsAndCtrlZ) {
    const std::string lf = "SB_TEMP=C:\\t\nX\nSB_PROJECT=P\n";
    const std::string crlf = "SB_TEMP=C:\\t\r\nX\r\nSB_PROJECT=P\r\n";
    const EnvironmentSettings a = Parse(lf);
    const EnvironmentSettings b = Parse(crlf);
    EXPECT_EQ(a.logDir, b.logDir);
    EXPECT_EQ(b.projectName, "Project Name: P");
    EXPECT_EQ(Parse("SB_PROJECT=P\x1ASB_TEMP=late\n").projectName, "Project Name: P");
    EXPECT_EQ(Parse("SB_PROJECT=P\x1ASB_TEMP=late\n").logDir, "\\");
    // A last line without a line end is applied like the others.
    EXPECT_EQ(Parse("SB_SHIPSCH=E:\\s").schemeDir, "E:\\s\\");
}

TEST(EnvironmentTable, ReadsFromAStream) {
    std::istringstream in("SB_PROJECT=Stream\r\n");
    EnvironmentSettings s;
    ApplyEnvironmentTable(in, s, '/');
    EXPECT_EQ(s.projectName, "Project Name: Stream");
}

TEST(EnvironmentTable, LoadsTheFileNamedByTheVariable) {
    test::TempDir dir;
    const std::string table = dir.File("env.txt");
    test::WriteBytes(table, "SB_PROJECT=FromFile\nSB_TEMP=/logs\n");
    ASSERT_EQ(setenv(kEnvTableVariable, table.c_str(), 1), 0);
    EnvironmentSettings s;
    LoadEnvironmentTable(s, '/');
    EXPECT_EQ(s.projectName, "Project Name: FromFile");
    EXPECT_EQ(s.logDir, "/logs/");

    // A table that cannot be opened, or no variable at all, is an empty table.
    for (const bool set : {true, false}) {
        if (set)
            setenv(kEnvTableVariable, dir.File("missing.txt").c_str(), 1);
        else
            unsetenv(kEnvTableVariable);
        EnvironmentSettings empty;
        LoadEnvironmentTable(empty, '/');
        EXPECT_EQ(empty.projectName, "");
        EXPECT_EQ(empty.logDir, "");
    }
}
