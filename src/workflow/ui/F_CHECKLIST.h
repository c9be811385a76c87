#pragma once

#include <QDialog>

namespace bx {

class ChecklistView;
class Prompt;
class Session;

/** The window of one checklist attachment of a task, opened from the attachment list. */
class F_CHECKLIST final : public QDialog
{
    Q_OBJECT
public:
    F_CHECKLIST(Session& session, Prompt& prompt, qlonglong attachNumber,
                QWidget* parent = nullptr);

    /** Loads the checklist; false (its refusal shown) when it cannot be shown. */
    bool load();

    ChecklistView& view() const { return *m_view; }

private:
    Prompt& m_prompt;
    ChecklistView* m_view;
};

} // namespace bx
