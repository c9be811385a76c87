#pragma once

#include <QDateTime>
#include <QLabel>

class QTimer;

namespace bx {

class Clock;

/**
 * The running time of a stopwatch as h:mm:ss, counted from a stored start (GMT), so that it goes
 * on from where it stood when a window or the program opens again.
 */
class Stopwatch : public QLabel
{
    Q_OBJECT

public:
    explicit Stopwatch(const Clock& clock, QWidget* parent = nullptr);

    /** Shows the time since `startGmt` and keeps it going. */
    void start(const QDateTime& startGmt);
    /** Stops and shows 0:00:00. */
    void reset();
    bool running() const;

    /** Seconds as "h:mm:ss". */
    static QString elapsedText(qint64 seconds);

private:
    void tick();

    const Clock& m_clock;
    QTimer* m_timer;
    QDateTime m_start;
};

} // namespace bx
