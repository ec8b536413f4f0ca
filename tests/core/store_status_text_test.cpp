// The detail line that AccumulateRecord shows for every dwell, kept or not:
// "Reading data record %02d/%02d/%02d %02d:%02d:%02d" of month, day, year,
// hour, minute and second, exactly as that conversion prints them, also
// for fields that no calendar accepts; and the period keys beside it.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "core/job.h"
#include "core/store.h"
#include "support/scripted_host.h"

namespace qv {
namespace {

struct TextCase {
    std::uint16_t month, day, year, hour, minute, second;
    const char* text;
};

TEST(StoreStatusText, ReadingDataRecordTextForEveryDwell) {
    const TextCase cases[] = {
        {6, 15, 2004, 12, 3, 45, "Reading data record 06/15/2004 12:03:45"},
        {1, 1, 2003, 0, 0, 0, "Reading data record 01/01/2003 00:00:00"},
        {12, 31, 1999, 23, 59, 59, "Reading data record 12/31/1999 23:59:59"},
        {9, 9, 9, 9, 9, 9, "Reading data record 09/09/09 09:09:09"},
        {10, 10, 10, 10, 10, 10, "Reading data record 10/10/10 10:10:10"},
        {0, 0, 0, 0, 0, 0, "Reading data record 00/00/00 00:00:00"},
        {99, 100, 101, 999, 1000, 9999, "Reading data record 99/100/101 999:1000:9999"},
        {65535, 65535, 65535, 65535, 65535, 65535,
         "Reading data record 65535/65535/65535 65535:65535:65535"},
        {13, 32, 2100, 24, 60, 60, "Reading data record 13/32/2100 24:60:60"},
    };
    test::ScriptedHost host;
    ConsensusJob job;
    job.host = &host;
    job.params.averagingMinutes = 30;
    const CalendarTime anchor{2004, 6, 0, 15, 0, 0, 0, 0};
    job.record.processDayOfYear = 167;
    job.record.gateCount = 2;
    for (const TextCase& c : cases) {
        SCOPED_TRACE(c.text);
        MomentRecord& r = job.record;
        r.recordTime = CalendarTime{c.year, c.month, 0, c.day, c.hour, c.minute, c.second, 0};
        r.recordDayOfYear = 167;
        const std::size_t before = host.detailLines.size();
        AccumulateRecord(job, anchor);
        ASSERT_EQ(host.detailLines.size(), before + 1);
        EXPECT_EQ(host.detailLines.back(), c.text);
        EXPECT_EQ(job.statusText, c.text);
    }
}

struct KeyCase {
    int minutes;
    std::uint16_t hour, minute, second;
    const char* key;
};

TEST(StoreStatusText, PeriodKeysAreHourAndMinuteOfThePeriodStart) {
    const KeyCase cases[] = {
        {30, 0, 0, 1, "0000"},  {30, 0, 30, 0, "0000"}, {30, 0, 30, 1, "0030"},
        {7, 1, 0, 0, "0056"},   {1, 9, 9, 9, "0909"},   {60, 23, 59, 59, "2300"},
        {60, 0, 0, 0, "2300"},  {1440, 12, 0, 0, "0000"}, {45, 10, 31, 0, "1030"},
    };
    for (const KeyCase& c : cases) {
        SCOPED_TRACE(c.key);
        test::ScriptedHost host;
        ConsensusJob job;
        job.host = &host;
        job.params.averagingMinutes = c.minutes;
        MomentRecord& r = job.record;
        r.processDayOfYear = r.recordDayOfYear = 167;
        r.recordTime = CalendarTime{2004, 6, 0, 15, c.hour, c.minute, c.second, 0};
        r.gateCount = 1;
        AccumulateRecord(job, CalendarTime{2004, 6, 0, 15, 0, 0, 0, 0});
        ASSERT_EQ(job.periods.count(), 1u);
        EXPECT_STREQ(job.periods.findByPosition(std::size_t{0})->key, c.key);
    }
}

}  // namespace
}  // namespace qv
