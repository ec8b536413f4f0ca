// Text shown to a user from input-file bytes: kept when UTF-8, else read as
// Latin-1; control characters as '?'.
#include <gtest/gtest.h>

#include <string_view>

#include "core/text.h"

namespace qv {
namespace {

using namespace std::string_view_literals;

TEST(Text_DisplayText, KeepsUtf8AndReadsAnythingElseAsLatin1) {
    const struct {
        std::string_view bytes;
        std::string_view shown;
    } cases[] = {
        {""sv, ""sv},
        {"M\xC3\x9CNCHEN \xE2\x82\xAC\xF0\x9F\x8C\xAA"sv, "M\xC3\x9CNCHEN \xE2\x82\xAC\xF0\x9F\x8C\xAA"sv},
        {"\xF4\x8F\xBF\xBF\xEF\xBF\xBF"sv, "\xF4\x8F\xBF\xBF\xEF\xBF\xBF"sv},  // U+10FFFF, U+FFFF
        {"M\xDCNCHEN"sv, "M\xC3\x9CNCHEN"sv},                                  // Latin-1
        {"\x80\xFF"sv, "\xC2\x80\xC3\xBF"sv},
        // Mixed: one byte that is not UTF-8 makes the whole text Latin-1.
        {"Z\xC3\xBCrich \xDC"sv, "Z\xC3\x83\xC2\xBCrich \xC3\x9C"sv},
        // Cut short: at the end, before a later byte, at the third and fourth byte.
        {"A\xC3"sv, "A\xC3\x83"sv},
        {"\xE2\x82\xAC"sv.substr(0, 2), "\xC3\xA2\xC2\x82"sv},
        {"\xE2\x82" "A"sv, "\xC3\xA2\xC2\x82" "A"sv},
        {"\xF0\x9F\x8C" "A"sv, "\xC3\xB0\xC2\x9F\xC2\x8C" "A"sv},
        // Overlong forms, a surrogate, above U+10FFFF.
        {"\xC0\xAF"sv, "\xC3\x80\xC2\xAF"sv},
        {"\xE0\x80\xAF"sv, "\xC3\xA0\xC2\x80\xC2\xAF"sv},
        {"\xF0\x8F\xBF\xBF"sv, "\xC3\xB0\xC2\x8F\xC2\xBF\xC2\xBF"sv},
        {"\xED\xA0\x80"sv, "\xC3\xAD\xC2\xA0\xC2\x80"sv},
        {"\xF4\x90\x80\x80"sv, "\xC3\xB4\xC2\x90\xC2\x80\xC2\x80"sv},
        {"\xF5\x80\x80\x80"sv, "\xC3\xB5\xC2\x80\xC2\x80\xC2\x80"sv},
        // Control characters, also in UTF-8 and Latin-1 text.
        {"A\tB\r\n\x7F\0"sv, "A?B????"sv},
        {"\x1B\xC3\xA9"sv, "?\xC3\xA9"sv},
        {"\x01\xE9"sv, "?\xC3\xA9"sv},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(displayText(c.bytes), c.shown) << testing::PrintToString(std::string(c.bytes));
    }
}

}  // namespace
}  // namespace qv
