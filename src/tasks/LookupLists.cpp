#include "tasks/LookupLists.h"

#include "core/Prompt.h"
#include "core/Session.h"
#include "core/SpelledUserId.h"
#include "core/UserRights.h"
#include "core/db/Database.h"
#include "core/db/ParameterQuery.h"
#include "core/schema/TaskColumns.h"

#include <QHash>
#include <QSet>

#include <algorithm>

namespace bx {

namespace {

const QString kNoSelection = QStringLiteral("No item selected");

const QList<LookupListInfo> kLists = {
    {LookupKind::Priority, QStringLiteral("Priorities"), QStringLiteral("Priority"),
     QStringLiteral("LU_Priority"), QStringLiteral("Priority Name")},
    {LookupKind::Category, QStringLiteral("Categories"), QStringLiteral("Category"),
     QStringLiteral("LU_CATEGORY"), QStringLiteral("File Folder Name")},
    {LookupKind::Rule, QStringLiteral("Rules"), QStringLiteral("Rule_Name"),
     QStringLiteral("LU_RULES"), QStringLiteral("Rule Name")},
};

/** A column that holds a list's key elsewhere and must follow a rename. */
struct KeyReference
{
    QLatin1String table;
    QLatin1String column;
};

// Tasks and stages name their priority and rule by text; without these a renamed entry would
// leave them pointing at nothing.
const KeyReference kPriorityReferences[] = {{scr::Table, scr::Priority}};
const KeyReference kRuleReferences[] = {
    {QLatin1String("LIFECYCLE_USER"), QLatin1String("Rule_Name")}};
// Subfolders, tasks and attachments go through the parameter queries below; these two are tied
// to LU_CATEGORY by foreign keys.
const KeyReference kCategoryReferences[] = {
    {QLatin1String("LU_GROUP"), QLatin1String("Root_Folder")},
    {QLatin1String("LU_ACCESS_LEVEL"), QLatin1String("ACCESS_LEVEL")}};

const char* const kCategoryCascade[] = {
    "PARAMETERS sTitle String, sTitleOld String; UPDATE LU_CATEGORY SET Parent_Category = "
    "[sTitle]  WHERE Parent_Category = [sTitleOld]",
    "PARAMETERS sTitle String, sTitleOld String; UPDATE SCR SET SCR_Category = [sTitle]  WHERE "
    "SCR_Category = [sTitleOld]",
    "PARAMETERS sTitle String, sTitleOld String; UPDATE Attach SET Category = [sTitle]  WHERE "
    "Category =[sTitleOld];",
};

QString upper(const QString& text)
{
    return text.trimmed().toUpper();
}

// The old statements wrote an empty name as a single blank; a category spelled that way is still
// found by it.
QString keyOf(const QString& name)
{
    return name.isEmpty() ? QStringLiteral(" ") : name;
}

qlonglong count(Database& db, const QString& sql, const QVariantList& params)
{
    return db.scalar(sql, params).toLongLong();
}

RefusalOf<> refused(const QString& text)
{
    return RefusalOf<>{text};
}

} // namespace

const QList<LookupListInfo>& lookupLists()
{
    return kLists;
}

const LookupListInfo& lookupList(LookupKind kind)
{
    return kLists.at(static_cast<int>(kind));
}

namespace lookup {

bool isTopLevel(const QString& name)
{
    return upper(name) == kTopLevel.toUpper();
}

bool isUnspecified(const QString& name)
{
    return upper(name) == kUnspecifiedFolder.toUpper();
}

} // namespace lookup

LookupLists::LookupLists(Session& session, Prompt& prompt)
    : m_session(session)
    , m_prompt(prompt)
{
}

QString LookupLists::me() const
{
    return spelledUserId(m_session);
}

QStringList LookupLists::entries(LookupKind kind)
{
    const LookupListInfo& list = lookupList(kind);
    QStringList out;
    const RecordSet rs = m_session.db().query(QStringLiteral("SELECT * FROM ") + list.table);
    for (int i = 0; i < rs.rowCount(); ++i)
        out << rs.value(i, list.keyColumn).toString();
    std::sort(out.begin(), out.end(), [](const QString& a, const QString& b) {
        return a.compare(b, Qt::CaseInsensitive) < 0;
    });
    return out;
}

QList<CategoryNode> LookupLists::categoryTree()
{
    struct Row
    {
        QString name;
        QString parent;
    };
    QList<Row> all;
    const RecordSet rs =
        m_session.db().query(QStringLiteral("SELECT Category, Parent_Category FROM LU_CATEGORY"));
    for (int i = 0; i < rs.rowCount(); ++i)
        all.append({rs.value(i, QStringLiteral("Category")).toString(),
                    rs.value(i, QStringLiteral("Parent_Category")).toString()});
    std::sort(all.begin(), all.end(), [](const Row& a, const Row& b) {
        return a.name.compare(b.name, Qt::CaseInsensitive) < 0;
    });

    QHash<QString, int> index;
    for (int i = 0; i < all.size(); ++i)
        index.insert(upper(all[i].name), i);
    QList<QList<int>> children(all.size());
    QList<int> roots;
    for (int i = 0; i < all.size(); ++i) {
        const int parent =
            all[i].parent.trimmed().isEmpty() ? -1 : index.value(upper(all[i].parent), -1);
        if (parent < 0 || parent == i)
            roots.append(i);
        else
            children[parent].append(i);
    }

    QList<CategoryNode> out{{lookup::kUnspecifiedFolder, QString(), 0}};
    QList<bool> placed(all.size(), false);
    const auto place = [&](auto& self, int i, const QString& parent, int level) -> void {
        placed[i] = true;
        out.append({all[i].name, parent, level});
        for (int child : children[i])
            if (!placed[child])
                self(self, child, all[i].name, level + 1);
    };
    for (int i : roots)
        place(place, i, QString(), 0);
    // What is left sits in a cycle of parents that no root reaches: each cycle at the top.
    for (int i = 0; i < all.size(); ++i)
        if (!placed[i])
            place(place, i, QString(), 0);
    return out;
}

QString LookupLists::parentOf(const QString& category)
{
    return m_session.db()
        .scalar(QStringLiteral("SELECT Parent_Category FROM LU_CATEGORY WHERE Category = ?"),
                {keyOf(category)})
        .toString();
}

std::optional<RefusalOf<>> LookupLists::mayRename(LookupKind kind, const QString& selected) const
{
    if (selected.isEmpty())
        return RefusalOf<>{kNoSelection};
    if (kind == LookupKind::Category &&
        (lookup::isUnspecified(selected) || lookup::isTopLevel(selected)))
        return RefusalOf<>{QStringLiteral("You can't rename ") + selected};
    return std::nullopt;
}

Outcome<> LookupLists::remove(LookupKind kind, const QString& name)
{
    if (auto refusal = UserRights::refuseUnlessAdministrator(m_session.user.record))
        return *refusal;
    if (name.isEmpty())
        return RefusalOf<>{kNoSelection};
    if (m_prompt.ask(QStringLiteral("Are you sure?"), {}, PromptButtons::OkCancel) !=
        PromptAnswer::Ok)
        return Outcome<>::declined();
    Database& db = m_session.db();
    const LookupListInfo& list = lookupList(kind);
    const QVariantList key{name};
    switch (kind) {
    case LookupKind::Priority:
        if (count(db, QStringLiteral("SELECT COUNT(*) FROM SCR WHERE %1 = ?").arg(scr::Priority),
                  key) > 0)
            return refused(
                QStringLiteral("There are tasks of this Priority. You can't delete it."));
        break;
    case LookupKind::Rule:
        if (count(db, QStringLiteral("SELECT COUNT(*) FROM LIFECYCLE_USER WHERE Rule_Name = ?"),
                  key) > 0)
            return refused(
                QStringLiteral("There are LifeCycles contains this Rule. You can't delete it."));
        break;
    case LookupKind::Category: {
        if (lookup::isUnspecified(name) || lookup::isTopLevel(name))
            return refused(QStringLiteral("You can't delete '") + name + QLatin1Char('\''));
        if (upper(name) == QStringLiteral("Undefined Folder").toUpper())
            return refused(QStringLiteral("You can't delete 'Undefined Folder'"));
        if (count(db, QStringLiteral("SELECT COUNT(*) FROM LU_CATEGORY WHERE Parent_Category = ?"),
                  key) > 0)
            return refused(
                QStringLiteral("There are subfolders under this folder. You can't delete it."));
        if (count(db, QStringLiteral("SELECT COUNT(*) FROM SCR WHERE %1 = ?").arg(scr::Category),
                  key) > 0)
            return refused(QStringLiteral("There are tasks in this Folder. You can't delete it."));
        // The foreign key from LU_GROUP.Root_Folder would otherwise refuse the delete, or take
        // the workshop (and everything of it) along where it cascades.
        const RecordSet owners =
            db.query(QStringLiteral(
                         "SELECT GROUP_NAME FROM LU_GROUP WHERE Root_Folder = ? ORDER BY GROUP_ID"),
                     key);
        if (!owners.isEmpty())
            return refused(QStringLiteral("This folder is the root folder of workshop '") +
                           owners.text(QStringLiteral("GROUP_NAME")) +
                           QStringLiteral("'. You can't delete it."));
        break;
    }
    }

    Transaction tx(db);
    if (kind == LookupKind::Category)
        db.execute(QStringLiteral("DELETE FROM LU_ACCESS_LEVEL WHERE ACCESS_LEVEL = ?"), key);
    db.execute(QStringLiteral("DELETE FROM ") + list.table + QStringLiteral(" WHERE ") +
                   list.keyColumn + QStringLiteral(" = ?"),
               key);
    tx.commit();
    return Done{};
}

bool LookupLists::isBelow(const QString& category, const QString& ancestor)
{
    // Walks up from the category; a cycle of parents in old data ends the walk.
    Database& db = m_session.db();
    const QString wanted = upper(ancestor);
    QSet<QString> seen;
    QString name = category;
    while (!seen.contains(upper(name))) {
        if (upper(name) == wanted)
            return true;
        seen.insert(upper(name));
        const QVariant parent =
            db.scalar(QStringLiteral("SELECT Parent_Category FROM LU_CATEGORY WHERE Category = ?"),
                      {keyOf(name)});
        if (parent.isNull() || parent.toString().trimmed().isEmpty())
            return false;
        name = parent.toString();
    }
    return false;
}

Outcome<> LookupLists::moveCategory(const QString& dragged, const QString& target)
{
    if (auto refusal = UserRights::refuseUnlessAdministrator(m_session.user.record))
        return *refusal;
    if (m_prompt.ask(QStringLiteral("Move '") + dragged + QStringLiteral("' under '") + target +
                         QStringLiteral("'?"),
                     {}, PromptButtons::YesNo) != PromptAnswer::Yes)
        return Outcome<>::declined();
    const QString refusal =
        QStringLiteral("You can not move ") + dragged + QStringLiteral(" under to ") + target;
    if (lookup::isTopLevel(dragged) || lookup::isUnspecified(dragged) ||
        lookup::isUnspecified(target))
        return refused(refusal);
    Database& db = m_session.db();
    Transaction tx(db);
    if (lookup::isTopLevel(target)) {
        db.execute(
            QStringLiteral("UPDATE LU_CATEGORY SET Parent_Category = NULL WHERE Category = ?"),
            {keyOf(dragged)});
    } else {
        if (isBelow(target, dragged))
            return refused(refusal);
        db.execute(QStringLiteral("UPDATE LU_CATEGORY SET Parent_Category = ? WHERE Category = ?"),
                   {keyOf(target), keyOf(dragged)});
    }
    tx.commit();
    return Done{};
}

Outcome<> LookupLists::save(const LookupDraft& draft)
{
    if (auto refusal = UserRights::refuseUnlessAdministrator(m_session.user.record))
        return *refusal;
    const QString key = draft.text.trimmed();
    const QVariant parent = chosenParent(draft);
    if (auto refusal = checkDraft(draft, key, parent))
        return *refusal;

    Database& db = m_session.db();
    Transaction tx(db);
    if (draft.isNew)
        addEntry(draft.kind, key, parent);
    else if (key != draft.originalKey)
        renameEntry(draft.kind, draft.originalKey, key, parent);
    else if (draft.kind == LookupKind::Category)
        db.execute(QStringLiteral("UPDATE LU_CATEGORY SET Parent_Category = ? WHERE Category = ?"),
                   {parent, key});
    tx.commit();
    return Done{};
}

QVariant LookupLists::chosenParent(const LookupDraft& draft)
{
    if (draft.kind != LookupKind::Category || draft.parent.trimmed().isEmpty() ||
        lookup::isTopLevel(draft.parent) || lookup::isUnspecified(draft.parent))
        return {};
    return draft.parent.trimmed();
}

std::optional<RefusalOf<>> LookupLists::checkDraft(const LookupDraft& draft, const QString& key,
                                                   const QVariant& parent)
{
    const bool category = draft.kind == LookupKind::Category;
    const QString& old = draft.originalKey;
    if (key.isEmpty())
        return refused(QStringLiteral("Please specify ") + lookupList(draft.kind).caption);
    if (!draft.isNew && category && (lookup::isUnspecified(old) || lookup::isTopLevel(old)))
        return refused(QStringLiteral("You can't rename ") + old);
    if (draft.isNew || upper(key) != upper(old)) {
        QStringList taken = entries(draft.kind);
        if (category)
            taken << lookup::kTopLevel << lookup::kUnspecifiedFolder;
        const bool exists = std::any_of(taken.cbegin(), taken.cend(),
                                        [&](const QString& t) { return upper(t) == upper(key); });
        if (exists)
            return refused(QStringLiteral("Value '") + key + QStringLiteral("' already exists."));
    }
    if (!draft.isNew && !parent.isNull() && isBelow(parent.toString(), old))
        return refused(QStringLiteral("You can not move ") + old + QStringLiteral(" under to ") +
                       parent.toString());
    return std::nullopt;
}

void LookupLists::addEntry(LookupKind kind, const QString& key, const QVariant& parent)
{
    Database& db = m_session.db();
    if (kind != LookupKind::Category) {
        const LookupListInfo& list = lookupList(kind);
        db.execute(QStringLiteral("INSERT INTO ") + list.table + QStringLiteral(" (") +
                       list.keyColumn + QStringLiteral(") VALUES (?)"),
                   {key});
        return;
    }
    db.execute(QStringLiteral("INSERT INTO LU_CATEGORY (Category, Parent_Category) VALUES (?, ?)"),
               {key, parent});
    db.execute(QStringLiteral("INSERT INTO LU_ACCESS_LEVEL (USER_ID, ACCESS_LEVEL, ACCESS_TYPE) "
                              "VALUES (?, ?, 'VIEW')"),
               {me(), key});
}

void LookupLists::renameEntry(LookupKind kind, const QString& old, const QString& key,
                              const QVariant& parent)
{
    // When the engine takes the two spellings for one key (a change of letter case), the row is
    // renamed in place; otherwise the new row comes first, the references follow, and the old row
    // goes last, so that no foreign key ever points at nothing.
    Database& db = m_session.db();
    const LookupListInfo& list = lookupList(kind);
    const bool category = kind == LookupKind::Category;
    const QString tableKey = list.table + QStringLiteral(" WHERE ") + list.keyColumn;
    const bool sameRow =
        count(db,
              QStringLiteral("SELECT COUNT(*) FROM ") + tableKey + QStringLiteral(" = ? AND ") +
                  list.keyColumn + QStringLiteral(" = ?"),
              {key, old}) > 0;
    QVariantList values{key};
    if (category)
        values << parent;
    if (sameRow) {
        const QString setParent = category ? QStringLiteral(", Parent_Category = ?") : QString();
        db.execute(QStringLiteral("UPDATE ") + list.table + QStringLiteral(" SET ") +
                       list.keyColumn + QStringLiteral(" = ?") + setParent +
                       QStringLiteral(" WHERE ") + list.keyColumn + QStringLiteral(" = ?"),
                   values << old);
    } else if (count(db,
                     QStringLiteral("SELECT COUNT(*) FROM ") + tableKey + QStringLiteral(" = ?"),
                     {old}) == 0) {
        // The entry went away meanwhile: the name becomes a new entry.
        db.execute(QStringLiteral("INSERT INTO ") + list.table + QStringLiteral(" (") +
                       list.keyColumn +
                       (category ? QStringLiteral(", Parent_Category") : QString()) +
                       QStringLiteral(") VALUES (?") +
                       (category ? QStringLiteral(", ?") : QString()) + QStringLiteral(")"),
                   values);
    } else {
        copyRow(kind, old, values);
    }
    renameReferences(db, kind, old, key);
    if (!sameRow)
        db.execute(QStringLiteral("DELETE FROM ") + tableKey + QStringLiteral(" = ?"), {old});
}

void LookupLists::copyRow(LookupKind kind, const QString& old, QVariantList values)
{
    // The other columns of the row (a rule's script, and whatever columns a site added) come
    // along; their names are the catalogue's, so they are quoted.
    Database& db = m_session.db();
    const LookupListInfo& list = lookupList(kind);
    const bool category = kind == LookupKind::Category;
    QStringList copied;
    for (const ColumnInfo& c : db.columns(list.table)) {
        if (c.name.compare(list.keyColumn, Qt::CaseInsensitive) != 0 &&
            !(category &&
              c.name.compare(QStringLiteral("Parent_Category"), Qt::CaseInsensitive) == 0))
            copied << Dialect::quoteIdentifier(c.name);
    }
    const QString others =
        copied.isEmpty() ? QString() : QStringLiteral(", ") + copied.join(QStringLiteral(", "));
    db.execute(QStringLiteral("INSERT INTO ") + list.table + QStringLiteral(" (") + list.keyColumn +
                   (category ? QStringLiteral(", Parent_Category") : QString()) + others +
                   QStringLiteral(") SELECT ?") + (category ? QStringLiteral(", ?") : QString()) +
                   others + QStringLiteral(" FROM ") + list.table + QStringLiteral(" WHERE ") +
                   list.keyColumn + QStringLiteral(" = ?"),
               values << old);
}

void renameReferences(Database& db, LookupKind kind, const QString& oldKey, const QString& newKey)
{
    const auto carry = [&](const auto& references) {
        for (const KeyReference& r : references)
            db.execute(QStringLiteral("UPDATE %1 SET %2 = ? WHERE %2 = ?").arg(r.table, r.column),
                       {newKey, oldKey});
    };
    switch (kind) {
    case LookupKind::Priority:
        carry(kPriorityReferences);
        break;
    case LookupKind::Rule:
        carry(kRuleReferences);
        break;
    case LookupKind::Category: {
        const QVariantMap titles{{QStringLiteral("sTitle"), newKey},
                                 {QStringLiteral("sTitleOld"), oldKey}};
        for (const char* text : kCategoryCascade)
            db.execute(ParameterQuery::parse(QString::fromLatin1(text)), titles);
        carry(kCategoryReferences);
        break;
    }
    }
}

} // namespace bx
