#include "output/whole_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace qv {
namespace {

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string systemReason(const std::string& path, int error) {
    return path + ": " + std::strerror(error);
}

// A final name that is a symbolic link would send the file elsewhere
// (possibly out of the output folder): refused.
bool refuseLink(const std::string& finalPath, std::string& error) {
    struct stat st {};
    if (::lstat(finalPath.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        error = finalPath + ": is a symbolic link; it is not followed";
        return true;
    }
    return false;
}

bool writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) {
            errno = EIO;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// Flushes a finished temporary file to the disk and renames it into place;
// the folder is flushed too, so that the new name survives a power loss.
bool commit(const std::string& temporary, const std::string& finalPath, std::string& error,
            Durability durability) {
    const bool flush = durability == Durability::Flushed;
    const int fd = flush ? ::open(temporary.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW) : -1;
    if (flush && fd < 0) {
        error = systemReason(finalPath, errno);
        return false;
    }
    if (flush && ::fsync(fd) != 0 && errno != EINVAL) {
        error = systemReason(finalPath, errno);
        ::close(fd);
        return false;
    }
    if (flush) ::close(fd);
    if (refuseLink(finalPath, error)) return false;
    if (std::rename(temporary.c_str(), finalPath.c_str()) != 0) {
        error = systemReason(finalPath, errno);
        return false;
    }
    const int dir =
        flush ? ::open(folderOf(finalPath).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

}  // namespace

std::string temporaryPathFor(const std::string& finalPath) {
    const std::size_t slash = finalPath.rfind('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    return finalPath.substr(0, nameStart) + "." + finalPath.substr(nameStart) + ".part";
}

bool writeWholeFile(const std::string& finalPath, const std::string& contents,
                    std::string& error, Durability durability) {
    // Reasons name the final file, the one the user asked for.
    return writeWholeFileWith(
        finalPath,
        [&contents, &finalPath](const std::string& temporary, std::string& err) {
            const int fd = ::open(temporary.c_str(),
                                  O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0666);
            if (fd < 0) {
                err = systemReason(finalPath, errno);
                return false;
            }
            const bool written = writeAll(fd, contents.data(), contents.size());
            const int writeError = errno;
            if (::close(fd) != 0 || !written) {
                err = systemReason(finalPath, written ? errno : writeError);
                return false;
            }
            return true;
        },
        error, durability);
}

bool writeWholeFileWith(const std::string& finalPath,
                        const std::function<bool(const std::string&, std::string&)>& produce,
                        std::string& error, Durability durability) {
    if (refuseLink(finalPath, error)) return false;
    const std::string temporary = temporaryPathFor(finalPath);
    // A leftover of a killed run, or a link planted under the temporary
    // name, goes first: the writer creates a fresh file.
    ::unlink(temporary.c_str());
    // The temporary file is made here first, so that a missing or read-only
    // folder is reported with the system's reason, whichever library then
    // writes the file (the netCDF library's own reasons are vaguer).
    const int fd = ::open(temporary.c_str(),
                          O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd < 0) {
        error = systemReason(finalPath, errno);
        return false;
    }
    ::close(fd);
    std::string reason;
    if (!produce(temporary, reason) || !commit(temporary, finalPath, reason, durability)) {
        ::unlink(temporary.c_str());
        error = reason.empty() ? finalPath + ": could not be written" : reason;
        return false;
    }
    return true;
}

}  // namespace qv
