#include "core/ui/KeyedList.h"

#include <QAction>
#include <QDialog>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QToolBar>
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

void layOutDesigner(QDialog& window, QToolBar& tools, QTreeWidget& list)
{
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    buttons->button(QDialogButtonBox::Close)->setObjectName(QStringLiteral("cmdClose"));
    QObject::connect(buttons, &QDialogButtonBox::rejected, &window, &QDialog::reject);
    auto* layout = new QVBoxLayout(&window);
    layout->setMenuBar(&tools);
    layout->addWidget(&list);
    layout->addWidget(buttons);
}

} // namespace bx
