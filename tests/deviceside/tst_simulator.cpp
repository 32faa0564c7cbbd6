// The device simulator's own parts: devices files, generated networks, the
// state file, and the device side of the request exchange driven in-process.

#include <deviceside/devicefile.h>
#include <deviceside/generator.h>
#include <deviceside/simulator.h>
#include <deviceside/statefile.h>

#include <vexa/crypto.h>
#include <vexa/wire.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

namespace {

using namespace deviceside;
using namespace vexa;

const char *kValidDevice = R"({"serialNo": "CAM0001", "macAddr": "02:00:00:00:00:01",
    "ipv4Addr": "192.168.1.64", "ipv4Mask": "255.255.255.0", "typeCode": "0x9E10",
    "typeName": "VXA-K1T", "port": 8000})";

std::string fileWith(const std::string &device)
{
    return R"({"password": "pw123456", "devices": [)" + device + "]}";
}

std::string replaced(std::string text, const std::string &from, const std::string &to)
{
    text.replace(text.find(from), from.size(), to);
    return text;
}

TEST(DeviceFile, validFileWithDefaults)
{
    std::string error;
    const auto file = parseDeviceFile(fileWith(kValidDevice), error);
    ASSERT_TRUE(file) << error;
    ASSERT_EQ(file->devices.size(), 1u);
    EXPECT_EQ(file->password, "pw123456");
    const DeviceInfo &d = file->devices[0].info;
    EXPECT_EQ(d.typeCode, 0x9E10);
    EXPECT_EQ(d.extInfo, 1);
    EXPECT_EQ(d.httpPort, 80);
    EXPECT_EQ(d.ipv4Gateway, "");
    EXPECT_FALSE(file->devices[0].password);
}

struct BadFile {
    const char *name;
    std::string text;
    const char *expected; // part of the error text
};

class DeviceFileErrors : public ::testing::TestWithParam<BadFile>
{
};

TEST_P(DeviceFileErrors, refusedWithClearReason)
{
    std::string error;
    EXPECT_FALSE(parseDeviceFile(GetParam().text, error));
    EXPECT_NE(error.find(GetParam().expected), std::string::npos) << error;
}

const std::string kOther = replaced(replaced(kValidDevice, "CAM0001", "CAM0002"), ":01\"", ":02\"");

INSTANTIATE_TEST_SUITE_P(
    Cases, DeviceFileErrors,
    ::testing::Values(
        BadFile{"truncatedJson", fileWith(kValidDevice).substr(0, 40), "not valid JSON"},
        BadFile{"noDevicesArray", R"({"password": "x"})", "missing the \"devices\" array"},
        BadFile{"missingMac", fileWith(replaced(kValidDevice, R"("macAddr": "02:00:00:00:00:01",)", "")),
                "devices[0]: missing field \"macAddr\""},
        BadFile{"badMac", fileWith(replaced(kValidDevice, "02:00:00:00:00:01", "02:00:00:00:01")),
                "devices[0].macAddr"},
        BadFile{"leadingZeroAddress", fileWith(replaced(kValidDevice, "192.168.1.64", "192.168.01.64")),
                "devices[0].ipv4Addr"},
        BadFile{"holeInMask", fileWith(replaced(kValidDevice, "255.255.255.0", "255.0.255.0")),
                "devices[0].ipv4Mask"},
        BadFile{"portZero", fileWith(replaced(kValidDevice, "8000", "0")), "devices[0].port"},
        BadFile{"typeCodeText", fileWith(replaced(kValidDevice, "0x9E10", "camera")), "devices[0].typeCode"},
        BadFile{"typeNameTooLong", fileWith(replaced(kValidDevice, "VXA-K1T", std::string(24, 'T'))),
                "longer than 23 bytes"},
        BadFile{"unknownField", fileWith(replaced(kValidDevice, "\"port\"", "\"prot\"")),
                "unknown field \"prot\""},
        BadFile{"unknownProtocol", fileWith(replaced(kValidDevice, "\"port\"", "\"protocols\": \"upnp\", \"port\"")),
                "devices[0].protocols: must be"},
        BadFile{"openReadsNotBoolean", replaced(fileWith(kValidDevice), "{", "{\"onvifOpenReads\": 1, "),
                "onvifOpenReads: must be true or false"},
        BadFile{"duplicateSerial", fileWith(std::string(kValidDevice) + "," +
                                            replaced(kValidDevice, ":01\"", ":02\"")),
                "serial number CAM0001 used twice"},
        BadFile{"duplicateMac", fileWith(std::string(kValidDevice) + "," +
                                         replaced(kValidDevice, "CAM0001", "CAM0002")),
                "MAC address 02:00:00:00:00:01 used twice"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(DeviceFile, twoDistinctDevicesAreFine)
{
    std::string error;
    const auto file = parseDeviceFile(fileWith(std::string(kValidDevice) + "," + kOther), error);
    ASSERT_TRUE(file) << error;
    EXPECT_EQ(file->devices.size(), 2u);
}

TEST(DeviceFile, demoNetwork)
{
    std::string error;
    const auto file = loadDeviceFile(DEMO_NETWORK, error);
    ASSERT_TRUE(file) << error;
    EXPECT_EQ(file->password, "demo1234");
    ASSERT_EQ(file->devices.size(), 34u);
    EXPECT_TRUE(file->onvifOpenReads);
    int factoryDefault = 0, accessControl = 0, ipv6 = 0, basic = 0, onvifOnly = 0, both = 0;
    for (const DeviceEntry &e : file->devices) {
        onvifOnly += e.protocols == Protocols::Onvif;
        both += e.protocols == Protocols::Both;
        factoryDefault += e.info.ipv4Addr == "192.168.1.64";
        accessControl += e.info.typeCode == 0x9E10;
        ipv6 += (e.info.capabilities & CapIpv6) != 0;
        basic += e.info.extInfo == 0;
    }
    EXPECT_EQ(factoryDefault, 2);
    EXPECT_EQ(accessControl, 1);
    EXPECT_GE(ipv6, 3);
    EXPECT_GE(basic, 2);
    EXPECT_EQ(onvifOnly, 3);
    EXPECT_EQ(both, 1);
}

TEST(Generator, uniqueAndPlausible)
{
    const auto devices = generateDevices(10000, 42);
    ASSERT_EQ(devices.size(), 10000u);
    std::set<std::string> serials, macs;
    std::set<int32_t> types;
    int basic = 0, ipv6 = 0, readOnly = 0, dhcp = 0;
    for (const DeviceInfo &d : devices) {
        serials.insert(d.serialNo);
        macs.insert(d.macAddr);
        types.insert(d.typeCode);
        EXPECT_TRUE(canonicalMac(d.macAddr) == d.macAddr) << d.macAddr;
        EXPECT_TRUE(parseIpv4(d.ipv4Addr)) << d.ipv4Addr;
        EXPECT_LE(d.serialNo.size(), limits::serialNo);
        EXPECT_LE(d.typeName.size(), limits::typeName);
        EXPECT_LE(d.softwareVersion.size(), limits::version);
        EXPECT_FALSE(d.startTime.empty());
        basic += d.extInfo == 0;
        ipv6 += (d.capabilities & CapIpv6) != 0;
        readOnly += d.typeCode >= 0x9D00 && d.typeCode <= 0x9FFF;
        dhcp += d.dhcpOn;
        if (d.extInfo == 0) { // old firmware reports none of the extended fields
            EXPECT_TRUE(d.ipv4Gateway.empty() && d.ipv6Addr.empty() && d.capabilities == 0);
        }
        if (!d.ipv6Addr.empty()) {
            EXPECT_TRUE(canonicalIpv6(d.ipv6Addr)) << d.ipv6Addr;
        }
    }
    EXPECT_EQ(serials.size(), devices.size());
    EXPECT_EQ(macs.size(), devices.size());
    EXPECT_GE(types.size(), 8u);
    EXPECT_GT(basic, 0);
    EXPECT_GT(ipv6, 0);
    EXPECT_GT(readOnly, 0);
    EXPECT_GT(dhcp, 0);
    EXPECT_EQ(generateDevices(50, 42)[49].serialNo, devices[49].serialNo) << "same seed, same network";
}

class TempDir : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/tst_simulator.XXXXXX";
        ASSERT_TRUE(mkdtemp(pattern));
        m_dir = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(m_dir); }
    std::string path(const char *name) const { return m_dir + "/" + name; }
    // Every file of the directory: what a save leaves behind.
    std::set<std::string> files() const
    {
        std::set<std::string> names;
        for (const auto &entry : std::filesystem::directory_iterator(m_dir))
            names.insert(entry.path().filename().string());
        return names;
    }

    static void write(const std::string &file, const std::string &text)
    {
        std::ofstream(file, std::ios::binary) << text;
    }

    std::string m_dir;
};

using StateFileTest = TempDir;

TEST_F(StateFileTest, roundTripSurvivesLeftoverTempFile)
{
    StateFile state(path("state.json"));
    DeviceState &s = state.device("CAM0001|02:00:00:00:00:01");
    s.network = NetworkState{"10.0.0.5", "255.255.0.0", "10.0.0.1", 8100, "fd00::5", "fd00::1", 64, 0};
    s.passwordHash = "$argon2id$v=19$m=16384,t=2,p=1$c2FsdA$aGFzaA";
    s.usedCodeDates = {"2024-05-17"};
    s.certificate.emplace().fill(0xC3);
    s.codeKey.emplace().fill(0x0D);
    state.device("CAM0002|02:00:00:00:00:02").passwordHash = "$argon2id$v=19$m=19456,t=2,p=1$c2FsdA$b3RoZXI";
    std::string error;
    ASSERT_TRUE(state.save(error)) << error;
    EXPECT_EQ(files(), std::set<std::string>{"state.json"});
    EXPECT_EQ(std::filesystem::status(path("state.json")).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);

    // A crash in the middle of the next save leaves a torn temporary file behind.
    write(path("state.json.a1B2c3"), "{\"version\": 1, \"devi");
    StateFile reread(path("state.json"));
    ASSERT_TRUE(reread.load(error)) << error;
    EXPECT_EQ(reread.devices(), state.devices());

    reread.device("CAM0002|02:00:00:00:00:02").network =
        NetworkState{"10.0.0.6", "255.255.0.0", "", 8000, "", "", 0, 1};
    ASSERT_TRUE(reread.save(error)) << error;
    StateFile third(path("state.json"));
    ASSERT_TRUE(third.load(error)) << error;
    EXPECT_EQ(third.devices(), reread.devices());
    EXPECT_EQ(files(), (std::set<std::string>{"state.json", "state.json.a1B2c3"}));
}

TEST_F(StateFileTest, plantedNamesAreNeitherFollowedNorOverwritten)
{
    // The old fixed temporary name as a symlink to a victim file: the save must not write through it.
    write(path("victim"), "precious");
    std::filesystem::create_symlink(path("victim"), path("state.json.tmp"));
    StateFile state(path("state.json"));
    state.setKeySecret("00");
    std::string error;
    ASSERT_TRUE(state.save(error)) << error;
    std::ifstream victim(path("victim"));
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(victim), {}), "precious");

    // The state itself as a symlink is refused rather than read.
    std::filesystem::create_symlink(path("victim"), path("linked.json"));
    StateFile linked(path("linked.json"));
    EXPECT_FALSE(linked.load(error));

    // A directory that cannot take the temporary file: an error, not a silent success.
    StateFile nowhere(path("missing/state.json"));
    nowhere.setKeySecret("00");
    error.clear();
    EXPECT_FALSE(nowhere.save(error));
    EXPECT_FALSE(error.empty());
}

