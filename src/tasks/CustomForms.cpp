#include "tasks/CustomForms.h"

#include "core/db/Dialect.h"
#include "core/schema/TaskColumns.h"
#include "tasks/DocumentVersions.h"

#include <QHash>
#include <QtDebug>

#include <algorithm>

namespace bx::forms {

namespace {

/** The CONTROL columns a copy's row carries besides its form, key and attachment. */
const QString kControlColumns = QStringLiteral(
    "FORM_NAME, CONTROL_KEY, ATTACH_NUMBER, MAIN_FORM, NAME, TYPE, VALUE, CHECKED, MANDATORY, "
    "\"left\", TOP, WIDTH, HEIGHT, RIGHT_ALIGN, DATABASE, \"table\", FIELD");

const QString kSavedElsewhere =
    QStringLiteral("This form was saved by another user since you opened it. Save your values as "
                   "a new copy?");

std::optional<FieldType> typeOf(const QString& text)
{
    const QString t = text.trimmed().toUpper();
    if (t == QLatin1String("LABEL"))
        return FieldType::Label;
    if (t == QLatin1String("EDIT"))
        return FieldType::Edit;
    if (t == QLatin1String("COMBO"))
        return FieldType::Combo;
    if (t == QLatin1String("CHECK"))
        return FieldType::Check;
    return std::nullopt;
}

QString fieldLabel(const QString& form, const FormField& f)
{
    return QStringLiteral("Form \"%1\", field %2 (\"%3\")").arg(form).arg(f.key).arg(f.name);
}

/** Twips to pixels, rounded down; Null or not a number gives `fallback`. */
int pixelsOf(const QVariant& twips, int fallback)
{
    bool ok = false;
    const qlonglong t = twips.toLongLong(&ok);
    if (twips.isNull() || !ok)
        return fallback;
    return static_cast<int>(std::clamp<qlonglong>(t / kTwipsPerPixel, -1'000'000, 1'000'000));
}

/** Places the field on the panel; a note when it had to be moved or resized. */
std::optional<QString> place(FormField& f)
{
    constexpr int kDefaultWidth = 120;
    constexpr int kDefaultHeight = 20;
    constexpr int kMinSide = 4;
    const int x = pixelsOf(f.left, 0);
    const int y = pixelsOf(f.top, 0);
    const int w = pixelsOf(f.width, kDefaultWidth);
    const int h = pixelsOf(f.height, kDefaultHeight);
    const int cx = std::clamp(x, 0, kPanelWidth - kMinSide);
    const int cy = std::clamp(y, 0, kPanelHeight - kMinSide);
    const int cw = std::clamp(w, kMinSide, kPanelWidth - cx);
    const int ch = std::clamp(h, kMinSide, kPanelHeight - cy);
    f.pixels = QRect(cx, cy, cw, ch);
    if (cx == x && cy == y && cw == w && ch == h)
        return std::nullopt;
    return QStringLiteral("placed at %1, %2 sized %3 x %4 pixels instead of %5, %6 sized %7 x %8")
        .arg(cx)
        .arg(cy)
        .arg(cw)
        .arg(ch)
        .arg(x)
        .arg(y)
        .arg(w)
        .arg(h);
}

FormField fieldOf(const RecordSet& rs)
{
    FormField f;
    f.key = rs.number(QStringLiteral("CONTROL_KEY"));
    f.name = rs.text(QStringLiteral("NAME"));
    f.typeText = rs.text(QStringLiteral("TYPE"));
    f.value = rs.text(QStringLiteral("VALUE"));
    f.checked = rs.flag(QStringLiteral("CHECKED"));
    f.mandatory = rs.flag(QStringLiteral("MANDATORY"));
    f.mainForm = rs.variant(QStringLiteral("MAIN_FORM"));
    f.rightAlign = rs.flag(QStringLiteral("RIGHT_ALIGN"));
    f.left = rs.variant(QStringLiteral("left"));
    f.top = rs.variant(QStringLiteral("TOP"));
    f.width = rs.variant(QStringLiteral("WIDTH"));
    f.height = rs.variant(QStringLiteral("HEIGHT"));
    f.database = rs.variant(QStringLiteral("DATABASE"));
    f.table = rs.text(QStringLiteral("table"));
    f.field = rs.text(QStringLiteral("FIELD"));
    return f;
}

/** The CONTROL rows of one copy, written several to a statement. */
class RowWriter
{
public:
    RowWriter(Database& db, const QString& form, qlonglong attachNumber)
        : m_db(db)
        , m_form(form)
        , m_attach(attachNumber)
    {
    }

