#include "core/Session.h"
#include "core/settings/SettingsStore.h"
#include "support/FixedClock.h"
#include "support/Lifecycles.h"
#include "support/ScriptedPrompt.h"
#include "support/ServerLogins.h"
#include "support/TaskRows.h"
#include "workflow/ChecklistDesign.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace bx;
using namespace Qt::StringLiterals;

namespace {

/**
 * A server database of the current build with workshops 11 and 12, their checklists "Audit" (11)
 * and "Ship" (12) with one template item each, and logins made the way the user windows make them:
 * "ann" an administrator of no workshop, "bob" a member of 11, "carol" a member of 12. Every check
 * connects as one of the logins.
 */
class ChecklistPoliciesTest : public bx::test::ServerLoginsTest
{
protected:
    void arrange() override
    {
        addLogins({u"ann"_s, u"bob"_s, u"carol"_s}, {u"ann"_s});
        bx::test::addWorkshop(db(), 11, u"One"_s);
        bx::test::addWorkshop(db(), 12, u"Two"_s);
        bx::test::addMembers(db(), 11, {u"bob"_s});
        bx::test::addMembers(db(), 12, {u"carol"_s});
        seed();
    }

    /** The two checklists with one template item each, and nothing else. */
    void seed()
    {
        db().executeScript(u"DELETE FROM CHECKLIST; DELETE FROM CHECKLIST_ITEM"_s);
        for (const auto& [name, group] : {std::pair{"Audit", 11}, std::pair{"Ship", 12}}) {
            db().execute(u"INSERT INTO CHECKLIST (Checklist_Name, group_id) VALUES (?, ?)"_s,
                         {QLatin1String(name), group});
            db().execute(u"INSERT INTO CHECKLIST_ITEM (Checklist_Name, Action_Name, "
                         "Attach_Number) VALUES (?, 'Check', 0)"_s,
                         {QLatin1String(name)});
        }
    }

