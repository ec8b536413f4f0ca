// Helpers for the batch tool's tests: a temporary folder per test, running
// the tool in-process with captured streams, and reading files back.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/batch/batch.h"

namespace qv::test {

namespace fs = std::filesystem;

inline std::string samplesDir() { return std::string(QUORVANE_SOURCE_DIR) + "/samples"; }

inline std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void writeFile(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

inline std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

// File names in a folder, sorted.
inline std::vector<std::string> listFolder(const fs::path& dir) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        names.push_back(it->path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

class TempFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        static std::atomic<int> counter{0};
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = fs::temp_directory_path() /
               ("quorvane-app-" + std::to_string(::getpid()) + "-" +
                std::to_string(counter++) + "-" + info->name());
        fs::create_directories(dir_);
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    fs::path dir_;
};

struct BatchRun {
    int status = -1;
    std::string out;
    std::string err;
};

// A clock for the dialog's year lists: 2026.
inline CalendarTime clock2026() {
    CalendarTime c;
    c.year = 2026;
    c.month = 1;
    c.day = 1;
    return c;
}

inline BatchRun runTool(const std::vector<std::string>& args,
                        batch::BatchContext context = batch::BatchContext{}) {
    std::ostringstream out, err;
    context.out = &out;
    context.err = &err;
    context.now = clock2026;
    BatchRun run;
    run.status = batch::runBatch(args, context);
    run.out = out.str();
    run.err = err.str();
    return run;
}

// Arguments of a valid ASCII run over the bundled samples.
inline std::vector<std::string> sampleArgs(const std::string& output, const std::string& kind) {
    return {"--begin",      "2004-06-15", "--end",  "2004-06-16", "--input",   samplesDir(),
            "--output",     output,       "--kind", kind,         "--minutes", "30",
            "--input-type", "ascii",      "--site", "qvs"};
}

inline std::vector<std::string> operator+(std::vector<std::string> a,
                                          const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

}  // namespace qv::test
