#pragma once

#include "core/status.h"
#include "protocol/frame.h"
#include "settings/store.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace zq4 {

// What `zq4 send` was told. An option that was not given has no value: the panel's stored
// choice stands in for it.
struct SendOptions {
    std::optional<int> port;       // 1..9
    std::optional<QString> device; // a relative path made absolute from the current folder
    std::optional<int> address;    // address code 0..128
    std::optional<int> brightness; // brightness code 0..3
    std::optional<int> message;    // message code 0..163
    std::optional<QString> text;
    bool dryRun = false;
    bool verbose = false;
    bool help = false;
};

// Each turns one option's value into what the frame carries, or fails with a text that names
// the option and the values it takes.
Result<int> ParsePort(const QString& value);       // 1..9, "03", "Com3", "com3:"
Result<int> ParseAddress(const QString& value);    // 0..127, "ALL" in any case = 128
Result<int> ParseBrightness(const QString& value); // a label of the brightness list
Result<int> ParseMessage(const QString& value);    // a code, a label, or a label's name
Result<QString> ParseText(const QString& value);   // what the panel's text box accepts

// The arguments that follow "send". Fails on an unknown option, a missing or invalid value,
// --port together with --device, or a word that is no option.
Result<SendOptions> ParseSendArguments(const QStringList& arguments);

// The options whose values the send would take from the store, as they are named on the command
// line: --device when a port is to be opened (whose device the store maps, a port given or not),
// then each of --address, --message, --brightness and --text not given.
QStringList OptionsTakenFromStore(const SendOptions& options);

// The frame to write and where to write it.
struct SendRequest {
    FrameInputs inputs;
    int port = 1;
    QString device; // when given, opened instead of the port's device
};

// The options, with the store's choices for those not given, read as the panel's start-up
// reads them. Fails when a choice left to the store is "none selected" (port 0, brightness
// or message -1): no frame is sent without its code segment.
Result<SendRequest> ResolveSend(const SendOptions& options, SettingsStore& store);

} // namespace zq4
