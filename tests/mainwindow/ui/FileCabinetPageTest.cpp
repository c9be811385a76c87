#include "mainwindow/ui/FileCabinetPage.h"

#include "core/Gmt.h"
#include "core/db/Database.h"
#include "support/AttachContent.h"
#include "support/OpenedUrls.h"
#include "support/TaskRows.h"
#include "support/WindowTest.h"
#include "tasks/AttachmentView.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QStackedWidget>
#include <QTest>
#include <QTreeView>

#include <gtest/gtest.h>
#include <memory>

using namespace bx;
using bx::test::child;

namespace {

class FileCabinetPageTest : public bx::test::WindowTest
{
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        if (HasFatalFailure())
            return;
        test::addUsers(db(), {QStringLiteral("ann"), QStringLiteral("bob")});
        test::addCategories(db(), {QStringLiteral("Plans"), QStringLiteral("Secret")});
        db().execute(QStringLiteral("INSERT INTO LU_ACCESS_LEVEL (USER_ID, ACCESS_LEVEL, "
                                    "ACCESS_TYPE) VALUES (?, ?, 'VIEW')"),
                     {QStringLiteral("ann"), QStringLiteral("Plans")});
        m_plan = addDocument(QStringLiteral("plan.txt"), QStringLiteral("Plans"));
        m_secret = addDocument(QStringLiteral("secret.txt"), QStringLiteral("Secret"));
        m_loose = addDocument(QStringLiteral("loose.txt"), QVariant());
    }

