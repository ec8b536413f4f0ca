// Time-height continuity check of consensus winds, after the outline of
// Weber and Wuertz (1993): a wind that does not belong to a large enough
// group of mutually consistent winds in the time-height plane is flagged.
//
// Per pulse-width mode (one WindDay), over the zonal and meridional
// components u and v of the valid gates (QC code 0):
//
// 1. Links. Each valid gate is compared with the valid gates later in time
//    at the same gate (the next periods) and with the valid gates above it
//    in the same period (the next gates), nearest first, up to `maxGap`
//    periods (or gates) away, until one links: missing or invalid gates in
//    between are skipped, and so is a neighbour that does not link (a lone
//    spike does not cut the gates around it apart). The limit is scaled by
//    the missing or invalid gates in between: with m of them skipped the
//    limit is (m + 1) x perPeriod along time ((m + 1) x perGate along
//    height); a neighbour passed over because it did not link does not
//    widen the limit. Two gates are linked when both |du| and |dv| are
//    within the limit.
// 2. Patterns. Linked gates form patterns (connected components, found with
//    a union-find over all gates of the day, and of the day before and
//    after when given).
// 3. Flags. Every valid gate of the day is flagged whose pattern
//    - holds fewer than `minPatternSize` gates, or
//    - (with `flagThinPatterns`) lies within one period although at least
//      half of its gates had a valid gate in a period up to maxGap before
//      or after that did not link (a burst over heights in one period), or
//      lies within one gate although at least half of its gates had a
//      valid gate up to maxGap below or above that did not link (a streak
//      at one height over periods).
//    A flagged gate gets QC code 8 and the data code -940 ("failed QC") in
//    speed, direction, u and v. Nothing else changes: w, counts and SNRs
//    stay, gates already invalid stay as they are.
//
// Neighbouring days: the valid gates of the day before and the day after
// (same mode and averaging period) take part in the links and patterns, so
// that a pattern reaching over midnight counts its gates on both sides;
// only the checked day's gates are flagged, the neighbours are not changed.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "products/day_product.h"

namespace qv {

// Limits of the continuity check. The defaults were chosen by measurement on
// generated days with a known truth (5 % of the oblique dwells with ground
// clutter, 3 % with birds; 30- and 60-minute periods; bench/qc_bench.cpp):
// they are the loosest of those tried (period 2 to 4, gate 2 to 3, minimum
// 5 or 8) that flag more than 90 % of the valid gates more than 3 m/s from
// the truth at 30 minutes while keeping more than 99.7 % of the gates within
// 1 m/s of it valid. The synthetic atmosphere is smooth (its own changes are
// below 0.5 m/s per period and per gate): a site with stronger real
// variability may need wider limits.
struct ContinuityLimits {
    // Largest change of u and of v between adjacent periods (m/s per
    // averaging period).
    float perPeriod = 2.0f;
    // Largest change of u and of v between adjacent gates (m/s per gate).
    float perGate = 2.5f;
    // Patterns of fewer gates than this are flagged (gates).
    int minPatternSize = 8;
    // Farthest neighbour tried across missing or invalid gates, in periods
    // along time and in gates along height (1: adjacent ones only).
    int maxGap = 2;
    // Also flag patterns one period or one gate thin that their available
    // neighbours do not link with (see above).
    bool flagThinPatterns = true;
};

// Reads limits from text like "period=4,gate=3,min=5": comma-separated
// KEY=VALUE items in any order, each key at most once, no spaces; keys
// `period` (m/s per period, above 0 up to 1000), `gate` (m/s per gate,
// above 0 up to 1000), `min` (minimum pattern size, an integer 1 to
// 100000), `gap` (farthest neighbour, an integer 1 to 100) and `thin`
// (0 or 1). Numbers in C decimal notation ("4", "2.5"). Keys not given
// keep the values `limits` holds on entry. On failure returns false with a
// message in `error` and leaves `limits` unchanged.
bool parseContinuityLimits(std::string_view text, ContinuityLimits& limits, std::string& error);

// The limits as parseContinuityLimits reads them
// ("period=2,gate=2.5,min=8,gap=2,thin=1").
std::string formatContinuityLimits(const ContinuityLimits& limits);

// One flagged gate with the values it had before the check.
struct FlaggedGate {
    std::int16_t mode = 0;  // the day's mode digit (header.variant)
    char periodKey[5] = {0, 0, 0, 0, 0};
    int gateIndex = 0;  // 0 = lowest gate of the period
    long double height = 0.0L;  // m msl
    float speed = 0.0f;
    std::int32_t direction = 0;
    float u = 0.0f;
    float v = 0.0f;
    int patternSize = 0;  // gates of the pattern it belonged to
};

struct ContinuityResult {
    int checkedGates = 0;  // valid gates of the day that took part
    std::vector<FlaggedGate> flagged;  // in period order, then gate order
};

// Checks one mode's day and flags its gates in place; sets
// header.continuityChecked. `dayBefore` and `dayAfter` (may be null) are the
// same mode's neighbouring days; a neighbour whose mode or averaging period
// differs is not used.
ContinuityResult checkContinuity(WindDay& day, const ContinuityLimits& limits,
                                 const WindDay* dayBefore = nullptr,
                                 const WindDay* dayAfter = nullptr);

// Checks every mode of a day's products, each against the neighbours' day of
// the same mode (matched by mode digit). The flagged gates of all modes, in
// mode order.
ContinuityResult checkContinuity(DayProducts& day, const ContinuityLimits& limits,
                                 const DayProducts* dayBefore = nullptr,
                                 const DayProducts* dayAfter = nullptr);

// A report of flagged gates: CSV with the header line
//   date,mode,period,gate,height_m_msl,speed_m_s,direction_deg,u_m_s,v_m_s,pattern_size
// then one line per flagged gate with the original values (date
// YYYY-MM-DD of `header.day`, height with one decimal, speed, u and v with
// two, direction as an integer). Only the header line when none was flagged.
std::string continuityReportText(const DayHeader& header, const std::vector<FlaggedGate>& flagged);

}  // namespace qv
