#include "output/netcdf_api.h"

#include <netcdf.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>  // defines __GLIBC__ where the C library is glibc
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <cerrno>
#include <cstring>
#include <mutex>

namespace qv::nc {
namespace {

// Largest variable or attribute this layer reads (values), so that a
// damaged file cannot ask for an unbounded allocation.
constexpr std::size_t kMaxValues = std::size_t{1} << 26;

std::mutex& libraryMutex() {
    static std::mutex mutex;
    return mutex;
}

// How many LibraryLocks the thread holds: a nested one does not lock again.
// A child process made by fork inherits the forking thread's count (the
// lock was held for the fork), so the child's calls pass through.
thread_local int heldLocks = 0;

nc_type typeOf(Type type) {
    switch (type) {
        case Type::Byte: return NC_BYTE;
        case Type::Char: return NC_CHAR;
        case Type::Short: return NC_SHORT;
        case Type::Int: return NC_INT;
        case Type::Float: return NC_FLOAT;
        case Type::Double: return NC_DOUBLE;
    }
    return NC_NAT;
}

int varId(int variable) { return variable == kGlobal ? NC_GLOBAL : variable; }

}  // namespace

LibraryLock::LibraryLock() {
    if (heldLocks++ == 0) libraryMutex().lock();
}

LibraryLock::~LibraryLock() {
    if (--heldLocks == 0) libraryMutex().unlock();
}

void keepHeapForManyFiles() {
#if defined(__GLIBC__)
    mallopt(M_MMAP_THRESHOLD, 4 << 20);
    mallopt(M_TRIM_THRESHOLD, 8 << 20);
#endif
}

File::~File() {
    if (id_ >= 0) {
        LibraryLock lock;
        nc_close(id_);
    }
    removeTemporary();
}

bool File::check(int status, const std::string& what) {
    if (status == NC_NOERR) return true;
    if (error_.empty()) error_ = path_ + ": " + what + ": " + nc_strerror(status);
    return false;
}

bool File::fail(const std::string& what) {
    if (error_.empty()) error_ = path_ + ": " + what;
    return false;
}

namespace {
// Attribute creation order is not tracked: readers do not need it, and the
// tracking costs an index per variable (a day file is mostly such overhead).
constexpr int kCompactFlags = NC_NOATTCREORD;

// TMPDIR when set; else the shared-memory folder, where the file never
// waits for a disk (a day file is 0.1 to a few MB and lives for
// milliseconds); else /tmp.
std::string temporaryFolder() {
    const char* folder = std::getenv("TMPDIR");
    if (folder && *folder) return folder;
    if (::access("/dev/shm", W_OK | X_OK) == 0) return "/dev/shm";
    return "/tmp";
}
}  // namespace

bool File::createInMemory(const std::string& name, std::size_t expectedBytes) {
    path_ = name;
    // The library keeps the file in memory (HDF5's core driver) and writes
    // it whole, once, to a private temporary file when it is closed. Not
    // nc_create_mem: its files' root group does not track link creation
    // order, so netCDF-4 refuses to open them for writing ("Can't write
    // file") and nobody could add an attribute to them later.
    std::string temporary = temporaryFolder() + "/quorvane-nc-XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        return fail(std::string("cannot be created: no temporary file: ") + std::strerror(errno));
    }
    ::close(fd);
    temporary_ = temporary;
    LibraryLock lock;
    std::size_t chunk = 0;
    return check(nc__create(temporary_.c_str(),
                            NC_NETCDF4 | NC_CLASSIC_MODEL | kCompactFlags | NC_DISKLESS |
                                NC_PERSIST | NC_CLOBBER,
                            expectedBytes, &chunk, &id_),
                 "cannot be created");
}

bool File::closeToBytes(std::string& bytes) {
    if (id_ < 0) return false;
    int status = NC_NOERR;
    {
        LibraryLock lock;
        status = nc_close(id_);
        id_ = -1;
    }
    const bool read = status == NC_NOERR && readTemporary(bytes);
    removeTemporary();
    return check(status, "could not be finished") && (read || fail("could not be read back")) &&
           error_.empty();
}

// The temporary file's bytes, read at once (its size known from fstat).
bool File::readTemporary(std::string& bytes) const {
    const int fd = ::open(temporary_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat info {};
    bool ok = ::fstat(fd, &info) == 0 && info.st_size > 0;
    if (ok) {
        bytes.resize(static_cast<std::size_t>(info.st_size));
        std::size_t done = 0;
        while (ok && done < bytes.size()) {
            const ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR) continue;
            ok = n > 0;
            if (ok) done += static_cast<std::size_t>(n);
        }
    }
    ::close(fd);
    return ok;
}

