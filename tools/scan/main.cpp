// vexa-scan: lists, readdresses and resets devices from the command line,
// through the discovery library's C interface like any other program; signs
// and checks firmware images against the manufacturers the library trusts.

#include <vexa.h>

#include <vexa/address.h>
#include <vexa/addressrange.h>
#include <vexa/crypto.h>
#include <vexa/firmwareimage.h>
#include <vexa/passwordfile.h>
#include <vexa/trustanchors.h>

#include <nlohmann/json.hpp>
#include <sodium.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iterator>
#include <set>
#include <span>
#include <list>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace {

constexpr int kAccepted = 0;
constexpr int kRefused = 1;
constexpr int kBadArguments = 2;

constexpr const char *kUsage =
    "usage: vexa-scan list [--wait SECONDS] [--json]\n"
    "       vexa-scan scan CIDR... [--rate N] [--wait SECONDS] [--json]\n"
    "       vexa-scan modify --mac MAC (--password PW | --password-file FILE|-) --ip A --mask M\n"
    "                        --port P [--gateway G] [--ipv6 A --ipv6-gateway G --ipv6-prefix N]\n"
    "       vexa-scan reset --serial S --code C\n"
    "       vexa-scan code --serial S --date YYYY-MM-DD --key MASTER-KEY-FILE\n"
    "       vexa-scan time --mac MAC [--mac MAC ...] (--read | (--password PW | --password-file FILE|-)\n"
    "                      (--now | --set 'YYYY-MM-DD hh:mm:ss' | --ntp HOST[,HOST])) [--json]\n"
    "       vexa-scan passwd --mac MAC [--mac MAC ...] (--password PW | --password-file FILE|-)\n"
    "                        --new-password-file FILE|- [--json]\n"
    "       vexa-scan reboot --mac MAC [--mac MAC ...] (--password PW | --password-file FILE|-) [--no-wait] [--json]\n"
    "       vexa-scan image --sign SECRET-KEY-FILE --model M[,M...] --version V --payload FILE --out IMAGE\n"
    "       vexa-scan image --show IMAGE\n"
    "modify, reset, time, passwd and reboot look for their devices first and refuse one that does not answer.\n"
    "A new password has 8..64 characters and is neither the current one nor the device's label password.\n"
    "scan also probes each address of the IPv4 ranges (a.b.c.d/16../32) for ONVIF devices\n"
    "behind routers, N probes a second (default 200, at most 2000); VXDP devices are\n"
    "link-local and found only on this link.\n"
    "image --show checks an image's signature against the manufacturers this computer trusts.\n"
    "Exit status: 0 accepted, 1 refused, 2 bad arguments.\n";

int badArguments(const std::string &message)
{
    std::fprintf(stderr, "vexa-scan: %s\n%s", message.c_str(), kUsage);
    return kBadArguments;
}

// "--name value" pairs after the command; flags without a value are listed in `flags`.
// Options in `repeatable` may come more than once: all their values are in `repeated`.
struct Arguments {
    std::map<std::string, std::string> values;
    std::map<std::string, std::vector<std::string>> repeated;
    std::string error;

    // Arguments not starting with '-' go to `positional`, when the command takes any.
    static Arguments parse(int argc, char **argv, const std::vector<std::string> &allowed,
                           const std::vector<std::string> &flags, std::vector<std::string> *positional = nullptr,
                           const std::vector<std::string> &repeatable = {})
    {
        Arguments a;
        for (int i = 2; i < argc; ++i) {
            const std::string name = argv[i];
            if (positional && !name.empty() && name[0] != '-') {
                positional->push_back(name);
                continue;
            }
            const bool isFlag = std::find(flags.begin(), flags.end(), name) != flags.end();
            const bool again = std::find(repeatable.begin(), repeatable.end(), name) != repeatable.end();
            if (!isFlag && std::find(allowed.begin(), allowed.end(), name) == allowed.end()) {
                a.error = "unknown option " + name;
                return a;
            }
            if (again && i + 1 < argc) {
                a.values[name] = argv[i + 1];
                a.repeated[name].push_back(argv[++i]);
                continue;
            }
            if (a.values.count(name)) {
                a.error = name + " given twice";
                return a;
            }
            if (isFlag) {
                a.values[name] = "1";
            } else if (i + 1 < argc) {
                a.values[name] = argv[++i];
            } else {
                a.error = name + " needs a value";
                return a;
            }
        }
        return a;
    }

    const std::string *get(const std::string &name) const
    {
        const auto it = values.find(name);
        return it == values.end() ? nullptr : &it->second;
    }
};

std::optional<unsigned> parseUnsigned(const std::string &text, unsigned max)
{
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    const unsigned long n = std::stoul(text);
    return n <= max ? std::optional(unsigned(n)) : std::nullopt;
}

