#include "app/ticktimer.h"

namespace zelvano {

QtTickTimer::QtTickTimer(std::function<void()> tick) : m_tick(std::move(tick))
{
    QObject::connect(&m_timer, &QTimer::timeout, [this] {
        if (m_tick)
            m_tick();
    });
}

void QtTickTimer::setEnabled(bool enabled)
{
    if (enabled && !m_timer.isActive())
        m_timer.start();
    else if (!enabled)
        m_timer.stop();
}

} // namespace zelvano
