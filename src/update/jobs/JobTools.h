// What the main window lends the jobs it starts: its transfer engine, the
// connection the engine talks on (gone once the window has closed, so it
// is looked up at each fetch), its log, VANTO's folder, the release list
// it holds (which judges every fetch), the server, where a text's body
// gathers and the switch as last asked, kept for the run.
#pragma once

#include "update/formats/JobLog.h"
#include "update/net/TransferEngine.h"
#include "update/trust/HeldList.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <memory>

class Connection;

struct JobTools {
    TransferEngine* engine = nullptr;
    const std::shared_ptr<Connection>* connection = nullptr;
    JobLog* log = nullptr;
    QString vantoFolder;
    HeldList* releaseList = nullptr;
    QByteArray server;
    QByteArray* text = nullptr;
    std::uint8_t* serviceMode = nullptr;

    QString LocalFile(const char* relativePath) const {
        return vantoFolder + u'/' + QString::fromLatin1(relativePath);
    }
};