const std::string kGoodNetwork = R"({"version": 1, "devices": {"a|b": {"network": {"ipv4Addr": "1.2.3.4",
    "ipv4Mask": "255.255.0.0", "ipv4Gateway": "", "port": 80, "ipv6Addr": "", "ipv6Gateway": "",
    "ipv6PrefixLen": 0, "dhcpOn": 0}}}})";

TEST_F(StateFileTest, missingFileIsEmptyDamagedFileIsAnError)
{
    {
        write(path("good.json"), kGoodNetwork);
        StateFile good(path("good.json"));
        std::string error;
        ASSERT_TRUE(good.load(error)) << error; // the baseline the damaged cases change one thing of
    }
    std::string error;
    StateFile fresh(path("none.json"));
    EXPECT_TRUE(fresh.load(error));
    EXPECT_TRUE(fresh.devices().empty());

    for (const std::string &damage :
         {std::string("{\"version\": 1, \"devices\": {\"a|b\": {\"network\": {\"ipv4Addr\": 5}}}"),
          std::string("{\"version\": 1, \"devices\": {\"a|b\": {\"network\": {\"ipv4Addr\": \"1.2.3.4\", "
                      "\"ipv4Mask\": \"255.0.255.0\", \"ipv4Gateway\": \"\", \"port\": 80, \"ipv6Addr\": "
                      "\"\", \"ipv6Gateway\": \"\", \"ipv6PrefixLen\": 0, \"dhcpOn\": 0}}}}"),
          std::string("not json"), std::string("{\"version\": 9, \"devices\": {}}"),
          // Numbers out of range are refused, never wrapped (65537 would be port 1).
          replaced(kGoodNetwork, "\"port\": 80", "\"port\": 65537"),
          replaced(kGoodNetwork, "\"port\": 80", "\"port\": -1"),
          replaced(kGoodNetwork, "\"ipv6PrefixLen\": 0", "\"ipv6PrefixLen\": 257"),
          replaced(kGoodNetwork, "\"dhcpOn\": 0", "\"dhcpOn\": 257"),
          // Hash parameters a device must not spend: 4 GiB, 100 000 passes, several lanes, another scheme.
          std::string(R"({"version": 1, "devices": {"a|b": {"passwordHash": "$argon2id$v=19$m=4194304,t=2,p=1$c2FsdA$aGFzaA"}}})"),
          std::string(R"({"version": 1, "devices": {"a|b": {"passwordHash": "$argon2id$v=19$m=19456,t=100000,p=1$c2FsdA$aGFzaA"}}})"),
          std::string(R"({"version": 1, "devices": {"a|b": {"passwordHash": "$argon2id$v=19$m=19456,t=2,p=4$c2FsdA$aGFzaA"}}})"),
          std::string(R"({"version": 1, "devices": {"a|b": {"passwordHash": "$argon2i$v=19$m=19456,t=2,p=1$c2FsdA$aGFzaA"}}})"),
          std::string(R"({"version": 1, "devices": {"a|b": {"usedCodeDates": ["yesterday"]}}})"),
          // Provisioned keys of the wrong size or not hex.
          std::string(R"({"version": 1, "devices": {"a|b": {"codeKey": "00ff"}}})"),
          R"({"version": 1, "devices": {"a|b": {"codeKey": ")" + std::string(64, 'g') + "\"}}}",
          R"({"version": 1, "devices": {"a|b": {"certificate": ")" + std::string(126, '0') + "\"}}}"}) {
        write(path("bad.json"), damage);
        StateFile bad(path("bad.json"));
        error.clear();
        EXPECT_FALSE(bad.load(error)) << damage;
        EXPECT_FALSE(error.empty());
    }
}

// --- the device side of the exchange, with a tool played by the test ---

