#pragma once

// Commissioning jobs for a batch of devices (VEXA_RunJobs): the parameters
// checked once before anything is sent, a few devices at a time on threads of
// the call's own, one VXDP device's job with the wait for its return.

#include "vexa.h"
#include "wire.h"

#include <functional>
#include <optional>
#include <string>

struct PKT_Driver;

namespace vexa::jobs {

/** The body of `job` with `password`, checked as a device would (and the password rule); nothing when invalid. */
std::optional<wire::JobBody> body(const VEXA_JOB &job, const std::string &password);

/** One job for one VXDP device, nonce to answer, and for a restart the wait for its return. */
VEXA_JOB_STATUS runVxdp(const PKT_Driver *driver, const wire::Mac &mac, const wire::JobBody &body, int32_t waitS);

/** One job for one ONVIF device at `xaddr` through device management, as the account in use (onvif::userName()). */
VEXA_JOB_STATUS runOnvif(const std::string &xaddr, const wire::JobBody &body, int32_t waitS);

/**
 * Runs `one(i)` for each i below `count`, at most `parallel` at a time, each
 * result stored in `statuses[i]` and handed to `finished` (serialised, on
 * the worker's thread). `finished` returning false cancels the devices not
 * started yet. Returns when all are finished with.
 */
void runBatch(size_t count, size_t parallel, const std::function<VEXA_JOB_STATUS(size_t)> &one,
              const std::function<bool(size_t, const VEXA_JOB_STATUS &)> &finished, VEXA_JOB_STATUS *statuses);

/** A status of one device that failed with `cause`. */
VEXA_JOB_STATUS failed(int32_t cause);

} // namespace vexa::jobs
