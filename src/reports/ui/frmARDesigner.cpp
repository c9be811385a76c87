#include "reports/ui/frmARDesigner.h"

#include "core/Prompt.h"
#include "core/Session.h"
#include "core/WholeFile.h"
#include "core/ui/Named.h"
#include "core/ui/RunCommand.h"
#include "core/ui/ShowRefusal.h"
#include "core/ui/StoredText.h"
#include "reports/ReportDraft.h"
#include "reports/ReportRunner.h"
#include "reports/ReportShelf.h"
#include "reports/ui/ReportPrinter.h"
#include "reports/ui/frmARWizard.h"
#include "reports/ui/frmReportProperties.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QPrintDialog>
#include <QPrinter>
#include <QSplitter>
#include <QTextBrowser>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace bx {

namespace {

const QString kLayoutFiles = QStringLiteral("Report layouts (*.rpx);;All files (*)");

/** A file name for a report that has none yet: its title without the characters of paths. */
QString fileNameFor(const ReportLayout& layout)
{
    QString name = layout.title.trimmed();
    for (QChar& c : name) {
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c == QLatin1Char(':'))
            c = QLatin1Char('_');
    }
    return (name.isEmpty() ? QStringLiteral("Report") : name) + QStringLiteral(".rpx");
}

} // namespace

frmARDesigner::frmARDesigner(Session& session, Prompt& prompt, ReportShelf& shelf, QWidget* parent)
    : SessionDialog(session, prompt, "frmARDesigner", QStringLiteral("Report Designer"), parent)
    , m_shelf(shelf)
    , m_list(named(new QTreeWidget, "lvReports"))
    , m_held(named(new QLabel, "lblReport"))
    , m_viewer(named(withStoredTextDocument(new QTextBrowser), "arvViewer"))
    , m_chooseFile([this](FileKind kind) {
        switch (kind) {
        case FileKind::OpenLayout:
            return QFileDialog::getOpenFileName(this, QStringLiteral("Open Report"), {},
                                                kLayoutFiles);
        case FileKind::SaveLayout:
            return QFileDialog::getSaveFileName(this, QStringLiteral("Save Report"),
                                                m_layout ? fileNameFor(*m_layout) : QString(),
                                                kLayoutFiles);
        case FileKind::Export:
            break;
        }
        return QFileDialog::getSaveFileName(this, QStringLiteral("Export"), {},
                                            QStringLiteral("PDF (*.pdf);;HTML (*.html)"));
    })
    , m_editProperties([this](const ReportLayout& layout) -> std::optional<ReportLayout> {
        frmReportProperties properties(m_session, m_prompt, layout, this);
        if (properties.exec() != QDialog::Accepted)
            return std::nullopt;
        return properties.layout();
    })
{
    auto* toolbar = named(new QToolBar, "Toolbar1");
    const auto add = [&](const char* key, const QString& caption, auto slot) {
        named(toolbar->addAction(caption, this, slot), key);
    };
    add("New", QStringLiteral("Blank Report"), [this] { newReport(); });
    add("NewWizard", QStringLiteral("New Report Wizard"), [this] {
        if (!mayLeave())
            return;
        frmARWizard wizard(m_session, m_prompt, this);
        if (wizard.exec() == QDialog::Accepted && wizard.layout())
            holdNewReport(*wizard.layout());
    });
    add("Open", QStringLiteral("Open..."), [this] {
        if (const QString path = m_chooseFile(FileKind::OpenLayout); !path.isEmpty())
            openFile(path);
    });
    add("Save", QStringLiteral("Save"), [this] { save(); });
    add("Publish", QStringLiteral("Publish"), [this] { publish(); });
    toolbar->addSeparator();
    add("Properties", QStringLiteral("Properties..."), [this] { editProperties(); });
    toolbar->addSeparator();
    add("Modify", QStringLiteral("Modify"), [this] {
        if (modifySelected())
            editProperties();
    });
    add("Delete", QStringLiteral("Delete"), [this] { deleteSelected(); });
    toolbar->addSeparator();
    add("Run", QStringLiteral("Run"), [this] { run(); });
    add("PrintPreview", QStringLiteral("Print Preview"), [this] { print(true); });
    add("Print", QStringLiteral("Print"), [this] { print(false); });
    add("Export", QStringLiteral("Export..."), [this] {
        if (const QString path = m_chooseFile(FileKind::Export); !path.isEmpty())
            exportTo(path);
    });

    m_held->setTextFormat(Qt::PlainText);
    m_list->setColumnCount(2);
    m_list->setHeaderLabels({QStringLiteral("File Name"), QStringLiteral("Title")});
    m_list->setRootIsDecorated(false);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->header()->setStretchLastSection(true);
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, [this] {
        if (modifySelected())
            editProperties();
    });

    auto* right = new QWidget;
    auto* rightBox = new QVBoxLayout(right);
    rightBox->setContentsMargins(0, 0, 0, 0);
    rightBox->addWidget(m_held);
    rightBox->addWidget(m_viewer, 1);
    auto* split = new QSplitter;
    split->addWidget(m_list);
    split->addWidget(right);
    split->setStretchFactor(1, 2);
    split->setSizes({340, 560});

    auto* box = new QVBoxLayout(this);
    box->addWidget(toolbar);
    box->addWidget(split, 1);
    resize(900, 600);

    showHeld();
    refreshList();
}

