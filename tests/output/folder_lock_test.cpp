// The output folder lock: one run per folder, stale locks of ended runs taken
// over, symbolic links never followed.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "output/folder_lock.h"
#include "support/test_folder.h"

namespace qv {

void PrintTo(LockResult r, std::ostream* os) {
    *os << (r == LockResult::Locked ? "Locked" : r == LockResult::InUse ? "InUse" : "CannotLock");
}

namespace {

namespace fs = std::filesystem;

std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFile(const fs::path& p, const std::string& text) {
    std::ofstream out(p, std::ios::binary);
    out << text;
}

std::vector<std::string> namesIn(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string hostName() {
    char name[256] = {};
    gethostname(name, sizeof name - 1);
    return name;
}

// The pid of a child that has already ended (and been reaped).
pid_t deadPid() {
    const pid_t child = fork();
    if (child == 0) _exit(0);
    int status = 0;
    waitpid(child, &status, 0);
    return child;
}

void readByte(int fd) {
    char c = 0;
    while (read(fd, &c, 1) < 0 && errno == EINTR) {
    }
}

class FolderLock : public ::testing::Test {
protected:
    void SetUp() override { dir_ = test::freshTestFolder("qv_folder_lock"); }
    void TearDown() override {
        std::error_code ec;
        fs::permissions(dir_, fs::perms::owner_all, ec);
        fs::remove_all(dir_, ec);
    }
    fs::path lockPath() const { return dir_ / kOutputFolderLockName; }
    std::string dir() const { return dir_.string(); }

    fs::path dir_;
};

TEST_F(FolderLock, WritesPidHostAndStartTimeAndRemovesTheFileOnDestruction) {
    std::unique_ptr<OutputFolderLock> lock;
    std::string message = "old";
    ASSERT_EQ(OutputFolderLock::acquire(dir(), lock, message), LockResult::Locked) << message;
    ASSERT_TRUE(lock);
    EXPECT_EQ(message, "");
    EXPECT_EQ(lock->path(), (dir_ / ".quorvane.lock").string());
    const std::string text = readFile(lockPath());
    EXPECT_EQ(text.rfind("Quorvane run lock\npid=" + std::to_string(getpid()) + "\nhost=" +
                             hostName() + "\nstarted=",
                         0),
              0u)
        << text;
    EXPECT_TRUE(std::regex_search(
        text, std::regex(R"(\nstarted=\d+ \(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d UTC\)\n$)")))
        << text;
    // Nothing but the lock file is left in the folder.
    EXPECT_EQ(namesIn(dir_), std::vector<std::string>{".quorvane.lock"});
    lock.reset();
    EXPECT_FALSE(fs::exists(lockPath()));
    EXPECT_TRUE(namesIn(dir_).empty());
}

TEST_F(FolderLock, SecondLockInTheSameProcessIsRefusedWithTheHoldersDetails) {
    std::unique_ptr<OutputFolderLock> first, second;
    std::string message;
    ASSERT_EQ(OutputFolderLock::acquire(dir(), first, message), LockResult::Locked) << message;
    const std::string before = readFile(lockPath());
    EXPECT_EQ(OutputFolderLock::acquire(dir(), second, message), LockResult::InUse);
    EXPECT_FALSE(second);
    const std::regex expected("The output folder " + dir() +
                              " is in use by another Quorvane run \\(process " +
                              std::to_string(getpid()) + " on host " + hostName() +
                              " since \\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d UTC\\)\\.");
    EXPECT_TRUE(std::regex_match(message, expected)) << message;
    // The refused attempt left the holder's file as it was and nothing else.
    EXPECT_EQ(readFile(lockPath()), before);
    EXPECT_EQ(namesIn(dir_), std::vector<std::string>{".quorvane.lock"});
    first.reset();
    EXPECT_EQ(OutputFolderLock::acquire(dir(), second, message), LockResult::Locked) << message;
}

TEST_F(FolderLock, TheMessageShowsTheStartTimeOfTheLockFileInUtcMinutes) {
    std::unique_ptr<OutputFolderLock> first, second;
    std::string message;
    ASSERT_EQ(OutputFolderLock::acquire(dir(), first, message), LockResult::Locked);
    // 2026-12-09 06:40:59 UTC, written over the holder's own file (same inode,
    // still locked).
    {
        std::ofstream out(lockPath(), std::ios::binary | std::ios::in | std::ios::out | std::ios::trunc);
        out << "Quorvane run lock\npid=4321\nhost=radar-pc\nstarted=1796798459 (whatever)\n";
    }
    EXPECT_EQ(OutputFolderLock::acquire(dir() + "/", second, message), LockResult::InUse);
    EXPECT_EQ(message,
              "The output folder " + dir() +
                  "/ is in use by another Quorvane run (process 4321 on host radar-pc since "
                  "2026-12-09 06:40 UTC).");
    // Without readable details the message names the lock file.
    {
        std::ofstream out(lockPath(), std::ios::binary | std::ios::in | std::ios::out | std::ios::trunc);
        out << "garbage\n";
    }
    EXPECT_EQ(OutputFolderLock::acquire(dir(), second, message), LockResult::InUse);
    EXPECT_EQ(message, "The output folder " + dir() +
                           " is in use by another Quorvane run (see its lock file " +
                           lockPath().string() + ").");
}

TEST_F(FolderLock, ReleaseRemovesTheFileOnceAndIsIdempotent) {
    std::unique_ptr<OutputFolderLock> lock;
    std::string message;
    ASSERT_EQ(OutputFolderLock::acquire(dir(), lock, message), LockResult::Locked);
    lock->release();
    EXPECT_FALSE(fs::exists(lockPath()));
    // Another run's lock now in place is not removed by a second release or
    // by the destructor.
    std::unique_ptr<OutputFolderLock> next;
    ASSERT_EQ(OutputFolderLock::acquire(dir(), next, message), LockResult::Locked);
    lock->release();
    lock.reset();
    EXPECT_TRUE(fs::exists(lockPath()));
    std::unique_ptr<OutputFolderLock> third;
    EXPECT_EQ(OutputFolderLock::acquire(dir(), third, message), LockResult::InUse);
}

TEST_F(FolderLock, StaleLockFileOfADeadProcessIsTakenOver) {
    writeFile(lockPath(), "Quorvane run lock\npid=" + std::to_string(deadPid()) + "\nhost=" +
                              hostName() + "\nstarted=1000000000 (2001-09-09 01:46:40 UTC)\n");
    std::unique_ptr<OutputFolderLock> lock;
    std::string message;
    ASSERT_EQ(OutputFolderLock::acquire(dir(), lock, message), LockResult::Locked) << message;
    EXPECT_NE(readFile(lockPath()).find("pid=" + std::to_string(getpid()) + "\n"),
              std::string::npos);
    EXPECT_EQ(namesIn(dir_), std::vector<std::string>{".quorvane.lock"});
    std::unique_ptr<OutputFolderLock> second;
    EXPECT_EQ(OutputFolderLock::acquire(dir(), second, message), LockResult::InUse);
}

TEST_F(FolderLock, UnlockedLockFileIsStaleWhateverItSays) {
    // No live run holds its lock: a reused pid (here: init) or an empty file
    // left by a power loss do not keep the folder locked.
    for (const std::string& text : {std::string("Quorvane run lock\npid=1\nhost=") + hostName() +
                                       "\nstarted=1\n",
                                   std::string(), std::string("\x01\x02 junk")}) {
        writeFile(lockPath(), text);
        std::unique_ptr<OutputFolderLock> lock;
        std::string message;
        EXPECT_EQ(OutputFolderLock::acquire(dir(), lock, message), LockResult::Locked) << message;
        EXPECT_NE(readFile(lockPath()).find("pid=" + std::to_string(getpid())), std::string::npos);
    }
    EXPECT_FALSE(fs::exists(lockPath()));
}

TEST_F(FolderLock, LockOfAKilledChildIsStaleAndTakenOver) {
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::unique_ptr<OutputFolderLock> lock;
        std::string message;
        const char result =
            OutputFolderLock::acquire(dir(), lock, message) == LockResult::Locked ? 'L' : 'x';
        (void)!write(ready[1], &result, 1);
        for (;;) pause();
    }
    close(ready[1]);
    char result = 0;
    ASSERT_EQ(read(ready[0], &result, 1), 1);
    close(ready[0]);
    ASSERT_EQ(result, 'L');

    std::unique_ptr<OutputFolderLock> lock;
    std::string message;
    EXPECT_EQ(OutputFolderLock::acquire(dir(), lock, message), LockResult::InUse);
    EXPECT_NE(message.find("(process " + std::to_string(child) + " on host "), std::string::npos)
        << message;

    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    ASSERT_TRUE(fs::exists(lockPath()));  // left behind by the killed run

    ASSERT_EQ(OutputFolderLock::acquire(dir(), lock, message), LockResult::Locked) << message;
    EXPECT_NE(readFile(lockPath()).find("pid=" + std::to_string(getpid()) + "\n"),
              std::string::npos);
    EXPECT_EQ(namesIn(dir_), std::vector<std::string>{".quorvane.lock"});
}

TEST_F(FolderLock, NormalExitRemovesALockStillHeld) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        auto* leaked = new std::unique_ptr<OutputFolderLock>;
        std::string message;
        if (OutputFolderLock::acquire(dir(), *leaked, message) != LockResult::Locked) _exit(3);
        if (!fs::exists(lockPath())) _exit(4);
        std::exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0);
    EXPECT_FALSE(fs::exists(lockPath()));
}

