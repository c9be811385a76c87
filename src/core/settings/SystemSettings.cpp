#include "core/settings/SystemSettings.h"

#include "core/UserRights.h"
#include "core/db/Database.h"
#include "core/db/Dialect.h"
#include "core/settings/MailPlainLogin.h"
#include "core/settings/PersonalMailSettings.h"
#include "core/settings/SettingsKeys.h"
#include "core/settings/SettingsStore.h"

#include <QRegularExpression>
#include <QtDebug>

namespace bx {

namespace {

const QString kSelectSystem = QStringLiteral("SELECT * FROM SYSTEM");

QStringList folderList(const QString& stored, const QString& programDir)
{
    QStringList out;
    for (QString part : stored.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        part = part.trimmed();
        while (part.size() > 1 &&
               (part.endsWith(QLatin1Char('\\')) || part.endsWith(QLatin1Char('/'))))
            part.chop(1);
        if (!part.isEmpty())
            out << part;
    }
    // The settings window stores one blank; that, like Null, means the delivered folder.
    if (out.isEmpty())
        out << programDir + QStringLiteral("/QV Reports");
    return out;
}

/** The columns of the SYSTEM row the settings window writes, in the order of systemValues. */
QStringList systemColumns()
{
    return {QStringLiteral("MAX_STORAGE"),      QStringLiteral("Chunk_Size"),
            QStringLiteral("Query_Wait"),       QStringLiteral("Label_Custom"),
            QStringLiteral("SMTPServer"),       QStringLiteral("POPServer"),
            QStringLiteral("SMTPUser"),         QStringLiteral("SMTPPwd"),
            QStringLiteral("VoIPServerIP"),     QStringLiteral("Edit_Attachments"),
            QStringLiteral("GetParentParams"),  QStringLiteral("NoLogon"),
            QStringLiteral("ShowApproverName"), QStringLiteral("Show_Custom"),
            QStringLiteral("SMTPAuth"),         QStringLiteral("SMTPLeave"),
            QStringLiteral("Mand_Target_Date"), QStringLiteral("Mand_Category"),
            QStringLiteral("Mand_Priority"),    QStringLiteral("Mand_Contact"),
            QStringLiteral("Reports_Folder")};
}

/** The values of the boxes as the SYSTEM row stores them. */
QVariantList systemValues(const SystemSettingsInput& input, const Dialect& d)
{
    auto textOrNull = [](const QString& s) {
        const QString t = s.trimmed();
        return t.isEmpty() ? QVariant() : QVariant(t);
    };
    // Number boxes hold the number they start with; an empty box stores Null.
    auto numberOrNull = [](const QString& s) {
        return s.trimmed().isEmpty() ? QVariant() : QVariant(qlonglong(leadingNumber(s)));
    };
    // An empty label is stored as one blank so that it reads back as "no label", not as Null.
    const QString label =
        input.labelCustom.trimmed().isEmpty() ? QStringLiteral(" ") : input.labelCustom.trimmed();
    return {numberOrNull(input.maxStorage),
            numberOrNull(input.chunkSize),
            numberOrNull(input.queryWait),
            label,
            textOrNull(input.smtpServer),
            textOrNull(input.popServer),
            textOrNull(input.smtpUser),
            textOrNull(input.smtpPwd),
            textOrNull(input.voipServerIp),
            d.flag(input.editAttachments),
            d.flag(input.getParentParams),
            d.flag(input.noLogon),
            d.flag(input.showApproverName),
            d.flag(input.showCustom),
            d.flag(input.smtpAuth),
            d.flag(input.smtpLeave),
            d.flag(input.mandTargetDate),
            d.flag(input.mandCategory),
            d.flag(input.mandPriority),
            d.flag(input.mandContact),
            QStringLiteral(" ")};
}

/** Drops the permissions to log on in clear given for servers the input no longer names. */
void forgetRenamedServers(Database& db, const UserRecord& editor, const RecordSet& before,
                          const SystemSettingsInput& input)
{
    using MailPlainLogin::Service;
    const auto forgetRenamed = [&](Service service, const char* column, const QString& now) {
        const QString old = before.text(QLatin1String(column));
        if (MailPlainLogin::varName(service, old) != MailPlainLogin::varName(service, now))
            (void)MailPlainLogin::setAllowed(db, editor, service, old, false);
    };
    forgetRenamed(Service::Smtp, "SMTPServer", input.smtpServer);
    forgetRenamed(Service::Pop3, "POPServer", input.popServer);
}

/** Updates the SYSTEM row, or inserts it into a database that has none. */
void writeSystemRow(Database& db, bool hasRow, const QVariantList& values)
{
    const QStringList columns = systemColumns();
    if (hasRow) {
        QStringList sets;
        for (const QString& c : columns)
            sets << c + QStringLiteral(" = ?");
        db.execute(QStringLiteral("UPDATE SYSTEM SET ") + sets.join(QStringLiteral(", ")), values);
    } else {
        db.execute(QStringLiteral("INSERT INTO SYSTEM (") + columns.join(QStringLiteral(", ")) +
                       QStringLiteral(") VALUES (") + Dialect::markers(columns.size()) +
                       QLatin1Char(')'),
                   values);
    }
}

} // namespace

double leadingNumber(const QString& text)
{
    static const QRegularExpression number(
        QStringLiteral("^\\s*([-+]?\\d*\\.?\\d+(?:[eE][-+]?\\d+)?)"));
    const auto m = number.match(text);
    return m.hasMatch() ? m.captured(1).toDouble() : 0.0;
}

bool SystemSettings::reload(Database& db, const SettingsStore& settings, const QString& programDir)
{
    RecordSet rs;
    try {
        rs = db.query(kSelectSystem);
    } catch (const DbError& e) {
        qWarning().noquote() << "System settings not loaded:" << e.text();
        return false;
    }
    if (rs.isEmpty()) {
        qWarning("System settings not loaded: table SYSTEM has no row");
        return false;
    }

    // Each column is read only when the row has it, so that an older database keeps the
    // values it cannot supply.
    auto has = [&](const char* column) { return rs.hasColumn(QLatin1String(column)); };
    auto flag = [&](const char* column, bool& target) {
        if (has(column))
            target = rs.flag(QLatin1String(column));
    };
    auto text = [&](const char* column, QString& target) {
        if (has(column))
            target = rs.text(QLatin1String(column));
    };
    if (has("Chunk_Size"))
        chunkSize = std::max<int>(1000, int(rs.number(QStringLiteral("Chunk_Size"))));
    if (has("Query_Wait"))
        queryWait = rs.isNull(QStringLiteral("Query_Wait"))
                        ? 10
                        : int(rs.number(QStringLiteral("Query_Wait")));
    flag("Edit_Attachments", editAttachments);
    flag("GetParentParams", getParentParams);
    flag("NoLogon", noLogon);
    flag("ShowApproverName", showApproverName);
    flag("Show_Custom", showCustom);
    text("Label_Custom", labelCustom);
    if (has("Reports_Folder"))
        reportsFolders = folderList(rs.text(QStringLiteral("Reports_Folder")), programDir);
    else if (reportsFolders.isEmpty())
        reportsFolders = folderList({}, programDir);
    text("SMTPServer", smtpServer);
    text("POPServer", popServer);
    flag("SMTPAuth", smtpAuth);
    flag("SMTPLeave", smtpLeave);
    text("SMTPUser", smtpUser);
    text("SMTPPwd", smtpPwd);
    text("VoIPServerIP", voipServerIp);
    flag("Mand_Target_Date", mandTargetDate);
    flag("Mand_Category", mandCategory);
    flag("Mand_Priority", mandPriority);
    flag("Mand_Contact", mandContact);

    const PersonalMailSettings personal = PersonalMailSettings::load(settings);
    personalMail = personal.own;
    if (personalMail) {
        smtpServer = personal.smtpServer;
        popServer = personal.popServer;
        smtpAuth = personal.smtpAuth;
        smtpLeave = personal.smtpLeave;
        smtpUser = personal.user;
        smtpPwd = personal.password;
    }
    return true;
}

QVariant readSystemValue(Database& db, const QString& column)
{
    const RecordSet rs = db.query(kSelectSystem);
    const QVariant v = rs.value(column);
    return v.isNull() ? QVariant(QString()) : v;
}

SystemSettingsEditor::SystemSettingsEditor(Database& db, SettingsStore& settings, UserRecord editor,
                                           QString server, QString sqlDatabaseName)
    : m_db(db)
    , m_settings(settings)
    , m_editor(std::move(editor))
    , m_server(std::move(server))
    , m_sqlDatabaseName(std::move(sqlDatabaseName))
{
}

SystemSettingsInput SystemSettingsEditor::load()
{
    SystemSettingsInput in;
    if (isServer()) {
        const QString section = SettingsKeys::serverSection(m_server, m_sqlDatabaseName);
        in.sharedLogin = m_settings.get(section, SettingsKeys::kUnsecureLogin);
        in.sharedPassword = m_settings.get(section, SettingsKeys::kUnsecurePwd);
    }
    const RecordSet rs = m_db.query(kSelectSystem);
    auto t = [&](const char* c) { return rs.text(QLatin1String(c)); };
    auto f = [&](const char* c) { return rs.flag(QLatin1String(c)); };
    in.maxStorage = t("MAX_STORAGE");
    in.chunkSize = t("Chunk_Size");
    in.queryWait = t("Query_Wait");
    in.labelCustom = t("Label_Custom");
    in.smtpServer = t("SMTPServer");
    in.popServer = t("POPServer");
    in.smtpUser = t("SMTPUser");
    in.smtpPwd = t("SMTPPwd");
    in.voipServerIp = t("VoIPServerIP");
    in.editAttachments = f("Edit_Attachments");
    in.getParentParams = f("GetParentParams");
    in.noLogon = isServer() ? false : f("NoLogon");
    in.showApproverName = f("ShowApproverName");
    in.showCustom = f("Show_Custom");
    in.smtpAuth = f("SMTPAuth");
    in.smtpLeave = f("SMTPLeave");
    in.smtpPlainLogin = MailPlainLogin::allowed(m_db, MailPlainLogin::Service::Smtp, in.smtpServer);
    in.popPlainLogin = MailPlainLogin::allowed(m_db, MailPlainLogin::Service::Pop3, in.popServer);
    in.mandTargetDate = f("Mand_Target_Date");
    in.mandCategory = f("Mand_Category");
    in.mandPriority = f("Mand_Priority");
    in.mandContact = f("Mand_Contact");
    return in;
}

std::optional<SystemSettingsRefusal> SystemSettingsEditor::check(const SystemSettingsInput& input)
{
    const double chunk = leadingNumber(input.chunkSize);
    if (chunk < 2000 || chunk > 32000)
        return SystemSettingsRefusal{
            QStringLiteral("Allocated memory must be between 2,000 and 32,000"),
            SystemSettingsRefusal::Field::ChunkSize};
    if (input.queryWait.trimmed().isEmpty())
        return SystemSettingsRefusal{QStringLiteral("Please define query timeout"),
                                     SystemSettingsRefusal::Field::QueryWait};
    return std::nullopt;
}

std::optional<SystemSettingsRefusal> SystemSettingsEditor::save(SystemSettingsInput input)
{
    if (auto refusal = UserRights::refuseUnlessAdministrator(m_editor, SystemSettingsField::None))
        return refusal;
    if (auto refusal = check(input))
        return refusal;

    if (isServer()) {
        const QString section = SettingsKeys::serverSection(m_server, m_sqlDatabaseName);
        m_settings.set(section, SettingsKeys::kUnsecureLogin, input.sharedLogin);
        m_settings.set(section, SettingsKeys::kUnsecurePwd, input.sharedPassword);
        input.noLogon = false; // the desktop-name logon exists for the embedded engine only
    }

    const QVariantList values = systemValues(input, m_db.dialect());

    Transaction tx(m_db);
    // The servers named so far: a permission to log on in clear goes with the name it was given
    // for, and nothing else would show it any more.
    const RecordSet before = m_db.query(QStringLiteral("SELECT SMTPServer, POPServer FROM SYSTEM"));
    forgetRenamedServers(m_db, m_editor, before, input);
    writeSystemRow(m_db, !before.isEmpty(), values);
    // The editor is an administrator: these cannot refuse.
    (void)MailPlainLogin::setAllowed(m_db, m_editor, MailPlainLogin::Service::Smtp,
                                     input.smtpServer, input.smtpPlainLogin);
    (void)MailPlainLogin::setAllowed(m_db, m_editor, MailPlainLogin::Service::Pop3, input.popServer,
                                     input.popPlainLogin);
    tx.commit();
    return std::nullopt;
}

} // namespace bx
