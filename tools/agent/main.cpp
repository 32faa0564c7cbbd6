// vexa-agent: the device side of VXDP for the Linux machine it runs on, with
// its real interface and addresses (docs/agent.md).

#include "agentconfig.h"
#include "arpprobe.h"
#include "demokeys.h"
#include "hook.h"
#include "netlink.h"
#include "networkchange.h"

#include <vexa/address.h>
#include <vexa/crypto.h>
#include <deviceside/deviceinfo.h>
#include <deviceside/serveloop.h>
#include <deviceside/simulator.h>
#include <deviceside/statefile.h>
#include <packet/transport.h>
#include <vexa/wire.h>

#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <iostream>
#include <string>

namespace {

constexpr const char *kUsage =
    "usage: vexa-agent [--config FILE]\n"
    "       vexa-agent --set-password [--config FILE]\n"
    "       vexa-agent --provision --manufacturer-key FILE --factory-key FILE [--demo] [--config FILE]\n"
    "Answers VXDP for this machine on the configured interface (default config /etc/vexa-agent.conf).\n"
    "--set-password reads the administrator password from the terminal (no echo) or standard input.\n"
    "--provision stores the device certificate and security-code key and prints the label password;\n"
    "it refuses the published demo keys unless --demo says this device is for trying out only.\n";

// Without netlink events the kernel is read again this often anyway.
constexpr auto kRereadInterval = std::chrono::seconds(5);
// How long a new address is probed for on the link before the change is accepted.
constexpr auto kProbeWait = std::chrono::milliseconds(400);

volatile std::sig_atomic_t g_stop = 0;

void onSignal(int)
{
    g_stop = 1;
}

struct Options {
    std::string configPath = "/etc/vexa-agent.conf";
    bool setPassword = false;
    bool provision = false;
    bool demo = false; ///< the demo keys are accepted for provisioning
    std::string manufacturerKey;
    std::string factoryKey;
};

std::optional<Options> parseOptions(int argc, char **argv, std::string &error)
{
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            error.clear();
            return std::nullopt;
        }
        if (arg == "--set-password" || arg == "--provision" || arg == "--demo") {
            (arg == "--provision" ? o.provision : arg == "--demo" ? o.demo : o.setPassword) = true;
            continue;
        }
        if (i + 1 >= argc || (arg != "--config" && arg != "--manufacturer-key" && arg != "--factory-key")) {
            error = i + 1 >= argc && arg.rfind("--", 0) == 0 ? arg + " needs a value" : "unknown option " + arg;
            return std::nullopt;
        }
        (arg == "--config" ? o.configPath : arg == "--factory-key" ? o.factoryKey : o.manufacturerKey) = argv[++i];
    }
    if (o.setPassword && o.provision) {
        error = "--set-password and --provision are separate steps";
        return std::nullopt;
    }
    if (o.demo && !o.provision) {
        error = "--demo goes with --provision";
        return std::nullopt;
    }
    if (o.provision && (o.manufacturerKey.empty() || o.factoryKey.empty())) {
        error = "--provision needs --manufacturer-key FILE and --factory-key FILE";
        return std::nullopt;
    }
    return o;
}

void fail(const std::string &message)
{
    std::fprintf(stderr, "vexa-agent: %s\n", message.c_str());
}

// The machine as the device it announces: identity from the configuration, network from the kernel.
deviceside::DeviceInfo deviceInfo(const agent::AgentConfig &c, const agent::InterfaceState &iface)
{
    deviceside::DeviceInfo info;
    info.serialNo = c.serial;
    info.macAddr = iface.mac;
    info.typeCode = int32_t(c.typeCode);
    info.typeName = c.typeName;
    info.httpPort = c.httpPort;
    info.channelCount = c.channels;
    info.softwareVersion = c.softwareVersion;
    info.dspVersion = c.dspVersion;
    char started[32];
    const std::time_t now = std::time(nullptr);
    std::strftime(started, sizeof started, "%Y-%m-%d %H:%M:%S", std::localtime(&now));
    info.startTime = started;
    // IPv6 is reported, not changed: the back ends change IPv4 only.
    info.capabilities = deviceside::CapIpv6;
    info.extInfo = 1;
    deviceside::NetworkState network = iface.network;
    network.port = c.port;
    network.applyTo(info);
    return info;
}

