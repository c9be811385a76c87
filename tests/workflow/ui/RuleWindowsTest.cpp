// The rule editor, the trigger editor and the action-item editor.

#include "core/db/Database.h"
#include "core/schema/TaskColumns.h"
#include "support/Lifecycles.h"
#include "support/TaskRows.h"
#include "support/WindowTest.h"
#include "workflow/ui/ACTION.h"
#include "workflow/ui/Rules.h"
#include "workflow/ui/TRIGGERS_FORM.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>

#include <gtest/gtest.h>

using namespace bx;
using bx::test::child;

namespace {

const QString kCycle = QStringLiteral("Mike's cycle");
constexpr qlonglong kShop = 4;

class RuleWindowsTest : public bx::test::WindowTest
{
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        if (HasFatalFailure())
            return;
        session.user.userId = QStringLiteral("ann");
        session.currentWorkshopId = static_cast<int>(kShop);
        bx::test::addUsers(db(), {QStringLiteral("ann")});
        bx::test::addWorkshop(db(), kShop, QStringLiteral("O'Neil's desk"));
        run("INSERT INTO LU_RULES (RULE_NAME, SCRIPT) VALUES (?, ?)",
            {QStringLiteral("O'Brien's rule"), QStringLiteral("// kept")});
        bx::test::addTaskRow(db(), {{scr::Number, 42},
                                    {scr::Title, QStringLiteral("Printer's jam")},
                                    {scr::GroupId, kShop}});
        const QString boss = QStringLiteral("Boss's OK");
        bx::test::addStages(
            db(), kCycle, kShop,
            {bx::test::userStage(QStringLiteral("Draft"), QStringLiteral("ann"), kShop),
             bx::test::userStage(boss, QStringLiteral("ann"), kShop)});
        bx::test::addStageAction(db(), kCycle, boss, kShop, QStringLiteral("Sign"), false);
    }

    void run(const char* sql, const QVariantList& params)
    {
        session.db().execute(QString::fromUtf8(sql), params);
    }

    QString scalar(const char* sql)
    {
        return session.db().scalar(QString::fromUtf8(sql)).toString();
    }

    QStringList shown(QListWidget* list)
    {
        QStringList texts;
        for (int i = 0; i < list->count(); ++i)
            texts << list->item(i)->text();
        return texts;
    }
};

TEST_F(RuleWindowsTest, RuleEditorRefusesAndTestsWithoutSaving)
{
    Rules window(session, prompt, QStringLiteral("NEW"));
    auto* name = child<QLineEdit>(window, "RuleName");
    auto* text = child<QPlainTextEdit>(window, "RuleText");
    auto* ok = child<QPushButton>(window, "cmdOK");

    name->setText(QStringLiteral("o'brien's RULE"));
    text->setPlainText(
        QStringLiteral("function SCRMain(co, cg, po, pg, server, stage, owner, group) {\n"
                       "    BXDB.execute(\"UPDATE SCR SET SCR_Title = 'gone'\");\n"
                       "    stage.value = \"Boss's OK\";\n"
                       "    owner.value = po;\n"
                       "}\n"));
    ok->click();
    EXPECT_EQ(prompt.texts(),
              QStringList{QStringLiteral("Value 'o'brien's RULE' already exists.")});
    EXPECT_NE(window.result(), QDialog::Accepted);

    prompt.clear();
    child<QLineEdit>(window, "txtTestOwner")->setText(QStringLiteral("O'Brien"));
    prompt.answerInput(QStringLiteral("42"));
    child<QPushButton>(window, "cmdTest")->click();
    EXPECT_TRUE(prompt.last().text.contains(QStringLiteral("New owner: O'Brien")));
    EXPECT_TRUE(prompt.last().text.contains(QStringLiteral("Target stage: Boss's OK")));

    text->setPlainText(QStringLiteral("function SCRMain() {\n\n  owner.value = ;\n}\n"));
    prompt.answerInput(QStringLiteral("42"));
    child<QPushButton>(window, "cmdTest")->click();
    EXPECT_EQ(prompt.last().icon, PromptIcon::Critical);
    EXPECT_TRUE(prompt.last().text.contains(QStringLiteral("line 3")))
        << prompt.last().text.toStdString();

    EXPECT_EQ(scalar("SELECT SCR_Title FROM SCR WHERE SCR_Number = 42"),
              QStringLiteral("Printer's jam"));
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM LU_RULES"), QStringLiteral("1"));

    Rules edit(session, prompt, QStringLiteral("OPEN"), QStringLiteral("O'BRIEN'S RULE"));
    EXPECT_EQ(child<QLineEdit>(edit, "RuleName")->text(), QStringLiteral("O'Brien's rule"));
    EXPECT_EQ(child<QPlainTextEdit>(edit, "RuleText")->toPlainText(), QStringLiteral("// kept"));
    child<QPlainTextEdit>(edit, "RuleText")->setPlainText(QStringLiteral("// changed"));
    child<QPushButton>(edit, "cmdOK")->click();
    EXPECT_EQ(edit.result(), QDialog::Accepted);
    EXPECT_EQ(scalar("SELECT SCRIPT FROM LU_RULES"), QStringLiteral("// changed"));
}

