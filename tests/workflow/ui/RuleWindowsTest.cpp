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
using namespace Qt::StringLiterals;
using bx::test::child;

namespace {

const QString kCycle = u"Mike's cycle"_s;
constexpr qlonglong kShop = 4;

class RuleWindowsTest : public bx::test::WindowTest
{
protected:
    void arrange() override
    {
        session.user.userId = u"ann"_s;
        session.currentWorkshopId = static_cast<int>(kShop);
        bx::test::addUsers(db(), {u"ann"_s});
        bx::test::addWorkshop(db(), kShop, u"O'Neil's desk"_s);
        run("INSERT INTO LU_RULES (RULE_NAME, SCRIPT) VALUES (?, ?)",
            {u"O'Brien's rule"_s, u"// kept"_s});
        bx::test::addTaskRow(
            db(), {{scr::Number, 42}, {scr::Title, u"Printer's jam"_s}, {scr::GroupId, kShop}});
        const QString boss = u"Boss's OK"_s;
        bx::test::addStages(db(), kCycle, kShop,
                            {bx::test::userStage(u"Draft"_s, u"ann"_s, kShop),
                             bx::test::userStage(boss, u"ann"_s, kShop)});
        bx::test::addStageAction(db(), kCycle, boss, kShop, u"Sign"_s, false);
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
    Rules window(session, prompt, u"NEW"_s);
    auto* name = child<QLineEdit>(window, "RuleName");
    auto* text = child<QPlainTextEdit>(window, "RuleText");
    auto* ok = child<QPushButton>(window, "cmdOK");

    name->setText(u"o'brien's RULE"_s);
    text->setPlainText(u"function SCRMain(co, cg, po, pg, server, stage, owner, group) {\n"
                       "    stage.value = \"Boss's OK\";\n    owner.value = po;\n}\n"_s);
    ok->click();
    EXPECT_EQ(prompt.texts(), QStringList{u"Value 'o'brien's RULE' already exists."_s});
    EXPECT_NE(window.result(), QDialog::Accepted);

    prompt.clear();
    child<QLineEdit>(window, "txtTestOwner")->setText(u"O'Brien"_s);
    prompt.answerInput(u"42"_s);
    child<QPushButton>(window, "cmdTest")->click();
    EXPECT_TRUE(prompt.last().text.contains(u"New owner: O'Brien"_s));
    EXPECT_TRUE(prompt.last().text.contains(u"Target stage: Boss's OK"_s));

    Rules edit(session, prompt, u"OPEN"_s, u"O'BRIEN'S RULE"_s);
    EXPECT_EQ(child<QLineEdit>(edit, "RuleName")->text(), u"O'Brien's rule"_s);
    EXPECT_EQ(child<QPlainTextEdit>(edit, "RuleText")->toPlainText(), u"// kept"_s);
    child<QPlainTextEdit>(edit, "RuleText")->setPlainText(u"// changed"_s);
    child<QPushButton>(edit, "cmdOK")->click();
    EXPECT_EQ(edit.result(), QDialog::Accepted);
    EXPECT_EQ(scalar("SELECT SCRIPT FROM LU_RULES"), u"// changed"_s);
}

TEST_F(RuleWindowsTest, TriggersAddEditAndDeleteActionItems)
{
    TRIGGERS_FORM window(session, prompt, kCycle, kShop);
    window.show();
    auto* stages = child<QTreeWidget>(window, "lvStages");
    auto* actions = child<QListWidget>(window, "lstActions");
    ASSERT_EQ(stages->topLevelItemCount(), 2);
    EXPECT_EQ(stages->topLevelItem(1)->text(0), u"Boss's OK"_s);
    EXPECT_EQ(stages->topLevelItem(1)->text(1), u"ann(O'Neil's desk)"_s);
    EXPECT_TRUE(shown(actions).isEmpty());

    stages->setCurrentItem(stages->topLevelItem(1));
    EXPECT_EQ(shown(actions), QStringList{u"Sign"_s});
    child<QPushButton>(window, "cmdEdit")->click();
    child<QPushButton>(window, "cmdDelete")->click();
    EXPECT_EQ(prompt.texts(), (QStringList{u"No Action Selected"_s, u"No Action Selected"_s}));

    // Add: the editor shows the stage and writes the item with its icon.
    child<QPushButton>(window, "cmdAdd")->click();
    auto* editor = window.findChild<ACTION*>();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(child<QLabel>(*editor, "lblStage")->text(), u"Boss's OK"_s);
    const QByteArray icon("\x89PNG\r\n\0junk", 11);
    const QString iconPath = dir.filePath(u"O'Hara.ico"_s);
    {
        QFile file(iconPath);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(icon);
    }
    ASSERT_TRUE(editor->setIconFile(iconPath));
    child<QLineEdit>(*editor, "txtTitle")->setText(u"O'Hara's check"_s);
    child<QCheckBox>(*editor, "chkMandatory")->setChecked(true);
    child<QPushButton>(*editor, "cmdOK")->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(window.findChild<ACTION*>(), nullptr);
    EXPECT_EQ(shown(actions), (QStringList{u"O'Hara's check"_s, u"Sign"_s}));
    EXPECT_EQ(session.db()
                  .scalar(u"SELECT Icon FROM LIFECYCLE_ACTION WHERE Action_Name = ?"_s,
                          {u"O'Hara's check"_s})
                  .toByteArray(),
              icon);

    // Edit opens on the selected item.
    actions->setCurrentRow(0);
    child<QPushButton>(window, "cmdEdit")->click();
    editor = window.findChild<ACTION*>();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(child<QLineEdit>(*editor, "txtTitle")->text(), u"O'Hara's check"_s);
    EXPECT_TRUE(child<QCheckBox>(*editor, "chkMandatory")->isChecked());
    child<QPushButton>(*editor, "cmdCancel")->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    // Delete, once confirmed (what Cancel keeps is the action items logic's).
    actions->setCurrentRow(0);
    prompt.answer(PromptAnswer::Ok);
    child<QPushButton>(window, "cmdDelete")->click();
    EXPECT_EQ(shown(actions), QStringList{u"Sign"_s});
}

} // namespace
