#include "input/binary_moments.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "core/job.h"
#include "input/krx/krx.h"
#include "support/dates.h"
#include "support/scripted_host.h"
#include "support/test_folder.h"
#include "tools/krxwriter/krx_writer.h"

namespace {

namespace fs = std::filesystem;
using krxwriter::DataFile;
using krxwriter::DataRecord;
using krxwriter::HeaderFile;
using krxwriter::HeaderRecord;
using qv::AveragingPeriod;
using qv::BeamAccumulator;
using qv::CalendarTime;
using qv::OutputKind;

// 149.90 MHz, an inter-pulse period of 50 us and 100 coherent integrations
// make a velocity scale of 100 m/s: a stored velocity code is hundredths of
// a metre per second.
constexpr std::int32_t kFrequency = 14990;
constexpr std::int32_t kIpp = 50000;
constexpr std::int16_t kCoherent = 100;
constexpr std::int16_t kPoints = 64;

using qv::test::date;

// 5 May 2004 is day 126; its next day is 127.
const CalendarTime kDay = date(2004, 5, 5);

std::int32_t at(const CalendarTime& d, int hour, int minute, int second = 0) {
    return krxwriter::epoch_seconds(d.year, d.month, d.day, hour, minute, second);
}

// What beam entry 0 of a header describes.
struct Geometry {
    std::int16_t azimuth = 0;
    std::int16_t elevation = 90;  // as stored
    std::int32_t pulseWidth = 700;
    std::int16_t gates = 3;
    bool rass = false;
};

// A header record whose beam entry 0 is the given geometry: direction 0,
// mode 0, first gate 1000 ns after the pulse.
HeaderRecord header(const Geometry& g, const std::string& site = "ABC") {
    HeaderRecord h;
    h.site_name = site;
    h.latitude = 4001;
    h.longitude = -10525;
    h.altitude = 1600;
    h.frequency = kFrequency;
    h.modes[0] = {.ipp = kIpp, .pulse_width = g.pulseWidth, .first_gate_delay = 1000,
                  .gate_spacing = g.pulseWidth, .gate_count = g.gates,
                  .coherent_integrations = kCoherent, .spectral_averages = 1,
                  .spectrum_points = kPoints, .system_delay = 0};
    h.beams = {{.direction = 0, .mode = 0}};
    h.directions = {{.name = "BEAM", .azimuth = g.azimuth, .elevation = g.elevation}};
    h.window1_start = 1;
    h.window1_length = g.rass ? kPoints / 2 : kPoints;
    h.window2_start = kPoints / 2 + 1;
    h.window2_length = g.rass ? kPoints / 2 : 0;
    h.rass_flag = g.rass ? 1 : 0;
    return h;
}

// An unpacked record (format 116): velocity codes in hundredths of m/s and
// signal-to-noise ratios in hundredths of a dB; acoustic values only for
// RASS headers.
DataRecord record(std::int32_t headerOffset, std::int32_t time, const std::vector<int>& velocity,
                  const std::vector<int>& acoustic = {}, std::int16_t beamIndex = 0) {
    DataRecord r;
    r.format_code = 116;
    r.header_offset = headerOffset;
    r.time = time;
    r.beam_index = beamIndex;
    r.carry_counts = true;
    r.coherent_integrations = kCoherent;
    r.spectral_averages = 1;
    for (std::size_t i = 0; i < velocity.size(); ++i) {
        r.window1.push_back({.velocity = static_cast<std::int16_t>(velocity[i]), .width = 10,
                             .snr = static_cast<std::int16_t>(1000 + i), .noise = 0});
    }
    for (std::size_t i = 0; i < acoustic.size(); ++i) {
        r.window2.push_back({.velocity = static_cast<std::int16_t>(acoustic[i]), .width = 10,
                             .snr = static_cast<std::int16_t>(500 + i), .tenths = 0});
    }
    return r;
}

// A host that sets the cancel event once a number of dwells were read.
class CancellingHost : public qv::test::ScriptedHost {
public:
    qv::ConsensusJob* job = nullptr;
    int cancelAfter = 0;
    int dwellsRead = 0;

