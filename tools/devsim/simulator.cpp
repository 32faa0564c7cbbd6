#include "simulator.h"

#include "statefile.h"

#include <address.h>
#include <crypto.h>
#include <wire.h>

#include <sodium.h>

#include <arpa/inet.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <map>
#include <queue>
#include <random>
#include <unordered_map>
#include <utility>

namespace devsim {

namespace {

using namespace vexa;
using std::chrono::milliseconds;
using std::chrono::seconds;

constexpr auto kNonceLifetime = seconds(10);
constexpr auto kResultCacheLifetime = seconds(10);
constexpr size_t kMaxCachedResults = 8;
// Pending nonces: a few per source, and a stranger's request may only take the
// place of a nonce older than the tool's whole exchange (3 s).
constexpr size_t kMaxPendingNonces = 16;
constexpr size_t kNoncesPerSource = 2;
constexpr auto kNonceRoundTrip = seconds(3);
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
constexpr size_t kLabelPasswordLength = 12;

enum class Mode { Online, Offline, Silent };

const char *modeName(Mode mode)
{
    switch (mode) {
    case Mode::Online: return "online";
    case Mode::Offline: return "offline";
    case Mode::Silent: return "silent";
    }
    return "?";
}

struct PendingNonce {
    uint32_t source;
    uint32_t requestId;
    wire::NonceBytes nonce;
    Clock::time_point expires;
};

struct CachedResult {
    uint32_t requestId;
    std::array<uint8_t, 32> requestHash; // the whole request datagram
    wire::Bytes reply;
    Clock::time_point expires;
};

struct SourceLock {
    uint32_t source;
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
    wire::Mac mac{};
    std::shared_ptr<const std::string> passwordHash;
    std::optional<crypto::KeyPair> keys; // derived on first use: most devices of a big network idle
    std::optional<wire::Certificate> certificate;
    std::optional<crypto::FactoryKey> codeKey; // provisioned; else derived from the master key
    std::optional<PendingChange> pendingChange;
    Mode mode = Mode::Online;
    uint32_t generation = 0; // bumped on every mode change; stale timers carry an older one
    std::vector<PendingNonce> nonces;
    std::vector<CachedResult> results;
    unsigned failures = 0;
    Clock::time_point lockedUntil{};
    uint8_t answerCopies = 0; // copies of the pending answer still to send: at most one answer pending
    double answerBudget = kAnswerBudget;
    Clock::time_point budgetAt{};
    uint32_t answeredRound = 0; // of the indexed tool's inquiries: burst << 8 | round

    std::vector<SourceLock> locks;
    double checkTokens = kCheckBurst;
    Clock::time_point checksRefilled{};
};

enum class TimerKind : uint8_t { Boot, Answer, Heartbeat, Changed, Rollback };

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

uint32_t ipv4Value(const wire::Ipv4 &bytes)
{
    uint32_t addr;
    std::memcpy(&addr, bytes.data(), sizeof addr);
    return addr;
}

bool isZero(std::span<const uint8_t> bytes)
{
    return std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b == 0; });
}

uint64_t macKey(const wire::Mac &mac)
{
    uint64_t key = 0;
    for (uint8_t b : mac)
        key = key << 8 | b;
    return key;
}

wire::DeviceInfo toWire(const DeviceInfo &d, const wire::Mac &mac)
{
    wire::DeviceInfo w;
    w.serial = d.serialNo;
    w.mac = mac;
    w.ipv4Addr = address::parseIpv4(d.ipv4Addr).value_or(wire::Ipv4{});
    w.ipv4Mask = address::parseIpv4(d.ipv4Mask).value_or(wire::Ipv4{});
    w.ipv4Gateway = address::parseIpv4(d.ipv4Gateway).value_or(wire::Ipv4{});
    w.typeCode = uint32_t(d.typeCode);
    w.port = d.port;
    w.httpPort = d.httpPort;
    w.channels = uint16_t(d.channelCount);
    w.softwareVersion = d.softwareVersion;
    w.dspVersion = d.dspVersion;
    w.startTime = d.startTime;
    w.typeName = d.typeName;
    w.ipv6Addr = address::parseIpv6(d.ipv6Addr).value_or(wire::Ipv6{});
    w.ipv6Gateway = address::parseIpv6(d.ipv6Gateway).value_or(wire::Ipv6{});
    w.ipv6PrefixLen = d.ipv6PrefixLen;
    w.capabilities = d.capabilities;
    w.dhcpOn = d.dhcpOn;
    w.extInfo = d.extInfo;
    return w;
}

