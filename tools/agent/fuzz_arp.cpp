// libFuzzer target: whatever arrives on the link while the agent probes an address.

#include "arpprobe.h"

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    uint32_t address = 0;
    agent::HardwareAddress own{};
    // The first bytes choose the probed address and the agent's own MAC, the rest is the packet.
    if (size >= sizeof address + own.size()) {
        std::memcpy(&address, data, sizeof address);
        std::memcpy(own.data(), data + sizeof address, own.size());
        data += sizeof address + own.size();
        size -= sizeof address + own.size();
    }
    agent::claimsAddress(std::span(data, size), address, own);
    return 0;
}
