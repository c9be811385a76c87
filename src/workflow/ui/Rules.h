#pragma once

#include "core/ui/SessionDialog.h"

class QLineEdit;
class QPlainTextEdit;

namespace bx {

class Prompt;
class Session;

/**
 * The rule editor: the name (`RuleName`) and script (`RuleText`) of one row of LU_RULES. Opened
 * with mode "OPEN" and a rule name to edit that rule, or "NEW" to add one; a rule that is gone
 * opens as a new one under its name. "Test" tries the script out against a task whose number it
 * asks for, with the proposed owner and workshop typed beside it (blank: the task's own), and
 * shows the result; it saves nothing.
 */
class Rules : public SessionDialog
{
    Q_OBJECT
public:
    Rules(Session& session, Prompt& prompt, const QString& mode, const QString& ruleName = {},
          QWidget* parent = nullptr);

    /** The rule's name as written, after OK; empty before. */
    const QString& savedName() const { return m_saved; }

private:
    void onOk();
    void onTest();

    QString m_original; ///< the name the rule had when opened; empty for a new rule
    QString m_saved;
    QLineEdit* m_name;
    QPlainTextEdit* m_script;
    QLineEdit* m_testOwner;
    QLineEdit* m_testGroup;
};

} // namespace bx
