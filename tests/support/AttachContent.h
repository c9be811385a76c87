#pragma once

#include "core/db/Database.h"

#include <QBuffer>

namespace bx::test {

/** The stored file of attachment `number` (ATTACH.OLE_Data). */
inline BlobRef attachBlob(const QVariant& number)
{
    return {QStringLiteral("ATTACH"), QStringLiteral("Attach_Number"), number,
            QStringLiteral("OLE_Data")};
}

inline void setAttachContent(Database& db, const QVariant& number, QByteArray bytes)
{
    QBuffer source(&bytes);
    source.open(QIODevice::ReadOnly);
    db.writeBlob(attachBlob(number), source, bytes.size());
}

inline QByteArray attachContent(Database& db, const QVariant& number)
{
    QByteArray out;
    QBuffer sink(&out);
    sink.open(QIODevice::WriteOnly);
    db.readBlob(attachBlob(number), sink);
    return out;
}

} // namespace bx::test
