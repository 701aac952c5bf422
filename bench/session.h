#pragma once

#include "linelistener.h"

#include "core/feedback.h"
#include "panel/controlpanel.h"
#include "protocol/frame.h"
#include "serial/devicediscovery.h"
#include "serial/qserialportadapter.h"
#include "settings/portmap.h"
#include "settings/qsettingsstore.h"

#include <QByteArray>
#include <QStringList>

class QPushButton;

namespace zq4::bench {

// What the operator would have been shown, in order, instead of beeps and modal boxes.
struct RecordingFeedback final : OperatorFeedback {
    void beep() override { shown.push_back(QStringLiteral("beep")); }
    void warn(const QString& title, const QString& text) override {
        shown.push_back(title + QStringLiteral(": ") + text);
    }
    QStringList shown;
};

// One window with its parts, put together as the program does, but with a feedback that
// records the warnings.
struct Session {
    QSettingsStore store;
    QSerialPortAdapter port{PortMap(store).lookup()};
    RecordingFeedback feedback;
    SystemDeviceDiscovery discovery;
    ControlPanel window{ControlPanelParts{store, port, feedback, discovery}};

    QPushButton* sendButton();
    bool portOpen() const;
};

// Shows the window and turns the event loop until the platform has exposed it (at most five
// seconds); whether it was.
bool showExposed(QWidget& window);

// The choices of the n-th send of a run: texts of 0 to 13 characters, and codes that make
// every frame of the run differ from the others, so a lost, doubled or reordered frame shows.
FrameInputs choicesFor(int n);
// Puts the choices into the window's controls, as the operator would before pressing SEND.
void choose(ControlPanel& window, const FrameInputs& choices);

// What reached the line's end against what was sent.
struct Delivery {
    int frames = 0;
    int whole = 0; // frames that arrived whole and in their place
    qsizetype bytes = 0;
    qsizetype expectedBytes = 0;

    bool complete() const { return whole == frames && bytes == expectedBytes; }
};

// The line's bytes from `base` on against the expected frames of the `frames` sends meant: a
// send that never happened counts as a frame lost.
Delivery delivered(const LineListener& listener, qsizetype base, const QByteArray& expected,
                   int frames);

} // namespace zq4::bench
