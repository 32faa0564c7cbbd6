// libFuzzer target: firmware image headers come from whoever made the file.

#include <vexa/firmwareimage.h>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    namespace fw = vexa::firmwareimage;
    std::string error;
    const auto header = fw::parseHeader(std::span<const uint8_t>(data, size), error);
    if (!header) {
        if (error.empty()) // every refusal says why
            std::abort();
        return 0;
    }
    // Whatever parses lies within the input and holds only what a signer could have written.
    if (header->headerLength > size || header->headerLength > fw::kMaxHeaderLength
        || !fw::checkModels(header->models).empty() || !fw::fitsModel(*header, header->models.front())
        || header->payloadSize == 0 || header->payloadSize > fw::kMaxPayloadSize)
        std::abort();
    return 0;
}