void frmARDesigner::refreshList()
{
    m_list->clear();
    runCommand(m_session, m_prompt, [this] {
        const Outcome<QList<StoredReport>> reports = m_shelf.list();
        if (!reports) {
            if (reports.refusal())
                showRefusal(m_prompt, reports.refusal()->message);
            return;
        }
        for (const StoredReport& r : *reports) {
            auto* item = new QTreeWidgetItem(m_list, {r.fileName, r.title});
            item->setData(0, Qt::UserRole, r.key());
            item->setData(0, Qt::UserRole + 1, r.number);
        }
    });
}

bool frmARDesigner::selectKey(const QString& key)
{
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = m_list->topLevelItem(i);
        if (item->data(0, Qt::UserRole).toString() == key) {
            m_list->setCurrentItem(item);
            return true;
        }
    }
    return false;
}

bool frmARDesigner::newReport()
{
    // Each report taking the place of the one held saves or gives up its changes first.
    if (!mayLeave())
        return false;
    ReportLayout layout;
    layout.title = QStringLiteral("New Report");
    reportrun::useSource(layout, reportrun::Source::Tasks);
    layout.columns = {{QStringLiteral("SCR_Number"), QStringLiteral("ID")},
                      {QStringLiteral("SCR_Title"), QStringLiteral("Title")}};
    layout.columns[0].align = ReportAlign::Right;
    layout.header = QStringLiteral("{title}");
    layout.footer = QStringLiteral("Page {page} of {pages}");
    const std::optional<ReportLayout> edited = m_editProperties(layout);
    if (!edited)
        return false;
    holdNewReport(*edited);
    return true;
}

void frmARDesigner::holdNewReport(const ReportLayout& layout)
{
    hold(layout, 0, {}, {});
    m_unsaved = true;
}

bool frmARDesigner::editProperties()
{
    if (!m_layout)
        return false;
    const std::optional<ReportLayout> edited = m_editProperties(*m_layout);
    if (!edited || *edited == *m_layout)
        return false;
    m_layout = *edited;
    m_rendered.reset();
    m_viewer->clear();
    m_unsaved = true;
    showHeld();
    return true;
}

bool frmARDesigner::modifySelected()
{
    QTreeWidgetItem* item = m_list->currentItem();
    if (!item || !mayLeave())
        return false;
    const qlonglong number = item->data(0, Qt::UserRole + 1).toLongLong();
    const QString fileName = item->text(0);
    bool read = false;
    runCommand(m_session, m_prompt, [&] {
        const Outcome<QByteArray> text = m_shelf.load(number);
        if (!text) {
            if (text.refusal())
                showRefusal(m_prompt, text.refusal()->message);
            return;
        }
        const Outcome<ReportLayout> layout = reportrun::readLayout(m_session, *text);
        if (!layout) {
            reportrun::showReportError(m_prompt, *layout.refusal());
            return;
        }
        hold(*layout, number, fileName, {});
        read = true;
    });
    return read;
}

void frmARDesigner::deleteSelected()
{
    QTreeWidgetItem* item = m_list->currentItem();
    if (!item)
        return;
    const qlonglong number = item->data(0, Qt::UserRole + 1).toLongLong();
    if (m_prompt.ask(QStringLiteral("Are you sure?"), windowTitle()) != PromptAnswer::Yes)
        return;
    runCommand(m_session, m_prompt, [&] {
        const Outcome<Done> done = m_shelf.remove(number);
        if (!done && done.refusal())
            showRefusal(m_prompt, done.refusal()->message);
        // The report held stays in memory, no longer published.
        if (done && m_number == number) {
            m_number = 0;
            m_stored.reset();
            m_unsaved = true;
        }
    });
    refreshList();
}

bool frmARDesigner::openFile(const QString& path)
{
    if (!mayLeave())
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        reportrun::showReportError(m_prompt, {QStringLiteral("The report cannot be read: ") + path +
                                              QStringLiteral(": ") + file.errorString()});
        return false;
    }
    const Outcome<ReportLayout> layout = reportrun::readLayout(m_session, file.readAll());
    if (!layout) {
        reportrun::showReportError(m_prompt, *layout.refusal());
        return false;
    }
    hold(*layout, 0, QFileInfo(path).fileName(), path);
    return true;
}

