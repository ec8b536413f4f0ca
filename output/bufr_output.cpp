#include "output/bufr_output.h"

#include "output/bufr_api.h"
#include "output/bufr_content.h"
#include "output/day_files.h"
#include "output/period_time.h"

namespace qv {
namespace {

// One report packed onto `bytes`, with the process's template of its layout.
bool encode(const BufrReport& report, std::string& bytes, std::string& error) {
    bufr::Template* message = bufr::sharedTemplate(report.layout, error);
    if (!message) return false;
    bool ok = true;
    for (const auto& [key, value] : report.numbers) ok = ok && message->setNumber(key, value);
    for (const auto& [key, values] : report.arrays) {
        // A message of no gates has no gate keys (the station's position stays).
        if (!values.empty()) ok = ok && message->setNumbers(key, values);
    }
    for (const auto& [key, text] : report.texts) ok = ok && message->setText(key, text);
    ok = ok && message->pack(report.time, bytes);
    if (!ok) error = message->error();
    return ok;
}

// Messages of the periods `indices` of a day, one after the other, under one
// hold of the library; `report` makes each period's report.
template <typename Day, typename Report>
bool encodePeriods(const Day& day, const std::vector<std::size_t>& indices,
                   const BufrSettings& settings, Report report, std::string& bytes,
                   std::string& error) {
    const bufr::LibraryLock lock;
    if (!bufr::libraryReady(bufrTrialLayouts(), error)) return false;
    BufrReport made;  // one object for every period: its storage is reused
    for (const std::size_t i : indices) {
        if (!report(day, i, settings, made, error) || !encode(made, bytes, error)) return false;
    }
    return true;
}

template <typename Day, typename Report>
OutputFile dayFile(const Day& day, const std::string& path, const BufrSettings& settings,
                   Report report) {
    return makeOutputFile(path, [&](std::string& bytes, std::string& error) {
        if (day.periods.empty()) {
            error = "the day has no averaging period; nothing to write";
            return false;
        }
        std::vector<std::size_t> all(day.periods.size());
        for (std::size_t i = 0; i < all.size(); ++i) all[i] = i;
        return encodePeriods(day, all, settings, report, bytes, error);
    });
}

// The periods of a day that end later than `after` (0: all), each its own
// file named by `stem` and its end.
template <typename Day, typename Stem, typename Report>
void outboxFiles(const Day& day, const std::string& folder, TimeValue after,
                 const BufrSettings& settings, Stem stem, Report report,
                 std::vector<OutputFile>& files) {
    for (std::size_t i = 0; i < day.periods.size(); ++i) {
        PeriodTimes times;
        if (!periodTimes(day.header, day.periods[i].key, times)) {
            // Named as the day, since the period has no time.
            files.push_back(makeOutputFile(
                pathIn(folder, stem(fileTimeDigits(day.header.day, false)) + ".bufr"),
                [&](std::string& bytes, std::string& error) {
                    return encodePeriods(day, {i}, settings, report, bytes, error);
                }));
            continue;
        }
        TimeValue end = 0;
        if (after != 0 && (!timeValueOfSeconds(times.end, end) || end <= after)) continue;
        const std::string path =
            pathIn(folder, stem(fileTimeDigits(utcCalendar(times.end), true)) + ".bufr");
        files.push_back(makeOutputFile(path, [&](std::string& bytes, std::string& error) {
            return encodePeriods(day, {i}, settings, report, bytes, error);
        }));
    }
}

}  // namespace

void prepareBufr() {
    const bufr::LibraryLock lock;
    std::string error;
    bufr::libraryReady(bufrTrialLayouts(), error);
}

DayOutput bufrFiles(BufrSettings settings) {
    return [settings](const DayProducts& products, const OutputContext& context) {
        std::vector<OutputFile> files;
        for (const WindDay& day : products.winds) {
            const std::string name = windFileStem(
                day.header.stationName, fileTimeDigits(day.header.day, false), day.header.variant);
            files.push_back(
                dayFile(day, pathIn(context.folder, name + ".bufr"), settings, windReport));
        }
        for (const TemperatureDay& day : products.temperature) {
            const std::string name =
                temperatureFileStem(day.header.stationName, fileTimeDigits(day.header.day, false));
            files.push_back(
                dayFile(day, pathIn(context.folder, name + ".bufr"), settings, temperatureReport));
        }
        return files;
    };
}

DayOutput bufrOutbox(BufrSettings settings, TimeValue periodsEndingAfter) {
    return [settings, periodsEndingAfter](const DayProducts& products,
                                          const OutputContext& context) {
        std::vector<OutputFile> files;
        for (const WindDay& day : products.winds) {
            const auto stem = [&day](const std::string& time) {
                return windFileStem(day.header.stationName, time, day.header.variant);
            };
            outboxFiles(day, context.folder, periodsEndingAfter, settings, stem, windReport, files);
        }
        for (const TemperatureDay& day : products.temperature) {
            const auto stem = [&day](const std::string& time) {
                return temperatureFileStem(day.header.stationName, time);
            };
            outboxFiles(day, context.folder, periodsEndingAfter, settings, stem, temperatureReport,
                        files);
        }
        return files;
    };
}

}  // namespace qv
