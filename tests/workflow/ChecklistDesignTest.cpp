#include "workflow/ChecklistDesign.h"

#include "core/UserRights.h"
#include "core/db/Database.h"
#include "support/Lifecycles.h"
#include "support/RefuseInserts.h"
#include "support/SessionTest.h"
#include "support/TaskRows.h"

#include <functional>
#include <gtest/gtest.h>

using namespace bx;
using namespace Qt::StringLiterals;

namespace {

const QString kAudit = u"O'Hara's audit"_s;
const QString kObrien = u"O'Brien"_s;

ChecklistItem item(const char* text, bool mandatory = false, const QString& signer = {},
                   const char* note = "")
{
    return {QString::fromUtf8(text), mandatory, signer, QString::fromUtf8(note)};
}

/**
 * Workshops "Home" (the current one) and "Other"; O'Brien, signed in, belongs to both, carol to
 * Other only; zed is disabled. Nobody is an administrator.
 */
class ChecklistDesignTest : public bx::test::SessionTest
{
protected:
    void arrange() override
    {
        bx::test::addWorkshop(db(), home, u"Home"_s);
        bx::test::addWorkshop(db(), other, u"Other"_s);
        bx::test::addUsers(db(), {u"ann"_s, kObrien, u"carol"_s, u"zed"_s});
        bx::test::setUserColumn(db(), u"zed"_s, u"Disabled"_s, db().dialect().flag(true));
        bx::test::addMembers(db(), home, {kObrien});
        bx::test::addMembers(db(), other, {kObrien, u"carol"_s});
        signInAs(kObrien, home);
    }

    void signInAs(const QString& user, qlonglong workshop, bool administrator = false)
    {
        session.user.userId = user;
        session.user.record.userId = user;
        session.user.record.administrator = administrator;
        session.currentWorkshopId = static_cast<int>(workshop);
    }

    QStringList checklistNames(qlonglong workshop)
    {
        QStringList names;
        for (const ChecklistSummary& list : workshopChecklists(db(), workshop))
            names << list.name;
        return names;
    }

    /** The audit checklist of Home, saved through the designer, with three items. */
    ChecklistDraft savedAudit()
    {
        ChecklistDraft d;
        d.name = u" "_s + kAudit + u" "_s;
        d.description = u"Before \"release\", check"_s;
        d.items = {item("Sign, then file", true, kObrien, "Boss's note"), item("Count"),
                   item(" Lock up ", true)};
        EXPECT_TRUE(design.save(d));
        return d;
    }

    /** A filled row: the item ticked on a task's copy (attachment `attach`). */
    void tick(const QString& action, qlonglong attach)
    {
        db().execute(u"INSERT INTO CHECKLIST_ITEM (Checklist_Name, Action_Name, "
                     "Attach_Number, User_ID, ItemType) VALUES (?, ?, ?, ?, 0)"_s,
                     {kAudit, action, attach, kObrien});
    }

    void attach(qlonglong number, const QString& checklist)
    {
        db().execute(u"INSERT INTO ATTACH (Attach_Number, SCR_Number, Attach_Type, "
                     "Attach_Filename) VALUES (?, 1, 'K', ?)"_s,
                     {number, checklist});
    }

    /** Every row of the checklist's items: text, mandatory, signer, note, attachment, type. */
    QStringList itemRows()
    {
        QStringList out;
        const RecordSet rs =
            db().query(u"SELECT Action_Name, CASE WHEN Mandatory <> 0 THEN 1 ELSE 0 END, "
                       "Sign_User_ID, ItemNote, Attach_Number, CASE WHEN ItemType <> 0 THEN 1 "
                       "ELSE 0 END FROM CHECKLIST_ITEM WHERE Checklist_Name = ? ORDER BY "
                       "Attach_Number, Action_Name"_s,
                       {kAudit});
        for (const QVariantList& row : rs.rows()) {
            QStringList cells;
            for (const QVariant& v : row)
                cells << (v.isNull() ? u"-"_s : v.toString());
            out << cells.join(u'|');
        }
        return out;
    }

    QString checklistRow()
    {
        const RecordSet rs =
            db().query(u"SELECT Checklist_Name, Checklist_Description, group_id FROM CHECKLIST "
                       "WHERE Checklist_Name = ?"_s,
                       {kAudit});
        return rs.isEmpty()
                   ? QString()
                   : rs.text(u"Checklist_Name"_s) + u'|' + rs.text(u"Checklist_Description"_s) +
                         u'|' + QString::number(rs.number(u"group_id"_s));
    }

