// A thin layer over the netCDF C library: every nc_* call of Quorvane goes
// through here, so that status codes become one kind of message ("PATH:
// what was being done: the library's reason") and calls are serialised
// by one process-wide lock (the library keeps process-wide state and is
// not thread-safe).
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qv::nc {

enum class Type { Byte, Char, Short, Int, Float, Double };

// The process-wide lock of the library, held for this object's lifetime.
// Every call below takes it; a caller takes it around a whole file (a
// writer) or around fork (so that no other thread is inside the library
// when a child process copies its state). Nested locks of one thread pass
// through.
class LibraryLock {
public:
    LibraryLock();
    ~LibraryLock();
    LibraryLock(const LibraryLock&) = delete;
    LibraryLock& operator=(const LibraryLock&) = delete;
};

// For programs that write many netCDF files (a run, the converter): call
// once at start. The HDF5 library under netCDF-4 allocates and zeroes a
// large metadata cache for every file it creates and frees it when the file
// is closed; with glibc's default thresholds that block goes back to the
// system each time and its pages fault in again for the next file, a
// quarter of the cost of a small day file. Blocks under 4 MiB are kept in
// the heap instead, and up to 8 MiB of freed memory at its top is kept for
// reuse. Does nothing where the C library is not glibc.
void keepHeapForManyFiles();

// The id that names the file itself for attributes (global attributes).
inline constexpr int kGlobal = -1;

class File {
public:
    File() = default;
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    ~File();

    // A new netCDF-4 file in the classic model, made in memory (`name`
    // names it in messages; `expectedBytes` is a first size); closeToBytes
    // hands over its bytes for the caller to write whole. Spares the
    // library's many small writes to the output folder. The bytes pass
    // through a private temporary file (in TMPDIR, else /dev/shm, else
    // /tmp), removed again.
    bool createInMemory(const std::string& name, std::size_t expectedBytes);
    // An existing file, read only.
    bool open(const std::string& path);
    // Closes the file; false (with the error) when the library fails to
    // finish it. A file not closed is closed by the destructor.
    bool close();
    // Closes a file made by createInMemory and moves its bytes into `bytes`.
    bool closeToBytes(std::string& bytes);

    // The first failure's message.
    const std::string& error() const { return error_; }

    // ---- Definitions (between create and endDefinitions) ----
    int defineDimension(const char* name, std::size_t length);  // -1 on failure
    int defineVariable(const char* name, Type type, std::initializer_list<int> dimensions);
    // Chunks of the given lengths, deflate level 4 with shuffle.
    bool compress(int variable, std::initializer_list<std::size_t> chunks);
    bool putText(int variable, const char* name, std::string_view text);
    bool putBytes(int variable, const char* name, std::span<const std::int8_t> values);
    bool putShorts(int variable, const char* name, std::span<const std::int16_t> values);
    bool putInts(int variable, const char* name, std::span<const std::int32_t> values);
    bool putFloats(int variable, const char* name, std::span<const float> values);
    bool putDoubles(int variable, const char* name, std::span<const double> values);
    bool endDefinitions();

    // ---- Data (the whole variable at once) ----
    bool write(int variable, std::span<const std::int8_t> values);
    bool write(int variable, std::span<const std::int16_t> values);
    bool write(int variable, std::span<const std::int32_t> values);
    bool write(int variable, std::span<const float> values);
    bool write(int variable, std::span<const double> values);
    bool writeText(int variable, std::string_view text);

    // ---- Reading ----
    bool dimensionLength(const char* name, std::size_t& length);
    // The variable's id, or -1 when the file has none of that name (not an
    // error by itself).
    int findVariable(const char* name);
    // The variable's dimension lengths.
    bool shape(int variable, std::vector<std::size_t>& lengths);
    // Whole variables, converted to the type asked for; `expected` values.
    bool read(int variable, std::size_t expected, std::vector<std::int8_t>& out);
    bool read(int variable, std::size_t expected, std::vector<std::int16_t>& out);
    bool read(int variable, std::size_t expected, std::vector<std::int32_t>& out);
    bool read(int variable, std::size_t expected, std::vector<float>& out);
    bool read(int variable, std::size_t expected, std::vector<double>& out);
    bool readText(int variable, std::size_t expected, std::string& out);
    // Attributes: false when absent (no error) or unreadable (error set).
    bool getText(int variable, const char* name, std::string& out);
    bool getNumbers(int variable, const char* name, std::vector<double>& out);

private:
    bool check(int status, const std::string& what);
    bool fail(const std::string& what);

    bool readTemporary(std::string& bytes) const;
    void removeTemporary();

    int id_ = -1;
    std::string path_;
    std::string temporary_;  // where the library writes the file at close
    std::string error_;
};

}  // namespace qv::nc
