#pragma once

#include "workflow/ChecklistTicks.h"

#include <QWidget>

class QLabel;
class QLineEdit;
class QTreeWidget;
class QTreeWidgetItem;

namespace bx {

class Prompt;
class Session;

/**
 * A task's copy of a checklist (one "K" attachment), to fill in: the items by text, "* " before a
 * mandatory one, its signer, its explanation as tool tip and, when the system shows approvers'
 * names, who ticked it. Ticking or unticking an item writes at once; a refusal is shown and the
 * box goes back to what is stored.
 */
class ChecklistView final : public QWidget
{
    Q_OBJECT
public:
    ChecklistView(Session& session, Prompt& prompt, qlonglong attachNumber,
                  QWidget* parent = nullptr);

    /** Reads the checklist again; its refusal when it cannot be shown (also shown in the view). */
    std::optional<RefusalOf<>> reload();

    qlonglong attachNumber() const { return m_attach; }
    /** The checklist's name ("" until loaded). */
    QString checklistName() const { return m_name; }

    /** Ticks (or unticks) the item in row `row` as the signed-in user, as a click on its box. */
    void setTicked(int row, bool ticked);

signals:
    /** An item was ticked or unticked. */
    void changed();

private:
    /** Reads the checklist; `inPlace` keeps the rows (inside a click on one of them). */
    std::optional<RefusalOf<>> fill(bool inPlace);
    void onItemChanged(QTreeWidgetItem* row, int column);

    Session& m_session;
    Prompt& m_prompt;
    qlonglong m_attach;
    QString m_name;
    QLabel* m_title;
    QTreeWidget* m_items;
    QLineEdit* m_note;
};

} // namespace bx
