#include "Records.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace veldran;

TEST(Records, TimeStampIsDayMonthYearOnTheTwentyFourHourClock) {
    setenv("TZ", "UTC", 1);
    tzset();
    // 2026-12-08 06:48:27 UTC
    EXPECT_EQ(FormatTimeStamp(1796712507), "08/12/2026 06:48:27");
    EXPECT_EQ(FormatTimeStamp(0), "01/01/1970 00:00:00");
    EXPECT_EQ(FormatTimeStamp(1796821205), "09/12/2026 13:00:05");
    EXPECT_EQ(FormatTimeStamp(1801439999), "31/01/2027 23:59:59");
}

TEST(Records, LogRecordLayout) {
    std::string out;
    AppendLogRecord(out, "08/12/2026 06:48:27", "C:\\s\\a 100%.sch", "X,%d,%s\n");
    AppendLogRecord(out, "", "f", "last line");
    EXPECT_EQ(out, "08/12/2026 06:48:27 -> C:\\s\\a 100%.sch -> X,%d,%s\n\n"
                   " -> f -> last line\n");
    EXPECT_EQ(BatchRecord("a\nb\n"), "a\nb\n\n");
}
