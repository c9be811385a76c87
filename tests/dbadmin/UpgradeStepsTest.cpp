#include "core/StoredPassword.h"
#include "core/db/Database.h"
#include "core/schema/TaskColumns.h"
#include "core/schema/UserReferences.h"
#include "core/settings/Vars.h"
#include "dbadmin/StepActions.h"
#include "dbadmin/UpgradeLog.h"
#include "people/LoginService.h"
#include "support/AttachContent.h"
#include "support/EngineFixture.h"
#include "support/FixedClock.h"
#include "support/Schema.h"

#include <QBuffer>
#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

using namespace bx;
using namespace Qt::StringLiterals;
using bx::test::EngineTest;
using bx::test::FixedClock;

namespace {

/**
 * The tables and columns of the current schema but SCR, whose columns the catalogue names; the
 * same on both engines.
 */
const QMap<QString, QString> kSchema = {
    {u"LU_SERIALS"_s, u"Ser i"_s},
    {u"Vars"_s, u"VarName VarValue"_s},
    {u"SYSTEM"_s, u"MAX_STORAGE Chunk_Size Query_Wait Edit_Attachments GetParentParams NoLogon "
                  "ShowApproverName Show_Custom Label_Custom Reports_Folder SMTPServer SMTPUser "
                  "SMTPPwd Mand_Target_Date Mand_Category Mand_Priority Mand_Contact SMTPAuth "
                  "SMTPLeave POPServer VoIPServerIP"_s},
    {u"SEARCH_TABLES"_s, u"SCR_Number_Field TableName FieldName"_s},
    {u"LU_USER"_s, u"USER_ID User_Name User_Password User_Email User_Location Disabled "
                   "Supervisor_User_ID Full_Access Allow_Edit_Custom Allow_Forwarding "
                   "Edit_Contact_Info Delete_Contact_Info Edit_Unowned Allow_Edit_CloseDate "
                   "Allow_Create_Lifecycle Edit_Custom_Tab User_Review_Account Parent_User_Notify "
                   "Ext1 Ext2 Ext3 Ext4 Ext5 Ext6 Ext7 Ext8 Ext9 Ext10 Ext11 Ext12 Ext13 "
                   "Access_Level Rate Join_Team Notice_Digest"_s},
    {u"LU_ACCESS_LEVEL"_s, u"USER_ID ACCESS_LEVEL ACCESS_TYPE"_s},
    {u"LOGIN"_s, u"ID User_ID LastUpdate"_s},
    {u"LU_GROUP"_s, u"GROUP_ID GROUP_NAME Root_Folder parent_workshop"_s},
    {u"GROUPLINK"_s, u"GROUP_ID USER_ID"_s},
    {u"REPLICA"_s, u"User_ID Replica_Location Export Import"_s},
    {u"LU_PRIORITY"_s, u"Priority"_s},
    {u"LU_CATEGORY"_s, u"Category Parent_Category"_s},
    {u"LU_RULES"_s, u"RULE_NAME SCRIPT"_s},
    {u"ROUTE"_s, u"Route_Number SCR_Number USER_ID Route_OwnerType Route_Date_In Route_Date_Out "
                 "Route_Target_Date Route_Status Route_Action Route_Note"_s},
    {u"ATTACH"_s,
     u"Attach_Number SCR_Number Attach_Title Attach_Type Attach_Owner Attach_Date "
     "Attach_Filename Publish Show_In_TabBar Temp_Status Category Parent_ID Group_ID OLE_Data"_s},
    {u"ATTACH_VERSION"_s, u"Attach_Number Attach_Row_Version"_s},
    {u"FORM"_s, u"Form_Name Form_Caption Form_Width Form_Height Form_Date"_s},
    {u"CONTROL"_s, u"FORM_NAME CONTROL_KEY ATTACH_NUMBER MAIN_FORM NAME TYPE VALUE CHECKED "
                   "MANDATORY LEFT TOP WIDTH HEIGHT RIGHT_ALIGN DATABASE TABLE FIELD"_s},
    {u"CUSTOM"_s, u"FORM_NAME CONTROL_NAME CONTROL_VALUE CONTROL_VISIBLE"_s},
    {u"CUSTOM_TAB"_s, u"group_id ProgID"_s},
    {u"LU_ACTIVEX"_s, u"ID ActiveX_Control_Name label Plugin_Name ShowToolBox Separate Icon"_s},
    {u"TOOL"_s, u"Tool_Name Tool_EXE Tool_Description Tool_Param_SCR_Number Tool_Param_User_ID "
                "Tool_Access_Screen Tool_SCR_Screen"_s},
    {u"LIFECYCLE"_s, u"Lifecycle_ID Lifecycle_Description Owner_ID owner_group_id"_s},
    {u"LIFECYCLE_USER"_s,
     u"Lifecycle_ID LC_Stage_Name LC_Sequence_Number UserType User_ID Days_In_Cycle "
     "Rule_Name Owner_ID SuperVisor Received Approved Declined owner_group_id group_ID"_s},
    {u"LIFECYCLE_ACTION"_s, u"Lifecycle_ID LC_Stage_Name Action_Name Mandatory Owner_ID SCR_Number "
                            "Signature Icon owner_group_id"_s},
    {u"CHECKLIST"_s, u"Checklist_Name Checklist_Description Checklist_Date group_id"_s},
    {u"CHECKLIST_ITEM"_s,
     u"Checklist_Name Action_Name Mandatory Sign_User_ID Attach_Number User_ID "
     "ItemType ItemNote"_s},
    {u"MAIL"_s, u"Mail_Number Title Body Owner_User_ID Date Sender Viewed Mail_Folder_Number "
                "POPID Sent SentDate SourceID group_id"_s},
    {u"MAIL_OUTBOX"_s,
     u"Outbox_Number Recipient Sender_Name Sender_Address Subject Body Attach_Name "
     "Attach_Type Attach_Text Message_ID Queued_By Personal SCR_Number "
     "Route_Number Digest State Attempts Next_Attempt Last_Error Claim_Token "
     "Claim_Expires Queued_Date Sent_Date"_s},
    {u"FOLDER"_s,
     u"Folder_Counter Folder_Name Folder_Owner_ID Folder_Type Parent_Folder_Counter Group_ID"_s},
    {u"CONTACT"_s, u"CONTACT_KEY Last_Name First_Name MI Title Company_Name Address City State Zip "
                   "Phone_Home Phone_Work FAX Email Notes Phone_Cell"_s},
    {u"CALL_LOG"_s, u"CALL_ID Contact_Key Date Content"_s},
    {u"CHANGE_MARKER"_s, u"Group_ID Marker Writer"_s},
    {u"PAXCAL"_s, u"Cal_Entry Cal_ID Cal_Subject Cal_Location Cal_Start Cal_End Cal_All_Day "
                  "Cal_Reminder Cal_Notes SCR_Number"_s},
    {u"TIME_SHEET"_s, u"ID_Sheet SCR_Number_Sheet User_Id Date_Sheet Start_Sheet Time_Sheet "
                      "Time_Sheet_Minute Comment_Sheet Timer_Running StartTime"_s},
    {u"TIME_SHEET_ROUTE"_s, u"Id ID_SHEET User_ID Date_Route Action Old_Value Comment"_s},
    {u"tblReportQueue"_s, u"Queue_ID Attach_Number Queue_Date Queue_Status Printer_Name Copies"_s},
    {u"OLAP_REPORT"_s, u"ID SQLQuery CubeTitle AllowFilter AllowInactiveDimArea AllowFactFilter "
                       "AllowExpand AllowPivot AllowTitle TitleAlign"_s},
    {u"OLAP_DIMENSION"_s,
     u"ID ReportID ItemType Name Title ItemParameter1 ItemParameter2 ItemParameter3 "
     "ParentItem Position"_s},
};

QStringList lowered(QStringList names)
{
    for (QString& n : names)
        n = n.toLower();
    names.sort();
    return names;
}

/** Whether an engine's column type holds the values of a catalogue kind. */
bool storedAs(ColumnKind kind, const QString& type)
{
    switch (kind) {
    case ColumnKind::Text:
        return type.contains("text"_L1) || type.contains("char"_L1);
    case ColumnKind::Number:
    case ColumnKind::Flag:
        return type.contains("int"_L1);
    case ColumnKind::Date:
        return type.contains("date"_L1) || type.startsWith("timestamp"_L1);
    }
    return false;
}

QString refusal(const char* table)
{
    return u"The record can't be added or changed. Referential integrity rules "
           "require a related record in table '"_s +
           QString::fromLatin1(table) + u"'."_s;
}

class UpgradeStepsTest : public EngineTest
{
protected:
    void arrange() override
    {
        bx::test::loadBaseSchema(db());
        m_log = std::make_unique<UpgradeLog>(logPath());
    }
    void TearDown() override
    {
        m_log.reset();
        EngineTest::TearDown();
    }

