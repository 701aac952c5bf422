#include "settings/storefile.h"

#include <QStringDecoder>

#include <vector>

namespace zq4 {

namespace {

constexpr QByteArrayView kByteOrderMark = "\xEF\xBB\xBF";
// The section of the lines before the first [section].
constexpr QByteArrayView kGeneral = "General";

// The blanks QSettings skips before a line.
bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool isLineEnd(char c) {
    return c == '\n' || c == '\r';
}

// One line of the file as QSettings reads it: from its first non-blank to its end, where a line
// end inside double quotes or after a backslash does not end it, and an unquoted ';' does.
struct IniLine {
    QByteArrayView text;
    qsizetype equals = -1;     // the first '=' outside double quotes, in text
    bool commentAfter = false; // a ';' outside double quotes ended it
};

std::vector<IniLine> iniLines(QByteArrayView bytes) {
    std::vector<IniLine> lines;
    qsizetype at = bytes.startsWith(kByteOrderMark) ? kByteOrderMark.size() : 0;
    while (true) {
        while (at < bytes.size() && isBlank(bytes[at])) {
            ++at;
        }
        if (at == bytes.size()) {
            return lines;
        }
        IniLine line;
        const qsizetype start = at;
        bool inQuotes = false;
        // A line starting with ';' is a comment to its end.
        for (; at < bytes.size() && !(start == at && bytes[at] == ';'); ++at) {
            const char c = bytes[at];
            if (isLineEnd(c) && !inQuotes) {
                break;
            }
            if (c == '=' && !inQuotes && line.equals < 0) {
                line.equals = at - start;
            } else if (c == '"') {
                inQuotes = !inQuotes;
            } else if (c == '\\' && at + 1 < bytes.size()) {
                // The escaped character; a line end escaped as "\r\n" or "\n\r" is one.
                ++at;
                if (isLineEnd(bytes[at]) && at + 1 < bytes.size() && isLineEnd(bytes[at + 1]) &&
                    bytes[at + 1] != bytes[at]) {
                    ++at;
                }
            } else if (c == ';' && !inQuotes) {
                line.commentAfter = true;
                break;
            }
        }
        line.text = bytes.sliced(start, at - start);
        if (line.text.isEmpty() || line.commentAfter) {
            line.text = line.text.isEmpty() ? bytes.sliced(start, 1) : line.text;
            while (at < bytes.size() && !isLineEnd(bytes[at])) {
                ++at;
            }
        }
        lines.push_back(line);
    }
}

bool isComment(const IniLine& line) {
    return line.text.startsWith(';') || line.text.startsWith('#');
}

// "[name]", blanks around the name allowed, and nothing after it.
std::optional<QByteArrayView> sectionName(QByteArrayView text) {
    const qsizetype close = text.indexOf(']');
    if (!text.startsWith('[') || close < 0 || !text.sliced(close + 1).trimmed().isEmpty()) {
        return std::nullopt;
    }
    return text.sliced(1, close - 1).trimmed();
}

bool isSetting(const IniLine& line) {
    return line.equals > 0 && !line.text.first(line.equals).trimmed().isEmpty();
}

// Where a comma outside double quotes is in a value, as QSettings reads it; -1 when none is.
qsizetype unquotedComma(QByteArrayView value, qsizetype from) {
    bool inQuotes = false;
    for (qsizetype at = 0; at < value.size(); ++at) {
        if (value[at] == '\\') {
            ++at;
        } else if (value[at] == '"') {
            inQuotes = !inQuotes;
        } else if (value[at] == ',' && !inQuotes && at >= from) {
            return at;
        }
    }
    return -1;
}

// Whether QSettings writes a value back as it stands: one with a comma outside double quotes it
// reads as a list, and writes back with its items joined by ", ", unquoted and unescaped.
bool listKeepsItsBlanks(QByteArrayView value) {
    qsizetype comma = unquotedComma(value, 0);
    if (comma < 0) {
        return true;
    }
    if (value.contains('"') || value.contains('\\')) {
        return false;
    }
    for (; comma >= 0; comma = unquotedComma(value, comma + 1)) {
        const auto blank = [](char c) { return c == ' ' || c == '\t'; };
        const bool blankBefore = comma == 0 || blank(value[comma - 1]);
        const bool oneSpaceAfter = comma + 2 < value.size() && value[comma + 1] == ' ' &&
                                   !blank(value[comma + 2]) && value[comma + 2] != ',';
        if (blankBefore || !oneSpaceAfter) {
            return false;
        }
    }
    return true;
}

bool isUtf8(QByteArrayView bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(bytes);
    return !decoder.hasError();
}

} // namespace

QString UnusableStoreFile(std::filesystem::file_type type, std::uintmax_t size) {
    using std::filesystem::file_type;
    switch (type) {
    case file_type::regular:
        return size > kMaxStoreFileSize
                   ? QStringLiteral("it is larger than 1 MiB (%1 bytes)").arg(size)
                   : QString();
    case file_type::directory:
        return QStringLiteral("it is a folder, not a regular file");
    case file_type::fifo:
        return QStringLiteral("it is a named pipe (FIFO), not a regular file");
    case file_type::socket:
        return QStringLiteral("it is a socket, not a regular file");
    case file_type::character:
    case file_type::block:
        return QStringLiteral("it is a device, not a regular file");
    default:
        return QStringLiteral("it is a special file, not a regular file");
    }
}

QString RewriteProblem(QByteArrayView bytes) {
    const QString notSettings =
        QStringLiteral("it holds lines that are not settings (each line must be a [section] or a "
                       "key=value); correct or remove the file");
    if (!isUtf8(bytes)) {
        return notSettings;
    }
    bool comments = false;
    QString changedList;
    QByteArrayView section = kGeneral;
    for (const IniLine& line : iniLines(bytes)) {
        if (isComment(line)) {
            comments = true;
            continue;
        }
        comments = comments || line.commentAfter;
        if (line.text.startsWith('[')) {
            const std::optional<QByteArrayView> name = sectionName(line.text);
            if (!name) {
                return notSettings;
            }
            section = *name;
            continue;
        }
        if (!isSetting(line)) {
            return notSettings;
        }
        const QByteArrayView value = line.text.sliced(line.equals + 1).trimmed();
        if (changedList.isEmpty() && !line.commentAfter && !listKeepsItsBlanks(value)) {
            changedList =
                QStringLiteral("the hand-written value \"%1\" of %2/%3 would be rewritten with "
                               "other blanks; put it in double quotes")
                    .arg(QString::fromUtf8(value), QString::fromUtf8(section),
                         QString::fromUtf8(line.text.first(line.equals).trimmed()));
        }
    }
    if (comments) {
        return QStringLiteral("its comment lines would be lost (lines starting with ; or #, or a ; "
                              "after a value); move the comments out of the file so that the "
                              "choices can be saved");
    }
    return changedList;
}

std::optional<QString> WrittenValue(QByteArrayView bytes, const QString& section,
                                    const QString& key) {
    const QByteArray wantedSection = section.toUtf8(), wantedKey = key.toUtf8();
    QByteArrayView current = kGeneral;
    std::optional<QString> value;
    for (const IniLine& line : iniLines(bytes)) {
        if (line.text.startsWith('[')) {
            current = sectionName(line.text).value_or(current);
        } else if (!isComment(line) && isSetting(line) && current == wantedSection &&
                   line.text.first(line.equals).trimmed() == wantedKey) {
            value = QString::fromUtf8(line.text.sliced(line.equals + 1).trimmed());
        }
    }
    return value;
}

} // namespace zq4
