#include "output/bufr_content.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "output/period_time.h"
#include "output/printed_value.h"

namespace qv {
namespace {

constexpr long kWindSequence = 309024;
constexpr long kTemperatureSequence = 309025;
constexpr long kMasterTablesVersion = 36;  // the first that has both sequences
constexpr long kVerticalSoundings = 2;     // data category: vertical soundings (not satellite)
constexpr long kWindProfilerReports = 10;  // international sub-category
constexpr long kRassReports = 11;
constexpr long kMissingCentre = 65535;
constexpr double kEndOfScan = 29;           // 0 08 021: end of scan or time of ending
constexpr double kTimeAveraged = 2;         // 0 08 021
constexpr double kRadarWindProfiler = 3;    // 0 02 006
constexpr std::size_t kMaxGates = 65534;    // 0 31 002, 16 bits
constexpr std::size_t kProfileIdChars = 8;  // 0 01 079, 64 bits
constexpr std::size_t kMaxArrays = 9;       // of a wind report

constexpr std::int64_t kPow10[] = {1,           10,           100,          1000,      10000,
                                   100000,      1000000,      10000000,     100000000, 1000000000,
                                   10000000000, 100000000000, 1000000000000};
constexpr int kMaxShift = 12;
// Units beyond this are beyond every element here, whatever the scale.
constexpr std::int64_t kMaxUnits = 1000000000000;
constexpr std::int64_t kCelsiusZeroHundredths = 27315;  // 273.15 K
constexpr int kMaxLatitudeCenti = 9000;
constexpr int kMaxLongitudeCenti = 18000;

// The digits of a value as the consensus data file prints it with
// `decimals` places (0 to 3), without the point ("-1.25": -125); none for a
// data code, a value printf does not print as a number, or one beyond every
// element.
std::optional<std::int64_t> printedUnits(float value, int decimals) {
    if (decimals < 0 || decimals > 3 || !std::isfinite(value)) return std::nullopt;
    const double digits = printedDigits(value, decimals);
    if (std::fabs(digits) > static_cast<double>(kMaxUnits)) return std::nullopt;
    const auto units = static_cast<std::int64_t>(digits);  // a whole number within range
    const std::int64_t scale = kPow10[decimals];
    if (units % scale == 0 && isDataCode(static_cast<double>(units / scale))) return std::nullopt;
    return units;
}

// The report's next array, named `key`: `size` values of `value`, in the
// storage an earlier report in the same object had (arrays are reserved
// beforehand, so that the references handed out stay good).
std::vector<double>& nextArray(BufrReport& report, const char* key, std::size_t size,
                               double value) {
    if (report.usedArrays == report.arrays.size()) report.arrays.emplace_back();
    auto& entry = report.arrays[report.usedArrays++];
    entry.first = key;
    entry.second.assign(size, value);
    return entry.second;
}

// Numbers and texts common to both sequences.
void addStation(const DayHeader& header, const BufrSettings& settings, std::size_t gates,
                std::int64_t endSeconds, const std::string& profileId, BufrReport& out) {
    const CalendarTime end = utcCalendar(endSeconds);
    out.endSeconds = endSeconds;
    out.time = {end.year, end.month, end.day, end.hour, end.minute, end.second};
    const bool wmo = settings.station.has_value();
    out.numbers = {
        {"blockNumber", wmo ? settings.station->block : bufr::kMissing},
        {"stationNumber", wmo ? settings.station->station : bufr::kMissing},
        {"heightOfStationGroundAboveMeanSeaLevel",
         bufrCoded(header.siteElevation, 0, kBufrStationHeight)},
        {"#1#timeSignificance", kEndOfScan},
        {"year", static_cast<double>(end.year)},
        {"month", static_cast<double>(end.month)},
        {"day", static_cast<double>(end.day)},
        {"hour", static_cast<double>(end.hour)},
        {"minute", static_cast<double>(end.minute)},
        {"upperAirRemoteSensingInstrumentType", kRadarWindProfiler},
        {"meanFrequency", bufr::kMissing},
        {"#2#timeSignificance", kTimeAveraged},
        {"timePeriod", bufrCoded(-header.averagingMinutes, 0, kBufrTimePeriod)},
    };
    out.texts = {
        {"uniqueIdentifierForProfile", profileId.substr(0, kProfileIdChars)},
        {"observingPlatformManufacturerModel", std::string()},
    };
    // The station's position, then each gate's: the profile is the site's.
    // A position off the globe is missing.
    const bool onGlobe = std::abs(header.latitudeCenti) <= kMaxLatitudeCenti &&
                         std::abs(header.longitudeCenti) <= kMaxLongitudeCenti;
    const double latitude =
        onGlobe ? bufrCoded(header.latitudeCenti, 2, kBufrLatitude) : bufr::kMissing;
    const double longitude =
        onGlobe ? bufrCoded(header.longitudeCenti, 2, kBufrLongitude) : bufr::kMissing;
    out.usedArrays = 0;
    out.arrays.reserve(kMaxArrays);
    nextArray(out, "latitude", gates + 1, latitude);
    nextArray(out, "longitude", gates + 1, longitude);
    nextArray(out, "verticalResolution", gates,
              bufrPrinted(header.gateSpacing, 0, kBufrVerticalResolution));
    nextArray(out, "horizontalWidthOfSampledVolume", gates, bufr::kMissing);
}

// The period's end and the report's template; false with `error` naming the
// period.
bool startReport(const DayHeader& header, const char* key, std::size_t gates, long sequence,
                 long subCategory, const BufrSettings& settings, std::int64_t& endSeconds,
                 BufrReport& out, std::string& error) {
    const auto fail = [&](const std::string& why) {
        error = "period " + std::string(key, strnlen(key, 4)) + ": " + why;
        return false;
    };
    PeriodTimes times;
    if (!periodTimes(header, key, times)) {
        return fail("no time (the day, the period's time or the averaging interval is not valid)");
    }
    const CalendarTime end = utcCalendar(times.end);
    if (bufrCoded(end.year, 0, kBufrYear) == bufr::kMissing) {
        return fail("the year " + std::to_string(end.year) + " is beyond BUFR's years");
    }
    if (gates > kMaxGates) {
        return fail(std::to_string(gates) + " gates; a BUFR report holds at most " +
                    std::to_string(kMaxGates));
    }
    endSeconds = times.end;
    out.layout = bufr::Layout{};
    out.layout.descriptor = sequence;
    out.layout.replication = static_cast<long>(gates);
    out.layout.masterTablesVersion = kMasterTablesVersion;
    out.layout.dataCategory = kVerticalSoundings;
    out.layout.internationalSubCategory = subCategory;
    out.layout.centre = settings.centre ? *settings.centre : kMissingCentre;
    return true;
}

}  // namespace

double bufrCoded(std::int64_t units, int decimals, const BufrElement& element) {
    const int shift = element.scale - decimals;
    if (shift > kMaxShift || shift < -kMaxShift || units > kMaxUnits || units < -kMaxUnits) {
        return bufr::kMissing;
    }
    std::int64_t coded = 0;
    if (shift >= 0) {
        coded = units * kPow10[shift];
    } else {
        const std::int64_t divisor = kPow10[-shift];
        const std::int64_t magnitude = ((units < 0 ? -units : units) + divisor / 2) / divisor;
        coded = units < 0 ? -magnitude : magnitude;
    }
    const std::int64_t raw = coded - element.reference;
    const std::int64_t allOnes = (std::int64_t{1} << element.width) - 1;
    if (raw < 0 || raw >= allOnes) return bufr::kMissing;
    return static_cast<double>(coded) / static_cast<double>(kPow10[element.scale]);
}

double bufrPrinted(float value, int decimals, const BufrElement& element) {
    const std::optional<std::int64_t> units = printedUnits(value, decimals);
    return units ? bufrCoded(*units, decimals, element) : bufr::kMissing;
}

double bufrQuality(int qcCode, bool anyValue) {
    if (!anyValue) return bufr::kMissing;
    return qcCode == kQcValidCode ? 0.0 : 1.0;
}

std::vector<bufr::Layout> bufrTrialLayouts() {
    bufr::Layout winds;
    winds.descriptor = kWindSequence;
    winds.replication = 1;
    winds.masterTablesVersion = kMasterTablesVersion;
    winds.dataCategory = kVerticalSoundings;
    winds.internationalSubCategory = kWindProfilerReports;
    bufr::Layout temperature = winds;
    temperature.descriptor = kTemperatureSequence;
    temperature.internationalSubCategory = kRassReports;
    return {winds, temperature};
}

namespace {

// A gate height as the file prints it, coded.
double codedHeight(float printed) {
    if (!std::isfinite(printed) || std::fabs(printed) > static_cast<float>(kMaxUnits)) {
        return bufr::kMissing;
    }
    return bufrCoded(std::llround(printed), 0, kBufrHeight);
}

}  // namespace

bool windReport(const WindDay& day, std::size_t index, const BufrSettings& settings,
                BufrReport& out, std::string& error) {
    const WindPeriod& period = day.periods.at(index);
    const std::size_t n = period.gates.size();
    std::int64_t end = 0;
    if (!startReport(day.header, period.key, n, kWindSequence, kWindProfilerReports, settings, end,
                     out, error)) {
        return false;
    }
    addStation(day.header, settings, n, end, "MODE " + std::to_string(day.header.variant), out);
    std::vector<double>& height = nextArray(out, "height", n, bufr::kMissing);
    std::vector<double>& u = nextArray(out, "u", n, bufr::kMissing);
    std::vector<double>& v = nextArray(out, "v", n, bufr::kMissing);
    std::vector<double>& w = nextArray(out, "w", n, bufr::kMissing);
    std::vector<double>& quality = nextArray(out, "qualityInformation", 2 * n, bufr::kMissing);
    for (std::size_t g = 0; g < n; ++g) {
        const WindGate& gate = period.gates[g];
        height[g] = codedHeight(printedHeight(gate.height));
        if (!qcCodeKeepsValues(gate.qcCode)) continue;
        u[g] = bufrPrinted(gate.u, 2, kBufrWindComponent);
        v[g] = bufrPrinted(gate.v, 2, kBufrWindComponent);
        w[g] = bufrPrinted(gate.w, 2, kBufrVerticalWind);
        quality[2 * g] = bufrQuality(gate.qcCode, u[g] != bufr::kMissing || v[g] != bufr::kMissing);
        quality[2 * g + 1] = bufrQuality(gate.qcCode, w[g] != bufr::kMissing);
    }
    out.arrays.resize(out.usedArrays);
    return true;
}

bool temperatureReport(const TemperatureDay& day, std::size_t index, const BufrSettings& settings,
                       BufrReport& out, std::string& error) {
    const TemperaturePeriod& period = day.periods.at(index);
    const std::size_t n = period.gates.size();
    const bool tv = settings.temperature == BufrTemperature::Tv;
    std::int64_t end = 0;
    if (!startReport(day.header, period.key, n, kTemperatureSequence, kRassReports, settings, end,
                     out, error)) {
        return false;
    }
    addStation(day.header, settings, n, end, tv ? "RASS TV" : "RASS TVC", out);
    std::vector<double>& height = nextArray(out, "height", n, bufr::kMissing);
    std::vector<double>& kelvin = nextArray(out, "virtualTemperature", n, bufr::kMissing);
    std::vector<double>& quality = nextArray(out, "qualityInformation", n, bufr::kMissing);
    for (std::size_t g = 0; g < n; ++g) {
        const TemperatureGate& gate = period.gates[g];
        height[g] = codedHeight(printedBack(gate.height, 0));
        if (!qcCodeKeepsValues(gate.qcCode)) continue;
        // Tenths of a degree C as printed, in hundredths of a kelvin.
        const std::optional<std::int64_t> tenths = printedUnits(tv ? gate.tv : gate.tvc, 1);
        if (!tenths) continue;
        kelvin[g] = bufrCoded(*tenths * 10 + kCelsiusZeroHundredths, 2, kBufrVirtualTemperature);
        quality[g] = bufrQuality(gate.qcCode, kelvin[g] != bufr::kMissing);
    }
    out.arrays.resize(out.usedArrays);
    return true;
}

}  // namespace qv
