// The transfer engine over a scripted connection, no socket: pipelined
// requests and their answers, what goes again after a close or a reset,
// mirrors, and what a server may send past what was asked. Each row runs
// with its events posted to the event loop, as the socket service tells
// them, and stepped one by one from outside the engine.
#include "update/net/TransferEngine.h"

#include "platform/runtime/Events.h"
#include "update/net/FileSink.h"
#include "update/net/ScriptedConnection.h"

#include <QDeadlineTimer>
#include <QTimer>
#include <gtest/gtest.h>
#include <optional>

namespace {

using Conn = ScriptedConnection;

// A file made of several answers, asked on one connection: each request
// names its answer, so the log shows which went on which connection. An
// answer asked again is written over, as ranges are at their offsets.
class AnswersSink : public FileSink {
public:
    explicit AnswersSink(qsizetype requests) : parts_(std::max<qsizetype>(1, requests)) {}
    QByteArray RequestHeaders() const override { return RequestHeadersOf(0); }
    qsizetype Requests() const override { return parts_.size(); }
    QByteArray RequestHeadersOf(qsizetype index) const override {
        return "X-Answer: " + QByteArray::number(index) + "\r\n";
    }
    std::int64_t Offset() const override { return 0; }
    TransferFailure CheckHead(const HttpResponseReader&) override {
        parts_[current_].clear();
        return {};
    }
    TransferFailure Take(const char* data, qsizetype size) override {
        parts_[current_].append(data, size);
        return {};
    }
    void Answering(qsizetype index) override { current_ = index; }
    void Interrupt(bool) override {}
    QByteArray Body() const { return parts_.join(); }

private:
    QByteArrayList parts_;
    qsizetype current_ = 0;
};

// Per connection, the answers it was asked for: "0 1 2".
QList<QByteArray> Asked(const ScriptedConnection& connection) {
    QList<QByteArray> asked;
    for (const QByteArray& sent : connection.Sent()) {
        QByteArrayList numbers;
        for (qsizetype at = sent.indexOf("X-Answer: "); at >= 0;
             at = sent.indexOf("X-Answer: ", at + 1))
            numbers.append(sent.mid(at + 10, sent.indexOf('\r', at) - at - 10));
        if (numbers.isEmpty() && sent.startsWith("GET "))
            numbers.append("text");
        asked.append(numbers.join(' '));
    }
    return asked;
}

struct EngineRow {
    const char* name;
    QByteArray servers;
    qsizetype requests; // 0: a text
    QList<Conn::Script> connections;
    QByteArray failure; // empty: complete
    QByteArray body;
    QList<QByteArray> asked; // per connection
};

const QByteArray a0 = Conn::Ok("zero-"), a1 = Conn::Ok("one-"), a2 = Conn::Ok("two");

const EngineRow engineRows[] = {
    // The requests after the first wait until the connection has carried bytes.
    {"PipelinedAnswersSplitAcrossHeads",
     "127.0.0.1:8080",
     3,
     {{Conn::Connected(), Conn::Data(a0.left(3)), Conn::Data(a0.mid(3) + a1.left(30)),
       Conn::Data(a1.mid(30) + a2)}},
     {},
     "zero-one-two",
     {"0 1 2"}},
    {"CloseBetweenAnswersResendsTheRest",
     "127.0.0.1:8080",
     3,
     {{Conn::Connected(), Conn::Data(a0), Conn::Closed()},
      {Conn::Connected(), Conn::Data(a1), Conn::Data(a2)}},
     {},
     "zero-one-two",
     {"0 1 2", "1 2"}},
    {"CloseBeforeAnyAnswerIsNotResent",
     "127.0.0.1:8080",
     3,
     {{Conn::Connected(), Conn::Closed()}, {Conn::Connected(), Conn::Data(a0 + a1 + a2)}},
     HttpResponseReader::closedEarly,
     "",
     {"0"}},
    {"ResetMidAnswerAsksItAgain",
     "127.0.0.1:8080",
     3,
     {{Conn::Connected(), Conn::Data(a0), Conn::Data(a1.left(a1.size() - 2)), Conn::Reset()},
      {Conn::Connected(), Conn::Data(a1), Conn::Data(a2)}},
     {},
     "zero-one-two",
     {"0 1 2", "1 2"}},
    {"ResetMidAnswerAsksItAgainOnlyOnce",
     "127.0.0.1:8080",
     3,
     {{Conn::Connected(), Conn::Data(a0), Conn::Data(a1.left(a1.size() - 2)), Conn::Reset()},
      {Conn::Connected(), Conn::Data(a1.left(a1.size() - 2)), Conn::Reset()},
      {Conn::Connected(), Conn::Data(a1), Conn::Data(a2)}},
     "Connection reset by peer.",
     "zero-on",
     {"0 1 2", "1"}},
    {"ResetMidTheOnlyAnswerFails",
     "127.0.0.1:8080",
     0,
     {{Conn::Connected(), Conn::Data(a0.left(a0.size() - 1)), Conn::Reset()},
      {Conn::Connected(), Conn::Data(a0)}},
     "Connection reset by peer.",
     "zero",
     {"text"}},
    {"MoreThanAskedAfterTheLastAnswerFails",
     "127.0.0.1:8080",
     2,
     {{Conn::Connected(), Conn::Data(a0), Conn::Data(a1 + a2)}},
     "The server sent more than it announced.",
     "zero-",
     {"0 1"}},
    {"MoreThanAnnouncedInATextFails",
     "127.0.0.1:8080",
     0,
     {{Conn::Connected(), Conn::Data(a0 + "HTTP/1.1 200 OK\r\n")}},
     "The server sent more than it announced.",
     "",
     {"text"}},
    {"RefusedMirrorMovesOnToTheNext",
     "127.0.0.1:8080,127.0.0.1:8081",
     0,
     {{Conn::Refused()}, {Conn::Connected(), Conn::Data(a0)}},
     {},
     "zero-",
     {"", "text"}},
};

class TransferEngineTest : public ::testing::TestWithParam<std::tuple<EngineRow, Conn::Delivery>> {
protected:
    void SetUp() override {
        for (const char* name : {"http_proxy", "HTTP_PROXY", "no_proxy", "NO_PROXY"})
            qunsetenv(name);
    }
};

TEST_P(TransferEngineTest, EndsAsScripted) {
    const auto& [row, delivery] = GetParam();
    ScriptedConnection connection(row.connections, delivery);
    TransferEngine engine;
    ScriptedConnection::RouteTo(connection, engine);
    AnswersSink sink(row.requests);
    QByteArray text;
    std::optional<FetchResult> ended;
    const auto onEnd = [&](const FetchResult& result) { ended = result; };
    if (row.requests == 0)
        engine.FetchText(connection, row.servers, "/f", text, onEnd);
    else
        engine.FetchFile(connection, row.servers, "/f", sink, onEnd);
    if (delivery == Conn::Delivery::Stepped) {
        while (!ended && connection.Step()) {
        }
    } else {
        QDeadlineTimer deadline(3000);
        QTimer tick;
        tick.start(10);
        WaitUntil([&] { return ended || deadline.hasExpired(); });
    }
    engine.Cancel();

    ASSERT_TRUE(ended) << "the script ran out before the fetch ended";
    EXPECT_EQ(ended->failure.text, row.failure);
    EXPECT_EQ(row.requests == 0 ? text : sink.Body(), row.body);
    EXPECT_EQ(Asked(connection), row.asked);
}

INSTANTIATE_TEST_SUITE_P(Rows, TransferEngineTest,
                         ::testing::Combine(::testing::ValuesIn(engineRows),
                                            ::testing::Values(Conn::Delivery::Posted,
                                                              Conn::Delivery::Stepped)),
                         [](const ::testing::TestParamInfo<TransferEngineTest::ParamType>& row) {
                             return std::string(std::get<0>(row.param).name) +
                                    (std::get<1>(row.param) == Conn::Delivery::Posted ? "Posted"
                                                                                      : "Stepped");
                         });

} // namespace
