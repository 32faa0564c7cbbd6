#include "keypins.h"

#include "crypto.h"
#include "trustanchors.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_map>

namespace vexa::keypins {

namespace {

// Bounds what a flood of made-up identities can cost. When full, a certified
// key takes the place of the least recently used pin (first-use pins go
// first); a first-use key is then refused, never accepted unpinned.
constexpr size_t kMaxPins = 1 << 17;

struct Pin {
    wire::PublicKey key{};
    bool certified = false;
    uint64_t lastUse = 0;
    uint16_t confirmWindowS = 0; // the device rolls back changes not confirmed within this
    bool signedAnnounce = false;  // revision 5
    uint64_t counter = 0;         // highest signed announcement counter checked
    uint16_t jobs = 0;            // revision 6: the jobs the device signed that it offers
};

std::string identity(const std::string &serial, const wire::Mac &mac)
{
    std::string id(mac.begin(), mac.end());
    return id.append(serial);
}

std::string macText(const wire::Mac &mac)
{
    return std::string(mac.begin(), mac.end());
}

class Pins {
public:
    void announced(const std::string &serial, const wire::Mac &mac, const wire::PublicKey &key, const Proof &proof)
    {
        std::lock_guard lock(m_mutex);
        const std::string id = identity(serial, mac);
        // A confirmation window changes the request exchange: only a signed one is believed.
        // So do the jobs it offers: they decide what a request may carry.
        const Pin pin{key, proof.certified, ++m_clock, proof.signedAnnounce ? proof.confirmWindowS : uint16_t(0),
                      proof.signedAnnounce, proof.counter, proof.signedAnnounce ? proof.jobs : uint16_t(0)};
        if (auto it = m_pins.find(id); it != m_pins.end()) {
            // Proof replaces assumption (and a certified key a device replaced); nothing else re-pins.
            // A signing device stays one: an older state of it cannot come back.
            if (proof.signedAnnounce && it->second.signedAnnounce && it->second.key == key
                && proof.counter < it->second.counter)
                return;
            if (proof.certified && (proof.signedAnnounce || !it->second.signedAnnounce || it->second.key != key))
                it->second = {pin.key, true, pin.lastUse, pin.confirmWindowS, pin.signedAnnounce,
                              std::max(pin.counter, it->second.key == key ? it->second.counter : 0), pin.jobs};
            return;
        }
        if (proof.certified)
            insert(id, serial, mac, pin);
        else if (firstUseAllowed() && unknown(serial, mac))
            insert(id, serial, mac, pin);
    }

    template <typename Field>
    Field field(const std::string &serial, const wire::Mac &mac, Field Pin::*member)
    {
        std::lock_guard lock(m_mutex);
        const auto it = m_pins.find(identity(serial, mac));
        return it == m_pins.end() ? Field{} : it->second.*member;
    }

    bool trusted(const std::string &serial, const wire::Mac &mac, const wire::PublicKey &key)
    {
        std::lock_guard lock(m_mutex);
        const std::string id = identity(serial, mac);
        if (auto it = m_pins.find(id); it != m_pins.end()) {
            it->second.lastUse = ++m_clock;
            return it->second.key == key;
        }
        return firstUseAllowed() && unknown(serial, mac) && insert(id, serial, mac, {key, false, ++m_clock});
    }

private:
    // Neither half of the identity belongs to a pinned device: another serial
    // number answering for a known MAC (or the reverse) is never first use.
    bool unknown(const std::string &serial, const wire::Mac &mac) const
    {
        return !m_byMac.count(macText(mac)) && !m_bySerial.count(serial);
    }

    bool insert(const std::string &id, const std::string &serial, const wire::Mac &mac, Pin pin)
    {
        if (pin.certified) {
            // A first-use pin that claimed this device's MAC or serial number was a guess, now disproved.
            for (const auto *index : {&m_byMac, &m_bySerial}) {
                const auto other = index->find(index == &m_byMac ? macText(mac) : serial);
                if (other != index->end() && !m_pins.at(other->second).certified)
                    erase(std::string(other->second));
            }
        }
        if (m_pins.size() >= kMaxPins && !(pin.certified && evictOne()))
            return false;
        m_pins[id] = pin;
        m_byMac[macText(mac)] = id;
        m_bySerial[serial] = id;
        return true;
    }

    // Only certified keys evict, and only when full: a linear scan is fine there.
    bool evictOne()
    {
        auto victim = m_pins.end();
        for (auto it = m_pins.begin(); it != m_pins.end(); ++it) {
            if (victim == m_pins.end() || std::pair(it->second.certified, it->second.lastUse)
                                              < std::pair(victim->second.certified, victim->second.lastUse))
                victim = it;
        }
        if (victim == m_pins.end())
            return false;
        erase(std::string(victim->first));
        return true;
    }

    void erase(const std::string &id)
    {
        if (auto m = m_byMac.find(id.substr(0, 6)); m != m_byMac.end() && m->second == id)
            m_byMac.erase(m);
        if (auto s = m_bySerial.find(id.substr(6)); s != m_bySerial.end() && s->second == id)
            m_bySerial.erase(s);
        m_pins.erase(id);
    }

    std::mutex m_mutex;
    std::unordered_map<std::string, Pin> m_pins;
    std::unordered_map<std::string, std::string> m_byMac;    // MAC bytes -> identity
    std::unordered_map<std::string, std::string> m_bySerial; // serial -> identity
    uint64_t m_clock = 0;
};

Pins &pins()
{
    static Pins p;
    return p;
}

} // namespace

bool manufacturerSigned(std::span<const uint8_t> message, const wire::Signature &signature)
{
    const auto &anchors = TrustAnchors::process().keys();
    return std::any_of(anchors.begin(), anchors.end(), [&](const crypto::ManufacturerPublicKey &anchor) {
        return crypto::verifySignature(anchor, message, signature);
    });
}

bool certified(const wire::DeviceInfo &info, const wire::PublicKey &key)
{
    return info.certificate
        && manufacturerSigned(crypto::certificateMessage(key, info.serial, info.mac), *info.certificate);
}

void announced(const std::string &serial, const wire::Mac &mac, const wire::PublicKey &key, const Proof &proof)
{
    pins().announced(serial, mac, key, proof);
}

uint16_t confirmWindow(const std::string &serial, const wire::Mac &mac)
{
    return pins().field(serial, mac, &Pin::confirmWindowS);
}

uint16_t offeredJobs(const std::string &serial, const wire::Mac &mac)
{
    return pins().field(serial, mac, &Pin::jobs);
}

bool signsAnnouncements(const std::string &serial, const wire::Mac &mac)
{
    return pins().field(serial, mac, &Pin::signedAnnounce);
}

uint64_t lastCounter(const std::string &serial, const wire::Mac &mac)
{
    return pins().field(serial, mac, &Pin::counter);
}

bool certifiedIdentity(const std::string &serial, const wire::Mac &mac)
{
    return pins().field(serial, mac, &Pin::certified);
}

bool trusted(const std::string &serial, const wire::Mac &mac, const wire::PublicKey &key)
{
    return pins().trusted(serial, mac, key);
}

bool firstUseAllowed()
{
    static const bool allowed = [] {
        const char *value = std::getenv("VEXA_TRUST_UNCERTIFIED");
        return value && std::strcmp(value, "1") == 0;
    }();
    return allowed;
}

} // namespace vexa::keypins
