// What a WMO BUFR report of one averaging period holds, as the values of
// ecCodes' keys: the rules from a day's products to those numbers, with
// nothing of ecCodes itself.
//
// Winds are reported in sequence 3 09 024 (data category 2, international
// sub-category 10), RASS virtual temperature in 3 09 025 (sub-category
// 11), master table version 36; the time is the end of the averaging period
// (time significance 29), followed by time significance 2 (time averaged)
// and the averaging period, negative: the minutes before that time.
//
// Every value is the consensus data file's printed value, coded on its
// element's scale (rounded half away from zero). A value the element cannot
// hold, a data code (-940 ... -999) and every value of a gate whose QC code
// does not keep its values (8, or a code the format does not define) is
// missing. Each gate's quality indicators (0 33 002, one for u and v, one
// for w; one for the temperature) say 0 "not suspect" under QC 0 and 1
// "suspect" under any other code that keeps the values; an indicator whose
// values are all missing is missing too.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "output/bufr_api.h"
#include "output/bufr_settings.h"
#include "products/day_product.h"

namespace qv {

// An element of BUFR table B (master table 36): its scale, reference value
// and width in bits.
struct BufrElement {
    int scale = 0;
    std::int64_t reference = 0;
    int width = 0;
};

inline constexpr BufrElement kBufrLatitude{5, -9000000, 25};     // 0 05 001
inline constexpr BufrElement kBufrLongitude{5, -18000000, 26};   // 0 06 001
inline constexpr BufrElement kBufrStationHeight{1, -4000, 17};   // 0 07 030
inline constexpr BufrElement kBufrHeight{0, -1000, 17};          // 0 07 007
inline constexpr BufrElement kBufrWindComponent{1, -4096, 13};   // 0 11 003, 0 11 004
inline constexpr BufrElement kBufrVerticalWind{2, -4096, 13};    // 0 11 006
inline constexpr BufrElement kBufrVirtualTemperature{1, 0, 12};  // 0 12 007
inline constexpr BufrElement kBufrVerticalResolution{0, 0, 14};  // 0 10 071
inline constexpr BufrElement kBufrTimePeriod{0, -2048, 12};      // 0 04 025
inline constexpr BufrElement kBufrYear{0, 0, 12};                // 0 04 001

// The decimal number units / 10^decimals as the element codes it: rounded
// half away from zero to the element's scale and given as the number ecCodes
// codes exactly, or bufr::kMissing when the element cannot hold it (the
// value whose bits are all set means missing).
double bufrCoded(std::int64_t units, int decimals, const BufrElement& element);

// A value the consensus data file prints with `decimals` places (0 to 3),
// as that element codes it; missing for a data code or a value printf
// does not print as a number.
double bufrPrinted(float value, int decimals, const BufrElement& element);

// The quality indicator (0 33 002) of a gate's values: missing when none
// of them is given, 0 under QC 0, 1 ("suspect") under any other code.
double bufrQuality(int qcCode, bool anyValue);

// One message: its template and the values of its keys. A report made
// again in the same object keeps its storage.
struct BufrReport {
    bufr::Layout layout;
    bufr::TypicalTime time;       // the period's end
    std::int64_t endSeconds = 0;  // the same, seconds since 1970
    std::vector<std::pair<const char*, double>> numbers;
    std::vector<std::pair<const char*, std::vector<double>>> arrays;
    std::size_t usedArrays = 0;                              // while the arrays are made
    std::vector<std::pair<const char*, std::string>> texts;  // empty: missing
};

// The layouts of the two sequences, for the library's trial.
std::vector<bufr::Layout> bufrTrialLayouts();

// The report of period `index` of a day. False with `error` (naming the
// period) when it cannot be reported: a day that is not a calendar date, a
// period time that is not a time of day, an averaging interval not 1 to
// 1440 minutes, an end past BUFR's years, more gates than one message holds.
bool windReport(const WindDay& day, std::size_t index, const BufrSettings& settings,
                BufrReport& out, std::string& error);
bool temperatureReport(const TemperatureDay& day, std::size_t index, const BufrSettings& settings,
                       BufrReport& out, std::string& error);

}  // namespace qv
