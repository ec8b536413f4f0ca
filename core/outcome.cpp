#include "core/outcome.h"

#include <iterator>

namespace qv {

void FileReport::lost(const std::string& path, const std::string& error) {
    std::string reason = error;
    if (reason.rfind(path + ": ", 0) == 0) reason.erase(0, path.size() + 2);
    if (reason.empty()) reason = "could not be written";
    unwritten.push_back({path, std::move(reason)});
}

void FileReport::append(FileReport&& other) {
    written.insert(written.end(), std::make_move_iterator(other.written.begin()),
                   std::make_move_iterator(other.written.end()));
    unwritten.insert(unwritten.end(), std::make_move_iterator(other.unwritten.begin()),
                     std::make_move_iterator(other.unwritten.end()));
}

}  // namespace qv