const crypto::FactoryKey kFactoryKey = [] {
    crypto::FactoryKey key{};
    for (size_t i = 0; i < key.size(); ++i)
        key[i] = uint8_t(i);
    return key;
}();


class Exchange : public TempDir
{
protected:
    void SetUp() override
    {
        TempDir::SetUp();
        ASSERT_TRUE(crypto::init());
        std::string error;
        auto file = parseDeviceFile(fileWith(std::string(kValidDevice) + "," + kOther), error);
        ASSERT_TRUE(file) << error;
        // The test device also supports changing IPv6.
        file->devices[0].info.capabilities = CapIpv6 | CapIpv6Modifiable;
        m_state = std::make_unique<StateFile>(path("state.json"));
        Simulator::Config config;
        config.defaultPassword = *file->password;
        config.masterKey = kFactoryKey;
        config.manufacturerKey = crypto::manufacturerKeyFromSeed(kFactoryKey);
        configure(config);
        m_sim = std::make_unique<Simulator>(config, std::move(file->devices), *m_state,
                                            [this](std::span<const uint8_t> d) { m_sent.emplace_back(d.begin(), d.end()); });
        ASSERT_TRUE(m_sim->init(error)) << error;
        m_now = Clock::now();
        m_sim->start(m_now);
        m_sim->runDue(m_now + std::chrono::seconds(1)); // boot announcements
        m_sent.clear();
    }

    virtual void configure(Simulator::Config &) {}

    void deliver(const wire::Bytes &datagram, int ttl = 255, uint32_t destination = 0)
    {
        m_sim->receive(datagram, ttl, m_now, packet::Address::v4NetworkOrder(m_source),
                       destination ? packet::Address::v4NetworkOrder(destination) : packet::Address());
    }

    std::string command(const std::string &line)
    {
        std::string out;
        bool quit = false;
        m_sim->command(line, m_now, out, quit);
        return out;
    }
    // The default password printed on the device's label: the last word of the first line of "show".
    std::string labelPassword(const std::string &serial)
    {
        const std::string out = command("show " + serial);
        const std::string line = out.substr(0, out.find('\n'));
        return line.substr(line.rfind(' ') + 1);
    }
    std::string codeFor(const std::string &serial, std::chrono::hours offset)
    {
        return crypto::securityCode(crypto::deviceCodeKey(kFactoryKey, serial), serial,
                                    crypto::utcDate(std::chrono::system_clock::now() + offset));
    }

    template<typename T>
    std::vector<T> sentOf()
    {
        std::vector<T> out;
        for (const auto &bytes : m_sent) {
            if (auto m = wire::decode(bytes); m && std::holds_alternative<T>(*m))
                out.push_back(std::get<T>(*m));
        }
        return out;
    }

    wire::NonceBytes nonceFor(const wire::Target &target, uint32_t requestId)
    {
        m_sent.clear();
        deliver(wire::encode(wire::NonceRequest{requestId, target}));
        const auto nonces = sentOf<wire::Nonce>();
        EXPECT_EQ(nonces.size(), 1u);
        return nonces.empty() ? wire::NonceBytes{} : nonces[0].nonce;
    }

    wire::Bytes modifyRequest(uint32_t requestId, const std::string &password, const char *address,
                              bool confirm = false, std::optional<wire::RequesterId> requester = {})
    {
        wire::ModifyBody body;
        body.requester = requester;
        body.confirm = confirm;
        body.nonce = nonceFor(wire::Target::byMac(kMac), requestId);
        body.replyKey = m_replyKey;
        body.password = password;
        body.ipv4Addr = {10, 1, 2, 3};
        std::sscanf(address, "%hhu.%hhu.%hhu.%hhu", &body.ipv4Addr[0], &body.ipv4Addr[1], &body.ipv4Addr[2],
                    &body.ipv4Addr[3]);
        body.ipv4Mask = {255, 255, 0, 0};
        body.port = 8100;
        const auto key = m_sim->publicKey("CAM0001");
        return wire::encode(wire::Modify{requestId, kMac, crypto::seal(wire::encodeBody(body), key)});
    }

    wire::Bytes resetRequest(uint32_t requestId, const std::string &code)
    {
        wire::ResetBody body;
        body.nonce = nonceFor(wire::Target::bySerial("CAM0001"), requestId);
        body.replyKey = m_replyKey;
        body.securityCode = code;
        const auto key = m_sim->publicKey("CAM0001");
        return wire::encode(wire::Reset{requestId, "CAM0001", crypto::seal(wire::encodeBody(body), key)});
    }

    wire::Bytes jobRequest(uint32_t requestId, wire::JobBody body)
    {
        body.nonce = nonceFor(wire::Target::byMac(kMac), requestId);
        body.replyKey = m_replyKey;
        const auto key = m_sim->publicKey("CAM0001");
        return wire::encode(wire::Job{requestId, kMac, crypto::seal(wire::encodeBody(body), key)});
    }

    // Sends a JOB and returns the one verified JOB_RESULT it was answered with.
    std::optional<wire::JobResult> jobResultOf(const wire::Bytes &request)
    {
        m_sent.clear();
        deliver(request);
        std::optional<wire::JobResult> result;
        for (const auto &bytes : m_sent) {
            const auto m = wire::decode(bytes);
            EXPECT_FALSE(m && std::holds_alternative<wire::Result>(*m)) << "a JOB is answered by a JOB_RESULT";
            if (m && std::holds_alternative<wire::JobResult>(*m)) {
                EXPECT_FALSE(result) << "one request, one result";
                EXPECT_TRUE(crypto::verifyResult(bytes, m_replyKey));
                result = std::get<wire::JobResult>(*m);
            }
        }
        return result;
    }

    // Sends a request and returns the one verified status it was answered with.
    std::optional<wire::Status> statusOf(const wire::Bytes &request)
    {
        m_sent.clear();
        deliver(request);
        std::optional<wire::Status> status;
        for (const auto &bytes : m_sent) {
            const auto m = wire::decode(bytes);
            if (m && std::holds_alternative<wire::Result>(*m)) {
                EXPECT_FALSE(status) << "one request, one result";
                EXPECT_TRUE(crypto::verifyResult(bytes, m_replyKey));
                status = std::get<wire::Result>(*m).status;
            }
        }
        return status;
    }

    static constexpr wire::Mac kMac{0x02, 0, 0, 0, 0, 0x01};
    const wire::ReplyKey m_replyKey = crypto::randomArray<wire::kReplyKeySize>();
    std::unique_ptr<StateFile> m_state;
    std::unique_ptr<Simulator> m_sim;
    std::vector<wire::Bytes> m_sent;
    Clock::time_point m_now;
    uint32_t m_source = 0x0100007F; // 127.0.0.1, network order
};

TEST_F(Exchange, inquiryAnswersSpreadOverTheWindowAndEchoTheTool)
{
    wire::Inquiry inquiry;
    inquiry.toolId.fill(0x5A);
    inquiry.spreadMs = 300;
    deliver(wire::encode(inquiry), 64); // not from this link: ignored
    m_sim->runDue(m_now + std::chrono::milliseconds(300));
    EXPECT_TRUE(sentOf<wire::Announce>().empty());

    deliver(wire::encode(inquiry));
    m_sim->runDue(m_now + std::chrono::milliseconds(300));
    const auto answers = sentOf<wire::Announce>();
    ASSERT_EQ(answers.size(), 2u);
    for (const auto &a : answers) {
        EXPECT_EQ(a.reason, wire::AnnounceReason::InquiryAnswer);
        EXPECT_EQ(a.toolId, inquiry.toolId);
    }
}

