#include "mainwindow/ui/DlgTaskListOptions.h"

#include "core/Prompt.h"
#include "core/Session.h"
#include "core/ui/DialogButtons.h"
#include "core/ui/Named.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFontComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace bx {

namespace {
const QString kCustom = QStringLiteral("Custom");
}

DlgTaskListOptions::DlgTaskListOptions(Session& session, Prompt& prompt, QWidget* parent)
    : SessionDialog(session, prompt, "DlgTaskListOptions", QStringLiteral("Task List Options"),
                    parent)
    , m_options(std::make_unique<ListOptions>(session.settings()))
    , m_lstFields(named(new QListWidget(this), "lstFields"))
    , m_cboNode(named(new QComboBox(this), "cboNode"))
    , m_cboFontName(named(new QFontComboBox(this), "cboFontName"))
    , m_spnFontSize(named(new QSpinBox(this), "spnFontSize"))
    , m_chkBold(named(new QCheckBox(QStringLiteral("Bold"), this), "chkBold"))
    , m_chkItalic(named(new QCheckBox(QStringLiteral("Italic"), this), "chkItalic"))
    , m_chkUnderline(named(new QCheckBox(QStringLiteral("Underline"), this), "chkUnderline"))
    , m_cboColor(named(new QComboBox(this), "cboColor"))
    , m_lblSample(named(new QLabel(QStringLiteral("AaBbYyZz"), this), "lblSample"))
    , m_cboProfile(named(new QComboBox(this), "cboProfile"))
    , m_cmdSaveProfile(
          named(new QPushButton(QStringLiteral("Save Profile..."), this), "cmdSaveProfile"))
    , m_spnCheckTasks(named(new QSpinBox(this), "spnCheckTasks"))
{

    for (int k = 0; k < kNodeKindCount; ++k)
        m_cboNode->addItem(ListOptions::nodeCaption(static_cast<NodeKind>(k)));
    m_cboColor->addItems(ListOptions::colourNames());
    m_cboColor->addItem(kCustom);
    m_spnFontSize->setRange(4, 72);
    m_spnCheckTasks->setRange(0, 1440);
    m_spnCheckTasks->setSuffix(QStringLiteral(" min"));

    auto* fields = new QGroupBox(QStringLiteral("Fields"), this);
    (new QVBoxLayout(fields))->addWidget(m_lstFields);

    QWidget* fonts = buildFontBox();

    auto* profileRow = new QHBoxLayout;
    profileRow->addWidget(new QLabel(QStringLiteral("Profile:"), this));
    profileRow->addWidget(m_cboProfile, 1);
    profileRow->addWidget(m_cmdSaveProfile);

    auto* pollRow = new QHBoxLayout;
    pollRow->addWidget(new QLabel(QStringLiteral("Check for new tasks every:"), this));
    pollRow->addWidget(m_spnCheckTasks);
    pollRow->addStretch(1);

    auto* buttons = okCancelButtons(this, [this] { onOk(); });

    auto* columns = new QHBoxLayout;
    columns->addWidget(fields, 1);
    columns->addWidget(fonts, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(profileRow);
    layout->addLayout(columns, 1);
    layout->addLayout(pollRow);
    layout->addWidget(buttons);

    showSet(m_options->current());
    m_spnCheckTasks->setValue(m_options->checkTasks());
    fillProfiles(QString());

    connectFontControls();
    connect(m_cboColor, &QComboBox::activated, this, [this] { onColour(); });
    connect(m_cboProfile, &QComboBox::activated, this, [this] { onProfile(); });
    connect(m_cmdSaveProfile, &QPushButton::clicked, this, [this] { onSaveProfile(); });
}

DlgTaskListOptions::~DlgTaskListOptions() = default;

QWidget* DlgTaskListOptions::buildFontBox()
{
    auto* fonts = new QGroupBox(QStringLiteral("Fonts"), this);
    auto* fontForm = new QFormLayout(fonts);
    fontForm->addRow(QStringLiteral("Item:"), m_cboNode);
    fontForm->addRow(QStringLiteral("Font:"), m_cboFontName);
    fontForm->addRow(QStringLiteral("Size:"), m_spnFontSize);
    auto* styles = new QHBoxLayout;
    styles->addWidget(m_chkBold);
    styles->addWidget(m_chkItalic);
    styles->addWidget(m_chkUnderline);
    fontForm->addRow(styles);
    fontForm->addRow(QStringLiteral("Color:"), m_cboColor);
    fontForm->addRow(m_lblSample);
    return fonts;
}

void DlgTaskListOptions::connectFontControls()
{
    connect(m_cboNode, &QComboBox::currentIndexChanged, this, [this](int index) {
        m_node = qBound(0, index, kNodeKindCount - 1);
        showFont();
    });
    // Each control changes only its own value, so that a font missing on this machine is kept
    // when another value of the node is changed.
    connect(m_cboFontName, &QFontComboBox::currentFontChanged, this,
            [this](const QFont& f) { changeFont([&](NodeFont& n) { n.name = f.family(); }); });
    connect(m_spnFontSize, &QSpinBox::valueChanged, this,
            [this](int size) { changeFont([&](NodeFont& n) { n.size = size; }); });
    connect(m_chkBold, &QCheckBox::toggled, this,
            [this](bool on) { changeFont([&](NodeFont& n) { n.bold = on; }); });
    connect(m_chkItalic, &QCheckBox::toggled, this,
            [this](bool on) { changeFont([&](NodeFont& n) { n.italic = on; }); });
    connect(m_chkUnderline, &QCheckBox::toggled, this,
            [this](bool on) { changeFont([&](NodeFont& n) { n.underline = on; }); });
}

void DlgTaskListOptions::fillProfiles(const QString& select)
{
    m_cboProfile->clear();
    m_cboProfile->addItem(ListOptions::currentProfileCaption());
    m_cboProfile->addItems(m_options->profiles());
    const int at = select.isEmpty() ? 0 : m_cboProfile->findText(select, Qt::MatchFixedString);
    m_cboProfile->setCurrentIndex(qMax(0, at));
}

void DlgTaskListOptions::showSet(const ListOptionsSet& set)
{
    m_set = set;
    m_lstFields->clear();
    const QList<ListField> offered = ListOptions::offeredFields(m_session.system.labelCustom);
    const auto add = [this](const ListField& f, bool checked) {
        auto* item = new QListWidgetItem(f.caption, m_lstFields);
        item->setData(Qt::UserRole, f.column);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
    };
    // The columns shown first, in their order; then the others as offered.
    for (const QString& column : set.columns) {
        for (const ListField& f : offered) {
            if (f.column.compare(column, Qt::CaseInsensitive) == 0)
                add(f, true);
        }
    }
    for (const ListField& f : offered) {
        if (!set.columns.contains(f.column, Qt::CaseInsensitive))
            add(f, false);
    }
    showFont();
}

ListOptionsSet DlgTaskListOptions::shownSet() const
{
    ListOptionsSet set = m_set;
    set.columns.clear();
    for (int i = 0; i < m_lstFields->count(); ++i) {
        const QListWidgetItem* item = m_lstFields->item(i);
        if (item->checkState() == Qt::Checked)
            set.columns << item->data(Qt::UserRole).toString();
    }
    return set;
}

void DlgTaskListOptions::showFont()
{
    const NodeFont& font = m_set.fonts[static_cast<size_t>(m_node)];
    m_filling = true;
    m_cboFontName->setCurrentFont(QFont(font.name));
    m_spnFontSize->setValue(font.size);
    m_chkBold->setChecked(font.bold);
    m_chkItalic->setChecked(font.italic);
    m_chkUnderline->setChecked(font.underline);
    m_cboColor->setCurrentIndex(m_cboColor->findText(ListOptions::colourName(font.color)));
    m_filling = false;

    QFont sample(font.name, font.size);
    sample.setBold(font.bold);
    sample.setItalic(font.italic);
    sample.setUnderline(font.underline);
    m_lblSample->setFont(sample);
    QPalette palette = m_lblSample->palette();
    palette.setColor(QPalette::WindowText, font.color);
    m_lblSample->setPalette(palette);
}

void DlgTaskListOptions::changeFont(const std::function<void(NodeFont&)>& change)
{
    if (m_filling)
        return;
    change(m_set.fonts[static_cast<size_t>(m_node)]);
    showFont();
}

void DlgTaskListOptions::onColour()
{
    if (m_cboColor->currentText() == kCustom) {
        NodeFont& font = m_set.fonts[static_cast<size_t>(m_node)];
        const QColor chosen = QColorDialog::getColor(font.color, this);
        if (chosen.isValid())
            font.color = chosen;
        showFont();
        return;
    }
    const QColor colour = ListOptions::namedColour(m_cboColor->currentText());
    changeFont([&](NodeFont& n) { n.color = colour; });
}

void DlgTaskListOptions::onProfile()
{
    const int index = m_cboProfile->currentIndex();
    if (index <= 0) {
        showSet(m_options->current());
        return;
    }
    if (const std::optional<ListOptionsSet> set = m_options->profile(m_cboProfile->currentText()))
        showSet(*set);
}

void DlgTaskListOptions::onSaveProfile()
{
    if (const std::optional<QString> name = m_options->saveProfileAs(shownSet(), m_prompt))
        fillProfiles(*name);
}

void DlgTaskListOptions::onOk()
{
    if (!m_options->apply(shownSet(), m_prompt))
        return;
    m_options->setCheckTasks(m_spnCheckTasks->value());
    if (m_cboProfile->currentIndex() > 0)
        m_options->setLastProfile(m_cboProfile->currentText());
    accept();
}

} // namespace bx
