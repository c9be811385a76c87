#include "tasks/TaskEditor.h"

#include "core/AppPaths.h"
#include "core/Session.h"
#include "core/TextCompare.h"
#include "core/UserRights.h"
#include "core/WholeFile.h"
#include "core/db/Database.h"
#include "core/settings/SystemSettings.h"
#include "tasks/cSCR.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>

namespace bx::editor {

namespace {

const QString kCloseOutTask = QStringLiteral("Close out task");

} // namespace

const QStringList& frequencies()
{
    static const QStringList list = {QStringLiteral("daily"), QStringLiteral("weekly"),
                                     QStringLiteral("monthly"), QStringLiteral("quarterly"),
                                     QStringLiteral("annually")};
    return list;
}

QString reloadQuestion(const QString& refusal)
{
    return refusal + QStringLiteral("\n\nReload the task? The description you typed is kept "
                                    "after the stored one.");
}

std::optional<Refusal> checkBeforeSave(const CheckInput& in, const SystemSettings& settings)
{
    if (!in.isNew) {
        if (in.targetEnabled && !in.meeting && settings.mandTargetDate && !in.targetHasDate)
            return Refusal{
                {QStringLiteral("Please specify a due date"), Field::Target}, true, false};
        if (in.meeting && !in.targetHasDate)
            return Refusal{{QStringLiteral("Please specify a meeting date"), Field::Target},
                           in.targetEnabled,
                           false};
    }
    if (!in.customFormPassed)
        return Refusal{{{}, Field::None}, false, false};
    if (in.titleEnabled && in.title.isEmpty())
        return Refusal{{QStringLiteral("Please specify a Task Name"), Field::Title}, true, true};
    if (in.categoryEnabled && settings.mandCategory && in.category.trimmed().isEmpty())
        return Refusal{{QStringLiteral("Please specify a Folder"), Field::Category}, true, true};
    if (in.priorityEnabled && settings.mandPriority && in.priority.isEmpty())
        return Refusal{{QStringLiteral("Please specify a Priority"), Field::Priority}, true, true};
    return std::nullopt;
}

Enabling enablingFor(const cSCR& task, const Session& session)
{
    const UserRecord& me = session.user.record;
    const QString status = task.SCR_Status().trimmed().toUpper();
    Enabling e;
    e.lifecycleVisible = !task.SCR_Lifecycle_ID().trimmed().isEmpty();
    e.forward = UserRights::mayForward(me, hasStatus(task.SCR_Status(), TaskStatus::Active));
    e.reopen = task.SCR_Permission_Reopen();
    e.customField = UserRights::mayEditCustomField(me);
    e.toSelf = (hasStatus(status, TaskStatus::Active) || hasStatus(status, TaskStatus::Complete)) &&
               !sameText(task.SCR_Owner_User_ID(), session.user.userId);
    e.write = task.SCR_Permission_Write();
    return e;
}

RecipientsFace recipientsFace(const QList<cSelUser>& recipients)
{
    RecipientsFace face;
    face.chosen = !recipients.isEmpty();
    if (!face.chosen) {
        face.saveCaption = QStringLiteral("Save");
        face.closeOutMenu = QStringLiteral("Close Task");
        face.closeOutToolTip = kCloseOutTask;
        face.closeOutToolCaption = kCloseOutTask;
        return face;
    }
    face.saveCaption = QStringLiteral("Send");
    if (recipients.first().OwnerType == OwnerType::Lifecycle) {
        face.closeOutMenu = QStringLiteral("Process  ");
        face.closeOutToolTip = QStringLiteral("Process Lifecycle");
        face.closeOutToolCaption = QStringLiteral("Process Lifecycle");
    } else {
        face.closeOutMenu = QStringLiteral("Close out ");
        face.closeOutToolTip = kCloseOutTask;
        face.closeOutToolCaption = QStringLiteral("Close out");
    }
    return face;
}

bool routesIntoLifecycle(const QList<cSelUser>& recipients)
{
    return recipients.size() == 1 && recipients.first().OwnerType == OwnerType::Lifecycle;
}

std::optional<cSelUser> templateLifecycleRecipient(const cSCR& templ)
{
    const QString lifecycle = templ.SCR_Lifecycle_ID().trimmed();
    if (lifecycle.isEmpty())
        return std::nullopt;
    return cSelUser{lifecycle, templ.SCR_Group_ID(), OwnerType::Lifecycle};
}

QString dateText(const QDate& date)
{
    return date.isValid() ? date.toString(Qt::ISODate) : QString();
}

QDate parseDate(const QString& text)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return {};
    QDate d = QDate::fromString(t, Qt::ISODate);
    if (!d.isValid())
        d = QLocale().toDate(t, QLocale::ShortFormat);
    if (!d.isValid())
        d = QLocale().toDate(t, QLocale::LongFormat);
    return d;
}

QDateTime dateForColumn(const QDate& date, const QDateTime& current)
{
    if (!date.isValid())
        return {};
    if (current.isValid() && current.date() == date)
        return current;
    return QDateTime(date, QTime(0, 0));
}

EstimateCheck checkEstimate(const QString& text, int spinValue, int maximum)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    if (!ok)
        return {spinValue, {}};
    if (value > maximum)
        return {spinValue, QStringLiteral("Must be between 0 and %1").arg(maximum)};
    if (value < 0)
        return {spinValue, QStringLiteral("Hours estimated must be between 0 and %1").arg(maximum)};
    return {value, {}};
}

QString commentFilePath(qlonglong taskNumber)
{
    return QDir(AppPaths::dataDir()).filePath(QStringLiteral("BXComm/%1.bx").arg(taskNumber));
}

void removeCommentFile(qlonglong taskNumber)
{
    const QString path = commentFilePath(taskNumber);
    if (QFileInfo::exists(path))
        QFile::remove(path);
}

QString writeCommentFile(qlonglong taskNumber, const QString& richText)
{
    const QString path = commentFilePath(taskNumber);
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder))
        return QStringLiteral("Could not create the folder ") + folder;
    const QString failure = writeWholeFile(path, richText.toUtf8());
    return failure.isEmpty() ? QString() : failure + QStringLiteral(": ") + path;
}

} // namespace bx::editor