TEST_F(Exchange, repeatedInquiryDrawsOnlyTheUnheardDevicesOnceEachRound)
{
    constexpr wire::Mac kOtherMac{0x02, 0, 0, 0, 0, 0x02};
    wire::InquiryRepeat repeat;
    repeat.toolId.fill(0x5A);
    repeat.spreadMs = 100;
    repeat.burst = 1;
    repeat.round = 1;
    repeat.high = UINT32_MAX;
    repeat.heard = {crypto::answerHint(repeat.toolId, "CAM0001", kMac)};
    deliver(wire::encode(repeat));
    deliver(wire::encode(repeat)); // the round's second copy draws no second answer
    // Answers only: the boot announcement's repeats fall due meanwhile.
    const auto answersUntil = [this](Clock::duration later) {
        m_sim->runDue(m_now + later);
        auto answers = sentOf<wire::Announce>();
        std::erase_if(answers, [](const auto &a) { return a.reason != wire::AnnounceReason::InquiryAnswer; });
        return answers;
    };
    auto answers = answersUntil(std::chrono::seconds(1));
    ASSERT_EQ(answers.size(), 2u); // one answer, sent twice
    for (const auto &a : answers) {
        EXPECT_EQ(a.info.serial, "CAM0002");
        EXPECT_EQ(a.toolId, repeat.toolId);
    }

    // A range holding only the first device's hint, unlisted: only it answers.
    m_sent.clear();
    repeat.round = 2;
    repeat.low = repeat.high = repeat.heard[0];
    repeat.heard.clear();
    ASSERT_NE(crypto::answerHint(repeat.toolId, "CAM0002", kOtherMac), repeat.low);
    deliver(wire::encode(repeat));
    answers = answersUntil(std::chrono::seconds(2));
    ASSERT_EQ(answers.size(), 2u);
    EXPECT_EQ(answers[0].info.serial, "CAM0001");
}

TEST_F(Exchange, inquiryFloodKeepsOneAnswerPendingPerDeviceWithinItsBudget)
{
    const size_t idle = m_sim->pendingTimers(); // heartbeats and boot repeats
    std::map<std::string, int> answers;
    constexpr int kSteps = 100; // 10 s of 300 inquiries every 100 ms, each from another tool
    for (int step = 0; step <= kSteps; ++step) {
        const Clock::time_point now = m_now + step * std::chrono::milliseconds(100);
        for (int i = 0; i < 300; ++i) {
            wire::Inquiry inquiry{crypto::randomArray<wire::kToolIdSize>(), UINT16_MAX};
            m_sim->receive(wire::encode(inquiry), 255, now);
        }
        EXPECT_LE(m_sim->pendingTimers(), idle + m_sim->deviceCount()) << "step " << step;
        m_sim->runDue(now);
        for (const auto &a : sentOf<wire::Announce>())
            answers[a.info.serial] += a.reason == wire::AnnounceReason::InquiryAnswer;
        m_sent.clear();
    }
    for (const auto &[serial, count] : answers)
        EXPECT_LE(count, 8 + 4 * 10) << serial;
    // The spread is capped: two seconds after the flood every answer has gone.
    m_sim->runDue(m_now + std::chrono::seconds(12));
    EXPECT_LE(m_sim->pendingTimers(), idle);
}

TEST_F(Exchange, bootAndChangeAreAnnouncedThreeTimes)
{
    m_sim->runDue(m_now + std::chrono::seconds(5));
    EXPECT_EQ(sentOf<wire::Announce>().size(), 4u); // the boot's two repeats, both devices
    m_now += std::chrono::seconds(5);
    ASSERT_EQ(statusOf(modifyRequest(3, "pw123456", "10.1.2.3")), wire::Status::Ok);
    m_sim->runDue(m_now + std::chrono::seconds(4));
    const auto changed = sentOf<wire::Announce>();
    ASSERT_EQ(changed.size(), 3u);
    for (const auto &a : changed)
        EXPECT_EQ(a.reason, wire::AnnounceReason::Changed);
}

TEST_F(Exchange, modifyAppliesOncePersistsAndAnnounces)
{
    const wire::Bytes request = modifyRequest(7, "pw123456", "10.1.2.3");
    EXPECT_EQ(statusOf(request), wire::Status::Ok);
    const auto changed = sentOf<wire::Announce>();
    ASSERT_EQ(changed.size(), 1u);
    EXPECT_EQ(changed[0].reason, wire::AnnounceReason::Changed);
    EXPECT_EQ(m_sim->device("CAM0001")->ipv4Addr, "10.1.2.3");
    EXPECT_EQ(m_sim->device("CAM0001")->port, 8100);

    // The tool's retransmission: the same answer again, nothing applied twice.
    EXPECT_EQ(statusOf(request), wire::Status::Ok);
    EXPECT_TRUE(sentOf<wire::Announce>().empty());

    // The same request replayed after the cache forgot it: the nonce is spent.
    m_now += std::chrono::seconds(11);
    EXPECT_EQ(statusOf(request), wire::Status::StaleNonce);

    StateFile reread(path("state.json"));
    std::string error;
    ASSERT_TRUE(reread.load(error)) << error;
    const auto &saved = reread.devices().at("CAM0001|02:00:00:00:00:01");
    ASSERT_TRUE(saved.network);
    EXPECT_EQ(saved.network->ipv4Addr, "10.1.2.3");
}

TEST_F(Exchange, nonceExpiresAfterTenSeconds)
{
    const wire::Bytes request = modifyRequest(8, "pw123456", "10.1.2.3");
    m_now += std::chrono::seconds(10);
    EXPECT_EQ(statusOf(request), wire::Status::StaleNonce);
}

TEST_F(Exchange, wrongPasswordLocksOutItsRequesterWithGrowingDelay)
{
    EXPECT_EQ(statusOf(modifyRequest(1, "wrong", "10.1.2.3")), wire::Status::WrongPassword);
    const wire::Bytes locked = modifyRequest(2, "pw123456", "10.1.2.3");
    EXPECT_EQ(statusOf(locked), wire::Status::RateLimited);
    m_now += std::chrono::milliseconds(1001);
    EXPECT_EQ(statusOf(modifyRequest(3, "wrong", "10.1.2.3")), wire::Status::WrongPassword);
    m_now += std::chrono::milliseconds(1500); // the second failure locks for two seconds
    EXPECT_EQ(statusOf(modifyRequest(4, "pw123456", "10.1.2.3")), wire::Status::RateLimited);
    m_now += std::chrono::milliseconds(600);
    // A refusal for the lock kept the nonce: the retransmission of request 2 now goes through.
    EXPECT_EQ(statusOf(locked), wire::Status::Ok);
}

TEST_F(Exchange, aStrangersGuessesNeitherLockOutOthersNorLastForever)
{
    const uint32_t stranger = 0x0200007F, tool = m_source;
    // One guess a minute for an hour: the back-off decays instead of stopping at 60 s for good.
    m_source = stranger;
    for (int i = 0; i < 60; ++i) {
        EXPECT_EQ(statusOf(modifyRequest(100 + i, "guess", "10.1.2.3")), wire::Status::WrongPassword) << i;
        m_now += std::chrono::seconds(61);
    }
    // A burst of guesses locks only the stranger; the tool's right password goes through at once.
    for (int i = 0; i < 20; ++i)
        statusOf(modifyRequest(200 + i, "guess", "10.1.2.3"));
    EXPECT_EQ(statusOf(modifyRequest(300, "pw123456", "10.1.2.3")), wire::Status::RateLimited);
    m_source = tool;
    EXPECT_EQ(statusOf(modifyRequest(301, "pw123456", "10.1.2.3")), wire::Status::Ok);

    // Guesses from forged addresses meet the device-wide ceiling: four checks at once, then
    // two a second, so the tool's retransmission half a second later is checked.
    m_now += std::chrono::seconds(2);
    int checked = 0;
    for (uint32_t i = 0; i < 10; ++i) {
        m_source = 0x0A000000 + i;
        checked += statusOf(modifyRequest(400 + i, "guess", "10.1.2.3")) == wire::Status::WrongPassword;
    }
    EXPECT_EQ(checked, 4);
    m_source = tool;
    const wire::Bytes request = modifyRequest(410, "pw123456", "10.1.2.3");
    EXPECT_EQ(statusOf(request), wire::Status::RateLimited);
    m_now += std::chrono::milliseconds(500);
    EXPECT_EQ(statusOf(request), wire::Status::Ok);
}

