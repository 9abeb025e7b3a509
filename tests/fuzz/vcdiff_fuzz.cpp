// libFuzzer target over VCDIFF: any bytes as a delta over an old file must decode or be refused,
// never read or write outside their buffers; and patchtool's delta between any two files must
// give the new one back.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "format/vcdiff.h"
#include "patchtool/vcdiff_encode.h"

#define CHECK(condition) ((condition) ? (void)0 : abort())

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    size_t split = 2 + (data[0] | data[1] << 8) % (size - 1);
    std::string old((const char*)data + 2, split - 2), rest((const char*)data + split, size - split);

    std::string target, problem;
    if (decodeVcdiffText(old, rest, &target, &problem))
        CHECK(problem == "decoded");
    else
        CHECK(problem != "decoded" && !problem.empty());

    std::string delta = encodeVcdiff(old, rest);
    CHECK(decodeVcdiffText(old, delta, &target, &problem) && target == rest);
    return 0;
}
