#pragma once

#include "core/Prompt.h"
#include "support/QtPrinters.h"

#include <QList>

#include <deque>

namespace bx::test {

/** One thing the program showed or asked, as the scripted prompt recorded it. */
struct PromptRecord
{
    enum class Kind
    {
        Inform,
        Ask,
        Input
    };
    Kind kind;
    QString text;
    QString title;
    PromptIcon icon = PromptIcon::None;
    PromptButtons buttons = PromptButtons::Ok;
};

/**
 * A Prompt for tests: records every text, answers questions and inputs from a queue, and fails
 * the running test when a question finds the queue empty (or holding the wrong kind of answer) or
 * when answers are left over at destruction.
 */
class ScriptedPrompt final : public Prompt
{
public:
    ScriptedPrompt() = default;
    ~ScriptedPrompt() override;
    ScriptedPrompt(const ScriptedPrompt&) = delete;
    ScriptedPrompt& operator=(const ScriptedPrompt&) = delete;

    /** Queues the answer to the next question. */
    ScriptedPrompt& answer(PromptAnswer a);
    /** Queues the text typed into the next input; std::nullopt stands for Cancel. */
    ScriptedPrompt& answerInput(std::optional<QString> text);

    void inform(const QString& text, const QString& title, PromptIcon icon) override;
    PromptAnswer ask(const QString& text, const QString& title, PromptButtons buttons,
                     PromptIcon icon) override;
    std::optional<QString> input(const QString& text, const QString& title,
                                 const QString& defaultValue) override;

    const QList<PromptRecord>& records() const { return m_records; }
    /** The texts shown, in order. */
    QStringList texts() const;
    /** The last record; fails the test when nothing was shown. */
    PromptRecord last() const;
    void clear() { m_records.clear(); }
    bool pending() const { return !m_answers.empty(); }

private:
    struct Answer
    {
        bool isInput = false;
        PromptAnswer button = PromptAnswer::Cancel;
        bool cancelled = false; ///< an input answered with Cancel
        QString text;
    };
    QList<PromptRecord> m_records;
    std::deque<Answer> m_answers;
};

} // namespace bx::test
