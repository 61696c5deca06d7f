// Why a transfer cannot succeed: a kind that the update client decides by,
// and the text that the user reads. Nothing decides anything by the text.
#pragma once

#include "update/net/FailureReason.h"

#include <QByteArray>

struct TransferFailure {
    enum class Kind {
        None,
        Connection,  // no connection, a failed lookup, a reset, an unusable address
        Tls,         // the secure connection failed: the certificate, the handshake
        Stalled,     // the server went silent
        Slow,        // the server sends below the floor rate
        ClosedEarly, // the server closed before the answer was whole
        ServerError, // a 5xx status
        Status,      // any other status the transfer cannot use
        NotFound,    // the server does not have the file
        BadAnswer,   // not HTTP, a broken head or length, more than announced, an unfit range
        TooLarge,    // more than the update client takes for that file
        NotArchive,  // an answer to the archive's request that is no archive
        Save,        // the file cannot be written where it belongs
        Signature,   // the archive's signature is missing, refused, or cannot be checked
        Busy,        // the transfer could not start: another one runs, or its window is gone
        Release,     // the signed release list is refused, or refuses this file
        Mismatch,    // the body is not the one the release list vouches for
    };

    // What opens each failure line the windows show, before the path or reason.
    static constexpr char headline[] = "TRANSFER FAILED: ";

    TransferFailure() = default;
    TransferFailure(Kind why, QByteArray says) : kind(why), text(std::move(says)) {}

    // True when the transfer has failed.
    explicit operator bool() const { return kind != Kind::None; }

    // This failure, the first of `servers` mirrors that each failed.
    TransferFailure OnEvery(qsizetype servers) const {
        return {kind,
                FailureReason::Joined(text, "(" + QByteArray::number(servers) + " servers tried)")};
    }

    Kind kind = Kind::None;
    QByteArray text;
};
