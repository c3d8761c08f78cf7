#include "archive/PkwareZip.h"

#include "archive/CompressionUtils.h"
#include "archive/OruZlib.h"
#include "archive/WriteBuffer.h"
#include "platform/DateTimeUtils.h"
#include "platform/FileUtilsX.h"
#include "platform/PathUtilsX.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <limits>
#include <string_view>

namespace oru {

namespace {

constexpr uint32_t LocalHeaderSignature = 0x04034B50;
constexpr size_t WriteBufferSize = 256 * 1024;
constexpr uint32_t CentralHeaderSignature = 0x02014B50;
constexpr uint32_t EndRecordSignature = 0x06054B50;

uint16_t Get16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
uint32_t Get32(const uint8_t* p) {
    return Get16(p) | (static_cast<uint32_t>(Get16(p + 2)) << 16);
}
uint64_t Get64(const uint8_t* p) {
    return Get32(p) | (static_cast<uint64_t>(Get32(p + 4)) << 32);
}

struct InvalidArchive {};

// Sequential reads of the directory through a window of the archive, so that an
// archive of thousands of small members costs a few large reads instead of a dozen
// small ones per member. Every read is exact: coming up short means the archive
// ends where its structure says it cannot.
class DirectoryReader {
  public:
    explicit DirectoryReader(TStream& stream) : stream_(stream), size_(stream.GetSize()) {}

    int64_t Position() const { return pos_; }
    int64_t Size() const { return size_; }
    int64_t Remaining() const { return size_ - pos_; }

    void Read(void* out, int64_t count) {
        if (count < 0 || count > Remaining())
            throw InvalidArchive{};
        auto* dst = static_cast<uint8_t*>(out);
        while (count > 0) {
            if (pos_ < bufStart_ || pos_ >= bufStart_ + bufLen_)
                Fill();
            int64_t off = pos_ - bufStart_;
            int64_t n = std::min<int64_t>(count, bufLen_ - off);
            std::memcpy(dst, buf_.data() + off, static_cast<size_t>(n));
            dst += n;
            pos_ += n;
            count -= n;
        }
    }

    std::string ReadString(int64_t count) {
        std::string s(static_cast<size_t>(std::max<int64_t>(0, std::min(count, Remaining()))),
                      '\0');
        Read(s.data(), count);
        return s;
    }

    uint32_t Peek32() {
        uint8_t b[4];
        Read(b, 4);
        pos_ -= 4;
        return Get32(b);
    }

    void Skip(int64_t count) {
        if (count < 0 || count > Remaining())
            throw InvalidArchive{};
        pos_ += count;
    }

  private:
    void Fill() {
        stream_.Seek(pos_, SeekOrigin::Begin);
        int32_t want = static_cast<int32_t>(std::min<int64_t>(buf_.size(), Remaining()));
        int32_t n = stream_.Read(buf_.data(), want);
        if (n <= 0)
            throw InvalidArchive{}; // the file shrank under us
        bufStart_ = pos_;
        bufLen_ = n;
    }

    TStream& stream_;
    int64_t size_;
    int64_t pos_ = 0;
    std::array<uint8_t, 65536> buf_;
    int64_t bufStart_ = 0;
    int64_t bufLen_ = 0;
};

std::string WithoutFolder(const std::string& fileName) {
    size_t p = fileName.find_last_of("\\/:");
    return p == std::string::npos ? fileName : fileName.substr(p + 1);
}

bool IsDirectoryName(const std::string& name) {
    return !name.empty() && (name.back() == '/' || name.back() == '\\');
}

uint8_t LevelFromFlags(uint16_t flags) {
    switch (flags & 6) {
    case 2:
        return 4;
    case 4:
        return 2;
    case 6:
        return 1;
    default:
        return 0;
    }
}

// A name for the new file beside its target, so that the final move stays inside
// one folder (and one volume) and can replace the old file in one step.
std::unique_ptr<TFile> CreateTempBeside(const std::string& target, std::string& tempName) {
    static std::atomic<uint32_t> counter{static_cast<uint32_t>(
        static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) *
        2654435761u)};
    size_t sep = target.find_last_of("\\/:");
    std::string folder = sep == std::string::npos ? std::string() : target.substr(0, sep + 1);
    for (int attempt = 0;; ++attempt) {
        tempName = folder + Format("~oru%08x.tmp", counter.fetch_add(1));
        try {
            return std::make_unique<TFile>(tempName,
                                           static_cast<uint16_t>(fmCreateNew | fmOpenWrite));
        } catch (const EFileOpenError& e) {
            if (attempt < 16 && FileExists(tempName))
                continue;
            // Report it as the target's own failure: the temporary name means nothing
            // to whoever reads the message.
            SetLastOsError(e.ErrorCode);
            RaiseOpenError(target);
        }
    }
}

} // namespace

