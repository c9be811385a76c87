#include "tasks/FormDesign.h"

#include "core/Gmt.h"
#include "core/Prompt.h"
#include "core/Session.h"
#include "core/UserRights.h"
#include "core/db/Database.h"

#include <QSet>

#include <algorithm>

namespace bx::forms {

namespace {

QVariant numberOrNull(const QVariant& typed)
{
    bool ok = false;
    const qlonglong n = typed.toString().trimmed().toLongLong(&ok);
    return ok ? QVariant(n) : QVariant();
}

bool flagOf(const QVariant& typed)
{
    const QString t = typed.toString().trimmed().toLower();
    return typed.toBool() || t == QLatin1String("1") || t == QLatin1String("yes") ||
           t == QLatin1String("true");
}

} // namespace

QString keyUsedTwice(qlonglong key)
{
    return QStringLiteral("The key %1 is used by two fields").arg(key);
}

QStringList fieldColumnTitles()
{
    return {QStringLiteral("CONTROL_KEY"), QStringLiteral("NAME"),    QStringLiteral("TYPE"),
            QStringLiteral("VALUE"),       QStringLiteral("CHECKED"), QStringLiteral("MANDATORY"),
            QStringLiteral("MAIN_FORM"),   QStringLiteral("LEFT"),    QStringLiteral("TOP"),
            QStringLiteral("WIDTH"),       QStringLiteral("HEIGHT"),  QStringLiteral("RIGHT_ALIGN"),
            QStringLiteral("DATABASE"),    QStringLiteral("TABLE"),   QStringLiteral("FIELD")};
}

QVariant columnValue(const FormField& f, FieldColumn column)
{
    switch (column) {
    case FieldColumn::Key:
        return f.key;
    case FieldColumn::Name:
        return f.name;
    case FieldColumn::Type:
        return f.typeText;
    case FieldColumn::Value:
        return f.value;
    case FieldColumn::Checked:
        return f.checked;
    case FieldColumn::Mandatory:
        return f.mandatory;
    case FieldColumn::MainForm:
        return f.mainForm;
    case FieldColumn::Left:
        return f.left;
    case FieldColumn::Top:
        return f.top;
    case FieldColumn::Width:
        return f.width;
    case FieldColumn::Height:
        return f.height;
    case FieldColumn::RightAlign:
        return f.rightAlign;
    case FieldColumn::Database:
        return f.database;
    case FieldColumn::Table:
        return f.table;
    case FieldColumn::Field:
        return f.field;
    case FieldColumn::Count:
        break;
    }
    return {};
}

void setColumnValue(FormField& f, FieldColumn column, const QVariant& value)
{
    const QString text = value.toString();
    switch (column) {
    case FieldColumn::Key:
        f.key = numberOrNull(value).toLongLong();
        break;
    case FieldColumn::Name:
        f.name = text;
        break;
    case FieldColumn::Type:
        f.typeText = text.trimmed().toUpper();
        break;
    case FieldColumn::Value:
        f.value = text;
        break;
    case FieldColumn::Checked:
        f.checked = flagOf(value);
        break;
    case FieldColumn::Mandatory:
        f.mandatory = flagOf(value);
        break;
    case FieldColumn::MainForm:
        f.mainForm = text.isEmpty() ? QVariant() : QVariant(text);
        break;
    case FieldColumn::Left:
        f.left = numberOrNull(value);
        break;
    case FieldColumn::Top:
        f.top = numberOrNull(value);
        break;
    case FieldColumn::Width:
        f.width = numberOrNull(value);
        break;
    case FieldColumn::Height:
        f.height = numberOrNull(value);
        break;
    case FieldColumn::RightAlign:
        f.rightAlign = flagOf(value);
        break;
    case FieldColumn::Database:
        f.database = text.isEmpty() ? QVariant() : QVariant(text);
        break;
    case FieldColumn::Table:
        f.table = text;
        break;
    case FieldColumn::Field:
        f.field = text;
        break;
    case FieldColumn::Count:
        break;
    }
}

FormField newField(const FormDefinition& definition)
{
    constexpr int kGap = 8;
    FormField f;
    qlonglong bottom = 0;
    for (const FormField& other : definition.fields) {
        f.key = std::max(f.key, other.key);
        bottom = std::max(bottom, other.top.toLongLong() + other.height.toLongLong());
    }
    ++f.key;
    f.name = QStringLiteral("Field") + QString::number(f.key);
    f.typeText = QStringLiteral("EDIT");
    f.left = kGap * kTwipsPerPixel;
    f.top = bottom + kGap * kTwipsPerPixel;
    f.width = 120 * kTwipsPerPixel;
    f.height = 20 * kTwipsPerPixel;
    return f;
}

FormCopy previewOf(const FormDefinition& definition)
{
    return arrangeFields(definition.name, definition.fields);
}

std::optional<FormDefinition> readDefinition(Database& db, const QString& name)
{
    const RecordSet form = db.query(QStringLiteral("SELECT Form_Name, Form_Caption, Form_Width, "
                                                   "Form_Height FROM FORM WHERE Form_Name = ?"),
                                    {name});
    if (form.isEmpty())
        return std::nullopt;
    FormDefinition d;
    d.name = form.text(QStringLiteral("Form_Name"));
    d.caption = form.text(QStringLiteral("Form_Caption"));
    d.width = form.variant(QStringLiteral("Form_Width"));
    d.height = form.variant(QStringLiteral("Form_Height"));
    d.fields = definitionRows(db, d.name);
    d.isNew = false;
    return d;
}

std::optional<RefusalOf<int>> definitionProblem(Database& db, const FormDefinition& definition)
{
    const QString name = definition.name.trimmed();
    if (name.isEmpty())
        return RefusalOf<int>{QStringLiteral("Please specify a name for this form"), -1};
    QSet<qlonglong> keys;
    for (int i = 0; i < definition.fields.size(); ++i) {
        const qlonglong key = definition.fields.at(i).key;
        if (keys.contains(key))
            return RefusalOf<int>{keyUsedTwice(key), i};
        keys.insert(key);
    }
    if (definition.isNew &&
        db.scalar(QStringLiteral("SELECT COUNT(*) FROM FORM WHERE UPPER(Form_Name) = UPPER(?)"),
                  {name})
                .toLongLong() > 0)
        return RefusalOf<int>{QStringLiteral("Form already exists, Please specify another name."),
                              -1};
    return std::nullopt;
}

void writeDefinition(Database& db, const FormDefinition& definition, const QDateTime& nowGmt)
{
    const QString name = definition.name.trimmed();
    Transaction tx(db);
    const QVariantList columns{definition.caption, definition.width, definition.height, nowGmt,
                               name};
    if (db.execute(QStringLiteral("UPDATE FORM SET Form_Caption = ?, Form_Width = ?, Form_Height "
                                  "= ?, Form_Date = ? WHERE Form_Name = ?"),
                   columns) == 0)
        db.execute(QStringLiteral("INSERT INTO FORM (Form_Caption, Form_Width, Form_Height, "
                                  "Form_Date, Form_Name) VALUES (?, ?, ?, ?, ?)"),
                   columns);
    db.execute(QStringLiteral("DELETE FROM CONTROL WHERE FORM_NAME = ? AND COALESCE(ATTACH_NUMBER, "
                              "0) = 0"),
               {name});
    insertRows(db, name, 0, definition.fields);
    tx.commit();
}

void deleteDefinition(Database& db, const QString& name)
{
    Transaction tx(db);
    db.execute(QStringLiteral("DELETE FROM CONTROL WHERE FORM_NAME = ? AND COALESCE(ATTACH_NUMBER, "
                              "0) = 0"),
               {name});
    db.execute(QStringLiteral("DELETE FROM FORM WHERE Form_Name = ?"), {name});
    tx.commit();
}

FormDesign::FormDesign(Session& session, Prompt& prompt)
    : m_session(session)
    , m_prompt(prompt)
{
}

std::optional<RefusalOf<>> FormDesign::refused() const
{
    return UserRights::refuseUnlessAdministrator(m_session.user.record);
}

Outcome<QStringList> FormDesign::open()
{
    if (auto refusal = refused())
        return *refusal;
    return formNames(m_session.db());
}

Outcome<FormDefinition> FormDesign::create()
{
    if (auto refusal = refused())
        return *refusal;
    return FormDefinition{};
}

Outcome<FormDefinition> FormDesign::edit(const QString& name)
{
    if (auto refusal = refused())
        return *refusal;
    std::optional<FormDefinition> d = readDefinition(m_session.db(), name);
    if (!d)
        return Outcome<FormDefinition>::declined();
    return *d;
}

Outcome<Done, int> FormDesign::save(FormDefinition& definition)
{
    if (auto refusal = UserRights::refuseUnlessAdministrator(m_session.user.record, -1))
        return *refusal;
    if (auto problem = definitionProblem(m_session.db(), definition))
        return *problem;
    writeDefinition(m_session.db(), definition, GmtConverter(m_session.clock()).nowGmt());
    definition.name = definition.name.trimmed();
    definition.isNew = false;
    return Done{};
}

Outcome<> FormDesign::remove(const QString& name)
{
    if (auto refusal = refused())
        return *refusal;
    if (name.isEmpty())
        return RefusalOf<>{QStringLiteral("No item selected")};
    if (m_prompt.ask(QStringLiteral("Are you sure?"), QStringLiteral("DELETE"),
                     PromptButtons::OkCancel) != PromptAnswer::Ok)
        return Outcome<>::declined();
    deleteDefinition(m_session.db(), name);
    return Done{};
}

} // namespace bx::forms
