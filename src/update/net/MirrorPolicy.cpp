#include "update/net/MirrorPolicy.h"

namespace {

// What a plain request names a server by: the entry as the user wrote it,
// so one plain server is asked exactly as before mirrors and schemes.
QByteArray WrittenHost(QByteArray entry) {
    entry = entry.trimmed();
    if (entry.toLower().startsWith("http://"))
        entry.remove(0, 7);
    if (entry.endsWith('/'))
        entry.chop(1);
    return entry;
}

} // namespace

const MirrorPolicy::Kinds MirrorPolicy::connectionKinds = {
    TransferFailure::Kind::Connection, TransferFailure::Kind::Tls,
    TransferFailure::Kind::ServerError, TransferFailure::Kind::Stalled,
    TransferFailure::Kind::Slow};

void MirrorPolicy::Use(const QByteArray& text) {
    if (text == text_ && (!mirrors_.isEmpty() || !problem_.isEmpty()))
        return;
    text_ = text;
    mirrors_.clear();
    problem_.clear();
    const QList<QByteArray> entries = text.split(',');
    const QList<ServerAddress> addresses = ServerAddress::ParseList(text, problem_);
    for (qsizetype i = 0; i < addresses.size(); ++i)
        mirrors_.append({addresses[i], WrittenHost(entries[i])});
    NewCommand();
}

void MirrorPolicy::NewCommand() {
    current_ = 0;
    dead_.fill(false, mirrors_.size());
    everyFailed_ = {};
}

TransferFailure MirrorPolicy::BeginRequest() {
    tried_ = 1;
    first_ = {};
    if (everyFailed_)
        return everyFailed_;
    for (qsizetype i = 0; i < mirrors_.size() && dead_[current_]; ++i)
        current_ = (current_ + 1) % mirrors_.size();
    start_ = current_;
    return {};
}

bool MirrorPolicy::MoveOn(TransferFailure& failure, const Kinds& kinds, bool dead) {
    if (mirrors_.size() < 2 || !kinds.contains(failure.kind))
        return false;
    if (!first_)
        first_ = failure;
    if (dead)
        dead_[current_] = true;
    // The next server this request has not tried and the command has not given up on.
    for (qsizetype step = 1; tried_ < mirrors_.size(); ++step) {
        const qsizetype next = (current_ + step) % mirrors_.size();
        ++tried_;
        if (!dead_[next]) {
            current_ = next;
            return true;
        }
    }
    failure = first_.OnEvery(tried_);
    current_ = start_;
    if (!dead_.contains(false))
        everyFailed_ = failure;
    return false;
}
