// vexa-bench-discovery: how long discovery takes to hear N simulated devices.
//
// Starts vexa-devsim --count N (beside this program) on loopback, devices
// already running, then times K runs of Start + SendInquiry up to the N-th
// online report, with a Stop between runs.
//
// With --onvif plain|details every simulated device speaks ONVIF alone:
// found by WS-Discovery, and with "details" listed once device management
// has been read (the devices open their reads to anyone).
//
// With --onvif-lan plain|details (root) the ONVIF devices sit behind a veth
// pair, each on an address of the simulator's end, and the tool's neighbour
// table holds one complete entry per device, as on a LAN.
//
// With --flood RATE, every run also receives RATE bogus certificates a second
// (announcements of made-up devices whose certificate has a canonical S, so
// that each one costs a full check) from 250 forged loopback addresses,
// starting 5 s before the inquiry; the figures are those of the simulator's
// genuine devices.
//
// With --loss P,Q,... (root) the tool and the simulator sit in two network
// namespaces of their own joined by a veth pair, each dropping P % of the
// protocol datagrams it receives at random (nftables), and every run gets the
// 3 s an installer waits: it prints the share found, duplicate online events,
// the median time to the last device found and the datagrams sent each way.
//
// With --families v4,v6,both (root) the devices sit behind such a veth pair
// without loss, and the runs are measured once per item listed, the link
// carrying that family alone (IPv6: link-local addresses only, IPv4 switched
// off on it; IPv4: IPv6 switched off) or both, one after the other in this
// one run.

#include "devsimprocess.h"

#include <vexa/crypto.h>
#include <vexa.h>
#include <vexa/wire.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <mutex>
#include <optional>
#include <sched.h>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr const char *kBogusPrefix = "BOGUS-";

// Bogus certificates at a steady rate from forged loopback source addresses,
// for as long as it lives.
class BogusFlood {
public:
    explicit BogusFlood(int perSecond) : m_perSecond(perSecond)
    {
        for (uint32_t s = 1; s <= 250; ++s) {
            const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
            sockaddr_in from{};
            from.sin_family = AF_INET;
            from.sin_addr.s_addr = htonl(0x7F010000 + s); // 127.1.0.s
            const int ttl = 255;
            const in_addr loopback{htonl(INADDR_LOOPBACK)};
            if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr *>(&from), sizeof from) != 0
                || ::setsockopt(fd, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl) != 0
                || ::setsockopt(fd, IPPROTO_IP, IP_MULTICAST_IF, &loopback, sizeof loopback) != 0) {
                if (fd >= 0)
                    ::close(fd);
                continue;
            }
            m_sockets.push_back(fd);
        }
        m_thread = std::thread([this] { run(); });
    }
    ~BogusFlood()
    {
        m_stop = true;
        m_thread.join();
        for (int fd : m_sockets)
            ::close(fd);
    }
    BogusFlood(const BogusFlood &) = delete;
    BogusFlood &operator=(const BogusFlood &) = delete;

private:
    void run()
    {
        using namespace vexa;
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(wire::kPort);
        to.sin_addr.s_addr = htonl(wire::kToolGroup);
        wire::Announce bogus{wire::AnnounceReason::Boot, 30, {}, crypto::generateKeyPair().publicKey, {}};
        bogus.info.typeName = "BOGUS";
        uint64_t sent = 0;
        const auto start = Clock::now();
        while (!m_stop && !m_sockets.empty()) {
            // Paced by the millisecond, so the rate holds whatever the scheduler does.
            const auto due = uint64_t(std::chrono::duration<double>(Clock::now() - start).count() * m_perSecond);
            for (; sent < due; ++sent) {
                bogus.info.serial = kBogusPrefix + std::to_string(sent);
                bogus.info.mac = {0x02, 0xB0, uint8_t(sent >> 24), uint8_t(sent >> 16), uint8_t(sent >> 8),
                                  uint8_t(sent)};
                auto &certificate = bogus.info.certificate.emplace();
                crypto::randomBytes(certificate);
                certificate[63] &= 0x0F; // S below the group order: each one costs a full check
                const wire::Bytes b = wire::encode(bogus);
                ::sendto(m_sockets[sent % m_sockets.size()], b.data(), b.size(), 0,
                         reinterpret_cast<const sockaddr *>(&to), sizeof to);
            }
            std::this_thread::sleep_for(1ms);
        }
    }

    const int m_perSecond;
    std::vector<int> m_sockets;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

