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

} // namespace

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
