// The message log as a job or an install writes it: the main window's log
// lends itself to the jobs it starts and to installs, which write their lines
// in the order they happen. It sits below both rooms, so an install needs
// nothing of the jobs.
#pragma once

#include <QByteArray>

class JobLog {
public:
    virtual ~JobLog() = default;

    virtual const QByteArray& Text() const = 0;
    // Replace: the whole log becomes `text`.
    virtual void SetText(const QByteArray& text) = 0;
    virtual void Append(const QByteArray& text) = 0;
    // 38 hyphens and CR LF: closes every finished command.
    void AppendSeparator() { Append(QByteArray(38, '-') + "\r\n"); }
    // Appends `line` on a line of its own, finishing one left open ("Checking...").
    void AppendOnNewLine(const QByteArray& line) {
        if (!Text().isEmpty() && !Text().endsWith("\r\n"))
            Append("\r\n");
        Append(line);
    }

protected:
    JobLog() = default;
    JobLog(const JobLog&) = default;
    JobLog& operator=(const JobLog&) = default;
};
