#pragma once

#include <QList>
#include <QString>

namespace bx {

/** A column of a table of the shared schema. */
struct ColumnRef
{
    QString table;
    QString column;
};

/**
 * Every column that holds a user ID (LU_USER.USER_ID) and follows the user when the user is
 * renamed, in the order in which a rename changes them: the user's own row first.
 */
extern const QList<ColumnRef> kUserReferenceColumns;

} // namespace bx
