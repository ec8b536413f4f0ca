// What a user chooses for the WMO BUFR files, as typed values, and the one
// reading of each choice's text (the batch tool's and the converter's
// options).
#pragma once

#include <optional>
#include <string_view>

namespace qv {

// A WMO block (01 to 99) and station number (000 to 999).
struct WmoStation {
    int block = 0;
    int station = 0;
    bool operator==(const WmoStation&) const = default;
};

// The virtual temperature the RASS reports carry.
enum class BufrTemperature { TvC, Tv };

struct BufrSettings {
    std::optional<WmoStation> station;  // none: block and station number missing
    std::optional<int> centre;          // originating centre; none: missing
    BufrTemperature temperature = BufrTemperature::TvC;
    bool operator==(const BufrSettings&) const = default;
};

// The largest originating centre (65535 is coded as missing).
inline constexpr int kMaxBufrCentre = 65534;

// "BBSSS": exactly five digits, block 01 to 99.
bool parseWmoStation(std::string_view text, WmoStation& out);
// A whole number from 0 to kMaxBufrCentre.
bool parseBufrCentre(std::string_view text, int& out);
// "tv" or "tvc".
bool parseBufrTemperature(std::string_view text, BufrTemperature& out);

}  // namespace qv
