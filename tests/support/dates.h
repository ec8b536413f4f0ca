// Calendar dates for tests.
#pragma once

#include <cstdint>

#include "core/time.h"

namespace qv::test {

// Midnight of the given date.
inline CalendarTime date(int year, int month, int day) {
    CalendarTime t;
    t.year = static_cast<std::uint16_t>(year);
    t.month = static_cast<std::uint16_t>(month);
    t.day = static_cast<std::uint16_t>(day);
    return t;
}

}  // namespace qv::test
