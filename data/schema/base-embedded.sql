-- The shared schema on the embedded engine as the oldest supported build left it: the upgrade
-- steps start from here. Tables, columns and relations that a step adds are deliberately absent;
-- the template database "pax.md_" is built from this script when the program is built.
--
-- Conventions: text is case-insensitive (COLLATE NOCASE); flags are INTEGER, true stored as -1 and
-- false as 0; dates are DATETIME holding "yyyy-MM-dd HH:mm:ss" in GMT; number columns are the
-- table's counter (INTEGER PRIMARY KEY AUTOINCREMENT).

-- The server engine draws every new number from this table; the embedded engine draws them from
-- each table's counter and keeps it only so that both engines list the same tables.
CREATE TABLE LU_SERIALS (
    Ser INTEGER PRIMARY KEY AUTOINCREMENT,
    i INTEGER
);

CREATE TABLE Vars (
    VarName TEXT COLLATE NOCASE PRIMARY KEY,
    VarValue TEXT COLLATE NOCASE
);

CREATE TABLE SYSTEM (
    MAX_STORAGE INTEGER,
    Chunk_Size INTEGER,
    Query_Wait INTEGER,
    Edit_Attachments INTEGER DEFAULT 0,
    GetParentParams INTEGER DEFAULT 0,
    NoLogon INTEGER DEFAULT 0,
    ShowApproverName INTEGER DEFAULT 0,
    Show_Custom INTEGER DEFAULT 0,
    Label_Custom TEXT COLLATE NOCASE,
    Reports_Folder TEXT COLLATE NOCASE,
    SMTPServer TEXT COLLATE NOCASE,
    SMTPUser TEXT COLLATE NOCASE,
    SMTPPwd TEXT COLLATE NOCASE,
    Mand_Target_Date INTEGER DEFAULT 0,
    Mand_Category INTEGER DEFAULT 0,
    Mand_Priority INTEGER DEFAULT 0,
    Mand_Contact INTEGER DEFAULT 0
);

CREATE TABLE SEARCH_TABLES (
    SCR_Number_Field TEXT COLLATE NOCASE,
    TableName TEXT COLLATE NOCASE,
    FieldName TEXT COLLATE NOCASE
);

-- People

CREATE TABLE LU_USER (
    USER_ID TEXT COLLATE NOCASE PRIMARY KEY,
    User_Name TEXT COLLATE NOCASE,
    User_Password TEXT COLLATE NOCASE,
    User_Email TEXT COLLATE NOCASE,
    User_Location TEXT COLLATE NOCASE,
    Disabled INTEGER DEFAULT 0,
    Supervisor_User_ID TEXT COLLATE NOCASE,
    Full_Access INTEGER DEFAULT 0,
    Allow_Edit_Custom INTEGER DEFAULT 0,
    Allow_Forwarding INTEGER DEFAULT 0,
    Edit_Contact_Info INTEGER DEFAULT 0,
    Delete_Contact_Info INTEGER DEFAULT 0,
    Edit_Unowned INTEGER DEFAULT 0,
    Allow_Edit_CloseDate INTEGER DEFAULT 0,
    Allow_Create_Lifecycle INTEGER DEFAULT 0,
    Edit_Custom_Tab INTEGER DEFAULT 0,
    User_Review_Account INTEGER DEFAULT 0,
    Parent_User_Notify INTEGER DEFAULT 0,
    Ext1 INTEGER DEFAULT 0,
    Ext2 INTEGER DEFAULT 0,
    Ext3 INTEGER DEFAULT 0,
    Ext4 INTEGER DEFAULT 0,
    Ext5 INTEGER DEFAULT 0,
    Ext6 INTEGER DEFAULT 0,
    Ext7 INTEGER DEFAULT 0,
    Ext8 INTEGER DEFAULT 0,
    Ext9 TEXT COLLATE NOCASE,
    Ext10 INTEGER DEFAULT 0,
    Ext11 INTEGER DEFAULT 0,
    Ext12 INTEGER DEFAULT 0,
    Ext13 INTEGER DEFAULT 0
);

-- The workshops of this build; a step copies them to LU_GROUP. The s_ columns are replication
-- bookkeeping that the copy leaves behind.
CREATE TABLE "group" (
    GROUP_ID INTEGER PRIMARY KEY AUTOINCREMENT,
    GROUP_NAME TEXT COLLATE NOCASE,
    s_GUID TEXT COLLATE NOCASE,
    s_Generation INTEGER
);

CREATE TABLE GROUPLINK (
    GROUP_ID INTEGER,
    USER_ID TEXT COLLATE NOCASE
);
CREATE INDEX GROUPLINK_USER_ID ON GROUPLINK (USER_ID);