std::string toHex(std::span<const uint8_t> bytes)
{
    std::string hex(bytes.size() * 2 + 1, '\0');
    sodium_bin2hex(hex.data(), hex.size(), bytes.data(), bytes.size());
    hex.pop_back();
    return hex;
}

} // namespace

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
    uint32_t source = 0; // of the datagram being served, network order
    std::map<std::string, std::shared_ptr<const std::string>> hashByPassword;
    std::map<std::string, std::shared_ptr<const std::string>> hashByText;
    std::vector<std::optional<std::string>> ownPasswords; // plain texts from the devices file, until init()
    // Requests heard from the link, so a test can tell that a tool sent
    // nothing. Only those naming one of these devices count: other
    // simulators may share the link.
    struct {
        uint64_t inquiry = 0, nonce = 0, modify = 0, reset = 0;
    } received;

    Impl(Config c, StateFile &s, SendFn fn) : config(std::move(c)), state(s), send(std::move(fn)), rng(config.seed) {}

    // Devices with the same password share one hash: Argon2id is deliberately
    // slow, and ten thousand of them would take minutes to compute.
    std::shared_ptr<const std::string> hashFor(const std::string &password)
    {
        if (auto it = hashByPassword.find(password); it != hashByPassword.end())
            return it->second;
        const auto hash = crypto::hashPassword(password);
        if (!hash)
            return nullptr;
        auto shared = internHash(*hash);
        hashByPassword[password] = shared;
        return shared;
    }

    std::shared_ptr<const std::string> internHash(const std::string &hash)
    {
        auto &slot = hashByText[hash];
        if (!slot)
            slot = std::make_shared<const std::string>(hash);
        return slot;
    }

    bool loadKeySecret(std::string &error)
    {
        const std::string &hex = state.keySecret();
        if (!hex.empty()) {
            size_t length = 0;
            if (sodium_hex2bin(keySecret.data(), keySecret.size(), hex.data(), hex.size(), nullptr,
                               &length, nullptr) != 0 || length != keySecret.size()) {
                error = "state file: malformed keySecret";
                return false;
            }
            return true;
        }
        // Random, never from the seed: a key anyone can compute opens every
        // captured password. A state file keeps it across restarts.
        crypto::randomBytes(keySecret);
        state.setKeySecret(toHex(keySecret));
        return true;
    }

    // A per-device secret for one purpose, from the key secret and the device's identity.
    std::array<uint8_t, 32> deviceSecret(const Device &device, std::string_view purpose) const
    {
        std::array<uint8_t, 32> out{};
        const std::string id = std::string(purpose) + device.info.key();
        crypto_generichash(out.data(), out.size(), reinterpret_cast<const uint8_t *>(id.data()), id.size(),
                           keySecret.data(), keySecret.size());
        return out;
    }

    const crypto::KeyPair &keysOf(Device &device)
    {
        if (!device.keys) {
            // The purpose-free form keeps the keys of existing state files.
            auto seed = deviceSecret(device, "");
            crypto::KeyPair keys;
            crypto_box_seed_keypair(keys.publicKey.data(), keys.secretKey.data(), seed.data());
            sodium_memzero(seed.data(), seed.size());
            device.keys = keys;
            // The factory signs each device's key with its serial number and MAC (unless provisioned).
            if (config.manufacturerKey && !device.certificate)
                device.certificate = crypto::certify(*config.manufacturerKey, keys.publicKey, device.info.serialNo,
                                                     device.mac);
        }
        return *device.keys;
    }

    // The default password printed on the device's label: its own, restored by a reset.
    std::string labelPassword(const Device &device) const
    {
        static constexpr char kAlphabet[] = "abcdefghjkmnpqrstuvwxyz23456789";
        const auto bytes = deviceSecret(device, "label|");
        std::string password;
        for (size_t i = 0; i < kLabelPasswordLength; ++i)
            password += kAlphabet[bytes[i] % (sizeof kAlphabet - 1)];
        return password;
    }

    void sendMessage(const wire::Message &message)
    {
        const wire::Bytes bytes = wire::encode(message);
        if (!bytes.empty())
            send(bytes);
    }

    void announce(Device &device, wire::AnnounceReason reason, const wire::ToolId &toolId = {})
    {
        wire::Announce a;
        a.reason = reason;
        a.heartbeatS = config.heartbeatS;
        a.toolId = toolId;
        a.publicKey = keysOf(device).publicKey;
        a.info = toWire(device.info, device.mac);
        a.info.certificate = device.certificate;
        a.info.confirmWindowS = config.confirmWindowS;
        sendMessage(a);
    }

    void goodbye(const Device &device)
    {
        for (int copy = 0; copy < kGoodbyeCopies; ++copy)
            sendMessage(wire::Goodbye{device.info.serialNo, device.mac});
    }

    uint32_t indexOf(const Device &device) const { return uint32_t(&device - devices.data()); }

    void schedule(Device &device, TimerKind kind, Clock::time_point when, const wire::ToolId &toolId = {},
                  uint8_t repeats = 0)
    {
        timers.push(Timer{when, indexOf(device), device.generation, kind, repeats, toolId});
    }

    // Sends a boot or changed announcement now and schedules its repeats.
    void announceNews(Device &device, TimerKind kind, uint8_t repeats, Clock::time_point now)
    {
        announce(device, kind == TimerKind::Boot ? wire::AnnounceReason::Boot : wire::AnnounceReason::Changed);
        if (repeats > 0)
            schedule(device, kind, now + kAnnounceRepeatGaps[kAnnounceRepeatGaps.size() - repeats], {},
                     uint8_t(repeats - 1));
    }

    // Heartbeats wander by ±10 % so that devices booted together drift apart.
    void scheduleHeartbeat(Device &device, Clock::time_point now)
    {
        const double jitter = std::uniform_real_distribution<double>(0.9, 1.1)(rng);
        const auto interval = std::chrono::duration<double>(config.heartbeatS * jitter);
        schedule(device, TimerKind::Heartbeat, now + std::chrono::duration_cast<Clock::duration>(interval));
    }

    void setMode(Device &device, Mode mode)
    {
        device.mode = mode;
        ++device.generation;
        device.nonces.clear();
        device.results.clear();
        device.answerCopies = 0;
    }

    void bringOnline(Device &device, Clock::time_point now)
    {
        setMode(device, Mode::Online);
        announceNews(device, TimerKind::Boot, kAnnounceRepeats, now);
        scheduleHeartbeat(device, now);
    }

    Device *findByMac(const wire::Mac &mac)
    {
        const auto it = byMac.find(macKey(mac));
        return it == byMac.end() ? nullptr : &devices[it->second];
    }

    Device *findBySerial(std::string_view serial)
    {
        const auto it = bySerial.find(std::string(serial));
        return it == bySerial.end() ? nullptr : &devices[it->second];
    }

    void countFor(const wire::Target &target, uint64_t &counter)
    {
        if (target.kind == wire::Target::Kind::Mac ? findByMac(target.mac) : findBySerial(target.serial))
            ++counter;
    }

    Device *findTarget(const wire::Target &target)
    {
        Device *device = target.kind == wire::Target::Kind::Mac ? findByMac(target.mac)
                                                                 : findBySerial(target.serial);
        return device && device->mode == Mode::Online ? device : nullptr;
    }

    // Schedules an answer unless one is pending or the device's budget is
    // spent. Each device waits its own random share of the window the tool
    // asked for (capped), so thousands of answers trickle in instead of
    // flooding the tool's socket.
    bool offerAnswer(Device &device, const wire::ToolId &toolId, uint16_t spreadMs, uint8_t copies,
                     Clock::time_point now)
    {
        if (device.answerCopies > 0)
            return false;
        const double elapsed = std::chrono::duration<double>(now - device.budgetAt).count();
        device.answerBudget = std::min(kAnswerBudget, device.answerBudget + elapsed * kAnswersPerSecond);
        device.budgetAt = now;
        if (device.answerBudget < 1)
            return false;
        device.answerBudget -= 1;
        device.answerCopies = copies;
        const auto spread = std::max<int64_t>(1, std::min(spreadMs, wire::kMaxSpreadMs) * int64_t(1000));
        const auto delay = std::chrono::microseconds(std::uniform_int_distribution<int64_t>(0, spread - 1)(rng));
        schedule(device, TimerKind::Answer, now + delay, toolId);
        return true;
    }

    void onInquiry(const wire::Inquiry &inquiry, Clock::time_point now)
    {
        for (Device &device : devices) {
            if (device.mode == Mode::Online)
                offerAnswer(device, inquiry.toolId, inquiry.spreadMs, 1, now);
        }
    }

    void indexHints(const wire::ToolId &tool)
    {
        hints.tool = tool;
        hints.byHint.clear();
        for (Device &device : devices) {
            hints.byHint.emplace_back(crypto::answerHint(tool, device.info.serialNo, device.mac), indexOf(device));
            device.answeredRound = 0;
        }
        std::sort(hints.byHint.begin(), hints.byHint.end());
    }

    // A later round: only the devices in its range that the tool has not heard answer.
    void onInquiryRepeat(const wire::InquiryRepeat &repeat, Clock::time_point now)
    {
        if (hints.tool != repeat.toolId)
            indexHints(repeat.toolId);
        const uint32_t round = uint32_t(repeat.burst) << 8 | repeat.round;
        auto it = std::lower_bound(hints.byHint.begin(), hints.byHint.end(), std::pair(repeat.low, uint32_t(0)));
        for (; it != hints.byHint.end() && it->first <= repeat.high; ++it) {
            Device &device = devices[it->second];
            if (device.mode != Mode::Online || device.answeredRound == round ||
                std::binary_search(repeat.heard.begin(), repeat.heard.end(), it->first))
                continue;
            if (offerAnswer(device, repeat.toolId, repeat.spreadMs, kRepeatAnswerCopies, now))
                device.answeredRound = round;
        }
    }

    // Room for one more nonce of `source`: its own oldest beyond its quota, else
    // any nonce old enough that its exchange is over. False: no room.
    bool makeRoomForNonce(Device &device, uint32_t source, Clock::time_point now)
    {
        auto &nonces = device.nonces;
        const auto own = [source](const PendingNonce &n) { return n.source == source; };
        if (size_t(std::count_if(nonces.begin(), nonces.end(), own)) >= kNoncesPerSource) {
            nonces.erase(std::find_if(nonces.begin(), nonces.end(), own));
            return true;
        }
        if (nonces.size() < kMaxPendingNonces)
            return true;
        const auto old = std::find_if(nonces.begin(), nonces.end(), [now](const PendingNonce &n) {
            return n.expires - kNonceLifetime + kNonceRoundTrip <= now;
        });
        if (old == nonces.end())
            return false;
        nonces.erase(old);
        return true;
    }

    void onNonceRequest(const wire::NonceRequest &request, Clock::time_point now)
    {
        Device *device = findTarget(request.target);
        if (!device)
            return;
        std::erase_if(device->nonces, [now](const PendingNonce &n) { return n.expires <= now; });
        // A retransmitted request gets the nonce it was already given.
        auto it = std::find_if(device->nonces.begin(), device->nonces.end(), [&](const PendingNonce &n) {
            return n.requestId == request.requestId && n.source == source;
        });
        if (it == device->nonces.end()) {
            if (!makeRoomForNonce(*device, source, now))
                return; // the tool retransmits; a place frees within 3 s of quiet
            device->nonces.push_back({source, request.requestId, crypto::randomArray<wire::kNonceSize>(),
                                      now + kNonceLifetime});
            it = device->nonces.end() - 1;
        }
        wire::Nonce answer;
        answer.requestId = request.requestId;
        answer.nonce = it->nonce;
        answer.publicKey = keysOf(*device).publicKey;
        answer.serial = device->info.serialNo;
        answer.mac = device->mac;
        answer.target = request.target;
        sendMessage(answer);
    }

    // Consumes the nonce when it is pending: it opens exactly one request.
    bool takeNonce(Device &device, const wire::NonceBytes &nonce, Clock::time_point now)
    {
        for (auto it = device.nonces.begin(); it != device.nonces.end(); ++it) {
            if (it->expires > now && sodium_memcmp(it->nonce.data(), nonce.data(), nonce.size()) == 0) {
                device.nonces.erase(it);
                return true;
            }
        }
        return false;
    }

    // A retransmission (same request id, same bytes) within its lifetime gets
    // the same answer without the request being applied again.
    bool resendCached(Device &device, uint32_t requestId, const std::array<uint8_t, 32> &hash,
                      Clock::time_point now)
    {
        std::erase_if(device.results, [now](const CachedResult &r) { return r.expires <= now; });
        for (const CachedResult &cached : device.results) {
            if (cached.requestId == requestId && cached.requestHash == hash) {
                send(cached.reply);
                return true;
            }
        }
        return false;
    }

    void answer(Device &device, uint32_t requestId, const wire::Target &target, wire::Status status,
                const wire::ReplyKey &replyKey, const std::array<uint8_t, 32> &hash, Clock::time_point now)
    {
        wire::Result result;
        result.requestId = requestId;
        result.status = status;
        result.target = target;
        wire::Bytes reply = crypto::encodeSignedResult(result, replyKey);
        if (reply.empty())
            return;
        if (device.results.size() >= kMaxCachedResults)
            device.results.erase(device.results.begin());
        device.results.push_back({requestId, hash, reply, now + kResultCacheLifetime});
        send(reply);
    }

    // The requester's lock record, its failures decayed to `now`; null when it has none.
    SourceLock *lockOf(Device &device, Clock::time_point now)
    {
        const auto it = std::find_if(device.locks.begin(), device.locks.end(),
                                     [this](const SourceLock &l) { return l.source == source; });
        if (it == device.locks.end())
            return nullptr;
        const auto quietMinutes = unsigned((now - it->lastFailure) / kFailureDecay);
        if (quietMinutes > 0) {
            it->failures -= std::min(it->failures, quietMinutes);
            it->lastFailure += quietMinutes * kFailureDecay;
        }
        return &*it;
    }

    // Whether the requester may have its password checked now: it is not
    // locked out, and the device-wide ceiling has a check left.
    bool mayCheck(Device &device, Clock::time_point now)
    {
        if (const SourceLock *lock = lockOf(device, now); lock && now < lock->lockedUntil)
            return false;
        const double elapsedS = std::chrono::duration<double>(now - device.checksRefilled).count();
        device.checkTokens = std::min(kCheckBurst, device.checkTokens + std::max(0.0, elapsedS) * kChecksPerSecond);
        device.checksRefilled = now;
        return device.checkTokens >= 1;
    }

    void recordCheck(Device &device, bool wrong, Clock::time_point now)
    {
        device.checkTokens -= 1;
        SourceLock *lock = lockOf(device, now);
        if (!wrong) {
            if (lock)
                lock->failures = 0;
            return;
        }
        if (!lock) {
            // A stranger cycling through forged addresses only pushes out its own oldest records.
            if (device.locks.size() >= kMaxLockedSources)
                device.locks.erase(std::min_element(device.locks.begin(), device.locks.end(),
                                                    [](const SourceLock &a, const SourceLock &b) {
                                                        return a.lockedUntil < b.lockedUntil;
                                                    }));
            device.locks.push_back({source, 0, now, now});
            lock = &device.locks.back();
        }
        ++lock->failures;
        lock->lastFailure = now;
        const int lockS = lock->failures > 7 ? kMaxLockoutS : std::min(kMaxLockoutS, 1 << (lock->failures - 1));
        lock->lockedUntil = now + seconds(lockS);
    }

    bool persist(Device &device, DeviceState updated)
    {
        DeviceState &slot = state.device(device.info.key());
        const DeviceState previous = slot;
        slot = std::move(updated);
        std::string error;
        if (state.save(error))
            return true;
        slot = previous;
        std::fprintf(stderr, "error: cannot save the state: %s\n", error.c_str());
        return false;
    }

    static std::optional<NetworkState> applyModify(const Device &device, const wire::ModifyBody &body)
    {
        if (!isUnicastIpv4(ipv4Value(body.ipv4Addr)) || !isValidMask(ipv4Value(body.ipv4Mask)) ||
            body.port == 0)
            return std::nullopt;
        NetworkState next = NetworkState::of(device.info);
        next.ipv4Addr = address::formatIpv4(body.ipv4Addr);
        next.ipv4Mask = address::formatIpv4(body.ipv4Mask);
        next.port = body.port;
        next.dhcpOn = 0; // a static address switches DHCP off
        if (body.setGateway) {
            const uint32_t gateway = ipv4Value(body.ipv4Gateway);
            if (gateway != 0 && !isUnicastIpv4(gateway))
                return std::nullopt;
            next.ipv4Gateway = gateway ? address::formatIpv4(body.ipv4Gateway) : std::string();
        }
        if (body.setIpv6) {
            const bool modifiable = device.info.extInfo == 1 &&
                                    (device.info.capabilities & (CapIpv6 | CapIpv6Modifiable)) ==
                                        (CapIpv6 | CapIpv6Modifiable);
            if (!modifiable || isZero(body.ipv6Addr) || body.ipv6Addr[0] == 0xFF ||
                body.ipv6PrefixLen == 0 || body.ipv6PrefixLen > 128)
                return std::nullopt;
            next.ipv6Addr = address::formatIpv6(body.ipv6Addr);
            next.ipv6Gateway = address::formatIpv6(body.ipv6Gateway);
            next.ipv6PrefixLen = body.ipv6PrefixLen;
        }
        return next;
    }

    // What MODIFY and RESET share: find the addressed device, answer a
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
        const auto plain = crypto::open(request.sealed, keysOf(*device));
        const auto body = plain ? decode(*plain) : std::nullopt;
        if (!body)
            return nullptr;
        // A locked-out requester keeps its nonce and gets no cached answer:
        // its retransmission is looked at afresh once the lock ends.
        if (!mayCheck(*device, now)) {
            send(crypto::encodeSignedResult({request.requestId, wire::Status::RateLimited, target, {}},
                                            body->replyKey));
            return nullptr;
        }
        const wire::Status status = takeNonce(*device, body->nonce, now) ? apply(*device, *body)
                                                                          : wire::Status::StaleNonce;
        answer(*device, request.requestId, target, status, body->replyKey, hash, now);
        return status == wire::Status::Ok ? device : nullptr;
    }

    void onModify(const wire::Modify &request, std::span<const uint8_t> datagram, Clock::time_point now)
    {
        NetworkState previous;
        std::optional<wire::ModifyBody> accepted;
        auto apply = [&](Device &device, const wire::ModifyBody &body) {
            const bool right = device.passwordHash && crypto::verifyPassword(*device.passwordHash, body.password);
            recordCheck(device, !right, now);
            if (!right)
                return wire::Status::WrongPassword;
            const auto next = applyModify(device, body);
            DeviceState updated = state.device(device.info.key());
            if (next)
                updated.network = next;
            // The flag is only sent to devices that announce a confirmation window.
            if (!next || (body.confirm && config.confirmWindowS == 0)
                || (config.checkNetwork && !config.checkNetwork(NetworkState::of(device.info), *next))
                || !persist(device, updated))
                return wire::Status::InvalidParameters;
            previous = NetworkState::of(device.info);
            next->applyTo(device.info);
            accepted = body;
            return wire::Status::Ok;
        };
        const auto target = wire::Target::byMac(request.target);
        Device *changed = serveRequest(request, target, datagram, now, &wire::decodeModifyBody, apply);
        if (!changed)
            return;
        // The RESULT has gone out from the old address; only now does the change become real.
        const NetworkState next = NetworkState::of(changed->info);
        const bool made = !config.changeNetwork || config.changeNetwork(NetworkChange::Apply, previous, next);
        if (!made) {
            std::fprintf(stderr, "error: the change to %s could not be made; keeping %s\n", next.ipv4Addr.c_str(),
                         previous.ipv4Addr.c_str());
            restore(*changed, previous);
        }
        // A failed change is rolled back too: whatever of it the back end could not undo at once.
        if (accepted->confirm) {
            // A change on top of an unconfirmed one still rolls back to the last confirmed parameters.
            const NetworkState confirmed = changed->pendingChange && !changed->pendingChange->confirmed
                ? changed->pendingChange->previous : previous;
            changed->pendingChange = PendingChange{request.requestId, accepted->replyKey, confirmed, false, !made};
            timers.push(Timer{now + seconds(config.confirmWindowS), indexOf(*changed), changed->generation,
                              TimerKind::Rollback, 0, {}, request.requestId});
        }
        announceNews(*changed, TimerKind::Changed, kAnnounceRepeats, now);
    }

    // Puts earlier parameters back into the device information and the state file.
    void restore(Device &device, const NetworkState &parameters)
    {
        DeviceState updated = state.device(device.info.key());
        updated.network = parameters;
        persist(device, updated);
        parameters.applyTo(device.info);
    }

    // Only a CONFIRM by unicast to the new address proves that the tool still
    // reaches the device: multicast would reach it whatever its address.
    void onConfirm(const wire::Confirm &confirm, std::span<const uint8_t> datagram, uint32_t destination)
    {
        Device *device = findTarget(wire::Target::byMac(confirm.target));
        if (!device || !device->pendingChange || device->pendingChange->requestId != confirm.requestId
            || device->pendingChange->failed)
            return;
        const auto address = parseIpv4(device->info.ipv4Addr);
        if (!address || *address != destination || !crypto::verifyResult(datagram, device->pendingChange->replyKey))
            return;
        device->pendingChange->confirmed = true;
        // Answered for every copy: the tool retransmits until one answer arrives.
        send(crypto::encodeSignedResult({confirm.requestId, wire::Status::Confirmed, wire::Target::byMac(device->mac), {}},
                                        device->pendingChange->replyKey));
    }

    void rollBack(Device &device, uint32_t requestId, Clock::time_point now)
    {
        if (!device.pendingChange || device.pendingChange->requestId != requestId)
            return; // a later change has its own timer
        const PendingChange change = *std::exchange(device.pendingChange, std::nullopt);
        if (change.confirmed)
            return;
        const NetworkState current = NetworkState::of(device.info);
        if (!change.failed)
            std::fprintf(stderr, "warning: the change to %s was not confirmed within %u s; back to %s\n",
                         current.ipv4Addr.c_str(), unsigned(config.confirmWindowS), change.previous.ipv4Addr.c_str());
        if (config.changeNetwork && !config.changeNetwork(NetworkChange::Rollback, current, change.previous))
            std::fprintf(stderr, "error: the rollback to %s failed\n", change.previous.ipv4Addr.c_str());
        restore(device, change.previous);
        if (!(current == change.previous))
            announceNews(device, TimerKind::Changed, kAnnounceRepeats, now);
    }

    void onReset(const wire::Reset &request, std::span<const uint8_t> datagram, Clock::time_point now)
    {
        auto apply = [this](Device &device, const wire::ResetBody &body) {
            // The device holds only its own code key, never the master key.
            const auto wallNow = std::chrono::system_clock::now();
            const auto codeKey = device.codeKey ? device.codeKey
                : config.masterKey ? std::optional(crypto::deviceCodeKey(*config.masterKey, device.info.serialNo))
                                   : std::nullopt;
            const auto date = codeKey
                ? crypto::checkSecurityCode(*codeKey, device.info.serialNo, body.securityCode, wallNow)
                : std::nullopt;
            DeviceState updated = state.device(device.info.key());
            // Dates before yesterday can no longer be used: forget them.
            std::erase_if(updated.usedCodeDates, [yesterday = crypto::utcDate(wallNow - std::chrono::hours(24))](
                                                     const std::string &d) { return d < yesterday; });
            if (!date || std::find(updated.usedCodeDates.begin(), updated.usedCodeDates.end(), *date) !=
                             updated.usedCodeDates.end())
                return wire::Status::WrongSecurityCode;
            updated.usedCodeDates.push_back(*date);
            const auto defaultHash = hashFor(labelPassword(device));
            updated.passwordHash = defaultHash ? std::optional(*defaultHash) : std::nullopt;
            if (!defaultHash || !persist(device, updated))
                return wire::Status::InvalidParameters;
            device.passwordHash = defaultHash;
            device.locks.clear();
            return wire::Status::Ok;
        };
        serveRequest(request, wire::Target::bySerial(request.targetSerial), datagram, now, &wire::decodeResetBody,
                     apply);
    }

    void forEachTarget(std::string_view which, std::string &out, const char *verb,
                       const std::function<bool(Device &)> &action)
    {
        size_t changed = 0;
        if (which == "all") {
            for (Device &device : devices)
                changed += action(device) ? 1 : 0;
        } else if (Device *device = findBySerial(which)) {
            changed += action(*device) ? 1 : 0;
        } else {
            out += "error: no device with serial number " + std::string(which) + "\n";
            return;
        }
        out += std::string("ok ") + verb + " " + std::to_string(changed) + "\n";
    }
};

