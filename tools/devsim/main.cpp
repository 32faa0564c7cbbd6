// vexa-devsim: a network of simulated devices answering VXDP on the chosen
// interfaces (docs/devsim.md).

#include <vexa/crypto.h>
#include <deviceside/devicefile.h>
#include <deviceside/generator.h>
#include <deviceside/onvifsim.h>
#include <vexa/passwordfile.h>
#include <deviceside/serveloop.h>
#include <deviceside/simulator.h>
#include <deviceside/statefile.h>
#include <packet/transport.h>
#include <vexa/wire.h>

#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <utility>

namespace {

constexpr const char *kUsage =
    "usage: vexa-devsim (--devices FILE | --count N) [--password PW | --password-file FILE]\n"
    "                   [--factory-key FILE] [--manufacturer-key FILE]\n"
    "                   [--state FILE] [--heartbeat SECONDS] [--seed N] [--no-boot-announce]\n"
    "                   [--onvif N] [--onvif-open-reads] [--onvif-http-digest] [--restart-delay SECONDS]\n"
    "Simulates VXDP and ONVIF devices on the interfaces named by VEXA_INTERFACES.\n"
    "Standard input: offline SERIAL|all, online SERIAL|all, silence SERIAL|all, list, show SERIAL,\n"
    "stats, quit; the end of a piped input quits too.\n";

volatile std::sig_atomic_t g_stop = 0;

void onSignal(int)
{
    g_stop = 1;
}

struct Options {
    std::string devicesPath;
    size_t count = 0;
    std::optional<std::string> password;
    std::string factoryKeyPath;
    std::string manufacturerKeyPath;
    std::string statePath;
    uint16_t heartbeatS = 30;
    uint16_t restartS = 5;
    uint64_t seed = 1;
    bool bootAnnounce = true;
    size_t onvifCount = 0; // of the --count devices, how many speak only ONVIF
    bool onvifOpenReads = false;
    bool onvifHttpDigest = false;
};

std::optional<uint64_t> parseNumber(const std::string &text, uint64_t min, uint64_t max)
{
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 19)
        return std::nullopt;
    const uint64_t n = std::stoull(text);
    return n >= min && n <= max ? std::optional(n) : std::nullopt;
}

std::optional<Options> parseOptions(int argc, char **argv, std::string &error)
{
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            error.clear();
            return std::nullopt;
        }
        if (arg == "--no-boot-announce") {
            o.bootAnnounce = false;
            continue;
        }
        if (arg == "--onvif-open-reads" || arg == "--onvif-http-digest") {
            (arg == "--onvif-open-reads" ? o.onvifOpenReads : o.onvifHttpDigest) = true;
            continue;
        }
        if (i + 1 >= argc) {
            error = arg.rfind("--", 0) == 0 ? arg + " needs a value" : "unexpected argument " + arg;
            return std::nullopt;
        }
        const std::string value = argv[++i];
        if (arg == "--devices") {
            o.devicesPath = value;
        } else if (arg == "--count") {
            const auto n = parseNumber(value, 1, deviceside::kMaxGeneratedDevices);
            if (!n) {
                error = "--count must lie in 1.." + std::to_string(deviceside::kMaxGeneratedDevices);
                return std::nullopt;
            }
            o.count = *n;
        } else if (arg == "--onvif") {
            const auto n = parseNumber(value, 0, deviceside::kMaxGeneratedDevices);
            if (!n) {
                error = "--onvif must lie in 0.." + std::to_string(deviceside::kMaxGeneratedDevices);
                return std::nullopt;
            }
            o.onvifCount = *n;
        } else if (arg == "--password" || arg == "--password-file") {
            if (o.password) {
                error = "give the password once";
                return std::nullopt;
            }
            // From a file the password stays out of the process list; standard input carries commands.
            if (arg == "--password-file" && value == "-") {
                error = "--password-file needs a file: standard input carries commands";
                return std::nullopt;
            }
            o.password = arg == "--password" ? std::optional(value) : vexa::passwordfile::read(value, error);
            if (!o.password)
                return std::nullopt;
            if (o.password->empty() || o.password->size() > vexa::wire::kMaxPassword) {
                error = arg + ": the password must have 1.." + std::to_string(vexa::wire::kMaxPassword) +
                        " characters";
                return std::nullopt;
            }
        } else if (arg == "--factory-key") {
            o.factoryKeyPath = value;
        } else if (arg == "--manufacturer-key") {
            o.manufacturerKeyPath = value;
        } else if (arg == "--state") {
            o.statePath = value;
        } else if (arg == "--heartbeat") {
            const auto n = parseNumber(value, 1, 65535);
            if (!n) {
                error = "--heartbeat must lie in 1..65535 seconds";
                return std::nullopt;
            }
            o.heartbeatS = uint16_t(*n);
        } else if (arg == "--restart-delay") {
            const auto n = parseNumber(value, 1, 3600);
            if (!n) {
                error = "--restart-delay must lie in 1..3600 seconds";
                return std::nullopt;
            }
            o.restartS = uint16_t(*n);
        } else if (arg == "--seed") {
            const auto n = parseNumber(value, 0, UINT64_MAX);
            if (!n) {
                error = "--seed must be a decimal number";
                return std::nullopt;
            }
            o.seed = *n;
        } else {
            error = "unknown option " + arg;
            return std::nullopt;
        }
    }
    if (o.devicesPath.empty() == (o.count == 0)) {
        error = "give exactly one of --devices FILE and --count N";
        return std::nullopt;
    }
    if (o.onvifCount > o.count) {
        error = "--onvif needs --count N of at least as many devices";
        return std::nullopt;
    }
    return o;
}

