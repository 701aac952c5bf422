#include "cli/sendoptions.h"

#include "protocol/codepage.h"
#include "protocol/vocabulary.h"
#include "serial/portselection.h"
#include "settings/keys.h"
#include "settings/storedchoices.h"

#include <QCommandLineParser>
#include <QFileInfo>

#include <algorithm>

namespace zq4 {

namespace {

QString quoted(const QString& text) {
    return QLatin1Char('"') + text + QLatin1Char('"');
}

Status invalid(const char* option, const QString& value, const QString& allowed) {
    return Status::Failed(
        QStringLiteral("--%1 %2: %3").arg(QLatin1String(option), quoted(value), allowed));
}

// The name part of a message label: what follows the code (and its bracketed number) after
// two spaces, without trailing spaces; empty for labels that carry no name.
QString messageName(const QString& label) {
    const qsizetype gap = label.indexOf(QStringLiteral("  "));
    return gap < 0 ? QString() : label.sliced(gap + 2).trimmed();
}

// A device named on the command line is a path as every program takes it: a relative one starts
// in the current folder, where QSerialPort would look it up under /dev. Windows names its ports
// ("COM3"), which stay as they are.
QString commandLineDevice(const QString& path) {
#ifdef Q_OS_WIN
    return path;
#else
    return QFileInfo(path).absoluteFilePath();
#endif
}

} // namespace

Result<int> ParsePort(const QString& value) {
    // The port list's label without its number and colon: "Com" of "Com1:".
    const PortEntry& first = PortSelection().front();
    const QString prefix = first.label.chopped(QString::number(first.portNumber).size() + 1);
    QString number = value;
    if (number.startsWith(prefix, Qt::CaseInsensitive)) {
        number = number.sliced(prefix.size());
        if (number.endsWith(u':')) {
            number.chop(1);
        }
    }
    // Leading zeros are taken, as in an address or a message code.
    if (const auto port = StoredInteger(number, first.portNumber, kPortCount)) {
        return int{*port};
    }
    return invalid("port", value,
                   QStringLiteral("give a port 1..%1, also written %2 or %3")
                       .arg(kPortCount)
                       .arg(first.label.chopped(1), first.label));
}

Result<int> ParseAddress(const QString& value) {
    if (value.compare(AddressText(kAllDisplays), Qt::CaseInsensitive) == 0) {
        return kAllDisplays;
    }
    if (const auto address = StoredInteger(value, 0, kAllDisplays - 1)) {
        return int{*address};
    }
    return invalid("address", value,
                   QStringLiteral("give an address 0..%1, or %2 for every display")
                       .arg(kAllDisplays - 1)
                       .arg(AddressText(kAllDisplays)));
}

Result<int> ParseBrightness(const QString& value) {
    const qsizetype code = BrightnessLabels().indexOf(value);
    if (code >= 0) {
        return static_cast<int>(code);
    }
    QStringList labels = BrightnessLabels();
    std::reverse(labels.begin(), labels.end());
    return invalid("brightness", value,
                   QStringLiteral("give one of %1, as the brightness list shows them")
                       .arg(labels.join(QStringLiteral(", "))));
}

Result<int> ParseMessage(const QString& value) {
    if (const auto code = StoredInteger(value, 0, kMessageCount - 1)) {
        return int{*code};
    }
    const QString name = value.trimmed();
    // A whole label, as 'zq4 messages' prints it; its trailing spaces are hard to tell apart.
    for (int code = 0; code < kMessageCount; ++code) {
        if (MessageLabels().at(code).trimmed().compare(name, Qt::CaseInsensitive) == 0) {
            return code;
        }
    }
    QStringList matches;
    int found = -1;
    for (int code = 0; code < kMessageCount; ++code) {
        const QString label = MessageLabels().at(code);
        const QString labelName = messageName(label);
        if (!labelName.isEmpty() && labelName.compare(name, Qt::CaseInsensitive) == 0) {
            matches.append(quoted(label));
            found = code;
        }
    }
    if (matches.size() == 1) {
        return found;
    }
    if (matches.size() > 1) {
        return invalid("message", value,
                       QStringLiteral("the name fits %1 messages, give the code of one: %2")
                           .arg(matches.size())
                           .arg(matches.join(QStringLiteral(", "))));
    }
    return invalid("message", value,
                   QStringLiteral("no message has that code, label or name: give a code 0..%1, "
                                  "a label as 'zq4 messages' lists them, or a label's name, in "
                                  "any case")
                       .arg(kMessageCount - 1));
}

Result<QString> ParseText(const QString& value) {
    const QList<uint> characters = value.toUcs4();
    if (characters.size() > kTextFieldLength) {
        return invalid("text", value,
                       QStringLiteral("%1 characters, the display takes at most %2")
                           .arg(characters.size())
                           .arg(kTextFieldLength));
    }
    for (const uint character : characters) {
        const auto c = static_cast<char32_t>(character);
        if (!isSendableCharacter(c)) {
            const QString shown =
                QChar::isPrint(c) ? quoted(QString::fromUcs4(&c, 1)) + u' ' : QString();
            return invalid("text", value,
                           QStringLiteral("the display cannot show %1(U+%2): use printable "
                                          "characters of Windows-1252 other than \u00FF and "
                                          "\u00FE")
                               .arg(shown)
                               .arg(QString::number(character, 16)
                                        .toUpper()
                                        .rightJustified(4, QLatin1Char('0'))));
        }
    }
    return value;
}

Result<SendOptions> ParseSendArguments(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsCompactedShortOptions);
    const QCommandLineOption port({"p", "port"}, {}, "N");
    const QCommandLineOption device({"d", "device"}, {}, "PATH");
    const QCommandLineOption address({"a", "address"}, {}, "N|ALL");
    const QCommandLineOption message({"m", "message"}, {}, "CODE|NAME");
    const QCommandLineOption brightness({"b", "brightness"}, {}, "1..4");
    const QCommandLineOption text({"t", "text"}, {}, "TEXT");
    const QCommandLineOption dryRun(QStringLiteral("dry-run"));
    const QCommandLineOption verbose(QStringList{"v", "verbose"});
    const QCommandLineOption help(QStringList{"h", "help"});
    parser.addOptions({port, device, address, message, brightness, text, dryRun, verbose, help});

