#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <optional>

namespace bx {

/** What a dated task's calendar part is made from. */
struct CalendarTask
{
    qlonglong number = 0; ///< SCR_Number
    QString title;        ///< SCR_Title, the event's summary
    QString description;  ///< the task's comments as plain text; left out when empty
    QDateTime target;     ///< the due moment; invalid when the task has none
    QString databaseId;   ///< random id the caller keeps per database; makes the UID unique
    int sequence = 0;     ///< revision of the event; a larger one replaces an earlier copy
    QDateTime stamp;      ///< when the part is made (the clock's now); the target when invalid
};

/** A calendar attachment ready to go with a notice. */
struct CalendarPart
{
    QByteArray bytes; ///< the calendar object, UTF-8 with CR LF line ends
    QString fileName; ///< "BX" + number + ".ics"
    QString contentType;
};

/**
 * The calendar object that carries a task's due moment: one published event without an end (an
 * instant) that does not block time, whose UID stays the same for the task in this database so
 * that later notices update the copy a recipient has already filed.
 *
 * Moments are written in UTC whatever the time spec of the values given. Texts are escaped and
 * stripped of control characters other than tab, so any title or comment yields a well-formed
 * object; lines longer than 75 octets are folded between whole UTF-8 sequences.
 *
 * No part when the task has no number, no valid target or a target outside the years 1 to 9999.
 */
std::optional<CalendarPart> calendarPart(const CalendarTask& task);

/** A TEXT value escaped for a content line: \\ \; \, and every line break as \n. */
QByteArray escapeCalendarText(const QString& text);

/** One content line folded to at most 75 octets a line, each ending with CR LF. */
QByteArray foldCalendarLine(const QByteArray& line);

} // namespace bx
