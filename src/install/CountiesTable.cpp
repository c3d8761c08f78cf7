#include "install/CountiesTable.h"

#include "install/ProductCatalogue.h"
#include "platform/Files.h"

#include <algorithm>
#include <mutex>

namespace oru {

namespace {

static_assert(sizeof(TCountyRecord) == 5, "records are read straight into the array");

const char* const kTableFileName = "COUNTIES.TBL";
constexpr int64_t kRecordsPerRead = 4096;

struct TCountiesModule {
    std::mutex lock;
    std::vector<TCountiesTableArray> slots;
    std::function<std::string()> presortQuery;
    TCountiesFileOpener opener;
};

TCountiesModule& Module() {
    static TCountiesModule module;
    return module;
}

thread_local int threadSlot = 0;

std::unique_ptr<TStream> OpenTableFile(const std::string& fileName) {
    auto& module = Module();
    if (module.opener)
        return module.opener(fileName);
    return std::make_unique<TFile>(fileName, fmOpenRead | fmShareDenyNone);
}

// Reads whole records; a trailing partial record is not part of the table.
TCountiesTableArray ReadRecords(TStream& stream) {
    const int64_t count = stream.GetSize() / static_cast<int64_t>(sizeof(TCountyRecord));
    TCountiesTableArray records(static_cast<size_t>(count));
    for (int64_t done = 0; done < count;) {
        const int64_t chunk = std::min(kRecordsPerRead, count - done);
        stream.ReadBuffer(records[static_cast<size_t>(done)].data(),
                          static_cast<int32_t>(chunk * sizeof(TCountyRecord)));
        done += chunk;
    }
    return records;
}

} // namespace

std::string PresortTablesFolder() {
    if (auto& query = Module().presortQuery)
        return query();
    std::string dataPath, secondPath, installPath;
    bool isNetwork = false;
    GetInstallationPaths(dataPath, secondPath, isNetwork, installPath);
    return secondPath;
}

void LoadCountiesTable(int slot, const std::string& subPath) {
    if (slot < 0)
        return;
    std::string fileName;
    try {
        // Asked once: a first lookup may show the user a dialog, and one that
        // found nothing would ask again.
        fileName = PresortTablesFolder() + subPath + kTableFileName;
        if (!FileExists(fileName))
            return;
    } catch (...) {
        return;
    }

    auto& module = Module();
    bool opened = false;
    TCountiesTableArray records;
    bool ok = true;
    try {
        auto stream = OpenTableFile(fileName);
        opened = true;
        records = ReadRecords(*stream);
    } catch (...) {
        ok = false;
    }

    std::lock_guard guard(module.lock);
    const auto index = static_cast<size_t>(slot);
    if (opened && module.slots.size() <= index)
        module.slots.resize(index + 1);
    if (index >= module.slots.size())
        return;
    if (ok)
        module.slots[index] = std::move(records);
    else
        TCountiesTableArray().swap(module.slots[index]);
}

void ReleaseCountiesTable() {
    auto& module = Module();
    std::lock_guard guard(module.lock);
    if (threadSlot >= 0 && static_cast<size_t>(threadSlot) < module.slots.size())
        TCountiesTableArray().swap(module.slots[static_cast<size_t>(threadSlot)]);
}

int CountiesTableThreadSlot() {
    return threadSlot;
}
void SetCountiesTableThreadSlot(int slot) {
    threadSlot = slot;
}

void SetPresortTablesFolderQuery(std::function<std::string()> query) {
    Module().presortQuery = std::move(query);
}

void SetCountiesFileOpener(TCountiesFileOpener opener) {
    Module().opener = std::move(opener);
}

size_t CountiesTableSlotCount() {
    auto& module = Module();
    std::lock_guard guard(module.lock);
    return module.slots.size();
}

TCountiesTableArray CountiesTableSlot(int slot) {
    auto& module = Module();
    std::lock_guard guard(module.lock);
    if (slot < 0 || static_cast<size_t>(slot) >= module.slots.size())
        return {};
    return module.slots[static_cast<size_t>(slot)];
}

void ClearCountiesTables() {
    auto& module = Module();
    std::lock_guard guard(module.lock);
    module.slots.clear();
}

} // namespace oru
