#include "input/krx/memtrack.h"

#include <cstdlib>
#include <string>

namespace {

// The log path once MEMTRACK was found set; kept for the rest of the process.
bool g_havePath = false;
std::string g_logPath;
AllocationFailureHook g_failureHook = nullptr;

bool injectedFailure(std::uint64_t bytes, const char* label) {
    return g_failureHook != nullptr && g_failureHook(bytes, label != nullptr ? label : "");
}

}  // namespace

std::FILE* open_allocation_log() {
    if (!g_havePath) {
        const char* value = std::getenv("MEMTRACK");
        if (value == nullptr) return nullptr;
        g_logPath = value;
        g_havePath = true;
        // Start a fresh log; a failure here shows in the open below.
        if (std::FILE* created = std::fopen(g_logPath.c_str(), "w")) std::fclose(created);
    }
    std::FILE* log = std::fopen(g_logPath.c_str(), "r+");
    if (log == nullptr) std::fprintf(stderr, "\a\nCannot open %s\n\a", g_logPath.c_str());
    return log;
}

void log_allocation(const void* block, long size, const char* label) {
    std::FILE* log = open_allocation_log();
    if (log == nullptr) return;
    std::fseek(log, 0, SEEK_END);
    std::fprintf(log, "%c %p %6.6ld %s\n", block != nullptr ? 'A' : 'X', block, size,
                 label != nullptr ? label : "");
    std::fclose(log);
}

void* tracked_alloc(std::uint32_t size, const char* label) {
    void* block = injectedFailure(size, label) ? nullptr : std::malloc(size);
    log_allocation(block, static_cast<long>(size), label);
    return block;
}

void* tracked_calloc(std::uint32_t count, std::uint32_t size, const char* label) {
    const std::uint64_t bytes = static_cast<std::uint64_t>(count) * size;
    void* block = nullptr;
    if (bytes <= UINT32_MAX && !injectedFailure(bytes, label)) block = std::calloc(count, size);
    log_allocation(block, static_cast<long>(bytes), label);
    return block;
}

void tracked_free(void* block) { std::free(block); }

void reset_allocation_log() {
    g_havePath = false;
    g_logPath.clear();
}

void set_allocation_failure_hook(AllocationFailureHook hook) { g_failureHook = hook; }
