#include "mainwindow/CategoryPaths.h"

#include "core/db/Database.h"

#include <QSet>

namespace bx {

QString pathOfCategory(const QString& category,
                       const std::function<QString(const QString&)>& parentOf)
{
    if (category.trimmed().isEmpty())
        return kUnspecifiedFolder;
    QString path = category;
    QSet<QString> met{category.trimmed().toUpper()};
    for (QString current = category;;) {
        const QString parent = parentOf(current);
        const QString key = parent.trimmed().toUpper();
        if (key.isEmpty() || met.contains(key))
            break;
        met.insert(key);
        path = parent + QStringLiteral("\\") + path;
        current = parent;
    }
    return path;
}

CategoryPaths CategoryPaths::read(Database& db)
{
    CategoryPaths paths;
    const RecordSet rows =
        db.query(QStringLiteral("SELECT Category, Parent_Category FROM LU_CATEGORY"));
    for (const QVariantList& row : rows.rows())
        paths.m_parents.insert(row.value(0).toString().trimmed().toUpper(),
                               row.value(1).toString());
    return paths;
}

QString CategoryPaths::path(const QString& category) const
{
    return pathOfCategory(category, [this](const QString& current) {
        return m_parents.value(current.trimmed().toUpper());
    });
}

} // namespace bx