// Report texts are Latin-1; JSON wants UTF-8.
std::string fieldText(const char *field, size_t width)
{
    std::string out;
    for (size_t i = 0; i < width && field[i]; ++i) {
        const auto c = static_cast<unsigned char>(field[i]);
        if (c < 0x80) {
            out += char(c);
        } else {
            out += char(0xC0 | c >> 6);
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

#define TEXT(report, field) fieldText((report).field, sizeof((report).field))

// Filled key by key: the initializer-list form copies every value through
// temporaries and makes ten thousand devices slow to print.
nlohmann::ordered_json toJson(const VEXA_DEVICE_REPORT &r)
{
    nlohmann::ordered_json o = nlohmann::ordered_json::object();
    o["serialNo"] = TEXT(r, serialNo);
    o["macAddr"] = TEXT(r, macAddr);
    o["ipv4Addr"] = TEXT(r, ipv4Addr);
    o["ipv4Mask"] = TEXT(r, ipv4Mask);
    o["ipv4Gateway"] = TEXT(r, ipv4Gateway);
    o["typeCode"] = r.typeCode;
    o["typeName"] = TEXT(r, typeName);
    o["port"] = r.port;
    o["channelCount"] = r.channelCount;
    o["softwareVersion"] = TEXT(r, softwareVersion);
    o["dspVersion"] = TEXT(r, dspVersion);
    o["startTime"] = TEXT(r, startTime);
    o["ipv6Addr"] = TEXT(r, ipv6Addr);
    o["ipv6Gateway"] = TEXT(r, ipv6Gateway);
    o["ipv6PrefixLen"] = r.ipv6PrefixLen;
    o["capabilities"] = r.capabilities;
    o["dhcpOn"] = r.dhcpOn;
    o["extInfo"] = r.extInfo;
    o["eventCode"] = r.eventCode;
    return o;
}

// Devices heard so far, in order of first appearance; filled on the library's
// thread. A list with an index into it, so that an offline storm costs O(1)
// per event instead of shifting and renumbering every later device.
struct Collector {
    std::mutex mutex;
    std::list<VEXA_DEVICE_REPORT> devices;
    std::unordered_map<std::string, std::list<VEXA_DEVICE_REPORT>::iterator> index;

    static void callback(const VEXA_DEVICE_REPORT *report, void *userData)
    {
        if (report)
            static_cast<Collector *>(userData)->take(*report);
    }

    void take(const VEXA_DEVICE_REPORT &report)
    {
        std::string key = TEXT(report, serialNo) + '|' + TEXT(report, macAddr);
        const std::lock_guard lock(mutex);
        const auto it = index.find(key);
        if (report.eventCode == VEXA_EVENT_OFFLINE) {
            if (it != index.end()) {
                devices.erase(it->second);
                index.erase(it);
            }
        } else if (it != index.end()) {
            *it->second = report;
        } else {
            index.emplace(std::move(key), devices.insert(devices.end(), report));
        }
    }
};

// How long modify and reset wait for their device to answer the inquiry, and
// for its certificate to be checked.
constexpr auto kFindWait = std::chrono::seconds(3);

// The record a request may go to: a VXDP one with a checked certificate,
// unless the explicit trust-on-first-use fallback is on. Anyone can answer
// with the target's serial number and MAC first; the real device answers too.
// ONVIF devices carry no certificate: the library never lists one that names
// what a certified device holds.
bool certifiedRecord(const VEXA_DEVICE_REPORT &r)
{
    static const bool firstUse = [] {
        const char *value = std::getenv("VEXA_TRUST_UNCERTIFIED");
        return value && std::strcmp(value, "1") == 0;
    }();
    return firstUse || TEXT(r, protocol) == "ONVIF"
        || VEXA_DeviceCertified(TEXT(r, serialNo).c_str(), TEXT(r, macAddr).c_str()) == 1;
}

// Looks for one device before a request goes to it: the request then goes to
// a device that answered, with the key its certificate vouches for, and a
// device that is not there is reported as such instead of as a refusal. It
// keeps listening, within the wait, until the certified record arrives.
// Listens, within the wait, until `enough` holds for the certified records heard.
bool listenFor(const std::function<bool(const std::list<VEXA_DEVICE_REPORT> &)> &enough)
{
    Collector collector;
    if (VEXA_Start_V30(&Collector::callback, 0, &collector) != 1 || VEXA_SendInquiry() != 1) {
        VEXA_Stop();
        std::fprintf(stderr, "vexa-scan: discovery cannot start (packet driver missing or no interface)\n");
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + kFindWait;
    bool found = false;
    while (!found && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        const std::lock_guard lock(collector.mutex);
        std::list<VEXA_DEVICE_REPORT> certified;
        std::copy_if(collector.devices.begin(), collector.devices.end(), std::back_inserter(certified),
                     certifiedRecord);
        found = enough(certified);
    }
    VEXA_Stop();
    return found;
}

bool findDevice(const std::function<bool(const VEXA_DEVICE_REPORT &)> &matches)
{
    return listenFor([&](const std::list<VEXA_DEVICE_REPORT> &certified) {
        return std::any_of(certified.begin(), certified.end(), matches);
    });
}

void printDevices(const Collector &collector, bool json)
{
    if (json) {
        auto array = nlohmann::ordered_json::array();
        for (const auto &report : collector.devices)
            array.push_back(toJson(report));
        std::printf("%s\n", array.dump(2).c_str());
        return;
    }
    std::printf("%-30s %-17s %-15s %-15s %5s %-23s %s\n", "SERIAL", "MAC", "IPV4", "MASK", "PORT", "TYPE",
                "SOFTWARE");
    for (const auto &r : collector.devices) {
        std::printf("%-30s %-17s %-15s %-15s %5d %-23s %s\n", TEXT(r, serialNo).c_str(), TEXT(r, macAddr).c_str(),
                    TEXT(r, ipv4Addr).c_str(), TEXT(r, ipv4Mask).c_str(), r.port, TEXT(r, typeName).c_str(),
                    TEXT(r, softwareVersion).c_str());
    }
    std::printf("%zu devices\n", collector.devices.size());
}

// --wait: seconds to wait for answers (and details) after the inquiry or the scan.
std::optional<unsigned> waitSeconds(const Arguments &args)
{
    const auto *wait = args.get("--wait");
    return wait ? parseUnsigned(*wait, 3600) : std::optional<unsigned>(2);
}

int list(int argc, char **argv)
{
    const Arguments args = Arguments::parse(argc, argv, {"--wait"}, {"--json"});
    if (!args.error.empty())
        return badArguments(args.error);
    // Answers spread over half a second; the rest is margin for a loaded host.
    const auto waitS = waitSeconds(args);
    if (!waitS)
        return badArguments("--wait must be a whole number of seconds");
    Collector collector;
    if (VEXA_Start_V30(&Collector::callback, 0, &collector) != 1) {
        std::fprintf(stderr, "vexa-scan: discovery cannot start (packet driver missing or no interface)\n");
        return kRefused;
    }
    const bool sent = VEXA_SendInquiry() == 1;
    std::this_thread::sleep_for(std::chrono::seconds(*waitS));
    VEXA_Stop();
    if (!sent) {
        std::fprintf(stderr, "vexa-scan: the inquiry could not be sent\n");
        return kRefused;
    }
    printDevices(collector, args.get("--json"));
    return kAccepted;
}

volatile std::sig_atomic_t g_interrupted = 0;
// A router resolves each address probed; an unanswered resolution holds one of
// its neighbour entries (1024 on Linux by default) for about 3 s.
constexpr unsigned kRouterSafeRate = 300;

// Devices on this link as `list` finds them, and ONVIF devices at the
// addresses of the ranges; one entry per device whichever found it. An
// interrupt (Ctrl+C) ends the probes and prints what was found.
int scan(int argc, char **argv)
{
    std::vector<std::string> cidrs;
    const Arguments args = Arguments::parse(argc, argv, {"--rate", "--wait"}, {"--json"}, &cidrs);
    if (!args.error.empty())
        return badArguments(args.error);
    std::string joined;
    for (const std::string &cidr : cidrs)
        joined += cidr + ' ';
    std::string error;
    if (!vexa::addressrange::parse(joined, error))
        return badArguments(error);
    const auto *rateText = args.get("--rate");
    const auto rate = rateText ? parseUnsigned(*rateText, 2000) : std::optional<unsigned>(0);
    if (!rate || (rateText && *rate == 0))
        return badArguments("--rate must lie in 1..2000 probes a second");
    const auto waitS = waitSeconds(args);
    if (!waitS)
        return badArguments("--wait must be a whole number of seconds");
    std::fprintf(stderr, "vexa-scan: note: VXDP devices are link-local by design and are not reached through "
                         "address ranges; only ONVIF devices are found there\n");
    if (*rate > kRouterSafeRate)
        std::fprintf(stderr, "vexa-scan: note: above %u probes a second the router before a sparse range may "
                             "overflow its neighbour table and drop probes: devices can be missed\n",
                     kRouterSafeRate);

    Collector collector;
    if (VEXA_Start_V30(&Collector::callback, 0, &collector) != 1) {
        std::fprintf(stderr, "vexa-scan: discovery cannot start (packet driver missing or no interface)\n");
        return kRefused;
    }
    VEXA_SendInquiry(); // this link too, so that a device reached both ways is one entry
    char why[256] = "";
    if (VEXA_ScanRange(joined.c_str(), int32_t(*rate), why, sizeof why) != 1) {
        VEXA_Stop();
        std::fprintf(stderr, "vexa-scan: %s\n", why);
        return kRefused;
    }
    std::signal(SIGINT, [](int) { g_interrupted = 1; });
    std::signal(SIGTERM, [](int) { g_interrupted = 1; });
    const bool showProgress = isatty(STDERR_FILENO);
    uint32_t probed = 0, total = 0;
    int32_t running = 1;
    while (running && !g_interrupted) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        VEXA_ScanProgress(&probed, &total, &running);
        if (showProgress)
            std::fprintf(stderr, "\rprobed %u of %u addresses", probed, total);
    }
    if (showProgress)
        std::fputc('\n', stderr);
    const bool cancelled = g_interrupted;
    if (cancelled) {
        VEXA_CancelScan();
        VEXA_ScanProgress(&probed, &total, &running);
        std::fprintf(stderr, "vexa-scan: scan cancelled after %u of %u addresses\n", probed, total);
    } else {
        // The details of the last devices found are still being read.
        std::this_thread::sleep_for(std::chrono::seconds(*waitS));
    }
    VEXA_Stop();
    printDevices(collector, args.get("--json"));
    return cancelled ? kRefused : kAccepted;
}

bool copyText(char *field, size_t width, const std::string &text)
{
    if (text.size() >= width)
        return false;
    std::memcpy(field, text.c_str(), text.size() + 1);
    return true;
}

int modify(int argc, char **argv)
{
    const Arguments args = Arguments::parse(
        argc, argv,
        {"--mac", "--password", "--password-file", "--ip", "--mask", "--port", "--gateway", "--ipv6",
         "--ipv6-gateway", "--ipv6-prefix"},
        {});
    if (!args.error.empty())
        return badArguments(args.error);
    for (const char *required : {"--mac", "--ip", "--mask", "--port"}) {
        if (!args.get(required))
            return badArguments(std::string("modify needs ") + required);
    }
    if (bool(args.get("--password")) == bool(args.get("--password-file")))
        return badArguments("modify needs one of --password and --password-file");
    const bool ipv6 = args.get("--ipv6");
    if (!ipv6 && (args.get("--ipv6-gateway") || args.get("--ipv6-prefix")))
        return badArguments("--ipv6-gateway and --ipv6-prefix go with --ipv6");
    if (!vexa::address::parseMac(*args.get("--mac")))
        return badArguments("--mac must look like aa:bb:cc:dd:ee:ff");
    std::string error;
    const auto password = args.get("--password") ? std::optional(*args.get("--password"))
                                                 : vexa::passwordfile::read(*args.get("--password-file"), error);
    if (!password)
        return badArguments(error);
    if (password->empty() || password->size() > vexa::wire::kMaxPassword)
        return badArguments("the password must have 1..64 characters");

    VEXA_NET_PARAM param{};
    for (const auto &[option, field] :
         {std::pair{"--ip", param.ipv4Addr}, {"--mask", param.ipv4Mask}, {"--gateway", param.ipv4Gateway}}) {
        const std::string *value = args.get(option);
        if (value && (!vexa::address::parseIpv4(*value) || !copyText(field, 16, *value)))
            return badArguments(std::string(option) + " must be a dotted IPv4 address");
    }
    const auto port = parseUnsigned(*args.get("--port"), 65535);
    if (!port || *port == 0)
        return badArguments("--port must lie in 1..65535");
    param.port = uint16_t(*port);
    if (ipv6) {
        for (const auto &[option, field] :
             {std::pair{"--ipv6", param.ipv6Addr}, {"--ipv6-gateway", param.ipv6Gateway}}) {
            const std::string *value = args.get(option);
            if (value && (!vexa::address::parseIpv6(*value) || !copyText(field, 128, *value)))
                return badArguments(std::string(option) + " must be an IPv6 address");
        }
        const std::string *prefix = args.get("--ipv6-prefix");
        const auto length = prefix ? parseUnsigned(*prefix, 128) : std::optional<unsigned>(64);
        if (!length)
            return badArguments("--ipv6-prefix must lie in 0..128");
        param.ipv6PrefixLen = uint8_t(*length);
    }
    const std::string mac = vexa::address::formatMac(*vexa::address::parseMac(*args.get("--mac")));
    if (!findDevice([&](const VEXA_DEVICE_REPORT &r) { return TEXT(r, macAddr) == mac; })) {
        std::printf("refused: no device with MAC %s answered\n", mac.c_str());
        return kRefused;
    }
    if (VEXA_ModifyDeviceNetParam(mac.c_str(), password->c_str(), &param) != 1) {
        std::printf("refused: the device did not confirm the new parameters\n");
        return kRefused;
    }
    std::printf("accepted: the device took the new parameters\n");
    return kAccepted;
}

int reset(int argc, char **argv)
{
    const Arguments args = Arguments::parse(argc, argv, {"--serial", "--code"}, {});
    if (!args.error.empty())
        return badArguments(args.error);
    const std::string *serial = args.get("--serial");
    const std::string *code = args.get("--code");
    if (!serial || serial->empty() || serial->size() > vexa::wire::kMaxSerial)
        return badArguments("reset needs --serial with 1..47 characters");
    if (!code || code->empty() || code->size() > vexa::wire::kMaxSecurityCode)
        return badArguments("reset needs --code with 1..32 characters");
    if (!findDevice([&](const VEXA_DEVICE_REPORT &r) { return TEXT(r, serialNo) == *serial; })) {
        std::printf("refused: no device with serial number %s answered\n", serial->c_str());
        return kRefused;
    }
    if (VEXA_ResetDefaultPasswd(serial->c_str(), code->c_str()) != 1) {
        std::printf("refused: the device did not restore its default password\n");
        return kRefused;
    }
    std::printf("accepted: the device restored its default password\n");
    return kAccepted;
}

bool isDate(const std::string &text)
{
    unsigned y = 0, m = 0, d = 0;
    char tail = 0;
    if (text.size() != 10 || std::sscanf(text.c_str(), "%4u-%2u-%2u%c", &y, &m, &d, &tail) != 3 ||
        text[4] != '-' || text[7] != '-')
        return false;
    return std::chrono::year_month_day(std::chrono::year(int(y)), std::chrono::month(m),
                                       std::chrono::day(d))
        .ok();
}

bool cryptoReady()
{
    if (vexa::crypto::init())
        return true;
    std::fprintf(stderr, "vexa-scan: libsodium cannot be initialised\n");
    return false;
}

// A key file of 64 hex characters (code's master key, image's manufacturer
// seed) into `key`; kAccepted, or the status to exit with.
int readKeyFile(const std::string &path, const char *what, vexa::crypto::FactoryKey &key)
{
    if (!cryptoReady())
        return kRefused;
    const auto read = vexa::crypto::readFactoryKey(path);
    if (!read)
        return badArguments(path + ": not " + what + " (64 hex characters on the first line)");
    key = *read;
    return kAccepted;
}

int code(int argc, char **argv)
{
    const Arguments args = Arguments::parse(argc, argv, {"--serial", "--date", "--key"}, {});
    if (!args.error.empty())
        return badArguments(args.error);
    const std::string *serial = args.get("--serial");
    const std::string *date = args.get("--date");
    const std::string *keyPath = args.get("--key");
    if (!serial || serial->empty() || serial->size() > vexa::wire::kMaxSerial)
        return badArguments("code needs --serial with 1..47 characters");
    if (!date || !isDate(*date))
        return badArguments("code needs --date YYYY-MM-DD");
    if (!keyPath)
        return badArguments("code needs --key FILE");
    vexa::crypto::FactoryKey master;
    if (const int status = readKeyFile(*keyPath, "a master key", master); status != kAccepted)
        return status;
    const auto deviceKey = vexa::crypto::deviceCodeKey(master, *serial);
    sodium_memzero(master.data(), master.size());
    std::printf("%s\n", vexa::crypto::securityCode(deviceKey, *serial, *date).c_str());
    return kAccepted;
}

// ---- Commissioning jobs: time, passwd, reboot

constexpr int32_t kRebootWaitS = 180;

const char *causeText(int32_t cause)
{
    switch (cause) {
    case VEXA_CAUSE_NONE: return "done";
    case VEXA_CAUSE_BAD_ARGUMENT: return "refused before sending: a parameter is not valid";
    case VEXA_CAUSE_NOT_AUTHORIZED: return "wrong password";
    case VEXA_CAUSE_NOT_SUPPORTED: return "the device does not offer this job";
    case VEXA_CAUSE_NO_ANSWER: return "no answer";
    case VEXA_CAUSE_REFUSED: return "the device refused the values";
    case VEXA_CAUSE_BUSY: return "the device is locked against this computer for now (wrong passwords)";
    case VEXA_CAUSE_NOT_RETURNED: return "the device did not return within the wait";
    case VEXA_CAUSE_CANCELLED: return "cancelled";
    default: return "failed";
    }
}

struct Batch {
    std::vector<std::string> macs;
    std::optional<std::string> password; // none for a clock read
    bool json = false;
};

// The MACs (each once, canonical) and the password of a job's command line; an error text when they are wrong.
std::string readBatch(const Arguments &args, bool needsPassword, Batch &batch)
{
    const auto it = args.repeated.find("--mac");
    if (it == args.repeated.end())
        return "give at least one --mac";
    std::set<std::string> seen;
    for (const std::string &text : it->second) {
        const auto mac = vexa::address::parseMac(text);
        if (!mac)
            return "--mac must look like aa:bb:cc:dd:ee:ff: " + text;
        if (seen.insert(vexa::address::formatMac(*mac)).second)
            batch.macs.push_back(vexa::address::formatMac(*mac));
    }
    batch.json = args.get("--json");
    if (!needsPassword)
        return bool(args.get("--password")) || bool(args.get("--password-file")) ? "a clock read needs no password"
                                                                                 : "";
    if (bool(args.get("--password")) == bool(args.get("--password-file")))
        return "give one of --password and --password-file";
    std::string error;
    batch.password = args.get("--password") ? std::optional(*args.get("--password"))
                                            : vexa::passwordfile::read(*args.get("--password-file"), error);
    if (!batch.password)
        return error;
    if (batch.password->empty() || batch.password->size() > vexa::wire::kMaxPassword)
        return "the password must have 1..64 characters";
    return {};
}

// Progress on standard error, one line per device as it is finished with.
struct Progress {
    const Batch *batch;
    std::atomic<int> finished{0};

    static int callback(int32_t index, const VEXA_JOB_STATUS *status, void *userData)
    {
        auto *p = static_cast<Progress *>(userData);
        std::fprintf(stderr, "[%d/%zu] %s: %s\n", ++p->finished, p->batch->macs.size(),
                     p->batch->macs[size_t(index)].c_str(), causeText(status->cause));
        return 1;
    }
};

// Looks for the devices, runs the job for those that answered and prints a
// line (or a JSON object) for every device; the exit status as modify's.
int runJob(const Batch &batch, const VEXA_JOB &job)
{
    std::set<std::string> present;
    listenFor([&](const std::list<VEXA_DEVICE_REPORT> &certified) {
        for (const auto &r : certified)
            present.insert(TEXT(r, macAddr));
        return std::all_of(batch.macs.begin(), batch.macs.end(),
                           [&](const std::string &mac) { return present.count(mac) > 0; });
    });
    Batch answering{{}, batch.password, batch.json};
    for (const std::string &mac : batch.macs) {
        if (present.count(mac))
            answering.macs.push_back(mac);
    }
    std::vector<VEXA_JOB_STATUS> statuses(answering.macs.size());
    if (!answering.macs.empty()) {
        std::vector<const char *> texts;
        for (const std::string &mac : answering.macs)
            texts.push_back(mac.c_str());
        Progress progress{&answering};
        VEXA_RunJobs(texts.data(), int32_t(texts.size()), batch.password ? batch.password->c_str() : "", &job,
                     statuses.data(), &Progress::callback, &progress);
    }
    bool all = true;
    auto array = nlohmann::ordered_json::array();
    for (const std::string &mac : batch.macs) {
        const auto at = std::find(answering.macs.begin(), answering.macs.end(), mac);
        const VEXA_JOB_STATUS *s = at == answering.macs.end() ? nullptr : &statuses[size_t(at - answering.macs.begin())];
        all = all && s && s->done == 1;
        nlohmann::ordered_json o = {{"macAddr", mac}, {"done", s && s->done == 1}};
        std::string line = mac + ": ";
        if (!s) {
            o["cause"] = "no device with this MAC answered";
            line += "refused: no device with this MAC answered";
        } else {
            o["cause"] = causeText(s->cause);
            line += s->done ? "done" : std::string("refused: ") + causeText(s->cause);
        }
        if (s && s->hasOffset) {
            const double offsetS = double(s->offsetMs) / 1000;
            o["offsetS"] = offsetS;
            char text[48];
            std::snprintf(text, sizeof text, ", clock offset %+.3f s", offsetS);
            line += text;
        }
        if (s && job.kind == VEXA_JOB_REBOOT && s->rebootMs >= 0) {
            o["awayS"] = double(s->rebootMs) / 1000;
            char text[48];
            std::snprintf(text, sizeof text, ", back after %.1f s", double(s->rebootMs) / 1000);
            line += text;
        }
        array.push_back(std::move(o));
        if (!batch.json)
            std::printf("%s\n", line.c_str());
    }
    if (batch.json)
        std::printf("%s\n", array.dump(2).c_str());
    return all ? kAccepted : kRefused;
}

// "YYYY-MM-DD hh:mm:ss", UTC: milliseconds since 1970.
std::optional<int64_t> parseUtc(const std::string &text)
{
    unsigned y = 0, mo = 0, d = 0, h = 0, mi = 0, sec = 0;
    char tail = 0;
    if (text.size() != 19 || text[10] != ' '
        || std::sscanf(text.c_str(), "%4u-%2u-%2u %2u:%2u:%2u%c", &y, &mo, &d, &h, &mi, &sec, &tail) != 6
        || !isDate(text.substr(0, 10)) || h > 23 || mi > 59 || sec > 59)
        return std::nullopt;
    const auto day = std::chrono::sys_days(std::chrono::year_month_day(
        std::chrono::year(int(y)), std::chrono::month(mo), std::chrono::day(d)));
    const auto t = day + std::chrono::hours(h) + std::chrono::minutes(mi) + std::chrono::seconds(sec);
    return std::chrono::duration_cast<std::chrono::milliseconds>(t.time_since_epoch()).count();
}

int timeJob(int argc, char **argv)
{
    const Arguments args = Arguments::parse(argc, argv, {"--mac", "--password", "--password-file", "--set", "--ntp"},
                                            {"--read", "--now", "--json"}, nullptr, {"--mac"});
    if (!args.error.empty())
        return badArguments(args.error);
    const int modes = int(bool(args.get("--read"))) + int(bool(args.get("--now"))) + int(bool(args.get("--set")))
        + int(bool(args.get("--ntp")));
    if (modes != 1)
        return badArguments("time needs one of --read, --now, --set and --ntp");
    Batch batch;
    if (const std::string error = readBatch(args, !args.get("--read"), batch); !error.empty())
        return badArguments(error);
    VEXA_JOB job{};
    if (args.get("--read")) {
        job.kind = VEXA_JOB_READ_TIME;
    } else if (args.get("--now")) {
        job.kind = VEXA_JOB_SET_TIME; // utcMs 0: read as each device's request is built
    } else if (const std::string *set = args.get("--set")) {
        const auto utc = parseUtc(*set);
        if (!utc)
            return badArguments("--set needs \"YYYY-MM-DD hh:mm:ss\" (UTC)");
        job.kind = VEXA_JOB_SET_TIME;
        job.utcMs = *utc;
    } else {
        job.kind = VEXA_JOB_SET_NTP;
        const std::string &list = *args.get("--ntp");
        const size_t comma = list.find(',');
        const std::string first = list.substr(0, comma);
        const std::string second = comma == std::string::npos ? std::string() : list.substr(comma + 1);
        if (first.empty() || (comma != std::string::npos && second.empty()) || second.find(',') != std::string::npos
            || !copyText(job.ntpServers[0], sizeof job.ntpServers[0], first)
            || !copyText(job.ntpServers[1], sizeof job.ntpServers[1], second))
            return badArguments("--ntp needs one or two host names or addresses, comma-separated, 1..63 characters each");
    }
    return runJob(batch, job);
}

int passwdJob(int argc, char **argv)
{
    const Arguments args = Arguments::parse(
        argc, argv, {"--mac", "--password", "--password-file", "--new-password-file"}, {"--json"}, nullptr, {"--mac"});
    if (!args.error.empty())
        return badArguments(args.error);
    const std::string *newFile = args.get("--new-password-file");
    if (!newFile)
        return badArguments("passwd needs --new-password-file FILE|-");
    const std::string *oldFile = args.get("--password-file");
    if (*newFile == "-" && oldFile && *oldFile == "-")
        return badArguments("only one of the passwords can come from standard input");
    Batch batch;
    if (const std::string error = readBatch(args, true, batch); !error.empty())
        return badArguments(error);
    std::string error;
    auto next = vexa::passwordfile::read(*newFile, error);
    if (!next)
        return badArguments(error);
    VEXA_JOB job{};
    job.kind = VEXA_JOB_SET_PASSWORD;
    const bool fits = next->size() >= 8 && copyText(job.newPassword, sizeof job.newPassword, *next);
    const bool same = *next == *batch.password;
    vexa::crypto::wipe(*next);
    if (!fits || same)
        return badArguments("the new password must have 8..64 characters and differ from the current one");
    const int status = runJob(batch, job);
    sodium_memzero(job.newPassword, sizeof job.newPassword);
    return status;
}

int rebootJob(int argc, char **argv)
{
    const Arguments args = Arguments::parse(argc, argv, {"--mac", "--password", "--password-file"},
                                            {"--no-wait", "--json"}, nullptr, {"--mac"});
    if (!args.error.empty())
        return badArguments(args.error);
    Batch batch;
    if (const std::string error = readBatch(args, true, batch); !error.empty())
        return badArguments(error);
    VEXA_JOB job{};
    job.kind = VEXA_JOB_REBOOT;
    job.waitS = args.get("--no-wait") ? 0 : kRebootWaitS;
    return runJob(batch, job);
}

// ---- Firmware images: sign, show

std::string hexText(std::span<const uint8_t> data)
{
    std::string text(2 * data.size() + 1, '\0');
    sodium_bin2hex(text.data(), text.size(), data.data(), data.size());
    text.pop_back();
    return text;
}

int signImage(const Arguments &args)
{
    const std::string *models = args.get("--model");
    const std::string *versionText = args.get("--version");
    const std::string *payload = args.get("--payload");
    const std::string *out = args.get("--out");
    if (!models || !versionText || !payload || !out)
        return badArguments("image --sign needs --model, --version, --payload and --out");
    std::vector<std::string> list;
    for (size_t start = 0, comma = 0; comma != std::string::npos; start = comma + 1) {
        comma = models->find(',', start);
        list.push_back(models->substr(start, comma - start));
    }
    if (const std::string why = vexa::firmwareimage::checkModels(list); !why.empty())
        return badArguments("--model: " + why);
    const auto version = vexa::firmwareimage::parseVersion(*versionText);
    if (!version)
        return badArguments("--version needs major.minor.patch, numbers 0..65535");
    vexa::crypto::FactoryKey seed;
    if (const int status = readKeyFile(*args.get("--sign"), "a manufacturer key", seed); status != kAccepted)
        return status;
    auto key = vexa::crypto::manufacturerKeyFromSeed(seed);
    sodium_memzero(seed.data(), seed.size());
    std::string error;
    const bool signedOk = vexa::firmwareimage::signImage(key, list, *version, *payload, *out, error);
    sodium_memzero(key.data(), key.size());
    if (!signedOk) {
        std::printf("refused: %s\n", error.c_str());
        return kRefused;
    }
    std::printf("accepted: %s signed\n", out->c_str());
    return kAccepted;
}

// The header whatever its signature, then whether a manufacturer trusted here signed it.
int showImage(const std::string &path)
{
    if (!cryptoReady())
        return kRefused;
    std::string error;
    const auto header = vexa::firmwareimage::readHeader(path, error);
    if (!header) {
        std::printf("refused: %s\n", error.c_str());
        return kRefused;
    }
    std::string models;
    for (const std::string &model : header->models)
        models += (models.empty() ? "" : ", ") + model;
    std::printf("models:    %s\nversion:   %s\npayload:   %llu bytes\nsha256:    %s\nsigner:    %s\n",
                models.c_str(), vexa::firmwareimage::formatVersion(header->version).c_str(),
                static_cast<unsigned long long>(header->payloadSize), hexText(header->payloadHash).c_str(),
                hexText(header->signer).c_str());
    // The store the discovery library reads, so that an image and a device certificate are trusted alike.
    vexa::TrustAnchors anchors;
    for (const std::string &dir : vexa::TrustAnchors::directories())
        anchors.addDirectory(dir);
    for (const std::string &problem : anchors.problems())
        std::fprintf(stderr, "vexa-scan: trust anchor %s\n", problem.c_str());
    if (!vexa::firmwareimage::verifyImage(path, anchors.keys(), error)) {
        std::printf("refused: %s\n", error.c_str());
        return kRefused;
    }
    std::printf("accepted: signed by a manufacturer this computer trusts; payload size and hash match\n");
    return kAccepted;
}

int image(int argc, char **argv)
{
    const Arguments args =
        Arguments::parse(argc, argv, {"--sign", "--model", "--version", "--payload", "--out", "--show"}, {});
    if (!args.error.empty())
        return badArguments(args.error);
    if (args.get("--show")) {
        if (args.values.size() != 1)
            return badArguments("image --show takes no other option");
        return showImage(*args.get("--show"));
    }
    if (!args.get("--sign"))
        return badArguments("image needs --sign or --show");
    return signImage(args);
}

} // namespace

int main(int argc, char **argv)
{
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "list")
        return list(argc, argv);
    if (command == "scan")
        return scan(argc, argv);
    if (command == "modify")
        return modify(argc, argv);
    if (command == "reset")
        return reset(argc, argv);
    if (command == "code")
        return code(argc, argv);
    if (command == "time")
        return timeJob(argc, argv);
    if (command == "passwd")
        return passwdJob(argc, argv);
    if (command == "reboot")
        return rebootJob(argc, argv);
    if (command == "image")
        return image(argc, argv);
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(kUsage, stdout);
        return kAccepted;
    }
    return badArguments(command.empty() ? "no command given" : "unknown command " + command);
}
