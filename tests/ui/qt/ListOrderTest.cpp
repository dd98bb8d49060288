// The Qt list's own order: letter case ignored, then byte order, so that every order is total.
#include <qt/ListView.h>

#include <gtest/gtest.h>

TEST(QtListOrderTest, IgnoresCaseThenOrdersByBytes) {
    const struct {
        const char* a;
        const char* b;
        bool before;
    } cases[] = {
        {"A", "a", true},
        {"a", "A", false},
        {"a", "B", true},
        {"ab", "abc", true},
        {"/s/a b.sch", "/s/A.sch", true},
        {"/s/A.sch", "/s/a.sch", true},
        {"/s/a.sch", "/s/a.sch", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ListModel::SortsBefore(c.a, c.b), c.before) << c.a << " / " << c.b;
}