TEST_F(RuleWindowsTest, TriggersAddEditAndDeleteActionItems)
{
    TRIGGERS_FORM window(session, prompt, kCycle, kShop);
    window.show();
    auto* stages = child<QTreeWidget>(window, "lvStages");
    auto* actions = child<QListWidget>(window, "lstActions");
    ASSERT_EQ(stages->topLevelItemCount(), 2);
    EXPECT_EQ(stages->topLevelItem(1)->text(0), QStringLiteral("Boss's OK"));
    EXPECT_EQ(stages->topLevelItem(1)->text(1), QStringLiteral("ann(O'Neil's desk)"));
    EXPECT_TRUE(shown(actions).isEmpty());

    stages->setCurrentItem(stages->topLevelItem(1));
    EXPECT_EQ(shown(actions), QStringList{QStringLiteral("Sign")});
    child<QPushButton>(window, "cmdEdit")->click();
    child<QPushButton>(window, "cmdDelete")->click();
    EXPECT_EQ(prompt.texts(), (QStringList{QStringLiteral("No Action Selected"),
                                           QStringLiteral("No Action Selected")}));

    // Add: the editor shows the stage and writes the item with its icon.
    child<QPushButton>(window, "cmdAdd")->click();
    auto* editor = window.findChild<ACTION*>();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(child<QLabel>(*editor, "lblStage")->text(), QStringLiteral("Boss's OK"));
    const QByteArray icon("\x89PNG\r\n\0junk", 11);
    const QString iconPath = dir.filePath(QStringLiteral("O'Hara.ico"));
    {
        QFile file(iconPath);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(icon);
    }
    ASSERT_TRUE(editor->setIconFile(iconPath));
    child<QLineEdit>(*editor, "txtTitle")->setText(QStringLiteral("O'Hara's check"));
    child<QCheckBox>(*editor, "chkMandatory")->setChecked(true);
    child<QPushButton>(*editor, "cmdOK")->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(window.findChild<ACTION*>(), nullptr);
    EXPECT_EQ(shown(actions),
              (QStringList{QStringLiteral("O'Hara's check"), QStringLiteral("Sign")}));
    EXPECT_EQ(session.db()
                  .scalar(QStringLiteral("SELECT Icon FROM LIFECYCLE_ACTION WHERE Action_Name = ?"),
                          {QStringLiteral("O'Hara's check")})
                  .toByteArray(),
              icon);

    // Edit opens on the selected item.
    actions->setCurrentRow(0);
    child<QPushButton>(window, "cmdEdit")->click();
    editor = window.findChild<ACTION*>();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(child<QLineEdit>(*editor, "txtTitle")->text(), QStringLiteral("O'Hara's check"));
    EXPECT_TRUE(child<QCheckBox>(*editor, "chkMandatory")->isChecked());
    child<QPushButton>(*editor, "cmdCancel")->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    // Delete, once confirmed (what Cancel keeps is the action items logic's).
    actions->setCurrentRow(0);
    prompt.answer(PromptAnswer::Ok);
    child<QPushButton>(window, "cmdDelete")->click();
    EXPECT_EQ(shown(actions), QStringList{QStringLiteral("Sign")});
}

} // namespace
