// A thin layer over ecCodes for writing WMO BUFR messages: every codes_*
// call of Quorvane goes through here. ecCodes' failures become one kind of
// message ("what was being done: ecCodes' reason (its own last words)"),
// ecCodes' log goes into those messages instead of standard error, and calls
// are serialised by one process-wide lock.
//
// ecCodes reads its definitions (ECCODES_DEFINITION_PATH) when first used;
// some damaged definitions make it abort or crash the program there. Before
// any message is made in this process, libraryReady has a child process
// make one message of each layout the caller names: only when that child
// succeeded are templates made here.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

struct grib_handle;

namespace qv::bufr {

// ecCodes' missing value of a number (CODES_MISSING_DOUBLE): a value set so
// is coded as missing.
inline constexpr double kMissing = -1e100;

// The process-wide lock of the library, held for this object's lifetime.
// Every call below takes it; a caller takes it around a whole file. Nested
// locks of one thread pass through.
class LibraryLock {
public:
    LibraryLock();
    ~LibraryLock();
    LibraryLock(const LibraryLock&) = delete;
    LibraryLock& operator=(const LibraryLock&) = delete;
};

// Sections 1 and 3 of the messages of one template: an edition 4 message
// of one uncompressed subset of observed data.
struct Layout {
    long descriptor = 0;   // the one unexpanded descriptor, e.g. 309024
    long replication = 0;  // its extended delayed replication factor
    long masterTablesVersion = 0;
    long dataCategory = 0;
    long internationalSubCategory = 0;
    long localSubCategory = 255;
    long centre = 65535;  // 65535: missing
    long subCentre = 0;
    bool operator==(const Layout&) const = default;
};

// Whether ecCodes can make messages of these layouts in this process,
// found out once (the first call's layouts are the ones tried; later calls
// return its answer). False with one sentence naming the problem: the
// definitions folder, ecCodes' own messages and how its process ended.
bool libraryReady(const std::vector<Layout>& layouts, std::string& error);

// Section 1's typical date and time of a message.
struct TypicalTime {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// A message template: expanded once for its layout (the costly step), then
// each message sets every data key it carries and is packed in turn. The
// expanded keys are those of ecCodes' key names ("u", "#1#latitude", ...):
// setNumbers sets every occurrence of a key in data order at once. The
// template keeps what it was given last for each key and passes a value
// that has not changed (the station's, the gates' positions) over: every
// value set costs ecCodes a walk over the message's keys. A template whose
// call failed is not used again (ok() false).
class Template {
public:
    explicit Template(const Layout& layout);
    ~Template();
    Template(const Template&) = delete;
    Template& operator=(const Template&) = delete;

    bool ok() const { return handle_ != nullptr && error_.empty(); }
    const Layout& layout() const { return layout_; }
    // The first failure's message.
    const std::string& error() const { return error_; }

    // A number, or kMissing.
    bool setNumber(const char* key, double value);
    // Every occurrence of the key, in data order (kMissing for missing ones).
    bool setNumbers(const char* key, std::span<const double> values);
    // A text; empty: missing.
    bool setText(const char* key, std::string_view text);
    // Packs the message with section 1's typical time and appends its bytes
    // to `out`. The typical time is written into the packed section 1
    // directly: setting section 1 keys through ecCodes makes every later
    // data key cost as much as the whole message.
    bool pack(const TypicalTime& time, std::string& out);

private:
    // The status of a call; on failure the first error names what was
    // being done (and the key).
    bool check(int status, const char* what, const char* key = nullptr);
    // True when `key` already holds these values (or this text); otherwise
    // they are noted as held, to be set.
    bool holds(const char* key, std::span<const double> values, std::string_view text);

    struct Held {
        std::string key;
        std::vector<double> values;
        std::string text;
    };

    Layout layout_;
    grib_handle* handle_ = nullptr;
    std::string error_;
    std::vector<Held> held_;
    std::size_t nextHeld_ = 0;  // where the next key is looked for first
};

// The process's template of a layout: made on first use and kept (a few
// layouts at most; the oldest goes first), made again after a failure.
// Null with `error` set when it cannot be made or libraryReady has not
// found the library ready. Call under LibraryLock; the pointer is good
// until the next call.
Template* sharedTemplate(const Layout& layout, std::string& error);

}  // namespace qv::bufr
