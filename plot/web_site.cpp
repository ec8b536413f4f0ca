#include "plot/web_site.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <map>

#include "core/text.h"
#include "output/day_files.h"
#include "plot/colormap.h"
#include "plot/layout.h"
#include "plot/wind_barb.h"

namespace qv::plot {
namespace {

namespace fs = std::filesystem;

std::string dayDate(const DayHeader& header) { return isoDate(header.day); }

const DayHeader* firstHeader(const DayProducts& products) {
    if (!products.winds.empty()) return &products.winds.front().header;
    if (!products.temperature.empty()) return &products.temperature.front().header;
    return nullptr;
}

// Numbers as the data scripts carry them: whole metres, tenths.
void appendWhole(std::string& out, double value) {
    char buffer[32];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer,
                                   static_cast<long long>(std::llround(value))).ptr;
    out.append(buffer, end);
}

void appendTenths(std::string& out, double value) {
    char buffer[48];
    const auto end =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 1).ptr;
    out.append(buffer, end);
}

template <typename T, typename F>
void appendArray(std::string& out, const std::vector<T>& values, F each) {
    out += '[';
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i) out += ',';
        each(values[i]);
    }
    out += ']';
}

// Data codes and flagged gates stay out of the plots; the profile table
// shows the values as the consensus file prints them, codes included.
double shown(double value) { return std::isfinite(value) ? value : kMissingCode; }

void appendLatestProfile(std::string& out, const WindPeriod& period) {
    out += "\"latest\":[" + std::to_string(periodKeyMinutes(period.key)) + ",";
    appendArray(out, period.gates, [&out](const WindGate& g) {
        out += '[';
        appendWhole(out, shown(static_cast<double>(g.height)));
        for (const double v : {double{g.speed}, double(g.direction), double{g.u}, double{g.v},
                               double{g.w}}) {
            out += ',';
            appendTenths(out, shown(v));
        }
        out += ',' + std::to_string(g.qcCode) + ',' + std::to_string(g.countU) + ',' +
               std::to_string(g.countV) + ',' + std::to_string(g.countW) + ']';
    });
    out += ']';
}

void appendWindMode(std::string& out, const WindDay& day) {
    out += "{\"mode\":" + std::to_string(day.header.variant) +
           ",\"pulse\":" + std::to_string(day.header.pulseWidth) + ",\"periods\":[";
    bool firstPeriod = true;
    for (const WindPeriod& period : day.periods) {
        const int start = periodKeyMinutes(period.key);
        if (start < 0) continue;
        std::vector<const WindGate*> valid;
        for (const WindGate& gate : period.gates) {
            if (isValidWindGate(gate)) valid.push_back(&gate);
        }
        if (!firstPeriod) out += ',';
        firstPeriod = false;
        out += '[' + std::to_string(start) + ',';
        appendArray(out, valid, [&out](const WindGate* g) { appendWhole(out, double(g->height)); });
        out += ',';
        appendArray(out, valid, [&out](const WindGate* g) { appendTenths(out, g->speed); });
        out += ',';
        appendArray(out, valid, [&out](const WindGate* g) { out += std::to_string(g->direction); });
        out += ',';
        // The barb's speed in knots, rounded as the plots round it.
        appendArray(out, valid, [&out](const WindGate* g) {
            out += std::to_string(barbFeathers(g->speed).knots);
        });
        out += ']';
    }
    out += "],";
    const WindPeriod* newest = nullptr;
    for (const WindPeriod& period : day.periods) {
        if (periodKeyMinutes(period.key) >= 0 &&
            (!newest || periodKeyMinutes(period.key) > periodKeyMinutes(newest->key))) {
            newest = &period;
        }
    }
    if (newest) {
        appendLatestProfile(out, *newest);
    } else {
        out += "\"latest\":null";
    }
    out += '}';
}

