#include "workflow/ui/ROUTE_HISTORY.h"

#include "core/Prompt.h"
#include "core/Session.h"
#include "core/WholeFile.h"
#include "core/db/DatabaseOpener.h"
#include "core/db/DbError.h"
#include "core/ui/Named.h"
#include "core/ui/StoredText.h"
#include "workflow/RouteHistory.h"

#include <QAction>
#include <QFile>
#include <QFileDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <QTextBrowser>
#include <QToolBar>
#include <QVBoxLayout>

#include <stdexcept>

namespace bx {

ROUTE_HISTORY::ROUTE_HISTORY(Session& session, Prompt& prompt, qlonglong taskNumber,
                             QWidget* parent, const QString& folder)
    : SessionDialog(session, prompt, "ROUTE_HISTORY", QStringLiteral("Task Route History"), parent)
    , m_taskNumber(taskNumber)
    , m_folder(folder)
    , m_browser(named(withStoredTextDocument(new QTextBrowser), "WebBrowser"))
{
    resize(760, 480);

    auto* toolbar = named(new QToolBar, "Toolbar1");
    QAction* saveAction = toolbar->addAction(QStringLiteral("Save"));
    saveAction->setObjectName(QStringLiteral("Save"));
    QAction* printAction = toolbar->addAction(QStringLiteral("Print"));
    printAction->setObjectName(QStringLiteral("Print"));
    QAction* refreshAction = toolbar->addAction(QStringLiteral("Refresh"));
    refreshAction->setObjectName(QStringLiteral("Refresh"));
    connect(saveAction, &QAction::triggered, this, [this] { save(); });
    connect(printAction, &QAction::triggered, this, &ROUTE_HISTORY::print);
    connect(refreshAction, &QAction::triggered, this, [this] { refresh(); });

    m_saveTarget = [this] {
        return QFileDialog::getSaveFileName(this, QStringLiteral("Save"), RouteHistory::fileName(),
                                            QStringLiteral("HTML files (*.html *.htm)"));
    };

    auto* layout = new QVBoxLayout(this);
    layout->setMenuBar(toolbar);
    layout->addWidget(m_browser);
    refresh();
}

bool ROUTE_HISTORY::refresh()
{
    try {
        m_pagePath = RouteHistory(m_session.db(), m_session.clock(), m_folder).write(m_taskNumber);
    } catch (const DbError& e) {
        reportDatabaseError(e, m_session, m_prompt);
        return false;
    } catch (const std::runtime_error& e) {
        m_prompt.inform(QString::fromStdString(e.what()));
        return false;
    }
    // The browser shows exactly the file that "Save" copies.
    QFile page(m_pagePath);
    if (!page.open(QIODevice::ReadOnly)) {
        m_prompt.inform(page.errorString());
        return false;
    }
    m_browser->setHtml(QString::fromUtf8(page.readAll()));
    return true;
}

bool ROUTE_HISTORY::save()
{
    if (m_pagePath.isEmpty() && !refresh())
        return false;
    const QString target = m_saveTarget ? m_saveTarget() : QString();
    if (target.isEmpty())
        return false;
    QFile page(m_pagePath);
    if (!page.open(QIODevice::ReadOnly)) {
        m_prompt.inform(page.errorString() + QStringLiteral(": ") + m_pagePath);
        return false;
    }
    // The copy replaces an earlier file only once it is whole; a failure leaves that file as it
    // was.
    const QString failure = writeWholeFile(target, page.readAll());
    if (!failure.isEmpty()) {
        m_prompt.inform(failure + QStringLiteral(": ") + target);
        return false;
    }
    return true;
}

void ROUTE_HISTORY::print()
{
    QPrinter printer;
    QPrintDialog dialog(&printer, this);
    if (dialog.exec() == QDialog::Accepted)
        m_browser->document()->print(&printer);
}

} // namespace bx
