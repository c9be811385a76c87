#include "tasks/ui/Memo_Form.h"

#include "core/Gmt.h"
#include "core/Prompt.h"
#include "core/Session.h"
#include "core/ui/EditCommands.h"
#include "core/ui/Named.h"
#include "core/ui/RunCommand.h"
#include "core/ui/ShowRefusal.h"
#include "core/ui/StoredText.h"
#include "tasks/MemoText.h"

#include <QFileDialog>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QTextEdit>
#include <QToolBar>

namespace bx {

Memo_Form::Memo_Form(Session& session, Prompt& prompt, AttachmentType mode, QWidget* parent)
    : AttachmentDialog(session, prompt, "Memo_Form", parent)
    , m_mode(mode == AttachmentType::Discussion ? mode : AttachmentType::Memo)
    , m_text(named(withStoredTextDocument(new QTextEdit), "txtMemo"))
{
    setWindowTitle(m_mode == AttachmentType::Discussion ? QStringLiteral("Discussion")
                                                        : QStringLiteral("Memo"));
    m_text->setAcceptRichText(false);
    m_chooseImport = [this] {
        return QFileDialog::getOpenFileName(this, QStringLiteral("Import"), QString(),
                                            QStringLiteral("Text (*.txt);;All Files (*)"));
    };
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Title:"), m_title);
    setFrame(form, m_text, buildTools());
    resize(560, 420);
}

QToolBar* Memo_Form::buildTools()
{
    auto* tools = named(new QToolBar, "Toolbar1");
    addEditCommands(*this, *tools);
    tools->addSeparator();
    QAction* import = named(tools->addAction(QStringLiteral("Import...")), "Import");
    connect(import, &QAction::triggered, this, &Memo_Form::importText);
    return tools;
}

bool Memo_Form::openExisting(qlonglong number, bool mayChange)
{
    Outcome<memo::StoredMemo> stored;
    if (!runCommand(m_session, m_prompt, [&] { stored = memo::readMemo(m_session.db(), number); }))
        return false;
    if (showRefusal(m_prompt, stored.refusal()) || !stored)
        return false;
    m_title->setText(stored->title);
    m_text->setPlainText(stored->text);
    m_existing = number;
    hidePublish();
    m_title->setReadOnly(!mayChange);
    m_text->setReadOnly(!mayChange);
    if (auto* ok = findChild<QPushButton*>(QStringLiteral("cmdOK")))
        ok->setEnabled(mayChange);
    return true;
}

void Memo_Form::importText()
{
    const QString path = m_chooseImport ? m_chooseImport() : QString();
    if (path.isEmpty())
        return;
    const Outcome<QString> text = memo::importText(path);
    if (!text) {
        showRefusal(m_prompt, text.refusal()->message, m_text);
        return;
    }
    m_text->setPlainText(*text);
}

void Memo_Form::onOk()
{
    const QString title = m_title->text();
    if (title.trimmed().isEmpty()) {
        showRefusal(m_prompt, memo::kSpecifyTitle, m_title);
        return;
    }
    if (m_existing != 0) {
        bool done = false;
        runCommand(m_session, m_prompt, [&] {
            const Outcome<qlonglong> written =
                memo::rewrite(m_session.db(), m_existing, title, m_text->toPlainText(),
                              {m_session.user.userId, GmtConverter(m_session.clock()).nowGmt(),
                               m_session.currentWorkshopId});
            if (written.refusal())
                showRefusal(m_prompt, written.refusal()->message, m_title);
            done = bool(written);
        });
        if (done)
            accept();
        return;
    }
    PendingAttachment p;
    p.type = m_mode;
    p.title = title;
    p.fileName = title;
    p.content = m_text->toPlainText();
    handBack(p);
}

} // namespace bx
