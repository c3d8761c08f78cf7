#include "app/VersionFile.h"

#include "install/ProductCatalogue.h"
#include "platform/Files.h"
#include "platform/SysUtils.h"

#include <memory>

namespace oru {

namespace {

// The notice target that addresses every product (compared on the low 8 bits).
constexpr uint8_t kTargetEveryProduct = 100;

// Line reading as a text file does it: a line ends at CR or LF, and whatever
// follows up to the next LF is passed over, so CR LF and a lone LF both end a line.
class TLineReader {
  public:
    explicit TLineReader(TStream& stream) : stream_(stream) {}

    bool Eof() { return !Fill(); }

    // Past the end every line reads as empty.
    std::string ReadLine() {
        std::string line;
        while (Fill()) {
            const char c = buffer_[pos_];
            if (c == '\r' || c == '\n')
                break;
            line += c;
            ++pos_;
        }
        while (Fill()) {
            const char c = buffer_[pos_++];
            if (c == '\n')
                break;
        }
        return line;
    }

  private:
    // True when a character is available at pos_.
    bool Fill() {
        if (pos_ < length_)
            return true;
        if (atEnd_)
            return false;
        length_ = stream_.Read(buffer_, sizeof buffer_);
        pos_ = 0;
        if (length_ <= 0) {
            length_ = 0;
            atEnd_ = true;
            return false;
        }
        return true;
    }

    TStream& stream_;
    char buffer_[4096];
    int32_t length_ = 0;
    int32_t pos_ = 0;
    bool atEnd_ = false;
};

bool IsYes(const std::string& line) {
    return SameText(line, "Y");
}

void ReadLines(TLineReader& reader, const TVersionFileContext& context, TVersionFileInfo& info) {
    if (!reader.Eof())
        info.Version = reader.ReadLine();
    if (!reader.Eof()) {
        info.UpdateWanted = IsYes(reader.ReadLine());
        info.UpdateArchiveMissing = info.UpdateWanted && !context.UpdateArchiveExists;
    }
    if (!reader.Eof()) {
        info.PatchWanted = IsYes(reader.ReadLine());
        info.PatchArchiveMissing = info.PatchWanted && !context.PatchArchiveExists;
    }
    info.ExtraMessage.clear();
    if (reader.Eof() || !IsYes(reader.ReadLine()))
        return;

    const std::string target = reader.ReadLine();
    const int32_t count = StrToInt(reader.ReadLine());
    // Lines past the end read as empty and would add nothing, so a count far
    // beyond the file's length stops at the end instead of spinning.
    for (int32_t i = 0; i < count && !reader.Eof(); ++i)
        info.ExtraMessage += reader.ReadLine();

    const int32_t targetNumber = StrToInt(target);
    if ((static_cast<uint32_t>(targetNumber) & 0xFFu) == kTargetEveryProduct)
        return;
    const TProductKind kind = ProductKindFromNumber(targetNumber);
    if ((kind == 1 && context.IsLEEdition) || (kind == 2 && !context.IsLEEdition))
        info.ExtraMessage.clear();
}

void SetUnreadable(TVersionFileInfo& info) {
    info.Version.clear();
    info.ExtraMessage.clear();
    info.UpdateArchiveMissing = true;
    info.PatchArchiveMissing = true;
}

} // namespace

TVersionFileInfo ReadVersionFile(TStream& stream, const TVersionFileContext& context) {
    TVersionFileInfo info;
    try {
        TLineReader reader(stream);
        ReadLines(reader, context, info);
    } catch (const std::exception&) {
        SetUnreadable(info);
    }
    return info;
}

TVersionFileInfo ReadVersionFile(const std::string& fileName, const TVersionFileContext& context) {
    std::unique_ptr<TFile> file;
    try {
        file = std::make_unique<TFile>(fileName, fmOpenRead | fmShareDenyNone);
    } catch (const std::exception&) {
        TVersionFileInfo info;
        SetUnreadable(info);
        return info;
    }
    return ReadVersionFile(*file, context);
}

} // namespace oru
