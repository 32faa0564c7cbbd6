// The two programs together on loopback: the demo network as the scanner sees it.

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::string binDir()
{
    return std::filesystem::read_symlink("/proc/self/exe").parent_path().string();
}

// vexa-devsim on the demo network, with a pipe to its standard input and one from its output.
class Simulator
{
public:
    Simulator()
    {
        int in[2], out[2];
        if (pipe(in) != 0 || pipe(out) != 0)
            return;
        m_pid = fork();
        if (m_pid == 0) {
            dup2(in[0], STDIN_FILENO);
            dup2(out[1], STDOUT_FILENO);
            close(in[1]);
            close(out[0]);
            const std::string dir = binDir();
            const std::string program = dir + "/vexa-devsim", devices = dir + "/demo-network.json";
            execl(program.c_str(), program.c_str(), "--devices", devices.c_str(), nullptr);
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        m_input = fdopen(in[1], "w");
        m_output = fdopen(out[0], "r");
    }

    ~Simulator()
    {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
        }
        if (m_input)
            fclose(m_input);
        if (m_output)
            fclose(m_output);
    }

    std::string line()
    {
        char buffer[512] = {};
        return m_output && fgets(buffer, sizeof buffer, m_output) ? buffer : "";
    }

    std::string command(const char *text)
    {
        std::fprintf(m_input, "%s\n", text);
        std::fflush(m_input);
        return line();
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
    FILE *m_output = nullptr;
};

std::string runScanner(const char *arguments)
{
    const std::string commandLine = binDir() + "/vexa-scan " + arguments;
    FILE *pipe = popen(commandLine.c_str(), "r");
    std::string text;
    char buffer[4096];
    size_t n;
    while (pipe && (n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        text.append(buffer, n);
    if (pipe)
        pclose(pipe);
    return text;
}

TEST(DemoNetwork, scannerListsEveryDeviceOnce)
{
    Simulator sim;
    ASSERT_EQ(sim.line(), "ready 30 devices\n");
    const auto devices = nlohmann::json::parse(runScanner("list --json --wait 2"), nullptr, false);
    ASSERT_TRUE(devices.is_array());
    // Other simulators may share this host's loopback: count the demo network's own devices.
    std::ifstream demoFile(binDir() + "/demo-network.json");
    const auto demoNetwork = nlohmann::json::parse(demoFile);
    std::set<std::string> demo;
    for (const auto &d : demoNetwork.at("devices"))
        demo.insert(d.at("serialNo").get<std::string>() + "|" + d.at("macAddr").get<std::string>());
    ASSERT_EQ(demo.size(), 30u);
    std::set<std::string> identities;
    size_t fromDemo = 0;
    for (const auto &d : devices) {
        const std::string id = d.at("serialNo").get<std::string>() + "|" + d.at("macAddr").get<std::string>();
        identities.insert(id);
        fromDemo += demo.count(id);
    }
    EXPECT_EQ(fromDemo, 30u);
    EXPECT_EQ(identities.size(), devices.size()) << "every device listed once";

    EXPECT_EQ(sim.command("offline all"), "ok offline 30\n");
    EXPECT_EQ(sim.command("bogus"), "error: unknown command \"bogus\" (offline, online, silence, list, show, stats, quit)\n");
    const int status = sim.quit();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

} // namespace
