#include "update/files/DeltaReceiver.h"

#include "platform/runtime/RuntimeError.h"
#include "update/delta/DecimalNumber.h"
#include "update/delta/ZsyncControl.h"

#include <QList>
#include <sys/statvfs.h>

DeltaReceiver::DeltaReceiver(const QString& target, const ZsyncControl& control)
    : control_(control), file_(target), assembly_(control, file_.Descriptor()) {}

void DeltaReceiver::CopySeedBlocks(const QString& seedPath,
                                   const std::vector<qint64>& seedOffsets) {
    assembly_.CopySeedBlocks(seedPath, seedOffsets);
}

void DeltaReceiver::Reserve() {
    if (std::exchange(reserved_, true))
        return;
    // A length no server has vouched for never gets here; one the disk cannot
    // hold is left to the writes, which fail only if the bytes truly come.
    struct statvfs fs {};
    if (::fstatvfs(file_.Descriptor(), &fs) != 0 ||
        qint64(fs.f_bavail) * qint64(fs.f_frsize) <= control_.Length())
        return;
    try {
        file_.Reserve(control_.Length());
    } catch (const RuntimeError&) {
        // Reserving only spares fragments: the writes find out.
    }
}

void DeltaReceiver::AskEach(const QList<QByteArray>& requests) {
    asks_ = requests;
    comparing_ = false;
    Answering(0);
}

void DeltaReceiver::Answering(qsizetype index) {
    // "bytes=0-99,200-299": the span from the first byte asked to the last.
    const QList<QByteArray> each = asks_.at(index).mid(6).split(',');
    qint64 first = control_.Length();
    qint64 last = -1;
    wanted_.Clear();
    for (const QByteArray& range : each) {
        const qsizetype dash = range.indexOf('-');
        const qint64 from = DecimalNumber(range.left(dash));
        const qint64 to = DecimalNumber(range.mid(dash + 1));
        first = std::min(first, from);
        last = std::max(last, to);
        wanted_.Add(from, to + 1);
    }
    several_ = each.size() > 1;
    started_ = false;
    reader_.Expect(first, last, each.size());
}

bool DeltaReceiver::Enough() const {
    if (!started_ || reader_.Kind() != MultipartReader::Shape::Whole)
        return false;
    // The bytes read so far are the file from its start: what lies past
    // them is better asked for range by range than read through.
    const qint64 at = reader_.Delivered();
    return reader_.Complete() || (several_ && !wanted_.Overlaps(at, at + 1));
}

void DeltaReceiver::AskTail() {
    asks_ = {TailRange()};
    several_ = started_ = false;
    comparing_ = true;
    reader_.Expect(std::max<qint64>(0, control_.Length() - tailSize), control_.Length() - 1, 1);
}

TransferFailure DeltaReceiver::CheckHead(const HttpResponseReader& response) {
    const QByteArray length = response.Header("content-length");
    if (response.StatusCode() == 200 && !length.isEmpty() &&
        DecimalNumber(length) != control_.Length())
        return {TransferFailure::Kind::BadAnswer, staleControl};
    started_ = true;
    const QByteArray refusal = reader_.Start(
        response.StatusCode(), response.Header("content-type"), response.Header("content-range"),
        control_.Length(), [this](qint64 offset, const char* data, qsizetype size) {
            sent_ += size;
            // A byte of the archive came with the length the control file gave.
            if (comparing_)
                return assembly_.Compare(offset, data, size).isEmpty() ? QByteArray()
                                                                       : QByteArray(staleControl);
            Reserve();
            return assembly_.Write(offset, data, size);
        });
    return Refused(refusal);
}

TransferFailure DeltaReceiver::Take(const char* data, qsizetype size) {
    return Refused(reader_.Feed(data, size));
}

TransferFailure DeltaReceiver::Refused(const QByteArray& refusal) const {
    if (refusal.isEmpty())
        return {};
    return {TransferFailure::Kind::BadAnswer,
            reader_.OtherLength() ? QByteArray(staleControl) : refusal};
}

std::int64_t DeltaReceiver::FileSize(const HttpResponseReader&) const {
    return control_.Length();
}

std::int64_t DeltaReceiver::Size() const {
    return control_.Length();
}

void DeltaReceiver::Commit() {
    file_.Assembled(control_.Length());
    file_.Commit();
}