std::string programDir()
{
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string(".") : exe.parent_path().string();
}

// The longest command line taken; a longer one is dropped with one error
// answer, so an input without line ends cannot grow the buffer without bound.
constexpr size_t kMaxCommandLine = 1024;
// Reads per call: an input that is always ready (/dev/zero) must leave the
// serve loop its turn, and with it the check for a signal.
constexpr int kReadsPerPoll = 16;

// Reads what standard input has ready without blocking and runs every
// complete line. End of input stops the simulator when the input is a pipe
// or a socket: whoever drove it has gone. A terminal, a file or /dev/null
// (a background start) only stops the reading; a signal or `quit` ends it.
class StdinReader
{
public:
    void poll(deviceside::Simulator &sim, bool &quit)
    {
        for (int reads = 0; !m_closed && !quit && reads < kReadsPerPoll; ++reads) {
            pollfd p{STDIN_FILENO, POLLIN, 0};
            if (::poll(&p, 1, 0) <= 0)
                return;
            if (p.revents & POLLNVAL) {
                m_closed = true;
                return;
            }
            char chunk[4096];
            const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
            if (n < 0 && (errno == EINTR || errno == EAGAIN))
                return;
            if (n <= 0) {
                m_closed = true;
                if (inputIsDriven())
                    quit = true;
                return;
            }
            take(std::string_view(chunk, size_t(n)), sim, quit);
        }
    }

private:
    static bool inputIsDriven()
    {
        struct stat st {};
        return fstat(STDIN_FILENO, &st) == 0 && (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode));
    }

    static void answer(const std::string &text)
    {
        std::fputs(text.c_str(), stdout);
        std::fflush(stdout);
    }

    void take(std::string_view data, deviceside::Simulator &sim, bool &quit)
    {
        while (!quit && !data.empty()) {
            const size_t end = data.find('\n');
            const std::string_view part = data.substr(0, end);
            if (!m_dropping && m_line.size() + part.size() > kMaxCommandLine) {
                m_dropping = true;
                m_line.clear();
                answer("error: command line longer than " + std::to_string(kMaxCommandLine) +
                       " characters, dropped\n");
            }
            if (!m_dropping)
                m_line.append(part);
            if (end == std::string_view::npos)
                return;
            data.remove_prefix(end + 1);
            if (std::exchange(m_dropping, false))
                continue;
            std::string out;
            sim.command(m_line, deviceside::Clock::now(), out, quit);
            m_line.clear();
            answer(out);
        }
    }

    std::string m_line;
    /** Inside an over-long line: everything up to its end is dropped. */
    bool m_dropping = false;
    bool m_closed = false;
};

