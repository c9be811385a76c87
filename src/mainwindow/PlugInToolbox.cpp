#include "mainwindow/PlugInToolbox.h"

#include "core/Prompt.h"
#include "core/Session.h"
#include "core/UserRights.h"
#include "core/db/Database.h"

#include <QColor>
#include <QPainter>
#include <QSet>

namespace bx::plugins {

namespace {

const QString kSelectPlugIn =
    QStringLiteral("SELECT ID, label, ActiveX_Control_Name, Plugin_Name, ShowToolBox, Separate, "
                   "Icon FROM LU_ACTIVEX ");

QByteArray bytesOf(const QVariant& value)
{
    return value.isNull() ? QByteArray() : value.toByteArray();
}

PlugInDefinition definitionAt(const RecordSet& rs, int row)
{
    const auto at = [&](const char* column) { return rs.value(row, QString::fromLatin1(column)); };
    return {at("ID").toLongLong(),
            at("label").toString().trimmed(),
            at("ActiveX_Control_Name").toString().trimmed(),
            at("Plugin_Name").toString().trimmed(),
            at("ShowToolBox").toLongLong() != 0,
            at("Separate").toLongLong() != 0,
            bytesOf(at("Icon"))};
}

/** Whether a task has a plug-in attachment of `progId`. */
bool isAttached(Database& db, const QString& progId)
{
    return db.scalar(QStringLiteral("SELECT COUNT(*) FROM ATTACH WHERE Attach_Type = 'A' AND "
                                    "Attach_Filename = ?"),
                     {progId})
               .toLongLong() > 0;
}

} // namespace

QImage defaultPlugInIcon()
{
    // A plug: a body with two pins, drawn so that it needs no file.
    QImage image(32, 32, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(0x2f, 0x4f, 0x6f), 2));
    painter.setBrush(QColor(0x8f, 0xb3, 0xd9));
    painter.drawRoundedRect(QRectF(6, 12, 20, 14), 3, 3);
    painter.setBrush(QColor(0x2f, 0x4f, 0x6f));
    painter.drawRect(QRectF(11, 4, 2, 8));
    painter.drawRect(QRectF(19, 4, 2, 8));
    return image;
}

QImage plugInIcon(const QByteArray& stored)
{
    const QImage image = stored.isEmpty() ? QImage() : QImage::fromData(stored);
    return image.isNull() ? defaultPlugInIcon() : image;
}

QList<ToolboxEntry> toolboxEntries(Database& db)
{
    const RecordSet rs = db.query(kSelectPlugIn + QStringLiteral("WHERE ShowToolBox <> 0 "
                                                                 "ORDER BY label, ID"));
    QList<ToolboxEntry> entries;
    QSet<qlonglong> seen;
    for (int r = 0; r < rs.rowCount(); ++r) {
        const PlugInDefinition row = definitionAt(rs, r);
        if (seen.contains(row.id))
            continue;
        seen.insert(row.id);
        entries << ToolboxEntry{row.id, row.label, row.separate, plugInIcon(row.icon)};
    }
    return entries;
}

std::optional<PlugInDefinition> readPlugIn(Database& db, qlonglong id)
{
    const RecordSet rs = db.query(kSelectPlugIn + QStringLiteral("WHERE ID = ?"), {id});
    if (rs.isEmpty())
        return std::nullopt;
    return definitionAt(rs, 0);
}

QString plugInNotRegisteredMessage(const QString& label)
{
    return QStringLiteral("The plug-in \"%1\" is no longer registered.").arg(label);
}

PlugInStore::PlugInStore(Session& session, Prompt& prompt)
    : m_session(session)
    , m_prompt(prompt)
{
}

Outcome<qlonglong, PlugInField> PlugInStore::save(PlugInDefinition draft)
{
    if (auto refusal =
            UserRights::refuseUnlessAdministrator(m_session.user.record, PlugInField::None))
        return *refusal;
    draft.label = draft.label.trimmed();
    draft.progId = draft.progId.trimmed();
    draft.plugInName = draft.plugInName.trimmed();
    if (draft.progId.isEmpty())
        return RefusalOf<PlugInField>{QStringLiteral("Control Name field can't be empty."),
                                      PlugInField::ControlName};

    Database& db = m_session.db();
    Transaction tx(db);
    const qlonglong twins =
        db.scalar(QStringLiteral("SELECT COUNT(*) FROM LU_ACTIVEX WHERE ActiveX_Control_Name = ? "
                                 "AND label = ? AND ID <> ?"),
                  {draft.progId, draft.label, draft.id})
            .toLongLong();
    if (twins > 0)
        return RefusalOf<PlugInField>{
            QStringLiteral("Plug-in with such Control Name already exists"),
            PlugInField::ControlName};

    const QVariant icon = draft.icon.isEmpty() ? QVariant() : QVariant(draft.icon);
    const QVariantList values{draft.label,       draft.progId,   draft.plugInName,
                              draft.showToolBox, draft.separate, icon};
    if (draft.id == 0) {
        const qlonglong id =
            db.insertNumbered(QStringLiteral("LU_ACTIVEX"), QStringLiteral("ID"),
                              {QStringLiteral("label"), QStringLiteral("ActiveX_Control_Name"),
                               QStringLiteral("Plugin_Name"), QStringLiteral("ShowToolBox"),
                               QStringLiteral("Separate"), QStringLiteral("Icon")},
                              values);
        tx.commit();
        return id;
    }

    const std::optional<PlugInDefinition> stored = readPlugIn(db, draft.id);
    if (!stored)
        return RefusalOf<PlugInField>{plugInNotRegisteredMessage(draft.label), PlugInField::None};
    // Tasks name their plug-in by control name: renaming it would leave them without one.
    if (stored->progId.compare(draft.progId, Qt::CaseInsensitive) != 0 &&
        isAttached(db, stored->progId))
        return RefusalOf<PlugInField>{
            QStringLiteral("Plug-in with such Control Name already exists and can't be modified."),
            PlugInField::ControlName};
    db.execute(QStringLiteral("UPDATE LU_ACTIVEX SET label = ?, ActiveX_Control_Name = ?, "
                              "Plugin_Name = ?, ShowToolBox = ?, Separate = ?, Icon = ? "
                              "WHERE ID = ?"),
               QVariantList(values) << draft.id);
    tx.commit();
    return draft.id;
}

Outcome<> PlugInStore::remove(qlonglong id)
{
    if (auto refusal = UserRights::refuseUnlessAdministrator(m_session.user.record))
        return *refusal;
    if (id == 0)
        return RefusalOf<>{QStringLiteral("No item selected")};
    if (m_prompt.ask(QStringLiteral("Are you sure?")) != PromptAnswer::Yes)
        return Outcome<>::declined();
    Database& db = m_session.db();
    Transaction tx(db);
    const std::optional<PlugInDefinition> stored = readPlugIn(db, id);
    if (stored && isAttached(db, stored->progId))
        return RefusalOf<>{QStringLiteral(
            "You can't delete this ActiveX because it is attached to one or more tasks.")};
    db.execute(QStringLiteral("DELETE FROM LU_ACTIVEX WHERE ID = ?"), {id});
    tx.commit();
    return Done{};
}

} // namespace bx::plugins
