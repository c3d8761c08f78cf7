// Patch commands: diff makes a patch file from two trees, verify checks an
// installation against one without writing, apply runs the engine on one and
// prints every callback it makes.
#include "orupack/Command.h"
#include "orupack/EngineCall.h"

#include "engine/PatchBuilder.h"
#include "engine/PatchEngine.h"
#include "platform/SysUtils.h"

#include <iostream>
#include <map>
#include <string>
#include <vector>

namespace oru::pack {

namespace {

using namespace oru::patch;

// Group name (upper case) -> folder, for answering "group folder missing".
std::map<std::string, std::string> FolderAnswers(const ParsedArgs& parsed) {
    std::map<std::string, std::string> folders;
    for (const auto& [name, value] : parsed.Options) {
        if (name != "folder")
            continue;
        size_t eq = value.find('=');
        if (eq == std::string::npos || eq == 0 || eq + 1 == value.size())
            throw UsageError("--folder takes NAME=DIR, not '" + value + "'");
        folders[UpperCase(value.substr(0, eq))] = value.substr(eq + 1);
    }
    return folders;
}

const char* ResultName(uint32_t result) {
    switch (result & 0xFFFF) {
    case resOk:
        return "success";
    case resAborted:
        return "aborted";
    case resBadPatchFile:
        return "invalid patch file";
    case resBadCommandLine:
        return "invalid command line";
    case resFilesDontMatch:
        return "files do not match the patch";
    case resApplyFailed:
        return "failed, files restored";
    case resRestoreFailed:
        return "failed, some files not restored";
    case resInternalError:
        return "internal error";
    default:
        return "unknown result";
    }
}

bool IsTextId(uint32_t id) {
    return (id >= 1 && id <= 4) || (id >= 9 && id <= 11);
}

// Replies as an update run does, and prints what it sees. Every reply that is
// not data is a pointer to an empty text.
class TCallbackPrinter {
  public:
    TCallbackPrinter(std::map<std::string, std::string> folders, bool everything)
        : folders_(std::move(folders)), everything_(everything) {}

    void* operator()(uint32_t id, void* parm) {
        static char empty[] = "";
        static char combine[] = "COMBINE";
        const char* text = static_cast<const char*>(parm);
        if (IsTextId(id)) {
            std::ostream& out = id == cbError ? std::cerr : std::cout;
            out << (everything_ ? Format("[%u] ", id) : std::string()) << (text ? text : "")
                << "\n";
            return empty;
        }
        switch (id) {
        case cbFileCount:
            Print(id, Format("files: %d", *static_cast<int32_t*>(parm)));
            return combine;
        case cbGroup: {
            auto** texts = static_cast<const char**>(parm);
            Print(id, Format("group: %s [%s] -> apply", texts[0], texts[1]));
            return reinterpret_cast<void*>(kApplyGroupReply);
        }
        case cbGroupMissing: {
            auto** texts = static_cast<const char**>(parm);
            auto it = folders_.find(UpperCase(texts[0]));
            if (it == folders_.end()) {
                std::cerr << Format(
                    "The folder of group %s [%s] was not found; give it with --folder %s=DIR\n",
                    texts[0], texts[1], texts[0]);
                return nullptr;
            }
            Print(id, Format("group folder missing: %s [%s] -> %s", texts[0], texts[1],
                             it->second.c_str()));
            return const_cast<char*>(it->second.c_str());
        }
        case cbProgress: {
            uint16_t value = *static_cast<uint16_t*>(parm);
            Print(id, Format("progress: %u (%u%%)", value, value * 100u / 32768u));
            return empty;
        }
        case cbFileStart:
            Print(id, std::string("file: ") + text);
            return empty;
        case cbFileDone:
            Print(id, "file done");
            return empty;
        case cbPhaseEnd:
            Print(id, "phase end");
            return empty;
        case cbPatchMissing:
            std::cerr << "The patch file " << (text ? text : "") << " is missing.\n";
            return nullptr;
        case cbPatchInvalid:
            std::cerr << "The patch file " << (text ? text : "") << " is invalid.\n";
            return nullptr;
        case cbIdle:
            Print(id, "idle");
            return empty;
        case cbStart:
            Print(id, "start");
            return empty;
        case cbRestartNeeded:
            Print(id, "restart required");
            restart_ = true;
            return empty;
        default:
            Print(id, "unknown callback");
            return empty;
        }
    }
    bool RestartRequired() const { return restart_; }

