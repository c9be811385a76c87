#include "messaging/Pop3Answers.h"

#include "support/FuzzFinds.h"

#include <gtest/gtest.h>

using namespace bx;
using namespace Qt::StringLiterals;

// A server's LIST and UIDL answers are outside data: a line that does not fit is passed over, so
// that a negative size never passes the size limit of a fetch and no control character reaches
// an id the mailbox keeps (the hostile answer is kept from the fuzz target pop3_answers).
TEST(Pop3Answers, LinesThatDoNotFitArePassedOver)
{
    const QByteArray hostile = test::fuzzFind("pop3_answers", "hostile-answer");
    EXPECT_EQ(pop3::readListing(hostile), QList<Pop3Listing>{})
        << "no line of it holds a number above 0 and a size not below 0";

    const QHash<int, QString> ids = pop3::readUniqueIds(hostile);
    EXPECT_EQ(ids.keys().size(), 3) << "not 3 (a control character), 4 (not ASCII) nor 0";
    EXPECT_EQ(ids.value(1), u"-5"_s);
    EXPECT_EQ(ids.value(2), u"abc"_s);
    EXPECT_EQ(ids.value(5), u"fine-id"_s);

    const struct
    {
        const char* answer;
        QList<Pop3Listing> listing;
    } cases[] = {
        {"1 120\r\n2 5400\r\n", {{1, 120}, {2, 5400}}},
        {"  3   88  \r\n\r\n.\r\n", {{3, 88}}},
        {"4 0\n", {{4, 0}}},
        {"5 99999999999999999999\r\n", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(pop3::readListing(c.answer), c.listing) << c.answer;
}
