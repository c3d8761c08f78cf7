// Reader for PKWARE ZIP archives: stored and deflated members, optionally with the
// traditional encryption. The archive is scanned strictly from its first byte to
// its last (local headers, central directory, end record ending exactly at the end
// of the file); anything else the format allows (data descriptors, multi-disk, the
// ZIP64 end records, leading data, strong encryption, other methods) is refused.
// Nothing here writes or modifies an archive.
#pragma once

#include "platform/Files.h"
#include "platform/Streams.h"
#include "platform/SysUtils.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace oru {

class EPkwareZipError : public Exception {
  public:
    using Exception::Exception;
};

// Extraction options (bits of one byte).
using TPkwareZipExtractOptions = uint8_t;
constexpr TPkwareZipExtractOptions eoCreateNew = 1;      // the target must not exist yet
constexpr TPkwareZipExtractOptions eoKeepFileTime = 2;   // do not stamp the member's time
constexpr TPkwareZipExtractOptions eoKeepAttributes = 4; // do not apply the member's attributes
constexpr TPkwareZipExtractOptions eoOpenStream = 8;     // return a read stream, write nothing

struct TPkwareZipExtractInfo {
    std::string DestDir;
    std::string FileName; // full target path; derived from DestDir and the name when empty
    TPkwareZipExtractOptions Options = 0;
    std::string Password; // the archive's Password when empty
};

class TPkwareZip;
using TPkwareZipNotifyEvent = std::function<void(TPkwareZip& sender)>;
using TPkwareZipProgressEvent =
    std::function<void(TPkwareZip& sender, int64_t position, int64_t total)>;

constexpr int32_t ZipLocalHeaderSize = 30;
constexpr int32_t ZipCentralHeaderSize = 46;
constexpr int32_t ZipEndRecordSize = 22;

class TPkwareZipItem {
  public:
    using LocalHeaderBytes = std::array<uint8_t, ZipLocalHeaderSize>;

    // Extracts to the file that info describes (a null record counts as all-empty);
    // with eoOpenStream returns a read stream over the member's data instead, which
    // keeps the archive file open until it is freed. An existing target is replaced
    // only by a complete, CRC-checked new file.
    std::unique_ptr<TStream> Extract(const TPkwareZipExtractInfo* info);
    // With a stream, the data go there and no file is created, stamped or deleted.
    std::unique_ptr<TStream> Extract(TStream* stream, const TPkwareZipExtractInfo* info);

    int64_t CentralHeaderPosition() const { return centralHeaderPosition_; }
    const std::string& Comment() const { return comment_; }
    int64_t CompressedSize() const { return compressedSize_; }
    uint32_t ExternalAttributes() const { return externalAttributes_; }
    // The local extra field; when it begins with a ZIP64 block, only what follows it.
    const std::string& Extra() const { return extra_; }
    const std::string& Name() const { return name_; }
    const LocalHeaderBytes& LocalHeader() const { return localHeader_; }
    uint16_t InternalAttributes() const { return internalAttributes_; }
    bool HasZip64() const { return hasZip64_; }
    int64_t LocalHeaderPosition() const { return localHeaderPosition_; }
    int64_t UncompressedSize() const { return uncompressedSize_; }
    TPkwareZip& Archive() const { return zip_; }

    // Fields of the local header.
    uint16_t Flags() const;
    uint16_t Method() const;
    uint32_t DosDateTime() const; // date in the high 16 bits, time in the low 16
    uint32_t Crc32() const;
    bool Encrypted() const { return (Flags() & 1) != 0; }

  private:
    friend class TPkwareZip;
    explicit TPkwareZipItem(TPkwareZip& zip) : zip_(zip) {}
    std::unique_ptr<TStream> ExtractToFile(const TPkwareZipExtractInfo& info);
    std::string TargetFileName(const TPkwareZipExtractInfo& info) const;
    uint16_t LocalNameLength() const;
    uint16_t LocalExtraLength() const;

    TPkwareZip& zip_;
    int64_t centralHeaderPosition_ = 0;
    std::string comment_;
    int64_t compressedSize_ = 0;
    uint32_t externalAttributes_ = 0;
    std::string extra_;
    std::string name_;
    LocalHeaderBytes localHeader_{};
    uint16_t internalAttributes_ = 0;
    bool hasZip64_ = false;
    int64_t localHeaderPosition_ = 0;
    int64_t uncompressedSize_ = 0;
};

// The indexed view of an archive's members.
class TPkwareZipItems {
  public:
    explicit TPkwareZipItems(TPkwareZip& zip) : zip_(zip) {}
    int32_t Count() const;
    TPkwareZipItem& operator[](int32_t index) const; // raises on an index out of range

  private:
    TPkwareZip& zip_;
};

class TPkwareZip {
  public:
    TPkwareZip();
    ~TPkwareZip();
    TPkwareZip(const TPkwareZip&) = delete;
    TPkwareZip& operator=(const TPkwareZip&) = delete;

    const std::string& FileName() const { return fileName_; }
    // A different name closes the archive first.
    void SetFileName(const std::string& fileName);

    bool Active() const { return active_; }
    // Opening reads the directory; when that fails the archive stays closed and
    // the exception goes on. Closing frees only the file: the members of the last
    // open stay listed, unusable, until the next open.
    void SetActive(bool value);
    void Open() { SetActive(true); }
    void Close() { SetActive(false); }
    // Opens an archive held by a stream instead of the file FileName names (which
    // still names it in messages); the archive shares the stream until it closes.
    void OpenStream(std::shared_ptr<TStream> stream);

    // Both open the archive when it is not active.
    TPkwareZipItems& Items();
    int32_t Count() { return Items().Count(); }

    const std::string& Comment() const { return comment_; }

    TPkwareZipNotifyEvent OnOpen;
    TPkwareZipProgressEvent OnProgress;
    std::string Password;  // default for encrypted members
    uint16_t OpenMode = 0; // TFile mode of the archive: read-only, no sharing

  private:
    friend class TPkwareZipItem;
    friend class TPkwareZipItems;

    void ReadDirectory();
    void ReadRecords();
    [[noreturn]] void RaiseInvalid() const;
    // The open archive stream; raises when the archive is not active.
    std::shared_ptr<TStream> Stream() const;
    void Activate(std::shared_ptr<TStream> stream);
    void DispatchProgress(int64_t bytesDone);

    bool active_ = false;
    int64_t centralDirectorySize_ = 0;
    std::string comment_;
    std::shared_ptr<TStream> stream_;
    std::string fileName_;
    std::vector<std::unique_ptr<TPkwareZipItem>> members_;
    TPkwareZipItems items_;
    int64_t progressBase_ = 0;
    int64_t progressTotal_ = 0;
    std::vector<uint8_t> writeBuffer_; // gathers a member's output for its file
};

// Extracts every member below destDir, which must end with a path separator
// (member names are appended to it as they are). fileList is cleared first and
// receives the full path of every file written, in archive order. On failure every
// file written so far is deleted and the exception goes on.
void ExtractZipFile(const std::string& archiveFileName, std::vector<std::string>& fileList,
                    const std::string& destDir,
                    const TPkwareZipProgressEvent& onProgress = nullptr);

// A drive letter and colon, or a UNC prefix (two backslashes, server, share).
bool HasDrivePart(const std::string& name);
// True when a ".." component of the name climbs above the folder it is put in.
bool NameLeavesFolder(const std::string& name);

} // namespace oru
