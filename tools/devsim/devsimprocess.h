#pragma once

// vexa-devsim as a child process, for the tests and benchmarks that need the
// real program on loopback: its standard input and output are pipes, and the
// process never outlives the object.

#include <chrono>
#include <string>
#include <sys/types.h>
#include <vector>

namespace devsim {

class DevsimProcess final
{
public:
    /** Starts `program` (normally bin/vexa-devsim) with `arguments`; running() tells whether that worked. */
    DevsimProcess(const std::string &program, const std::vector<std::string> &arguments);
    /** Terminates the simulator (SIGTERM, then SIGKILL when it lingers) and reaps it. */
    ~DevsimProcess();
    DevsimProcess(const DevsimProcess &) = delete;
    DevsimProcess &operator=(const DevsimProcess &) = delete;

    bool running() const { return m_pid > 0; }
    /** The next output line without its newline; empty on timeout or end of output. */
    std::string line(std::chrono::milliseconds timeout = std::chrono::seconds(10));
    /** Sends one standard-input command and returns its one-line answer. */
    std::string command(const std::string &text);
    /** Sends "quit" and waits for the exit; the wait status, -1 when it did not exit in time. */
    int quit();

    /** The directory of the running program: programs and data files sit beside it. */
    static std::string programDir();

private:
    pid_t m_pid = -1;
    int m_input = -1;
    int m_output = -1;
    std::string m_buffer;
};

} // namespace devsim
