#pragma once

// The device engine's state and the one object that holds it, shared by the
// files that implement its concerns: answering (announcements, inquiries,
// repeat rounds), request security (nonces, requester ids, lock-outs,
// passwords and security codes), readdressing (a change of the network
// parameters, its confirmation and rollback) and commissioning jobs (clock,
// password, restart). Only those files include it.

#include "simulator.h"
#include "statefile.h"

#include <vexa/address.h>
#include <vexa/crypto.h>
#include <packet/netaddress.h>
#include <vexa/tokenbucket.h>
#include <vexa/wire.h>

#include <sodium.h>

#include <array>
#include <map>
#include <queue>
#include <random>
#include <type_traits>
#include <unordered_map>
#include <utility>

namespace deviceside {

namespace wire = vexa::wire;
namespace crypto = vexa::crypto;
namespace address = vexa::address;
using vexa::TokenBucket;
using std::chrono::milliseconds;
using std::chrono::seconds;

constexpr auto kNonceLifetime = seconds(10);
constexpr auto kResultCacheLifetime = seconds(10);
constexpr size_t kMaxCachedResults = 8;
// Nonces cost the device no memory until one is used: each carries when it
// was issued and a tag under the simulator's nonce key. Only used nonces are
// remembered, until they expire; using one takes a check of the ceiling
// below, so the list stays short.
constexpr size_t kNonceTagSize = 12;
constexpr size_t kMaxUsedNonces = 256;
// Wrong passwords lock out their requester (source address) for 2^(n-1) s, at
// most 60 s; n drops by one for every minute without a wrong password.
constexpr int kMaxLockoutS = 60;
// Answers to inquiries: a budget per device (a burst, refilled at a steady
// rate), so a flood of inquiries cannot turn the devices into an amplifier.
constexpr double kAnswerBudget = 8;
constexpr double kAnswersPerSecond = 4;
// Whoever answers a repeated inquiry is on a lossy link: the answer goes out twice.
constexpr uint8_t kRepeatAnswerCopies = 2;
constexpr auto kRepeatAnswerGap = milliseconds(100);
// Boot and parameters-changed announcements are repeated this long after the
// previous copy, so that one lost datagram does not hide the news for a heartbeat.
constexpr std::array kAnnounceRepeatGaps{seconds(1), seconds(2)};
constexpr auto kAnnounceRepeats = uint8_t(kAnnounceRepeatGaps.size());
// A goodbye cannot be repeated later (the device is gone): it goes out this often at once.
constexpr int kGoodbyeCopies = 2;
constexpr auto kFailureDecay = seconds(60);
constexpr size_t kMaxLockedSources = 64;
// The device-wide ceiling: password checks a second over all requesters, so
// forged source addresses cannot make the device hash without end.
constexpr double kChecksPerSecond = 2;
constexpr double kCheckBurst = 4;
// A lane of its own for requesters (by the requester id sealed in their
// requests, which no one else can use) that gave the right password lately:
// strangers spending the ceiling do not keep the administrator out.
constexpr double kReservedChecksPerSecond = 1;
constexpr double kReservedBurst = 2;
constexpr size_t kMaxTrustedRequesters = 16;
constexpr auto kTrustedFor = std::chrono::hours(1);
// Security codes are HMACs, cheap to check and too long to guess: a lane of
// their own, there only to bound the nonces remembered as used.
constexpr double kCodeChecksPerSecond = 8;
constexpr double kCodeBurst = 16;
constexpr size_t kLabelPasswordLength = 12;


enum class Mode { Online, Offline, Silent, Restarting };


struct UsedNonce {
    wire::NonceBytes nonce;
    Clock::time_point expires;
};

// Whom a lock-out or the reserved lane belongs to: the requester id sealed in a
// revision 5 request, or else the source address of the datagram.
struct Requester {
    bool sealed = false;
    wire::RequesterId id{}; // sealed: the id; else the bytes of the source address
    bool operator==(const Requester &) const = default;
};

using Lane = TokenBucket;

struct TrustedRequester {
    wire::RequesterId id;
    Clock::time_point until;
};

struct CachedResult {
    uint32_t requestId;
    std::array<uint8_t, 32> requestHash; // the whole request datagram
    wire::Bytes reply;
    Clock::time_point expires;
};

struct SourceLock {
    Requester requester;
    unsigned failures;
    Clock::time_point lastFailure;
    Clock::time_point lockedUntil;
};

// A change made for a request that asked to confirm it: undone at `deadline` unless confirmed.
struct PendingChange {
    uint32_t requestId;
    wire::ReplyKey replyKey;
    NetworkState previous; // the last confirmed parameters
    bool confirmed = false;
    bool failed = false; // the back end could not make it: never confirmed, rolled back all the same
};

struct Device {
    DeviceInfo info;
    std::chrono::milliseconds clockOffset{0}; // the device's clock minus the host's (simulated devices)
    std::vector<std::string> ntpServers;      // set: the device keeps its time by these
    Clock::time_point startedAt{};            // of its software: its uptime counts from here
    wire::Mac mac{};
    std::shared_ptr<const std::string> passwordHash;
    std::optional<crypto::KeyPair> keys; // derived before the devices start: see prepare()
    crypto::SigningSecretKey signingKey{}; // revision 5: signs what the device announces
    std::optional<wire::Certificate> certificate;
    std::optional<wire::DeviceCertificate> deviceCertificate;
    uint64_t counter = 0;   // of the signed announcement; grows with every change of what it says
    wire::Bytes announcement; // signed, reason and tool id left to each copy; empty: to be signed again
    std::optional<crypto::FactoryKey> codeKey; // provisioned; else derived from the master key
    std::optional<PendingChange> pendingChange;
    Mode mode = Mode::Online;
    uint32_t generation = 0; // bumped on every mode change; stale timers carry an older one
    std::vector<UsedNonce> usedNonces;
    std::vector<CachedResult> results;
    unsigned failures = 0;
    Clock::time_point lockedUntil{};
    uint8_t answerCopies = 0; // copies of the pending answer still to send: at most one answer pending
    TokenBucket answerBudget{kAnswerBudget};
    uint32_t answeredRound = 0; // of the indexed tool's inquiries: burst << 8 | round

