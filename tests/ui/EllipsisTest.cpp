// How a static shortens a long text, measured here in characters: one pixel each.
#include <Ellipsis.h>

#include <gtest/gtest.h>

TEST(EllipsisTest, KeepsTheEndVisible) {
    const auto chars = [](std::string_view text) { return static_cast<int>(text.size()); };
    const struct {
        const char* text;
        int width;
        const char* shown;
    } cases[] = {
        {"/short/", 20, "/short/"}, // fits: as it is
        {"C:\\data\\ship\\hull\\plate.sch", 20, "C:\\data...\\plate.sch"},
        {"/data/ship/batches/", 16, "/dat.../batches/"},         // a directory keeps its last name
        {"/data/a-very-long-last-part.sch", 12, "...-part.sch"}, // the last part alone too long
        {"Project Name: Hull 4711-B", 10, "... 4711-B"},         // no path: the end only
        // Never half a UTF-8 letter, at either end.
        {"/d/x\xc3\xa9\xc3\xa9.sch", 10, "...\xc3\xa9.sch"},
        {"\xc3\xa9\xc3\xa9/ab/c", 8, "\xc3\xa9.../c"},
        {"abcdef", 2, "..."}, // too narrow for anything but the ellipsis
    };
    for (const auto& c : cases)
        EXPECT_EQ(ShortenKeepingEnd(c.text, c.width, chars), c.shown) << c.text;
}
