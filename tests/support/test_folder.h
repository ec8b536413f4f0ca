// A folder of its own for the running test, and a look at a job's periods.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/job.h"

namespace qv::test {

// <temp>/<prefix>_<suite>_<test>_<pid>, created empty (whatever an earlier
// run left there is removed first).
inline std::filesystem::path freshTestFolder(const std::string& prefix) {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / (prefix + "_" + info->test_suite_name() + "_" +
                                                  info->name() + "_" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

// The keys of the job's periods, in store order.
inline std::vector<std::string> periodKeys(const ConsensusJob& job) {
    std::vector<std::string> out;
    for (AveragingPeriod* p : job.periods) out.emplace_back(p->key);
    return out;
}

// The job's period of that key, or nullptr.
inline AveragingPeriod* findPeriod(const ConsensusJob& job, const std::string& key) {
    for (AveragingPeriod* p : job.periods) {
        if (key == p->key) return p;
    }
    return nullptr;
}

}  // namespace qv::test
