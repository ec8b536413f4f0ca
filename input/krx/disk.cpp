// File access of the KRX library: the file pair, record headers, moving
// through the records by time and by beam, and loading the current record.
//
// Positions: every operation starts from `current_offset`, the first byte of
// the record being worked on, and seeks there itself; the stdio position in
// between is an implementation detail. Every length read from the data file
// is checked before it moves anything, so each step forward or backward moves
// by at least one whole record header and no walk can loop.
#include <sys/stat.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "input/krx/file_io.h"
#include "input/krx/krx.h"
#include "input/krx/krx_state.h"

namespace L = krx_layout;

namespace {

KrxFile g_file;
std::uint64_t g_recordGeneration = 0;

constexpr const char* kNoFile = "__NO_FILE__";
constexpr std::int16_t kOwnFlagsFormat = 3000;  // from here on records carry their flags word
constexpr int kBackwardHop = -20;               // skip_records count of one hop

// Bytes in front of the body besides format code, length and flags word:
// header offset, time, radar index, beam index.
constexpr std::int32_t kAddressingBytes = 4 + 4 + 2 + 2;
constexpr std::int32_t kCarriedCountBytes = 2 + 2;

// The shortest record that a length field of this width can frame: format
// code, length, addressing fields and the trailing length.
constexpr std::int32_t shortestRecord(bool wide) {
    return wide ? 2 + 4 + kAddressingBytes + 4 : 2 + 2 + kAddressingBytes + 2;
}

void closeFiles(KrxFile& f) {
    ++g_recordGeneration;
    if (f.data.file != nullptr) std::fclose(f.data.file);
    if (f.header.file != nullptr) std::fclose(f.header.file);
    f.data = krx_io::Source{};
    f.header = krx_io::Source{};
    f.header_copies.clear();
    f.name.clear();
    f.headerName.clear();
}

// Largest file read into memory whole; larger files (spectra) are read
// through the stream.
std::int64_t g_largestImage = std::int64_t{32} << 20;

// Reads the whole open file into `image` and reads it from there from now
// on; when it cannot be read whole, it stays read through the stream, at
// its start.
// The identity of an open file; false when it cannot be had.
bool identityOf(std::FILE* file, KrxFileIdentity& identity) {
    struct stat st {};
    if (file == nullptr || fstat(fileno(file), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    identity.device = static_cast<std::uint64_t>(st.st_dev);
    identity.inode = static_cast<std::uint64_t>(st.st_ino);
    identity.length = static_cast<std::int64_t>(st.st_size);
    identity.modified_ns =
        static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    identity.changed_ns =
        static_cast<std::int64_t>(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
    return true;
}

// True when the file was last modified (contents or status) more than
// kSettledSeconds ago.
constexpr std::int64_t kSettledSeconds = 2;

bool settled(const KrxFileIdentity& identity) {
    timespec now{};
    if (clock_gettime(CLOCK_REALTIME, &now) != 0) return false;
    const std::int64_t nowNs = static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
    const std::int64_t latest = std::max(identity.modified_ns, identity.changed_ns);
    return nowNs - latest > kSettledSeconds * 1000000000;
}

void readIntoMemory(krx_io::Source& source, KrxImage& image) {
    KrxFileIdentity before;
    const bool known = identityOf(source.file, before);
    const std::int64_t length = krx_io::fileLength(source);
    if (length <= 0 || length > g_largestImage) return;
    const bool unchanged =
        known && image.held && image.identity == before && before.length == length;
    if (!unchanged) {
        image.held = false;
        if (image.capacity < length) {
            image.bytes.reset(new (std::nothrow) char[static_cast<std::size_t>(length)]);
            image.capacity = image.bytes ? length : 0;
            if (!image.bytes) return;
        }
        const bool whole =
            krx_io::readExact(source, image.bytes.get(), static_cast<std::size_t>(length)) &&
            std::fgetc(source.file) == EOF && !std::ferror(source.file);
        if (!whole) {
            std::clearerr(source.file);
            krx_io::seekTo(source, 0);
            return;
        }
        // Kept for the next open only when the file did not change while it
        // was read and had settled before: a file changed within the same
        // tick of the file system's clock could otherwise keep its identity.
        KrxFileIdentity after;
        image.held = known && identityOf(source.file, after) && after == before && settled(before);
        image.identity = before;
    }
    source.bytes = image.bytes.get();
    source.size = length;
    source.position = 0;
}

// The first header read failure of the process is reported; later ones are
// not. (No wait for a key: the library runs on a worker thread.)
void reportHeaderError(KrxFile& f, int seekResult, long detail) {
    if (f.header_error_reported) return;
    f.header_error_reported = true;
    std::printf("\a");
    std::fflush(stdout);
    std::fprintf(stderr, "Header Read Error, pressing on...");
    std::fprintf(stderr, "\n  %d %ld  %ld\n", seekResult, detail,
                 static_cast<long>(f.last_header_offset));
}

// Header records kept per open header file.
constexpr std::size_t kMostHeaderCopies = 64;

// Reads the header record at `offset` unless it is the one in use. From a
// header file in memory (which cannot change), a record read before is
// taken from its copy instead of being read again.
void refreshHeader(KrxFile& f, std::int32_t offset, std::int16_t& changed) {
    if (offset == f.last_header_offset) return;
    for (const KrxHeaderCopy& copy : f.header_copies) {
        if (copy.offset != offset) continue;
        f.hdr = copy.hdr;
        f.met_count = copy.met_count;
        std::memcpy(f.met_codes, copy.met_codes, sizeof f.met_codes);
        f.last_header_offset = offset;
        changed = 1;
        return;
    }
    const int seekResult = krx_io::seekTo(f.header, offset);
    const int code = seekResult == 0 ? read_header_record() : 0;
    if (seekResult == 0 && code == 0) {
        f.last_header_offset = offset;
        changed = 1;
        if (f.header.inMemory() && f.header_copies.size() < kMostHeaderCopies) {
            KrxHeaderCopy copy;
            copy.offset = offset;
            copy.hdr = f.hdr;
            copy.met_count = f.met_count;
            std::memcpy(copy.met_codes, f.met_codes, sizeof copy.met_codes);
            f.header_copies.push_back(copy);
        }
        return;
    }
    f.failed_header_offset = offset;
    f.failed_header_code = static_cast<std::int16_t>(seekResult == 0 ? code : 1);
    f.failed_header_version = seekResult == 0 ? f.reading_header_version : 0;
    reportHeaderError(f, seekResult, seekResult == 0 ? code : static_cast<long>(offset));
}

// Looks the record's beam entry up; leaves mode and direction at -1 when the
// record refers to nothing in the header block.
void resolveBeam(const KrxFile& f, KrxRecordHeader& rec) {
    rec.direction_index = -1;
    rec.mode_index = -1;
    const KrxRadar& radar = f.hdr.radar;
    const int beams = radar.beam_count < 0              ? 0
                      : radar.beam_count > L::kBeamRoom ? L::kBeamRoom
                                                        : radar.beam_count;
    if (rec.radar_index != 0 || rec.beam_index < 0 || rec.beam_index >= beams) return;
    const KrxBeam& beam = radar.beams[rec.beam_index];
    if (beam.mode_index < 0 || beam.mode_index >= L::kModeRoom) return;
    if (beam.direction_index < 0 || beam.direction_index >= L::kDirectionRoom) return;
    rec.direction_index = beam.direction_index;
    rec.mode_index = beam.mode_index;
}

// Without a usable second window the whole spectrum of the record's mode is
// window 1 and there is no window 2.
void adjustWindowsForRecord(KrxFile& f, const KrxMode& mode) {
    KrxRadar& r = f.hdr.radar;
    if (r.window2_length > 1) return;
    r.window1_start = 1;
    r.window1_length = mode.spectrum_points;
    r.window2_start = 1;
    r.window2_length = 0;
}

// Below format code 3000 a record carries its own coherent integrations and
// spectral averages only when it is longer than this.
std::int64_t carriedCountMinimum(const KrxMode& mode, std::int16_t flags) {
    const std::int64_t gates = mode.gate_count;
    if (flags != 0) return gates * (static_cast<std::int64_t>(mode.spectrum_points) * 4 + 5) + 22;
    return gates * 5 + 18;
}

bool matchesSelection(const KrxFile& f) {
    const KrxRecordHeader& r = f.record;
    return r.refersToHeader() && (f.selected_radar == -1 || r.radar_index == f.selected_radar) &&
           (f.selected_beam == -1 || r.beam_index == f.selected_beam);
}

struct Candidate {
    bool found = false;
    std::int64_t start = 0;
};

int readHeaderNoting(std::int16_t& changed) {
    std::int16_t c = 0;
    const int result = read_record_header(&c);
    if (c != 0) changed = 1;
    return result;
}

// From the current offset forward: the first record that refers to the
// header and is not earlier than `target`, else the last such record read,
// else `fallback`. Ends at the end of the data or at a record that cannot be
// read or stepped over.
Candidate scanForward(const KrxTimeKey& target, std::int16_t& changed, Candidate fallback) {
    KrxFile& f = g_file;
    Candidate candidate = fallback;
    for (;;) {
        const std::int64_t start = f.current_offset;
        if (readHeaderNoting(changed) != 0 || advance_record() != 0) break;
        if (!f.record.refersToHeader()) continue;
        candidate = {true, start};
        if (compare_time_keys(target, f.record.key) <= 0) break;
    }
    return candidate;
}

// From the current offset backward: the nearest record that refers to the
// header.
Candidate searchBackward(std::int16_t& changed) {
    KrxFile& f = g_file;
    while (skip_records(0) == 0) {
        if (readHeaderNoting(changed) == 0 && f.record.refersToHeader())
            return {true, f.current_offset};
    }
    return {};
}

// Hops back 20 records at a time until a record earlier than the target (or
// the start of the file), then finds the record as scanForward does.
Candidate positionBackward(const KrxTimeKey& target, std::int16_t& changed) {
    KrxFile& f = g_file;
    std::int64_t previousLanding = f.current_offset + 1;
    for (;;) {
        const int stepped = skip_records(kBackwardHop);
        const std::int64_t landing = f.current_offset;
        if (readHeaderNoting(changed) != 0 || advance_record() != 0) {
            f.current_offset = landing;
            return scanForward(target, changed, {});
        }
        const bool landingUsable = f.record.refersToHeader();
        const int order = compare_time_keys(target, f.record.key);
        // Each hop must land further back than the one before; corrupt
        // trailing lengths could otherwise send the walk round in circles.
        if (stepped != -2 && order < 0 && landing < previousLanding) {
            previousLanding = landing;
            continue;
        }
        const Candidate here = landingUsable ? Candidate{true, landing} : Candidate{};
        if (order > 0) return scanForward(target, changed, here);
        if (landingUsable) return here;
        return scanForward(target, changed, {});
    }
}

}  // namespace

KrxFile& krx_file() { return g_file; }

std::uint64_t current_record_generation() { return g_recordGeneration; }

const KrxMode* current_mode() {
    const KrxRecordHeader& r = g_file.record;
    return r.refersToHeader() ? &g_file.hdr.radar.modes[r.mode_index] : nullptr;
}

std::int64_t current_entry_count() {
    const KrxMode* mode = current_mode();
    if (mode == nullptr || mode->gate_count <= 0 || g_file.hdr.radar.receiver_count <= 0) return 0;
    return static_cast<std::int64_t>(mode->gate_count) * g_file.hdr.radar.receiver_count;
}

std::string krx_header_path(const char* dataPath) {
    const std::string path = dataPath != nullptr ? dataPath : "";
    const std::size_t slash = path.find_last_of('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    std::string folder = path.substr(0, nameStart);
    std::string name = path.substr(nameStart);
    // The extension begins at the file name's last dot; the name proper is
    // what stands in front of it, and its first character becomes 'h'.
    const std::size_t dot = name.find_last_of('.');
    std::string stem = dot == std::string::npos ? name : name.substr(0, dot);
    const std::string extension = dot == std::string::npos ? "" : name.substr(dot);
    if (stem.empty()) {
        stem = "h";
    } else {
        stem[0] = 'h';
    }
    return folder + stem + extension;
}

std::int16_t krx_set_file(const char* path, std::int16_t flags) {
    if (path == nullptr) return krx_set_file_pair(nullptr, nullptr, flags);
    return krx_set_file_pair(path, krx_header_path(path).c_str(), flags);
}

std::int16_t krx_set_file_pair(const char* dataPath, const char* headerPath, std::int16_t flags) {
    KrxFile& f = g_file;
    ++g_recordGeneration;
    f.flags = flags;
    if (dataPath == nullptr || headerPath == nullptr || std::strcmp(dataPath, kNoFile) == 0) {
        closeFiles(f);
        return 0;
    }
    const bool sameFiles = f.data.isOpen() && f.name == dataPath && f.headerName == headerPath;
    if (!sameFiles) {
        settle_krx_arrays();  // a waiting record body lies in the bytes replaced here
        closeFiles(f);
        f.data.file = std::fopen(dataPath, "rb");
        if (f.data.file == nullptr) return 0;
        f.header.file = std::fopen(headerPath, "rb");
        if (f.header.file == nullptr) {
            closeFiles(f);
            return 0;
        }
        readIntoMemory(f.data, f.data_image);
        readIntoMemory(f.header, f.header_image);
    }
    f.name = dataPath;
    f.headerName = headerPath;
    f.failed_header_offset = -1;
    f.failed_header_code = 0;
    f.failed_header_version = 0;
    f.read_error_reported = false;
    f.unreferenced_records = 0;
    f.data_length = krx_io::fileLength(f.data);
    if (f.data_length < 0) f.data_length = 0;
    f.last_header_offset = -1;
    f.current_offset = 0;
    f.record = KrxRecordHeader{};
    // Load the first record's header (and the header record it names); its
    // body is read when a record is loaded.
    std::int16_t changed = 0;
    if (read_record_header(&changed) == 0) advance_record();
    f.current_offset = 0;
    krx_io::seekTo(f.data, 0);
    return 1;
}

int read_record_header(std::int16_t* header_changed) {
    KrxFile& f = g_file;
    ++g_recordGeneration;
    std::int16_t changed = 0;
    if (header_changed != nullptr) *header_changed = 0;
    if (!f.data.isOpen() || krx_io::seekTo(f.data, f.current_offset) != 0) return 1;
    krx_io::Source& in = f.data;

    KrxRecordHeader rec;
    rec.start = f.current_offset;
    if (!krx_io::readI16(in, rec.format_code)) return 1;
    const bool ownFlags = rec.format_code >= kOwnFlagsFormat;
    rec.wide_length = ownFlags || f.flags != 0;
    std::int32_t consumed = 2;
    if (rec.wide_length) {
        if (!krx_io::readI32(in, rec.length)) return -4;
        consumed += 4;
    } else {
        std::int16_t narrow = 0;
        if (!krx_io::readI16(in, narrow)) return -4;
        rec.length = narrow;
        consumed += 2;
    }
    std::int16_t flags = f.flags;
    if (ownFlags) {
        if (!krx_io::readI16(in, flags)) return -4;
        consumed += 2;
    }
    // A length that cannot hold the record's own header ends the data.
    const std::int32_t alwaysPresent = kAddressingBytes + (ownFlags ? kCarriedCountBytes : 0);
    if (rec.length < consumed + alwaysPresent + rec.trailingBytes()) return 1;

    if (!krx_io::readI32(in, rec.header_offset)) return -4;
    refreshHeader(f, rec.header_offset, changed);
    if (header_changed != nullptr) *header_changed = changed;
    // The header read used the header file only; the data file stands behind
    // the header offset.
    if (!krx_io::readI32(in, rec.time)) return -4;
    rec.key = time_key_from_seconds(rec.time);
    if (!krx_io::readI16(in, rec.radar_index) || !krx_io::readI16(in, rec.beam_index)) return -4;
    consumed += kAddressingBytes;

    resolveBeam(f, rec);
    KrxMode* mode = rec.refersToHeader() ? &f.hdr.radar.modes[rec.mode_index] : nullptr;
    if (mode != nullptr) adjustWindowsForRecord(f, *mode);

    const bool carriesCounts =
        ownFlags || (mode != nullptr && rec.length > carriedCountMinimum(*mode, flags));
    if (carriesCounts) {
        std::int16_t integrations = 0;
        std::int16_t averages = 0;
        if (!krx_io::readI16(in, integrations) || !krx_io::readI16(in, averages)) return -4;
        consumed += kCarriedCountBytes;
        if (rec.length < consumed + rec.trailingBytes()) return 1;
        if (mode != nullptr) {
            mode->coherent_integrations = integrations;
            mode->spectral_averages = averages;
        }
    }
    rec.header_bytes = consumed;
    f.record = rec;
    f.flags = flags;
    return 0;
}

int advance_record() {
    KrxFile& f = g_file;
    if (f.record.length < shortestRecord(f.record.wide_length)) return -1;
    const std::int64_t next = f.current_offset + f.record.length;
    if (next > f.data_length || krx_io::seekTo(f.data, next) != 0) return -1;
    f.current_offset = next;
    return 0;
}

int skip_records(int n) {
    KrxFile& f = g_file;
    if (n > 1) {
        for (int i = 1; i < n; ++i) {
            if (read_record_header(nullptr) != 0 || advance_record() != 0) return -1;
        }
        return 0;
    }
    if (n == 1) return 0;
    const std::int64_t steps = 1 - static_cast<std::int64_t>(n);
    for (std::int64_t i = 0; i < steps; ++i) {
        if (f.current_offset < 1) return -2;
        const bool wide = f.record.format_code >= kOwnFlagsFormat || f.flags != 0;
        const std::int32_t width = wide ? 4 : 2;
        if (f.current_offset < width || krx_io::seekTo(f.data, f.current_offset - width) != 0)
            return -2;
        std::int32_t length = 0;
        if (wide) {
            if (!krx_io::readI32(f.data, length)) return -2;
        } else {
            std::int16_t narrow = 0;
            if (!krx_io::readI16(f.data, narrow)) return -2;
            length = narrow;
        }
        // A trailing length that cannot frame a record, or reaches before the
        // file's start, ends the walk as the start of the file would.
        if (length < shortestRecord(wide) || length > f.current_offset) return -2;
        f.current_offset -= length;
    }
    krx_io::seekTo(f.data, f.current_offset);
    return 0;
}

// Loads the data of the record whose header was just read at the current
// offset. 0 success, 1 failure.
static int loadReadRecord() {
    if (!g_file.record.refersToHeader()) return 1;
    prepare_krx_arrays();
    if (set_krx_arrays() != 0) return 1;
    read_record_data();
    return 0;
}

int load_record() {
    std::int16_t changed = 0;
    if (read_record_header(&changed) != 0) return 1;
    return loadReadRecord();
}

std::int16_t krx_set_radar_index(std::int16_t radar) {
    if (radar != -1 && (radar < 0 || radar >= g_file.hdr.radar_count)) return 0;
    g_file.selected_radar = radar;
    return 1;
}

std::int16_t krx_set_beam(std::int16_t beam) {
    const std::int16_t count = g_file.hdr.radar.beam_count;
    const int beams = count > L::kBeamRoom ? L::kBeamRoom : count;
    if (beam != -1 && (beam < 0 || beam >= beams)) return 0;
    g_file.selected_beam = beam;
    return 1;
}

std::int16_t krx_set_time(std::int16_t year, std::int16_t day, std::int16_t hour,
                          std::int16_t minute, std::int16_t second, std::int16_t* header_changed) {
    KrxFile& f = g_file;
    std::int16_t changed = 0;
    if (header_changed != nullptr) *header_changed = 0;
    if (!f.data.isOpen()) return 0;
    KrxTimeKey target;
    target.year = static_cast<std::int16_t>(year >= 1900 ? year - 1900 : year);
    target.day = day;
    target.hour = hour;
    target.minute = minute;
    target.second = second;

    Candidate candidate = compare_time_keys(target, f.record.key) > 0
                              ? scanForward(target, changed, {})
                              : positionBackward(target, changed);
    if (!candidate.found) candidate = searchBackward(changed);
    if (header_changed != nullptr) *header_changed = changed;
    if (!candidate.found) return 0;

    f.current_offset = candidate.start;
    if (readHeaderNoting(changed) != 0) return 0;
    if (header_changed != nullptr) *header_changed = changed;
    f.selected_radar = f.record.radar_index;
    f.selected_beam = f.record.beam_index;
    return load_record() == 0 ? 1 : 0;
}

std::int16_t krx_next_record(std::int16_t* header_changed) {
    KrxFile& f = g_file;
    std::int16_t changed = 0;
    if (header_changed != nullptr) *header_changed = 0;
    if (!f.data.isOpen()) return 0;
    for (;;) {
        const std::int64_t start = f.current_offset;
        const int result = readHeaderNoting(changed);
        if (header_changed != nullptr) *header_changed = changed;
        if (result != 0 || advance_record() != 0) return 0;
        if (!f.record.refersToHeader()) ++f.unreferenced_records;
        if (matchesSelection(f)) {
            // The header just read is the record's: reading it again would
            // give the same (its header record is the one in use).
            f.current_offset = start;
            return loadReadRecord() == 0 ? 1 : 0;
        }
    }
}

std::int64_t krx_unread_bytes() {
    const KrxFile& f = g_file;
    if (!f.data.isOpen() || f.current_offset >= f.data_length) return 0;
    return f.data_length - f.current_offset;
}

std::int64_t krx_file_length() { return g_file.data.isOpen() ? g_file.data_length : 0; }

void krx_set_largest_memory_file(std::int64_t bytes) { g_largestImage = bytes; }

void krx_reset_state() {
    ++g_recordGeneration;
    closeFiles(g_file);
    g_file = KrxFile{};
    release_krx_arrays();
}