    UpgradeContext context() const { return {tempDir(), &m_clock}; }
    QString logPath() const { return tempDir() + u"/UpgradeLog.txt"_s; }
    QString logText() const
    {
        QFile f(logPath());
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }

    void upgrade(int first = 0, int last = 1000)
    {
        bx::test::applySteps(db(), *m_log, context(), first, last);
    }

    std::unique_ptr<UpgradeStep> step(int number)
    {
        for (auto& s : allUpgradeSteps()) {
            if (bx::test::stepNumber(*s) == number)
                return std::move(s);
        }
        return {};
    }

    qlonglong count(const QString& sql, const QVariantList& params = {})
    {
        return db().scalar(sql, params).toLongLong();
    }

    void writeBlob(qlonglong attachNumber, const QByteArray& bytes)
    {
        bx::test::setAttachContent(db(), attachNumber, bytes);
    }
    QByteArray readBlob(qlonglong attachNumber)
    {
        return bx::test::attachContent(db(), attachNumber);
    }

    /** Rows of an older database, in the tables that the steps change. */
    void fillBase()
    {
        Database& d = db();
        const QDateTime when(QDate(2023, 5, 2), QTime(9, 0), Qt::UTC);
        d.execute(u"INSERT INTO LU_USER (USER_ID, User_Name) VALUES (?, ?)"_s,
                  {kOBrien, u"Pat O'Brien"_s});
        for (const auto& [id, name] : {std::pair{5, "Sales"}, {9, "O'Brien's team"}, {12, "Gone"}})
            d.execute(
                u"INSERT INTO \"group\" (GROUP_ID, GROUP_NAME, s_Generation) VALUES (?, ?, 1)"_s,
                {id, QString::fromUtf8(name)});
        d.execute(u"DELETE FROM \"group\" WHERE GROUP_ID = 12"_s);
        d.execute(u"INSERT INTO GROUPLINK (GROUP_ID, USER_ID) VALUES (5, ?)"_s, {kOBrien});
        d.execute(u"INSERT INTO LU_CATEGORY (Category) VALUES ('Docs')"_s);
        d.execute(u"INSERT INTO LU_CATEGORY (Category) VALUES (?)"_s, {u"O'Brien's folder"_s});
        d.execute(u"INSERT INTO CONTACT (CONTACT_KEY, Last_Name) VALUES (7, ?)"_s, {kOBrien});
        const QString task =
            u"INSERT INTO SCR (SCR_Counter, SCR_Number, SCR_Title, SCR_Priority, SCR_Category, "
            "SCR_Status, SCR_Request_ID, SCR_Owner_User_ID, SCR_Contact_Key) "
            "VALUES (?, ?, ?, ?, ?, 'A', 'admin', ?, ?)"_s;
        d.execute(task, {1, 1, u"First"_s, u"1 - High"_s, u"Docs"_s, u"admin"_s, 0});
        d.execute(task, {2, 2, u"Call back"_s, QVariant(), u"O'Brien's folder"_s, kOBrien, 7});
        // Older builds checked nothing: a task may name a priority that no longer exists.
        d.execute(task, {3, 3, u"Legacy"_s, u"Urgent"_s, QVariant(), kOBrien, 0});
        d.execute(u"INSERT INTO ATTACH (Attach_Number, SCR_Number, Attach_Title, "
                  "Attach_Type, Attach_Owner, Attach_Date, Attach_Filename) "
                  "VALUES (100, 1, 'Plan', 'F', ?, ?, 'plan.txt')"_s,
                  {kOBrien, when});
        writeBlob(100, QByteArray("file content"));
        d.execute(u"INSERT INTO ATTACH (Attach_Number, SCR_Number, Attach_Title, "
                  "Attach_Type) VALUES (101, 0, 'Old report', 'R')"_s);
        d.execute(u"INSERT INTO MAIL (Mail_Number, Title, Owner_User_ID, Date) "
                  "VALUES (200, 'Hello', ?, ?)"_s,
                  {kOBrien, when});
        d.execute(u"INSERT INTO FOLDER (Folder_Counter, Folder_Name, "
                  "Folder_Owner_ID) VALUES (300, 'Inbox', ?)"_s,
                  {kOBrien});
        d.execute(u"INSERT INTO LIFECYCLE (Lifecycle_ID, Owner_ID) VALUES ('LC', ?)"_s, {kOBrien});
        d.execute(u"INSERT INTO LIFECYCLE_USER (Lifecycle_ID, LC_Stage_Name, "
                  "User_ID) VALUES ('LC', 'Review', ?)"_s,
                  {kOBrien});
        d.execute(u"INSERT INTO LIFECYCLE_ACTION (Lifecycle_ID, LC_Stage_Name, "
                  "Action_Name, Mandatory) VALUES ('LC', 'Review', 'Sign', ?)"_s,
                  {true});
        d.execute(u"INSERT INTO CHECKLIST (Checklist_Name) VALUES ('Release')"_s);
        d.execute(
            u"INSERT INTO PAXCAL (Cal_Entry, Cal_ID, Cal_Subject) VALUES (400, ?, 'Meeting')"_s,
            {kOBrien});
    }

