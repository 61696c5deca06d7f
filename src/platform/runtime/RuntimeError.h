// The one error type of the program: a number, a description and a source,
// as the runtime reports an error that nobody handles.
#pragma once

#include "platform/runtime/RuntimeErrors.h"

#include <QByteArray>
#include <exception>

class RuntimeError : public std::exception {
public:
    // An error whose number is not the runtime's: the socket service's codes
    // and the socket object's own.
    RuntimeError(int number, QByteArray description, QByteArray source);
    // One of the runtime's own errors, with its text.
    RuntimeError(const RuntimeErrorCode& code, QByteArray source)
        : RuntimeError(code.number, code.description, std::move(source)) {}
    // One of the runtime's own errors, with a sentence of its own that says more.
    RuntimeError(const RuntimeErrorCode& code, QByteArray description, QByteArray source)
        : RuntimeError(code.number, std::move(description), std::move(source)) {}

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