bool frmARDesigner::save()
{
    if (!m_layout)
        return false;
    if (m_number != 0)
        return publish();
    QString path = m_path;
    if (path.isEmpty())
        path = m_chooseFile(FileKind::SaveLayout);
    return !path.isEmpty() && saveToFile(path);
}

bool frmARDesigner::saveToFile(const QString& path)
{
    if (const QString failure = writeWholeFile(path, m_layout->toJson()); !failure.isEmpty()) {
        m_prompt.inform(failure, windowTitle(), PromptIcon::Critical);
        return false;
    }
    m_path = path;
    if (m_fileName.isEmpty())
        m_fileName = QFileInfo(path).fileName();
    m_unsaved = false;
    showHeld();
    return true;
}

bool frmARDesigner::publish()
{
    if (!m_layout)
        return false;
    if (const std::optional<RefusalOf<>> refused =
            reportdraft::refusePublishing(m_session.user.record, *m_layout, m_stored)) {
        showRefusal(m_prompt, refused->message);
        return false;
    }
    const QString fileName = m_fileName.isEmpty() ? fileNameFor(*m_layout) : m_fileName;
    bool published = false;
    runCommand(m_session, m_prompt, [&] {
        const Outcome<qlonglong> number =
            m_shelf.publish(m_number, fileName, m_layout->title, m_layout->toJson());
        if (!number) {
            if (number.refusal())
                showRefusal(m_prompt, number.refusal()->message);
            return;
        }
        m_number = *number;
        m_stored = *m_layout;
        m_fileName = fileName;
        m_unsaved = false;
        published = true;
    });
    refreshList();
    if (published)
        selectKey(StoredReport{m_number, {}, {}, 0}.key());
    showHeld();
    return published;
}

bool frmARDesigner::run()
{
    if (!m_layout)
        return false;
    QVariantMap given;
    for (const ReportParameter& p : m_layout->parameters) {
        if (!p.ask)
            continue;
        for (;;) {
            const std::optional<QString> typed =
                m_prompt.input(p.caption, m_layout->title, p.defaultValue);
            if (!typed)
                return false;
            const Outcome<QVariant> value = reportrun::typedValue(m_session, p, *typed);
            if (value) {
                given.insert(p.name, *value);
                break;
            }
            showRefusal(m_prompt, value.refusal()->message);
        }
    }
    bool ran = false;
    runCommand(m_session, m_prompt, [&] {
        Outcome<RenderedReport> report = reportrun::runReport(m_session, *m_layout, given);
        if (!report) {
            reportrun::showReportError(m_prompt, *report.refusal());
            return;
        }
        m_rendered = *report;
        m_viewer->setHtml(m_rendered->html);
        ran = true;
    });
    return ran;
}

bool frmARDesigner::ensureRun()
{
    return m_rendered || run();
}

void frmARDesigner::print(bool preview)
{
    if (!ensureRun())
        return;
    const HtmlPrinter printer = reportPrinter(*m_rendered);
    if (preview) {
        printer.preview(this);
        return;
    }
    QPrinter device;
    printer.setUp(device);
    QPrintDialog dialog(&device, this);
    if (dialog.exec() == QDialog::Accepted)
        printer.print(device);
}

bool frmARDesigner::exportTo(const QString& path)
{
    if (!ensureRun())
        return false;
    const HtmlPrinter printer = reportPrinter(*m_rendered);
    const QString failure = path.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive)
                                ? printer.writePdf(path)
                                : writeWholeFile(path, printer.html());
    if (!failure.isEmpty()) {
        m_prompt.inform(failure, windowTitle(), PromptIcon::Critical);
        return false;
    }
    return true;
}

bool frmARDesigner::mayLeave()
{
    return !m_layout || !m_unsaved ||
           askToSaveChanges([this] { return save(); },
                            QStringLiteral("Save changes to the report?"));
}

void frmARDesigner::hold(const ReportLayout& layout, qlonglong number, const QString& fileName,
                         const QString& path)
{
    m_layout = layout;
    m_stored = number != 0 ? std::optional<ReportLayout>(layout) : std::nullopt;
    m_rendered.reset();
    m_number = number;
    m_fileName = fileName;
    m_path = path;
    m_unsaved = false;
    m_viewer->clear();
    showHeld();
}

void frmARDesigner::showHeld()
{
    if (!m_layout) {
        m_held->setText(QStringLiteral("No report open"));
        return;
    }
    QString where = m_number != 0      ? QStringLiteral("published as ") + m_fileName
                    : m_path.isEmpty() ? QStringLiteral("not saved")
                                       : m_path;
    m_held->setText(m_layout->title + QStringLiteral(" (") + where + QLatin1Char(')'));
}

} // namespace bx
