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
using bx::test::EngineTest;
using bx::test::FixedClock;

namespace {

/**
 * The tables and columns of the current schema but SCR, whose columns the catalogue names; the
 * same on both engines.
 */
const QMap<QString, QString> kSchema = {
    {QStringLiteral("LU_SERIALS"), QStringLiteral("Ser i")},
    {QStringLiteral("Vars"), QStringLiteral("VarName VarValue")},
    {QStringLiteral("SYSTEM"),
     QStringLiteral("MAX_STORAGE Chunk_Size Query_Wait Edit_Attachments GetParentParams NoLogon "
                    "ShowApproverName Show_Custom Label_Custom Reports_Folder SMTPServer SMTPUser "
                    "SMTPPwd Mand_Target_Date Mand_Category Mand_Priority Mand_Contact SMTPAuth "
                    "SMTPLeave POPServer VoIPServerIP")},
    {QStringLiteral("SEARCH_TABLES"), QStringLiteral("SCR_Number_Field TableName FieldName")},
    {QStringLiteral("LU_USER"),
     QStringLiteral("USER_ID User_Name User_Password User_Email User_Location Disabled "
                    "Supervisor_User_ID Full_Access Allow_Edit_Custom Allow_Forwarding "
                    "Edit_Contact_Info Delete_Contact_Info Edit_Unowned Allow_Edit_CloseDate "
                    "Allow_Create_Lifecycle Edit_Custom_Tab User_Review_Account Parent_User_Notify "
                    "Ext1 Ext2 Ext3 Ext4 Ext5 Ext6 Ext7 Ext8 Ext9 Ext10 Ext11 Ext12 Ext13 "
                    "Access_Level Rate Join_Team Notice_Digest")},
    {QStringLiteral("LU_ACCESS_LEVEL"), QStringLiteral("USER_ID ACCESS_LEVEL ACCESS_TYPE")},
    {QStringLiteral("LOGIN"), QStringLiteral("ID User_ID LastUpdate")},
    {QStringLiteral("LU_GROUP"), QStringLiteral("GROUP_ID GROUP_NAME Root_Folder parent_workshop")},
    {QStringLiteral("GROUPLINK"), QStringLiteral("GROUP_ID USER_ID")},
    {QStringLiteral("REPLICA"), QStringLiteral("User_ID Replica_Location Export Import")},
    {QStringLiteral("LU_PRIORITY"), QStringLiteral("Priority")},
    {QStringLiteral("LU_CATEGORY"), QStringLiteral("Category Parent_Category")},
    {QStringLiteral("LU_RULES"), QStringLiteral("RULE_NAME SCRIPT")},
    {QStringLiteral("ROUTE"),
     QStringLiteral("Route_Number SCR_Number USER_ID Route_OwnerType Route_Date_In Route_Date_Out "
                    "Route_Target_Date Route_Status Route_Action Route_Note")},
    {QStringLiteral("ATTACH"),
     QStringLiteral("Attach_Number SCR_Number Attach_Title Attach_Type Attach_Owner Attach_Date "
                    "Attach_Filename Publish Show_In_TabBar Temp_Status Category Parent_ID "
                    "Group_ID OLE_Data")},
    {QStringLiteral("ATTACH_VERSION"), QStringLiteral("Attach_Number Attach_Row_Version")},
    {QStringLiteral("FORM"),
     QStringLiteral("Form_Name Form_Caption Form_Width Form_Height Form_Date")},
    {QStringLiteral("CONTROL"),
     QStringLiteral("FORM_NAME CONTROL_KEY ATTACH_NUMBER MAIN_FORM NAME TYPE VALUE CHECKED "
                    "MANDATORY LEFT TOP WIDTH HEIGHT RIGHT_ALIGN DATABASE TABLE FIELD")},
    {QStringLiteral("CUSTOM"),
     QStringLiteral("FORM_NAME CONTROL_NAME CONTROL_VALUE CONTROL_VISIBLE")},
    {QStringLiteral("CUSTOM_TAB"), QStringLiteral("group_id ProgID")},
    {QStringLiteral("LU_ACTIVEX"),
     QStringLiteral("ID ActiveX_Control_Name label Plugin_Name ShowToolBox Separate Icon")},
    {QStringLiteral("TOOL"),
     QStringLiteral("Tool_Name Tool_EXE Tool_Description Tool_Param_SCR_Number Tool_Param_User_ID "
                    "Tool_Access_Screen Tool_SCR_Screen")},
    {QStringLiteral("LIFECYCLE"),
     QStringLiteral("Lifecycle_ID Lifecycle_Description Owner_ID owner_group_id")},
    {QStringLiteral("LIFECYCLE_USER"),
     QStringLiteral("Lifecycle_ID LC_Stage_Name LC_Sequence_Number UserType User_ID Days_In_Cycle "
                    "Rule_Name Owner_ID SuperVisor Received Approved Declined owner_group_id "
                    "group_ID")},
    {QStringLiteral("LIFECYCLE_ACTION"),
     QStringLiteral("Lifecycle_ID LC_Stage_Name Action_Name Mandatory Owner_ID SCR_Number "
                    "Signature Icon owner_group_id")},
    {QStringLiteral("CHECKLIST"),
     QStringLiteral("Checklist_Name Checklist_Description Checklist_Date group_id")},
    {QStringLiteral("CHECKLIST_ITEM"),
     QStringLiteral("Checklist_Name Action_Name Mandatory Sign_User_ID Attach_Number User_ID "
                    "ItemType ItemNote")},
    {QStringLiteral("MAIL"),
     QStringLiteral("Mail_Number Title Body Owner_User_ID Date Sender Viewed Mail_Folder_Number "
                    "POPID Sent SentDate SourceID group_id")},
    {QStringLiteral("MAIL_OUTBOX"),
     QStringLiteral("Outbox_Number Recipient Sender_Name Sender_Address Subject Body Attach_Name "
                    "Attach_Type Attach_Text Message_ID Queued_By Personal SCR_Number "
                    "Route_Number Digest State Attempts Next_Attempt Last_Error Claim_Token "
                    "Claim_Expires Queued_Date Sent_Date")},
    {QStringLiteral("FOLDER"),
     QStringLiteral("Folder_Counter Folder_Name Folder_Owner_ID Folder_Type Parent_Folder_Counter "
                    "Group_ID")},
    {QStringLiteral("CONTACT"),
     QStringLiteral("CONTACT_KEY Last_Name First_Name MI Title Company_Name Address City State Zip "
                    "Phone_Home Phone_Work FAX Email Notes Phone_Cell")},
    {QStringLiteral("CALL_LOG"), QStringLiteral("CALL_ID Contact_Key Date Content")},
    {QStringLiteral("CHANGE_MARKER"), QStringLiteral("Group_ID Marker Writer")},
    {QStringLiteral("PAXCAL"),
     QStringLiteral("Cal_Entry Cal_ID Cal_Subject Cal_Location Cal_Start Cal_End Cal_All_Day "
                    "Cal_Reminder Cal_Notes SCR_Number")},
    {QStringLiteral("TIME_SHEET"),
     QStringLiteral("ID_Sheet SCR_Number_Sheet User_Id Date_Sheet Start_Sheet Time_Sheet "
                    "Time_Sheet_Minute Comment_Sheet Timer_Running StartTime")},
    {QStringLiteral("TIME_SHEET_ROUTE"),
     QStringLiteral("Id ID_SHEET User_ID Date_Route Action Old_Value Comment")},
    {QStringLiteral("tblReportQueue"),
     QStringLiteral("Queue_ID Attach_Number Queue_Date Queue_Status Printer_Name Copies")},
    {QStringLiteral("OLAP_REPORT"),
     QStringLiteral("ID SQLQuery CubeTitle AllowFilter AllowInactiveDimArea AllowFactFilter "
                    "AllowExpand AllowPivot AllowTitle TitleAlign")},
    {QStringLiteral("OLAP_DIMENSION"),
     QStringLiteral("ID ReportID ItemType Name Title ItemParameter1 ItemParameter2 ItemParameter3 "
                    "ParentItem Position")},
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
        return type.contains(QLatin1String("text")) || type.contains(QLatin1String("char"));
    case ColumnKind::Number:
    case ColumnKind::Flag:
        return type.contains(QLatin1String("int"));
    case ColumnKind::Date:
        return type.contains(QLatin1String("date")) || type.startsWith(QLatin1String("timestamp"));
    }
    return false;
}

