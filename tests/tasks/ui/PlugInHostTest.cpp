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

using namespace Qt::StringLiterals;

namespace bx {
namespace {

const QString kCustom = u"BX_Custom"_s;
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
                return QVariantMap{{u"SCR_Title"_s, u"Unsaved title"_s}};
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
    EXPECT_TRUE(folders.contains(QDir::cleanPath(AppPaths::dataDir() + u"/plugins"_s)));

    const plugins::PlugInLibrary* sample = catalog.find(u"bxsample.TASKPANEL"_s);
    ASSERT_NE(sample, nullptr);
    EXPECT_TRUE(sample->path.contains(u"BxSamplePlugIn"_s));
    EXPECT_EQ(sample->iid, QStringLiteral(BX_TASK_PLUGIN_IID));
    EXPECT_EQ(catalog.find(u"BxSample"_s), nullptr);
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
        {"BxTest.Missing", plugInNotInstalledMessage(u"BxTest.Missing"_s)},
        {"BxTest.WrongIid",
         plugInNotLoadedMessage(
             u"BxTest.WrongIid"_s,
             QStringLiteral("the library does not offer the interface " BX_TASK_PLUGIN_IID))},
        {"BxTest.NoInterface",
         plugInNotLoadedMessage(
             u"BxTest.NoInterface"_s,
             QStringLiteral("the library does not offer the interface " BX_TASK_PLUGIN_IID))},
        {"BxTest.Throwing",
         plugInFailedMessage(u"BxTest.Throwing"_s, u"the reference list is unreachable"_s)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.progId);
        auto hosted = host(QString::fromLatin1(c.progId));
        hosted->setProperty(u"ACTION"_s, u"SAVE"_s);

        EXPECT_FALSE(hosted->isRunning());
        EXPECT_EQ(hosted->failure(), c.message);
        EXPECT_FALSE(hosted->property(u"ACTION"_s).isValid());
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
    auto hosted = host(u"BxSample.TaskPanel"_s);
    ASSERT_TRUE(hosted->isRunning()) << hosted->failure().toStdString();
    EXPECT_EQ(hosted->widget()->objectName(), kCustom);

    hosted->setProperty(u"SCR_Number"_s, kTask);
    hosted->setProperty(u"SCR_Custom_Field"_s, u"REF-7"_s);
    hosted->setProperty(u"ACTION"_s, u"VIEW"_s);
    auto* log = test::child<QPlainTextEdit>(*hosted->widget(), "Log");
    auto* reference = test::child<QLineEdit>(*hosted->widget(), "Reference");
    EXPECT_EQ(log->toPlainText(), u"SCR_Number=42\nSCR_Custom_Field=REF-7\nACTION=VIEW"_s);
    EXPECT_TRUE(reference->isReadOnly());

    hosted->setProperty(u"ACTION"_s, u"SAVE"_s);
    EXPECT_EQ(hosted->property(u"ACTION"_s).toString(), u"SAVE"_s);
    EXPECT_EQ(hosted->property(u"SCR_Custom_Field"_s).toString(), u"REF-7"_s);

    reference->setText(u"  "_s);
    hosted->setProperty(u"ACTION"_s, u"SAVE"_s);
    EXPECT_EQ(hosted->property(u"ACTION"_s).toString(), u"CANCEL"_s);
    EXPECT_FALSE(QFile::exists(plugins::callRecordPath(kTask)));
}

TEST_P(PlugInHostTest, ThePlugInsDatabaseIsFencedLikeARuleScript)
{
    auto hosted = host(u"BxSample.TaskPanel"_s);
    hosted->sendDatabase();
    EXPECT_EQ(hosted->property(u"bODBC"_s).toBool(), session.connection.serverFlag);
    BXDB* db = hosted->property(u"BXDB"_s).value<BXDB*>();
    ASSERT_NE(db, nullptr);

    const QList<QVariantMap> rows =
        db->query(u"SELECT COUNT(*) AS n FROM SCR WHERE SCR_NUMBER > ?"_s, {0});
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows.at(0).value(u"n"_s).toLongLong(), 0);
    EXPECT_THROW(db->execute(u"DROP TABLE SCR"_s), std::runtime_error);
    EXPECT_NO_THROW(session.db().query(u"SELECT COUNT(*) FROM SCR"_s));
}

BX_INSTANTIATE_ENGINES(PlugInHostTest);

} // namespace
} // namespace bx