void File::removeTemporary() {
    if (temporary_.empty()) return;
    ::unlink(temporary_.c_str());
    temporary_.clear();
}

bool File::open(const std::string& path) {
    path_ = path;
    LibraryLock lock;
    int id = -1;
    if (!check(nc_open(path.c_str(), NC_NOWRITE, &id), "cannot be opened as netCDF")) {
        return false;
    }
    id_ = id;
    return true;
}

bool File::close() {
    if (id_ < 0) return error_.empty();
    LibraryLock lock;
    const int status = nc_close(id_);
    id_ = -1;
    return check(status, "could not be finished") && error_.empty();
}

int File::defineDimension(const char* name, std::size_t length) {
    LibraryLock lock;
    int dim = -1;
    if (!check(nc_def_dim(id_, name, length, &dim), std::string("dimension ") + name)) return -1;
    return dim;
}

int File::defineVariable(const char* name, Type type, std::initializer_list<int> dimensions) {
    LibraryLock lock;
    int var = -1;
    if (!check(nc_def_var(id_, name, typeOf(type), static_cast<int>(dimensions.size()),
                          dimensions.begin(), &var),
               std::string("variable ") + name)) {
        return -1;
    }
    return var;
}

bool File::compress(int variable, std::initializer_list<std::size_t> chunks) {
    LibraryLock lock;
    return check(nc_def_var_chunking(id_, variable, NC_CHUNKED, chunks.begin()), "chunking") &&
           check(nc_def_var_deflate(id_, variable, 1, 1, 4), "compression");
}

bool File::putText(int variable, const char* name, std::string_view text) {
    LibraryLock lock;
    return check(nc_put_att_text(id_, varId(variable), name, text.size(), text.data()),
                 std::string("attribute ") + name);
}

bool File::putBytes(int variable, const char* name, std::span<const std::int8_t> values) {
    LibraryLock lock;
    return check(nc_put_att_schar(id_, varId(variable), name, NC_BYTE, values.size(),
                                  values.data()),
                 std::string("attribute ") + name);
}

bool File::putShorts(int variable, const char* name, std::span<const std::int16_t> values) {
    LibraryLock lock;
    return check(nc_put_att_short(id_, varId(variable), name, NC_SHORT, values.size(),
                                  values.data()),
                 std::string("attribute ") + name);
}

bool File::putInts(int variable, const char* name, std::span<const std::int32_t> values) {
    LibraryLock lock;
    return check(nc_put_att_int(id_, varId(variable), name, NC_INT, values.size(),
                                values.data()),
                 std::string("attribute ") + name);
}

bool File::putFloats(int variable, const char* name, std::span<const float> values) {
    LibraryLock lock;
    return check(nc_put_att_float(id_, varId(variable), name, NC_FLOAT, values.size(),
                                  values.data()),
                 std::string("attribute ") + name);
}

bool File::putDoubles(int variable, const char* name, std::span<const double> values) {
    LibraryLock lock;
    return check(nc_put_att_double(id_, varId(variable), name, NC_DOUBLE, values.size(),
                                   values.data()),
                 std::string("attribute ") + name);
}

bool File::endDefinitions() {
    LibraryLock lock;
    return check(nc_enddef(id_), "definitions");
}

bool File::write(int variable, std::span<const std::int8_t> values) {
    LibraryLock lock;
    return check(nc_put_var_schar(id_, variable, values.data()), "writing data");
}

bool File::write(int variable, std::span<const std::int16_t> values) {
    LibraryLock lock;
    return check(nc_put_var_short(id_, variable, values.data()), "writing data");
}

bool File::write(int variable, std::span<const std::int32_t> values) {
    LibraryLock lock;
    return check(nc_put_var_int(id_, variable, values.data()), "writing data");
}

bool File::write(int variable, std::span<const float> values) {
    LibraryLock lock;
    return check(nc_put_var_float(id_, variable, values.data()), "writing data");
}

bool File::write(int variable, std::span<const double> values) {
    LibraryLock lock;
    return check(nc_put_var_double(id_, variable, values.data()), "writing data");
}

bool File::writeText(int variable, std::string_view text) {
    LibraryLock lock;
    return check(nc_put_var_text(id_, variable, text.data()), "writing text");
}

