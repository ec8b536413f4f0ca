#include "input/file_lookup.h"

#include <filesystem>
#include <system_error>

namespace qv {
namespace {

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool equalIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lowerAscii(a[i]) != lowerAscii(b[i])) return false;
    }
    return true;
}

}  // namespace

std::string joinInputPath(const std::string& folder, const std::string& name) {
    if (!folder.empty() && folder.back() == '/') return folder + name;
    return folder + '/' + name;
}

std::optional<std::string> findInputFile(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (fs::exists(fs::path(path), ec)) return path;

    // Split at the last '/': the folder part keeps its separator so that the
    // result is spelled like the path that was asked for.
    const std::size_t slash = path.rfind('/');
    const std::string folderPart =
        slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string wanted = slash == std::string::npos ? path : path.substr(slash + 1);
    if (wanted.empty()) return std::nullopt;

    const fs::path folder = folderPart.empty() ? fs::path(".") : fs::path(folderPart);
    fs::directory_iterator it(folder, ec);
    if (ec) return std::nullopt;

    std::optional<std::string> best;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec) return std::nullopt;
        const std::string name = it->path().filename().string();
        if (!equalIgnoringCase(name, wanted)) continue;
        std::error_code typeEc;
        if (!it->is_regular_file(typeEc) || typeEc) continue;
        if (!best || name < *best) best = name;
    }
    if (!best) return std::nullopt;
    return folderPart + *best;
}

}  // namespace qv
