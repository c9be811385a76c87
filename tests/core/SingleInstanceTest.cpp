#include "core/SingleInstance.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace bx;
using namespace Qt::StringLiterals;

namespace {

/** Sets an environment variable (or unsets it, for a null value) and restores it at the end. */
class EnvironmentVariable
{
public:
    EnvironmentVariable(const char* name, const QByteArray& value)
        : m_name(name)
        , m_had(qEnvironmentVariableIsSet(name))
        , m_old(qgetenv(name))
    {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    }
    ~EnvironmentVariable()
    {
        if (m_had)
            qputenv(m_name, m_old);
        else
            qunsetenv(m_name);
    }
    EnvironmentVariable(const EnvironmentVariable&) = delete;
    EnvironmentVariable& operator=(const EnvironmentVariable&) = delete;

private:
    const char* m_name;
    bool m_had;
    QByteArray m_old;
};

QString testKey()
{
    return u"bxtest-%1"_s.arg(QRandomGenerator::global()->generate());
}

/** The permission bits of a folder, or -1 when it is missing. */
int modeOf(const QString& path)
{
    struct stat st = {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

} // namespace

TEST(SingleInstance, TheSecondCopyGivesWayUntilTheFirstEnds)
{
    QTemporaryDir runtime;
    const EnvironmentVariable xdg("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    const QString key = testKey();
    auto first = std::make_unique<SingleInstance>(key);
    ASSERT_TRUE(first->claim());
    EXPECT_EQ(QFileInfo(first->socketPath()).absolutePath(), runtime.path());
    SingleInstance second(key);
    EXPECT_FALSE(second.claim());
    first.reset();
    EXPECT_TRUE(second.claim()) << "the name is free again once the first copy is gone";

    // Another display is another session of the user: it may run its own copy.
    const EnvironmentVariable display("WAYLAND_DISPLAY", "bx-other-display");
    SingleInstance elsewhere(key);
    EXPECT_TRUE(elsewhere.claim());
}

// Without a usable runtime folder the socket goes to a folder of the user's own in the temporary
// folder, never to one that others may enter, and two copies still meet there.
TEST(SingleInstance, WithoutARuntimeFolderTheSocketGoesToAPrivateFolder)
{
    QTemporaryDir tmp;
    QFile notAFolder(tmp.filePath(u"runtime"_s));
    ASSERT_TRUE(notAFolder.open(QIODevice::WriteOnly));
    const EnvironmentVariable tmpdir("TMPDIR", QFile::encodeName(tmp.path()));
    const QString own = tmp.filePath(u"brindlepax-%1"_s.arg(geteuid()));

    for (const QByteArray& runtime : {QByteArray(), QFile::encodeName(notAFolder.fileName())}) {
        const EnvironmentVariable xdg("XDG_RUNTIME_DIR", runtime);
        SingleInstance first(testKey());
        ASSERT_TRUE(first.claim());
        EXPECT_EQ(QFileInfo(first.socketPath()).absolutePath(), own);
        EXPECT_EQ(modeOf(own), 0700);
    }

    // A folder of that name that others may enter is passed over, and left as it was.
    ASSERT_TRUE(QDir(own).removeRecursively());
    ASSERT_TRUE(QDir().mkdir(own));
    ASSERT_TRUE(QFile::setPermissions(own, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                               QFileDevice::ExeOwner | QFileDevice::WriteOther |
                                               QFileDevice::ExeOther));
    const EnvironmentVariable xdg("XDG_RUNTIME_DIR", QByteArray());
    const QString key = testKey();
    SingleInstance first(key);
    ASSERT_TRUE(first.claim());
    const QString folder = QFileInfo(first.socketPath()).absolutePath();
    EXPECT_NE(folder, own);
    EXPECT_EQ(modeOf(folder), 0700);
    EXPECT_TRUE(QDir(own).isEmpty(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot));
    SingleInstance second(key);
    EXPECT_FALSE(second.claim()) << "the second copy finds the first in the same fresh folder";
}