    std::vector<SourceLock> locks;
    Lane checks{kCheckBurst};
    Lane reserved{kReservedBurst};
    Lane codes{kCodeBurst};
    std::vector<TrustedRequester> trusted;
};

enum class TimerKind : uint8_t { Boot, Answer, Heartbeat, Changed, Rollback, Return };

struct Timer {
    Clock::time_point when;
    uint32_t device;
    uint32_t generation;
    TimerKind kind;
    uint8_t repeats; // Boot, Changed: copies still to follow this one
    wire::ToolId toolId; // Answer only
    uint32_t requestId = 0; // Rollback only: the change it undoes
    bool operator>(const Timer &other) const { return when > other.when; }
};

// What the request kinds differ in, for serveRequest: where the requester id
// is, whether the check is a cheap one (security codes, clock reads: nothing
// to guess, so no lock-out and a lane of their own), and how the answer is signed.
inline std::optional<wire::RequesterId> sealedRequester(const wire::ModifyBody &b) { return b.requester; }
inline std::optional<wire::RequesterId> sealedRequester(const wire::ResetBody &b) { return b.requester; }
inline std::optional<wire::RequesterId> sealedRequester(const wire::JobBody &b) { return b.requester; }
inline bool cheapCheck(const wire::ModifyBody &) { return false; }
inline bool cheapCheck(const wire::ResetBody &) { return true; }
inline bool cheapCheck(const wire::JobBody &b) { return b.kind == uint8_t(wire::JobKind::ReadClock); }

// A device keeps no password, only its hash: an opened body's secrets are
// wiped once its request is served, whichever way serving it ends.
template <typename Body>
struct OpenedBody {
    std::optional<wire::Bytes> plain;
    std::optional<Body> body;
    OpenedBody() = default;
    OpenedBody(const OpenedBody &) = delete;
    OpenedBody &operator=(const OpenedBody &) = delete;
    ~OpenedBody()
    {
        if (plain)
            sodium_memzero(plain->data(), plain->size());
        if (body)
            crypto::wipe(*body);
    }
};

struct Simulator::Impl {
    Config config;
    StateFile &state;
    SendFn send;
    std::vector<Device> devices;
    std::unordered_map<uint64_t, uint32_t> byMac;
    std::unordered_map<std::string, uint32_t> bySerial;
    std::priority_queue<Timer, std::vector<Timer>, std::greater<>> timers;
    // Every device by its answer hint for the last tool that repeated an
    // inquiry: a round's datagram then costs its range, not the population.
    struct {
        std::optional<wire::ToolId> tool;
        std::vector<std::pair<uint32_t, uint32_t>> byHint; // hint, device index
    } hints;
    std::mt19937_64 rng;
    std::array<uint8_t, 32> keySecret{};
    wire::ReplyKey nonceKey{}; // random per run: a restart invalidates the nonces it issued
    packet::Address source; // of the datagram being served
    std::map<std::string, std::shared_ptr<const std::string>> hashByPassword;
    std::map<std::string, std::shared_ptr<const std::string>> hashByText;
    std::vector<std::optional<std::string>> ownPasswords; // plain texts from the devices file, until init()
    // Requests heard from the link, so a test can tell that a tool sent
    // nothing. Only those naming one of these devices count: other
    // simulators may share the link.
    struct {
        uint64_t inquiry = 0, nonce = 0, modify = 0, reset = 0, job = 0;
    } received;

