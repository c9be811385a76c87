// Every window of the program opens at a size that shows all of its toolbar commands, tabs and
// list columns on a 1366x768 screen, the smallest one the windows are made for.
//
// With BX_SCREENSHOT_DIR set, each window (and each page of its tab widgets) is also saved there
// as a PNG, for people working on the windows to look at (scripts/screenshots.sh).

#include "contacts/ui/F_CONTACT.h"
#include "contacts/ui/F_CONTACTS.h"
#include "contacts/ui/dlgCallLog.h"
#include "core/Session.h"
#include "core/db/Database.h"
#include "core/db/SecondConnection.h"
#include "core/settings/SettingsStore.h"
#include "core/settings/WindowLayout.h"
#include "core/ui/F_SYSTEM.h"
#include "dbadmin/UpgradeStep.h"
#include "dbadmin/ui/dlgUpgrade.h"
#include "dbadmin/ui/frmWizard.h"
#include "mainwindow/ui/Access_Form.h"
#include "mainwindow/ui/DlgTaskListOptions.h"
#include "mainwindow/ui/F_DOCFIND.h"
#include "mainwindow/ui/F_FIND.h"
#include "mainwindow/ui/F_TOOL.h"
#include "mainwindow/ui/FileCabinetPage.h"
#include "mainwindow/ui/TOOL_FORM.h"
#include "mainwindow/ui/TeamView.h"
#include "mainwindow/ui/dlgActiveX.h"
#include "mainwindow/ui/dlgArchive.h"
#include "mainwindow/ui/dlgModifyActiveX.h"
#include "messaging/ui/AddressBook.h"
#include "messaging/ui/dlgEmail.h"
#include "messaging/ui/dlgMailError.h"
#include "messaging/ui/dlgMailSetup.h"
#include "people/ui/AddGroup.h"
#include "people/ui/AddUser.h"
#include "people/ui/DlgAddTeam.h"
#include "people/ui/F_USER.h"
#include "people/ui/GROUP_FORM.h"
#include "people/ui/JoinTeam.h"
#include "people/ui/LOGIN_FORM.h"
#include "people/ui/NEWPW.h"
#include "people/ui/USER_FORM.h"
#include "people/ui/dlgChooseUser.h"
#include "people/ui/dlgGetUnsecLogin.h"
#include "people/ui/dlgUsers.h"
#include "people/ui/jtWizard.h"
#include "reports/ReportRunner.h"
#include "reports/TimeSheets.h"
#include "reports/ui/BIViewer.h"
#include "reports/ui/dlgBI.h"
#include "reports/ui/dlgBIScreen.h"
#include "reports/ui/dlgNewFormula.h"
#include "reports/ui/dlgTSHReport.h"
#include "reports/ui/dlgTimeSheet.h"
#include "reports/ui/frmARDesigner.h"
#include "reports/ui/frmARWizard.h"
#include "reports/ui/frmReportProperties.h"
#include "support/ContactRows.h"
#include "support/Lifecycles.h"
#include "support/PivotRows.h"
#include "support/TaskRows.h"
#include "support/WindowTest.h"
#include "tasks/ReportStore.h"
#include "tasks/TaskEditorHost.h"
#include "tasks/TaskOpening.h"
#include "tasks/ui/ACTIVEX_FORM.h"
#include "tasks/ui/ATTFILE.h"
#include "tasks/ui/CHECKLIST_FORM.h"
#include "tasks/ui/COPY_ATT.h"
#include "tasks/ui/F_COMMENTS.h"
#include "tasks/ui/F_LOOKUP.h"
#include "tasks/ui/Form_Form.h"
#include "tasks/ui/LOOKUP_FORM.h"
#include "tasks/ui/Memo_Form.h"
#include "tasks/ui/SCR_FORM.h"
#include "tasks/ui/SIGN_FORM.h"
#include "tasks/ui/dlgAttachLink.h"
#include "tasks/ui/dlgCategories.h"
#include "tasks/ui/dlgCustomTab.h"
#include "tasks/ui/dlgDateInF.h"
#include "tasks/ui/dlgPriority.h"
#include "tasks/ui/frmFormDesigner.h"
#include "tasks/ui/frmWindowCustomisation.h"
#include "workflow/ui/ACTION.h"
#include "workflow/ui/FORWARD_FORM.h"
#include "workflow/ui/F_CHECKLIST.h"
#include "workflow/ui/F_TO_DO.h"
#include "workflow/ui/LIFECYCLE_FORM.h"
#include "workflow/ui/Lifecycle_designer.h"
#include "workflow/ui/ROUTE_HISTORY.h"
#include "workflow/ui/Rules.h"
#include "workflow/ui/TRIGGERS_FORM.h"
#include "workflow/ui/dlgChecklist.h"
#include "workflow/ui/dlgStageList.h"
#include "workflow/ui/frmChecklistDesigner.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSignalSpy>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>

#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

using namespace Qt::StringLiterals;
using namespace bx;

