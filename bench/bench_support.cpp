#include "bench/bench_support.h"

#include <cmath>
#include <cstdlib>
#include <new>
#include <sstream>
#include <system_error>

#include "tools/samplegen/generate.h"

namespace {

std::atomic<long> gAllocations{0};

void* countedAllocation(std::size_t size) {
    gAllocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}

void* countedAlignedAllocation(std::size_t size, std::align_val_t alignment) {
    gAllocations.fetch_add(1, std::memory_order_relaxed);
    const std::size_t a = static_cast<std::size_t>(alignment);
    const std::size_t rounded = (size + a - 1) / a * a;
    if (void* p = std::aligned_alloc(a, rounded == 0 ? a : rounded)) return p;
    throw std::bad_alloc();
}

}  // namespace

// Every operator new of the benchmark process goes through the counter.
void* operator new(std::size_t size) { return countedAllocation(size); }
void* operator new[](std::size_t size) { return countedAllocation(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return countedAllocation(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return countedAllocation(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new(std::size_t size, std::align_val_t a) { return countedAlignedAllocation(size, a); }
void* operator new[](std::size_t size, std::align_val_t a) {
    return countedAlignedAllocation(size, a);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }

namespace qv::bench {
namespace fs = std::filesystem;

long heapAllocations() { return gAllocations.load(std::memory_order_relaxed); }

namespace {

// Removes the generated folder when the process ends.
struct DayHolder {
    SyntheticDay day;
    ~DayHolder() {
        if (!day.folder.empty()) {
            std::error_code ec;
            fs::remove_all(day.folder, ec);
        }
    }
};

std::uintmax_t sizeOf(const fs::path& path) {
    std::error_code ec;
    const std::uintmax_t size = fs::file_size(path, ec);
    return ec ? 0 : size;
}

}  // namespace

void makeSyntheticDay(SyntheticDay& d) {
    d.day = CalendarTime{2003, 6, 0, 15, 0, 0, 0, 0};  // day 166
    std::string pattern = (fs::temp_directory_path() / "quorvane-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data())) return;
    d.folder = pattern;
    d.twins = d.folder / "twin";

    samplegen::GenerateOptions o;
    o.outDir = d.folder.string();
    o.firstDay = d.day;
    o.days = 1;
    o.fromMinute = 0;
    o.toMinute = 24 * 60;
    o.gates = 60;
    o.dwellSeconds = 24;
    o.format = samplegen::FileFormat::Binary;
    std::ostringstream out, err;
    if (samplegen::generate(o, out, err) != 0) return;

    for (const char* day : {"03166", "03167"}) {
        d.rawBytes += sizeOf(d.twins / (std::string("qvs") + day + ".raw"));
        d.ratBytes += sizeOf(d.twins / (std::string("qvs") + day + ".rat"));
        d.binaryBytes += sizeOf(d.folder / (std::string("d") + day + "a.mom"));
        d.binaryBytes += sizeOf(d.folder / (std::string("h") + day + "a.mom"));
    }
    d.ok = d.rawBytes > 0 && d.ratBytes > 0 && d.binaryBytes > 0;
}

const SyntheticDay& syntheticDay() {
    static DayHolder holder;
    static const bool made = (makeSyntheticDay(holder.day), true);
    (void)made;
    return holder.day;
}

WindDay windDay(int periods, int gates, int minutes) {
    WindDay d;
    DayHeader& h = d.header;
    h.fileKind = OutputKind::Winds;
    h.variant = 1;
    h.stationName = "QVS";
    h.dataSourceText = "QAV";
    h.day.year = 2004;
    h.day.month = 6;
    h.day.day = 15;
    h.latitudeCenti = 4001;
    h.longitudeCenti = -10525;
    h.siteElevation = 1611;
    h.averagingMinutes = minutes;
    h.pulseWidth = 700;
    h.gateSpacing = 60.0f;
    HeaderBeam beam;
    beam.elevation = 66.4f;
    beam.sampleCount = 75;
    beam.consensusPercent = 50;
    beam.consensusWindow = 2.0f;
    for (int b = 0; b < 5; ++b) {
        beam.azimuth = (b % 4) * 90;
        if (b == 4) beam.elevation = 90.0f;
        h.beams.push_back(beam);
    }
    for (int p = 0; p < periods; ++p) {
        WindPeriod& period = d.periods.emplace_back();
        const int minute = p * minutes;
        period.key[0] = static_cast<char>('0' + minute / 600 % 10);
        period.key[1] = static_cast<char>('0' + minute / 60 % 10);
        period.key[2] = static_cast<char>('0' + minute % 60 / 10);
        period.key[3] = static_cast<char>('0' + minute % 10);
        for (int g = 0; g < gates; ++g) {
            WindGate& gate = period.gates.emplace_back();
            gate.height = 1761.0L + 60.0L * g;
            gate.speed = static_cast<float>(3.0 + 0.3 * g + 4.0 * std::sin(p / 20.0));
            gate.direction = (200 + g + p) % 360;
            gate.u = gate.speed * 0.6f;
            gate.v = gate.speed * -0.8f;
            gate.w = static_cast<float>(0.01 * ((p + g) % 50 - 25));
            gate.countU = gate.countV = gate.countW = 20 + (p + g) % 30;
            gate.snrU = gate.snrV = gate.snrW = -5 + g % 20;
            if ((p + g) % 17 == 0) gate.qcCode = kQcInvalidCode;
        }
    }
    return d;
}

}  // namespace qv::bench
