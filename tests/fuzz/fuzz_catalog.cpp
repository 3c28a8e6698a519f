// Fuzz target: the .mo catalog reader on any bytes. Besides crashes and undefined
// behaviour it catches texts that add up to more than the catalog's size.

#include "mofile.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto texts = catalog::parseMo(std::string_view(reinterpret_cast<const char*>(data), size));
    std::size_t total = 0;
    for (const auto& [original, translated] : texts)
        total += original.size() + translated.size();
    if (total > size)
        std::abort();
    return 0;
}
