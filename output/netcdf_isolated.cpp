#include "output/netcdf_isolated.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string_view>
#include <system_error>
#include <thread>
#include <type_traits>

#include "output/netcdf_api.h"

namespace qv::ncdf {
namespace {

using Clock = std::chrono::steady_clock;

// The result's frame: magic, payload length (8 bytes), payload.
constexpr char kMagic[8] = {'Q', 'V', 'N', 'C', 'D', 'A', 'Y', '1'};
constexpr std::size_t kFrameHead = sizeof kMagic + sizeof(std::uint64_t);
// A result larger than this is refused (the reader's own limit of 2^26
// cells gives less for any day file).
constexpr std::uint64_t kMaxPayload = std::uint64_t{1} << 32;
// Exit status of a child that could not give a result (an exception, a
// failed write).
constexpr int kNoResultExit = 70;
// Bytes of a long double's value: the x87 extended format keeps 10 of its
// 16; the rest is padding of no value.
constexpr std::size_t kLongDoubleBytes =
    std::numeric_limits<long double>::digits == 64 ? 10 : sizeof(long double);

// ---- Serialising day values: one list of fields per type, walked by the
// encoder and the decoder alike. ----

class Encoder {
public:
    explicit Encoder(std::string& out) : out_(out) {}

    template <typename T>
        requires std::is_arithmetic_v<T>
    void operator()(const T& value) {
        if constexpr (std::is_same_v<T, bool>) {
            out_.push_back(value ? 1 : 0);
        } else if constexpr (std::is_same_v<T, long double>) {
            char bytes[sizeof(long double)];
            std::memcpy(bytes, &value, sizeof value);
            out_.append(bytes, kLongDoubleBytes);
        } else {
            char bytes[sizeof(T)];
            std::memcpy(bytes, &value, sizeof value);
            out_.append(bytes, sizeof bytes);
        }
    }
    template <typename E>
        requires std::is_enum_v<E>
    void operator()(const E& value) {
        (*this)(static_cast<std::int32_t>(value));
    }
    void operator()(const std::string& text) {
        (*this)(static_cast<std::uint64_t>(text.size()));
        out_.append(text);
    }
    void operator()(const char (&key)[5]) { out_.append(key, 5); }
    template <typename T, typename Visit>
    void list(const std::vector<T>& items, std::size_t, Visit visit) {
        (*this)(static_cast<std::uint64_t>(items.size()));
        for (const T& item : items) visit(*this, item);
    }

private:
    std::string& out_;
};

class Decoder {
public:
    explicit Decoder(std::string_view in) : in_(in) {}

    bool ok() const { return ok_; }
    bool atEnd() const { return ok_ && in_.empty(); }

    template <typename T>
        requires std::is_arithmetic_v<T>
    void operator()(T& value) {
        if constexpr (std::is_same_v<T, bool>) {
            std::uint8_t byte = 0;
            (*this)(byte);
            if (byte > 1) ok_ = false;
            value = byte == 1;
        } else {
            const std::size_t size =
                std::is_same_v<T, long double> ? kLongDoubleBytes : sizeof(T);
            if (!take(size)) return;
            value = T{};
            std::memcpy(&value, in_.data() - size, size);
        }
    }
    void operator()(OutputKind& kind) { enumeration(kind, OutputKind::Temperature); }
    void operator()(VerticalPolicy& policy) { enumeration(policy, VerticalPolicy::Required); }
    void operator()(std::string& text) {
        std::uint64_t size = 0;
        (*this)(size);
        if (!ok_ || size > in_.size()) {
            ok_ = false;
            return;
        }
        text.assign(in_.data(), static_cast<std::size_t>(size));
        in_.remove_prefix(static_cast<std::size_t>(size));
    }
    // A period key: four characters and the terminating zero.
    void operator()(char (&key)[5]) {
        if (!take(5)) return;
        std::memcpy(key, in_.data() - 5, 5);
        if (key[4] != '\0') ok_ = false;
    }
    // `leastBytes`: the fewest bytes one item takes, so that a count the
    // remaining bytes cannot hold is refused before anything is allocated.
    template <typename T, typename Visit>
    void list(std::vector<T>& items, std::size_t leastBytes, Visit visit) {
        std::uint64_t count = 0;
        (*this)(count);
        if (!ok_ || count > in_.size() / leastBytes) {
            ok_ = false;
            return;
        }
        items.assign(static_cast<std::size_t>(count), T{});
        for (T& item : items) {
            if (!ok_) return;
            visit(*this, item);
        }
    }

private:
    bool take(std::size_t size) {
        if (!ok_ || in_.size() < size) {
            ok_ = false;
            return false;
        }
        in_.remove_prefix(size);
        return true;
    }
    template <typename E>
    void enumeration(E& value, E last) {
        std::int32_t number = 0;
        (*this)(number);
        if (number < 0 || number > static_cast<std::int32_t>(last)) ok_ = false;
        value = ok_ ? static_cast<E>(number) : E{};
    }

