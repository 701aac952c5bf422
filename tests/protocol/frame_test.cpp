#include "protocol/frame.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace zq4 {
namespace {

QByteArray bytes(std::initializer_list<std::uint8_t> values) {
    QByteArray result;
    for (const std::uint8_t value : values) {
        result.append(static_cast<char>(value));
    }
    return result;
}

QByteArray spaces(int count) {
    return QByteArray(count, ' ');
}

const QByteArray kEndMarker = bytes({0xFF, 0xFE});

TEST(BuildFrame, HoldTextWithBrightnessFourMessageTwentyAddressFive) {
    const FrameInputs inputs{QStringLiteral("HOLD"), 0, 20, 5};
    EXPECT_EQ(BuildFrame(inputs), bytes({0x20, 0x20, 0x20, 0x20, 0x48, 0x4F, 0x4C, 0x44, 0x20, 0x20,
                                         0x20, 0x20, 0x20, 0x00, 0x14, 0x05, 0xFF, 0xFE}));
}

TEST(BuildFrame, EmptyTextWithBrightnessOneMessageUtcToAllDisplays) {
    const FrameInputs inputs{QString(), 3, 129, 128};
    EXPECT_EQ(BuildFrame(inputs), spaces(13) + bytes({0x03, 0x81, 0x80, 0xFF, 0xFE}));
}

struct CentringCase {
    QString text;
    int left;
    int right;
};

TEST(TextField, CentresWithTheOddSpaceOnTheRight) {
    const std::vector<CentringCase> cases{
        {QString(), 6, 7},
        {QStringLiteral("A"), 6, 6},
        {QStringLiteral("HOLD"), 4, 5},
        {QStringLiteral("ABCDEFGHIJKL"), 0, 1},
        {QStringLiteral("ABCDEFGHIJKLM"), 0, 0},
        {QStringLiteral(" x "), 5, 5},
    };
    for (const CentringCase& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        const auto field = TextField(c.text);
        ASSERT_TRUE(field.has_value());
        EXPECT_EQ(*field, QString(c.left, u' ') + c.text + QString(c.right, u' '));
    }
}

TEST(TextField, CountsACharacterOutsideTheBasicPlaneOnce) {
    // U+1F600 takes two UTF-16 units but is one character, so it is centred as one.
    const QString face = QString::fromUcs4(U"\U0001F600", 1);
    const auto field = TextField(face);
    ASSERT_TRUE(field.has_value());
    EXPECT_EQ(*field, QString(6, u' ') + face + QString(6, u' '));

    const QString thirteen = face.repeated(13);
    EXPECT_EQ(TextField(thirteen), thirteen);
    EXPECT_FALSE(TextField(face.repeated(14)).has_value());
}

TEST(TextField, FailsForTextLongerThanThirteenCharacters) {
    EXPECT_FALSE(TextField(QStringLiteral("ABCDEFGHIJKLMN")).has_value());
    EXPECT_FALSE(TextField(QString(100, u'x')).has_value());
}

TEST(BuildFrame, FourteenCharacterTextLeavesOutOnlyTheTextField) {
    const FrameInputs inputs{QStringLiteral("ABCDEFGHIJKLMN"), 1, 2, 3};
    EXPECT_EQ(BuildFrame(inputs), bytes({0x01, 0x02, 0x03, 0xFF, 0xFE}));
}

TEST(CodeBytes, CarriesEachCodeAsAnUnsignedByteInOrder) {
    EXPECT_EQ(CodeBytes(0, 0, 0), bytes({0x00, 0x00, 0x00}));
    EXPECT_EQ(CodeBytes(3, 128, 128), bytes({0x03, 0x80, 0x80}));
    EXPECT_EQ(CodeBytes(2, 163, 127), bytes({0x02, 0xA3, 0x7F}));
    EXPECT_EQ(CodeBytes(255, 255, 255), bytes({0xFF, 0xFF, 0xFF}));
}

struct CodeCase {
    int brightness;
    int message;
    int address;
};

TEST(CodeBytes, FailsWholeWhenAnyCodeIsOutOfRange) {
    const std::vector<CodeCase> cases{
        {-1, 0, 0},  {0, -1, 0},  {0, 0, -1},   {256, 0, 0},
        {0, 256, 0}, {0, 0, 256}, {-1, -1, -1}, {3, 163, 1000},
    };
    for (const CodeCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.brightness << ' ' << c.message << ' ' << c.address);
        EXPECT_FALSE(CodeBytes(c.brightness, c.message, c.address).has_value());

        const FrameInputs inputs{QStringLiteral("HOLD"), static_cast<std::int16_t>(c.brightness),
                                 static_cast<std::int16_t>(c.message),
                                 static_cast<std::int16_t>(c.address)};
        EXPECT_EQ(BuildFrame(inputs), spaces(4) + QByteArray("HOLD") + spaces(5) + kEndMarker);
    }
}

TEST(BuildFrame, KeepsTheEndMarkerWhenBothOtherPiecesFail) {
    const FrameInputs inputs{QString(20, u'x'), 0, -1, 0};
    EXPECT_EQ(BuildFrame(inputs), kEndMarker);
}

TEST(EndMarker, IsFfThenFe) {
    EXPECT_EQ(EndMarker(), kEndMarker);
}

TEST(BuildFrame, EveryCompleteFrameIsEighteenBytesEndingWithTheOnlyEndMarker) {
    // Texts that include the end marker's characters and characters the code page lacks.
    const std::vector<QString> texts{
        QString(),
        QStringLiteral("\u00FF\u00FE"),
        QStringLiteral("\u00FF\u00FE\u00FF\u00FE\u00FF\u00FE\u00FF"),
        QStringLiteral("\t\r\n\u007F"),
        QStringLiteral("Caf\u00E9 \u20AC5 \u0100"),
        QString(13, u'\u00FF'),
    };
    for (const QString& text : texts) {
        for (int message = 0; message < 164; ++message) {
            for (const int brightness : {0, 3}) {
                for (const int address : {0, 5, 127, 128}) {
                    const FrameInputs inputs{text, static_cast<std::int16_t>(brightness),
                                             static_cast<std::int16_t>(message),
                                             static_cast<std::int16_t>(address)};
                    const QByteArray frame = BuildFrame(inputs);
                    ASSERT_EQ(frame.size(), kFrameLength) << message;
                    ASSERT_EQ(frame.indexOf(kEndMarker), kFrameLength - 2) << message;
                    ASSERT_EQ(static_cast<std::uint8_t>(frame[14]), message);
                }
            }
        }
    }
}

} // namespace
} // namespace zq4
