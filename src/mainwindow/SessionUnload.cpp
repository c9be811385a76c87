#include "mainwindow/SessionUnload.h"

#include "core/Session.h"
#include "core/db/Database.h"
#include "core/settings/SettingsStore.h"

namespace bx {

void unloadSession(Session& session)
{
    if (session.isOpen()) {
        Database& db = session.db();
        const QString user = session.user.userId;
        try {
            Transaction tx(db);
            for (const qlonglong workshop : std::as_const(session.temporaryWorkshops))
                db.execute(
                    QStringLiteral("DELETE FROM GROUPLINK WHERE GROUP_ID = ? AND USER_ID = ?"),
                    {workshop, user});
            db.execute(QStringLiteral("DELETE FROM LOGIN WHERE User_ID = ?"), {user});
            tx.commit();
        } catch (const DbError& e) {
            session.errorLog().write(QStringLiteral("Error "), e.text());
        }
    }
    session.temporaryWorkshops.clear();
    if (session.taskFormSize.isValid() && !session.taskFormSize.isEmpty()) {
        session.settings().set(QStringLiteral("TaskForm"), QStringLiteral("Widht"),
                               QString::number(session.taskFormSize.width()));
        session.settings().set(QStringLiteral("TaskForm"), QStringLiteral("Height"),
                               QString::number(session.taskFormSize.height()));
    }
}

} // namespace bx
