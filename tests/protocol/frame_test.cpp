#include "protocol/frame.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <vector>

namespace zq4 {
namespace {

TEST(BuildFrame, JoinsTextFieldCodesAndEndMarkerLeavingOutWhatCannotBeBuilt) {
    const std::vector<std::pair<FrameInputs, const char*>> cases{
        {{"HOLD", 0, 20, 5}, "20 20 20 20 48 4f 4c 44 20 20 20 20 20 00 14 05 ff fe"},
        {{"", 3, 163, 128}, "20 20 20 20 20 20 20 20 20 20 20 20 20 03 a3 80 ff fe"},
        {{"ABCDEFGHIJKLMN", 1, 2, 3}, "01 02 03 ff fe"},
        {{"HOLD", -1, 20, 5}, "20 20 20 20 48 4f 4c 44 20 20 20 20 20 ff fe"},
        {{"HOLD", 0, 20, 256}, "20 20 20 20 48 4f 4c 44 20 20 20 20 20 ff fe"}};
    for (const auto& [inputs, frame] : cases) {
        EXPECT_EQ(BuildFrame(inputs).toHex(' '), frame) << inputs.text.toStdString();
    }
}

TEST(TextField, CentresUpToThirteenCharactersAndAStoredTextKeepsItsFirstThirteen) {
    // U+1F600 takes two UTF-16 units but is one character.
    const QString face = QString::fromUcs4(U"\U0001F600", 1);
    // Each field as it must come out: the text put in is the field without its spaces.
    const QStringList fields{"             ",  "      A      ", "    HOLD     ",
                             "ABCDEFGHIJKL ",  "ABCDEFGHIJKLM", "      " + face + "      ",
                             face.repeated(13)};
    for (const QString& field : fields) {
        EXPECT_EQ(TextField(field.trimmed()), field) << field.toStdString();
    }
    EXPECT_FALSE(TextField("ABCDEFGHIJKLMN").has_value());
    EXPECT_FALSE(TextField(face.repeated(14)).has_value());
    // A stored text, which the operator did not type, keeps its first 13 whole characters.
    const QString letters = QStringLiteral("ABCDEFGHIJKLM");
    for (const auto& [stored, kept] : {std::pair(face.repeated(13), face.repeated(13)),
                                       {letters.first(12) + face, letters.first(12) + face},
                                       {face.repeated(14), face.repeated(13)},
                                       {letters + face, letters}}) {
        EXPECT_EQ(RestoredCustomText(stored), kept) << stored.toStdString();
    }
}

} // namespace
} // namespace zq4
