#include "output/folder_lock.h"

#include <filesystem>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <vector>

#include "core/text.h"

namespace qv {
namespace {

constexpr int kPlacingRounds = 50;
constexpr std::size_t kMaxLockText = 4096;

std::string joinPath(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    if (folder.back() == '/') return folder + name;
    return folder + '/' + name;
}

// Printable ASCII only, bounded: the host name comes from a file that anyone
// may have written.
std::string printable(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size() && i < 255; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        out += (c >= 0x20 && c < 0x7f) ? static_cast<char>(c) : '?';
    }
    return out;
}

std::string thisHost() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return "unknown";
    return printable(name);
}

std::string utcText(std::int64_t seconds, bool withSeconds) {
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm tm{};
    if (::gmtime_r(&t, &tm) == nullptr) return "an unknown time";
    char text[64] = {};
    std::strftime(text, sizeof text, withSeconds ? "%Y-%m-%d %H:%M:%S UTC" : "%Y-%m-%d %H:%M UTC",
                  &tm);
    return text;
}

// What a lock file says about the run that wrote it.
struct Holder {
    long pid = 0;
    std::string host;
    std::int64_t started = 0;
    bool complete = false;  // pid, host and start time all present
};

std::string lockText(pid_t pid, const std::string& host, std::int64_t started) {
    return formatText("Quorvane run lock\npid=%ld\nhost=%s\nstarted=%lld (%s)\n",
                      static_cast<long>(pid), host.c_str(), static_cast<long long>(started),
                      utcText(started, true).c_str());
}

Holder parseLockText(const std::string& text) {
    Holder h;
    bool pid = false, host = false, started = false;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        if (line.rfind("pid=", 0) == 0) {
            char* stop = nullptr;
            errno = 0;
            const long v = std::strtol(line.c_str() + 4, &stop, 10);
            if (errno == 0 && stop != line.c_str() + 4 && *stop == '\0' && v > 0) {
                h.pid = v;
                pid = true;
            }
        } else if (line.rfind("host=", 0) == 0) {
            h.host = printable(line.substr(5));
            host = !h.host.empty();
        } else if (line.rfind("started=", 0) == 0) {
            char* stop = nullptr;
            errno = 0;
            const long long v = std::strtoll(line.c_str() + 8, &stop, 10);
            if (errno == 0 && stop != line.c_str() + 8) {
                h.started = v;
                started = true;
            }
        }
    }
    h.complete = pid && host && started;
    return h;
}

