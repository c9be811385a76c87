#include "tasks/LookupLists.h"

#include "TaskTestSupport.h"
#include "core/UserRights.h"

#include <gtest/gtest.h>

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
        return countRows(QStringLiteral("SELECT COUNT(*) FROM %1 WHERE %2 = ?")
                             .arg(QLatin1String(table), QLatin1String(column)),
                         {value});
    }
    void addChild(const QString& name, const QString& parent)
    {
        bx::test::addSubfolder(db(), name, parent);
    }
    QVariant parentOf(const QString& name)
    {
        return db().scalar(
            QStringLiteral("SELECT Parent_Category FROM LU_CATEGORY WHERE Category = ?"), {name});
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
    addRule(QStringLiteral("O'Neil's rule"), QStringLiteral("x"));
    addChild(QStringLiteral("Child"), kProjects);
    grant(kMe, kProjects);
    const auto everything = [&] {
        QList<QVariantList> all;
        for (const char* table : {"LU_PRIORITY", "LU_CATEGORY", "LU_RULES", "LU_ACCESS_LEVEL"})
            all += db().query(QStringLiteral("SELECT * FROM ") + QLatin1String(table)).rows();
        return all;
    };
    const auto before = everything();
    session.user.record.administrator = false;
    const RefusalOf<> refused{UserRights::kNotAdministrator};
    for (LookupKind kind : {LookupKind::Priority, LookupKind::Category, LookupKind::Rule}) {
        SCOPED_TRACE(lookupList(kind).table.toStdString());
        const QString entry = lists().entries(kind).value(0);
        EXPECT_EQ(save(kind, {}, QStringLiteral("O'Hara's new")).refusal(), refused);
        EXPECT_EQ(save(kind, entry, QStringLiteral("Renamed")).refusal(), refused);
        EXPECT_EQ(lists().remove(kind, entry).refusal(), refused);
    }
    EXPECT_EQ(lists().moveCategory(QStringLiteral("Child"), lookup::kTopLevel).refusal(), refused);
    EXPECT_TRUE(prompt.records().isEmpty()) << "refused before any question";
    EXPECT_EQ(everything(), before);

    session.user.record.userId = QStringLiteral("admin");
    EXPECT_TRUE(save(LookupKind::Priority, {}, QStringLiteral("O'Hara's new")));
}

