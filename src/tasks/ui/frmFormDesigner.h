#pragma once

#include "core/ui/SessionDialog.h"
#include "tasks/FormDesign.h"

class QLineEdit;
class QScrollArea;
class QTableWidget;
class QTreeWidget;

namespace bx {

class Prompt;
class Session;

/**
 * The form designer: the forms on the left ("New", "Delete"), the chosen form's name, caption
 * and every column of its fields in a grid ("AddField", "RemoveField"), and a preview that follows
 * each change as the filled-in window would show it. "Save" writes the form. Only administrators
 * design forms: refresh() says so to anyone else, and the caller does not show the window.
 */
class frmFormDesigner : public SessionDialog
{
    Q_OBJECT
public:
    frmFormDesigner(Session& session, Prompt& prompt, QWidget* parent = nullptr);
    ~frmFormDesigner() override;

    /** Reads the list of forms again; false when refused or failed. */
    bool refresh();
    /** Opens form `name` for editing; false when the list does not have it. */
    bool select(const QString& name);
    /** The definition as edited so far. */
    const forms::FormDefinition& definition() const { return m_definition; }

private:
    /** Asks whether to save unsaved edits; false when the user stays with them. */
    bool mayLeave() override;
    void onNew();
    void onDelete();
    /** True when the form was written. */
    bool onSave();
    void onAddField();
    void onRemoveField();
    void load(const forms::FormDefinition& definition);
    void fillGrid();
    void cellEdited(int row, int column);
    void updatePreview();

    forms::FormDesign m_design;
    forms::FormDefinition m_definition;
    QTreeWidget* m_list;
    QLineEdit* m_name;
    QLineEdit* m_caption;
    QTableWidget* m_grid;
    QScrollArea* m_preview;
    bool m_filling = false;
    bool m_edited = false; ///< edits since the form was loaded or saved
};

} // namespace bx