// Online reports of one run; filled on the library's thread.
struct Run {
    size_t expected = 0;
    std::mutex mutex;
    std::condition_variable done;
    std::unordered_set<std::string> seen;
    size_t duplicates = 0;
    Clock::time_point last;

    static void callback(const VEXA_DEVICE_REPORT *r, void *user)
    {
        if (r->eventCode == VEXA_EVENT_ONLINE || r->eventCode == VEXA_EVENT_ANNOUNCE)
            static_cast<Run *>(user)->online(*r);
    }

    void online(const VEXA_DEVICE_REPORT &r)
    {
        if (std::strncmp(r.serialNo, kBogusPrefix, std::strlen(kBogusPrefix)) == 0)
            return; // the flood's, not the simulator's
        std::string key(r.serialNo, strnlen(r.serialNo, sizeof r.serialNo));
        key += '|';
        key.append(r.macAddr, strnlen(r.macAddr, sizeof r.macAddr));
        std::lock_guard lock(mutex);
        if (!seen.insert(std::move(key)).second) {
            ++duplicates;
            return;
        }
        last = Clock::now();
        if (seen.size() == expected)
            done.notify_all();
    }
};

int usage()
{
    std::fputs("usage: vexa-bench-discovery --devices N [--runs K] [--onvif plain|details]\n"
               "                            [--onvif-lan plain|details] [--flood RATE]\n"
               "                            [--loss PERCENT[,PERCENT...]] [--families v4|v6|both[,...]]\n",
               stderr);
    return 2;
}

// Two namespaces joined by a veth pair; each drops a share of the protocol
// datagrams it receives and counts those that arrived before the drop.
class LossyLink {
public:
    LossyLink() : m_tool("vxbt" + std::to_string(getpid())), m_dev("vxbd" + std::to_string(getpid())) {}
    ~LossyLink()
    {
        for (const std::string &ns : {m_tool, m_dev})
            shell("ip netns del " + ns + " 2>/dev/null");
    }
    LossyLink(const LossyLink &) = delete;
    LossyLink &operator=(const LossyLink &) = delete;

    const std::string &deviceNamespace() const { return m_dev; }

    bool setUp()
    {
        if (!shell("ip netns add " + m_tool) || !shell("ip netns add " + m_dev)
            || !shell(in(m_tool) + "ip link add vx0 type veth peer name vx0 netns " + m_dev))
            return false;
        int host = 1;
        for (const std::string &ns : {m_tool, m_dev}) {
            // Link-local addresses at once: no duplicate detection to wait for.
            if (!shell(in(ns) + "ip link set lo up") || !shell(in(ns) + "sysctl -qw net.ipv6.conf.vx0.accept_dad=0")
                || !shell(in(ns) + "ip link set vx0 up")
                || !shell(in(ns) + "ip addr add 10.78.0." + std::to_string(host++) + "/24 dev vx0")
                || !shell(in(ns) + "ip route add default dev vx0"))
                return false;
        }
        return true;
    }

    /** Leaves the link to `families` (PKT_FAMILY_* bits): the other's addresses go from both ends. */
    bool setFamilies(int families)
    {
        int host = 1;
        for (const std::string &ns : {m_tool, m_dev}) {
            const std::string addr = "10.78.0." + std::to_string(host++) + "/24";
            const bool ok = shell(in(ns) + "sysctl -qw net.ipv6.conf.vx0.disable_ipv6=" + (families & 2 ? "0" : "1"))
                && shell(in(ns) + (families & 1 ? "ip addr replace " + addr + " dev vx0" : "ip -4 addr flush dev vx0"));
            if (!ok)
                return false;
        }
        // The simulator follows the link's news; IPv6 needs its link-local address back first.
        std::this_thread::sleep_for(1500ms);
        return true;
    }

