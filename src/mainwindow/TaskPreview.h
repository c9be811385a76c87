#pragma once

#include <QString>

namespace bx {

class Clock;
class Database;

/**
 * The preview pane's page for one task: its title, then owner, requester, priority, status,
 * category, request, start and due dates (in local time) and the comments. Everything read from
 * the database is shown as plain text. An empty string when the task does not exist.
 * @throws DbError when the task cannot be read
 */
QString taskPreviewHtml(Database& db, const Clock& clock, qlonglong task);

} // namespace bx