QString refusal(const char* table)
{
    return QStringLiteral("The record can't be added or changed. Referential integrity rules "
                          "require a related record in table '") +
           QString::fromLatin1(table) + QStringLiteral("'.");
}

class UpgradeStepsTest : public EngineTest
{
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        bx::test::loadBaseSchema(db());
        m_log = std::make_unique<UpgradeLog>(logPath());
    }
    void TearDown() override
    {
        m_log.reset();
        EngineTest::TearDown();
    }

    UpgradeContext context() const { return {tempDir(), &m_clock}; }
    QString logPath() const { return tempDir() + QStringLiteral("/UpgradeLog.txt"); }
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
        d.execute(QStringLiteral("INSERT INTO LU_USER (USER_ID, User_Name) VALUES (?, ?)"),
                  {kOBrien, QStringLiteral("Pat O'Brien")});
        for (const auto& [id, name] : {std::pair{5, "Sales"}, {9, "O'Brien's team"}, {12, "Gone"}})
            d.execute(QStringLiteral("INSERT INTO \"group\" (GROUP_ID, GROUP_NAME, s_Generation) "
                                     "VALUES (?, ?, 1)"),
                      {id, QString::fromUtf8(name)});
        d.execute(QStringLiteral("DELETE FROM \"group\" WHERE GROUP_ID = 12"));
        d.execute(QStringLiteral("INSERT INTO GROUPLINK (GROUP_ID, USER_ID) VALUES (5, ?)"),
                  {kOBrien});
        d.execute(QStringLiteral("INSERT INTO LU_CATEGORY (Category) VALUES ('Docs')"));
        d.execute(QStringLiteral("INSERT INTO LU_CATEGORY (Category) VALUES (?)"),
                  {QStringLiteral("O'Brien's folder")});
        d.execute(QStringLiteral("INSERT INTO CONTACT (CONTACT_KEY, Last_Name) VALUES (7, ?)"),
                  {kOBrien});
        const QString task = QStringLiteral(
            "INSERT INTO SCR (SCR_Counter, SCR_Number, SCR_Title, SCR_Priority, SCR_Category, "
            "SCR_Status, SCR_Request_ID, SCR_Owner_User_ID, SCR_Contact_Key) "
            "VALUES (?, ?, ?, ?, ?, 'A', 'admin', ?, ?)");
        d.execute(task, {1, 1, QStringLiteral("First"), QStringLiteral("1 - High"),
                         QStringLiteral("Docs"), QStringLiteral("admin"), 0});
        d.execute(task, {2, 2, QStringLiteral("Call back"), QVariant(),
                         QStringLiteral("O'Brien's folder"), kOBrien, 7});
        // Older builds checked nothing: a task may name a priority that no longer exists.
        d.execute(task, {3, 3, QStringLiteral("Legacy"), QStringLiteral("Urgent"), QVariant(),
                         kOBrien, 0});
        d.execute(QStringLiteral("INSERT INTO ATTACH (Attach_Number, SCR_Number, Attach_Title, "
                                 "Attach_Type, Attach_Owner, Attach_Date, Attach_Filename) "
                                 "VALUES (100, 1, 'Plan', 'F', ?, ?, 'plan.txt')"),
                  {kOBrien, when});
        writeBlob(100, QByteArray("file content"));
        d.execute(QStringLiteral("INSERT INTO ATTACH (Attach_Number, SCR_Number, Attach_Title, "
                                 "Attach_Type) VALUES (101, 0, 'Old report', 'R')"));
        d.execute(QStringLiteral("INSERT INTO MAIL (Mail_Number, Title, Owner_User_ID, Date) "
                                 "VALUES (200, 'Hello', ?, ?)"),
                  {kOBrien, when});
        d.execute(QStringLiteral("INSERT INTO FOLDER (Folder_Counter, Folder_Name, "
                                 "Folder_Owner_ID) VALUES (300, 'Inbox', ?)"),
                  {kOBrien});
        d.execute(QStringLiteral("INSERT INTO LIFECYCLE (Lifecycle_ID, Owner_ID) VALUES ('LC', ?)"),
                  {kOBrien});
        d.execute(QStringLiteral("INSERT INTO LIFECYCLE_USER (Lifecycle_ID, LC_Stage_Name, "
                                 "User_ID) VALUES ('LC', 'Review', ?)"),
                  {kOBrien});
        d.execute(QStringLiteral("INSERT INTO LIFECYCLE_ACTION (Lifecycle_ID, LC_Stage_Name, "
                                 "Action_Name, Mandatory) VALUES ('LC', 'Review', 'Sign', ?)"),
                  {true});
        d.execute(QStringLiteral("INSERT INTO CHECKLIST (Checklist_Name) VALUES ('Release')"));
        d.execute(QStringLiteral("INSERT INTO PAXCAL (Cal_Entry, Cal_ID, Cal_Subject) "
                                 "VALUES (400, ?, 'Meeting')"),
                  {kOBrien});
    }

    const QString kOBrien = QStringLiteral("O'Brien");
    FixedClock m_clock{QDateTime(QDate(2024, 1, 31), QTime(14, 5, 9), Qt::UTC), 3600};
    std::unique_ptr<UpgradeLog> m_log;
};

} // namespace

