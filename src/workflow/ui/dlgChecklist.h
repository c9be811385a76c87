#pragma once

#include "core/ui/SessionDialog.h"
#include "workflow/ChecklistDesign.h"

#include <QStringList>

class QLineEdit;
class QPushButton;
class QTableWidget;

namespace bx {

class Prompt;
class Session;

/**
 * Edits one checklist: its name (txtName, fixed once saved), description and items (grdItems: the
 * item's text, the "Mandatory" box, the signer, an enabled user or none, and the explanation).
 * OK saves through ChecklistDesign; a refusal keeps the window open with the focus on the name or
 * the items.
 */
class dlgChecklist : public SessionDialog
{
    Q_OBJECT
public:
    /** A new checklist when `draft` is a default (new) one, otherwise the loaded checklist. */
    dlgChecklist(Session& session, Prompt& prompt, ChecklistDraft draft = {},
                 QWidget* parent = nullptr);
    ~dlgChecklist() override;

    /** The checklist as edited so far (texts as typed). */
    ChecklistDraft draft() const;
    /** The name saved by OK; empty before. */
    const QString& savedName() const { return m_savedName; }

    /** Adds an item row after the others and selects its text. */
    void addItem(const ChecklistItem& item = {});
    /** Removes the item row; false when there is none at that index. */
    bool removeItem(int row);

private:
    void onOk();

    ChecklistDesign m_design;
    ChecklistDraft m_draft;
    QStringList m_signers;
    QString m_savedName;

    QLineEdit* m_name;
    QLineEdit* m_description;
    QTableWidget* m_items;
    QPushButton* m_cmdAdd;
    QPushButton* m_cmdRemove;
};

} // namespace bx