    /** Replaces both namespaces' rules, which also zeroes the counters. */
    bool setLoss(int percent)
    {
        const std::string table = "table inet vxloss {\n counter sent {}\n chain input {\n"
                                  "  type filter hook input priority 0;\n"
                                  "  udp dport 39310 counter name sent\n"
                                  "  udp dport 39310 numgen random mod 100 < "
            + std::to_string(percent) + " drop\n }\n}\n";
        for (const std::string &ns : {m_tool, m_dev}) {
            shell(in(ns) + "nft delete table inet vxloss 2>/dev/null");
            FILE *nft = popen((in(ns) + "nft -f -").c_str(), "w");
            if (!nft)
                return false;
            std::fputs(table.c_str(), nft);
            if (pclose(nft) != 0)
                return false;
        }
        return true;
    }

    /** Datagrams that reached the namespace (before the drop) since setLoss. */
    uint64_t received(bool toolSide)
    {
        FILE *nft = popen((in(toolSide ? m_tool : m_dev) + "nft list counter inet vxloss sent").c_str(), "r");
        if (!nft)
            return 0;
        char line[256];
        unsigned long long packets = 0;
        while (std::fgets(line, sizeof line, nft)) {
            if (const char *p = std::strstr(line, "packets "))
                packets = std::strtoull(p + 8, nullptr, 10);
        }
        pclose(nft);
        return packets;
    }

    /**
     * `count` device addresses from 10.78.1.1 on the simulator's end, and one
     * permanent neighbour entry for each on the tool's end, as a LAN's ARP
     * traffic leaves them. Writes the devices file of that many ONVIF devices.
     */
    bool fillLan(size_t count, const std::string &devicesFile)
    {
        std::string addresses, neighbours, devices;
        const std::string peerMac = macOf(m_dev);
        for (size_t i = 0; i < count; ++i) {
            const std::string addr = "10.78." + std::to_string(1 + i / 250) + "." + std::to_string(1 + i % 250);
            addresses += "addr add " + addr + "/16 dev vx0\n";
            neighbours += "neigh replace " + addr + " lladdr " + peerMac + " dev vx0 nud permanent\n";
            char mac[18];
            std::snprintf(mac, sizeof mac, "02:4c:41:4e:%02zx:%02zx", i >> 8 & 0xff, i & 0xff);
            devices += std::string(i ? ",\n" : "") + "{\"serialNo\": \"LAN" + std::to_string(100000 + i)
                + "\", \"macAddr\": \"" + mac + "\", \"ipv4Addr\": \"" + addr
                + "\", \"ipv4Mask\": \"255.255.0.0\", \"typeCode\": \"0x2F00\", \"typeName\": \"LAN cam\", "
                  "\"port\": 8080, \"httpPort\": 8080, \"protocols\": \"onvif\"}";
        }
        FILE *file = std::fopen(devicesFile.c_str(), "w");
        if (!file)
            return false;
        std::fprintf(file, "{\"password\": \"bench1234\", \"devices\": [\n%s]}\n", devices.c_str());
        std::fclose(file);
        return batch(m_dev, addresses) && batch(m_tool, neighbours);
    }