CREATE TABLE REPLICA (
    User_ID TEXT COLLATE NOCASE,
    Replica_Location TEXT COLLATE NOCASE,
    Export INTEGER DEFAULT 0,
    Import INTEGER DEFAULT 0
);

-- Lookup lists

CREATE TABLE LU_PRIORITY (
    Priority TEXT COLLATE NOCASE PRIMARY KEY
);

CREATE TABLE LU_CATEGORY (
    Category TEXT COLLATE NOCASE PRIMARY KEY,
    Parent_Category TEXT COLLATE NOCASE
);

CREATE TABLE LU_RULES (
    RULE_NAME TEXT COLLATE NOCASE PRIMARY KEY,
    SCRIPT TEXT COLLATE NOCASE
);

-- Tasks and their parts

-- SCR_Counter is the counter a new row draws; its value then becomes SCR_Number, which is why
-- SCR_Number may be Null for the instant between the two.
CREATE TABLE SCR (
    SCR_Counter INTEGER PRIMARY KEY AUTOINCREMENT,
    SCR_Number INTEGER UNIQUE,
    SCR_Title TEXT COLLATE NOCASE,
    SCR_Priority TEXT COLLATE NOCASE,
    SCR_Category TEXT COLLATE NOCASE,
    SCR_Status TEXT COLLATE NOCASE,
    SCR_Request_ID TEXT COLLATE NOCASE,
    SCR_Request_Date DATETIME,
    SCR_Owner_User_ID TEXT COLLATE NOCASE,
    SCR_OwnerType INTEGER DEFAULT 0,
    SCR_Owner_Date_In DATETIME,
    SCR_Owner_Date_Viewed DATETIME,
    SCR_Owner_Target_Date DATETIME,
    SCR_Firm_Target_Date INTEGER DEFAULT 0,
    SCR_StartDate DATETIME,
    SCR_Lifecycle_End_Date DATETIME,
    SCR_Lifecycle_ID TEXT COLLATE NOCASE,
    SCR_LC_Stage_Name TEXT COLLATE NOCASE,
    SCR_LC_Owner_ID TEXT COLLATE NOCASE,
    SCR_Route_Number INTEGER DEFAULT 0,
    SCR_Route_Note TEXT COLLATE NOCASE,
    SCR_Parent_Number INTEGER DEFAULT 0,
    SCR_Parent_Folder_Number INTEGER DEFAULT 0,
    SCR_Contact_Key INTEGER DEFAULT 0,
    SCR_Attention INTEGER DEFAULT 0,
    SCR_Comments TEXT COLLATE NOCASE,
    SCR_Comments_AsText TEXT COLLATE NOCASE,
    SCR_Percent_Complete INTEGER DEFAULT 0,
    SCR_Sensitive INTEGER DEFAULT 0,
    SCR_Sensitivity_Level TEXT COLLATE NOCASE,
    SCR_Template INTEGER DEFAULT 0,
    SCR_Custom_Field TEXT COLLATE NOCASE,
    SCR_Recurring_Frequency TEXT COLLATE NOCASE
);
CREATE INDEX SCR_Owner ON SCR (SCR_Owner_User_ID);
CREATE INDEX SCR_Parent ON SCR (SCR_Parent_Number);

CREATE TABLE ROUTE (
    Route_Number INTEGER PRIMARY KEY AUTOINCREMENT,
    SCR_Number INTEGER,
    USER_ID TEXT COLLATE NOCASE,
    Route_OwnerType INTEGER DEFAULT 0,
    Route_Date_In DATETIME,
    Route_Date_Out DATETIME,
    Route_Target_Date DATETIME,
    Route_Status TEXT COLLATE NOCASE,
    Route_Action TEXT COLLATE NOCASE,
    Route_Note TEXT COLLATE NOCASE
);
CREATE INDEX ROUTE_SCR_Number ON ROUTE (SCR_Number);

-- OLE_Data is streamed in pieces, which the engine can do only for the last column of a table;
-- the steps that add columns to ATTACH keep it last.
CREATE TABLE ATTACH (
    Attach_Number INTEGER PRIMARY KEY AUTOINCREMENT,
    SCR_Number INTEGER DEFAULT 0,
    Attach_Title TEXT COLLATE NOCASE,
    Attach_Type TEXT COLLATE NOCASE,
    Attach_Owner TEXT COLLATE NOCASE,
    Attach_Date DATETIME,
    Attach_Filename TEXT COLLATE NOCASE,
    Publish INTEGER DEFAULT 0,
    Show_In_TabBar INTEGER DEFAULT 0,
    Temp_Status INTEGER DEFAULT 0,
    OLE_Data BLOB
);
CREATE INDEX ATTACH_SCR_Number ON ATTACH (SCR_Number);

