#pragma once

#include "core/ui/SessionDialog.h"
#include "tasks/LookupLists.h"

class QLineEdit;
class QTreeWidget;

namespace bx {

class Prompt;
class Session;

/**
 * The name editor of one lookup-list entry: the key in `HOLD_KEY` and, for a category, its parent
 * chosen in a tree under "Top Level" (a renamed category cannot be put below itself, so its own
 * branch is not offered). The caption names the list ("File Folder Name", "Priority Name",
 * "Rule Name"). OK saves through LookupLists::save and closes only when saved.
 */
class LOOKUP_FORM : public SessionDialog
{
    Q_OBJECT
public:
    /**
     * @param editMode "NEW" to add an entry, "OPEN" to rename `key`
     * @param parentKey categories: the parent to preselect ("" or "Top Level" for none)
     */
    LOOKUP_FORM(Session& session, Prompt& prompt, LookupKind kind, const QString& editMode,
                const QString& key, const QString& parentKey, QWidget* parent = nullptr);

    /** The key as saved, after OK; "" before. */
    const QString& savedKey() const { return m_saved; }

private:
    void onOk();

    LookupKind m_kind;
    bool m_isNew;
    QString m_key;
    QString m_saved;
    QLineEdit* m_holdKey;
    QTreeWidget* m_parents = nullptr;
};

} // namespace bx
