#include "tasks/PlugInProtocol.h"

#include "core/Clock.h"
#include "core/Gmt.h"
#include "core/db/Database.h"
#include "core/schema/TaskColumns.h"
#include "tasks/TaskTypes.h"

namespace bx::plugins {

namespace {

const QString kAction = QStringLiteral("ACTION");

void send(TaskPlugIn& plugIn, QLatin1String name, const QVariant& value)
{
    plugIn.setProperty(QString(name), value);
}

QString dateValue(const QDate& date)
{
    return date.isValid() ? date.toString(Qt::ISODate) : QString();
}

QDate dateOf(const QVariant& value)
{
    return QDate::fromString(value.toString(), Qt::ISODate);
}

} // namespace

QList<RegisteredPlugIn> registeredPlugIns(Database& db)
{
    const RecordSet rows = db.query(QStringLiteral(
        "SELECT ID, label, ActiveX_Control_Name FROM LU_ACTIVEX ORDER BY label, ID"));
    QList<RegisteredPlugIn> plugIns;
    for (int r = 0; r < rows.rowCount(); ++r)
        plugIns << RegisteredPlugIn{
            rows.value(r, QStringLiteral("ID")).toLongLong(),
            rows.value(r, QStringLiteral("label")).toString(),
            rows.value(r, QStringLiteral("ActiveX_Control_Name")).toString().trimmed()};
    return plugIns;
}

Outcome<PendingAttachment> plugInAttachment(const RegisteredPlugIn* chosen, bool showInTabBar,
                                            const QString& user, const Clock& clock)
{
    if (chosen == nullptr || chosen->progId.isEmpty())
        return RefusalOf<>{QStringLiteral("Please specify a Control")};
    PendingAttachment p;
    p.type = AttachmentType::PlugIn;
    p.title = chosen->label;
    p.fileName = chosen->progId;
    p.owner = user;
    p.date = GmtConverter(clock).nowGmt();
    p.showInTabBar = showInTabBar;
    return p;
}

std::optional<RefusalOf<>> UpdatePluginObject(const QString& direction, TaskPlugIn& plugIn,
                                              const EditorValues& values,
                                              const std::function<void()>& sendDatabase)
{
    if (direction == QLatin1String("FROM"))
        return std::nullopt;
    if (direction != QLatin1String("TO"))
        return RefusalOf<>{QStringLiteral("Invalid UpdatePlugin parameter")};
    send(plugIn, scr::LifecycleId, values.lifecycleId);
    if (values.ownerTargetDate.isValid())
        send(plugIn, scr::OwnerTargetDate, values.ownerTargetDate);
    send(plugIn, scr::Category, values.category);
    send(plugIn, scr::Priority, values.priority);
    send(plugIn, scr::Comments, values.comments);
    send(plugIn, scr::Title, values.title);
    plugIn.setProperty(QStringLiteral("User_ID"), values.userId);
    if (sendDatabase)
        sendDatabase();
    send(plugIn, scr::CustomField, values.customField);
    if (values.lifecycleEndDate.isValid())
        send(plugIn, scr::LifecycleEndDate, values.lifecycleEndDate);
    return std::nullopt;
}

void SET_ACTIVEX(TaskPlugIn& plugIn, const EditorValues& values, const QString& key)
{
    send(plugIn, scr::Number, values.task);
    plugIn.setProperty(QStringLiteral("key"), key);
    plugIn.setProperty(kAction, values.edit ? QStringLiteral("EDIT") : QStringLiteral("VIEW"));
}

bool showPlugIn(TaskPlugIn& plugIn, const EditorValues& values, const QString& key,
                const std::function<void()>& sendDatabase)
{
    send(plugIn, scr::ParentNumber, values.parent);
    UpdatePluginObject(QStringLiteral("TO"), plugIn, values, sendDatabase);
    SET_ACTIVEX(plugIn, values, key);
    return plugIn.property(kAction).toString().compare(QLatin1String("CANCEL"),
                                                       Qt::CaseInsensitive) != 0;
}

QVariantMap recordValues(const EditorValues& values)
{
    return {{QString(scr::Title), values.title},
            {QString(scr::Category), values.category},
            {QString(scr::Priority), values.priority},
            {QString(scr::CommentsAsText), values.comments},
            {QString(scr::CustomField), values.customField},
            {QString(scr::OwnerTargetDate), dateValue(values.ownerTargetDate)},
            {QString(scr::LifecycleEndDate), dateValue(values.lifecycleEndDate)}};
}

EditorValues valuesFromRecord(const QVariantMap& record, EditorValues stored)
{
    auto take = [&](QLatin1String column, QString& into) {
        if (record.contains(QString(column)))
            into = record.value(QString(column)).toString();
    };
    auto takeDate = [&](QLatin1String column, QDate& into) {
        if (record.contains(QString(column)))
            into = dateOf(record.value(QString(column)));
    };
    take(scr::Title, stored.title);
    take(scr::Category, stored.category);
    take(scr::Priority, stored.priority);
    take(scr::CommentsAsText, stored.comments);
    take(scr::CustomField, stored.customField);
    takeDate(scr::OwnerTargetDate, stored.ownerTargetDate);
    takeDate(scr::LifecycleEndDate, stored.lifecycleEndDate);
    return stored;
}

} // namespace bx::plugins
