// Applies a patch with the real engine, either as it ships (journal, flushed new
// files, flushed folders) or with the durability taken out: the same file
// operations, but no journal is written and nothing is flushed. The difference
// between the two runs is what crash safety costs.
//
// usage: journal_cost durable|bare TARGET_DIR PATCH
#include "engine/PatchEngine.h"
#include "engine/PatchJournal.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

using namespace oru;
using namespace oru::patch;

namespace {

// A stream that forwards everything but the flush.
class TUnflushed : public TStream {
  public:
    explicit TUnflushed(std::unique_ptr<TStream> inner) : inner_(std::move(inner)) {}
    int32_t Read(void* buffer, int32_t count) override { return inner_->Read(buffer, count); }
    int32_t Write(const void* buffer, int32_t count) override { return inner_->Write(buffer, count); }
    int64_t Seek(int64_t offset, SeekOrigin origin) override { return inner_->Seek(offset, origin); }
    int64_t GetSize() override { return inner_->GetSize(); }
    void SetSize(int64_t size) override { inner_->SetSize(size); }
    void Flush() override {}

  private:
    std::unique_ptr<TStream> inner_;
};

// Swallows the journal's bytes.
class TSink : public TStream {
  public:
    int32_t Read(void*, int32_t) override { return 0; }
    int32_t Write(const void*, int32_t count) override { return count; }
    int64_t Seek(int64_t, SeekOrigin) override { return 0; }
    void Flush() override {}
};

bool IsJournal(const std::string& path) {
    const size_t n = std::strlen(kJournalName);
    return path.size() >= n && path.compare(path.size() - n, n, kJournalName) == 0;
}

class TBareFiles : public TPatchFiles {
  public:
    explicit TBareFiles(TPatchFiles& real) : real_(real) {}
    TFileState Query(const std::string& p) override { return IsJournal(p) ? TFileState{} : real_.Query(p); }
    std::unique_ptr<TStream> OpenRead(const std::string& p) override { return real_.OpenRead(p); }
    std::unique_ptr<TStream> CreateNew(const std::string& p) override {
        if (IsJournal(p))
            return std::make_unique<TSink>();
        return std::make_unique<TUnflushed>(real_.CreateNew(p));
    }
    void Rename(const std::string& f, const std::string& t) override { real_.Rename(f, t); }
    void ReplaceFile(const std::string& f, const std::string& t) override { real_.ReplaceFile(f, t); }
    void KeepCopy(const std::string& e, const std::string& c) override { real_.KeepCopy(e, c); }
    void FlushFolder(const std::string&) override {}
    void Remove(const std::string& p) override {
        if (!IsJournal(p))
            real_.Remove(p);
    }
    void MakeFolder(const std::string& p) override { real_.MakeFolder(p); }
    void RemoveFolder(const std::string& p) override { real_.RemoveFolder(p); }
    void ReplaceAtRestart(const std::string& f, const std::string& t) override { real_.ReplaceAtRestart(f, t); }
    void DeleteAtRestart(const std::string& p) override { real_.DeleteAtRestart(p); }
    std::vector<std::string> ListFiles(const std::string& f) override { return real_.ListFiles(f); }
    char Separator() const override { return real_.Separator(); }

  private:
    TPatchFiles& real_;
};

void* Reply(uint32_t id, void*) {
    static char empty[] = "";
    static char combine[] = "COMBINE";
    if (id == cbFileCount)
        return combine;
    if (id == cbGroup)
        return reinterpret_cast<void*>(kApplyGroupReply);
    if (id == cbGroupMissing || id == cbPatchMissing || id == cbPatchInvalid)
        return nullptr;
    return empty;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4 || (std::strcmp(argv[1], "durable") != 0 && std::strcmp(argv[1], "bare") != 0)) {
        std::fprintf(stderr, "usage: journal_cost durable|bare TARGET_DIR PATCH\n");
        return 2;
    }
    TBareFiles bare(SystemPatchFiles());
    TPatchFiles& files = std::strcmp(argv[1], "bare") == 0 ? static_cast<TPatchFiles&>(bare) : SystemPatchFiles();
    TPatchEngine engine(files, Reply);
    const auto start = std::chrono::steady_clock::now();
    const uint32_t result = engine.Apply(argv[2], argv[3]);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    if (result != 0) {
        std::fprintf(stderr, "apply failed: result 0x%04X\n", result);
        return 1;
    }
    std::printf("%.3f\n", took.count());
    return 0;
}
