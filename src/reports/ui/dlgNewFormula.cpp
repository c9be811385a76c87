#include "reports/ui/dlgNewFormula.h"

#include "core/Prompt.h"
#include "core/ui/Named.h"
#include "core/ui/ShowRefusal.h"
#include "reports/Analyses.h"
#include "reports/PivotFormula.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace bx {

dlgNewFormula::dlgNewFormula(Session& session, Prompt& prompt, QList<pivot::Fact> facts,
                             QWidget* parent)
    : SessionDialog(session, prompt, "dlgNewFormula", QStringLiteral("New Formula"), parent)
    , m_facts(std::move(facts))
    , m_name(named(new QLineEdit, "txtName"))
    , m_expression(named(new QLineEdit, "txtFormula"))
{
    QStringList names;
    for (const pivot::Fact& f : std::as_const(m_facts))
        names << f.title;
    auto* hint = new QLabel(
        QStringLiteral("Facts: %1. Use + - * / and parentheses; put a name with spaces in "
                       "square brackets.")
            .arg(names.isEmpty() ? QStringLiteral("none yet") : names.join(QStringLiteral(", "))));
    hint->setTextFormat(Qt::PlainText);
    hint->setWordWrap(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    named(buttons->button(QDialogButtonBox::Ok), "cmdOK");
    named(buttons->button(QDialogButtonBox::Cancel), "cmdCancel");
    connect(buttons, &QDialogButtonBox::accepted, this, &dlgNewFormula::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &dlgNewFormula::reject);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Name:"), m_name);
    form->addRow(QStringLiteral("Formula:"), m_expression);
    auto* box = new QVBoxLayout(this);
    box->addLayout(form);
    box->addWidget(hint);
    box->addStretch();
    box->addWidget(buttons);
    resize(440, 180);
}

QString dlgNewFormula::name() const
{
    return m_name->text().trimmed();
}

QString dlgNewFormula::expression() const
{
    return m_expression->text().trimmed();
}

void dlgNewFormula::accept()
{
    if (name().isEmpty()) {
        showRefusal(m_prompt, QStringLiteral("Please enter Name of OLAP fact."), m_name);
        return;
    }
    if (expression().isEmpty()) {
        showRefusal(m_prompt, QStringLiteral("Please enter Formula expression for OLAP fact."),
                    m_expression);
        return;
    }
    if (const auto refusal = pivot::checkFormula(name(), expression(), m_facts)) {
        showRefusal(m_prompt, refusal->message, m_expression);
        return;
    }
    QDialog::accept();
}

} // namespace bx
