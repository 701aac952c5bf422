#pragma once

#include "core/feedback.h"
#include "serial/devicediscovery.h"
#include "serial/port.h"
#include "settings/store.h"

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

namespace zq4::test {

// A store in memory; puts can be made to fail.
class MemoryStore final : public SettingsStore {
public:
    QString GetSetting(const QString& application, const QString& section, const QString& key,
                       const QString& defaultValue) override {
        return m_values.value(path(application, section, key), defaultValue);
    }
    Status PutSetting(const QString& application, const QString& section, const QString& key,
                      const QString& value) override {
        return PutSettings(application, section, {{key, value}});
    }
    // One put, noted as "put:key=value,key=value"; a failing put stores none of them.
    Status PutSettings(const QString& application, const QString& section,
                       const QList<std::pair<QString, QString>>& keysAndValues) override {
        ++puts;
        if (log != nullptr) {
            QStringList entries;
            for (const auto& [key, value] : keysAndValues) {
                entries.push_back(key + '=' + value);
            }
            log->push_back(QStringLiteral("put:") + entries.join(u','));
        }
        if (failPuts) {
            return Status::Failed(failure);
        }
        for (const auto& [key, value] : keysAndValues) {
            m_values.insert(path(application, section, key), value);
        }
        return Status::Ok();
    }

    void set(const QString& section, const QString& key, const QString& value) {
        m_values.insert(path(QStringLiteral("ZQ4"), section, key), value);
    }
    bool has(const QString& section, const QString& key) const {
        return m_values.contains(path(QStringLiteral("ZQ4"), section, key));
    }
    QString value(const QString& section, const QString& key) const {
        return m_values.value(path(QStringLiteral("ZQ4"), section, key));
    }

    bool failPuts = false;
    QString failure = QStringLiteral("disk full"); // the description of a failing put
    int puts = 0;
    QStringList* log = nullptr; // where puts are noted in order, e.g. with what the operator saw

private:
    static QString path(const QString& application, const QString& section, const QString& key) {
        return application + '/' + section + '/' + key;
    }
    QMap<QString, QString> m_values;
};

// Everything the operator was shown, in order: "beep" or "box:<title>:<text>".
class RecordingFeedback final : public OperatorFeedback {
public:
    void beep() override { shown.push_back(QStringLiteral("beep")); }
    void warn(const QString& title, const QString& text) override {
        shown.push_back(QStringLiteral("box:%1:%2").arg(title, text));
    }
    int count(const QString& prefix) const {
        int n = 0;
        for (const QString& entry : shown) {
            n += entry.startsWith(prefix) ? 1 : 0;
        }
        return n;
    }

    QStringList shown;
};

// A port that records what it was asked to do; any operation can be told to fail.
class FakePort final : public SerialPort {
public:
    enum Step { CommPort, PortOpenGet, PortOpenSet, InputLen, Input, Output };

    Status setCommPort(std::int16_t portNumber) override {
        if (fails(CommPort)) {
            return failure(CommPort);
        }
        commPort = portNumber;
        return Status::Ok();
    }
    Result<bool> portOpen() const override {
        if (fails(PortOpenGet)) {
            return failure(PortOpenGet);
        }
        return open;
    }
    Status setPortOpen(bool wanted) override {
        if (fails(PortOpenSet)) {
            return failure(PortOpenSet);
        }
        open = wanted;
        if (wanted) {
            opens.push_back(commPort);
        }
        return Status::Ok();
    }
    Status setInputLen(int /*length*/) override {
        return fails(InputLen) ? failure(InputLen) : Status::Ok();
    }
    Result<QByteArray> input() override {
        if (fails(Input)) {
            return failure(Input);
        }
        return QByteArray();
    }
    Status setOutput(const QByteArray& bytes) override {
        if (fails(Output) || !open) {
            return failure(Output);
        }
        written.push_back(bytes);
        return Status::Ok();
    }
    void setLostHandler(LostHandler /*handler*/) override {}

    bool fails(Step step) const { return failing.contains(step); }
    static Status failure(Step step) {
        return Status::Failed(QStringLiteral("step %1 failed").arg(static_cast<int>(step)));
    }

    QList<Step> failing;
    std::int16_t commPort = 1;
    bool open = false;
    std::vector<std::int16_t> opens;
    std::vector<QByteArray> written;
};

// Serial devices as a test presents them, whatever the machine has.
class FakeDiscovery final : public DeviceDiscovery {
public:
    std::vector<SerialDevice> devices() override { return present; }

    std::vector<SerialDevice> present;
};

} // namespace zq4::test
