// Archive commands: list, test and extract, all through the same reader the update
// program uses, so that what they accept is what an update run accepts.
#include "orupack/Command.h"

#include "archive/PkwareZip.h"
#include "platform/StStrL.h"
#include "platform/SysUtils.h"

#include <cinttypes>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

namespace oru::pack {

namespace {

std::string MethodName(uint16_t method) {
    switch (method) {
    case 0:
        return "stored";
    case 8:
        return "deflate";
    default:
        return Format("method %u", method);
    }
}

// Bytes outside printable ASCII are shown as \xNN so that binary extra data stays
// on one line.
std::string Printable(const std::string& s) {
    std::string out;
    for (unsigned char c : s) {
        if (c >= 0x20 && c < 0x7F)
            out += static_cast<char>(c);
        else
            out += Format("\\x%02X", c);
    }
    return out;
}

// The member directive as an update run reads it: folder placeholder and edition
// kind, the words between ";" characters.
std::string DirectiveText(const std::string& extra) {
    std::string folder = ExtractWord(1, extra, ";");
    std::string kindText = ExtractWord(2, extra, ";");
    std::string text = "folder \"" + Printable(folder) + "\", kind ";
    int32_t kind = 0;
    if (!TryStrToInt(kindText, kind))
        return text + "\"" + Printable(kindText) + "\" (not a number: an update run fails here)";
    switch (kind & 0xFF) {
    case 0:
        return text + Format("%d (all editions but LE)", kind);
    case 2:
        return text + Format("%d (LE edition only)", kind);
    default:
        return text + Format("%d (all editions)", kind);
    }
}

// Takes the data and keeps nothing: the reader checks the CRC as it goes.
class NullStream : public TStream {
  public:
    int32_t Read(void*, int32_t) override { return 0; }
    int32_t Write(const void*, int32_t count) override { return count; }
    int64_t Seek(int64_t, SeekOrigin) override { return 0; }
};

int RunList(const std::vector<std::string>& args) {
    ParsedArgs parsed = ParseArgs(args, {});
    if (parsed.Positional.size() != 1)
        throw UsageError("expected one archive");
    TPkwareZip zip;
    zip.SetFileName(parsed.Positional[0]);
    int32_t count = zip.Count();
    std::cout << "Archive: " << parsed.Positional[0] << " (" << count
              << (count == 1 ? " member)" : " members)") << "\n";
    if (!zip.Comment().empty())
        std::cout << "Comment: " << Printable(zip.Comment()) << "\n";
    std::cout << "Method    Compressed  Uncompressed    CRC-32  Encrypted  Name\n";
    int64_t packed = 0, unpacked = 0;
    for (int32_t i = 0; i < count; ++i) {
        TPkwareZipItem& item = zip.Items()[i];
        std::cout << Format("%-8s %11" PRId64 " %13" PRId64 "  %08" PRIX32 "  %-9s  ",
                            MethodName(item.Method()).c_str(), item.CompressedSize(),
                            item.UncompressedSize(), item.Crc32(), item.Encrypted() ? "yes" : "no")
                  << Printable(item.Name()) << "\n";
        std::cout << "    extra \"" << Printable(item.Extra())
                  << "\": " << DirectiveText(item.Extra())
                  << (item.HasZip64() ? " [ZIP64 sizes]" : "") << "\n";
        if (!item.Comment().empty())
            std::cout << "    comment: " << Printable(item.Comment()) << "\n";
        packed += item.CompressedSize();
        unpacked += item.UncompressedSize();
    }
    std::cout << Format("Total    %11" PRId64 " %13" PRId64 "\n", packed, unpacked);
    return 0;
}

int RunTest(const std::vector<std::string>& args) {
    ParsedArgs parsed = ParseArgs(args, {"password"});
    if (parsed.Positional.size() != 1)
        throw UsageError("expected one archive");
    TPkwareZip zip;
    zip.SetFileName(parsed.Positional[0]);
    TPkwareZipExtractInfo info;
    info.Password = parsed.Value("password");
    int32_t count = zip.Count();
    for (int32_t i = 0; i < count; ++i) {
        TPkwareZipItem& item = zip.Items()[i];
        try {
            NullStream sink;
            item.Extract(&sink, &info);
        } catch (const std::exception& e) {
            std::cout << "FAILED  " << Printable(item.Name()) << "\n";
            std::cerr << "orupack test: " << Printable(item.Name()) << ": " << ConsoleText(e.what())
                      << "\n";
            return 1;
        }
        std::cout << "OK      " << Printable(item.Name()) << "\n";
    }
    std::cout << count << (count == 1 ? " member" : " members") << " tested, no errors\n";
    return 0;
}

int RunExtract(const std::vector<std::string>& args) {
    ParsedArgs parsed = ParseArgs(args, {}, {"verbose"});
    if (parsed.Positional.size() != 2)
        throw UsageError("expected an archive and a destination folder");
    // Member names are appended to the folder as they are, so it must end with a
    // separator.
    std::string dest = parsed.Positional[1];
    if (dest.empty())
        throw UsageError("the destination folder is empty");
    if (dest.back() != '\\' && dest.back() != '/')
        dest += '\\';
    std::vector<std::string> files;
    ExtractZipFile(parsed.Positional[0], files, dest);
    if (parsed.Has("verbose"))
        for (const std::string& f : files)
            std::cout << f << "\n";
    std::cout << files.size() << (files.size() == 1 ? " file" : " files") << " extracted\n";
    return 0;
}

const CommandRegistration registration{
    {"list", "ARCHIVE", "List the members of a ZIP archive",
     "For each member: method, compressed and uncompressed size, CRC-32, whether it is\n"
     "encrypted, its name, and its local extra text as an update run reads it (the\n"
     "folder placeholder and the edition kind between \";\" characters).\n",
     RunList},
    {"test", "ARCHIVE [--password P]", "Read every member and check its CRC-32",
     "Reads every member through the reader without writing anything. Stops at the\n"
     "first member that fails, with the reader's message, and exits with status 1.\n",
     RunTest},
    {"extract", "ARCHIVE DESTDIR [--verbose]", "Extract a whole archive into a folder",
     "Creates the folders the members name and writes every file. An existing file is\n"
     "replaced only by a complete, checked new one. When a member fails, every file\n"
     "written so far is deleted again. --verbose lists the files written.\n",
     RunExtract},
};

} // namespace

} // namespace oru::pack
