#pragma once

#include "core/ui/SessionDialog.h"
#include "reports/Pivot.h"

class QLineEdit;

namespace bx {

/**
 * Asks for a formula fact of the analysis being designed: its name and its expression over the
 * analysis's facts. OK takes them only when both are given and the expression reads (names a fact
 * each, in a well-formed formula).
 */
class dlgNewFormula : public SessionDialog
{
    Q_OBJECT

public:
    /** `facts`: the facts the formula may name. */
    dlgNewFormula(Session& session, Prompt& prompt, QList<pivot::Fact> facts,
                  QWidget* parent = nullptr);

    QString name() const;
    QString expression() const;

    /** Checks the name and the formula; closes with Accepted when they will do. */
    void accept() override;

private:
    QList<pivot::Fact> m_facts;
    QLineEdit* m_name;
    QLineEdit* m_expression;
};

} // namespace bx
