#pragma once

#include <QStringList>
#include <QTextStream>

namespace zq4 {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1; // what was asked for could not be done
inline constexpr int kExitPortError = kExitFailure;
inline constexpr int kExitUsageError = 2;

// Whether the program's arguments ask for the command line rather than the window: a command
// word ("send", "messages", or a mistyped one) first, or -h, --help, --version, or anything the
// window does not take, which the command line refuses as a usage error. The window takes
// Qt's own options (such as -platform NAME) and nothing else. Looks at the raw arguments, so
// that it can be asked before any application object exists.
bool IsCommandLine(int argc, const char* const* argv);

// Runs the command line on a QCoreApplication (no display needed) and returns the exit code.
int RunCommandLine(int argc, char** argv);

// The command line without the program's name: prints to out and err, returns the exit code:
// 0 done, 1 the port or device cannot be used, 2 usage error or invalid value. A failed write to
// standard output is told by RunCommandLine.
int RunCommand(const QStringList& arguments, QTextStream& out, QTextStream& err);

} // namespace zq4
