#pragma once

#include <QObject>
#include <QTimer>

#include <functional>

namespace zelvano {

// The one-minute timer as the scheduler and the start-up see it.
class TickTimer
{
public:
    virtual ~TickTimer() = default;
    virtual void setInterval(int milliseconds) = 0;
    virtual void setEnabled(bool enabled) = 0;
    virtual bool isEnabled() const = 0;
};

// A TickTimer on a QTimer; each timeout calls the tick.
class QtTickTimer final : public TickTimer
{
public:
    explicit QtTickTimer(std::function<void()> tick = {});

    void setTick(std::function<void()> tick) { m_tick = std::move(tick); }
    void setInterval(int milliseconds) override { m_timer.setInterval(milliseconds); }
    void setEnabled(bool enabled) override;
    bool isEnabled() const override { return m_timer.isActive(); }

private:
    QTimer m_timer;
    std::function<void()> m_tick;
};

// Remembers its state; tests drive the ticks themselves.
class ManualTickTimer final : public TickTimer
{
public:
    void setInterval(int milliseconds) override { m_interval = milliseconds; }
    void setEnabled(bool enabled) override { m_enabled = enabled; }
    bool isEnabled() const override { return m_enabled; }
    int interval() const { return m_interval; }

private:
    int m_interval = 0;
    bool m_enabled = false;
};

} // namespace zelvano
