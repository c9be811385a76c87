// The lifecycle designer: the list of a workshop's lifecycles and the form that edits one.

#include "core/db/Database.h"
#include "support/Lifecycles.h"
#include "support/TaskRows.h"
#include "support/WindowTest.h"
#include "workflow/ui/LIFECYCLE_FORM.h"
#include "workflow/ui/Lifecycle_designer.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

using namespace bx;
using bx::test::child;

namespace {

const QString kFlow = QStringLiteral("O'Brien's flow");
const QString kObrien = QStringLiteral("O'Brien");

/** An embedded database with workshop "Dept's team" (current) holding admin and O'Brien. */
class LifecycleWindowsTest : public bx::test::WindowTest
{
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        if (HasFatalFailure())
            return;
        enterWorkshop(team, QStringLiteral("Dept's team"));
        bx::test::addUsers(db(), {kObrien});
        bx::test::addMembers(db(), team, {kObrien});
        db().execute(QStringLiteral("INSERT INTO LU_RULES (RULE_NAME) VALUES (?)"),
                     {QStringLiteral("Escalate")});
    }

    /** Saves a lifecycle of two stages, Draft (O'Brien) and Review (the requester). */
    void saveFlow()
    {
        LIFECYCLE_FORM form(session, prompt);
        child<QLineEdit>(form, "KEY_LIFECYCLE")->setText(kFlow);
        child<QLineEdit>(form, "txtDescription")->setText(QStringLiteral("Dept's review"));
        ASSERT_TRUE(form.addStage(QStringLiteral("Draft")));
        ASSERT_TRUE(form.selectOwner(StageOwnerKind::User, team, kObrien));
        ASSERT_TRUE(form.addStage(QStringLiteral("Review")));
        ASSERT_TRUE(form.selectOwner(StageOwnerKind::Requester));
        child<QPushButton>(form, "cmdOK")->click();
        ASSERT_EQ(form.result(), QDialog::Accepted) << prompt.texts().join(u'|').toStdString();
    }

    QList<QVariantList> stageRows()
    {
        return session.db()
            .query(QStringLiteral("SELECT LC_Stage_Name, LC_Sequence_Number, UserType, User_ID, "
                                  "Rule_Name, Declined, Days_In_Cycle FROM LIFECYCLE_USER WHERE "
                                  "Lifecycle_ID = ? AND owner_group_id = ? ORDER BY "
                                  "LC_Sequence_Number"),
                   {kFlow, team})
            .rows();
    }

    const qlonglong team = 5;
};

} // namespace

TEST_F(LifecycleWindowsTest, FormRefusesInOrderWithFocusThenSavesStagesInListOrder)
{
    LIFECYCLE_FORM form(session, prompt);
    form.show();
    auto* key = child<QLineEdit>(form, "KEY_LIFECYCLE");
    auto* description = child<QLineEdit>(form, "txtDescription");
    auto* ok = child<QPushButton>(form, "cmdOK");
    const struct
    {
        QString text;
        QWidget* focus;
        std::function<void()> mend;
    } steps[] = {
        {QStringLiteral("Please specify an identifier for this lifecycle"), key,
         [&] { QTest::keyClicks(key, kFlow); }},
        {QStringLiteral("Please specify a description for this lifecycle"), description,
         [&] { QTest::keyClicks(description, QStringLiteral("Dept's review")); }},
        {QStringLiteral("A lifecycle must have at least one stage"),
         child<QTreeWidget>(form, "lvStages"), [] {}},
    };
    for (const auto& step : steps) {
        prompt.clear();
        ok->click();
        EXPECT_EQ(prompt.texts(), QStringList{step.text});
        EXPECT_EQ(form.focusWidget(), step.focus) << step.text.toStdString();
        step.mend();
    }
    EXPECT_TRUE(form.isVisible());

    prompt.clear();
    EXPECT_FALSE(form.addStage(QStringLiteral("rEQUESTER")));
    prompt.answerInput(QStringLiteral("Draft"));
    child<QPushButton>(form, "cmdAdd")->click();
    ASSERT_TRUE(form.selectOwner(StageOwnerKind::User, team, kObrien));
    EXPECT_FALSE(form.addStage(QStringLiteral("draft")));
    ASSERT_TRUE(form.addStage(QStringLiteral("Boss's OK")));
    ASSERT_TRUE(form.selectOwner(StageOwnerKind::Workshop, team));
    child<QComboBox>(form, "cmbRule")->setCurrentText(QStringLiteral("Escalate"));
    child<QCheckBox>(form, "chkDeclined")->setChecked(true);
    child<QSpinBox>(form, "txtDays")->setValue(4);
    child<QPushButton>(form, "cmdUp")->click();
    EXPECT_EQ(prompt.texts(), (QStringList{QStringLiteral("Stage name 'Requester' is reserved"),
                                           QStringLiteral("Stage name:"),
                                           QStringLiteral("Stage name already exists")}));

    ok->click();
    ASSERT_EQ(form.result(), QDialog::Accepted) << prompt.texts().join(u'|').toStdString();
    EXPECT_EQ(form.savedId(), kFlow);
    const QVariant null;
    EXPECT_EQ(stageRows(),
              (QList<QVariantList>{
                  {QStringLiteral("Boss's OK"), 0, 1, null, QStringLiteral("Escalate"), -1, 4},
                  {QStringLiteral("Draft"), 1, 0, kObrien, null, 0, 0}}));
}

TEST_F(LifecycleWindowsTest, DesignerCommandsNeedASelectionAndDeleteAsksFirst)
{
    saveFlow();
    Lifecycle_designer window(session, prompt);
    QSignalSpy triggers(&window, &Lifecycle_designer::triggersRequested);
    prompt.clear();
    for (const char* key : {"Prop", "Adv", "Delete", "Copy", "Triggers"})
        child<QAction>(window, key)->trigger();
    EXPECT_EQ(prompt.texts(), QStringList(5, QStringLiteral("No item selected")));
    EXPECT_EQ(triggers.count(), 0);

    ASSERT_TRUE(window.select(kFlow));
    child<QAction>(window, "Adv")->trigger();
    child<QAction>(window, "Triggers")->trigger();
    ASSERT_EQ(triggers.count(), 2);
    EXPECT_EQ(triggers.at(0), (QVariantList{kFlow, team}));

    // Copy: the copy is listed and chosen; deleting it asks first (what a delete refuses is the
    // designer logic's).
    child<QAction>(window, "Copy")->trigger();
    EXPECT_EQ(window.selectedId(), QStringLiteral("Copy of ") + kFlow);
    prompt.answer(PromptAnswer::Cancel);
    prompt.answer(PromptAnswer::Ok);
    child<QAction>(window, "Delete")->trigger();
    EXPECT_EQ(child<QTreeWidget>(window, "lvLifecycles")->topLevelItemCount(), 2);
    child<QAction>(window, "Delete")->trigger();
    EXPECT_EQ(child<QTreeWidget>(window, "lvLifecycles")->topLevelItemCount(), 1);
}