    void setStatusDetail(const std::string& text) override {
        ScriptedHost::setStatusDetail(text);
        if (text.rfind("Reading data record", 0) == 0 && ++dwellsRead == cancelAfter) {
            job->cancelEvent.set();
        }
    }
};

std::size_t openDescriptors() {
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd")) ++n;
    return n;
}

class BinaryMoments : public ::testing::Test {
protected:
    void SetUp() override {
        krx_reset_state();
        dir_ = qv::test::freshTestFolder("qv_binary");
        host.job = &job;
        job.host = &host;
        job.params.inputPath = dir_.string();
        job.params.averagingMinutes = 60;
        host.output = OutputKind::Winds;
    }
    void TearDown() override {
        krx_reset_state();
        fs::remove_all(dir_);
    }

    std::string path(const std::string& name) const { return (dir_ / name).string(); }

    void writePair(const std::string& dataName, const DataFile& data, const HeaderFile& headers) {
        ASSERT_TRUE(krxwriter::writePair(path(dataName), data, headers));
    }

    // A pair named `dataName` with one beam and one dwell per time.
    void writeDwells(const std::string& dataName, const std::vector<std::int32_t>& times,
                     const Geometry& g = {}, const std::vector<int>& velocity = {100, 200, 300}) {
        HeaderFile headers;
        const std::int32_t h = headers.add(header(g));
        DataFile data;
        for (std::int32_t t : times) data.add(record(h, t, velocity));
        writePair(dataName, data, headers);
    }

    // The next day's pair with one dwell of its own day.
    void writeNextDay(const Geometry& g = {}) {
        writeDwells("d04127a.mom", {at(date(2004, 5, 6), 1, 0)}, g);
    }

    int run(const CalendarTime& day = kDay) { return qv::GetBinaryMoments(job, day); }

    std::vector<std::string> keys() { return qv::test::periodKeys(job); }

    AveragingPeriod* period(const std::string& key) { return qv::test::findPeriod(job, key); }

    BeamAccumulator* beam(const std::string& key, std::size_t position = 0) {
        AveragingPeriod* p = period(key);
        return p ? p->beams.findByPosition(position) : nullptr;
    }

    bool detailShown(const std::string& text) const {
        for (const std::string& line : host.detailLines) {
            if (line == text) return true;
        }
        return false;
    }

