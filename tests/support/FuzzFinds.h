#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <gtest/gtest.h>

namespace bx::test {

/**
 * An input a fuzz target found (tests/data/fuzz/<target>/<name>), kept so that the case stays
 * covered without the fuzzer. Fails the test when the file is missing.
 */
inline QByteArray fuzzFind(const char* target, const char* name)
{
    QFile file(QStringLiteral(BX_TEST_SOURCE_DIR "/data/fuzz/") + QLatin1String(target) +
               QLatin1Char('/') + QLatin1String(name));
    if (!file.open(QIODevice::ReadOnly)) {
        ADD_FAILURE() << "missing fuzz find " << file.fileName().toStdString();
        return {};
    }
    return file.readAll();
}

} // namespace bx::test
