#include "devsimprocess.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace devsim {

namespace {

using Clock = std::chrono::steady_clock;

// Waits for the child to end, up to `timeout`; the wait status or -1.
int waitExit(pid_t pid, std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        int status = 0;
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid)
            return status;
        if (done < 0 && errno != EINTR)
            return -1;
        if (Clock::now() >= deadline)
            return -1;
        usleep(10'000);
    }
}

} // namespace

DevsimProcess::DevsimProcess(const std::string &program, const std::vector<std::string> &arguments)
{
    // A simulator that died must fail a command, not kill the caller.
    std::signal(SIGPIPE, SIG_IGN);
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0)
        return;
    if (pipe2(out, O_CLOEXEC) != 0) {
        close(in[0]);
        close(in[1]);
        return;
    }
    std::vector<char *> argv;
    argv.push_back(const_cast<char *>(program.c_str()));
    for (const std::string &a : arguments)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    m_pid = fork();
    if (m_pid == 0) {
        dup2(in[0], STDIN_FILENO);
        dup2(out[1], STDOUT_FILENO);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    m_input = in[1];
    m_output = out[0];
    if (m_pid < 0) {
        close(m_input);
        close(m_output);
        m_input = m_output = -1;
    }
}

DevsimProcess::~DevsimProcess()
{
    if (m_input >= 0)
        close(m_input);
    if (m_pid > 0) {
        kill(m_pid, SIGTERM);
        if (waitExit(m_pid, std::chrono::seconds(5)) == -1) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
    }
    if (m_output >= 0)
        close(m_output);
}

std::string DevsimProcess::line(std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        if (const size_t end = m_buffer.find('\n'); end != std::string::npos) {
            std::string text = m_buffer.substr(0, end);
            m_buffer.erase(0, end + 1);
            return text;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (m_output < 0 || left.count() <= 0)
            return {};
        pollfd p{m_output, POLLIN, 0};
        const int ready = poll(&p, 1, int(left.count()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return {};
        char chunk[4096];
        const ssize_t n = read(m_output, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return {};
        m_buffer.append(chunk, size_t(n));
    }
}

std::string DevsimProcess::command(const std::string &text)
{
    const std::string bytes = text + "\n";
    if (m_input < 0 || write(m_input, bytes.data(), bytes.size()) != ssize_t(bytes.size()))
        return {};
    return line();
}

int DevsimProcess::quit()
{
    if (m_pid <= 0 || command("quit") != "ok quit")
        return -1;
    const int status = waitExit(m_pid, std::chrono::seconds(10));
    if (status != -1)
        m_pid = -1;
    return status;
}

std::string DevsimProcess::programDir()
{
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string(".") : exe.parent_path().string();
}

} // namespace devsim
