// Time-height continuity check of consensus winds. Two tests, each on or
// off, run over the same winds and a wind failing either is flagged.
//
// Per pulse-width mode (one WindDay), over the zonal and meridional
// components u and v of the valid gates (QC code 0):
//
// Local test. Each valid wind is compared with the valid winds around it:
// the gates up to `spanPeriods` periods before and after it and up to
// `spanGates` gates below and above it (itself left out; periods whose
// gates lie at other heights are not used). With at least `minNeighbours`
// of them, the estimate is their median u and median v, and the departure
// is the length of the wind's difference from it. The limit is the larger
// of `departure` and `spreadFactor` times the neighbourhood's robust spread
// (per component the interquartile range of the neighbours over 1.349, the
// spread of a normal scatter with that range; the root mean square of the
// two components); at a weak gate (the weaker of its u and v SNRs at most
// `weakSnr`) it is `departure` alone. A wind departing by more than the
// limit fails, unless (with `plane`) its neighbours lie mostly on one side
// of it (their mean offset more than half a gate or half a period, as at
// the edge of the valid winds, where their median lags behind a steady
// change) and it lies within the limit of a plane through them: slopes
// along height and along time as the medians of the slopes between pairs
// of neighbours in one period (at one gate), the estimate the median of
// the neighbours moved along them to the wind, the spread that of the
// neighbours about the plane. With fewer neighbours the test says nothing.
//
// Why so: a median keeps sharp changes that the neighbourhood shows on
// both sides of an edge (a front); the spread widens the limit where the
// winds around a strong gate change fast (a jet); a lone wind in a field
// that agrees with itself departs by its whole error, and among weak,
// noisy gates a wrong wind is not excused by its neighbours' noise.
//
// Pattern test, after the outline of Weber and Wuertz (1993): a wind that
// does not belong to a large enough group of mutually consistent winds is
// flagged.
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
// 3. Every valid gate of the day fails whose pattern
//    - holds fewer than `minPatternSize` gates, or
//    - (with `flagThinPatterns`) lies within one period although at least
//      half of its gates had a valid gate in a period up to maxGap before
//      or after that did not link (a burst over heights in one period), or
//      lies within one gate although at least half of its gates had a
//      valid gate up to maxGap below or above that did not link (a streak
//      at one height over periods).
//
// A flagged gate gets QC code 8 and the data code -940 ("failed QC") in
// speed, direction, u and v. Nothing else changes: w, counts and SNRs stay,
// gates already invalid stay as they are. Both tests see the winds as they
// were before any flag (the order of the gates does not matter).
//
// Neighbouring days: the valid gates of the day before and the day after
// (same mode and averaging period) take part in both tests, so that the
// neighbourhoods and patterns reach over midnight; only the checked day's
// gates are flagged, the neighbours are not changed.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "products/day_product.h"

namespace qv {

// Limits of the continuity check (their defaults and how they were chosen:
// README.md, "Continuity quality control").
struct ContinuityLimits {
    // The local test.
    bool localTest = true;
    // Neighbourhood: periods before and after, gates below and above.
    int spanPeriods = 2;
    int spanGates = 2;
    // Fewest valid neighbours for an estimate (gates).
    int minNeighbours = 4;
    // Smallest limit of the departure (m/s).
    float departure = 3.0f;
    // The limit is at least this many times the neighbourhood's spread...
    float spreadFactor = 3.0f;
    // ...except at weak gates: where the weaker of the gate's u and v SNRs
    // is at most this (dB), the limit is `departure` (the winds around a
    // weak gate scatter because they are noisy, not because the wind
    // changes).
    float weakSnr = 5.0f;
    // Where the neighbours lie mostly on one side (at the edge of the valid
    // winds), also try a plane through them (see above).
    bool plane = true;

    // The pattern test.
    bool patternTest = true;
    // Largest change of u and of v between adjacent periods (m/s per
    // averaging period).
    float perPeriod = 3.0f;
    // Largest change of u and of v between adjacent gates (m/s per gate).
    float perGate = 3.0f;
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
// KEY=VALUE items in any order, each key at most once, no spaces. Keys of
// the local test: `local` (0 or 1), `tspan` (periods, an integer 0 to 10),
// `zspan` (gates, an integer 0 to 10), `neighbours` (an integer 1 to 200),
// `depart` (m/s, above 0 up to 1000), `spread` (0 to 100), `weak` (dB, -50
// to 50), `plane` (0 or 1). Keys of the pattern test: `pattern` (0 or 1),
// `period` (m/s per period, above 0 up to 1000), `gate` (m/s per gate,
// above 0 up to 1000), `min` (minimum pattern size, an integer 1 to
// 100000), `gap` (farthest neighbour, an integer 1 to 100) and `thin` (0
// or 1). Numbers in C decimal notation ("4", "2.5"; a minus sign only for
// `weak`). Keys not given keep the values `limits` holds on entry. On
// failure returns false with a message in `error` and leaves `limits`
// unchanged.
bool parseContinuityLimits(std::string_view text, ContinuityLimits& limits, std::string& error);

// The limits as parseContinuityLimits reads them, every key.
std::string formatContinuityLimits(const ContinuityLimits& limits);

// Which tests a flagged gate failed.
inline constexpr unsigned kFailedLocalTest = 1;
inline constexpr unsigned kFailedPatternTest = 2;

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
    unsigned failed = 0;  // kFailedLocalTest, kFailedPatternTest or both
    int patternSize = 0;  // gates of the pattern it belonged to (0: no pattern test)
    // The local estimate (when the neighbourhood held enough valid gates,
    // whichever test failed): the neighbours' median u and v, the
    // departure from it and the limit there (m/s), and the neighbours.
    bool estimated = false;
    float medianU = 0.0f;
    float medianV = 0.0f;
    float departure = 0.0f;
    float limit = 0.0f;
    int neighbours = 0;
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
//   date,mode,period,gate,height_m_msl,speed_m_s,direction_deg,u_m_s,v_m_s,pattern_size,
//   test,median_u_m_s,median_v_m_s,departure_m_s,limit_m_s,neighbours
// (one line) then one line per flagged gate with the original values (date
// YYYY-MM-DD of `header.day`, height with one decimal, speed, u and v with
// two, direction as an integer), the pattern's size (empty without the
// pattern test), the test that failed ("local", "pattern" or
// "local+pattern") and the local estimate with two decimals and the number
// of neighbours (the estimate's fields empty when there were too few).
// Only the header line when none was flagged.
std::string continuityReportText(const DayHeader& header, const std::vector<FlaggedGate>& flagged);

}  // namespace qv