struct Machine {
    agent::AgentConfig config;
    std::unique_ptr<agent::Netlink> netlink;
    agent::InterfaceState iface;
    deviceside::StateFile state;
};

std::optional<Machine> openMachine(const Options &options)
{
    std::string error;
    Machine m;
    auto config = agent::loadConfig(options.configPath, error);
    m.netlink = config ? agent::Netlink::open(error) : nullptr;
    auto iface = m.netlink ? m.netlink->read(config->interface, error) : std::nullopt;
    if (!iface) {
        fail(error);
        return std::nullopt;
    }
    m.config = std::move(*config);
    m.iface = std::move(*iface);
    m.state = deviceside::StateFile(m.config.statePath);
    if (!agent::makeStateDirectory(m.config.statePath, error) || !m.state.load(error)) {
        fail(error);
        return std::nullopt;
    }
    return m;
}

std::string deviceKey(const Machine &m)
{
    deviceside::DeviceInfo info;
    info.serialNo = m.config.serial;
    info.macAddr = m.iface.mac;
    return info.key();
}

bool saveState(deviceside::StateFile &state)
{
    std::string error;
    if (!state.save(error)) {
        fail(error);
        return false;
    }
    return true;
}

std::optional<std::string> readPassword()
{
    const bool terminal = isatty(STDIN_FILENO);
    termios saved{};
    if (terminal) {
        std::fputs("New administrator password: ", stderr);
        tcgetattr(STDIN_FILENO, &saved);
        termios quiet = saved;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    std::string password;
    const bool read = bool(std::getline(std::cin, password));
    if (terminal) {
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
        std::fputs("\n", stderr);
    }
    if (!read)
        return std::nullopt;
    if (!password.empty() && password.back() == '\r')
        password.pop_back();
    return password;
}

int setPassword(const Options &options)
{
    auto m = openMachine(options);
    if (!m)
        return 1;
    const auto password = readPassword();
    if (!password || password->empty() || password->size() > vexa::wire::kMaxPassword ||
        password->find('\0') != std::string::npos) {
        fail("the password must have 1.." + std::to_string(vexa::wire::kMaxPassword) + " characters");
        return 2;
    }
    const auto hash = vexa::crypto::init() ? vexa::crypto::hashPassword(*password) : std::nullopt;
    if (!hash) {
        fail("cannot hash the password");
        return 1;
    }
    m->state.device(deviceKey(*m)).passwordHash = *hash;
    if (!saveState(m->state))
        return 1;
    std::printf("password set for %s (%s)\n", m->config.serial.c_str(), m->iface.mac.c_str());
    return 0;
}

deviceside::Simulator::Config simulatorConfig(const Machine &m)
{
    deviceside::Simulator::Config config;
    config.heartbeatS = m.config.heartbeatS;
    config.confirmWindowS = m.config.confirmWindowS;
    // Never used: the state file's hash takes its place, and without one the agent does not start.
    const auto random = vexa::crypto::randomArray<16>();
    config.defaultPassword.clear();
    for (uint8_t b : random)
        config.defaultPassword += "0123456789abcdef"[b & 15];
    return config;
}

// The factory step: the manufacturer certifies the device key and hands the
// device its own security-code key; neither master key stays on the device.
int provision(const Options &options)
{
    const auto seed = vexa::crypto::readFactoryKey(options.manufacturerKey);
    const auto master = vexa::crypto::readFactoryKey(options.factoryKey);
    if (!seed || !master) {
        fail("key files hold 64 hex characters on their first line");
        return 2;
    }
    if (!options.demo && (agent::isDemoKey(*seed) || agent::isDemoKey(*master))) {
        fail("refusing the demo keys: they are published, so anyone could impersonate this device and reset "
             "its password. Provision with your manufacturer's keys (vexa-keygen makes them), or add --demo "
             "for a device that is only for trying out");
        return 2;
    }
    auto m = openMachine(options);
    if (!m)
        return 1;
    std::string error;
    deviceside::Simulator sim(simulatorConfig(*m), {{deviceInfo(m->config, m->iface), std::nullopt}}, m->state,
                              [](std::span<const uint8_t>) {});
    if (!sim.init(error)) {
        fail(error);
        return 1;
    }
    deviceside::DeviceState &slot = m->state.device(deviceKey(*m));
    const auto manufacturer = vexa::crypto::manufacturerKeyFromSeed(*seed);
    const auto mac = *vexa::address::parseMac(m->iface.mac);
    slot.certificate = vexa::crypto::certify(manufacturer, sim.publicKey(m->config.serial), m->config.serial, mac);
    slot.deviceCertificate = vexa::crypto::certifyDevice(manufacturer, sim.publicKey(m->config.serial),
                                                         sim.signingKey(m->config.serial), m->config.serial, mac)
                                 .signature;
    slot.codeKey = vexa::crypto::deviceCodeKey(*master, m->config.serial);
    if (!saveState(m->state))
        return 1;
    std::printf("provisioned %s (%s); label password %s\n", m->config.serial.c_str(), m->iface.mac.c_str(),
                sim.labelPassword(m->config.serial).c_str());
    return 0;
}

int run(const Options &options)
{
    auto m = openMachine(options);
    if (!m)
        return 1;
    const auto saved = m->state.devices().find(deviceKey(*m));
    if (saved == m->state.devices().end() || !saved->second.passwordHash) {
        fail("no administrator password for " + m->config.serial + " (" + m->iface.mac +
             "): run vexa-agent --set-password first");
        return 2;
    }
    if (!saved->second.certificate)
        std::fprintf(stderr, "vexa-agent: warning: not provisioned, tools will not send requests to this "
                             "uncertified device (vexa-agent --provision)\n");
    // The agent speaks on its own interface only; VEXA_INTERFACES, when set, still has the last word.
    ::setenv("VEXA_INTERFACES", m->iface.name.c_str(), 0);

    // The kernel, not the state file, knows the addresses; the state keeps the service port.
    const uint16_t port = saved->second.network ? saved->second.network->port : m->config.port;
    m->state.device(deviceKey(*m)).network.emplace(m->iface.network).port = port;

    std::string error;
    const PKT_Driver *driver = packet::driver(&error);
    if (!driver) {
        fail(error);
        return 1;
    }
    // Without an IPv4 address the interface is not chosen: the loop tries again each second.
    deviceside::ServeLoop loop(driver, 1 << 18);
    loop.open();
    deviceside::Simulator::Config config = simulatorConfig(*m);
    // Asked before the RESULT goes out: a change that cannot work is refused with nothing touched.
    config.checkNetwork = [&](const deviceside::NetworkState &from, const deviceside::NetworkState &to) {
        if (const auto problem = agent::planProblem(from, to)) {
            fail("refusing the change: " + *problem);
            return false;
        }
        if (to.ipv4Addr == from.ipv4Addr)
            return true;
        std::string error;
        const auto probe = agent::probeAddress(m->iface.index, *vexa::address::parseMac(m->iface.mac),
                                               *deviceside::parseIpv4(to.ipv4Addr), kProbeWait, error);
        if (!probe.asked || probe.claimant) {
            fail("refusing the change: " + (probe.claimant ? to.ipv4Addr + " is in use on the link by "
                                                                 + vexa::address::formatMac(*probe.claimant)
                                                           : "cannot ask whether " + to.ipv4Addr + " is free: " + error));
            return false;
        }
        return true;
    };
    agent::NetworkChanger changer(*m->netlink, m->iface.index);
    bool hookRunBack = true; // false: a failed apply whose rollback script failed too
    config.changeNetwork = [&](deviceside::Simulator::NetworkChange change, const deviceside::NetworkState &from,
                               const deviceside::NetworkState &to) {
        const bool apply = change == deviceside::Simulator::NetworkChange::Apply;
        std::string error;
        bool ok;
        if (m->config.backend == agent::Backend::Hook) {
            if (!apply && from == to && hookRunBack)
                return true; // a failed change, run back at once
            ok = agent::runHook(m->config.hook, apply ? "apply" : "rollback", m->iface.name, from, to, error);
            // A script that failed part way is run the other way: the machine goes back to `from`.
            std::string back;
            hookRunBack = ok || !apply || agent::runHook(m->config.hook, "rollback", m->iface.name, to, from, back);
            if (!hookRunBack)
                error += "; the rollback script failed too: " + back;
        } else {
            ok = apply ? changer.apply(from, to, error) : changer.rollBack(from, to, error);
        }
        if (ok)
            std::fprintf(stderr, "vexa-agent: %s %s/%s gateway %s\n", apply ? "changed to" : "rolled back to",
                         to.ipv4Addr.c_str(), to.ipv4Mask.c_str(), to.ipv4Gateway.empty() ? "-" : to.ipv4Gateway.c_str());
        else
            fail(error);
        loop.reopenSoon();
        return ok;
    };
    // Commissioning jobs: the clock is read always and the password is the agent's own (its
    // state file); the clock is set only through the hook back end, and the machine restarted
    // only through a reboot hook of its own, never by default.
    const bool hook = m->config.backend == agent::Backend::Hook;
    config.jobs = uint16_t(vexa::wire::jobBit(vexa::wire::JobKind::ReadClock)
                           | vexa::wire::jobBit(vexa::wire::JobKind::SetPassword)
                           | (hook ? vexa::wire::jobBit(vexa::wire::JobKind::SetClock)
                                         | vexa::wire::jobBit(vexa::wire::JobKind::SetNtp)
                                   : 0)
                           | (m->config.rebootHook.empty() ? 0 : vexa::wire::jobBit(vexa::wire::JobKind::Reboot)));
    config.setClock = [&](std::optional<std::chrono::system_clock::time_point> utc,
                          const std::vector<std::string> &servers) {
        std::string error;
        const bool ok = agent::runClockHook(m->config.hook, utc, servers, error);
        if (!ok)
            fail(error);
        return ok;
    };
    config.restart = [&] {
        std::string error;
        if (!agent::runRebootHook(m->config.rebootHook, error))
            fail(error);
    };
    deviceside::Simulator sim(config, {{deviceInfo(m->config, m->iface), std::nullopt}}, m->state,
                              [&](std::span<const uint8_t> datagram) { loop.send(datagram); });
    if (!sim.init(error)) {
        fail(error);
        return 1;
    }

    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    sim.start(deviceside::Clock::now());
    std::printf("ready %s %s %s\n", m->config.serial.c_str(), m->iface.mac.c_str(), m->iface.name.c_str());
    std::fflush(stdout);

    auto nextRead = deviceside::Clock::now() + kRereadInterval;
    loop.run(sim, g_stop, [&](deviceside::Clock::time_point now) {
        // A change made on the machine by other means is news for the tools too.
        if (m->netlink->eventsArrived() || now >= nextRead) {
            nextRead = now + kRereadInterval;
            if (auto iface = m->netlink->read(m->iface.name, error); iface && iface->mac == m->iface.mac) {
                if (iface->network.ipv4Addr != m->iface.network.ipv4Addr)
                    loop.reopenSoon();
                m->iface = std::move(*iface);
                sim.observe(m->config.serial, m->iface.network, now);
            }
        }
        return true;
    });
    sim.shutdown();
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    std::string error;
    const auto options = parseOptions(argc, argv, error);
    if (!options) {
        if (error.empty()) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        std::fprintf(stderr, "vexa-agent: %s\n%s", error.c_str(), kUsage);
        return 2;
    }
    if (options->setPassword)
        return setPassword(*options);
    if (options->provision)
        return provision(*options);
    return run(*options);
}
