#pragma once

// The request exchange with one device: NONCE_REQUEST -> NONCE ->
// MODIFY/RESET -> RESULT (JOB -> JOB_RESULT), on a socket of its own so that it works with or
// without a running discovery.

#include "wire.h"

#include <optional>
#include <string>

struct PKT_Driver;

namespace vexa::request {

/** True only when the device confirmed with an authenticated RESULT of status 0 within 3 s. */
bool modify(const PKT_Driver *driver, const wire::Mac &target, wire::ModifyBody body);
bool resetPassword(const PKT_Driver *driver, const std::string &serial, const std::string &securityCode);

/** A device's signed answer to a JOB (revision 6). */
struct JobAnswer {
    std::optional<wire::Status> status; ///< nothing: no signed answer within the time limit
    std::optional<int64_t> offsetMs;    ///< the device's clock minus this computer's, when it answered
    uint32_t uptimeS = 0;               ///< the device's uptime as it answered
};

/** One job for one device; the nonce, reply key and requester id are filled in. Blocks like modify(). */
JobAnswer job(const PKT_Driver *driver, const wire::Mac &target, wire::JobBody body);

} // namespace vexa::request
