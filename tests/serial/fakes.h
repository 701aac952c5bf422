#pragma once

#include "serial/feedback.h"
#include "serial/port.h"
#include "settings/store.h"

#include <QStringList>

#include <map>
#include <set>
#include <tuple>

namespace zq4::test {

// A settings store in memory that logs every put and can be told to refuse them.
class MemoryStore : public SettingsStore {
public:
    QString GetSetting(const QString& application, const QString& section, const QString& key,
                       const QString& defaultValue) override {
        const auto found = m_values.find({application, section, key});
        return found == m_values.end() ? defaultValue : found->second;
    }

    Status PutSetting(const QString& application, const QString& section, const QString& key,
                      const QString& value) override {
        puts << QStringList{application, section, key, value}.join(u'/');
        if (failPuts) {
            return Status::Failed(QStringLiteral("the settings file is read-only"));
        }
        m_values[{application, section, key}] = value;
        return Status::Ok();
    }

    // What the operator writes by hand, e.g. the "Ports" group.
    void preset(const QString& application, const QString& section, const QString& key,
                const QString& value) {
        m_values[{application, section, key}] = value;
    }

    QStringList puts;
    bool failPuts = false;

private:
    std::map<std::tuple<QString, QString, QString>, QString> m_values;
};

// Records what the operator was shown, in order: "beep" and "warn <title>: <text>".
class RecordingFeedback : public OperatorFeedback {
public:
    void beep() override { events << QStringLiteral("beep"); }
    void warn(const QString& title, const QString& text) override {
        events << QStringLiteral("warn %1: %2").arg(title, text);
    }

    QStringList events;
};

// A port that records the operations made on it and fails the ones it is told to.
class ScriptedPort : public SerialPort {
public:
    Status setCommPort(std::int16_t portNumber) override {
        return step(QStringLiteral("setCommPort(%1)").arg(portNumber),
                    [&] { commPort = portNumber; });
    }
    Result<bool> portOpen() const override {
        calls << QStringLiteral("portOpen");
        if (failing.count(QStringLiteral("portOpen")) != 0) {
            return Status::Failed(QStringLiteral("portOpen failed"));
        }
        return open;
    }
    Status setPortOpen(bool wanted) override {
        return step(QStringLiteral("setPortOpen(%1)").arg(wanted ? "true" : "false"),
                    [&] { open = wanted; });
    }
    Status setInputLen(int length) override {
        return step(QStringLiteral("setInputLen(%1)").arg(length), [] {});
    }
    Result<QByteArray> input() override {
        calls << QStringLiteral("input");
        if (failing.count(QStringLiteral("input")) != 0) {
            return Status::Failed(QStringLiteral("input failed"));
        }
        return QByteArray("\x01\x02", 2);
    }
    Status setOutput(const QByteArray& bytes) override {
        return step(QStringLiteral("setOutput(%1)").arg(QString::fromLatin1(bytes.toHex())), [] {});
    }
    void setLostHandler(LostHandler handler) override { lostHandler = std::move(handler); }

    // Names a call as it is recorded, e.g. "setPortOpen(true)"; a failing call changes nothing.
    std::set<QString> failing;
    mutable QStringList calls;
    bool open = false;
    std::int16_t commPort = 1;
    LostHandler lostHandler;

private:
    template <class Effect> Status step(const QString& call, Effect effect) {
        calls << call;
        if (failing.count(call) != 0) {
            return Status::Failed(call + QStringLiteral(" failed"));
        }
        effect();
        return Status::Ok();
    }
};

} // namespace zq4::test
