#include "cli/commandline.h"

#include "cli/endrequests.h"
#include "cli/sendoptions.h"
#include "protocol/framedecoder.h"
#include "protocol/frametext.h"
#include "protocol/vocabulary.h"
#include "serial/lineshareloader.h"
#include "serial/portselection.h"
#include "serial/qserialportadapter.h"
#include "settings/keys.h"
#include "settings/portmap.h"
#include "settings/qsettingsstore.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstring>
#include <iterator>

namespace zq4 {

namespace {

const QString kSend = QStringLiteral("send");
const QString kMessages = QStringLiteral("messages");

// The same facts as the manual page zq4(1).
const QString kSendOptions = QStringLiteral(
    "Options of send (an option not given takes the panel's stored choice):\n"
    "  -p, --port N             port 1..9, also Com3 or Com3:, mapped to its device as the\n"
    "                           window maps it\n"
    "  -d, --device PATH        a serial device instead of a port (not together with --port);\n"
    "                           a relative path starts in the current folder\n"
    "  -a, --address N|ALL      display address 0..127, or ALL for every display\n"
    "  -m, --message CODE|NAME  message code 0..163, a label as 'zq4 messages' lists it,\n"
    "                           or a label's name in any case (\"utc of t-0\" is 130)\n"
    "  -b, --brightness 1..4    brightness as the brightness list shows it\n"
    "  -t, --text TEXT          custom text: at most 13 characters the display can show\n"
    "      --dry-run            print the frame's 18 bytes in hex and open no port\n"
    "  -v, --verbose            print the frame as zq4-display shows it\n"
    "  -h, --help               show this help\n");

const QString kExitStatus = QStringLiteral(
    "Exit status: 0 frame written, 1 port, device or settings file cannot be used or output\n"
    "cannot be written, 2 usage error or invalid value.\n");

const QString kSynopsis =
    QStringLiteral("Usage: zq4 [Qt options]     start the window\n"
                   "       zq4 -h | --help      show this help\n"
                   "       zq4 --version        show the version\n"
                   "       zq4 messages         list the 164 message labels in code order\n"
                   "       zq4 send [options]   write one command frame to the display and exit\n");

// The version with its copyright and licence, as GNU programs tell them.
const QString kVersion =
    QStringLiteral("zq4 " ZQ4_VERSION "\n"
                   "Copyright (C) " ZQ4_COPYRIGHT_YEAR " The ZQ4 authors\n"
                   "License MIT: <https://opensource.org/licenses/MIT>.\n"
                   "This is free software: you are free to change and redistribute it.\n"
                   "There is NO WARRANTY, to the extent permitted by law.\n");

const QString kUsage =
    kSynopsis +
    QStringLiteral("\nQt options: those of QApplication, e.g. -platform NAME, -style NAME, "
                   "-reverse,\n-geometry WxH+X+Y (see zq4(1)).\n\n") +
    kSendOptions + QStringLiteral("\n") + kExitStatus;

// Qt's own options for the window, as QGuiApplication and QApplication document them (-display
// and -geometry on X11). Qt takes each with one dash or two, and its value as the next argument,
// whatever that is.
struct QtOption {
    const char* name;
    bool takesValue;
};
constexpr QtOption kQtOptions[] = {
    {"platform", true},        {"platformpluginpath", true},
    {"platformtheme", true},   {"plugin", true},
    {"qwindowgeometry", true}, {"qwindowicon", true},
    {"qwindowtitle", true},    {"session", true},
    {"display", true},         {"geometry", true},
    {"style", true},           {"stylesheet", true},
    {"reverse", false},        {"widgetcount", false},
};
// The options Qt takes with their value after '=' (-style=fusion).
constexpr const char* kQtOptionsWithEquals[] = {"style", "stylesheet", "qmljsdebugger"};

// The name an option is given by, without its one or two dashes.
QString optionName(const QString& argument) {
    return argument.mid(argument.startsWith(QStringLiteral("--")) ? 2 : 1);
}

const QtOption* qtOption(const QString& argument) {
    const QString name = optionName(argument);
    for (const QtOption& option : kQtOptions) {
        if (name == QLatin1String(option.name)) {
            return &option;
        }
    }
    return nullptr;
}

bool isQtOptionWithEquals(const QString& argument) {
    const QString name = optionName(argument);
    const qsizetype equals = name.indexOf(u'=');
    return equals > 0 && std::any_of(std::begin(kQtOptionsWithEquals),
                                     std::end(kQtOptionsWithEquals), [&](const char* option) {
                                         return name.first(equals) == QLatin1String(option);
                                     });
}

// Why the arguments are not all the window's: empty when each is one of Qt's options or its
// value.
QString windowArgumentsError(const QStringList& arguments) {
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (!argument.startsWith(u'-') || argument.size() == 1) {
            return QStringLiteral("unexpected argument \"%1\": a command comes first, as in "
                                  "'zq4 send ...'")
                .arg(argument);
        }
        if (isQtOptionWithEquals(argument)) {
            continue;
        }
        const QtOption* option = qtOption(argument);
        if (option == nullptr) {
            return QStringLiteral("unknown option \"%1\": zq4 takes a command, -h, --help, "
                                  "--version or Qt's options for the window")
                .arg(argument);
        }
        if (option->takesValue && ++i == arguments.size()) {
            return QStringLiteral("option \"%1\" needs a value").arg(argument);
        }
    }
    return QString();
}

const QString kSendUsage =
    QStringLiteral("Usage: zq4 send [options]\n"
                   "Writes one command frame to the display and exits. Choices not given are\n"
                   "the panel's stored ones; the settings file is read, never written.\n\n") +
    kSendOptions + QStringLiteral("\n") + kExitStatus;

// Every message names what it was given, which may hold control characters: they are shown
// escaped, never sent to the terminal.
int usageError(QTextStream& err, const QString& command, const QString& text) {
    err << command << QStringLiteral(": ") << EscapedText(text) << QStringLiteral("\nTry '")
        << command << QStringLiteral(" --help'.") << Qt::endl;
    return kExitUsageError;
}

// A usage error of zq4 itself, not of one of its commands: the synopsis says what it takes.
int programUsageError(QTextStream& err, const QString& text) {
    err << QStringLiteral("zq4: ") << EscapedText(text) << Qt::endl
        << kSynopsis << QStringLiteral("Try 'zq4 --help'.") << Qt::endl;
    return kExitUsageError;
}

// "a, b and c"
QString listed(QStringList items) {
    const QString last = items.takeLast();
    return items.isEmpty() ? last
                           : items.join(QStringLiteral(", ")) + QStringLiteral(" and ") + last;
}

// The frame as the virtual display prints it.
QString describe(const QByteArray& frame) {
    for (const DecoderEvent& event : FrameDecoder().feed(frame)) {
        if (const auto* decoded = std::get_if<DecodedFrame>(&event)) {
            return FrameText(*decoded);
        }
    }
    return HexBytes(frame);
}

int send(const QStringList& arguments, QTextStream& out, QTextStream& err) {
    const QString command = QStringLiteral("zq4 send");
    const Result<SendOptions> options = ParseSendArguments(arguments);
    if (!options) {
        return usageError(err, command, options.description());
    }
    if (options.value().help) {
        out << kSendUsage << Qt::flush;
        return kExitOk;
    }
    // Read only: the command line never stores a choice, nor anything else.
    QSettingsStore store;
    if (const QString unreadable = store.unreadableReason(keys::kApplication);
        !unreadable.isEmpty()) {
        // The defaults that stand in for a file that cannot be read are not the operator's
        // choices: a frame with them could go to another device, or say something else.
        const QString file = store.location(keys::kApplication);
        QStringList taken = OptionsTakenFromStore(options.value());
        if (!taken.isEmpty()) {
            if (taken.front() == QStringLiteral("--device")) {
                taken.front() += QStringLiteral(" (a port's device is mapped in that file)");
            }
            err << command << QStringLiteral(": ")
                << EscapedText(QStringLiteral("the settings file %1 cannot be read: %2; give %3 in "
                                              "its place, or mend the file")
                                   .arg(file, unreadable, listed(taken)))
                << Qt::endl;
            return kExitFailure;
        }
        err << command << QStringLiteral(": ")
            << EscapedText(QStringLiteral("warning: the settings file %1 was not read: %2; every "
                                          "choice was given, so none was needed")
                               .arg(file, unreadable))
            << Qt::endl;
    }
    const Result<SendRequest> request = ResolveSend(options.value(), store);
    if (!request) {
        return usageError(err, command, request.description());
    }
    const QByteArray frame = BuildFrame(request.value().inputs);
    if (options.value().dryRun) {
        out << HexBytes(frame) << Qt::endl;
        if (options.value().verbose) {
            out << describe(frame) << Qt::endl;
        }
        return kExitOk;
    }

    const PortMap portMap(store);
    QSerialPortAdapter port(portMap.lookup(), portMap.location());
    if (!request.value().device.isEmpty()) {
        port.setDevice(request.value().device);
    }
    // A request to end the program (a full line holds the frame back, and the operator gives
    // up) gives the frame up and closes the port at once, as a failure: the close puts back the
    // line settings the device had and removes the lock file, which being killed would leave.
    EndRequests endRequests;
    if (endRequests.isValid()) {
        port.setInterruption([&endRequests] { return endRequests.take(); });
    }
    const auto failed = [&err, &command](const Status& status) {
        err << command << QStringLiteral(": ") << EscapedText(status.description()) << Qt::endl;
        return kExitPortError;
    };
    // A window of this user that holds the line takes the frame and sends it in turn with its
    // own; when none answers, the line's lock decides as ever.
    const int portNumber = request.value().port;
    const QString device =
        request.value().device.isEmpty() ? portMap.deviceFor(portNumber) : request.value().device;
    const QString where = request.value().device.isEmpty()
                              ? QStringLiteral("%1 (%2)").arg(PortLabel(portNumber), device)
                              : device;
    QString unshared;
    const std::optional<Status> handed = HandFrameToWindowThroughModule(
        device, where, request.value().inputs, [&endRequests] { return endRequests.take(); },
        unshared);
    if (!unshared.isEmpty()) {
        err << command << QStringLiteral(": warning: no window that holds the line can be asked: ")
            << EscapedText(unshared) << Qt::endl;
    }
    if (handed) {
        if (!*handed) {
            return failed(*handed);
        }
        if (options.value().verbose) {
            out << describe(frame) << Qt::endl;
        }
        return kExitOk;
    }
    if (Status opened = port.open(static_cast<std::int16_t>(portNumber)); !opened) {
        return failed(opened);
    }
    if (WriteStatus written = port.write(frame); !written.ok()) {
        return failed(written.status);
    }
    // Closing waits until the frame has left: only then has it been sent.
    if (Status closed = port.close(kLongestClose); !closed) {
        return failed(closed);
    }
    if (options.value().verbose) {
        out << describe(frame) << Qt::endl;
    }
    return kExitOk;
}

int messages(const QStringList& arguments, QTextStream& out, QTextStream& err) {
    if (arguments.size() == 1 && (arguments.front() == QStringLiteral("-h") ||
                                  arguments.front() == QStringLiteral("--help"))) {
        out << QStringLiteral("Usage: zq4 messages\nLists the 164 message labels in code order, "
                              "one per line, as the message list shows them.\n")
            << Qt::flush;
        return kExitOk;
    }
    if (!arguments.isEmpty()) {
        return usageError(err, QStringLiteral("zq4 messages"),
                          QStringLiteral("unexpected argument \"%1\"").arg(arguments.front()));
    }
    for (const QString& label : MessageLabels()) {
        out << label << '\n';
    }
    out << Qt::flush;
    return kExitOk;
}

} // namespace

