// A real server program started for one test or benchmark on a loopback port
// and stopped with it.
#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <cstdint>

class ServerProcess {
public:
    ServerProcess() = default;
    ~ServerProcess() { Stop(); }
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    // Starts the program and waits until it accepts on `port`; false when it
    // ended first (most likely the port was taken meanwhile) or took over 5 s.
    bool Start(const QString& program, const QStringList& arguments, std::uint16_t port);
    void Stop();
    qint64 pid() const { return process_.processId(); }

private:
    QProcess process_;
};