    void add(const FormField& f, const QString& value, bool checked)
    {
        const Dialect& d = m_db.dialect();
        m_values << m_form << f.key << m_attach << f.mainForm << f.name << f.typeText << value
                 << d.flag(checked) << d.flag(f.mandatory) << f.left << f.top << f.width << f.height
                 << d.flag(f.rightAlign) << f.database << f.table << f.field;
        if (++m_rows == kRowsPerStatement)
            flush();
    }

    void flush()
    {
        if (m_rows == 0)
            return;
        const QString row = QStringLiteral("(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
        QStringList rows;
        for (int i = 0; i < m_rows; ++i)
            rows << row;
        m_db.execute(QStringLiteral("INSERT INTO CONTROL (") + kControlColumns +
                         QStringLiteral(") VALUES ") + rows.join(QStringLiteral(", ")),
                     m_values);
        m_values.clear();
        m_rows = 0;
    }

private:
    /** 17 values a row: well below either engine's limit of bound values. */
    static constexpr int kRowsPerStatement = 50;
    Database& m_db;
    const QString m_form;
    const qlonglong m_attach;
    QVariantList m_values;
    int m_rows = 0;
};

/** The CONTROL rows of one copy (0: the definition), by key. */
QList<FormField> rowsOf(Database& db, const QString& form, qlonglong attachNumber)
{
    RecordSet rs = db.query(QStringLiteral("SELECT * FROM CONTROL WHERE FORM_NAME = ? AND "
                                           "ATTACH_NUMBER = ? ORDER BY CONTROL_KEY"),
                            {form, attachNumber});
    QList<FormField> rows;
    for (; !rs.eof(); rs.moveNext())
        rows << fieldOf(rs);
    return rows;
}

QVariant workshopValue(qlonglong workshop)
{
    return workshop != 0 ? QVariant(workshop) : QVariant();
}

} // namespace

QString mandatoryMessage(const QString& fieldName)
{
    return QStringLiteral("The value for ") + fieldName +
           QStringLiteral(" should be filled when option 'Mandatory' is checked");
}

QString missingListMessage(const QString& fieldName, const QString& table, const QString& column)
{
    return QStringLiteral("The list of %1 stays empty: the database has no column \"%2\" in a "
                          "table \"%3\".")
        .arg(fieldName, column, table);
}

QStringList formNames(Database& db)
{
    const RecordSet rs = db.query(QStringLiteral("SELECT Form_Name FROM FORM ORDER BY Form_Name"));
    QStringList names;
    for (int row = 0; row < rs.rowCount(); ++row)
        names << rs.value(row, QStringLiteral("Form_Name")).toString();
    return names;
}

FormCopy readCopy(Database& db, const QString& form, qlonglong attachNumber)
{
    FormCopy copy = arrangeFields(form, rowsOf(db, form, attachNumber));
    copy.attachNumber = attachNumber;
    if (attachNumber != 0) {
        const RecordSet a = db.query(
            QStringLiteral("SELECT a.Publish, COALESCE(v.Attach_Row_Version, 0) AS "
                           "Attach_Row_Version FROM ATTACH a LEFT JOIN ATTACH_VERSION v ON "
                           "v.Attach_Number = a.Attach_Number WHERE a.Attach_Number = ?"),
            {attachNumber});
        copy.publish = !a.isEmpty() && a.flag(QStringLiteral("Publish"));
        copy.version = a.isEmpty() ? 0 : a.number(QStringLiteral("Attach_Row_Version"));
    }
    for (const QString& note : std::as_const(copy.notes))
        qWarning().noquote() << note;
    return copy;
}

QList<FormField> definitionRows(Database& db, const QString& form)
{
    return rowsOf(db, form, 0);
}

FormCopy arrangeFields(const QString& form, const QList<FormField>& rows)
{
    FormCopy copy;
    copy.form = form;
    for (FormField f : rows) {
        const std::optional<FieldType> type = typeOf(f.typeText);
        if (!type) {
            copy.notes << fieldLabel(form, f) +
                              QStringLiteral(": unknown type \"%1\", not shown").arg(f.typeText);
            copy.hidden << f;
            continue;
        }
        f.type = *type;
        if (const auto moved = place(f))
            copy.notes << fieldLabel(form, f) + QStringLiteral(": ") + *moved;
        if (f.type == FieldType::Combo && !f.database.toString().trimmed().isEmpty())
            copy.notes << fieldLabel(form, f) +
                              QStringLiteral(": its database \"%1\" is ignored, the list comes "
                                             "from this one")
                                  .arg(f.database.toString());
        copy.fields << f;
    }
    return copy;
}

void insertRows(Database& db, const QString& form, qlonglong attachNumber,
                const QList<FormField>& fields)
{
    RowWriter rows(db, form, attachNumber);
    for (const FormField& f : fields)
        rows.add(f, f.value, f.checked);
    rows.flush();
}

QString formOfCopy(Database& db, qlonglong attachNumber)
{
    const QString byValues =
        db.scalar(QStringLiteral("SELECT MIN(FORM_NAME) FROM CONTROL WHERE ATTACH_NUMBER = ?"),
                  {attachNumber})
            .toString();
    if (!byValues.isEmpty())
        return byValues;
    return db
        .scalar(QStringLiteral("SELECT Attach_Title FROM ATTACH WHERE Attach_Number = ?"),
                {attachNumber})
        .toString();
}

Outcome<QStringList> listValues(Database& db, const FormField& field)
{
    const RefusalOf<> missing{missingListMessage(field.name, field.table, field.field)};
    const QStringList tables = db.tables();
    const auto table = std::find_if(tables.begin(), tables.end(), [&](const QString& t) {
        return t.compare(field.table.trimmed(), Qt::CaseInsensitive) == 0;
    });
    if (field.table.trimmed().isEmpty() || table == tables.end())
        return missing;
    QString column;
    for (const ColumnInfo& c : db.columns(*table))
        if (c.name.compare(field.field.trimmed(), Qt::CaseInsensitive) == 0)
            column = c.name;
    if (column.isEmpty())
        return missing;
    // Both names are the catalogue's own, quoted: a name with a quote or a blank stays a name.
    const QString c = Dialect::quoteIdentifier(column);
    const RecordSet rs = db.query(QStringLiteral("SELECT DISTINCT ") + c +
                                  QStringLiteral(" AS v FROM ") + Dialect::quoteIdentifier(*table) +
                                  QStringLiteral(" WHERE ") + c + QStringLiteral(" IS NOT NULL"));
    QStringList values;
    for (int row = 0; row < rs.rowCount(); ++row)
        values << rs.value(row, QStringLiteral("v")).toString();
    values.removeDuplicates();
    std::sort(values.begin(), values.end(), [](const QString& a, const QString& b) {
        const int folded = a.compare(b, Qt::CaseInsensitive);
        return folded != 0 ? folded < 0 : a < b;
    });
    return values;
}

std::optional<RefusalOf<int>> checkMandatory(const FormCopy& copy, const QList<FieldValue>& values)
{
    for (int i = 0; i < copy.fields.size() && i < values.size(); ++i) {
        const FormField& f = copy.fields.at(i);
        if (!f.mandatory || f.type == FieldType::Label)
            continue;
        const bool blank = f.type == FieldType::Check ? !values.at(i).checked
                                                      : values.at(i).value.trimmed().isEmpty();
        if (blank)
            return RefusalOf<int>{mandatoryMessage(f.name), i};
    }
    return std::nullopt;
}

Outcome<qlonglong, int> saveCopy(Database& db, SaveMode mode, const FormCopy& copy,
                                 const QList<FieldValue>& values, const AttachmentPlace& place,
                                 const QString& owner, const QDateTime& dateGmt, bool publish)
{
    if (copy.form.trimmed().isEmpty())
        return RefusalOf<int>{QStringLiteral("Please Select a Form"), -1};
    if (auto refused = checkMandatory(copy, values))
        return *refused;
    Transaction tx(db);
    qlonglong number = copy.attachNumber;
    if (mode == SaveMode::Add) {
        number = db.insertNumbered(
            QStringLiteral("ATTACH"), QStringLiteral("Attach_Number"),
            {scr::Number, QStringLiteral("Attach_Type"), QStringLiteral("Attach_Title"),
             QStringLiteral("Attach_Filename"), QStringLiteral("Attach_Owner"),
             QStringLiteral("Attach_Date"), QStringLiteral("Category"), QStringLiteral("Group_ID"),
             QStringLiteral("Publish")},
            {place.taskNumber, QStringLiteral("X"), copy.form, copy.form, owner, dateGmt,
             place.category, workshopValue(place.workshop), db.dialect().flag(publish)});
    } else if (attachments::isSharedDocument(db, number)) {
        // A shared form is never rewritten: the values become its newest version.
        const Outcome<qlonglong> published =
            attachments::publishVersion(db, number, {}, {owner, dateGmt, place.workshop});
        if (!published)
            return RefusalOf<int>{kSavedElsewhere, kChangedElsewhere};
        number = *published;
    } else {
        // Held until the commit: another client saving the copy now waits, then sees the
        // version this save leaves. The version is read by a statement of its own, begun once
        // the row is held: on the server a statement sees only what was committed before it
        // began, which need not include the save it waited for.
        const RecordSet held = db.queryLocked(
            QStringLiteral("SELECT Attach_Number FROM ATTACH WHERE Attach_Number = ?"), {number});
        if (held.isEmpty() ||
            db.scalar(QStringLiteral("SELECT COALESCE(MAX(Attach_Row_Version), 0) FROM "
                                     "ATTACH_VERSION WHERE Attach_Number = ?"),
                      {number})
                    .toLongLong() != copy.version)
            return RefusalOf<int>{kSavedElsewhere, kChangedElsewhere};
        db.execute(QStringLiteral("DELETE FROM CONTROL WHERE FORM_NAME = ? AND ATTACH_NUMBER = ?"),
                   {copy.form, number});
        db.execute(QStringLiteral("UPDATE ATTACH SET Publish = ? WHERE Attach_Number = ?"),
                   {db.dialect().flag(publish), number});
    }
    RowWriter rows(db, copy.form, number);
    for (int i = 0; i < copy.fields.size(); ++i) {
        const FormField& f = copy.fields.at(i);
        const bool given = i < values.size() && f.type != FieldType::Label;
        rows.add(f, given ? values.at(i).value : f.value, given ? values.at(i).checked : f.checked);
    }
    // Rows the window could not show keep what they held.
    for (const FormField& f : copy.hidden)
        rows.add(f, f.value, f.checked);
    rows.flush();
    tx.commit();
    return number;
}

QList<int> changedFields(Database& db, const FormCopy& copy, const QList<FieldValue>& values)
{
    struct Stored
    {
        QString value;
        bool checked = false;
    };
    QHash<qlonglong, Stored> stored;
    RecordSet rs = db.query(QStringLiteral("SELECT CONTROL_KEY, VALUE, CHECKED FROM CONTROL "
                                           "WHERE FORM_NAME = ? AND ATTACH_NUMBER = ?"),
                            {copy.form, copy.attachNumber});
    for (; !rs.eof(); rs.moveNext())
        stored.insert(rs.number(QStringLiteral("CONTROL_KEY")),
                      {rs.text(QStringLiteral("VALUE")), rs.flag(QStringLiteral("CHECKED"))});
    QList<int> changed;
    for (int i = 0; i < copy.fields.size() && i < values.size(); ++i) {
        const FormField& f = copy.fields.at(i);
        if (f.type == FieldType::Label)
            continue;
        const auto row = stored.constFind(f.key);
        const bool differs = row == stored.cend() ||
                             (f.type == FieldType::Check ? row->checked != values.at(i).checked
                                                         : row->value != values.at(i).value);
        if (differs)
            changed << i;
    }
    return changed;
}

} // namespace bx::forms
