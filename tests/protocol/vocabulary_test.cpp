#include "protocol/vocabulary.h"

#include <gtest/gtest.h>

namespace zq4 {
namespace {

TEST(MessageLabels, EachStartsWithItsCodeAndTheUpperBlockWithTheCodeLessSixtyFour) {
    const QStringList& labels = MessageLabels();
    ASSERT_EQ(labels.size(), 164);
    for (int code = 0; code < labels.size(); ++code) {
        const QString& label = labels[code];
        const QString prefix = code > 128 ? QString::asprintf("%03d (%d)", code, code - 64)
                                          : QString::asprintf("%03d", code);
        EXPECT_TRUE(label == prefix || label.startsWith(prefix + "  ")) << label.toStdString();
        EXPECT_EQ(label.endsWith(' '), code == 20 || code == 137 || code == 138) << code;
    }
    EXPECT_EQ(QStringList({labels[20], labels[128], labels[137], labels[138]}),
              QStringList({"020  Time In Hold ", "128", "137 (73)  ", "138 (74)  "}));
}

} // namespace
} // namespace zq4
