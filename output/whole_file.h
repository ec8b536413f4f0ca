// Files that users keep are written whole or not at all: into a temporary
// file in the same folder, flushed to the disk, then renamed over the final
// name. After any interruption (a cancel, a signal, SIGKILL, a power loss)
// the final name holds the previous complete file, the new complete file,
// or nothing. A temporary file is removed on every failure; one left by a
// killed run has the same name as the next run's and is replaced by it.
#pragma once

#include <functional>
#include <string>

namespace qv {

// The temporary name of a final path: ".NAME.part" in the same folder.
std::string temporaryPathFor(const std::string& finalPath);

// Whether a file is flushed to the disk before its rename (and its folder
// after): files users keep are; a page that the next write makes again
// need not be, and is still never seen cut.
enum class Durability { Flushed, RenamedOnly };

// Writes `contents` to `finalPath` whole. On failure returns false, sets
// `error` (the path and the system's reason) and leaves the final name as
// it was. A final name that is a symbolic link is refused, never followed.
bool writeWholeFile(const std::string& finalPath, const std::string& contents,
                    std::string& error, Durability durability = Durability::Flushed);

// For writers that need a file name of their own (the netCDF library):
// `produce` writes the complete file at the temporary path it is given and
// returns false (with `error` set) on failure. The file is then flushed and
// renamed into place; on any failure the temporary file is removed.
bool writeWholeFileWith(const std::string& finalPath,
                        const std::function<bool(const std::string& temporaryPath,
                                                 std::string& error)>& produce,
                        std::string& error, Durability durability = Durability::Flushed);

}  // namespace qv
