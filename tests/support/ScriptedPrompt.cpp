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
    m_answers.push_back({false, a, false, {}});
    return *this;
}

ScriptedPrompt& ScriptedPrompt::answerInput(std::optional<QString> text)
{
    m_answers.push_back({true, PromptAnswer::Cancel, !text.has_value(), text.value_or(QString())});
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
    if (m_answers.empty() || m_answers.front().isInput) {
        ADD_FAILURE() << "unexpected question: " << text.toStdString();
        return buttons == PromptButtons::YesNo ? PromptAnswer::No : PromptAnswer::Cancel;
    }
    const PromptAnswer a = m_answers.front().button;
    m_answers.pop_front();
    return a;
}

std::optional<QString> ScriptedPrompt::input(const QString& text, const QString& title,
                                             const QString& /*defaultValue*/)
{
    m_records.append(
        {PromptRecord::Kind::Input, text, title, PromptIcon::None, PromptButtons::OkCancel});
    if (m_answers.empty() || !m_answers.front().isInput) {
        ADD_FAILURE() << "unexpected input request: " << text.toStdString();
        return std::nullopt;
    }
    const Answer a = m_answers.front();
    m_answers.pop_front();
    if (a.cancelled)
        return std::nullopt;
    return a.text;
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
