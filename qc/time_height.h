// The winds of one mode's day laid out in time and height for the
// continuity tests: the day's periods, with those of the day before and
// after when they are the same mode's, in time order; every gate of every
// period numbered, and a copy of the u, v and SNR of the gates that take
// part (valid, finite, not a data code), so that flagging a gate of the day
// does not change what the tests see.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "products/day_product.h"

namespace qv::qc {

// One period of the time axis: the checked day's or a neighbour's.
struct Column {
    int minutes = 0;  // since the checked day's midnight (negative: the day before)
    const WindPeriod* period = nullptr;
    WindPeriod* own = nullptr;  // the checked day's period, null for a neighbour's
    std::uint32_t base = 0;     // number of its first gate
};

// True when a gate takes part in the tests: QC code 0 and a finite u and v
// that are not data codes.
bool takesPart(const WindGate& g);

class TimeHeightField {
public:
    // `before` and `after` may be null; a neighbour whose mode or averaging
    // period differs from the day's is left out.
    TimeHeightField(WindDay& day, const WindDay* before, const WindDay* after);

    const std::vector<Column>& columns() const { return columns_; }
    std::uint32_t size() const { return static_cast<std::uint32_t>(valid_.size()); }
    std::uint32_t id(std::size_t column, std::size_t gate) const {
        return columns_[column].base + static_cast<std::uint32_t>(gate);
    }
    std::size_t gateCount(std::size_t column) const { return columns_[column].period->gates.size(); }

    bool valid(std::uint32_t id) const { return valid_[id] != 0; }
    // The gates' flags, u and v in gate-number order (for loops over a run
    // of gates of one period).
    const std::uint8_t* validData() const { return valid_.data(); }
    const float* uData() const { return u_.data(); }
    const float* vData() const { return v_.data(); }
    float u(std::uint32_t id) const { return u_[id]; }
    float v(std::uint32_t id) const { return v_[id]; }
    // The weaker of the u and v signal-to-noise ratios (dB).
    float snr(std::uint32_t id) const { return snr_[id]; }

    // Averaging periods from column a to column b (negative when b is earlier).
    double periodsBetween(std::size_t a, std::size_t b) const {
        return (columns_[b].minutes - columns_[a].minutes) / step_;
    }
    // True when gate g lies at the same height in columns a and b: the
    // heights agree to a quarter of the gate spacing (at least 1 m).
    bool sameHeight(std::size_t a, std::size_t b, std::size_t g) const;
    // True when the gates of columns a and b lie at the same heights
    // (their lowest gates, and the highest gate both have, at the same
    // height).
    bool sameGates(std::size_t a, std::size_t b) const;

private:
    std::vector<Column> columns_;
    std::vector<std::uint8_t> valid_;
    std::vector<float> u_;
    std::vector<float> v_;
    std::vector<float> snr_;
    double step_ = 1.0;  // minutes of one averaging period
    long double heightTolerance_ = 1.0L;
};

}  // namespace qv::qc
