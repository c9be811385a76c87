#include "tasks/ui/F_COMMENTS.h"

#include "core/ui/DialogButtons.h"
#include "core/ui/Named.h"
#include "core/ui/StoredText.h"
#include "tasks/cSCR.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QTextEdit>
#include <QVBoxLayout>

namespace bx {

namespace {

std::function<std::optional<QString>(const QString&)>& answerHook()
{
    static std::function<std::optional<QString>(const QString&)> hook;
    return hook;
}

/** Shows the dialog modally; the typed note, or nullopt when closed without OK (Esc included). */
std::optional<QString> showDialog(QWidget* parent, const QString& question, const QString& caption)
{
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("F_COMMENTS"));
    dialog.setWindowTitle(caption.isEmpty() ? QStringLiteral("Comments") : caption);
    auto* label = named(plainLabel(question), "lblQuestion");
    label->setWordWrap(true);
    auto* note = named(withStoredTextDocument(new QTextEdit), "T_COMMENTS");
    note->setAcceptRichText(false);
    note->setTabChangesFocus(true);
    auto* buttons = okCancelButtons(&dialog, {});
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(label);
    layout->addWidget(note);
    layout->addWidget(buttons);
    note->setFocus();
    // The question on one line, and room to write.
    dialog.resize(440, 280);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return note->toPlainText();
}

} // namespace

F_COMMENTS::F_COMMENTS(const cSCR& task, QWidget* parent)
    : m_task(task)
    , m_parent(parent)
{
}

std::optional<QString> F_COMMENTS::OnTargetChange()
{
    const bool meeting = m_task.taskType() == TaskType::Meeting;
    return askNote(
        m_parent,
        meeting ? QStringLiteral("Please specify comments related to the meeting date change")
                : QStringLiteral("Please specify comments related to the due date change"),
        meeting ? QStringLiteral("Reschedule Meeting?") : QString());
}

std::optional<QString> F_COMMENTS::OnStartChange()
{
    return askNote(m_parent,
                   QStringLiteral("Please specify comments related to the start date change"));
}

std::optional<QString> F_COMMENTS::askNote(QWidget* parent, const QString& question,
                                           const QString& caption)
{
    const auto& hook = answerHook();
    return hook ? hook(question) : showDialog(parent, question, caption);
}

void F_COMMENTS::setAnswerForTests(
    std::function<std::optional<QString>(const QString& question)> answer)
{
    answerHook() = std::move(answer);
}

} // namespace bx
