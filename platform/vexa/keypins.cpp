#include "keypins.h"

#include <mutex>
#include <unordered_map>

namespace vexa::keypins {

namespace {

// Bounds what a flood of made-up identities can cost; past it keys are
// checked against existing pins but no new ones are stored.
constexpr size_t kMaxPins = 1 << 17;

std::string identity(const std::string &serial, const wire::Mac &mac)
{
    std::string id(mac.begin(), mac.end());
    return id.append(serial);
}

} // namespace

bool accept(const std::string &serial, const wire::Mac &mac, const wire::PublicKey &key)
{
    static std::mutex mutex;
    static std::unordered_map<std::string, wire::PublicKey> pins;
    std::lock_guard lock(mutex);
    const std::string id = identity(serial, mac);
    if (auto it = pins.find(id); it != pins.end())
        return it->second == key;
    if (pins.size() < kMaxPins)
        pins.emplace(id, key);
    return true;
}

} // namespace vexa::keypins
