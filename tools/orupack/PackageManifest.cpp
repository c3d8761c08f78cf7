#include "orupack/PackageManifest.h"

#include "orupack/ZipWriter.h"
#include "platform/SysUtils.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

namespace oru::pack {

namespace {

[[noreturn]] void Refuse(int line, const std::string& why) {
    throw ManifestError("line " + std::to_string(line) + ": " + why);
}

bool YesNo(int line, const std::string& key, const std::string& value) {
    std::string v = LowerCase(value);
    if (v == "yes" || v == "y")
        return true;
    if (v == "no" || v == "n")
        return false;
    Refuse(line, key + " must be yes or no, not '" + value + "'");
}

int32_t Integer(int line, const std::string& what, const std::string& value) {
    int32_t n = 0;
    if (!TryStrToInt(value, n))
        Refuse(line, what + " must be a whole number, not '" + value + "'");
    return n;
}

std::string ValidMemberName(int line, std::string name) {
    std::replace(name.begin(), name.end(), '/', '\\');
    if (name.empty())
        Refuse(line, "the member has no name");
    if (name.front() == '\\' || (name.size() >= 2 && name[1] == ':'))
        Refuse(line, "the member name '" + name + "' must be relative to its folder");
    if (name.back() == '\\')
        Refuse(line, "the member name '" + name + "' names a folder, not a file");
    std::istringstream parts(name);
    std::string part;
    while (std::getline(parts, part, '\\')) {
        if (part == "..")
            Refuse(line, "the member name '" + name + "' must not climb with '..'");
        if (part.empty() || part == ".")
            Refuse(line, "the member name '" + name + "' has an empty or '.' component");
    }
    return name;
}

ManifestMember ParseMember(int line, const std::string& value) {
    ManifestMember m;
    m.Line = line;
    size_t blank = value.find_first_of(" \t");
    if (blank == std::string::npos)
        Refuse(line, "expected 'file: PLACEHOLDER;KIND NAME [= SOURCE]'");
    m.Directive = value.substr(0, blank);
    std::string rest = Trim(value.substr(blank));
    size_t semicolon = m.Directive.find(';');
    if (semicolon == std::string::npos)
        Refuse(line, "the directive '" + m.Directive + "' needs the form PLACEHOLDER;KIND");
    std::string placeholder = m.Directive.substr(0, semicolon);
    if (!KnownPlaceholder(placeholder))
        Refuse(line, "unknown placeholder '" + placeholder +
                         "' (known: <INSTALLDIR> <WINDIR> <WINSYSDIR> <TEMP> <EWSDIR>)");
    Integer(line, "the edition kind", m.Directive.substr(semicolon + 1));
    // " = " separates name and source; "=" inside a name stays part of it.
    size_t equals = rest.find(" =");
    while (equals != std::string::npos && equals + 2 < rest.size() && rest[equals + 2] != ' ' &&
           rest[equals + 2] != '\t')
        equals = rest.find(" =", equals + 1);
    std::string name = equals == std::string::npos ? rest : Trim(rest.substr(0, equals));
    m.Name = ValidMemberName(line, name);
    if (equals != std::string::npos) {
        m.Source = Trim(rest.substr(equals + 2));
        if (m.Source.empty())
            Refuse(line, "no source file after '='");
    } else {
        m.Source = name;
        std::replace(m.Source.begin(), m.Source.end(), '\\', '/');
    }
    return m;
}

uint32_t ParseTime(int line, const std::string& value) {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    char tail = 0;
    int n = std::sscanf(value.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%c", &y, &mo, &d, &h, &mi, &s, &tail);
    if (n < 5 || n > 6 || mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 59 ||
        y < 1980 || y > 2107)
        Refuse(line, "time must be YYYY-MM-DD HH:MM[:SS] between 1980 and 2107, not '" + value + "'");
    return DosDateTime(y, mo, d, h, mi, s);
}

} // namespace

bool KnownPlaceholder(const std::string& placeholder) {
    for (const char* known : {"<INSTALLDIR>", "<WINDIR>", "<WINSYSDIR>", "<TEMP>", "<EWSDIR>"})
        if (placeholder == known)
            return true;
    return false;
}

PackageManifest ParseManifest(const std::string& text) {
    PackageManifest m;
    std::optional<bool> update, patch;
    int versionLine = 0, updateLine = 0, patchLine = 0;
    std::istringstream in(text);
    std::string raw;
    int line = 0;
    while (std::getline(in, raw)) {
        ++line;
        if (!raw.empty() && raw.back() == '\r')
            raw.pop_back();
        std::string trimmed = Trim(raw);
        if (trimmed.empty() || trimmed[0] == '#')
            continue;
        size_t colon = raw.find(':');
        if (colon == std::string::npos)
            Refuse(line, "expected 'key: value'");
        std::string key = LowerCase(Trim(raw.substr(0, colon)));
        std::string rawValue = raw.substr(colon + 1);
        std::string value = Trim(rawValue);
        auto once = [&](int& seen) {
            if (seen)
                Refuse(line, "'" + key + "' was already given on line " + std::to_string(seen));
            seen = line;
        };
        if (key == "version") {
            once(versionLine);
            m.Version = value;
        } else if (key == "update") {
            once(updateLine);
            update = YesNo(line, key, value);
        } else if (key == "patch") {
            once(patchLine);
            patch = YesNo(line, key, value);
        } else if (key == "notice") {
            if (m.Notice)
                Refuse(line, "a second notice (the first is on line " + std::to_string(m.Notice->Line) + ")");
            m.Notice = ManifestNotice{line, Integer(line, "the notice target", value), {}};
        } else if (key == "notice-line") {
            if (!m.Notice)
                Refuse(line, "notice-line before any 'notice: TARGET'");
            // Leading blanks may matter: the notice lines are joined without a gap.
            if (!rawValue.empty() && rawValue[0] == ' ')
                rawValue.erase(0, 1);
            m.Notice->Lines.push_back(rawValue);
        } else if (key == "file") {
            m.Members.push_back(ParseMember(line, value));
        } else if (key == "patch-old" || key == "patch-new" || key == "engine") {
            auto& slot = key == "patch-old" ? m.PatchOld : key == "patch-new" ? m.PatchNew : m.Engine;
            if (slot)
                Refuse(line, "'" + key + "' was already given on line " + std::to_string(slot->Line));
            if (value.empty())
                Refuse(line, "'" + key + "' needs a path");
            slot = ManifestFile{line, value};
        } else if (key == "patch-group") {
            if (value.empty())
                Refuse(line, "'patch-group' needs NAME[=FOLDER[=TEXT]]");
            m.PatchGroups.push_back({line, value});
        } else if (key == "patch-whole") {
            m.PatchWholeFiles = YesNo(line, key, value);
        } else if (key == "engine-file") {
            if (value.empty())
                Refuse(line, "'engine-file' needs a path");
            m.EngineFiles.push_back({line, value});
        } else if (key == "time") {
            m.MemberTime = ParseTime(line, value);
        } else {
            Refuse(line, "unknown key '" + key + "'");
        }
    }

    if (!versionLine)
        throw ManifestError("the manifest has no 'version:' line");
    for (size_t i = 0; i < m.Members.size(); ++i)
        for (size_t j = 0; j < i; ++j)
            if (SameText(m.Members[i].Name, m.Members[j].Name) &&
                m.Members[i].Directive.substr(0, m.Members[i].Directive.find(';')) ==
                    m.Members[j].Directive.substr(0, m.Members[j].Directive.find(';')))
                Refuse(m.Members[i].Line, "'" + m.Members[i].Name + "' goes to the same place as line " +
                                              std::to_string(m.Members[j].Line));
    if (m.PatchOld.has_value() != m.PatchNew.has_value()) {
        const ManifestFile& given = m.PatchOld ? *m.PatchOld : *m.PatchNew;
        Refuse(given.Line, "a patch needs both 'patch-old' and 'patch-new'");
    }
    if (!m.PatchGroups.empty() && !m.PatchOld)
        Refuse(m.PatchGroups[0].Line, "'patch-group' without 'patch-old' and 'patch-new'");
    if (!m.EngineFiles.empty() && !m.Engine)
        Refuse(m.EngineFiles[0].Line, "'engine-file' without 'engine'");
    if (update == true && m.Members.empty())
        Refuse(updateLine, "'update: yes' but no 'file:' lines");
    if (patch == true && !m.PatchOld)
        Refuse(patchLine, "'patch: yes' but no 'patch-old' and 'patch-new'");
    m.UpdateWanted = update.value_or(!m.Members.empty());
    m.PatchWanted = patch.value_or(m.PatchOld.has_value());
    return m;
}

std::string VersionFileText(const PackageManifest& m) {
    const char* crlf = "\r\n";
    std::string out = m.Version + crlf;
    out += std::string(m.UpdateWanted ? "Y" : "N") + crlf;
    out += std::string(m.PatchWanted ? "Y" : "N") + crlf;
    if (!m.Notice) {
        out += std::string("N") + crlf;
        return out;
    }
    out += std::string("Y") + crlf;
    out += std::to_string(m.Notice->Target) + crlf;
    out += std::to_string(m.Notice->Lines.size()) + crlf;
    for (const std::string& l : m.Notice->Lines)
        out += l + crlf;
    return out;
}

} // namespace oru::pack
