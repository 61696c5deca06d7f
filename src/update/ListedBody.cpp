#include "update/ListedBody.h"

#include "update/http/NotFoundRule.h"

#include <QFile>

namespace {
constexpr qint64 readPiece = 64 * 1024;
} // namespace

// A file the list names must be there: its stand-in page is not judged as
// the file, so the failure says what happened.
TransferFailure ListedBody::TakeHead(const HttpResponseReader& response) {
    if (response.StatusCode() == 404)
        return {TransferFailure::Kind::NotFound, NotFoundRule::message};
    return {};
}

TransferFailure ListedBody::TakeKept(const QString& path, std::int64_t size) {
    QFile kept(path);
    if (!kept.open(QIODevice::ReadOnly))
        return {TransferFailure::Kind::Save,
                "The kept part of the file cannot be read (" + kept.errorString().toUtf8() + ")."};
    while (size > 0) {
        const QByteArray piece = kept.read(qMin<std::int64_t>(size, readPiece));
        if (piece.isEmpty())
            return {TransferFailure::Kind::Save, "The kept part of the file is shorter."};
        if (TransferFailure failure = Take(piece.constData(), piece.size()))
            return failure;
        size -= piece.size();
    }
    return {};
}

TransferFailure ListedBody::Take(const char* data, qsizetype size) {
    if (check_.Update(data, size))
        return {};
    return {TransferFailure::Kind::Release, check_.Verdict()};
}

TransferFailure ListedBody::Verdict() {
    const QByteArray problem = check_.Verdict();
    if (problem.isEmpty())
        return {};
    return {TransferFailure::Kind::Release, problem};
}