  private:
    void Print(uint32_t id, const std::string& what) {
        if (everything_)
            std::cout << "[" << id << "] " << what << "\n";
    }
    std::map<std::string, std::string> folders_;
    bool everything_;
    bool restart_ = false;
};

std::string Quoted(const std::string& path) {
    if (path.find('"') != std::string::npos)
        throw UsageError("a path cannot contain a double quote: " + path);
    return "\"" + path + "\"";
}

int Finish(uint32_t result) {
    if ((result & 0xFFFF) == resOk)
        return 0;
    std::cerr << Format("Engine result 0x%04X: %s\n", result & 0xFFFF, ResultName(result));
    return 1;
}

int RunDiff(const std::vector<std::string>& args) {
    ParsedArgs parsed = ParseArgs(args, {"method"}, {"whole", "quiet"});
    if (parsed.Positional.size() < 3)
        throw UsageError("expected OLD_DIR, NEW_DIR and the patch file to write");
    TBuildOptions options;
    options.AllowDelta = !parsed.Has("whole");
    for (size_t i = 3; i < parsed.Positional.size(); ++i) {
        try {
            options.Groups.push_back(ParseGroupDefinition(parsed.Positional[i]));
        } catch (const EPatchFormatError& e) {
            throw UsageError(e.Message());
        }
    }
    const std::string method = parsed.Value("method");
    if (method == "vcdiff")
        options.TryDifference = false;
    else if (method == "difference")
        options.TryVcdiff = false;
    else if (!method.empty() && method != "best")
        throw UsageError("--method is best, vcdiff or difference");
    if (!parsed.Has("quiet")) {
        options.Log = [](const std::string& line) { std::cout << line << "\n"; };
        // One line per long file, rewritten in place as it goes.
        options.Progress = [](const std::string& path, const char* what, uint64_t done,
                              uint64_t total) {
            std::cerr << "\r  " << path << ": " << what << " " << (total ? done * 100 / total : 100)
                      << " %   " << (done == total ? "\n" : "") << std::flush;
        };
    }
    TBuildStats stats = BuildPatch(SystemPatchFiles(), parsed.Positional[0], parsed.Positional[1],
                                   parsed.Positional[2], options);
    std::cout << stats.Patched << " patched (" << stats.Deltas << " as VCDIFF deltas, "
              << stats.Differences << " as difference deltas), " << stats.Added << " added, "
              << stats.Deleted << " deleted, " << stats.Unchanged << " unchanged; "
              << stats.PatchSize << " bytes written to " << parsed.Positional[2] << "\n";
    return 0;
}

int RunVerify(const std::vector<std::string>& args) {
    ParsedArgs parsed = ParseArgs(args, {"folder"});
    if (parsed.Positional.size() != 2)
        throw UsageError("expected the target folder and the patch file");
    TCallbackPrinter printer(FolderAnswers(parsed), false);
    TEngineOptions options;
    options.VerifyOnly = true;
    TPatchEngine engine(SystemPatchFiles(), std::ref(printer), options);
    return Finish(engine.Apply(parsed.Positional[0], parsed.Positional[1]));
}

int RunRecover(const std::vector<std::string>& args) {
    ParsedArgs parsed = ParseArgs(args, {});
    if (parsed.Positional.size() != 1)
        throw UsageError("expected the target folder");
    TCallbackPrinter printer({}, false);
    TPatchEngine engine(SystemPatchFiles(), std::ref(printer));
    return Finish(engine.RecoverOnly(parsed.Positional[0]));
}

int RunApply(const std::vector<std::string>& args) {
    ParsedArgs parsed = ParseArgs(args, {"engine", "folder", "drives"});
    if (parsed.Positional.size() != 2)
        throw UsageError("expected the target folder and the patch file");
    std::string commandLine;
    if (parsed.Has("drives"))
        commandLine = "-d" + parsed.Value("drives") + " ";
    commandLine += Quoted(parsed.Positional[0]) + " " + Quoted(parsed.Positional[1]);
    TCallbackPrinter printer(FolderAnswers(parsed), true);
    uint32_t result = CallPatchEngine(parsed.Value("engine"), commandLine, std::ref(printer));
    std::cout << Format("result: 0x%08X (%s)\n", result, ResultName(result));
    if ((result & 0xFFFF) == resOk && printer.RestartRequired())
        std::cout << "Restart the computer to finish the update.\n";
    return Finish(result);
}

const CommandRegistration registration{
    {"diff", "OLD_DIR NEW_DIR OUT.rtp [GROUP...] [--whole] [--method M] [--quiet]",
     "make a patch file that turns the OLD_DIR tree into the NEW_DIR tree",
     "Each file present in both trees with different content becomes a patch: the\n"
     "smallest of a VCDIFF delta, a difference delta (approximate matches stored as\n"
     "byte differences; executables are also tried with x86 branch targets made\n"
     "absolute) and the whole new file, each compressed. A file only in NEW_DIR is\n"
     "added, a file only in OLD_DIR is deleted. Names are compared ignoring case. Each\n"
     "file's line names the method that won and the sizes of the others.\n"
     "\n"
     "GROUP is NAME, NAME=FOLDER or NAME=FOLDER=TEXT. FOLDER is relative to both trees\n"
     "(\".\" is the root); every file belongs to the group with the longest folder that\n"
     "contains it and is stored relative to that folder. An engine looks for a group's\n"
     "files in TARGET\\FOLDER and asks the host when that folder does not exist. TEXT is\n"
     "shown beside the group's name. Without groups one group MAIN covers the tree; with\n"
     "groups, a file outside every group's folder is an error.\n"
     "Example: orupack diff old new ORU.rtp MAIN=. UNIBROOK=Unibrook=\"Unibrook job tools\"\n"
     "\n"
     "  --whole      store whole files only (no deltas)\n"
     "  --method M   best (the default), vcdiff or difference: the deltas to try\n"
     "  --quiet      print only the summary\n"
     "\n"
     "Suffixes are sorted with libdivsufsort where the build has it and with a built-in\n"
     "SA-IS elsewhere (the Windows build); both give the same patch files.\n",
     &RunDiff},
    {"verify", "TARGET_DIR PATCH [--folder NAME=DIR]...",
     "check every file a patch would change, without writing anything",
     "Checks the patch file's checksum, then every file of every group: each must be the\n"
     "original or already the updated version. Exit status 0 when the patch can be\n"
     "applied, 1 otherwise.\n"
     "\n"
     "  --folder NAME=DIR   where group NAME lives when TARGET_DIR\\FOLDER does not exist\n"
     "\n"
     "An update of TARGET_DIR that was interrupted (its journal ORUPATCH.~oru-journal lies\n"
     "there) is reported; the next update or 'orupack recover' finishes or undoes it.\n",
     &RunVerify},
    {"recover", "TARGET_DIR",
     "finish or undo an interrupted update of TARGET_DIR, without a patch",
     "An update cut short (a kill, a log-off, a power cut) leaves its journal\n"
     "ORUPATCH.~oru-journal in TARGET_DIR. This finishes the update when it had passed\n"
     "its commit point, and undoes it otherwise, so that every file is wholly old or\n"
     "wholly new; then it removes every temporary, backup and the journal. A journal\n"
     "that is damaged or not ours is refused and nothing is changed. The next update\n"
     "does the same by itself before it starts. Exit status 0 when the folder is clean.\n",
     &RunRecover},
    {"apply", "TARGET_DIR PATCH [--engine DLL] [--folder NAME=DIR]... [--drives LETTERS]",
     "apply a patch through the engine and print every callback",
     "Builds the engine command line (optional -d switch, then both paths in double\n"
     "quotes) and calls the engine, printing each callback as [ID] and what it carries,\n"
     "and answering as an update run does. Exit status 0 when the engine reports success.\n"
     "\n"
     "  --engine DLL        the engine library to load (Windows build only; default\n"
     "                      patchw32.dll by the system's search order)\n"
     "  --folder NAME=DIR   the answer when group NAME's folder is missing (otherwise abort)\n"
     "  --drives LETTERS    pass -dLETTERS to the engine\n",
     &RunApply},
};

} // namespace

} // namespace oru::pack
