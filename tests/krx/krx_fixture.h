// Shared fixture of the KRX library tests: a temporary folder, a clean
// library state per test, and a standard pair built with the KRX writer.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "input/krx/krx.h"
#include "input/krx/krx_state.h"
#include "input/krx/memtrack.h"
#include "tools/krxwriter/krx_writer.h"

namespace krxtest {

using krxwriter::DataFile;
using krxwriter::DataRecord;
using krxwriter::FirstWindowEntry;
using krxwriter::HeaderFile;
using krxwriter::HeaderRecord;
using krxwriter::SecondWindowEntry;

inline constexpr std::int32_t kFrequency = 91500;  // 915.00 MHz
inline constexpr std::int32_t kIpp = 40000;        // ns
inline constexpr std::int16_t kGates = 4;
inline constexpr std::int16_t kPoints = 8;
inline constexpr std::int16_t kCoherent = 100;

// 5 May 2004 (day 126) at the given time, seconds since 1970.
inline std::int32_t at(int hour, int minute, int second = 0) {
    return krxwriter::epoch_seconds(2004, 5, 5, hour, minute, second);
}

// The velocity scale of a record, as the library stores it (single precision).
inline float velocityScale(std::int32_t frequency, std::int32_t ipp, int coherent, int receivers) {
    return static_cast<float>((149.9 / (frequency * 0.01)) * 500000000.0 / ipp / coherent /
                              receivers);
}

// One radar, two beams: 0 vertical (direction 0), 1 oblique (direction 1),
// both in mode 0 with kGates gates of kPoints points; no second window.
inline HeaderRecord standardHeader() {
    HeaderRecord h;
    h.version = 103;
    h.site_name = "ABC";
    h.latitude = 4012;
    h.longitude = -10525;
    h.altitude = 1600;
    h.frequency = kFrequency;
    h.modes[0] = {.ipp = kIpp,
                  .pulse_width = 700,
                  .first_gate_delay = 3000,
                  .gate_spacing = 700,
                  .gate_count = kGates,
                  .coherent_integrations = kCoherent,
                  .spectral_averages = 20,
                  .spectrum_points = kPoints,
                  .system_delay = 200};
    h.beams = {{.direction = 0, .mode = 0}, {.direction = 1, .mode = 0}};
    h.directions = {{.name = "VERTICAL", .azimuth = 0, .elevation = 90},
                    {.name = "NORTH", .azimuth = 15, .elevation = 7500}};
    h.window1_start = 1;
    h.window1_length = kPoints;
    h.window2_start = 1;
    h.window2_length = 0;
    h.receiver_count = 1;
    return h;
}

// A packed record (format 16) of kGates entries whose velocity codes are
// base, base + 1, ...; carries no counts, so its mode's counts stay.
inline DataRecord packedRecord(std::int32_t headerOffset, std::int32_t time, std::int16_t beam = 0,
                               std::int16_t base = 100) {
    DataRecord r;
    r.format_code = 16;
    r.header_offset = headerOffset;
    r.time = time;
    r.beam_index = beam;
    r.carry_counts = false;
    for (int i = 0; i < kGates; ++i) {
        r.window1.push_back({.velocity = static_cast<std::int16_t>(base + i),
                             .width = 10,
                             .snr = static_cast<std::int16_t>(i),
                             .noise = 0});
    }
    return r;
}

class KrxTest : public ::testing::Test {
  protected:
    void SetUp() override {
        krx_reset_state();
        reset_allocation_log();
        set_allocation_failure_hook(nullptr);
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        dir_ = std::filesystem::temp_directory_path() /
               ("quorvane_krx_" + std::string(info->test_suite_name()) + "_" + info->name() + "_" +
                std::to_string(stamp));
        std::filesystem::create_directories(dir_);
    }

    void TearDown() override {
        krx_reset_state();
        set_allocation_failure_hook(nullptr);
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }

    std::string pathOf(const std::string& name) const { return (dir_ / name).string(); }

    // Writes the pair as d04126a.mom (or `name`) and its header file.
    std::string writePair(const DataFile& data, const HeaderFile& headers,
                          const std::string& name = "d04126a.mom") const {
        const std::string path = pathOf(name);
        EXPECT_TRUE(krxwriter::writePair(path, data, headers));
        return path;
    }

    std::string writePair(const krxwriter::Bytes& data, const krxwriter::Bytes& headers,
                          const std::string& name = "d04126a.mom") const {
        const std::string path = pathOf(name);
        EXPECT_TRUE(krxwriter::writePair(path, data, headers));
        return path;
    }

    // The current record's time as stored.
    static std::int32_t currentTime() {
        return krx_get_time(nullptr, nullptr, nullptr, nullptr, nullptr);
    }

    static std::vector<float> velocities(int capacity) {
        std::vector<float> v(static_cast<std::size_t>(capacity), -999.0f);
        krx_get_velocity(v.data(), capacity);
        return v;
    }

    // Opens the pair and loads the record at or after hour:minute of the
    // standard day; true when both succeeded.
    static bool openAt(const std::string& path, int hour, int minute, std::int16_t flags = 0) {
        if (krx_set_file(path.c_str(), flags) != 1) return false;
        krx_set_radar_index(0);
        std::int16_t changed = 0;
        const bool ok = krx_set_time(2004, 126, static_cast<std::int16_t>(hour),
                                     static_cast<std::int16_t>(minute), 0, &changed) == 1;
        krx_set_beam(-1);
        return ok;
    }

    std::filesystem::path dir_;
};

}  // namespace krxtest
