#include "discovery.h"

#include "address.h"
#include "claimchecker.h"
#include "crypto.h"
#include "keypins.h"
#include "onvifdiscovery.h"
#include <packet/packetdriver.h>
#include <packet/transport.h>
#include "reporttext.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <string_view>

namespace vexa {

namespace {

using namespace std::chrono_literals;

// Room for 100 000 answers arriving within one spread window (taken from
// the kernel only as far as the reader falls behind); the kernel
// accounts a small datagram at roughly 2 KiB.
constexpr int kReceiveBuffer = 100'000 * 2048;
constexpr int kPollMs = 250;
constexpr auto kExpiryPeriod = 500ms;
// Bounds the table against a flood of made-up identities.
constexpr size_t kMaxDevices = 1 << 17;
// After the inquiry's own spread window, rounds that ask only the devices not
// heard yet; each round's datagrams go out twice. On a clean link they cost a
// few datagrams and draw no answer; at 40 % loss they find 99 % within 2 s.
// A round waits until the answers already queued on the socket are read and
// no new device has been heard for a moment: asking again for answers still on
// their way would double the load just when the tool or the link cannot keep up.
constexpr uint8_t kRepeatRounds = 4;
constexpr auto kFirstRound = 600ms;
constexpr auto kRoundGap = 300ms;
constexpr auto kQuietBeforeRound = 100ms;
constexpr uint16_t kRepeatSpreadMs = 150;
constexpr int kRepeatCopies = 2;
// A device silent for two heartbeats is asked alone, a few times, before the
// silence rule reports it offline: on a lossy link three lost heartbeats in a
// row are common. Rounds above the inquiry's own are probes.
constexpr uint8_t kFirstProbeRound = kRepeatRounds + 1;
constexpr size_t kMaxProbesPerSweep = 64;
// GOODBYE carries no certificate: anyone can send one. It is believed once
// the device, probed in the meantime, stays silent this long; a device that
// is still there answers the probe.
constexpr auto kGoodbyeCheck = 1500ms;
// Uncertified newcomers per source address: a burst of two large simulators,
// then 2 000 a second; the table of sources is bounded too.
constexpr double kBurstPerSource = 20'000;
constexpr double kNewcomersPerSecond = 2'000;
constexpr size_t kMaxSources = 4096;
// A full table lets a newcomer take the place of a device of its own rank
// that has been silent this long: a flood of identities heard once each then
// keeps no real device out for longer, unless it repeats every one of them.
constexpr auto kStaleRoom = 5s;
// Signature checks run below normal priority (ClaimChecker): they take the
// cores the receive thread and the program leave idle.
size_t checkWorkers()
{
    return std::clamp<size_t>(std::thread::hardware_concurrency(), 1, 4);
}

thread_local bool t_onReceiveThread = false;

} // namespace

size_t Discovery::KeyHash::operator()(const Key &k) const
{
    uint64_t mac = 0;
    for (uint8_t b : k.mac)
        mac = mac << 8 | b;
    return std::hash<std::string>()(k.serial) ^ std::hash<uint64_t>()(mac) * 31;
}

std::unique_ptr<Discovery> Discovery::start(const PKT_Driver *driver, VEXA_REPORT_CALLBACK callback,
                                            void *userData)
{
    if (!crypto::init())
        return nullptr;
    auto socket = packet::Socket::open(driver, wire::kPort, address::kToolGroups, kReceiveBuffer);
    if (!socket)
        return nullptr;
    std::unique_ptr<Discovery> d(new Discovery(std::move(socket), callback, userData));
    if (!d->startOnvif(driver))
        return nullptr;
    d->m_checker = std::make_unique<ClaimChecker>(checkWorkers(), [raw = d.get()] { raw->m_socket->wake(); });
    d->m_thread = std::thread([raw = d.get()] { raw->run(); });
    return d;
}

Discovery::Discovery(std::unique_ptr<packet::Socket> socket, VEXA_REPORT_CALLBACK callback, void *userData)
    : m_socket(std::move(socket)), m_callback(callback), m_userData(userData),
      m_toolId(crypto::randomArray<wire::kToolIdSize>())
{
}

bool Discovery::holdsMac(const wire::Mac &mac) const
{
    std::lock_guard macs(m_macMutex);
    return m_vxdpMacs.contains(mac);
}

bool Discovery::startOnvif(const PKT_Driver *driver)
{
    m_onvif = OnvifDiscovery::start(
        driver, {m_gate,
                 [this](const packet::Address &ipv4) { return m_vxdpAddrs.count(ipv4) > 0; },
                 [this](const std::string &serial, const std::string &mac) {
                     return m_certifiedIds.count("s" + serial) > 0 || m_certifiedIds.count("m" + mac) > 0;
                 },
                 [this](const VEXA_DEVICE_REPORT &r) {
                     if (m_callback)
                         m_callback(&r, m_userData);
                 },
                 [] { t_onReceiveThread = true; }});
    return m_onvif != nullptr;
}

Discovery::~Discovery()
{
    m_stop = true;
    m_socket->wake();
    if (m_thread.joinable())
        m_thread.join();
    // Last: the receive thread hands addresses to it until it ends.
    m_onvif.reset();
}

bool Discovery::onReceiveThread()
{
    return t_onReceiveThread;
}

bool Discovery::sendInquiry()
{
    const bool probed = m_onvif->sendProbe();
    const wire::Bytes datagram = wire::encode(wire::Inquiry{m_toolId, wire::kDefaultSpreadMs});
    std::lock_guard lock(m_burstMutex);
    if (m_socket->sendAll(address::kDeviceGroups, wire::kPort, datagram) <= 0)
        return probed;
    // Burst 0 never goes out, so a device can tell a new inquiry from the last one.
    m_burst.number = m_burst.number == UINT16_MAX ? 1 : m_burst.number + 1;
    m_burst.nextRound = Clock::now() + kFirstRound;
    m_burst.roundsSent = 0;
    return true;
}

int Discovery::msUntilRepeat(Clock::time_point now)
{
    std::lock_guard lock(m_burstMutex);
    if (m_burst.number == 0 || m_burst.roundsSent >= kRepeatRounds)
        return kPollMs;
    const auto due = std::max(m_burst.nextRound, m_lastNewDevice + kQuietBeforeRound);
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(due - now).count();
    return int(std::clamp<int64_t>(ms, 0, kPollMs));
}

void Discovery::repeatInquiry(Clock::time_point now, bool drained)
{
    std::lock_guard lock(m_burstMutex);
    if (m_burst.number == 0 || m_burst.roundsSent >= kRepeatRounds || now < m_burst.nextRound || !drained
        || now < m_lastNewDevice + kQuietBeforeRound)
        return;
    ++m_burst.roundsSent;
    m_burst.nextRound = now + kRoundGap;
    sendTwice(repeatDatagrams(m_burst.number, uint8_t(m_burst.roundsSent)));
}

void Discovery::sendTwice(const std::vector<wire::Bytes> &datagrams)
{
    for (int copy = 0; copy < kRepeatCopies; ++copy) {
        for (const wire::Bytes &datagram : datagrams)
            m_socket->sendAll(address::kDeviceGroups, wire::kPort, datagram);
    }
}

// One datagram per device: a range of exactly its hint, nobody listed.
void Discovery::probe(const std::vector<uint32_t> &hints)
{
    std::lock_guard lock(m_burstMutex);
    std::vector<wire::Bytes> datagrams;
    wire::InquiryRepeat repeat;
    repeat.toolId = m_toolId;
    repeat.spreadMs = kRepeatSpreadMs;
    repeat.burst = m_burst.number;
    repeat.round = m_probeRound;
    for (uint32_t hint : hints) {
        repeat.low = repeat.high = hint;
        datagrams.push_back(wire::encode(repeat));
    }
    sendTwice(datagrams);
    m_probeRound = m_probeRound == UINT8_MAX ? kFirstProbeRound : uint8_t(m_probeRound + 1);
}

// The hints of every device online, split into datagrams whose ranges cover
// all 32-bit hints: a device outside every list answers.
std::vector<wire::Bytes> Discovery::repeatDatagrams(uint16_t burst, uint8_t round) const
{
    std::vector<uint32_t> hints;
    hints.reserve(m_devices.size());
    for (const auto &[key, device] : m_devices) {
        if (device.online)
            hints.push_back(device.hint);
    }
    std::sort(hints.begin(), hints.end());
    hints.erase(std::unique(hints.begin(), hints.end()), hints.end());

    std::vector<wire::Bytes> datagrams;
    wire::InquiryRepeat repeat;
    repeat.toolId = m_toolId;
    repeat.spreadMs = kRepeatSpreadMs;
    repeat.burst = burst;
    repeat.round = round;
    for (size_t first = 0;; first += wire::kMaxRepeatHints) {
        const size_t end = std::min(first + wire::kMaxRepeatHints, hints.size());
        const bool last = end == hints.size();
        repeat.low = first == 0 ? 0 : hints[first];
        repeat.high = last ? UINT32_MAX : hints[end] - 1;
        repeat.heard.assign(hints.begin() + std::ptrdiff_t(first), hints.begin() + std::ptrdiff_t(end));
        datagrams.push_back(wire::encode(repeat));
        if (last)
            return datagrams;
    }
}

void Discovery::run()
{
    t_onReceiveThread = true;
    std::array<uint8_t, wire::kMaxDatagram> buffer;
    Clock::time_point lastExpiry = Clock::now();
    uint64_t interfacesSeen = m_socket->interfaceChanges();
    while (!m_stop) {
        packet::Received info;
        const int n = m_socket->receive(buffer, msUntilRepeat(Clock::now()), info);
        const Clock::time_point now = Clock::now();
        if (const uint64_t changes = m_socket->interfaceChanges(); changes != interfacesSeen) {
            // A link that came (a cable plugged, a VPN up) may hold devices nobody asked yet.
            interfacesSeen = changes;
            sendInquiry();
        }
        if (n == -ECANCELED) {
            // Stopping (the loop ends), or checks are done.
            if (!m_stop)
                onChecked(now);
            continue;
        }
        if (n >= 0) {
            // Claims checked meanwhile first: a device proven before this
            // datagram arrived is handled as proven when it is read.
            if (m_checker->hasFinished())
                onChecked(now);
            handle(std::span(buffer).first(size_t(n)), info, now);
        }
        repeatInquiry(now, n == -ETIMEDOUT);
        if (now - lastExpiry >= kExpiryPeriod) {
            expireSilent(now);
            lastExpiry = now;
        }
    }
}

void Discovery::handle(std::span<const uint8_t> datagram, const packet::Received &info, Clock::time_point now)
{
    // Only senders on the link itself are believed: a routed datagram has lost TTL.
    if (info.ttl != wire::kRequiredTtl)
        return;
    const auto message = wire::decode(datagram);
    if (!message)
        return;
    if (const auto *announce = std::get_if<wire::Announce>(&*message))
        onAnnounce(*announce, datagram, info.source, now, now);
    else if (const auto *goodbye = std::get_if<wire::Goodbye>(&*message))
        onGoodbye(*goodbye, now);
    else if (const auto *nonce = std::get_if<wire::Nonce>(&*message))
        heard(nonce->serial, nonce->mac, now);
}

Discovery::Rank Discovery::Device::rank() const
{
    if (!online)
        return Rank::Offline;
    return certified ? Rank::Certified : solicited ? Rank::Solicited : Rank::Unsolicited;
}

Discovery::ClaimState Discovery::proven(const Claim &claim, const Device *known, std::span<const uint8_t> datagram,
                                        const packet::Address &sourceAddr, Clock::time_point heard)
{
    if (claim.kind == Claim::Kind::None)
        return ClaimState::None;
    // The claim the device is listed by: a heartbeat or another answer, nothing to check.
    if (known && known->certified && known->proof == claim.digest)
        return ClaimState::Proven;
    switch (ProofCache::instance().lookup(claim.digest)) {
    case ProofCache::Verdict::Valid: return ClaimState::Proven;
    case ProofCache::Verdict::Invalid: return ClaimState::None;
    case ProofCache::Verdict::Unknown: break;
    }
    if (m_pending.contains(claim.digest))
        return ClaimState::Checking;
    if (!m_checker->submit({wire::Bytes(datagram.begin(), datagram.end()), sourceAddr, claim.digest, heard}))
        return ClaimState::None; // heard again, it is queued then
    m_pending.insert(claim.digest);
    return ClaimState::Checking;
}

// Handles the announcements whose claims were checked meanwhile: a valid one
// is handled again, now as proven.
void Discovery::onChecked(Clock::time_point now)
{
    for (ClaimChecker::Job &job : m_checker->takeFinished()) {
        m_pending.erase(job.digest);
        const auto message = wire::decode(job.datagram);
        if (!message || !std::holds_alternative<wire::Announce>(*message))
            continue;
        if (job.valid)
            onAnnounce(std::get<wire::Announce>(*message), job.datagram, job.source, now, job.heard);
        else
            claimFailed(std::get<wire::Announce>(*message), job.source, now);
    }
}

// A claim failed its check: its source lists nothing more on trust, and a
// device it listed on trust now spends its budget, or goes.
void Discovery::claimFailed(const wire::Announce &announce, const packet::Address &sourceAddr, Clock::time_point now)
{
    if (auto bucket = m_buckets.find(sourceAddr); bucket != m_buckets.end())
        bucket->second.claimFailed = true;
    auto it = m_devices.find(Key{announce.info.serial, announce.info.mac});
    if (it == m_devices.end())
        return;
    if (std::exchange(it->second.checking, false) && it->second.online) {
        std::lock_guard gate(m_gate);
        updateHoldings(it->second, true);
    }
    if (!it->second.owing)
        return;
    const packet::Address owing = *std::exchange(it->second.owing, std::nullopt);
    if (charge(owing, now))
        it->second.charged = owing;
    else
        evict(it);
}

void Discovery::onAnnounce(const wire::Announce &announce, std::span<const uint8_t> datagram,
                           const packet::Address &sourceAddr, Clock::time_point now, Clock::time_point heard)
{
    const bool answersUs = announce.reason == wire::AnnounceReason::InquiryAnswer && announce.toolId == m_toolId;
    Key key{announce.info.serial, announce.info.mac};
    auto it = m_devices.find(key);
    const Device *known = it == m_devices.end() ? nullptr : &it->second;
    const Claim claim = Claim::of(announce, datagram);
    // Signatures are checked off this thread, once per claim: until then an
    // announcement changes nothing of a certified device, and a newcomer is
    // listed like an uncertified device (and raised once its claim holds).
    const ClaimState state = proven(claim, known, datagram, sourceAddr, heard);
    const bool certified = state == ClaimState::Proven;
    const bool sameProof = known && known->certified && known->proof == claim.digest;
    if (known && known->certified) {
        // Only the certified device itself speaks for a certified identity, and a
        // signing device only with its signature, never with an older one.
        if (!certified || (known->signedAnnounce && claim.kind != Claim::Kind::Signed)
            || (claim.kind == Claim::Kind::Signed && claim.counter < known->counter))
            return;
    }
    if (certified && !sameProof && claim.kind == Claim::Kind::Signed
        && claim.counter < keypins::lastCounter(announce.info.serial, announce.info.mac))
        return; // a replay of what the device said before
    if (it == m_devices.end()) {
        const Rank rank = certified ? Rank::Certified : answersUs ? Rank::Solicited : Rank::Unsolicited;
        const Admission admission = admitNewcomer(rank, state == ClaimState::Checking, sourceAddr, now);
        if (admission == Admission::Refused)
            return;
        it = m_devices.emplace(std::move(key), Device{}).first;
        it->second.hint = crypto::answerHint(m_toolId, announce.info.serial, announce.info.mac);
        auto &offline = m_byRank[size_t(Rank::Offline)];
        it->second.place = offline.insert(offline.end(), &it->first); // ranked below, once known
        if (admission == Admission::Charged)
            it->second.charged = sourceAddr;
        else if (admission == Admission::Owing)
            it->second.owing = sourceAddr;
    }
    Device &device = it->second;
    if (certified) {
        // Proven after all: certified devices do not count against their source.
        if (device.charged)
            refund(*device.charged);
        device.charged.reset();
        device.owing.reset();
    }
    // Only a certified key is pinned for requests (or, under the explicit fallback, a first one).
    if ((certified && !sameProof) || (!certified && keypins::firstUseAllowed()))
        keypins::announced(announce.info.serial, announce.info.mac, announce.publicKey,
                           {certified, certified && claim.kind == Claim::Kind::Signed, claim.counter,
                            announce.info.confirmWindowS, announce.info.jobs});

    if (device.online && device.goodbyeAt && heard > *device.goodbyeAt
        && announce.reason == wire::AnnounceReason::Boot) {
        // A GOODBYE, then a boot: the device did leave, and is back.
        device.online = false;
        device.goodbyeAt.reset();
        rerank(device);
        report(device, VEXA_EVENT_OFFLINE);
    }
    const bool changed = device.info != announce.info;
    if (changed)
        device.info = announce.info;
    device.publicKey = announce.publicKey;
    const bool heldBefore = device.certified || device.checking;
    device.certified = certified;
    device.checking = state == ClaimState::Checking;
    device.signedAnnounce = certified && claim.kind == Claim::Kind::Signed;
    device.proof = certified ? claim.digest : Claim::Digest{};
    device.counter = device.signedAnnounce ? claim.counter : 0;
    // A device heard in both families keeps its IPv4 source: the copies of one announcement
    // arrive in either order, and the report's source must not flicker between them.
    if (!(sourceAddr.isV6() && device.sourceAddr.isV4() && device.online))
        device.sourceAddr = sourceAddr;
    if (sourceAddr.isV6() && sourceAddr.scope() != 0)
        device.linkLocal = sourceAddr;
    device.lastHeard = std::max(device.lastHeard, heard);
    device.heartbeat = std::chrono::seconds(announce.heartbeatS);
    device.silenceLimit = 3 * device.heartbeat + 2s;
    const bool wasOnline = device.online;
    device.online = true;
    device.solicited |= answersUs;
    rerank(device);

    if (!wasOnline) {
        m_lastNewDevice = now;
        report(device, answersUs ? VEXA_EVENT_ONLINE : VEXA_EVENT_ANNOUNCE);
    } else if (changed) {
        report(device, VEXA_EVENT_UPDATE);
    } else if ((device.certified || device.checking) != heldBefore) {
        // Its check came back: nothing to report, but what it holds changed.
        std::lock_guard gate(m_gate);
        updateHoldings(device, true);
    }
}

// A new uncertified identity spends one of its source's budget. Sources are
// forgotten least recently charged first, never all at once.
bool Discovery::charge(const packet::Address &sourceAddr, Clock::time_point now)
{
    auto found = m_buckets.find(sourceAddr);
    if (found == m_buckets.end()) {
        if (m_buckets.size() >= kMaxSources) {
            m_buckets.erase(m_sourceOrder.front());
            m_sourceOrder.pop_front();
        }
        found = m_buckets.emplace(sourceAddr, Bucket{{kBurstPerSource, now}, {}}).first;
        found->second.place = m_sourceOrder.insert(m_sourceOrder.end(), sourceAddr);
    }
    Bucket &b = found->second;
    m_sourceOrder.splice(m_sourceOrder.end(), m_sourceOrder, b.place);
    return b.budget.take(kNewcomersPerSecond, kBurstPerSource, now);
}

void Discovery::refund(const packet::Address &sourceAddr)
{
    if (auto found = m_buckets.find(sourceAddr); found != m_buckets.end())
        found->second.budget.tokens = std::min(kBurstPerSource, found->second.budget.tokens + 1);
}

// Makes room for a new device: uncertified ones within their source's
// budget (or past it, while the claim they carry is checked, from a source
// none of whose claims failed), and only in a place a device of lower rank
// gives up, or one of its own rank that has long been silent.
Discovery::Admission Discovery::admitNewcomer(Rank rank, bool claimant, const packet::Address &sourceAddr,
                                              Clock::time_point now)
{
    Admission admission = Admission::Free;
    if (rank != Rank::Certified) {
        if (charge(sourceAddr, now))
            admission = Admission::Charged;
        else if (claimant && !m_buckets.at(sourceAddr).claimFailed)
            admission = Admission::Owing;
        else
            return Admission::Refused;
    }
    if (makeRoom(rank, now))
        return admission;
    if (admission == Admission::Charged)
        refund(sourceAddr);
    return Admission::Refused;
}

bool Discovery::makeRoom(Rank rank, Clock::time_point now)
{
    if (m_devices.size() < kMaxDevices)
        return true;
    for (size_t place = 0; place <= size_t(rank); ++place) {
        if (m_byRank[place].empty())
            continue;
        auto victim = m_devices.find(*m_byRank[place].front());
        if (place == size_t(rank) && now - victim->second.lastHeard < kStaleRoom)
            return false;
        evict(victim);
        return true;
    }
    return false;
}

// Drops a device from the table; one that was listed is reported offline.
void Discovery::evict(std::unordered_map<Key, Device, KeyHash>::iterator victim)
{
    Device &device = victim->second;
    m_byRank[size_t(device.listed)].erase(device.place);
    if (device.online) {
        device.online = false;
        report(device, VEXA_EVENT_OFFLINE);
    }
    m_devices.erase(victim);
}

// Moves the device to the most recently heard end of its rank's list.
void Discovery::rerank(Device &device)
{
    auto &from = m_byRank[size_t(device.listed)];
    device.listed = device.rank();
    auto &to = m_byRank[size_t(device.listed)];
    to.splice(to.end(), from, device.place);
}

void Discovery::onGoodbye(const wire::Goodbye &goodbye, Clock::time_point now)
{
    auto it = m_devices.find(Key{goodbye.serial, goodbye.mac});
    if (it != m_devices.end() && it->second.online && !it->second.goodbyeAt)
        it->second.goodbyeAt = now; // checked by expireSilent
}

void Discovery::heard(const std::string &serial, const wire::Mac &mac, Clock::time_point now)
{
    auto it = m_devices.find(Key{serial, mac});
    if (it != m_devices.end() && it->second.online) {
        it->second.lastHeard = now;
        rerank(it->second);
    }
}

void Discovery::expireSilent(Clock::time_point now)
{
    // Offline devices stay in the table: they are reported online again, with
    // the right event code, when they are next heard.
    std::vector<uint32_t> probes;
    for (auto &[key, device] : m_devices) {
        if (!device.online)
            continue;
        if (device.goodbyeAt && device.lastHeard > *device.goodbyeAt)
            device.goodbyeAt.reset(); // heard after it: the GOODBYE was not the device's
        const bool leaving = device.goodbyeAt.has_value();
        const auto silent = now - device.lastHeard;
        const auto probePeriod = leaving ? kExpiryPeriod : std::clamp<Clock::duration>(device.heartbeat / 4, 1s, 10s);
        if (silent > device.silenceLimit || (leaving && now - *device.goodbyeAt >= kGoodbyeCheck)) {
            device.online = false;
            device.goodbyeAt.reset();
            rerank(device);
            report(device, VEXA_EVENT_OFFLINE);
        } else if ((leaving || silent > 2 * device.heartbeat) && now - device.lastProbe >= probePeriod
                   && probes.size() < kMaxProbesPerSweep) {
            device.lastProbe = now;
            probes.push_back(device.hint);
        }
    }
    if (!probes.empty())
        probe(probes);
}

void Discovery::report(Device &device, int eventCode)
{
    const wire::DeviceInfo &d = device.info;
    VEXA_DEVICE_REPORT r{};
    copyText(r.protocol, "VXDP/1");
    copyText(r.serialNo, d.serial);
    copyText(r.macAddr, address::formatMac(d.mac));
    copyText(r.ipv4Addr, address::formatIpv4(d.ipv4Addr));
    copyText(r.ipv4Mask, address::formatIpv4(d.ipv4Mask));
    r.typeCode = int32_t(d.typeCode);
    r.port = d.port;
    r.channelCount = d.channels;
    r.extraValue = d.httpPort;
    copyText(r.softwareVersion, d.softwareVersion);
    copyText(r.dspVersion, d.dspVersion);
    copyText(r.startTime, d.startTime);
    r.eventCode = eventCode;
    copyText(r.typeName, d.typeName);
    // The field holds an IPv4 address (24 bytes): a link-local source with its zone would not fit whole.
    if (device.sourceAddr.isV4())
        copyText(r.sourceAddr, device.sourceAddr.toString());
    copyText(r.ipv4Gateway, address::formatIpv4(d.ipv4Gateway));
    copyText(r.ipv6Addr, address::formatIpv6(d.ipv6Addr));
    if (d.ipv6Addr == wire::Ipv6{} && !device.linkLocal.isNone())
        copyText(r.ipv6Addr, address::formatScoped(device.linkLocal)); // no global address: where it answers
    copyText(r.ipv6Gateway, address::formatIpv6(d.ipv6Gateway));
    r.ipv6PrefixLen = d.ipv6PrefixLen;
    r.capabilities = d.capabilities;
    r.dhcpOn = d.dhcpOn;
    r.extInfo = d.extInfo;

    std::lock_guard gate(m_gate);
    updateHoldings(device, eventCode != VEXA_EVENT_OFFLINE);
    if (m_callback)
        m_callback(&r, m_userData);
}

// What an online device holds against the ONVIF side; called under m_gate,
// on every report and when a device's check changes what it proves.
void Discovery::updateHoldings(Device &device, bool online)
{
    const wire::DeviceInfo &d = device.info;
    // What an online certified device holds, address, serial and MAC: an
    // ONVIF record naming any of them yields. An uncertified record proves
    // nothing and displaces no one; one whose certificate is being checked
    // holds them until the check fails, so that a device speaking both
    // protocols is never listed twice while its check runs.
    const bool holds = online && (device.certified || device.checking);
    const packet::Address addr =
        holds && d.ipv4Addr != wire::Ipv4{} ? packet::Address::v4(d.ipv4Addr) : packet::Address();
    const bool claims = holds && (addr != device.reportedAddr || !device.holdsIdentity);
    if (addr != device.reportedAddr) {
        if (!device.reportedAddr.isNone() && --m_vxdpAddrs[device.reportedAddr] == 0)
            m_vxdpAddrs.erase(device.reportedAddr);
        if (!addr.isNone())
            ++m_vxdpAddrs[addr];
        device.reportedAddr = addr;
    }
    if (holds != device.holdsIdentity) {
        for (const std::string &id : {"s" + d.serial, "m" + address::formatMac(d.mac)}) {
            if (holds)
                ++m_certifiedIds[id];
            else if (--m_certifiedIds[id] == 0)
                m_certifiedIds.erase(id);
        }
        device.holdsIdentity = holds;
    }
    if (claims)
        m_onvif->yieldTo(addr, d.serial, address::formatMac(d.mac));
    if (online != device.holdsMac) {
        std::lock_guard macs(m_macMutex);
        if (online)
            ++m_vxdpMacs[d.mac];
        else if (--m_vxdpMacs[d.mac] == 0)
            m_vxdpMacs.erase(d.mac);
        device.holdsMac = online;
    }
}

} // namespace vexa
