#include "platform/runtime/RuntimeError.h"

RuntimeError::RuntimeError(int number, QByteArray description, QByteArray source)
    : number_(number), description_(std::move(description)), source_(std::move(source)),
      what_(source_ + ": error " + QByteArray::number(number_) + ": " + description_) {}
