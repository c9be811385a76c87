#include "mainwindow/FileCabinet.h"

#include "core/db/Database.h"
#include "support/AttachContent.h"
#include "support/SampleFiles.h"
#include "support/SessionTest.h"
#include "support/TaskRows.h"
#include "tasks/AttachmentTransfer.h"
#include "tasks/CustomForms.h"
#include "tasks/MemoText.h"

#include <gtest/gtest.h>
#include <thread>

using namespace Qt::StringLiterals;
using namespace bx;
using namespace bx::cabinet;

namespace {

const QString kPlans = u"Plans"_s;
const QString kZeta = u"Zeta"_s;
const QString kFile = u"plan.txt"_s;

QDateTime gmt(int day, int hour = 9)
{
    return naive(QDate(2024, 1, day), QTime(hour, 0));
}

class FileCabinetTest : public test::SessionTest
{
protected:
    void arrange() override
    {
        clock.set(naive(QDate(2024, 2, 1), QTime(12, 0)));
        test::addUsers(db(), {u"ann"_s, u"bob"_s, u"cy"_s});
        test::addCategories(db(), {kPlans, kZeta, u"Other"_s});
        for (const char* folder : {"Plans", "Zeta", "Other"})
            test::grantFolder(db(), u"ann"_s, QString::fromLatin1(folder));
        test::grantFolder(db(), u"bob"_s, kPlans);
        actAs(u"ann"_s);
    }

    void actAs(const QString& user, bool administrator = false)
    {
        session.user.userId = user;
        session.user.record.userId = user;
        session.user.record.administrator = administrator;
    }

    /** A row of ATTACH: published unless `task` is given (a task's own attachment). */
    qlonglong row(const QVariant& file, const QVariant& category, const QString& owner,
                  const QDateTime& date, const QString& type = u"F"_s, qlonglong task = 0)
    {
        return db().insertNumbered(
            u"ATTACH"_s, u"Attach_Number"_s,
            {u"SCR_Number"_s, u"Attach_Title"_s, u"Attach_Type"_s, u"Attach_Filename"_s,
             u"Category"_s, u"Attach_Owner"_s, u"Attach_Date"_s, u"Publish"_s},
            {task, u"t"_s, type, file, category, owner, date, db().dialect().flag(task == 0)});
    }

    /** Attach_Number of the tree's rows, in its order. */
    QList<qlonglong> tree()
    {
        const TaskCriteria q = documentTreeQuery(nullptr, session);
        QList<qlonglong> out;
        const RecordSet rows = session.db().query(q.sql, q.params);
        for (const QVariantList& r : rows.rows())
            out << r.value(0).toLongLong();
        return out;
    }

    QList<qlonglong> archived(qlonglong number)
    {
        QList<qlonglong> out;
        for (const Document& d : archivedVersions(db(), *readDocument(db(), number)))
            out << d.number;
        return out;
    }

