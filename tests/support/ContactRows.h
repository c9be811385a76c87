#pragma once

#include "core/db/Database.h"

#include <QString>
#include <QVariant>

namespace bx::test {

/** A contact as another client stored it; returns its key. Null values store Null. */
inline qlonglong addContactRow(Database& db, const QVariant& last, const QVariant& first,
                               const QVariant& company = {}, const QVariant& email = {})
{
    return db.insertNumbered(QStringLiteral("CONTACT"), QStringLiteral("CONTACT_KEY"),
                             {QStringLiteral("Last_Name"), QStringLiteral("First_Name"),
                              QStringLiteral("Company_Name"), QStringLiteral("Email")},
                             {last, first, company, email});
}

/** A "C" attachment of the task naming the contact, as the task editor stores it. */
inline qlonglong addContactAttachment(Database& db, qlonglong task, qlonglong contact)
{
    return db.insertNumbered(
        QStringLiteral("ATTACH"), QStringLiteral("Attach_Number"),
        {QStringLiteral("SCR_Number"), QStringLiteral("Attach_Type"),
         QStringLiteral("Attach_Title"), QStringLiteral("Attach_Filename")},
        {task, QStringLiteral("C"), QStringLiteral("Contact"), QString::number(contact)});
}

/** How many rows of `table` match the condition (a test's own SQL) with `params`. */
inline qlonglong countRows(Database& db, const QString& table, const QString& where = {},
                           const QVariantList& params = {})
{
    return db
        .scalar(QStringLiteral("SELECT COUNT(*) FROM ") + table +
                    (where.isEmpty() ? QString() : QStringLiteral(" WHERE ") + where),
                params)
        .toLongLong();
}

} // namespace bx::test
