#include "output/bufr_api.h"

#include <eccodes.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

namespace qv::bufr {

static_assert(kMissing == CODES_MISSING_DOUBLE);

namespace {

using Clock = std::chrono::steady_clock;

// Time ecCodes may take to make the trial messages before its process is
// stopped: far beyond a sound library's few tens of milliseconds.
constexpr std::chrono::seconds kTrialLimit{60};
// The most of ecCodes' log kept for a message.
constexpr std::size_t kMaxLogText = 1000;
// The templates kept at once.
constexpr std::size_t kMaxTemplates = 8;
// Sent by the trial process once every message was made.
constexpr std::string_view kReadyMark = "\x01ready\n";

std::mutex& libraryMutex() {
    static std::mutex mutex;
    return mutex;
}

// How many LibraryLocks the thread holds: a nested one does not lock again.
// A child made by fork inherits the forking thread's count (the lock was
// held for the fork), so the child's calls pass through.
thread_local int heldLocks = 0;

// ecCodes' log since the current call began (under the lock), or, in the
// trial process, the pipe its lines go to.
std::string logText;
int trialPipe = -1;

void writeAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t n = ::write(fd, text.data(), text.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        text.remove_prefix(static_cast<std::size_t>(n));
    }
}

void keepLog(const codes_context*, int level, const char* message) {
    if (!message || level == GRIB_LOG_DEBUG) return;
    if (trialPipe >= 0) {
        writeAll(trialPipe, std::string(message) + "\n");
        return;
    }
    if (logText.size() >= kMaxLogText) return;
    if (!logText.empty()) logText += "; ";
    logText.append(message, strnlen(message, kMaxLogText));
}

// ecCodes' assertions abort; in the trial process the reason goes first.
void assertionInTrial(const char* message) {
    if (message) writeAll(trialPipe, std::string(message) + "\n");
    std::abort();
}

std::string withLog(std::string text) {
    if (!logText.empty()) text += " (ecCodes: " + logText + ")";
    return text;
}

struct Readiness {
    bool known = false;
    bool ready = false;
    std::string error;
};

Readiness& readiness() {
    static Readiness r;
    return r;
}

// What ecCodes was using: "its definitions in ECCODES_DEFINITION_PATH=..."
// or "its installed definitions".
std::string definitionsText() {
    const char* path = std::getenv("ECCODES_DEFINITION_PATH");
    std::string text = path ? std::string("its definitions in ECCODES_DEFINITION_PATH=") + path
                            : std::string("its installed definitions");
    if (const char* samples = std::getenv("ECCODES_SAMPLES_PATH")) {
        text += std::string(" and samples in ECCODES_SAMPLES_PATH=") + samples;
    }
    return text;
}

// The trial process: one message of every layout, its log and the result
// into the pipe. Never returns.
[[noreturn]] void runTrial(int fd, const std::vector<Layout>& layouts) {
    // ecCodes' own printing goes nowhere; a fault ends the process by its
    // signal, not by a handler the program installed.
    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null >= 0) {
        ::dup2(null, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
    }
    for (const int signal : {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT}) ::signal(signal, SIG_DFL);
    trialPipe = fd;
    codes_set_codes_assertion_failed_proc(assertionInTrial);
    codes_context_set_logging_proc(codes_context_get_default(), keepLog);
    try {
        for (const Layout& layout : layouts) {
            Template trial(layout);
            std::string bytes;
            if (!trial.ok() || !trial.pack(TypicalTime{2000, 1, 1, 0, 0, 0}, bytes)) {
                writeAll(fd, trial.error() + "\n");
                ::_exit(1);
            }
        }
        writeAll(fd, kReadyMark);
    } catch (...) {
    }
    ::_exit(0);
}

// Reads what the trial process sends until it ends or `deadline` passes.
bool receive(int fd, Clock::time_point deadline, std::string& text) {
    char buffer[4096];
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return false;
        pollfd watch{fd, POLLIN, 0};
        const int ready =
            ::poll(&watch, 1, static_cast<int>(std::min<long long>(left.count() + 1, 1000)));
        if (ready < 0 && errno != EINTR) return true;
        if (ready <= 0) continue;
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n <= 0) return true;
        if (text.size() < 16 * kMaxLogText) text.append(buffer, static_cast<std::size_t>(n));
    }
}

