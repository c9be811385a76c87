#include "workflow/ChecklistDesign.h"

#include "core/Gmt.h"
#include "core/Prompt.h"
#include "core/Session.h"
#include "core/SpelledUserId.h"
#include "core/TextCompare.h"
#include "core/UserRights.h"
#include "core/db/Database.h"
#include "people/UserTree.h"
#include "people/workshops/WorkshopStore.h"

namespace bx {

QString ChecklistText::listedTwice(const QString& item)
{
    return QStringLiteral("The item ") + item + QStringLiteral(" is listed twice");
}

std::optional<qlonglong> checklistWorkshop(Database& db, const QString& name)
{
    const RecordSet rs =
        db.query(QStringLiteral("SELECT group_id FROM CHECKLIST WHERE Checklist_Name = ?"),
                 {name.trimmed()});
    if (rs.isEmpty())
        return std::nullopt;
    return rs.number(QStringLiteral("group_id"));
}

bool checklistExists(Database& db, const QString& name)
{
    // The embedded engine's NOCASE folds ASCII letters only: the names are compared here.
    const QString wanted = name.trimmed();
    const RecordSet rs = db.query(QStringLiteral("SELECT Checklist_Name FROM CHECKLIST"));
    for (const QVariantList& row : rs.rows()) {
        if (sameText(row.value(0).toString().trimmed(), wanted))
            return true;
    }
    return false;
}

bool isChecklistAttached(Database& db, const QString& name)
{
    return db.scalar(QStringLiteral("SELECT COUNT(*) FROM ATTACH WHERE Attach_Type = 'K' AND "
                                    "Attach_Filename = ?"),
                     {name.trimmed()})
               .toLongLong() > 0;
}

std::optional<ChecklistRefusal> checklistProblem(Database& db, const ChecklistDraft& draft)
{
    if (draft.name.trimmed().isEmpty())
        return ChecklistRefusal{QStringLiteral("Please specify a name for this checklist"),
                                ChecklistField::Name};
    if (draft.items.isEmpty())
        return ChecklistRefusal{QStringLiteral("A checklist must have at least one item"),
                                ChecklistField::Items};
    for (const ChecklistItem& item : draft.items) {
        if (item.text.trimmed().isEmpty())
            return ChecklistRefusal{QStringLiteral("Please specify a name for every item"),
                                    ChecklistField::Items};
    }
    for (qsizetype i = 1; i < draft.items.size(); ++i) {
        const QString text = draft.items.at(i).text.trimmed();
        for (qsizetype j = 0; j < i; ++j) {
            if (sameText(draft.items.at(j).text.trimmed(), text))
                return ChecklistRefusal{ChecklistText::listedTwice(text), ChecklistField::Items};
        }
    }
    if (draft.isNew && checklistExists(db, draft.name))
        return ChecklistRefusal{
            QStringLiteral("Checklist already exists, Please specify another name."),
            ChecklistField::Name};
    return std::nullopt;
}

void writeChecklist(Database& db, const ChecklistDraft& draft, qlonglong workshop,
                    const QDateTime& nowGmt)
{
    const QString name = draft.name.trimmed();
    const QString description = draft.description.trimmed();
    const Dialect& d = db.dialect();
    Transaction tx(db);
    const qlonglong updated =
        draft.isNew ? 0
                    : db.execute(QStringLiteral("UPDATE CHECKLIST SET Checklist_Description = ?, "
                                                "Checklist_Date = ? WHERE Checklist_Name = ?"),
                                 {description, nowGmt, name});
    if (updated == 0)
        db.execute(QStringLiteral("INSERT INTO CHECKLIST (Checklist_Name, Checklist_Description, "
                                  "Checklist_Date, group_id) VALUES (?, ?, ?, ?)"),
                   {name, description, nowGmt, workshop});
    db.execute(QStringLiteral("DELETE FROM CHECKLIST_ITEM WHERE Checklist_Name = ? AND "
                              "COALESCE(Attach_Number, 0) = 0"),
               {name});
    const QString insert = QStringLiteral(
        "INSERT INTO CHECKLIST_ITEM (Checklist_Name, Action_Name, Mandatory, Sign_User_ID, "
        "Attach_Number, ItemType, ItemNote) VALUES (?, ?, ?, ?, 0, ?, ?)");
    for (const ChecklistItem& item : draft.items) {
        const QString signer = item.signer.trimmed();
        db.execute(insert, {name, item.text.trimmed(), d.flag(item.mandatory),
                            signer.isEmpty() ? QVariant() : QVariant(signer), d.flag(false),
                            item.note.isEmpty() ? QVariant() : QVariant(item.note)});
    }
    tx.commit();
}

void deleteChecklist(Database& db, const QString& name)
{
    Transaction tx(db);
    // The template rows first: on the server a login may write them while their checklist's row
    // names a workshop of his.
    db.execute(QStringLiteral("DELETE FROM CHECKLIST_ITEM WHERE Checklist_Name = ? AND "
                              "COALESCE(Attach_Number, 0) = 0"),
               {name});
    db.execute(QStringLiteral("DELETE FROM CHECKLIST WHERE Checklist_Name = ?"), {name});
    tx.commit();
}

ChecklistDesign::ChecklistDesign(Session& session, Prompt& prompt)
    : m_session(session)
    , m_prompt(prompt)
{
}

qlonglong ChecklistDesign::workshop() const
{
    return m_session.currentWorkshopId;
}

bool ChecklistDesign::isMember(qlonglong workshop) const
{
    return WorkshopStore(m_session.db()).isMember(spelledUserId(m_session), workshop);
}

qlonglong ChecklistDesign::workshopOf(const QString& name) const
{
    return checklistWorkshop(m_session.db(), name).value_or(workshop());
}

Outcome<QList<ChecklistSummary>> ChecklistDesign::open()
{
    if (auto refusal =
            UserRights::refuseUnlessChecklistDesigner(m_session.user.record, isMember(workshop())))
        return *refusal;
    return workshopChecklists(m_session.db(), workshop());
}

Outcome<ChecklistDraft> ChecklistDesign::create()
{
    if (auto refusal =
            UserRights::refuseUnlessChecklistDesigner(m_session.user.record, isMember(workshop())))
        return *refusal;
    return ChecklistDraft{};
}

Outcome<ChecklistDraft> ChecklistDesign::edit(const QString& name)
{
    if (auto refusal = UserRights::refuseUnlessChecklistDesigner(m_session.user.record,
                                                                 isMember(workshopOf(name))))
        return *refusal;
    const std::optional<ChecklistDefinition> list = loadChecklist(m_session.db(), name);
    if (!list)
        return Outcome<ChecklistDraft>::declined();
    return ChecklistDraft{list->name, list->description, list->items, false};
}

QStringList ChecklistDesign::signers()
{
    QStringList out;
    for (const UserSummary& user : enabledUsers(m_session.db()))
        out.append(user.userId);
    return out;
}

Outcome<Done, ChecklistField> ChecklistDesign::save(ChecklistDraft& draft)
{
    const qlonglong home = draft.isNew ? workshop() : workshopOf(draft.name);
    if (auto refusal = UserRights::refuseUnlessChecklistDesigner(
            m_session.user.record, isMember(home), ChecklistField::None))
        return *refusal;
    if (auto problem = checklistProblem(m_session.db(), draft))
        return *problem;
    writeChecklist(m_session.db(), draft, home, GmtConverter(m_session.clock()).nowGmt());
    draft.isNew = false;
    draft.name = draft.name.trimmed();
    draft.description = draft.description.trimmed();
    for (ChecklistItem& item : draft.items) {
        item.text = item.text.trimmed();
        item.signer = item.signer.trimmed();
    }
    return Done{};
}

Outcome<> ChecklistDesign::remove(const QString& name)
{
    if (auto refusal = UserRights::refuseUnlessChecklistDesigner(m_session.user.record,
                                                                 isMember(workshopOf(name))))
        return *refusal;
    if (m_prompt.ask(QStringLiteral("Are you sure?"), QStringLiteral("DELETE"),
                     PromptButtons::OkCancel) != PromptAnswer::Ok)
        return Outcome<>::declined();
    if (isChecklistAttached(m_session.db(), name))
        return RefusalOf<>{QStringLiteral("There are tasks with this checklist attached.")};
    deleteChecklist(m_session.db(), name);
    return Done{};
}

} // namespace bx