CREATE TABLE FORM (
    Form_Name TEXT COLLATE NOCASE PRIMARY KEY,
    Form_Caption TEXT COLLATE NOCASE,
    Form_Width INTEGER,
    Form_Height INTEGER,
    Form_Date DATETIME
);

CREATE TABLE CONTROL (
    FORM_NAME TEXT COLLATE NOCASE,
    CONTROL_KEY INTEGER,
    ATTACH_NUMBER INTEGER DEFAULT 0,
    MAIN_FORM TEXT COLLATE NOCASE,
    NAME TEXT COLLATE NOCASE,
    TYPE TEXT COLLATE NOCASE,
    VALUE TEXT COLLATE NOCASE,
    CHECKED INTEGER DEFAULT 0,
    MANDATORY INTEGER DEFAULT 0,
    "left" INTEGER,
    TOP INTEGER,
    WIDTH INTEGER,
    HEIGHT INTEGER,
    RIGHT_ALIGN INTEGER DEFAULT 0,
    DATABASE TEXT COLLATE NOCASE,
    "table" TEXT COLLATE NOCASE,
    FIELD TEXT COLLATE NOCASE
);
CREATE INDEX CONTROL_Form ON CONTROL (FORM_NAME, ATTACH_NUMBER);

CREATE TABLE CUSTOM (
    FORM_NAME TEXT COLLATE NOCASE,
    CONTROL_NAME TEXT COLLATE NOCASE,
    CONTROL_VALUE TEXT COLLATE NOCASE,
    CONTROL_VISIBLE INTEGER DEFAULT -1
);

CREATE TABLE LU_ACTIVEX (
    ID INTEGER PRIMARY KEY AUTOINCREMENT,
    ActiveX_Control_Name TEXT COLLATE NOCASE,
    label TEXT COLLATE NOCASE,
    Plugin_Name TEXT COLLATE NOCASE
);

CREATE TABLE TOOL (
    Tool_Name TEXT COLLATE NOCASE PRIMARY KEY,
    Tool_EXE TEXT COLLATE NOCASE,
    Tool_Description TEXT COLLATE NOCASE,
    Tool_Param_SCR_Number INTEGER DEFAULT 0,
    Tool_Param_User_ID INTEGER DEFAULT 0,
    Tool_Access_Screen INTEGER DEFAULT 0,
    Tool_SCR_Screen INTEGER DEFAULT 0
);

-- Workflow

CREATE TABLE LIFECYCLE (
    Lifecycle_ID TEXT COLLATE NOCASE,
    Lifecycle_Description TEXT COLLATE NOCASE,
    Owner_ID TEXT COLLATE NOCASE
);

CREATE TABLE LIFECYCLE_USER (
    Lifecycle_ID TEXT COLLATE NOCASE,
    LC_Stage_Name TEXT COLLATE NOCASE,
    LC_Sequence_Number INTEGER DEFAULT 0,
    UserType INTEGER DEFAULT 0,
    User_ID TEXT COLLATE NOCASE,
    Days_In_Cycle INTEGER DEFAULT 0,
    Rule_Name TEXT COLLATE NOCASE,
    Owner_ID TEXT COLLATE NOCASE
);

CREATE TABLE LIFECYCLE_ACTION (
    Lifecycle_ID TEXT COLLATE NOCASE,
    LC_Stage_Name TEXT COLLATE NOCASE,
    Action_Name TEXT COLLATE NOCASE,
    Mandatory INTEGER DEFAULT 0,
    Owner_ID TEXT COLLATE NOCASE,
    SCR_Number INTEGER DEFAULT 0,
    Signature TEXT COLLATE NOCASE
);

CREATE TABLE CHECKLIST (
    Checklist_Name TEXT COLLATE NOCASE PRIMARY KEY,
    Checklist_Description TEXT COLLATE NOCASE,
    Checklist_Date DATETIME
);

CREATE TABLE CHECKLIST_ITEM (
    Checklist_Name TEXT COLLATE NOCASE,
    Action_Name TEXT COLLATE NOCASE,
    Mandatory INTEGER DEFAULT 0,
    Sign_User_ID TEXT COLLATE NOCASE,
    Attach_Number INTEGER DEFAULT 0,
    User_ID TEXT COLLATE NOCASE
);

-- Messaging, contacts, time

CREATE TABLE MAIL (
    Mail_Number INTEGER PRIMARY KEY AUTOINCREMENT,
    Title TEXT COLLATE NOCASE,
    Body TEXT COLLATE NOCASE,
    Owner_User_ID TEXT COLLATE NOCASE,
    Date DATETIME
);
CREATE INDEX MAIL_Owner ON MAIL (Owner_User_ID);

