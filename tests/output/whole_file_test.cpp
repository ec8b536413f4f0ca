// Files written whole: the final name holds the old file or the new one,
// never a part; a symbolic link in the final name's place is not followed;
// a temporary file left by a killed run is replaced.
#include "output/whole_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/test_folder.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

std::string slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

class WholeFile : public ::testing::Test {
protected:
    void SetUp() override { dir = test::freshTestFolder("qv_whole_file"); }
    void TearDown() override { fs::remove_all(dir); }
    fs::path dir;
};

TEST_F(WholeFile, ReplacesTheOldFileAndLeavesNoTemporaryFile) {
    const fs::path path = dir / "abc04167.w1a";
    std::ofstream(path) << "old";
    // A temporary file of a killed run (or a link planted in its place).
    fs::create_symlink(dir / "elsewhere", temporaryPathFor(path.string()));
    std::string error;
    ASSERT_TRUE(writeWholeFile(path.string(), "new contents\n", error)) << error;
    EXPECT_EQ(slurp(path), "new contents\n");
    EXPECT_FALSE(fs::exists(dir / "elsewhere"));
    EXPECT_FALSE(fs::exists(fs::symlink_status(temporaryPathFor(path.string()))));
    EXPECT_EQ(temporaryPathFor(path.string()), (dir / ".abc04167.w1a.part").string());
}

TEST_F(WholeFile, SymbolicLinkOutOfTheFolderIsRefusedNotFollowed) {
    const fs::path outside = dir / "outside.txt";
    std::ofstream(outside) << "keep me";
    fs::create_directories(dir / "out");
    const fs::path path = dir / "out" / "abc04167.w1a";
    fs::create_symlink(outside, path);
    std::string error;
    EXPECT_FALSE(writeWholeFile(path.string(), "new", error));
    EXPECT_NE(error.find("is a symbolic link; it is not followed"), std::string::npos) << error;
    EXPECT_EQ(slurp(outside), "keep me");
    EXPECT_TRUE(fs::is_symlink(path));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "out"), fs::directory_iterator()), 1);
}

TEST_F(WholeFile, AFailedWriteKeepsThePreviousFile) {
    const fs::path path = dir / "abc04167.w1a";
    std::ofstream(path) << "previous";
    std::string error;
    const bool written = writeWholeFileWith(
        path.string(),
        [](const std::string& temporary, std::string& why) {
            std::ofstream(temporary) << "half";
            why = "the writer failed";
            return false;
        },
        error);
    EXPECT_FALSE(written);
    EXPECT_EQ(error, "the writer failed");
    EXPECT_EQ(slurp(path), "previous");
    EXPECT_FALSE(fs::exists(temporaryPathFor(path.string())));
}


// A folder that cannot hold the file is reported with the system's reason
// and the final name, whichever writer makes the file; the writer is not
// called at all.
TEST_F(WholeFile, MissingOrReadOnlyFolderGivesTheSystemsReason) {
    const fs::path missing = dir / "no-such-folder" / "abc04167.w1a";
    std::string error;
    EXPECT_FALSE(writeWholeFile(missing.string(), "x", error));
    EXPECT_EQ(error, missing.string() + ": No such file or directory");
    bool called = false;
    EXPECT_FALSE(writeWholeFileWith(
        missing.string(),
        [&called](const std::string&, std::string&) { return called = true; }, error));
    EXPECT_FALSE(called);
    EXPECT_EQ(error, missing.string() + ": No such file or directory");

    if (::geteuid() != 0) {  // root writes into read-only folders
        fs::create_directories(dir / "read-only");
        fs::permissions(dir / "read-only", fs::perms::owner_read | fs::perms::owner_exec);
        const fs::path locked = dir / "read-only" / "abc04167.w1a";
        EXPECT_FALSE(writeWholeFile(locked.string(), "x", error));
        EXPECT_EQ(error, locked.string() + ": Permission denied");
        fs::permissions(dir / "read-only", fs::perms::owner_all);
    }
}

}  // namespace
}  // namespace qv
