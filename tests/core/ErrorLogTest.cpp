#include "core/ErrorLog.h"

#include "support/FixedClock.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace bx;
using bx::test::FixedClock;

namespace {

QString s(const char* text)
{
    return QString::fromUtf8(text);
}

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList g_warnings;

void catchWarning(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    if (type == QtWarningMsg)
        g_warnings.append(text);
}

} // namespace

TEST(ErrorLog, EveryLineIsAlsoAWarning)
{
    QTemporaryDir dir;
    const FixedClock clock(naive(QDate(2024, 1, 31), QTime(14, 5, 9)));
    g_warnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler(&catchWarning);
    ErrorLog(dir.filePath(ErrorLog::fileName()), clock).write(s("17"), s("Error: 17 refused"));
    ErrorLog(dir.path(), clock).write(s("t"), s("d")); // a folder: the write fails
    qInstallMessageHandler(previous);

    ASSERT_EQ(g_warnings.size(), 3);
    EXPECT_EQ(g_warnings.at(0), s("2024-01-31 14:05:09 : 17 : Error: 17 refused"));
    EXPECT_EQ(g_warnings.at(1), s("2024-01-31 14:05:09 : t : d"));
    EXPECT_TRUE(g_warnings.at(2).contains(dir.path())) << g_warnings.at(2).toStdString();
}

TEST(ErrorLog, AppendsOneCrLfLinePerError)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(s("logs/QVErrorLog.txt"));
    FixedClock clock(naive(QDate(2024, 1, 31), QTime(14, 5, 9)));
    const ErrorLog log(path, clock);

    log.write(s("Invalid Password or User Name."), s("Error: 18456 login failed"));
    clock.advanceSeconds(61);
    log.write(s("Error "), s("Error: 23505 duplicate key\nDETAIL: Key (id)=(1) exists."));
    log.write(s("17"), s("Café"));

    EXPECT_EQ(contents(path),
              QByteArray("2024-01-31 14:05:09 : Invalid Password or User Name. : Error: 18456 "
                         "login failed\r\n"
                         "2024-01-31 14:06:10 : Error  : Error: 23505 duplicate key DETAIL: Key "
                         "(id)=(1) exists.\r\n"
                         "2024-01-31 14:06:10 : 17 : Caf\xC3\xA9\r\n"));

    const ErrorLog again(path, clock);
    again.write(s("t"), s("d"));
    EXPECT_TRUE(contents(path).startsWith("2024-01-31 14:05:09 : Invalid"));
    EXPECT_TRUE(contents(path).endsWith("2024-01-31 14:06:10 : t : d\r\n"));
}

TEST(ErrorLog, DefaultLogLivesInTheDataFolder)
{
    const FixedClock clock;
    const ErrorLog log(clock);
    EXPECT_EQ(log.path(), qEnvironmentVariable("BRINDLEPAX_DATA") + s("/QVErrorLog.txt"));
}
