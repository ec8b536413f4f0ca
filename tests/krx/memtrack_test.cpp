// The allocation log switched on by MEMTRACK.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "tests/krx/krx_fixture.h"

namespace krxtest {
namespace {

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

std::string pointerText(const void* p) {
    char text[64];
    std::snprintf(text, sizeof text, "%p", p);
    return text;
}

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class MemtrackTest : public KrxTest {
  protected:
    void SetUp() override {
        KrxTest::SetUp();
        if (const char* value = std::getenv("MEMTRACK")) saved_ = value;
    }

    void TearDown() override {
        if (saved_) {
            setenv("MEMTRACK", saved_->c_str(), 1);
        } else {
            unsetenv("MEMTRACK");
        }
        reset_allocation_log();
        KrxTest::TearDown();
    }

    // Loads one packed record: the library allocates its moment block.
    void loadOneRecord() {
        HeaderFile headers;
        const std::int32_t h = headers.add(standardHeader());
        DataFile data;
        data.add(packedRecord(h, at(16, 0)));
        const std::string path = writePair(data, headers);
        ASSERT_TRUE(openAt(path, 16, 0));
    }

    std::optional<std::string> saved_;
};

TEST_F(MemtrackTest, UnsetWritesNoLog) {
    unsetenv("MEMTRACK");
    loadOneRecord();
    void* block = tracked_alloc(16, "test: unset");
    EXPECT_NE(block, nullptr);
    tracked_free(block);
    EXPECT_EQ(open_allocation_log(), nullptr);
    // Found set later, the log starts then.
    const std::string log = pathOf("late.log");
    setenv("MEMTRACK", log.c_str(), 1);
    block = tracked_alloc(32, "test: late");
    const std::string line = "A " + pointerText(block) + " 000032 test: late\n";
    tracked_free(block);
    EXPECT_EQ(readAll(log), line);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_), {}), 3)
        << "the pair and the one log";
}

TEST_F(MemtrackTest, SetStartsAFreshLogAndAppendsEveryAllocation) {
    const std::string log = pathOf("alloc.log");
    {
        std::ofstream old(log);
        old << "left over from an earlier run\n";
    }
    setenv("MEMTRACK", log.c_str(), 1);
    loadOneRecord();
    const std::string first = "A " + pointerText(krx_data_arrays().block) + " 011080 disk: hdr\n";
    EXPECT_EQ(readAll(log), first);

    void* second = tracked_alloc(100, "test: second");
    const std::string both = first + "A " + pointerText(second) + " 000100 test: second\n";
    tracked_free(second);
    EXPECT_EQ(readAll(log), both);

    // The path is remembered for the rest of the process.
    const std::string other = pathOf("other.log");
    setenv("MEMTRACK", other.c_str(), 1);
    void* third = tracked_calloc(3, 4, "test: third");
    ASSERT_NE(third, nullptr);
    EXPECT_EQ(std::memcmp(third, "\0\0\0\0\0\0\0\0\0\0\0\0", 12), 0);
    EXPECT_EQ(readAll(log), both + "A " + pointerText(third) + " 000012 test: third\n");
    tracked_free(third);
    EXPECT_FALSE(std::filesystem::exists(other));
}

TEST_F(MemtrackTest, FailedAllocationsAreLoggedWithX) {
    const std::string log = pathOf("alloc.log");
    setenv("MEMTRACK", log.c_str(), 1);
    set_allocation_failure_hook([](std::uint64_t bytes, const char*) { return bytes == 64; });
    EXPECT_EQ(tracked_alloc(64, "test: refused"), nullptr);
    EXPECT_EQ(tracked_calloc(0x10000, 0x10000, "test: too big"), nullptr);
    EXPECT_EQ(readAll(log), "X " + pointerText(nullptr) + " 000064 test: refused\n" + "X " +
                                pointerText(nullptr) + " 4294967296 test: too big\n");
}

TEST_F(MemtrackTest, UnwritableLogIsReportedAtEveryAllocation) {
    const std::string log = pathOf("missing/alloc.log");
    setenv("MEMTRACK", log.c_str(), 1);
    CaptureStderr();
    void* a = tracked_alloc(8, "test: a");
    void* b = tracked_alloc(8, "test: b");
    const std::string err = GetCapturedStderr();
    EXPECT_NE(a, nullptr);
    EXPECT_NE(b, nullptr);
    tracked_free(a);
    tracked_free(b);
    const std::string once = "\a\nCannot open " + log + "\n\a";
    EXPECT_EQ(err, once + once);
}

}  // namespace
}  // namespace krxtest
