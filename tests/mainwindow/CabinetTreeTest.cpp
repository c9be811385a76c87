#include "mainwindow/CabinetTree.h"

#include <QMimeData>

#include <gtest/gtest.h>
#include <memory>

using namespace Qt::StringLiterals;
using namespace bx;

namespace {

/** Rows as documentTreeQuery gives them: number, type, title, date, owner, category, file. */
ReadRows rows(std::initializer_list<std::pair<int, QVariant>> documents)
{
    ReadRows read;
    read.names = {u"ATTACH_NUMBER"_s, u"attach_type"_s, u"Attach_Title"_s,   u"Attach_Date"_s,
                  u"Attach_Owner"_s,  u"Category"_s,    u"Attach_Filename"_s};
    for (const auto& [number, category] : documents)
        read.rows.append({number, u"F"_s, u"Doc %1"_s.arg(number), QDateTime(), u"ann"_s, category,
                          u"d%1.txt"_s.arg(number)});
    return read;
}

/** The tree as text: each folder "path:documents", in order. */
QString shape(const CabinetTree& tree)
{
    QStringList out;
    for (const auto& folder : tree.top()->children) {
        QStringList docs;
        for (const auto& doc : folder->children)
            docs << doc->key.toString();
        out << folder->text + u':' + docs.join(u',');
    }
    return out.join(u'|');
}

// Who sees which folders: a granted user his folders (empty ones too) and the Unspecified Folder,
// "admin" everything, a user without grants the root alone.
TEST(CabinetTreeTest, FoldersFollowTheUsersAccess)
{
    const ReadRows read =
        rows({{1, QVariant()}, {2, u"Plans"_s}, {3, u"Secret"_s}, {4, QString()}, {5, u"plans"_s}});
    const auto path = [](const QString& c) { return u"Top\\"_s + c; };
    struct Case
    {
        const char* who;
        cabinet::FolderAccess access;
        const char* expected;
    };
    const Case cases[] = {
        {"granted",
         {false, {u"Plans"_s, u"Zeta"_s}},
         "Top\\Plans:2,5|Top\\Zeta:|Unspecified Folder:1,4"},
        {"admin", {true, {u"Plans"_s}}, "Top\\Plans:2,5|Top\\Secret:3|Unspecified Folder:1,4"},
        {"none", {false, {}}, ""},
    };
    for (const Case& c : cases) {
        CabinetTree tree;
        tree.build(read, c.access, path);
        EXPECT_EQ(shape(tree), QString::fromUtf8(c.expected)) << c.who;
        EXPECT_EQ(tree.rowCount(), 1) << c.who;
    }
}

// A document dragged onto another folder goes to the drop handler with that folder's stored
// category; onto its own folder or a document it cannot be dropped.
TEST(CabinetTreeTest, DropsHandTheDocumentAndTargetFolder)
{
    CabinetTree tree;
    tree.build(rows({{1, u"Plans"_s}, {2, QString()}}), {false, {u"Plans"_s}}, {});
    std::pair<qlonglong, QString> dropped{0, u"none"_s};
    tree.setDropHandler([&](qlonglong doc, const QString& folder) { dropped = {doc, folder}; });
    const QModelIndex plans = tree.indexOf(tree.findFolder(u"PLANS"_s));
    const QModelIndex loose = tree.indexOf(tree.findFolder(QString()));
    const QModelIndex doc = tree.indexOf(tree.findDocument(1));
    ASSERT_TRUE(plans.isValid() && loose.isValid() && doc.isValid());
    EXPECT_EQ(doc.data(CabinetTree::TagRole).toString(), u"ATTACH"_s);
    EXPECT_EQ(plans.data(CabinetTree::TagRole).toString(), u"SCR_CATEGORY"_s);

    const std::unique_ptr<QMimeData> data(tree.mimeData({doc}));
    ASSERT_TRUE(data);
    EXPECT_FALSE(tree.canDropMimeData(data.get(), Qt::MoveAction, -1, 0, plans));
    EXPECT_FALSE(tree.canDropMimeData(data.get(), Qt::MoveAction, -1, 0, doc));
    tree.dropMimeData(data.get(), Qt::MoveAction, -1, 0, loose);
    EXPECT_EQ(dropped, (std::pair<qlonglong, QString>{1, QString()}));
}

} // namespace
