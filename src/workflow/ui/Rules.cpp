#include "workflow/ui/Rules.h"

#include "core/Prompt.h"
#include "core/ui/DialogButtons.h"
#include "core/ui/Named.h"
#include "core/ui/RunCommand.h"
#include "core/ui/ShowRefusal.h"
#include "workflow/RuleStore.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <limits>

namespace bx {

namespace {

const QString kTestTitle = QStringLiteral("Test");

} // namespace

Rules::Rules(Session& session, Prompt& prompt, const QString& mode, const QString& ruleName,
             QWidget* parent)
    : SessionDialog(session, prompt, "Rules", QStringLiteral("Rule"), parent)
    , m_name(named(new QLineEdit, "RuleName"))
    , m_script(named(new QPlainTextEdit, "RuleText"))
    , m_testOwner(named(new QLineEdit, "txtTestOwner"))
    , m_testGroup(named(new QLineEdit, "txtTestGroup"))
{
    m_script->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_script->setTabChangesFocus(false);
    m_testGroup->setValidator(new QIntValidator(0, std::numeric_limits<int>::max(), m_testGroup));
    m_testOwner->setPlaceholderText(QStringLiteral("the task's owner"));
    m_testGroup->setPlaceholderText(QStringLiteral("the task's workshop"));

    auto* buttons = okCancelButtons(this, &Rules::onOk);
    auto* test = named(new QPushButton(QStringLiteral("Test")), "cmdTest");
    test->setAutoDefault(false);

    auto* trial = new QGroupBox(QStringLiteral("Test run"));
    auto* trialRow = new QHBoxLayout(trial);
    trialRow->addWidget(new QLabel(QStringLiteral("Proposed owner:")));
    trialRow->addWidget(m_testOwner);
    trialRow->addWidget(new QLabel(QStringLiteral("Workshop:")));
    trialRow->addWidget(m_testGroup);
    trialRow->addWidget(test);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Rule Name:"), m_name);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(new QLabel(QStringLiteral("Script:")));
    layout->addWidget(m_script, 1);
    layout->addWidget(trial);
    layout->addWidget(buttons);
    resize(640, 480);

    connect(test, &QPushButton::clicked, this, &Rules::onTest);

    if (mode.compare(QLatin1String("OPEN"), Qt::CaseInsensitive) == 0) {
        std::optional<RuleRecord> rule;
        runCommand(m_session, m_prompt, [&] { rule = RuleStore(m_session).load(ruleName); });
        if (rule) {
            m_original = rule->name;
            m_name->setText(rule->name);
            m_script->setPlainText(rule->script);
        } else {
            m_name->setText(ruleName.trimmed());
        }
    }
}

void Rules::onOk()
{
    Outcome<Done, RuleField> saved;
    if (!runCommand(m_session, m_prompt, [&] {
            saved = RuleStore(m_session).save(m_original, m_name->text(), m_script->toPlainText());
        }))
        return;
    if (showRefusal(m_prompt, saved.refusal(),
                    {{RuleField::Name, m_name}, {RuleField::Script, m_script}}))
        return;
    m_saved = m_name->text().trimmed();
    accept();
}

void Rules::onTest()
{
    const std::optional<QString> typed = m_prompt.input(QStringLiteral("Task number:"), kTestTitle);
    if (!typed)
        return;
    const Outcome<qlonglong> number = RuleStore::parseTaskNumber(*typed);
    if (showRefusal(m_prompt, number.refusal()))
        return;
    TrialOwner proposed;
    if (!m_testOwner->text().trimmed().isEmpty())
        proposed.owner = m_testOwner->text().trimmed();
    if (!m_testGroup->text().trimmed().isEmpty())
        proposed.group = m_testGroup->text().trimmed().toLongLong();
    Outcome<RuleTrial> result;
    if (!runCommand(m_session, m_prompt,
                    [&] {
                        result = RuleStore(m_session).trial(m_script->toPlainText(), *number,
                                                            proposed, m_name->text());
                    }) ||
        showRefusal(m_prompt, result.refusal()))
        return;
    m_prompt.inform(result->report(), kTestTitle,
                    result->outcome.ok() ? PromptIcon::Information : PromptIcon::Critical);
}

} // namespace bx