    // The parser takes the program's name first.
    if (!parser.parse(QStringList{QStringLiteral("zq4")} + arguments)) {
        return Status::Failed(parser.errorText());
    }
    SendOptions options;
    options.help = parser.isSet(help);
    options.dryRun = parser.isSet(dryRun);
    options.verbose = parser.isSet(verbose);
    if (options.help) {
        return options;
    }
    if (!parser.positionalArguments().isEmpty()) {
        return Status::Failed(QStringLiteral("unexpected argument %1: send takes options only")
                                  .arg(quoted(parser.positionalArguments().front())));
    }
    if (parser.isSet(port) && parser.isSet(device)) {
        return Status::Failed(QStringLiteral("--port and --device cannot be given together"));
    }

    // Each option's value is checked in turn; the first one that fails is reported.
    Status failed = Status::Ok();
    const auto take = [&](const QCommandLineOption& option, auto parse, auto& into) {
        if (!failed.ok() || !parser.isSet(option)) {
            return;
        }
        const auto parsed = parse(parser.value(option));
        if (parsed) {
            into = parsed.value();
        } else {
            failed = Status::Failed(parsed.description());
        }
    };
    take(port, ParsePort, options.port);
    take(address, ParseAddress, options.address);
    take(message, ParseMessage, options.message);
    take(brightness, ParseBrightness, options.brightness);
    take(text, ParseText, options.text);
    if (!failed.ok()) {
        return failed;
    }
    if (parser.isSet(device)) {
        if (parser.value(device).isEmpty()) {
            return Status::Failed(
                QStringLiteral("--device \"\": give the path of a serial device"));
        }
        options.device = commandLineDevice(parser.value(device));
    }
    return options;
}

QStringList OptionsTakenFromStore(const SendOptions& options) {
    QStringList taken;
    if (!options.dryRun && !options.device) {
        taken << QStringLiteral("--device");
    }
    const std::pair<bool, const char*> choices[] = {
        {options.address.has_value(), "--address"},
        {options.message.has_value(), "--message"},
        {options.brightness.has_value(), "--brightness"},
        {options.text.has_value(), "--text"},
    };
    for (const auto& [given, option] : choices) {
        if (!given) {
            taken << QLatin1String(option);
        }
    }
    return taken;
}

Result<SendRequest> ResolveSend(const SendOptions& options, SettingsStore& store) {
    // An option given wins; otherwise the stored choice, read as start-up reads it, "none
    // selected" included: port 0, brightness and message -1.
    const StoredChoices stored = StoredChoices::Read(store);
    const auto noneSelected = [](const char* what, const QString& key, int value,
                                 const char* give) {
        return Status::Failed(QStringLiteral("no %1 is selected (stored %2 is %3): give %4")
                                  .arg(QLatin1String(what), key)
                                  .arg(value)
                                  .arg(QLatin1String(give)));
    };
    SendRequest request;
    request.device = options.device.value_or(QString());
    if (!options.device) {
        request.port = options.port.value_or(stored.port);
        if (request.port == 0) {
            return noneSelected("port", keys::kDakcomm, 0, "--port 1..9 or --device PATH");
        }
    }
    const int brightness = options.brightness.value_or(stored.brightness);
    if (brightness < 0) {
        return noneSelected("brightness", keys::kBrt, -1, "--brightness 1..4");
    }
    const int message = options.message.value_or(stored.message);
    if (message < 0) {
        return noneSelected("message", keys::kMessage, -1, "--message CODE|NAME");
    }
    request.inputs.brightnessCode = static_cast<std::int16_t>(brightness);
    request.inputs.messageCode = static_cast<std::int16_t>(message);
    request.inputs.addressCode =
        static_cast<std::int16_t>(options.address.value_or(stored.address));
    request.inputs.text = options.text.value_or(stored.text);
    return request;
}

} // namespace zq4