bool File::dimensionLength(const char* name, std::size_t& length) {
    LibraryLock lock;
    int dim = -1;
    return check(nc_inq_dimid(id_, name, &dim), std::string("dimension ") + name) &&
           check(nc_inq_dimlen(id_, dim, &length), std::string("dimension ") + name);
}

int File::findVariable(const char* name) {
    LibraryLock lock;
    int var = -1;
    if (nc_inq_varid(id_, name, &var) != NC_NOERR) return -1;
    return var;
}

bool File::shape(int variable, std::vector<std::size_t>& lengths) {
    LibraryLock lock;
    int count = 0;
    if (!check(nc_inq_varndims(id_, variable, &count), "variable shape")) return false;
    if (count < 0 || count > NC_MAX_VAR_DIMS) return fail("variable shape: too many dimensions");
    std::vector<int> dims(static_cast<std::size_t>(count));
    if (!check(nc_inq_vardimid(id_, variable, dims.data()), "variable shape")) return false;
    lengths.clear();
    for (const int dim : dims) {
        std::size_t length = 0;
        if (!check(nc_inq_dimlen(id_, dim, &length), "variable shape")) return false;
        lengths.push_back(length);
    }
    return true;
}

namespace {

template <typename T, typename Get>
bool readWhole(File& file, int variable, std::size_t expected, std::vector<T>& out, Get get,
               int id, bool (File::*check)(int, const std::string&)) {
    std::vector<std::size_t> lengths;
    if (!file.shape(variable, lengths)) return false;
    std::size_t total = 1;
    for (const std::size_t length : lengths) {
        if (length != 0 && total > kMaxValues / length) total = kMaxValues + 1;
        else total *= length;
    }
    if (total != expected || total > kMaxValues) {
        return (file.*check)(NC_EEDGE, "a variable's size differs from its dimensions");
    }
    out.assign(total, T{});
    if (total == 0) return true;
    LibraryLock lock;
    return (file.*check)(get(id, variable, out.data()), "reading data");
}

}  // namespace

bool File::read(int variable, std::size_t expected, std::vector<std::int8_t>& out) {
    return readWhole(*this, variable, expected, out, nc_get_var_schar, id_, &File::check);
}
bool File::read(int variable, std::size_t expected, std::vector<std::int16_t>& out) {
    return readWhole(*this, variable, expected, out, nc_get_var_short, id_, &File::check);
}
bool File::read(int variable, std::size_t expected, std::vector<std::int32_t>& out) {
    return readWhole(*this, variable, expected, out, nc_get_var_int, id_, &File::check);
}
bool File::read(int variable, std::size_t expected, std::vector<float>& out) {
    return readWhole(*this, variable, expected, out, nc_get_var_float, id_, &File::check);
}
bool File::read(int variable, std::size_t expected, std::vector<double>& out) {
    return readWhole(*this, variable, expected, out, nc_get_var_double, id_, &File::check);
}

bool File::readText(int variable, std::size_t expected, std::string& out) {
    std::vector<char> text;
    if (!readWhole(*this, variable, expected, text, nc_get_var_text, id_, &File::check)) {
        return false;
    }
    out.assign(text.begin(), text.end());
    const std::size_t end = out.find('\0');
    if (end != std::string::npos) out.resize(end);
    return true;
}

bool File::getText(int variable, const char* name, std::string& out) {
    LibraryLock lock;
    nc_type type = NC_NAT;
    std::size_t length = 0;
    if (nc_inq_att(id_, varId(variable), name, &type, &length) != NC_NOERR) return false;
    if (type != NC_CHAR || length > kMaxValues) {
        return fail(std::string("attribute ") + name + " is not a text");
    }
    out.assign(length, '\0');
    if (length == 0) return true;
    return check(nc_get_att_text(id_, varId(variable), name, out.data()),
                 std::string("attribute ") + name);
}

bool File::getNumbers(int variable, const char* name, std::vector<double>& out) {
    LibraryLock lock;
    nc_type type = NC_NAT;
    std::size_t length = 0;
    if (nc_inq_att(id_, varId(variable), name, &type, &length) != NC_NOERR) return false;
    if (type == NC_CHAR || type == NC_STRING || length > kMaxValues) {
        return fail(std::string("attribute ") + name + " is not numeric");
    }
    out.assign(length, 0.0);
    if (length == 0) return true;
    return check(nc_get_att_double(id_, varId(variable), name, out.data()),
                 std::string("attribute ") + name);
}

}  // namespace qv::nc
