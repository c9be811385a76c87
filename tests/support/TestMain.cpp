#include "support/TestMain.h"

#include "support/EngineFixture.h"

#include <QDir>
#include <QTemporaryDir>

#include <cstdlib>
#include <cstring>

namespace bx::test {

bool isListingTests(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--gtest_list_tests") == 0)
            return true;
    }
    return false;
}

void prepareTestEnvironment()
{
    if (std::getenv("QT_QPA_PLATFORM") == nullptr)
        setenv("QT_QPA_PLATFORM", "offscreen", 1);

    // One folder per test process, removed when the process ends.
    static QTemporaryDir home(QDir::tempPath() + QStringLiteral("/bxtest-XXXXXX"));
    const QByteArray base = QFile::encodeName(home.path());
    setenv("BRINDLEPAX_DATA", (base + "/data").constData(), 1);
    setenv("BRINDLEPAX_CONFIG", (base + "/config").constData(), 1);
    setenv("XDG_CONFIG_HOME", (base + "/xdg-config").constData(), 1);
    setenv("XDG_DATA_HOME", (base + "/xdg-data").constData(), 1);
    QDir().mkpath(home.path() + QStringLiteral("/data"));
    QDir().mkpath(home.path() + QStringLiteral("/config"));
}

void finishTests()
{
    dropProcessDatabase();
}

} // namespace bx::test
