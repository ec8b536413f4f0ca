// Names, flags and value conventions shared by the netCDF writer and its
// reader (internal to output/).
#pragma once

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string_view>
#include <type_traits>

#include "core/host.h"
#include "core/time.h"
#include "output/printed_value.h"

namespace qv::ncdf {

// The printed values of every output (output/printed_value.h), by their
// earlier names.
using qv::printedBack;
using qv::printedBackAs;
using qv::printedBackDouble;
using qv::printedBackOfFloat;
using qv::printedHeight;

// The gate's QC code (qc_wind, qc_temperature) and each data variable's
// data codes (qc_<variable>), with what each flag means for a user who
// filters on quality, in the words ARM's quality variables use: a value
// is kept (Good), looked at (Suspect) or dropped (Bad); a missing value
// cannot be judged (Indeterminate).
inline constexpr std::int8_t kQcFlags[] = {0, 1, 3, 7, 8};
inline constexpr const char* kQcMeanings =
    "valid valid_no_vertical_correction valid_passed_qc_failed_consensus suspect invalid";
inline constexpr const char* kQcAssessments = "Good Good Suspect Suspect Bad";
inline constexpr std::int16_t kStatusFlags[] = {0, -940, -950, -960, -980, -999};
inline constexpr const char* kStatusMeanings =
    "ok failed_qc failed_consensus exceeded_nyquist flagged_by_reviewer missing";
inline constexpr const char* kStatusAssessments = "Good Bad Bad Bad Bad Indeterminate";
// The data codes of variable X are in "qc_X"; files of earlier versions
// named them "status_X", which the reader still takes.
inline constexpr const char* kCodesPrefix = "qc_";
inline constexpr const char* kEarlierCodesPrefix = "status_";
inline constexpr std::int16_t kStatusOk = 0;
inline constexpr std::int16_t kStatusFailedQc = -940;
inline constexpr std::int16_t kStatusFailedConsensus = -950;
inline constexpr std::int16_t kStatusMissing = -999;

// Fill values of gates a period does not have.
inline constexpr std::int8_t kQcFill = -127;
inline constexpr std::int32_t kCountFill = -1;

inline constexpr double kKelvinOffset = 273.15;
inline constexpr const char* kTimeUnits = "seconds since 1970-01-01 00:00:00";
inline constexpr const char* kCoordinates = "altitude height lat lon";

// Seconds since 1970-01-01 of 00:00 UTC of a day (proleptic Gregorian);
// false for a date that is not a calendar date of years 1 to 9999.
inline bool dayStartSeconds(const CalendarTime& day, double& out) {
    if (day.year < 1 || day.year > 9999 || !isCalendarDate(day.year, day.month, day.day)) {
        return false;
    }
    out = static_cast<double>(civilDayNumber(day.year, day.month, day.day)) * 86400.0;
    return true;
}

inline const char* policyText(VerticalPolicy policy) {
    switch (policy) {
        case VerticalPolicy::NotUsed: return "not used";
        case VerticalPolicy::WhenAvailable: return "when available";
        case VerticalPolicy::Required: return "required";
        case VerticalPolicy::None: break;
    }
    return "unknown";
}

inline VerticalPolicy policyOfText(std::string_view text) {
    if (text == "not used") return VerticalPolicy::NotUsed;
    if (text == "when available") return VerticalPolicy::WhenAvailable;
    if (text == "required") return VerticalPolicy::Required;
    return VerticalPolicy::None;
}

}  // namespace qv::ncdf
