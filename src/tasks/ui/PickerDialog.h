#pragma once

#include <QDialog>
#include <QStringList>

#include <functional>
#include <optional>
#include <utility>

class QTreeWidget;

namespace bx {

class Prompt;

/**
 * What the folder and priority pickers share: a tree of entries in which one is selected, or
 * several are ticked when the caller asks for several, and OK and Cancel. OK without an entry
 * shows the picker's message and keeps it open. The picker fills the tree.
 */
class PickerDialog : public QDialog
{
public:
    /** The choice after OK; empty before. */
    const QStringList& chosen() const { return m_chosen; }

    /** OK: checks the selection; accepts the dialog when there is one. @return true when accepted
     */
    bool confirm();

protected:
    /**
     * @param treeName the tree's object name
     * @param missing  the message of OK without an entry
     */
    PickerDialog(Prompt& prompt, bool several, const char* treeName, const QString& missing,
                 QWidget* parent);

    QTreeWidget* tree() const { return m_tree; }

private:
    QStringList selection() const;

    Prompt& m_prompt;
    bool m_several;
    QString m_missing;
    QTreeWidget* m_tree;
    QStringList m_chosen;
};

/**
 * A picker of its own kind `Picker`: its modal showing and its test hook, one of each kind.
 */
template <typename Picker> class PickerOf : public PickerDialog
{
public:
    using Choice = std::function<std::optional<QStringList>()>;

    /** Test hook: when set, choose() calls it instead of showing the dialog; empty to reset. */
    static void setChoiceForTests(Choice choice) { testChoice() = std::move(choice); }

protected:
    using PickerDialog::PickerDialog;

    /**
     * Shows the picker made from `args` modally. @return the chosen entry (one) or the ticked
     * ones; nullopt when closed without OK
     */
    template <typename... Args> static std::optional<QStringList> showModal(Args&&... args)
    {
        if (testChoice())
            return testChoice()();
        Picker dialog(std::forward<Args>(args)...);
        if (dialog.exec() != QDialog::Accepted)
            return std::nullopt;
        return dialog.chosen();
    }

private:
    static Choice& testChoice()
    {
        static Choice choice;
        return choice;
    }
};

} // namespace bx
