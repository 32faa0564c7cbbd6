#include "jobbatch.h"

#include "crypto.h"
#include "onvifclient.h"
#include "request.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

namespace vexa::jobs {

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// A restarted device is asked for its clock this often until it answers younger than its absence.
constexpr auto kReturnPoll = 1s;
constexpr size_t kMinNewPassword = 8;

template <size_t N>
std::optional<std::string> text(const char (&field)[N])
{
    const size_t len = strnlen(field, N);
    return len < N ? std::optional(std::string(field, len)) : std::nullopt;
}

int32_t causeOf(const std::optional<wire::Status> &status)
{
    if (!status)
        return VEXA_CAUSE_NO_ANSWER;
    switch (*status) {
    case wire::Status::Ok: return VEXA_CAUSE_NONE;
    case wire::Status::WrongPassword: return VEXA_CAUSE_NOT_AUTHORIZED;
    case wire::Status::RateLimited: return VEXA_CAUSE_BUSY;
    case wire::Status::InvalidParameters: return VEXA_CAUSE_REFUSED;
    case wire::Status::NotOffered: return VEXA_CAUSE_NOT_SUPPORTED;
    default: return VEXA_CAUSE_UNSPECIFIED;
    }
}

VEXA_JOB_STATUS statusOf(const request::JobAnswer &answer)
{
    VEXA_JOB_STATUS s = failed(causeOf(answer.status));
    s.done = answer.status == wire::Status::Ok ? 1 : 0;
    s.hasOffset = answer.offsetMs ? 1 : 0;
    s.offsetMs = answer.offsetMs.value_or(0);
    return s;
}

// Back once it answers a clock read with an uptime its old one cannot have
// reached: had it not restarted, the uptime would have grown by the whole
// absence (less one second of rounding). The answer is signed under our reply
// key, sealed to its certified key: no one else can claim its return.
void awaitReturn(const PKT_Driver *driver, const wire::Mac &mac, uint32_t uptimeS, int32_t waitS,
                 VEXA_JOB_STATUS &status)
{
    const auto acked = Clock::now();
    const auto deadline = acked + std::chrono::seconds(waitS);
    status.done = 0;
    status.cause = VEXA_CAUSE_NOT_RETURNED;
    while (Clock::now() < deadline) {
        std::this_thread::sleep_for(std::min<Clock::duration>(kReturnPoll, deadline - Clock::now()));
        const request::JobAnswer back = request::job(driver, mac, wire::JobBody{});
        const auto away = Clock::now() - acked;
        if (back.status == wire::Status::Ok && away <= deadline - acked
            && std::chrono::seconds(back.uptimeS + 1) < std::chrono::seconds(uptimeS) + away) {
            status = statusOf(back);
            status.rebootMs = int32_t(std::chrono::duration_cast<std::chrono::milliseconds>(away).count());
            return;
        }
    }
}

int32_t causeOf(onvif::Failure failure)
{
    switch (failure) {
    case onvif::Failure::None: return VEXA_CAUSE_NONE;
    case onvif::Failure::NotAuthorized: return VEXA_CAUSE_NOT_AUTHORIZED;
    case onvif::Failure::NotSupported: return VEXA_CAUSE_NOT_SUPPORTED;
    case onvif::Failure::NoAnswer: return VEXA_CAUSE_NO_ANSWER;
    case onvif::Failure::Refused: return VEXA_CAUSE_REFUSED;
    }
    return VEXA_CAUSE_UNSPECIFIED;
}

// An ONVIF device tells nothing like an uptime: it is back once it answers
// again after its web service went away. One that never went away within
// the wait has not restarted.
void awaitOnvifReturn(onvif::Client &client, int32_t waitS, VEXA_JOB_STATUS &status)
{
    const auto acked = Clock::now();
    const auto deadline = acked + std::chrono::seconds(waitS);
    status.done = 0;
    status.cause = VEXA_CAUSE_NOT_RETURNED;
    bool away = false;
    while (Clock::now() < deadline) {
        std::this_thread::sleep_for(std::min<Clock::duration>(kReturnPoll, deadline - Clock::now()));
        const auto offset = client.readClockOffset();
        away = away || !offset;
        if (offset && away && Clock::now() <= deadline) {
            status = failed(VEXA_CAUSE_NONE);
            status.done = 1;
            status.hasOffset = 1;
            status.offsetMs = offset->count();
            status.rebootMs = int32_t(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - acked).count());
            return;
        }
    }
}

// "This computer's clock" is read as each device's request is built: in a
// batch of hundreds the last device is reached minutes after the first.
std::chrono::system_clock::time_point clockFor(const wire::JobBody &body)
{
    const auto given = std::chrono::system_clock::time_point(std::chrono::milliseconds(body.utcMs.value_or(0)));
    return body.utcMs != 0 ? given : std::chrono::system_clock::now();
}