TEST_P(UpgradeStepsTest, AllStepsBringTheBaseToTheCurrentSchema)
{
    upgrade();

    // The embedded engine's trigram table of the task search (and its own tables) aside.
    QStringList tables = db().tables();
    tables.removeIf([](const QString& t) {
        return t.startsWith(QLatin1String("SCR_SEARCH"), Qt::CaseInsensitive);
    });
    EXPECT_EQ(lowered(tables), lowered(kSchema.keys() << scr::Table));
    for (auto it = kSchema.cbegin(); it != kSchema.cend(); ++it) {
        QStringList columns;
        for (const ColumnInfo& c : db().columns(it.key()))
            columns << c.name;
        EXPECT_EQ(lowered(columns), lowered(it.value().split(QLatin1Char(' '))))
            << it.key().toStdString();
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
        EXPECT_EQ(Vars::value(db(), s->marker()), QStringLiteral("1"));
    }
    EXPECT_EQ(Vars::value(db(), QStringLiteral("BuildNum")), QString()) << "the upgrader stamps it";
}

TEST_P(UpgradeStepsTest, RowsOfTheOlderBuildSurviveEveryStep)
{
    fillBase();
    const QStringList tables =
        QStringLiteral("SCR ATTACH MAIL FOLDER LIFECYCLE LIFECYCLE_USER "
                       "LIFECYCLE_ACTION CHECKLIST PAXCAL CONTACT LU_CATEGORY")
            .split(QLatin1Char(' '));
    QMap<QString, qlonglong> before;
    for (const QString& t : tables)
        before[t] = count(QStringLiteral("SELECT count(*) FROM ") + t);

    upgrade();

    // ATTACH keeps its count: the old report row goes (no report files are delivered here) and
    // the task with a contact gains a contact attachment.
    for (const QString& t : tables)
        EXPECT_EQ(count(QStringLiteral("SELECT count(*) FROM ") + t), before.value(t))
            << t.toStdString();
    EXPECT_EQ(readBlob(100), QByteArray("file content"));

    // The rows went into the new workshop "General" with everybody in it.
    const qlonglong general =
        count(QStringLiteral("SELECT GROUP_ID FROM LU_GROUP WHERE GROUP_NAME = 'General'"));
    for (const char* sql :
         {"SELECT Group_ID FROM ATTACH WHERE Attach_Number = 100",
          "SELECT group_id FROM MAIL WHERE Mail_Number = 200",
          "SELECT Group_ID FROM FOLDER WHERE Folder_Counter = 300",
          "SELECT owner_group_id FROM LIFECYCLE", "SELECT owner_group_id FROM LIFECYCLE_USER",
          "SELECT owner_group_id FROM LIFECYCLE_ACTION",
          "SELECT SCR_Request_Group_ID FROM SCR WHERE SCR_Number = 2"})
        EXPECT_EQ(count(QString::fromLatin1(sql)), general) << sql;
    EXPECT_TRUE(db().scalar(QStringLiteral("SELECT group_ID FROM LIFECYCLE_USER")).isNull())
        << "the stage's own workshop is left alone";
    EXPECT_EQ(count(QStringLiteral("SELECT count(*) FROM GROUPLINK WHERE GROUP_ID = ?"), {general}),
              2);
    EXPECT_EQ(count(QStringLiteral("SELECT Folder_Type FROM FOLDER")), 0);
    EXPECT_EQ(count(QStringLiteral("SELECT Mail_Folder_Number FROM MAIL")), 0);
    EXPECT_EQ(count(QStringLiteral("SELECT count(*) FROM SCR WHERE Meeting_ID = 0")), 3);
    EXPECT_EQ(count(QStringLiteral("SELECT Mandatory FROM LIFECYCLE_ACTION")),
              db().dialect().trueValue());
    EXPECT_EQ(count(QStringLiteral("SELECT count(*) FROM LIFECYCLE_USER WHERE SuperVisor = 0 AND "
                                   "Received = 0")),
              1)
        << "added flags read false, as the engine's yes/no columns always did";

    if (!isServer()) {
        EXPECT_EQ(db().scalar(QStringLiteral("PRAGMA integrity_check")).toString(),
                  QStringLiteral("ok"));
        EXPECT_TRUE(db().query(QStringLiteral("PRAGMA foreign_key_check")).isEmpty());
        EXPECT_EQ(count(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'index' "
                                       "AND name = 'ATTACH_SCR_Number'")),
                  1)
            << "the rebuilt ATTACH keeps its indexes";
    }
}