    qlonglong addDocument(const QString& file, const QVariant& category)
    {
        return db().insertNumbered(QStringLiteral("ATTACH"), QStringLiteral("Attach_Number"),
                                   {QStringLiteral("SCR_Number"), QStringLiteral("Attach_Title"),
                                    QStringLiteral("Attach_Type"),
                                    QStringLiteral("Attach_Filename"), QStringLiteral("Category"),
                                    QStringLiteral("Attach_Date"), QStringLiteral("Publish"),
                                    QStringLiteral("Attach_Owner")},
                                   {0, file, QStringLiteral("F"), file, category,
                                    QDateTime(QDate(2024, 1, 31), QTime(9, 0)),
                                    db().dialect().flag(true), QStringLiteral("admin")});
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

    /** The documents of the tree's folders, each "path:number=file", in the tree's order. */
    static QString documents(const FileCabinetPage& page)
    {
        QStringList out;
        for (const auto& folder : page.model().top()->children) {
            QStringList docs;
            for (const auto& doc : folder->children)
                docs << QString::number(doc->document.number) + u'=' +
                            doc->document.fileName.toString();
            docs.sort();
            out << folder->text + u':' + docs.join(u',');
        }
        return out.join(u'|');
    }

    /** The folders of the tree, each "path:titles". */
    static QString folders(const FileCabinetPage& page)
    {
        QStringList out;
        for (const auto& folder : page.model().top()->children) {
            QStringList docs;
            for (const auto& doc : folder->children)
                docs << doc->text;
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
        {"admin", "Plans:plan.txt|Secret:secret.txt|Unspecified Folder:loose.txt", false},
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
    reports.action(QStringLiteral("MNUNEWREPORT"))->trigger();
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
    EXPECT_EQ(prompt.last().text, cabinet::kTooManyDocuments);
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
                      model.indexOf(model.findFolder(QStringLiteral("Plans"))));
    ASSERT_TRUE(QTest::qWaitFor([&] { return folders(page).startsWith(u"Plans:loose"); }, 5000))
        << folders(page).toStdString();
    EXPECT_EQ(db().scalar(QStringLiteral("SELECT Category FROM ATTACH WHERE Attach_Number = ?"),
                          {m_loose})
                  .toString(),
              QStringLiteral("Plans"));
}

// The document commands through the popups: a rename (Yes to the archived question) renames the
// versions, a delete brings back the newest archived one, cut and paste moves it; the tree follows.
TEST_F(FileCabinetPageTest, PopupCommandsChangeTheDocumentAndTheTree)
{
    const qlonglong newer = addDocument(QStringLiteral("plan.txt"), QStringLiteral("Plans"));
    FileCabinetPage page(session, prompt);
    page.refresh();
    // %1 the first version of plan.txt, %2 its second.
    const auto tree = [&](const char* shape) {
        QString text = QString::fromLatin1(shape);
        const qlonglong numbers[] = {m_plan, newer, m_secret, m_loose};
        for (int i = 0; i < 4; ++i)
            text.replace(QStringLiteral("%") + QString::number(i + 1), QString::number(numbers[i]));
        return text;
    };
    ASSERT_EQ(documents(page), tree("Plans:%2=plan.txt|Secret:%3=secret.txt|"
                                    "Unspecified Folder:%4=loose.txt"));

    prompt.answerInput(QStringLiteral("renamed.txt")).answer(PromptAnswer::Yes);
    runFromPopup(page, "mnuSharedRename", newer);
    EXPECT_EQ(prompt.texts(),
              (QStringList{cabinet::kEnterNewFilename, cabinet::kRenameArchivedAlso}));
    EXPECT_EQ(documents(page), tree("Plans:%2=renamed.txt|Secret:%3=secret.txt|"
                                    "Unspecified Folder:%4=loose.txt"));

    prompt.answer(PromptAnswer::Yes); // "Are you sure?"
    runFromPopup(page, "mnuRemoveShared", newer);
    EXPECT_EQ(documents(page), tree("Plans:%1=renamed.txt|Secret:%3=secret.txt|"
                                    "Unspecified Folder:%4=loose.txt"));

    runFromPopup(page, "mnuDocCut", m_plan);
    runFromPopup(page, "mnuDocPaste", 0, QString());
    EXPECT_EQ(documents(page), tree("Plans:|Secret:%3=secret.txt|"
                                    "Unspecified Folder:%1=renamed.txt,%4=loose.txt"));
    EXPECT_TRUE(
        db().scalar(QStringLiteral("SELECT Category FROM ATTACH WHERE Attach_Number = ?"), {m_plan})
            .toString()
            .isEmpty());
}

// Every command reads the document's folder again: one another client moved to a folder the
// user does not see is neither opened nor deleted.
TEST_F(FileCabinetPageTest, CommandsRecheckTheFolder)
{
    signIn(QStringLiteral("ann"));
    test::OpenedUrls opened;
    FileCabinetPage page(session, prompt);
    page.refresh();
    db().execute(QStringLiteral("UPDATE ATTACH SET Category = ? WHERE Attach_Number = ?"),
                 {QStringLiteral("Secret"), m_plan});
    for (const char* command : {"mnuDocEdit", "mnuRemoveShared"}) {
        prompt.clear();
        runFromPopup(page, command, m_plan);
        EXPECT_EQ(prompt.texts(), QStringList{cabinet::kNoAccessToFolder}) << command;
    }
    EXPECT_TRUE(opened.take().isEmpty());
    EXPECT_EQ(
        db().scalar(QStringLiteral("SELECT COUNT(*) FROM ATTACH WHERE Attach_Number = ?"), {m_plan})
            .toInt(),
        1);
}

// A file document changed in the viewer is saved back, when the window is active again, as its
// newest version, also after another client published one since it was opened (the question
// names him); the versions before it stay archived.
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
    {
        QFile file(copy);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("edited");
    }
    const qlonglong other = addDocument(QStringLiteral("plan.txt"), QStringLiteral("Plans"));
    prompt.answer(PromptAnswer::Yes);
    QEvent activate(QEvent::WindowActivate);
    QApplication::sendEvent(&page, &activate);
    EXPECT_EQ(
        prompt.texts(),
        QStringList{attachments::newerVersionQuestion(
            QStringLiteral("plan.txt"), QStringLiteral("admin"),
            GmtConverter(session.clock()).toLocal(QDateTime(QDate(2024, 1, 31), QTime(9, 0))))});

    const CabinetNode* plans = page.model().findFolder(QStringLiteral("Plans"));
    ASSERT_EQ(plans->childCount(), 1);
    const cabinet::Document saved = plans->child(0)->document;
    EXPECT_GT(saved.number, other);
    EXPECT_EQ(test::attachContent(db(), saved.number), QByteArray("edited"));
    QList<qlonglong> archived;
    for (const cabinet::Document& d : cabinet::archivedVersions(db(), saved))
        archived << d.number;
    EXPECT_EQ(archived, (QList<qlonglong>{other, m_plan}));
    EXPECT_EQ(test::attachContent(db(), m_plan), QByteArray("first"));
}

} // namespace
