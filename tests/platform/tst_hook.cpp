// The agent's hook back end without root: a script of the test's making in a
// temporary folder, run as the agent runs the administrator's.

#include "hook.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <optional>
#include <fstream>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class Hook : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/tst_hook.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_dir = pattern;
        m_from.ipv4Addr = "192.168.1.64";
        m_from.ipv4Mask = "255.255.255.0";
        m_from.ipv4Gateway = "192.168.1.1";
        m_to.ipv4Addr = "10.20.0.7";
        m_to.ipv4Mask = "255.255.0.0";
    }
    void TearDown() override { fs::remove_all(m_dir); }

    std::string script(const std::string &body, mode_t mode = 0755)
    {
        const std::string path = m_dir + "/hook";
        std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
        chmod(path.c_str(), mode);
        return path;
    }

    std::string read(const std::string &name)
    {
        std::ifstream in(m_dir + "/" + name);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    std::string m_dir;
    deviceside::NetworkState m_from, m_to;
};

TEST_F(Hook, ScriptGetsTheActionAndBothParameterSetsAndNothingElse)
{
    const std::string path = script("echo \"$1\" > \"$(dirname \"$0\")/action\"\n"
                                    "env | sort > \"$(dirname \"$0\")/env\"");
    setenv("VEXA_SECRET_OF_THE_AGENT", "x", 1);
    std::string error;
    ASSERT_TRUE(agent::runHook(path, "apply", "eth1", m_from, m_to, error)) << error;
    unsetenv("VEXA_SECRET_OF_THE_AGENT");
    EXPECT_EQ(read("action"), "apply\n");
    std::string env = read("env");
    // The shell adds PWD (and SHLVL) of its own; the rest is exactly what the agent hands over.
    std::string handed;
    std::istringstream lines(env);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("PWD=", 0) != 0 && line.rfind("SHLVL=", 0) != 0 && line.rfind("_=", 0) != 0)
            handed += line + "\n";
    }
    EXPECT_EQ(handed, "PATH=/usr/sbin:/usr/bin:/sbin:/bin\n"
                      "VEXA_INTERFACE=eth1\n"
                      "VEXA_IPV4_ADDR=10.20.0.7\n"
                      "VEXA_IPV4_GATEWAY=\n"
                      "VEXA_IPV4_MASK=255.255.0.0\n"
                      "VEXA_IPV4_PREFIX=16\n"
                      "VEXA_OLD_IPV4_ADDR=192.168.1.64\n"
                      "VEXA_OLD_IPV4_GATEWAY=192.168.1.1\n"
                      "VEXA_OLD_IPV4_MASK=255.255.255.0\n"
                      "VEXA_OLD_IPV4_PREFIX=24\n");
}

// What a clock job hands the hook: the action and one variable, beside PATH.
TEST_F(Hook, ClockJobsGetTheirActionAndOneVariable)
{
    const std::string path = script("echo \"$1\" > \"$(dirname \"$0\")/action\"\n"
                                    "env | grep '^VEXA_' > \"$(dirname \"$0\")/env\" || true");
    const struct {
        std::optional<std::chrono::system_clock::time_point> utc;
        std::vector<std::string> servers;
        const char *action, *env;
    } rows[] = {
        {std::chrono::system_clock::from_time_t(1796821509), {}, "time\n", "VEXA_UTC=2026-12-09T13:05:09Z\n"},
        {std::nullopt, {"ntp.example", "192.0.2.1"}, "ntp\n", "VEXA_NTP_SERVERS=ntp.example 192.0.2.1\n"},
        {std::nullopt, {"ntp.example"}, "ntp\n", "VEXA_NTP_SERVERS=ntp.example\n"},
    };
    for (const auto &row : rows) {
        std::string error;
        ASSERT_TRUE(agent::runClockHook(path, row.utc, row.servers, error)) << error;
        EXPECT_EQ(read("action"), row.action);
        EXPECT_EQ(read("env"), row.env);
    }
    std::string error;
    ASSERT_TRUE(agent::runRebootHook(path, error)) << error;
    EXPECT_EQ(read("action"), "reboot\n");
    EXPECT_EQ(read("env"), "");
}

struct FailureCase {
    const char *name;
    const char *body;
    mode_t mode;
    const char *error; // part of the message
};

class HookFailure : public Hook, public ::testing::WithParamInterface<FailureCase>
{
};

TEST_P(HookFailure, IsReportedWithWhatWentWrong)
{
    const FailureCase &c = GetParam();
    const std::string path = script(c.body, c.mode);
    std::string error;
    const auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(agent::runHook(path, "rollback", "eth1", m_to, m_from, error, 300ms));
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
    EXPECT_LT(std::chrono::steady_clock::now() - started, 5s) << "a hanging script is killed at its limit";
}

INSTANTIATE_TEST_SUITE_P(Agent, HookFailure,
                         ::testing::Values(FailureCase{"exit_status", "exit 3", 0755, "rollback: failed (status 3)"},
                                           FailureCase{"killed_by_signal", "kill -9 $$", 0755, "failed (status -1)"},
                                           FailureCase{"not_executable", "exit 0", 0644, "Permission denied"},
                                           FailureCase{"hangs", "sleep 30", 0755, "no answer within 300 ms"}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(Hook, MissingScriptIsAnError)
{
    std::string error;
    EXPECT_FALSE(agent::runHook(m_dir + "/nosuch", "apply", "eth1", m_from, m_to, error));
    EXPECT_NE(error.find("No such file"), std::string::npos) << error;
}

} // namespace