    fs::path dir_;
    CancellingHost host;
    qv::ConsensusJob job;
};

// --- Opening the day's pair --------------------------------------------------

TEST_F(BinaryMoments, MissingPairReportsTheSpcPathAndStops) {
    struct Case {
        const char* label;
        bool trailingSlash;
        const char* dataOnly;  // a data file without its header file, or none
    };
    const Case cases[] = {
        {"no files", false, nullptr},
        {"folder ending in '/'", true, nullptr},
        {"data file without header file", false, "d04126a.mom"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        qv::ConsensusJob fresh;
        qv::test::ScriptedHost quiet;
        fresh.host = &quiet;
        fresh.params.averagingMinutes = 60;
        fresh.params.inputPath = dir_.string() + (c.trailingSlash ? "/" : "");
        quiet.output = OutputKind::Winds;
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        if (c.dataOnly) {
            writeDwells(c.dataOnly, {at(kDay, 12, 0)});
            fs::remove(krxwriter::headerPathFor(path(c.dataOnly)));
        }

        EXPECT_EQ(qv::GetBinaryMoments(fresh, kDay), 0);
        const std::string text =
            "GetBinaryMoments Error: KRX can not open input file " + dir_.string() + "/d04126a.spc";
        EXPECT_EQ(fresh.statusText, text);
        EXPECT_EQ(quiet.errors, std::vector<std::string>{text});  // the next day is not tried
        EXPECT_TRUE(fresh.periods.empty());
    }
}

TEST_F(BinaryMoments, FirstStatusLineAnnouncesUnpacking) {
    run();
    ASSERT_FALSE(host.mainLines.empty());
    EXPECT_EQ(host.mainLines.front(), "Unpacking binary moments.");
}

TEST_F(BinaryMoments, DataFileIsFoundByNameThenSpcThenWithoutRegardToCase) {
    struct Case {
        const char* label;
        std::vector<std::pair<const char*, const char*>> files;  // data name, header name
        float expected;  // gate 0 of the dwell read: 1 m/s from .mom, 2 m/s from .spc
    };
    // Each file carries its own velocity code, so the sample shows which was read.
    const Case cases[] = {
        {".mom before .spc", {{"d04126a.mom", "h04126a.mom"}, {"d04126a.spc", "h04126a.spc"}}, 1.0f},
        {".spc when there is no .mom", {{"d04126a.spc", "h04126a.spc"}}, 2.0f},
        {"upper-case pair", {{"D04126A.MOM", "H04126A.MOM"}}, 1.0f},
        {"upper-case header only", {{"d04126a.mom", "H04126A.MOM"}}, 1.0f},
        {"upper-case .spc pair", {{"D04126A.SPC", "H04126A.SPC"}}, 2.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        qv::ConsensusJob fresh;
        qv::test::ScriptedHost quiet;
        fresh.host = &quiet;
        fresh.params.averagingMinutes = 60;
        fresh.params.inputPath = dir_.string();
        quiet.output = OutputKind::Winds;
        for (const auto& [dataName, headerName] : c.files) {
            const std::string name = dataName;
            const bool mom = name.find("mom") != std::string::npos || name.find("MOM") != std::string::npos;
            const int code = mom ? 100 : 200;
            HeaderFile headers;
            const std::int32_t h = headers.add(header({}));
            DataFile data;
            data.add(record(h, at(kDay, 12, 30), {code, code, code}));
            ASSERT_TRUE(krxwriter::writeFile(path(dataName), data.bytes()));
            ASSERT_TRUE(krxwriter::writeFile(path(headerName), headers.bytes()));
        }

        // No next day's pair: the call stops there, after the day's dwells.
        EXPECT_EQ(qv::GetBinaryMoments(fresh, kDay), 0);
        ASSERT_EQ(quiet.errors.size(), 1u);
        EXPECT_EQ(quiet.errors[0],
                  "GetBinaryMoments Error: KRX can not open input file " + dir_.string() + "/d04127a.spc");
        ASSERT_EQ(fresh.periods.count(), 1u);
        BeamAccumulator* b = fresh.periods.findByPosition(std::size_t{0})->beams.findByPosition(std::size_t{0});
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(b->velocitySamples(0)[0], c.expected);
    }
}

TEST_F(BinaryMoments, YearChangeReadsTheNextYearsFirstDay) {
    const CalendarTime lastDay = date(2004, 12, 31);  // day 366 of a leap year
    writeDwells("d04366a.mom", {at(lastDay, 12, 30)});
    writeDwells("d05001a.mom", {at(lastDay, 23, 59), at(date(2005, 1, 1), 0, 3)});

    EXPECT_EQ(run(lastDay), 1);
    EXPECT_TRUE(host.errors.empty());
    EXPECT_EQ(keys(), (std::vector<std::string>{"1200", "2300"}));
    ASSERT_NE(beam("2300"), nullptr);
    EXPECT_EQ(beam("2300")->sampleCount, 1);

    fs::remove(path("d05001a.mom"));
    krx_reset_state();
    qv::ConsensusJob fresh;
    qv::test::ScriptedHost quiet;
    fresh.host = &quiet;
    fresh.params.inputPath = dir_.string();
    fresh.params.averagingMinutes = 60;
    quiet.output = OutputKind::Winds;
    EXPECT_EQ(qv::GetBinaryMoments(fresh, lastDay), 0);
    EXPECT_EQ(fresh.statusText,
              "GetBinaryMoments Error: KRX can not open input file " + dir_.string() + "/d05001a.spc");
}

TEST_F(BinaryMoments, NinetiesDaysAreAskedForByCalendarYear) {
    // 15 June 1999 is day 166. Asked for a century later, only the last
    // record would be loaded.
    const CalendarTime day = date(1999, 6, 15);
    writeDwells("d99166a.mom", {at(day, 10, 30), at(day, 11, 30), at(day, 12, 30)});
    writeDwells("d99167a.mom", {at(date(1999, 6, 16), 1, 0)});

    EXPECT_EQ(run(day), 1);
    EXPECT_EQ(keys(), (std::vector<std::string>{"1000", "1100", "1200"}));
}

TEST_F(BinaryMoments, NextDaysFileDeliversTheProcessingDaysLastDwells) {
    const CalendarTime nextDay = date(2004, 5, 6);
    // The day's file begins with a dwell of the day before, which lies
    // before the day's start and is not delivered.
    writeDwells("d04126a.mom", {at(date(2004, 5, 4), 23, 50), at(kDay, 12, 30)});
    writeDwells("d04127a.mom", {at(kDay, 23, 57), at(nextDay, 0, 0), at(nextDay, 0, 30)});

    EXPECT_EQ(run(), 1);
    EXPECT_EQ(keys(), (std::vector<std::string>{"1200", "2300"}));
    ASSERT_NE(beam("2300"), nullptr);
    EXPECT_EQ(beam("2300")->sampleCount, 1);
    EXPECT_FALSE(detailShown("Reading data record 05/04/2004 23:50:00"));
    // The next day's own dwells are read and dropped by the day test.
    EXPECT_TRUE(detailShown("Reading data record 05/06/2004 00:30:00"));
}

// --- Dwells --------------------------------------------------------------------

TEST_F(BinaryMoments, WindsSkipRassDwellsAndTemperaturePassesThemTwice) {
    HeaderFile headers;
    const std::int32_t radar = headers.add(header({.azimuth = 90, .elevation = 7500}));
    const std::int32_t rass = headers.add(header({.rass = true}));
    DataFile data;
    data.add(record(radar, at(kDay, 12, 10), {100, 200, 300}));
    data.add(record(rass, at(kDay, 12, 20), {-50, 60, 70}, {30000, 31000, 32000}));
    writePair("d04126a.mom", data, headers);
    writeDwells("d04127a.mom", {at(date(2004, 5, 6), 1, 0)});

    struct Case {
        OutputKind kind;
        std::vector<std::int32_t> rassFlags;       // per accumulator of period 1200
        std::vector<std::int16_t> azimuths;        // per accumulator
        std::vector<float> gate1;                  // velocity of gate 1, per accumulator
        std::vector<float> snrGate0;               // SNR of gate 0, per accumulator
    };
    const Case cases[] = {
        {OutputKind::Winds, {0}, {90}, {2.0f}, {10.0f}},
        {OutputKind::Temperature, {0, 1}, {0, 0}, {0.6f, 310.0f}, {10.0f, 5.0f}},
        {OutputKind::None, {}, {}, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.kind));
        qv::ConsensusJob fresh;
        qv::test::ScriptedHost quiet;
        fresh.host = &quiet;
        fresh.params.inputPath = dir_.string();
        fresh.params.averagingMinutes = 60;
        quiet.output = c.kind;

        EXPECT_EQ(qv::GetBinaryMoments(fresh, kDay), 1);
        AveragingPeriod* p = nullptr;
        for (AveragingPeriod* q : fresh.periods) {
            if (std::string(q->key) == "1200") p = q;
        }
        if (c.rassFlags.empty()) {
            EXPECT_TRUE(fresh.periods.empty());
            continue;
        }
        ASSERT_NE(p, nullptr);
        ASSERT_EQ(p->beams.count(), c.rassFlags.size());
        ASSERT_EQ(fresh.beamSettings.count(), c.rassFlags.size());
        for (std::size_t i = 0; i < c.rassFlags.size(); ++i) {
            BeamAccumulator* b = p->beams.findByPosition(i);
            EXPECT_EQ(b->rassFlag, c.rassFlags[i]);
            EXPECT_EQ(b->azimuth, c.azimuths[i]);
            EXPECT_EQ(b->sampleCount, 1);
            EXPECT_EQ(b->velocitySamples(1)[0], c.gate1[i]);
            EXPECT_EQ(b->snrSamples(0)[0], c.snrGate0[i]);
            EXPECT_EQ(fresh.beamSettings.findByPosition(i)->rassFlag, c.rassFlags[i]);
        }
    }
}

TEST_F(BinaryMoments, GeometryTakesDegreesUpTo90AndHundredthsAbove) {
    struct Case {
        std::int16_t storedElevation;
        std::int32_t pulseWidth;
        float elevation;
        float gateSpacing;
        std::int32_t firstGateHeight;  // 1000 ns of delay, along the vertical
    };
    const Case cases[] = {
        {7500, 700, 75.0f, 104.99999237060547f, 145},
        {90, 700, 90.0f, 104.99999237060547f, 150},
        {45, 500, 45.0f, 74.999992370605469f, 106},
        {6640, 1000, 66.400001525878906f, 149.99998474121094f, 137},
        {9000, 1400, 90.0f, 209.99998474121094f, 150},
        {91, 700, 0.90999996662139893f, 104.99999237060547f, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.storedElevation);
        krx_reset_state();
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        const Geometry g{.azimuth = 33, .elevation = c.storedElevation, .pulseWidth = c.pulseWidth};
        writeDwells("d04126a.mom", {at(kDay, 12, 30)}, g);
        writeNextDay(g);
        qv::ConsensusJob fresh;
        qv::test::ScriptedHost quiet;
        fresh.host = &quiet;
        fresh.params.inputPath = dir_.string();
        fresh.params.averagingMinutes = 60;
        quiet.output = OutputKind::Winds;

        qv::GetBinaryMoments(fresh, kDay);
        ASSERT_EQ(fresh.periods.count(), 1u);
        BeamAccumulator* b = fresh.periods.findByPosition(std::size_t{0})->beams.findByPosition(std::size_t{0});
        EXPECT_EQ(b->azimuth, 33);
        EXPECT_EQ(b->elevation, c.elevation);
        EXPECT_EQ(b->pulseWidth, c.pulseWidth);
        EXPECT_EQ(b->gateSpacing, c.gateSpacing);
        EXPECT_EQ(b->firstGateHeight, c.firstGateHeight);
        EXPECT_EQ(b->maxGateCount, 3);
    }
}

TEST_F(BinaryMoments, SiteFieldsComeFromTheHeaderWithTheNameLowerCased) {
    struct Case {
        const char* stored;
        const char* name;
    };
    const Case cases[] = {{"ABC", "abc"}, {"MixedCase-9", "mixedcase-9"}, {"low", "low"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        HeaderFile headers;
        const std::int32_t h = headers.add(header({}, c.stored));
        DataFile data;
        data.add(record(h, at(kDay, 12, 30), {1, 2, 3}));
        writePair("d04126a.mom", data, headers);
        writePair("d04127a.mom", data, headers);

        run();
        EXPECT_EQ(job.record.stationName, c.name);
        EXPECT_EQ(job.record.latitudeCenti, 4001);
        EXPECT_EQ(job.record.longitudeCenti, -10525);
        EXPECT_EQ(job.record.siteElevation, 1600);
    }
}

TEST_F(BinaryMoments, RecordOfBeamIndex2TakesBeamEntry0) {
    HeaderRecord h = header({.azimuth = 0, .elevation = 90, .pulseWidth = 700, .gates = 3});
    h.modes[1] = h.modes[0];
    h.modes[1].pulse_width = 1400;
    h.modes[1].gate_count = 5;
    h.beams = {{.direction = 0, .mode = 0}, {.direction = 1, .mode = 0}, {.direction = 2, .mode = 1}};
    h.directions.push_back({.name = "EAST", .azimuth = 90, .elevation = 7500});
    h.directions.push_back({.name = "SOUTH", .azimuth = 180, .elevation = 6640});
    HeaderFile headers;
    const std::int32_t offset = headers.add(h);
    DataFile data;
    // Beam entry 2's mode has 5 gates, so the record holds 5 entries.
    data.add(record(offset, at(kDay, 12, 30), {11, 12, 13, 14, 15}, {}, 2));
    writePair("d04126a.mom", data, headers);
    writeNextDay();

    EXPECT_EQ(run(), 1);
    BeamAccumulator* b = beam("1200");
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->azimuth, 0);
    EXPECT_EQ(b->elevation, 90.0f);
    EXPECT_EQ(b->pulseWidth, 700);
    EXPECT_EQ(b->firstGateHeight, 150);
    EXPECT_EQ(b->maxGateCount, 3);
    EXPECT_EQ(b->velocitySamples(2)[0], 0.13f);
    // The record's fourth entry is not stored (the gate is not in use).
    EXPECT_NE(b->velocitySamples(3)[0], 0.14f);
}

TEST_F(BinaryMoments, GatesTheRecordDoesNotFillAreMissing) {
    // Dwell 1 fills all four gates; dwell 2 names a beam whose mode has two
    // gates; dwell 3 points at a header without receivers. Neither may show
    // the earlier dwell's values.
    HeaderRecord h = header({.gates = 4});
    h.modes[1] = h.modes[0];
    h.modes[1].gate_count = 2;
    h.beams = {{.direction = 0, .mode = 0}, {.direction = 0, .mode = 1}};
    HeaderRecord silent = header({.gates = 4});
    silent.receiver_count = 0;
    HeaderFile headers;
    const std::int32_t full = headers.add(h);
    const std::int32_t none = headers.add(silent);
    DataFile data;
    data.add(record(full, at(kDay, 12, 10), {101, 102, 103, 104}));
    data.add(record(full, at(kDay, 12, 20), {201, 202}, {}, 1));
    data.add(record(none, at(kDay, 12, 30), {}));
    writePair("d04126a.mom", data, headers);
    writeNextDay();

    EXPECT_EQ(run(), 1);
    BeamAccumulator* b = beam("1200");
    ASSERT_NE(b, nullptr);
    // The record of the header without receivers holds none of the entries
    // that header describes (its length does not fit): it is not used, and
    // the day says so.
    ASSERT_EQ(b->sampleCount, 2);
    EXPECT_EQ(b->velocitySamples(3)[0], 1.04f);
    EXPECT_EQ(b->velocitySamples(1)[1], 2.02f);
    for (int g = 2; g < 4; ++g) {
        EXPECT_TRUE(std::isnan(b->velocitySamples(g)[1])) << g;
        EXPECT_TRUE(std::isnan(b->snrSamples(g)[1])) << g;
    }
    ASSERT_EQ(job.incompleteDays.size(), 1u);
    EXPECT_NE(job.incompleteDays[0].find("d04126a.mom: 1 of 3 records do not agree with their "
                                         "header records (first: record 3 at byte "),
              std::string::npos)
        << job.incompleteDays[0];
}

TEST_F(BinaryMoments, OnlyTheFirstGateCountEntriesAreTaken) {
    struct Case {
        const char* label;
        std::int16_t gates;
        std::int16_t receivers;
        int storedGates;    // gates the store keeps
        int lastGate;       // gate whose value is checked
        float lastValue;
    };
    // Two receivers halve the velocity scale: code 200 is then 1 m/s.
    const Case cases[] = {
        {"two receivers", 3, 2, 3, 2, 0.015f},
        {"more gates than the store holds", 120, 1, 100, 99, 1.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        HeaderRecord h = header({.gates = c.gates});
        h.receiver_count = c.receivers;
        std::vector<int> codes;
        for (int i = 0; i < c.gates * c.receivers; ++i) codes.push_back(i + 1);
        HeaderFile headers;
        const std::int32_t offset = headers.add(h);
        DataFile data;
        data.add(record(offset, at(kDay, 12, 30), codes));
        writePair("d04126a.mom", data, headers);
        writeNextDay();
        qv::ConsensusJob fresh;
        qv::test::ScriptedHost quiet;
        fresh.host = &quiet;
        fresh.params.inputPath = dir_.string();
        fresh.params.averagingMinutes = 60;
        quiet.output = OutputKind::Winds;

        EXPECT_EQ(qv::GetBinaryMoments(fresh, kDay), 1);
        ASSERT_EQ(fresh.periods.count(), 1u);
        BeamAccumulator* b = fresh.periods.findByPosition(std::size_t{0})->beams.findByPosition(std::size_t{0});
        EXPECT_EQ(b->maxGateCount, c.storedGates);
        EXPECT_EQ(b->velocitySamples(c.lastGate)[0], c.lastValue);
    }
}

// --- Cancel and errors -----------------------------------------------------------

TEST_F(BinaryMoments, CancelEndsTheFileAfterTheDwellAndTheNextDayStillGivesOne) {
    writeDwells("d04126a.mom", {at(kDay, 12, 10), at(kDay, 12, 20), at(kDay, 12, 30), at(kDay, 12, 40)});
    writeDwells("d04127a.mom", {at(kDay, 23, 57), at(kDay, 23, 58), at(kDay, 23, 59)});
    host.cancelAfter = 2;

    EXPECT_EQ(run(), 1);
    ASSERT_NE(beam("1200"), nullptr);
    EXPECT_EQ(beam("1200")->sampleCount, 2);
    ASSERT_NE(beam("2300"), nullptr);
    EXPECT_EQ(beam("2300")->sampleCount, 1);
    EXPECT_TRUE(job.cancelEvent.poll());  // left for the worker to see
}

TEST_F(BinaryMoments, LibraryFailuresAreReportedWithTheirTexts) {
    struct Case {
        const char* label;
        const char* text;
        int result;
        int errors;  // host reports
    };
    const Case cases[] = {
        {"header record unreadable", "GetBinaryMoments Error: KRX can not set radar index zero.", 0, 1},
        {"first record cut short", "GetBinaryMoments Error: KRX cannot set time 04126 0:0:0.", 0, 1},
        {"beam entry 0 names no mode",
         "GetBinaryMoments Error: KRX can not get beam information. Moving to next record", 1, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        krx_reset_state();
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        HeaderFile headers;
        DataFile data;
        const std::string label = c.label;
        if (label == "header record unreadable") {
            const std::int32_t garbage = headers.addBytes(krxwriter::Bytes(700, 0xEE));
            data.add(record(garbage, at(kDay, 12, 0), {1, 2, 3}));
        } else if (label == "first record cut short") {
            const std::int32_t h = headers.add(header({}));
            DataFile whole;
            whole.add(record(h, at(kDay, 12, 0), {1, 2, 3}));
            // Format code, length and header offset only: the header is
            // read, the record is not.
            data.addBytes(krxwriter::truncated(whole.bytes(), 8));
        } else {
            // The records name beam entry 1, which is sound.
            HeaderRecord h = header({});
            h.beams = {{.direction = 0, .mode = 7}, {.direction = 0, .mode = 0}};
            const std::int32_t offset = headers.add(h);
            data.add(record(offset, at(kDay, 12, 0), {1, 2, 3}, {}, 1));
            data.add(record(offset, at(kDay, 12, 10), {1, 2, 3}, {}, 1));
        }
        writePair("d04126a.mom", data, headers);
        writePair("d04127a.mom", data, headers);
        qv::ConsensusJob fresh;
        qv::test::ScriptedHost quiet;
        fresh.host = &quiet;
        fresh.params.inputPath = dir_.string();
        fresh.params.averagingMinutes = 60;
        quiet.output = OutputKind::Winds;

        EXPECT_EQ(qv::GetBinaryMoments(fresh, kDay), c.result);
        ASSERT_EQ(quiet.errors.size(), static_cast<std::size_t>(c.errors)) << quiet.errors.front();
        for (const std::string& e : quiet.errors) EXPECT_EQ(e, c.text);
        EXPECT_EQ(fresh.dayError, c.text);
        EXPECT_TRUE(fresh.periods.empty());
        if (c.result == 0) {
            EXPECT_EQ(fresh.statusText, c.text);
        }
    }
}

TEST_F(BinaryMoments, LibraryFilesAreClosedOnEveryWayOut) {
    struct Case {
        const char* label;
        bool dayPair;
        bool nextPair;
        bool garbageHeader;
        int cancelAfter;
    };
    const Case cases[] = {
        {"both pairs read", true, true, false, 0},
        {"next day missing", true, false, false, 0},
        {"day missing", false, false, false, 0},
        {"radar index refused", true, true, true, 0},
        {"cancelled", true, true, false, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        krx_reset_state();
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        if (c.garbageHeader) {
            HeaderFile headers;
            const std::int32_t garbage = headers.addBytes(krxwriter::Bytes(700, 0xEE));
            DataFile data;
            data.add(record(garbage, at(kDay, 12, 0), {1, 2, 3}));
            writePair("d04126a.mom", data, headers);
        } else {
            if (c.dayPair) writeDwells("d04126a.mom", {at(kDay, 12, 0), at(kDay, 12, 10)});
            if (c.nextPair) writeDwells("d04127a.mom", {at(kDay, 23, 59), at(kDay, 23, 59, 30)});
        }
        qv::ConsensusJob fresh;
        CancellingHost quiet;
        quiet.job = &fresh;
        quiet.cancelAfter = c.cancelAfter;
        fresh.host = &quiet;
        fresh.params.inputPath = dir_.string();
        fresh.params.averagingMinutes = 60;
        quiet.output = OutputKind::Winds;

        const std::size_t before = openDescriptors();
        qv::GetBinaryMoments(fresh, kDay);
        EXPECT_EQ(openDescriptors(), before);
    }
}

// Every truncation and every damaged byte of a day's pair ends the call
// without reading or writing outside any array.
TEST_F(BinaryMoments, CorruptedPairsEndCleanly) {
    HeaderFile headers;
    const std::int32_t radar = headers.add(header({.azimuth = 90, .elevation = 7500}));
    const std::int32_t rass = headers.add(header({.gates = 2, .rass = true}));
    DataFile data;
    data.add(record(radar, at(kDay, 12, 10), {100, 200, 300}));
    data.add(record(rass, at(kDay, 12, 20), {-50, 60}, {30000, 31000}));
    data.add(record(radar, at(kDay, 12, 30), {100, 200, 300}));
    const krxwriter::Bytes goodData = data.bytes();
    const krxwriter::Bytes goodHeaders = headers.bytes();
    host.output = OutputKind::Temperature;

    // Only the file that changed is written again.
    krxwriter::Bytes writtenData, writtenHeaders;
    bool written = false;
    auto attempt = [&](const krxwriter::Bytes& d, const krxwriter::Bytes& h) {
        if (!written || d != writtenData) {
            ASSERT_TRUE(krxwriter::writeFile(path("d04126a.mom"), d));
            writtenData = d;
        }
        if (!written || h != writtenHeaders) {
            ASSERT_TRUE(krxwriter::writeFile(path("h04126a.mom"), h));
            writtenHeaders = h;
        }
        written = true;
        job.cancelEvent.reset();
        const int result = run();
        EXPECT_TRUE(result == 0 || result == 1);
    };
    for (std::size_t n = 0; n < goodData.size(); ++n) attempt(krxwriter::truncated(goodData, n), goodHeaders);
    for (std::size_t n = 0; n < goodHeaders.size(); n += 7) attempt(goodData, krxwriter::truncated(goodHeaders, n));
    for (std::size_t i = 0; i < goodData.size(); ++i) {
        for (std::uint8_t value : {std::uint8_t{0x00}, std::uint8_t{0x7F}, std::uint8_t{0xFF}}) {
            krxwriter::Bytes d = goodData;
            d[i] = value;
            attempt(d, goodHeaders);
        }
    }
    for (std::size_t i = 0; i < goodHeaders.size(); i += 3) {
        krxwriter::Bytes h = goodHeaders;
        h[i] = static_cast<std::uint8_t>(h[i] ^ 0xA5);
        attempt(goodData, h);
    }
    // The library still works after all that.
    krx_reset_state();
    qv::ClearPeriodStore(job);
    attempt(goodData, goodHeaders);
    EXPECT_NE(period("1200"), nullptr);
}

}  // namespace