int run(const Options &options)
{
    std::vector<deviceside::DeviceEntry> devices;
    bool openReads = options.onvifOpenReads;
    std::string defaultPassword = deviceside::Simulator::Config().defaultPassword;
    std::string error;
    if (!options.devicesPath.empty()) {
        auto file = deviceside::loadDeviceFile(options.devicesPath, error);
        if (!file) {
            std::fprintf(stderr, "vexa-devsim: %s\n", error.c_str());
            return 2;
        }
        devices = std::move(file->devices);
        defaultPassword = file->password.value_or(defaultPassword);
        openReads = openReads || file->onvifOpenReads;
    } else {
        for (auto &info : deviceside::generateDevices(options.count, options.seed))
            devices.push_back({std::move(info), std::nullopt, deviceside::Protocols::Vxdp, {}});
        deviceside::makeOnvifDevices(devices, options.onvifCount);
    }
    auto onvifDevices = deviceside::splitOnvifDevices(devices);
    defaultPassword = options.password.value_or(defaultPassword);

    deviceside::Simulator::Config config;
    config.heartbeatS = options.heartbeatS;
    config.restartS = options.restartS;
    config.bootAnnounce = options.bootAnnounce;
    config.defaultPassword = defaultPassword;
    config.seed = options.seed;
    // Without a key file of their own, the simulated devices come from the demo manufacturer.
    const auto readKey = [](const std::string &given, const char *demo, const char *what,
                            const char *without) -> std::optional<std::optional<std::array<uint8_t, 32>>> {
        const std::string path = given.empty() ? programDir() + "/" + demo : given;
        const auto key = vexa::crypto::readFactoryKey(path);
        if (!key && !given.empty()) {
            std::fprintf(stderr, "vexa-devsim: %s: not a %s (64 hex characters)\n", path.c_str(), what);
            return std::nullopt;
        }
        if (!key)
            std::fprintf(stderr, "vexa-devsim: warning: no %s, %s\n", what, without);
        return key;
    };
    const auto masterKey = readKey(options.factoryKeyPath, "demo-factory.key", "factory key",
                                   "every security code is refused");
    const auto manufacturerSeed = readKey(options.manufacturerKeyPath, "demo-manufacturer.key",
                                          "manufacturer key", "device keys are uncertified");
    if (!masterKey || !manufacturerSeed)
        return 2;
    config.masterKey = *masterKey;
    if (*manufacturerSeed)
        config.manufacturerKey = vexa::crypto::manufacturerKeyFromSeed(**manufacturerSeed);

    deviceside::StateFile state(options.statePath);
    if (!state.load(error)) {
        std::fprintf(stderr, "vexa-devsim: %s\n", error.c_str());
        return 2;
    }

    const PKT_Driver *driver = packet::driver(&error);
    if (!driver) {
        std::fprintf(stderr, "vexa-devsim: %s\n", error.c_str());
        return 1;
    }
    // Every inquiry and request lands here; a few hundred kilobytes absorb bursts from several tools.
    deviceside::ServeLoop loop(driver, 1 << 20);
    if (const int rc = loop.open(); rc < 0) {
        std::fprintf(stderr, "vexa-devsim: cannot open the device socket: %s\n", std::strerror(-rc));
        return 1;
    }
    deviceside::Simulator sim(config, std::move(devices), state,
                              [&](std::span<const uint8_t> datagram) { loop.send(datagram); });
    if (!sim.init(error)) {
        std::fprintf(stderr, "vexa-devsim: %s\n", error.c_str());
        return 1;
    }

    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    deviceside::OnvifSimulator onvif({defaultPassword, openReads, options.onvifHttpDigest, options.seed, options.restartS},
                                     std::move(onvifDevices),
                                     state);
    if (!onvif.start(driver, options.bootAnnounce, error)) {
        std::fprintf(stderr, "vexa-devsim: %s\n", error.c_str());
        return 1;
    }
    sim.start(deviceside::Clock::now());
    std::printf("ready %zu devices\n", sim.deviceCount() + onvif.onlyOnvifCount());
    std::fflush(stdout);

    StdinReader input;
    loop.run(sim, g_stop, [&](deviceside::Clock::time_point) {
        bool quit = false;
        input.poll(sim, quit);
        onvif.persist(state);
        return !quit;
    });
    sim.shutdown();
    onvif.shutdown();
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
        std::fprintf(stderr, "vexa-devsim: %s\n%s", error.c_str(), kUsage);
        return 2;
    }
    return run(*options);
}
