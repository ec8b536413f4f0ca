// Day products built in code for the plot tests.
#pragma once

#include <string>

#include "products/day_product.h"

namespace qv::test {

// "HHMM" of a minute of the day (0..1439).
inline void setKey(char* key, int minuteOfDay) {
    const int hours = (minuteOfDay / 60) % 24;
    const int minutes = minuteOfDay % 60;
    key[0] = static_cast<char>('0' + hours / 10);
    key[1] = static_cast<char>('0' + hours % 10);
    key[2] = static_cast<char>('0' + minutes / 10);
    key[3] = static_cast<char>('0' + minutes % 10);
    key[4] = 0;
}

inline DayHeader plotHeader(OutputKind kind, int year, int month, int day, int averaging) {
    DayHeader header;
    header.fileKind = kind;
    header.variant = 1;
    header.stationName = "QVS";
    header.dataSourceText = "QAV";
    header.day.year = static_cast<std::uint16_t>(year);
    header.day.month = static_cast<std::uint16_t>(month);
    header.day.day = static_cast<std::uint16_t>(day);
    header.latitudeCenti = 4001;
    header.longitudeCenti = -10525;
    header.siteElevation = 1611;
    header.averagingMinutes = averaging;
    header.pulseWidth = 700;
    header.gateSpacing = 100.0f;
    return header;
}

// A wind day: `periods` periods from `firstMinute` every `averaging`
// minutes, `gates` gates from 1700 m every 100 m, all valid, the wind from
// `direction` at `speed`.
inline WindDay windDay(int periods, int gates, int averaging = 30, int firstMinute = 0,
                       float speed = 10.0f, int direction = 270, int day = 15) {
    WindDay out;
    out.header = plotHeader(OutputKind::Winds, 2004, 6, day, averaging);
    for (int p = 0; p < periods; ++p) {
        WindPeriod& period = out.periods.emplace_back();
        setKey(period.key, firstMinute + p * averaging);
        for (int g = 0; g < gates; ++g) {
            WindGate& gate = period.gates.emplace_back();
            gate.height = 1700.0L + 100.0L * g;
            gate.speed = speed;
            gate.direction = direction;
        }
    }
    return out;
}

inline TemperatureDay temperatureDay(int periods, int gates, int averaging = 30,
                                     int firstMinute = 0, int day = 15) {
    TemperatureDay out;
    out.header = plotHeader(OutputKind::Temperature, 2004, 6, day, averaging);
    for (int p = 0; p < periods; ++p) {
        TemperaturePeriod& period = out.periods.emplace_back();
        setKey(period.key, firstMinute + p * averaging);
        for (int g = 0; g < gates; ++g) {
            TemperatureGate& gate = period.gates.emplace_back();
            gate.height = 1700.0 + 100.0 * g;
            gate.tv = 20.0f - 0.6f * g;
            gate.tvc = 19.5f - 0.6f * g;
        }
    }
    return out;
}

}  // namespace qv::test