Simulator::Simulator(Config config, std::vector<DeviceEntry> entries, StateFile &state, SendFn send)
    : d(std::make_unique<Impl>(std::move(config), state, std::move(send)))
{
    d->devices.reserve(entries.size());
    for (DeviceEntry &entry : entries) {
        Device device;
        device.info = std::move(entry.info);
        device.mac = address::parseMac(device.info.macAddr).value_or(wire::Mac{});
        d->ownPasswords.push_back(std::move(entry.password));
        d->devices.push_back(std::move(device));
    }
}

Simulator::~Simulator() = default;

bool Simulator::init(std::string &error)
{
    if (!crypto::init()) {
        error = "libsodium cannot be initialised";
        return false;
    }
    if (!d->loadKeySecret(error))
        return false;
    for (uint32_t i = 0; i < d->devices.size(); ++i) {
        Device &device = d->devices[i];
        d->byMac.emplace(macKey(device.mac), i);
        d->bySerial.emplace(device.info.serialNo, i);
        device.passwordHash = d->hashFor(d->ownPasswords[i].value_or(d->config.defaultPassword));
        if (!device.passwordHash) {
            error = "cannot hash a password (out of memory?)";
            return false;
        }
        const auto saved = d->state.devices().find(device.info.key());
        if (saved == d->state.devices().end())
            continue;
        if (saved->second.network)
            saved->second.network->applyTo(device.info);
        if (saved->second.passwordHash)
            device.passwordHash = d->internHash(*saved->second.passwordHash);
        if (saved->second.certificate)
            device.certificate = saved->second.certificate;
        device.codeKey = saved->second.codeKey;
    }
    d->ownPasswords.clear();
    // A new state file records its key secret right away, before any change.
    return d->state.save(error);
}

