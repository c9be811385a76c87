#include "mainwindow/ui/FileCabinetPage.h"

#include "core/Gmt.h"
#include "core/db/Database.h"
#include "mainwindow/ui/F_DOCFIND.h"
#include "support/AttachContent.h"
#include "support/OpenedUrls.h"
#include "support/SampleFiles.h"
#include "support/TaskRows.h"
#include "support/WindowTest.h"
#include "tasks/AttachmentView.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QStackedWidget>
#include <QTest>
#include <QTextEdit>
#include <QTreeView>
#include <QTreeWidget>

#include <functional>
#include <gtest/gtest.h>
#include <memory>

using namespace Qt::StringLiterals;
using namespace bx;
using bx::test::child;

namespace {

class FileCabinetPageTest : public bx::test::WindowTest
{
protected:
    void arrange() override
    {
        test::addUsers(db(), {u"ann"_s, u"bob"_s});
        test::addCategories(db(), {u"Plans"_s, u"Secret"_s});
        test::grantFolder(db(), u"ann"_s, u"Plans"_s);
        m_plan = addDocument(u"plan.txt"_s, u"Plans"_s);
        m_secret = addDocument(u"secret.txt"_s, u"Secret"_s);
        m_loose = addDocument(u"loose.txt"_s, QVariant());
    }

    qlonglong addDocument(const QString& file, const QVariant& category,
                          const QString& owner = u"admin"_s,
                          const QDateTime& date = QDateTime(QDate(2024, 1, 31), QTime(9, 0)))
    {
        return db().insertNumbered(
            u"ATTACH"_s, u"Attach_Number"_s,
            {u"SCR_Number"_s, u"Attach_Title"_s, u"Attach_Type"_s, u"Attach_Filename"_s,
             u"Category"_s, u"Attach_Date"_s, u"Publish"_s, u"Attach_Owner"_s},
            {0, file, u"F"_s, file, category, date, db().dialect().flag(true), owner});
    }

    void signIn(const QString& user) { session.user.userId = session.user.record.userId = user; }

    qlonglong m_plan = 0;
    qlonglong m_secret = 0;
    qlonglong m_loose = 0;

    /** Selects `document` (0: the folder of stored category `folder`) and runs `command` from
     * the popup menu of that node. */
    static void runFromPopup(FileCabinetPage& page, const char* command, qlonglong document,
                             const QString& folder = {})
    {
        const CabinetTree& model = page.model();
        const CabinetNode* node =
            document ? model.findDocument(document) : model.findFolder(folder);
        ASSERT_NE(node, nullptr) << command;
        page.tree()->setCurrentIndex(model.indexOf(node));
        auto* menu = child<QMenu>(page, document ? "POPUP_FILE_CABINET" : "POPUP_CATEGORY");
        for (QAction* action : menu->actions())
            if (action->objectName() == QLatin1String(command))
                return action->trigger();
        ADD_FAILURE() << command << " is not on the popup";
    }

