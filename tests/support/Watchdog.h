#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

namespace bx::test {

/**
 * Ends the test program with a failure when the work of its scope does not finish in time, so a
 * call that would block for ever (a read of a pipe, of /dev/zero) fails the run instead of hanging
 * it. Work on the window thread cannot be abandoned any other way.
 */
class Watchdog
{
public:
    Watchdog(std::string what, std::chrono::milliseconds limit = std::chrono::seconds(10))
        : m_thread([this, what = std::move(what), limit] {
            std::unique_lock lock(m_mutex);
            if (!m_done.wait_for(lock, limit, [this] { return m_finished; })) {
                std::fprintf(stderr, "FAILED: %s did not finish within %lld ms\n", what.c_str(),
                             static_cast<long long>(limit.count()));
                std::fflush(stderr);
                std::_Exit(EXIT_FAILURE);
            }
        })
    {
    }
    ~Watchdog()
    {
        {
            std::lock_guard lock(m_mutex);
            m_finished = true;
        }
        m_done.notify_one();
        m_thread.join();
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

private:
    std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_finished = false;
    std::thread m_thread;
};

} // namespace bx::test
