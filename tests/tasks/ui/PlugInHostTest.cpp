#include "tasks/ui/PlugInHost.h"

#include "core/AppPaths.h"
#include "core/ErrorLog.h"
#include "core/db/Database.h"
#include "support/SampleFiles.h"
#include "support/SessionTest.h"
#include "support/WindowTest.h"
#include "tasks/PlugInCatalog.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QVBoxLayout>
#include <QWidget>

#include <gtest/gtest.h>
#include <stdexcept>

namespace bx {
namespace {

const QString kCustom = QStringLiteral("BX_Custom");
const qlonglong kTask = 42;

class PlugInHostTest : public test::SessionTest
{
protected:
    void SetUp() override
    {
        SessionTest::SetUp();
        const QByteArray folders = BX_TEST_PLUGIN_DIR ":" BX_SAMPLE_PLUGIN_DIR;
        qputenv("BRINDLEPAX_PLUGINS", folders);
        catalog = plugins::PlugInCatalog();
        page.resize(400, 300);
        layout->setContentsMargins(0, 0, 0, 0);
    }
    void TearDown() override
    {
        qunsetenv("BRINDLEPAX_PLUGINS");
        SessionTest::TearDown();
    }

    std::unique_ptr<HostedPlugIn> host(const QString& progId)
    {
        auto hosted =
            std::make_unique<HostedPlugIn>(session, catalog, progId, kCustom, &page, kTask, [] {
                return QVariantMap{{QStringLiteral("SCR_Title"), QStringLiteral("Unsaved title")}};
            });
        layout->addWidget(hosted->widget());
        return hosted;
    }

    QString errorLog() const
    {
        return QString::fromUtf8(bx::test::fileBytes(ErrorLog(clock).path()));
    }