    Impl(Config c, StateFile &s, SendFn fn) : config(std::move(c)), state(s), send(std::move(fn)), rng(config.seed) {}

    // ---- The devices, their keys and their saved state (simulator.cpp)

    // Devices with the same password share one hash: Argon2id is deliberately
    // slow, and ten thousand of them would take minutes to compute.
    std::shared_ptr<const std::string> hashFor(const std::string &password);
    std::shared_ptr<const std::string> internHash(const std::string &hash);
    bool loadKeySecret(std::string &error);
    // A per-device secret for one purpose, from the key secret and the device's identity.
    std::array<uint8_t, 32> deviceSecret(const Device &device, std::string_view purpose) const;
    // Derives a device's keys and has the factory certify them (unless
    // provisioned): the costly part of a device, done for all of them before
    // they start, so that a network of 100 000 answers its first inquiry as
    // fast as its hundredth. Touches only `device`: devices are prepared in parallel.
    void prepare(Device &device, uint64_t counterFloor) const;
    void prepareAll();
    const crypto::KeyPair &keysOf(const Device &device) const { return *device.keys; }
    // The announcement as the device signs it once per change of its content:
    // each copy sent only sets its reason and tool id, which are not signed.
    void signAnnouncement(Device &device) const;
    // What the device announces changed: the next announcement is signed anew, with a higher counter.
    void changed(Device &device);
    // The default password printed on the device's label: its own, restored by a reset.
    std::string labelPassword(const Device &device) const;
    bool persist(Device &device, DeviceState updated);
    uint32_t indexOf(const Device &device) const { return uint32_t(&device - devices.data()); }
    Device *findByMac(const wire::Mac &mac);
    Device *findBySerial(std::string_view serial);
    void countFor(const wire::Target &target, uint64_t &counter);
    // The addressed device when it is online.
    Device *findTarget(const wire::Target &target);
    void forEachTarget(std::string_view which, std::string &out, const char *verb,
                       const std::function<bool(Device &)> &action);

    // ---- Answering: announcements, inquiries, repeat rounds (answering.cpp)

