// The one error type of the program: a number, a description and a source,
// as the runtime reports an error that nobody handles.
#pragma once

#include "platform/runtime/RuntimeErrors.h"

#include <QByteArray>
#include <exception>

class RuntimeError : public std::exception {
public:
    RuntimeError(int number, QByteArray description, QByteArray source);
    // One of the runtime's own errors, with its text.
    RuntimeError(const RuntimeErrorCode& code, QByteArray source)
        : RuntimeError(code.number, code.description, std::move(source)) {}

    int Number() const noexcept { return number_; }
    const QByteArray& Description() const noexcept { return description_; }
    const QByteArray& Source() const noexcept { return source_; }

    const char* what() const noexcept override { return what_.constData(); }

private:
    int number_;
    QByteArray description_;
    QByteArray source_;
    QByteArray what_;
};
