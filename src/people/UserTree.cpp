#include "people/UserTree.h"

#include "core/TextCompare.h"
#include "core/db/Database.h"

#include <QHash>
#include <QSet>

#include <algorithm>

namespace bx {

namespace {

QString key(const QString& userId)
{
    return userId.trimmed().toCaseFolded();
}

QList<UserSummary> allUsers(Database& db)
{
    const RecordSet rs = db.query(
        QStringLiteral("SELECT USER_ID, User_Name, Supervisor_User_ID, Disabled FROM LU_USER"));
    QList<UserSummary> out;
    out.reserve(rs.rowCount());
    for (int i = 0; i < rs.rowCount(); ++i) {
        const auto text = [&](const char* column) {
            const QVariant v = rs.value(i, QLatin1String(column));
            return v.isNull() ? QString() : v.toString();
        };
        out.append({text("USER_ID"), text("User_Name"), text("Supervisor_User_ID").trimmed(),
                    rs.value(i, QStringLiteral("Disabled")).toLongLong() != 0});
    }
    // Ordered here rather than by the engines, whose orders differ beyond ASCII.
    std::sort(out.begin(), out.end(), [](const UserSummary& a, const UserSummary& b) {
        return a.userId.compare(b.userId, Qt::CaseInsensitive) < 0;
    });
    return out;
}

} // namespace

QList<UserSummary> subUsers(Database& db, const QString& supervisor)
{
    QList<UserSummary> out;
    for (const UserSummary& u : allUsers(db))
        if (!u.disabled && !u.supervisor.isEmpty() && sameText(u.supervisor, supervisor))
            out.append(u);
    return out;
}

QList<UserSummary> enabledUsers(Database& db)
{
    QList<UserSummary> out;
    for (const UserSummary& u : allUsers(db))
        if (!u.disabled)
            out.append(u);
    return out;
}

QList<UserNode> userTree(Database& db, bool includeDisabled)
{
    QList<UserSummary> users = includeDisabled ? allUsers(db) : enabledUsers(db);
    QHash<QString, int> index;
    for (int i = 0; i < users.size(); ++i)
        index.insert(key(users[i].userId), i);

    QList<QList<int>> children(users.size());
    QList<int> roots;
    for (int i = 0; i < users.size(); ++i) {
        const int parent = index.value(key(users[i].supervisor), -1);
        if (parent < 0 || parent == i)
            roots.append(i);
        else
            children[parent].append(i);
    }

    QSet<int> placed;
    const auto build = [&](auto&& self, int i) -> UserNode {
        placed.insert(i);
        UserNode node{users[i], {}};
        for (int c : children[i])
            if (!placed.contains(c))
                node.children.append(self(self, c));
        return node;
    };
    QList<UserNode> tree;
    for (int r : roots)
        tree.append(build(build, r));
    // Users in a supervisor cycle are reached from no root: the first of each cycle stands at the
    // top and carries the rest.
    for (int i = 0; i < users.size(); ++i)
        if (!placed.contains(i))
            tree.append(build(build, i));
    std::sort(tree.begin(), tree.end(), [](const UserNode& a, const UserNode& b) {
        return a.user.userId.compare(b.user.userId, Qt::CaseInsensitive) < 0;
    });
    return tree;
}

std::optional<QString> findUserId(Database& db, const QString& userId)
{
    const QString wanted = key(userId);
    if (wanted.isEmpty())
        return std::nullopt;
    const RecordSet rs = db.query(QStringLiteral("SELECT USER_ID FROM LU_USER"));
    for (const QVariantList& row : rs.rows())
        if (key(row.first().toString()) == wanted)
            return row.first().toString();
    return std::nullopt;
}

} // namespace bx
