// The two programs together on loopback: the demo network as the scanner sees it.

#include <vexa/address.h>
#include <vexa/crypto.h>
#include "vexatestreports.h"
#include <vexa/wire.h>

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cmath>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::string binDir()
{
    return std::filesystem::read_symlink("/proc/self/exe").parent_path().string();
}

// vexa-devsim (on the demo network unless told otherwise), with a pipe to
// its standard input, or the file `input` there, and a pipe from its output.
class Simulator
{
public:
    explicit Simulator(std::vector<std::string> arguments = {}, const char *input = nullptr)
    {
        const std::string dir = binDir();
        if (arguments.empty())
            arguments = {"--devices", dir + "/demo-network.json"};
        arguments.insert(arguments.begin(), dir + "/vexa-devsim");
        std::vector<char *> argv;
        for (std::string &argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        int in[2], out[2];
        if (pipe(in) != 0 || pipe(out) != 0)
            return;
        m_pid = fork();
        if (m_pid == 0) {
            const int source = input ? open(input, O_RDONLY) : in[0];
            dup2(source, STDIN_FILENO);
            dup2(out[1], STDOUT_FILENO);
            close(in[1]);
            close(out[0]);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        m_input = fdopen(in[1], "w");
        if (input)
            closeInput();
        m_output = out[0];
    }

    ~Simulator()
    {
        // One that ignores SIGTERM must not outlive the test either.
        if (m_pid > 0 && (kill(m_pid, SIGTERM), exitStatus(std::chrono::seconds(5))) == -1) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
        closeInput();
        if (m_output >= 0)
            close(m_output);
    }

    pid_t pid() const { return m_pid; }

    // The next output line with its newline; empty when none comes within ten seconds.
    std::string line()
    {
        for (;;) {
            if (const size_t end = m_buffer.find('\n'); end != std::string::npos) {
                std::string text = m_buffer.substr(0, end + 1);
                m_buffer.erase(0, end + 1);
                return text;
            }
            pollfd p{m_output, POLLIN, 0};
            char chunk[4096];
            const ssize_t n = m_output >= 0 && poll(&p, 1, 10'000) > 0 ? read(m_output, chunk, sizeof chunk) : 0;
            if (n <= 0)
                return {};
            m_buffer.append(chunk, size_t(n));
        }
    }

    std::string command(const std::string &text)
    {
        std::fprintf(m_input, "%s\n", text.c_str());
        std::fflush(m_input);
        return line();
    }

    void closeInput()
    {
        if (m_input)
            fclose(m_input);
        m_input = nullptr;
    }

    // The exit status once the simulator has ended within `timeout`, -1 while it runs.
    int exitStatus(std::chrono::milliseconds timeout)
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            int status = 0;
            if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = -1;
                return status;
            }
            if (std::chrono::steady_clock::now() >= deadline)
                return -1;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }

    // Waits for a clean exit after "quit".
    int quit()
    {
        EXPECT_EQ(command("quit"), "ok quit\n");
        int status = -1;
        waitpid(m_pid, &status, 0);
        m_pid = -1;
        return status;
    }

private:
    pid_t m_pid = -1;
    FILE *m_input = nullptr;
    int m_output = -1;
    std::string m_buffer;
};

struct Outcome {
    std::string out;
    int exit = -1;
};

// One program of the build directory through the shell (for pipes and redirections); standard error is dropped.
Outcome run(const std::string &commandLine)
{
    FILE *pipe = popen(("cd " + binDir() + " && " + commandLine + " 2>/dev/null").c_str(), "r");
    Outcome r;
    char buffer[4096];
    size_t n;
    while (pipe && (n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        r.out.append(buffer, n);
    const int status = pipe ? pclose(pipe) : -1;
    r.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

std::string runScanner(const char *arguments)
{
    return run(std::string("./vexa-scan ") + arguments).out;
}

class ScannerLists : public testing::TestWithParam<const char *> {};

// `scan` lists as `list` does, the demo's ONVIF subnet probed too: its
// devices, found both ways, once each.
TEST_P(ScannerLists, everyDeviceOnce)
{
    Simulator sim;
    ASSERT_EQ(sim.line(), "ready 34 devices\n");
    const auto devices = nlohmann::json::parse(runScanner(GetParam()), nullptr, false);
    ASSERT_TRUE(devices.is_array());
    // Other simulators may share this host's loopback: count the demo network's own devices.
    std::ifstream demoFile(binDir() + "/demo-network.json");
    const auto demoNetwork = nlohmann::json::parse(demoFile);
    std::set<std::string> demo;
    for (const auto &d : demoNetwork.at("devices"))
        demo.insert(d.at("serialNo").get<std::string>() + "|" + d.at("macAddr").get<std::string>());
    ASSERT_EQ(demo.size(), 34u);
    std::set<std::string> identities;
    size_t fromDemo = 0;
    for (const auto &d : devices) {
        const std::string id = d.at("serialNo").get<std::string>() + "|" + d.at("macAddr").get<std::string>();
        identities.insert(id);
        fromDemo += demo.count(id);
    }
    EXPECT_EQ(fromDemo, 34u);
    EXPECT_EQ(identities.size(), devices.size()) << "every device listed once";
    ASSERT_FALSE(devices.empty());
    EXPECT_EQ(devices.front().size(), 19u) << "the keys of list --json";

    EXPECT_EQ(sim.command("offline all"), "ok offline 31\n");
    EXPECT_EQ(sim.command("bogus"), "error: unknown command \"bogus\" (offline, online, silence, list, show, stats, quit)\n");
    const int status = sim.quit();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

// The demo network's first device, as the devices file names it.
nlohmann::json firstDemoDevice()
{
    std::ifstream demoFile(binDir() + "/demo-network.json");
    return nlohmann::json::parse(demoFile).at("devices").at(0);
}

// Answers every inquiry at once, before any real device, with an uncertified
// announcement of another device's serial number and MAC.
class Impostor
{
public:
    Impostor(std::string serial, const std::string &mac)
    {
        m_info.serial = std::move(serial);
        m_info.mac = *vexa::address::parseMac(mac);
        m_info.ipv4Addr = {10, 66, 6, 6};
        m_info.ipv4Mask = {255, 255, 255, 0};
        const uint32_t group = vexa::address::toNetworkOrder(vexa::wire::kDeviceGroup);
        EXPECT_EQ(vexatest::driver()->open(vexa::wire::kPort, &group, 1, 0, &m_socket), 0);
        m_thread = std::thread([this] { run(); });
    }
    ~Impostor()
    {
        m_stop = true;
        vexatest::driver()->wake(m_socket);
        m_thread.join();
        vexatest::driver()->close(m_socket);
    }

private:
    void run()
    {
        const auto key = vexa::crypto::generateKeyPair().publicKey;
        std::array<uint8_t, vexa::wire::kMaxDatagram> buffer;
        while (!m_stop) {
            PKT_RecvInfo info{};
            const int n = vexatest::driver()->receive(m_socket, buffer.data(), buffer.size(), 200, &info);
            const auto m = n > 0 ? vexa::wire::decode(std::span(buffer).first(size_t(n))) : std::nullopt;
            if (const auto *inquiry = m ? std::get_if<vexa::wire::Inquiry>(&*m) : nullptr) {
                const auto answer = vexa::wire::encode(
                    vexa::wire::Announce{vexa::wire::AnnounceReason::InquiryAnswer, 30, inquiry->toolId, key, m_info});
                vexatest::driver()->send(m_socket, vexa::address::toNetworkOrder(vexa::wire::kToolGroup),
                                         vexa::wire::kPort, answer.data(), answer.size(), 0);
            }
        }
    }

    vexa::wire::DeviceInfo m_info;
    PKT_Socket *m_socket = nullptr;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

// The scanner listens until the certified record of its target arrives: an
// impostor answering first with the target's serial number and MAC does not
// make it give up.
INSTANTIATE_TEST_SUITE_P(Commands, ScannerLists,
                         testing::Values("list --json --wait 2", "scan 127.20.4.0/24 --rate 2000 --json --wait 2"));

// Refused before anything is sent, with the usage's exit status.
TEST(Scanner, scanRefusesBadRangesAndRates)
{
    for (const char *arguments : {"scan", "scan 127.20.4.0/8", "scan 127.20.4.1/24", "scan 127.20.4.0/24 --rate 0",
                                  "scan 127.20.4.0/24 --rate 2001", "scan 127.20.4.0/24 --rate x",
                                  "scan 127.20.4.0/24 --wait -1", "scan 127.20.4.0/24 --port 1",
                                  "scan 127.20.4.0/24 --rate", "scan 127.20.4.0/24 239.0.0.0/24"})
        EXPECT_EQ(run(std::string("./vexa-scan ") + arguments).exit, 2) << arguments;
}

TEST(DemoNetwork, scannerWaitsForTheCertifiedRecordOfItsTarget)
{
    ASSERT_TRUE(vexa::crypto::init());
    Simulator sim;
    ASSERT_EQ(sim.line(), "ready 34 devices\n");
    const auto device = firstDemoDevice();
    const std::string mac = device.at("macAddr"), serial = device.at("serialNo");
    Impostor impostor(serial, mac);
    for (int port = 8200; port < 8203; ++port) {
        const Outcome r = run("./vexa-scan modify --mac " + mac + " --password demo1234 --ip 10.77.0.6 --mask 255.255.0.0 --port "
                              + std::to_string(port));
        EXPECT_EQ(r.exit, 0) << r.out;
    }
}

TEST(DemoNetwork, scannerFindsTheDeviceFirstAndTakesPasswordsOffTheCommandLine)
{
    Simulator sim;
    ASSERT_EQ(sim.line(), "ready 34 devices\n");
    const auto device = firstDemoDevice();
    const std::string mac = device.at("macAddr"), serial = device.at("serialNo");
    char dir[] = "/tmp/tst_devsim_e2e.XXXXXX";
    ASSERT_TRUE(mkdtemp(dir));
    std::ofstream(std::string(dir) + "/pw") << "demo1234\n";
    std::ofstream(std::string(dir) + "/nul", std::ios::binary) << std::string("demo\0" "1234\n", 10);
    const std::string net = " --ip 10.77.0.5 --mask 255.255.0.0 --port ";
    const struct {
        std::string commandLine;
        int exit;
        const char *says;
    } rows[] = {
        {"./vexa-scan modify --mac " + mac + " --password-file " + dir + "/pw" + net + "8100", 0, "accepted"},
        {"echo demo1234 | ./vexa-scan modify --mac " + mac + " --password-file -" + net + "8101", 0, "accepted"},
        {"./vexa-scan modify --mac 02:de:ad:be:ef:00 --password demo1234" + net + "8100", 1, "no device with MAC"},
        {"./vexa-scan reset --serial NO-SUCH-DEVICE --code 20240517P2POEX2VG6DBV4N5CZBO", 1, "no device with serial"},
        {"./vexa-scan modify --mac " + mac + " --password-file " + dir + "/nul" + net + "8100", 2, ""},
        {"./vexa-scan modify --mac " + mac + " --password demo1234" + net + "65537", 2, ""},
        {"./vexa-scan modify --mac " + mac + " --password demo1234" + net + "'8100 '", 2, ""},
        {"./vexa-scan modify --mac " + mac + " --password demo1234" + net + "8100x", 2, ""},
        {"./vexa-devsim --count 1 --heartbeat 65566", 2, ""},
        {"./vexa-devsim --count 1 --heartbeat 30s", 2, ""},
        {"./vexa-devsim --count 1 --password-file -", 2, ""},
    };
    for (const auto &row : rows) {
        const Outcome r = run(row.commandLine);
        EXPECT_EQ(r.exit, row.exit) << row.commandLine << "\n" << r.out;
        EXPECT_NE(r.out.find(row.says), std::string::npos) << row.commandLine << "\n" << r.out;
    }
    const std::string changed = sim.command("show " + serial);
    EXPECT_EQ(sim.line(), "ok show 1\n");
    EXPECT_EQ(changed.rfind(serial + " " + mac + " 10.77.0.5 255.255.0.0 ", 0), 0u) << changed;
    EXPECT_NE(changed.find(" 8101 "), std::string::npos) << changed;

    // A code from the master key resets the device once; its own label password then opens it.
    const std::string code = run("./vexa-scan code --serial " + serial + " --date $(date -u +%F) --key demo-factory.key").out;
    ASSERT_EQ(code.size(), 29u) << code;
    const std::string reset = "./vexa-scan reset --serial " + serial + " --code " + code.substr(0, 28);
    EXPECT_EQ(run(reset).exit, 0);
    EXPECT_EQ(run(reset).exit, 1) << "a code resets a device once";
    const std::string show = sim.command("show " + serial);
    EXPECT_EQ(sim.line(), "ok show 1\n");
    const std::string label = show.substr(show.rfind(' ') + 1, show.size() - show.rfind(' ') - 2);
    EXPECT_EQ(run("./vexa-scan modify --mac " + mac + " --password " + label + net + "8102").exit, 0) << show;
    std::filesystem::remove_all(dir);
}

// The offset a "time --read --json" prints for its one device; NaN when none.
double offsetRead(const std::string &mac)
{
    const Outcome r = run("./vexa-scan time --read --json --mac " + mac);
    const auto json = nlohmann::json::parse(r.out, nullptr, false);
    if (json.is_discarded() || json.size() != 1 || !json[0].contains("offsetS"))
        return std::nan("");
    return json[0].at("offsetS").get<double>();
}

TEST(DemoNetwork, scannerJobsSetTimePasswordAndRestartAndTellEachFailure)
{
    Simulator sim({"--devices", binDir() + "/demo-network.json", "--restart-delay", "2"});
    ASSERT_EQ(sim.line(), "ready 34 devices\n");
    std::ifstream demoFile(binDir() + "/demo-network.json");
    const auto devices = nlohmann::json::parse(demoFile).at("devices");
    const std::string a = devices.at(0).at("macAddr"), b = devices.at(1).at("macAddr"),
                      c = devices.at(2).at("macAddr");
    char dir[] = "/tmp/tst_devsim_e2e.XXXXXX";
    ASSERT_TRUE(mkdtemp(dir));
    const std::string d = dir;
    std::ofstream(d + "/new") << "Site-7-admin\n";
    std::ofstream(d + "/short") << "Site-7\n";
    std::ofstream(d + "/same") << "demo1234\n";
    const std::string pw = " --password demo1234";
    const struct {
        std::string commandLine;
        int exit;
        std::vector<const char *> says;
    } rows[] = {
        {"./vexa-scan time --read --mac " + a + " --mac " + b, 0, {"done, clock offset"}},
        {"./vexa-scan time --set '2030-01-02 03:04:05' --mac " + a + pw, 0, {": done"}},
        {"./vexa-scan time --now --mac " + b + " --mac " + c + " --password wrong-pw", 1, {"wrong password"}},
        {"./vexa-scan time --now --mac " + b + " --mac 02:de:ad:be:ef:00" + pw, 1,
         {": done", "02:de:ad:be:ef:00: refused: no device with this MAC answered"}},
        {"./vexa-scan time --ntp ntp.example,192.0.2.1 --mac " + c + pw + " --json", 0, {"\"done\": true"}},
        {"./vexa-scan time --ntp 'bad name' --mac " + c + pw, 1, {"the device refused the values"}},
        {"./vexa-scan time --ntp a,b,c --mac " + c + pw, 2, {}},
        {"./vexa-scan time --set '2030-13-01 00:00:00' --mac " + c + pw, 2, {}},
        {"./vexa-scan time --read --now --mac " + c, 2, {}},
        {"./vexa-scan time --now --mac " + c, 2, {}},
        {"./vexa-scan time --read --mac not-a-mac", 2, {}},
        {"./vexa-scan passwd --mac " + c + pw + " --new-password-file " + d + "/short", 2, {}},
        {"./vexa-scan passwd --mac " + c + pw + " --new-password-file " + d + "/same", 2, {}},
        {"echo x | ./vexa-scan passwd --mac " + c + " --password-file - --new-password-file -", 2, {}},
        {"./vexa-scan passwd --mac " + c + " --password wrong-pw --new-password-file " + d + "/new", 1,
         {"wrong password"}},
        {"./vexa-scan passwd --mac " + c + pw + " --new-password-file - < " + d + "/new", 0, {": done"}},
        {"./vexa-scan time --now --mac " + c + pw, 1, {"wrong password"}},
        {"./vexa-scan time --now --mac " + c + " --password Site-7-admin", 0, {": done"}},
        {"./vexa-scan reboot --no-wait --mac " + b + pw, 0, {": done"}},
        {"./vexa-scan reboot --mac " + c + " --password Site-7-admin", 0, {": done", "back after"}},
    };
    for (const auto &row : rows) {
        const Outcome r = run(row.commandLine);
        EXPECT_EQ(r.exit, row.exit) << row.commandLine << "\n" << r.out;
        for (const char *text : row.says)
            EXPECT_NE(r.out.find(text), std::string::npos) << row.commandLine << "\n" << r.out;
    }
    // The offsets read back: a's clock in 2030, b's this computer's.
    const double in2030 = double(1893553445) - double(std::time(nullptr));
    EXPECT_NEAR(offsetRead(a), in2030, 30.0);
    EXPECT_NEAR(offsetRead(c), 0.0, 2.0);
    std::filesystem::remove_all(dir);
}

// The simulator's command input: a line is at most 1024 characters, a piped
// input that ends stops the simulator, any other input only stops being read.
// A clean exit: status 0, every device said goodbye.
bool exitedCleanly(int status)
{
    return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST(CommandInput, overLongLinesAreDroppedWithOneAnswer)
{
    Simulator sim({"--count", "1", "--no-boot-announce"});
    ASSERT_EQ(sim.line(), "ready 1 devices\n");
    const std::string dropped = "error: command line longer than 1024 characters, dropped\n";
    const struct {
        std::string line;
        std::string answer;
    } rows[] = {
        {std::string(1024, 'x'), "error: unknown command \"" + std::string(1024, 'x')},
        {std::string(1025, 'x'), dropped},
        // Longer than one read of the pipe: still one answer.
        {std::string(100000, 'y'), dropped},
        {"stats " + std::string(1100, ' '), dropped},
        {"stats", "ok stats "},
    };
    for (const auto &row : rows)
        EXPECT_EQ(sim.command(row.line).rfind(row.answer, 0), 0u) << row.line.size() << " characters";
}

TEST(CommandInput, anEndlessLineNeitherSpinsNorHoldsOffSigterm)
{
    Simulator sim({"--count", "1", "--no-boot-announce"}, "/dev/zero");
    ASSERT_EQ(sim.line(), "ready 1 devices\n");
    EXPECT_EQ(sim.line(), "error: command line longer than 1024 characters, dropped\n");
    const auto ticks = [pid = sim.pid()] {
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string field;
        long total = 0;
        // Fields 14 and 15: user and system time in clock ticks.
        for (int i = 1; i <= 15 && stat >> field; ++i)
            total += i >= 14 ? std::stol(field) : 0;
        return total;
    };
    const long before = ticks();
    std::this_thread::sleep_for(std::chrono::seconds(1));
    // A reader that never returns to the serve loop burns the whole second.
    EXPECT_LT(ticks() - before, sysconf(_SC_CLK_TCK) / 2);
    kill(sim.pid(), SIGTERM);
    EXPECT_TRUE(exitedCleanly(sim.exitStatus(std::chrono::seconds(5))));
}

TEST(CommandInput, theEndOfAPipedInputQuitsAndOtherInputsKeepItRunning)
{
    const struct {
        const char *input; // null: a pipe from the test
        bool quits;
    } rows[] = {{nullptr, true}, {"/dev/null", false}};
    for (const auto &row : rows) {
        Simulator sim({"--count", "1", "--no-boot-announce"}, row.input);
        ASSERT_EQ(sim.line(), "ready 1 devices\n");
        sim.closeInput();
        const int status = sim.exitStatus(std::chrono::seconds(row.quits ? 5 : 1));
        EXPECT_EQ(status != -1, row.quits) << (row.input ? row.input : "pipe");
        if (row.quits) {
            EXPECT_TRUE(exitedCleanly(status));
            continue;
        }
        kill(sim.pid(), SIGTERM);
        EXPECT_TRUE(exitedCleanly(sim.exitStatus(std::chrono::seconds(5))));
    }
}

} // namespace
