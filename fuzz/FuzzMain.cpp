// One libFuzzer program per target; FUZZ_TARGET names the body.
#include "FuzzTargets.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::prepare();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FUZZ_TARGET(data, size);
    return 0;
}
