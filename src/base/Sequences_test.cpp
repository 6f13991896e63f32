#include <gtest/gtest.h>

#include <vector>

#include "base/PtrDeque.h"
#include "base/StringDeque.h"

namespace {

std::vector<SString> items(const StringDeque& deque) {
    return std::vector<SString>(deque.begin(), deque.end());
}

TEST(StringDeque, InvalidIndexesReadTheSharedEmptyString) {
    StringDeque deque;
    EXPECT_EQ(&deque.back(), &StringDeque::emptyString);
    deque.push_back("a");
    deque.push_back("b");
    deque.push_back("c");
    for (long i : {-1L, 3L, 5L}) {
        EXPECT_EQ(&deque.at(i), &StringDeque::emptyString) << i;
    }
    EXPECT_TRUE(StringDeque::emptyString.empty());
    EXPECT_EQ(deque.at(2), "c");
    EXPECT_EQ(deque.back(), "c");
}

TEST(StringDeque, InsertAppendsForNegativeAndIgnoresPastTheCount) {
    StringDeque deque;
    deque.insert(0, "ignored");
    EXPECT_TRUE(deque.empty());
    deque.insert(-1, "b");
    deque.insert(0, "a");
    deque.insert(-5, "d");
    deque.insert(2, "c");
    deque.insert(4, "past");
    deque.insert(9, "far");
    EXPECT_EQ(items(deque), (std::vector<SString>{"a", "b", "c", "d"}));
}

TEST(StringDeque, EraseOutOfRangeDoesNothingAndStoresCopies) {
    StringDeque deque;
    SString source = "x";
    deque.push_back(source);
    source += "changed";
    deque.push_back("y");
    deque.push_back("z");
    deque.erase(-1);
    deque.erase(3);
    EXPECT_EQ(items(deque), (std::vector<SString>{"x", "y", "z"}));
    deque.erase(2);
    deque.erase(0);
    EXPECT_EQ(items(deque), (std::vector<SString>{"y"}));
    deque.clear();
    EXPECT_EQ(deque.size(), 0);
}

// Counts live instances so that the tests can see who deleted what.
struct Counted {
    explicit Counted(int v) : value(v) { ++alive; }
    ~Counted() { --alive; }
    int value;
    static int alive;
};
int Counted::alive = 0;

std::vector<int> valuesOf(const PtrDeque<Counted>& deque) {
    std::vector<int> result;
    for (long i = 0; i < deque.size(); ++i) result.push_back(deque.at(i)->value);
    return result;
}

TEST(PtrDeque, OutOfRangeLookupsAreNull) {
    PtrDeque<Counted> deque;
    EXPECT_EQ(deque.back(), nullptr);
    EXPECT_EQ(deque.at(0), nullptr);
    deque.push_back(std::make_unique<Counted>(1));
    EXPECT_EQ(deque.at(-1), nullptr);
    EXPECT_EQ(deque.at(1), nullptr);
    EXPECT_FALSE(deque.validIndex(1));
    EXPECT_TRUE(deque.validIndex(0));
    EXPECT_EQ(deque.back()->value, 1);
}

TEST(PtrDeque, OwnedEntriesDieWithEraseClearAndTheSequence) {
    Counted::alive = 0;
    {
        PtrDeque<Counted> deque;
        for (int i = 0; i < 31; ++i) deque.push_back(std::make_unique<Counted>(i));
        EXPECT_EQ(Counted::alive, 31);
        deque.erase(-1);
        deque.erase(31);
        EXPECT_EQ(Counted::alive, 31);
        deque.erase(30);
        deque.erase(0);
        EXPECT_EQ(Counted::alive, 29);
        EXPECT_EQ(deque.at(0)->value, 1);
        EXPECT_EQ(deque.back()->value, 29);
        deque.clear();
        EXPECT_EQ(Counted::alive, 0);
        deque.push_back(std::make_unique<Counted>(7));
    }
    EXPECT_EQ(Counted::alive, 0);
}

TEST(PtrDeque, InsertPositionsAndRejectedInsertsLeakNothing) {
    Counted::alive = 0;
    {
        PtrDeque<Counted> deque;
        deque.insert(0, std::make_unique<Counted>(99));
        EXPECT_EQ(deque.size(), 0);
        EXPECT_EQ(Counted::alive, 0);
        deque.insert(-1, std::make_unique<Counted>(2));
        deque.insert(0, std::make_unique<Counted>(1));
        deque.insert(2, std::make_unique<Counted>(98));
        deque.insert(-3, std::make_unique<Counted>(3));
        deque.insert(2, std::make_unique<Counted>(4));
        EXPECT_EQ(valuesOf(deque), (std::vector<int>{1, 2, 4, 3}));
        EXPECT_EQ(Counted::alive, 4);
    }
    EXPECT_EQ(Counted::alive, 0);
}

}  // namespace