// Every refusal leaves the entry in place; the texts and their order are the users' guide.
TEST_P(LookupListsTest, DeleteIsRefusedWhileTheEntryIsInUse)
{
    addCategories(db(), {QStringLiteral("O'Malley's tasks")});
    addTaskRow(db(), {{scr::Priority, QStringLiteral("1 - High")},
                      {scr::Category, QStringLiteral("O'Malley's tasks")}});
    addRule(QStringLiteral("Escalate"), QStringLiteral("Sub SCRMain() End Sub"));
    addLifecycle(db(), QStringLiteral("Review"), kShop7,
                 {withRule(userStage(QStringLiteral("Check"), QStringLiteral("bob"), kShop7),
                           QStringLiteral("escalate"), true, false, false)});
    addCategories(db(), {lookup::kUndefinedFolder});
    addChild(QStringLiteral("Bob's child"), kProjects);
    addChild(QStringLiteral("Parent's pet"), QStringLiteral("Undefined Folder"));

    const struct
    {
        LookupKind kind;
        QString name;
        const char* refusal;
    } cases[] = {
        {LookupKind::Priority, QStringLiteral("1 - HIGH"),
         "There are tasks of this Priority. You can't delete it."},
        {LookupKind::Rule, QStringLiteral("Escalate"),
         "There are LifeCycles contains this Rule. You can't delete it."},
        {LookupKind::Category, QStringLiteral("Unspecified Folder"),
         "You can't delete 'Unspecified Folder'"},
        {LookupKind::Category, QStringLiteral("undefined folder"),
         "You can't delete 'Undefined Folder'"},
        {LookupKind::Category, kProjects,
         "There are subfolders under this folder. You can't delete it."},
        {LookupKind::Category, QStringLiteral("O'Malley's tasks"),
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
    EXPECT_EQ(
        countRows(QStringLiteral("SELECT COUNT(*) FROM LU_GROUP WHERE GROUP_ID = ?"), {kShop7}), 1);

    EXPECT_EQ(lists().remove(LookupKind::Priority, QString()).refusal(),
              RefusalOf<>{QStringLiteral("No item selected")});
    prompt.answer(PromptAnswer::Cancel);
    const Outcome<> cancelled = lists().remove(LookupKind::Priority, QStringLiteral("3 - Low"));
    EXPECT_FALSE(cancelled || cancelled.refusal());
    EXPECT_EQ(rows("LU_PRIORITY", "Priority", QStringLiteral("3 - Low")), 1);
}

TEST_P(LookupListsTest, UnusedEntriesAreDeletedWithTheirAccessRows)
{
    addRule(QStringLiteral("O'Neil's rule"), QStringLiteral("x"));
    grant(QStringLiteral("bob"), kProjects);
    for (const auto& [kind, name] : {std::pair{LookupKind::Priority, QStringLiteral("3 - Low")},
                                     std::pair{LookupKind::Rule, QStringLiteral("O'Neil's rule")},
                                     std::pair{LookupKind::Category, kProjects}}) {
        prompt.answer(PromptAnswer::Ok);
        EXPECT_TRUE(lists().remove(kind, name)) << name.toStdString();
    }
    EXPECT_EQ(lists().entries(LookupKind::Priority),
              (QStringList{QStringLiteral("1 - High"), QStringLiteral("2 - Normal")}));
    EXPECT_TRUE(lists().entries(LookupKind::Rule).isEmpty());
    EXPECT_EQ(rows("LU_ACCESS_LEVEL", "ACCESS_LEVEL", kProjects), 0);
    EXPECT_EQ(rows("LU_CATEGORY", "Category", kProjects), 0);
}

TEST_P(LookupListsTest, TreeMovesRefuseCyclesAndTopLevelClearsTheParent)
{
    addChild(QStringLiteral("Child"), kProjects);
    addChild(QStringLiteral("Grandchild"), QStringLiteral("CHILD"));

    prompt.answer(PromptAnswer::Yes);
    EXPECT_EQ(lists().moveCategory(kProjects, QStringLiteral("Grandchild")).refusal(),
              RefusalOf<>{QStringLiteral("You can not move Bob's projects under to Grandchild")});
    prompt.answer(PromptAnswer::Yes);
    EXPECT_FALSE(lists().moveCategory(kProjects, kProjects));
    EXPECT_TRUE(parentOf(kProjects).isNull());

    prompt.answer(PromptAnswer::No);
    EXPECT_FALSE(lists().moveCategory(QStringLiteral("Grandchild"), kSevenRoot));
    EXPECT_EQ(parentOf(QStringLiteral("Grandchild")).toString(), QStringLiteral("CHILD"));

    prompt.answer(PromptAnswer::Yes);
    EXPECT_TRUE(lists().moveCategory(QStringLiteral("Grandchild"), kSevenRoot));
    EXPECT_EQ(parentOf(QStringLiteral("Grandchild")).toString(), kSevenRoot);
    prompt.answer(PromptAnswer::Yes);
    EXPECT_TRUE(lists().moveCategory(QStringLiteral("Child"), QStringLiteral("TOP LEVEL")));
    EXPECT_TRUE(parentOf(QStringLiteral("Child")).isNull());

    const QList<CategoryNode> tree = lists().categoryTree();
    QStringList shown;
    for (const CategoryNode& n : tree)
        shown << QString(n.level * 2, QLatin1Char(' ')) + n.name;
    EXPECT_EQ(shown,
              (QStringList{QStringLiteral("Unspecified Folder"), kProjects, QStringLiteral("Child"),
                           kSevenRoot, QStringLiteral("  Grandchild")}));
}

// Renaming with references everywhere: the foreign keys from LU_GROUP and LU_ACCESS_LEVEL must
// hold on both engines, and nothing may be lost or cascaded away.
TEST_P(LookupListsTest, RenamingACategoryCarriesEveryReference)
{
    addChild(QStringLiteral("Child"), kProjects);
    const qlonglong task = addTaskRow(db(), {{scr::Category, kProjects}});
    const qlonglong attach = addAttachment(task, {{QStringLiteral("Category"), kProjects}});
    db().execute(QStringLiteral("UPDATE LU_GROUP SET Root_Folder = ? WHERE GROUP_ID = ?"),
                 {kProjects, kShop4});
    grant(QStringLiteral("O'Brien"), kProjects);

    for (const QString& name :
         {QStringLiteral("O'Hara's plans"), QStringLiteral("O'HARA'S PLANS")}) {
        SCOPED_TRACE(name.toStdString());
        const QString old = lists()
                                .entries(LookupKind::Category)
                                .filter(QStringLiteral("plans"), Qt::CaseInsensitive)
                                .value(0, kProjects);
        ASSERT_TRUE(save(LookupKind::Category, old, QStringLiteral("  ") + name, kSevenRoot));
        EXPECT_EQ(countRows(QStringLiteral("SELECT COUNT(*) FROM LU_CATEGORY")), 3);
        EXPECT_EQ(parentOf(name).toString(), kSevenRoot);
        EXPECT_EQ(parentOf(QStringLiteral("Child")).toString(), name);
        EXPECT_EQ(storedText(task, scr::Category), name);
        for (const auto& [sql, key] :
             {std::pair{"SELECT Category FROM ATTACH WHERE Attach_Number = ?", QVariant(attach)},
              std::pair{"SELECT Root_Folder FROM LU_GROUP WHERE GROUP_ID = ?", QVariant(kShop4)},
              std::pair{"SELECT ACCESS_LEVEL FROM LU_ACCESS_LEVEL WHERE USER_ID = ?",
                        QVariant(QStringLiteral("O'Brien"))}})
            EXPECT_EQ(db().scalar(QLatin1String(sql), {key}).toString(), name) << sql;
    }
    EXPECT_EQ(rows("LU_CATEGORY", "Category", kProjects), 0);
    EXPECT_TRUE(prompt.records().isEmpty());
}

TEST_P(LookupListsTest, RenamingAPriorityOrRuleCarriesTasksAndStages)
{
    const qlonglong task = addTaskRow(db(), {{scr::Priority, QStringLiteral("1 - High")}});
    addRule(QStringLiteral("Escalate"), QStringLiteral("Sub SCRMain() End Sub"));
    addLifecycle(db(), QStringLiteral("Review"), kShop7,
                 {withRule(userStage(QStringLiteral("Check"), QStringLiteral("bob"), kShop7),
                           QStringLiteral("Escalate"), true, false, false)});

    // A column a site added to the rules, under a name that only works quoted, comes along too.
    const QString siteColumn = QStringLiteral("\"Site's \"\"order\"\"\"");
    db().execute(QStringLiteral("ALTER TABLE LU_RULES ADD COLUMN ") + siteColumn +
                 QLatin1Char(' ') + db().dialect().textType());
    db().execute(QStringLiteral("UPDATE LU_RULES SET ") + siteColumn +
                 QStringLiteral(" = 'first'"));

    ASSERT_TRUE(
        save(LookupKind::Priority, QStringLiteral("1 - High"), QStringLiteral("0 - O'Urgent")));
    EXPECT_EQ(storedText(task, scr::Priority), QStringLiteral("0 - O'Urgent"));
    ASSERT_TRUE(
        save(LookupKind::Rule, QStringLiteral("Escalate"), QStringLiteral("Kick upstairs")));
    EXPECT_EQ(db().scalar(QStringLiteral("SELECT Rule_Name FROM LIFECYCLE_USER")).toString(),
              QStringLiteral("Kick upstairs"));
    EXPECT_EQ(
        db().query(QStringLiteral("SELECT SCRIPT, ") + siteColumn +
                   QStringLiteral(" FROM LU_RULES"))
            .rows(),
        (QList<QVariantList>{{QStringLiteral("Sub SCRMain() End Sub"), QStringLiteral("first")}}));
    EXPECT_EQ(lists().entries(LookupKind::Priority),
              (QStringList{QStringLiteral("0 - O'Urgent"), QStringLiteral("2 - Normal"),
                           QStringLiteral("3 - Low")}));
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
    addChild(QStringLiteral("Seven's child"), kSevenRoot);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(save(c.kind, QString::fromUtf8(c.old), QString::fromUtf8(c.text),
                       QString::fromUtf8(c.parent))
                      .refusal(),
                  RefusalOf<>{QString::fromUtf8(c.refusal)});
    }
    EXPECT_EQ(countRows(QStringLiteral("SELECT COUNT(*) FROM LU_CATEGORY")), 3);

    EXPECT_EQ(lists().mayRename(LookupKind::Category, QStringLiteral("TOP LEVEL")),
              RefusalOf<>{QStringLiteral("You can't rename TOP LEVEL")});
    EXPECT_EQ(lists().mayRename(LookupKind::Category, lookup::kUnspecifiedFolder),
              RefusalOf<>{QStringLiteral("You can't rename Unspecified Folder")});
    EXPECT_EQ(lists().mayRename(LookupKind::Rule, QString()),
              RefusalOf<>{QStringLiteral("No item selected")});
    EXPECT_FALSE(lists().mayRename(LookupKind::Rule, QStringLiteral("Escalate")));

    ASSERT_TRUE(save(LookupKind::Category, {}, QStringLiteral("D'Arcy's drafts"), kProjects));
    ASSERT_TRUE(
        save(LookupKind::Category, {}, QStringLiteral("Loose"), QStringLiteral("TOP LEVEL")));
    EXPECT_EQ(parentOf(QStringLiteral("D'Arcy's drafts")).toString(), kProjects);
    EXPECT_TRUE(parentOf(QStringLiteral("Loose")).isNull());
    EXPECT_EQ(countRows(QStringLiteral("SELECT COUNT(*) FROM LU_ACCESS_LEVEL WHERE USER_ID = ? "
                                       "AND ACCESS_TYPE = 'VIEW'"),
                        {kMe}),
              2);
    EXPECT_EQ(rows("LU_ACCESS_LEVEL", "ACCESS_LEVEL", QStringLiteral("D'Arcy's drafts")), 1);
}

BX_INSTANTIATE_ENGINES(LookupListsTest);

} // namespace