namespace {

constexpr QSize kSmallScreen(1366, 768);

const QString kCycle = u"Buyer's cycle"_s;
const QString kDraft = u"Draft"_s;
const QString kReview = u"Boss's OK"_s;
constexpr qlonglong kShop = 4;
constexpr qlonglong kTask = 42;

QString nameOf(const QObject* o)
{
    return o->objectName().isEmpty() ? QString::fromLatin1(o->metaObject()->className())
                                     : o->objectName();
}

/** The captions of the commands a toolbar has moved into its extension menu. */
QStringList hiddenCommands(const QToolBar& bar)
{
    QStringList hidden;
    for (QAction* action : bar.actions()) {
        const QWidget* button = bar.widgetForAction(action);
        if (action->isVisible() && !action->isSeparator() && button && !button->isVisible())
            hidden << action->iconText();
    }
    return hidden;
}

/**
 * The column header of a list whose columns are fixed by the window; null for other views and for
 * the task grids, whose columns each user chooses in the list options.
 */
const QHeaderView* columnsOf(const QAbstractItemView& view)
{
    static const QStringList userColumns{u"TaskGrid"_s, u"lvDiscussion"_s};
    if (userColumns.contains(view.objectName()))
        return nullptr;
    if (const auto* tree = qobject_cast<const QTreeView*>(&view))
        return tree->header();
    if (const auto* table = qobject_cast<const QTableView*>(&view))
        return table->horizontalHeader();
    return nullptr;
}

/**
 * What does not fit in `window` as it is laid out now, one line each: toolbars with commands in
 * their extension menu, menu bars with menus behind their arrow, tab bars that scroll or elide
 * their tabs, and lists whose columns need a horizontal scroll bar or cut a column's caption.
 */
QStringList crampedParts(const QWidget& window)
{
    QStringList out;
    for (const QToolBar* bar : window.findChildren<QToolBar*>()) {
        const auto* more = bar->findChild<QToolButton*>(u"qt_toolbar_ext_button"_s);
        if (bar->isVisible() && more && more->isVisible())
            out << u"toolbar %1 hides %2 (width %3)"_s
                       .arg(nameOf(bar), hiddenCommands(*bar).join(u", "_s))
                       .arg(bar->width());
    }
    for (const QMenuBar* bar : window.findChildren<QMenuBar*>()) {
        const auto* more = bar->findChild<QToolButton*>(u"qt_menubar_ext_button"_s);
        if (bar->isVisible() && more && more->isVisible())
            out << u"menu bar %1 hides menus"_s.arg(nameOf(bar));
    }
    for (const QTabBar* tabs : window.findChildren<QTabBar*>()) {
        if (!tabs->isVisible())
            continue;
        bool scrolls = false;
        for (const QToolButton* arrow : tabs->findChildren<QToolButton*>())
            scrolls = scrolls || arrow->isVisible();
        if (scrolls || tabs->sizeHint().width() > tabs->width())
            out << u"tab bar of %1 needs %2 but has %3"_s.arg(nameOf(tabs->parent()))
                       .arg(tabs->sizeHint().width())
                       .arg(tabs->width());
    }
    for (const QAbstractItemView* view : window.findChildren<QAbstractItemView*>()) {
        const QHeaderView* header = columnsOf(*view);
        if (!header || !view->isVisible())
            continue;
        if (header->length() > view->viewport()->width())
            out << u"list %1 needs %2 for its columns but has %3"_s.arg(nameOf(view))
                       .arg(header->length())
                       .arg(view->viewport()->width());
        for (int i = 0; !header->isHidden() && i < header->count(); ++i) {
            if (!header->isSectionHidden(i) && header->sectionSize(i) < header->sectionSizeHint(i))
                out << u"list %1 cuts the caption of column %2 (%3 of %4)"_s
                           .arg(nameOf(view),
                                view->model()->headerData(i, Qt::Horizontal).toString())
                           .arg(header->sectionSize(i))
                           .arg(header->sectionSizeHint(i));
        }
    }
    for (const QLabel* label : window.findChildren<QLabel*>()) {
        if (!label->isVisible() || label->text().isEmpty() || !label->pixmap().isNull())
            continue;
        const int needed =
            label->wordWrap() ? label->heightForWidth(label->width()) : label->sizeHint().height();
        if (label->height() < needed)
            out << u"label %1 needs a height of %2 but has %3"_s.arg(nameOf(label))
                       .arg(needed)
                       .arg(label->height());
    }
    return out;
}

void settle()
{
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
}

/** With BX_SCREENSHOT_DIR set, saves what `window` shows as `<dir>/<name>.png`. */
void screenshot(QWidget& window, QString name)
{
    const QString dir = qEnvironmentVariable("BX_SCREENSHOT_DIR");
    if (dir.isEmpty())
        return;
    name.replace(QRegularExpression(u"[^A-Za-z0-9_-]+"_s), u"_"_s);
    QDir().mkpath(dir);
    EXPECT_TRUE(window.grab().save(QDir(dir).filePath(name + u".png"_s))) << name.toStdString();
}

/**
 * Shows `window` at the size it opens at and lists what does not fit: the window larger than the
 * small screen, then, page by page of every tab widget, the parts crampedParts() names.
 */
QStringList openAndInspect(QWidget& window, const QString& name)
{
    window.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&window)) << name.toStdString();
    settle();
    QStringList out;
    const QSize size = window.frameGeometry().size();
    if (size.width() > kSmallScreen.width() || size.height() > kSmallScreen.height())
        out << u"opens at %1x%2"_s.arg(size.width()).arg(size.height());
    out << crampedParts(window);
    screenshot(window, name);

    for (QTabWidget* tabs : window.findChildren<QTabWidget*>()) {
        if (!tabs->isVisible())
            continue;
        const int first = tabs->currentIndex();
        for (int i = 0; i < tabs->count(); ++i) {
            if (i == first)
                continue;
            tabs->setCurrentIndex(i);
            settle();
            for (const QString& part : crampedParts(window))
                out << u"page %1: %2"_s.arg(tabs->tabText(i).remove(u'&'), part);
            screenshot(window, name + u"-%1-%2"_s.arg(i).arg(tabs->tabText(i).remove(u'&')));
        }
        tabs->setCurrentIndex(first);
    }
    out.removeDuplicates();
    return out;
}

