// Damaged and foreign netCDF files fail with a message naming the file and
// this process goes on, whatever the library does with the bytes; the child
// process that runs the library, tried with reads that crash, hang, end
// early or give every field of a day.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <limits>
#include <new>
#include <random>
#include <thread>

#include "output/netcdf_file.h"
#include "output/netcdf_isolated.h"
#include "output_test_support.h"

namespace qv::test {
namespace {

// 4 periods of 5 gates. The damage table's offsets are of the file this
// day makes: change it and they must be found again.
WindDay damageDay() {
    WindDay day;
    DayHeader& h = day.header;
    h.fileKind = OutputKind::Winds;
    h.stationName = "QVSITE";
    h.day = CalendarTime{2004, 6, 0, 15};
    h.averagingMinutes = 30;
    h.latitudeCenti = 4001;
    h.longitudeCenti = -10525;
    h.siteElevation = 1611;
    h.variant = 2;
    h.dataSourceText = "QAV";
    h.verticalPolicy = VerticalPolicy::WhenAvailable;
    h.beams = {HeaderBeam{90, 66.4f, 10, 50, 2.0f}, HeaderBeam{90, 66.4f, 10, 50, 2.0f}};
    for (int t = 0; t < 4; ++t) {
        WindPeriod p;
        std::snprintf(p.key, sizeof p.key, "%02d30", t);
        for (int g = 0; g < 5; ++g) {
            p.gates.push_back(WindGate{0, 1761.0L + 60 * g, 4.5f + static_cast<float>(g),
                                       200 + g, 1.25f, -2.5f, 0.1f, 10});
        }
        day.periods.push_back(p);
    }
    return day;
}

std::string damageDayBytes() {
    std::string bytes, error;
    EXPECT_TRUE(makeWindNetcdf(damageDay(), NetcdfContext{"2026-01-01T00:00:00Z test", "9.9"},
                               "damage.nc", bytes, error))
        << error;
    return bytes;
}

std::string flipped(std::string bytes, std::size_t offset) {
    for (std::size_t i = offset; i < offset + 3; ++i) bytes[i] = static_cast<char>(~bytes[i]);
    return bytes;
}

// No child of this process is left unreaped.
bool noChildLeft() {
    int status = 0;
    return ::waitpid(-1, &status, WNOHANG) < 0 && errno == ECHILD;
}

// Every field of a day as text, numbers by their bytes (floats bit for bit;
// a long double's 10 bytes of value).
template <typename T>
std::string bytesOf(const T& value) {
    const std::size_t size = std::is_same_v<T, long double> ? 10 : sizeof(T);
    unsigned char b[sizeof(T)];
    std::memcpy(b, &value, sizeof(T));
    std::string out;
    for (std::size_t i = 0; i < size; ++i) {
        out += "0123456789abcdef"[b[i] >> 4];
        out += "0123456789abcdef"[b[i] & 15];
    }
    return out + ' ';
}
std::string bytesOf(const std::string& text) { return std::to_string(text.size()) + ":" + text; }
std::string bytesOf(const char (&key)[5]) { return std::string(key, 5); }
template <typename... T>
std::string fields(const T&... values) {
    return (bytesOf(values) + ...) + '|';
}

std::string fieldsOf(const DayHeader& h) {
    std::string out = fields(static_cast<int>(h.fileKind), h.variant, h.outputKindText,
                             h.dataSourceText, h.stationName, h.day.year, h.day.month,
                             h.day.dayOfWeek, h.day.day, h.day.hour, h.day.minute, h.day.second,
                             h.day.milliseconds, h.latitudeCenti, h.longitudeCenti,
                             h.siteElevation, h.averagingMinutes, h.pulseWidth, h.gateSpacing);
    for (const HeaderBeam& b : h.beams) {
        out += fields(b.azimuth, b.elevation, b.sampleCount, b.consensusPercent,
                      b.consensusWindow);
    }
    return out + fields(static_cast<int>(h.verticalPolicy), h.correctedWinds, h.continuityChecked);
}

std::string fieldsOf(const ConsensusFileContents& c) {
    std::string out = fields(static_cast<int>(c.kind), c.temperatureDigit) +
                      fieldsOf(c.winds.header) + fieldsOf(c.temperature.header);
    for (const WindPeriod& p : c.winds.periods) {
        out += fields(p.key);
        for (const WindGate& g : p.gates) {
            out += fields(g.qcCode, g.height, g.speed, g.direction, g.u, g.v, g.w, g.countU,
                          g.countV, g.countW, g.snrU, g.snrV, g.snrW);
        }
    }
    for (const TemperaturePeriod& p : c.temperature.periods) {
        out += fields(p.key);
        for (const TemperatureGate& g : p.gates) {
            out += fields(g.qcCode, g.height, g.tv, g.tvc, g.count, g.snr);
        }
    }
    return out;
}

using NetcdfDamage = TempFolderTest;

TEST_F(NetcdfDamage, DamagedFilesFailWithTheirNameAndNothingOnTheTerminal) {
    const std::string good = damageDayBytes();
    ASSERT_EQ(good.size(), 89606u) << "the file's layout changed: find the offsets again";
    std::mt19937 random(4167);
    std::string noise(good.size(), '\0');
    for (char& c : noise) c = static_cast<char>(random());
    ASSERT_EQ(::mkfifo((dir_ / "fifo.nc").c_str(), 0600), 0);
    fs::create_directories(dir_ / "folder.nc");
    const struct {
        const char* name;
        std::string bytes;   // written to NAME in the test's folder unless NAME is a path
        const char* reason;  // the message after "PATH"
    } cases[] = {
        {"superblock.nc", flipped(good, 8), ": cannot be opened as netCDF: NetCDF: HDF error"},
        // Three bytes of an object header's address: HDF5 follows it and
        // crashes while the file is opened (SIGSEGV, or SIGABRT when the
        // C library's heap checks catch it first).
        {"crash.nc", flipped(good, 5824),
         ": the netCDF library failed on this file (the reading process was killed by "
         "signal "},
        // A chunk of data near the middle; the last variable's chunk index
        // (the file's last bytes are free space the library never reads).
        {"middle.nc", flipped(good, 43328), ": reading data: NetCDF: HDF error"},
        {"end.nc", flipped(good, 79168), ": reading data: NetCDF: HDF error"},
        {"truncated.nc", good.substr(0, good.size() / 2), ": cannot be opened as netCDF: "},
        {"empty.nc", "", ": cannot be opened as netCDF: NetCDF: Unknown file format"},
        {"noise.nc", noise, ": cannot be opened as netCDF: NetCDF: Unknown file format"},
        {"none.nc", "", ": No such file or directory"},
        // Never opened: a FIFO would block the reader for ever.
        {"fifo.nc", "", ": not a regular file"},
        {"folder.nc", "", ": not a regular file"},
        {"/dev/zero", "", ": not a regular file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = c.name[0] == '/' ? c.name : (dir_ / c.name).string();
        if (!c.bytes.empty() || std::string(c.name) == "empty.nc") writeFile(path, c.bytes);
        ConsensusFileContents out, head;
        out.kind = head.kind = OutputKind::Temperature;  // kept on failure
        std::string error, headError;
        testing::internal::CaptureStderr();
        EXPECT_FALSE(readNetcdfDay(path, out, error));
        const bool headRead = readNetcdfDayHeader(path, head, headError);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        EXPECT_EQ(error.rfind(path + c.reason, 0), 0u) << error;
        EXPECT_EQ(out.kind, OutputKind::Temperature);
        // Damage among the data leaves the header readable.
        if (!headRead) {
            EXPECT_EQ(headError.rfind(path + ": ", 0), 0u) << headError;
        }
    }
    EXPECT_TRUE(noChildLeft());
}

// Readers beside writer threads (and the header-only read): the fork is made while no writer is inside
// the library (HDF5's own lock would otherwise be copied held into the
// child, which then waits for ever), and every file comes out the same.
TEST_F(NetcdfDamage, ReadsBesideWriterThreads) {
    const std::string good = damageDayBytes();
    const std::string path = (dir_ / "good.nc").string(), crash = (dir_ / "crash.nc").string();
    writeFile(path, good);
    writeFile(crash, flipped(good, 5824));
    std::atomic<bool> stop{false};
    std::atomic<int> made{0}, differing{0};
    auto writer = [&] {
        while (!stop) {
            std::string bytes, error;
            if (!makeWindNetcdf(damageDay(), NetcdfContext{"2026-01-01T00:00:00Z test", "9.9"},
                                "damage.nc", bytes, error) ||
                bytes != good) {
                ++differing;
            }
            ++made;
        }
    };
    ConsensusFileContents alone, head;
    std::string error;
    ASSERT_TRUE(readNetcdfDay(path, alone, error)) << error;
    // The header alone, for indexing many files, is the whole read's header.
    ASSERT_TRUE(readNetcdfDayHeader(path, head, error)) << error;
    ConsensusFileContents headerOfWhole = alone;
    headerOfWhole.winds.periods.clear();
    EXPECT_EQ(fieldsOf(head), fieldsOf(headerOfWhole));
    std::thread a(writer), b(writer);
    const auto start = std::chrono::steady_clock::now();
    int reads = 0;
    for (; (reads < 40 || made < 40) &&
           std::chrono::steady_clock::now() - start < std::chrono::seconds(100);
         ++reads) {
        ConsensusFileContents out;
        const bool crashing = reads % 4 == 3;
        EXPECT_EQ(readNetcdfDay(crashing ? crash : path, out, error), !crashing) << error;
        if (!crashing) {
            EXPECT_EQ(fieldsOf(out), fieldsOf(alone));
        }
    }
    stop = true;
    a.join();
    b.join();
    EXPECT_GE(reads, 40);
    EXPECT_EQ(differing, 0);
    EXPECT_TRUE(noChildLeft());
}

// ---- The child process ----

// A day whose floats have a NaN payload, a negative zero, the smallest
// subnormal; a height all 64 bits of the extended significand; texts with
// a zero byte and a byte above 127.
ConsensusFileContents everyField() {
    ConsensusFileContents c;
    c.kind = OutputKind::Temperature;
    c.temperatureDigit = 2;
    const std::uint32_t nanBits = 0x7fc01234u;
    float nan = 0.0f;
    std::memcpy(&nan, &nanBits, sizeof nan);
    const float tiny = std::numeric_limits<float>::denorm_min();
    DayHeader& h = c.winds.header;
    h = DayHeader{OutputKind::Winds, -3, std::string("Winds\0x", 7), "QAV", "\xff station",
                  CalendarTime{2004, 6, 2, 15, 23, 59, 58, 999}, -9000, 32767, -400, 1440,
                  2000000000, -0.0f, {HeaderBeam{-32768, tiny, 7, 1000, nan}, HeaderBeam{}},
                  VerticalPolicy::Required, true, false};
    c.temperature.header = h;
    c.temperature.header.continuityChecked = true;
    const WindGate g{8, 1761.0L + 1.0L / 3.0L, nan, -950, -0.0f, tiny, -940.0f, 4000000000u,
                     1, 0, -99, 99, std::numeric_limits<std::int32_t>::min()};
    c.winds.periods = {WindPeriod{{'2', '3', '3', '0', '\0'}, {g, WindGate{}, g}}, WindPeriod{}};
    c.temperature.periods = {TemperaturePeriod{
        {'0', '0', '0', '0', '\0'}, {TemperatureGate{7, 1761.25, 21.6f, nan, -1, 16}, {}}}};
    return c;
}

using NetcdfChild = TempFolderTest;

TEST_F(NetcdfChild, OutcomesOfTheChildProcess) {
    const std::string path = (dir_ / "day.nc").string();
    const std::string failed = ": the netCDF library failed on this file (";
    const struct {
        const char* name;
        ncdf::ChildRead read;
        std::string message;  // after "PATH"; empty: the read succeeds
    } cases[] = {
        {"result",
         [](ConsensusFileContents& out, std::string&) {
             out = everyField();
             return true;
         },
         ""},
        {"crash",
         [](ConsensusFileContents&, std::string&) {
             std::fputs("HDF5-DIAG: Error detected\n", stderr);  // never seen
             ::raise(SIGSEGV);
             return true;
         },
         failed + "the reading process was killed by signal 11, SIGSEGV)"},
        {"exit", [](ConsensusFileContents&, std::string&) -> bool { ::_exit(3); },
         failed + "the reading process ended without a result, exit status 3)"},
        {"throw", [](ConsensusFileContents&, std::string&) -> bool { throw std::bad_alloc(); },
         failed + "the reading process ended without a result, exit status 70)"},
        {"hang",
         [](ConsensusFileContents&, std::string&) {
             for (;;) ::pause();
             return true;
         },
         failed + "no result within 0.5 s; the reading process was stopped)"},
    };
    ConsensusFileContents kept;  // what a failed read leaves
    kept.temperatureDigit = 9;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ConsensusFileContents out = kept;
        std::string error;
        testing::internal::CaptureStderr();
        const auto start = std::chrono::steady_clock::now();
        const bool ok = ncdf::readInChild(path, c.read, out, error, std::chrono::milliseconds(500));
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        EXPECT_EQ(ok, c.message.empty());
        EXPECT_EQ(error, c.message.empty() ? "" : path + c.message);
        EXPECT_EQ(fieldsOf(out), fieldsOf(c.message.empty() ? everyField() : kept));
    }
    EXPECT_TRUE(noChildLeft());
}

}  // namespace
}  // namespace qv::test
