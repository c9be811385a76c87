#pragma once

#include <QDialog>

class QTreeWidget;

namespace bx {

class Prompt;
class Session;

/**
 * "Add from Parent": lists the attachments of the parent task by title and hands back the one
 * chosen; the caller copies it.
 */
class COPY_ATT final : public QDialog
{
    Q_OBJECT
public:
    COPY_ATT(Session& session, Prompt& prompt, qlonglong sourceTask, QWidget* parent = nullptr);

    /** After OK: the chosen attachment. */
    qlonglong chosen() const { return m_chosen; }

private:
    void onOk();

    Prompt& m_prompt;
    QTreeWidget* m_list;
    qlonglong m_chosen = 0;
};

} // namespace bx
