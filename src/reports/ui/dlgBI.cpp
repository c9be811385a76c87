#include "reports/ui/dlgBI.h"

#include "core/Clock.h"
#include "core/Prompt.h"
#include "core/Session.h"
#include "core/db/DatabaseOpener.h"
#include "core/ui/Named.h"
#include "core/ui/RunCommand.h"
#include "core/ui/ShowRefusal.h"
#include "reports/AnalysisReader.h"
#include "reports/ui/BIViewer.h"
#include "reports/ui/dlgBIScreen.h"

#include <QAction>
#include <QHBoxLayout>
#include <QLabel>
#include <QSplitter>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <utility>

namespace bx {

namespace {

/** What a tree item stands for: a built-in analysis or a stored one. */
constexpr int kKindRole = Qt::UserRole;
constexpr int kWhichRole = Qt::UserRole + 1;
enum ItemKind
{
    BuiltInItem = 1,
    StoredItem = 2,
};

} // namespace

dlgBI::dlgBI(Session& session, Prompt& prompt, Connector opener, QWidget* parent)
    : SessionDialog(session, prompt, "dlgBI", QStringLiteral("Business Intelligence"), parent)
    , m_opener(std::move(opener))
    , m_reader(new AnalysisReader(this))
    , m_tree(named(new QTreeWidget, "tvwReports"))
    , m_viewer(new BIViewer(session, prompt))
    , m_status(named(new QLabel, "lblStatus"))
{
    setWindowFlag(Qt::WindowMaximizeButtonHint);
    m_design = [this](const std::optional<Analysis>& analysis) -> std::optional<qlonglong> {
        dlgBIScreen designer(m_session, m_prompt, analysis, this);
        if (designer.exec() != QDialog::Accepted)
            return std::nullopt;
        return designer.savedId();
    };

    auto* toolbar = named(new QToolBar, "Toolbar1");
    m_show = named(toolbar->addAction(QStringLiteral("Show"), this, &dlgBI::ShowReport), "cmdShow");
    named(toolbar->addAction(QStringLiteral("New"), this, &dlgBI::NewReport), "cmdNew");
    m_edit = named(toolbar->addAction(QStringLiteral("Edit"), this, &dlgBI::EditReport), "cmdEdit");
    m_remove = named(toolbar->addAction(QStringLiteral("Remove"), this, &dlgBI::RemoveOLAPReport),
                     "cmdRemove");

    m_tree->setHeaderHidden(true);
    m_tree->setMinimumWidth(200);
    connect(m_tree, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) {
        if (item->data(0, kKindRole).toInt() != 0)
            ShowReport();
    });
    connect(m_tree, &QTreeWidget::currentItemChanged, this, &dlgBI::updateCommands);

    auto* splitter = new QSplitter(Qt::Horizontal);
    splitter->addWidget(m_tree);
    splitter->addWidget(m_viewer);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({220, 760});
    splitter->setChildrenCollapsible(false);
    m_status->setTextFormat(Qt::PlainText);
    auto* box = new QVBoxLayout(this);
    box->addWidget(toolbar);
    box->addWidget(splitter, 1);
    box->addWidget(m_status);
    resize(1000, 640);
    LoadOLAPReports();
}

dlgBI::~dlgBI()
{
    // The read stops, and ends, before the window it reports to goes.
    delete m_reader;
}

bool dlgBI::busy() const
{
    return m_reader->busy();
}

void dlgBI::LoadOLAPReports()
{
    // The stored analysis chosen before, chosen again after the reading; 0 for none (numbers
    // start at 1).
    const qlonglong current =
        m_tree->currentItem() && m_tree->currentItem()->data(0, kKindRole).toInt() == StoredItem
            ? m_tree->currentItem()->data(0, kWhichRole).toLongLong()
            : 0;
    m_tree->clear();
    m_builtIn = new QTreeWidgetItem(m_tree, {QStringLiteral("Built-in")});
    for (const auto& [which, title] :
         {std::pair(BuiltInAnalysis::CommonTaskInformation, AnalysisText::kCommonTaskInformation),
          std::pair(BuiltInAnalysis::TaskOwnership, AnalysisText::kTaskOwnership)}) {
        auto* item = new QTreeWidgetItem(m_builtIn, {title});
        item->setData(0, kKindRole, BuiltInItem);
        item->setData(0, kWhichRole, int(which));
    }
    m_custom = new QTreeWidgetItem(m_tree, {QStringLiteral("Custom")});
    Outcome<QList<AnalysisSummary>> stored;
    AnalysisStore store(m_session, m_prompt);
    if (runCommand(m_session, m_prompt, [&] { stored = store.list(); }) &&
        !showRefusal(m_prompt, stored.refusal()) && stored) {
        for (const AnalysisSummary& s : *stored) {
            auto* item = new QTreeWidgetItem(m_custom, {s.title});
            item->setData(0, kKindRole, StoredItem);
            item->setData(0, kWhichRole, s.id);
        }
    }
    m_tree->expandAll();
    if (current != 0)
        selectStored(current);
    updateCommands();
}

