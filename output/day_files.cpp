#include "output/day_files.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <sys/stat.h>

#include "output/netcdf_file.h"

namespace qv {
namespace fs = std::filesystem;

namespace {

bool isAsciiDigit(char c) { return c >= '0' && c <= '9'; }
char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string_view fileNameOf(std::string_view path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

const DayHeader& headerOf(const ConsensusFileContents& contents) {
    return contents.kind == OutputKind::Winds ? contents.winds.header
                                              : contents.temperature.header;
}

const char* temperatureName(int digit) {
    return digit == 1 ? "Tv" : digit == 2 ? "TvC" : "Tv and TvC";
}

bool sameGateBesidesTemperature(const TemperatureGate& a, const TemperatureGate& b) {
    const bool sameHeight = a.height == b.height || (std::isnan(a.height) && std::isnan(b.height));
    return a.qcCode == b.qcCode && sameHeight && a.count == b.count && a.snr == b.snr;
}

// True when two entries of a day hold the same data: the same wind mode,
// or a temperature they share.
bool sameSlot(const DayFileEntry& a, const DayFileEntry& b) {
    if (a.kind != b.kind) return false;
    if (a.kind == OutputKind::Winds) return a.digit == b.digit;
    return a.digit == 0 || b.digit == 0 || a.digit == b.digit;
}

}  // namespace

DayFileKind dayFileKind(std::string_view path) {
    const std::string_view name = fileNameOf(path);
    const std::size_t dot = name.find_last_of('.');
    if (dot == std::string_view::npos || dot == 0) return DayFileKind::None;
    const std::string_view ext = name.substr(dot + 1);
    if (ext.size() == 2 && lower(ext[0]) == 'n' && lower(ext[1]) == 'c') return DayFileKind::Netcdf;
    if (ext.size() < 3 || lower(ext.back()) != 'a') return DayFileKind::None;
    for (std::size_t i = 1; i + 1 < ext.size(); ++i) {
        if (!isAsciiDigit(ext[i])) return DayFileKind::None;
    }
    if (lower(ext[0]) == 'w') return DayFileKind::Winds;
    if (lower(ext[0]) == 't') return DayFileKind::Temperature;
    return DayFileKind::None;
}

std::string stationFileKey(std::string_view stationName) {
    std::string key(stationName.substr(0, 3));
    for (std::size_t i = 0; i < key.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(key[i]);
        const bool unsafe = c < 0x20 || c >= 0x7F || c == '/' || c == '\\' || (i == 0 && c == '.');
        if (unsafe) key[i] = '_';
    }
    return key;
}

std::string windFileStem(std::string_view stationName, std::string_view time, int mode) {
    return stationFileKey(stationName) + "_" + std::string(time) + "_winds_m" +
           std::to_string(mode);
}

std::string temperatureFileStem(std::string_view stationName, std::string_view time) {
    return stationFileKey(stationName) + "_" + std::string(time) + "_temperature";
}

std::string fileTimeDigits(const CalendarTime& time, bool withMinutes) {
    char text[32];
    if (withMinutes) {
        std::snprintf(text, sizeof text, "%04d%02d%02d%02d%02d", static_cast<int>(time.year),
                      static_cast<int>(time.month), static_cast<int>(time.day),
                      static_cast<int>(time.hour), static_cast<int>(time.minute));
    } else {
        std::snprintf(text, sizeof text, "%04d%02d%02d", static_cast<int>(time.year),
                      static_cast<int>(time.month), static_cast<int>(time.day));
    }
    return text;
}

ConsensusFileRead readDayFile(const std::string& path) {
    if (dayFileKind(path) != DayFileKind::Netcdf) return readConsensusFile(path);
    ConsensusFileRead read;
    read.ok = readNetcdfDay(path, read.contents, read.error);
    return read;
}

ConsensusFileRead readDayFileHeader(const std::string& path) {
    if (dayFileKind(path) != DayFileKind::Netcdf) return readConsensusFileHeader(path);
    ConsensusFileRead read;
    read.ok = readNetcdfDayHeader(path, read.contents, read.error);
    return read;
}

std::vector<std::string> dayFilesIn(const std::vector<std::string>& inputs,
                                    std::vector<std::string>& errors) {
    std::vector<std::string> files;
    for (const std::string& input : inputs) {
        std::error_code ec;
        if (!fs::is_directory(input, ec)) {
            files.push_back(input);
            continue;
        }
        std::vector<std::string> found;
        for (fs::directory_iterator it(input, ec), end; !ec && it != end; it.increment(ec)) {
            std::error_code typeError;
            if (it->is_regular_file(typeError) && dayFileKind(it->path().string()) != DayFileKind::None) {
                found.push_back(it->path().string());
            }
        }
        if (ec) {
            errors.push_back(input + ": the folder cannot be read: " + ec.message());
        } else if (found.empty()) {
            errors.push_back(input +
                             ": no day files in the folder (consensus data files .w?a, .t?a, or "
                             "netCDF files .nc)");
        }
        std::sort(found.begin(), found.end());
        files.insert(files.end(), found.begin(), found.end());
    }
    return files;
}

bool DayFileSet::hasWinds() const {
    return std::any_of(files.begin(), files.end(),
                       [](const DayFileEntry& e) { return e.kind == OutputKind::Winds; });
}

bool DayFileSet::hasTemperature() const {
    return std::any_of(files.begin(), files.end(),
                       [](const DayFileEntry& e) { return e.kind == OutputKind::Temperature; });
}

bool addToIndex(DayFileIndex& index, const std::string& path, bool replace, std::string& error) {
    const ConsensusFileRead read = readDayFileHeader(path);
    if (!read.ok) {
        error = read.error;
        return false;
    }
    const DayHeader& h = headerOf(read.contents);
    if (!isCalendarDate(h.day.year, h.day.month, h.day.day)) {
        error = path + ": no valid date in the header (" + isoDate(h.day) + ")";
        return false;
    }
    DayFileEntry entry;
    entry.path = path;
    entry.kind = read.contents.kind;
    entry.digit = entry.kind == OutputKind::Winds ? h.variant : read.contents.temperatureDigit;
    const std::string station = stationFileKey(h.stationName);
    const std::int64_t number = civilDayNumber(h.day.year, h.day.month, h.day.day);
    auto at = std::lower_bound(index.days.begin(), index.days.end(), std::make_pair(station, number),
                               [](const DayFileSet& s, const std::pair<std::string, std::int64_t>& k) {
                                   return std::tie(s.station, s.dayNumber) < std::tie(k.first, k.second);
                               });
    if (at == index.days.end() || at->station != station || at->dayNumber != number) {
        DayFileSet set;
        set.station = station;
        set.dayNumber = number;
        set.date = civilDate(number);
        at = index.days.insert(at, std::move(set));
    }
    if (replace) {
        // A file of the same format and slot is an older copy; the same day
        // in the other format stays (the loads prefer the consensus file).
        const bool netcdf = dayFileKind(path) == DayFileKind::Netcdf;
        std::erase_if(at->files, [&](const DayFileEntry& e) {
            return (dayFileKind(e.path) == DayFileKind::Netcdf) == netcdf && sameSlot(e, entry);
        });
    }
    at->files.push_back(std::move(entry));
    return true;
}

DayFileIndex indexDayFiles(const std::vector<std::string>& files) {
    DayFileIndex index;
    for (const std::string& path : files) {
        std::string error;
        if (!addToIndex(index, path, false, error)) index.errors.push_back(error);
    }
    return index;
}

namespace {

// The entries of `kind` a load reads, slot by slot: a consensus data file
// where the set has one, else a netCDF file (the same day in the other
// format is passed over without a word). A second file of a slot in the
// same format is named in `errors` and skipped.
std::vector<const DayFileEntry*> chosenEntries(const DayFileSet& set, OutputKind kind,
                                               std::vector<std::string>& errors) {
    std::vector<const DayFileEntry*> chosen;
    for (const bool netcdf : {false, true}) {
        for (const DayFileEntry& entry : set.files) {
            if (entry.kind != kind || (dayFileKind(entry.path) == DayFileKind::Netcdf) != netcdf) {
                continue;
            }
            const auto held = std::find_if(chosen.begin(), chosen.end(), [&](const DayFileEntry* c) {
                return sameSlot(*c, entry);
            });
            if (held == chosen.end()) {
                chosen.push_back(&entry);
                continue;
            }
            const bool heldNetcdf = dayFileKind((*held)->path) == DayFileKind::Netcdf;
            if (heldNetcdf != netcdf) continue;  // the same day in the other format
            const std::string what = kind == OutputKind::Winds
                                         ? "mode " + std::to_string(entry.digit)
                                         : std::string(temperatureName(entry.digit));
            errors.push_back(entry.path + ": " + what + " of " + set.station + " " +
                             isoDate(set.date) + " already read from " + (*held)->path +
                             "; file skipped");
        }
    }
    return chosen;
}

// Reads a chosen entry; false (the reason in `errors`) when it cannot be
// read or no longer holds what its header said.
bool readEntry(const DayFileEntry& entry, ConsensusFileContents& contents,
               std::vector<std::string>& errors) {
    ConsensusFileRead read = readDayFile(entry.path);
    if (!read.ok) {
        errors.push_back(read.error);
        return false;
    }
    if (read.contents.kind != entry.kind ||
        (entry.kind == OutputKind::Temperature && read.contents.temperatureDigit != entry.digit)) {
        errors.push_back(entry.path + ": the file changed while it was read; file skipped");
        return false;
    }
    contents = std::move(read.contents);
    return true;
}

}  // namespace

bool loadWindDays(const DayFileSet& set, std::vector<WindDay>& days,
                  std::vector<std::string>& errors) {
    days.clear();
    for (const DayFileEntry* entry : chosenEntries(set, OutputKind::Winds, errors)) {
        ConsensusFileContents contents;
        if (readEntry(*entry, contents, errors)) days.push_back(std::move(contents.winds));
    }
    std::stable_sort(days.begin(), days.end(), [](const WindDay& a, const WindDay& b) {
        return a.header.variant < b.header.variant;
    });
    return !days.empty();
}

bool loadTemperatureDay(const DayFileSet& set, TemperatureDay& day,
                        std::vector<std::string>& errors) {
    const std::vector<const DayFileEntry*> chosen =
        chosenEntries(set, OutputKind::Temperature, errors);
    if (chosen.empty()) return false;
    if (chosen.size() == 1 && chosen.front()->digit == 0) {  // a netCDF day: both
        ConsensusFileContents contents;
        if (!readEntry(*chosen.front(), contents, errors)) return false;
        day = std::move(contents.temperature);
        return true;
    }
    const DayFileEntry* slots[2] = {nullptr, nullptr};  // Tv, TvC
    for (const DayFileEntry* entry : chosen) {
        if (entry->digit == 1 || entry->digit == 2) slots[entry->digit - 1] = entry;
    }
    ConsensusFileContents contents[2];
    for (int i = 0; i < 2; ++i) {
        if (slots[i] && !readEntry(*slots[i], contents[i], errors)) return false;
    }
    std::string error;
    if (!joinTemperature(slots[0] ? &contents[0] : nullptr, slots[1] ? &contents[1] : nullptr,
                         day, error)) {
        std::string sources = slots[0] ? slots[0]->path : slots[1]->path;
        if (slots[0] && slots[1]) sources += " and " + slots[1]->path;
        errors.push_back(sources + ": " + error);
        return false;
    }
    return true;
}

bool joinTemperature(const ConsensusFileContents* tv, const ConsensusFileContents* tvc,
                     TemperatureDay& out, std::string& error) {
    const ConsensusFileContents* first = tv ? tv : tvc;
    if (!first) {
        error = "no temperature file";
        return false;
    }
    out = TemperatureDay{};
    out.header = first->temperature.header;
    out.header.variant = 0;
    if (tv && tvc) {
        const DayHeader& a = tv->temperature.header;
        const DayHeader& b = tvc->temperature.header;
        if (a.stationName != b.stationName || a.day.year != b.day.year ||
            a.day.month != b.day.month || a.day.day != b.day.day) {
            error = "the Tv and TvC files are of different stations or days";
            return false;
        }
        if (a.averagingMinutes != b.averagingMinutes) {
            error = "the Tv and TvC files have different averaging intervals";
            return false;
        }
    }
    // Periods in the order they first appear, joined by their time.
    std::map<std::string, std::size_t> index;
    auto add = [&](const TemperatureDay& day, bool isTv) {
        for (const TemperaturePeriod& period : day.periods) {
            const std::string key(period.key, 4);
            auto [it, fresh] = index.emplace(key, out.periods.size());
            if (fresh) {
                out.periods.push_back(period);
                for (TemperatureGate& g : out.periods.back().gates) {
                    (isTv ? g.tvc : g.tv) = kMissingCode;
                }
                continue;
            }
            TemperaturePeriod& joined = out.periods[it->second];
            if (joined.gates.size() != period.gates.size()) {
                error = "period " + key + " has " + std::to_string(joined.gates.size()) +
                        " gates in the Tv file and " + std::to_string(period.gates.size()) +
                        " in the TvC file";
                return false;
            }
            for (std::size_t g = 0; g < period.gates.size(); ++g) {
                if (!sameGateBesidesTemperature(joined.gates[g], period.gates[g])) {
                    error = "period " + key + ", gate " + std::to_string(g) +
                            ": the Tv and TvC files differ in QC code, height, count or SNR";
                    return false;
                }
                joined.gates[g].tvc = period.gates[g].tvc;
            }
        }
        return true;
    };
    if (tv && !add(tv->temperature, true)) return false;
    if (tvc && !add(tvc->temperature, false)) return false;
    return true;
}

}  // namespace qv