    std::string_view in_;
    bool ok_ = true;
};

// Fewest encoded bytes of one item of each list.
constexpr std::size_t kBeamBytes = 2 + 4 + 4 + 4 + 4;
constexpr std::size_t kWindGateBytes = 2 + kLongDoubleBytes + 4 * 11;
constexpr std::size_t kTemperatureGateBytes = 2 + 8 + 4 * 4;
constexpr std::size_t kPeriodBytes = 5 + 8;

template <typename Io, typename Beam>
void visitBeam(Io& io, Beam& b) {
    io(b.azimuth);
    io(b.elevation);
    io(b.sampleCount);
    io(b.consensusPercent);
    io(b.consensusWindow);
}

template <typename Io, typename Header>
void visitHeader(Io& io, Header& h) {
    io(h.fileKind);
    io(h.variant);
    io(h.outputKindText);
    io(h.dataSourceText);
    io(h.stationName);
    io(h.day.year);
    io(h.day.month);
    io(h.day.dayOfWeek);
    io(h.day.day);
    io(h.day.hour);
    io(h.day.minute);
    io(h.day.second);
    io(h.day.milliseconds);
    io(h.latitudeCenti);
    io(h.longitudeCenti);
    io(h.siteElevation);
    io(h.averagingMinutes);
    io(h.pulseWidth);
    io(h.gateSpacing);
    io.list(h.beams, kBeamBytes, [](Io& i, auto& b) { visitBeam(i, b); });
    io(h.verticalPolicy);
    io(h.correctedWinds);
    io(h.continuityChecked);
}

template <typename Io, typename Gate>
void visitWindGate(Io& io, Gate& g) {
    io(g.qcCode);
    io(g.height);
    io(g.speed);
    io(g.direction);
    io(g.u);
    io(g.v);
    io(g.w);
    io(g.countU);
    io(g.countV);
    io(g.countW);
    io(g.snrU);
    io(g.snrV);
    io(g.snrW);
}

template <typename Io, typename Gate>
void visitTemperatureGate(Io& io, Gate& g) {
    io(g.qcCode);
    io(g.height);
    io(g.tv);
    io(g.tvc);
    io(g.count);
    io(g.snr);
}

template <typename Io, typename Contents>
void visitContents(Io& io, Contents& c) {
    io(c.kind);
    io(c.temperatureDigit);
    visitHeader(io, c.winds.header);
    io.list(c.winds.periods, kPeriodBytes, [](Io& i, auto& p) {
        i(p.key);
        i.list(p.gates, kWindGateBytes, [](Io& j, auto& g) { visitWindGate(j, g); });
    });
    visitHeader(io, c.temperature.header);
    io.list(c.temperature.periods, kPeriodBytes, [](Io& i, auto& p) {
        i(p.key);
        i.list(p.gates, kTemperatureGateBytes,
               [](Io& j, auto& g) { visitTemperatureGate(j, g); });
    });
}

// The frame of a child's outcome: a result (1, the contents) or its error
// (0, the message).
std::string frameOf(bool ok, const ConsensusFileContents& contents, const std::string& error) {
    std::string payload;
    Encoder encode(payload);
    encode(ok);
    if (ok) {
        visitContents(encode, contents);
    } else {
        encode(error);
    }
    std::string frame(kMagic, sizeof kMagic);
    Encoder head(frame);
    head(static_cast<std::uint64_t>(payload.size()));
    return frame + payload;
}

// ---- The child ----

bool writeAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

[[noreturn]] void runChild(int fd, const ChildRead& read) {
    // The library's messages (HDF5 prints whole error stacks) never reach
    // the terminal; a fault ends the child by its signal, not by a handler
    // the program installed.
    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null >= 0) {
        ::dup2(null, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
    } else {
        ::close(STDOUT_FILENO);
        ::close(STDERR_FILENO);
    }
    for (const int signal : {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT}) {
        ::signal(signal, SIG_DFL);
    }
    try {
        ConsensusFileContents contents;
        std::string error;
        const bool ok = read(contents, error);
        if (writeAll(fd, frameOf(ok, contents, error))) ::_exit(0);
    } catch (...) {
    }
    ::_exit(kNoResultExit);
}

// ---- The parent ----

const char* signalName(int signal) {
    switch (signal) {
        case SIGSEGV: return "SIGSEGV";
        case SIGBUS: return "SIGBUS";
        case SIGABRT: return "SIGABRT";
        case SIGFPE: return "SIGFPE";
        case SIGILL: return "SIGILL";
        case SIGKILL: return "SIGKILL";
        case SIGTERM: return "SIGTERM";
        case SIGPIPE: return "SIGPIPE";
        case SIGSYS: return "SIGSYS";
        case SIGXCPU: return "SIGXCPU";
        case SIGXFSZ: return "SIGXFSZ";
        default: return nullptr;
    }
}

std::string systemReason(int code) { return std::generic_category().message(code); }

// Reads the child's frame until it is whole, the pipe ends or `deadline`
// passes. `frame` holds what came.
enum class Received { Whole, Ended, TooLarge, TimedOut, Failed };

Received receive(int fd, Clock::time_point deadline, std::string& frame) {
    char buffer[65536];
    std::uint64_t expected = 0;
    for (;;) {
        if (frame.size() >= kFrameHead) {
            if (std::memcmp(frame.data(), kMagic, sizeof kMagic) != 0) return Received::Failed;
            std::memcpy(&expected, frame.data() + sizeof kMagic, sizeof expected);
            if (expected > kMaxPayload) return Received::TooLarge;
            if (frame.size() - kFrameHead >= expected) return Received::Whole;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return Received::TimedOut;
        pollfd watch{fd, POLLIN, 0};
        const int wait = static_cast<int>(std::min<long long>(left.count() + 1, 1000));
        const int ready = ::poll(&watch, 1, wait);
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) return Received::Failed;
        if (ready == 0) continue;
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n < 0) return Received::Failed;
        if (n == 0) return Received::Ended;
        frame.append(buffer, static_cast<std::size_t>(n));
    }
}

// Waits for the child to end; kills it once `deadline` has passed. False
// when its status cannot be known (SIGCHLD ignored: the system reaped it).
bool reap(pid_t child, Clock::time_point deadline, int& status) {
    auto pause = std::chrono::microseconds(100);
    for (;;) {
        const pid_t done = ::waitpid(child, &status, WNOHANG);
        if (done == child) return true;
        if (done < 0 && errno == EINTR) continue;
        if (done < 0) return false;
        if (Clock::now() >= deadline) break;
        std::this_thread::sleep_for(pause);
        pause = std::min<std::chrono::microseconds>(pause * 2, std::chrono::milliseconds(20));
    }
    ::kill(child, SIGKILL);
    for (;;) {
        const pid_t done = ::waitpid(child, &status, 0);
        if (done == child) return true;
        if (done < 0 && errno != EINTR) return false;
    }
}

std::string secondsText(std::chrono::milliseconds limit) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", static_cast<double>(limit.count()) / 1000.0);
    return text;
}

}  // namespace