    /** The folders of the tree, each "path:titles", or "path:number=file" sorted. */
    static QString folders(const FileCabinetPage& page, bool numbered = false)
    {
        QStringList out;
        for (const auto& folder : page.model().top()->children) {
            QStringList docs;
            for (const auto& doc : folder->children)
                docs << (numbered ? QString::number(doc->document.number) + u'=' +
                                        doc->document.fileName.toString()
                                  : doc->text);
            if (numbered)
                docs.sort();
            out << folder->text + u':' + docs.join(u',');
        }
        return out.join(u'|');
    }
};

// Each user reads the tree his folders allow; without any, the note stands in its place.
TEST_F(FileCabinetPageTest, ShowsTheFoldersOfTheUser)
{
    const struct
    {
        const char* user;
        const char* folders;
        bool note;
    } cases[] = {
        {"ann", "Plans:plan.txt|Unspecified Folder:loose.txt", false},
        {"bob", "", true},
    };
    for (const auto& c : cases) {
        signIn(QString::fromLatin1(c.user));
        FileCabinetPage page(session, prompt);
        page.refresh();
        EXPECT_EQ(folders(page), QString::fromUtf8(c.folders)) << c.user;
        auto* stack =
            qobject_cast<QStackedWidget*>(child<QLabel>(page, "lblNoFolderAccess")->parentWidget());
        ASSERT_NE(stack, nullptr);
        EXPECT_EQ(stack->currentWidget()->objectName(),
                  QString::fromLatin1(c.note ? "lblNoFolderAccess" : "IvvTree3"))
            << c.user;
    }
    // A new report is the report window's: the page hands it on.
    FileCabinetPage reports(session, prompt);
    int asked = 0;
    QObject::connect(&reports, &FileCabinetPage::newReportRequested, [&] { ++asked; });
    reports.action(u"MNUNEWREPORT"_s)->trigger();
    EXPECT_EQ(asked, 1);
}

// Read in the background past the Query_Wait limit, the tree keeps what was read and says so.
TEST_F(FileCabinetPageTest, TooManyDocumentsAreReported)
{
    session.system.queryWait = -1;
    FileCabinetPage page(session, prompt);
    page.setConnector([this] { return std::optional<Connector>(secondConnectionTo(db())); });
    page.refresh();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !page.reading(); }, 20000));
    EXPECT_EQ(
        prompt.last().text,
        u"There are too many documents in the current document tree view, not all will be displayed. Please apply more restrictive filter or change \"Query Timeout\" option in System Options (admin utility)"_s);
    EXPECT_EQ(page.model().documentCount(), 0);
}

// A document dropped on another folder moves there, and the tree follows.
TEST_F(FileCabinetPageTest, DropMovesTheDocument)
{
    FileCabinetPage page(session, prompt);
    page.refresh();
    const CabinetTree& model = page.model();
    const CabinetNode* loose = model.findDocument(m_loose);
    ASSERT_NE(loose, nullptr);
    const std::unique_ptr<QMimeData> data(model.mimeData({model.indexOf(loose)}));
    auto& tree = const_cast<CabinetTree&>(model);
    tree.dropMimeData(data.get(), Qt::MoveAction, -1, 0,
                      model.indexOf(model.findFolder(u"Plans"_s)));
    ASSERT_TRUE(QTest::qWaitFor([&] { return folders(page).startsWith(u"Plans:loose"); }, 5000))
        << folders(page).toStdString();
    EXPECT_EQ(
        db().scalar(u"SELECT Category FROM ATTACH WHERE Attach_Number = ?"_s, {m_loose}).toString(),
        u"Plans"_s);
}

// The document commands through the popups: a rename (Yes to the archived question) renames the
// versions, a delete brings back the newest archived one, cut and paste moves it; the tree follows.
TEST_F(FileCabinetPageTest, PopupCommandsChangeTheDocumentAndTheTree)
{
    const qlonglong newer = addDocument(u"plan.txt"_s, u"Plans"_s);
    FileCabinetPage page(session, prompt);
    page.refresh();
    // %1 the first version of plan.txt, %2 its second.
    const auto tree = [&](const char* shape) {
        QString text = QString::fromLatin1(shape);
        const qlonglong numbers[] = {m_plan, newer, m_secret, m_loose};
        for (int i = 0; i < 4; ++i)
            text.replace(u"%"_s + QString::number(i + 1), QString::number(numbers[i]));
        return text;
    };
    ASSERT_EQ(folders(page, true), tree("Plans:%2=plan.txt|Secret:%3=secret.txt|"
                                        "Unspecified Folder:%4=loose.txt"));

    prompt.answerInput(u"renamed.txt"_s).answer(PromptAnswer::Yes);
    runFromPopup(page, "mnuSharedRename", newer);
    EXPECT_EQ(prompt.texts(),
              (QStringList{u"Please, enter new filename"_s, u"Rename archived documents also?"_s}));
    EXPECT_EQ(folders(page, true), tree("Plans:%2=renamed.txt|Secret:%3=secret.txt|"
                                        "Unspecified Folder:%4=loose.txt"));

    prompt.answer(PromptAnswer::Yes); // "Are you sure?"
    runFromPopup(page, "mnuRemoveShared", newer);
    EXPECT_EQ(folders(page, true), tree("Plans:%1=renamed.txt|Secret:%3=secret.txt|"
                                        "Unspecified Folder:%4=loose.txt"));

    runFromPopup(page, "mnuDocCut", m_plan);
    runFromPopup(page, "mnuDocPaste", 0, QString());
    EXPECT_EQ(folders(page, true), tree("Plans:|Secret:%3=secret.txt|"
                                        "Unspecified Folder:%1=renamed.txt,%4=loose.txt"));
    EXPECT_TRUE(db().scalar(u"SELECT Category FROM ATTACH WHERE Attach_Number = ?"_s, {m_plan})
                    .toString()
                    .isEmpty());
}

