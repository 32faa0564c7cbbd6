#include "engine.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <thread>

namespace deviceside {

namespace {

const char *modeName(Mode mode)
{
    switch (mode) {
    case Mode::Online: return "online";
    case Mode::Offline: return "offline";
    case Mode::Silent: return "silent";
    case Mode::Restarting: return "restarting";
    }
    return "?";
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

std::shared_ptr<const std::string> Simulator::Impl::hashFor(const std::string &password)
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

std::shared_ptr<const std::string> Simulator::Impl::internHash(const std::string &hash)
{
    auto &slot = hashByText[hash];
    if (!slot)
        slot = std::make_shared<const std::string>(hash);
    return slot;
}

bool Simulator::Impl::loadKeySecret(std::string &error)
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

std::array<uint8_t, 32> Simulator::Impl::deviceSecret(const Device &device, std::string_view purpose) const
{
    std::array<uint8_t, 32> out{};
    const std::string id = std::string(purpose) + device.info.key();
    crypto_generichash(out.data(), out.size(), reinterpret_cast<const uint8_t *>(id.data()), id.size(),
                       keySecret.data(), keySecret.size());
    return out;
}

void Simulator::Impl::prepare(Device &device, uint64_t counterFloor) const
{
    // The purpose-free form keeps the keys of existing state files.
    auto seed = deviceSecret(device, "");
    crypto::KeyPair keys;
    crypto_box_seed_keypair(keys.publicKey.data(), keys.secretKey.data(), seed.data());
    auto signingSeed = deviceSecret(device, "sign|");
    device.signingKey = crypto::signingKeyFromSeed(signingSeed);
    sodium_memzero(seed.data(), seed.size());
    sodium_memzero(signingSeed.data(), signingSeed.size());
    device.keys = keys;
    if (config.manufacturerKey && !device.certificate)
        device.certificate = crypto::certify(*config.manufacturerKey, keys.publicKey, device.info.serialNo,
                                             device.mac);
    if (device.deviceCertificate) // provisioned: the signature of the key derived here
        device.deviceCertificate->signingKey = crypto::signingPublicKey(device.signingKey);
    else if (config.manufacturerKey)
        device.deviceCertificate = crypto::certifyDevice(*config.manufacturerKey, keys.publicKey,
                                                         crypto::signingPublicKey(device.signingKey),
                                                         device.info.serialNo, device.mac);
    // A counter never goes back: the clock's microseconds, or past the last one saved.
    device.counter = std::max(device.counter + 1, counterFloor);
    signAnnouncement(device);
}

void Simulator::Impl::prepareAll()
{
    const uint64_t floor = uint64_t(std::chrono::duration_cast<std::chrono::microseconds>(
                                        std::chrono::system_clock::now().time_since_epoch())
                                        .count());
    const size_t workers = std::clamp<size_t>(std::thread::hardware_concurrency(), 1, 8);
    std::vector<std::thread> threads;
    for (size_t w = 0; w < workers; ++w)
        threads.emplace_back([this, w, workers, floor] {
            for (size_t i = w; i < devices.size(); i += workers)
                prepare(devices[i], floor);
        });
    for (std::thread &thread : threads)
        thread.join();
}

void Simulator::Impl::signAnnouncement(Device &device) const
{
    wire::Announce a;
    a.reason = wire::AnnounceReason::Boot;
    a.heartbeatS = config.heartbeatS;
    a.publicKey = keysOf(device).publicKey;
    a.info = toWire(device.info, device.mac);
    a.info.certificate = device.certificate;
    a.info.deviceCertificate = device.deviceCertificate;
    a.info.confirmWindowS = config.confirmWindowS;
    a.info.jobs = offeredJobs();
    wire::Bytes datagram = wire::encode(a);
    if (datagram.empty() || !device.deviceCertificate) {
        device.announcement = std::move(datagram);
        return;
    }
    const auto message = crypto::announceMessage(device.counter, a.heartbeatS, a.publicKey,
                                                 wire::announceSignedTlvs(datagram));
    device.announcement = wire::appendAnnounceSignature(
        std::move(datagram), {device.counter, crypto::sign(device.signingKey, message)});
}

void Simulator::Impl::changed(Device &device)
{
    ++device.counter;
    state.device(device.info.key()).announceCounter = device.counter;
    signAnnouncement(device);
}

std::string Simulator::Impl::labelPassword(const Device &device) const
{
    static constexpr char kAlphabet[] = "abcdefghjkmnpqrstuvwxyz23456789";
    const auto bytes = deviceSecret(device, "label|");
    std::string password;
    for (size_t i = 0; i < kLabelPasswordLength; ++i)
        password += kAlphabet[bytes[i] % (sizeof kAlphabet - 1)];
    return password;
}

Device *Simulator::Impl::findByMac(const wire::Mac &mac)
{
    const auto it = byMac.find(macKey(mac));
    return it == byMac.end() ? nullptr : &devices[it->second];
}

Device *Simulator::Impl::findBySerial(std::string_view serial)
{
    const auto it = bySerial.find(std::string(serial));
    return it == bySerial.end() ? nullptr : &devices[it->second];
}

void Simulator::Impl::countFor(const wire::Target &target, uint64_t &counter)
{
    if (target.kind == wire::Target::Kind::Mac ? findByMac(target.mac) : findBySerial(target.serial))
        ++counter;
}

Device *Simulator::Impl::findTarget(const wire::Target &target)
{
    Device *device = target.kind == wire::Target::Kind::Mac ? findByMac(target.mac)
                                                             : findBySerial(target.serial);
    return device && device->mode == Mode::Online ? device : nullptr;
}

bool Simulator::Impl::persist(Device &device, DeviceState updated)
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

void Simulator::Impl::forEachTarget(std::string_view which, std::string &out, const char *verb,
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
    d->nonceKey = crypto::randomArray<wire::kReplyKeySize>();
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
        device.deviceCertificate = saved->second.deviceCertificate ? std::optional(wire::DeviceCertificate{})
                                                                   : std::nullopt;
        if (device.deviceCertificate)
            device.deviceCertificate->signature = *saved->second.deviceCertificate;
        device.codeKey = saved->second.codeKey;
        device.counter = saved->second.announceCounter;
    }
    d->ownPasswords.clear();
    d->prepareAll();
    // A new state file records its key secret right away, before any change.
    return d->state.save(error);
}

void Simulator::start(Clock::time_point now)
{
    std::uniform_int_distribution<int> bootMs(0, 999);
    for (Device &device : d->devices) {
        device.startedAt = now;
        d->setMode(device, Mode::Online);
        if (d->config.bootAnnounce)
            d->schedule(device, TimerKind::Boot, now + milliseconds(bootMs(d->rng)), {},
                        kAnnounceRepeats);
        d->scheduleHeartbeat(device, now);
    }
}

void Simulator::receive(std::span<const uint8_t> datagram, int ttl, Clock::time_point now,
                        const packet::Address &source, const packet::Address &destination)
{
    d->source = source;
    // Only on-link senders are believed.
    if (ttl != wire::kRequiredTtl || datagram.size() > wire::kMaxDatagram)
        return;
    // Everything but the four requests a device serves is ignored before the full decode.
    const auto type = wire::peekType(datagram);
    if (!type || (*type != wire::MsgType::Inquiry && *type != wire::MsgType::NonceRequest &&
                  *type != wire::MsgType::Modify && *type != wire::MsgType::Reset &&
                  *type != wire::MsgType::InquiryRepeat && *type != wire::MsgType::Confirm &&
                  *type != wire::MsgType::Job))
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
    } else if (const auto *m = std::get_if<wire::Job>(&*message)) {
        d->countFor(wire::Target::byMac(m->target), d->received.job);
        d->onJob(*m, datagram, now);
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
    d->changed(*device);
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
        // A restarting device waits only for its return.
        if (timer.generation != device.generation
            || device.mode != (timer.kind == TimerKind::Return ? Mode::Restarting : Mode::Online))
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
        case TimerKind::Return:
            d->comeBack(device, now);
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
               std::to_string(r.modify) + " reset " + std::to_string(r.reset) + " job " + std::to_string(r.job) + "\n";
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

std::array<uint8_t, 32> Simulator::signingKey(std::string_view serial)
{
    Device *device = d->findBySerial(serial);
    return device ? vexa::crypto::signingPublicKey(device->signingKey) : std::array<uint8_t, 32>{};
}

} // namespace deviceside