void appendTemperature(std::string& out, const TemperatureDay& day) {
    out += "\"periods\":[";
    bool firstPeriod = true;
    for (const TemperaturePeriod& period : day.periods) {
        const int start = periodKeyMinutes(period.key);
        if (start < 0) continue;
        std::vector<const TemperatureGate*> shownGates;
        for (const TemperatureGate& gate : period.gates) {
            if (isValidTemperature(gate, gate.tv) || isValidTemperature(gate, gate.tvc)) {
                shownGates.push_back(&gate);
            }
        }
        if (!firstPeriod) out += ',';
        firstPeriod = false;
        out += '[' + std::to_string(start) + ',';
        appendArray(out, shownGates, [&out](const TemperatureGate* g) { appendWhole(out, g->height); });
        for (const bool corrected : {false, true}) {
            out += ',';
            appendArray(out, shownGates, [&out, corrected](const TemperatureGate* g) {
                const float value = corrected ? g->tvc : g->tv;
                if (isValidTemperature(*g, value)) {
                    appendTenths(out, value);
                } else {
                    out += "null";
                }
            });
        }
        out += ']';
    }
    out += ']';
}

// A link from the site's days folder to a file, percent-encoded.
std::string linkFromDays(const std::string& siteFolder, const std::string& path) {
    std::error_code ec;
    const fs::path from = fs::absolute(fs::path(siteFolder) / "days", ec).lexically_normal();
    const fs::path to = fs::absolute(fs::path(path), ec).lexically_normal();
    const std::string relative = to.lexically_relative(from).generic_string();
    std::string link;
    for (const char c : relative.empty() ? to.generic_string() : relative) {
        const auto u = static_cast<unsigned char>(c);
        if (std::isalnum(u) || c == '/' || c == '.' || c == '-' || c == '_' || c == '~') {
            link += c;
        } else {
            link += formatText("%%%02X", u);
        }
    }
    return link;
}

