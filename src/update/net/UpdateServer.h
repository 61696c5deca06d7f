// Which update server KORU asks: the one --server names, else KORU_SERVER
// (a mirror, the demo), otherwise the one KORU was built with.
#pragma once

#include <QByteArray>

// The update server's host, with ":port" when not 80, or a comma-separated
// list of mirrors.
QByteArray UpdateServerHost();

// The server --server names; an empty text goes back to the default.
void SetUpdateServer(const QByteArray& server);