// Revision 5: whoever forges the tool's source address charges its own
// requester id, not the tool's; strangers spending the device-wide ceiling
// from forged addresses leave a lane to a requester that gave the right
// password lately; and forged nonce requests, at any rate, never leave the
// tool without a nonce. Ten rounds each: the administrator gets through every time.
TEST_F(Exchange, limitsAreChargedToTheirRequesterNotToAForgedSourceAddress)
{
    const auto tool = crypto::randomArray<wire::kRequesterIdSize>();
    const auto stranger = crypto::randomArray<wire::kRequesterIdSize>();
    const uint32_t toolSource = m_source;
    uint32_t id = 1;
    const auto modify = [&](const wire::RequesterId &who, const char *password) {
        const int last = int(id % 200);
        return statusOf(modifyRequest(id++, password, ("10.1.2." + std::to_string(last)).c_str(), false, who));
    };
    int accepted = 0;
    // The stranger forges the tool's own source address (learnt from its inquiry) and guesses.
    for (int round = 0; round < 10; ++round) {
        modify(stranger, "guess");
        accepted += modify(tool, "pw123456") == wire::Status::Ok;
        m_now += std::chrono::seconds(1);
    }
    EXPECT_EQ(accepted, 10) << "locked out by a stranger's guesses";

    // A thousand forged sources, each guessing once, keep the ceiling spent.
    accepted = 0;
    for (int round = 0; round < 10; ++round) {
        for (uint32_t i = 0; i < 100; ++i) {
            m_source = 0x0A000000 + uint32_t(round) * 100 + i;
            modify(crypto::randomArray<wire::kRequesterIdSize>(), "guess");
        }
        m_source = toolSource;
        accepted += modify(tool, "pw123456") == wire::Status::Ok;
        m_now += std::chrono::seconds(1);
    }
    EXPECT_EQ(accepted, 10) << "kept out by strangers spending the ceiling";
    // A stranger never trusted gets nothing meanwhile.
    for (uint32_t i = 0; i < 100; ++i) {
        m_source = 0x0B000000 + i;
        modify(crypto::randomArray<wire::kRequesterIdSize>(), "guess");
    }
    m_source = toolSource;
    EXPECT_EQ(modify(stranger, "pw123456"), wire::Status::RateLimited);

    // Eight forged sources ask for nonces eight times a second; the tool asks between them.
    accepted = 0;
    m_now += std::chrono::seconds(10);
    for (int round = 0; round < 10; ++round) {
        for (uint32_t i = 0; i < 8; ++i) {
            m_source = 0x0C000000 + i;
            deliver(wire::encode(wire::NonceRequest{5000 + id++, wire::Target::byMac(kMac)}));
        }
        m_source = toolSource;
        accepted += modify(tool, "pw123456") == wire::Status::Ok;
        m_now += std::chrono::seconds(1);
    }
    EXPECT_EQ(accepted, 10) << "left without a nonce";
}

// A nonce opens one request of the device it came from, for the request it was asked for.
TEST_F(Exchange, aNonceOpensOneRequestOfItsOwnDeviceAndRequestId)
{
    const wire::NonceBytes nonce = nonceFor(wire::Target::byMac(kMac), 5);
    const auto modifyWith = [&](uint32_t requestId, wire::NonceBytes n) {
        wire::ModifyBody body;
        body.nonce = n;
        body.replyKey = m_replyKey;
        body.password = "pw123456";
        body.ipv4Addr = {10, 1, 2, 3};
        body.ipv4Mask = {255, 255, 0, 0};
        body.port = 8100;
        return wire::encode(wire::Modify{requestId, kMac, crypto::seal(wire::encodeBody(body), m_sim->publicKey("CAM0001"))});
    };
    wire::NonceBytes forged = nonce;
    forged[20] ^= 1;
    wire::NonceBytes older = nonce;
    older[7] ^= 1; // another issue time: the tag no longer matches
    EXPECT_EQ(statusOf(modifyWith(6, nonce)), wire::Status::StaleNonce) << "another request id";
    EXPECT_EQ(statusOf(modifyWith(5, forged)), wire::Status::StaleNonce);
    EXPECT_EQ(statusOf(modifyWith(5, older)), wire::Status::StaleNonce);
    EXPECT_EQ(statusOf(modifyWith(5, nonce)), wire::Status::Ok);
    m_now += std::chrono::seconds(1);
    EXPECT_EQ(statusOf(modifyWith(7, nonceFor(wire::Target::byMac(kMac), 7))), wire::Status::Ok);
}

TEST_F(Exchange, aNonceFloodDoesNotEvictAYoungNonce)
{
    const wire::Bytes genuine = modifyRequest(1, "pw123456", "10.1.2.3");
    // Thousands of nonce requests, from one stranger and from forged addresses, within the round trip.
    for (uint32_t i = 0; i < 3000; ++i) {
        m_source = 0x0A000000 | (i % 2 ? 7 : i);
        deliver(wire::encode(wire::NonceRequest{1000 + i, wire::Target::byMac(kMac)}));
    }
    m_source = 0x0100007F;
    m_now += std::chrono::seconds(2);
    EXPECT_EQ(statusOf(genuine), wire::Status::Ok);
}

TEST_F(Exchange, invalidParametersAreRefused)
{
    EXPECT_EQ(statusOf(modifyRequest(1, "pw123456", "224.0.0.9")), wire::Status::InvalidParameters);
    // Asked to wait for a confirmation it never offered (no window announced).
    EXPECT_EQ(statusOf(modifyRequest(2, "pw123456", "10.1.2.3", true)), wire::Status::InvalidParameters);
    EXPECT_EQ(m_sim->device("CAM0001")->ipv4Addr, "192.168.1.64");
}

// A device that rolls back unconfirmed changes (revision 4), its changes made
// by a back end that records them.
struct ConfirmCase {
    const char *name;
    enum { None, ToGroup, ToNewAddress, ToOldAddress, WrongKey, OtherRequest } confirm;
    bool kept;
};

class Confirmation : public Exchange, public testing::WithParamInterface<ConfirmCase>
{
protected:
    void configure(Simulator::Config &config) override
    {
        config.confirmWindowS = kWindowS;
        config.changeNetwork = [this](Simulator::NetworkChange change, const NetworkState &from,
                                      const NetworkState &to) {
            // What had gone out when the change was made: the RESULT must have.
            m_changes.push_back({change, from.ipv4Addr, to.ipv4Addr, sentOf<wire::Result>().size()});
            return true;
        };
    }
    struct Change {
        Simulator::NetworkChange kind;
        std::string from, to;
        size_t resultsSentBefore;
    };
    static constexpr uint16_t kWindowS = 5;
    std::vector<Change> m_changes;
};

