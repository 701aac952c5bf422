#pragma once

#include "core/feedback.h"
#include "serial/devicediscovery.h"
#include "serial/port.h"
#include "settings/store.h"

#include <QtCore>

namespace zq4::test {

// A store in memory, kept at "the test's store". Each put is noted in `log`, if set, as
// "put:key=value,key=value,-removed"; a put made to fail (given a failure) changes nothing.
class MemoryStore final : public SettingsStore {
public:
    QString GetSetting(const QString& application, const QString& section, const QString& key,
                       const QString& defaultValue) override {
        return m_values.value(application + '/' + section + '/' + key, defaultValue);
    }
    Status PutSetting(const QString& application, const QString& section, const QString& key,
                      const QString& value) override {
        return PutSettings(application, section, {{key, value}});
    }
    Status PutSettings(const QString& application, const QString& section,
                       const QList<std::pair<QString, QString>>& keysAndValues) override {
        return UpdateSettings(application, section, keysAndValues, {});
    }
    Status UpdateSettings(const QString& application, const QString& section,
                          const QList<std::pair<QString, QString>>& keysAndValues,
                          const QStringList& removedKeys) override {
        ++puts;
        QStringList entries;
        for (const auto& [key, value] : keysAndValues) {
            entries.push_back(key + '=' + value);
            if (failure.isEmpty()) {
                set(section, key, value, application);
            }
        }
        for (const QString& key : removedKeys) {
            entries.push_back('-' + key);
            if (failure.isEmpty()) {
                m_values.remove(application + '/' + section + '/' + key);
            }
        }
        if (log != nullptr) {
            log->push_back("put:" + entries.join(u','));
        }
        return failure.isEmpty() ? Status::Ok() : Status::Failed(failure);
    }
    QString location(const QString& /*application*/) const override { return "the test's store"; }

    void set(const QString& section, const QString& key, const QString& value,
             const QString& application = "ZQ4") {
        m_values.insert(application + '/' + section + '/' + key, value);
    }

    QString failure; // when set, every put fails with this description
    int puts = 0;
    QStringList* log = nullptr; // where puts are noted, when a test reads them

private:
    QMap<QString, QString> m_values;
};

// Everything the operator was shown, in order: "beep" or "box:<title>:<text>".
struct RecordingFeedback final : OperatorFeedback {
    void beep() override { shown.push_back(QStringLiteral("beep")); }
    void warn(const QString& title, const QString& text) override {
        shown.push_back(QStringLiteral("box:%1:%2").arg(title, text));
    }

    QStringList shown;
};

// A port that records what it was asked to do; any step can be told to fail, with the text
// "step <n> failed", n counted in the order of Step. A busy one refuses writes as a busy line.
class FakePort final : public SerialPort {
public:
    enum Step { IsOpen, Close, Open, DiscardInput, Write };

    Status open(std::int16_t portNumber) override {
        return run(Open, [&] { opens.push_back(portNumber), opened = true; });
    }
    Result<bool> isOpen() const override {
        return failing.contains(IsOpen) ? Result<bool>(check(IsOpen)) : opened;
    }
    Status close(std::chrono::milliseconds /*deadline*/) override {
        return run(Close, [&] { opened = false; });
    }
    Status discardInput() override { return check(DiscardInput); }
    WriteStatus write(const QByteArray& bytes) override {
        if (!opened || busy) {
            return {Status::Failed(opened ? "the line is busy" : "not open"), opened};
        }
        return {run(Write, [&] { written.push_back(bytes); })};
    }
    void setLostHandler(LostHandler /*handler*/) override {}

    QList<Step> failing;
    bool opened = false, busy = false;
    std::vector<std::int16_t> opens;
    std::vector<QByteArray> written;

private:
    Status check(Step step) const {
        return failing.contains(step)
                   ? Status::Failed(QStringLiteral("step %1 failed").arg(int{step}))
                   : Status::Ok();
    }
    Status run(Step step, const auto& effect) {
        return failing.contains(step) ? check(step) : (effect(), check(step));
    }
};

// Serial devices as a test presents them, whatever the machine has.
struct FakeDiscovery final : DeviceDiscovery {
    std::vector<SerialDevice> devices() override { return present; }

    std::vector<SerialDevice> present;
};

} // namespace zq4::test
