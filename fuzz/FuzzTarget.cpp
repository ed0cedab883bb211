// One libFuzzer target; TALVO_FUZZ_ENTRY names the entry function it drives.

#include <cstdio>
#include <cstdlib>

#include "fuzz/FuzzEntries.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char *data, std::size_t size)
{
    const QString broken = talvo::fuzz::TALVO_FUZZ_ENTRY(
        QByteArrayView(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size)));
    if (!broken.isEmpty()) {
        std::fprintf(stderr, "property broken: %s\n", qPrintable(broken));
        std::abort();
    }
    return 0;
}