TEST_F(FolderLock, AForkedChildNeverRemovesItsParentsLock) {
    std::unique_ptr<OutputFolderLock> lock;
    std::string message;
    ASSERT_EQ(OutputFolderLock::acquire(dir(), lock, message), LockResult::Locked);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        lock.reset();  // the child's copy of the lock
        std::exit(0);  // and the exit handler
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_TRUE(fs::exists(lockPath()));
    std::unique_ptr<OutputFolderLock> second;
    EXPECT_EQ(OutputFolderLock::acquire(dir(), second, message), LockResult::InUse);
    lock.reset();
    EXPECT_FALSE(fs::exists(lockPath()));
}

TEST_F(FolderLock, ProcessesRacingForAStaleLockLeaveExactlyOneHolder) {
    writeFile(lockPath(), "Quorvane run lock\npid=" + std::to_string(deadPid()) + "\nhost=" +
                              hostName() + "\nstarted=1\n");
    constexpr int kRunners = 8;
    int go[2], results[2];
    ASSERT_EQ(pipe(go), 0);
    ASSERT_EQ(pipe(results), 0);
    std::vector<pid_t> children;
    for (int i = 0; i < kRunners; ++i) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            close(go[1]);
            readByte(go[0]);  // returns when the parent closes its end
            std::unique_ptr<OutputFolderLock> lock;
            std::string message;
            const LockResult r = OutputFolderLock::acquire(dir(), lock, message);
            const char c = r == LockResult::Locked ? 'L' : r == LockResult::InUse ? 'U' : 'C';
            (void)!write(results[1], &c, 1);
            for (;;) pause();
        }
        children.push_back(child);
    }
    close(go[0]);
    close(go[1]);
    close(results[1]);
    std::string got;
    for (int i = 0; i < kRunners; ++i) {
        char c = 0;
        if (read(results[0], &c, 1) != 1) break;
        got += c;
    }
    close(results[0]);
    for (const pid_t child : children) {
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
    }
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, "L" + std::string(kRunners - 1, 'U'));
    // Only the lock file (stale now, its holder killed) and no temporary files.
    EXPECT_EQ(namesIn(dir_), std::vector<std::string>{".quorvane.lock"});
}