std::string htmlText(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

// The head of every page: the data scripts call quorvaneDay before the
// drawing code is loaded.
std::string pageHead(const std::string& title, const std::string& root, int refreshSeconds) {
    std::string head =
        "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
        "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n";
    if (refreshSeconds > 0) {
        head += "<meta http-equiv=\"refresh\" content=\"" + std::to_string(refreshSeconds) + "\">\n";
    }
    head += "<title>" + htmlText(title) + "</title>\n<link rel=\"stylesheet\" href=\"" + root +
            "site.css\">\n<script>var QVDAYS = []; function quorvaneDay(d) { QVDAYS.push(d); "
            "}</script>\n</head>\n";
    return head;
}

std::string scaleAttributes(const WebOptions& o) {
    std::string text = " data-wind-max=\"";
    appendTenths(text, o.windScaleMax);
    text += "\" data-temperature-low=\"";
    appendTenths(text, o.temperatureRange.low);
    text += "\" data-temperature-high=\"";
    appendTenths(text, o.temperatureRange.high);
    return text + "\"";
}

std::string dataScriptName(const std::string& date, bool winds) {
    return date + (winds ? "-winds.js" : "-temperature.js");
}

std::string dayPage(const std::string& station, const std::string& date, bool winds,
                    bool temperature, const WebOptions& options) {
    std::string page = pageHead(station + " " + date, "../", 0);
    page += "<body data-page=\"day\" data-date=\"" + date + "\"" + scaleAttributes(options) +
            ">\n<header><h1>" + htmlText(station) + " " + date +
            "</h1>\n<nav><a href=\"../index.html\">Latest</a> <a href=\"../archive.html\">"
            "Archive</a></nav></header>\n<main>\n";
    if (winds) page += "<section><h2>Winds</h2><div id=\"winds\" class=\"plot\"></div></section>\n";
    if (temperature) {
        page += "<section><h2>Virtual temperature</h2><div id=\"temperature\" "
                "class=\"plot\"></div></section>\n";
    }
    page += "<section><h2>Files</h2><ul id=\"files\"></ul></section>\n</main>\n"
            "<noscript><p>The plots are drawn by the page's script.</p></noscript>\n";
    if (winds) page += "<script src=\"" + dataScriptName(date, true) + "\"></script>\n";
    if (temperature) page += "<script src=\"" + dataScriptName(date, false) + "\"></script>\n";
    return page + "<script src=\"../site.js\"></script>\n</body>\n</html>\n";
}

std::string indexPage(const std::string& station, const std::vector<SiteDay>& days,
                      const WebOptions& options) {
    std::string page = pageHead(station + ": latest winds", "", options.refreshSeconds);
    page += "<body data-page=\"index\"" + scaleAttributes(options) + ">\n<header><h1>" +
            htmlText(station) + "</h1>\n<nav><a href=\"archive.html\">Archive</a>";
    if (!days.empty()) {
        page += " <a href=\"days/" + days.back().date + ".html\">" + days.back().date + "</a>";
    }
    page += "</nav></header>\n<main>\n<p id=\"stale\" class=\"stale\" hidden></p>\n"
            "<p id=\"newest\">No periods yet.</p>\n";
    // The newest day and the one before it hold the last 24 hours.
    const std::size_t from = days.size() > 2 ? days.size() - 2 : 0;
    bool winds = false, temperature = false;
    for (std::size_t i = from; i < days.size(); ++i) {
        winds = winds || days[i].winds;
        temperature = temperature || days[i].temperature;
    }
    if (winds) {
        page += "<section><h2>Winds, last 24 hours</h2><div id=\"winds\" "
                "class=\"plot\"></div></section>\n";
    }
    if (temperature) {
        page += "<section><h2>Virtual temperature, last 24 hours</h2><div id=\"temperature\" "
                "class=\"plot\"></div></section>\n";
    }
    if (winds) {
        page += "<section><h2>Latest profile</h2><div class=\"table\"><table id=\"profile\">"
                "</table></div></section>\n";
    }
    page += "</main>\n<noscript><p>The plots are drawn by the page's script.</p></noscript>\n";
    for (std::size_t i = from; i < days.size(); ++i) {
        if (days[i].winds) {
            page += "<script src=\"days/" + dataScriptName(days[i].date, true) + "\"></script>\n";
        }
        if (days[i].temperature) {
            page += "<script src=\"days/" + dataScriptName(days[i].date, false) + "\"></script>\n";
        }
    }
    return page + "<script src=\"site.js\"></script>\n</body>\n</html>\n";
}

std::string archivePage(const std::string& station, const std::vector<SiteDay>& days) {
    std::string page = pageHead(station + ": archive", "", 0);
    page += "<body data-page=\"archive\">\n<header><h1>" + htmlText(station) +
            " archive</h1>\n<nav><a href=\"index.html\">Latest</a></nav></header>\n<main>\n";
    std::string month;
    for (auto it = days.rbegin(); it != days.rend(); ++it) {
        const std::string thisMonth = it->date.substr(0, 7);
        if (thisMonth != month) {
            if (!month.empty()) page += "</ul></section>\n";
            month = thisMonth;
            page += "<section><h2>" + month + "</h2><ul class=\"days\">\n";
        }
        page += "<li><a href=\"days/" + it->date + ".html\">" + it->date + "</a>" +
                (it->winds ? " winds" : "") + (it->temperature ? " temperature" : "") + "</li>\n";
    }
    if (!month.empty()) page += "</ul></section>\n";
    if (days.empty()) page += "<p>No days yet.</p>\n";
    return page + "</main>\n</body>\n</html>\n";
}

// The site's files are made again by the next write: renamed into place
// whole, not flushed to the disk.
std::vector<OutputFile> pages(std::vector<OutputFile> files) {
    for (OutputFile& file : files) file.flush = false;
    return files;
}

}  // namespace

std::string siteScript();  // web_assets.cpp
std::string siteStyle();

