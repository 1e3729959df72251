#pragma once

#include <QDateTime>

#include <chrono>

namespace zelvano {

// Where the program learns the time. Injected everywhere so tests can fix it.
class Clock
{
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
    // Milliseconds of a clock that only moves forward, at its own pace,
    // whatever is done to the wall clock: for how long something has lasted.
    virtual qint64 monotonicMs() const = 0;

    QDate today() const { return now().date(); }
    QTime timeOfDay() const { return now().time(); }
};

class SystemClock final : public Clock
{
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
    qint64 monotonicMs() const override
    {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
};

// A clock that stands still until told otherwise. Setting it is a jump of the
// wall clock alone; advancing it moves both the wall and the monotonic clock.
class ManualClock final : public Clock
{
public:
    explicit ManualClock(QDateTime start) : m_now(std::move(start)) {}

    QDateTime now() const override { return m_now; }
    qint64 monotonicMs() const override { return m_monotonicMs; }
    void set(const QDateTime &when) { m_now = when; }
    void advanceSeconds(qint64 seconds)
    {
        m_now = m_now.addSecs(seconds);
        m_monotonicMs += seconds * 1000;
    }

private:
    QDateTime m_now;
    qint64 m_monotonicMs = 0;
};

} // namespace zelvano
