#pragma once

// The request exchange with one device: NONCE_REQUEST -> NONCE ->
// MODIFY/RESET -> RESULT, on a socket of its own so that it works with or
// without a running discovery.

#include "wire.h"

#include <string>

struct PKT_Driver;

namespace vexa::request {

/** True only when the device confirmed with an authenticated RESULT of status 0 within 3 s. */
bool modify(const PKT_Driver *driver, const wire::Mac &target, wire::ModifyBody body);
bool resetPassword(const PKT_Driver *driver, const std::string &serial, const std::string &securityCode);

} // namespace vexa::request
