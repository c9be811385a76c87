#include "TaskTestSupport.h"

#include "core/Clock.h"
#include "core/db/DbError.h"
#include "support/Schema.h"
#include "workflow/RecordRoute.h"

#include <QDir>

#include <stdexcept>

using namespace Qt::StringLiterals;

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
            out << key + u": "_s + a.value(key).toString() + u" != "_s + b.value(key).toString();
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
            throw DbError(DbErrorKind::Other, u"99"_s, failText);
        throw std::runtime_error(failText.toStdString());
    }
}

void FakePlugIn::setProperty(const QString& name, const QVariant& value)
{
    if (name.compare(u"ACTION"_s, Qt::CaseInsensitive) == 0) {
        actions << value.toString();
        props.insert(u"ACTION"_s,
                     cancelSave && value.toString() == u"SAVE"_s ? u"CANCEL"_s : value);
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
    addUsers(db(), {kMe, u"bob"_s, u"carl"_s, u"dora"_s, u"O'Brien"_s});
    addCategories(db(), {kProjects, kSevenRoot});
    addWorkshop(db(), kShop4, kShop4Name);
    addWorkshop(db(), kShop7, u"Seventh"_s, kSevenRoot);
    addWorkshop(db(), kShop8, u"Eighth"_s);
    addWorkshop(db(), kShop9, u"Ninth"_s);
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
    e.action = u"Create Request"_s;
    e.ownerUser = owner;
    e.groupId = group;
    ASSERT_TRUE(RecordRoute(db(), e, at(2024, 1, 2, 6, 0), kMe, nullptr));
}

QVariant TaskTest::stored(qlonglong task, const QString& column)
{
    const RecordSet rows = db().query(u"SELECT * FROM SCR WHERE SCR_Number = ?"_s, {task});
    EXPECT_EQ(rows.rowCount(), 1) << "task " << task;
    EXPECT_TRUE(rows.hasColumn(column)) << column.toStdString();
    return rows.value(column);
}

QStringList TaskTest::storedTexts(qlonglong task, const QStringList& columns)
{
    const RecordSet row = db().query(u"SELECT * FROM SCR WHERE SCR_Number = ?"_s, {task});
    EXPECT_EQ(row.rowCount(), 1) << "task " << task;
    for (const QString& column : columns)
        EXPECT_TRUE(row.hasColumn(column)) << column.toStdString();
    return bx::test::rowTexts(row, columns);
}

RecordSet TaskTest::routeRows(qlonglong task)
{
    return db().query(u"SELECT * FROM ROUTE WHERE SCR_Number = ? ORDER BY Route_Number"_s, {task});
}

QStringList TaskTest::closedActions(qlonglong task)
{
    QStringList actions;
    const RecordSet rows = routeRows(task);
    for (int i = 0; i < rows.rowCount(); ++i) {
        if (!rows.value(i, u"Route_Date_Out"_s).isNull())
            actions << rows.value(i, u"Route_Action"_s).toString();
    }
    return actions;
}

qlonglong TaskTest::countRows(const QString& sql, const QVariantList& params)
{
    return db().scalar(sql, params).toLongLong();
}

void TaskTest::addRule(const QString& name, const QString& script)
{
    db().execute(u"INSERT INTO LU_RULES (RULE_NAME, SCRIPT) VALUES (?, ?)"_s, {name, script});
}

qlonglong TaskTest::attachChecklist(qlonglong task, const QString& name)
{
    return addAttachment(task, u"K"_s,
                         {{u"Attach_Filename"_s, name.isNull() ? QVariant() : QVariant(name)},
                          {u"Attach_Title"_s, u"Checklist: "_s + name}});
}

void TaskTest::addChecklistItem(const QString& checklist, const QString& item, bool mandatory)
{
    db().execute(u"INSERT INTO CHECKLIST_ITEM (Checklist_Name, Action_Name, "
                 "Mandatory, Sign_User_ID, Attach_Number) VALUES (?, ?, ?, ?, 0)"_s,
                 {checklist, item, db().dialect().flag(mandatory), u"bob"_s});
}

void TaskTest::tickChecklistItem(const QString& checklist, const QString& item,
                                 qlonglong attachNumber)
{
    db().execute(u"INSERT INTO CHECKLIST_ITEM (Checklist_Name, Action_Name, "
                 "Mandatory, Attach_Number, User_ID) VALUES (?, ?, 0, ?, ?)"_s,
                 {checklist, item, attachNumber, u"bob"_s});
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
    return db().insertNumbered(u"ATTACH"_s, u"Attach_Number"_s, names, values);
}

QStringList TaskTest::taskErrors() const
{
    QStringList texts;
    for (const PromptRecord& r : prompt.records()) {
        if (r.title == u"Budget Row Error"_s && r.icon == PromptIcon::Critical)
            texts << r.text;
    }
    return texts;
}

} // namespace bx::test::tasks