std::string readAll(int fd) {
    std::string text(kMaxLockText, '\0');
    std::size_t got = 0;
    while (got < text.size()) {
        const ssize_t n = ::pread(fd, text.data() + got, text.size() - got, static_cast<off_t>(got));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    text.resize(got);
    return text;
}

bool writeAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

enum class FdLock { Taken, Held, Unsupported };

// An exclusive, non-blocking lock on the whole file, owned by the open file
// description: it conflicts with every other open() of the file, in this
// process or another, and the kernel drops it when the last descriptor of
// that open() is closed, including when its process dies.
FdLock lockDescription(int fd) {
    struct flock fl {};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = 0;
    fl.l_len = 0;
    int rc;
    do {
        rc = ::fcntl(fd, F_OFD_SETLK, &fl);
    } while (rc != 0 && errno == EINTR);
    if (rc == 0) return FdLock::Taken;
    if (errno == EAGAIN || errno == EACCES) return FdLock::Held;
    if (errno == EINVAL) {
        // Kernels without open-file-description locks: flock() has the same
        // ownership rules.
        do {
            rc = ::flock(fd, LOCK_EX | LOCK_NB);
        } while (rc != 0 && errno == EINTR);
        if (rc == 0) return FdLock::Taken;
        if (errno == EWOULDBLOCK) return FdLock::Held;
    }
    return FdLock::Unsupported;
}

// Whether another open() of the file holds a lock, for a descriptor that
// may only read (a lock file of another user).
bool heldByOther(int fd) {
    struct flock fl {};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    if (::fcntl(fd, F_OFD_GETLK, &fl) == 0) return fl.l_type != F_UNLCK;
    return ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
}

bool processAlive(long pid) {
    if (pid <= 0) return false;
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

// The path still names the file open on `fd`.
bool sameFile(const std::string& path, int fd) {
    struct stat a {}, b {};
    if (::lstat(path.c_str(), &a) != 0 || ::fstat(fd, &b) != 0) return false;
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

std::string inUseMessage(const std::string& folder, const std::string& lockPath,
                         const Holder& h) {
    if (!h.complete) {
        return formatText("The output folder %s is in use by another Quorvane run (see its lock file %s).",
                          folder.c_str(), lockPath.c_str());
    }
    return formatText(
        "The output folder %s is in use by another Quorvane run (process %ld on host %s since %s).",
        folder.c_str(), h.pid, h.host.c_str(), utcText(h.started, false).c_str());
}

std::string folderFailure(const std::string& folder, int error) {
    switch (error) {
    case ENOENT: return formatText("The output folder %s does not exist.", folder.c_str());
    case ENOTDIR: return formatText("The output folder %s is not a folder.", folder.c_str());
    case EACCES:
    case EPERM:
    case EROFS:
        return formatText("The output folder %s is not writable (%s).", folder.c_str(),
                          std::strerror(error));
    default:
        return formatText("The output folder %s could not be locked (%s).", folder.c_str(),
                          std::strerror(error));
    }
}

// Locks still held, released when the program exits normally. Never
// destroyed, so that it outlives every static object.
struct Registry {
    std::mutex mutex;
    std::vector<OutputFolderLock*> locks;
};

Registry& registry() {
    static Registry* r = new Registry;
    return *r;
}

void releaseAllAtExit() {
    std::vector<OutputFolderLock*> locks;
    {
        std::lock_guard<std::mutex> guard(registry().mutex);
        locks.swap(registry().locks);
    }
    for (OutputFolderLock* lock : locks) lock->release();
}

void enlist(OutputFolderLock* lock) {
    static std::once_flag once;
    std::call_once(once, [] { std::atexit(releaseAllAtExit); });
    std::lock_guard<std::mutex> guard(registry().mutex);
    registry().locks.push_back(lock);
}

void unlist(OutputFolderLock* lock) {
    std::lock_guard<std::mutex> guard(registry().mutex);
    auto& locks = registry().locks;
    for (std::size_t i = 0; i < locks.size(); ++i) {
        if (locks[i] == lock) {
            locks.erase(locks.begin() + static_cast<std::ptrdiff_t>(i));
            return;
        }
    }
}

std::atomic<unsigned> temporaryCounter{0};

}  // namespace

OutputFolderLock::OutputFolderLock(std::string path, int fd)
    : path_(std::move(path)), fd_(fd), owner_(::getpid()) {}

OutputFolderLock::~OutputFolderLock() { release(); }

void OutputFolderLock::release() {
    if (fd_ < 0) return;
    unlist(this);
    // Removed before the descriptor is closed: while the lock is held no other
    // run removes or replaces the file, so the name is still this file.
    if (owner_ == ::getpid() && sameFile(path_, fd_)) ::unlink(path_.c_str());
    ::close(fd_);
    fd_ = -1;
}

LockResult OutputFolderLock::acquire(const std::string& folder,
                                     std::unique_ptr<OutputFolderLock>& lock,
                                     std::string& message) {
    lock.reset();
    message.clear();
    const std::string base = folder.empty() ? std::string(".") : folder;
    const std::string& shown = base;
    const std::string path = joinPath(base, kOutputFolderLockName);

    struct stat st {};
    if (::stat(base.c_str(), &st) != 0) {
        message = folderFailure(shown, errno);
        return LockResult::CannotLock;
    }
    if (!S_ISDIR(st.st_mode)) {
        message = folderFailure(shown, ENOTDIR);
        return LockResult::CannotLock;
    }

    // This run's lock file, complete and locked before it gets the final name.
    const pid_t pid = ::getpid();
    std::string temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary = joinPath(base, formatText("%s.%ld.%u.tmp", kOutputFolderLockName,
                                              static_cast<long>(pid), temporaryCounter++));
        fd = ::open(temporary.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd < 0 && errno != EEXIST) {
            message = folderFailure(shown, errno);
            return LockResult::CannotLock;
        }
    }
    if (fd < 0) {
        message = folderFailure(shown, EEXIST);
        return LockResult::CannotLock;
    }
    const std::string host = thisHost();
    auto discardTemporary = [&] {
        ::unlink(temporary.c_str());
        ::close(fd);
    };
    if (!writeAll(fd, lockText(pid, host, static_cast<std::int64_t>(std::time(nullptr))))) {
        const int error = errno;
        discardTemporary();
        message = folderFailure(shown, error == 0 ? EIO : error);
        return LockResult::CannotLock;
    }
    // Taken or Unsupported: nobody else knows this file yet.
    lockDescription(fd);

    for (int round = 0; round < kPlacingRounds; ++round) {
        if (::link(temporary.c_str(), path.c_str()) == 0) {
            ::unlink(temporary.c_str());
            lock.reset(new OutputFolderLock(path, fd));
            enlist(lock.get());
            return LockResult::Locked;
        }
        if (errno != EEXIST) {
            const int error = errno;
            discardTemporary();
            message = folderFailure(shown, error);
            return LockResult::CannotLock;
        }

        // The name is taken: a live run's lock, a stale one, or something else.
        const int other = ::open(path.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (other < 0) {
            const int error = errno;
            if (error == ENOENT) continue;  // released meanwhile
            if (error == ELOOP) {
                discardTemporary();
                message = formatText(
                    "The output folder %s could not be locked: its lock file %s is a symbolic "
                    "link, which is not followed.",
                    shown.c_str(), path.c_str());
                return LockResult::CannotLock;
            }
            if (error == EISDIR || error == ENXIO) {
                discardTemporary();
                message = formatText(
                    "The output folder %s could not be locked: its lock file %s is not a "
                    "regular file.",
                    shown.c_str(), path.c_str());
                return LockResult::CannotLock;
            }
            if (error == EACCES || error == EPERM) {
                // Another user's lock file: it can be inspected, not taken over.
                const int reader = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
                if (reader >= 0) {
                    const bool held = heldByOther(reader);
                    const Holder h = parseLockText(readAll(reader));
                    ::close(reader);
                    if (held || (h.complete && h.host == host && processAlive(h.pid))) {
                        discardTemporary();
                        message = inUseMessage(shown, path, h);
                        return LockResult::InUse;
                    }
                }
                discardTemporary();
                message = formatText(
                    "The output folder %s could not be locked: the lock file %s of an ended run "
                    "cannot be taken over (%s).",
                    shown.c_str(), path.c_str(), std::strerror(error));
                return LockResult::CannotLock;
            }
            discardTemporary();
            message = folderFailure(shown, error);
            return LockResult::CannotLock;
        }
        struct stat os {};
        if (::fstat(other, &os) != 0 || !S_ISREG(os.st_mode)) {
            ::close(other);
            discardTemporary();
            message = formatText(
                "The output folder %s could not be locked: its lock file %s is not a regular file.",
                shown.c_str(), path.c_str());
            return LockResult::CannotLock;
        }
        const FdLock state = lockDescription(other);
        const Holder h = parseLockText(readAll(other));
        bool stale = state == FdLock::Taken;
        if (state == FdLock::Unsupported) {
            // No locks on this file system: only the process id can tell.
            stale = h.complete && h.host == host && !processAlive(h.pid);
        }
        if (!stale) {
            const bool stillThere = sameFile(path, other);
            ::close(other);
            if (!stillThere) continue;  // replaced meanwhile: look again
            discardTemporary();
            message = inUseMessage(shown, path, h);
            return LockResult::InUse;
        }
        // A lock file of an ended run. Holding its lock, this run is the only
        // one that may remove it; the name is checked to still be that file.
        if (sameFile(path, other)) ::unlink(path.c_str());
        ::close(other);
    }
    discardTemporary();
    message = formatText("The output folder %s could not be locked (its lock file %s keeps changing).",
                         shown.c_str(), path.c_str());
    return LockResult::CannotLock;
}

bool makeOutputFolder(const std::string& folder, std::string& why) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (fs::exists(fs::symlink_status(folder, ec))) return true;  // the lock says what it is
    const fs::path parent = fs::path(folder).parent_path();
    if (!parent.empty() && !fs::is_directory(parent, ec)) {
        why = fs::exists(parent, ec)
                  ? "The output folder " + folder + " cannot be made: " + parent.string() +
                        " is not a folder."
                  : "The output folder " + folder + " does not exist, nor does the folder it would go in (" +
                        parent.string() + ").";
        return false;
    }
    if (!fs::create_directory(folder, ec) && ec) {
        why = "The output folder " + folder + " could not be made (" + ec.message() + ").";
        return false;
    }
    return true;
}

}  // namespace qv
