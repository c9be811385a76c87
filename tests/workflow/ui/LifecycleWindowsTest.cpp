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
using namespace Qt::StringLiterals;
using bx::test::child;

namespace {

const QString kFlow = u"O'Brien's flow"_s;
const QString kObrien = u"O'Brien"_s;

/** An embedded database with workshop "Dept's team" (current) holding admin and O'Brien. */
class LifecycleWindowsTest : public bx::test::WindowTest
{
protected:
    void arrange() override
    {
        enterWorkshop(team, u"Dept's team"_s);
        bx::test::addUsers(db(), {kObrien});
        bx::test::addMembers(db(), team, {kObrien});
        db().execute(u"INSERT INTO LU_RULES (RULE_NAME) VALUES (?)"_s, {u"Escalate"_s});
    }

    /** Saves a lifecycle of two stages, Draft (O'Brien) and Review (the requester). */
    void saveFlow()
    {
        LIFECYCLE_FORM form(session, prompt);
        child<QLineEdit>(form, "KEY_LIFECYCLE")->setText(kFlow);
        child<QLineEdit>(form, "txtDescription")->setText(u"Dept's review"_s);
        ASSERT_TRUE(form.addStage(u"Draft"_s));
        ASSERT_TRUE(form.selectOwner(StageOwnerKind::User, team, kObrien));
        ASSERT_TRUE(form.addStage(u"Review"_s));
        ASSERT_TRUE(form.selectOwner(StageOwnerKind::Requester));
        child<QPushButton>(form, "cmdOK")->click();
        ASSERT_EQ(form.result(), QDialog::Accepted) << prompt.texts().join(u'|').toStdString();
    }

    QList<QVariantList> stageRows()
    {
        return session.db()
            .query(u"SELECT LC_Stage_Name, LC_Sequence_Number, UserType, User_ID, "
                   "Rule_Name, Declined, Days_In_Cycle FROM LIFECYCLE_USER WHERE "
                   "Lifecycle_ID = ? AND owner_group_id = ? ORDER BY LC_Sequence_Number"_s,
                   {kFlow, team})
            .rows();
    }

    const qlonglong team = 5;
};

} // namespace

TEST_F(LifecycleWindowsTest, FormRefusesWithFocusThenSavesStagesInListOrder)
{
    LIFECYCLE_FORM form(session, prompt);
    form.show();
    auto* key = child<QLineEdit>(form, "KEY_LIFECYCLE");
    auto* ok = child<QPushButton>(form, "cmdOK");
    ok->click();
    EXPECT_EQ(prompt.texts(), QStringList{u"Please specify an identifier for this lifecycle"_s});
    EXPECT_EQ(form.focusWidget(), key);
    EXPECT_TRUE(form.isVisible());
    QTest::keyClicks(key, kFlow);
    QTest::keyClicks(child<QLineEdit>(form, "txtDescription"), u"Dept's review"_s);

    prompt.clear();
    prompt.answerInput(u"Draft"_s);
    child<QPushButton>(form, "cmdAdd")->click();
    ASSERT_TRUE(form.selectOwner(StageOwnerKind::User, team, kObrien));
    EXPECT_FALSE(form.addStage(u"draft"_s));
    ASSERT_TRUE(form.addStage(u"Boss's OK"_s));
    ASSERT_TRUE(form.selectOwner(StageOwnerKind::Workshop, team));
    child<QComboBox>(form, "cmbRule")->setCurrentText(u"Escalate"_s);
    child<QCheckBox>(form, "chkDeclined")->setChecked(true);
    child<QSpinBox>(form, "txtDays")->setValue(4);
    child<QPushButton>(form, "cmdUp")->click();
    EXPECT_EQ(prompt.texts(), (QStringList{u"Stage name:"_s, u"Stage name already exists"_s}));

    ok->click();
    ASSERT_EQ(form.result(), QDialog::Accepted) << prompt.texts().join(u'|').toStdString();
    EXPECT_EQ(form.savedId(), kFlow);
    const QVariant null;
    EXPECT_EQ(stageRows(), (QList<QVariantList>{{u"Boss's OK"_s, 0, 1, null, u"Escalate"_s, -1, 4},
                                                {u"Draft"_s, 1, 0, kObrien, null, 0, 0}}));
}

TEST_F(LifecycleWindowsTest, DesignerCommandsNeedASelectionAndDeleteAsksFirst)
{
    saveFlow();
    Lifecycle_designer window(session, prompt);
    QSignalSpy triggers(&window, &Lifecycle_designer::triggersRequested);
    prompt.clear();
    for (const char* key : {"Prop", "Adv", "Delete", "Copy", "Triggers"})
        child<QAction>(window, key)->trigger();
    EXPECT_EQ(prompt.texts(), QStringList(5, u"No item selected"_s));
    EXPECT_EQ(triggers.count(), 0);

    ASSERT_TRUE(window.select(kFlow));
    child<QAction>(window, "Adv")->trigger();
    child<QAction>(window, "Triggers")->trigger();
    ASSERT_EQ(triggers.count(), 2);
    EXPECT_EQ(triggers.at(0), (QVariantList{kFlow, team}));

    // Copy: the copy is listed and chosen; deleting it asks first (what a delete refuses is the
    // designer logic's).
    child<QAction>(window, "Copy")->trigger();
    EXPECT_EQ(window.selectedId(), u"Copy of "_s + kFlow);
    prompt.answer(PromptAnswer::Cancel);
    prompt.answer(PromptAnswer::Ok);
    child<QAction>(window, "Delete")->trigger();
    EXPECT_EQ(child<QTreeWidget>(window, "lvLifecycles")->topLevelItemCount(), 2);
    child<QAction>(window, "Delete")->trigger();
    EXPECT_EQ(child<QTreeWidget>(window, "lvLifecycles")->topLevelItemCount(), 1);
}
