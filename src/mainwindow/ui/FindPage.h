#pragma once

#include "mainwindow/TaskSearch.h"

#include <QWidget>

class QStandardItemModel;
class QTreeView;

namespace bx {

class Prompt;
class Session;

/**
 * The "FIND" page of the main window: the tasks a search found, in the tree "IvvTree4", one node
 * per task with the matching attachment titles under it. Double-clicking a task (or one of its
 * attachments) asks for the task to be opened. The main window attaches its task menu to tree().
 */
class FindPage : public QWidget
{
    Q_OBJECT
public:
    /** Role of a node's task number. */
    static constexpr int kNumberRole = Qt::UserRole + 1;

    FindPage(Session& session, Prompt& prompt, QWidget* parent = nullptr);
    ~FindPage() override;

    /**
     * Clears the tree and runs the search; a database error is shown after the hits found before
     * it are listed. Clears the session's search mode.
     */
    void run(const SearchOptions& options);

    QTreeView* tree() const { return m_tree; }
    const QList<SearchHit>& hits() const { return m_hits; }

signals:
    void openTask(qlonglong number);

private:
    void onActivated(const QModelIndex& index);

    Session& m_session;
    Prompt& m_prompt;
    QTreeView* m_tree;
    QStandardItemModel* m_model;
    QList<SearchHit> m_hits;
};

} // namespace bx
