#pragma once

#include "dbadmin/UpgradeStep.h"

#include <QDialog>

#include <memory>

class QTreeWidget;

namespace bx {

class Database;
class Prompt;
class UpgradeLog;
class Upgrader;

/**
 * The database upgrade window: lists the pending steps (ListView1) and applies them on OK. The
 * window closes itself only after a run in which every step succeeded; Cancel changes nothing.
 */
class dlgUpgrade : public QDialog
{
    Q_OBJECT
public:
    dlgUpgrade(Database& db, Prompt& prompt, UpgradeContext context, QWidget* parent = nullptr);
    ~dlgUpgrade() override;

    /** Whether the last OK brought the database up to date. */
    bool upgraded() const { return m_upgraded; }

private:
    void onOk();

    Prompt& m_prompt;
    std::unique_ptr<UpgradeLog> m_log;
    std::unique_ptr<Upgrader> m_upgrader;
    QTreeWidget* m_list;
    bool m_upgraded = false;
};

} // namespace bx
