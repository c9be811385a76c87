#include "people/Autostart.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace bx;

TEST(Autostart, EntryIsWrittenWithAQuotedPathAndRemoved)
{
    QTemporaryDir dir;
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.path()));
    const QString path = dir.filePath(u"autostart/brindlepax.desktop"_s);
    EXPECT_EQ(Autostart::entryPath(), path);

    ASSERT_TRUE(Autostart::setOn(true, u"/opt/My Apps/o'brien \"bx\"/brindlepax"_s));
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
    EXPECT_EQ(Autostart::execValue(u"/usr/bin/brindlepax"_s), u"/usr/bin/brindlepax"_s);
    EXPECT_EQ(Autostart::execValue(u"/opt/50%/bx"_s), u"/opt/50%%/bx"_s);
    // A literal '$' in a quoted argument is "\\$" in the file, a backslash four of them.
    EXPECT_EQ(Autostart::execValue(u"/opt/a$b\\c `d`/bx"_s),
              u"\"/opt/a\\\\$b\\\\\\\\c \\\\`d\\\\`/bx\""_s);
}
