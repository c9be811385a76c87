#pragma once

#include "core/ui/SessionDialog.h"
#include "mainwindow/DocumentSearch.h"
#include "mainwindow/ui/F_FIND.h"

#include <optional>

class QLabel;
class QLineEdit;
class QListWidget;

namespace bx {

class Prompt;
class Session;

/**
 * The document search dialog: a title pattern, a period and the folders the user may see (all
 * checked at first). A user without folder access reads the note instead of the list. OK checks
 * the period and leaves the search in chosen(); the main window rebuilds its document tree with
 * it.
 */
class F_DOCFIND : public SessionDialog
{
    Q_OBJECT
public:
    F_DOCFIND(Session& session, Prompt& prompt, QWidget* parent = nullptr);
    ~F_DOCFIND() override;

    /** OK: checks the input; accepts the dialog when it holds. @return true when accepted */
    bool confirm();
    const std::optional<DocumentSearch>& chosen() const { return m_chosen; }

private:
    QLineEdit* m_txtTitle;
    QListWidget* m_lstFolders;
    QLabel* m_lblNote;
    SearchPeriodControls m_period;
    std::optional<DocumentSearch> m_chosen;
};

} // namespace bx