    void sendMessage(const wire::Message &message);
    void announce(Device &device, wire::AnnounceReason reason, const wire::ToolId &toolId = {});
    void goodbye(const Device &device);
    void schedule(Device &device, TimerKind kind, Clock::time_point when, const wire::ToolId &toolId = {},
                  uint8_t repeats = 0);
    // Sends a boot or changed announcement now and schedules its repeats.
    void announceNews(Device &device, TimerKind kind, uint8_t repeats, Clock::time_point now);
    // Heartbeats wander by ±10 % so that devices booted together drift apart.
    void scheduleHeartbeat(Device &device, Clock::time_point now);
    void setMode(Device &device, Mode mode);
    void bringOnline(Device &device, Clock::time_point now);
    // Schedules an answer unless one is pending or the device's budget is
    // spent. Each device waits its own random share of the window the tool
    // asked for (capped), so thousands of answers trickle in instead of
    // flooding the tool's socket.
    bool offerAnswer(Device &device, const wire::ToolId &toolId, uint16_t spreadMs, uint8_t copies,
                     Clock::time_point now);
    void onInquiry(const wire::Inquiry &inquiry, Clock::time_point now);
    void indexHints(const wire::ToolId &tool);
    // A later round: only the devices in its range that the tool has not heard answer.
    void onInquiryRepeat(const wire::InquiryRepeat &repeat, Clock::time_point now);

    // ---- Commissioning jobs: clock, password, restart (jobs.cpp)

    uint16_t offeredJobs() const;
    std::chrono::system_clock::time_point deviceClock(const Device &device) const;
    uint32_t uptimeS(const Device &device, Clock::time_point now) const;
    // The signed answer to a request: a RESULT, or for a JOB a JOB_RESULT with the device's clock and uptime.
    wire::Bytes signedAnswer(const Device &device, const wire::Modify &, uint32_t requestId, wire::Status status,
                             const wire::Target &target, const wire::ReplyKey &key, Clock::time_point now) const;
    wire::Bytes signedAnswer(const Device &device, const wire::Reset &, uint32_t requestId, wire::Status status,
                             const wire::Target &target, const wire::ReplyKey &key, Clock::time_point now) const;
    wire::Bytes signedAnswer(const Device &device, const wire::Job &, uint32_t requestId, wire::Status status,
                             const wire::Target &target, const wire::ReplyKey &key, Clock::time_point now) const;
    void onJob(const wire::Job &request, std::span<const uint8_t> datagram, Clock::time_point now);
    wire::Status runJob(Device &device, const wire::JobBody &body, const Requester &requester, Clock::time_point now);
    wire::Status setClock(Device &device, std::chrono::system_clock::time_point utc);
    wire::Status setNtp(Device &device, const std::vector<std::string> &servers);
    wire::Status setPassword(Device &device, const wire::JobBody &body);
    // Goodbye, silence, and back after the configured restart time (or the restart hook's real one).
    void restart(Device &device, Clock::time_point now);
    void comeBack(Device &device, Clock::time_point now);

    // ---- Request security: nonces, requesters, lock-outs, codes (requestsecurity.cpp)

