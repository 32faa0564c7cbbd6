#pragma once

// Which device keys a request may seal a password or security code to. A key
// is trusted when a manufacturer of the trust anchors (trustanchors.h)
// certified it for the device's serial number and MAC; trust on first use is only a fallback for uncertified
// devices, switched on explicitly with VEXA_TRUST_UNCERTIFIED=1, and never
// takes over a serial number or MAC address that is already pinned.

#include "wire.h"

#include <span>
#include <string>

namespace vexa::keypins {

/**
 * The one place a manufacturer's signature is checked: true when
 * `signature` over `message` verifies under a trusted manufacturer's key
 * (the trust anchors).
 */
bool manufacturerSigned(std::span<const uint8_t> message, const wire::Signature &signature);

/** True when `info` carries a trusted manufacturer's valid certificate for `key`, its serial and MAC (revision 2). */
bool certified(const wire::DeviceInfo &info, const wire::PublicKey &key);

/** What a checked ANNOUNCE proved about its device, beyond the key. */
struct Proof {
    bool certified = false;
    bool signedAnnounce = false; // revision 5: the announced fields carry the device's checked signature
    uint64_t counter = 0;        // of the signed announcement
    uint16_t confirmWindowS = 0; // believed only from a signed announcement
    uint16_t jobs = 0;           // revision 6: wire::jobBit() of each job offered; believed only when signed
};

/**
 * Records a key heard in an ANNOUNCE. A certified key always takes its
 * identity's pin; an uncertified one is pinned only under the fallback and
 * only for an identity whose serial number and MAC are both unknown.
 */
void announced(const std::string &serial, const wire::Mac &mac, const wire::PublicKey &key, const Proof &proof);

/** The change-confirmation window the pinned device signed (revision 4 and 5); 0: none, or not pinned. */
uint16_t confirmWindow(const std::string &serial, const wire::Mac &mac);

/** The jobs the pinned device signed that it offers (revision 6, wire::jobBit()); 0: none, or not pinned. */
uint16_t offeredJobs(const std::string &serial, const wire::Mac &mac);

/** True when the pinned device signs its announcements (revision 5): it takes revision 5 requests. */
bool signsAnnouncements(const std::string &serial, const wire::Mac &mac);

/** The highest announcement counter of this identity checked so far in this process; 0 none. */
uint64_t lastCounter(const std::string &serial, const wire::Mac &mac);

/** True when the identity holds a certified pin: what a request to it needs. */
bool certifiedIdentity(const std::string &serial, const wire::Mac &mac);

/**
 * True when a NONCE from this identity with this key may receive a request:
 * the key is the certified one pinned for exactly this serial number and MAC
 * (or, under the fallback, pinned or now pinned on first use).
 */
bool trusted(const std::string &serial, const wire::Mac &mac, const wire::PublicKey &key);

/** Whether the trust-on-first-use fallback is on (read once per process). */
bool firstUseAllowed();

} // namespace vexa::keypins
