#include "install/CountiesTable.h"
#include "install/ProductCatalogue.h"
#include "platform/FileUtilsX.h"

#include "support/Files.h"
#include "support/Scratch.h"

#include <gtest/gtest.h>

#include <thread>

namespace oru {
namespace {

using test::TScratch;

std::vector<uint8_t> Bytes(size_t n, uint8_t first = 1) {
    std::vector<uint8_t> out(n);
    for (size_t i = 0; i < n; ++i)
        out[i] = static_cast<uint8_t>(first + i);
    return out;
}

// Delivers its bytes, then fails every read once `failAt` bytes have gone out.
class TFailingStream : public TMemoryStream {
  public:
    TFailingStream(std::vector<uint8_t> data, int64_t failAt)
        : TMemoryStream(std::move(data)), failAt_(failAt) {}
    int32_t Read(void* buffer, int32_t count) override {
        int64_t pos = GetPosition();
        if (pos >= failAt_)
            return 0;
        return TMemoryStream::Read(buffer,
                                   static_cast<int32_t>(std::min<int64_t>(count, failAt_ - pos)));
    }

  private:
    int64_t failAt_;
};

class CountiesTableTest : public ::testing::Test {
  protected:
    TScratch dir{"counties"};

    void SetUp() override {
        ClearCountiesTables();
        SetPresortTablesFolderQuery([this] { return dir.Dir(); });
    }
    void TearDown() override {
        SetPresortTablesFolderQuery(nullptr);
        SetCountiesFileOpener(nullptr);
        SetCountiesTableThreadSlot(0);
        ClearCountiesTables();
    }
};

TEST_F(CountiesTableTest, LoadsWholeRecordsAndIgnoresPartialTail) {
    dir.Write("COUNTIES.TBL", test::ToString(Bytes(12)));
    LoadCountiesTable(0, "");
    auto table = CountiesTableSlot(0);
    ASSERT_EQ(table.size(), 2u);
    EXPECT_EQ(table[0], (TCountyRecord{1, 2, 3, 4, 5}));
    EXPECT_EQ(table[1], (TCountyRecord{6, 7, 8, 9, 10}));
}

TEST_F(CountiesTableTest, ReloadReplacesAndSubPathIsUsed) {
    dir.Write("COUNTIES.TBL", test::ToString(Bytes(15)));
    dir.Write("sub/COUNTIES.TBL", test::ToString(Bytes(5, 100)));
    LoadCountiesTable(0, "");
    ASSERT_EQ(CountiesTableSlot(0).size(), 3u);
    LoadCountiesTable(0, std::string("sub") + dir.Dir().back());
    auto table = CountiesTableSlot(0);
    ASSERT_EQ(table.size(), 1u);
    EXPECT_EQ(table[0][0], 100);
}

TEST_F(CountiesTableTest, MissingFileLeavesSlotAsItWas) {
    dir.Write("COUNTIES.TBL", test::ToString(Bytes(10)));
    LoadCountiesTable(0, "");
    std::filesystem::remove(dir.Root() / "COUNTIES.TBL");
    LoadCountiesTable(0, "");
    EXPECT_EQ(CountiesTableSlot(0).size(), 2u);
    // A slot that never existed is not created by a missing file.
    LoadCountiesTable(5, "");
    EXPECT_EQ(CountiesTableSlotCount(), 1u);
}

TEST_F(CountiesTableTest, ReadErrorsEmptySlotSilently) {
    dir.Write("COUNTIES.TBL", test::ToString(Bytes(20)));
    LoadCountiesTable(0, "");
    ASSERT_EQ(CountiesTableSlot(0).size(), 4u);

    SetCountiesFileOpener(
        [](const std::string&) { return std::make_unique<TFailingStream>(Bytes(20), 10); });
    EXPECT_NO_THROW(LoadCountiesTable(0, ""));
    EXPECT_TRUE(CountiesTableSlot(0).empty());
    EXPECT_EQ(CountiesTableSlotCount(), 1u);

    // A file that does not even open: also silent, and no slots are created.
    SetCountiesFileOpener([](const std::string& name) -> std::unique_ptr<TStream> {
        throw EFileOpenError("Cannot open the file '" + name + "'", 32);
    });
    EXPECT_NO_THROW(LoadCountiesTable(4, ""));
    EXPECT_EQ(CountiesTableSlotCount(), 1u);
}

TEST_F(CountiesTableTest, HigherSlotCreatesEmptySlotsBelow) {
    dir.Write("COUNTIES.TBL", test::ToString(Bytes(10)));
    LoadCountiesTable(0, "");
    LoadCountiesTable(3, "");
    ASSERT_EQ(CountiesTableSlotCount(), 4u);
    EXPECT_EQ(CountiesTableSlot(0).size(), 2u);
    EXPECT_TRUE(CountiesTableSlot(1).empty());
    EXPECT_TRUE(CountiesTableSlot(2).empty());
    EXPECT_EQ(CountiesTableSlot(3).size(), 2u);
    LoadCountiesTable(-1, "");
    EXPECT_EQ(CountiesTableSlotCount(), 4u);
}

TEST_F(CountiesTableTest, ReleaseFreesOnlyTheCallingThreadsSlot) {
    dir.Write("COUNTIES.TBL", test::ToString(Bytes(10)));
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

// Without an override the folder comes from the current product's getter.
class CountiesCatalogueTest : public ::testing::Test {
  protected:
    TScratch dir{"counties-cat"};
    void SetUp() override {
        ClearCountiesTables();
        ResetProductCatalogue();
    }
    void TearDown() override {
        SetFindOruPathFactory(nullptr);
        ResetProductCatalogue();
        ClearCountiesTables();
    }
};

TEST_F(CountiesCatalogueTest, NoProductLooksInTheCurrentFolder) {
    SetProductKind(0);
    EXPECT_EQ(PresortTablesFolder(), "");
    dir.Write("COUNTIES.TBL", test::ToString(Bytes(5)));
    auto saved = std::filesystem::current_path();
    std::filesystem::current_path(dir.Root());
    LoadCountiesTable(0, "");
    std::filesystem::current_path(saved);
    EXPECT_EQ(CountiesTableSlot(0).size(), 1u);
}

class TPresortFinder : public TFindOruPath {
  public:
    explicit TPresortFinder(bool* sawNetwork) : sawNetwork_(sawNetwork) {}
    void FindPaths() override {
        *sawNetwork_ = IsNetwork;
        InstallPath = "I\\";
        DataPath = "D\\";
        PresortPath = "P\\";
        IsNetwork = true;
    }

  private:
    bool* sawNetwork_;
};

TEST_F(CountiesCatalogueTest, FolderIsTheGettersSecondPath) {
    bool sawNetwork = true;
    SetFindOruPathFactory([&] { return std::make_unique<TPresortFinder>(&sawNetwork); });
    SetProductKind(6);
    EXPECT_EQ(PresortTablesFolder(), "P\\");
    EXPECT_FALSE(sawNetwork);
    ResetProductCatalogue();
    SetProductKind(5);
    EXPECT_EQ(PresortTablesFolder(), "D\\");
    SetProductKind(9);
    EXPECT_EQ(PresortTablesFolder(), "Presort Tables\\");
}

} // namespace
} // namespace oru
