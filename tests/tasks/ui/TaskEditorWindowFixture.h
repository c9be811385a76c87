#pragma once

#include "core/Session.h"
#include "core/db/Database.h"
#include "core/schema/TaskColumns.h"
#include "support/AttachContent.h"
#include "support/TaskRows.h"
#include "support/WindowTest.h"
#include "tasks/TaskEditorHost.h"

#include <QAction>
#include <QCoreApplication>
#include <QEvent>
#include <QTreeWidget>

#include <gtest/gtest.h>

namespace bx::test {

inline const QString kMe = QStringLiteral("ann");
inline constexpr qlonglong kShop = 7;

class RecordingHost final : public TaskEditorHost
{
public:
    void taskSaved(qlonglong number, bool wasNew) override { saved.append({number, wasNew}); }
    void refreshTaskLists() override { ++refreshes; }
    qlonglong neighbourTask(qlonglong, int) override { return 0; }
    QList<std::pair<qlonglong, bool>> saved;
    int refreshes = 0;
};

class TaskEditorWindowTest : public bx::test::WindowTest
{
protected:
    void SetUp() override
    {
        qputenv("BRINDLEPAX_DATA", dir.path().toUtf8());
        WindowTest::SetUp();
        if (HasFatalFailure())
            return;
        session.user.userId = kMe;
        session.currentWorkshopId = static_cast<int>(kShop);
        addUsers(db(), {kMe, QStringLiteral("bob")});
        addWorkshop(db(), kShop, QStringLiteral("O'Neil's desk"));
        addCategories(db(), {QStringLiteral("O'Neil's folder")});
    }
    void TearDown() override
    {
        session.closeDatabase();
        qunsetenv("BRINDLEPAX_DATA");
    }

    qlonglong addTask(const QVariantMap& columns) { return addTaskRow(db(), columns); }
    qlonglong addAttachment(qlonglong task, const QString& type = QStringLiteral("M"),
                            const QByteArray& content = {})
    {
        const qlonglong number = db().insertNumbered(
            QStringLiteral("ATTACH"), QStringLiteral("Attach_Number"),
            {scr::Number, QStringLiteral("Attach_Type"), QStringLiteral("Attach_Title"),
             QStringLiteral("Attach_Filename")},
            {task, type, QStringLiteral("Bob's memo"), QStringLiteral("O'Brien's plan.txt")});
        if (!content.isEmpty())
            setAttachContent(db(), number, content);
        return number;
    }
    QByteArray content(qlonglong attachment) { return attachContent(db(), attachment); }
    /** Makes the row of `key` the current item of the list `name`. */
    void select(QWidget& window, const char* name, const QString& key)
    {
        auto* list = child<QTreeWidget>(window, name);
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            if (list->topLevelItem(i)->data(0, Qt::UserRole + 1).toString() == key)
                list->setCurrentItem(list->topLevelItem(i));
        ASSERT_NE(list->currentItem(), nullptr) << key.toStdString();
    }
    void selectFile(QWidget& window, qlonglong number)
    {
        select(window, "AttachListView", QStringLiteral("00") + QString::number(number));
    }
    void selectMemo(QWidget& window, qlonglong number)
    {
        select(window, "MemoListView", QStringLiteral("M00") + QString::number(number));
    }
    void activate(QWidget& window)
    {
        QEvent activation(QEvent::WindowActivate);
        QCoreApplication::sendEvent(&window, &activation);
    }
    bool enabled(QWidget& window, const char* name)
    {
        return child<QAction>(window, name)->isEnabled();
    }
    QVariant stored(qlonglong task, const char* column)
    {
        return db().scalar(
            QStringLiteral("SELECT %1 FROM SCR WHERE SCR_Number = ?").arg(QLatin1String(column)),
            {task});
    }
    qlonglong sqlNumber(const char* sql, const QVariantList& params)
    {
        return db().scalar(QLatin1String(sql), params).toLongLong();
    }
    void trigger(QWidget& window, const char* key) { child<QAction>(window, key)->trigger(); }

    RecordingHost host;
};

} // namespace bx::test
