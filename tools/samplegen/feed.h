// A simulated data system: the files of `generate`, written as they grow,
// record after record in data-time order on an accelerated clock, for
// testing a near-real-time follower.
#pragma once

#include <ostream>

#include "tools/samplegen/generate.h"

namespace qv::samplegen {

struct FeedOptions {
    double speed = 1440.0;  // data seconds per wall second
    double maxWait = 2.0;   // wall seconds at most from one record to the next
    // Minutes of the first day (-1: none). Before `startMinute` everything
    // is written at once; at `pauseMinute` the writer stops for
    // `pauseSeconds` (once); at `stopMinute` it dies inside the record due.
    int startMinute = -1;
    int pauseMinute = -1;
    double pauseSeconds = 0.0;
    int stopMinute = -1;
    // Continue the files that exist (each must hold the beginning of its
    // generated content) instead of refusing to touch them.
    bool resume = false;
};

// Feeds the files of outputFiles(options) into options.outDir: files
// without records at once, moment files record by record, each record in
// two appends. Returns 0 when done (or stopped as asked), 1 when a file
// cannot be written or an existing file is not one being fed; files
// created go to `out`, problems to `err`.
int feed(const GenerateOptions& options, const FeedOptions& feedOptions, std::ostream& out,
         std::ostream& err);

}  // namespace qv::samplegen
