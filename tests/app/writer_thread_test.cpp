// The writer thread of a run's slow files: tasks run in the order posted,
// on one thread that is not the poster's; what is posted before the end is
// still done; a task's exception reaches the one who waits for its report.
#include "app/engine/writer_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "core/job.h"

namespace qv {
namespace {

FileReport reportOf(const std::string& path) {
    FileReport report;
    report.written.push_back(path);
    return report;
}

TEST(WriterThread, RunsTasksInOrderOnOneOtherThread) {
    std::vector<int> order;  // touched by the writer thread only
    std::vector<std::thread::id> threads;
    std::vector<std::future<FileReport>> reports;
    {
        WriterThread writer;
        for (int i = 0; i < 50; ++i) {
            reports.push_back(writer.post([i, &order, &threads] {
                order.push_back(i);
                threads.push_back(std::this_thread::get_id());
                return reportOf("day" + std::to_string(i));
            }));
        }
        for (int i = 0; i < 50; ++i) {
            EXPECT_EQ(reports[static_cast<std::size_t>(i)].get().written.front(),
                      "day" + std::to_string(i));
        }
    }
    ASSERT_EQ(order.size(), 50u);
    for (int i = 0; i < 50; ++i) EXPECT_EQ(order[static_cast<std::size_t>(i)], i);
    for (const std::thread::id id : threads) {
        EXPECT_EQ(id, threads.front());
        EXPECT_NE(id, std::this_thread::get_id());
    }
}

TEST(WriterThread, EndsOnlyAfterWhatWasPosted) {
    std::atomic<int> done{0};
    std::future<FileReport> last;
    {
        WriterThread writer;
        for (int i = 0; i < 20; ++i) {
            last = writer.post([&done] {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                ++done;
                return FileReport{};
            });
        }
    }  // nobody waited for a report
    EXPECT_EQ(done.load(), 20);
    EXPECT_EQ(last.wait_for(std::chrono::seconds(0)), std::future_status::ready);
}

TEST(WriterThread, ATasksExceptionReachesItsReport) {
    WriterThread writer;
    std::future<FileReport> failed =
        writer.post([]() -> FileReport { throw std::runtime_error("disk on fire"); });
    std::future<FileReport> next = writer.post([] { return reportOf("after"); });
    EXPECT_THROW(failed.get(), std::runtime_error);
    EXPECT_EQ(next.get().written.front(), "after");
}

}  // namespace
}  // namespace qv
