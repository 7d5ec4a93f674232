#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

// A counting semaphore on the standard library's primitives. The reader hand-over and the fake platform use
// it rather than QSemaphore so that ThreadSanitizer sees the order it creates (the system's Qt is not built
// for the sanitizer, and its futex-based primitives are invisible to it).
class HidSemaphore {
public:
    HidSemaphore() = default;
    // Waits for a release still running on another thread: it notifies under the lock, so that a thread
    // that saw the release may destroy the semaphore at once.
    ~HidSemaphore() { std::lock_guard<std::mutex> lock(m_mutex); }
    HidSemaphore(const HidSemaphore &) = delete;
    HidSemaphore &operator=(const HidSemaphore &) = delete;

    void release()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_count;
        m_available.notify_one();
    }
    void acquire()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_available.wait(lock, [this] { return m_count > 0; });
        --m_count;
    }
    bool tryAcquire()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_count == 0)
            return false;
        --m_count;
        return true;
    }
    // False when timeout milliseconds passed first.
    bool tryAcquire(int timeout)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (!m_available.wait_for(lock, std::chrono::milliseconds(timeout), [this] { return m_count > 0; }))
            return false;
        --m_count;
        return true;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_available;
    int m_count = 0;
};
