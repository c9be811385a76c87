#include "people/Autostart.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace bx;

TEST(Autostart, EntryIsWrittenWithAQuotedPathAndRemoved)
{
    QTemporaryDir dir;
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.path()));
    const QString path = dir.filePath(QStringLiteral("autostart/brindlepax.desktop"));
    EXPECT_EQ(Autostart::entryPath(), path);

    ASSERT_TRUE(Autostart::setOn(true, QStringLiteral("/opt/My Apps/o'brien \"bx\"/brindlepax")));
    EXPECT_TRUE(Autostart::isOn());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("[Desktop Entry]\n"
                                      "Type=Application\n"
                                      "Name=Brindlepax\n"
                                      "Exec=\"/opt/My Apps/o'brien \\\\\"bx\\\\\"/brindlepax\"\n"));
    f.close();

    ASSERT_TRUE(Autostart::setOn(false));
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_FALSE(Autostart::isOn());
    qputenv("XDG_CONFIG_HOME", saved);
}

TEST(Autostart, ExecValueQuotesOnlyWhatTheRulesReserve)
{
    EXPECT_EQ(Autostart::execValue(QStringLiteral("/usr/bin/brindlepax")),
              QStringLiteral("/usr/bin/brindlepax"));
    EXPECT_EQ(Autostart::execValue(QStringLiteral("/opt/50%/bx")), QStringLiteral("/opt/50%%/bx"));
    // A literal '$' in a quoted argument is "\\$" in the file, a backslash four of them.
    EXPECT_EQ(Autostart::execValue(QStringLiteral("/opt/a$b\\c `d`/bx")),
              QStringLiteral("\"/opt/a\\\\$b\\\\\\\\c \\\\`d\\\\`/bx\""));
}
