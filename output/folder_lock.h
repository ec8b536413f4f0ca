// An exclusive lock on an output folder for the length of one run, so that
// two runs writing consensus files into the same folder cannot interleave.
//
// The lock is a file ".quorvane.lock" in the folder that holds, as text, the
// process id, the host name and the start time of the run that owns it:
//
//     Quorvane run lock
//     pid=1234
//     host=profiler-pc
//     started=1796798412 (2026-12-09 06:40:12 UTC)
//
// The file is written completely under a temporary name
// (".quorvane.lock.<pid>.<n>.tmp", created with O_CREAT|O_EXCL|O_NOFOLLOW),
// locked with an open-file-description lock (fcntl F_OFD_SETLK, which also
// conflicts between two open()s within one process), and only then given the
// final name with link(), which fails when the name exists and never follows
// a symbolic link. So the final name always names a complete, locked file.
//
// A lock file whose fcntl lock is free belongs to a run that has ended
// without removing it (killed, crashed, power loss: the kernel drops the lock
// with the process). Such a stale file is taken over: the new run takes its
// fcntl lock, removes it and puts its own in place. Where the file system
// offers no fcntl locks, a lock file is stale when it names this host and a
// process id that is not alive here.
//
// The lock is released (the file removed) when the OutputFolderLock is
// destroyed, and for locks still held when the program calls exit() or
// returns from main(). A child made by fork() never removes its parent's
// lock file; the lock descriptor is closed on exec.
#pragma once

#include <memory>
#include <string>

#include <sys/types.h>

namespace qv {

// The name of the lock file within the output folder.
inline constexpr const char* kOutputFolderLockName = ".quorvane.lock";

enum class LockResult {
    // The folder is locked for this run.
    Locked,
    // Another live run holds the folder; the message names its process,
    // host and start time. The caller must not write into the folder.
    InUse,
    // No lock could be taken because the folder is missing, is not a folder
    // or is not writable, or because the lock file's name is taken by
    // something that is not a lock file (a symbolic link is never followed).
    // The message says which. Writing the consensus files would fail in the
    // same way for the first two, and such failures are listed at the end of
    // a run, so the caller may go on without a lock.
    CannotLock,
};

class OutputFolderLock {
public:
    // Takes the lock of `folder`. On Locked, `lock` holds it and `message`
    // is empty; otherwise `lock` is reset and `message` is one sentence, e.g.
    //   "The output folder out is in use by another Quorvane run
    //    (process 1234 on host pc since 2026-12-09 06:40 UTC)."
    //   "The output folder out does not exist."
    //   "The output folder out is not writable (Permission denied)."
    // Never throws.
    static LockResult acquire(const std::string& folder, std::unique_ptr<OutputFolderLock>& lock,
                              std::string& message);

    // Removes the lock file (when it is still this lock's file) and drops
    // the fcntl lock.
    ~OutputFolderLock();

    OutputFolderLock(const OutputFolderLock&) = delete;
    OutputFolderLock& operator=(const OutputFolderLock&) = delete;

    // Releases early; the destructor then does nothing. Idempotent.
    void release();

    // The path of the lock file: "<folder>/.quorvane.lock".
    const std::string& path() const { return path_; }

private:
    OutputFolderLock(std::string path, int fd);

    std::string path_;
    int fd_ = -1;
    pid_t owner_ = 0;  // the process that took the lock; only it removes the file
};

// Makes an output folder that is missing when the folder it goes in
// exists (one level, as a user who names a new folder expects). False,
// with a sentence saying why, when it is missing and cannot be made; true
// when it exists, whatever it is (acquire then says what is wrong).
bool makeOutputFolder(const std::string& folder, std::string& why);

}  // namespace qv
