// Name rules and per-entry consistency checks of the patch file.
#include "engine/PatchFormat.h"

#include "engine/BsDelta.h"

#include <array>

namespace oru::patch {

namespace {

bool IsDeviceName(const std::string& component) {
    // "CON", "NUL.txt" and the like name devices whatever the extension.
    std::string base = UpperCase(component.substr(0, component.find('.')));
    while (!base.empty() && base.back() == ' ')
        base.pop_back();
    static const std::array<const char*, 4> plain = {"CON", "PRN", "AUX", "NUL"};
    for (const char* name : plain)
        if (base == name)
            return true;
    if (base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) &&
        base[3] >= '0' && base[3] <= '9')
        return true;
    return false;
}

bool IsSafeComponent(const std::string& c) {
    if (c.empty() || c == "." || c == "..")
        return false;
    for (unsigned char ch : c)
        if (ch < 0x20 || ch == '<' || ch == '>' || ch == ':' || ch == '"' || ch == '/' ||
            ch == '|' || ch == '?' || ch == '*' || ch == 0x7F)
            return false;
    if (c.back() == '.' || c.back() == ' ')
        return false;
    return !IsDeviceName(c);
}

} // namespace

bool IsSafeRelativePath(const std::string& path, bool allowEmpty) {
    if (path.empty())
        return allowEmpty;
    if (path.size() > 259)
        return false;
    size_t start = 0;
    for (;;) {
        size_t end = path.find('\\', start);
        if (!IsSafeComponent(
                path.substr(start, end == std::string::npos ? std::string::npos : end - start)))
            return false;
        if (end == std::string::npos)
            return true;
        start = end + 1;
    }
}

const char* ActionName(TPatchAction action) {
    switch (action) {
    case TPatchAction::Patch:
        return "patch";
    case TPatchAction::Add:
        return "add";
    case TPatchAction::Delete:
        return "delete";
    }
    return "?";
}

void ValidateEntry(const TPatchEntry& e, size_t groupCount, uint64_t payloadStart,
                   uint64_t payloadEnd) {
    auto fail = [&](const char* why) {
        throw EPatchFormatError(Format("Entry '%s' is invalid: %s", e.Path.c_str(), why));
    };
    if (e.Group >= groupCount)
        fail("it names a group that does not exist");
    if (!IsSafeRelativePath(e.Path, false))
        fail("its path is not a safe relative path");
    if (e.OldSize > kMaxFileSize || e.NewSize > kMaxFileSize || e.PayloadRawSize > kMaxFileSize)
        fail("a size is out of range");
    const TSha256Digest zero{};
    switch (e.Action) {
    case TPatchAction::Patch:
        if (e.Method != TPatchMethod::Whole && e.Method != TPatchMethod::Delta &&
            e.Method != TPatchMethod::BsDelta)
            fail("a patched file needs a whole-file or delta payload");
        break;
    case TPatchAction::Add:
        if (e.Method != TPatchMethod::Whole)
            fail("an added file needs a whole-file payload");
        if (e.OldSize != 0 || e.OldHash != zero)
            fail("an added file cannot have an old content");
        break;
    case TPatchAction::Delete:
        if (e.Method != TPatchMethod::None)
            fail("a deleted file cannot have a payload");
        if (e.NewSize != 0 || e.NewHash != zero)
            fail("a deleted file cannot have a new content");
        break;
    default:
        fail("its action is unknown");
    }
    if (e.Method == TPatchMethod::None) {
        if (e.PayloadOffset != 0 || e.PayloadSize != 0 || e.PayloadRawSize != 0)
            fail("it has a payload without a method");
        return;
    }
    if (e.Method == TPatchMethod::Whole && e.PayloadRawSize != e.NewSize)
        fail("its whole-file payload does not have the new size");
    if (e.PayloadSize == 0)
        fail("its payload is empty");
    if (e.Method == TPatchMethod::BsDelta && e.PayloadSize < kBsHeaderSize)
        fail("its difference delta is shorter than its header");
    if (e.PayloadOffset < payloadStart || e.PayloadOffset > payloadEnd ||
        e.PayloadSize > payloadEnd - e.PayloadOffset)
        fail("its payload lies outside the payload area");
}

} // namespace oru::patch
