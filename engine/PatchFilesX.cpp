// Path joining shared by both halves of the file operations.
#include "engine/PatchFilesX.h"

namespace oru::patch {

std::string TPatchFiles::Join(const std::string& folder, const std::string& relative) const {
    const char sep = Separator();
    std::string out = folder;
    auto isSep = [&](char c) { return c == sep || c == '\\' || c == '/'; };
    // Keep a lone root ("/" or "C:\") intact; drop any other trailing delimiters.
    while (out.size() > 1 && isSep(out.back()) && !(out.size() == 3 && out[1] == ':'))
        out.pop_back();
    if (!out.empty() && !isSep(out.back()) && !relative.empty())
        out += sep;
    for (char c : relative)
        out += c == '\\' ? sep : c;
    return out;
}

void TPatchFiles::CopyDurably(const std::string& existing, const std::string& copy) {
    auto in = OpenRead(existing);
    auto out = CreateNew(copy);
    out->CopyFrom(*in, 0);
    out->Flush();
}

std::string PathKey(const std::string& path) {
    std::string key = LowerCase(path);
    for (char& c : key)
        if (c == '/')
            c = '\\';
    return key;
}

} // namespace oru::patch
