#pragma once

#include "core/db/RecordSet.h"
#include "mainwindow/TaskViews.h"

namespace bx {

class Database;

/**
 * The statement of the "DISCUSSION" tab (REFRESHDISCUSSION): the tasks of `workshop` in the task
 * lists' columns, newest first; with `onlyWithDiscussion` only those with a discussion entry
 * (an ATTACH row of type 'D').
 */
TaskCriteria discussionQuery(qlonglong workshop, bool onlyWithDiscussion);

/**
 * Runs discussionQuery and keeps the rows `userId` may see (a sensitive task only for its owner
 * and requester). @throws DbError
 */
RecordSet readDiscussion(Database& db, qlonglong workshop, bool onlyWithDiscussion,
                         const QString& userId);

} // namespace bx