class NoHost final : public TaskEditorHost
{
public:
    void taskSaved(qlonglong, bool) override {}
    void refreshTaskLists() override {}
    qlonglong neighbourTask(qlonglong, int) override { return 0; }
};

class WindowSizesTest;

/** One window of the program: its name and how the program makes it. */
struct WindowCase
{
    const char* name;
    std::function<std::unique_ptr<QWidget>(WindowSizesTest&)> make;
};

void PrintTo(const WindowCase& c, std::ostream* os)
{
    *os << c.name;
}

/**
 * A database with a workshop of two users, a lifecycle of two stages with check items, and a task
 * in it with a route history: enough for every window to show its lists filled.
 */
class WindowSizesTest : public bx::test::WindowTest,
                        public ::testing::WithParamInterface<WindowCase>
{
public:
    // The table of windows makes them from these.
    using WindowTest::clock;
    using WindowTest::db;
    using WindowTest::prompt;
    using WindowTest::session;
    using WindowTest::settings;

    void SetUp() override
    {
        WindowTest::SetUp();
        if (HasFatalFailure())
            return;
        session.user.record.fullAccess = true;
        enterWorkshop(kShop, u"O'Neil's desk"_s);
        bx::test::addUsers(db(), {u"ann"_s, u"bob"_s});
        using namespace bx::test;
        addMembers(db(), kShop, {u"ann"_s, u"bob"_s});
        addLifecycle(db(), kCycle, kShop,
                     {userStage(kDraft, u"ann"_s, kShop), userStage(kReview, u"ann"_s, kShop)});
        addStageAction(db(), kCycle, kReview, kShop, u"Budget agreed"_s, false);
        bx::test::addTaskRow(db(), {{u"SCR_Number"_s, kTask},
                                    {u"SCR_Title"_s, u"Order O'Neil's chairs"_s},
                                    {u"SCR_Request_ID"_s, u"admin"_s},
                                    {u"SCR_Group_ID"_s, kShop},
                                    {u"Meeting_ID"_s, 0}});
        run("INSERT INTO ROUTE (SCR_Number, USER_ID, Route_Status, Route_Action, Route_Note) "
            "VALUES (?, 'ann', 'A', 'YES', ?)",
            {kTask, u"Ordered"_s});
        // The Messages page: a mail folder and received messages, one in the folder, one unread.
        run("INSERT INTO FOLDER (Folder_Counter, Folder_Owner_ID, Folder_Name, "
            "Parent_Folder_Counter, Folder_Type, Group_ID) VALUES (900, 'admin', ?, 0, 1, ?)",
            {u"Suppliers"_s, kShop});
        const struct
        {
            int number;
            const char* title;
            const char* sender;
            bool viewed;
            int folder;
        } mail[] = {{901, "Chairs for O'Neil's desk: the quote came in today", "ann", false, 0},
                    {902, "Lunch on Friday?", "bob", true, 0},
                    {903, "Invoice 2024-117", "ann", true, 900}};
        for (const auto& m : mail)
            run("INSERT INTO MAIL (Mail_Number, Title, Body, Owner_User_ID, Sender, Date, Viewed, "
                "Sent, MAIL_Folder_Number, SourceID, group_id) VALUES (?, ?, ?, 'admin', ?, ?, ?, "
                "0, ?, 0, ?)",
                {m.number, QString::fromUtf8(m.title), QString::fromUtf8(m.title),
                 QString::fromLatin1(m.sender), clock.nowLocal().addSecs(-m.number), m.viewed,
                 m.folder, kShop});
    }

    void TearDown() override { session.closeDatabase(); }

    void run(const char* sql, const QVariantList& params)
    {
        db().execute(QString::fromUtf8(sql), params);
    }

    static QString programDir() { return QCoreApplication::applicationDirPath(); }

    /** The stored reports of a report window, which must outlive it. */
    std::unique_ptr<ReportStore> reports;

    LifecycleStage reviewStage() const
    {
        LifecycleStage stage;
        stage.lifecycleId = kCycle;
        stage.stageName = kReview;
        stage.sequence = 1;
        stage.userId = u"ann"_s;
        stage.groupId = kShop;
        stage.ownerGroupId = kShop;
        stage.designer = u"admin"_s;
        return stage;
    }

    NoHost host;
    QTemporaryDir pages;
};

template <typename W, typename... Args> std::unique_ptr<QWidget> make(Args&&... args)
{
    return std::make_unique<W>(std::forward<Args>(args)...);
}

using T = WindowSizesTest;

/** Checklist attachment 901 of kTask, shown on the tab bar, one of its two items ticked. */
void addTabBarChecklist(T& t)
{
    t.session.system.showApproverName = true;
    t.run("INSERT INTO CHECKLIST (Checklist_Name, group_id) VALUES ('O''Neil''s release', ?)",
          {kShop});
    for (const char* item : {"Every chair is counted and labelled", "Quotation signed"})
        t.run("INSERT INTO CHECKLIST_ITEM (Checklist_Name, Action_Name, Mandatory, Sign_User_ID, "
              "ItemNote, Attach_Number) VALUES ('O''Neil''s release', ?, -1, 'ann', 'Ask the "
              "warehouse first', 0)",
              {QString::fromLatin1(item)});
    t.run("INSERT INTO CHECKLIST_ITEM (Checklist_Name, Action_Name, Attach_Number, User_ID) "
          "VALUES ('O''Neil''s release', 'Quotation signed', 901, 'ann')",
          {});
    t.run("INSERT INTO ATTACH (Attach_Number, SCR_Number, Attach_Type, Attach_Title, "
          "Attach_Filename, Attach_Owner, Show_In_TabBar) VALUES (901, ?, 'K', ?, "
          "'O''Neil''s release', 'ann', -1)",
          {kTask, u"Checklist: O'Neil's release, ann, 2024-01-05 09:30"_s});
}

