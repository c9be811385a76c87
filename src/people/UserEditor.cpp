#include "people/UserEditor.h"

#include "core/PasswordCipher.h"
#include "core/Session.h"
#include "core/StoredPassword.h"
#include "core/TextCompare.h"
#include "core/UserRecord.h"
#include "core/UserRights.h"
#include "core/db/Database.h"
#include "core/db/Dialect.h"
#include "core/db/LoginRoles.h"
#include "core/schema/TableClasses.h"
#include "core/schema/UserReferences.h"
#include "people/UserLogins.h"
#include "people/UserStore.h"
#include "people/UserTree.h"

#include <QHash>
#include <QSet>

#include <algorithm>

namespace bx {

namespace {

constexpr qsizetype kMinimumPasswordLength = 6;

/** The rows of a query, owned by the caller (safe to loop over directly). */
QList<QVariantList> rowsOf(Database& db, const QString& sql, const QVariantList& params = {})
{
    return db.query(sql, params).rows();
}

UserFlagControl control(const char* name, const char* caption, const char* column, UserTab tab)
{
    return {QLatin1String(name), QLatin1String(caption), QLatin1String(column), tab};
}

QVariant textOrNull(const QString& text)
{
    const QString t = text.trimmed();
    return t.isEmpty() ? QVariant() : QVariant(t);
}

/** `storedPassword`: the new password's stored form, or empty to keep the row's. */
void writeRow(Database& db, const UserDraft& d, const QString& userId,
              const QString& storedPassword)
{
    QStringList columns{
        QStringLiteral("User_Name"),  QStringLiteral("Rate"), QStringLiteral("Supervisor_User_ID"),
        QStringLiteral("User_Email"), QStringLiteral("Ext7"), QStringLiteral("Notice_Digest")};
    QVariantList values{d.userName.trimmed(),
                        d.rate ? QVariant(*d.rate) : QVariant(),
                        textOrNull(d.supervisor),
                        textOrNull(d.email),
                        false,
                        qMax(0, d.noticeDigest)};
    for (const UserFlagControl& c : userFlagControls()) {
        columns << c.column;
        values << d.flag(c.column);
    }
    if (!storedPassword.isEmpty()) {
        columns << QStringLiteral("User_Password");
        values << storedPassword;
    }

    if (d.isNew()) {
        columns.prepend(QStringLiteral("USER_ID"));
        values.prepend(userId);
        db.execute(QStringLiteral("INSERT INTO LU_USER (") + columns.join(QStringLiteral(", ")) +
                       QStringLiteral(") VALUES (") + Dialect::markers(columns.size()) +
                       QLatin1Char(')'),
                   values);
        return;
    }
    const QString sets = columns.join(QStringLiteral(" = ?, ")) + QStringLiteral(" = ?");
    values << d.originalUserId;
    const QString sql =
        QStringLiteral("UPDATE LU_USER SET ") + sets + QStringLiteral(" WHERE USER_ID = ?");
    if (db.execute(sql, values) == 0)
        throw DbError(DbErrorKind::Other, QStringLiteral("0"),
                      QStringLiteral("there is no user ") + d.originalUserId, sql);
}

void renameReferences(Database& db, const QString& from, const QString& to)
{
    // Table and column names come from the schema's own list; only the IDs are values.
    for (const ColumnRef& ref : kUserReferenceColumns)
        db.execute(QStringLiteral("UPDATE %1 SET %2 = ? WHERE %2 = ?").arg(ref.table, ref.column),
                   {to, from});
}

void replaceFolderAccess(Database& db, const QString& userId, const QStringList& folders)
{
    db.execute(QStringLiteral("DELETE FROM LU_ACCESS_LEVEL WHERE USER_ID = ?"), {userId});
    // The access level must name a category (the relation accepts nothing else), spelled as the
    // category is.
    QHash<QString, QString> categories;
    for (const QVariantList& row : rowsOf(db, QStringLiteral("SELECT Category FROM LU_CATEGORY")))
        categories.insert(row.first().toString().toCaseFolded(), row.first().toString());
    QSet<QString> done;
    for (const QString& folder : folders) {
        const QString k = folder.toCaseFolded();
        if (!categories.contains(k) || done.contains(k))
            continue;
        done.insert(k);
        db.execute(QStringLiteral("INSERT INTO LU_ACCESS_LEVEL (USER_ID, ACCESS_LEVEL, "
                                  "ACCESS_TYPE) VALUES (?, ?, ?)"),
                   {userId, categories.value(k), QStringLiteral("VIEW")});
    }
}

} // namespace

const QList<UserFlagControl>& userFlagControls()
{
    using T = UserTab;
    static const QList<UserFlagControl> controls = {
        control("chkAdmin", "Brindlepax Administrator", "Ext12", T::Permissions),
        control("C_FULL_ACCESS", "View tasks owned by other team members", "Full_Access",
                T::Permissions),
        control("Check6", "Allow Join Workshops", "Join_Team", T::Permissions),
        control("Check5", "Allow to Change Task Ownership", "Edit_Unowned", T::Permissions),
        control("Check2", "Allow Freeform Routing", "Allow_Forwarding", T::Permissions),
        control("Check13", "Edit Custom Field", "Allow_Edit_Custom", T::Permissions),
        control("Check15", "Allow to Edit Custom Tab", "Edit_Custom_Tab", T::Permissions),
        control("Check18", "Edit Task Close Date", "Allow_Edit_CloseDate", T::Permissions),
        control("Check12", "Allow to Create Lifecycles", "Allow_Create_Lifecycle", T::Permissions),
        control("Check21", "Reports and Report Designer", "Ext10", T::Permissions),
        control("Check22", "Business Intelligence", "Ext11", T::Permissions),
        control("Check23", "Allow Global Reports", "Ext13", T::Permissions),
        control("Check19", "Allow to edit tasks over WEB", "Ext8", T::Permissions),
        control("Check1", "Review Account", "User_Review_Account", T::Permissions),
        control("Check3", "Edit contact database", "Edit_Contact_Info", T::Permissions),
        control("Check4", "Delete contact database", "Delete_Contact_Info", T::Permissions),
        control("Check20", "Disable user", "Disabled", T::General),
        control("Check7", "Turn OFF email notification", "Ext1", T::Notification),
        control("Check8", "Notify me when I'm assigned a new task", "Ext5", T::Notification),
        control("Check9", "Notify me when ownership changes", "Ext4", T::Notification),
        control("Check10", "Notify me when target dates are changed", "Ext3", T::Notification),
        control("Check11", "Notify me when my requests are closed", "Ext2", T::Notification),
        control("Check14", "Notify me when team members receive tasks", "Parent_User_Notify",
                T::Notification),
        control("Check16", "Notify me when Custom Fields are changed", "Ext6", T::Notification),
    };
    return controls;
}

const QList<NoticeDigestChoice>& noticeDigestChoices()
{
    static const QList<NoticeDigestChoice> choices = {
        {0, QStringLiteral("Off")},
        {15, QStringLiteral("15 minutes")},
        {60, QStringLiteral("1 hour")},
    };
    return choices;
}

std::optional<UserRefusal> checkUserDraft(const UserDraft& draft)
{
    const QString id = draft.userId.trimmed();
    if (id.isEmpty())
        return UserRefusal{QStringLiteral("Please Specify User ID"), UserField::UserId};
    if (id.compare(QLatin1String("supervisor"), Qt::CaseInsensitive) == 0)
        return UserRefusal{
            QStringLiteral("'Supervisor' is reserved User ID, please choose another one"),
            UserField::UserId};
    if (draft.userName.trimmed().isEmpty())
        return UserRefusal{QStringLiteral("Please Specify User's Name"), UserField::UserName};
    if (draft.password || draft.isNew()) {
        const QString pw = draft.password.value_or(QString()).trimmed();
        if (pw.isEmpty())
            return UserRefusal{QStringLiteral("Please Specify User's Password"),
                               UserField::Password};
        if (pw.size() < kMinimumPasswordLength)
            return UserRefusal{QStringLiteral("Password must be at least 6 charactered long"),
                               UserField::Password};
    }
    return std::nullopt;
}

std::optional<UserDraft> loadUserDraft(Database& db, const QString& userId)
{
    // The columns by name: on the server no user's login may read User_Password.
    QStringList columns{QStringLiteral("USER_ID"),
                        QStringLiteral("User_Name"),
                        QStringLiteral("Rate"),
                        QStringLiteral("User_Email"),
                        QStringLiteral("Supervisor_User_ID"),
                        QStringLiteral("Notice_Digest")};
    for (const UserFlagControl& c : userFlagControls())
        columns << c.column;
    const RecordSet rs = db.query(QStringLiteral("SELECT ") + columns.join(QStringLiteral(", ")) +
                                      QStringLiteral(" FROM LU_USER WHERE USER_ID = ?"),
                                  {userId.trimmed()});
    if (rs.eof())
        return std::nullopt;
    UserDraft d;
    d.originalUserId = rs.text(QStringLiteral("USER_ID"));
    d.userId = d.originalUserId;
    d.userName = rs.text(QStringLiteral("User_Name"));
    if (!rs.isNull(QStringLiteral("Rate")))
        d.rate = rs.real(QStringLiteral("Rate"));
    d.email = rs.text(QStringLiteral("User_Email"));
    d.supervisor = rs.text(QStringLiteral("Supervisor_User_ID"));
    for (const UserFlagControl& c : userFlagControls())
        d.flags.insert(c.column, rs.flag(c.column));
    d.noticeDigest = int(rs.number(QStringLiteral("Notice_Digest")));

    for (const QVariantList& row :
         rowsOf(db, QStringLiteral("SELECT GROUP_ID FROM GROUPLINK WHERE USER_ID = ?"),
                {d.originalUserId}))
        d.workshops << row.first().toLongLong();
    for (const QVariantList& row :
         rowsOf(db, QStringLiteral("SELECT ACCESS_LEVEL FROM LU_ACCESS_LEVEL WHERE USER_ID = ?"),
                {d.originalUserId}))
        d.folders << row.first().toString();
    return d;
}

std::optional<UserRefusal> saveUser(Session& session, const UserDraft& draft)
{
    if (auto refusal = UserRights::refuseUnlessAdministrator(session.user.record, UserField::None))
        return refusal;
    if (auto refusal = checkUserDraft(draft))
        return refusal;

    Database& db = session.db();
    const QString userId = draft.userId.trimmed();
    const bool renamed = !draft.isNew() && userId != draft.originalUserId;
    if (draft.isNew() || renamed) {
        const auto existing = findUserId(db, userId);
        if (existing && (draft.isNew() || !sameText(*existing, draft.originalUserId)))
            return UserRefusal{QStringLiteral("User ID already exists, Please specify another ID."),
                               UserField::UserId};
    }

    // Hashing takes a noticeable moment; it is done before the write lock is taken.
    const QString storedPassword =
        draft.password ? StoredPassword::forStorage(*draft.password) : QString();

    Transaction tx(db);
    const bool disabled = draft.flag(QStringLiteral("Disabled"));
    if (disabled && !draft.isNew())
        db.execute(QStringLiteral("DELETE FROM GROUPLINK WHERE USER_ID = ?"),
                   {draft.originalUserId});

    if (LoginRoles* roles = UserLogins::managed(db)) {
        const QString database = session.connection.sqlDatabaseName;
        if (renamed)
            UserLogins::rename(*roles, database, draft.originalUserId, userId);
        QStringList rights;
        for (const WriterRight right : grantedRights()) {
            if (draft.flag(writerRightColumn(right)))
                rights << writerRoleSuffix(right);
        }
        UserLogins::save(*roles, database, userId, draft.password,
                         draft.flag(QStringLiteral("Ext12")), rights);
        UserLogins::setEnabled(*roles, database, userId, !disabled);
    }

    writeRow(db, draft, userId, storedPassword);
    if (renamed)
        renameReferences(db, draft.originalUserId, userId);

    if (draft.isNew() && !disabled) {
        QSet<qlonglong> done;
        for (qlonglong group : draft.workshops) {
            if (done.contains(group))
                continue;
            done.insert(group);
            db.execute(QStringLiteral("INSERT INTO GROUPLINK (GROUP_ID, USER_ID) VALUES (?, ?)"),
                       {group, userId});
        }
    }
    replaceFolderAccess(db, userId, draft.folders);
    tx.commit();

    LoggedOnUser& me = session.user;
    if (!draft.isNew() && sameText(me.userId, draft.originalUserId)) {
        me.userId = userId;
        if (draft.password) {
            me.password = *draft.password;
            me.sqlPassword = PasswordCipher::loginPassword(*draft.password);
        }
        if (auto record = loadUser(db, userId))
            me.record = *record;
    }
    return std::nullopt;
}

QString FolderEntry::text() const
{
    return QString(4 * level, QLatin1Char(' ')) +
           (category.isEmpty() ? QStringLiteral("Unspecified Folder") : category) +
           (noAccess ? QStringLiteral(" *") : QString());
}

QList<FolderEntry> folderEntries(Database& db, const UserRecord& editor)
{
    struct Category
    {
        QString name;
        QString parent;
    };
    QList<Category> all;
    for (const QVariantList& row :
         rowsOf(db, QStringLiteral("SELECT Category, Parent_Category FROM LU_CATEGORY")))
        all.append({row.at(0).toString(), row.at(1).isNull() ? QString() : row.at(1).toString()});
    std::sort(all.begin(), all.end(), [](const Category& a, const Category& b) {
        return a.name.compare(b.name, Qt::CaseInsensitive) < 0;
    });

    QSet<QString> visible;
    const bool seesAll = UserRecord::isBuiltInAdmin(editor.userId);
    if (!seesAll)
        for (const QVariantList& row : rowsOf(
                 db, QStringLiteral("SELECT ACCESS_LEVEL FROM LU_ACCESS_LEVEL WHERE USER_ID = ?"),
                 {editor.userId.trimmed()}))
            visible.insert(row.first().toString().toCaseFolded());

    QHash<QString, int> index;
    for (int i = 0; i < all.size(); ++i)
        index.insert(all[i].name.toCaseFolded(), i);
    QList<QList<int>> children(all.size());
    QList<int> roots;
    for (int i = 0; i < all.size(); ++i) {
        const int parent = index.value(all[i].parent.toCaseFolded(), -1);
        if (parent < 0 || parent == i)
            roots.append(i);
        else
            children[parent].append(i);
    }

    QList<FolderEntry> out{{QString(), 0, false}};
    QSet<int> placed;
    const auto add = [&](auto&& self, int i, int level) -> void {
        placed.insert(i);
        out.append({all[i].name, level, !seesAll && !visible.contains(all[i].name.toCaseFolded())});
        for (int c : children[i])
            if (!placed.contains(c))
                self(self, c, level + 1);
    };
    for (int r : roots)
        add(add, r, 0);
    for (int i = 0; i < all.size(); ++i)
        if (!placed.contains(i))
            add(add, i, 0);
    return out;
}

int folderLevel(const QString& text)
{
    qsizetype blanks = 0;
    while (blanks < text.size() && text.at(blanks) == QLatin1Char(' '))
        ++blanks;
    return static_cast<int>(blanks / 4);
}

QList<int> subfolderRows(const QList<int>& levels, int row)
{
    QList<int> out;
    if (row < 0 || row >= levels.size())
        return out;
    for (int i = row + 1; i < levels.size() && levels[i] > levels[row]; ++i)
        out << i;
    return out;
}

QList<WorkshopChoice> workshopChoices(Database& db)
{
    QList<WorkshopChoice> out;
    for (const QVariantList& row :
         rowsOf(db, QStringLiteral("SELECT GROUP_ID, GROUP_NAME FROM LU_GROUP")))
        out.append({row.at(0).toLongLong(), row.at(1).toString()});
    std::sort(out.begin(), out.end(), [](const WorkshopChoice& a, const WorkshopChoice& b) {
        return a.name.compare(b.name, Qt::CaseInsensitive) < 0;
    });
    return out;
}

} // namespace bx
