#include "tasks/ui/Memo_Form.h"

#include "core/Gmt.h"
#include "core/Prompt.h"
#include "core/Session.h"
#include "core/db/Database.h"
#include "core/ui/Named.h"
#include "core/ui/RunCommand.h"
#include "core/ui/ShowRefusal.h"
#include "core/ui/StoredText.h"
#include "tasks/MemoText.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QTextEdit>
#include <QToolBar>
#include <QVBoxLayout>

namespace bx {

Memo_Form::Memo_Form(Session& session, Prompt& prompt, AttachmentType mode, QWidget* parent)
    : QDialog(parent)
    , m_session(session)
    , m_prompt(prompt)
    , m_mode(mode == AttachmentType::Discussion ? mode : AttachmentType::Memo)
    , m_title(named(new QLineEdit, "txtTitle"))
    , m_text(named(withStoredTextDocument(new QTextEdit), "txtMemo"))
    , m_publish(named(new QCheckBox(QStringLiteral("Publish this attachment?")), "chkPublish"))
{
    setObjectName(QStringLiteral("Memo_Form"));
    setWindowTitle(m_mode == AttachmentType::Discussion ? QStringLiteral("Discussion")
                                                        : QStringLiteral("Memo"));
    m_text->setAcceptRichText(false);
    m_chooseImport = [this] {
        return QFileDialog::getOpenFileName(this, QStringLiteral("Import"), QString(),
                                            QStringLiteral("Text (*.txt);;All Files (*)"));
    };

    auto* tools = named(new QToolBar, "Toolbar1");
    QAction* cut = named(tools->addAction(QStringLiteral("Cut")), "Cut");
    QAction* copy = named(tools->addAction(QStringLiteral("Copy")), "Copy");
    QAction* paste = named(tools->addAction(QStringLiteral("Paste")), "Paste");
    QAction* erase = named(tools->addAction(QStringLiteral("Delete")), "Delete");
    tools->addSeparator();
    QAction* import = named(tools->addAction(QStringLiteral("Import...")), "Import");
    connect(cut, &QAction::triggered, m_text, &QTextEdit::cut);
    connect(copy, &QAction::triggered, m_text, &QTextEdit::copy);
    connect(paste, &QAction::triggered, m_text, &QTextEdit::paste);
    connect(erase, &QAction::triggered, this,
            [this] { m_text->textCursor().removeSelectedText(); });
    connect(import, &QAction::triggered, this, &Memo_Form::importText);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Title:"), m_title);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("cmdOK"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cmdCancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &Memo_Form::onOk);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->setMenuBar(tools);
    layout->addLayout(form);
    layout->addWidget(m_text, 1);
    layout->addWidget(m_publish);
    layout->addWidget(buttons);
    resize(560, 420);
}

bool Memo_Form::openExisting(qlonglong number, bool mayChange)
{
    return runCommand(
               m_session, m_prompt,
               [&] {
                   const RecordSet row = m_session.db().query(
                       QStringLiteral("SELECT Attach_Title, Attach_Filename FROM ATTACH WHERE "
                                      "Attach_Number = ?"),
                       {number});
                   if (row.isEmpty()) {
                       m_prompt.inform(QStringLiteral("Attachment not found"));
                       return;
                   }
                   m_title->setText(memo::shownTitle(row.variant(QStringLiteral("Attach_Filename")),
                                                     row.text(QStringLiteral("Attach_Title"))));
                   m_text->setPlainText(memo::readText(m_session.db(), number));
                   m_existing = number;
                   m_publish->hide();
                   m_title->setReadOnly(!mayChange);
                   m_text->setReadOnly(!mayChange);
                   if (auto* ok = findChild<QPushButton*>(QStringLiteral("cmdOK")))
                       ok->setEnabled(mayChange);
               }) &&
           m_existing == number;
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
            const Outcome<Done> written =
                memo::rewrite(m_session.db(), m_existing, title, m_text->toPlainText());
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
    p.owner = m_session.user.userId;
    p.date = GmtConverter(m_session.clock()).nowGmt();
    p.publish = m_publish->isChecked();
    m_pending = p;
    accept();
}

} // namespace bx