    /** Moves the calling thread, and the threads it starts later, into the tool's namespace. */
    bool enterTool()
    {
        const int fd = open(("/run/netns/" + m_tool).c_str(), O_RDONLY | O_CLOEXEC);
        const bool ok = fd >= 0 && setns(fd, CLONE_NEWNET) == 0;
        if (fd >= 0)
            close(fd);
        return ok;
    }

private:
    static std::string in(const std::string &ns) { return "ip netns exec " + ns + " "; }
    static bool batch(const std::string &ns, const std::string &commands)
    {
        FILE *ip = popen((in(ns) + "ip -batch -").c_str(), "w");
        if (!ip)
            return false;
        std::fputs(commands.c_str(), ip);
        return pclose(ip) == 0;
    }
    static std::string macOf(const std::string &ns)
    {
        FILE *f = popen((in(ns) + "cat /sys/class/net/vx0/address").c_str(), "r");
        char line[32] = {};
        if (f) {
            if (!std::fgets(line, sizeof line, f))
                line[0] = '\0';
            pclose(f);
        }
        return std::string(line, strnlen(line, 17));
    }
    static bool shell(const std::string &command) { return std::system(command.c_str()) == 0; }

    std::string m_tool;
    std::string m_dev;
};

// Datagrams the kernel dropped because a socket's receive buffer was full
// (this namespace, every socket): the tool fell behind its answers.
uint64_t receiveBufferDrops()
{
    FILE *snmp = std::fopen("/proc/net/snmp", "r");
    if (!snmp)
        return 0;
    char names[512], values[512];
    uint64_t drops = 0;
    while (std::fgets(names, sizeof names, snmp) && std::fgets(values, sizeof values, snmp)) {
        if (std::strncmp(names, "Udp:", 4) != 0)
            continue;
        // The column named RcvbufErrors in the header line, read in the value line.
        int column = 0;
        for (char *name = std::strtok(names, " \n"); name; name = std::strtok(nullptr, " \n"), ++column) {
            if (std::strcmp(name, "RcvbufErrors") == 0)
                break;
        }
        char *value = std::strtok(values, " \n");
        for (int i = 0; value && i < column; ++i)
            value = std::strtok(nullptr, " \n");
        drops = value ? std::strtoull(value, nullptr, 10) : 0;
        break;
    }
    std::fclose(snmp);
    return drops;
}

struct Figures {
    double foundMean = 0; // share of the devices, averaged over the runs
    size_t foundMin = 0;
    size_t duplicates = 0;
    double medianMs = 0;
    std::vector<double> runMs; // in run order: the first run checks every certificate, later ones reuse the checks
    std::vector<uint64_t> runDrops;
};

// K runs of Start + SendInquiry, each until every device is heard or `limit`
// has passed; a run that hits the limit is timed at its last device found.
std::optional<Figures> measure(size_t devices, int runs, Clock::duration limit, int floodPerSecond = 0)
{
    Figures f;
    f.foundMin = devices;
    std::vector<double> times;
    for (int k = 0; k < runs; ++k) {
        Run run;
        run.expected = devices;
        const uint64_t dropsBefore = receiveBufferDrops();
        if (VEXA_Start_V30(&Run::callback, 0, &run) != 1) {
            VEXA_Stop();
            return std::nullopt;
        }
        // The flood has been under way for a while when the inquiry goes out:
        // long enough for a tool that cannot keep up to fall far behind.
        std::optional<BogusFlood> flood;
        if (floodPerSecond > 0) {
            flood.emplace(floodPerSecond);
            std::this_thread::sleep_for(5s);
        }
        const auto start = Clock::now();
        if (VEXA_SendInquiry() != 1) {
            VEXA_Stop();
            return std::nullopt;
        }
        {
            std::unique_lock lock(run.mutex);
            run.done.wait_for(lock, limit, [&] { return run.seen.size() == devices; });
        }
        // Late duplicates of the same inquiry would still arrive within the spread window.
        std::this_thread::sleep_for(600ms);
        flood.reset();
        VEXA_Stop();
        f.runDrops.push_back(receiveBufferDrops() - dropsBefore);
        times.push_back(std::chrono::duration<double, std::milli>(run.last - start).count());
        f.foundMean += double(run.seen.size()) / double(devices) / runs;
        f.foundMin = std::min(f.foundMin, run.seen.size());
        f.duplicates += run.duplicates;
    }
    f.runMs = times;
    std::sort(times.begin(), times.end());
    f.medianMs = times.size() % 2 ? times[times.size() / 2]
                                  : (times[times.size() / 2 - 1] + times[times.size() / 2]) / 2;
    return f;
}