TEST_P(UpgradeStepsTest, StoredPasswordsBecomeHashesOfTheSameTypedPasswords)
{
    upgrade(0, 81);
    const QString hash = StoredPassword::forStorage(QStringLiteral("kept pw"));
    const struct
    {
        const char* id;
        QVariant stored;
        const char* typed;
    } users[] = {
        {"clear", QStringLiteral("Clear Pw"), " clear PW"},
        {"scrambled", StoredPassword::scramble(QStringLiteral("Scrambled Pw")), "scrambled pw"},
        {"blank", QStringLiteral("***"), " "}, // nothing, scrambled
        {"hashed", hash, "Kept Pw"},
        {"empty", QString(QLatin1String("")), ""},
        {"none", QVariant(), ""},
    };
    for (const auto& u : users)
        db().execute(QStringLiteral("INSERT INTO LU_USER (USER_ID, User_Name, User_Password) "
                                    "VALUES (?, ?, ?)"),
                     {QLatin1String(u.id), QLatin1String(u.id), u.stored});
    // Before the step an administrator logs on the older way, to upgrade.
    for (const auto& u : users)
        EXPECT_EQ(validateLogin(db(), QLatin1String(u.id), QLatin1String(u.typed), nullptr),
                  LoginResult::Ok)
            << u.id;

    upgrade(82);
    for (const auto& u : users) {
        SCOPED_TRACE(u.id);
        const QVariant now =
            db().scalar(QStringLiteral("SELECT User_Password FROM LU_USER WHERE USER_ID = ?"),
                        {QLatin1String(u.id)});
        if (u.stored.toString().isEmpty())
            EXPECT_EQ(now.isNull(), u.stored.isNull()) << "no password stays none";
        else if (u.stored == hash)
            EXPECT_EQ(now.toString(), hash);
        else
            EXPECT_TRUE(StoredPassword::isHashed(now.toString()));
        EXPECT_EQ(validateLogin(db(), QLatin1String(u.id), QLatin1String(u.typed), nullptr),
                  LoginResult::Ok);
        EXPECT_EQ(validateLogin(db(), QLatin1String(u.id), QStringLiteral("wrong"), nullptr),
                  LoginResult::WrongPassword);
    }
    EXPECT_FALSE(logText().contains(QStringLiteral("Clear Pw"))) << "no password in the log";
}