void Simulator::start(Clock::time_point now)
{
    std::uniform_int_distribution<int> bootMs(0, 999);
    for (Device &device : d->devices) {
        d->setMode(device, Mode::Online);
        if (d->config.bootAnnounce)
            d->schedule(device, TimerKind::Boot, now + milliseconds(bootMs(d->rng)), {},
                        kAnnounceRepeats);
        d->scheduleHeartbeat(device, now);
    }
}

void Simulator::receive(std::span<const uint8_t> datagram, int ttl, Clock::time_point now, uint32_t source,
                        uint32_t destination)
{
    d->source = source;
    // Only on-link senders are believed.
    if (ttl != wire::kRequiredTtl || datagram.size() > wire::kMaxDatagram)
        return;
    // Everything but the four requests a device serves is ignored before the full decode.
    const auto type = wire::peekType(datagram);
    if (!type || (*type != wire::MsgType::Inquiry && *type != wire::MsgType::NonceRequest &&
                  *type != wire::MsgType::Modify && *type != wire::MsgType::Reset &&
                  *type != wire::MsgType::InquiryRepeat && *type != wire::MsgType::Confirm))
        return;
    const auto message = wire::decode(datagram);
    if (!message)
        return;
    if (const auto *m = std::get_if<wire::Inquiry>(&*message)) {
        ++d->received.inquiry;
        d->onInquiry(*m, now);
    } else if (const auto *m = std::get_if<wire::NonceRequest>(&*message)) {
        d->countFor(m->target, d->received.nonce);
        d->onNonceRequest(*m, now);
    } else if (const auto *m = std::get_if<wire::Modify>(&*message)) {
        d->countFor(wire::Target::byMac(m->target), d->received.modify);
        d->onModify(*m, datagram, now);
    } else if (const auto *m = std::get_if<wire::Reset>(&*message)) {
        d->countFor(wire::Target::bySerial(m->targetSerial), d->received.reset);
        d->onReset(*m, datagram, now);
    } else if (const auto *m = std::get_if<wire::InquiryRepeat>(&*message)) {
        d->onInquiryRepeat(*m, now);
    } else if (const auto *m = std::get_if<wire::Confirm>(&*message)) {
        d->onConfirm(*m, datagram, destination);
    }
}

