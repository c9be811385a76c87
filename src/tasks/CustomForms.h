#pragma once

#include "core/Refusal.h"
#include "core/db/Database.h"
#include "tasks/PendingAttachment.h"

#include <QList>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QVariant>

/**
 * Custom forms: the definitions (FORM, and CONTROL rows with ATTACH_NUMBER 0) and the filled-in
 * copies, each an attachment of type "X" whose CONTROL rows (ATTACH_NUMBER = the attachment)
 * hold its values. Reading a copy, checking its mandatory fields, saving it and telling whether
 * the window's values differ from what is stored.
 *
 * Positions and sizes are stored in twips, 15 to a pixel at 96 dpi.
 */
namespace bx::forms {

inline constexpr int kTwipsPerPixel = 15;
/** The panel fields are placed on, in pixels: positions and sizes beyond it are clamped. */
inline constexpr int kPanelWidth = 2000;
inline constexpr int kPanelHeight = 4000;

/** The field of the refusal of an opened copy that another client saved since it was read. */
inline constexpr int kChangedElsewhere = -2;

/** "The value for <name> should be filled when option 'Mandatory' is checked" */
QString mandatoryMessage(const QString& fieldName);

/** The message for a drop-down list whose table or column the database does not have. */
QString missingListMessage(const QString& fieldName, const QString& table, const QString& column);

enum class FieldType
{
    Label,
    Edit,
    Combo,
    Check
};

/** One field of a form, as stored in its CONTROL row. */
struct FormField
{
    qlonglong key = 0; ///< CONTROL_KEY: unique within the form
    QString name;
    FieldType type = FieldType::Edit;
    QString typeText; ///< TYPE as stored
    QString value;    ///< the text; a check box's caption; a label's text
    bool checked = false;
    bool mandatory = false;
    QVariant mainForm;
    bool rightAlign = false;
    /** As stored, in twips (written back unchanged). */
    QVariant left, top, width, height;
    QVariant database;
    QString table;
    QString field;
    /** Where the window places it, in pixels of the panel (clamped). */
    QRect pixels;
};

/** A copy of a form (attachment 0: a new copy, read from the definition). */
struct FormCopy
{
    QString form;
    qlonglong attachNumber = 0;
    QList<FormField> fields;
    /** What reading left out or changed (unknown types, clamped places, ignored DATABASE). */
    QStringList notes;
    /** Rows of an unknown type: not shown, written back as they were. */
    QList<FormField> hidden;
    bool publish = false;
    /** The copy's version (ATTACH_VERSION, 0 without a row) as read. */
    qlonglong version = 0;
};

/** What the window holds for one field. */
struct FieldValue
{
    qlonglong key = 0;
    QString value;
    bool checked = false;
};

/** The forms offered, by name. Reads only. @throws DbError */
QStringList formNames(Database& db);

/**
 * Copy `attachNumber` of form `form` (0: its definition) in order of CONTROL_KEY. A row of
 * unknown TYPE is skipped, a position or size outside the panel clamped to it, a drop-down
 * list's DATABASE ignored: each noted in FormCopy::notes and logged. @throws DbError
 */
FormCopy readCopy(Database& db, const QString& form, qlonglong attachNumber);

/** The definition rows of form `form`, every one whatever its TYPE, by key. @throws DbError */
QList<FormField> definitionRows(Database& db, const QString& form);

/**
 * The rows laid out as the window shows them: each TYPE read, a row of unknown TYPE put into
 * `hidden`, places clamped to the panel, the notes made (not logged).
 */
FormCopy arrangeFields(const QString& form, const QList<FormField>& rows);

/**
 * Inserts `fields` as the CONTROL rows of copy `attachNumber` (0: the definition), with their
 * own values, several to a statement. @throws DbError
 */
void insertRows(Database& db, const QString& form, qlonglong attachNumber,
                const QList<FormField>& fields);

/** The form a copy was made from (its CONTROL rows, else its title); "" when not found. */
QString formOfCopy(Database& db, qlonglong attachNumber);

/**
 * The values of drop-down list `field`: the distinct, sorted, non-null values of its FIELD in its
 * TABLE, both looked up in the catalogue. Refused with missingListMessage when either is
 * missing. @throws DbError
 */
Outcome<QStringList> listValues(Database& db, const FormField& field);

/**
 * The first mandatory field whose value is blank (a check box: not ticked) refuses, with
 * mandatoryMessage and the index of that field in `copy.fields`.
 */
std::optional<RefusalOf<int>> checkMandatory(const FormCopy& copy, const QList<FieldValue>& values);

/** How a copy is saved. */
enum class SaveMode
{
    Add,  ///< "A", also "SaveCopy": a new attachment
    Open, ///< "O": the values of the copy replace its stored ones
};

/**
 * Saves `values` for `copy` in one transaction. Add: a new ATTACH row of type "X" at `place`
 * titled and named with the form, owned by `owner`, dated `dateGmt`, published as `publish`,
 * then its CONTROL rows. Open: the copy's CONTROL rows are replaced and its Publish set, unless
 * another client saved the copy since it was read (its version moved, or it is gone): then
 * nothing is written and the refusal ("This form was saved by another user since you opened it.
 * Save your values as a new copy?") has field kChangedElsewhere. A shared
 * copy (a cabinet document, see tasks/DocumentVersions.h) is not rewritten: Open publishes a new
 * version of it (same name, category and task, by `owner` at `dateGmt`, whatever was saved
 * meanwhile) and returns its number. Each CONTROL row carries the field's definition columns
 * (mandatory, main form, alignment included) with the value. Refused (nothing written) without a
 * form (field -1) or with a mandatory field blank (its index).
 * @return the copy's attachment number @throws DbError (nothing written)
 */
Outcome<qlonglong, int> saveCopy(Database& db, SaveMode mode, const FormCopy& copy,
                                 const QList<FieldValue>& values, const AttachmentPlace& place,
                                 const QString& owner, const QDateTime& dateGmt, bool publish);

/**
 * The fields whose value differs from the stored row of the same CONTROL_KEY (a check box by
 * its state, the others by text; a field without stored row differs). Copy 0 compares with
 * the definition. Labels never differ. @return indexes into copy.fields @throws DbError
 */
QList<int> changedFields(Database& db, const FormCopy& copy, const QList<FieldValue>& values);

} // namespace bx::forms