bool IsCommandLine(int argc, const char* const* argv) {
    if (argc < 2) {
        return false;
    }
    const char* first = argv[1];
    if (first[0] != '-' || std::strcmp(first, "-h") == 0 || std::strcmp(first, "--help") == 0 ||
        std::strcmp(first, "--version") == 0) {
        return true;
    }
    // Arguments that the window does not take are refused by the command line.
    QStringList arguments;
    for (int i = 1; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    return !windowArgumentsError(arguments).isEmpty();
}

int RunCommandLine(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    const int exitCode = RunCommand(QCoreApplication::arguments().mid(1), out, err);
    // What was asked for did not arrive (a full disk, a closed output): that is no success.
    out.flush();
    if (out.status() != QTextStream::Ok) {
        err << QStringLiteral("zq4: cannot write to standard output: ")
            << out.device()->errorString() << Qt::endl;
        return kExitFailure;
    }
    return exitCode;
}

int RunCommand(const QStringList& arguments, QTextStream& out, QTextStream& err) {
    const QString first = arguments.value(0);
    const QStringList rest = arguments.mid(1);
    if (first == kSend) {
        return send(rest, out, err);
    }
    if (first == kMessages) {
        return messages(rest, out, err);
    }
    const QString command = QStringLiteral("zq4");
    if (first == QStringLiteral("-h") || first == QStringLiteral("--help") ||
        first == QStringLiteral("--version")) {
        if (!rest.isEmpty()) {
            return usageError(
                err, command,
                QStringLiteral("unexpected argument \"%1\" after %2").arg(rest.front(), first));
        }
        out << (first == QStringLiteral("--version") ? kVersion : kUsage) << Qt::flush;
        return kExitOk;
    }
    if (first.startsWith(u'-')) {
        if (const QString error = windowArgumentsError(arguments); !error.isEmpty()) {
            return programUsageError(err, error);
        }
    }
    return programUsageError(err, QStringLiteral("unknown command \"%1\": the commands are %2 "
                                                 "and %3")
                                      .arg(first, kSend, kMessages));
}

} // namespace zq4