bool Simulator::observe(std::string_view serial, const NetworkState &observed, Clock::time_point now)
{
    Device *device = d->findBySerial(serial);
    if (!device)
        return false;
    NetworkState next = observed;
    next.port = device->info.port;
    if (next == NetworkState::of(device->info))
        return false;
    next.applyTo(device->info);
    if (device->mode == Mode::Online)
        d->announceNews(*device, TimerKind::Changed, kAnnounceRepeats, now);
    return true;
}

std::optional<Clock::time_point> Simulator::nextDue() const
{
    if (d->timers.empty())
        return std::nullopt;
    return d->timers.top().when;
}

void Simulator::runDue(Clock::time_point now)
{
    while (!d->timers.empty() && d->timers.top().when <= now) {
        const Timer timer = d->timers.top();
        d->timers.pop();
        Device &device = d->devices[timer.device];
        if (timer.generation != device.generation || device.mode != Mode::Online)
            continue;
        switch (timer.kind) {
        // Copies follow their due time, not a late runDue(), so the gaps hold.
        case TimerKind::Boot:
        case TimerKind::Changed:
            d->announceNews(device, timer.kind, timer.repeats, timer.when);
            break;
        case TimerKind::Answer:
            if (device.answerCopies == 0)
                break;
            d->announce(device, wire::AnnounceReason::InquiryAnswer, timer.toolId);
            if (--device.answerCopies > 0)
                d->schedule(device, TimerKind::Answer, timer.when + kRepeatAnswerGap, timer.toolId);
            break;
        case TimerKind::Heartbeat:
            d->announce(device, wire::AnnounceReason::Heartbeat);
            d->scheduleHeartbeat(device, now);
            break;
        case TimerKind::Rollback:
            d->rollBack(device, timer.requestId, now);
            break;
        }
    }
}