    // A nonce names its device, request, issue time and a random part, under
    // the simulator's nonce key: the device can tell its own, unexpired nonces
    // without keeping any. issued(8) | random(4) | tag(12). The tag also
    // covers the device's generation: the used nonces are forgotten when it
    // goes away (a restart, offline), so the nonces issued before must die too.
    wire::NonceBytes makeNonce(const Device &device, uint32_t requestId, Clock::time_point now);
    wire::Tag nonceTag(const Device &device, uint32_t requestId, std::span<const uint8_t> head) const;
    // Issued by this device for this request, within its lifetime, and not used yet.
    bool nonceValid(const Device &device, uint32_t requestId, const wire::NonceBytes &nonce, Clock::time_point now);
    void onNonceRequest(const wire::NonceRequest &request, Clock::time_point now);
    // Consumes the nonce when it is valid: it opens exactly one request.
    bool takeNonce(Device &device, uint32_t requestId, const wire::NonceBytes &nonce, Clock::time_point now);
    // A retransmission (same request id, same bytes) within its lifetime gets
    // the same answer without the request being applied again.
    bool resendCached(Device &device, uint32_t requestId, const std::array<uint8_t, 32> &hash,
                      Clock::time_point now);
    // Sends the answer and keeps it for retransmissions of the same request.
    void answer(Device &device, uint32_t requestId, wire::Bytes reply, const std::array<uint8_t, 32> &hash,
                Clock::time_point now);
    Requester requesterOf(const std::optional<wire::RequesterId> &sealed) const;
    // The requester's lock record, its failures decayed to `now`; null when it has none.
    SourceLock *lockOf(Device &device, const Requester &requester, Clock::time_point now);
    bool trusted(Device &device, const Requester &requester, Clock::time_point now);
    // The lane the requester's check may take now: none while it is locked
    // out; the device-wide ceiling, or the reserved lane of a requester that
    // gave the right password lately.
    Lane *laneFor(Device &device, const Requester &requester, bool cheap, Clock::time_point now);
    void recordCheck(Device &device, const Requester &requester, bool wrong, Clock::time_point now);
    // The administrator password's check, counted for the requester's lock-out.
    bool checkPassword(Device &device, const std::string &password, const Requester &requester,
                       Clock::time_point now);
    // What MODIFY, RESET and JOB share: find the addressed device, answer a
    // retransmission from the cache, open the sealed body, check nonce and
    // lock-out, let `apply` do the request's own checks and change, sign the
    // answer. Without an opened body there is no reply key to sign an answer
    // with, so the device stays silent. Returns the device if the request was
    // applied.
    template <typename Request, typename Body, typename Apply>
    Device *serveRequest(const Request &request, const wire::Target &target, std::span<const uint8_t> datagram,
                         Clock::time_point now, std::optional<Body> (*decode)(std::span<const uint8_t>),
                         Apply apply)
    {
        Device *device = findTarget(target);
        if (!device)
            return nullptr;
        std::array<uint8_t, 32> hash{};
        crypto_generichash(hash.data(), hash.size(), datagram.data(), datagram.size(), nullptr, 0);
        if (resendCached(*device, request.requestId, hash, now))
            return nullptr;
        OpenedBody<Body> opened;
        opened.plain = crypto::open(request.sealed, keysOf(*device));
        if (opened.plain)
            opened.body = decode(*opened.plain);
        const std::optional<Body> &body = opened.body;
        if (!body)
            return nullptr;
        // A locked-out requester keeps its nonce and gets no cached answer:
        // its retransmission is looked at afresh once the lock ends.
        const Requester requester = requesterOf(sealedRequester(*body));
        Lane *lane = laneFor(*device, requester, cheapCheck(*body), now);
        if (!lane) {
            send(signedAnswer(*device, request, request.requestId, wire::Status::RateLimited, target, body->replyKey,
                              now));
            return nullptr;
        }
        wire::Status status = wire::Status::StaleNonce;
        if (takeNonce(*device, request.requestId, body->nonce, now)) {
            lane->tokens -= 1;
            status = apply(*device, *body, requester);
        }
        answer(*device, request.requestId,
               signedAnswer(*device, request, request.requestId, status, target, body->replyKey, now), hash, now);
        return status == wire::Status::Ok ? device : nullptr;
    }
    void onReset(const wire::Reset &request, std::span<const uint8_t> datagram, Clock::time_point now);

    // ---- Readdressing: a change, its confirmation and rollback (readdressing.cpp)

    static std::optional<NetworkState> applyModify(const Device &device, const wire::ModifyBody &body);
    void onModify(const wire::Modify &request, std::span<const uint8_t> datagram, Clock::time_point now);
    // Puts earlier parameters back into the device information and the state file.
    void restore(Device &device, const NetworkState &parameters);
    // Only a CONFIRM by unicast to the new address proves that the tool still
    // reaches the device: multicast would reach it whatever its address.
    void onConfirm(const wire::Confirm &confirm, std::span<const uint8_t> datagram, const packet::Address &destination);
    void rollBack(Device &device, uint32_t requestId, Clock::time_point now);
};

} // namespace deviceside
