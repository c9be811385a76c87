#pragma once

#include "core/Refusal.h"
#include "tasks/CustomForms.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>

namespace bx {

class Prompt;
class Session;

// The logic behind the form designer (frmFormDesigner): a form's FORM row and its definition rows
// (CONTROL rows with ATTACH_NUMBER 0), read, checked, written and deleted. The filled-in copies
// of a form carry every definition column themselves: nothing here touches them.

namespace forms {

/** "The key N is used by two fields" */
QString keyUsedTwice(qlonglong key);

/** A form being designed. */
struct FormDefinition
{
    QString name;
    QString caption;
    QVariant width, height; ///< twips, as stored
    /** Every definition row, in the order shown; TYPE as typed (typeText). */
    QList<FormField> fields;
    bool isNew = true; ///< false: read from the database; its name is fixed
};

/** The columns of a field the designer shows, in their order. */
enum class FieldColumn
{
    Key,
    Name,
    Type,
    Value,
    Checked,
    Mandatory,
    MainForm,
    Left,
    Top,
    Width,
    Height,
    RightAlign,
    Database,
    Table,
    Field,
    Count
};

/** The titles of the columns, as CONTROL names them. */
QStringList fieldColumnTitles();
/** A column's value as the designer shows it (flags as true/false, the rest as stored). */
QVariant columnValue(const FormField& field, FieldColumn column);
/** Sets a column from what was typed; a number column left blank or not a number becomes Null. */
void setColumnValue(FormField& field, FieldColumn column, const QVariant& value);

/** A new field for the definition: the next free key, an edit box below the last field. */
FormField newField(const FormDefinition& definition);

/** The definition as the filled-in window would show it (arrangeFields), for the preview. */
FormCopy previewOf(const FormDefinition& definition);

/** Form `name` as stored; none when it has no FORM row. @throws DbError */
std::optional<FormDefinition> readDefinition(Database& db, const QString& name);

/**
 * What keeps the definition from being saved: a name (field -1), for a new form a name no form
 * has (-1, compared without case), no CONTROL_KEY twice (the index of the second). @throws DbError
 */
std::optional<RefusalOf<int>> definitionProblem(Database& db, const FormDefinition& definition);

/**
 * Writes the definition, unchecked, in one transaction: the FORM row (dated `nowGmt`), then its
 * definition rows replaced. @throws DbError (nothing written)
 */
void writeDefinition(Database& db, const FormDefinition& definition, const QDateTime& nowGmt);

/** Deletes the FORM row and the definition rows, in one transaction. @throws DbError */
void deleteDefinition(Database& db, const QString& name);

/**
 * The designer's operations for the signed-in user: each refuses first, before any question or
 * read, anyone but an administrator. Every method that reads or writes throws DbError.
 */
class FormDesign
{
public:
    FormDesign(Session& session, Prompt& prompt);

    /** The forms, by name (the designer opening). */
    Outcome<QStringList> open();
    /** An empty draft of a new form. */
    Outcome<FormDefinition> create();
    /** Form `name` read for editing; declined when it is gone. */
    Outcome<FormDefinition> edit(const QString& name);
    /** Checks and writes the definition; on success it is a stored one with a trimmed name. */
    Outcome<Done, int> save(FormDefinition& definition);
    /** Asks "Are you sure?" (OK/Cancel), then deletes the form; its filled-in copies stay. */
    Outcome<> remove(const QString& name);

private:
    std::optional<RefusalOf<>> refused() const;

    Session& m_session;
    Prompt& m_prompt;
};

} // namespace forms

} // namespace bx
