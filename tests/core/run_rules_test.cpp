// The run rules both hosts check: the same texts at the same edges.
#include "core/run_rules.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

TEST(RunRules, AveragingMinutesFromOneMinuteToOneDay) {
    const std::string tooSmall = "Consensus averaging period must be\ngreater than zero.";
    const std::string tooLarge = "Consensus averaging period must be at most 1440 minutes (one day).";
    EXPECT_EQ(checkAveragingMinutes(-5), tooSmall);
    EXPECT_EQ(checkAveragingMinutes(0), tooSmall);
    EXPECT_EQ(checkAveragingMinutes(1), "");
    EXPECT_EQ(checkAveragingMinutes(1440), "");
    EXPECT_EQ(checkAveragingMinutes(1441), tooLarge);
    EXPECT_EQ(checkAveragingMinutes(1LL << 40), tooLarge);
}

TEST(RunRules, SiteDataSourceDatesAndConsensusValues) {
    EXPECT_EQ(checkSiteLength("abc"), "");
    EXPECT_EQ(checkSiteLength("abcd"), "Please enter no more than 3 characters.");
    EXPECT_EQ(checkSiteGiven("", true), "Invalid SiteID.");
    EXPECT_EQ(checkSiteGiven("", false), "");
    EXPECT_EQ(checkDataSource(std::string(49, 'x')), "");
    EXPECT_EQ(checkDataSource(std::string(50, 'x')),
              "The data source text must be at most 49 characters.");
    // A line break would split the files' title line.
    for (const char* text : {"QAV\nX", "QAV\r", "\n"}) {
        EXPECT_EQ(checkDataSource(text), "The data source text must not contain a line break.");
    }
    EXPECT_EQ(checkDateOrder(5, 5), "");
    EXPECT_EQ(checkDateOrder(6, 5), "Begin date must be less than or equal to end date.");
    EXPECT_EQ(checkConsensusWindow(0.0f), "The consensus window must be greater than zero.");
    EXPECT_EQ(checkConsensusWindow(-0.0f), "The consensus window must be greater than zero.");
    EXPECT_EQ(checkConsensusWindow(0.5f), "");
    EXPECT_EQ(checkConsensusThreshold(0), "The consensus threshold must be greater than zero.");
    EXPECT_EQ(checkConsensusThreshold(1), "");
}

}  // namespace
}  // namespace qv