TEST_P(UpgradeStepsTest, WorkshopsMoveToLuGroupWithTheirRowsAndRelations)
{
    fillBase();
    // An older database may relate other tables to GROUP; the copy takes the relation along.
    {
        Transaction tx(db());
        StepActions a(db(), *m_log, context(), ErrorPolicy::Strict);
        a.addRelation({QStringLiteral("FK_GROUPLINK_GROUP"), QStringLiteral("GROUPLINK"),
                       QStringLiteral("GROUP_ID"), QStringLiteral("group"),
                       QStringLiteral("GROUP_ID")});
        tx.commit();
    }

    upgrade();

    EXPECT_FALSE(db().hasTable(QStringLiteral("group")));
    const RecordSet groups = db().query(QStringLiteral(
        "SELECT GROUP_ID, GROUP_NAME FROM LU_GROUP WHERE GROUP_ID IN (5, 9) ORDER BY GROUP_ID"));
    ASSERT_EQ(groups.rowCount(), 2);
    EXPECT_EQ(groups.value(0, QStringLiteral("GROUP_NAME")).toString(), QStringLiteral("Sales"));
    EXPECT_EQ(groups.value(1, QStringLiteral("GROUP_NAME")).toString(),
              QStringLiteral("O'Brien's team"));
    EXPECT_EQ(count(QStringLiteral("SELECT count(*) FROM LU_GROUP")), 3) << "with General";
    const qlonglong general =
        count(QStringLiteral("SELECT GROUP_ID FROM LU_GROUP WHERE GROUP_NAME = 'General'"));
    if (!isServer()) {
        EXPECT_GT(general, 12) << "a number once drawn for GROUP is never drawn again";
    }

    // The relation now leads to LU_GROUP and still deletes memberships with their workshop.
    EXPECT_EQ(count(QStringLiteral("SELECT count(*) FROM GROUPLINK WHERE USER_ID = ?"), {kOBrien}),
              2);
    db().execute(QStringLiteral("DELETE FROM LU_GROUP WHERE GROUP_ID = 5"));
    EXPECT_EQ(count(QStringLiteral("SELECT count(*) FROM GROUPLINK WHERE USER_ID = ?"), {kOBrien}),
              1);

    const QString log = logText();
    EXPECT_TRUE(log.contains(QStringLiteral("Copy data from GROUP TO LU_GROUP")));
    EXPECT_TRUE(log.contains(QStringLiteral("Copy relations from GROUP TO LU_GROUP")));
    EXPECT_TRUE(log.contains(QStringLiteral("Delete GROUP relationships")));
}

TEST_P(UpgradeStepsTest, ContactsOfTasksBecomeContactAttachments)
{
    fillBase();
    upgrade();

    const RecordSet rs = db().query(QStringLiteral("SELECT * FROM ATTACH WHERE Attach_Type = 'C'"));
    ASSERT_EQ(rs.rowCount(), 1);
    EXPECT_EQ(rs.number(QStringLiteral("SCR_Number")), 2);
    EXPECT_EQ(rs.text(QStringLiteral("Attach_Filename")), QStringLiteral("7"));
    EXPECT_EQ(rs.text(QStringLiteral("Attach_Owner")), QStringLiteral("admin"));
    EXPECT_EQ(rs.text(QStringLiteral("Attach_Title")),
              QStringLiteral("Contact, admin, 2024-01-31 14:05:09"));
    EXPECT_EQ(rs.dateTime(QStringLiteral("Attach_Date")),
              QDateTime(QDate(2024, 1, 31), QTime(13, 5, 9), Qt::UTC))
        << "stored in GMT";
    EXPECT_EQ(count(QStringLiteral("SELECT count(*) FROM SCR WHERE SCR_Contact_Key <> 0")), 0);
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

    const RecordSet rs = db().query(
        QStringLiteral("SELECT * FROM ATTACH WHERE Attach_Type = 'R' ORDER BY Attach_Filename"));
    ASSERT_EQ(rs.rowCount(), 2) << "the old report is gone; missing files are skipped";
    EXPECT_EQ(rs.value(0, QStringLiteral("Attach_Title")).toString(),
              QStringLiteral("Activities Completed this Week, admin, 2024-01-31 14:05:09"));
    EXPECT_EQ(rs.value(1, QStringLiteral("Attach_Title")).toString(),
              QStringLiteral("Over Due Tasks, admin, 2024-01-31 14:05:09"));
    EXPECT_EQ(rs.value(1, QStringLiteral("Attach_Filename")).toString(), QStringLiteral("4.rpx"));
    EXPECT_EQ(rs.value(0, QStringLiteral("Attach_Owner")).toString(), QStringLiteral("admin"));
    EXPECT_EQ(readBlob(rs.value(0, QStringLiteral("Attach_Number")).toLongLong()),
              QByteArray("first layout"));
    EXPECT_EQ(readBlob(rs.value(1, QStringLiteral("Attach_Number")).toLongLong()),
              QByteArray("fourth"));
}

