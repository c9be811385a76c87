#include "messaging/ui/dlgEmail.h"

#include "core/Prompt.h"
#include "core/Session.h"
#include "core/ui/Named.h"
#include "core/ui/RunCommand.h"
#include "core/ui/ShowRefusal.h"
#include "messaging/EmailDraft.h"
#include "messaging/ui/AddressBook.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QCompleter>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QStringListModel>
#include <QTextCursor>
#include <QToolBar>
#include <QVBoxLayout>

#include <functional>

namespace bx {

dlgEmail::dlgEmail(Session& session, Prompt& prompt, QWidget* parent)
    : SessionDialog(session, prompt, "dlgEmail", QStringLiteral("Email"), parent)
    , m_to(named(new QLineEdit, "txtTo"))
    , m_subject(named(new QLineEdit, "txtSubject"))
    , m_message(named(new QPlainTextEdit, "txtMessage"))
    , m_completer(new QCompleter(this))
    , m_contacts(new QStringListModel(this))
{

    auto* tools = named(new QToolBar, "Toolbar1");
    tools->setToolButtonStyle(Qt::ToolButtonTextOnly);
    auto add = [&](const char* name, const QString& caption) {
        return named(tools->addAction(caption), name);
    };
    QAction* send = add("Send", QStringLiteral("Send"));
    tools->addSeparator();
    QAction* cut = add("Cut", QStringLiteral("Cut"));
    QAction* copy = add("Copy", QStringLiteral("Copy"));
    QAction* paste = add("Paste", QStringLiteral("Paste"));
    QAction* remove = add("Delete", QStringLiteral("Delete"));
    connect(send, &QAction::triggered, this, &dlgEmail::onSend);
    connect(cut, &QAction::triggered, this,
            [this] { onFocusedBox(&QLineEdit::cut, &QPlainTextEdit::cut); });
    connect(copy, &QAction::triggered, this,
            [this] { onFocusedBox(&QLineEdit::copy, &QPlainTextEdit::copy); });
    connect(paste, &QAction::triggered, this,
            [this] { onFocusedBox(&QLineEdit::paste, &QPlainTextEdit::paste); });
    connect(remove, &QAction::triggered, this, [this] {
        onFocusedBox(&QLineEdit::del, [](QPlainTextEdit* box) {
            QTextCursor cursor = box->textCursor();
            if (cursor.hasSelection())
                cursor.removeSelectedText();
            else
                cursor.deleteChar();
            box->setTextCursor(cursor);
        });
    });

    // The contacts offered follow the entry being typed, the one after the last ";".
    m_completer->setModel(m_contacts);
    m_completer->setWidget(m_to);
    m_completer->setCompletionMode(QCompleter::UnfilteredPopupCompletion);
    m_completer->popup()->setObjectName(QStringLiteral("lstContacts"));
    connect(m_to, &QLineEdit::textEdited, this, &dlgEmail::onToEdited);
    connect(m_completer, qOverload<const QString&>(&QCompleter::activated), this,
            &dlgEmail::onCompletionChosen);

    auto* form = new QFormLayout;
    auto* toRow = new QHBoxLayout;
    toRow->addWidget(m_to, 1);
    toRow->addWidget(AddressBook::buttonFor(m_session, m_prompt, m_to));
    form->addRow(QStringLiteral("To:"), toRow);
    form->addRow(QStringLiteral("Subject:"), m_subject);
    auto* layout = new QVBoxLayout(this);
    layout->setMenuBar(tools);
    layout->addLayout(form);
    layout->addWidget(m_message, 1);
    resize(560, 420);
}

template <typename LineEdit, typename TextEdit>
void dlgEmail::onFocusedBox(LineEdit lineEdit, TextEdit textEdit)
{
    QWidget* focused = focusWidget();
    if (focused == m_to || focused == m_subject)
        std::invoke(lineEdit, static_cast<QLineEdit*>(focused));
    else if (focused == m_message)
        std::invoke(textEdit, m_message);
}

void dlgEmail::onToEdited(const QString& text)
{
    const QString typed = email::typedEntry(text).entry;
    QStringList found;
    if (!typed.isEmpty())
        runCommand(m_session, m_prompt, [&] { found = email::completions(m_session.db(), typed); });
    m_contacts->setStringList(found);
    if (found.isEmpty())
        m_completer->popup()->hide();
    else
        m_completer->complete();
}

void dlgEmail::onCompletionChosen(const QString& chosen)
{
    m_to->setText(email::withCompletion(m_to->text(), chosen));
    m_to->setFocus();
}

void dlgEmail::onSend()
{
    const email::Draft draft{m_to->text(), m_subject->text(), m_message->toPlainText()};
    Outcome<QString, email::EmailField> sent;
    if (!runCommand(m_session, m_prompt, [&] { sent = email::send(m_session, draft); }))
        return;
    if (showRefusal(m_prompt, sent.refusal(), [this](email::EmailField field) -> QWidget* {
            return field == email::EmailField::To ? m_to : nullptr;
        }))
        return;
    if (!sent)
        return;
    m_record = *sent;
    QDialog::accept();
}

bool dlgEmail::hasText() const
{
    return !m_to->text().trimmed().isEmpty() || !m_subject->text().trimmed().isEmpty() ||
           !m_message->toPlainText().trimmed().isEmpty();
}

void dlgEmail::reject()
{
    if (hasText() &&
        m_prompt.ask(QStringLiteral("Are you sure?"), windowTitle()) != PromptAnswer::Yes)
        return;
    QDialog::reject();
}

} // namespace bx
