#include "reports/ui/Stopwatch.h"

#include "core/Gmt.h"

#include <QTimer>

namespace bx {

Stopwatch::Stopwatch(const Clock& clock, QWidget* parent)
    : QLabel(parent)
    , m_clock(clock)
    , m_timer(new QTimer(this))
{
    m_timer->setInterval(1000);
    connect(m_timer, &QTimer::timeout, this, &Stopwatch::tick);
    reset();
}

void Stopwatch::start(const QDateTime& startGmt)
{
    m_start = startGmt;
    tick();
    m_timer->start();
}

void Stopwatch::reset()
{
    m_timer->stop();
    m_start = {};
    setText(elapsedText(0));
}

bool Stopwatch::running() const
{
    return m_timer->isActive();
}

QString Stopwatch::elapsedText(qint64 seconds)
{
    seconds = qMax<qint64>(0, seconds);
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600)
        .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

void Stopwatch::tick()
{
    setText(elapsedText(m_start.secsTo(GmtConverter(m_clock).nowGmt())));
}

} // namespace bx
