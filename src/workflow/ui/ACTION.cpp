#include "workflow/ui/ACTION.h"

#include "core/ui/DialogButtons.h"
#include "core/ui/Named.h"
#include "core/ui/RunCommand.h"
#include "core/ui/ShowRefusal.h"
#include "core/ui/StoredText.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>

namespace bx {

ACTION::ACTION(Session& session, Prompt& prompt, const LifecycleStage& stage, const QString& title,
               QWidget* parent)
    : SessionDialog(session, prompt, "ACTION", QStringLiteral("Action Item"), parent)
    , m_stage(stage)
    , m_original(title.trimmed())
    , m_title(named(new QLineEdit, "txtTitle"))
    , m_mandatory(named(new QCheckBox(QStringLiteral("Mandatory")), "chkMandatory"))
    , m_iconView(named(new QLabel, "imgIcon"))
{
    m_iconView->setFixedSize(48, 48);
    m_iconView->setAlignment(Qt::AlignCenter);
    m_iconView->setFrameShape(QFrame::StyledPanel);

    auto* chooseIcon = named(new QPushButton(QStringLiteral("Icon...")), "cmdIcon");
    chooseIcon->setAutoDefault(false);
    auto* iconRow = new QHBoxLayout;
    iconRow->addWidget(m_iconView);
    iconRow->addWidget(chooseIcon);
    iconRow->addStretch();

    auto* buttons = okCancelButtons(this, &ACTION::onOk);

    auto* form = new QFormLayout(this);
    form->addRow(QStringLiteral("Lifecycle:"),
                 named(plainLabel(stage.lifecycleId), "lblLifecycle"));
    form->addRow(QStringLiteral("Designer:"), named(plainLabel(stage.designer), "lblDesigner"));
    form->addRow(QStringLiteral("Stage:"), named(plainLabel(stage.stageName), "lblStage"));
    form->addRow(QStringLiteral("Title:"), m_title);
    form->addRow(QString(), m_mandatory);
    form->addRow(QStringLiteral("Icon:"), iconRow);
    form->addRow(buttons);
    // Room for a title longer than a line edit's small default.
    resize(380, sizeHint().height());

    connect(chooseIcon, &QPushButton::clicked, this, &ACTION::onChooseIcon);

    if (!m_original.isEmpty()) {
        Outcome<ActionItem> item;
        runCommand(m_session, m_prompt, [&] {
            item = ActionItems(m_session, m_prompt, stage.lifecycleId, stage.ownerGroupId)
                       .load(stage, m_original);
        });
        showRefusal(m_prompt, item.refusal());
        m_loaded = static_cast<bool>(item);
        if (item) {
            m_original = item->title;
            m_title->setText(item->title);
            m_mandatory->setChecked(item->mandatory);
            m_icon = item->icon;
            showIcon();
        }
    }
}

bool ACTION::setIconFile(const QString& path)
{
    const Outcome<QByteArray> bytes = ActionItems::readIconFile(path);
    if (showRefusal(m_prompt, bytes.refusal()))
        return false;
    m_icon = *bytes;
    showIcon();
    return true;
}

void ACTION::showIcon()
{
    QPixmap picture;
    if (!m_icon.isEmpty() && picture.loadFromData(m_icon))
        m_iconView->setPixmap(
            picture.scaled(m_iconView->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
    else
        m_iconView->clear();
}

void ACTION::onChooseIcon()
{
    const QString path = QFileDialog::getOpenFileName(
        this, QStringLiteral("Icon"), QString(),
        QStringLiteral("Icon file (*.ico);;Windows Bitmap (*.bmp);;Jpeg files (*.jpg)"));
    if (!path.isEmpty())
        setIconFile(path);
}

void ACTION::onOk()
{
    ActionItem item;
    item.title = m_title->text();
    item.mandatory = m_mandatory->isChecked();
    item.icon = m_icon;
    Outcome<> saved;
    if (!runCommand(m_session, m_prompt,
                    [&] {
                        saved = ActionItems(m_session, m_prompt, m_stage.lifecycleId,
                                            m_stage.ownerGroupId)
                                    .save(m_stage, m_original, item);
                    }) ||
        showRefusal(m_prompt, saved.refusal(), [this](NoField) { return m_title; }))
        return;
    m_saved = item.title.trimmed();
    accept();
}

} // namespace bx