// A command reads the document's folder again: one another client moved to a folder the user
// does not see is not opened.
TEST_F(FileCabinetPageTest, CommandsRecheckTheFolder)
{
    signIn(u"ann"_s);
    test::OpenedUrls opened;
    FileCabinetPage page(session, prompt);
    page.refresh();
    db().execute(u"UPDATE ATTACH SET Category = ? WHERE Attach_Number = ?"_s,
                 {u"Secret"_s, m_plan});
    runFromPopup(page, "mnuDocEdit", m_plan);
    EXPECT_EQ(prompt.texts(),
              QStringList{u"You do not have access to the folder of this document."_s});
    EXPECT_TRUE(opened.take().isEmpty());
}

// A file document changed in the viewer is saved back, when the window is active again, as its
// newest version, also after another client published one since it was opened (the question
// names him). What the save-back keeps of the older versions is FileCabinetTest's.
TEST_F(FileCabinetPageTest, ViewerCopySavedBackAsANewVersion)
{
    test::setAttachContent(db(), m_plan, "first");
    test::OpenedUrls opened;
    FileCabinetPage page(session, prompt);
    page.refresh();
    runFromPopup(page, "mnuDocEdit", m_plan);
    const QStringList urls = opened.take();
    ASSERT_EQ(urls.size(), 1);
    const QString copy = QUrl(urls.first()).toLocalFile();
    ASSERT_TRUE(test::writeFile(copy, "edited"));
    const qlonglong other = addDocument(u"plan.txt"_s, u"Plans"_s);
    prompt.answer(PromptAnswer::Yes);
    QEvent activate(QEvent::WindowActivate);
    QApplication::sendEvent(&page, &activate);
    EXPECT_EQ(
        prompt.texts(),
        QStringList{attachments::newerVersionQuestion(
            u"plan.txt"_s, u"admin"_s,
            GmtConverter(session.clock()).toLocal(QDateTime(QDate(2024, 1, 31), QTime(9, 0))))});

    const CabinetNode* plans = page.model().findFolder(u"Plans"_s);
    ASSERT_EQ(plans->childCount(), 1);
    const cabinet::Document saved = plans->child(0)->document;
    EXPECT_GT(saved.number, other);
    EXPECT_EQ(test::attachContent(db(), saved.number), QByteArray("edited"));
}

