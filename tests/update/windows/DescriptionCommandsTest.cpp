// The three commands that only describe features to come: exact texts, replace
// semantics, and the server's message while the service is switched off.
#include "support/FormsFixture.h"

namespace {

const QByteArray plugins =
    "VANTO has a unique plugin format that allows people to add simple features to VANTO.  Here "
    "you can view and download plug-ins.  Once downloaded, VANTO will instantly recognize them."
    "\r\n\r\nTHIS FEATURE IS NOT YET AVAILABLE.\r\n" +
    separator;
const QByteArray patches =
    "A list of downloadable public patches for you to use.  Some of these will be intended as "
    "full hacks.  Others will simply add a feature or two to your ROM.\r\nSome patches will "
    "include the ASM used to make the patch.  A description accompanies each patch so you know "
    "what to expect.\r\n\r\nTHIS FEATURE IS NOT YET AVAILABLE.\r\n" +
    separator;
const QByteArray search = "Search KORU's Database of VANTO information.\r\nTHIS FEATURE IS NOT "
                          "YET AVAILABLE.\r\n" +
                          separator;

struct Description {
    const char* name;
    MenuItem& (*item)(MainForm&);
    const QByteArray* text;
    bool showsServerMessage; // while the server has switched the service off
};

class DescriptionTest : public FormsFixture, public ::testing::WithParamInterface<Description> {
protected:
    DescriptionTest() { Start(); }
    MenuItem& Item() { return GetParam().item(forms.KORU2); }
};

} // namespace

TEST_P(DescriptionTest, ReplacesTheLogWithItsTextSoTwiceLeavesOneCopy) {
    forms.KORU2.SystemMessagesText1.Append("earlier output\r\n");
    ASSERT_TRUE(Item().Click());
    EXPECT_EQ(Log(), *GetParam().text);
    ASSERT_TRUE(Item().Click());
    EXPECT_EQ(Log(), *GetParam().text);
    EXPECT_EQ(forms.KORU2.SystemMessagesText1.SelStart(), Log().size());
}

TEST_P(DescriptionTest, WithTheServiceOffShowsTheServerMessageWhereItShould) {
    SharedState().serviceMode = serviceOff;
    SharedState().responseBuffer = "KORU is offline for maintenance.";
    Item().Click();
    if (GetParam().showsServerMessage)
        EXPECT_EQ(Log(), "KORU is offline for maintenance.\r\n" + separator);
    else
        EXPECT_EQ(Log(), *GetParam().text);
}

TEST_P(DescriptionTest, WithTheServiceOnShowsTheDescription) {
    SharedState().serviceMode = serviceOn;
    SharedState().responseBuffer = "leftover body";
    Item().Click();
    EXPECT_EQ(Log(), *GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Commands, DescriptionTest,
    ::testing::Values(
        Description{"Plugins", [](MainForm& f) -> MenuItem& { return f.mnuVANTOplugins; }, &plugins,
                    true},
        Description{"Patches", [](MainForm& f) -> MenuItem& { return f.mnuPublicPatches; },
                    &patches, true},
        Description{"Search", [](MainForm& f) -> MenuItem& { return f.mnuSearchForAnswers; },
                    &search, false}),
    [](const auto& test) { return std::string(test.param.name); });
