#include "update/trust/TrustStore.h"

#include "platform/runtime/ReplaceFile.h"
#include "platform/runtime/RuntimeError.h"
#include "update/net/FailureReason.h"
#include "update/trust/MinisignText.h"

#include <QDir>
#include <QFile>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sodium.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

constexpr char header[] = "koru-trust 1";

[[noreturn]] void RaiseAccess(const QString& path) {
    throw RuntimeError(RuntimeErrors::pathFileAccess, QFile::encodeName(path));
}

// The anchor's key ids, sorted, hashed into a short file name.
QString RecordName(const TrustedKeys& anchor) {
    QList<QByteArray> ids;
    for (const UpdateKey& key : anchor.Keys())
        ids.append(key.KeyId());
    std::sort(ids.begin(), ids.end());
    const QByteArray joined = ids.join();
    unsigned char hash[8];
    crypto_generichash(hash, sizeof hash,
                       reinterpret_cast<const unsigned char*>(joined.constData()),
                       size_t(joined.size()), nullptr, 0);
    return QStringLiteral("trust-") +
           QString::fromLatin1(
               QByteArray(reinterpret_cast<const char*>(hash), sizeof hash).toHex()) +
           QStringLiteral(".txt");
}

// An exclusive flock on a lock file beside the record, held while it lives:
// the record itself is replaced by a rename, so it cannot carry the lock.
class RecordLock {
public:
    explicit RecordLock(const QString& path) {
        fd_ = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd_ < 0)
            RaiseAccess(path);
        while (::flock(fd_, LOCK_EX) != 0) {
            if (errno != EINTR) {
                ::close(fd_);
                RaiseAccess(path);
            }
        }
    }
    ~RecordLock() { ::close(fd_); }
    RecordLock(const RecordLock&) = delete;
    RecordLock& operator=(const RecordLock&) = delete;

private:
    int fd_ = -1;
};

} // namespace

TrustStore::TrustStore(const QString& folder, const TrustedKeys& anchor)
    : folder_(folder), anchor_(anchor) {
    MinisignText::RequireSodium();
    path_ = QDir(folder).filePath(RecordName(anchor));
}

QString TrustStore::DefaultFolder() {
    const QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (QDir::isAbsolutePath(state))
        return QDir(state).filePath(QStringLiteral("koru"));
    return QDir::home().filePath(QStringLiteral(".local/state/koru"));
}

TrustStore::State TrustStore::Load() const {
    QFile file(path_);
    if (!file.exists())
        return {0, 0, anchor_, false, {}};
    if (!file.open(QIODevice::ReadOnly))
        return {0, 0, anchor_, false,
                "KORU's trust record " + QFile::encodeName(path_) + " cannot be read (" +
                    file.errorString().toUtf8() + ")."};
    return Parse(file.read(TrustedKeys::maximumSize + 1024));
}

void TrustStore::Record(const State& accepted) {
    if (!QDir().mkpath(folder_))
        RaiseAccess(folder_);
    QFile::setPermissions(folder_, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const RecordLock lock(path_ + QStringLiteral(".lock"));
    // Read again under the lock: another KORU may have gone further.
    const State loaded = Load();
    State merged = loaded.problem.isEmpty() ? loaded : State{0, 0, anchor_, false, {}};
    merged.serial = std::max(merged.serial, accepted.serial);
    if (accepted.epoch > merged.epoch) {
        merged.epoch = accepted.epoch;
        merged.keys = accepted.keys;
    }
    merged.listSeen = merged.listSeen || accepted.listSeen;
    // A check that learnt nothing new leaves the record alone: replacing it
    // waits for the disk.
    const QByteArray text = Text(merged);
    if (loaded.problem.isEmpty() && QFile::exists(path_) && text == Text(loaded))
        return;
    ReplaceFile(path_, text);
}

TrustStore::State TrustStore::Parse(const QByteArray& text) const {
    const auto damaged = [this](const QByteArray& why) {
        return State{
            0, 0, anchor_, false,
            "KORU's trust record " + QFile::encodeName(path_) + " is damaged (" +
                FailureReason::Joined(why, "); remove it to trust the update key afresh.")};
    };
    const QList<QByteArray> lines = MinisignText::Lines(text);
    if (lines.size() < 4 || lines[0] != header)
        return damaged("it does not start with \"" + QByteArray(header) + '"');
    State state;
    bool serialOk = false;
    bool epochOk = false;
    state.serial =
        MinisignText::AfterPrefix(lines[1], "serial ").value_or("-").toLongLong(&serialOk);
    state.epoch = MinisignText::AfterPrefix(lines[2], "epoch ").value_or("-").toLongLong(&epochOk);
    const std::optional<QByteArray> seen = MinisignText::AfterPrefix(lines[3], "list-seen ");
    if (!serialOk || !epochOk || state.serial < 0 || state.epoch < 0 || !seen ||
        (*seen != "yes" && *seen != "no"))
        return damaged("its serial, epoch or list-seen line");
    state.listSeen = *seen == "yes";
    if (state.epoch == 0) {
        state.keys = anchor_;
        return state;
    }
    QByteArray keyLines;
    for (qsizetype i = 4; i < lines.size(); ++i) {
        const std::optional<QByteArray> key = MinisignText::AfterPrefix(lines[i], "key ");
        if (!key)
            return damaged("line " + QByteArray::number(i + 1) + " is not a key line");
        keyLines += *key + '\n';
    }
    state.keys = TrustedKeys::FromKeyLines(keyLines, "The trust record's key");
    if (!state.keys.Usable())
        return damaged(state.keys.Problem());
    return state;
}

QByteArray TrustStore::Text(const State& state) {
    QByteArray text = QByteArray(header) + '\n';
    text += "serial " + QByteArray::number(state.serial) + '\n';
    text += "epoch " + QByteArray::number(state.epoch) + '\n';
    text += QByteArray("list-seen ") + (state.listSeen ? "yes" : "no") + '\n';
    if (state.epoch > 0) {
        for (const QByteArray& line : state.keys.KeyLines().split('\n')) {
            if (!line.isEmpty())
                text += "key " + line + '\n';
        }
    }
    return text;
}
