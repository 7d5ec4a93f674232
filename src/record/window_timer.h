#pragma once

#include <QTimer>

#include <functional>

// A timer as the program's handlers and links see it: an enabled flag and a
// period. Enabling a timer that already runs keeps its period going; only
// disabling first, or a new period, starts the count again. Behind an
// interface so that tests fire the ticks themselves.
class WindowTimer {
public:
    virtual ~WindowTimer() = default;

    virtual void setEnabled(bool enabled) = 0;
    virtual bool isEnabled() const = 0;
    // A running timer starts its count again with a new period; the same
    // period changes nothing.
    virtual void setInterval(int milliseconds) = 0;
    virtual int interval() const = 0; // milliseconds

    // "Fire this long after the last call": disable, then enable.
    void restart()
    {
        setEnabled(false);
        setEnabled(true);
    }
    // Starts, or starts the count again with this period when already running.
    void start(int intervalMs)
    {
        setEnabled(false);
        setInterval(intervalMs);
        setEnabled(true);
    }
    void stop() { setEnabled(false); }

    void setOnTimeout(std::function<void()> onTimeout) { m_onTimeout = std::move(onTimeout); }

protected:
    void timeout()
    {
        if (m_onTimeout)
            m_onTimeout();
    }

private:
    std::function<void()> m_onTimeout;
};

// Ticks from the event loop of the thread that owns it. Ticks that the loop
// cannot serve in time are merged, never queued up.
class QtWindowTimer final : public WindowTimer {
public:
    explicit QtWindowTimer(int intervalMs = 1000, bool enabled = false);

    void setEnabled(bool enabled) override;
    bool isEnabled() const override { return m_timer.isActive(); }
    void setInterval(int milliseconds) override
    {
        if (milliseconds != m_timer.interval())
            m_timer.setInterval(milliseconds);
    }
    int interval() const override { return m_timer.interval(); }
    // Milliseconds to the next tick; -1 while disabled.
    int remainingTime() const { return m_timer.remainingTime(); }

private:
    QTimer m_timer;
};

// Ticks only when told to; counts how often its period was started, so a
// test sees whether an enable restarted a running timer.
class ManualWindowTimer final : public WindowTimer {
public:
    explicit ManualWindowTimer(int intervalMs = 1000, bool enabled = false)
        : m_enabled(enabled), m_interval(intervalMs)
    {
    }

    void setEnabled(bool enabled) override
    {
        if (enabled && !m_enabled)
            ++m_periodStarts;
        m_enabled = enabled;
    }
    bool isEnabled() const override { return m_enabled; }
    void setInterval(int milliseconds) override
    {
        if (milliseconds == m_interval)
            return;
        m_interval = milliseconds;
        if (m_enabled)
            ++m_periodStarts;
    }
    int interval() const override { return m_interval; }

    // One tick, as the event loop would deliver it; nothing when disabled.
    void fire()
    {
        if (m_enabled)
            timeout();
    }
    int periodStarts() const { return m_periodStarts; }

private:
    bool m_enabled;
    int m_interval;
    int m_periodStarts = 0;
};
