#include "generator.h"

#include <array>
#include <cstdio>
#include <random>

namespace deviceside {

namespace {

struct Model {
    int32_t typeCode;
    const char *typeName;
    const char *serialPrefix;
    int32_t channelCount;
    uint16_t port;
    int weight; // relative frequency in a generated network
};

// Cameras dominate a real site; recorders, encoders and the read-only
// accessory types (0x9D00..0x9FFF) are fewer.
constexpr std::array models = {
    Model{0x2011, "VXC-2120", "VXC2120", 1, 8000, 30},
    Model{0x2034, "VXC-4280Z", "VXC4280", 1, 8000, 20},
    Model{0x2107, "VXP-5232", "VXP5232", 1, 8000, 8},
    Model{0x3108, "VXR-0808P", "VXR0808P", 8, 8000, 8},
    Model{0x3116, "VXR-1616", "VXR1616", 16, 8000, 5},
    Model{0x3232, "VXR-3232-4K", "VXR3232", 32, 8000, 3},
    Model{0x4912, "VXE-4104", "VXE4104", 4, 8000, 5},
    Model{0x5904, "VXD-6208", "VXD6208", 8, 8000, 3},
    Model{0x9D21, "VXI-2016", "VXI2016", 0, 8200, 6},
    Model{0x9E10, "VXA-K1T", "VXAK1T", 0, 8200, 6},
    Model{0x9F02, "VXM-8400", "VXM8400", 0, 8200, 6},
};

constexpr const char *kFactoryAddress = "192.168.1.64";

class Picker
{
public:
    explicit Picker(uint64_t seed) : m_rng(seed) {}

    int range(int low, int high) { return std::uniform_int_distribution<int>(low, high)(m_rng); }
    bool chance(int percent) { return range(0, 99) < percent; }

    const Model &model()
    {
        static const int total = [] {
            int sum = 0;
            for (const Model &m : models)
                sum += m.weight;
            return sum;
        }();
        int pick = range(0, total - 1);
        for (const Model &m : models) {
            if (pick < m.weight)
                return m;
            pick -= m.weight;
        }
        return models.front();
    }

private:
    std::mt19937_64 m_rng;
};

std::string format(const char *pattern, auto... values)
{
    char text[64];
    std::snprintf(text, sizeof text, pattern, values...);
    return text;
}

} // namespace

std::vector<DeviceInfo> generateDevices(size_t count, uint64_t seed)
{
    Picker pick(seed);
    std::vector<DeviceInfo> devices;
    devices.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        const Model &model = pick.model();
        DeviceInfo d;
        d.typeCode = model.typeCode;
        d.typeName = model.typeName;
        d.channelCount = model.channelCount;
        d.port = model.port;
        d.httpPort = 80;

        // The running index makes serial and MAC unique; the date part only looks real.
        const int year = pick.range(2019, 2024), month = pick.range(1, 12), day = pick.range(1, 28);
        d.serialNo = format("%s%04d%02d%02dVX%09zu", model.serialPrefix, year, month, day, i + 1);
        d.macAddr = format("02:56:58:%02zx:%02zx:%02zx", (i >> 16) & 0xFF, (i >> 8) & 0xFF, i & 0xFF);

        // 200 devices per /24 across 172.16.0.0/12 and beyond; one in fifty
        // still sits on the factory-default address, as on a fresh install.
        const size_t subnet = i / 200;
        const unsigned second = unsigned(16 + subnet / 256), third = unsigned(subnet % 256);
        d.ipv4Addr = pick.chance(2) ? kFactoryAddress
                                    : format("172.%u.%u.%zu", second, third, i % 200 + 10);
        d.ipv4Mask = "255.255.255.0";

        d.softwareVersion = format("V%d.%d.%d build %02d%02d%02d", pick.range(3, 5),
                                   pick.range(0, 9), pick.range(1, 40), year % 100, month, day);
        d.dspVersion = format("V%d.%d build %02d%02d%02d", pick.range(5, 7), pick.range(0, 4),
                              year % 100, month, pick.range(1, 28));
        d.startTime = format("2025-%02d-%02d %02d:%02d:%02d", pick.range(1, 6), pick.range(1, 28),
                             pick.range(0, 23), pick.range(0, 59), pick.range(0, 59));

        // Older firmware reports only the basic fields.
        d.extInfo = pick.chance(80) ? 1 : 0;
        if (d.extInfo) {
            d.ipv4Gateway = d.ipv4Addr == kFactoryAddress ? "192.168.1.1"
                                                          : format("172.%u.%u.1", second, third);
            if (pick.chance(40)) {
                d.capabilities |= CapIpv6;
                if (pick.chance(70))
                    d.capabilities |= CapIpv6Modifiable;
                d.ipv6Addr = format("fd00:5658:%x::%zx", unsigned(subnet), i % 200 + 16);
                d.ipv6Gateway = format("fd00:5658:%x::1", unsigned(subnet));
                d.ipv6PrefixLen = 64;
            }
            if (pick.chance(60)) {
                d.capabilities |= CapDhcp;
                d.dhcpOn = pick.chance(25) ? 1 : 0;
            }
        }
        devices.push_back(std::move(d));
    }
    return devices;
}

} // namespace deviceside
