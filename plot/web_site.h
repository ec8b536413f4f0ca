// A station's quick-look web site as an output of day products: static
// files only, each written whole, so that any static web server (or the
// folder opened as file://) shows a complete page at every moment.
//
//   index.html                  the last 24 hours across midnight: winds and,
//                               when processed, Tv/TvC; the latest profile;
//                               a "stale" notice when the data have stopped
//   archive.html                every day of the site, newest first
//   days/YYYY-MM-DD.html        a day's plots and links to its files
//   days/YYYY-MM-DD-winds.js    the day's data, one file per output kind
//   days/YYYY-MM-DD-temperature.js
//   site.js, site.css           the drawing code and the style
//
// The pages draw their plots in the browser from the day's data (one small
// script per day), so a year of days costs little more than its data; the
// colour scale and the barbs' feathers come from the plots' own rules.
#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "output/day_output.h"
#include "plot/layout.h"

namespace qv::plot {

struct WebOptions {
    std::string folder;        // the site
    int refreshSeconds = 0;    // the index reloads itself (following); 0: never
    double windScaleMax = kDefaultWindScaleMax;  // m/s, one scale for every plot
    TemperatureRange temperatureRange = kDefaultTemperatureScale;  // degrees C
};

class WebSite {
public:
    explicit WebSite(WebOptions options);

    // A day's data script and page. `context.dayFiles` lists the files the
    // run's other outputs made for the day: the page links them.
    std::vector<OutputFile> day(const DayProducts& products, const OutputContext& context);

    // The pages over all days of the site (index, archive) and the site's
    // script and style: once a run's (or a follower's write's) days are whole.
    std::vector<OutputFile> finish(const OutputContext& context);

private:
    WebOptions options_;
    std::mutex mutex_;
    std::string station_;  // of the latest day made, for the titles
};

// The site's days (YYYY-MM-DD) and the kinds each has data of, oldest
// first, from the data scripts in `folder`/days.
struct SiteDay {
    std::string date;
    bool winds = false;
    bool temperature = false;
};
std::vector<SiteDay> siteDays(const std::string& folder);

// The data script of a day's products of one kind (exposed for tests).
std::string dayDataScript(const DayProducts& products, bool winds,
                          const std::vector<std::string>& fileLinks);

}  // namespace qv::plot
