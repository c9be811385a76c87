#include "support/TestMain.h"

#include "support/EngineFixture.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdlib>
#include <cstring>

using namespace Qt::StringLiterals;

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
    // One folder per test process, removed when the process ends.
    static QTemporaryDir home(QDir::tempPath() + u"/bxtest-XXXXXX"_s);
    const QByteArray base = QFile::encodeName(home.path());

    // Windows are laid out on a 1366x768 screen, the smallest one they are made for; the offscreen
    // platform's own screen would be 800x800 and would clip the sizes windows choose for
    // themselves.
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform == nullptr || std::strcmp(platform, "offscreen") == 0) {
        QFile screen(home.filePath(u"screen.json"_s));
        if (screen.open(QIODevice::WriteOnly))
            screen.write(R"({"screens": [{"name": "test", "x": 0, "y": 0, "width": 1366, )"
                         R"("height": 768, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})");
        const QByteArray offscreen = "offscreen:configfile=" + QFile::encodeName(screen.fileName());
        setenv("QT_QPA_PLATFORM", offscreen.constData(), 1);
    }
    setenv("BRINDLEPAX_DATA", (base + "/data").constData(), 1);
    setenv("BRINDLEPAX_CONFIG", (base + "/config").constData(), 1);
    setenv("XDG_CONFIG_HOME", (base + "/xdg-config").constData(), 1);
    setenv("XDG_DATA_HOME", (base + "/xdg-data").constData(), 1);
    QDir().mkpath(home.path() + u"/data"_s);
    QDir().mkpath(home.path() + u"/config"_s);
}

void finishTests()
{
    dropProcessDatabase();
}

} // namespace bx::test
