#include "tasks/LookupLists.h"

#include "TaskTestSupport.h"
#include "core/UserRights.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace bx;
using namespace bx::test::tasks;

namespace {

/** The lists as an administrator keeps them. */
class LookupListsTest : public TaskTest
{
protected:
    void SetUp() override
    {
        TaskTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        session.user.record.administrator = true;
    }

    LookupLists lists() { return LookupLists(session, prompt); }

    qlonglong rows(const char* table, const char* column, const QString& value)
    {
        return countRows(u"SELECT COUNT(*) FROM %1 WHERE %2 = ?"_s.arg(QLatin1String(table),
                                                                       QLatin1String(column)),
                         {value});
    }
    void addChild(const QString& name, const QString& parent)
    {
        bx::test::addSubfolder(db(), name, parent);
    }
    QVariant parentOf(const QString& name)
    {
        return db().scalar(u"SELECT Parent_Category FROM LU_CATEGORY WHERE Category = ?"_s, {name});
    }
    void grant(const QString& user, const QString& folder)
    {
        bx::test::grantFolder(db(), user, folder);
    }
    Outcome<> save(LookupKind kind, const QString& old, const QString& text,
                   const QString& parent = {})
    {
        LookupDraft d;
        d.kind = kind;
        d.isNew = old.isNull();
        d.originalKey = old;
        d.text = text;
        d.parent = parent;
        return lists().save(d);
    }
};

TEST_P(LookupListsTest, OnlyAnAdministratorChangesTheLists)
{
    addRule(u"O'Neil's rule"_s, u"x"_s);
    addChild(u"Child"_s, kProjects);
    grant(kMe, kProjects);
    const auto everything = [&] {
        QList<QVariantList> all;
        for (const char* table : {"LU_PRIORITY", "LU_CATEGORY", "LU_RULES", "LU_ACCESS_LEVEL"})
            all += db().query(u"SELECT * FROM "_s + QLatin1String(table)).rows();
        return all;
    };
    const auto before = everything();
    session.user.record.administrator = false;
    const RefusalOf<> refused{UserRights::kNotAdministrator};
    for (LookupKind kind : {LookupKind::Priority, LookupKind::Category, LookupKind::Rule}) {
        SCOPED_TRACE(lookupList(kind).table.toStdString());
        const QString entry = lists().entries(kind).value(0);
        EXPECT_EQ(save(kind, {}, u"O'Hara's new"_s).refusal(), refused);
        EXPECT_EQ(save(kind, entry, u"Renamed"_s).refusal(), refused);
        EXPECT_EQ(lists().remove(kind, entry).refusal(), refused);
    }
    EXPECT_EQ(lists().moveCategory(u"Child"_s, lookup::kTopLevel).refusal(), refused);
    EXPECT_TRUE(prompt.records().isEmpty()) << "refused before any question";
    EXPECT_EQ(everything(), before);

    session.user.record.userId = u"admin"_s;
    EXPECT_TRUE(save(LookupKind::Priority, {}, u"O'Hara's new"_s));
}

// Every refusal leaves the entry in place; the texts and their order are the users' guide.
TEST_P(LookupListsTest, DeleteIsRefusedWhileTheEntryIsInUse)
{
    addCategories(db(), {u"O'Malley's tasks"_s});
    addTaskRow(db(), {{scr::Priority, u"1 - High"_s}, {scr::Category, u"O'Malley's tasks"_s}});
    addRule(u"Escalate"_s, u"Sub SCRMain() End Sub"_s);
    addLifecycle(
        db(), u"Review"_s, kShop7,
        {withRule(userStage(u"Check"_s, u"bob"_s, kShop7), u"escalate"_s, true, false, false)});
    addCategories(db(), {u"Undefined Folder"_s});
    addChild(u"Bob's child"_s, kProjects);
    addChild(u"Parent's pet"_s, u"Undefined Folder"_s);

    const struct
    {
        LookupKind kind;
        QString name;
        const char* refusal;
    } cases[] = {
        {LookupKind::Priority, u"1 - HIGH"_s,
         "There are tasks of this Priority. You can't delete it."},
        {LookupKind::Rule, u"Escalate"_s,
         "There are LifeCycles contains this Rule. You can't delete it."},
        {LookupKind::Category, u"Unspecified Folder"_s, "You can't delete 'Unspecified Folder'"},
        {LookupKind::Category, u"undefined folder"_s, "You can't delete 'Undefined Folder'"},
        {LookupKind::Category, kProjects,
         "There are subfolders under this folder. You can't delete it."},
        {LookupKind::Category, u"O'Malley's tasks"_s,
         "There are tasks in this Folder. You can't delete it."},
        {LookupKind::Category, kSevenRoot,
         "This folder is the root folder of workshop 'Seventh'. You can't delete it."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        prompt.answer(PromptAnswer::Ok);
        EXPECT_EQ(lists().remove(c.kind, c.name).refusal(),
                  RefusalOf<>{QString::fromUtf8(c.refusal)});
        const LookupListInfo& list = lookupList(c.kind);
        if (!lookup::isUnspecified(c.name)) {
            EXPECT_EQ(rows(qPrintable(list.table), qPrintable(list.keyColumn), c.name), 1);
        }
    }
    EXPECT_EQ(countRows(u"SELECT COUNT(*) FROM LU_GROUP WHERE GROUP_ID = ?"_s, {kShop7}), 1);

    EXPECT_EQ(lists().remove(LookupKind::Priority, QString()).refusal(),
              RefusalOf<>{u"No item selected"_s});
    prompt.answer(PromptAnswer::Cancel);
    const Outcome<> cancelled = lists().remove(LookupKind::Priority, u"3 - Low"_s);
    EXPECT_FALSE(cancelled || cancelled.refusal());
    EXPECT_EQ(rows("LU_PRIORITY", "Priority", u"3 - Low"_s), 1);
}

TEST_P(LookupListsTest, UnusedEntriesAreDeletedWithTheirAccessRows)
{
    addRule(u"O'Neil's rule"_s, u"x"_s);
    grant(u"bob"_s, kProjects);
    for (const auto& [kind, name] : {std::pair{LookupKind::Priority, u"3 - Low"_s},
                                     std::pair{LookupKind::Rule, u"O'Neil's rule"_s},
                                     std::pair{LookupKind::Category, kProjects}}) {
        prompt.answer(PromptAnswer::Ok);
        EXPECT_TRUE(lists().remove(kind, name)) << name.toStdString();
    }
    EXPECT_EQ(lists().entries(LookupKind::Priority), (QStringList{u"1 - High"_s, u"2 - Normal"_s}));
    EXPECT_TRUE(lists().entries(LookupKind::Rule).isEmpty());
    EXPECT_EQ(rows("LU_ACCESS_LEVEL", "ACCESS_LEVEL", kProjects), 0);
    EXPECT_EQ(rows("LU_CATEGORY", "Category", kProjects), 0);
}

TEST_P(LookupListsTest, TreeMovesRefuseCyclesAndTopLevelClearsTheParent)
{
    addChild(u"Child"_s, kProjects);
    addChild(u"Grandchild"_s, u"CHILD"_s);

    prompt.answer(PromptAnswer::Yes);
    EXPECT_EQ(lists().moveCategory(kProjects, u"Grandchild"_s).refusal(),
              RefusalOf<>{u"You can not move Bob's projects under to Grandchild"_s});
    prompt.answer(PromptAnswer::Yes);
    EXPECT_FALSE(lists().moveCategory(kProjects, kProjects));
    EXPECT_TRUE(parentOf(kProjects).isNull());

    prompt.answer(PromptAnswer::No);
    EXPECT_FALSE(lists().moveCategory(u"Grandchild"_s, kSevenRoot));
    EXPECT_EQ(parentOf(u"Grandchild"_s).toString(), u"CHILD"_s);

    prompt.answer(PromptAnswer::Yes);
    EXPECT_TRUE(lists().moveCategory(u"Grandchild"_s, kSevenRoot));
    EXPECT_EQ(parentOf(u"Grandchild"_s).toString(), kSevenRoot);
    prompt.answer(PromptAnswer::Yes);
    EXPECT_TRUE(lists().moveCategory(u"Child"_s, u"TOP LEVEL"_s));
    EXPECT_TRUE(parentOf(u"Child"_s).isNull());

    const QList<CategoryNode> tree = lists().categoryTree();
    QStringList shown;
    for (const CategoryNode& n : tree)
        shown << QString(n.level * 2, QLatin1Char(' ')) + n.name;
    EXPECT_EQ(shown, (QStringList{u"Unspecified Folder"_s, kProjects, u"Child"_s, kSevenRoot,
                                  u"  Grandchild"_s}));
}

// Renaming with references everywhere: the foreign keys from LU_GROUP and LU_ACCESS_LEVEL must
// hold on both engines, and nothing may be lost or cascaded away.
TEST_P(LookupListsTest, RenamingACategoryCarriesEveryReference)
{
    addChild(u"Child"_s, kProjects);
    const qlonglong task = addTaskRow(db(), {{scr::Category, kProjects}});
    const qlonglong attach = addAttachment(task, {{u"Category"_s, kProjects}});
    db().execute(u"UPDATE LU_GROUP SET Root_Folder = ? WHERE GROUP_ID = ?"_s, {kProjects, kShop4});
    grant(u"O'Brien"_s, kProjects);

    for (const QString& name : {u"O'Hara's plans"_s, u"O'HARA'S PLANS"_s}) {
        SCOPED_TRACE(name.toStdString());
        const QString old = lists()
                                .entries(LookupKind::Category)
                                .filter(u"plans"_s, Qt::CaseInsensitive)
                                .value(0, kProjects);
        ASSERT_TRUE(save(LookupKind::Category, old, u"  "_s + name, kSevenRoot));
        EXPECT_EQ(countRows(u"SELECT COUNT(*) FROM LU_CATEGORY"_s), 3);
        EXPECT_EQ(parentOf(name).toString(), kSevenRoot);
        EXPECT_EQ(parentOf(u"Child"_s).toString(), name);
        EXPECT_EQ(storedText(task, scr::Category), name);
        for (const auto& [sql, key] :
             {std::pair{"SELECT Category FROM ATTACH WHERE Attach_Number = ?", QVariant(attach)},
              std::pair{"SELECT Root_Folder FROM LU_GROUP WHERE GROUP_ID = ?", QVariant(kShop4)},
              std::pair{"SELECT ACCESS_LEVEL FROM LU_ACCESS_LEVEL WHERE USER_ID = ?",
                        QVariant(u"O'Brien"_s)}})
            EXPECT_EQ(db().scalar(QLatin1String(sql), {key}).toString(), name) << sql;
    }
    EXPECT_EQ(rows("LU_CATEGORY", "Category", kProjects), 0);
    EXPECT_TRUE(prompt.records().isEmpty());
}

TEST_P(LookupListsTest, RenamingAPriorityOrRuleCarriesTasksAndStages)
{
    const qlonglong task = addTaskRow(db(), {{scr::Priority, u"1 - High"_s}});
    addRule(u"Escalate"_s, u"Sub SCRMain() End Sub"_s);
    addLifecycle(
        db(), u"Review"_s, kShop7,
        {withRule(userStage(u"Check"_s, u"bob"_s, kShop7), u"Escalate"_s, true, false, false)});

    // A column a site added to the rules, under a name that only works quoted, comes along too.
    const QString siteColumn = u"\"Site's \"\"order\"\"\""_s;
    db().execute(u"ALTER TABLE LU_RULES ADD COLUMN "_s + siteColumn + QLatin1Char(' ') +
                 db().dialect().textType());
    db().execute(u"UPDATE LU_RULES SET "_s + siteColumn + u" = 'first'"_s);

    ASSERT_TRUE(save(LookupKind::Priority, u"1 - High"_s, u"0 - O'Urgent"_s));
    EXPECT_EQ(storedText(task, scr::Priority), u"0 - O'Urgent"_s);
    ASSERT_TRUE(save(LookupKind::Rule, u"Escalate"_s, u"Kick upstairs"_s));
    EXPECT_EQ(db().scalar(u"SELECT Rule_Name FROM LIFECYCLE_USER"_s).toString(),
              u"Kick upstairs"_s);
    EXPECT_EQ(db().query(u"SELECT SCRIPT, "_s + siteColumn + u" FROM LU_RULES"_s).rows(),
              (QList<QVariantList>{{u"Sub SCRMain() End Sub"_s, u"first"_s}}));
    EXPECT_EQ(lists().entries(LookupKind::Priority),
              (QStringList{u"0 - O'Urgent"_s, u"2 - Normal"_s, u"3 - Low"_s}));
}

TEST_P(LookupListsTest, NameEditorRefusalsAndNewCategoryAccess)
{
    const struct
    {
        LookupKind kind;
        const char* old; ///< null: a new entry
        const char* text;
        const char* parent;
        const char* refusal;
    } cases[] = {
        {LookupKind::Priority, nullptr, " 2 - NORMAL ", "", "Value '2 - NORMAL' already exists."},
        {LookupKind::Category, "Bob's projects", "seven's ROOT", "",
         "Value 'seven's ROOT' already exists."},
        {LookupKind::Category, nullptr, "top level", "", "Value 'top level' already exists."},
        {LookupKind::Rule, nullptr, "   ", "", "Please specify Rule Name"},
        {LookupKind::Category, "Unspecified Folder", "Other", "",
         "You can't rename Unspecified Folder"},
        {LookupKind::Category, "Seven's root", "Seven's root", "Seven's child",
         "You can not move Seven's root under to Seven's child"},
    };
    addChild(u"Seven's child"_s, kSevenRoot);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(save(c.kind, QString::fromUtf8(c.old), QString::fromUtf8(c.text),
                       QString::fromUtf8(c.parent))
                      .refusal(),
                  RefusalOf<>{QString::fromUtf8(c.refusal)});
    }
    EXPECT_EQ(countRows(u"SELECT COUNT(*) FROM LU_CATEGORY"_s), 3);

    EXPECT_EQ(lists().mayRename(LookupKind::Category, u"TOP LEVEL"_s),
              RefusalOf<>{u"You can't rename TOP LEVEL"_s});
    EXPECT_EQ(lists().mayRename(LookupKind::Category, lookup::kUnspecifiedFolder),
              RefusalOf<>{u"You can't rename Unspecified Folder"_s});
    EXPECT_EQ(lists().mayRename(LookupKind::Rule, QString()), RefusalOf<>{u"No item selected"_s});
    EXPECT_FALSE(lists().mayRename(LookupKind::Rule, u"Escalate"_s));

    ASSERT_TRUE(save(LookupKind::Category, {}, u"D'Arcy's drafts"_s, kProjects));
    ASSERT_TRUE(save(LookupKind::Category, {}, u"Loose"_s, u"TOP LEVEL"_s));
    EXPECT_EQ(parentOf(u"D'Arcy's drafts"_s).toString(), kProjects);
    EXPECT_TRUE(parentOf(u"Loose"_s).isNull());
    EXPECT_EQ(countRows(u"SELECT COUNT(*) FROM LU_ACCESS_LEVEL WHERE USER_ID = ? "
                        "AND ACCESS_TYPE = 'VIEW'"_s,
                        {kMe}),
              2);
    EXPECT_EQ(rows("LU_ACCESS_LEVEL", "ACCESS_LEVEL", u"D'Arcy's drafts"_s), 1);
}

BX_INSTANTIATE_ENGINES(LookupListsTest);

} // namespace