void dlgBI::selectStored(qlonglong id)
{
    for (int i = 0; m_custom && i < m_custom->childCount(); ++i)
        if (m_custom->child(i)->data(0, kWhichRole).toLongLong() == id)
            m_tree->setCurrentItem(m_custom->child(i));
}

std::optional<Analysis> dlgBI::chosen()
{
    const QTreeWidgetItem* item = m_tree->currentItem();
    const int kind = item ? item->data(0, kKindRole).toInt() : 0;
    if (kind == 0)
        return m_shown;
    Outcome<Analysis> analysis;
    AnalysisStore store(m_session, m_prompt);
    if (!runCommand(m_session, m_prompt, [&] {
            analysis = kind == BuiltInItem
                           ? store.builtIn(BuiltInAnalysis(item->data(0, kWhichRole).toInt()))
                           : store.load(item->data(0, kWhichRole).toLongLong());
        }))
        return std::nullopt;
    if (showRefusal(m_prompt, analysis.refusal()))
        return std::nullopt;
    if (!analysis) {
        // Removed elsewhere since the tree was filled.
        LoadOLAPReports();
        return std::nullopt;
    }
    return *analysis;
}

void dlgBI::ShowReport()
{
    if (const std::optional<Analysis> analysis = chosen())
        run(*analysis);
}

void dlgBI::RunOLAPReport(qlonglong id)
{
    selectStored(id);
    Outcome<Analysis> analysis;
    AnalysisStore store(m_session, m_prompt);
    if (!runCommand(m_session, m_prompt, [&] { analysis = store.load(id); }) ||
        showRefusal(m_prompt, analysis.refusal()) || !analysis)
        return;
    run(*analysis);
}

void dlgBI::run(const Analysis& analysis)
{
    const Outcome<pivot::Definition> layout = layoutOf(analysis);
    if (showRefusal(m_prompt, layout.refusal()) || !layout || !m_opener)
        return;
    m_viewer->clear();
    m_shown.reset();
    m_running = analysis;
    m_status->setText(QStringLiteral("Running %1...").arg(analysis.title));
    AnalysisRun settings;
    settings.biasSeconds = m_session.clock().standardOffsetSeconds();
    settings.waitSeconds = m_session.system.queryWait;
    m_reader->start(
        m_opener, analysis, settings,
        [this](const Outcome<pivot::Source>& source) { finished(source); },
        [this](const DbError& e) {
            m_running.reset();
            m_status->clear();
            reportDatabaseError(e, m_session, m_prompt);
            updateCommands();
            emit runEnded(false);
        });
    updateCommands();
}

void dlgBI::finished(const Outcome<pivot::Source>& source)
{
    const std::optional<Analysis> analysis = std::exchange(m_running, std::nullopt);
    m_status->clear();
    bool shown = false;
    if (analysis && !showRefusal(m_prompt, source.refusal()) && source) {
        shown = m_viewer->showAnalysis(std::make_shared<pivot::Source>(*source),
                                       *layoutOf(*analysis), presentationOf(*analysis));
        if (shown)
            m_shown = analysis;
    }
    updateCommands();
    emit runEnded(shown);
}

void dlgBI::NewReport()
{
    if (const std::optional<qlonglong> id = m_design(std::nullopt)) {
        LoadOLAPReports();
        RunOLAPReport(*id);
    }
}

void dlgBI::EditReport()
{
    const std::optional<Analysis> analysis = chosen();
    if (!analysis)
        return;
    Outcome<Analysis> editing;
    AnalysisStore store(m_session, m_prompt);
    if (!runCommand(m_session, m_prompt, [&] { editing = store.edit(*analysis); }) ||
        showRefusal(m_prompt, editing.refusal()) || !editing)
        return;
    if (const std::optional<qlonglong> id = m_design(*editing)) {
        LoadOLAPReports();
        RunOLAPReport(*id);
    }
}

void dlgBI::RemoveOLAPReport()
{
    const std::optional<Analysis> analysis = chosen();
    if (!analysis)
        return;
    Outcome<> removed;
    AnalysisStore store(m_session, m_prompt);
    if (!runCommand(m_session, m_prompt, [&] { removed = store.remove(*analysis); }) ||
        showRefusal(m_prompt, removed.refusal()) || !removed)
        return;
    if (m_shown && m_shown->id == analysis->id) {
        m_shown.reset();
        m_viewer->clear();
    }
    LoadOLAPReports();
}

void dlgBI::updateCommands()
{
    const QTreeWidgetItem* item = m_tree->currentItem();
    const bool analysisChosen = item && item->data(0, kKindRole).toInt() != 0;
    m_show->setEnabled(analysisChosen);
    // Edit and Remove act on the analysis chosen, or the one shown; a built-in one is refused.
    const bool any = analysisChosen || (m_shown && !m_shown->isBuiltIn());
    m_edit->setEnabled(any);
    m_remove->setEnabled(any);
}

void dlgBI::done(int result)
{
    // Closing the window stops the analysis being read.
    m_reader->interrupt();
    m_running.reset();
    SessionDialog::done(result);
}

} // namespace bx
