#include "mainwindow/ui/FileCabinetPage.h"

#include "core/db/Database.h"
#include "support/TaskRows.h"
#include "support/WindowTest.h"

#include <QLabel>
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
        addDocument(QStringLiteral("plan.txt"), QStringLiteral("Plans"));
        addDocument(QStringLiteral("secret.txt"), QStringLiteral("Secret"));
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

    qlonglong m_loose = 0;

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
    EXPECT_FALSE(
        FileCabinetPage(session, prompt).action(QStringLiteral("MNUNEWREPORT"))->isEnabled());
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

} // namespace
