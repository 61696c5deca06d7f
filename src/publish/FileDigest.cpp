#include "publish/FileDigest.h"

#include "platform/runtime/RuntimeError.h"
#include "update/trust/MinisignText.h"

#include <QFile>
#include <sodium.h>

QByteArray FileDigest(const QString& path, qsizetype digestSize) {
    MinisignText::RequireSodium();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw RuntimeError(RuntimeErrors::pathFileAccess, QFile::encodeName(path));
    crypto_generichash_state state;
    crypto_generichash_init(&state, nullptr, 0, size_t(digestSize));
    QByteArray block(64 * 1024, Qt::Uninitialized);
    for (;;) {
        const qint64 got = file.read(block.data(), block.size());
        if (got < 0)
            throw RuntimeError(RuntimeErrors::pathFileAccess, QFile::encodeName(path));
        if (got == 0)
            break;
        crypto_generichash_update(&state, reinterpret_cast<const unsigned char*>(block.constData()),
                                  static_cast<unsigned long long>(got));
    }
    QByteArray digest(digestSize, Qt::Uninitialized);
    crypto_generichash_final(&state, reinterpret_cast<unsigned char*>(digest.data()),
                             size_t(digestSize));
    return digest;
}