TEST_P(Confirmation, aChangeHoldsOnlyWhenConfirmedByUnicastAtTheNewAddress)
{
    using Kind = Simulator::NetworkChange;
    m_sim->runDue(m_now + std::chrono::seconds(1));
    m_sent.clear();
    ASSERT_EQ(statusOf(modifyRequest(5, "pw123456", "10.1.2.3", true)), wire::Status::Ok);
    ASSERT_EQ(m_changes.size(), 1u);
    EXPECT_EQ(m_changes[0].kind, Kind::Apply);
    EXPECT_EQ(m_changes[0].from, "192.168.1.64");
    EXPECT_EQ(m_changes[0].to, "10.1.2.3");
    EXPECT_EQ(m_changes[0].resultsSentBefore, 1u) << "the RESULT leaves before the change";
    const auto announced = sentOf<wire::Announce>();
    ASSERT_FALSE(announced.empty());
    EXPECT_EQ(announced[0].info.confirmWindowS, kWindowS);

    const uint32_t newAddress = *parseIpv4("10.1.2.3");
    wire::Confirm confirm{5, kMac, {}};
    wire::ReplyKey key = m_replyKey;
    uint32_t destination = newAddress;
    switch (GetParam().confirm) {
    case ConfirmCase::None: break;
    case ConfirmCase::ToGroup: destination = *parseIpv4("239.255.77.1"); break;
    case ConfirmCase::ToNewAddress: break;
    case ConfirmCase::ToOldAddress: destination = *parseIpv4("192.168.1.64"); break;
    case ConfirmCase::WrongKey: key[0] ^= 1; break;
    case ConfirmCase::OtherRequest: confirm.requestId = 6; break;
    }
    m_sent.clear();
    if (GetParam().confirm != ConfirmCase::None) {
        const wire::Bytes datagram = crypto::encodeSignedConfirm(confirm, key);
        deliver(datagram, 255, destination);
        deliver(datagram, 255, destination); // the tool's retransmission is answered too
    }
    const auto results = sentOf<wire::Result>();
    EXPECT_EQ(results.size(), GetParam().kept ? 2u : 0u);
    for (const auto &r : results)
        EXPECT_EQ(r.status, wire::Status::Confirmed);

    m_now += std::chrono::seconds(kWindowS);
    m_sim->runDue(m_now);
    m_sim->runDue(m_now + std::chrono::seconds(4)); // the repeats of any change announcement
    EXPECT_EQ(m_changes.size(), GetParam().kept ? 1u : 2u);
    EXPECT_EQ(m_sim->device("CAM0001")->ipv4Addr, GetParam().kept ? "10.1.2.3" : "192.168.1.64");
    if (!GetParam().kept) {
        EXPECT_EQ(m_changes[1].kind, Kind::Rollback);
        EXPECT_EQ(m_changes[1].to, "192.168.1.64");
        EXPECT_EQ(sentOf<wire::Announce>().back().reason, wire::AnnounceReason::Changed);
        StateFile reread(path("state.json"));
        std::string error;
        ASSERT_TRUE(reread.load(error)) << error;
        EXPECT_EQ(reread.devices().at("CAM0001|02:00:00:00:00:01").network->ipv4Addr, "192.168.1.64");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Exchange, Confirmation,
    testing::Values(ConfirmCase{"unconfirmed", ConfirmCase::None, false},
                    ConfirmCase{"confirmedToTheGroup", ConfirmCase::ToGroup, false},
                    ConfirmCase{"confirmedAtTheNewAddress", ConfirmCase::ToNewAddress, true},
                    ConfirmCase{"confirmedAtTheOldAddress", ConfirmCase::ToOldAddress, false},
                    ConfirmCase{"forgedTag", ConfirmCase::WrongKey, false},
                    ConfirmCase{"otherRequest", ConfirmCase::OtherRequest, false}),
    [](const testing::TestParamInfo<ConfirmCase> &info) { return std::string(info.param.name); });

// A device whose back end checks each change before the RESULT (vexa-agent:
// plan and address probe) and may still fail to make it.
class CheckedChange : public Exchange
{
protected:
    void configure(Simulator::Config &config) override
    {
        config.confirmWindowS = 5;
        config.checkNetwork = [this](const NetworkState &from, const NetworkState &to) {
            m_steps.push_back("check " + from.ipv4Addr + " " + to.ipv4Addr);
            return to.ipv4Addr != "10.9.9.9";
        };
        config.changeNetwork = [this](Simulator::NetworkChange change, const NetworkState &, const NetworkState &to) {
            const bool apply = change == Simulator::NetworkChange::Apply;
            m_steps.push_back((apply ? "apply " : "rollback ") + to.ipv4Addr);
            return !apply || to.ipv4Addr != m_failing;
        };
    }
    // Ends the confirmation window; the steps the back end was asked for meanwhile.
    std::vector<std::string> stepsByTheWindowsEnd()
    {
        m_now += std::chrono::seconds(6);
        m_sim->runDue(m_now);
        return std::exchange(m_steps, {});
    }
    bool confirmAnswered(uint32_t requestId, const char *at)
    {
        m_sent.clear();
        deliver(crypto::encodeSignedConfirm({requestId, kMac, {}}, m_replyKey), 255, *parseIpv4(at));
        return !sentOf<wire::Result>().empty();
    }

    std::vector<std::string> m_steps;
    std::string m_failing; // the address the back end fails to change to
};

using Steps = std::vector<std::string>;

TEST_F(CheckedChange, aRefusedPlanTouchesNothing)
{
    EXPECT_EQ(statusOf(modifyRequest(1, "pw123456", "10.9.9.9", true)), wire::Status::InvalidParameters);
    EXPECT_EQ(std::exchange(m_steps, {}), Steps{"check 192.168.1.64 10.9.9.9"});
    EXPECT_TRUE(sentOf<wire::Announce>().empty());
    EXPECT_EQ(m_sim->device("CAM0001")->ipv4Addr, "192.168.1.64");
    StateFile reread(path("state.json"));
    std::string error;
    ASSERT_TRUE(reread.load(error)) << error;
    const auto saved = reread.devices().find("CAM0001|02:00:00:00:00:01");
    EXPECT_TRUE(saved == reread.devices().end() || !saved->second.network) << "a refused change was stored";
    EXPECT_EQ(stepsByTheWindowsEnd(), Steps{}) << "nothing to roll back";
}

TEST_F(CheckedChange, aChangeTheBackEndFailsIsNeverConfirmedAndStillRolledBack)
{
    // Another address: put back at once, and the tool's confirmation there finds nothing.
    m_failing = "10.6.6.6";
    EXPECT_EQ(statusOf(modifyRequest(2, "pw123456", "10.6.6.6", true)), wire::Status::Ok);
    EXPECT_EQ(m_sim->device("CAM0001")->ipv4Addr, "192.168.1.64");
    EXPECT_FALSE(confirmAnswered(2, "10.6.6.6")) << "a change that failed was confirmed";
    // The rollback timer runs for it too: what the back end could not undo at once, it undoes then.
    EXPECT_EQ(stepsByTheWindowsEnd(),
              (Steps{"check 192.168.1.64 10.6.6.6", "apply 10.6.6.6", "rollback 192.168.1.64"}));

    // The same address (a gateway or port change): its confirmation arrives where the device is.
    m_failing = "192.168.1.64";
    EXPECT_EQ(statusOf(modifyRequest(3, "pw123456", "192.168.1.64", true)), wire::Status::Ok);
    EXPECT_FALSE(confirmAnswered(3, "192.168.1.64")) << "a change that failed was confirmed";
    EXPECT_EQ(stepsByTheWindowsEnd(), (Steps{"check 192.168.1.64 192.168.1.64", "apply 192.168.1.64",
                                             "rollback 192.168.1.64"}));
    EXPECT_EQ(m_sim->device("CAM0001")->port, 8000) << "the failed change's port was kept";

    // A change that works is checked, applied, and rolled back unless confirmed.
    m_failing.clear();
    EXPECT_EQ(statusOf(modifyRequest(4, "pw123456", "10.1.2.3", true)), wire::Status::Ok);
    EXPECT_EQ(stepsByTheWindowsEnd(),
              (Steps{"check 192.168.1.64 10.1.2.3", "apply 10.1.2.3", "rollback 192.168.1.64"}));
}

TEST_F(Exchange, securityCodeRestoresTheDevicesOwnPasswordOnce)
{
    using std::chrono::hours;
    const auto today = crypto::utcDate(std::chrono::system_clock::now());
    const auto otherDeviceKey = crypto::deviceCodeKey(kFactoryKey, "CAM0002");
    const struct {
        const char *what;
        std::string code;
    } refused[] = {
        {"three days old", codeFor("CAM0001", hours(-72))},
        {"another device's code", codeFor("CAM0002", hours(0))},
        {"made with another device's key", crypto::securityCode(otherDeviceKey, "CAM0001", today)},
        {"made with the master key itself", crypto::securityCode(kFactoryKey, "CAM0001", today)},
        {"the date changed", "19990101" + codeFor("CAM0001", hours(0)).substr(8)},
        {"the old 20-character form", codeFor("CAM0001", hours(0)).substr(8)},
    };
    uint32_t id = 1;
    for (const auto &r : refused)
        EXPECT_EQ(statusOf(resetRequest(id++, r.code)), wire::Status::WrongSecurityCode) << r.what;

    const std::string label = labelPassword("CAM0001");
    EXPECT_EQ(label.size(), 12u);
    EXPECT_NE(label, labelPassword("CAM0002")) << "no password shared by every device";
    const std::string yesterdays = codeFor("CAM0001", hours(-24));
    EXPECT_EQ(statusOf(resetRequest(id++, yesterdays)), wire::Status::Ok);
    EXPECT_EQ(statusOf(modifyRequest(id++, "pw123456", "10.1.2.3")), wire::Status::WrongPassword);
    m_now += std::chrono::seconds(2);
    EXPECT_EQ(statusOf(modifyRequest(id++, label, "10.1.2.3")), wire::Status::Ok);

    // A captured code does not reset the device again, not even after a restart with the same state.
    EXPECT_EQ(statusOf(resetRequest(id++, yesterdays)), wire::Status::WrongSecurityCode);
    StateFile reread(path("state.json"));
    std::string error;
    ASSERT_TRUE(reread.load(error)) << error;
    EXPECT_EQ(reread.devices().at("CAM0001|02:00:00:00:00:01").usedCodeDates.size(), 1u);
}

TEST_F(Exchange, offlineDevicesSayGoodbyeAndStayQuiet)
{
    std::string out;
    bool quit = false;
    m_sim->command("offline CAM0001", m_now, out, quit);
    EXPECT_EQ(out, "ok offline 1\n");
    ASSERT_EQ(sentOf<wire::Goodbye>().size(), 2u); // twice: a goodbye cannot be repeated later
    m_sent.clear();
    deliver(wire::encode(wire::NonceRequest{9, wire::Target::byMac(kMac)}));
    EXPECT_TRUE(m_sent.empty());

    out.clear();
    m_sim->command("online all", m_now, out, quit);
    EXPECT_EQ(out, "ok online 1\n");
    EXPECT_EQ(sentOf<wire::Announce>().at(0).reason, wire::AnnounceReason::Boot);

    out.clear();
    m_sim->command("frobnicate", m_now, out, quit);
    EXPECT_EQ(out.rfind("error: unknown command", 0), 0u) << out;
    EXPECT_FALSE(quit);
}

TEST_F(Exchange, statsCountRequestsHeardAndShowPrintsTheCurrentParameters)
{
    std::string out;
    bool quit = false;
    m_sim->command("stats", m_now, out, quit);
    EXPECT_EQ(out, "ok stats inquiry 0 nonce 0 modify 0 reset 0 job 0\n");

    deliver(wire::encode(wire::Inquiry{}), 64); // not from this link: not heard
    deliver(wire::encode(wire::NonceRequest{10, wire::Target::byMac({0x02, 9, 9, 9, 9, 9})})); // another's device
    EXPECT_EQ(statusOf(modifyRequest(11, "pw123456", "10.1.2.3")), wire::Status::Ok);
    EXPECT_EQ(statusOf(resetRequest(12, "wrong")), wire::Status::WrongSecurityCode);
    out.clear();
    m_sim->command("stats", m_now, out, quit);
    EXPECT_EQ(out, "ok stats inquiry 0 nonce 2 modify 1 reset 1 job 0\n");

    out.clear();
    m_sim->command("show CAM0001", m_now, out, quit);
    EXPECT_EQ(out, "CAM0001 02:00:00:00:00:01 10.1.2.3 255.255.0.0 - 8100 - - 0 online " + labelPassword("CAM0001") +
                       "\nok show 1\n");
    out.clear();
    m_sim->command("show NOSUCH", m_now, out, quit);
    EXPECT_EQ(out.rfind("error: no device", 0), 0u) << out;
    out.clear();
    m_sim->command("stats now", m_now, out, quit);
    EXPECT_EQ(out.rfind("error:", 0), 0u) << out;
}

// --- commissioning jobs (revision 6) ---

int64_t msSinceEpoch(std::chrono::system_clock::time_point t)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(t.time_since_epoch()).count();
}