// The body to send, with its time read now where it asks for it; request::job() wipes it.
wire::JobBody stamped(const wire::JobBody &body)
{
    wire::JobBody own = body;
    if (own.utcMs)
        own.utcMs = std::chrono::duration_cast<std::chrono::milliseconds>(clockFor(body).time_since_epoch()).count();
    return own;
}

} // namespace

VEXA_JOB_STATUS failed(int32_t cause)
{
    VEXA_JOB_STATUS s{};
    s.cause = cause;
    s.rebootMs = -1;
    return s;
}

std::optional<wire::JobBody> body(const VEXA_JOB &job, const std::string &password)
{
    if (password.size() > wire::kMaxPassword
        || std::any_of(std::begin(job.reserved), std::end(job.reserved), [](uint8_t b) { return b != 0; }))
        return std::nullopt;
    wire::JobBody b;
    b.kind = uint8_t(job.kind);
    b.password = password;
    switch (job.kind) {
    case VEXA_JOB_READ_TIME:
        b.password.clear(); // a clock read needs none: it does not travel
        break;
    case VEXA_JOB_SET_TIME: b.utcMs = job.utcMs; break;
    case VEXA_JOB_SET_NTP:
        for (const auto &field : job.ntpServers) {
            const auto server = text(field);
            if (!server || server->size() > wire::kMaxNtpServer)
                return std::nullopt;
            if (!server->empty())
                b.ntpServers.push_back(*server);
        }
        if (b.ntpServers.empty())
            return std::nullopt;
        break;
    case VEXA_JOB_SET_PASSWORD: {
        auto next = text(job.newPassword);
        if (!next || next->size() < kMinNewPassword || next->size() > wire::kMaxPassword || *next == password)
            return std::nullopt;
        b.newPassword = std::move(next);
        break;
    }
    case VEXA_JOB_REBOOT:
        if (job.waitS < 0)
            return std::nullopt;
        break;
    default: return std::nullopt;
    }
    return b;
}

VEXA_JOB_STATUS runVxdp(const PKT_Driver *driver, const wire::Mac &mac, const wire::JobBody &body, int32_t waitS)
{
    const request::JobAnswer answer = request::job(driver, mac, stamped(body));
    VEXA_JOB_STATUS status = statusOf(answer);
    if (status.done && body.kind == uint8_t(wire::JobKind::Reboot) && waitS > 0)
        awaitReturn(driver, mac, answer.uptimeS, waitS, status);
    return status;
}

VEXA_JOB_STATUS runOnvif(const std::string &xaddr, const wire::JobBody &body, int32_t waitS)
{
    onvif::Client client(xaddr, onvif::Credentials{onvif::userName(), body.password});
    onvif::Failure failure = onvif::Failure::None;
    switch (wire::JobKind(body.kind)) {
    case wire::JobKind::ReadClock: break;
    case wire::JobKind::SetClock:
        failure = client.setClock(clockFor(body));
        break;
    case wire::JobKind::SetNtp: failure = client.setNtp(body.ntpServers); break;
    case wire::JobKind::SetPassword: failure = client.setPassword(*body.newPassword); break;
    case wire::JobKind::Reboot: failure = client.reboot(); break;
    }
    VEXA_JOB_STATUS status = failed(causeOf(failure));
    if (failure != onvif::Failure::None)
        return status;
    if (body.kind == uint8_t(wire::JobKind::Reboot)) {
        status.done = 1;
        if (waitS > 0)
            awaitOnvifReturn(client, waitS, status);
        return status;
    }
    // The clock read back, as a VXDP answer carries it.
    const auto offset = client.readClockOffset();
    status.hasOffset = offset ? 1 : 0;
    status.offsetMs = offset.value_or(std::chrono::milliseconds(0)).count();
    status.done = body.kind != uint8_t(wire::JobKind::ReadClock) || offset ? 1 : 0;
    status.cause = status.done ? VEXA_CAUSE_NONE : causeOf(client.failure());
    return status;
}

void runBatch(size_t count, size_t parallel, const std::function<VEXA_JOB_STATUS(size_t)> &one,
              const std::function<bool(size_t, const VEXA_JOB_STATUS &)> &finished, VEXA_JOB_STATUS *statuses)
{
    std::atomic<size_t> next{0};
    std::atomic<bool> cancelled{false};
    std::mutex report;
    const auto work = [&] {
        for (size_t i; (i = next++) < count;) {
            statuses[i] = cancelled ? failed(VEXA_CAUSE_CANCELLED) : one(i);
            std::lock_guard lock(report);
            if (!finished(i, statuses[i]))
                cancelled = true;
        }
    };
    std::vector<std::jthread> workers;
    for (size_t t = 1; t < std::min(parallel, count); ++t)
        workers.emplace_back(work);
    work();
}

} // namespace vexa::jobs
