// libFuzzer target; the checks live in the shared driver.
#include "fuzz_drivers.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString failure = FuzzDrivers::replayFile(data, size);
    if (!failure.isEmpty()) {
        std::fprintf(stderr, "broken rule: %s\n", qPrintable(failure));
        std::abort();
    }
    return 0;
}
