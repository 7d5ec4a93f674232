#pragma once

#include <QTimer>

#include <functional>

// A repeating timer behind a small interface, so that tests drive its ticks
// by hand instead of waiting for real time to pass.
class TickTimer {
public:
    virtual ~TickTimer() = default;

    // Starts, or restarts with the new period when already running.
    virtual void start(int intervalMs) = 0;
    virtual void stop() = 0;
    virtual bool isActive() const = 0;
    virtual int interval() const = 0; // milliseconds

    void setOnTick(std::function<void()> onTick) { m_onTick = std::move(onTick); }

protected:
    void tick()
    {
        if (m_onTick)
            m_onTick();
    }

private:
    std::function<void()> m_onTick;
};

// Ticks from the event loop of the thread that owns it. Ticks that the loop
// cannot serve in time are merged, never queued up.
class QtTickTimer final : public TickTimer {
public:
    QtTickTimer();

    void start(int intervalMs) override { m_timer.start(intervalMs); }
    void stop() override { m_timer.stop(); }
    bool isActive() const override { return m_timer.isActive(); }
    int interval() const override { return m_timer.interval(); }

private:
    QTimer m_timer;
};
