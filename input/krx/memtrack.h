// Allocation log of the data-acquisition library.
//
// The library allocates its data arrays through tracked_alloc and
// tracked_calloc. When the environment variable MEMTRACK names a file, every
// allocation appends one line to it:
//
//     "%c %p %6.6ld %s\n"   A or X (success, failure), address, bytes, label
//
// The file is truncated once per process, at the first allocation after which
// MEMTRACK was found set, and is opened and closed for every line so that it
// is complete at any moment. Releases are not logged. Not thread-safe: only
// the worker thread allocates through it.
#pragma once

#include <cstdint>
#include <cstdio>

// A new block of `size` bytes, not zeroed, or nullptr. Logs one line.
void* tracked_alloc(std::uint32_t size, const char* label);

// A new zero-filled block of count * size bytes, or nullptr (also when the
// product does not fit 32 bits). Logs one line with count * size.
void* tracked_calloc(std::uint32_t count, std::uint32_t size, const char* label);

// Releases a block from tracked_alloc/tracked_calloc (not logged).
void tracked_free(void* block);

// Appends the line for one allocation when the log can be opened.
void log_allocation(const void* block, long size, const char* label);

// The log opened "r+" (the caller closes it), or nullptr when MEMTRACK is not
// set or the file cannot be opened; the latter is reported on stderr.
std::FILE* open_allocation_log();

// Test support: forget the remembered log path, so that the next allocation
// reads MEMTRACK again (and truncates the file it names).
void reset_allocation_log();

// Test support: when set, an allocation for which the hook returns true fails
// as if the system had no memory (it is still logged, with X). nullptr
// removes the hook.
using AllocationFailureHook = bool (*)(std::uint64_t bytes, const char* label);
void set_allocation_failure_hook(AllocationFailureHook hook);
