#include "core/record_list.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

TEST(RecordList_Cursor, RemoveCurrentThenNextContinuesWithTheFollower) {
    int a = 1, b = 2, c = 3;
    RecordList<int> list;
    list.append(&a);
    list.append(&b);
    list.append(&c);
    ASSERT_EQ(list.count(), 3u);

    EXPECT_EQ(list.first(), &a);
    EXPECT_TRUE(list.removeCurrent());
    EXPECT_FALSE(list.removeCurrent());  // the cursor stands on no entry
    EXPECT_EQ(list.current(), nullptr);
    EXPECT_EQ(list.next(), &b);
    EXPECT_EQ(list.count(), 2u);

    // Renumbering: position 0 is the former second entry, position 2 is gone.
    EXPECT_EQ(list.findByPosition(0L), &b);
    EXPECT_EQ(list.findByPosition(1L), &c);
    EXPECT_EQ(list.findByPosition(2L), nullptr);
    EXPECT_EQ(list.findByPosition(-1L), nullptr);
    EXPECT_EQ(a, 1);  // items are never freed or touched
}

TEST(RecordList_Cursor, RemovingEveryEntryWhileWalking) {
    int v[4] = {0, 1, 2, 3};
    RecordList<int> list;
    for (int& x : v) list.append(&x);
    int seen = 0;
    for (int* p = list.first(); p; p = list.next()) {
        EXPECT_EQ(*p, seen++);
        list.removeCurrent();
    }
    EXPECT_EQ(seen, 4);
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(list.first(), nullptr);
    EXPECT_EQ(list.next(), nullptr);
}

TEST(RecordList_Cursor, RemoveLastEntryEndsTheWalk) {
    int a = 1, b = 2;
    RecordList<int> list;
    list.append(&a);
    list.append(&b);
    list.first();
    EXPECT_EQ(list.next(), &b);
    list.removeCurrent();
    EXPECT_EQ(list.next(), nullptr);
    EXPECT_EQ(list.count(), 1u);
}

}  // namespace
}  // namespace qv