    const QString kOBrien = u"O'Brien"_s;
    FixedClock m_clock{QDateTime(QDate(2024, 1, 31), QTime(14, 5, 9), Qt::UTC), 3600};
    std::unique_ptr<UpgradeLog> m_log;
};

} // namespace

TEST_P(UpgradeStepsTest, AllStepsBringTheBaseToTheCurrentSchema)
{
    upgrade();

    // The embedded engine's trigram table of the task search (and its own tables) aside.
    QStringList tables = db().tables();
    tables.removeIf(
        [](const QString& t) { return t.startsWith("SCR_SEARCH"_L1, Qt::CaseInsensitive); });
    EXPECT_EQ(lowered(tables), lowered(kSchema.keys() << scr::Table));
    for (auto it = kSchema.cbegin(); it != kSchema.cend(); ++it) {
        QStringList columns;
        for (const ColumnInfo& c : db().columns(it.key()))
            columns << c.name;
        EXPECT_EQ(lowered(columns), lowered(it.value().split(u' '))) << it.key().toStdString();
    }
    for (const ColumnRef& ref : kUserReferenceColumns) {
        QStringList columns;
        for (const ColumnInfo& c : db().columns(ref.table))
            columns << c.name;
        EXPECT_TRUE(columns.contains(ref.column, Qt::CaseInsensitive))
            << ref.table.toStdString() << "." << ref.column.toStdString();
    }

    // The task table's catalogue names every column of SCR, spelt and typed as the table has it.
    QStringList catalogued;
    for (const ColumnDef& c : scrColumns())
        catalogued << c.name;
    QStringList stored;
    for (const ColumnInfo& info : db().columns(scr::Table)) {
        stored << info.name;
        const ColumnDef* c = findColumn(scrColumns(), info.name);
        if (!c)
            continue;
        if (!isServer()) { // the server engine reports names in lower case
            EXPECT_EQ(c->name, info.name) << "spelt as the schema spells it";
        }
        EXPECT_TRUE(storedAs(c->kind, info.type))
            << info.name.toStdString() << " is stored as " << info.type.toStdString();
    }
    EXPECT_EQ(lowered(catalogued), lowered(stored));

    const auto steps = allUpgradeSteps();
    ASSERT_EQ(steps.size(), 57u);
    for (const auto& s : steps) {
        EXPECT_FALSE(s->check(db())) << s->name().toStdString();
        EXPECT_EQ(Vars::value(db(), s->marker()), u"1"_s);
    }
    EXPECT_EQ(Vars::value(db(), u"BuildNum"_s), QString()) << "the upgrader stamps it";
}

