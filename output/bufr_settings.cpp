#include "output/bufr_settings.h"

#include <cstdint>

#include "core/numbers.h"

namespace qv {

bool parseWmoStation(std::string_view text, WmoStation& out) {
    if (text.size() != 5) return false;
    int digits[5] = {};
    for (std::size_t i = 0; i < 5; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        digits[i] = text[i] - '0';
    }
    const int block = digits[0] * 10 + digits[1];
    if (block < 1) return false;
    out.block = block;
    out.station = digits[2] * 100 + digits[3] * 10 + digits[4];
    return true;
}

bool parseBufrCentre(std::string_view text, int& out) {
    std::int64_t value = 0;
    if (!parseWholeInteger(text, value) || value < 0 || value > kMaxBufrCentre) return false;
    out = static_cast<int>(value);
    return true;
}

bool parseBufrTemperature(std::string_view text, BufrTemperature& out) {
    if (text == "tv") {
        out = BufrTemperature::Tv;
    } else if (text == "tvc") {
        out = BufrTemperature::TvC;
    } else {
        return false;
    }
    return true;
}

}  // namespace qv
