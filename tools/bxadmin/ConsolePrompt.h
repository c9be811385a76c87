#pragma once

#include "core/Prompt.h"

namespace bx {

/**
 * The prompt of a command-line tool: messages go to standard error; questions are answered from
 * standard input when it is a terminal, else (and with assumeYes) without asking.
 */
class ConsolePrompt final : public Prompt
{
public:
    explicit ConsolePrompt(bool assumeYes)
        : m_assumeYes(assumeYes)
    {
    }

    void inform(const QString& text, const QString& title, PromptIcon icon) override;
    PromptAnswer ask(const QString& text, const QString& title, PromptButtons buttons,
                     PromptIcon icon) override;
    std::optional<QString> input(const QString& text, const QString& title,
                                 const QString& defaultValue) override;

    /** Reads a password from the terminal without echo; nothing when there is no terminal. */
    static std::optional<QString> readSecret(const QString& question);

    /** Whether an error (critical message) was shown. */
    bool sawError() const { return m_sawError; }

private:
    bool m_assumeYes;
    bool m_sawError = false;
};

} // namespace bx