const WindowCase kWindows[] = {
    // core and database administration
    {"F_SYSTEM", [](T& t) { return make<F_SYSTEM>(t.session, t.prompt); }},
    {"dlgUpgrade",
     [](T& t) {
         return make<dlgUpgrade>(t.db(), t.prompt, UpgradeContext{T::programDir(), &t.clock});
     }},
    {"frmWizard",
     [](T& t) {
         return make<frmWizard>(t.settings, t.prompt, t.clock, t.session.errorLog(),
                                T::programDir());
     }},
    // main window
    {"Access_Form",
     [](T& t) {
         auto form = std::make_unique<Access_Form>(t.session, t.prompt);
         EXPECT_TRUE(QTest::qWaitFor([&] { return !form->teamView()->reading(); }, 20000));
         return std::unique_ptr<QWidget>(std::move(form));
     }},
    {"DlgTaskListOptions", [](T& t) { return make<DlgTaskListOptions>(t.session, t.prompt); }},
    {"F_DOCFIND", [](T& t) { return make<F_DOCFIND>(t.session, t.prompt); }},
    {"F_FIND", [](T& t) { return make<F_FIND>(t.session, t.prompt); }},
    // people and workshops
    {"LOGIN_FORM", [](T& t) { return make<LOGIN_FORM>(t.session, t.prompt, T::programDir()); }},
    {"NEWPW", [](T& t) { return make<NEWPW>(t.session, t.prompt); }},
    {"dlgGetUnsecLogin", [](T& t) { return make<dlgGetUnsecLogin>(t.settings, u"db.example"_s); }},
    {"dlgMailError",
     [](T&) {
         auto dialog = std::make_unique<dlgMailError>();
         dialog->setError(u"Failed to connect to mail.example.org port 25 after "
                          "30000 ms: Couldn't connect to server"_s);
         return std::unique_ptr<QWidget>(std::move(dialog));
     }},
    {"F_USER", [](T& t) { return make<F_USER>(t.session, t.prompt); }},
    {"USER_FORM", [](T& t) { return make<USER_FORM>(t.session, t.prompt, u"OPEN"_s, u"ann"_s); }},
    {"dlgUsers", [](T& t) { return make<dlgUsers>(t.session, t.prompt); }},
    {"AddUser", [](T& t) { return make<AddUser>(t.session, t.prompt); }},
    {"AddGroup", [](T& t) { return make<AddGroup>(t.session, t.prompt); }},
    {"GROUP_FORM", [](T& t) { return make<GROUP_FORM>(t.session, t.prompt, u"OPEN"_s, kShop); }},
    {"DlgAddTeam", [](T& t) { return make<DlgAddTeam>(t.session, t.prompt); }},
    {"JoinTeam", [](T& t) { return make<JoinTeam>(t.session, t.prompt); }},
    {"jtWizard", [](T& t) { return make<jtWizard>(t.session, t.prompt); }},
    {"dlgChooseUser", [](T& t) { return make<dlgChooseUser>(t.session, t.prompt); }},
    {"dlgChooseUser_lifecycles",
     [](T& t) {
         auto chooser = make<dlgChooseUser>(t.session, t.prompt);
         bx::test::child<QRadioButton>(*chooser, "optL")->setChecked(true);
         return chooser;
     }},
    // tasks
    {"SCR_FORM", [](T& t) { return make<SCR_FORM>(t.session, t.prompt, &t.host); }},
    {"SCR_FORM_with_attachments",
     [](T& t) {
         for (const char* type : {"F", "W", "M", "D"})
             t.run("INSERT INTO ATTACH (SCR_Number, Attach_Type, Attach_Title, Attach_Filename, "
                   "Attach_Owner, Attach_Date) VALUES (?, ?, ?, ?, 'ann', ?)",
                   {kTask, QString::fromLatin1(type), u"O'Neil's quotation for the chairs"_s,
                    u"quotation.pdf"_s, QDateTime(QDate(2024, 1, 5), QTime(9, 30))});
         auto editor = std::make_unique<SCR_FORM>(t.session, t.prompt, &t.host);
         EXPECT_TRUE(editor->open(TaskOpening::existing(kTask)));
         return std::unique_ptr<QWidget>(std::move(editor));
     }},
    {"F_LOOKUP", [](T& t) { return make<F_LOOKUP>(t.session, t.prompt); }},
    {"LOOKUP_FORM",
     [](T& t) {
         return make<LOOKUP_FORM>(t.session, t.prompt, LookupKind::Category, u"NEW"_s, QString(),
                                  QString());
     }},
    {"dlgCategories", [](T& t) { return make<dlgCategories>(t.session, t.prompt, false); }},
    {"dlgDateInF", [](T& t) { return make<dlgDateInF>(t.session, t.prompt); }},
    {"dlgPriority", [](T& t) { return make<dlgPriority>(t.session, t.prompt, false); }},
    {"Memo_Form",
     [](T& t) { return make<Memo_Form>(t.session, t.prompt, AttachmentType::Discussion); }},
    {"ATTFILE", [](T& t) { return make<ATTFILE>(t.session, t.prompt); }},
    {"COPY_ATT",
     [](T& t) {
         t.run("INSERT INTO ATTACH (Attach_Number, SCR_Number, Attach_Type, Attach_Title, "
               "Attach_Owner) VALUES (900, ?, 'F', ?, 'ann')",
               {kTask, u"O'Neil's quotation for the chairs.pdf"_s});
         return make<COPY_ATT>(t.session, t.prompt, kTask);
     }},
    {"dlgWebPage",
     [](T& t) { return make<dlgAttachLink>(t.session, t.prompt, AttachmentType::WebPage); }},
    {"dlgShortcut",
     [](T& t) { return make<dlgAttachLink>(t.session, t.prompt, AttachmentType::Shortcut); }},
    {"SIGN_FORM", [](T& t) { return make<SIGN_FORM>(t.session, t.prompt); }},
    {"Form_Form",
     [](T& t) {
         t.run("INSERT INTO FORM (Form_Name) VALUES (?)",
               {u"O'Neil's inspection of the spring chairs"_s});
         t.run("INSERT INTO CONTROL (FORM_NAME, CONTROL_KEY, ATTACH_NUMBER, NAME, TYPE, VALUE, "
               "\"left\", TOP, WIDTH, HEIGHT) VALUES (?, 1, 0, 'Inspector', 'EDIT', '', 150, "
               "150, 4500, 300)",
               {u"O'Neil's inspection of the spring chairs"_s});
         auto window = std::make_unique<Form_Form>(t.session, t.prompt);
         window->openNew(AttachmentPlace{kTask, QString(), kShop});
         return std::unique_ptr<QWidget>(std::move(window));
     }},
    {"CHECKLIST_FORM",
     [](T& t) {
         t.run("INSERT INTO CHECKLIST (Checklist_Name, group_id) VALUES (?, ?)",
               {u"O'Neil's release checklist for the spring chairs"_s, kShop});
         t.session.currentWorkshopId = int(kShop);
         return make<CHECKLIST_FORM>(t.session, t.prompt);
     }},
    // workflow
    {"Lifecycle_designer", [](T& t) { return make<Lifecycle_designer>(t.session, t.prompt); }},
    {"LIFECYCLE_FORM", [](T& t) { return make<LIFECYCLE_FORM>(t.session, t.prompt); }},
    {"TRIGGERS_FORM", [](T& t) { return make<TRIGGERS_FORM>(t.session, t.prompt, kCycle, kShop); }},
    {"ACTION", [](T& t) { return make<ACTION>(t.session, t.prompt, t.reviewStage()); }},
    {"Rules", [](T& t) { return make<Rules>(t.session, t.prompt, u"NEW"_s); }},
    {"F_TO_DO",
     [](T& t) {
         auto panel = std::make_unique<F_TO_DO>(t.session, t.prompt);
         EXPECT_TRUE(panel->InitForm(kCycle, kReview, kShop, kTask, u"admin"_s));
         return std::unique_ptr<QWidget>(std::move(panel));
     }},
    {"F_TO_DO_outside_lifecycle",
     [](T& t) {
         auto panel = std::make_unique<F_TO_DO>(t.session, t.prompt);
         EXPECT_TRUE(panel->InitForm(QString(), QString(), 0, kTask));
         return std::unique_ptr<QWidget>(std::move(panel));
     }},
    {"FORWARD_FORM", [](T& t) { return make<FORWARD_FORM>(t.session, t.prompt); }},
    {"ROUTE_HISTORY",
     [](T& t) { return make<ROUTE_HISTORY>(t.session, t.prompt, kTask, nullptr, t.pages.path()); }},
    {"dlgStageList",
     [](T& t) {
         LifecycleStage draft = t.reviewStage();
         draft.stageName = kDraft;
         return make<dlgStageList>(QList<LifecycleStage>{draft, t.reviewStage()}, kReview);
     }},
    {"frmChecklistDesigner",
     [](T& t) {
         t.run("INSERT INTO CHECKLIST (Checklist_Name, Checklist_Description, group_id) VALUES "
               "(?, ?, ?)",
               {u"O'Neil's release"_s, u"Before the chairs leave the warehouse"_s, kShop});
         auto designer = std::make_unique<frmChecklistDesigner>(t.session, t.prompt);
         EXPECT_TRUE(designer->refresh());
         return std::unique_ptr<QWidget>(std::move(designer));
     }},
    {"dlgChecklist",
     [](T& t) {
         ChecklistDraft draft;
         draft.name = u"O'Neil's release"_s;
         draft.description = u"Before the chairs leave the warehouse"_s;
         draft.items = {
             {u"Count the chairs"_s, true, u"bob"_s, u"Against the order, not the invoice"_s},
             {u"Book the van"_s, false, {}, {}}};
         draft.isNew = false;
         return make<dlgChecklist>(t.session, t.prompt, draft);
     }},
    // messaging
    {"dlgEmail", [](T& t) { return make<dlgEmail>(t.session, t.prompt); }},
    {"dlgMailSetup", [](T& t) { return make<dlgMailSetup>(t.session, t.prompt); }},
    // checklists
    {"F_CHECKLIST",
     [](T& t) {
         addTabBarChecklist(t);
         auto form = std::make_unique<F_CHECKLIST>(t.session, t.prompt, 901);
         EXPECT_TRUE(form->load());
         return std::unique_ptr<QWidget>(std::move(form));
     }},
    {"SCR_FORM_with_checklist_tab",
     [](T& t) {
         addTabBarChecklist(t);
         auto editor = std::make_unique<SCR_FORM>(t.session, t.prompt, &t.host);
         EXPECT_TRUE(editor->open(TaskOpening::existing(kTask)));
         return std::unique_ptr<QWidget>(std::move(editor));
     }},
    // plug-ins
    {"ACTIVEX_FORM",
     [](T& t) {
         t.run("INSERT INTO LU_ACTIVEX (ID, ActiveX_Control_Name, label) VALUES (?, ?, ?)",
               {1, u"BxSample.TaskPanel"_s, u"O'Neil's reference panel for the spring chairs"_s});
         return make<ACTIVEX_FORM>(t.session, t.prompt);
     }},
    {"dlgCustomTab",
     [](T& t) {
         t.run("INSERT INTO LU_ACTIVEX (ID, ActiveX_Control_Name, label) VALUES (?, ?, ?)",
               {1, u"BxSample.TaskPanel"_s, u"O'Neil's reference panel for the spring chairs"_s});
         return make<dlgCustomTab>(t.session, t.prompt, kShop);
     }},
    {"frmFormDesigner",
     [](T& t) {
         const QString form = u"O'Neil's inspection of the spring chairs"_s;
         t.run("INSERT INTO FORM (Form_Name, Form_Caption) VALUES (?, ?)", {form, form});
         t.run("INSERT INTO CONTROL (FORM_NAME, CONTROL_KEY, ATTACH_NUMBER, NAME, TYPE, VALUE, "
               "\"left\", TOP, WIDTH, HEIGHT, \"table\", FIELD) VALUES (?, 1, 0, "
               "'Inspector of the warehouse', 'COMBO', '', 150, 150, 4500, 300, 'LU_USER', "
               "'USER_ID')",
               {form});
         t.session.user.record.administrator = true;
         auto designer = std::make_unique<frmFormDesigner>(t.session, t.prompt);
         EXPECT_TRUE(designer->refresh());
         EXPECT_TRUE(designer->select(form));
         return std::unique_ptr<QWidget>(std::move(designer));
     }},
    // contacts
    {"F_CONTACTS", [](T& t) { return make<F_CONTACTS>(t.session, t.prompt, true); }},
    {"F_CONTACT",
     [](T& t) {
         const qlonglong key =
             bx::test::addContactRow(t.session.db(), u"O'Neil-Fitzgerald"_s, u"Annabel"_s,
                                     u"Chairs and Tables of the North Ltd"_s);
         auto card = std::make_unique<F_CONTACT>(t.session, t.prompt);
         EXPECT_TRUE(card->openContact(key));
         return std::unique_ptr<QWidget>(std::move(card));
     }},
    {"dlgCallLog", [](T& t) { return make<dlgCallLog>(t.session, t.prompt); }},
    {"AddressBook", [](T& t) { return make<AddressBook>(t.session, t.prompt, QString()); }},
    {"frmWindowCustomisation",
     [](T& t) {
         t.run("INSERT INTO CUSTOM (FORM_NAME, CONTROL_NAME, CONTROL_VALUE, CONTROL_VISIBLE) "
               "VALUES ('New Subtask', 'cmdArchiveToTheWarehouseOfSpringChairs', ?, 0)",
               {u"O'Neil's archive of the spring chairs in the warehouse"_s});
         t.session.user.record.administrator = true;
         auto window = std::make_unique<frmWindowCustomisation>(t.session, t.prompt);
         EXPECT_TRUE(window->refresh());
         EXPECT_TRUE(window->showCaption(u"New Subtask"_s));
         return std::unique_ptr<QWidget>(std::move(window));
     }},
    // time sheets
    {"dlgTimeSheet", [](T& t) { return make<dlgTimeSheet>(t.session, t.prompt, kTask); }},
    {"dlgTSHReport",
     [](T& t) {
         const QDate today = t.clock.nowLocal().date();
         EXPECT_TRUE(timesheet::addBooking(t.session, kTask,
                                           {today, QTime(9, 15), u"1"_s, u"30"_s, u"Chairs"_s}));
         auto report = std::make_unique<dlgTSHReport>(t.session, t.prompt);
         EXPECT_TRUE(report->refresh());
         return std::unique_ptr<QWidget>(std::move(report));
     }},
    {"frmARDesigner",
     [](T& t) {
         t.session.user.record.reports = true;
         t.reports = std::make_unique<ReportStore>(t.session);
         ReportLayout layout;
         layout.title = u"O'Neil's chairs in the warehouse, by task"_s;
         reportrun::useSource(layout, reportrun::Source::History);
         layout.columns = {{u"SCR_Number"_s, u"ID"_s},
                           {u"SCR_Title"_s, u"Title"_s},
                           {u"Route_Note"_s, u"Note"_s}};
         qlonglong first = 0;
         for (const char* name : {"Chairs of the spring order by warehouse.rpx", "Desks.rpx"}) {
             const Outcome<qlonglong> number =
                 t.reports->publish(0, QString::fromLatin1(name), layout.title, layout.toJson());
             EXPECT_TRUE(number);
             if (number && first == 0)
                 first = *number;
         }
         auto designer = std::make_unique<frmARDesigner>(t.session, t.prompt, *t.reports);
         EXPECT_TRUE(designer->selectKey(StoredReport{first, {}, {}, 0}.key()))
             << t.prompt.texts().join(u'|').toStdString();
         EXPECT_TRUE(designer->modifySelected());
         EXPECT_TRUE(designer->run());
         return std::unique_ptr<QWidget>(std::move(designer));
     }},
    {"frmReportProperties",
     [](T& t) {
         ReportLayout layout;
         layout.title = u"O'Neil's chairs in the warehouse, by owner"_s;
         layout.style = ReportStyle::Corporate;
         layout.header = u"{title}"_s;
         layout.footer = u"Printed {date} by {user} - page {page} of {pages}"_s;
         layout.columns = {
             {u"SCR_Owner_User_ID"_s, u"Owner"_s, 10, ReportAlign::Left, ReportFormat::Text, -1,
              true},
             {u"SCR_Number"_s, u"ID"_s, 6, ReportAlign::Right, ReportFormat::Number, 0, false},
             {u"SCR_Title"_s, u"Title"_s, 40, ReportAlign::Left, ReportFormat::Text, -1, false},
             {u"SCR_Owner_Target_Date"_s, u"Due"_s, 12, ReportAlign::Center, ReportFormat::DateTime,
              -1, false}};
         layout.grouping = {{u"SCR_Owner_User_ID"_s, u"Owner"_s, true, true}};
         layout.totals = {
             {u"SCR_Number"_s, ReportFunction::Count, ReportLevel::Group, u"Tasks"_s},
             {u"SCR_Number"_s, ReportFunction::Count, ReportLevel::Report, u"All tasks"_s}};
         reportrun::useSource(
             layout, reportrun::Source::Tasks,
             {{u"SCR_Owner_User_ID"_s, false}, {u"SCR_Owner_Target_Date"_s, true}});
         return make<frmReportProperties>(t.session, t.prompt, layout);
     }},
    {"frmARWizard",
     [](T& t) {
         auto wizard = std::make_unique<frmARWizard>(t.session, t.prompt);
         wizard->findChild<QCheckBox*>(u"chkShowSystem"_s)->setChecked(true);
         return std::unique_ptr<QWidget>(std::move(wizard));
     }},
    // analyses: the viewer with the grid, and with the grid over the chart
    {"BIViewer",
     [](T& t) {
         auto viewer = std::make_unique<BIViewer>(t.session, t.prompt);
         viewer->showViews(true, false);
         EXPECT_TRUE(viewer->showAnalysis(std::make_shared<pivot::Source>(bx::test::twoYears()),
                                          bx::test::ownerByYearAndStatus(),
                                          {u"O'Neil's hours by year"_s, true, 1}));
         return std::unique_ptr<QWidget>(std::move(viewer));
     }},
    {"BIViewerChart",
     [](T& t) {
         auto viewer = std::make_unique<BIViewer>(t.session, t.prompt);
         viewer->showViews(true, true);
         viewer->setChartKind(ChartKind::Bar);
         EXPECT_TRUE(viewer->showAnalysis(std::make_shared<pivot::Source>(bx::test::twoYears()),
                                          bx::test::ownerByYearAndStatus(),
                                          {u"O'Neil's hours by year"_s, true, 1}));
         return std::unique_ptr<QWidget>(std::move(viewer));
     }},
    // analyses: the list with a built-in one shown, the designer editing a stored one, the
    // formula window
    {"dlgBI",
     [](T& t) {
         t.session.user.record.businessIntelligence = true;
         auto window =
             std::make_unique<dlgBI>(t.session, t.prompt, secondConnectionTo(t.session.db()));
         QSignalSpy ended(window.get(), &dlgBI::runEnded);
         const QList<QTreeWidgetItem*> found = window->tree()->findItems(
             AnalysisText::kTaskOwnership, Qt::MatchExactly | Qt::MatchRecursive);
         EXPECT_EQ(found.size(), 1);
         if (!found.isEmpty())
             window->tree()->setCurrentItem(found.first());
         window->ShowReport();
         EXPECT_TRUE(ended.wait(20000));
         return std::unique_ptr<QWidget>(std::move(window));
     }},
    {"dlgBIScreen",
     [](T& t) {
         t.session.user.record.businessIntelligence = true;
         Analysis analysis;
         analysis.title = u"O'Neil's tasks by owner and month"_s;
         analysis.query = u"SELECT SCR_Owner_User_ID AS Owner, SCR_Request_Date AS "
                          "Asked, SCR_Priority AS Priority, 1 AS Tasks FROM SCR"_s;
         analysis.items = {
             AnalysisItem::dimension(u"Owner"_s, u"Owner"_s, AnalysisArea::Vertical),
             AnalysisItem::datePart(u"Asked"_s, olap::DatePart::Month, AnalysisArea::Horizontal),
             AnalysisItem::fact(u"Tasks"_s, u"Tasks"_s, olap::Aggregate::Sum),
             AnalysisItem::formula(u"Tasks * 2"_s, u"Twice"_s)};
         auto window = std::make_unique<dlgBIScreen>(t.session, t.prompt, analysis);
         EXPECT_TRUE(window->readColumns());
         return std::unique_ptr<QWidget>(std::move(window));
     }},
    {"dlgNewFormula",
     [](T& t) {
         return make<dlgNewFormula>(
             t.session, t.prompt,
             QList<pivot::Fact>{{u"Hours"_s, u"Hours"_s, olap::Aggregate::Sum, false},
                                {u"Tasks"_s, u"Late tasks"_s, olap::Aggregate::Sum, false}});
     }},
    // outside tools
    {"F_TOOL",
     [](T& t) {
         t.run(
             "INSERT INTO TOOL (Tool_Name, Tool_EXE) VALUES (?, ?)",
             {u"O'Neil's stock count of the spring chairs"_s, u"/opt/warehouse/bin/stockcount"_s});
         t.session.user.record.administrator = true;
         auto window = std::make_unique<F_TOOL>(t.session, t.prompt);
         EXPECT_TRUE(window->refresh());
         return std::unique_ptr<QWidget>(std::move(window));
     }},
    {"TOOL_FORM",
     [](T& t) {
         t.run("INSERT INTO TOOL (Tool_Name, Tool_EXE, Tool_Description) VALUES (?, ?, ?)",
               {u"O'Neil's stock count of the spring chairs"_s, u"/opt/warehouse/bin/stockcount"_s,
                u"Counts the chairs against the order, not the invoice"_s});
         return make<TOOL_FORM>(t.session, t.prompt, u"OPEN"_s,
                                u"O'Neil's stock count of the spring chairs"_s);
     }},
    // the main window's plug-ins
    {"dlgActiveX",
     [](T& t) {
         t.run("INSERT INTO LU_ACTIVEX (ID, ActiveX_Control_Name, label) VALUES (?, ?, ?)",
               {1, u"Warehouse.SpringChairStockCount"_s,
                u"O'Neil's stock count of the spring chairs"_s});
         t.session.user.record.administrator = true;
         auto window = std::make_unique<dlgActiveX>(t.session, t.prompt);
         EXPECT_TRUE(window->refresh());
         EXPECT_TRUE(window->select(u"1"_s));
         return std::unique_ptr<QWidget>(std::move(window));
     }},
    {"dlgModifyActiveX",
     [](T& t) {
         t.run("INSERT INTO LU_ACTIVEX (ID, ActiveX_Control_Name, label, Plugin_Name, "
               "ShowToolBox, Separate) VALUES (?, ?, ?, ?, 1, 1)",
               {1, u"Warehouse.SpringChairStockCount"_s,
                u"O'Neil's stock count of the spring chairs"_s, u"springChairStockCount"_s});
         return make<dlgModifyActiveX>(t.session, t.prompt, u"EDIT"_s, 1);
     }},
    // the file cabinet's page, Toolbar4 and its tree, in the main window
    {"FILECABINET",
     [](T& t) {
         for (const char* category : {"Spring chairs", "", "Spring chairs"})
             t.run("INSERT INTO ATTACH (SCR_Number, Attach_Title, Attach_Type, Attach_Filename, "
                   "Category, Attach_Owner, Publish) VALUES (0, ?, 'F', ?, ?, 'admin', 1)",
                   {u"O'Neil's order of the spring chairs.pdf, admin, 01/31/2024"_s, u"order.pdf"_s,
                    QString::fromLatin1(category)});
         auto form = std::make_unique<Access_Form>(t.session, t.prompt);
         EXPECT_TRUE(QTest::qWaitFor([&] { return !form->teamView()->reading(); }, 20000));
         form->showTab(u"FILECABINET"_s);
         EXPECT_TRUE(QTest::qWaitFor([&] { return !form->cabinetPage()->reading(); }, 20000));
         return std::unique_ptr<QWidget>(std::move(form));
     }},
    {"dlgArchive",
     [](T& t) {
         QList<cabinet::Document> versions;
         for (const char* owner : {"O'Neil of the warehouse", "admin"}) {
             cabinet::Document v;
             v.number = versions.size() + 1;
             v.type = u"F"_s;
             v.owner = QString::fromUtf8(owner);
             v.date = QDateTime(QDate(2024, 1, 31 - int(versions.size())), QTime(9, 30));
             v.title =
                 u"O'Neil's order of the spring chairs.pdf, "_s + v.owner + u", 01/31/2024 09:30"_s;
             versions << v;
         }
         return make<dlgArchive>(t.session.clock(), versions);
     }},
};

