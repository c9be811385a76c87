#include "mainwindow/ui/dlgModifyActiveX.h"

#include "core/Prompt.h"
#include "core/Session.h"
#include "core/ui/DialogButtons.h"
#include "core/ui/Named.h"
#include "core/ui/RunCommand.h"
#include "core/ui/ShowRefusal.h"
#include "tasks/PlugInCatalog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

namespace bx {

namespace {

} // namespace

dlgModifyActiveX::dlgModifyActiveX(Session& session, Prompt& prompt, const QString& mode,
                                   qlonglong id, QWidget* parent)
    : SessionDialog(session, prompt, "dlgModifyActiveX", QStringLiteral("Plug-in"), parent)
    , m_label(named(new QLineEdit, "txtLabel"))
    , m_controlName(named(new QComboBox, "cboControlName"))
    , m_plugInName(named(new QLineEdit, "txtPluginName"))
    , m_showToolBox(named(new QCheckBox(QStringLiteral("Offer it on the &toolbar")), "chkToolBox"))
    , m_separate(named(new QCheckBox(QStringLiteral("With a &button of its own")), "chkSeparate"))
    , m_iconView(named(new QLabel, "imgIcon"))
{
    m_controlName->setEditable(true);
    const plugins::PlugInCatalog installed;
    for (const plugins::PlugInLibrary& library : installed.libraries())
        for (const QString& progId : library.progIds)
            if (m_controlName->findText(progId, Qt::MatchFixedString) < 0)
                m_controlName->addItem(progId);
    m_controlName->setCurrentIndex(-1);
    m_iconView->setFixedSize(40, 40);
    m_iconView->setAlignment(Qt::AlignCenter);
    m_iconView->setFrameShape(QFrame::StyledPanel);
    auto* choose = named(new QPushButton(QStringLiteral("&Icon...")), "cmdIcon");
    auto* clear = named(new QPushButton(QStringLiteral("&No Icon")), "cmdNoIcon");
    connect(choose, &QPushButton::clicked, this, &dlgModifyActiveX::chooseIcon);
    connect(clear, &QPushButton::clicked, this, [this] {
        m_icon.clear();
        showIcon();
    });
    auto* icon = new QHBoxLayout;
    icon->addWidget(m_iconView);
    icon->addWidget(choose);
    icon->addWidget(clear);
    icon->addStretch();

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("&Label:"), m_label);
    form->addRow(QStringLiteral("&Control name:"), m_controlName);
    form->addRow(QStringLiteral("&Plug-in name:"), m_plugInName);
    form->addRow(QStringLiteral("Icon:"), icon);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_showToolBox);
    layout->addWidget(m_separate);
    layout->addStretch();
    layout->addWidget(okCancelButtons(this, &dlgModifyActiveX::save));
    // A button of its own only means something for a plug-in the toolbar offers.
    connect(m_showToolBox, &QCheckBox::toggled, m_separate, &QWidget::setEnabled);
    m_separate->setEnabled(false);

    if (mode.compare(QStringLiteral("EDIT"), Qt::CaseInsensitive) == 0) {
        m_id = id;
        std::optional<plugins::PlugInDefinition> plugIn;
        runCommand(m_session, m_prompt, [&] { plugIn = plugins::readPlugIn(m_session.db(), id); });
        if (plugIn) {
            m_label->setText(plugIn->label);
            m_controlName->setEditText(plugIn->progId);
            m_plugInName->setText(plugIn->plugInName);
            m_showToolBox->setChecked(plugIn->showToolBox);
            m_separate->setChecked(plugIn->separate);
            m_icon = plugIn->icon;
        }
    }
    showIcon();
    resize(460, 300);
}

void dlgModifyActiveX::showIcon()
{
    m_iconView->setPixmap(QPixmap::fromImage(plugins::plugInIcon(m_icon))
                              .scaled(32, 32, Qt::KeepAspectRatio, Qt::SmoothTransformation));
}

void dlgModifyActiveX::chooseIcon()
{
    const QString path = QFileDialog::getOpenFileName(
        this, QStringLiteral("Icon"), QString(),
        QStringLiteral(
            "Pictures (*.ico *.bmp *.jpg *.jpeg *.png);;Icon file (*.ico);;Windows Bitmap (*.bmp);;"
            "Jpeg files (*.jpg *.jpeg);;PNG files (*.png)"));
    if (!path.isEmpty())
        setIconFile(path);
}

bool dlgModifyActiveX::setIconFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        showRefusal(m_prompt, file.errorString());
        return false;
    }
    m_icon = file.readAll();
    showIcon();
    return true;
}

void dlgModifyActiveX::save()
{
    const plugins::PlugInDefinition draft{m_id,
                                          m_label->text(),
                                          m_controlName->currentText(),
                                          m_plugInName->text(),
                                          m_showToolBox->isChecked(),
                                          m_separate->isChecked(),
                                          m_icon};
    Outcome<qlonglong, plugins::PlugInField> saved;
    if (!runCommand(m_session, m_prompt,
                    [&] { saved = plugins::PlugInStore(m_session, m_prompt).save(draft); }))
        return;
    if (showRefusal(m_prompt, saved.refusal(),
                    {{plugins::PlugInField::ControlName, m_controlName}}))
        return;
    m_saved = *saved;
    accept();
}

} // namespace bx
