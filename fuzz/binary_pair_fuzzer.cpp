// A binary day end to end: the options byte, then up to four files apart
// by the file separator: the processing day's data file and header file,
// and the next day's data file and header file (a missing part is a missing
// file). GetBinaryMoments reads them through the KRX library into the
// period store, and both consensus kinds write their files.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/fuzz_support.h"
#include "input/binary_moments.h"
#include "input/krx/krx.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace qv::fuzz;
    if (size < 1) return 0;
    const RunChoice choice = decodeChoice(data[0]);
    const std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::vector<std::string_view> files = splitFiles(rest, 4);

    // 5 May 2004 is day 126.
    const std::string extension = choice.spcExtension ? "spc" : "mom";
    const std::string names[4] = {"d04126a." + extension, "h04126a." + extension,
                                  "d04127a." + extension, "h04127a." + extension};
    ScratchFolder& scratch = ScratchFolder::instance();
    for (std::size_t i = 0; i < files.size(); ++i) scratch.write(names[i], files[i]);

    // Every input starts from the library's state at process start (the
    // header error is reported once per process).
    krx_reset_state();
    {
        qv::ConsensusJob job;
        QuietHost host;
        host.input = qv::InputType::Binary;
        processDay(job, host, calendarDate(2004, 5, 5), choice, qv::GetBinaryMoments);
    }
    krx_reset_state();
    scratch.clearAndCheck();
    return 0;
}
