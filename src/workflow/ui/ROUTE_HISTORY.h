#pragma once

#include "core/ui/SessionDialog.h"

#include <functional>

class QTextBrowser;

namespace bx {

class Prompt;
class Session;

/**
 * The route history of a task: the page RouteHistory writes ("RHistory.html"), shown in a browser,
 * with toolbar keys "Save" (a copy of the page where the user chooses), "Print" and "Refresh"
 * (the page written again from the task's route rows and shown again).
 *
 * The session and the prompt must outlive the window.
 */
class ROUTE_HISTORY : public SessionDialog
{
    Q_OBJECT
public:
    /** Where "Save" copies the page; "" saves nothing. Defaults to a file dialog. */
    using SaveTarget = std::function<QString()>;

    /**
     * Writes and shows the page of task `taskNumber`. @param folder where the page is written;
     * empty for the per-user data folder
     */
    ROUTE_HISTORY(Session& session, Prompt& prompt, qlonglong taskNumber, QWidget* parent = nullptr,
                  const QString& folder = {});

    void setSaveTarget(SaveTarget target) { m_saveTarget = std::move(target); }

    /** Writes the page again from the database and shows it. @return false on an error (shown) */
    bool refresh();
    /** Copies the page to the chosen file. @return false when nothing was saved */
    bool save();
    void print();

    /** The written page; "" until it has been written. */
    QString pagePath() const { return m_pagePath; }

private:
    qlonglong m_taskNumber;
    QString m_folder;
    QString m_pagePath;
    SaveTarget m_saveTarget;
    QTextBrowser* m_browser;
};

} // namespace bx