struct JobCase {
    const char *name;
    wire::JobKind kind;
    const char *password;
    std::optional<int64_t> utcMs; // relative to now when below 10^11, else absolute
    std::vector<std::string> ntp;
    std::optional<std::string> newPassword;
    wire::Status status;
    int64_t clockAfterS;          // the device clock's offset from the host's after the job, seconds
    const char *loginAfter;       // the password a MODIFY succeeds with after the job
};

class Jobs : public Exchange, public testing::WithParamInterface<JobCase>
{
protected:
    void configure(Simulator::Config &config) override { config.restartS = 3; }
};

TEST_P(Jobs, eachJobIsCheckedAndConfirmedByTheDevice)
{
    const JobCase &c = GetParam();
    const auto hostNow = std::chrono::system_clock::now();
    wire::JobBody body;
    body.kind = uint8_t(c.kind);
    body.password = c.password;
    if (c.utcMs)
        body.utcMs = *c.utcMs < 100000000000 ? msSinceEpoch(hostNow) + *c.utcMs : *c.utcMs;
    body.ntpServers = c.ntp;
    body.newPassword = c.newPassword;
    const auto result = jobResultOf(jobRequest(21, body));
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, c.status);
    EXPECT_EQ(result->target, wire::Target::byMac(kMac));

    // Every answer carries the clock as the device reads it after the job.
    const auto read = jobResultOf(jobRequest(22, {}));
    ASSERT_TRUE(read);
    EXPECT_EQ(read->status, wire::Status::Ok);
    EXPECT_NEAR(double(read->clockMs - msSinceEpoch(std::chrono::system_clock::now())) / 1000, double(c.clockAfterS),
                2.0);
    EXPECT_NEAR(double(result->clockMs - read->clockMs) / 1000, 0, 2.0);

    m_now += std::chrono::seconds(1); // past the lock-out of a wrong password
    EXPECT_EQ(statusOf(modifyRequest(23, c.loginAfter, "10.1.2.3")), wire::Status::Ok);
    // The state file holds hashes only: no password typed into a job is ever written.
    std::ifstream saved(path("state.json"));
    const std::string text((std::istreambuf_iterator<char>(saved)), std::istreambuf_iterator<char>());
    if (c.newPassword) {
        EXPECT_EQ(text.find(*c.newPassword), std::string::npos);
    }
}

