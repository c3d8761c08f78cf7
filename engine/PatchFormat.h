// The patch file: constants, the directory of groups and entries, and the rules
// every name in it must follow. docs/patch-format.md describes the bytes.
#pragma once

#include "engine/Sha256X.h"
#include "platform/SysUtils.h"

#include <cstdint>
#include <string>
#include <vector>

namespace oru::patch {

// A patch file that is damaged, truncated or not one of ours.
class EPatchFormatError : public Exception {
  public:
    using Exception::Exception;
};

inline constexpr char kHeaderMagic[8] = {'O', 'R', 'U', 'P', 'A', 'T', 'C', 'H'};
inline constexpr char kTrailerMagic[8] = {'O', 'R', 'U', 'P', 'E', 'N', 'D', '!'};
inline constexpr uint16_t kFormatVersion = 1;
inline constexpr uint32_t kHeaderSize = 16;  // magic, version, flags, reserved
inline constexpr uint32_t kTrailerSize = 56; // magic, directory offset and size, SHA-256
inline constexpr uint32_t kMaxNameLength = 4096;
// The directory is read whole into memory, so its size is bounded.
inline constexpr uint64_t kMaxDirectorySize = 64u << 20;
// Sizes beyond this are refused, so offset arithmetic can never overflow.
inline constexpr uint64_t kMaxFileSize = uint64_t(1) << 48;

enum class TPatchAction : uint8_t { Patch = 1, Add = 2, Delete = 3 };
// Delta is VCDIFF; BsDelta the difference delta of engine/BsDelta.h.
enum class TPatchMethod : uint8_t { None = 0, Whole = 1, Delta = 2, BsDelta = 3 };

struct TPatchGroup {
    std::string Name;
    std::string Text;   // the second text shown beside the name
    std::string Folder; // relative to the target folder; empty = the target folder itself
};

struct TPatchEntry {
    uint32_t Group = 0;
    std::string Path; // relative to the group's folder, "\" separated
    TPatchAction Action = TPatchAction::Patch;
    TPatchMethod Method = TPatchMethod::None;
    uint64_t OldSize = 0;
    TSha256Digest OldHash{};
    uint64_t NewSize = 0;
    TSha256Digest NewHash{};
    uint64_t PayloadOffset = 0;
    uint64_t PayloadSize = 0;    // compressed bytes in the file
    uint64_t PayloadRawSize = 0; // bytes after inflating
};

struct TPatchDirectory {
    std::vector<TPatchGroup> Groups;
    std::vector<TPatchEntry> Entries;
};

// True for a relative path of "\"-separated names that stays inside its folder on
// Windows: no drive, no leading separator, no "." or "..", no device names, no
// characters Windows forbids and no trailing dot or blank (which Windows drops,
// making two names one file). allowEmpty permits "" (a group's own folder).
bool IsSafeRelativePath(const std::string& path, bool allowEmpty);

// Checks one entry against the rules of its action and method, and the payload
// region against [payloadStart, payloadEnd). Throws EPatchFormatError.
void ValidateEntry(const TPatchEntry& entry, size_t groupCount, uint64_t payloadStart,
                   uint64_t payloadEnd);

const char* ActionName(TPatchAction action);

} // namespace oru::patch
