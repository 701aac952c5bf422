#pragma once

#include "core/status.h"
#include "protocol/frame.h"
#include "serial/lineshareloader.h"

#include <QLocalServer>
#include <QObject>
#include <QString>

#include <chrono>
#include <functional>
#include <optional>

class QLocalSocket;

namespace zq4 {

// A script's `zq4 send` and a window of the same user that holds the line share it: the window
// takes the script's frame and writes it in turn with its own SENDs. They meet on a channel only
// that user may open, named by the line's device: a local socket in the user's runtime folder on
// Linux, a named pipe on Windows. One connection carries one frame, each message one line of JSON:
//   script: the request  {"device":..., "text":..., "brightness":..., "message":..., "address":...}
//   window: {"answer":"accepted"}, or "absent" (it no longer holds the line: nothing was sent), or
//           "refused" with an "error" (nothing was sent)
//   script: {"send":true}  (from here on the script never opens the line itself)
//   window: {"answer":"sent"}, or "failed" with the "error" the window's own SEND would meet
// So a frame goes out at most once: the window writes it only once the script has confirmed, and
// a script confirms only an acceptance that came in time.

// How long the window may take to accept a request, and a script to make and confirm one: beyond
// it the window counts as absent, or the script's connection is dropped.
inline constexpr std::chrono::milliseconds kShareAnswerTime{1000};
// How long a frame the window has written may take to leave its port, the frames ahead of it
// included: the line time a busy line lets frames wait, plus the margin closing a port allows.
inline constexpr std::chrono::milliseconds kShareSendTime{3000};
// The largest request taken: a device path and 13 characters of text fit many times over.
inline constexpr qsizetype kShareRequestLimit = 2048;

// Where a program that holds the device takes frames from this user's scripts: on Linux a socket
// in $XDG_RUNTIME_DIR, or in /run/user/<uid> where that is unset (as under cron), named by the
// device the path leads to; on Windows a pipe named by the user and the device. Fails, saying
// why, when the folder is missing or not the user's own (others may use it).
Result<QString> LineShareName(const QString& device);

// A frame's values for a device, as a script hands them over.
struct ShareRequest {
    QString device; // the device the path leads to (LineDevice; upper case on Windows)
    FrameInputs inputs;
};
// The request's line, newline included.
QByteArray ShareRequestBytes(const ShareRequest& request);
// A request's line (without its newline) when it is whole and valid: exactly the five values,
// each in the range `zq4 send` takes (a text of at most 13 characters the display can show, the
// brightness, message and address codes); otherwise why not, for the log.
Result<ShareRequest> ParseShareRequest(const QByteArray& line);

// Hands the frame to a window of this user that holds the device. No value when none took it
// (no window listens, or none accepted within kShareAnswerTime): nothing was sent, and the
// caller opens the line itself. Otherwise the outcome: done when the frame has left the window's
// port; failed with the window's text (a closed port, a write the line refused), or, naming
// `where` (the port and its device), when the wait ended before the window told.
std::optional<Status> HandFrameToWindow(const QString& device, const QString& where,
                                        const FrameInputs& inputs,
                                        const ShareInterruption& interruption);

// A frame a script has handed over and confirmed, as the window takes it.
class SharedFrame final : public QObject {
public:
    SharedFrame(FrameInputs inputs, QLocalSocket& socket, QObject* parent);

    const FrameInputs& inputs() const { return m_inputs; }
    // Tells the script whether its frame went out and ends the exchange; only the first call
    // counts, and none reaches a script that has gone.
    void finish(const Status& outcome);

private:
    FrameInputs m_inputs;
    QLocalSocket& m_socket;
    bool m_finished = false;
};

// The window's end of the channel for one device. Only a whole, valid request that comes
// within kShareAnswerTime and kShareRequestLimit, for the device listened for, is taken, and only
// a confirmation that follows it in time hands the frame over; anything else is refused, logged
// and never reaches the line. Owner-only: the socket's mode is 0700 in a folder of the user's own
// (Windows: a pipe only the user may open).
class LineShareServer final : public QObject {
public:
    // What the program that holds the line does with the scripts' frames.
    struct Holder {
        // Whether it still holds the line (its port is open on the device): a request that comes
        // when it does not is answered "absent".
        std::function<bool()> holdsLine;
        // Writes the frame in turn with its own, and answers through finish(), then or later.
        std::function<void(SharedFrame&)> send;
        // Where refusals are told, one line each; standard error when not set.
        std::function<void(const QString&)> log;
    };

    explicit LineShareServer(Holder holder, QObject* parent = nullptr);
    ~LineShareServer() override;

    // Listens for the device's scripts, in place of any device listened for before. Fails when
    // there is no channel of the user's own for it, or another program answers on it.
    Status listen(const QString& device);
    // Stops listening; scripts whose frames were not handed over yet find no window.
    void close();
    bool isListening() const { return m_server.isListening(); }
    // The device listened for, as the path leads to it; empty when none.
    QString device() const { return m_device; }
    // Whether it listens for the device the path leads to.
    bool isFor(const QString& device) const;
    // Tells the holder's log, or standard error.
    void log(const QString& text) const;

private:
    friend class ShareExchange;
    void onNewConnection();

    Holder m_holder;
    QLocalServer m_server;
    QString m_device;
};

} // namespace zq4
