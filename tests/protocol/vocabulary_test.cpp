#include "protocol/vocabulary.h"

#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QSet>

#include <set>
#include <vector>

namespace zq4 {
namespace {

TEST(MessageLabels, HasOneLabelPerCode) {
    EXPECT_EQ(MessageLabels().size(), 164);
    EXPECT_EQ(QSet<QString>(MessageLabels().cbegin(), MessageLabels().cend()).size(), 164);
}

TEST(MessageLabels, EveryLabelStartsWithItsCodeInThreeDigits) {
    const QStringList& labels = MessageLabels();
    for (int code = 0; code < labels.size(); ++code) {
        EXPECT_TRUE(labels[code].startsWith(QString::asprintf("%03d", code)))
            << labels[code].toStdString();
    }
}

TEST(MessageLabels, LowerBlockIsDigitsAloneOrDigitsTwoSpacesAndName) {
    const QRegularExpression pattern(QStringLiteral("^\\d{3}(  \\S.*)?$"));
    const QStringList& labels = MessageLabels();
    for (int code = 0; code <= 128; ++code) {
        EXPECT_TRUE(pattern.match(labels[code]).hasMatch()) << labels[code].toStdString();
    }
}

TEST(MessageLabels, OnlyTheListedLowerCodesCarryAName) {
    std::set<int> named;
    for (int code = 0; code <= 128; ++code) {
        if (MessageLabels()[code].size() > 3) {
            named.insert(code);
        }
    }
    const std::set<int> expected{0,  1,  2,  3,  4,  5,  6,  7,  20, 21, 22,
                                 23, 24, 25, 26, 29, 30, 31, 32, 33, 34};
    EXPECT_EQ(named, expected);
}

TEST(MessageLabels, UpperBlockCarriesTheCodeLessSixtyFourInBrackets) {
    const QStringList& labels = MessageLabels();
    for (int code = 129; code < 164; ++code) {
        const QString prefix = QString::asprintf("%03d (%d)", code, code - 64);
        const QString& label = labels[code];
        ASSERT_TRUE(label.startsWith(prefix)) << label.toStdString();
        const QString rest = label.mid(prefix.size());
        EXPECT_TRUE(rest.isEmpty() || rest.startsWith(QStringLiteral("  "))) << label.toStdString();
        EXPECT_EQ(rest.trimmed(), rest.trimmed().toUpper()) << label.toStdString();
    }
}

TEST(MessageLabels, PositionOneTwentyEightHasNoBracketedNumber) {
    EXPECT_EQ(MessageLabels()[128], QStringLiteral("128"));
}

TEST(MessageLabels, KeepTheirTrailingSpacesAndOnlyThoseThreeHaveAny) {
    const QStringList& labels = MessageLabels();
    EXPECT_EQ(labels[20], QStringLiteral("020  Time In Hold "));
    EXPECT_EQ(labels[137], QStringLiteral("137 (73)  "));
    EXPECT_EQ(labels[138], QStringLiteral("138 (74)  "));
    for (int code = 0; code < labels.size(); ++code) {
        if (code != 20 && code != 137 && code != 138) {
            EXPECT_FALSE(labels[code].endsWith(u' ')) << labels[code].toStdString();
        }
    }
}

TEST(MessageLabels, SpotChecksOfExactLabels) {
    const std::vector<std::pair<int, QString>> cases{
        {0, QStringLiteral("000  CUSTOM")},
        {2, QStringLiteral("002  PLT UTC of T=0")},
        {5, QStringLiteral("005  T-Count (Min Sec)")},
        {8, QStringLiteral("008")},
        {27, QStringLiteral("027")},
        {34, QStringLiteral("034  UTC Start of Operation")},
        {35, QStringLiteral("035")},
        {129, QStringLiteral("129 (65)  UTC")},
        {130, QStringLiteral("130 (66)  UTC OF T-0")},
        {140, QStringLiteral("140 (76)")},
        {146, QStringLiteral("146 (82)")},
        {161, QStringLiteral("161 (97)  OP STARTS AT")},
        {162, QStringLiteral("162 (98)")},
        {163, QStringLiteral("163 (99)")},
    };
    for (const auto& [code, label] : cases) {
        EXPECT_EQ(MessageLabels()[code], label);
    }
}

TEST(BrightnessLabels, RunOppositeToTheirCodes) {
    const QStringList& labels = BrightnessLabels();
    EXPECT_EQ(labels, QStringList({"4", "3", "2", "1"}));
    EXPECT_EQ(labels.indexOf(QStringLiteral("1")), 3);
    EXPECT_EQ(labels.indexOf(QStringLiteral("4")), 0);
}

TEST(AddressText, ShowsAllForOneTwentyEightAndDecimalOtherwise) {
    const std::vector<std::pair<int, QString>> cases{
        {0, QStringLiteral("0")},     {5, QStringLiteral("5")},     {10, QStringLiteral("10")},
        {127, QStringLiteral("127")}, {128, QStringLiteral("ALL")},
    };
    for (const auto& [address, text] : cases) {
        EXPECT_EQ(AddressText(address), text) << address;
    }
}

} // namespace
} // namespace zq4
