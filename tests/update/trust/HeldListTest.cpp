// The vetting bound to a held release list: each holder judges by its own
// list, so two jobs holding two lists never see each other's.
#include "update/trust/HeldList.h"

#include <gtest/gtest.h>

namespace {

struct VettingRow {
    const char* name;
    bool first; // asked of the holder with a list, else of the one without
    const char* path;
    bool refused;
    bool judged; // a body check is set
};

// The same file, judged by the holder that lists it and by the other.
const VettingRow vettingRows[] = {
    {"ListedFileJudged", true, "/files/koru/vanto_ver.txt", false, true},
    {"WithoutListOthersFileUnjudged", false, "/files/koru/vanto_ver.txt", false, false},
};

class HeldListTest : public ::testing::TestWithParam<VettingRow> {};

TEST_P(HeldListTest, EachHolderJudgesByItsOwnList) {
    const VettingRow& row = GetParam();
    HeldList first;
    HeldList second;
    first = ReleaseList{};
    first->offeredVersion = "02.14";
    first->files.append({"koru/vanto_ver.txt", 5, QByteArray(32, '\xab')});
    const FetchOptions::Vetting vetting = (row.first ? first : second).Vetting();

    std::unique_ptr<BodyCheck> check;
    const TransferFailure failure = vetting(row.path, check);
    EXPECT_EQ(bool(failure), row.refused) << failure.text.constData();
    EXPECT_EQ(check != nullptr, row.judged);
}

INSTANTIATE_TEST_SUITE_P(Rows, HeldListTest, ::testing::ValuesIn(vettingRows),
                         [](const ::testing::TestParamInfo<VettingRow>& row) {
                             return std::string(row.param.name);
                         });

} // namespace