// "v4,v6,both" and the like: the families to measure (PKT_FAMILY_* bits), in order.
std::optional<std::vector<int>> parseFamilies(const std::string &text)
{
    std::vector<int> families;
    size_t pos = 0;
    while (pos <= text.size()) {
        const size_t comma = std::min(text.find(',', pos), text.size());
        const std::string item = text.substr(pos, comma - pos);
        if (item != "v4" && item != "v6" && item != "both")
            return std::nullopt;
        families.push_back(item == "v4" ? 1 : item == "v6" ? 2 : 3);
        pos = comma + 1;
    }
    return families;
}

std::optional<std::vector<int>> parseLosses(const std::string &text)
{
    std::vector<int> losses;
    size_t pos = 0;
    while (pos <= text.size()) {
        const size_t comma = std::min(text.find(',', pos), text.size());
        const std::string item = text.substr(pos, comma - pos);
        if (item.empty() || item.size() > 2 || item.find_first_not_of("0123456789") != std::string::npos)
            return std::nullopt;
        losses.push_back(std::stoi(item));
        pos = comma + 1;
    }
    return losses;
}

} // namespace

int main(int argc, char **argv)
{
    size_t devices = 0;
    int runs = 5;
    int flood = 0;
    std::optional<std::vector<int>> losses;
    std::optional<std::vector<int>> families;
    std::string onvif;
    bool lan = false;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        const long value = std::strtol(argv[i + 1], nullptr, 10);
        const bool kind = std::string(argv[i + 1]) == "plain" || std::string(argv[i + 1]) == "details";
        if ((option == "--onvif" || option == "--onvif-lan") && kind) {
            onvif = argv[i + 1];
            lan = option == "--onvif-lan";
        }
        else if (option == "--devices" && value > 0 && value <= 1'000'000)
            devices = size_t(value);
        else if (option == "--runs" && value > 0 && value <= 1000)
            runs = int(value);
        else if (option == "--flood" && value > 0 && value <= 1'000'000)
            flood = int(value);
        else if (option == "--loss" && (losses = parseLosses(argv[i + 1])))
            continue;
        else if (option == "--families" && (families = parseFamilies(argv[i + 1])))
            continue;
        else
            return usage();
    }
    if (devices == 0 || argc % 2 == 0)
        return usage();

    // Either loopback or the private link: the datagrams never leave the machine.
    LossyLink link;
    std::vector<std::string> simCommand;
    const std::string dir = devsim::DevsimProcess::programDir();
    // Devices already running: only answers to the measured inquiries count;
    // heartbeats would only blur the datagram counts.
    std::vector<std::string> simArguments{dir + "/vexa-devsim", "--count", std::to_string(devices),
                                          "--no-boot-announce", "--heartbeat", "3600"};
    if (!onvif.empty() && !lan)
        simArguments.insert(simArguments.end(), {"--onvif", std::to_string(devices)});
    if (onvif == "details")
        simArguments.push_back("--onvif-open-reads");
    if (lan) {
        const std::string file = "/tmp/vexa-bench-lan-" + std::to_string(getpid()) + ".json";
        if (geteuid() != 0 || losses || !link.setUp() || !link.fillLan(devices, file) || !link.enterTool()) {
            std::fprintf(stderr, "vexa-bench-discovery: --onvif-lan needs root and ip, and no --loss\n");
            return 1;
        }
        setenv("VEXA_INTERFACES", "vx0", 1);
        simCommand = {"ip", "netns", "exec", link.deviceNamespace(), "env", "VEXA_INTERFACES=vx0"};
        simArguments = {dir + "/vexa-devsim", "--devices", file, "--no-boot-announce", "--heartbeat", "3600"};
        if (onvif == "details")
            simArguments.push_back("--onvif-open-reads");
    } else if (losses || families) {
        if (geteuid() != 0 || (losses && families) || !link.setUp() || !link.enterTool()) {
            std::fprintf(stderr, "vexa-bench-discovery: --loss and --families need root, ip and nft, one at a time\n");
            return 1;
        }
        setenv("VEXA_INTERFACES", "vx0", 1);
        simCommand = {"ip", "netns", "exec", link.deviceNamespace(), "env", "VEXA_INTERFACES=vx0"};
    } else {
        setenv("VEXA_INTERFACES", "lo", 1);
    }
    simCommand.insert(simCommand.end(), simArguments.begin(), simArguments.end());
    // Start-up includes hashing the shared password with Argon2id.
    const auto spawned = Clock::now();
    devsim::DevsimProcess sim("/usr/bin/env", simCommand);
    const std::string ready = sim.line(60s);
    const double startupMs = std::chrono::duration<double, std::milli>(Clock::now() - spawned).count();
    if (ready != "ready " + std::to_string(devices) + " devices") {
        std::fprintf(stderr, "vexa-bench-discovery: the simulator did not start (%s)\n", ready.c_str());
        return 1;
    }

    bool complete = true;
    // Without a family listed: one measurement on the link as it is.
    const std::vector<std::optional<int>> passes = [&] {
        std::vector<std::optional<int>> list;
        for (const int family : families.value_or(std::vector<int>{}))
            list.emplace_back(family);
        if (list.empty() && !losses)
            list.emplace_back(std::nullopt);
        return list;
    }();
    for (const std::optional<int> &family : passes) {
        if (family && !link.setFamilies(*family)) {
            std::fprintf(stderr, "vexa-bench-discovery: cannot leave the link to one family\n");
            return 1;
        }
        // Long enough for any healthy run.
        const auto figures = measure(devices, runs, 10s + std::chrono::milliseconds(devices), flood);
        if (!figures) {
            std::fprintf(stderr, "vexa-bench-discovery: discovery cannot start\n");
            return 1;
        }
        std::string runsMs, drops;
        for (size_t k = 0; k < figures->runMs.size(); ++k) {
            runsMs += (k ? "," : "") + std::to_string(long(figures->runMs[k]));
            drops += (k ? "," : "") + std::to_string(figures->runDrops[k]);
        }
        std::printf("%sdevices=%zu%s%s found=%zu duplicates=%zu median_ms=%.0f runs_ms=%s rcvbuf_drops=%s "
                    "simulator_startup_ms=%.0f\n",
                    family ? (*family == 1 ? "family=ipv4 " : *family == 2 ? "family=ipv6 " : "family=both ") : "",
                    devices,
                    onvif.empty() ? "" : ((lan ? " onvif-lan=" : " onvif=") + onvif).c_str(),
                    flood ? (" flood=" + std::to_string(flood) + "/s").c_str() : "", figures->foundMin,
                    figures->duplicates, figures->medianMs, runsMs.c_str(), drops.c_str(), startupMs);
        std::fflush(stdout);
        complete = complete && figures->foundMin == devices && figures->duplicates == 0;
    }
    for (const int loss : losses.value_or(std::vector<int>{})) {
        if (!link.setLoss(loss)) {
            std::fprintf(stderr, "vexa-bench-discovery: nft cannot set the loss\n");
            return 1;
        }
        // The 3 s an installer gives a search.
        const auto figures = measure(devices, runs, 3s);
        if (!figures) {
            std::fprintf(stderr, "vexa-bench-discovery: discovery cannot start\n");
            return 1;
        }
        std::printf("loss=%d%% devices=%zu runs=%d found=%.2f%% (min %.2f%%) duplicates=%zu median_ms=%.0f "
                    "datagrams/run: tool=%.1f devices=%.1f\n",
                    loss, devices, runs, 100 * figures->foundMean, 100.0 * double(figures->foundMin) / double(devices),
                    figures->duplicates, figures->medianMs, double(link.received(false)) / runs,
                    double(link.received(true)) / runs);
        std::fflush(stdout);
        complete = complete && figures->duplicates == 0;
    }
    sim.quit();
    return complete ? 0 : 1;
}