    /** The checklists and every item row, as the administrator of the server sees them. */
    QString snapshot()
    {
        return db()
            .scalar(
                u"SELECT (SELECT string_agg(Checklist_Name || ':' || "
                "COALESCE(Checklist_Description, "
                "'') || ':' || group_id, ',' ORDER BY Checklist_Name) FROM CHECKLIST) || ' / ' || "
                "(SELECT string_agg(Checklist_Name || ':' || Action_Name || ':' || Attach_Number, "
                "',' ORDER BY Checklist_Name, Attach_Number, Action_Name) FROM CHECKLIST_ITEM)"_s)
            .toString();
    }
};

// What a login may not write it may not write by any path: the statement fails, or the rows stay
// as they were (the server hides rows a policy keeps from a change).
TEST_P(ChecklistPoliciesTest, OnlyTheWorkshopsMembersAndAdministratorsWriteItsChecklists)
{
    // Audit is workshop 11's (bob's), Ship workshop 12's (carol's); ann administers.
    const struct
    {
        const char* sql;
        const char* writers; ///< the logins whose statement changes the rows
    } cases[] = {
        {"INSERT INTO CHECKLIST_ITEM (Checklist_Name, Action_Name, Attach_Number) VALUES "
         "('Audit', 'Skip', 0)",
         "bob,ann"},
        {"INSERT INTO CHECKLIST_ITEM (Checklist_Name, Action_Name) VALUES ('audit', 'Skip')",
         "bob,ann"},
        {"UPDATE CHECKLIST_ITEM SET Action_Name = 'Skip' WHERE Checklist_Name = 'Audit'",
         "bob,ann"},
        {"DELETE FROM CHECKLIST_ITEM WHERE Checklist_Name = 'Audit'", "bob,ann"},
        {"UPDATE CHECKLIST SET Checklist_Description = 'evil' WHERE Checklist_Name = 'Audit'",
         "bob,ann"},
        {"DELETE FROM CHECKLIST WHERE Checklist_Name = 'Audit'", "bob,ann"},
        {"INSERT INTO CHECKLIST (Checklist_Name, group_id) VALUES ('Planted', 11)", "bob,ann"},
        {"INSERT INTO CHECKLIST (Checklist_Name, group_id) VALUES ('Planted', 12)", "carol,ann"},
        // Nobody moves a checklist, or its items, into a workshop he does not belong to.
        {"UPDATE CHECKLIST SET group_id = 12 WHERE Checklist_Name = 'Audit'", "ann"},
        {"UPDATE CHECKLIST_ITEM SET Checklist_Name = 'Ship' WHERE Checklist_Name = 'Audit'", "ann"},
    };
    for (const auto& c : cases) {
        const QStringList writers = QString::fromLatin1(c.writers).split(u',');
        for (const char* id : {"carol", "bob", "ann"}) {
            seed();
            const QString before = snapshot();
            tryRun(QLatin1String(id), QString::fromLatin1(c.sql));
            EXPECT_EQ(snapshot() != before, writers.contains(QLatin1String(id)))
                << id << ": " << c.sql;
        }
    }
    // Every login reads them, and ticks any task's copy (a filled row).
    seed();
    EXPECT_EQ(as(u"carol"_s)
                  .scalar(u"SELECT count(*) FROM CHECKLIST_ITEM WHERE Checklist_Name = 'Audit'"_s)
                  .toInt(),
              1);
    EXPECT_TRUE(tryRun(u"carol"_s,
                       u"INSERT INTO CHECKLIST_ITEM (Checklist_Name, Action_Name, "
                       "Attach_Number, User_ID) VALUES ('Audit', 'Check', 7, "
                       "'carol'); DELETE FROM CHECKLIST_ITEM WHERE Attach_Number = 7"_s));
}

// Form definitions (CONTROL rows without attachment) and the custom tabs of workshops are
// configuration: only administrators write them; any login fills in a copy of a form.
TEST_P(ChecklistPoliciesTest, FormDefinitionsAndCustomTabsAreWrittenByAdministratorsOnly)
{
    const auto rows = [&] {
        return db()
            .scalar(u"SELECT (SELECT string_agg(ATTACH_NUMBER || ':' || CONTROL_KEY, ',' ORDER BY "
                    "ATTACH_NUMBER, CONTROL_KEY) FROM CONTROL) || ' / ' || COALESCE((SELECT "
                    "string_agg(group_id || ':' || ProgID, ',') FROM CUSTOM_TAB), '')"_s)
            .toString();
    };
    const struct
    {
        const char* sql;
        bool everyone; ///< else administrators only
    } cases[] = {
        {"INSERT INTO CONTROL (FORM_NAME, CONTROL_KEY, ATTACH_NUMBER) VALUES ('F', 2, 0)", false},
        {"INSERT INTO CONTROL (FORM_NAME, CONTROL_KEY) VALUES ('F', 2)", false},
        {"UPDATE CONTROL SET ATTACH_NUMBER = 0 WHERE ATTACH_NUMBER = 7", false},
        {"DELETE FROM CONTROL WHERE ATTACH_NUMBER = 0", false},
        {"INSERT INTO CUSTOM_TAB (group_id, ProgID) VALUES (12, 'Bx.Other')", false},
        {"UPDATE CUSTOM_TAB SET ProgID = 'Bx.Evil'", false},
        {"INSERT INTO CONTROL (FORM_NAME, CONTROL_KEY, ATTACH_NUMBER) VALUES ('F', 1, 8)", true},
        {"DELETE FROM CONTROL WHERE ATTACH_NUMBER = 7", true},
    };
    for (const auto& c : cases) {
        for (const char* id : {"carol", "ann"}) {
            db().executeScript(
                u"DELETE FROM CONTROL; DELETE FROM CUSTOM_TAB; INSERT INTO CONTROL (FORM_NAME, "
                "CONTROL_KEY, ATTACH_NUMBER) VALUES ('F', 1, 0), ('F', 1, 7); INSERT INTO "
                "CUSTOM_TAB (group_id, ProgID) VALUES (11, 'Bx.Sample')"_s);
            const QString before = rows();
            const QString text =
                as(QLatin1String(id)).scalar(u"SELECT ProgID FROM CUSTOM_TAB"_s).toString();
            EXPECT_EQ(text, u"Bx.Sample"_s) << id << " reads the custom tabs";
            tryRun(QLatin1String(id), QString::fromLatin1(c.sql));
            EXPECT_EQ(rows() != before, c.everyone || QLatin1String(id) == "ann"_L1)
                << id << ": " << c.sql;
        }
    }
}

// The version of an attachment is kept by the database for whichever login changes it.
TEST_P(ChecklistPoliciesTest, AnyLoginsChangeOfAnAttachmentMovesItsVersion)
{
    db().execute(
        u"INSERT INTO ATTACH (Attach_Number, SCR_Number, Attach_Title) VALUES (5, 0, 'Form')"_s);
    const auto version = [&] {
        return db()
            .scalar(u"SELECT COALESCE(MAX(Attach_Row_Version), -1) FROM "
                    "ATTACH_VERSION WHERE Attach_Number = 5"_s)
            .toInt();
    };
    EXPECT_TRUE(tryRun(u"carol"_s,
                       u"UPDATE ATTACH SET Attach_Title = 'x' WHERE Attach_Number = "
                       "5; UPDATE ATTACH SET Attach_Owner = 'carol' WHERE Attach_Number = 5"_s));
    EXPECT_EQ(version(), 2);
    EXPECT_TRUE(tryRun(u"carol"_s, u"DELETE FROM ATTACH WHERE Attach_Number = 5"_s));
    EXPECT_EQ(version(), -1) << "gone with its attachment";
}

// The designer's own statements pass the policies for a member, in the order they run.
TEST_P(ChecklistPoliciesTest, AMembersDesignerSavesAndDeletesThroughHisLogin)
{
    QTemporaryDir settingsDir;
    SettingsStore settings{settingsDir.filePath(u"MRBX.conf"_s)};
    const bx::test::FixedClock clock;
    bx::test::ScriptedPrompt prompt;
    Session session{settings, clock};
    session.setDatabase(connect(u"bob"_s));
    session.user.userId = u"bob"_s;
    session.currentWorkshopId = 11;
    ChecklistDesign design{session, prompt};

    ChecklistDraft fresh;
    fresh.name = u"Release"_s;
    fresh.items = {{u"Tag"_s, true, u"carol"_s, {}}};
    ASSERT_TRUE(design.save(fresh));
    Outcome<ChecklistDraft> audit = design.edit(u"Audit"_s);
    ASSERT_TRUE(audit);
    ChecklistDraft changed = *audit;
    changed.items.append({u"Count"_s, false, {}, {}});
    ASSERT_TRUE(design.save(changed));
    prompt.answer(PromptAnswer::Ok);
    ASSERT_TRUE(design.remove(u"Release"_s));
    EXPECT_EQ(snapshot(), u"Audit::11,Ship::12 / Audit:Check:0,Audit:Count:0,Ship:Check:0"_s);
    session.closeDatabase();
}

} // namespace

BX_INSTANTIATE_ENGINES(ChecklistPoliciesTest);
