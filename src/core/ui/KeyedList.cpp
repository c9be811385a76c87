#include "core/ui/KeyedList.h"

#include "core/Prompt.h"
#include "core/ui/Named.h"
#include "core/ui/RunCommand.h"
#include "core/ui/ShowRefusal.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace bx {

void setUpKeyedList(QTreeWidget& list, const QStringList& captions)
{
    list.setHeaderLabels(captions);
    list.setRootIsDecorated(false);
    list.setContextMenuPolicy(Qt::ActionsContextMenu);
}

QAction* addListCommand(QToolBar& tools, QTreeWidget& list, const char* key, const char* tip,
                        std::function<void()> run, bool onRow)
{
    QAction* action = tools.addAction(QString::fromLatin1(key));
    action->setObjectName(QString::fromLatin1(key));
    action->setToolTip(QString::fromLatin1(tip));
    QObject::connect(action, &QAction::triggered, &list, std::move(run));
    if (onRow)
        list.addAction(action);
    return action;
}

bool selectByKey(QTreeWidget& list, const QString& key)
{
    for (int i = 0; i < list.topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = list.topLevelItem(i);
        if (item->text(0).compare(key, Qt::CaseInsensitive) == 0) {
            list.setCurrentItem(item);
            return true;
        }
    }
    return false;
}

QString selectedKey(const QTreeWidget& list)
{
    const QTreeWidgetItem* item = list.currentItem();
    return item && item->isSelected() ? item->text(0) : QString();
}

KeyedListDialog::KeyedListDialog(Session& session, Prompt& prompt, const char* name,
                                 const QString& title, const char* listName,
                                 const QStringList& captions, QString noSelection, QWidget* parent)
    : SessionDialog(session, prompt, name, title, parent)
    , m_list(named(new QTreeWidget, listName))
    , m_tools(named(new QToolBar, "Toolbar1"))
    , m_noSelection(std::move(noSelection))
{
    setUpKeyedList(*m_list, captions);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    buttons->button(QDialogButtonBox::Close)->setObjectName(QStringLiteral("cmdClose"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->setMenuBar(m_tools);
    layout->addWidget(m_list);
    layout->addWidget(buttons);
}

void KeyedListDialog::addCommand(const char* key, const char* tip, std::function<void()> run,
                                 bool onRow)
{
    addListCommand(*m_tools, *m_list, key, tip, std::move(run), onRow);
}

bool KeyedListDialog::select(const QString& key)
{
    return selectByKey(*m_list, key);
}

QString KeyedListDialog::selectedKey() const
{
    return bx::selectedKey(*m_list);
}

QString KeyedListDialog::requireSelection()
{
    const QString key = selectedKey();
    if (key.isEmpty())
        m_prompt.inform(m_noSelection);
    return key;
}

bool KeyedListDialog::deleteSelected(const std::function<Outcome<>(const QString& key)>& remove)
{
    const QString key = requireSelection();
    if (key.isEmpty())
        return false;
    Outcome<> removed;
    return runCommand(m_session, m_prompt, [&] { removed = remove(key); }) &&
           !showRefusal(m_prompt, removed.refusal()) && removed;
}

} // namespace bx