TEST_P(UpgradeStepsTest, TaskRulesRefuseUnknownReferencesOnly)
{
    fillBase();
    upgrade();
    const QString insert = QStringLiteral(
        "INSERT INTO SCR (SCR_Counter, SCR_Number, SCR_Title, SCR_Priority, SCR_Category, "
        "SCR_Request_ID) VALUES (?, ?, 'New', ?, ?, ?)");
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
    refused(insert, {10, 10, QStringLiteral("9 - Never"), QVariant(), QStringLiteral("admin")},
            "44447", "LU_PRIORITY");
    refused(insert, {10, 10, QVariant(), QStringLiteral("Nowhere"), QStringLiteral("admin")},
            "44447", "LU_CATEGORY");
    refused(insert, {10, 10, QVariant(), QVariant(), QStringLiteral("nobody")}, "44447", "LU_USER");

    // A task saved with its title alone, or with blank choices, is fine; names match in any case.
    int n = 20;
    for (const QVariant& empty : {QVariant(), QVariant(QString()), QVariant(QStringLiteral(" "))}) {
        ++n;
        EXPECT_NO_THROW(db().execute(insert, {n, n, empty, empty, empty}));
    }
    EXPECT_NO_THROW(db().execute(insert, {30, 30, QStringLiteral("2 - NORMAL"),
                                          QStringLiteral("o'brien's FOLDER"), kOBrien}));

    const QString update = QStringLiteral("UPDATE SCR SET SCR_Priority = ? WHERE SCR_Number = 30");
    refused(update, {QStringLiteral("Unknown")}, "44446", "LU_PRIORITY");
    refused(QStringLiteral("UPDATE SCR SET SCR_Request_ID = 'ghost' WHERE SCR_Number = 30"), {},
            "44446", "LU_USER");
    EXPECT_NO_THROW(db().execute(update, {QStringLiteral("3 - Low")}));
    // A row of an older build that names an unknown priority can still be edited otherwise.
    EXPECT_NO_THROW(
        db().execute(QStringLiteral("UPDATE SCR SET SCR_Title = 'Renamed' WHERE SCR_Number = 3")));
}

