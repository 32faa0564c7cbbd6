#pragma once

// Trust on first use for device public keys: the first key heard for a
// device (serial number + MAC) is pinned for the life of the process, and a
// request refuses a nonce that comes with another key.

#include "wire.h"

#include <string>

namespace vexa::keypins {

/**
 * Pins `key` for the device when nothing is pinned yet. True when the key is
 * (now) the pinned one, false when another key is pinned.
 */
bool accept(const std::string &serial, const wire::Mac &mac, const wire::PublicKey &key);

} // namespace vexa::keypins
