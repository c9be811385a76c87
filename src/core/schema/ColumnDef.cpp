#include "core/schema/ColumnDef.h"

#include <QStringList>

#include <algorithm>

namespace bx {

const ColumnDef* findColumn(const QList<ColumnDef>& catalogue, QStringView name)
{
    for (const ColumnDef& c : catalogue) {
        if (QStringView(c.name).compare(name, Qt::CaseInsensitive) == 0)
            return &c;
    }
    return nullptr;
}

QStringList listedColumns(const QList<ColumnDef>& catalogue)
{
    QList<const ColumnDef*> listed;
    for (const ColumnDef& c : catalogue) {
        if (c.listed >= 0)
            listed << &c;
    }
    std::sort(listed.begin(), listed.end(),
              [](const ColumnDef* a, const ColumnDef* b) { return a->listed < b->listed; });
    QStringList names;
    for (const ColumnDef* c : listed)
        names << c->name;
    return names;
}

} // namespace bx
