// Number fields of printf-written lines, fields touching when values fill
// or overflow their widths.
#include "output/field_scan.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace qv {
namespace {

constexpr FieldFormat kDirectionAndU[] = {{6, -1, true, "direction"}, {8, 2, false, "u"}};
constexpr FieldFormat kThreeCounts[] = {{4, -1, false, "a"}, {4, -1, false, "b"},
                                      {4, -1, false, "c"}};
constexpr FieldFormat kCountAndSnr[] = {{4, -1, false, "count"}, {5, -1, false, "snr"}};

std::vector<std::string> scan(const std::string& text, std::span<const FieldFormat> formats,
                              ScanMode mode = ScanMode::Columns) {
    std::vector<std::string_view> out;
    std::size_t failed = 0;
    if (!scanFields(text, formats, mode, out, failed)) return {"failed at " + std::to_string(failed)};
    return std::vector<std::string>(out.begin(), out.end());
}

using Fields = std::vector<std::string>;

TEST(FieldScan, ColumnsReadTouchingAndOverflowingValues) {
    EXPECT_EQ(scan("   294.    4.14", kDirectionAndU), (Fields{"294", "4.14"}));
    EXPECT_EQ(scan("  -950.   -1.91", kDirectionAndU), (Fields{"-950", "-1.91"}));
    EXPECT_EQ(scan("   294.12345.67", kDirectionAndU), (Fields{"294", "12345.67"}));
    EXPECT_EQ(scan("-12345.-12345.67", kDirectionAndU), (Fields{"-12345", "-12345.67"}));
    EXPECT_EQ(scan("1234-9500", kCountAndSnr), (Fields{"1234", "-9500"}));
    EXPECT_EQ(scan("12345 -950", kCountAndSnr), (Fields{"12345", "-950"}));
    // Values that fill their fields exactly are read at their widths.
    EXPECT_EQ(scan("999999999999", kThreeCounts), (Fields{"9999", "9999", "9999"}));
    EXPECT_EQ(scan("12345  20  30", kThreeCounts), (Fields{"12345", "20", "30"}));
    EXPECT_EQ(scan("  10  20  30  ", kThreeCounts), (Fields{"10", "20", "30"}));
    // A "%.0f" height of any length touching a field that fills its width.
    constexpr FieldFormat kHeightAndSpeed[] = {{7, 0, false, "height"}, {9, 1, false, "speed"}};
    const std::string wide(40, '1');
    EXPECT_EQ(scan(wide + "      4.6", kHeightAndSpeed), (Fields{wide, "4.6"}));
    EXPECT_EQ(scan(wide + "1234567.9", kHeightAndSpeed).size(), 2u);
}

TEST(FieldScan, ColumnsRefuseWhatPrintfCannotWrite) {
    EXPECT_EQ(scan("   294     4.14", kDirectionAndU), Fields{"failed at 0"});  // no point
    EXPECT_EQ(scan("   294.    4.1 ", kDirectionAndU).size(), 1u);
    EXPECT_EQ(scan("  10  20", kThreeCounts), Fields{"failed at 2"});
    EXPECT_EQ(scan("  10  20  30  40", kThreeCounts), Fields{"failed at 3"});
    EXPECT_EQ(scan("", kThreeCounts), Fields{"failed at 0"});
}

TEST(FieldScan, LooseReadsOtherWidths) {
    EXPECT_EQ(scan("294. 4.14", kDirectionAndU, ScanMode::Loose), (Fields{"294", "4.14"}));
    EXPECT_EQ(scan(" 294.12345.67", kDirectionAndU, ScanMode::Loose),
              (Fields{"294", "12345.67"}));
    EXPECT_EQ(scan("1 2 3", kThreeCounts, ScanMode::Loose), (Fields{"1", "2", "3"}));
    EXPECT_EQ(scan("1 2 x", kThreeCounts, ScanMode::Loose), Fields{"failed at 2"});
}

TEST(FieldScan, NumbersOutOfRangeAreRefused) {
    std::int64_t i = 0;
    float f = 0.0f;
    EXPECT_TRUE(parseInt64("-2147483648", i));
    EXPECT_EQ(i, -2147483648LL);
    EXPECT_FALSE(parseInt64("99999999999999999999", i));
    EXPECT_FALSE(parseInt64("", i));
    EXPECT_FALSE(parseInt64("12a", i));
    EXPECT_TRUE(parseFloat("-950.0", f));
    EXPECT_EQ(f, -950.0f);
    EXPECT_FALSE(parseFloat(std::string(50, '9') + ".9", f));
    EXPECT_TRUE(parseFloat("nan", f));
    EXPECT_TRUE(std::isnan(f));
}

TEST(FieldScan, RepeatedEntriesOfHeaderLists) {
    std::vector<std::string_view> out;
    ASSERT_TRUE(scanRepeated("  10  10  10  10  10 ", FieldFormat{4, -1, false, ""},
                             ScanMode::Columns, out));
    EXPECT_EQ(out.size(), 5u);
    ASSERT_TRUE(scanRepeated(" 66.4 66.4 90.0", FieldFormat{5, 1, false, ""}, ScanMode::Columns,
                             out));
    EXPECT_EQ(out[2], "90.0");
    EXPECT_TRUE(scanRepeated("   ", FieldFormat{4, -1, false, ""}, ScanMode::Columns, out));
    EXPECT_TRUE(out.empty());
    EXPECT_FALSE(scanRepeated("  10  x0", FieldFormat{4, -1, false, ""}, ScanMode::Loose, out));
}

TEST(FieldScan, NumbersLongerThanAnyValueAreNoFields) {
    constexpr FieldFormat kHeightAndSpeed[] = {{7, 0, false, "height"}, {9, 1, false, "speed"}};
    const std::string digits(1 << 20, '7');
    std::vector<std::string_view> out;
    for (const ScanMode mode : {ScanMode::Columns, ScanMode::Loose}) {
        for (const std::string& text : {digits, " " + digits, digits + " 1 2", " 1" + digits + ".5"}) {
            EXPECT_EQ(scan(text, kThreeCounts, mode).size(), 1u);
            EXPECT_EQ(scan(text, kHeightAndSpeed, mode).size(), 1u);
            EXPECT_FALSE(scanRepeated(text, FieldFormat{4, -1, false, ""}, mode, out));
            EXPECT_FALSE(scanRepeated(text, FieldFormat{5, 1, false, ""}, mode, out));
        }
    }
    // The widest texts printf makes for the fields are still read: "%.0f" of
    // the largest double (309 digits), a 64-bit integer with its sign.
    char widest[400];
    std::snprintf(widest, sizeof widest, "%7.0f%9.1f", 1.7976931348623157e308, 4.6);
    EXPECT_EQ(scan(widest, kHeightAndSpeed), (Fields{std::string(widest, 309), "4.6"}));
    EXPECT_EQ(scan("-9223372036854775808  20  30", kThreeCounts).at(0), "-9223372036854775808");
}

}  // namespace
}  // namespace qv
