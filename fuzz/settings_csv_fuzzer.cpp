// The batch tool's beam settings file: read, reviewed against a table built
// from the rows, described, written and read back. A file that reads must
// read back to the same rows from what the tool writes.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "core/settings_csv.h"
#include "core/store.h"

namespace {

bool sameFloat(float a, float b) { return a == b || (std::isnan(a) && std::isnan(b)); }

[[noreturn]] void fail(const char* what, const std::string& detail) {
    std::fprintf(stderr, "settings_csv_fuzzer: %s: %s\n", what, detail.c_str());
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace qv;
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    std::vector<SettingsRow> rows;
    std::string error;
    if (!readSettingsCsv(in, "fuzz.csv", rows, error)) {
        if (error.empty()) fail("a rejected file gave no reason", "");
        return 0;
    }

    // The table the rows describe, as the review would find it: identities
    // only, then the rows' values through the review.
    std::vector<qv::BeamSetting> settings(rows.size());
    qv::RecordList<qv::BeamSetting> table;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        settings[i].azimuth = rows[i].azimuth;
        settings[i].elevation = rows[i].elevation;
        settings[i].pulseWidth = rows[i].pulseWidth;
        settings[i].rassFlag = rows[i].rassFlag;
        table.append(&settings[i]);
    }
    ReviewDefaults defaults;
    const std::vector<const qv::BeamSetting*> missing = reviewTable(table, rows, defaults);
    for (const qv::BeamSetting* s : missing) (void)describeMissingBeam(*s);
    (void)settingsTableLines(table);

    std::ostringstream out;
    writeSettingsCsv(out, table);
    std::istringstream back(out.str());
    std::vector<SettingsRow> again;
    if (!readSettingsCsv(back, "written.csv", again, error)) fail("written file rejected", error);
    if (again.size() != rows.size()) fail("row count changed", out.str());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const SettingsRow& a = rows[i];
        const SettingsRow& b = again[i];
        const bool sameIdentity = a.azimuth == b.azimuth && sameFloat(a.elevation, b.elevation) &&
                                  a.pulseWidth == b.pulseWidth && a.rassFlag == b.rassFlag;
        // A row whose elevation is not a number matches no beam, so the
        // table written keeps no values for it.
        const bool sameValues = std::isnan(a.elevation) ||
                                (a.window.has_value() == b.window.has_value() &&
                                 (!a.window || sameFloat(*a.window, *b.window)) &&
                                 a.threshold == b.threshold);
        const bool same = sameIdentity && sameValues;
        if (!same) fail("a row did not read back the same", out.str());
    }
    return 0;
}
