#include "serial/lineshareloader.h"

#include <QCoreApplication>
#include <QLibrary>

namespace zq4 {

namespace {

const QString kModule = QStringLiteral("zq4-lineshare");

// Loaded once and kept: the window's side of the line runs on its code to the end.
QLibrary* module(QString& error) {
    static QStringList failures;
    static QLibrary* loaded = [] {
        auto* library = new QLibrary;
        // Beside the program (a build, Windows), else where it is installed, relative to the
        // program's folder.
        const QString folder = QCoreApplication::applicationDirPath();
        for (const QString& path :
             {folder + QLatin1Char('/') + kModule,
              folder + QStringLiteral("/" ZQ4_LINESHARE_FOLDER "/") + kModule}) {
            library->setFileName(path);
            if (library->load()) {
                break;
            }
            failures << library->errorString();
        }
        return library;
    }();
    if (!loaded->isLoaded()) {
        error = QStringLiteral("the module %1 cannot be loaded: %2")
                    .arg(kModule, failures.join(QStringLiteral("; ")));
        return nullptr;
    }
    return loaded;
}

} // namespace

QFunctionPointer LineShareFunction(const char* name, QString& error) {
    QLibrary* library = module(error);
    if (library == nullptr) {
        return nullptr;
    }
    const QFunctionPointer function = library->resolve(name);
    if (function == nullptr) {
        error = QStringLiteral("the module %1 has no %2: %3")
                    .arg(kModule, QLatin1String(name), library->errorString());
    }
    return function;
}

std::optional<Status> HandFrameToWindowThroughModule(const QString& device, const QString& where,
                                                     const FrameInputs& inputs,
                                                     const ShareInterruption& interruption,
                                                     QString& error) {
    using HandOver = void (*)(const QString&, const QString&, const FrameInputs&,
                              const ShareInterruption&, std::optional<Status>&);
    const auto handOver =
        reinterpret_cast<HandOver>(LineShareFunction("zq4HandFrameToWindow", error));
    std::optional<Status> outcome;
    if (handOver != nullptr) {
        handOver(device, where, inputs, interruption, outcome);
    }
    return outcome;
}

} // namespace zq4