    ChecklistDesign design{session, prompt};
    const qlonglong home = 11;
    const qlonglong other = 12;
};

TEST_P(ChecklistDesignTest, SaveRefusesInOrderAndWritesNothing)
{
    // "audit" of Home: the name is the key of every workshop's checklists.
    ChecklistDraft existing;
    existing.name = u"audit"_s;
    existing.items = {item("One")};
    ASSERT_TRUE(design.save(existing));
    signInAs(kObrien, other);
    const QStringList before = itemRows();

    ChecklistDraft d;
    d.name = u"  "_s;
    const struct
    {
        ChecklistRefusal refusal;
        std::function<void(ChecklistDraft&)> mend;
    } steps[] = {
        {{u"Please specify a name for this checklist"_s, ChecklistField::Name},
         [](ChecklistDraft& x) { x.name = u" Audit "_s; }},
        {{u"A checklist must have at least one item"_s, ChecklistField::Items},
         [](ChecklistDraft& x) {
             x.items = {item("Check"), item(" ")};
         }},
        {{u"Please specify a name for every item"_s, ChecklistField::Items},
         [](ChecklistDraft& x) { x.items[1].text = u" cHECK "_s; }},
        {{ChecklistText::listedTwice(u"cHECK"_s), ChecklistField::Items},
         [](ChecklistDraft& x) { x.items[1].text = u"Checked"_s; }},
        {{u"Checklist already exists, Please specify another name."_s, ChecklistField::Name},
         [](ChecklistDraft& x) { x.name = u"Audit 2"_s; }},
    };
    for (const auto& step : steps) {
        EXPECT_EQ(design.save(d).refusal(), step.refusal);
        step.mend(d);
    }
    EXPECT_EQ(db().scalar(u"SELECT COUNT(*) FROM CHECKLIST"_s).toInt(), 1);
    EXPECT_EQ(db().scalar(u"SELECT COUNT(*) FROM CHECKLIST_ITEM"_s).toInt(), 1);
    EXPECT_EQ(itemRows(), before);
    EXPECT_TRUE(design.save(d));
    EXPECT_EQ(checklistNames(other), QStringList{u"Audit 2"_s});
}

TEST_P(ChecklistDesignTest, SaveReplacesTheTemplateAndKeepsTheTicks)
{
    clock.setStandardOffsetSeconds(2 * 3600);
    ChecklistDraft d = savedAudit();
    EXPECT_FALSE(d.isNew);
    EXPECT_EQ(d.name, kAudit);
    EXPECT_EQ(checklistRow(), kAudit + u"|Before \"release\", check|11"_s);
    EXPECT_EQ(db().query(u"SELECT Checklist_Date FROM CHECKLIST"_s).dateTime(u"Checklist_Date"_s),
              clock.nowLocal().addSecs(-2 * 3600))
        << "now in GMT by the session's clock";
    EXPECT_EQ(itemRows(), (QStringList{u"Count|0|-|-|0|0"_s, u"Lock up|1|-|-|0|0"_s,
                                       u"Sign, then file|1|O'Brien|Boss's note|0|0"_s}));
    tick(u"Count"_s, 7);
    tick(u"Sign, then file"_s, 8);

    // Edited as loaded: one item dropped, one changed, one added; the ticks stay as they were.
    Outcome<ChecklistDraft> loaded = design.edit(kAudit.toUpper());
    ASSERT_TRUE(loaded);
    ChecklistDraft e = *loaded;
    EXPECT_FALSE(e.isNew);
    e.description.clear();
    e.items.removeFirst(); // "Count", first by text
    e.items[1].mandatory = false;
    e.items.append(item("Ship", false, u"carol"_s, "Mind the \"crates\""));
    ASSERT_TRUE(design.save(e));
    EXPECT_EQ(checklistRow(), kAudit + u"||11"_s);
    EXPECT_EQ(itemRows(),
              (QStringList{u"Lock up|1|-|-|0|0"_s, u"Ship|0|carol|Mind the \"crates\"|0|0"_s,
                           u"Sign, then file|0|O'Brien|Boss's note|0|0"_s, u"Count|0|-|-|7|0"_s,
                           u"Sign, then file|0|-|-|8|0"_s}));
    EXPECT_EQ(design.signers(), (QStringList{u"admin"_s, u"ann"_s, u"carol"_s, kObrien}))
        << "zed is disabled";
}

TEST_P(ChecklistDesignTest, ASaveFailingPartWayKeepsTheOldChecklist)
{
    ChecklistDraft d = savedAudit();
    const QStringList before = itemRows();
    const QString head = checklistRow();
    bx::test::refuseInserts(db(), u"CHECKLIST_ITEM"_s, u"NEW.Action_Name = 'Boom'"_s);
    d.description = u"changed"_s;
    d.items.append(item("Boom"));
    d.items.append(item("After"));
    EXPECT_THROW(design.save(d), DbError);
    EXPECT_EQ(itemRows(), before);
    EXPECT_EQ(checklistRow(), head);
}

TEST_P(ChecklistDesignTest, DeleteAsksAndIsRefusedWhileATaskCarriesTheChecklist)
{
    savedAudit();
    attach(70, kAudit.toLower());
    tick(u"Count"_s, 70);
    const QStringList before = itemRows();

    prompt.answer(PromptAnswer::Cancel);
    EXPECT_FALSE(design.remove(kAudit).refusal());
    EXPECT_EQ(prompt.last().text, u"Are you sure?"_s);
    EXPECT_EQ(prompt.last().title, u"DELETE"_s);
    EXPECT_EQ(prompt.last().buttons, PromptButtons::OkCancel);

    prompt.answer(PromptAnswer::Ok);
    EXPECT_EQ(design.remove(kAudit).refusal(),
              RefusalOf<>{u"There are tasks with this checklist attached."_s});
    EXPECT_EQ(itemRows(), before);
    EXPECT_FALSE(checklistRow().isEmpty());

    // A file attachment of that name is no checklist.
    db().execute(u"UPDATE ATTACH SET Attach_Type = 'F' WHERE Attach_Number = 70"_s);
    db().execute(u"DELETE FROM CHECKLIST_ITEM WHERE Attach_Number = 70"_s);
    prompt.answer(PromptAnswer::Ok);
    EXPECT_TRUE(design.remove(kAudit));
    EXPECT_TRUE(checklistRow().isEmpty());
    EXPECT_EQ(itemRows(), QStringList{});
}

TEST_P(ChecklistDesignTest, EveryEntryRefusesWhoNeitherBelongsNorAdministers)
{
    ChecklistDraft audit = savedAudit();
    const QStringList before = itemRows();
    prompt.clear();
    const RefusalOf<> refused{UserRights::kNotAdministrator};
    const ChecklistRefusal refusedSave{UserRights::kNotAdministrator, ChecklistField::None};

    // Carol, of Other only: neither in Home, nor on Home's checklist from Other.
    for (const qlonglong current : {home, other}) {
        signInAs(u"carol"_s, current);
        if (current == home) {
            EXPECT_EQ(design.open().refusal(), refused);
            EXPECT_EQ(design.create().refusal(), refused);
            ChecklistDraft fresh;
            fresh.name = u"Carol's"_s;
            fresh.items = {item("x")};
            EXPECT_EQ(design.save(fresh).refusal(), refusedSave);
        }
        EXPECT_EQ(design.edit(kAudit).refusal(), refused);
        ChecklistDraft changed = audit;
        changed.items = {item("Nothing")};
        EXPECT_EQ(design.save(changed).refusal(), refusedSave);
        EXPECT_EQ(design.remove(kAudit).refusal(), refused);
    }
    EXPECT_TRUE(prompt.records().isEmpty()) << "refused before any question";
    EXPECT_EQ(itemRows(), before);
    EXPECT_EQ(checklistNames(home), QStringList{kAudit});
    EXPECT_EQ(db().scalar(u"SELECT COUNT(*) FROM CHECKLIST"_s).toInt(), 1);

    // Her own workshop's designer opens; an administrator designs anywhere.
    EXPECT_TRUE(design.open());
    signInAs(u"ann"_s, other, true);
    EXPECT_TRUE(design.edit(kAudit));
    audit.items.removeLast();
    EXPECT_TRUE(design.save(audit));
    prompt.answer(PromptAnswer::Ok);
    EXPECT_TRUE(design.remove(kAudit));
}

} // namespace

BX_INSTANTIATE_ENGINES(ChecklistDesignTest);
