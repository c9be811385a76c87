#pragma once

#include "core/Prompt.h"

class QWidget;

namespace bx {

/** The Prompt of the running program: message boxes and input dialogs over a parent window. */
class MessageBoxPrompt final : public Prompt
{
public:
    explicit MessageBoxPrompt(QWidget* parent = nullptr);

    void setParent(QWidget* parent) { m_parent = parent; }

    void inform(const QString& text, const QString& title, PromptIcon icon) override;
    PromptAnswer ask(const QString& text, const QString& title, PromptButtons buttons,
                     PromptIcon icon) override;
    std::optional<QString> input(const QString& text, const QString& title,
                                 const QString& defaultValue) override;

private:
    QWidget* m_parent;
};

} // namespace bx
