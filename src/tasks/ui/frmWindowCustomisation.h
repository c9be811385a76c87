#pragma once

#include "core/ui/KeyedList.h"
#include "tasks/WindowCustomRows.h"
#include "tasks/ui/WindowCustomisation.h"

class QComboBox;

namespace bx {

/**
 * Window customisation: for one caption of the task editor ("cboWindow"), every control of the
 * editor with whether it shows and the caption it takes instead of its own, which together are
 * the CUSTOM rows of that caption; rows naming controls the editor lacks are listed too, to be
 * removed. "Save" writes the caption's rows; "Reset" puts the selected control back as the editor
 * builds it. Only administrators customise: refresh() says so to anyone else, and the caller does
 * not show the window.
 */
class frmWindowCustomisation final : public KeyedListDialog
{
    Q_OBJECT
public:
    /** The list's columns. */
    enum Column
    {
        ControlColumn,
        KindColumn,
        CaptionColumn,
        VisibleColumn,
        NewCaptionColumn,
    };

    frmWindowCustomisation(Session& session, Prompt& prompt, QWidget* parent = nullptr);

    /** Reads the captions and the shown caption's rows again; false when refused or failed. */
    bool refresh();
    /** Shows the rows of `caption`; false when the list of captions lacks it or reading failed. */
    bool showCaption(const QString& caption);
    /** The caption whose rows are shown. */
    const QString& shownCaption() const { return m_shown; }
    /** Save: writes the shown caption's rows; false when refused or failed. */
    bool save();

private:
    void fillList(const QList<WindowCustomRow>& rows);
    void resetSelected();
    QList<WindowCustomRow> rowsShown() const;
    bool mayLeave() override;

    QComboBox* m_window;
    QList<CustomisableControl> m_controls;
    QString m_shown;
    bool m_edited = false;
    bool m_filling = false;
};

} // namespace bx
