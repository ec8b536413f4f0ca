// An ASCII moment day end to end: the options byte, then the processing
// day's file and, after the file separator, the next day's file (absent
// when there is no separator). Both are read by GetAsciiMoments into the
// period store, and both consensus kinds write their files.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz/fuzz_support.h"
#include "input/ascii_moments.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace qv::fuzz;
    if (size < 1) return 0;
    const RunChoice choice = decodeChoice(data[0]);
    const std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::vector<std::string_view> files = splitFiles(rest, 2);

    // 15 June 2004 is day 167.
    const char* extension = choice.kind == qv::OutputKind::Winds ? ".raw" : ".rat";
    ScratchFolder& scratch = ScratchFolder::instance();
    scratch.write(std::string("abc04167") + extension, files[0]);
    if (files.size() > 1) scratch.write(std::string("abc04168") + extension, files[1]);

    {
        qv::ConsensusJob job;
        QuietHost host;
        host.input = qv::InputType::Ascii;
        job.params.siteId = "abc";
        processDay(job, host, calendarDate(2004, 6, 15), choice, qv::GetAsciiMoments);
    }
    scratch.clearAndCheck();
    return 0;
}