TEST_P(UpgradeStepsTest, RelationsCascadeOrRefuseAsDeclared)
{
    fillBase();
    upgrade();
    Database& d = db();
    d.execute(QStringLiteral("INSERT INTO LU_GROUP (GROUP_ID, GROUP_NAME) VALUES (50, 'Temp')"));
    d.execute(
        QStringLiteral("INSERT INTO MAIL (Mail_Number, Title, group_id) VALUES (201, 'x', 50)"));
    d.execute(QStringLiteral("DELETE FROM LU_GROUP WHERE GROUP_ID = 50"));
    EXPECT_EQ(count(QStringLiteral("SELECT count(*) FROM MAIL WHERE Mail_Number = 201")), 0);
    EXPECT_EQ(count(QStringLiteral("SELECT count(*) FROM MAIL WHERE Mail_Number = 200")), 1);

    d.execute(QStringLiteral("INSERT INTO LU_ACCESS_LEVEL (USER_ID, ACCESS_LEVEL, ACCESS_TYPE) "
                             "VALUES (?, 'Docs', 'VIEW')"),
              {kOBrien});
    d.execute(QStringLiteral("UPDATE LU_CATEGORY SET Category = ? WHERE Category = 'Docs'"),
              {QStringLiteral("Doc's")});
    EXPECT_EQ(d.scalar(QStringLiteral("SELECT ACCESS_LEVEL FROM LU_ACCESS_LEVEL")).toString(),
              QStringLiteral("Doc's"));
    EXPECT_THROW(d.execute(QStringLiteral("INSERT INTO LU_ACCESS_LEVEL (USER_ID, ACCESS_LEVEL, "
                                          "ACCESS_TYPE) VALUES ('nobody', ?, 'VIEW')"),
                           {QStringLiteral("Doc's")}),
                 DbError);
    EXPECT_THROW(d.execute(QStringLiteral("INSERT INTO LU_ACCESS_LEVEL (USER_ID, ACCESS_LEVEL, "
                                          "ACCESS_TYPE) VALUES (?, ?, 'VIEW')"),
                           {kOBrien, QStringLiteral("Doc's")}),
                 DbError)
        << "the three columns are the key";

    // A workshop with sub-workshops or checklists stays.
    d.execute(QStringLiteral("INSERT INTO LU_GROUP (GROUP_ID, GROUP_NAME) VALUES (60, 'Parent')"));
    d.execute(QStringLiteral("INSERT INTO LU_GROUP (GROUP_ID, GROUP_NAME, parent_workshop) "
                             "VALUES (61, 'Child', 60)"));
    EXPECT_THROW(d.execute(QStringLiteral("DELETE FROM LU_GROUP WHERE GROUP_ID = 60")), DbError);
    EXPECT_EQ(count(QStringLiteral("SELECT count(*) FROM LU_GROUP WHERE GROUP_ID IN (60, 61)")), 2);
    d.execute(QStringLiteral("DELETE FROM LU_GROUP WHERE GROUP_ID = 61"));
    d.execute(QStringLiteral("UPDATE CHECKLIST SET group_id = 60"));
    EXPECT_THROW(d.execute(QStringLiteral("DELETE FROM LU_GROUP WHERE GROUP_ID = 60")), DbError);
    d.execute(QStringLiteral("UPDATE CHECKLIST SET group_id = NULL"));
    EXPECT_NO_THROW(d.execute(QStringLiteral("DELETE FROM LU_GROUP WHERE GROUP_ID = 60")));

    d.execute(QStringLiteral("INSERT INTO CALL_LOG (CALL_ID, Contact_Key, Content) "
                             "VALUES (1, 7, 'Called')"));
    d.execute(QStringLiteral("DELETE FROM CONTACT WHERE CONTACT_KEY = 7"));
    EXPECT_EQ(count(QStringLiteral("SELECT count(*) FROM CALL_LOG")), 0);
}

TEST_P(UpgradeStepsTest, AFailingStepLeavesNothingBehind)
{
    upgrade(0, 66);
    db().execute(QStringLiteral("INSERT INTO MAIL (Mail_Number, Title, group_id) "
                                "VALUES (202, 'orphan', 999)"));
    const auto relations = step(67);
    {
        Transaction tx(db());
        EXPECT_THROW(relations->execute(db(), *m_log, context()), DbError)
            << "a message of a workshop that does not exist breaks the relation";
    }
    EXPECT_TRUE(relations->check(db()));
    // Nothing of the failed step remains: MAIL still takes any workshop number.
    EXPECT_NO_THROW(db().execute(QStringLiteral("INSERT INTO MAIL (Mail_Number, Title, group_id) "
                                                "VALUES (203, 'orphan too', 998)")));
    if (!isServer()) {
        EXPECT_EQ(db().scalar(QStringLiteral("PRAGMA integrity_check")).toString(),
                  QStringLiteral("ok"));
    }

    db().execute(QStringLiteral("DELETE FROM MAIL WHERE Mail_Number IN (202, 203)"));
    upgrade(67);
    EXPECT_FALSE(relations->check(db()));
    EXPECT_THROW(db().execute(QStringLiteral("INSERT INTO MAIL (Mail_Number, Title, group_id) "
                                             "VALUES (204, 'orphan', 999)")),
                 DbError);
}