TEST_P(WindowSizesTest, OpensShowingEveryCommandTabAndColumn)
{
    const WindowCase& c = GetParam();
    const std::unique_ptr<QWidget> window = c.make(*this);
    ASSERT_NE(window, nullptr);
    const QStringList cramped = openAndInspect(*window, QString::fromLatin1(c.name));
    EXPECT_TRUE(cramped.isEmpty()) << c.name << ":\n  " << cramped.join(u"\n  "_s).toStdString();
}

INSTANTIATE_TEST_SUITE_P(Windows, WindowSizesTest, ::testing::ValuesIn(kWindows),
                         [](const ::testing::TestParamInfo<WindowCase>& window) {
                             return std::string(window.param.name);
                         });

// The note a changed date asks for is a dialog of its own, shown modally.
TEST_F(WindowSizesTest, NoteDialogOpensShowingItsQuestion)
{
    QStringList cramped;
    QTimer::singleShot(0, [&] {
        QWidget* dialog = QApplication::activeModalWidget();
        ASSERT_NE(dialog, nullptr);
        cramped = openAndInspect(*dialog, u"F_COMMENTS"_s);
        static_cast<QDialog*>(dialog)->reject();
    });
    F_COMMENTS::askNote(nullptr, u"Please specify comments related to the due date change"_s);
    EXPECT_TRUE(cramped.isEmpty()) << cramped.join(u'\n').toStdString();
}

// First start: about four fifths of the screen, in its middle. Later: where the user left it.
TEST_F(WindowSizesTest, MainWindowFirstFillsMostOfTheScreenThenKeepsItsPlace)
{
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    {
        Access_Form form(session, prompt);
        EXPECT_TRUE(QTest::qWaitFor([&] { return !form.teamView()->reading(); }, 20000));
        const QRect opened = form.geometry();
        EXPECT_NEAR(opened.width(), screen.width() * 0.8, 2);
        EXPECT_NEAR(opened.height(), screen.height() * 0.8, 2);
        EXPECT_LE(std::abs(opened.center().x() - screen.center().x()), 1);
        EXPECT_LE(std::abs(opened.center().y() - screen.center().y()), 1);
    }

    WindowLayout kept;
    kept.geometry = QRect(40, 30, 1000, 640);
    kept.save(settings);
    Access_Form again(session, prompt);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !again.teamView()->reading(); }, 20000));
    EXPECT_EQ(again.geometry(), kept.geometry);
}

} // namespace
