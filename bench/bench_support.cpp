#include "bench/bench_support.h"

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

}  // namespace qv::bench
