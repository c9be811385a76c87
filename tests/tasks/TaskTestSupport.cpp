#include "TaskTestSupport.h"

#include "core/Clock.h"
#include "core/db/DbError.h"
#include "support/Schema.h"
#include "workflow/RecordRoute.h"

#include <QDir>

#include <stdexcept>

namespace bx::test::tasks {

QDateTime at(int y, int mo, int d, int h, int mi, int s)
{
    return naive(QDate(y, mo, d), QTime(h, mi, s));
}

QStringList differingValues(const QVariantMap& a, const QVariantMap& b)
{
    QStringList keys = a.keys() + b.keys();
    keys.removeDuplicates();
    keys.sort();
    QStringList out;
    for (const QString& key : keys) {
        if (a.value(key) != b.value(key)) {
            out << key + QStringLiteral(": ") + a.value(key).toString() + QStringLiteral(" != ") +
                       b.value(key).toString();
        }
    }
    return out;
}

void RecordingNotifier::NotifyTaskEvent(Database& /*db*/, const RecordSet& /*task*/,
                                        const RecordSet& /*route*/, const QString& action,
                                        const QString& stageName, const QDateTime& targetDate,
                                        const QString& ownerUser, qlonglong groupId,
                                        const QString& /*comment*/)
{
    const Notice n{action, stageName, targetDate, ownerUser, groupId};
    notices.append(n);
    if (failWhen && failWhen(n)) {
        if (throwDbError)
            throw DbError(DbErrorKind::Other, QStringLiteral("99"), failText);
        throw std::runtime_error(failText.toStdString());
    }
}

void FakePlugIn::setProperty(const QString& name, const QVariant& value)
{
    if (name.compare(QStringLiteral("ACTION"), Qt::CaseInsensitive) == 0) {
        actions << value.toString();
        props.insert(QStringLiteral("ACTION"),
                     cancelSave && value.toString() == QStringLiteral("SAVE")
                         ? QStringLiteral("CANCEL")
                         : value);
        return;
    }
    props.insert(name, value);
}

void TaskTest::SetUp()
{
    SessionTest::SetUp();
    clock.setStandardOffsetSeconds(2 * kHour);
    if (IsSkipped() || HasFatalFailure())
        return;
    addUsers(db(), {kMe, QStringLiteral("bob"), QStringLiteral("carl"), QStringLiteral("dora"),
                    QStringLiteral("O'Brien")});
    addCategories(db(), {kProjects, kSevenRoot});
    addWorkshop(db(), kShop4, kShop4Name);
    addWorkshop(db(), kShop7, QStringLiteral("Seventh"), kSevenRoot);
    addWorkshop(db(), kShop8, QStringLiteral("Eighth"));
    addWorkshop(db(), kShop9, QStringLiteral("Ninth"));
    session.currentWorkshopId = static_cast<int>(kShop7);
    session.taskNotifier = &notifier;
}

void TaskTest::TearDown()
{
    session.taskNotifier = nullptr;
    SessionTest::TearDown();
}

void TaskTest::startHistory(qlonglong task, const QString& owner, qlonglong group)
{
    RouteHistoryEntry e;
    e.taskNumber = task;
    e.action = QStringLiteral("Create Request");
    e.ownerUser = owner;
    e.groupId = group;
    ASSERT_TRUE(RecordRoute(db(), e, at(2024, 1, 2, 6, 0), kMe, nullptr));
}

QVariant TaskTest::stored(qlonglong task, const QString& column)
{
    const RecordSet rows =
        db().query(QStringLiteral("SELECT * FROM SCR WHERE SCR_Number = ?"), {task});
    EXPECT_EQ(rows.rowCount(), 1) << "task " << task;
    EXPECT_TRUE(rows.hasColumn(column)) << column.toStdString();
    return rows.value(column);
}

RecordSet TaskTest::routeRows(qlonglong task)
{
    return db().query(
        QStringLiteral("SELECT * FROM ROUTE WHERE SCR_Number = ? ORDER BY Route_Number"), {task});
}

QStringList TaskTest::closedActions(qlonglong task)
{
    QStringList actions;
    const RecordSet rows = routeRows(task);
    for (int i = 0; i < rows.rowCount(); ++i) {
        if (!rows.value(i, QStringLiteral("Route_Date_Out")).isNull())
            actions << rows.value(i, QStringLiteral("Route_Action")).toString();
    }
    return actions;
}

qlonglong TaskTest::countRows(const QString& sql, const QVariantList& params)
{
    return db().scalar(sql, params).toLongLong();
}

void TaskTest::addRule(const QString& name, const QString& script)
{
    db().execute(QStringLiteral("INSERT INTO LU_RULES (RULE_NAME, SCRIPT) VALUES (?, ?)"),
                 {name, script});
}

qlonglong TaskTest::attachChecklist(qlonglong task, const QString& name)
{
    return addAttachment(
        task, QStringLiteral("K"),
        {{QStringLiteral("Attach_Filename"), name.isNull() ? QVariant() : QVariant(name)},
         {QStringLiteral("Attach_Title"), QStringLiteral("Checklist: ") + name}});
}

void TaskTest::addChecklistItem(const QString& checklist, const QString& item, bool mandatory)
{
    db().execute(QStringLiteral("INSERT INTO CHECKLIST_ITEM (Checklist_Name, Action_Name, "
                                "Mandatory, Sign_User_ID, Attach_Number) VALUES (?, ?, ?, ?, 0)"),
                 {checklist, item, db().dialect().flag(mandatory), QStringLiteral("bob")});
}

void TaskTest::tickChecklistItem(const QString& checklist, const QString& item,
                                 qlonglong attachNumber)
{
    db().execute(QStringLiteral("INSERT INTO CHECKLIST_ITEM (Checklist_Name, Action_Name, "
                                "Mandatory, Attach_Number, User_ID) VALUES (?, ?, 0, ?, ?)"),
                 {checklist, item, attachNumber, QStringLiteral("bob")});
}

qlonglong TaskTest::addAttachment(qlonglong task, const QVariantMap& columns)
{
    QStringList names{scr::Number};
    QVariantList values{task};
    for (auto it = columns.begin(); it != columns.end(); ++it) {
        names << it.key();
        values << (it.value().typeId() == QMetaType::Bool ? db().dialect().flag(it.value().toBool())
                                                          : it.value());
    }
    return db().insertNumbered(QStringLiteral("ATTACH"), QStringLiteral("Attach_Number"), names,
                               values);
}

QStringList TaskTest::taskErrors() const
{
    QStringList texts;
    for (const PromptRecord& r : prompt.records()) {
        if (r.title == QStringLiteral("Budget Row Error") && r.icon == PromptIcon::Critical)
            texts << r.text;
    }
    return texts;
}

} // namespace bx::test::tasks
