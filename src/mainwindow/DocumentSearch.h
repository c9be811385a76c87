#pragma once

#include "mainwindow/CategoryPaths.h"
#include "mainwindow/TaskSearch.h"
#include "mainwindow/TaskViews.h"

#include <QDate>
#include <QString>
#include <QStringList>

#include <optional>

namespace bx {

class Database;
class Session;

inline const QString kNoFolderAccess =
    QStringLiteral("Note: You do not have access to folders.  Please contact your administrator.");

/**
 * The folders (categories) whose documents `userId` may see, from LU_ACCESS_LEVEL, each once and
 * sorted; "admin" gets every folder (LU_CATEGORY's and any granted). Empty: the user has no
 * folder access (show kNoFolderAccess). @throws DbError
 */
QStringList grantedFolders(Database& db, const QString& userId);

/** What the document search asks for: a title pattern, a period of days and the folders. */
struct DocumentSearch
{
    QString title;       ///< as typed, "*" the wildcard; matched anywhere in the title
    QDate from;          ///< first day
    QDate to;            ///< last day (included)
    QStringList folders; ///< the chosen folders; kUnspecifiedFolder for documents without one
};

/** What F_DOCFIND's controls hold when OK is pressed. */
struct DocFindInput
{
    QString title;
    SearchPeriodInput period;
    QStringList folders;
};

struct DocFindCheck
{
    std::optional<DocumentSearch> search;
    QString message; ///< one of the period messages; empty when accepted
};

/** Checks F_DOCFIND's input: only the period can be refused. The title is trimmed. */
DocFindCheck checkDocFindInput(const DocFindInput& input, const QDate& today);

/**
 * The document tree's extra condition over ATTACH (starting with " AND"): the title holds the
 * pattern anywhere, the document is dated within the period (local days turned into GMT, the last
 * day included) and filed under one of the chosen folders; no folder chosen matches nothing.
 */
TaskCriteria documentCondition(const DocumentSearch& search, Session& session);

/**
 * The document tree's statement: the current version of every published document (the newest
 * published row of each file name and category, Null category = empty; a row without file name
 * is a document of its own) in the folders the session's user sees (see mainwindow/FileCabinet.h:
 * "admin" all, others their granted folders and documents without category, nothing without a
 * grant), narrowed by the search when one is given, ordered by category, file name and date.
 * Columns Attach_Number, Attach_Type, Attach_Title, Attach_Date, Attach_Owner, Category,
 * Attach_Filename. @throws DbError (reads the user's grants)
 */
TaskCriteria documentTreeQuery(const DocumentSearch* search, Session& session);

} // namespace bx
