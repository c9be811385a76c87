#pragma once

#include "core/ui/SessionDialog.h"

class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace bx {

class Prompt;
class Session;

/**
 * Creates a workshop (caption "New Workshop") or edits one (mode "EDIT"): name, parent workshop,
 * root folder and members. Members are picked from a candidate list ("Team Members", "Team Mates",
 * "My Team", "All Users" or the members of a workshop) or found by part of their ID. OK saves
 * through WorkshopService::save and closes; a refusal keeps the window open.
 */
class DlgAddTeam : public SessionDialog
{
    Q_OBJECT
public:
    /** groupId 0 creates a workshop; otherwise that workshop is edited. */
    DlgAddTeam(Session& session, Prompt& prompt, qlonglong groupId = 0, QWidget* parent = nullptr);
    ~DlgAddTeam() override;

    /** Whether the edited workshop could be loaded (always true for a new one). */
    bool isLoaded() const { return m_loaded; }
    /** The saved workshop's GROUP_ID after OK; 0 before. */
    qlonglong savedGroupId() const { return m_saved; }

private:
    void load();
    void fillCandidates();
    void onSearch();
    void onAdd();
    void onRemove();
    void onOk();

    qlonglong m_groupId;
    qlonglong m_saved = 0;
    bool m_loaded = true;
    QLineEdit* m_txtTeamName;
    QComboBox* m_cmbGroup;
    QComboBox* m_T_CATEGORY;
    QComboBox* m_cmbUsers;
    QListWidget* m_ListView1;
    QLineEdit* m_txtSearch;
    QListWidget* m_ListView2;
};

} // namespace bx
