#include "hook.h"

#include <deviceside/deviceinfo.h>
#include <vexa/soap.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

namespace agent {

namespace {

void addParameters(std::vector<std::string> &env, const char *prefix, const deviceside::NetworkState &n)
{
    const std::string p = prefix;
    env.push_back(p + "IPV4_ADDR=" + n.ipv4Addr);
    env.push_back(p + "IPV4_PREFIX=" + std::to_string(deviceside::maskPrefix(n.ipv4Mask)));
    env.push_back(p + "IPV4_MASK=" + n.ipv4Mask);
    env.push_back(p + "IPV4_GATEWAY=" + n.ipv4Gateway);
}

// The script with `action`, in `env` and nothing else: the agent's environment is nobody's business.
bool runScript(const std::string &script, const char *action, std::vector<std::string> env, std::string &error,
               std::chrono::milliseconds limit)
{
    env.insert(env.begin(), "PATH=/usr/sbin:/usr/bin:/sbin:/bin");
    std::vector<char *> envp;
    for (std::string &e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string path = script;
    std::string verb = action;
    char *argv[] = {path.data(), verb.data(), nullptr};

    pid_t pid = 0;
    if (const int rc = posix_spawn(&pid, path.c_str(), nullptr, nullptr, argv, envp.data()); rc != 0) {
        error = script + ": " + std::strerror(rc);
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + limit;
    int status = 0;
    for (;;) {
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid)
            break;
        if (done < 0 && errno != EINTR) {
            error = script + ": " + std::strerror(errno);
            return false;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            const auto ms = limit.count();
            error = script + " " + action + ": no answer within "
                + (ms % 1000 == 0 ? std::to_string(ms / 1000) + " s" : std::to_string(ms) + " ms");
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        error = script + " " + action + ": failed (status " + std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1) + ")";
        return false;
    }
    return true;
}

} // namespace

bool runHook(const std::string &script, const char *action, const std::string &interface,
             const deviceside::NetworkState &from, const deviceside::NetworkState &to, std::string &error,
             std::chrono::milliseconds limit)
{
    std::vector<std::string> env{"VEXA_INTERFACE=" + interface};
    addParameters(env, "VEXA_", to);
    addParameters(env, "VEXA_OLD_", from);
    return runScript(script, action, std::move(env), error, limit);
}

bool runClockHook(const std::string &script, std::optional<std::chrono::system_clock::time_point> utc,
                  const std::vector<std::string> &ntpServers, std::string &error, std::chrono::milliseconds limit)
{
    if (utc)
        return runScript(script, "time", {"VEXA_UTC=" + vexa::soap::formatUtc(*utc)}, error, limit);
    std::string servers;
    for (const std::string &server : ntpServers)
        servers += (servers.empty() ? "" : " ") + server;
    return runScript(script, "ntp", {"VEXA_NTP_SERVERS=" + servers}, error, limit);
}

bool runRebootHook(const std::string &script, std::string &error, std::chrono::milliseconds limit)
{
    return runScript(script, "reboot", {}, error, limit);
}

} // namespace agent
