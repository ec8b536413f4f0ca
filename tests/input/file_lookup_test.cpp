#include "input/file_lookup.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "support/test_folder.h"

namespace {

namespace fs = std::filesystem;

class FileLookup : public ::testing::Test {
  protected:
      void SetUp() override { dir_ = qv::test::freshTestFolder("qv_file_lookup"); }
      void TearDown() override { fs::remove_all(dir_); }

      std::string folder() const { return dir_.string(); }
      void touch(const std::string& name) const { std::ofstream(dir_ / name) << "x\n"; }

      fs::path dir_;
};

TEST(FileLookup_Join, SeparatorOnlyWhenTheFolderLacksIt) {
    struct Case {
        const char* folder;
        const char* expected;
    };
    const Case cases[] = {
        {"/data", "/data/abc04167.raw"}, {"/data/", "/data/abc04167.raw"},
        {"/", "/abc04167.raw"},          {"data", "data/abc04167.raw"},
        {"", "/abc04167.raw"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(qv::joinInputPath(c.folder, "abc04167.raw"), c.expected) << c.folder;
    }
}

TEST_F(FileLookup, ExactNameIsTakenAsItIs) {
    touch("abc04167.raw");
    const std::string path = qv::joinInputPath(folder(), "abc04167.raw");
    ASSERT_TRUE(qv::findInputFile(path).has_value());
    EXPECT_EQ(*qv::findInputFile(path), path);
}

TEST_F(FileLookup, UpperCaseCopyIsFoundForLowerCaseName) {
    touch("ABC04167.RAW");
    const auto found = qv::findInputFile(qv::joinInputPath(folder(), "abc04167.raw"));
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(*found, folder() + "/ABC04167.RAW");
}

TEST_F(FileLookup, ExactNameWinsOverCaseVariants) {
    touch("ABC04167.RAW");
    touch("abc04167.raw");
    touch("Abc04167.Raw");
    const std::string path = qv::joinInputPath(folder(), "abc04167.raw");
    EXPECT_EQ(qv::findInputFile(path).value_or(""), path);
}

TEST_F(FileLookup, OfSeveralVariantsTheFirstInByteOrderIsTaken) {
    touch("abc04167.RAW");
    touch("ABC04167.raw");
    EXPECT_EQ(qv::findInputFile(qv::joinInputPath(folder(), "Abc04167.Raw")).value_or(""),
              folder() + "/ABC04167.raw");
}

TEST_F(FileLookup, NoMatchGivesNone) {
    struct Case {
        const char* present;
        const char* wanted;
    };
    const Case cases[] = {
        {"abc04167.rat", "abc04167.raw"},  // other extension
        {"abc04168.raw", "abc04167.raw"},  // other day
        {"abc04167.raw.bak", "abc04167.raw"},
        {"xabc04167.raw", "abc04167.raw"},
    };
    for (const Case& c : cases) {
        touch(c.present);
        EXPECT_FALSE(qv::findInputFile(qv::joinInputPath(folder(), c.wanted)).has_value())
            << c.present;
    }
}

TEST_F(FileLookup, FolderOfTheSameNameIsNotTakenForAFile) {
    fs::create_directory(dir_ / "ABC04167.RAW");
    EXPECT_FALSE(qv::findInputFile(qv::joinInputPath(folder(), "abc04167.raw")).has_value());
}

TEST_F(FileLookup, MissingFolderGivesNone) {
    EXPECT_FALSE(qv::findInputFile(folder() + "/nothere/abc04167.raw").has_value());
}

}  // namespace
