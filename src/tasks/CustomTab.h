#pragma once

#include "core/Refusal.h"

#include <QString>

#include <optional>

namespace bx {

class Database;
struct UserRecord;

namespace plugins {

/**
 * The ProgID of the plug-in on the task editor's custom tab for tasks of `workshop`: the
 * workshop's own CUSTOM_TAB row, else the nearest workshop above that has one; "" for none.
 * @throws DbError
 */
QString customTabProgId(Database& db, qlonglong workshop);

/** The ProgID of `workshop`'s own row ("" for none), as the administrator's window shows it. */
QString ownCustomTab(Database& db, qlonglong workshop);

/**
 * Makes `progId` the custom-tab plug-in of `workshop` ("" removes the workshop's own, so that it
 * takes the one above again). Administrators only; refused before anything is written.
 * @throws DbError
 */
std::optional<RefusalOf<>> setCustomTab(Database& db, const UserRecord& me, qlonglong workshop,
                                        const QString& progId);

} // namespace plugins
} // namespace bx
