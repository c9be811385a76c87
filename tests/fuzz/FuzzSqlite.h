#pragma once

// An in-memory embedded database holding the shared schema as delivered, for the targets that
// let SQLite judge a statement.

#include <QFile>

#include <sqlite3.h>

namespace bx::fuzz {

inline sqlite3* schemaDatabase()
{
    static sqlite3* db = [] {
        sqlite3* opened = nullptr;
        sqlite3_open(":memory:", &opened);
        QFile schema(QStringLiteral(BX_SOURCE_DIR "/data/schema/base-embedded.sql"));
        if (!schema.open(QIODevice::ReadOnly) ||
            sqlite3_exec(opened, schema.readAll().constData(), nullptr, nullptr, nullptr) !=
                SQLITE_OK)
            broken("the schema loads", schema.fileName());
        return opened;
    }();
    return db;
}

} // namespace bx::fuzz