// ---------------------------------------------------------------- names

bool HasDrivePart(const std::string& name) {
    if (name.size() >= 2 && name[1] == ':' &&
        ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z')))
        return true;
    if (name.size() < 5 || name[0] != '\\' || name[1] != '\\')
        return false;
    size_t serverEnd = name.find('\\', 2);
    return serverEnd != std::string::npos && serverEnd > 2 && serverEnd + 1 < name.size() &&
           name[serverEnd + 1] != '\\';
}

bool NameLeavesFolder(const std::string& name) {
    int64_t depth = 0;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find_first_of("\\/", start);
        if (end == std::string::npos)
            end = name.size();
        std::string_view part(name.data() + start, end - start);
        if (part == "..") {
            if (--depth < 0)
                return true;
        } else if (!part.empty() && part != ".") {
            ++depth;
        }
        start = end + 1;
    }
    return false;
}

// ---------------------------------------------------------------- TPkwareZipItem

uint16_t TPkwareZipItem::Flags() const {
    return Get16(localHeader_.data() + 6);
}
uint16_t TPkwareZipItem::Method() const {
    return Get16(localHeader_.data() + 8);
}
uint32_t TPkwareZipItem::DosDateTime() const {
    return Get32(localHeader_.data() + 10);
}
uint32_t TPkwareZipItem::Crc32() const {
    return Get32(localHeader_.data() + 14);
}
uint16_t TPkwareZipItem::LocalNameLength() const {
    return Get16(localHeader_.data() + 26);
}
uint16_t TPkwareZipItem::LocalExtraLength() const {
    return Get16(localHeader_.data() + 28);
}

std::unique_ptr<TStream> TPkwareZipItem::Extract(const TPkwareZipExtractInfo* info) {
    return Extract(nullptr, info);
}

std::string TPkwareZipItem::TargetFileName(const TPkwareZipExtractInfo& info) const {
    if (!info.FileName.empty())
        return info.FileName;
    if (HasDrivePart(name_))
        return name_;
    if (NameLeavesFolder(name_))
        throw EPkwareZipError(Format(
            "Cannot extract '%s': its name leads outside the destination folder", name_.c_str()));
    std::string dir = info.DestDir;
    if (dir.empty() || dir.back() != '\\')
        dir += '\\';
    return dir + name_;
}