void Simulator::command(std::string_view line, Clock::time_point now, std::string &out, bool &quit)
{
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back())))
        line.remove_suffix(1);
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.front())))
        line.remove_prefix(1);
    if (line.empty())
        return;
    const size_t space = line.find(' ');
    const std::string_view verb = line.substr(0, space);
    std::string_view argument = space == std::string_view::npos ? std::string_view() : line.substr(space + 1);
    while (!argument.empty() && argument.front() == ' ')
        argument.remove_prefix(1);

    const bool needsArgument = verb == "offline" || verb == "online" || verb == "silence" || verb == "show";
    if (needsArgument && (argument.empty() || argument.find(' ') != std::string_view::npos)) {
        out += "error: usage: " + std::string(verb) + (verb == "show" ? " SERIAL\n" : " SERIAL|all\n");
        return;
    }
    if (!needsArgument && !argument.empty() && (verb == "list" || verb == "stats" || verb == "quit")) {
        out += "error: " + std::string(verb) + " takes no argument\n";
        return;
    }
    if (verb == "offline") {
        d->forEachTarget(argument, out, "offline", [this](Device &device) {
            if (device.mode != Mode::Online)
                return false;
            d->goodbye(device);
            d->setMode(device, Mode::Offline);
            return true;
        });
    } else if (verb == "online") {
        d->forEachTarget(argument, out, "online", [this, now](Device &device) {
            if (device.mode == Mode::Online)
                return false;
            d->bringOnline(device, now);
            return true;
        });
    } else if (verb == "silence") {
        d->forEachTarget(argument, out, "silence", [this](Device &device) {
            if (device.mode != Mode::Online)
                return false;
            d->setMode(device, Mode::Silent);
            return true;
        });
    } else if (verb == "list") {
        for (const Device &device : d->devices) {
            const DeviceInfo &i = device.info;
            out += i.serialNo + " " + i.macAddr + " " + i.ipv4Addr + " " + i.ipv4Mask + " " +
                   std::to_string(i.port) + " " + modeName(device.mode) + "\n";
        }
        out += "ok list " + std::to_string(d->devices.size()) + "\n";
    } else if (verb == "show") {
        const Device *device = d->findBySerial(argument);
        if (!device) {
            out += "error: no device with serial number " + std::string(argument) + "\n";
            return;
        }
        // Empty texts print as "-", so every line has the same number of words.
        const auto word = [](const std::string &text) { return text.empty() ? std::string("-") : text; };
        const DeviceInfo &i = device->info;
        out += i.serialNo + " " + i.macAddr + " " + i.ipv4Addr + " " + i.ipv4Mask + " " + word(i.ipv4Gateway) +
               " " + std::to_string(i.port) + " " + word(i.ipv6Addr) + " " + word(i.ipv6Gateway) + " " +
               std::to_string(i.ipv6PrefixLen) + " " + modeName(device->mode) + " " + d->labelPassword(*device) + "\n";
        out += "ok show 1\n";
    } else if (verb == "stats") {
        const auto &r = d->received;
        out += "ok stats inquiry " + std::to_string(r.inquiry) + " nonce " + std::to_string(r.nonce) + " modify " +
               std::to_string(r.modify) + " reset " + std::to_string(r.reset) + "\n";
    } else if (verb == "quit") {
        out += "ok quit\n";
        quit = true;
    } else {
        out += "error: unknown command \"" + std::string(verb) + "\" (offline, online, silence, list, show, stats, quit)\n";
    }
}

void Simulator::shutdown()
{
    for (Device &device : d->devices) {
        if (device.mode == Mode::Online) {
            d->goodbye(device);
            d->setMode(device, Mode::Offline);
        }
    }
}

size_t Simulator::deviceCount() const
{
    return d->devices.size();
}

size_t Simulator::pendingTimers() const
{
    return d->timers.size();
}

const DeviceInfo *Simulator::device(std::string_view serial) const
{
    const auto it = d->bySerial.find(std::string(serial));
    return it == d->bySerial.end() ? nullptr : &d->devices[it->second].info;
}

std::string Simulator::labelPassword(std::string_view serial) const
{
    const auto it = d->bySerial.find(std::string(serial));
    return it == d->bySerial.end() ? std::string() : d->labelPassword(d->devices[it->second]);
}

std::array<uint8_t, 32> Simulator::publicKey(std::string_view serial)
{
    Device *device = d->findBySerial(serial);
    return device ? d->keysOf(*device).publicKey : std::array<uint8_t, 32>{};
}

} // namespace devsim
