#include "contacts/Contacts.h"

#include "core/Gmt.h"
#include "core/Prompt.h"
#include "core/UserRights.h"
#include "core/db/Database.h"
#include "core/db/Dialect.h"
#include "core/schema/TaskColumns.h"

#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <vector>

namespace bx::contacts {

namespace {

struct Column
{
    const char* name;
    QString Contact::*member;
};

// The names lead: a save checks them before the rest.
const Column kColumns[] = {
    {"Last_Name", &Contact::lastName},
    {"First_Name", &Contact::firstName},
    {"MI", &Contact::mi},
    {"Title", &Contact::title},
    {"Company_Name", &Contact::company},
    {"Address", &Contact::address},
    {"City", &Contact::city},
    {"State", &Contact::state},
    {"Zip", &Contact::zip},
    {"Phone_Home", &Contact::phoneHome},
    {"Phone_Work", &Contact::phoneWork},
    {"Phone_Cell", &Contact::phoneCell},
    {"FAX", &Contact::fax},
    {"Email", &Contact::email},
    {"Notes", &Contact::notes},
};

QStringList columnNames()
{
    QStringList names;
    for (const Column& c : kColumns)
        names << QString::fromLatin1(c.name);
    return names;
}

/** A stored text as the card shows it: the single blank that stands for nothing reads as "". */
QString shown(const QString& stored)
{
    return stored.trimmed().isEmpty() ? QString() : stored;
}

Contact contactOf(const RecordSet& rs)
{
    Contact c;
    c.key = rs.number(QStringLiteral("CONTACT_KEY"));
    for (const Column& column : kColumns)
        c.*column.member = shown(rs.text(QString::fromLatin1(column.name)));
    return c;
}

QString selectAll()
{
    return QStringLiteral("SELECT CONTACT_KEY, ") + columnNames().join(QStringLiteral(", ")) +
           QStringLiteral(" FROM CONTACT");
}

QString joined(const QString& a, const QString& separator, const QString& b)
{
    if (a.isEmpty())
        return b;
    return b.isEmpty() ? a : a + separator + b;
}

QString listName(const RecordSet& rs)
{
    return joined(rs.text(QStringLiteral("Last_Name")).trimmed(), QStringLiteral(" "),
                  rs.text(QStringLiteral("First_Name")).trimmed());
}

} // namespace

std::optional<Contact> load(Database& db, qlonglong key)
{
    const RecordSet rs = db.query(selectAll() + QStringLiteral(" WHERE CONTACT_KEY = ?"), {key});
    if (rs.isEmpty())
        return std::nullopt;
    return contactOf(rs);
}

std::optional<ContactRefusal> checkNames(const Contact& contact)
{
    if (contact.lastName.trimmed().isEmpty())
        return ContactRefusal{QStringLiteral("Last Name must be specified"),
                              ContactField::LastName};
    if (contact.firstName.trimmed().isEmpty())
        return ContactRefusal{QStringLiteral("First Name must be specified"),
                              ContactField::FirstName};
    return std::nullopt;
}

namespace {

/** The stored values in column order: an empty text is stored as one blank, never as "". */
QVariantList storedValues(const Contact& contact)
{
    QVariantList values;
    for (const Column& column : kColumns) {
        const QString text = contact.*column.member;
        values << (text.isEmpty() ? QStringLiteral(" ") : text);
    }
    return values;
}

qlonglong insert(Database& db, const Contact& contact)
{
    return db.insertNumbered(QStringLiteral("CONTACT"), QStringLiteral("CONTACT_KEY"),
                             columnNames(), storedValues(contact));
}

/** Adds `glue` and "`column` begins with `typed`" to the statement when anything was typed. */
void narrowToBeginning(const Dialect& dialect, QString& sql, QVariantList& params,
                       const QString& glue, const QString& column, const QString& typed)
{
    if (typed.isEmpty())
        return;
    const LikeClause begins = dialect.beginsWith(column, typed);
    sql += glue + begins.sql;
    params << begins.pattern;
}

} // namespace

Outcome<qlonglong, ContactField> save(Database& db, const UserRecord& user, const Contact& contact)
{
    if (auto refused = UserRights::refuseUnlessContactEditor(user, ContactField::None))
        return *refused;
    if (auto refused = checkNames(contact))
        return *refused;
    if (contact.key == 0)
        return insert(db, contact);
    QVariantList values = storedValues(contact);
    QStringList sets;
    for (const QString& name : columnNames())
        sets << name + QStringLiteral(" = ?");
    values << contact.key;
    db.execute(QStringLiteral("UPDATE CONTACT SET ") + sets.join(QStringLiteral(", ")) +
                   QStringLiteral(" WHERE CONTACT_KEY = ?"),
               values);
    return contact.key;
}

Outcome<int> addAll(Database& db, const UserRecord& user, const QList<Contact>& contacts)
{
    if (auto refused = UserRights::refuseUnlessContactEditor(user))
        return *refused;
    Transaction tx(db);
    for (const Contact& contact : contacts)
        insert(db, contact);
    tx.commit();
    return static_cast<int>(contacts.size());
}

QList<Contact> all(Database& db)
{
    RecordSet rs = db.query(selectAll() + QStringLiteral(" ORDER BY Last_Name, First_Name, "
                                                         "CONTACT_KEY"));
    QList<Contact> out;
    out.reserve(rs.rowCount());
    for (; !rs.eof(); rs.moveNext())
        out.append(contactOf(rs));
    return out;
}

Outcome<Done> remove(Database& db, const UserRecord& user, Prompt& prompt, qlonglong key)
{
    if (auto refused = UserRights::refuseUnlessContactDeleter(user))
        return *refused;
    if (prompt.ask(QStringLiteral("Delete the contact from Brindlepax?")) != PromptAnswer::Yes)
        return Outcome<Done>::declined();
    Transaction tx(db);
    if (db.query(QStringLiteral("SELECT CONTACT_KEY FROM CONTACT WHERE CONTACT_KEY = ?"), {key})
            .isEmpty())
        return RefusalOf<>{QStringLiteral("Unable to locate contact record")};
    // Key 1 in a task marks a task kept for a contact, whichever contact has that key.
    if (key > kTaskOfContactMarker)
        db.execute(QStringLiteral("UPDATE SCR SET %1 = NULL WHERE %1 = ?").arg(scr::ContactKey),
                   {key});
    db.execute(QStringLiteral("DELETE FROM CALL_LOG WHERE Contact_Key = ?"), {key});
    db.execute(QStringLiteral("DELETE FROM ATTACH WHERE Attach_Type = ? AND "
                              "TRIM(Attach_Filename) = ?"),
               {QStringLiteral("C"), QString::number(key)});
    db.execute(QStringLiteral("DELETE FROM CONTACT WHERE CONTACT_KEY = ?"), {key});
    tx.commit();
    return Done{};
}

QList<ListedContact> search(Database& db, const QString& prefix)
{
    QString sql = QStringLiteral("SELECT CONTACT_KEY, Last_Name, First_Name, Company_Name FROM "
                                 "CONTACT");
    QVariantList params;
    narrowToBeginning(db.dialect(), sql, params, QStringLiteral(" WHERE "),
                      QStringLiteral("Last_Name"), prefix);
    // Sorted here rather than by the statement: the server compares its case-insensitive text
    // slowly (a prefix of 10,000 contacts sorted for longer than it took to find them), and
    // both engines now order alike.
    RecordSet rs = db.query(sql, params);
    struct Sorted
    {
        QString last;
        QString first;
        ListedContact row;
    };
    std::vector<Sorted> sorted;
    sorted.reserve(size_t(rs.rowCount()));
    for (; !rs.eof(); rs.moveNext())
        sorted.push_back({rs.text(QStringLiteral("Last_Name")).trimmed(),
                          rs.text(QStringLiteral("First_Name")).trimmed(),
                          {rs.number(QStringLiteral("CONTACT_KEY")), listName(rs),
                           rs.text(QStringLiteral("Company_Name")).trimmed()}});
    std::sort(sorted.begin(), sorted.end(), [](const Sorted& a, const Sorted& b) {
        if (const int c = a.last.compare(b.last, Qt::CaseInsensitive))
            return c < 0;
        if (const int c = a.first.compare(b.first, Qt::CaseInsensitive))
            return c < 0;
        return a.row.key < b.row.key;
    });
    QList<ListedContact> out;
    out.reserve(qsizetype(sorted.size()));
    for (Sorted& s : sorted)
        out.append(std::move(s.row));
    return out;
}

QStringList companies(Database& db, const QString& typed)
{
    QString sql = QStringLiteral("SELECT DISTINCT Company_Name FROM CONTACT WHERE Company_Name IS "
                                 "NOT NULL AND TRIM(Company_Name) <> ''");
    QVariantList params;
    narrowToBeginning(db.dialect(), sql, params, QStringLiteral(" AND "),
                      QStringLiteral("Company_Name"), typed);
    RecordSet rs = db.query(sql + QStringLiteral(" ORDER BY Company_Name"), params);
    QStringList out;
    for (; !rs.eof(); rs.moveNext())
        out << rs.text(QStringLiteral("Company_Name"));
    return out;
}

std::optional<Contact> firstOfCompany(Database& db, const QString& company)
{
    const RecordSet rs = db.query(
        selectAll() + QStringLiteral(" WHERE Company_Name = ? ORDER BY CONTACT_KEY"), {company});
    if (rs.isEmpty())
        return std::nullopt;
    return contactOf(rs);
}

QString cardText(Database& db, qlonglong key)
{
    const std::optional<Contact> c = load(db, key);
    if (!c)
        return {};
    const auto phone = [](const char* label, const QString& number) {
        return number.isEmpty() ? QString() : QString::fromLatin1(label) + number;
    };
    const QStringList lines = {
        joined(c->lastName, QStringLiteral(", "), c->firstName),
        c->title,
        c->company,
        c->address,
        joined(joined(c->city, QStringLiteral(", "), c->state), QStringLiteral(" "), c->zip),
        phone("Home:", c->phoneHome),
        phone("Work:", c->phoneWork),
        phone("FAX:", c->fax),
        c->email,
    };
    QStringList kept;
    for (const QString& line : lines)
        if (!line.isEmpty())
            kept << line;
    return kept.join(QStringLiteral("\r\n"));
}

QHash<qlonglong, QString> listNames(Database& db, const QList<qlonglong>& keys)
{
    QSet<qlonglong> wanted;
    qlonglong low = 0;
    qlonglong high = 0;
    for (qlonglong key : keys) {
        if (key <= kTaskOfContactMarker)
            continue;
        low = wanted.isEmpty() ? key : qMin(low, key);
        high = wanted.isEmpty() ? key : qMax(high, key);
        wanted.insert(key);
    }
    QHash<qlonglong, QString> out;
    if (wanted.isEmpty())
        return out;
    // A long list of keys is read as the range it spans, not bound one by one: the engines cap
    // the values a statement binds (the embedded one at 32,766).
    QString where = QStringLiteral("CONTACT_KEY BETWEEN ? AND ?");
    QVariantList params{low, high};
    if (wanted.size() <= kKeysBoundOneByOne) {
        params.clear();
        for (qlonglong key : std::as_const(wanted))
            params << key;
        where =
            QStringLiteral("CONTACT_KEY IN (") + Dialect::markers(params.size()) + QLatin1Char(')');
    }
    RecordSet rs = db.query(
        QStringLiteral("SELECT CONTACT_KEY, Last_Name, First_Name FROM CONTACT WHERE ") + where,
        params);
    for (; !rs.eof(); rs.moveNext()) {
        const qlonglong key = rs.number(QStringLiteral("CONTACT_KEY"));
        if (wanted.contains(key))
            out.insert(key, joined(shown(rs.text(QStringLiteral("Last_Name"))).trimmed(),
                                   QStringLiteral(", "),
                                   shown(rs.text(QStringLiteral("First_Name"))).trimmed()));
    }
    return out;
}

// --- Calls --------------------------------------------------------------------------------------

QString callSummary(const QString& content)
{
    static const QRegularExpression lineEnd(QStringLiteral("[\r\n]"));
    const qsizetype end = content.indexOf(lineEnd);
    return (end < 0 ? content : content.left(end)).left(50);
}

QList<ListedCall> calls(Database& db, const Clock& clock, qlonglong contactKey)
{
    const GmtConverter gmt(clock);
    RecordSet rs = db.query(QStringLiteral("SELECT CALL_ID, Date, Content FROM CALL_LOG WHERE "
                                           "Contact_Key = ? ORDER BY Date DESC, CALL_ID DESC"),
                            {contactKey});
    QList<ListedCall> out;
    for (; !rs.eof(); rs.moveNext())
        out.append({rs.number(QStringLiteral("CALL_ID")),
                    gmt.toLocal(rs.dateTime(QStringLiteral("Date"))),
                    callSummary(rs.text(QStringLiteral("Content")))});
    return out;
}

std::optional<Call> loadCall(Database& db, const Clock& clock, qlonglong id)
{
    const RecordSet rs =
        db.query(QStringLiteral(
                     "SELECT CALL_ID, Contact_Key, Date, Content FROM CALL_LOG WHERE CALL_ID = ?"),
                 {id});
    if (rs.isEmpty())
        return std::nullopt;
    return Call{id, rs.number(QStringLiteral("Contact_Key")),
                GmtConverter(clock).toLocal(rs.dateTime(QStringLiteral("Date"))),
                rs.text(QStringLiteral("Content"))};
}

Outcome<qlonglong, ContactField> saveCall(Database& db, const Clock& clock, const Call& call)
{
    if (call.content.trimmed().isEmpty())
        return ContactRefusal{QStringLiteral("Please define a Content."), ContactField::Content};
    const QVariantList values = {call.contactKey, GmtConverter(clock).toGmt(call.date),
                                 call.content};
    if (call.id == 0)
        return db.insertNumbered(
            QStringLiteral("CALL_LOG"), QStringLiteral("CALL_ID"),
            {QStringLiteral("Contact_Key"), QStringLiteral("Date"), QStringLiteral("Content")},
            values);
    db.execute(QStringLiteral("UPDATE CALL_LOG SET Contact_Key = ?, Date = ?, Content = ? WHERE "
                              "CALL_ID = ?"),
               values + QVariantList{call.id});
    return call.id;
}

void deleteCall(Database& db, qlonglong id)
{
    db.execute(QStringLiteral("DELETE FROM CALL_LOG WHERE CALL_ID = ?"), {id});
}

} // namespace bx::contacts
