// The netCDF library's part of a read, run in a child process. HDF5 under
// netCDF-4 trusts the file's own addresses and sizes: a few damaged bytes
// can make it crash (SIGSEGV) or loop. In a forked child such a file ends
// the child only; the program gets a message naming the file.
//
// The child reads, serialises the day values (every field, floats bit for
// bit) into a pipe and ends with _exit; the parent decodes them with bounds
// checks and reaps the child. The fork is made under nc::LibraryLock, so no
// other thread of the program is inside the library when its state is
// copied. The child's standard output and error go to /dev/null (the
// library prints its error stacks there).
#pragma once

#include <chrono>
#include <functional>
#include <string>

#include "output/consensus_file_reader.h"

namespace qv::ncdf {

// What the child runs: fills `out`, or sets `error` (naming the file) and
// returns false.
using ChildRead = std::function<bool(ConsensusFileContents& out, std::string& error)>;

// Time a read may take before its child is killed: far beyond any day file
// (a year of 1-minute periods reads in well under a second).
inline constexpr std::chrono::milliseconds kChildReadLimit{60'000};

// Runs `read` in a child process. True with `out` set when the child gave a
// result; false with `error` the child's own error, or "PATH: the netCDF
// library failed on this file (REASON)" when the child was killed by a
// signal, ended without a result, or took longer than `limit` (then it is
// killed). `out` is left as it was on failure. Never leaves a zombie.
bool readInChild(const std::string& path, const ChildRead& read, ConsensusFileContents& out,
                 std::string& error, std::chrono::milliseconds limit = kChildReadLimit);

}  // namespace qv::ncdf
