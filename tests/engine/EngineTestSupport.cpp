#include "EngineTestSupport.h"

#include "support/Files.h"

#include <algorithm>

namespace oru::test {

using namespace oru::patch;

std::map<std::string, std::string> Tree(const TScratch& s, const std::string& relative) {
    const fs::path root = s.File(relative);
    auto tree = SnapshotTree(root);
    for (const std::string& name : ListTree(root))
        if (fs::is_directory(root / name))
            tree[name + "/"];
    return tree;
}

std::string MakePatch(const TScratch& s, const std::string& oldDir, const std::string& newDir,
                      const std::vector<std::string>& groups) {
    TBuildOptions options;
    for (const auto& g : groups)
        options.Groups.push_back(ParseGroupDefinition(g));
    BuildPatch(SystemPatchFiles(), s.File(oldDir), s.File(newDir), s.File("patch.rtp"), options);
    return s.File("patch.rtp");
}

void* TRecorder::operator()(uint32_t id, void* parm) {
    static char empty[] = "", combine[] = "COMBINE";
    TCall call{id, {}};
    if (id == cbGroup || id == cbGroupMissing) {
        auto** texts = static_cast<const char**>(parm);
        call.Text = std::string(texts[0]) + "|" + texts[1];
    } else if (id == cbProgress) {
        call.Text = std::to_string(*static_cast<uint16_t*>(parm));
    } else if (id == cbFileCount) {
        call.Text = std::to_string(*static_cast<int32_t*>(parm));
    } else if (parm &&
               ((id >= 1 && id <= 4) || (id >= 7 && id <= 11 && id != 8) || id == 13 || id == 14)) {
        call.Text = static_cast<const char*>(parm);
    }
    Calls.push_back(call);
    void* reply = nullptr;
    if (Override && Override(call, Calls.size() - 1, &reply))
        return reply;
    switch (id) {
    case cbFileCount:
        return combine;
    case cbGroup:
        return reinterpret_cast<void*>(kApplyGroupReply);
    case cbGroupMissing:
        return MissingFolderAnswer.empty() ? nullptr : MissingFolderAnswer.data();
    case cbPatchMissing:
    case cbPatchInvalid:
        return nullptr;
    default:
        return empty;
    }
}

std::vector<uint32_t> TRecorder::Ids() const {
    std::vector<uint32_t> ids;
    for (const auto& c : Calls)
        ids.push_back(c.Id);
    return ids;
}

size_t TRecorder::Count(uint32_t id) const {
    return std::count_if(Calls.begin(), Calls.end(), [&](const TCall& c) { return c.Id == id; });
}

bool TRecorder::HasText(uint32_t id, const std::string& fragment) const {
    return std::any_of(Calls.begin(), Calls.end(),
                       [&](const TCall& c) { return c.Id == id && c.Text.find(fragment) != std::string::npos; });
}

void TFaultyFiles::Step(const std::string& what) {
    ++Operations;
    if (BeforeStep)
        BeforeStep(Operations, what);
    if (!Failed && Operations == FailAt) {
        Failed = true;
        throw EPatchFileError("Injected failure: " + what);
    }
}

void TFaultyFiles::Held(const std::string& path) const {
    if (InUse.count(path))
        throw EPatchFileError("Injected sharing violation: " + path, true);
}

void TFaultyFiles::Queue() const {
    if (FailRestart)
        throw EPatchFileError("Injected: no restart queue");
}

namespace {
class TFaultyStream : public TStream {
  public:
    TFaultyStream(std::unique_ptr<TStream> inner, TFaultyFiles& owner)
        : inner_(std::move(inner)), owner_(owner) {}
    int32_t Read(void* b, int32_t n) override { return inner_->Read(b, n); }
    int32_t Write(const void* b, int32_t n) override {
        owner_.Step("write");
        return inner_->Write(b, n);
    }
    int64_t Seek(int64_t o, SeekOrigin r) override { return inner_->Seek(o, r); }
    int64_t GetSize() override { return inner_->GetSize(); }
    void SetSize(int64_t s) override { inner_->SetSize(s); }
    void Flush() override { inner_->Flush(); }

  private:
    std::unique_ptr<TStream> inner_;
    TFaultyFiles& owner_;
};
} // namespace

std::unique_ptr<TStream> TFaultyFiles::CreateNew(const std::string& path) {
    Step("create " + path);
    return std::make_unique<TFaultyStream>(real_.CreateNew(path), *this);
}

} // namespace oru::test
