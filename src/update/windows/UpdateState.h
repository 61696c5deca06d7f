// The update client's state shared by both windows and koru-cli: the current
// transfer, the two versions, the server switch and the held release list,
// lent to the jobs the windows start. One copy for the whole program.
#pragma once

#include "update/jobs/ServiceMode.h"
#include "update/trust/HeldList.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>

class TransferEngine;

// The runtime's 16-bit Boolean.
using VBBoolean = std::int16_t;
inline constexpr VBBoolean vbTrue = -1;
inline constexpr VBBoolean vbFalse = 0;

struct UpdateState {
    QByteArray serverHost;  // update server host, set when a window loads
    QByteArray requestPath; // absolute path of the next request
    // A text answer's body as it arrives (the head stays with the response
    // reader, an archive's body goes to its file), then the body or a result message.
    QByteArray responseBuffer;
    // Bytes of the response received so far, head included; once a body is
    // taken, the length of what responseBuffer stands for (an archive's on disk).
    std::int64_t responseLength = 0;
    float localVersion = 0;  // installed VANTO version
    float remoteVersion = 0; // VANTO version offered by the server
    QString targetFile;      // where the current transfer is saved
    VBBoolean transferDone = vbFalse;
    std::int64_t expectedLength = 0; // head plus announced body; 0 while not known
    std::uint8_t stallTicks = 0;     // timer ticks in a row without growth
    std::int64_t lastLength = 0;     // responseLength at the previous tick
    std::uint8_t serviceMode = serviceNotChecked;
    // The release list the last check verified, kept for the rest of the run.
    HeldList releaseList;

    // Follows the transfer under way: the path it fetches, the response's
    // length so far (a text's body gathers in responseBuffer itself), its
    // expected length and whether it is complete.
    void Follow(const TransferEngine& transfer);

    // Ticks of a second in a row without growth after which a transfer has
    // stalled: about 11 seconds without data.
    static constexpr std::uint8_t stallLimit = 10;
    // A tick of a window's one-second stall timer: counted when the response
    // has not grown since the last, else the count starts afresh. True once
    // the transfer has stalled.
    bool StallTick();

    // Takes the offered version from its text (as the runtime's Val reads
    // it) and answers whether it is newer than the installed one.
    bool CompareVersions(const QByteArray& offered);

    // The archive that was saved: its length stands in the response's.
    void SavedArchive(std::int64_t length) {
        responseBuffer.clear();
        responseLength = length;
    }

    // Sets responseBuffer to a text of its own length.
    void SetResponse(QByteArray text) {
        responseLength = text.size();
        responseBuffer = std::move(text);
    }

    // Back to the values at start (tests).
    void Reset() { *this = UpdateState(); }
};

// The program's one copy.
UpdateState& SharedState();