// Waits for the child to end; kills it at `deadline`. False when its status
// cannot be known.
bool reap(pid_t child, Clock::time_point deadline, int& status) {
    for (;;) {
        const pid_t done = ::waitpid(child, &status, WNOHANG);
        if (done == child) return true;
        if (done < 0 && errno == EINTR) continue;
        if (done < 0) return false;
        if (Clock::now() >= deadline) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ::kill(child, SIGKILL);
    for (;;) {
        const pid_t done = ::waitpid(child, &status, 0);
        if (done == child) return true;
        if (done < 0 && errno != EINTR) return false;
    }
}

// The trial, under the lock; its sentence in `error` when ecCodes is not
// ready.
bool tryLibrary(const std::vector<Layout>& layouts, std::string& error) {
    const std::string failed = "ecCodes cannot make WMO BUFR messages with " + definitionsText();
    int fds[2] = {-1, -1};
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        error = failed + ": no process could be started to try it (" + std::strerror(errno) + ")";
        return false;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(fds[0]);
        runTrial(fds[1], layouts);
    }
    const int forkError = errno;
    ::close(fds[1]);
    if (child < 0) {
        ::close(fds[0]);
        error =
            failed + ": no process could be started to try it (" + std::strerror(forkError) + ")";
        return false;
    }
    const Clock::time_point deadline = Clock::now() + kTrialLimit;
    std::string text;
    const bool ended = receive(fds[0], deadline, text);
    ::close(fds[0]);
    int status = 0;
    const bool known =
        reap(child, ended ? Clock::now() + std::chrono::seconds(10) : deadline, status);
    const std::size_t mark = text.find(kReadyMark);
    if (ended && mark != std::string::npos) return true;

    // ecCodes' lines, joined.
    std::string said;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(at, end - at);
        if (!line.empty() && said.size() < kMaxLogText) said += (said.empty() ? "" : "; ") + line;
        at = end + 1;
    }
    std::string how;
    if (!ended) {
        how =
            "its trial process gave no answer within " + std::to_string(kTrialLimit.count()) + " s";
    } else if (known && WIFSIGNALED(status)) {
        how = "its trial process ended with signal " + std::to_string(WTERMSIG(status)) + ", " +
              strsignal(WTERMSIG(status));
    } else {
        how = "its trial process failed";
    }
    error = failed + ": " + (said.empty() ? std::string() : said + " ") + "(" + how + ")";
    return false;
}

struct Templates {
    std::vector<std::unique_ptr<Template>> kept;  // oldest first
};

Templates& templates() {
    static Templates t;
    return t;
}

}  // namespace

LibraryLock::LibraryLock() {
    if (heldLocks++ == 0) libraryMutex().lock();
}

LibraryLock::~LibraryLock() {
    if (--heldLocks == 0) libraryMutex().unlock();
}

bool libraryReady(const std::vector<Layout>& layouts, std::string& error) {
    const LibraryLock lock;
    Readiness& r = readiness();
    if (!r.known) {
        r.ready = tryLibrary(layouts, r.error);
        r.known = true;
        if (r.ready) codes_context_set_logging_proc(codes_context_get_default(), keepLog);
    }
    if (!r.ready) error = r.error;
    return r.ready;
}

Template::Template(const Layout& layout) : layout_(layout) {
    const LibraryLock lock;
    logText.clear();
    handle_ = codes_bufr_handle_new_from_samples(nullptr, "BUFR4");
    if (!handle_) {
        error_ = withLog("ecCodes has no BUFR edition 4 sample");
        return;
    }
    const struct {
        const char* key;
        long value;
    } keys[] = {
        {"masterTablesVersionNumber", layout.masterTablesVersion},
        {"localTablesVersionNumber", 0},
        {"bufrHeaderCentre", layout.centre},
        {"bufrHeaderSubCentre", layout.subCentre},
        {"updateSequenceNumber", 0},
        {"dataCategory", layout.dataCategory},
        {"internationalDataSubCategory", layout.internationalSubCategory},
        {"dataSubCategory", layout.localSubCategory},
        {"numberOfSubsets", 1},
        {"observedData", 1},
        {"compressedData", 0},
        {"inputExtendedDelayedDescriptorReplicationFactor", layout.replication},
        {"unexpandedDescriptors", layout.descriptor},
    };
    for (const auto& k : keys) {
        if (!check(codes_set_long(handle_, k.key, k.value), "setting", k.key)) return;
    }
    long edition = 0;
    if (check(codes_get_long(handle_, "edition", &edition), "reading the edition") &&
        edition != 4) {
        error_ = "ecCodes' BUFR sample is not of edition 4";
    }
}

Template::~Template() {
    if (handle_) {
        const LibraryLock lock;
        codes_handle_delete(handle_);
    }
}

bool Template::check(int status, const char* what, const char* key) {
    if (status == CODES_SUCCESS) return true;
    if (error_.empty()) {
        std::string text = what;
        if (key) text += std::string(" ") + key;
        error_ = withLog(text + ": " + codes_get_error_message(status));
    }
    return false;
}