TEST_F(FolderLock, SymbolicLinkNamedLikeTheLockFileIsNotFollowed) {
    const fs::path elsewhere = dir_ / "elsewhere";
    fs::create_directories(elsewhere);
    const fs::path target = elsewhere / "victim.txt";
    writeFile(target, "keep me\n");
    const fs::path out = dir_ / "out";
    fs::create_directories(out);
    fs::create_symlink(target, out / kOutputFolderLockName);

    std::unique_ptr<OutputFolderLock> lock;
    std::string message;
    EXPECT_EQ(OutputFolderLock::acquire(out.string(), lock, message), LockResult::CannotLock);
    EXPECT_FALSE(lock);
    EXPECT_EQ(message, "The output folder " + out.string() + " could not be locked: its lock file " +
                           (out / kOutputFolderLockName).string() +
                           " is a symbolic link, which is not followed.");
    EXPECT_EQ(readFile(target), "keep me\n");
    EXPECT_TRUE(fs::is_symlink(out / kOutputFolderLockName));
    EXPECT_EQ(namesIn(out), std::vector<std::string>{".quorvane.lock"});

    // A dangling link: its target is not created.
    fs::remove(out / kOutputFolderLockName);
    fs::create_symlink(elsewhere / "created.txt", out / kOutputFolderLockName);
    EXPECT_EQ(OutputFolderLock::acquire(out.string(), lock, message), LockResult::CannotLock);
    EXPECT_FALSE(fs::exists(elsewhere / "created.txt"));
    EXPECT_EQ(namesIn(out), std::vector<std::string>{".quorvane.lock"});
}

TEST_F(FolderLock, LockFileNameTakenByAFolderCannotLock) {
    fs::create_directories(lockPath());
    std::unique_ptr<OutputFolderLock> lock;
    std::string message;
    EXPECT_EQ(OutputFolderLock::acquire(dir(), lock, message), LockResult::CannotLock);
    EXPECT_EQ(message, "The output folder " + dir() + " could not be locked: its lock file " +
                           lockPath().string() + " is not a regular file.");
    EXPECT_TRUE(fs::is_directory(lockPath()));
    EXPECT_EQ(namesIn(dir_), std::vector<std::string>{".quorvane.lock"});
}

TEST_F(FolderLock, MissingFolderOrAFileCannotLock) {
    std::unique_ptr<OutputFolderLock> lock;
    std::string message;
    const std::string missing = (dir_ / "no" / "such").string();
    EXPECT_EQ(OutputFolderLock::acquire(missing, lock, message), LockResult::CannotLock);
    EXPECT_EQ(message, "The output folder " + missing + " does not exist.");
    EXPECT_FALSE(fs::exists(dir_ / "no"));  // not created either

    writeFile(dir_ / "plain", "x");
    EXPECT_EQ(OutputFolderLock::acquire((dir_ / "plain").string(), lock, message),
              LockResult::CannotLock);
    EXPECT_EQ(message, "The output folder " + (dir_ / "plain").string() + " is not a folder.");
}

TEST_F(FolderLock, UnwritableFolderCannotLock) {
    if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
    fs::permissions(dir_, fs::perms::owner_read | fs::perms::owner_exec);
    std::unique_ptr<OutputFolderLock> lock;
    std::string message;
    EXPECT_EQ(OutputFolderLock::acquire(dir(), lock, message), LockResult::CannotLock);
    EXPECT_EQ(message, "The output folder " + dir() + " is not writable (Permission denied).");
}

}  // namespace
}  // namespace qv
