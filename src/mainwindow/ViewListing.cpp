#include "mainwindow/ViewListing.h"

#include "core/Gmt.h"
#include "core/db/RecordSet.h"
#include "core/schema/TaskColumns.h"
#include "mainwindow/TeamTree.h"
#include "tasks/TaskTypes.h"

#include <QHash>

namespace bx {

namespace {

constexpr int kIndent = 2;

/** The text cut to leave one blank before the next column, then padded to the width. */
QString cell(const QString& text, int width)
{
    return text.left(width - 1).leftJustified(width, QLatin1Char(' '));
}

class Writer
{
public:
    Writer(const RecordSet& tasks, const Clock& clock)
        : m_tasks(tasks)
        , m_gmt(clock)
    {
        const int number = tasks.columnIndex(scr::Number);
        if (number < 0)
            return;
        for (int i = 0; i < tasks.rowCount(); ++i)
            m_rowOf.insert(tasks.rows().at(i).value(number).toLongLong(), i);
    }

    void add(const TreeNode& node, int depth, QStringList& out) const
    {
        const QList<ListingColumn>& columns = listingColumns();
        QString line =
            cell(QString(depth * kIndent, QLatin1Char(' ')) + node.text, columns.at(0).width);
        const QStringList fields = taskFields(node);
        for (int i = 1; i < columns.size(); ++i)
            line += cell(fields.value(i - 1), columns.at(i).width);
        out << line;
        for (const auto& child : node.children)
            add(*child, depth + 1, out);
    }

private:
    QStringList taskFields(const TreeNode& node) const
    {
        if (node.kind != TreeNodeKind::Task)
            return {};
        const auto found = m_rowOf.constFind(node.key.toLongLong());
        if (found == m_rowOf.constEnd())
            return {};
        const int row = *found;
        const auto text = [&](scr::Column column) {
            return m_tasks.value(row, column).toString().trimmed();
        };
        const auto date = [&](scr::Column column) {
            const QDateTime gmt = RecordSet::toDateTime(m_tasks.value(row, column));
            return m_gmt.toLocalDate(gmt).toString(QStringLiteral("yyyy-MM-dd"));
        };
        return {text(scr::OwnerUserId),           date(scr::StartDate),
                date(scr::OwnerDateIn),           date(scr::OwnerDateViewed),
                date(scr::OwnerTargetDate),       date(scr::RequestDate),
                taskStatusWord(text(scr::Status))};
    }

    const RecordSet& m_tasks;
    GmtConverter m_gmt;
    QHash<qlonglong, int> m_rowOf;
};

} // namespace

const QList<ListingColumn>& listingColumns()
{
    // A date column takes "yyyy-MM-dd" and its blank; the status column the longest word.
    static const QList<ListingColumn> columns{{QStringLiteral("User/Folder/Folder/Task Name "), 40},
                                              {QStringLiteral("Owner "), 13},
                                              {QStringLiteral("Start Date"), 11},
                                              {QStringLiteral("Date In "), 11},
                                              {QStringLiteral("Viewed "), 11},
                                              {QStringLiteral("Due "), 11},
                                              {QStringLiteral("Request "), 11},
                                              {QStringLiteral("Status "), 11}};
    return columns;
}

QStringList viewListing(const TeamTree& tree, const RecordSet& tasks, const Clock& clock,
                        const QString& title)
{
    return viewListing(*tree.root(), tasks, clock, title);
}

QStringList viewListing(const TreeNode& root, const RecordSet& tasks, const Clock& clock,
                        const QString& title)
{
    QString header;
    for (const ListingColumn& c : listingColumns())
        header += c.header.leftJustified(c.width, QLatin1Char(' '));
    QStringList out{title, QString(), header};
    const Writer writer(tasks, clock);
    for (const auto& child : root.children)
        writer.add(*child, 0, out);
    return out;
}

} // namespace bx