    QWidget page;
    QVBoxLayout* layout = new QVBoxLayout(&page);
    plugins::PlugInCatalog catalog{QStringList()};
};

TEST_P(PlugInHostTest, TheSearchFoldersStartWithTheEnvironmentsAndFindProgIdsInAnyCase)
{
    const QStringList folders = plugins::searchFolders();
    ASSERT_GE(folders.size(), 3);
    EXPECT_EQ(folders.at(0), QDir::cleanPath(QStringLiteral(BX_TEST_PLUGIN_DIR)));
    EXPECT_EQ(folders.at(1), QDir::cleanPath(QStringLiteral(BX_SAMPLE_PLUGIN_DIR)));
    EXPECT_TRUE(
        folders.contains(QDir::cleanPath(AppPaths::dataDir() + QStringLiteral("/plugins"))));

    const plugins::PlugInLibrary* sample = catalog.find(QStringLiteral("bxsample.TASKPANEL"));
    ASSERT_NE(sample, nullptr);
    EXPECT_TRUE(sample->path.contains(QStringLiteral("BxSamplePlugIn")));
    EXPECT_EQ(sample->iid, QStringLiteral(BX_TASK_PLUGIN_IID));
    EXPECT_EQ(catalog.find(QStringLiteral("BxSample")), nullptr);
}

// Each failure leaves a label with its message where the control would be, logged; the plug-in is
// left out from then on, so that nothing it does can stop the task's save.
TEST_P(PlugInHostTest, EachFailureShowsItsMessageInPlaceOfTheControl)
{
    struct Case
    {
        const char* progId;
        QString message;
    };
    const Case cases[] = {
        {"BxTest.Missing", plugInNotInstalledMessage(QStringLiteral("BxTest.Missing"))},
        {"BxTest.WrongIid",
         plugInNotLoadedMessage(
             QStringLiteral("BxTest.WrongIid"),
             QStringLiteral("the library does not offer the interface " BX_TASK_PLUGIN_IID))},
        {"BxTest.NoInterface",
         plugInNotLoadedMessage(
             QStringLiteral("BxTest.NoInterface"),
             QStringLiteral("the library does not offer the interface " BX_TASK_PLUGIN_IID))},
        {"BxTest.Throwing",
         plugInFailedMessage(QStringLiteral("BxTest.Throwing"),
                             QStringLiteral("the reference list is unreachable"))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.progId);
        auto hosted = host(QString::fromLatin1(c.progId));
        hosted->setProperty(QStringLiteral("ACTION"), QStringLiteral("SAVE"));

        EXPECT_FALSE(hosted->isRunning());
        EXPECT_EQ(hosted->failure(), c.message);
        EXPECT_FALSE(hosted->property(QStringLiteral("ACTION")).isValid());
        auto* label = qobject_cast<QLabel*>(hosted->widget());
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->text(), c.message);
        EXPECT_EQ(label->objectName(), kCustom);
        EXPECT_EQ(layout->indexOf(label), layout->count() - 1);
        EXPECT_TRUE(errorLog().contains(c.message));
        EXPECT_FALSE(QFile::exists(plugins::callRecordPath(kTask)));
    }
}

TEST_P(PlugInHostTest, TheSampleLogsWhatItGetsAndVetoesASaveWithoutAReference)
{
    auto hosted = host(QStringLiteral("BxSample.TaskPanel"));
    ASSERT_TRUE(hosted->isRunning()) << hosted->failure().toStdString();
    EXPECT_EQ(hosted->widget()->objectName(), kCustom);

    hosted->setProperty(QStringLiteral("SCR_Number"), kTask);
    hosted->setProperty(QStringLiteral("SCR_Custom_Field"), QStringLiteral("REF-7"));
    hosted->setProperty(QStringLiteral("ACTION"), QStringLiteral("VIEW"));
    auto* log = test::child<QPlainTextEdit>(*hosted->widget(), "Log");
    auto* reference = test::child<QLineEdit>(*hosted->widget(), "Reference");
    EXPECT_EQ(log->toPlainText(),
              QStringLiteral("SCR_Number=42\nSCR_Custom_Field=REF-7\nACTION=VIEW"));
    EXPECT_TRUE(reference->isReadOnly());

    hosted->setProperty(QStringLiteral("ACTION"), QStringLiteral("SAVE"));
    EXPECT_EQ(hosted->property(QStringLiteral("ACTION")).toString(), QStringLiteral("SAVE"));
    EXPECT_EQ(hosted->property(QStringLiteral("SCR_Custom_Field")).toString(),
              QStringLiteral("REF-7"));

    reference->setText(QStringLiteral("  "));
    hosted->setProperty(QStringLiteral("ACTION"), QStringLiteral("SAVE"));
    EXPECT_EQ(hosted->property(QStringLiteral("ACTION")).toString(), QStringLiteral("CANCEL"));
    EXPECT_FALSE(QFile::exists(plugins::callRecordPath(kTask)));
}

TEST_P(PlugInHostTest, ThePlugInsDatabaseIsFencedLikeARuleScript)
{
    auto hosted = host(QStringLiteral("BxSample.TaskPanel"));
    hosted->sendDatabase();
    EXPECT_EQ(hosted->property(QStringLiteral("bODBC")).toBool(), session.connection.serverFlag);
    BXDB* db = hosted->property(QStringLiteral("BXDB")).value<BXDB*>();
    ASSERT_NE(db, nullptr);

    const QList<QVariantMap> rows =
        db->query(QStringLiteral("SELECT COUNT(*) AS n FROM SCR WHERE SCR_NUMBER > ?"), {0});
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows.at(0).value(QStringLiteral("n")).toLongLong(), 0);
    EXPECT_THROW(db->execute(QStringLiteral("DROP TABLE SCR")), std::runtime_error);
    EXPECT_NO_THROW(session.db().query(QStringLiteral("SELECT COUNT(*) FROM SCR")));
}

BX_INSTANTIATE_ENGINES(PlugInHostTest);

} // namespace
} // namespace bx
