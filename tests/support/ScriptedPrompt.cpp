#include "support/ScriptedPrompt.h"

#include <QStringList>

#include <gtest/gtest.h>

namespace bx::test {

ScriptedPrompt::~ScriptedPrompt()
{
    if (!m_answers.empty())
        ADD_FAILURE() << m_answers.size() << " scripted answer(s) were never asked for";
}

ScriptedPrompt& ScriptedPrompt::answer(PromptAnswer a)
{
    m_answers.emplace_back(a);
    return *this;
}

ScriptedPrompt& ScriptedPrompt::answerInput(std::optional<QString> text)
{
    m_answers.emplace_back(std::move(text));
    return *this;
}

void ScriptedPrompt::inform(const QString& text, const QString& title, PromptIcon icon)
{
    m_records.append({PromptRecord::Kind::Inform, text, title, icon, PromptButtons::Ok});
}

PromptAnswer ScriptedPrompt::ask(const QString& text, const QString& title, PromptButtons buttons,
                                 PromptIcon icon)
{
    m_records.append({PromptRecord::Kind::Ask, text, title, icon, buttons});
    if (m_answers.empty() || !std::holds_alternative<PromptAnswer>(m_answers.front())) {
        ADD_FAILURE() << "unexpected question: " << text.toStdString();
        return buttons == PromptButtons::YesNo ? PromptAnswer::No : PromptAnswer::Cancel;
    }
    const PromptAnswer a = std::get<PromptAnswer>(m_answers.front());
    m_answers.pop_front();
    return a;
}

std::optional<QString> ScriptedPrompt::input(const QString& text, const QString& title,
                                             const QString& /*defaultValue*/)
{
    m_records.append(
        {PromptRecord::Kind::Input, text, title, PromptIcon::None, PromptButtons::OkCancel});
    if (m_answers.empty() || !std::holds_alternative<std::optional<QString>>(m_answers.front())) {
        ADD_FAILURE() << "unexpected input request: " << text.toStdString();
        return std::nullopt;
    }
    auto a = std::get<std::optional<QString>>(m_answers.front());
    m_answers.pop_front();
    return a;
}

QStringList ScriptedPrompt::texts() const
{
    QStringList out;
    for (const PromptRecord& r : m_records)
        out << r.text;
    return out;
}

PromptRecord ScriptedPrompt::last() const
{
    if (m_records.isEmpty()) {
        ADD_FAILURE() << "nothing was shown";
        return {};
    }
    return m_records.last();
}

} // namespace bx::test
