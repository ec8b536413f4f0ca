// The follower's rules that need no files: when a period of a growing day
// is complete, which file names are a day's input, and the status text.
#include <gtest/gtest.h>

#include "app/follow/follow_status.h"
#include "app/follow/period_completion.h"
#include "input/input_names.h"

namespace qv::follow {
namespace {

TimeValue at(int day, int hour, int minute, int second) {
    CalendarTime c{2004, 6, 0, static_cast<std::uint16_t>(day), static_cast<std::uint16_t>(hour),
                   static_cast<std::uint16_t>(minute), static_cast<std::uint16_t>(second), 0};
    TimeValue v = 0;
    calendarToTimeValue(c, v);
    return v;
}

struct CompletionCase {
    const char* key;
    int minutes;
    TimeValue lastDwell;
    bool complete;
    const char* label;
};

TEST(PeriodCompletion, ClosedOnlyByADwellAfterItsEnd) {
    const TimeValue day = at(15, 0, 0, 0);
    const CompletionCase cases[] = {
        {"1200", 30, at(15, 12, 30, 0), false, "12:00-12:30"},  // on the end: still its own
        {"1200", 30, at(15, 12, 30, 1), true, "12:00-12:30"},
        {"2330", 30, at(15, 23, 59, 59), false, "23:30-00:00"},
        {"2330", 30, at(16, 0, 0, 0), true, "23:30-00:00"},     // the next day's first dwell
        {"2355", 7, at(16, 0, 0, 30), true, "23:55-00:00"},     // cut at midnight
        {"2353", 7, at(15, 23, 59, 0), false, "23:53-00:00"},   // the spilled dwells' period
        {"0000", 1440, at(15, 23, 0, 0), false, "00:00-00:00"},
        {"0000", 1440, at(16, 0, 0, 0), true, "00:00-00:00"},
        {"99xx", 30, at(15, 23, 0, 0), false, "99xx"},          // no time: the day's end
    };
    for (const CompletionCase& c : cases) {
        SCOPED_TRACE(std::string(c.key) + " / " + std::to_string(c.minutes));
        EXPECT_EQ(periodComplete(periodEnd(c.key, day, c.minutes), day, c.lastDwell), c.complete);
        EXPECT_EQ(periodLabel(c.key, c.minutes), c.label);
    }
}

TEST(InputNames, NameTheDayTheReadersOpen) {
    const CalendarTime day{2004, 6, 0, 15, 0, 0, 0, 0};
    const std::int64_t june15 = civilDayNumber(2004, 6, 15);
    struct Case {
        const char* name;
        InputType type;
        OutputKind kind;
        std::optional<std::int64_t> day;
    };
    const Case cases[] = {
        {"qvs04167.raw", InputType::Ascii, OutputKind::Winds, june15},
        {"QVS04167.RAW", InputType::Ascii, OutputKind::Winds, june15},
        {"qvs04167.rat", InputType::Ascii, OutputKind::Winds, std::nullopt},  // another kind
        {"abc04167.raw", InputType::Ascii, OutputKind::Winds, std::nullopt},  // another site
        {"qvs04367.raw", InputType::Ascii, OutputKind::Winds, std::nullopt},  // no day 367
        {"d04167a.mom", InputType::Binary, OutputKind::Winds, june15},
        {"D04167A.SPC", InputType::Binary, OutputKind::Temperature, june15},
        {"h04167a.mom", InputType::Binary, OutputKind::Winds, std::nullopt},  // a header file
        {"d99365a.mom", InputType::Binary, OutputKind::Winds, civilDayNumber(1999, 12, 31)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(inputNameDay(c.name, c.type, c.kind, "qvs", 2004), c.day);
    }
    EXPECT_EQ(dayInputNames(InputType::Ascii, OutputKind::Temperature, "qvs", day),
              std::vector<std::string>{"qvs04167.rat"});
    EXPECT_EQ(dayInputNames(InputType::Binary, OutputKind::Winds, "", day),
              (std::vector<std::string>{"d04167a.mom", "d04167a.spc"}));
}

TEST(FollowStatus, IsJsonWithEscapedTextsAndNulls) {
    FollowStatus s;
    s.state = "following";
    s.filesWritten = {"out/a\"b.w1a", "out/c\\d.w1a"};
    s.error = "line one\nline two";
    const std::string json = statusJson(s);
    EXPECT_NE(json.find("\"files_written\": [\"out/a\\\"b.w1a\", \"out/c\\\\d.w1a\"]"),
              std::string::npos);
    EXPECT_NE(json.find("\"error\": \"line one\\u000aline two\""), std::string::npos);
    EXPECT_NE(json.find("\"last_period_written\": null"), std::string::npos);
}

}  // namespace
}  // namespace qv::follow
