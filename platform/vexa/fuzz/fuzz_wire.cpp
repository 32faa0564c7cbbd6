// libFuzzer target: the decoders see every datagram on the link.

#include <vexa/wire.h>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using namespace vexa::wire;
    const std::span<const uint8_t> input(data, size);
    if (const auto message = decode(input)) {
        // Whatever decodes must encode again, to a datagram meaning the same.
        const Bytes again = encode(*message);
        if (again.empty() || decode(again) != message)
            std::abort();
        resultSignedPart(input);
        // The signed part of a decoded announcement lies within it and ends where the signature begins.
        if (const auto *announce = std::get_if<Announce>(&*message)) {
            const auto tlvs = announceSignedTlvs(input);
            const size_t start = kHeaderSize + 52;
            if (tlvs.data() != input.data() + start
                || tlvs.size() != input.size() - start - (announce->signature ? 2 + 8 + kSignatureSize : 0))
                std::abort();
        }
    }
    announceSignedTlvs(input);
    if (const auto body = decodeModifyBody(input); body && encodeBody(*body) != Bytes(input.begin(), input.end()))
        std::abort();
    if (const auto body = decodeResetBody(input); body && encodeBody(*body) != Bytes(input.begin(), input.end()))
        std::abort();
    if (const auto body = decodeJobBody(input); body && encodeBody(*body) != Bytes(input.begin(), input.end()))
        std::abort();
    return 0;
}
