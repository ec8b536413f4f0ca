#include "output/day_output.h"

#include <exception>

namespace qv {

std::string pathIn(const std::string& folder, const std::string& name) {
    return folder.empty() ? name : folder + "/" + name;
}

OutputFile makeOutputFile(const std::string& path,
                          const std::function<bool(std::string& bytes, std::string& error)>& make) {
    OutputFile file;
    file.path = path;
    std::string error;
    bool made = false;
    try {
        made = make(file.bytes, error);
    } catch (const std::exception& e) {
        error = std::string("could not be made (") + e.what() + ")";
    }
    if (made) return file;
    file.bytes.clear();
    if (error.empty()) error = "could not be made";
    // The reason names the file once.
    file.error = error.rfind(path, 0) == 0 ? error : path + ": " + error;
    return file;
}

}  // namespace qv
