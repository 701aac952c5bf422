#pragma once

#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <filesystem>
#include <optional>

namespace zq4 {

// The checks of the store's file, over what it is and what it holds; the store reads the file's
// bytes once for them, and QSettings reads it again for the settings.

// A larger file is taken for a mistake: it is neither read nor written.
inline constexpr std::uintmax_t kMaxStoreFileSize = 1 << 20;

// Why a file of this type and size is neither read nor written ("it is a folder, not a regular
// file"); empty for a regular file of at most 1 MiB. A symbolic link counts as what it leads to.
QString UnusableStoreFile(std::filesystem::file_type type, std::uintmax_t size);

// Why QSettings may not rewrite a file holding these bytes, empty when it may. It rewrites the
// whole file from what it understood, so it would lose lines that are not settings (each line
// must be a [section] or a key=value, in UTF-8), and comments: a line starting with ';' or '#'
// (QSettings takes "#x=y" for a key and writes it back as "%23x=y"), or a ';' after a value
// outside double quotes. It would also change the blanks of a hand-written unquoted list
// ("a,b" comes back as "a, b"). A UTF-8 byte-order mark at the start is no line of its own.
QString RewriteProblem(QByteArrayView bytes);

// The text of the value of `key` in `section` as the file holds it, blanks around it dropped,
// where QSettings reads an unquoted "a, b" as the list "a", "b" and forgets the blanks; nothing
// when the file holds no such key. Lines before the first [section] are in "General".
std::optional<QString> WrittenValue(QByteArrayView bytes, const QString& section,
                                    const QString& key);

} // namespace zq4
