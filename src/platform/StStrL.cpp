#include "platform/StStrL.h"

namespace oru {

namespace {
constexpr size_t kMaxExtension = 260;
}

std::string CenterPad(const std::string& s, char fill, size_t width) {
    if (s.size() >= width)
        return s;
    std::string out(width, fill);
    out.replace((width - s.size()) / 2, s.size(), s);
    return out;
}

std::string CenterPadSpaces(const std::string& s, size_t width) { return CenterPad(s, ' ', width); }

bool CharInDelims(const std::string& delims, char c) {
    return delims.find(c) != std::string::npos;
}

bool WordPosition(size_t n, const std::string& s, const std::string& delims, size_t& pos) {
    size_t count = 0;
    size_t i = 0; // 0-based here, reported 1-based
    while (i < s.size() && count != n) {
        while (i < s.size() && CharInDelims(delims, s[i]))
            ++i;
        if (i < s.size()) {
            ++count;
            if (count == n) {
                pos = i + 1;
                return true;
            }
            while (i < s.size() && !CharInDelims(delims, s[i]))
                ++i;
        }
    }
    return false;
}

std::string ExtractWord(size_t n, const std::string& s, const std::string& delims) {
    size_t pos = 0;
    if (!WordPosition(n, s, delims, pos))
        return {};
    size_t start = pos - 1;
    size_t end = start;
    while (end < s.size() && !CharInDelims(delims, s[end]))
        ++end;
    return s.substr(start, end - start);
}

bool HasExtension(const std::string& name, size_t& dotPos) {
    size_t dot = name.rfind('.');
    if (dot == std::string::npos) {
        dotPos = 0;
        return false;
    }
    dotPos = dot + 1;
    size_t lookEnd = dot + 1 + kMaxExtension;
    for (size_t i = dot + 1; i < name.size() && i < lookEnd; ++i)
        if (name[i] == '\\')
            return false;
    return true;
}

std::string ForceExtension(const std::string& name, const std::string& ext) {
    if (name.empty())
        return {};
    size_t dot = 0;
    if (HasExtension(name, dot))
        return name.substr(0, dot) + ext;
    return name + "." + ext;
}

std::string JustExtension(const std::string& name) {
    size_t dot = 0;
    if (HasExtension(name, dot))
        return name.substr(dot, kMaxExtension);
    return {};
}

std::string JustPathname(const std::string& name) {
    size_t i = name.size();
    while (i > 0) {
        char c = name[i - 1];
        if (c == '\0' || c == ':' || c == '\\')
            break;
        --i;
    }
    if (i == 0)
        return {};
    if (i == 1)
        return name.substr(0, 1);
    char c = name[i - 1];
    if (c != '\\')
        return name.substr(0, i);
    if (name[i - 2] == ':')
        return name.substr(0, i);
    return name.substr(0, i - 1);
}

std::string AddBackSlash(const std::string& path) {
    if (path.empty())
        return path;
    if (path.size() == 2 && path[1] == ':')
        return path + "\\";
    if (path.size() < 3)
        return path;
    if (path.back() == '\\')
        return path;
    return path + "\\";
}

} // namespace oru
