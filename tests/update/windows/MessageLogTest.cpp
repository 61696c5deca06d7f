// The message log: append, replace and the separator as byte text, one Change
// event per write, and the caret following the end.
#include "update/windows/MessageLog.h"

#include <gtest/gtest.h>

TEST(MessageLogTest, AppendReplaceAndSeparatorKeepEveryByte) {
    MessageLog log;
    int changes = 0;
    log.onChange = [&] { ++changes; };
    log.SetText("first\r\n");
    log.Append(QByteArray("\x00\xff\r", 3));
    log.Append("no line end, ");
    log.Append("same line\r\n");
    log.AppendSeparator();
    EXPECT_EQ(log.Text(),
              "first\r\n" + QByteArray("\x00\xff\r", 3) +
                  "no line end, same line\r\n--------------------------------------\r\n");
    EXPECT_EQ(changes, 5);
    log.SetText("replaced");
    EXPECT_EQ(log.Text(), QByteArray("replaced"));
    log.Reset();
    EXPECT_EQ(log.Text(), QByteArray());
    EXPECT_EQ(changes, 6); // a load empties the log without a Change event
}

TEST(MessageLogTest, SettingTheTextPutsTheCaretAtTheStartUnlessTheHandlerMovesIt) {
    MessageLog log;
    log.SetText("abc");
    EXPECT_EQ(log.SelStart(), 0);
    log.onChange = [&] { log.SetSelStart(log.Text().size()); };
    log.Append("def");
    EXPECT_EQ(log.SelStart(), 6);
    log.SetSelStart(99);
    EXPECT_EQ(log.SelStart(), 6);
}
