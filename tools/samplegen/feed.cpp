#include "tools/samplegen/feed.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
#include <thread>
#include <vector>

namespace qv::samplegen {
namespace {

using Clock = std::chrono::steady_clock;

// Wall time between the two appends of a record, so that a reader can find
// the record cut.
constexpr auto kPieceGap = std::chrono::milliseconds(3);
// The data time of files written before anything else.
constexpr std::int64_t kAtStart = std::numeric_limits<std::int64_t>::min();

// A file being written, and how much of it is on disk.
struct Target {
    std::string path;
    const std::string* bytes = nullptr;
    std::size_t have = 0;
    bool exists = false;
    bool whole = false;  // made under a temporary name, then renamed (header file of a pair)
};

// One append: the bytes up to `end` of a target, due at a data time.
struct Step {
    std::int64_t seconds = kAtStart;
    std::size_t target = 0;
    std::size_t begin = 0;
    std::size_t end = 0;
    bool record = false;  // a dwell's record, appended in two pieces
};

// The steps that write `files`, in the order a data system writes them.
void planSteps(const std::vector<OutputFile>& files, std::vector<Target>& targets,
               std::vector<Step>& steps) {
    for (const OutputFile& f : files) {
        if (f.records.empty()) {
            steps.push_back({kAtStart, targets.size(), 0, f.bytes.size(), false});
            targets.push_back({f.path, &f.bytes});
            continue;
        }
        // A file is made at the time of its first dwell; the header file of
        // a pair comes whole before the data file's first byte.
        const std::int64_t made = f.records.front().seconds;
        if (!f.headerPath.empty()) {
            steps.push_back({made, targets.size(), 0, f.headerBytes.size(), false});
            targets.push_back({f.headerPath, &f.headerBytes, 0, false, true});
        }
        const std::size_t t = targets.size();
        targets.push_back({f.path, &f.bytes});
        if (f.records.front().offset > 0) steps.push_back({made, t, 0, f.records.front().offset, false});
        std::int64_t seconds = made;
        for (std::size_t r = 0; r < f.records.size(); ++r) {
            seconds = std::max(seconds, f.records[r].seconds);  // a file only grows
            const std::size_t end = r + 1 < f.records.size() ? f.records[r + 1].offset : f.bytes.size();
            steps.push_back({seconds, t, f.records[r].offset, end, true});
        }
    }
    std::stable_sort(steps.begin(), steps.end(),
                     [](const Step& a, const Step& b) { return a.seconds < b.seconds; });
}

// Finds how much of each target is on disk. False, with the reason on
// `err`, when a file exists without `resume`, or holds anything but the
// beginning of its content.
bool survey(std::vector<Target>& targets, bool resume, std::ostream& err) {
    for (Target& t : targets) {
        std::error_code ec;
        if (!std::filesystem::exists(t.path, ec)) continue;
        if (!resume) {
            err << "quorvane-samplegen: " << t.path << " exists (--resume continues it)\n";
            return false;
        }
        std::ifstream in(t.path, std::ios::binary);
        std::string head(t.bytes->size() + 1, '\0');
        in.read(head.data(), static_cast<std::streamsize>(head.size()));
        head.resize(static_cast<std::size_t>(std::max<std::streamsize>(0, in.gcount())));
        if (!in.is_open() || in.bad()) {
            err << "quorvane-samplegen: cannot read " << t.path << '\n';
            return false;
        }
        if (head.size() > t.bytes->size() || t.bytes->compare(0, head.size(), head) != 0) {
            err << "quorvane-samplegen: " << t.path
                << " does not hold the beginning of the file being fed; left as it is\n";
            return false;
        }
        t.have = head.size();
        t.exists = true;
    }
    return true;
}

// Appends the target's bytes up to `end` (a new file lists itself on `out`).
bool append(Target& t, std::size_t end, std::ostream& out, std::ostream& err) {
    if (!t.exists) {
        std::error_code ignored;  // a folder that cannot be made fails the open below
        std::filesystem::create_directories(std::filesystem::path(t.path).parent_path(), ignored);
    }
    const bool renamed = t.whole && !t.exists;
    const std::string path = renamed ? t.path + ".part" : t.path;
    std::FILE* f = std::fopen(path.c_str(), renamed ? "wb" : "ab");
    bool ok = f != nullptr;
    if (ok) {
        const std::size_t n = end - t.have;
        ok = n == 0 || std::fwrite(t.bytes->data() + t.have, 1, n, f) == n;
        ok = std::fclose(f) == 0 && ok;
    }
    if (ok && renamed) ok = std::rename(path.c_str(), t.path.c_str()) == 0;
    if (!ok) {
        err << "quorvane-samplegen: cannot write " << t.path << '\n';
        return false;
    }
    if (!t.exists) out << "created " << t.path << '\n' << std::flush;
    t.exists = true;
    t.have = end;
    return true;
}

// Where the first piece of the bytes from `begin` to `end` ends: half-way,
// moved off a line end so that the cut falls inside a line.
std::size_t cutPoint(const std::string& bytes, std::size_t begin, std::size_t end) {
    std::size_t cut = begin + (end - begin) / 2;
    if (cut > begin + 1 && bytes[cut - 1] == '\n') --cut;
    return cut;
}

Clock::duration wallTime(double seconds) {
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

}  // namespace

int feed(const GenerateOptions& options, const FeedOptions& o, std::ostream& out, std::ostream& err) {
    const std::vector<OutputFile> files = outputFiles(options);
    std::vector<Target> targets;
    std::vector<Step> steps;
    planSteps(files, targets, steps);
    if (!survey(targets, o.resume, err)) return 1;

    const std::int64_t midnight = secondsOf(options.firstDay);
    const auto dataTime = [&](int minute) { return minute < 0 ? kAtStart : midnight + minute * 60; };
    // The clock runs from the start asked for, or from the last record an
    // earlier writer began: what is due before it is written at once.
    std::int64_t from = dataTime(o.startMinute);
    for (const Step& s : steps) {
        if (s.begin < targets[s.target].have) from = std::max(from, s.seconds);
    }
    const std::int64_t stopAt = dataTime(o.stopMinute);
    const std::int64_t pauseAt = dataTime(o.pauseMinute);
    bool pauseDue = o.pauseMinute >= 0 && pauseAt >= from;

    Clock::time_point due = Clock::now();
    std::int64_t clock = from;
    std::size_t records = 0;
    std::vector<bool> fed(targets.size(), false);
    const auto summary = [&] {
        out << "fed " << records << " records into " << std::count(fed.begin(), fed.end(), true)
            << " files\n";
    };
    for (const Step& s : steps) {
        Target& t = targets[s.target];
        if (t.exists && s.end <= t.have) continue;
        const bool paced = s.seconds != kAtStart && s.seconds >= from && s.begin >= t.have;
        const bool stop = s.record && o.stopMinute >= 0 && s.seconds >= stopAt;
        if (paced) {
            const double gap = clock == kAtStart ? 0.0 : static_cast<double>(s.seconds - clock) / o.speed;
            due += wallTime(std::clamp(gap, 0.0, o.maxWait));
            clock = s.seconds;
            if (pauseDue && s.seconds >= pauseAt) {
                due += wallTime(o.pauseSeconds);
                pauseDue = false;
            }
            std::this_thread::sleep_until(due);
        }
        if (s.record && (paced || stop)) {
            if (!append(t, cutPoint(*t.bytes, t.have, s.end), out, err)) return 1;
            if (stop) {
                out << "stopped inside a record of " << t.path << '\n';
                summary();
                return 0;
            }
            std::this_thread::sleep_for(kPieceGap);
        }
        if (!append(t, s.end, out, err)) return 1;
        if (s.record) {
            ++records;
            fed[s.target] = true;
        }
    }
    summary();
    return 0;
}

}  // namespace qv::samplegen