bool Template::holds(const char* key, std::span<const double> values, std::string_view text) {
    // A message sets its keys in the order the last one did: the next key
    // is looked for where the last one was found.
    const auto sameKey = [key](const Held& h) { return h.key == key; };
    std::size_t at = nextHeld_ < held_.size() && sameKey(held_[nextHeld_])
                         ? nextHeld_
                         : static_cast<std::size_t>(
                               std::find_if(held_.begin(), held_.end(), sameKey) - held_.begin());
    nextHeld_ = at + 1;
    if (at == held_.size()) {
        held_.push_back(Held{key, {values.begin(), values.end()}, std::string(text)});
        return false;
    }
    Held& h = held_[at];
    if (h.text == text && h.values.size() == values.size() &&
        std::equal(values.begin(), values.end(), h.values.begin())) {
        return true;
    }
    h.values.assign(values.begin(), values.end());
    h.text.assign(text);
    return false;
}

bool Template::setNumber(const char* key, double value) {
    const LibraryLock lock;
    logText.clear();
    if (!ok()) return false;
    if (holds(key, std::span(&value, 1), {})) return true;
    return check(codes_set_double(handle_, key, value), "setting", key);
}

bool Template::setNumbers(const char* key, std::span<const double> values) {
    const LibraryLock lock;
    logText.clear();
    if (!ok()) return false;
    if (holds(key, values, {})) return true;
    return check(codes_set_double_array(handle_, key, values.data(), values.size()), "setting",
                 key);
}

bool Template::setText(const char* key, std::string_view text) {
    const LibraryLock lock;
    logText.clear();
    if (!ok()) return false;
    // A text is held with one value, so that missing (empty) differs from
    // never set.
    const double marker = 0.0;
    if (holds(key, std::span(&marker, 1), text)) return true;
    if (text.empty()) return check(codes_set_missing(handle_, key), "setting", key);
    const std::string value(text);
    std::size_t length = value.size();
    return check(codes_set_string(handle_, key, value.c_str(), &length), "setting", key);
}

bool Template::pack(const TypicalTime& time, std::string& out) {
    const LibraryLock lock;
    logText.clear();
    if (!ok()) return false;
    if (time.year < 0 || time.year > 65535 || time.month < 1 || time.month > 12 || time.day < 1 ||
        time.day > 31 || time.hour < 0 || time.hour > 23 || time.minute < 0 || time.minute > 59 ||
        time.second < 0 || time.second > 59) {
        error_ = "the typical time is not a time of day";
        return false;
    }
    if (!check(codes_set_long(handle_, "pack", 1), "packing the message")) return false;
    const void* message = nullptr;
    std::size_t length = 0;
    if (!check(codes_get_message(handle_, &message, &length), "reading the packed message")) {
        return false;
    }
    // Section 0 (8 octets), then section 1 of edition 4: its length in
    // octets 1-3, the typical year in octets 16-17, month to second in 18-22.
    constexpr std::size_t kSection1 = 8;
    const auto* bytes = static_cast<const unsigned char*>(message);
    const std::size_t section1Length = length < kSection1 + 3
                                           ? 0
                                           : (std::size_t{bytes[kSection1]} << 16) |
                                                 (std::size_t{bytes[kSection1 + 1]} << 8) |
                                                 bytes[kSection1 + 2];
    if (length < kSection1 + 22 || std::memcmp(bytes, "BUFR", 4) != 0 || bytes[7] != 4 ||
        section1Length < 22 || kSection1 + section1Length > length) {
        error_ = "ecCodes packed a message that is not of BUFR edition 4";
        return false;
    }
    const std::size_t at = out.size() + kSection1 + 15;
    out.append(static_cast<const char*>(message), length);
    out[at] = static_cast<char>(time.year >> 8);
    out[at + 1] = static_cast<char>(time.year & 0xFF);
    out[at + 2] = static_cast<char>(time.month);
    out[at + 3] = static_cast<char>(time.day);
    out[at + 4] = static_cast<char>(time.hour);
    out[at + 5] = static_cast<char>(time.minute);
    out[at + 6] = static_cast<char>(time.second);
    return true;
}

Template* sharedTemplate(const Layout& layout, std::string& error) {
    const LibraryLock lock;
    const Readiness& r = readiness();
    if (!r.known || !r.ready) {
        error = r.known ? r.error : "ecCodes was not tried before use";
        return nullptr;
    }
    auto& kept = templates().kept;
    for (auto it = kept.begin(); it != kept.end(); ++it) {
        if ((*it)->layout() != layout) continue;
        if ((*it)->ok()) return it->get();
        kept.erase(it);  // failed once: made again
        break;
    }
    auto made = std::make_unique<Template>(layout);
    if (!made->ok()) {
        error = made->error();
        return nullptr;
    }
    if (kept.size() >= kMaxTemplates) kept.erase(kept.begin());
    kept.push_back(std::move(made));
    return kept.back().get();
}

}  // namespace qv::bufr