std::unique_ptr<TStream> TPkwareZipItem::Extract(TStream* stream,
                                                 const TPkwareZipExtractInfo* infoIn) {
    bool stored;
    if (Method() == 0)
        stored = true;
    else if (Method() == 8)
        stored = false;
    else
        throw EPkwareZipError("The compression method is not supported");

    TPkwareZipExtractInfo info = infoIn ? *infoIn : TPkwareZipExtractInfo{};
    if (info.Password.empty())
        info.Password = zip_.Password;
    if (Encrypted() && info.Password.empty())
        throw EPkwareZipError("It is password protected, but no password was specified");
    std::shared_ptr<TStream> archive = zip_.Stream();

    if (!(info.Options & eoOpenStream) && !stream)
        return ExtractToFile(info);

    archive->Seek(localHeaderPosition_ + ZipLocalHeaderSize + LocalNameLength() +
                      LocalExtraLength(),
                  SeekOrigin::Begin);
    TOruCompressionInfo ci;
    ci.Source = archive.get();
    ci.Dest = stream;
    ci.Options.Stored = stored;
    ci.Options.Level = stored ? 0 : LevelFromFlags(Flags());
    if (Encrypted())
        ci.Options.Password = info.Password;
    ci.Size = uncompressedSize_;
    ci.CompressedSize = compressedSize_;
    ci.Crc = Crc32();
    ci.OutputLimit = uncompressedSize_;
    TPkwareZip& zip = zip_;
    ci.OnProgress = [&zip](TOruCompressionInfo& i) { zip.DispatchProgress(i.BytesOut); };
    zip_.progressBase_ = 0;
    zip_.progressTotal_ = uncompressedSize_;

    try {
        if (info.Options & eoOpenStream) {
            ci.OnProgress = nullptr;
            return std::make_unique<TOruUncompressionStream>(ci, archive);
        }
        if (uncompressedSize_ != 0) {
            Uncompress(ci);
            if (ci.Crc != Crc32())
                throw EPkwareZipError(Format("CRC check failed for '%s'", name_.c_str()));
        }
    } catch (EZlibError& e) {
        e.SetMessage(Format("Cannot extract '%s'.\r%s", name_.c_str(), e.Message().c_str()));
        throw;
    } catch (const EDataSizeError& e) {
        throw EPkwareZipError(Format("Cannot extract '%s'.\r%s", name_.c_str(), e.what()));
    }
    return nullptr;
}

std::unique_ptr<TStream> TPkwareZipItem::ExtractToFile(const TPkwareZipExtractInfo& info) {
    const std::string target = TargetFileName(info);
    // The member is written beside its target and moved over it only once it is
    // complete, its CRC proven and it is on disk: a run killed at any instant leaves
    // the target whole (old, new or, when new, absent), never cut short. What such a
    // kill leaves is a "~oru????????.tmp" beside it, for the next run to remove.
    std::string writeName = target;
    std::unique_ptr<TFile> file;
    const uint16_t createNew = fmCreateNew | fmOpenWrite;
    if (info.Options & eoCreateNew)
        file = std::make_unique<TFile>(target, createNew);
    else
        file = CreateTempBeside(target, writeName);

    try {
        TPkwareZipExtractInfo streamInfo = info;
        streamInfo.Options &= static_cast<TPkwareZipExtractOptions>(~eoOpenStream);
        if (zip_.writeBuffer_.empty())
            zip_.writeBuffer_.resize(WriteBufferSize);
        TWriteBufferStream buffered(*file, zip_.writeBuffer_);
        Extract(&buffered, &streamInfo);
        buffered.Flush();
        if (uncompressedSize_ != 0 && !(info.Options & eoKeepFileTime)) {
            TDateTime stamp = 0;
            if (!TryDosDateTimeToDateTime(DosDateTime(), stamp))
                stamp = 0;
            file->SetFileTime(stamp);
        }
        file->Flush();
        file.reset();
        if (writeName != target && !RenameFileReplace(writeName, target))
            RaiseOpenError(target);
        if (uncompressedSize_ != 0 && !(info.Options & eoKeepAttributes))
            FileSetAttr(target, static_cast<int32_t>(externalAttributes_));
    } catch (...) {
        file.reset();
        int32_t code = GetLastOsError();
        DeleteFile(writeName);
        SetLastOsError(code);
        throw;
    }
    return nullptr;
}

// ---------------------------------------------------------------- TPkwareZipItems

int32_t TPkwareZipItems::Count() const {
    return static_cast<int32_t>(zip_.members_.size());
}

TPkwareZipItem& TPkwareZipItems::operator[](int32_t index) const {
    if (index < 0 || index >= Count())
        throw Exception(Format("List index out of bounds (%d)", index));
    return *zip_.members_[static_cast<size_t>(index)];
}

// ---------------------------------------------------------------- TPkwareZip

TPkwareZip::TPkwareZip() : items_(*this) {}

TPkwareZip::~TPkwareZip() {
    try {
        Close();
    } catch (...) {
    }
}