using K = wire::JobKind;
using S = wire::Status;
INSTANTIATE_TEST_SUITE_P(
    Table, Jobs,
    testing::Values(
        JobCase{"readNeedsNoPassword", K::ReadClock, "", {}, {}, {}, S::Ok, 0, "pw123456"},
        JobCase{"clockAhead", K::SetClock, "pw123456", 2220000, {}, {}, S::Ok, 2220, "pw123456"},
        JobCase{"clockBehind", K::SetClock, "pw123456", -3600000, {}, {}, S::Ok, -3600, "pw123456"},
        JobCase{"clockWrongPassword", K::SetClock, "wrong", 2220000, {}, {}, S::WrongPassword, 0, "pw123456"},
        JobCase{"clockWithoutTime", K::SetClock, "pw123456", {}, {}, {}, S::InvalidParameters, 0, "pw123456"},
        JobCase{"clockIn1990", K::SetClock, "pw123456", 631152000000, {}, {}, S::InvalidParameters, 0, "pw123456"},
        JobCase{"clockIn2100", K::SetClock, "pw123456", 4102444800000, {}, {}, S::InvalidParameters, 0, "pw123456"},
        JobCase{"ntpTwoServers", K::SetNtp, "pw123456", {}, {"ntp1.example", "192.0.2.7"}, {}, S::Ok, 0, "pw123456"},
        JobCase{"ntpNone", K::SetNtp, "pw123456", {}, {}, {}, S::InvalidParameters, 0, "pw123456"},
        JobCase{"ntpNotAHostName", K::SetNtp, "pw123456", {}, {"ntp 1;reboot"}, {}, S::InvalidParameters, 0,
                "pw123456"},
        JobCase{"ntpWrongPassword", K::SetNtp, "pw12345", {}, {"ntp1.example"}, {}, S::WrongPassword, 0, "pw123456"},
        JobCase{"passwordChanged", K::SetPassword, "pw123456", {}, {}, "Kx9-longer", S::Ok, 0, "Kx9-longer"},
        JobCase{"passwordTooShort", K::SetPassword, "pw123456", {}, {}, "Kx9-lon", S::InvalidParameters, 0,
                "pw123456"},
        JobCase{"passwordTheSame", K::SetPassword, "pw123456", {}, {}, "pw123456", S::InvalidParameters, 0,
                "pw123456"},
        JobCase{"passwordMissing", K::SetPassword, "pw123456", {}, {}, {}, S::InvalidParameters, 0, "pw123456"},
        JobCase{"passwordWrongCurrent", K::SetPassword, "pw1234567", {}, {}, "Kx9-longer", S::WrongPassword, 0,
                "pw123456"},
        JobCase{"unknownKind", K(9), "pw123456", {}, {}, {}, S::NotOffered, 0, "pw123456"}),
    [](const testing::TestParamInfo<JobCase> &info) { return std::string(info.param.name); });

TEST_F(Exchange, aNewPasswordMayNotBeTheLabelPassword)
{
    wire::JobBody body;
    body.kind = uint8_t(wire::JobKind::SetPassword);
    body.password = "pw123456";
    body.newPassword = labelPassword("CAM0001");
    EXPECT_EQ(jobResultOf(jobRequest(31, body))->status, wire::Status::InvalidParameters);
}

TEST_F(Exchange, clockReadsAreCheapAndNeverLockOut)
{
    // A stranger's wrong passwords lock it out of jobs that need one, not out of a read.
    wire::JobBody wrong;
    wrong.kind = uint8_t(wire::JobKind::Reboot);
    wrong.password = "guess";
    EXPECT_EQ(jobResultOf(jobRequest(41, wrong))->status, wire::Status::WrongPassword);
    EXPECT_EQ(jobResultOf(jobRequest(42, wrong))->status, wire::Status::RateLimited);
    for (uint32_t i = 0; i < 10; ++i)
        EXPECT_EQ(jobResultOf(jobRequest(50 + i, {}))->status, wire::Status::Ok) << i;
}

class Restart : public Exchange
{
protected:
    void configure(Simulator::Config &config) override { config.restartS = kRestartS; }
    static constexpr int kRestartS = 3;
};

TEST_F(Restart, aDeviceGoesAwayAfterItsAnswerAndComesBackYoungerOnce)
{
    m_now += std::chrono::seconds(100);
    wire::JobBody body;
    body.kind = uint8_t(wire::JobKind::Reboot);
    body.password = "pw123456";
    const wire::Bytes reboot = jobRequest(61, body);
    const auto result = jobResultOf(reboot);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, wire::Status::Ok);
    EXPECT_GE(result->uptimeS, 100u);
    // The answer first, then the goodbye; then silence.
    ASSERT_EQ(m_sent.size(), 3u);
    EXPECT_TRUE(std::holds_alternative<wire::JobResult>(*wire::decode(m_sent[0])));
    EXPECT_EQ(sentOf<wire::Goodbye>().size(), 2u);
    m_sent.clear();
    deliver(wire::encode(wire::NonceRequest{62, wire::Target::byMac(kMac)}));
    EXPECT_TRUE(m_sent.empty());
    EXPECT_EQ(command("list").find("restarting") != std::string::npos, true);

    m_now += std::chrono::seconds(kRestartS);
    m_sim->runDue(m_now);
    ASSERT_FALSE(sentOf<wire::Announce>().empty());
    EXPECT_EQ(sentOf<wire::Announce>()[0].reason, wire::AnnounceReason::Boot);
    const auto back = jobResultOf(jobRequest(63, {}));
    ASSERT_TRUE(back);
    EXPECT_LT(back->uptimeS, 2u);

    // The reboot request replayed within its nonce's lifetime: refused, the device stays.
    const auto replayed = jobResultOf(reboot);
    ASSERT_TRUE(replayed);
    EXPECT_EQ(replayed->status, wire::Status::StaleNonce);
    EXPECT_TRUE(sentOf<wire::Goodbye>().empty());
}

TEST_F(Exchange, aModifyReplayedAfterTheDeviceCameBackOnlineIsRefused)
{
    // Going away forgets the nonces used so far: the nonces issued before must not open a request again.
    const wire::Bytes request = modifyRequest(71, "pw123456", "10.1.2.3");
    EXPECT_EQ(statusOf(request), wire::Status::Ok);
    command("offline CAM0001");
    command("online CAM0001");
    EXPECT_EQ(statusOf(request), wire::Status::StaleNonce);
}

TEST_F(Exchange, jobsOfferedAreAnnouncedAndAJobSealedToAnotherKeyIsNotAnswered)
{
    command("offline CAM0001");
    command("online CAM0001");
    const auto announced = sentOf<wire::Announce>();
    ASSERT_FALSE(announced.empty());
    EXPECT_EQ(announced[0].info.jobs, 0x3E);

    wire::JobBody body;
    body.nonce = nonceFor(wire::Target::byMac(kMac), 81);
    body.replyKey = m_replyKey;
    const auto other = crypto::seal(wire::encodeBody(body), m_sim->publicKey("CAM0002"));
    m_sent.clear();
    deliver(wire::encode(wire::Job{81, kMac, other}));
    EXPECT_TRUE(m_sent.empty());
}

class Offers : public Exchange
{
protected:
    void configure(Simulator::Config &config) override
    {
        config.jobs = wire::jobBit(wire::JobKind::ReadClock);
    }
};

TEST_F(Offers, aJobNotOfferedIsAnsweredSoWithoutAPasswordCheck)
{
    wire::JobBody body;
    body.kind = uint8_t(wire::JobKind::Reboot);
    body.password = "guess";
    for (uint32_t i = 0; i < 3; ++i)
        EXPECT_EQ(jobResultOf(jobRequest(91 + i, body))->status, wire::Status::NotOffered);
    EXPECT_EQ(jobResultOf(jobRequest(95, {}))->status, wire::Status::Ok);
}

} // namespace