// The rows survive, in the new workshop, and a task's contact becomes a contact attachment.
TEST_P(UpgradeStepsTest, RowsOfTheOlderBuildSurviveEveryStep)
{
    fillBase();
    const QStringList tables =
        u"SCR ATTACH MAIL FOLDER LIFECYCLE LIFECYCLE_USER "
        "LIFECYCLE_ACTION CHECKLIST PAXCAL CONTACT LU_CATEGORY"_s.split(u' ');
    QMap<QString, qlonglong> before;
    for (const QString& t : tables)
        before[t] = count(u"SELECT count(*) FROM "_s + t);

    upgrade();

    // ATTACH keeps its count: the old report row goes (no report files are delivered here) and
    // the task with a contact gains a contact attachment.
    for (const QString& t : tables)
        EXPECT_EQ(count(u"SELECT count(*) FROM "_s + t), before.value(t)) << t.toStdString();
    EXPECT_EQ(readBlob(100), QByteArray("file content"));

    // The rows went into the new workshop "General" with everybody in it.
    const qlonglong general =
        count(u"SELECT GROUP_ID FROM LU_GROUP WHERE GROUP_NAME = 'General'"_s);
    for (const char* sql :
         {"SELECT Group_ID FROM ATTACH WHERE Attach_Number = 100",
          "SELECT group_id FROM MAIL WHERE Mail_Number = 200",
          "SELECT Group_ID FROM FOLDER WHERE Folder_Counter = 300",
          "SELECT owner_group_id FROM LIFECYCLE", "SELECT owner_group_id FROM LIFECYCLE_USER",
          "SELECT owner_group_id FROM LIFECYCLE_ACTION",
          "SELECT SCR_Request_Group_ID FROM SCR WHERE SCR_Number = 2"})
        EXPECT_EQ(count(QString::fromLatin1(sql)), general) << sql;
    EXPECT_TRUE(db().scalar(u"SELECT group_ID FROM LIFECYCLE_USER"_s).isNull())
        << "the stage's own workshop is left alone";
    EXPECT_EQ(count(u"SELECT count(*) FROM GROUPLINK WHERE GROUP_ID = ?"_s, {general}), 2);
    EXPECT_EQ(count(u"SELECT Folder_Type FROM FOLDER"_s), 0);
    EXPECT_EQ(count(u"SELECT Mail_Folder_Number FROM MAIL"_s), 0);
    EXPECT_EQ(count(u"SELECT count(*) FROM SCR WHERE Meeting_ID = 0"_s), 3);
    EXPECT_EQ(count(u"SELECT Mandatory FROM LIFECYCLE_ACTION"_s), db().dialect().trueValue());
    EXPECT_EQ(count(u"SELECT count(*) FROM LIFECYCLE_USER WHERE SuperVisor = 0 AND Received = 0"_s),
              1)
        << "added flags read false, as the engine's yes/no columns always did";

    const RecordSet contact = db().query(u"SELECT * FROM ATTACH WHERE Attach_Type = 'C'"_s);
    ASSERT_EQ(contact.rowCount(), 1);
    EXPECT_EQ(contact.number(u"SCR_Number"_s), 2);
    EXPECT_EQ(contact.text(u"Attach_Filename"_s), u"7"_s);
    EXPECT_EQ(contact.text(u"Attach_Owner"_s), u"admin"_s);
    EXPECT_EQ(contact.text(u"Attach_Title"_s), u"Contact, admin, 2024-01-31 14:05:09"_s);
    EXPECT_EQ(contact.dateTime(u"Attach_Date"_s),
              QDateTime(QDate(2024, 1, 31), QTime(13, 5, 9), Qt::UTC))
        << "stored in GMT";
    EXPECT_EQ(count(u"SELECT count(*) FROM SCR WHERE SCR_Contact_Key <> 0"_s), 0);

    if (!isServer()) {
        EXPECT_EQ(db().scalar(u"PRAGMA integrity_check"_s).toString(), u"ok"_s);
        EXPECT_TRUE(db().query(u"PRAGMA foreign_key_check"_s).isEmpty());
        EXPECT_EQ(count(u"SELECT count(*) FROM sqlite_master WHERE type = 'index' "
                        "AND name = 'ATTACH_SCR_Number'"_s),
                  1)
            << "the rebuilt ATTACH keeps its indexes";
    }
}

