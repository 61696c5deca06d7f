// The planning role of a file sink: the requests its fetch makes, pipelined
// on one connection, and their extra lines (a resumed part's range, the
// ranges a delta asks for).
#pragma once

#include <QByteArray>

class RequestPlan {
public:
    virtual ~RequestPlan();

    // The request's extra lines, such as a resumed part's range.
    virtual QByteArray RequestHeaders() const = 0;
    // Requests of one fetch that share its connection: each answer in turn
    // goes to the same sink. `index` counts them from 0.
    virtual qsizetype Requests() const { return 1; }
    virtual QByteArray RequestHeadersOf(qsizetype /*index*/) const { return RequestHeaders(); }
    // False for a sink that asks for ranges of the file: their bodies are
    // not the file, so a check of the whole file cannot judge them.
    virtual bool TakesWholeFile() const { return true; }
};
