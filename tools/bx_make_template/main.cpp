// Builds the embedded database template "pax.md_" from the base schema script when the program is
// built: bx_make_template <script> <template>. The template is written under a temporary name and
// moved into place only when complete, so that a failed build never leaves a half-made template.

#include "core/db/DbError.h"
#include "core/db/SqliteDatabase.h"

#include <QCoreApplication>
#include <QFile>
#include <QTextStream>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    QTextStream err(stderr);
    if (args.size() != 3) {
        err << "usage: bx_make_template <schema script> <template file>\n";
        return 2;
    }
    const QString scriptPath = args.at(1);
    const QString target = args.at(2);
    const QString partial = target + QStringLiteral(".partial");

    QFile script(scriptPath);
    if (!script.open(QIODevice::ReadOnly)) {
        err << "cannot read " << scriptPath << ": " << script.errorString() << '\n';
        return 1;
    }
    QFile::remove(partial);
    try {
        auto db = bx::SqliteDatabase::open(partial, bx::SqliteDatabase::OpenMode::Create);
        db->executeScript(QString::fromUtf8(script.readAll()));
    } catch (const bx::DbError& e) {
        err << scriptPath << ": " << e.text() << '\n';
        QFile::remove(partial);
        return 1;
    }
    QFile::remove(target);
    if (!QFile::rename(partial, target)) {
        err << "cannot write " << target << '\n';
        return 1;
    }
    return 0;
}