// The add commands of a folder publish the new document there, for no task and from the current
// workshop, each through its own window; the tree shows it in that folder.
TEST_F(FileCabinetPageTest, AddCommandsPublishIntoTheChosenFolder)
{
    enterWorkshop(7, u"O'Neil's desk"_s);
    const QString source = dir.filePath(u"O'Brien's list.txt"_s);
    ASSERT_TRUE(test::writeFile(source, "chairs"));
    const QString form = u"O'Neil's inspection"_s;
    db().execute(u"INSERT INTO FORM (Form_Name) VALUES (?)"_s, {form});
    db().execute(u"INSERT INTO CONTROL (FORM_NAME, CONTROL_KEY, ATTACH_NUMBER, "
                 "NAME, TYPE, VALUE, \"left\", TOP, WIDTH, HEIGHT) VALUES (?, 1, 0, "
                 "'Inspector', 'EDIT', '', 150, 150, 3000, 300)"_s,
                 {form});
    const auto titled = [](QDialog& dialog) {
        child<QLineEdit>(dialog, "txtTitle")->setText(u"O'Brien's list"_s);
    };
    const struct
    {
        const char* command;
        const char* window;
        const char* type;
        std::function<void(QDialog&)> fill;
    } cases[] = {
        {"MNUNEWFILE", "ATTFILE", "F",
         [&](QDialog& dialog) {
             child<QLineEdit>(dialog, "txtFile")->setText(source);
             titled(dialog);
             child<QPushButton>(dialog, "cmdOK")->click();
         }},
        {"MNUNEWMEMO", "Memo_Form", "M",
         [&](QDialog& dialog) {
             titled(dialog);
             child<QTextEdit>(dialog, "txtMemo")->setPlainText(u"Count them"_s);
             child<QPushButton>(dialog, "cmdOK")->click();
         }},
        {"MNUNEWFORM", "Form_Form", "X",
         [&](QDialog& dialog) {
             child<QComboBox>(dialog, "cboForms")->setCurrentText(form);
             child<QLineEdit>(dialog, "Field1")->setText(u"O'Brien"_s);
             child<QAction>(dialog, "Save")->trigger();
         }},
    };
    FileCabinetPage page(session, prompt);
    page.refresh();
    for (const auto& c : cases) {
        QString opened;
        page.setDialogRunner([&](QDialog& dialog) {
            opened = dialog.objectName();
            c.fill(dialog);
            return dialog.result();
        });
        const qlonglong before =
            db().scalar(u"SELECT MAX(Attach_Number) FROM ATTACH"_s).toLongLong();
        runFromPopup(page, c.command, 0, u"Plans"_s);
        EXPECT_EQ(opened, QString::fromLatin1(c.window));
        const RecordSet row =
            db().query(u"SELECT Attach_Number, SCR_Number, Publish, Category, Group_id, "
                       "Attach_Type FROM ATTACH WHERE Attach_Number > ?"_s,
                       {before});
        ASSERT_EQ(row.rowCount(), 1) << c.command;
        EXPECT_EQ((QVariantList{row.number(u"SCR_Number"_s), row.flag(u"Publish"_s),
                                row.text(u"Category"_s), row.number(u"Group_id"_s),
                                row.text(u"Attach_Type"_s)}),
                  (QVariantList{qlonglong(0), true, u"Plans"_s, qlonglong(7),
                                QString::fromLatin1(c.type)}))
            << c.command;
        const CabinetNode* node = page.model().findDocument(row.number(u"Attach_Number"_s));
        ASSERT_NE(node, nullptr) << c.command;
        EXPECT_EQ(node->folder, u"Plans"_s) << c.command;
    }
    EXPECT_TRUE(prompt.texts().isEmpty()) << prompt.texts().join(u'|').toStdString();
}

// Save As offers the document's name without any folder and a filter of its extension, and writes
// the content to the file chosen.
TEST_F(FileCabinetPageTest, SaveAsOffersTheNameAndItsExtension)
{
    const struct
    {
        const char* stored;
        const char* offered;
        const char* filter;
    } cases[] = {
        {"C:\\Orders\\O'Brien's order.tar.gz", "O'Brien's order.tar.gz", "*.gz"},
        {"README", "README", "*.*"},
    };
    FileCabinetPage page(session, prompt);
    for (const auto& c : cases) {
        const qlonglong doc = addDocument(QString::fromLatin1(c.stored), u"Plans"_s);
        test::setAttachContent(db(), doc, QByteArray(c.stored));
        page.refresh();
        QString offered;
        QString filter;
        const QString target = dir.filePath(u"saved %1"_s.arg(doc));
        page.setChooseSave([&](const QString& name, const QString& extension) {
            offered = name;
            filter = extension;
            return target;
        });
        runFromPopup(page, "mnuDocSave", doc);
        EXPECT_EQ(offered, QString::fromLatin1(c.offered));
        EXPECT_EQ(filter, QString::fromLatin1(c.filter)) << c.stored;
        EXPECT_EQ(test::fileBytes(target), QByteArray(c.stored));
    }
    EXPECT_TRUE(prompt.texts().isEmpty()) << prompt.texts().join(u'|').toStdString();
}

