#include "tasks/ui/Form_Form.h"

#include "core/Gmt.h"
#include "core/Prompt.h"
#include "core/Session.h"
#include "core/ui/HtmlPrinter.h"
#include "core/ui/Named.h"
#include "core/ui/RunCommand.h"
#include "core/ui/ShowRefusal.h"
#include "tasks/FormPrint.h"
#include "tasks/ui/FormPanel.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QScrollArea>
#include <QToolBar>
#include <QVBoxLayout>

namespace bx {

namespace {

const QString kSource = QStringLiteral("Form_Form");
constexpr const char* kIndex = "fieldIndex";
constexpr const char* kFilled = "listFilled";

} // namespace

Form_Form::Form_Form(Session& session, Prompt& prompt, QWidget* parent)
    : SessionDialog(session, prompt, "Form_Form", QStringLiteral("Custom Form"), parent)
    , m_forms(named(new QComboBox, "cboForms"))
    , m_publish(named(new QCheckBox(QStringLiteral("Publish this attachment?")), "chkPublish"))
    , m_scroll(named(new QScrollArea, "Panel"))
{
    auto* tools = named(new QToolBar, "Toolbar1");
    m_save = named(tools->addAction(QStringLiteral("Save")), "Save");
    m_saveCopy = named(tools->addAction(QStringLiteral("Save Copy")), "SaveCopy");
    connect(m_save, &QAction::triggered, this, [this] { save(false); });
    connect(m_saveCopy, &QAction::triggered, this, [this] { save(true); });
    tools->addSeparator();
    connect(named(tools->addAction(QStringLiteral("Print")), "Print"), &QAction::triggered, this,
            &Form_Form::print);
    connect(named(tools->addAction(QStringLiteral("PDF")), "PDF"), &QAction::triggered, this,
            &Form_Form::choosePdf);
    connect(m_forms, &QComboBox::currentIndexChanged, this, [this] {
        if (m_copy.attachNumber == 0)
            build(m_forms->currentText(), 0);
    });
    m_scroll->setWidgetResizable(false);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tools);
    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("Form:")));
    top->addWidget(m_forms, 1);
    top->addWidget(m_publish);
    layout->addLayout(top);
    layout->addWidget(m_scroll, 1);
    resize(640, 480);
}

void Form_Form::openNew(const AttachmentPlace& place, bool publish)
{
    m_place = place;
    m_writable = true;
    m_publish->setChecked(publish);
    QStringList names;
    runTaskCommand(m_session, m_prompt, kSource, [&] { names = forms::formNames(m_session.db()); });
    {
        const QSignalBlocker quiet(m_forms);
        m_forms->clear();
        m_forms->addItems(names);
        m_forms->setCurrentIndex(-1);
    }
    build(QString(), 0);
}

bool Form_Form::openCopy(const AttachmentPlace& place, qlonglong attachNumber, bool writable)
{
    m_place = place;
    m_writable = writable;
    QString form;
    if (!runTaskCommand(m_session, m_prompt, kSource,
                        [&] { form = forms::formOfCopy(m_session.db(), attachNumber); }))
        return false;
    {
        const QSignalBlocker quiet(m_forms);
        m_forms->clear();
        m_forms->addItem(form);
    }
    build(form, attachNumber);
    m_publish->setChecked(m_copy.publish);
    return true;
}

void Form_Form::build(const QString& form, qlonglong attachNumber)
{
    forms::FormCopy copy;
    copy.form = form;
    copy.attachNumber = attachNumber;
    if (!form.isEmpty())
        runTaskCommand(m_session, m_prompt, kSource,
                       [&] { copy = forms::readCopy(m_session.db(), form, attachNumber); });
    m_copy = copy;
    m_fields.clear();
    QWidget* panel = buildFieldPanel(m_copy, m_fields);
    for (int i = 0; i < m_fields.size(); ++i) {
        m_fields.at(i)->setProperty(kIndex, i);
        if (m_copy.fields.at(i).type == forms::FieldType::Combo)
            m_fields.at(i)->installEventFilter(this);
    }
    m_scroll->setWidget(panel);
    applyEnabling();
}

void Form_Form::print()
{
    QPrinter printer;
    QPrintDialog dialog(&printer, this);
    if (dialog.exec() == QDialog::Accepted)
        HtmlPrinter(forms::formHtml(m_copy, values())).print(printer);
}

void Form_Form::choosePdf()
{
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("PDF"), m_copy.form,
                                                      QStringLiteral("PDF (*.pdf)"));
    if (!path.isEmpty())
        exportPdf(path);
}

