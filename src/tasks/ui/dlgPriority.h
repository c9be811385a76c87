#pragma once

#include <QDialog>
#include <QStringList>

#include <functional>
#include <optional>

class QTreeWidget;

namespace bx {

class Prompt;
class Session;

/**
 * The priority picker: the priorities of LU_PRIORITY in order, one to be selected, or several to
 * be ticked when the caller asks for several. OK without one says "Please select a priority." and
 * stays open.
 */
class dlgPriority : public QDialog
{
    Q_OBJECT
public:
    dlgPriority(Session& session, Prompt& prompt, bool several, QWidget* parent = nullptr);

    /**
     * Shows the picker modally. @return the chosen priority (one entry) or the ticked ones;
     * nullopt when closed without OK
     */
    static std::optional<QStringList> choose(Session& session, Prompt& prompt, bool several,
                                             QWidget* parent);
    /** Test hook: when set, choose() calls it instead of showing the dialog; empty to reset. */
    static void setChoiceForTests(std::function<std::optional<QStringList>()> choice);

    /** The choice after OK; empty before. */
    const QStringList& chosen() const { return m_chosen; }

    /** OK: checks the selection; accepts the dialog when there is one. @return true when accepted
     */
    bool confirm();

private:
    QStringList selection() const;

    Prompt& m_prompt;
    bool m_several;
    QTreeWidget* m_tree;
    QStringList m_chosen;
};

} // namespace bx
