// The engine's outer contract: callback identifiers, replies and result codes.
// docs/patch-format.md lists what each callback carries.
#pragma once

#include <cstdint>
#include <functional>

namespace oru::patch {

enum TCallbackId : uint32_t {
    cbInfo = 1,          // text: about the patch file, once it has been read
    cbPhase = 2,         // text: the phase that starts now
    cbNote = 3,          // text: a finding that needs no action (already up to date, group skipped)
    cbWarning = 4,       // text: something the user should know (file in use, backup left behind)
    cbProgress = 5,      // uint16_t*: progress of the current file, 32768 = complete
    cbFileCount = 6,     // int32_t*: number of files in the patch
    cbFileStart = 7,     // text: the file now being worked on
    cbFileDone = 8,      // null: the current file is finished
    cbError = 9,         // text: why the run cannot go on
    cbRestore = 10,      // text: what the undoing of a stopped run did
    cbSummary = 11,      // text: the outcome of the run
    cbPhaseEnd = 12,     // null: between phases
    cbPatchMissing = 13, // text: the patch file's name; the run stops
    cbPatchInvalid = 14, // text: the patch file's name; the run stops
    cbGroup = 19,        // const char* [2]: group name, group text; reply 89 applies the group
    cbGroupMissing = 20, // const char* [2]: as 19; reply: the folder to use instead
    cbIdle = 21,         // null: long work goes on, the host may process input
    cbStart = 22,        // null: the engine has started
    cbRestartNeeded = 26 // null: a file will only be replaced at the next restart
};

// Reply to cbGroup that applies the group ('Y').
inline constexpr uintptr_t kApplyGroupReply = 89;

// Results; only the low 16 bits are significant to hosts.
enum TPatchResult : uint32_t {
    resOk = 0,
    resAborted = 0x8001,      // a null reply, or the patch file is missing
    resBadPatchFile = 0x8002, // the patch file is damaged, unreadable or not a patch file
    resBadCommandLine = 0x8003,
    resFilesDontMatch = 0x8004, // a file is neither old nor new, or a folder is missing
    resApplyFailed = 0x8005,    // writing failed; every file was restored
    resRestoreFailed = 0x8006,  // writing failed and some files could not be restored
    resInternalError = 0x8007
};

// A null reply aborts the run.
using TPatchCallback = std::function<void*(uint32_t id, void* parm)>;

} // namespace oru::patch