CREATE TABLE FOLDER (
    Folder_Counter INTEGER PRIMARY KEY AUTOINCREMENT,
    Folder_Name TEXT COLLATE NOCASE,
    Folder_Owner_ID TEXT COLLATE NOCASE
);

CREATE TABLE CONTACT (
    CONTACT_KEY INTEGER PRIMARY KEY AUTOINCREMENT,
    Last_Name TEXT COLLATE NOCASE,
    First_Name TEXT COLLATE NOCASE,
    MI TEXT COLLATE NOCASE,
    Title TEXT COLLATE NOCASE,
    Company_Name TEXT COLLATE NOCASE,
    Address TEXT COLLATE NOCASE,
    City TEXT COLLATE NOCASE,
    State TEXT COLLATE NOCASE,
    Zip TEXT COLLATE NOCASE,
    Phone_Home TEXT COLLATE NOCASE,
    Phone_Work TEXT COLLATE NOCASE,
    FAX TEXT COLLATE NOCASE,
    Email TEXT COLLATE NOCASE,
    Notes TEXT COLLATE NOCASE
);

CREATE TABLE PAXCAL (
    Cal_Entry INTEGER PRIMARY KEY AUTOINCREMENT,
    Cal_ID TEXT COLLATE NOCASE,
    Cal_Subject TEXT COLLATE NOCASE,
    Cal_Location TEXT COLLATE NOCASE,
    Cal_Start DATETIME,
    Cal_End DATETIME,
    Cal_All_Day INTEGER DEFAULT 0,
    Cal_Reminder INTEGER DEFAULT 0,
    Cal_Notes TEXT COLLATE NOCASE,
    SCR_Number INTEGER DEFAULT 0
);
CREATE INDEX PAXCAL_Cal_ID ON PAXCAL (Cal_ID);

CREATE TABLE TIME_SHEET (
    ID_Sheet INTEGER PRIMARY KEY AUTOINCREMENT,
    SCR_Number_Sheet INTEGER,
    User_Id TEXT COLLATE NOCASE,
    Date_Sheet DATETIME,
    Start_Sheet DATETIME,
    Time_Sheet INTEGER DEFAULT 0,
    Time_Sheet_Minute INTEGER DEFAULT 0,
    Comment_Sheet TEXT COLLATE NOCASE,
    Timer_Running INTEGER DEFAULT 0,
    StartTime DATETIME
);
CREATE INDEX TIME_SHEET_SCR_Number ON TIME_SHEET (SCR_Number_Sheet);

CREATE TABLE TIME_SHEET_ROUTE (
    Id INTEGER PRIMARY KEY AUTOINCREMENT,
    ID_SHEET INTEGER,
    User_ID TEXT COLLATE NOCASE,
    Date_Route DATETIME,
    Action TEXT COLLATE NOCASE,
    Old_Value TEXT COLLATE NOCASE,
    Comment TEXT COLLATE NOCASE
);

CREATE TABLE tblReportQueue (
    Queue_ID INTEGER PRIMARY KEY AUTOINCREMENT,
    Attach_Number INTEGER,
    Queue_Date DATETIME,
    Queue_Status TEXT COLLATE NOCASE,
    Printer_Name TEXT COLLATE NOCASE,
    Copies INTEGER DEFAULT 1
);

-- Initial rows

-- The built-in administrator holds every right and starts without a password.
INSERT INTO LU_USER (USER_ID, User_Name, User_Password, Disabled, Full_Access, Allow_Edit_Custom,
                     Allow_Forwarding, Edit_Contact_Info, Delete_Contact_Info, Edit_Unowned,
                     Allow_Edit_CloseDate, Allow_Create_Lifecycle, Edit_Custom_Tab,
                     User_Review_Account, Ext8, Ext10, Ext11, Ext12, Ext13)
VALUES ('admin', 'Administrator', '', 0, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);

INSERT INTO SYSTEM (MAX_STORAGE, Chunk_Size, Query_Wait, Edit_Attachments, GetParentParams,
                    NoLogon, ShowApproverName, Show_Custom, Label_Custom, Mand_Target_Date,
                    Mand_Category, Mand_Priority, Mand_Contact)
VALUES (365, 2000, 10, -1, -1, 0, -1, 0, 'Custom', 0, 0, 0, 0);

INSERT INTO LU_PRIORITY (Priority) VALUES ('1 - High');
INSERT INTO LU_PRIORITY (Priority) VALUES ('2 - Normal');
INSERT INTO LU_PRIORITY (Priority) VALUES ('3 - Low');