TEST_P(UpgradeStepsTest, OnlyConversionErrorsArePassedOverAndOnlyByLenientSteps)
{
    db().executeScript(QStringLiteral("CREATE TABLE NUMS (n INTEGER PRIMARY KEY)"));
    const QString badValue =
        isServer() ? QStringLiteral("INSERT INTO NUMS (n) VALUES (CAST('x' AS integer))")
                   : QStringLiteral("INSERT INTO NUMS (n) VALUES ('x')");
    Transaction tx(db());
    StepActions lenient(db(), *m_log, context(), ErrorPolicy::IgnoreConversionErrors);
    EXPECT_NO_THROW(lenient.run(badValue));
    lenient.run(QStringLiteral("INSERT INTO NUMS (n) VALUES (1)"));
    EXPECT_THROW(lenient.run(QStringLiteral("INSERT INTO NO_SUCH_TABLE (n) VALUES (1)")), DbError);
    lenient.run(QStringLiteral("INSERT INTO NUMS (n) VALUES (2)"));
    EXPECT_EQ(count(QStringLiteral("SELECT count(*) FROM NUMS")), 2);
    EXPECT_TRUE(logText().contains(QStringLiteral("Ignored Error: ")));

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
    const QString task = QStringLiteral(
        "INSERT INTO SCR (SCR_Counter, SCR_Number, SCR_Title, SCR_Status, SCR_Owner_User_ID, "
        "SCR_Request_Date, SCR_Owner_Target_Date) VALUES (?, ?, 'T', ?, 'admin', ?, ?)");
    const auto day = [](int n) { return QDateTime(QDate(2024, 1, n), QTime(10, 0), Qt::UTC); };
    d.execute(task, {1, 1, QStringLiteral("C"), day(1), day(5)});
    d.execute(task, {2, 2, QStringLiteral("A"), day(2), day(3)});
    d.execute(QStringLiteral("INSERT INTO ROUTE (Route_Number, SCR_Number, Route_Status, "
                             "Route_Date_In) VALUES (1, 1, 'C', ?)"),
              {QDateTime(QDate(2024, 1, 11), QTime(8, 0), Qt::UTC)});

    const RecordSet reports =
        d.query(QStringLiteral("SELECT ID, CubeTitle, SQLQuery FROM OLAP_REPORT ORDER BY ID"));
    ASSERT_EQ(reports.rowCount(), 3);
    QMap<QString, RecordSet> results;
    for (int i = 0; i < reports.rowCount(); ++i) {
        const QString title = reports.value(i, QStringLiteral("CubeTitle")).toString();
        EXPECT_EQ(count(QStringLiteral("SELECT count(*) FROM OLAP_DIMENSION WHERE ReportID = ?"),
                        {reports.value(i, QStringLiteral("ID"))}),
                  9);
        results[title] = d.query(reports.value(i, QStringLiteral("SQLQuery")).toString());
    }
    const RecordSet completed = results.value(QStringLiteral("Completed tasks over time"));
    ASSERT_EQ(completed.rowCount(), 1);
    EXPECT_EQ(completed.value(QStringLiteral("TaskDate")).typeId(), QMetaType::QDateTime)
        << "the pivot splits only date columns into years and months";
    EXPECT_EQ(completed.number(QStringLiteral("TasksTurnover")), 10);
    EXPECT_EQ(completed.number(QStringLiteral("DaysDelay")), 6);
    EXPECT_EQ(results.value(QStringLiteral("Initiated tasks over time")).rowCount(), 2);
    const RecordSet late = results.value(QStringLiteral("Late tasks over time"));
    EXPECT_EQ(late.rowCount(), 2) << "both are past their target";

    const RecordSet parts = d.query(
        QStringLiteral(
            "SELECT Name, ItemParameter1, ItemParameter2, ParentItem FROM OLAP_DIMENSION WHERE "
            "ItemType = 1 AND ReportID = ? ORDER BY Position"),
        {reports.value(0, QStringLiteral("ID"))});
    ASSERT_EQ(parts.rowCount(), 3);
    EXPECT_EQ(parts.value(2, QStringLiteral("Name")).toString(), QStringLiteral("MONTH_TaskDate"));
    EXPECT_EQ(parts.value(2, QStringLiteral("ItemParameter1")).toInt(), 8);
    EXPECT_EQ(parts.value(2, QStringLiteral("ItemParameter2")).toInt(), 3);
    EXPECT_EQ(parts.value(2, QStringLiteral("ParentItem")).toString(), QStringLiteral("TaskDate"));
}

// After every step the content streams; on the server it is freed with its row or value.
TEST_P(UpgradeStepsTest, AttachmentContentStreamsAndIsFreedWithItsRow)
{
    upgrade();
    if (!isServer()) {
        const QList<ColumnInfo> columns = db().columns(QStringLiteral("ATTACH"));
        EXPECT_EQ(columns.last().name, QStringLiteral("OLE_Data"));
    }
    db().execute(QStringLiteral("INSERT INTO ATTACH (Attach_Number, Attach_Type) VALUES (7, 'F')"));
    QByteArray big(100 * 1024, Qt::Uninitialized);
    for (int i = 0; i < big.size(); ++i)
        big[i] = char(i * 31 % 251);
    writeBlob(7, QByteArray("first"));
    writeBlob(7, big); // replaced: the layer frees the first value itself
    EXPECT_EQ(readBlob(7), big);
    if (!isServer())
        return;
    const QVariant object =
        db().scalar(QStringLiteral("SELECT OLE_Data FROM ATTACH WHERE Attach_Number = 7"));
    const QString exists =
        QStringLiteral("SELECT count(*) FROM pg_largeobject_metadata WHERE oid = CAST(? AS oid)");
    EXPECT_EQ(count(exists, {object}), 1);
    db().execute(QStringLiteral("DELETE FROM ATTACH WHERE Attach_Number = 7"));
    EXPECT_EQ(count(exists, {object}), 0);

    db().execute(QStringLiteral("INSERT INTO ATTACH (Attach_Number, Attach_Type) VALUES (9, 'M')"));
    EXPECT_NO_THROW(db().execute(QStringLiteral("DELETE FROM ATTACH WHERE Attach_Number = 9")))
        << "a row without content deletes as well";
}

BX_INSTANTIATE_ENGINES(UpgradeStepsTest);