// Archived Versions lists the document's older versions with owner and local date; a
// double-click opens that version for the viewer.
TEST_F(FileCabinetPageTest, ArchiveListsTheOlderVersionsAndOpensOne)
{
    test::setAttachContent(db(), m_plan, "first");
    db().execute(u"UPDATE ATTACH SET Attach_Owner = 'ann', Attach_Date = ? WHERE "
                 "Attach_Number = ?"_s,
                 {QDateTime(QDate(2024, 1, 30), QTime(8, 0)), m_plan});
    const qlonglong current = addDocument(u"plan.txt"_s, u"Plans"_s);
    test::OpenedUrls opened;
    FileCabinetPage page(session, prompt);
    page.refresh();
    QStringList rows;
    page.setDialogRunner([&](QDialog& dialog) {
        EXPECT_EQ(dialog.objectName(), u"dlgArchive"_s);
        auto* list = child<QTreeWidget>(dialog, "lstVersions");
        for (int i = 0; i < list->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* item = list->topLevelItem(i);
            rows << item->text(0) + u'|' + item->text(1) + u'|' + item->text(2);
        }
        if (list->topLevelItemCount() == 1)
            emit list->itemDoubleClicked(list->topLevelItem(0), 0);
        return int(QDialog::Rejected);
    });
    runFromPopup(page, "mnuShowArchive", current);
    const GmtConverter gmt(session.clock());
    const auto local = [&](const QDateTime& at) {
        return gmt.toLocal(at).toString(u"MM/dd/yyyy hh:mm"_s);
    };
    EXPECT_EQ(rows,
              QStringList{u"plan.txt|ann|"_s + local(QDateTime(QDate(2024, 1, 30), QTime(8, 0)))});
    const QStringList urls = opened.take();
    ASSERT_EQ(urls.size(), 1);
    EXPECT_EQ(test::fileBytes(QUrl(urls.first()).toLocalFile()), QByteArray("first"));
}

// Find Documents opens its search window; the search confirmed there rebuilds the tree with the
// documents it finds, and every folder stays.
TEST_F(FileCabinetPageTest, FindDocumentsSearchesTheTree)
{
    FileCabinetPage page(session, prompt);
    page.refresh();
    QString opened;
    page.setDialogRunner([&](QDialog& dialog) {
        opened = dialog.objectName();
        auto* find = qobject_cast<F_DOCFIND*>(&dialog);
        if (!find)
            return int(QDialog::Rejected);
        child<QLineEdit>(dialog, "txtTitle")->setText(u"SECRET"_s);
        return find->confirm() ? dialog.result() : int(QDialog::Rejected);
    });
    runFromPopup(page, "mnuFindDoc", m_plan);
    EXPECT_EQ(opened, u"F_DOCFIND"_s);
    EXPECT_EQ(folders(page), u"Plans:|Secret:secret.txt|Unspecified Folder:"_s);
    EXPECT_TRUE(prompt.texts().isEmpty()) << prompt.texts().join(u'|').toStdString();
}

// The folders' paths come with the rows of the background read. The window's own connection,
// which here sees other parents (a temporary table of the same name hides the shared one), is not
// asked; parents are found without case.
TEST_F(FileCabinetPageTest, FolderPathsComeWithTheBackgroundRead)
{
    test::addCategories(db(), {u"Projects"_s});
    db().execute(u"UPDATE LU_CATEGORY SET Parent_Category = 'projects' WHERE "
                 "Category = 'Plans'"_s);
    FileCabinetPage page(session, prompt);
    page.setConnector([this] { return std::optional<Connector>(secondConnectionTo(db())); });
    db().execute(u"CREATE TEMP TABLE LU_CATEGORY (Category TEXT, Parent_Category "
                 "TEXT)"_s);
    db().execute(u"INSERT INTO LU_CATEGORY VALUES ('Plans', 'Elsewhere'), "
                 "('Secret', 'Elsewhere')"_s);
    page.refresh();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !page.reading(); }, 20000));
    EXPECT_EQ(folders(page), u"projects\\Plans:plan.txt|Secret:secret.txt|"
                             "Unspecified Folder:loose.txt"_s);
}

} // namespace