TEST_P(UpgradeStepsTest, StoredPasswordsBecomeHashesOfTheSameTypedPasswords)
{
    upgrade(0, 81);
    const QString hash = StoredPassword::forStorage(u"kept pw"_s);
    const struct
    {
        const char* id;
        QVariant stored;
        const char* typed;
    } users[] = {
        {"clear", u"Clear Pw"_s, " clear PW"},
        {"scrambled", StoredPassword::scramble(u"Scrambled Pw"_s), "scrambled pw"},
        {"blank", u"***"_s, " "}, // nothing, scrambled
        {"hashed", hash, "Kept Pw"},
        {"empty", QString(""_L1), ""},
        {"none", QVariant(), ""},
    };
    for (const auto& u : users)
        db().execute(u"INSERT INTO LU_USER (USER_ID, User_Name, User_Password) VALUES (?, ?, ?)"_s,
                     {QLatin1String(u.id), QLatin1String(u.id), u.stored});
    // Before the step an administrator logs on the older way, to upgrade.
    for (const auto& u : users)
        EXPECT_EQ(validateLogin(db(), QLatin1String(u.id), QLatin1String(u.typed), nullptr),
                  LoginResult::Ok)
            << u.id;

    upgrade(82);
    for (const auto& u : users) {
        SCOPED_TRACE(u.id);
        const QVariant now = db().scalar(u"SELECT User_Password FROM LU_USER WHERE USER_ID = ?"_s,
                                         {QLatin1String(u.id)});
        if (u.stored.toString().isEmpty())
            EXPECT_EQ(now.isNull(), u.stored.isNull()) << "no password stays none";
        else if (u.stored == hash)
            EXPECT_EQ(now.toString(), hash);
        else
            EXPECT_TRUE(StoredPassword::isHashed(now.toString()));
        EXPECT_EQ(validateLogin(db(), QLatin1String(u.id), QLatin1String(u.typed), nullptr),
                  LoginResult::Ok);
        EXPECT_EQ(validateLogin(db(), QLatin1String(u.id), u"wrong"_s, nullptr),
                  LoginResult::WrongPassword);
    }
    EXPECT_FALSE(logText().contains(u"Clear Pw"_s)) << "no password in the log";
}

TEST_P(UpgradeStepsTest, WorkshopsMoveToLuGroupWithTheirRowsAndRelations)
{
    fillBase();
    // An older database may relate other tables to GROUP; the copy takes the relation along.
    {
        Transaction tx(db());
        StepActions a(db(), *m_log, context(), ErrorPolicy::Strict);
        a.addRelation(
            {u"FK_GROUPLINK_GROUP"_s, u"GROUPLINK"_s, u"GROUP_ID"_s, u"group"_s, u"GROUP_ID"_s});
        tx.commit();
    }

    upgrade();

    EXPECT_FALSE(db().hasTable(u"group"_s));
    const RecordSet groups = db().query(
        u"SELECT GROUP_ID, GROUP_NAME FROM LU_GROUP WHERE GROUP_ID IN (5, 9) ORDER BY GROUP_ID"_s);
    ASSERT_EQ(groups.rowCount(), 2);
    EXPECT_EQ(groups.value(0, u"GROUP_NAME"_s).toString(), u"Sales"_s);
    EXPECT_EQ(groups.value(1, u"GROUP_NAME"_s).toString(), u"O'Brien's team"_s);
    EXPECT_EQ(count(u"SELECT count(*) FROM LU_GROUP"_s), 3) << "with General";
    const qlonglong general =
        count(u"SELECT GROUP_ID FROM LU_GROUP WHERE GROUP_NAME = 'General'"_s);
    if (!isServer()) {
        EXPECT_GT(general, 12) << "a number once drawn for GROUP is never drawn again";
    }

    // The relation now leads to LU_GROUP and still deletes memberships with their workshop.
    EXPECT_EQ(count(u"SELECT count(*) FROM GROUPLINK WHERE USER_ID = ?"_s, {kOBrien}), 2);
    db().execute(u"DELETE FROM LU_GROUP WHERE GROUP_ID = 5"_s);
    EXPECT_EQ(count(u"SELECT count(*) FROM GROUPLINK WHERE USER_ID = ?"_s, {kOBrien}), 1);
}

