#include "qt/qt_scheduler.h"

#include <QTimer>

void QtScheduler::schedule(std::chrono::milliseconds delay, std::function<void()> task)
{
    QTimer::singleShot(delay, Qt::PreciseTimer, &m_context, std::move(task));
}
