// Reading and writing the journal: a magic, then records of
// u32 size | body | u32 CRC-32 of body, each body one kind byte, three strings
// (u32 length and bytes) and a 32-byte digest, all little-endian.
#include "engine/PatchJournal.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace oru::patch {

namespace {

constexpr char kMagic[8] = {'O', 'R', 'U', 'J', 'R', 'N', 'L', '1'};
constexpr char kHeaderKind = 'H';
// Paths are far shorter; the bound keeps a damaged size from asking for gigabytes.
constexpr uint32_t kMaxString = 32 * 1024;
constexpr uint32_t kMaxBody = 1 + 3 * (4 + kMaxString) + 32;

void PutU32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

uint32_t GetU32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

uint32_t Crc(const std::string& body) {
    return static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size())));
}

std::string Encode(char kind, const std::string& a, const std::string& b, const std::string& c,
                   const TSha256Digest& hash) {
    std::string body(1, kind);
    for (const std::string* s : {&a, &b, &c}) {
        if (s->size() > kMaxString)
            throw EJournalError("A path is too long for the journal: " + s->substr(0, 200));
        PutU32(body, static_cast<uint32_t>(s->size()));
        body += *s;
    }
    body.append(reinterpret_cast<const char*>(hash.data()), hash.size());
    std::string record;
    PutU32(record, static_cast<uint32_t>(body.size()));
    record += body;
    PutU32(record, Crc(body));
    return record;
}

bool KnownKind(char kind) {
    switch (static_cast<TJournalKind>(kind)) {
    case TJournalKind::Folder:
    case TJournalKind::Temporary:
    case TJournalKind::Replace:
    case TJournalKind::Add:
    case TJournalKind::Delete:
    case TJournalKind::Commit:
    case TJournalKind::Queued:
    case TJournalKind::Registered:
    case TJournalKind::Undo:
        return true;
    }
    return false;
}

std::vector<uint8_t> ReadAll(TStream& in) {
    std::vector<uint8_t> data;
    uint8_t buffer[64 * 1024];
    for (;;) {
        int32_t n = in.Read(buffer, sizeof buffer);
        if (n <= 0)
            break;
        data.insert(data.end(), buffer, buffer + n);
        if (data.size() > (64u << 20))
            throw EJournalError("it is far larger than any journal");
    }
    return data;
}

// One record's body, split; false when it does not parse.
bool Split(const uint8_t* p, uint32_t size, char& kind, std::string (&s)[3], TSha256Digest& hash) {
    if (size < 1 + 3 * 4 + 32)
        return false;
    kind = static_cast<char>(p[0]);
    uint32_t at = 1;
    for (std::string& field : s) {
        if (size - at < 4)
            return false;
        uint32_t length = GetU32(p + at);
        at += 4;
        if (length > kMaxString || size - at < length)
            return false;
        field.assign(reinterpret_cast<const char*>(p + at), length);
        at += length;
    }
    if (size - at != 32)
        return false;
    std::memcpy(hash.data(), p + at, 32);
    return true;
}

// Whether a whole record of a known kind, with its checksum right, starts anywhere
// after from: then the bytes at from are damage, not the tail of a cut-short write.
bool RecordFollows(const std::vector<uint8_t>& data, size_t from) {
    for (size_t at = from + 1; at + 8 <= data.size(); ++at) {
        uint32_t size = GetU32(data.data() + at);
        if (size < 1 + 3 * 4 + 32 || size > kMaxBody || data.size() - at - 8 < size)
            continue;
        if (!KnownKind(static_cast<char>(data[at + 4])))
            continue;
        std::string body(reinterpret_cast<const char*>(data.data() + at + 4), size);
        if (GetU32(data.data() + at + 4 + size) == Crc(body))
            return true;
    }
    return false;
}

} // namespace

bool TJournal::Has(TJournalKind kind) const {
    return std::any_of(Records.begin(), Records.end(),
                       [kind](const TJournalRecord& r) { return r.Kind == kind; });
}

bool TJournal::Finishes() const {
    return !Has(TJournalKind::Undo) && (Has(TJournalKind::Commit) || Has(TJournalKind::Queued));
}

TJournal ReadJournal(TStream& in) {
    std::vector<uint8_t> data = ReadAll(in);
    TJournal journal;
    // Cut short while its start was being written: the run had changed nothing yet.
    if (data.size() < sizeof kMagic && (data.empty() || std::memcmp(data.data(), kMagic, data.size()) == 0)) {
        journal.TornTail = true;
        return journal;
    }
    if (data.size() < sizeof kMagic || std::memcmp(data.data(), kMagic, sizeof kMagic) != 0)
        throw EJournalError("it is not a journal of this engine");
    size_t at = sizeof kMagic;
    bool header = false;
    while (at < data.size()) {
        const size_t left = data.size() - at;
        uint32_t size = left >= 4 ? GetU32(data.data() + at) : 0;
        const bool complete = left >= 4 && size <= kMaxBody && left - 4 >= size && left - 4 - size >= 4;
        char kind = 0;
        std::string s[3];
        TSha256Digest hash{};
        bool good = complete &&
                    GetU32(data.data() + at + 4 + size) ==
                        Crc(std::string(reinterpret_cast<const char*>(data.data() + at + 4), size)) &&
                    Split(data.data() + at + 4, size, kind, s, hash) &&
                    (header ? KnownKind(kind) : kind == kHeaderKind);
        const size_t next = complete ? at + 4 + size + 4 : data.size();
        if (!good) {
            // Only the record being written when the run stopped may be cut or garbled.
            if (next < data.size() || RecordFollows(data, at))
                throw EJournalError("its record at byte " + std::to_string(at) + " is damaged");
            journal.TornTail = true;
            break;
        }
        if (!header) {
            header = true;
            journal.Folder = s[0];
            journal.PatchFile = s[1];
        } else {
            journal.Records.push_back({static_cast<TJournalKind>(kind), s[0], s[1], s[2], hash});
        }
        at = next;
    }
    // Only the magic: cut short before the header, when nothing had changed yet.
    if (!header)
        journal.TornTail = true;
    return journal;
}

TJournalWriter::TJournalWriter(TPatchFiles& files, const std::string& path,
                               const std::string& folder, const std::string& patchFile)
    : files_(files), path_(path), folder_(path.substr(0, path.find_last_of("\\/") + 1)) {
    std::string start(kMagic, sizeof kMagic);
    start += Encode(kHeaderKind, folder, patchFile, {}, {});
    stream_ = files_.CreateNew(path_);
    try {
        stream_->WriteBuffer(start.data(), static_cast<int32_t>(start.size()));
    } catch (...) {
        stream_.reset();
        try {
            files_.Remove(path_);
        } catch (...) {
            // Left behind, it is read as a journal cut short at its start.
        }
        throw;
    }
}

void TJournalWriter::Append(const TJournalRecord& r) {
    std::string record = Encode(static_cast<char>(r.Kind), r.Target, r.Temporary, r.Backup, r.Hash);
    stream_->WriteBuffer(record.data(), static_cast<int32_t>(record.size()));
}

void TJournalWriter::Flush() {
    stream_->Flush();
    // The journal's own name must survive a power cut too, once.
    if (!folderFlushed_) {
        files_.FlushFolder(folder_);
        folderFlushed_ = true;
    }
}

void TJournalWriter::Discard() {
    stream_.reset();
    files_.Remove(path_);
}

} // namespace oru::patch