std::vector<SiteDay> siteDays(const std::string& folder) {
    std::map<std::string, SiteDay> days;
    std::error_code ec;
    for (fs::directory_iterator it(fs::path(folder) / "days", ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::string name = it->path().filename().string();
        // YYYY-MM-DD-winds.js or YYYY-MM-DD-temperature.js
        if (name.size() < 14 || name[4] != '-' || name[7] != '-' || name[10] != '-') continue;
        const std::string date = name.substr(0, 10);
        const std::string rest = name.substr(11);
        if (rest != "winds.js" && rest != "temperature.js") continue;
        SiteDay& day = days[date];
        day.date = date;
        (rest == "winds.js" ? day.winds : day.temperature) = true;
    }
    std::vector<SiteDay> list;
    for (auto& [date, day] : days) list.push_back(day);
    return list;
}

std::string dayDataScript(const DayProducts& products, bool winds,
                          const std::vector<std::string>& fileLinks) {
    const DayHeader* header = winds ? (products.winds.empty() ? nullptr : &products.winds.front().header)
                                    : (products.temperature.empty()
                                           ? nullptr
                                           : &products.temperature.front().header);
    if (!header) return {};
    std::string out = "quorvaneDay({\"date\":\"" + dayDate(*header) + "\",\"kind\":\"" +
                      (winds ? "winds" : "temperature") +
                      "\",\"station\":" + jsonQuoted(displayText(header->stationName)) +
                      ",\"minutes\":" + std::to_string(header->averagingMinutes) +
                      ",\"elevation\":" + std::to_string(header->siteElevation) +
                      ",\"south\":" + (header->latitudeCenti < 0 ? "true" : "false") + ",";
    if (winds) {
        out += "\"modes\":[";
        for (std::size_t i = 0; i < products.winds.size(); ++i) {
            if (i) out += ',';
            appendWindMode(out, products.winds[i]);
        }
        out += "]";
    } else {
        appendTemperature(out, products.temperature.front());
    }
    out += ",\"files\":[";
    for (std::size_t i = 0; i < fileLinks.size(); ++i) {
        out += (i ? "," : "") + jsonQuoted(displayText(fileLinks[i]));
    }
    return out + "]});\n";
}

WebSite::WebSite(WebOptions options) : options_(std::move(options)) {}

std::vector<OutputFile> WebSite::day(const DayProducts& products, const OutputContext& context) {
    const DayHeader* header = firstHeader(products);
    if (!header || !isCalendarDate(header->day.year, header->day.month, header->day.day)) return {};
    const std::string date = dayDate(*header);
    const std::string station = displayText(header->stationName);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        station_ = station;
    }
    std::vector<std::string> links;
    for (const std::string& path : context.dayFiles) {
        links.push_back(linkFromDays(options_.folder, path));
    }
    const bool winds = !products.winds.empty();
    const std::string days = pathIn(options_.folder, "days");
    std::vector<OutputFile> files;
    files.push_back(makeOutputFile(pathIn(days, dataScriptName(date, winds)),
                                   [&](std::string& bytes, std::string&) {
                                       bytes = dayDataScript(products, winds, links);
                                       return true;
                                   }));
    // The page shows the other kind too once its data are on the site.
    std::error_code ec;
    const bool other = fs::exists(pathIn(days, dataScriptName(date, !winds)), ec);
    files.push_back(makeOutputFile(pathIn(days, date + ".html"), [&](std::string& bytes,
                                                                     std::string&) {
        bytes = dayPage(station, date, winds || other, !winds || other, options_);
        return true;
    }));
    return pages(std::move(files));
}

std::vector<OutputFile> WebSite::finish(const OutputContext&) {
    std::string station;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        station = station_;
    }
    const std::vector<SiteDay> days = siteDays(options_.folder);
    std::vector<OutputFile> files;
    // The script and style first: the pages that use them come after.
    files.push_back(makeOutputFile(pathIn(options_.folder, "site.js"),
                                   [](std::string& bytes, std::string&) {
                                       bytes = siteScript();
                                       return true;
                                   }));
    files.push_back(makeOutputFile(pathIn(options_.folder, "site.css"),
                                   [](std::string& bytes, std::string&) {
                                       bytes = siteStyle();
                                       return true;
                                   }));
    files.push_back(makeOutputFile(pathIn(options_.folder, "archive.html"),
                                   [&](std::string& bytes, std::string&) {
                                       bytes = archivePage(station, days);
                                       return true;
                                   }));
    files.push_back(makeOutputFile(pathIn(options_.folder, "index.html"),
                                   [&](std::string& bytes, std::string&) {
                                       bytes = indexPage(station, days, options_);
                                       return true;
                                   }));
    return pages(std::move(files));
}

}  // namespace qv::plot
