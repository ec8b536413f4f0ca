// Locating the moment files of a day on disk.
//
// Input names are composed from the user's folder and a fixed pattern, but
// files copied from other systems often carry upper-case names. Every reader
// opens its files through findInputFile, so that ABC04167.RAW is found when
// abc04167.raw is asked for.
#pragma once

#include <optional>
#include <string>

namespace qv {

// The folder, a '/' unless the folder already ends in one, and the name.
std::string joinInputPath(const std::string& folder, const std::string& name);

// The path itself when something of that name exists; otherwise the path of
// a regular file in the same folder whose name equals the path's last
// component ignoring ASCII letter case (of several, the first in byte order);
// none when there is no such file or the folder cannot be listed.
std::optional<std::string> findInputFile(const std::string& path);

}  // namespace qv
