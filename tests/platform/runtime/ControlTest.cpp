// Controls and menu items: change notification, clicks only while enabled, the
// menu tree's paths and the shared handler of a menu-item array.
#include "platform/runtime/Control.h"

#include "platform/runtime/MenuItem.h"
#include "platform/runtime/MenuItemArray.h"

#include <QStringList>
#include <gtest/gtest.h>

TEST(ControlTest, EveryChangeOfCaptionOrEnabledRefreshesTheView) {
    Control button("start", false);
    int refreshes = 0;
    button.refreshView = [&] { ++refreshes; };
    button.SetCaption("Download Update!");
    button.SetEnabled(true);
    EXPECT_EQ(button.Caption(), QByteArray("Download Update!"));
    EXPECT_TRUE(button.Enabled());
    EXPECT_EQ(refreshes, 2);
}

TEST(ControlTest, ClickRunsTheHandlerOnlyWhileEnabled) {
    Control button;
    int clicks = 0;
    button.onClick = [&] { ++clicks; };
    EXPECT_TRUE(button.Click());
    button.SetEnabled(false);
    EXPECT_FALSE(button.Click());
    EXPECT_EQ(clicks, 1);
}

TEST(MenuItemTest, ItemsJoinTheirHeadInOrderAndKnowTheirPath) {
    MenuItem head("mnuHead", "HEAD     ");
    MenuItem first("mnuFirst", "First", &head);
    MenuItem line("mnuLine", "-", &head);
    MenuItem sub("mnuSub", "Sub", &head);
    MenuItemArray array("mnuArray", {"Zero", "One"}, &sub, false);

    EXPECT_EQ(head.Items(), (QList<MenuItem*>{&first, &line, &sub}));
    EXPECT_EQ(sub.Items(), (QList<MenuItem*>{&array(0), &array(1)}));
    EXPECT_TRUE(line.IsSeparator());
    EXPECT_FALSE(first.IsSeparator());
    EXPECT_EQ(array(1).Path(), (QList<MenuItem*>{&head, &sub, &array(1)}));
    EXPECT_EQ(array(1).Name(), QByteArray("mnuArray(1)"));
    EXPECT_EQ(array.UBound(), 1);
    EXPECT_FALSE(array(0).Enabled());
}

TEST(MenuItemTest, ArrayElementsShareOneHandlerThatReceivesTheIndex) {
    MenuItemArray array("mnuArray", {"Zero", "One", "Two"}, nullptr);
    QList<int> clicked;
    array.onClick = [&](int index) { clicked.append(index); };
    array(2).Click();
    array(0).Click();
    array(1).SetEnabled(false);
    array(1).Click();
    EXPECT_EQ(clicked, (QList<int>{2, 0}));
}