bool readInChild(const std::string& path, const ChildRead& read, ConsensusFileContents& out,
                 std::string& error, std::chrono::milliseconds limit) {
    int fds[2] = {-1, -1};
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        error = path + ": cannot start the reading process: " + systemReason(errno);
        return false;
    }
    pid_t child = -1;
    int forkError = 0;
    {
        // No other thread is inside the library while its state is copied;
        // the write end is closed before another reader can fork and keep
        // it open in its own child.
        const nc::LibraryLock lock;
        child = ::fork();
        if (child == 0) {
            ::close(fds[0]);
            runChild(fds[1], read);
        }
        forkError = errno;
        ::close(fds[1]);
    }
    if (child < 0) {
        ::close(fds[0]);
        error = path + ": cannot start the reading process: " + systemReason(forkError);
        return false;
    }

    const Clock::time_point deadline = Clock::now() + limit;
    std::string frame;
    const Received received = receive(fds[0], deadline, frame);
    ::close(fds[0]);
    if (received == Received::TooLarge || received == Received::Failed) ::kill(child, SIGKILL);
    int status = 0;
    // A child whose whole result came is ending: it gets time beyond the
    // limit to do so.
    const bool known = reap(child,
                            received == Received::Whole ? Clock::now() + std::chrono::seconds(10)
                                                        : deadline,
                            status);

    const std::string failed = path + ": the netCDF library failed on this file (";
    if (received == Received::TimedOut) {
        error = failed + "no result within " + secondsText(limit) +
                " s; the reading process was stopped)";
        return false;
    }
    if (known && WIFSIGNALED(status) && received != Received::TooLarge &&
        received != Received::Failed) {
        const int signal = WTERMSIG(status);
        const char* name = signalName(signal);
        error = failed + "the reading process was killed by signal " + std::to_string(signal) +
                (name ? std::string(", ") + name : std::string()) + ")";
        return false;
    }
    if (received == Received::TooLarge) {
        error = failed + "its result is too large)";
        return false;
    }
    if (received != Received::Whole) {
        std::string how = "the reading process ended without a result";
        if (known && WIFEXITED(status)) {
            how += ", exit status " + std::to_string(WEXITSTATUS(status));
        }
        error = failed + how + ")";
        return false;
    }

    std::uint64_t payload = 0;
    std::memcpy(&payload, frame.data() + sizeof kMagic, sizeof payload);
    Decoder decode(std::string_view(frame).substr(kFrameHead, static_cast<std::size_t>(payload)));
    bool ok = false;
    decode(ok);
    ConsensusFileContents contents;
    std::string childError;
    if (ok) {
        visitContents(decode, contents);
    } else {
        decode(childError);
    }
    if (!decode.atEnd()) {
        error = failed + "its result is not readable)";
        return false;
    }
    if (!ok) {
        error = childError.empty() ? path + ": cannot be read" : childError;
        return false;
    }
    out = std::move(contents);
    return true;
}

}  // namespace qv::ncdf