TEST_P(UpgradeStepsTest, DeliveredReportsReplaceTheStoredOnes)
{
    fillBase();
    for (const auto& [name, content] : {std::pair{"1.rpx", "first layout"}, {"4.rpx", "fourth"}}) {
        QFile f(QDir(tempDir()).filePath(QString::fromLatin1(name)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
    upgrade();

    const RecordSet rs =
        db().query(u"SELECT * FROM ATTACH WHERE Attach_Type = 'R' ORDER BY Attach_Filename"_s);
    ASSERT_EQ(rs.rowCount(), 2) << "the old report is gone; missing files are skipped";
    EXPECT_EQ(rs.value(0, u"Attach_Title"_s).toString(),
              u"Activities Completed this Week, admin, 2024-01-31 14:05:09"_s);
    EXPECT_EQ(rs.value(1, u"Attach_Title"_s).toString(),
              u"Over Due Tasks, admin, 2024-01-31 14:05:09"_s);
    EXPECT_EQ(rs.value(1, u"Attach_Filename"_s).toString(), u"4.rpx"_s);
    EXPECT_EQ(rs.value(0, u"Attach_Owner"_s).toString(), u"admin"_s);
    EXPECT_EQ(readBlob(rs.value(0, u"Attach_Number"_s).toLongLong()), QByteArray("first layout"));
    EXPECT_EQ(readBlob(rs.value(1, u"Attach_Number"_s).toLongLong()), QByteArray("fourth"));
}

TEST_P(UpgradeStepsTest, TaskRulesRefuseUnknownReferencesOnly)
{
    fillBase();
    upgrade();
    const QString insert =
        u"INSERT INTO SCR (SCR_Counter, SCR_Number, SCR_Title, SCR_Priority, SCR_Category, "
        "SCR_Request_ID) VALUES (?, ?, 'New', ?, ?, ?)"_s;
    const auto refused = [&](const QString& sql, const QVariantList& params, const char* number,
                             const char* table) {
        try {
            db().execute(sql, params);
            ADD_FAILURE() << "accepted: " << table;
        } catch (const DbError& e) {
            EXPECT_EQ(e.number(), QString::fromLatin1(number));
            EXPECT_EQ(e.description(), refusal(table));
        }
    };
    refused(insert, {10, 10, u"9 - Never"_s, QVariant(), u"admin"_s}, "44447", "LU_PRIORITY");
    refused(insert, {10, 10, QVariant(), u"Nowhere"_s, u"admin"_s}, "44447", "LU_CATEGORY");
    refused(insert, {10, 10, QVariant(), QVariant(), u"nobody"_s}, "44447", "LU_USER");

    // A task saved with its title alone, or with blank choices, is fine; names match in any case.
    int n = 20;
    for (const QVariant& empty : {QVariant(), QVariant(QString()), QVariant(u" "_s)}) {
        ++n;
        EXPECT_NO_THROW(db().execute(insert, {n, n, empty, empty, empty}));
    }
    EXPECT_NO_THROW(
        db().execute(insert, {30, 30, u"2 - NORMAL"_s, u"o'brien's FOLDER"_s, kOBrien}));

    const QString update = u"UPDATE SCR SET SCR_Priority = ? WHERE SCR_Number = 30"_s;
    refused(update, {u"Unknown"_s}, "44446", "LU_PRIORITY");
    refused(u"UPDATE SCR SET SCR_Request_ID = 'ghost' WHERE SCR_Number = 30"_s, {}, "44446",
            "LU_USER");
    EXPECT_NO_THROW(db().execute(update, {u"3 - Low"_s}));
    // A row of an older build that names an unknown priority can still be edited otherwise.
    EXPECT_NO_THROW(db().execute(u"UPDATE SCR SET SCR_Title = 'Renamed' WHERE SCR_Number = 3"_s));
}

TEST_P(UpgradeStepsTest, RelationsCascadeOrRefuseAsDeclared)
{
    fillBase();
    upgrade();
    Database& d = db();
    d.execute(u"INSERT INTO LU_GROUP (GROUP_ID, GROUP_NAME) VALUES (50, 'Temp')"_s);
    d.execute(u"INSERT INTO MAIL (Mail_Number, Title, group_id) VALUES (201, 'x', 50)"_s);
    d.execute(u"DELETE FROM LU_GROUP WHERE GROUP_ID = 50"_s);
    EXPECT_EQ(count(u"SELECT count(*) FROM MAIL WHERE Mail_Number = 201"_s), 0);
    EXPECT_EQ(count(u"SELECT count(*) FROM MAIL WHERE Mail_Number = 200"_s), 1);

    d.execute(u"INSERT INTO LU_ACCESS_LEVEL (USER_ID, ACCESS_LEVEL, ACCESS_TYPE) "
              "VALUES (?, 'Docs', 'VIEW')"_s,
              {kOBrien});
    d.execute(u"UPDATE LU_CATEGORY SET Category = ? WHERE Category = 'Docs'"_s, {u"Doc's"_s});
    EXPECT_EQ(d.scalar(u"SELECT ACCESS_LEVEL FROM LU_ACCESS_LEVEL"_s).toString(), u"Doc's"_s);
    EXPECT_THROW(d.execute(u"INSERT INTO LU_ACCESS_LEVEL (USER_ID, ACCESS_LEVEL, "
                           "ACCESS_TYPE) VALUES ('nobody', ?, 'VIEW')"_s,
                           {u"Doc's"_s}),
                 DbError);
    EXPECT_THROW(d.execute(u"INSERT INTO LU_ACCESS_LEVEL (USER_ID, ACCESS_LEVEL, "
                           "ACCESS_TYPE) VALUES (?, ?, 'VIEW')"_s,
                           {kOBrien, u"Doc's"_s}),
                 DbError)
        << "the three columns are the key";

    // A workshop with sub-workshops or checklists stays.
    d.execute(u"INSERT INTO LU_GROUP (GROUP_ID, GROUP_NAME) VALUES (60, 'Parent')"_s);
    d.execute(
        u"INSERT INTO LU_GROUP (GROUP_ID, GROUP_NAME, parent_workshop) VALUES (61, 'Child', 60)"_s);
    EXPECT_THROW(d.execute(u"DELETE FROM LU_GROUP WHERE GROUP_ID = 60"_s), DbError);
    EXPECT_EQ(count(u"SELECT count(*) FROM LU_GROUP WHERE GROUP_ID IN (60, 61)"_s), 2);
    d.execute(u"DELETE FROM LU_GROUP WHERE GROUP_ID = 61"_s);
    d.execute(u"UPDATE CHECKLIST SET group_id = 60"_s);
    EXPECT_THROW(d.execute(u"DELETE FROM LU_GROUP WHERE GROUP_ID = 60"_s), DbError);
    d.execute(u"UPDATE CHECKLIST SET group_id = NULL"_s);
    EXPECT_NO_THROW(d.execute(u"DELETE FROM LU_GROUP WHERE GROUP_ID = 60"_s));

    d.execute(u"INSERT INTO CALL_LOG (CALL_ID, Contact_Key, Content) VALUES (1, 7, 'Called')"_s);
    d.execute(u"DELETE FROM CONTACT WHERE CONTACT_KEY = 7"_s);
    EXPECT_EQ(count(u"SELECT count(*) FROM CALL_LOG"_s), 0);
}

TEST_P(UpgradeStepsTest, AFailingStepLeavesNothingBehind)
{
    upgrade(0, 66);
    db().execute(u"INSERT INTO MAIL (Mail_Number, Title, group_id) VALUES (202, 'orphan', 999)"_s);
    const auto relations = step(67);
    {
        Transaction tx(db());
        EXPECT_THROW(relations->execute(db(), *m_log, context()), DbError)
            << "a message of a workshop that does not exist breaks the relation";
    }
    EXPECT_TRUE(relations->check(db()));
    // Nothing of the failed step remains: MAIL still takes any workshop number.
    EXPECT_NO_THROW(db().execute(
        u"INSERT INTO MAIL (Mail_Number, Title, group_id) VALUES (203, 'orphan too', 998)"_s));
    if (!isServer()) {
        EXPECT_EQ(db().scalar(u"PRAGMA integrity_check"_s).toString(), u"ok"_s);
    }

    db().execute(u"DELETE FROM MAIL WHERE Mail_Number IN (202, 203)"_s);
    upgrade(67);
    EXPECT_FALSE(relations->check(db()));
    EXPECT_THROW(db().execute(u"INSERT INTO MAIL (Mail_Number, Title, group_id) "
                              "VALUES (204, 'orphan', 999)"_s),
                 DbError);
}

TEST_P(UpgradeStepsTest, OnlyConversionErrorsArePassedOverAndOnlyByLenientSteps)
{
    db().executeScript(u"CREATE TABLE NUMS (n INTEGER PRIMARY KEY)"_s);
    const QString badValue = isServer() ? u"INSERT INTO NUMS (n) VALUES (CAST('x' AS integer))"_s
                                        : u"INSERT INTO NUMS (n) VALUES ('x')"_s;
    Transaction tx(db());
    StepActions lenient(db(), *m_log, context(), ErrorPolicy::IgnoreConversionErrors);
    EXPECT_NO_THROW(lenient.run(badValue));
    lenient.run(u"INSERT INTO NUMS (n) VALUES (1)"_s);
    EXPECT_THROW(lenient.run(u"INSERT INTO NO_SUCH_TABLE (n) VALUES (1)"_s), DbError);
    lenient.run(u"INSERT INTO NUMS (n) VALUES (2)"_s);
    EXPECT_EQ(count(u"SELECT count(*) FROM NUMS"_s), 2);
    EXPECT_TRUE(logText().contains(u"Ignored Error: "_s));

    StepActions strict(db(), *m_log, context(), ErrorPolicy::Strict);
    try {
        strict.run(badValue);
        ADD_FAILURE() << "a strict step passed over an error";
    } catch (const DbError& e) {
        EXPECT_EQ(e.kind(), DbErrorKind::ConversionError) << e.number().toStdString();
    }
}

TEST_P(UpgradeStepsTest, DeliveredAnalysesRunOnTheEngine)
{
    upgrade();
    Database& d = db();
    const QString task =
        u"INSERT INTO SCR (SCR_Counter, SCR_Number, SCR_Title, SCR_Status, SCR_Owner_User_ID, "
        "SCR_Request_Date, SCR_Owner_Target_Date) VALUES (?, ?, 'T', ?, 'admin', ?, ?)"_s;
    const auto day = [](int n) { return QDateTime(QDate(2024, 1, n), QTime(10, 0), Qt::UTC); };
    d.execute(task, {1, 1, u"C"_s, day(1), day(5)});
    d.execute(task, {2, 2, u"A"_s, day(2), day(3)});
    d.execute(u"INSERT INTO ROUTE (Route_Number, SCR_Number, Route_Status, "
              "Route_Date_In) VALUES (1, 1, 'C', ?)"_s,
              {QDateTime(QDate(2024, 1, 11), QTime(8, 0), Qt::UTC)});

    const RecordSet reports =
        d.query(u"SELECT ID, CubeTitle, SQLQuery FROM OLAP_REPORT ORDER BY ID"_s);
    ASSERT_EQ(reports.rowCount(), 3);
    QMap<QString, RecordSet> results;
    for (int i = 0; i < reports.rowCount(); ++i) {
        const QString title = reports.value(i, u"CubeTitle"_s).toString();
        EXPECT_EQ(count(u"SELECT count(*) FROM OLAP_DIMENSION WHERE ReportID = ?"_s,
                        {reports.value(i, u"ID"_s)}),
                  9);
        results[title] = d.query(reports.value(i, u"SQLQuery"_s).toString());
    }
    const RecordSet completed = results.value(u"Completed tasks over time"_s);
    ASSERT_EQ(completed.rowCount(), 1);
    EXPECT_EQ(completed.value(u"TaskDate"_s).typeId(), QMetaType::QDateTime)
        << "the pivot splits only date columns into years and months";
    EXPECT_EQ(completed.number(u"TasksTurnover"_s), 10);
    EXPECT_EQ(completed.number(u"DaysDelay"_s), 6);
    EXPECT_EQ(results.value(u"Initiated tasks over time"_s).rowCount(), 2);
    const RecordSet late = results.value(u"Late tasks over time"_s);
    EXPECT_EQ(late.rowCount(), 2) << "both are past their target";

    const RecordSet parts = d.query(
        u"SELECT Name, ItemParameter1, ItemParameter2, ParentItem FROM OLAP_DIMENSION WHERE "
        "ItemType = 1 AND ReportID = ? ORDER BY Position"_s,
        {reports.value(0, u"ID"_s)});
    ASSERT_EQ(parts.rowCount(), 3);
    EXPECT_EQ(parts.value(2, u"Name"_s).toString(), u"MONTH_TaskDate"_s);
    EXPECT_EQ(parts.value(2, u"ItemParameter1"_s).toInt(), 8);
    EXPECT_EQ(parts.value(2, u"ItemParameter2"_s).toInt(), 3);
    EXPECT_EQ(parts.value(2, u"ParentItem"_s).toString(), u"TaskDate"_s);
}

// After every step the content streams; on the server it is freed with its row or value.
TEST_P(UpgradeStepsTest, AttachmentContentStreamsAndIsFreedWithItsRow)
{
    upgrade();
    if (!isServer()) {
        const QList<ColumnInfo> columns = db().columns(u"ATTACH"_s);
        EXPECT_EQ(columns.last().name, u"OLE_Data"_s);
    }
    db().execute(u"INSERT INTO ATTACH (Attach_Number, Attach_Type) VALUES (7, 'F')"_s);
    QByteArray big(100 * 1024, Qt::Uninitialized);
    for (int i = 0; i < big.size(); ++i)
        big[i] = char(i * 31 % 251);
    writeBlob(7, QByteArray("first"));
    writeBlob(7, big); // replaced: the layer frees the first value itself
    EXPECT_EQ(readBlob(7), big);
    if (!isServer())
        return;
    const QVariant object = db().scalar(u"SELECT OLE_Data FROM ATTACH WHERE Attach_Number = 7"_s);
    const QString exists =
        u"SELECT count(*) FROM pg_largeobject_metadata WHERE oid = CAST(? AS oid)"_s;
    EXPECT_EQ(count(exists, {object}), 1);
    db().execute(u"DELETE FROM ATTACH WHERE Attach_Number = 7"_s);
    EXPECT_EQ(count(exists, {object}), 0);

    db().execute(u"INSERT INTO ATTACH (Attach_Number, Attach_Type) VALUES (9, 'M')"_s);
    EXPECT_NO_THROW(db().execute(u"DELETE FROM ATTACH WHERE Attach_Number = 9"_s))
        << "a row without content deletes as well";
}

BX_INSTANTIATE_ENGINES(UpgradeStepsTest);
