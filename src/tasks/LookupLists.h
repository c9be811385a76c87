#pragma once

#include "core/Refusal.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>

namespace bx {

class Database;

class Prompt;
class Session;

/** The three shared lists that give tasks their vocabulary. */
enum class LookupKind
{
    Priority, ///< LU_Priority, a flat list
    Category, ///< LU_CATEGORY, a tree of folders under "Top Level"
    Rule      ///< LU_RULES, the named lifecycle rule scripts
};

/** How one list is kept and shown. */
struct LookupListInfo
{
    LookupKind kind;
    QString choice;    ///< its entry in the list chooser
    QString keyColumn; ///< "Priority", "Category" or "Rule_Name"
    QString table;     ///< "LU_Priority", "LU_CATEGORY" or "LU_RULES"
    QString caption;   ///< caption of the name editor
};

/** The lists in the order the chooser offers them. */
const QList<LookupListInfo>& lookupLists();
const LookupListInfo& lookupList(LookupKind kind);

/**
 * Points everything that names an entry by its key at the new key: tasks and stages for priorities
 * and rules; subfolders, tasks, attachments, workshop root folders and access rows for categories.
 * The entry's own row is the caller's. Runs on the caller's transaction. Throws DbError.
 */
void renameReferences(Database& db, LookupKind kind, const QString& oldKey, const QString& newKey);

namespace lookup {

/** The root node of the category tree; a category dropped on it has no parent. */
inline const QString kTopLevel = QStringLiteral("Top Level");
/** The folder under which tasks without a category are shown; no row of LU_CATEGORY. */
inline const QString kUnspecifiedFolder = QStringLiteral("Unspecified Folder");

/** True for "Top Level" in any letter case (the tree's root, not a category). */
bool isTopLevel(const QString& name);
/** True for "Unspecified Folder" in any letter case (a pseudo-entry, not a category). */
bool isUnspecified(const QString& name);

} // namespace lookup

/** One node of the category tree below "Top Level", in display order. */
struct CategoryNode
{
    QString name;
    QString parent; ///< "" for a node directly below "Top Level"
    int level = 0;  ///< 0 directly below "Top Level"
};

/** What the name editor hands over to be saved. */
struct LookupDraft
{
    LookupKind kind = LookupKind::Priority;
    bool isNew = true;   ///< edit mode "NEW"; false for "OPEN"
    QString originalKey; ///< the entry being renamed (OPEN)
    QString text;        ///< the key as typed
    QString parent;      ///< categories: the chosen parent; "TOP LEVEL" or "" for none
};

/**
 * The lookup lists' operations for the maintenance window and the name editor, for the signed-in
 * user of the session. Each operation checks first and returns its refusal, writing nothing;
 * every change (remove, moveCategory, save) is refused first unless the user is an administrator
 * (UserRights::kNotAdministrator), before any question. Questions go through the prompt. Changes
 * run in one transaction. Every method that reads or writes throws DbError, with the transaction
 * rolled back.
 *
 * Names are compared without regard to letter case (in upper case after trimming), as the key
 * columns are.
 */
class LookupLists
{
public:
    LookupLists(Session& session, Prompt& prompt);

    /** The keys of a list, ordered without regard to case. */
    QStringList entries(LookupKind kind);

    /**
     * The categories as a tree, parents before children and each level by name, headed by the
     * pseudo-entry "Unspecified Folder". A category whose parent is missing, or that sits in a
     * cycle of parents, stands at the top.
     */
    QList<CategoryNode> categoryTree();

    /** The parent of a category; "" at the top or when it is gone. */
    QString parentOf(const QString& category);

    /**
     * Whether the selected entry may be opened for a new name: "No item selected" without one,
     * "You can't rename " + name for "Unspecified Folder" and the root "TOP LEVEL".
     */
    std::optional<RefusalOf<>> mayRename(LookupKind kind, const QString& selected) const;

    /**
     * Deletes the selected entry: "No item selected" without one; then asks "Are you sure?" (OK
     * and Cancel; only OK goes on). Refused, in this order:
     *  - priority used by a task; rule named by a lifecycle stage;
     *  - category: the pseudo-entries ("You can't delete '" + name + "'"), "Undefined Folder",
     *    one with subfolders, one used by tasks, one that is a workshop's root folder.
     * A category's access rows go with it.
     * Done when the row was deleted (or was already gone).
     */
    Outcome<> remove(LookupKind kind, const QString& selected);

    /**
     * Moves a category under another one, or to the top when the target is "Top Level", after a
     * Yes/No question. Refused with "You can not move " + dragged + " under to " + target when the
     * dragged category is the target or one of its ancestors (and when either is a pseudo-entry).
     * Done when moved.
     */
    Outcome<> moveCategory(const QString& dragged, const QString& target);

    /**
     * The name editor's OK. The trimmed key is required; when it changed (compared in upper case)
     * it must not be in the list yet ("Value '" + key + "' already exists."). A category's parent
     * may not be the category itself or below it. Then, in one transaction:
     *  - a new entry is added; a new category with its parent and with VIEW access for the
     *    signed-in user;
     *  - a renamed entry takes every reference along: a priority its tasks, a rule its lifecycle
     *    stages, a category its subfolders, tasks, attachments, workshop root folders and access
     *    rows. The new row is added before the references move and the old one deleted after
     *    them, so that foreign keys hold throughout; a change of letter case alone updates the row
     *    in place.
     * Done when saved.
     */
    Outcome<> save(const LookupDraft& draft);

private:
    /** The category's parent to store: Null for none, "Top Level" and the pseudo-entry. */
    static QVariant chosenParent(const LookupDraft& draft);
    /** The save's checks, in the order described at save(). */
    std::optional<RefusalOf<>> checkDraft(const LookupDraft& draft, const QString& key,
                                          const QVariant& parent);
    void addEntry(LookupKind kind, const QString& key, const QVariant& parent);
    /** Renames an entry whose key changed and carries its references along. */
    void renameEntry(LookupKind kind, const QString& old, const QString& key,
                     const QVariant& parent);
    /** Adds the renamed entry as a copy of the old row under `values` (key, then parent). */
    void copyRow(LookupKind kind, const QString& old, QVariantList values);
    /** True when `category` is `ancestor` or lies below it. */
    bool isBelow(const QString& category, const QString& ancestor);
    QString me() const;

    Session& m_session;
    Prompt& m_prompt;
};

} // namespace bx
