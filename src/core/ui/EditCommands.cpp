#include "core/ui/EditCommands.h"

#include "core/ui/Named.h"

#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QToolBar>

#include <type_traits>

namespace bx {

namespace {

enum class Edit
{
    Cut,
    Copy,
    Paste,
    Delete,
};

template <typename Box> void apply(Box* box, Edit what)
{
    switch (what) {
    case Edit::Cut:
        box->cut();
        break;
    case Edit::Copy:
        box->copy();
        break;
    case Edit::Paste:
        box->paste();
        break;
    case Edit::Delete:
        if constexpr (std::is_same_v<Box, QLineEdit>) {
            if (box->hasSelectedText())
                box->del();
        } else {
            box->textCursor().removeSelectedText();
        }
        break;
    }
}

void editActive(QWidget& window, Edit what)
{
    QWidget* active = window.focusWidget();
    if (auto* line = qobject_cast<QLineEdit*>(active))
        apply(line, what);
    else if (auto* text = qobject_cast<QTextEdit*>(active))
        apply(text, what);
    else if (auto* plain = qobject_cast<QPlainTextEdit*>(active))
        apply(plain, what);
}

} // namespace

void addEditCommands(QWidget& window, QToolBar& tools, QMenu* menu)
{
    const struct
    {
        const char* name;
        Edit what;
    } commands[] = {
        {"Cut", Edit::Cut}, {"Copy", Edit::Copy}, {"Paste", Edit::Paste}, {"Delete", Edit::Delete}};
    for (const auto& c : commands) {
        QAction* action = named(new QAction(QString::fromLatin1(c.name), &window), c.name);
        const Edit what = c.what;
        QObject::connect(action, &QAction::triggered, &window,
                         [&window, what] { editActive(window, what); });
        tools.addAction(action);
        if (menu)
            menu->addAction(action);
    }
}

} // namespace bx
