// The county table "COUNTIES.TBL" of the presort tables, held in memory in
// numbered slots. An update releases slot 0 before it touches any file and loads
// it again at the end, so a replaced table is read fresh. Loading never reports
// anything: a table that cannot be read simply stays empty.
#pragma once

#include "platform/Streams.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace oru {

// A 4-byte field followed by a 1-byte field, kept exactly as read.
using TCountyRecord = std::array<uint8_t, 5>;
using TCountiesTableArray = std::vector<TCountyRecord>;

// The presort tables folder of the current product (the catalogue's second
// installation path, asked with the network flag starting false).
std::string PresortTablesFolder();

// Loads PresortTablesFolder() + subPath + "COUNTIES.TBL" into the slot. A missing
// file leaves the slot as it was; a file that fails to read leaves it empty.
void LoadCountiesTable(int slot, const std::string& subPath);

// Frees the records of the calling thread's slot.
void ReleaseCountiesTable();

// The calling thread's slot number (0 unless the thread sets another).
int CountiesTableThreadSlot();
void SetCountiesTableThreadSlot(int slot);

// ---- Seams and inspection, for tests ----

// Replaces the presort folder query; null restores the catalogue's.
void SetPresortTablesFolderQuery(std::function<std::string()> query);
// Replaces how the table file is opened; null restores the plain file.
using TCountiesFileOpener = std::function<std::unique_ptr<TStream>(const std::string& fileName)>;
void SetCountiesFileOpener(TCountiesFileOpener opener);
size_t CountiesTableSlotCount();
TCountiesTableArray CountiesTableSlot(int slot); // empty for a slot that does not exist
// Frees every slot (the module's end).
void ClearCountiesTables();

} // namespace oru
