#pragma once

#include "protocol/framedecoder.h"

#include <QByteArrayView>
#include <QString>
#include <QTime>

namespace zq4 {

// Turns what the decoder found on the line into one line of text per event, and counts it.
class EventLog {
public:
    // With showHex, a frame's line ends with its raw bytes too.
    explicit EventLog(bool showHex) : m_showHex(showHex) {}

    // The line for an event received at the given time, without a line break.
    QString line(const DecoderEvent& event, const QTime& time);
    // The line for bytes of a frame that had not ended when the program stopped.
    QString unfinishedLine(const QByteArray& bytes, const QTime& time);
    // The closing line: counts of frames, malformed frames and skipped bytes.
    QString summary() const;

    int frames() const { return m_frames; }
    int malformed() const { return m_malformed; }
    qsizetype skippedBytes() const { return m_skippedBytes; }

private:
    QString frameLine(const DecodedFrame& frame) const;

    bool m_showHex = false;
    int m_frames = 0;
    int m_malformed = 0;
    qsizetype m_skippedBytes = 0;
};

} // namespace zq4