void TPkwareZip::SetFileName(const std::string& fileName) {
    if (fileName == fileName_)
        return;
    Close();
    fileName_ = fileName;
}

void TPkwareZip::SetActive(bool value) {
    if (value == active_)
        return;
    if (value) {
        Activate(std::make_shared<TFile>(fileName_, OpenMode));
    } else {
        stream_.reset();
        active_ = false;
    }
}

void TPkwareZip::OpenStream(std::shared_ptr<TStream> stream) {
    Close();
    Activate(std::move(stream));
}

void TPkwareZip::Activate(std::shared_ptr<TStream> stream) {
    stream_ = std::move(stream);
    active_ = true;
    try {
        ReadDirectory();
    } catch (...) {
        stream_.reset();
        active_ = false;
        throw;
    }
}

TPkwareZipItems& TPkwareZip::Items() {
    if (!active_)
        Open();
    return items_;
}

std::shared_ptr<TStream> TPkwareZip::Stream() const {
    if (!active_ || !stream_)
        throw EPkwareZipError(
            Format("The archive '%s' is not open", WithoutFolder(fileName_).c_str()));
    return stream_;
}

void TPkwareZip::RaiseInvalid() const {
    throw EPkwareZipError(
        Format("'%s' is not a valid ZIP archive", WithoutFolder(fileName_).c_str()));
}

void TPkwareZip::DispatchProgress(int64_t bytesDone) {
    if (OnProgress)
        OnProgress(*this, progressBase_ + bytesDone, progressTotal_);
}

void TPkwareZip::ReadDirectory() {
    members_.clear();
    if (!active_)
        return;
    try {
        ReadRecords();
    } catch (const InvalidArchive&) {
        RaiseInvalid();
    } catch (const EReadError&) {
        RaiseInvalid();
    }
    if (OnOpen)
        OnOpen(*this);
}

void TPkwareZip::ReadRecords() {
    DirectoryReader r(*stream_);

    // Local headers, one after another from the first byte.
    while (r.Peek32() == LocalHeaderSignature) {
        auto item = std::unique_ptr<TPkwareZipItem>(new TPkwareZipItem(*this));
        item->localHeaderPosition_ = r.Position();
        r.Read(item->localHeader_.data(), ZipLocalHeaderSize);
        if ((item->Flags() >> 3) != 0)
            throw InvalidArchive{};
        item->name_ = r.ReadString(item->LocalNameLength());
        const uint8_t* h = item->localHeader_.data();
        item->compressedSize_ = Get32(h + 18);
        item->uncompressedSize_ = Get32(h + 22);
        std::string extra = r.ReadString(item->LocalExtraLength());
        const auto* e = reinterpret_cast<const uint8_t*>(extra.data());
        if (extra.size() >= 4 && Get16(e) == 1) {
            item->hasZip64_ = true;
            size_t dataSize = Get16(e + 2);
            if (dataSize < 16 || 4 + dataSize > extra.size())
                throw InvalidArchive{};
            uint64_t uncompressed = Get64(e + 4);
            uint64_t compressed = Get64(e + 12);
            constexpr uint64_t max = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
            if (uncompressed > max || compressed > max)
                throw InvalidArchive{};
            item->uncompressedSize_ = static_cast<int64_t>(uncompressed);
            item->compressedSize_ = static_cast<int64_t>(compressed);
            item->extra_ = extra.substr(4 + dataSize);
        } else {
            item->hasZip64_ = false;
            item->extra_ = std::move(extra);
        }
        // Data that cannot be there: running past the end of the file, or an
        // encrypted member too short for its encryption header.
        if (item->Encrypted() && item->compressedSize_ < PkwareEncryptionHeaderSize)
            throw InvalidArchive{};
        r.Skip(item->compressedSize_);
        members_.push_back(std::move(item));
        // The end record counts members in 16 bits, so no more can be valid; stopping
        // here keeps a file of empty headers from costing memory by the gigabyte.
        if (members_.size() > 0xFFFF)
            throw InvalidArchive{};
    }

    // Central directory: one record per member, in the same order.
    size_t index = 0;
    centralDirectorySize_ = 0;
    uint32_t signature;
    while ((signature = r.Peek32()) == CentralHeaderSignature) {
        if (index >= members_.size())
            throw InvalidArchive{};
        TPkwareZipItem& item = *members_[index];
        item.centralHeaderPosition_ = r.Position();
        uint8_t rec[ZipCentralHeaderSize];
        r.Read(rec, ZipCentralHeaderSize);
        if (Get32(rec + 12) != item.DosDateTime())
            throw InvalidArchive{};
        uint16_t nameLength = Get16(rec + 28);
        uint16_t extraLength = Get16(rec + 30);
        uint16_t commentLength = Get16(rec + 32);
        if (r.ReadString(nameLength) != item.name_)
            throw InvalidArchive{};
        r.Skip(extraLength);
        item.comment_ = r.ReadString(commentLength);
        item.internalAttributes_ = Get16(rec + 36);
        item.externalAttributes_ = Get32(rec + 38);
        centralDirectorySize_ += ZipCentralHeaderSize + nameLength + extraLength + commentLength;
        ++index;
    }
    if (index != members_.size() || signature != EndRecordSignature)
        throw InvalidArchive{};

    uint8_t end[ZipEndRecordSize];
    r.Read(end, ZipEndRecordSize);
    if (Get16(end + 4) != 0 || Get16(end + 6) != 0 || Get16(end + 8) != members_.size() ||
        Get16(end + 10) != members_.size() ||
        Get32(end + 12) != static_cast<uint64_t>(centralDirectorySize_))
        throw InvalidArchive{};
    comment_ = r.ReadString(Get16(end + 20));
    if (r.Position() < r.Size())
        throw InvalidArchive{};
}

