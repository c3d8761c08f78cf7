// The update window's side of the engine's callbacks: every engine event arrives
// as a WM_USER message and becomes History lines, the current-file line, meter
// movements and the reply the engine gets. This is also the only place where the
// window listens to the user during a patch, which is what makes Cancel work.
#include <windows.h>

#include "update/Update.h"

#include "install/ProductCatalogue.h"
#include "platform/SysUtils.h"
#include "ui/Application.h"
#include "update/RTPatch.h"

#include <cstdint>
#include <cstring>

namespace oru {

namespace {

constexpr char kCombineReply[] = "COMBINE";
constexpr LRESULT kGroupAccepted = 89; // "Y"

// The two texts of a patch group message; a missing one reads as empty.
struct GroupTexts {
    std::string Name;
    std::string Second;
};

GroupTexts ReadGroup(LPARAM data) {
    GroupTexts texts;
    auto pointers = reinterpret_cast<const char* const*>(data);
    if (pointers) {
        texts.Name = pointers[0] ? pointers[0] : "";
        texts.Second = pointers[1] ? pointers[1] : "";
    }
    return texts;
}

int Percent(int64_t part, int64_t whole) {
    if (whole <= 0)
        return 0;
    int64_t percent = part * 100 / whole;
    return static_cast<int>(percent < 0 ? 0 : percent > 100 ? 100 : percent);
}

} // namespace

void TfrmUpdate::AddHistoryText(const char* text) {
    if (!text)
        return;
    const char* p = text;
    for (;;) {
        const char* feed = std::strchr(p, '\n');
        if (!feed) {
            AddHistory(p);
            return;
        }
        AddHistory(std::string(p, feed));
        p = feed + 1;
        if (*p == '\0')
            return;
    }
}

void TfrmUpdate::WMRTPatch(TMessage& message) {
    message.Result = 0;
    Application().ProcessMessages();
    const unsigned id = static_cast<unsigned>(message.WParam);
    const LPARAM data = message.LParam;
    try {
        switch (id) {
        case 1:
        case 2:
        case 3:
        case 4:
        case 9:
        case 10:
        case 11:
            AddHistoryText(reinterpret_cast<const char*>(data));
            break;
        case 5: {
            // 0x8000 means the file is complete.
            auto progress = reinterpret_cast<const uint16_t*>(data);
            pbFile->SetPercent(progress ? Percent(*progress, 32768) : 0);
            break;
        }
        case 6: {
            auto count = reinterpret_cast<const int32_t*>(data);
            if (!count)
                throw Exception("The engine announced no file count.");
            message.Result = reinterpret_cast<LRESULT>(kCombineReply);
            const int32_t n = *count;
            // The counts are reset even when the line cannot be written.
            struct ResetCounts {
                TfrmUpdate& form;
                int32_t n;
                ~ResetCounts() {
                    form.TotalFiles = n;
                    form.FilesDone = 0;
                }
            } reset{*this, n};
            if (n == 1)
                AddHistory("There is 1 file to update.");
            else
                AddHistory("There are " + std::to_string(n) + " files to update.");
            break;
        }
        case 7:
            edCurrentFile->SetText(data ? reinterpret_cast<const char*>(data) : "");
            break;
        case 8:
            edCurrentFile->SetText("");
            ++FilesDone;
            pbPatch->SetPercent(Percent(FilesDone, TotalFiles));
            break;
        case 12:
            if (!SeparatorWritten) {
                AddHistory(BlankLine);
                SeparatorWritten = true;
            }
            break;
        case 13:
            AddHistory("The patch file, " + PatchArchivePath + ", is missing.");
            message.Result = RTPatchAbortReply;
            break;
        case 14:
            AddHistory("The patch file, " + PatchArchivePath + ", is invalid.");
            message.Result = RTPatchAbortReply;
            break;
        case 15:
            AddHistory("A password is required for this patch.");
            message.Result = RTPatchAbortReply;
            break;
        case 16:
            AddHistory("Invalid patch password entered.");
            message.Result = RTPatchAbortReply;
            break;
        case 17:
            AddHistory("Insert next disk.");
            message.Result = RTPatchAbortReply;
            break;
        case 18:
            AddHistory("Invalid disk detected.");
            message.Result = RTPatchAbortReply;
            break;
        case 19: {
            GroupTexts group = ReadGroup(data);
            AddHistory(Format("Patch group: %s [%s]", group.Name.c_str(), group.Second.c_str()));
            message.Result = kGroupAccepted;
            break;
        }
        case 20: {
            GroupTexts group = ReadGroup(data);
            if (SameText(group.Name, "UNIBROOK")) {
                AddHistory(Format("Patch group missing: %s [%s]", group.Name.c_str(),
                                  group.Second.c_str()));
                AddHistory(Format("Patch group path:    %s", InstallDir.c_str()));
                // The engine reads the folder while this window lives.
                message.Result = reinterpret_cast<LRESULT>(InstallDir.c_str());
            } else {
                AddHistory(Format("Invalid %s installation.", ProductDisplayName().c_str()));
                message.Result = RTPatchAbortReply;
            }
            break;
        }
        case 21:
            Application().ProcessMessages();
            break;
        case 22:
            AddHistory("Initializing update program.");
            break;
        case 23:
            AddHistory("Opening a file asynchronously is not supported.");
            message.Result = RTPatchAbortReply;
            break;
        case 24:
            AddHistory("Reading a file asynchronously is not supported.");
            message.Result = RTPatchAbortReply;
            break;
        case 25:
            AddHistory("Closing a file asynchronously is not supported.");
            message.Result = RTPatchAbortReply;
            break;
        case 26:
            RestartRequired = true;
            break;
        default:
            break;
        }
    } catch (Exception& e) {
        e.SetMessage(ProductDisplayName() + " RTPatch callback message handler: " +
                     std::to_string(id) + "\r" + e.Message());
        throw;
    } catch (const std::exception& e) {
        throw Exception(ProductDisplayName() + " RTPatch callback message handler: " +
                        std::to_string(id) + "\r" + e.what());
    }
    Application().ProcessMessages();
    if (CancelRequested)
        message.Result = RTPatchAbortReply;
}

} // namespace oru
