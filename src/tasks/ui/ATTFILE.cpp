#include "tasks/ui/ATTFILE.h"

#include "core/Prompt.h"
#include "core/Session.h"
#include "core/settings/SettingsStore.h"
#include "core/ui/Named.h"
#include "core/ui/RunCommand.h"
#include "core/ui/ShowRefusal.h"
#include "tasks/AttachmentView.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace bx {

ATTFILE::ATTFILE(Session& session, Prompt& prompt, QWidget* parent)
    : AttachmentDialog(session, prompt, "ATTFILE", parent)
    , m_file(named(new QLineEdit, "txtFile"))
    , m_note(named(new QLabel, "lblNote"))
{
    setWindowTitle(QStringLiteral("Add File"));
    m_chooseFile = [this](const QString& folder) {
        return QFileDialog::getOpenFileName(this, QStringLiteral("Add File"), folder,
                                            QStringLiteral("All Files (*);;Text (*.txt)"));
    };
    m_note->setWordWrap(true);

    auto* browse = named(new QPushButton(QStringLiteral("Browse...")), "cmdBrowse");
    connect(browse, &QPushButton::clicked, this, &ATTFILE::chooseFile);
    connect(m_file, &QLineEdit::editingFinished, this, &ATTFILE::showNote);

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("File:")), 0, 0);
    grid->addWidget(m_file, 0, 1);
    grid->addWidget(browse, 0, 2);
    grid->addWidget(new QLabel(QStringLiteral("Title:")), 1, 0);
    grid->addWidget(m_title, 1, 1, 1, 2);
    grid->setColumnStretch(1, 1);
    auto* rows = new QVBoxLayout;
    rows->addLayout(grid);
    rows->addWidget(m_note);
    setFrame(rows);
    resize(560, 220);
}

void ATTFILE::chooseFile()
{
    // The chooser starts in the folder of the last file added.
    SettingsStore& settings = m_session.settings();
    const QString section = QStringLiteral("AttachFile");
    const QString key = QStringLiteral("InitDir");
    const QString path = m_chooseFile ? m_chooseFile(settings.get(section, key)) : QString();
    if (path.isEmpty())
        return;
    settings.set(section, key, QFileInfo(path).absolutePath());
    m_file->setText(path);
    showNote();
}

void ATTFILE::showNote()
{
    const QString path = m_file->text().trimmed();
    if (path.isEmpty()) {
        m_note->clear();
        return;
    }
    runCommand(m_session, m_prompt,
               [&] { m_note->setText(attachments::baselineNote(m_session.db(), path)); });
}

void ATTFILE::onOk()
{
    const auto refused = attachments::checkFile(m_file->text(), m_title->text());
    if (showRefusal(m_prompt, refused, [this](attachments::AddField field) -> QWidget* {
            return field == attachments::AddField::Title ? m_title : m_file;
        }))
        return;
    PendingAttachment p;
    p.type = AttachmentType::File;
    p.title = m_title->text();
    p.sourcePath = m_file->text().trimmed();
    handBack(p);
}

} // namespace bx
