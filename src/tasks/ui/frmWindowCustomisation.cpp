#include "tasks/ui/frmWindowCustomisation.h"

#include "core/Prompt.h"
#include "core/Session.h"
#include "core/UserRights.h"
#include "core/ui/Named.h"
#include "core/ui/RunCommand.h"
#include "core/ui/ShowRefusal.h"
#include "tasks/TaskEditor.h"
#include "tasks/WindowCustomRows.h"
#include "tasks/ui/SCR_FORM.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHash>
#include <QHeaderView>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace bx {

frmWindowCustomisation::frmWindowCustomisation(Session& session, Prompt& prompt, QWidget* parent)
    : KeyedListDialog(session, prompt, "frmWindowCustomisation",
                      QStringLiteral("Window Customisation"), "lvControls",
                      {QStringLiteral("Control"), QStringLiteral("Kind"), QStringLiteral("Caption"),
                       QStringLiteral("Visible"), QStringLiteral("New caption")},
                      QStringLiteral("Please select a control."), parent)
    , m_window(named(new QComboBox, "cboWindow"))
{
    addCommand(
        "Save", "Save the rows of this caption", [this] { save(); }, false);
    addCommand(
        "Reset", "Show the control as the editor builds it", [this] { resetSelected(); }, true);
    auto* choice = new QFormLayout;
    choice->addRow(QStringLiteral("Task editor captioned:"), m_window);
    static_cast<QVBoxLayout*>(layout())->insertLayout(0, choice);

    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // The captions share what the names leave; a long one is cut short, whole in its tooltip.
    m_list->header()->setStretchLastSection(false);
    m_list->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_list->header()->setSectionResizeMode(CaptionColumn, QHeaderView::Stretch);
    m_list->header()->setSectionResizeMode(NewCaptionColumn, QHeaderView::Stretch);
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item, int col) {
        if (col == NewCaptionColumn || col == CaptionColumn)
            m_list->editItem(item, NewCaptionColumn);
    });
    connect(m_list, &QTreeWidget::itemChanged, this, [this] {
        if (!m_filling)
            m_edited = true;
    });
    connect(m_window, &QComboBox::activated, this, [this] {
        const QString wanted = m_window->currentText();
        if (wanted == m_shown)
            return;
        if (mayLeave())
            showCaption(wanted);
        else
            m_window->setCurrentText(m_shown);
    });
    resize(760, 560);
}

bool frmWindowCustomisation::refresh()
{
    if (showRefusal(m_prompt, UserRights::refuseUnlessAdministrator(m_session.user.record)))
        return false;
    if (m_controls.isEmpty()) {
        // The controls of a real editor, so that the list follows the editor as it grows.
        SCR_FORM editor(m_session, m_prompt, nullptr);
        m_controls = customisableControls(editor);
    }
    QStringList captions = SCR_FORM::captions();
    if (!runCommand(m_session, m_prompt, [&] {
            for (const QString& stored : windowCustomCaptions(m_session.db()))
                if (!captions.contains(stored, Qt::CaseInsensitive))
                    captions.append(stored);
        }))
        return false;
    m_window->clear();
    m_window->addItems(captions);
    const QString shown = m_shown.isEmpty() ? captions.first() : m_shown;
    m_shown.clear();
    return showCaption(shown);
}

bool frmWindowCustomisation::showCaption(const QString& caption)
{
    const int index = m_window->findText(caption, Qt::MatchFixedString);
    if (index < 0)
        return false;
    QList<WindowCustomRow> rows;
    if (!runCommand(m_session, m_prompt,
                    [&] { rows = windowCustomRows(m_session.db(), m_window->itemText(index)); }))
        return false;
    m_window->setCurrentIndex(index);
    m_shown = m_window->itemText(index);
    fillList(rows);
    return true;
}

void frmWindowCustomisation::fillList(const QList<WindowCustomRow>& rows)
{
    m_filling = true;
    QHash<QString, WindowCustomRow> byName;
    for (const WindowCustomRow& row : rows)
        byName.insert(row.controlName.trimmed().toCaseFolded(), row);
    const auto addRow = [this](const QString& name, const QString& kind, const QString& caption,
                               const WindowCustomRow& row) {
        auto* item = new QTreeWidgetItem(QStringList{name, kind, caption});
        item->setFlags(item->flags() | Qt::ItemIsEditable | Qt::ItemIsUserCheckable);
        item->setCheckState(VisibleColumn, row.visible ? Qt::Checked : Qt::Unchecked);
        item->setText(NewCaptionColumn, row.caption.value_or(QString()));
        item->setToolTip(CaptionColumn, caption);
        m_list->addTopLevelItem(item);
    };
    m_list->clear();
    for (const CustomisableControl& control : std::as_const(m_controls)) {
        const QString key = control.name.toCaseFolded();
        addRow(control.name, control.kind, control.caption, byName.value(key));
        byName.remove(key);
    }
    for (const WindowCustomRow& row : rows)
        if (byName.remove(row.controlName.trimmed().toCaseFolded()))
            addRow(row.controlName.trimmed(), QStringLiteral("(not in the editor)"), {}, row);
    m_edited = false;
    m_filling = false;
}

QList<WindowCustomRow> frmWindowCustomisation::rowsShown() const
{
    QList<WindowCustomRow> rows;
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = m_list->topLevelItem(i);
        WindowCustomRow row;
        row.controlName = item->text(ControlColumn);
        row.visible = item->checkState(VisibleColumn) == Qt::Checked;
        // An empty new caption leaves the editor's own.
        if (const QString caption = item->text(NewCaptionColumn); !caption.isEmpty())
            row.caption = caption;
        rows.append(row);
    }
    return rows;
}

bool frmWindowCustomisation::save()
{
    std::optional<RefusalOf<int>> refused;
    if (!runCommand(m_session, m_prompt, [&] {
            refused =
                saveWindowCustomRows(m_session.db(), m_session.user.record, m_shown, rowsShown());
        }))
        return false;
    if (showRefusal(m_prompt, refused, [this](int row) -> QWidget* {
            if (row >= 0)
                m_list->setCurrentItem(m_list->topLevelItem(row));
            return m_list;
        }))
        return false;
    return showCaption(m_shown);
}

void frmWindowCustomisation::resetSelected()
{
    if (requireSelection().isEmpty())
        return;
    QTreeWidgetItem* item = m_list->currentItem();
    item->setCheckState(VisibleColumn, Qt::Checked);
    item->setText(NewCaptionColumn, {});
}

bool frmWindowCustomisation::mayLeave()
{
    return !m_edited || askToSaveChanges([this] { return save(); });
}

} // namespace bx