// ---------------------------------------------------------------- ExtractZipFile

void ExtractZipFile(const std::string& archiveFileName, std::vector<std::string>& fileList,
                    const std::string& destDir, const TPkwareZipProgressEvent& onProgress) {
    fileList.clear();
    TPkwareZip zip;
    zip.OnProgress = onProgress;
    zip.SetFileName(archiveFileName);
    TPkwareZipExtractInfo info;
    // Members of one folder usually follow one another: its existence is checked
    // once, not for every file.
    std::string lastFolder;
    try {
        int32_t count = zip.Count();
        for (int32_t i = 0; i < count; ++i) {
            TPkwareZipItem& item = zip.Items()[i];
            const std::string& name = item.Name();
            info.DestDir = destDir;
            // A drive or network name would land outside DestDir, where the list
            // below (and so the rollback and the caller's clean-up) never finds it.
            if (HasDrivePart(name) || NameLeavesFolder(name))
                throw EPkwareZipError(
                    Format("Cannot extract '%s': its name leads outside the destination folder",
                           name.c_str()));
            if (IsDirectoryName(name)) {
                std::string dir =
                    IncludeTrailingDelimiter(destDir + name.substr(0, name.size() - 1), true);
                std::replace(dir.begin(), dir.end(), '/', '\\');
                CheckForceDirectories(dir);
                continue;
            }
            std::string path = destDir + name;
            std::string folder = ExtractFilePath(path, true);
            if (folder != lastFolder || folder.empty()) {
                CheckForceDirectories(folder);
                lastFolder = folder;
            }
            int32_t attributes = FileGetAttr(path);
            if (attributes != -1 && (attributes & faReadOnly))
                FileSetAttr(path, attributes & ~faReadOnly);
            // The old file stays until its successor is complete (Extract replaces
            // it in one step), so a failing member leaves it as it was.
            if (item.UncompressedSize() == 0)
                TFile(path, fmCreate).Close();
            else
                item.Extract(&info);
            fileList.push_back(path);
        }
    } catch (...) {
        // Members may have been extracted read-only; the rollback must still
        // remove them.
        for (const std::string& f : fileList) {
            int32_t attributes = FileGetAttr(f);
            if (attributes != -1 && (attributes & faReadOnly))
                FileSetAttr(f, attributes & ~faReadOnly);
            DeleteFile(f);
        }
        throw;
    }
}

} // namespace oru
