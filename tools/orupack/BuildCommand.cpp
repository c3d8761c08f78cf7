// "orupack build": makes a whole update package from a manifest (docs/
// package-format.md): the version file, the update archive, the patch file made by
// the engine's own diff, and the engine archive.
#include "orupack/Command.h"
#include "orupack/PackageManifest.h"
#include "orupack/ZipWriter.h"

#include "engine/PatchBuilder.h"
#include "engine/PatchFormat.h"
#include "platform/SysUtils.h"

#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <sys/stat.h>

namespace oru::pack {

namespace {

namespace fs = std::filesystem;

constexpr const char* kVersionFile = "ORU.VER";
constexpr const char* kUpdateArchive = "ORU.mcu";
constexpr const char* kPatchFile = "ORU.rtp";
constexpr const char* kEngineArchive = "PATCHW32.mzp";
constexpr const char* kEngineLibrary = "PATCHW32.DLL";

std::vector<uint8_t> ReadBytes(const fs::path& path) {
    std::ifstream f(path, std::ios::binary);
    if (!f)
        throw std::runtime_error("cannot read " + path.string());
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

void WriteBytes(const fs::path& path, const std::string& bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!f)
        throw std::runtime_error("cannot write " + path.string());
}

// The file's last modification, as the MS-DOS time a ZIP member carries.
uint32_t FileDosTime(const fs::path& path) {
    struct stat st {};
    if (stat(path.string().c_str(), &st) != 0)
        throw std::runtime_error("cannot read the time of " + path.string());
    std::time_t t = st.st_mtime;
    std::tm local = *std::localtime(&t);
    int year = local.tm_year + 1900;
    if (year < 1980)
        return DosDateTime(1980, 1, 1, 0, 0, 0);
    if (year > 2107)
        return DosDateTime(2107, 12, 31, 23, 59, 58);
    return DosDateTime(year, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                       local.tm_sec);
}

[[noreturn]] void RefuseLine(int line, const std::string& why) {
    throw ManifestError("line " + std::to_string(line) + ": " + why);
}

fs::path Resolve(const fs::path& base, const std::string& path) {
    fs::path p(path);
    return p.is_absolute() ? p : base / p;
}

fs::path ExistingFile(const fs::path& base, const ManifestFile& f) {
    fs::path p = Resolve(base, f.Path);
    if (!fs::is_regular_file(p))
        RefuseLine(f.Line, "no such file: " + p.string());
    return p;
}

fs::path ExistingFolder(const fs::path& base, const ManifestFile& f) {
    fs::path p = Resolve(base, f.Path);
    if (!fs::is_directory(p))
        RefuseLine(f.Line, "no such folder: " + p.string());
    return p;
}

// Every source is checked before anything is written, so a refused manifest leaves
// the output folder as it was.
void CheckSources(const PackageManifest& m, const fs::path& base) {
    for (const ManifestMember& member : m.Members)
        ExistingFile(base, {member.Line, member.Source});
    if (m.PatchOld) {
        ExistingFolder(base, *m.PatchOld);
        ExistingFolder(base, *m.PatchNew);
        for (const ManifestGroup& g : m.PatchGroups) {
            try {
                patch::ParseGroupDefinition(g.Definition);
            } catch (const Exception& e) {
                RefuseLine(g.Line, e.Message());
            }
        }
    }
    if (m.Engine)
        ExistingFile(base, *m.Engine);
    for (const ManifestFile& f : m.EngineFiles) {
        fs::path p = ExistingFile(base, f);
        if (SameText(p.filename().string(), kEngineLibrary))
            RefuseLine(f.Line, "the engine library itself is given by 'engine:'");
    }
}

void WriteUpdateArchive(const PackageManifest& m, const fs::path& base, const fs::path& out) {
    ZipWriter zip;
    for (const ManifestMember& member : m.Members) {
        fs::path source = Resolve(base, member.Source);
        ZipMember z;
        z.Name = member.Name;
        z.Extra = member.Directive;
        z.Data = ReadBytes(source);
        z.DosDateTime = m.MemberTime ? *m.MemberTime : FileDosTime(source);
        zip.Add(std::move(z));
    }
    zip.WriteFile(out.string());
}

void WriteEngineArchive(const PackageManifest& m, const fs::path& base, const fs::path& out) {
    ZipWriter zip;
    auto add = [&](const fs::path& source, const std::string& name) {
        ZipMember z;
        z.Name = name;
        z.Data = ReadBytes(source);
        z.DosDateTime = m.MemberTime ? *m.MemberTime : FileDosTime(source);
        zip.Add(std::move(z));
    };
    add(Resolve(base, m.Engine->Path), kEngineLibrary);
    for (const ManifestFile& f : m.EngineFiles) {
        fs::path p = Resolve(base, f.Path);
        add(p, p.filename().string());
    }
    zip.WriteFile(out.string());
}

int RunBuild(const std::vector<std::string>& args) {
    ParsedArgs parsed = ParseArgs(args, {}, {"quiet"});
    if (parsed.Positional.size() != 2)
        throw UsageError("expected the manifest and the output folder");
    const fs::path manifestPath = parsed.Positional[0];
    const fs::path outDir = parsed.Positional[1];
    std::ifstream in(manifestPath, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read the manifest " + manifestPath.string());
    std::stringstream text;
    text << in.rdbuf();

    PackageManifest m;
    const fs::path base = manifestPath.has_parent_path() ? manifestPath.parent_path() : fs::path(".");
    try {
        m = ParseManifest(text.str());
        CheckSources(m, base);
    } catch (const ManifestError& e) {
        throw std::runtime_error(manifestPath.string() + ": " + e.what());
    }

    fs::create_directories(outDir);
    bool quiet = parsed.Has("quiet");
    auto report = [&](const std::string& line) {
        if (!quiet)
            std::cout << line << "\n";
    };
    // A file of the package that this manifest does not make would be taken for
    // part of it by the update program.
    auto produce = [&](const char* name, bool wanted) {
        fs::path p = outDir / name;
        if (!wanted && fs::exists(p)) {
            fs::remove(p);
            report(std::string("removed stale ") + name);
        }
        return wanted;
    };

    if (produce(kUpdateArchive, m.HasArchive())) {
        WriteUpdateArchive(m, base, outDir / kUpdateArchive);
        report(std::string(kUpdateArchive) + ": " + std::to_string(m.Members.size()) + " members");
    }
    if (produce(kPatchFile, m.HasPatch())) {
        patch::TBuildOptions options;
        options.AllowDelta = !m.PatchWholeFiles;
        for (const ManifestGroup& g : m.PatchGroups)
            options.Groups.push_back(patch::ParseGroupDefinition(g.Definition));
        patch::TBuildStats stats =
            patch::BuildPatch(patch::SystemPatchFiles(), Resolve(base, m.PatchOld->Path).string(),
                              Resolve(base, m.PatchNew->Path).string(), (outDir / kPatchFile).string(),
                              options);
        report(std::string(kPatchFile) + ": " + std::to_string(stats.Patched) + " patched, " +
               std::to_string(stats.Added) + " added, " + std::to_string(stats.Deleted) + " deleted");
    }
    if (produce(kEngineArchive, m.Engine.has_value())) {
        WriteEngineArchive(m, base, outDir / kEngineArchive);
        report(std::string(kEngineArchive) + ": " + std::to_string(1 + m.EngineFiles.size()) + " files");
    }
    // The version file last: a package without it is plainly incomplete.
    WriteBytes(outDir / kVersionFile, VersionFileText(m));
    report(std::string(kVersionFile) + ": version " + m.Version + ", update " +
           (m.UpdateWanted ? "Y" : "N") + ", patch " + (m.PatchWanted ? "Y" : "N") +
           (m.Notice ? ", with notice" : ""));
    return 0;
}

const CommandRegistration registration{
    {"build", "MANIFEST OUT_DIR [--quiet]", "make an update package from a manifest",
     "Writes ORU.VER, and as the manifest asks ORU.mcu, ORU.rtp and PATCHW32.mzp, into\n"
     "OUT_DIR (created when missing; a package file the manifest does not make is\n"
     "removed). Paths in the manifest are relative to its folder. Every source is\n"
     "checked before anything is written; a manifest that cannot be honoured is refused\n"
     "with the number of the line to blame. The format is described in\n"
     "docs/package-format.md. Example manifest:\n"
     "\n"
     "  version: 01.23.00.00\n"
     "  notice: 100\n"
     "  notice-line: Please restart Parcelon after the update.\n"
     "  file: <INSTALLDIR>;1 Tables\\New.dat = files/New.dat\n"
     "  file: <WINSYSDIR>;1 orutools.dll = files/orutools.dll\n"
     "  patch-old: old\n"
     "  patch-new: new\n"
     "  engine: ../engine/patchw32.dll\n",
     &RunBuild},
};

} // namespace

} // namespace oru::pack