bool Form_Form::exportPdf(const QString& path)
{
    const QString failure =
        HtmlPrinter(forms::formHtml(m_copy, values()), m_copy.form).writePdf(path);
    if (failure.isEmpty())
        return true;
    m_prompt.inform(QStringLiteral("Cannot write %1: %2").arg(path, failure), QString(),
                    PromptIcon::Critical);
    return false;
}

void Form_Form::applyEnabling()
{
    const bool mode0 = m_copy.attachNumber == 0;
    m_forms->setEnabled(mode0);
    m_save->setEnabled(m_writable);
    m_saveCopy->setEnabled(m_writable && !mode0);
    m_publish->setEnabled(m_writable);
    for (QWidget* w : std::as_const(m_fields)) {
        if (auto* edit = qobject_cast<QLineEdit*>(w))
            edit->setReadOnly(!m_writable);
        else if (!qobject_cast<QLabel*>(w))
            w->setEnabled(m_writable);
    }
}

QList<forms::FieldValue> Form_Form::values() const
{
    QList<forms::FieldValue> values;
    for (int i = 0; i < m_fields.size(); ++i) {
        const forms::FormField& f = m_copy.fields.at(i);
        forms::FieldValue v{f.key, f.value, f.checked};
        if (auto* edit = qobject_cast<QLineEdit*>(m_fields.at(i)))
            v.value = edit->text();
        else if (auto* combo = qobject_cast<QComboBox*>(m_fields.at(i)))
            v.value = combo->currentText();
        else if (auto* box = qobject_cast<QCheckBox*>(m_fields.at(i)))
            v.checked = box->isChecked();
        values << v;
    }
    return values;
}

bool Form_Form::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusIn)
        if (auto* combo = qobject_cast<QComboBox*>(watched);
            combo && !combo->property(kFilled).toBool())
            fillList(combo->property(kIndex).toInt());
    return QDialog::eventFilter(watched, event);
}

void Form_Form::fillList(int index)
{
    auto* combo = qobject_cast<QComboBox*>(m_fields.value(index));
    if (!combo)
        return;
    combo->setProperty(kFilled, true);
    Outcome<QStringList> listed = Outcome<QStringList>::declined();
    runTaskCommand(m_session, m_prompt, kSource,
                   [&] { listed = forms::listValues(m_session.db(), m_copy.fields.at(index)); });
    // A list is read once: a missing one says so once and stays empty.
    if (!listed) {
        showRefusal(m_prompt, listed.refusal());
        return;
    }
    const QString text = combo->currentText();
    const QSignalBlocker quiet(combo);
    combo->addItems(*listed);
    combo->setEditText(text);
}

bool Form_Form::save(bool asCopy)
{
    if (!m_writable)
        return false;
    const bool add = asCopy || m_copy.attachNumber == 0;
    Outcome<qlonglong, int> saved = Outcome<qlonglong, int>::declined();
    if (!runTaskCommand(m_session, m_prompt, kSource, [&] {
            saved =
                forms::saveCopy(m_session.db(), add ? forms::SaveMode::Add : forms::SaveMode::Open,
                                m_copy, values(), m_place, m_session.user.userId,
                                GmtConverter(m_session.clock()).nowGmt(), m_publish->isChecked());
        }))
        return false;
    if (const auto& refused = saved.refusal()) {
        if (refused->field == forms::kChangedElsewhere) {
            if (m_prompt.ask(refused->message, windowTitle(), PromptButtons::YesNo) ==
                PromptAnswer::Yes)
                return save(true);
            return false;
        }
        if (refused->field < 0) {
            showRefusal(m_prompt, refused->message, m_forms);
        } else {
            m_prompt.inform(refused->message, QStringLiteral("Warning: Field value required"),
                            PromptIcon::Warning);
            m_fields.value(refused->field)->setFocus();
        }
        return false;
    }
    if (!saved)
        return false;
    if (add) {
        m_added << *saved;
        // Goes on as the copy just made.
        const QString form = m_copy.form;
        build(form, *saved);
        const QSignalBlocker quiet(m_forms);
        m_forms->clear();
        m_forms->addItem(form);
    } else {
        // A shared copy goes on as the version just published.
        build(m_copy.form, *saved);
    }
    return true;
}

bool Form_Form::mayLeave()
{
    if (!m_writable || m_copy.form.isEmpty())
        return true;
    QList<int> changed;
    runTaskCommand(m_session, m_prompt, kSource,
                   [&] { changed = forms::changedFields(m_session.db(), m_copy, values()); });
    if (changed.isEmpty())
        return true;
    return askToSaveChanges([this] { return save(false); });
}

} // namespace bx
