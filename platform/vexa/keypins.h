#pragma once

// Which device keys a request may seal a password or security code to. A key
// is trusted when a manufacturer of the trust anchors (trustanchors.h)
// certified it for the device's serial number and MAC; trust on first use is only a fallback for uncertified
// devices, switched on explicitly with VEXA_TRUST_UNCERTIFIED=1, and never
// takes over a serial number or MAC address that is already pinned.

#include "wire.h"

#include <string>

namespace vexa::keypins {

/** True when `info` carries a trusted manufacturer's valid certificate for `key`, its serial and MAC. */
bool certified(const wire::DeviceInfo &info, const wire::PublicKey &key);

/**
 * Records a key heard in an ANNOUNCE. A certified key always takes its
 * identity's pin; an uncertified one is pinned only under the fallback and
 * only for an identity whose serial number and MAC are both unknown.
 */
void announced(const std::string &serial, const wire::Mac &mac, const wire::PublicKey &key, bool certified,
               uint16_t confirmWindowS = 0);

/** The change-confirmation window the pinned device announced (revision 4); 0: none, or not pinned. */
uint16_t confirmWindow(const std::string &serial, const wire::Mac &mac);

/**
 * True when a NONCE from this identity with this key may receive a request:
 * the key is the certified one pinned for exactly this serial number and MAC
 * (or, under the fallback, pinned or now pinned on first use).
 */
bool trusted(const std::string &serial, const wire::Mac &mac, const wire::PublicKey &key);

/** Whether the trust-on-first-use fallback is on (read once per process). */
bool firstUseAllowed();

} // namespace vexa::keypins
