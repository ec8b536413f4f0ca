// The rules a run's parameters must meet, checked alike by the dialog and
// the batch tool, with the dialog's messages. Each check returns the
// message of the first rule broken, or an empty text.
#pragma once

#include <cstdint>
#include <string>

#include "core/time.h"

namespace qv {

inline constexpr int kSiteIdMaxChars = 3;
inline constexpr std::int64_t kMaxAveragingMinutes = 1440;  // one day: longer periods are the same
inline constexpr std::size_t kMaxDataSourceChars = 49;

// At most three characters; not empty when ASCII files are read.
std::string checkSiteLength(const std::string& siteId);
std::string checkSiteGiven(const std::string& siteId, bool ascii);

// 1 to 1440 minutes.
std::string checkAveragingMinutes(std::int64_t minutes);

// Begin not after end.
std::string checkDateOrder(TimeValue begin, TimeValue end);

// No line break (the text stands in the files' title line) and at most 49
// characters.
std::string checkDataSource(const std::string& text);

// A beam's consensus window and threshold must be greater than zero.
std::string checkConsensusWindow(float window);
std::string checkConsensusThreshold(std::int64_t percent);

}  // namespace qv
