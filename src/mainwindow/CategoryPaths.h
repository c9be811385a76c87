#pragma once

#include "tasks/LookupLists.h"

#include <QHash>
#include <QString>

#include <functional>

namespace bx {

class Database;

/** The folder of tasks and documents without a category; no row of LU_CATEGORY. */
using lookup::kUnspecifiedFolder;

/**
 * The category with its parents, from the top down, joined with "\"; "Unspecified Folder" for an
 * empty category. `parentOf` gives a category's Parent_Category ("" for none). The walk ends at a
 * category without parent and at the first one met a second time (its own parent, or a loop in
 * the table), so that each category appears once.
 */
QString pathOfCategory(const QString& category,
                       const std::function<QString(const QString&)>& parentOf);

/**
 * The categories (LU_CATEGORY) held in memory, so that the paths of many folders cost one read:
 * read on any connection, a background read's included, then a plain value for any thread. The
 * paths are categoryPath()'s (TaskMoves.h); names are compared without case, as the engines do.
 */
class CategoryPaths
{
public:
    /** Every category with its parent. @throws DbError */
    static CategoryPaths read(Database& db);

    /** The path of `category`; one not in the table stands alone. */
    QString path(const QString& category) const;

private:
    /** Upper-cased category -> its Parent_Category as stored. */
    QHash<QString, QString> m_parents;
};

} // namespace bx
