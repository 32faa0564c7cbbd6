// libFuzzer target: the WS-Discovery parser sees every datagram to port 3702
// on the link, from any sender.

#include <vexa/wsdiscovery.h>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using namespace vexa::wsd;
    const auto message = parse(std::string_view(reinterpret_cast<const char *>(data), size));
    if (!message)
        return 0;
    // Whatever parses must encode again within bounds and mean the same.
    const std::string again = encode(*message);
    if (again.empty() || parse(again) != message)
        std::abort();
    if (const auto *hello = std::get_if<Hello>(&*message)) {
        scopeValue(hello->target.scopes, "hardware");
        for (const std::string &xaddr : hello->target.xaddrs) {
            // What is read back is written again as a URL, and reads as itself.
            if (const auto address = httpAddress(xaddr)) {
                const auto again = httpAddress("http://" + address->authority() + "/");
                if (!again || again->host != address->host || again->port != address->port)
                    std::abort();
            }
        }
    }
    return 0;
}
