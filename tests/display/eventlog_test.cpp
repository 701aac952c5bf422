#include "display/eventlog.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>

namespace zq4 {
namespace {

const QTime kTime(14, 3, 7, 123);

QByteArray bytes(std::initializer_list<int> values) {
    QByteArray result;
    for (const int value : values) {
        result.append(static_cast<char>(static_cast<std::uint8_t>(value)));
    }
    return result;
}

DecodedFrame frame(const QByteArray& field, int brightness, int message, int address) {
    const QByteArray codes = bytes({brightness, message, address, 0xFF, 0xFE});
    return DecodedFrame{field, static_cast<std::uint8_t>(brightness),
                        static_cast<std::uint8_t>(message), static_cast<std::uint8_t>(address),
                        field + codes};
}

TEST(EventLog, FrameLineShowsLabelsAndTheQuotedTextField) {
    struct Case {
        DecodedFrame frame;
        const char* expected;
    };
    const Case cases[] = {
        {frame("    HOLD     ", 0, 20, 5),
         "14:03:07.123  address 5  brightness 4  message \"020  Time In Hold \"  "
         "text \"    HOLD     \""},
        {frame(QByteArray(13, ' '), 3, 129, 128),
         "14:03:07.123  address ALL  brightness 1  message \"129 (65)  UTC\"  "
         "text \"             \""},
        {frame("ABCDEFGHIJKLM", 1, 137, 0),
         "14:03:07.123  address 0  brightness 3  message \"137 (73)  \"  text \"ABCDEFGHIJKLM\""},
        // A text that looks like place markers is shown as it is.
        {frame("     %1%2    ", 2, 163, 127),
         "14:03:07.123  address 127  brightness 2  message \"163 (99)\"  text \"     %1%2    \""},
    };
    for (const Case& c : cases) {
        EventLog log(false);
        EXPECT_EQ(log.line(c.frame, kTime).toStdString(), c.expected);
    }
}

TEST(EventLog, QuotedTextEscapesWhatWouldBeAmbiguousOrInvisible) {
    struct Case {
        QByteArray field;
        QString expected;
    };
    const Case cases[] = {
        {"  spaced  ", QStringLiteral("\"  spaced  \"")},
        {"say \"hi\"", QStringLiteral("\"say \\\"hi\\\"\"")},
        {"a\\b", QStringLiteral("\"a\\\\b\"")},
        {bytes({0x20, 0xE9, 0x80, 0x20}), QStringLiteral("\" é€ \"")},
        // 0x81 has no character in the code page; 0x09 and 0x7F are control bytes.
        {bytes({0x41, 0x81, 0x09, 0x7F, 0x42}), QStringLiteral("\"A\\x81\\x09\\x7FB\"")},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(QuotedText(c.field), c.expected) << c.field.toHex(' ').toStdString();
    }
}

TEST(EventLog, HexOptionAddsTheRawBytesToFrameLines) {
    const DecodedFrame allDisplays = frame(QByteArray(13, ' '), 3, 129, 128);
    EventLog log(true);
    EXPECT_TRUE(log.line(allDisplays, kTime)
                    .endsWith(QStringLiteral("  bytes: 20 20 20 20 20 20 20 20 20 20 20 20 20 "
                                             "03 81 80 FF FE")));
}

TEST(EventLog, MalformedAndSkippedLinesShowLengthAndBytes) {
    EventLog log(false);
    EXPECT_EQ(
        log.line(MalformedFrame{MalformedReason::TooShort, bytes({0x00, 0x14, 0x05, 0xFF, 0xFE})},
                 kTime),
        QStringLiteral("14:03:07.123  malformed frame (too short), 5 bytes: "
                       "00 14 05 FF FE"));
    EXPECT_EQ(log.line(MalformedFrame{MalformedReason::AddressOutOfRange,
                                      frame("    HOLD     ", 0, 20, 0xA0).raw},
                       kTime),
              QStringLiteral("14:03:07.123  malformed frame (address code out of range), "
                             "18 bytes: 20 20 20 20 48 4F 4C 44 20 20 20 20 20 00 14 A0 FF FE"));
    EXPECT_EQ(log.line(SkippedBytes{bytes({0x01, 0xFF})}, kTime),
              QStringLiteral("14:03:07.123  skipped 2 bytes: 01 FF"));
}

TEST(EventLog, LongNoiseShowsItsLengthAndTheFirstBytes) {
    EventLog log(false);
    const QString line = log.line(SkippedBytes{QByteArray(1000, 'x')}, kTime);
    EXPECT_TRUE(line.startsWith(QStringLiteral("14:03:07.123  skipped 1000 bytes: 78 78 ")));
    EXPECT_TRUE(line.endsWith(QStringLiteral("78 ...")));
    EXPECT_EQ(line.count(QStringLiteral("78")), 48);
}

TEST(EventLog, SummaryCountsEveryKindOfEvent) {
    EventLog log(false);
    EXPECT_EQ(log.summary(), QStringLiteral("summary: 0 frames, 0 malformed frames, "
                                            "0 skipped bytes"));
    (void)log.line(frame("    HOLD     ", 0, 20, 5), kTime);
    (void)log.line(frame("    HOLD     ", 0, 20, 6), kTime);
    (void)log.line(MalformedFrame{MalformedReason::TooShort, bytes({0xFF, 0xFE})}, kTime);
    (void)log.line(SkippedBytes{QByteArray(7, 'x')}, kTime);
    EXPECT_EQ(log.unfinishedLine(bytes({0x20, 0x20, 0x41}), kTime),
              QStringLiteral("14:03:07.123  unfinished frame at exit, 3 bytes: 20 20 41"));
    EXPECT_EQ(log.summary(), QStringLiteral("summary: 2 frames, 1 malformed frames, "
                                            "10 skipped bytes"));
}

} // namespace
} // namespace zq4
