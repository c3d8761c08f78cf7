// Delta commands: write and apply the raw VCDIFF deltas our patch engine stores per
// file, so that a file pair can be checked by hand (and against xdelta3).
#include "orupack/Command.h"

#include "engine/vcdiff/Vcdiff.h"
#include "platform/Files.h"
#include "platform/SysUtils.h"

#include <string>
#include <vector>

namespace oru::pack {

namespace {

int64_t SizeOption(const ParsedArgs& parsed, const char* name, int64_t fallback) {
    std::string text = parsed.Value(name);
    if (text.empty())
        return fallback;
    // Plain bytes, or a number with a K or M suffix.
    int64_t scale = 1;
    char last = text.back();
    if (last == 'K' || last == 'k' || last == 'M' || last == 'm') {
        scale = (last == 'K' || last == 'k') ? 1024 : 1024 * 1024;
        text.pop_back();
    }
    int32_t value = 0;
    if (!TryStrToInt(text, value) || value <= 0)
        throw UsageError(std::string("--") + name + " needs a positive size");
    return value * scale;
}

void CheckDistinct(const std::string& input, const std::string& output) {
    if (SameText(input, output))
        throw UsageError("the output must not be one of the input files");
}

// Writes to a new file that is deleted again when the command fails.
template <class Body>
void WriteOutput(const std::string& name, Body body) {
    TFile out(name, fmCreate);
    try {
        body(out);
    } catch (...) {
        out.Discard();
        throw;
    }
    out.Close();
}

int RunDelta(const std::vector<std::string>& args) {
    ParsedArgs parsed = ParseArgs(args, {"level", "window", "source-window"}, {"no-checksum"});
    if (parsed.Positional.size() != 3)
        throw UsageError("expected OLD, NEW and OUT");
    const std::string& oldName = parsed.Positional[0];
    const std::string& newName = parsed.Positional[1];
    const std::string& outName = parsed.Positional[2];
    CheckDistinct(oldName, outName);
    CheckDistinct(newName, outName);
    vcdiff::EncodeOptions options;
    options.targetWindow = SizeOption(parsed, "window", options.targetWindow);
    options.sourceWindow = SizeOption(parsed, "source-window", options.sourceWindow);
    options.checksum = !parsed.Has("no-checksum");
    std::string level = parsed.Value("level");
    if (!level.empty() && (!TryStrToInt(level, options.level) || options.level < 1 || options.level > 9))
        throw UsageError("--level needs a number from 1 to 9");
    TFile oldFile(oldName, fmOpenRead | fmShareDenyWrite);
    TFile newFile(newName, fmOpenRead | fmShareDenyWrite);
    WriteOutput(outName, [&](TFile& out) { vcdiff::Encode(oldFile, newFile, out, options); });
    return 0;
}

int RunUndelta(const std::vector<std::string>& args) {
    ParsedArgs parsed = ParseArgs(args, {"max-window"});
    if (parsed.Positional.size() != 3)
        throw UsageError("expected OLD, DELTA and OUT");
    const std::string& oldName = parsed.Positional[0];
    const std::string& deltaName = parsed.Positional[1];
    const std::string& outName = parsed.Positional[2];
    CheckDistinct(oldName, outName);
    CheckDistinct(deltaName, outName);
    vcdiff::DecodeOptions options;
    options.maxTargetWindow = SizeOption(parsed, "max-window", options.maxTargetWindow);
    TFile oldFile(oldName, fmOpenRead | fmShareDenyWrite);
    TFile deltaFile(deltaName, fmOpenRead | fmShareDenyWrite);
    WriteOutput(outName, [&](TFile& out) { vcdiff::Decode(oldFile, deltaFile, out, options); });
    return 0;
}

const CommandRegistration registration{
    {"delta", "OLD NEW OUT [--level N] [--window SIZE] [--source-window SIZE] [--no-checksum]",
     "Write a raw VCDIFF delta that turns OLD into NEW",
     "Writes plain RFC 3284 (default code table, no secondary compression), which\n"
     "`xdelta3 -d -s OLD OUT` also applies. --level 1 (fast) to 9 (smallest, the\n"
     "default); --window: target bytes per window (default 8M; xdelta3 reads up to\n"
     "16M); --source-window: source bytes matched at once (default 32M); sizes take a\n"
     "K or M suffix. --no-checksum leaves out the Adler-32 of each window.\n",
     RunDelta},
    {"undelta", "OLD DELTA OUT [--max-window SIZE]", "Apply a raw VCDIFF delta to OLD",
     "Reads plain RFC 3284 deltas, with or without xdelta3's window checksums (as\n"
     "`xdelta3 -e -S none` writes them); refuses secondary compression and custom code\n"
     "tables. --max-window: the largest target window accepted (default 64M). On any\n"
     "error OUT is deleted and the exit status is 1.\n",
     RunUndelta},
};

} // namespace

} // namespace oru::pack
