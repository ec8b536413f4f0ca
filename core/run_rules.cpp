#include "core/run_rules.h"

#include "core/text.h"

namespace qv {

std::string checkSiteLength(const std::string& siteId) {
    if (siteId.size() > static_cast<std::size_t>(kSiteIdMaxChars)) {
        return formatText("Please enter no more than %d characters.", kSiteIdMaxChars);
    }
    return {};
}

std::string checkSiteGiven(const std::string& siteId, bool ascii) {
    if (ascii && siteId.empty()) return "Invalid SiteID.";
    return {};
}

std::string checkAveragingMinutes(std::int64_t minutes) {
    // Zero would never end the period search and a negative count would
    // become an enormous period.
    if (minutes <= 0) return "Consensus averaging period must be\ngreater than zero.";
    if (minutes > kMaxAveragingMinutes) {
        return formatText("Consensus averaging period must be at most %d minutes (one day).",
                          static_cast<int>(kMaxAveragingMinutes));
    }
    return {};
}

std::string checkDateOrder(TimeValue begin, TimeValue end) {
    if (compareTimeValues(begin, end) > 0) {
        return "Begin date must be less than or equal to end date.";
    }
    return {};
}

std::string checkDataSource(const std::string& text) {
    if (text.find_first_of("\r\n") != std::string::npos) {
        return "The data source text must not contain a line break.";
    }
    if (text.size() > kMaxDataSourceChars) {
        return formatText("The data source text must be at most %d characters.",
                          static_cast<int>(kMaxDataSourceChars));
    }
    return {};
}

std::string checkConsensusWindow(float window) {
    if (!(window > 0.0f)) return "The consensus window must be greater than zero.";
    return {};
}

std::string checkConsensusThreshold(std::int64_t percent) {
    if (percent <= 0) return "The consensus threshold must be greater than zero.";
    return {};
}

}  // namespace qv
