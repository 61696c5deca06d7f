#include "update/net/FileSink.h"

std::int64_t FileSink::Received(const HttpResponseReader& response) const {
    return Offset() + response.Received();
}

std::int64_t FileSink::Progress(const HttpResponseReader& response) const {
    return Received(response);
}

std::int64_t FileSink::FileReceived(const HttpResponseReader& response) const {
    return Offset() + response.BodyReceived();
}

std::int64_t FileSink::FileSize(const HttpResponseReader& response) const {
    const bool announced =
        response.HeadComplete() && response.BodyFraming() == HttpResponseReader::Framing::Length;
    return announced ? Offset() + response.ContentLength() : 0;
}
