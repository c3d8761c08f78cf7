#include "install/CountiesTable.h"
#include "install/ProductCatalogue.h"
#include "platform/FileUtilsX.h"

#include "support/Scratch.h"

#include <gtest/gtest.h>

#include <thread>

namespace oru {
namespace {

// n bytes counting up from first.
std::string Bytes(size_t n, uint8_t first = 1) {
    std::string out(n, '\0');
    for (size_t i = 0; i < n; ++i)
        out[i] = static_cast<char>(first + i);
    return out;
}

// Delivers its first bytes, then reads nothing more though its size says more.
class TFailingStream : public TMemoryStream {
  public:
    using TMemoryStream::TMemoryStream;
    int32_t Read(void* buffer, int32_t count) override {
        const int64_t room = 10 - GetPosition();
        return room <= 0 ? 0 : TMemoryStream::Read(buffer, static_cast<int32_t>(std::min<int64_t>(count, room)));
    }
};

class CountiesTableTest : public ::testing::Test {
  protected:
    test::TScratch dir{"counties"};
    void SetUp() override {
        ClearCountiesTables();
        ResetProductCatalogue();
        SetPresortTablesFolderQuery([this] { return dir.Dir(); });
    }
    void TearDown() override {
        SetPresortTablesFolderQuery(nullptr);
        SetCountiesFileOpener(nullptr);
        SetFindOruPathFactory(nullptr);
        SetCountiesTableThreadSlot(0);
        ClearCountiesTables();
        ResetProductCatalogue();
    }
    void Table(size_t bytes, const std::string& sub = "") { dir.Write(sub + "COUNTIES.TBL", Bytes(bytes, sub.empty() ? 1 : 100)); }
};

TEST_F(CountiesTableTest, LoadsWholeRecordsIgnoresAPartialTailAndReloadReplaces) {
    Table(12);
    Table(5, "sub\\");
    LoadCountiesTable(0, "");
    ASSERT_EQ(CountiesTableSlot(0), (TCountiesTableArray{{1, 2, 3, 4, 5}, {6, 7, 8, 9, 10}}));
    LoadCountiesTable(0, std::string("sub") + dir.Dir().back());
    EXPECT_EQ(CountiesTableSlot(0), (TCountiesTableArray{{100, 101, 102, 103, 104}}));
}

// A missing file changes nothing and makes no slot; a higher slot makes empty
// ones below it; a negative one is nothing.
TEST_F(CountiesTableTest, SlotsAreMadeOnlyByATableThatOpens) {
    Table(10);
    LoadCountiesTable(0, "");
    LoadCountiesTable(3, "");
    LoadCountiesTable(-1, "");
    std::filesystem::remove(dir.Root() / "COUNTIES.TBL");
    LoadCountiesTable(0, "");
    LoadCountiesTable(5, "");
    ASSERT_EQ(CountiesTableSlotCount(), 4u);
    EXPECT_EQ(CountiesTableSlot(0).size(), 2u);
    EXPECT_TRUE(CountiesTableSlot(1).empty() && CountiesTableSlot(2).empty());
    EXPECT_EQ(CountiesTableSlot(3).size(), 2u);
}

TEST_F(CountiesTableTest, ReadErrorsEmptyTheSlotSilently) {
    Table(20);
    LoadCountiesTable(0, "");
    ASSERT_EQ(CountiesTableSlot(0).size(), 4u);
    SetCountiesFileOpener([](const std::string&) { return std::make_unique<TFailingStream>(std::vector<uint8_t>(20)); });
    EXPECT_NO_THROW(LoadCountiesTable(0, ""));
    EXPECT_TRUE(CountiesTableSlot(0).empty());
    // A file that does not even open: also silent, and no slot is made.
    SetCountiesFileOpener([](const std::string& name) -> std::unique_ptr<TStream> {
        throw EFileOpenError("Cannot open the file '" + name + "'", 32);
    });
    EXPECT_NO_THROW(LoadCountiesTable(4, ""));
    EXPECT_EQ(CountiesTableSlotCount(), 1u);
}

TEST_F(CountiesTableTest, ReleaseFreesOnlyTheCallingThreadsSlot) {
    Table(10);
    LoadCountiesTable(0, "");
    LoadCountiesTable(2, "");
    std::thread([] {
        SetCountiesTableThreadSlot(2);
        ReleaseCountiesTable();
    }).join();
    EXPECT_TRUE(CountiesTableSlot(2).empty());
    EXPECT_EQ(CountiesTableSlot(0).size(), 2u);
    ReleaseCountiesTable();
    EXPECT_TRUE(CountiesTableSlot(0).empty());
    SetCountiesTableThreadSlot(7); // beyond the array: nothing to free
    EXPECT_NO_THROW(ReleaseCountiesTable());
}

// Without an override the folder is the second path of the current product's
// getter, asked with the network flag off; with no product that is "".
class TPresortFinder : public TFindOruPath {
  public:
    void FindPaths() override {
        EXPECT_FALSE(IsNetwork);
        DataPath = "D\\";
        PresortPath = "P\\";
    }
};

TEST_F(CountiesTableTest, TheFolderIsTheGettersSecondPath) {
    SetPresortTablesFolderQuery(nullptr);
    SetFindOruPathFactory([] { return std::make_unique<TPresortFinder>(); });
    const std::pair<TProductKind, const char*> rows[] = {{6, "P\\"}, {5, "D\\"}, {9, "Presort Tables\\"}, {0, ""}};
    for (const auto& [kind, folder] : rows) {
        SetProductKind(kind);
        EXPECT_EQ(PresortTablesFolder(), folder) << int(kind);
    }
}

} // namespace
} // namespace oru