    QString column(qlonglong number, const QString& name)
    {
        return db()
            .scalar(u"SELECT %1 FROM ATTACH WHERE Attach_Number = ?"_s.arg(name), {number})
            .toString();
    }
};

TEST_P(FileCabinetTest, TheTreeShowsEachDocumentsCurrentVersion)
{
    // The older row is dated later (a client whose clock ran ahead): still the archived one.
    const qlonglong v1 = row(kFile, kPlans, u"ann"_s, gmt(20));
    const qlonglong v2 = row(kFile, kPlans, u"bob"_s, gmt(10));
    const qlonglong zeta = row(kFile, kZeta, u"ann"_s, gmt(10));
    const qlonglong loose1 = row(kFile, QVariant(), u"ann"_s, gmt(10));
    const qlonglong loose2 = row(kFile, QString(), u"ann"_s, gmt(11));
    const qlonglong unnamed1 = row(QVariant(), kPlans, u"ann"_s, gmt(10));
    const qlonglong unnamed2 = row(QVariant(), kPlans, u"ann"_s, gmt(11));
    row(kFile, kPlans, u"ann"_s, gmt(25), u"F"_s, 7);

    QList<qlonglong> shown = tree();
    std::sort(shown.begin(), shown.end());
    EXPECT_EQ(shown, (QList<qlonglong>{v2, zeta, loose2, unnamed1, unnamed2}));
    EXPECT_EQ(archived(v2), QList<qlonglong>{v1});
    EXPECT_EQ(archived(loose2), QList<qlonglong>{loose1}) << "Null and empty are one folder";
    EXPECT_TRUE(archived(zeta).isEmpty());
    EXPECT_TRUE(archived(unnamed2).isEmpty());

    // Deleting the current version brings the newest archived one back.
    actAs(u"bob"_s);
    prompt.answer(PromptAnswer::Yes);
    ASSERT_TRUE(deleteDocument(session, prompt, v2));
    EXPECT_TRUE(tree().contains(v1));
    EXPECT_EQ(prompt.last().text, u"Are you sure?"_s);
}

TEST_P(FileCabinetTest, EachUserSeesHisFolders)
{
    const qlonglong plans = row(kFile, kPlans, u"ann"_s, gmt(10));
    const qlonglong zeta = row(kFile, kZeta, u"ann"_s, gmt(10));
    const qlonglong loose = row(kFile, QVariant(), u"ann"_s, gmt(10));
    const qlonglong elsewhere = row(kFile, u"Hidden"_s, u"ann"_s, gmt(10));
    struct Case
    {
        const char* user;
        QList<qlonglong> shown;
        bool none;
    };
    const Case cases[] = {
        {"bob", {plans, loose}, false},
        {"cy", {}, true},
        {"Admin", {plans, zeta, loose, elsewhere}, false},
    };
    for (const Case& c : cases) {
        actAs(QString::fromLatin1(c.user));
        QList<qlonglong> shown = tree();
        std::sort(shown.begin(), shown.end());
        EXPECT_EQ(shown, c.shown) << c.user;
        const FolderAccess access = folderAccess(db(), session.user.record);
        EXPECT_EQ(access.none(), c.none) << c.user;
        for (const qlonglong number : {plans, zeta, loose, elsewhere})
            EXPECT_EQ(!refuseUnlessVisible(db(), session.user.record, *readDocument(db(), number)),
                      c.shown.contains(number))
                << c.user << " " << number;
    }
    EXPECT_TRUE(grantedFolders(db(), u"admin"_s).contains(u"Other"_s))
        << "every folder, granted or not";
}

// Move and rename after Yes take the document's archived versions and nothing else: not the
// same name in another folder, not a task's attachment of that name.
TEST_P(FileCabinetTest, MoveAndRenameTakeOnlyTheDocumentsVersions)
{
    struct Case
    {
        const char* command;
        PromptAnswer archivedToo;
    };
    const Case cases[] = {{"move", PromptAnswer::Yes},
                          {"move", PromptAnswer::No},
                          {"rename", PromptAnswer::Yes},
                          {"rename", PromptAnswer::No}};
    for (const Case& c : cases) {
        db().execute(u"DELETE FROM ATTACH"_s);
        const qlonglong v1 = row(kFile, kPlans, u"bob"_s, gmt(10));
        const qlonglong v2 = row(kFile, kPlans, u"ann"_s, gmt(11));
        const qlonglong zeta = row(kFile, kZeta, u"ann"_s, gmt(12));
        const qlonglong task = row(kFile, kPlans, u"ann"_s, gmt(9), u"F"_s, 7);
        const bool move = QLatin1String(c.command) == QLatin1String("move");
        session.currentWorkshopId = 0;
        Outcome<Done> done;
        if (move) {
            prompt.answer(c.archivedToo);
            done = moveDocument(session, prompt, v2, u"Other"_s);
        } else {
            prompt.answerInput(u"C:\\docs\\new.txt"_s).answer(c.archivedToo);
            done = renameDocument(session, prompt, v2);
        }
        ASSERT_TRUE(done) << c.command;
        const QString field = move ? u"Category"_s : u"Attach_Filename"_s;
        const QString changed = move ? u"Other"_s : u"new.txt"_s;
        const QString unchanged = move ? kPlans : kFile;
        EXPECT_EQ(column(v2, field), changed) << c.command;
        EXPECT_EQ(column(v1, field), c.archivedToo == PromptAnswer::Yes ? changed : unchanged)
            << c.command;
        EXPECT_EQ(column(zeta, field), move ? kZeta : kFile) << c.command;
        EXPECT_EQ(column(task, field), unchanged) << c.command;
        if (!move) {
            // Titles rebuilt from the new name, each row's owner and its own local date.
            EXPECT_EQ(column(v2, u"Attach_Title"_s), u"new.txt, ann, 2024-01-11 09:00"_s);
            EXPECT_EQ(prompt.records().at(0).title, u"Brindlepax 2006"_s);
        }
        prompt.clear();
    }
}

TEST_P(FileCabinetTest, OnlyTheCurrentOwnerOrAnAdministratorChangesADocument)
{
    const qlonglong v1 = row(kFile, kPlans, u"ann"_s, gmt(10));
    const qlonglong v2 = row(kFile, kPlans, u"bob"_s, gmt(11));
    const qlonglong memo = row(u"Notes"_s, kPlans, u"ann"_s, gmt(10), u"M"_s);
    const qlonglong hidden = row(kFile, kZeta, u"bob"_s, gmt(10));

    // ann owns the archived version only; bob may not see Zeta.
    EXPECT_EQ(
        deleteDocument(session, prompt, v1).refusal()->message,
        u"Only the owner of the current version of this document or an administrator may move, rename or delete it."_s);
    EXPECT_EQ(renameDocument(session, prompt, memo).refusal()->message,
              u"Only file documents can be given a new file name."_s);
    actAs(u"bob"_s);
    EXPECT_EQ(deleteDocument(session, prompt, hidden).refusal()->message,
              u"You do not have access to the folder of this document."_s);
    EXPECT_EQ(moveDocument(session, prompt, v2, kZeta).refusal()->message,
              u"You do not have access to the folder of this document."_s);
    // An administrator who is not the owner is asked; No leaves the document.
    actAs(u"bob"_s, true);
    prompt.answer(PromptAnswer::No);
    const Outcome<Done> declined = deleteDocument(session, prompt, memo);
    EXPECT_FALSE(declined);
    EXPECT_FALSE(declined.refusal());
    EXPECT_TRUE(readDocument(db(), memo));
}

TEST_P(FileCabinetTest, DeletingAFormTakesItsValues)
{
    const qlonglong form = row(u"Order"_s, kPlans, u"ann"_s, gmt(10), u"X"_s);
    const QString control =
        u"INSERT INTO CONTROL (FORM_NAME, CONTROL_KEY, ATTACH_NUMBER, VALUE) VALUES ('Order', 1, "
        "?, 'x')"_s;
    db().execute(control, {form});
    db().execute(control, {form + 1000});
    prompt.answer(PromptAnswer::Yes);
    ASSERT_TRUE(deleteDocument(session, prompt, form));
    EXPECT_EQ(db().scalar(u"SELECT COUNT(*) FROM CONTROL"_s).toInt(), 1);
    EXPECT_FALSE(readDocument(db(), form));
}

// A shared document is never rewritten: each save adds a version and the old one stays.
TEST_P(FileCabinetTest, SavingASharedDocumentPublishesAVersion)
{
    session.currentWorkshopId = 0;
    const qlonglong memo = row(u"Notes"_s, kPlans, u"bob"_s, gmt(10), u"M"_s);
    test::setAttachContent(db(), memo, "old text");
    const Outcome<qlonglong> edited =
        memo::rewrite(db(), memo, u"Notes"_s, u"new text"_s, authorOf(session));
    ASSERT_TRUE(edited);
    EXPECT_NE(*edited, memo);
    EXPECT_EQ(memo::readText(db(), memo), u"old text"_s);
    EXPECT_EQ(memo::readText(db(), *edited), u"new text"_s);
    EXPECT_EQ(column(*edited, u"Attach_Owner"_s), u"ann"_s);
    EXPECT_EQ(archived(*edited), QList<qlonglong>{memo});

    // So is a form saved over its opened copy.
    forms::FormCopy form;
    form.form = u"Order"_s;
    const auto saveForm = [&](forms::SaveMode mode) {
        return forms::saveCopy(db(), mode, form, {}, placeFor(session, kPlans), u"ann"_s, gmt(12),
                               true);
    };
    form.attachNumber = *saveForm(forms::SaveMode::Add);
    const Outcome<qlonglong, int> resaved = saveForm(forms::SaveMode::Open);
    ASSERT_TRUE(resaved);
    EXPECT_EQ(archived(*resaved), QList<qlonglong>{form.attachNumber});

    // A save-back after another client published a version: the question names him; Yes adds.
    const qlonglong file = row(kFile, kPlans, u"bob"_s, gmt(10));
    test::setAttachContent(db(), file, "v1");
    Outcome<attachments::ViewerCopy> copy = attachments::exportForViewer(db(), file);
    ASSERT_TRUE(copy);
    EXPECT_FALSE(attachments::newerVersion(db(), *copy));
    const qlonglong other = row(kFile, kPlans, u"bob"_s, gmt(20));
    const auto newer = attachments::newerVersion(db(), *copy);
    ASSERT_TRUE(newer);
    EXPECT_EQ(newer->owner, u"bob"_s);
    EXPECT_EQ(newer->number, other);
    ASSERT_TRUE(test::writeFile(copy->path, "mine"));
    attachments::ViewerCopy c = *copy;
    ASSERT_TRUE(attachments::saveBack(db(), c, authorOf(session)));
    EXPECT_GT(c.newest, other);
    EXPECT_EQ(test::attachContent(db(), file), QByteArray("v1"));
    EXPECT_EQ(test::attachContent(db(), c.newest), QByteArray("mine"));
    EXPECT_EQ(archived(c.newest), (QList<qlonglong>{other, file}));
    EXPECT_FALSE(attachments::newerVersion(db(), c));
    attachments::removeViewerCopy(file);
}

// Two connections publishing one document at once both keep their version.
TEST_P(FileCabinetTest, TwoClientsPublishingAtOnceKeepBoth)
{
    const qlonglong doc = row(kFile, kPlans, u"bob"_s, gmt(10));
    std::unique_ptr<Database> other = connectAgain();
    other->setQueryTimeout(30);
    qlonglong first = 0;
    qlonglong second = 0;
    {
        Transaction tx(db());
        first = *attachments::publishVersion(db(), doc, {}, {u"ann"_s, gmt(11)});
        std::thread client([&] {
            second = *attachments::publishVersion(*other, doc, {}, {u"bob"_s, gmt(11)});
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        tx.commit();
        client.join();
    }
    ASSERT_NE(first, second);
    const qlonglong current = std::max(first, second);
    EXPECT_EQ(tree(), QList<qlonglong>{current});
    EXPECT_EQ(archived(current), (QList<qlonglong>{std::min(first, second), doc}));
}

BX_INSTANTIATE_ENGINES(FileCabinetTest);

} // namespace
