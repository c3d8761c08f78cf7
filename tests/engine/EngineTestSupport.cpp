#include "EngineTestSupport.h"

#include <fstream>
#include <random>
#include <sstream>

namespace oru::test {

using namespace oru::patch;

TScratch::TScratch(const std::string& tag) {
    static int serial = 0;
    root_ = fs::temp_directory_path() /
            ("oru-engine-" + tag + "-" + std::to_string(std::random_device{}()) + "-" +
             std::to_string(++serial));
    fs::remove_all(root_);
    fs::create_directories(root_);
}

TScratch::~TScratch() {
    std::error_code ec;
    fs::remove_all(root_, ec);
}

std::string TScratch::Path(const std::string& relative) const {
    return relative.empty() ? root_.string()
                            : (root_ / fs::path(relative).make_preferred()).string();
}

void TScratch::Write(const std::string& relative, const std::string& content) const {
    fs::path p = root_ / fs::path(relative).make_preferred();
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary | std::ios::trunc) << content;
}

std::string TScratch::Read(const std::string& relative) const {
    std::ifstream in(root_ / fs::path(relative).make_preferred(), std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

bool TScratch::Exists(const std::string& relative) const {
    return fs::exists(root_ / fs::path(relative).make_preferred());
}

std::map<std::string, std::string> TScratch::Snapshot(const std::string& relative) const {
    std::map<std::string, std::string> out;
    fs::path base = root_ / fs::path(relative).make_preferred();
    for (const auto& e : fs::recursive_directory_iterator(base)) {
        std::string rel = fs::relative(e.path(), base).generic_string();
        if (e.is_directory())
            out[rel + "/"] = "";
        else
            out[rel] = Read((fs::path(relative) / rel).generic_string());
    }
    return out;
}

void TScratch::Copy(const std::string& from, const std::string& to) const {
    fs::copy(root_ / from, root_ / to, fs::copy_options::recursive);
}

std::string Noise(size_t size, uint32_t seed) {
    std::mt19937 rng(seed);
    std::string s(size, '\0');
    for (char& c : s)
        c = static_cast<char>(rng() & 0xFF);
    return s;
}

std::string MakePatch(const TScratch& s, const std::string& oldDir, const std::string& newDir,
                      const std::vector<std::string>& groups, bool allowDelta) {
    TBuildOptions options;
    options.AllowDelta = allowDelta;
    for (const auto& g : groups)
        options.Groups.push_back(ParseGroupDefinition(g));
    std::string out = s.Path("patch.rtp");
    BuildPatch(SystemPatchFiles(), s.Path(oldDir), s.Path(newDir), out, options);
    return out;
}

void* TRecorder::operator()(uint32_t id, void* parm) {
    static char empty[] = "";
    static char combine[] = "COMBINE";
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
        return MissingFolderAnswer.empty() ? nullptr
                                           : const_cast<char*>(MissingFolderAnswer.c_str());
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
    size_t n = 0;
    for (const auto& c : Calls)
        n += c.Id == id;
    return n;
}

bool TRecorder::HasText(uint32_t id, const std::string& fragment) const {
    for (const auto& c : Calls)
        if (c.Id == id && c.Text.find(fragment) != std::string::npos)
            return true;
    return false;
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

namespace {
// Counts every write as a changing operation, so a full disk mid-file is covered too.
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

void TFaultyFiles::Rename(const std::string& from, const std::string& to) {
    if (InUse.count(from))
        throw EPatchFileError("Injected sharing violation: " + from, true);
    Step("rename " + from);
    real_.Rename(from, to);
}

void TFaultyFiles::ReplaceFile(const std::string& from, const std::string& to) {
    if (InUse.count(to))
        throw EPatchFileError("Injected sharing violation: " + to, true);
    Step("replace " + to);
    real_.ReplaceFile(from, to);
}

void TFaultyFiles::KeepCopy(const std::string& existing, const std::string& copy) {
    Step("keep a copy of " + existing);
    real_.KeepCopy(existing, copy);
}

void TFaultyFiles::Remove(const std::string& path) {
    Step("remove " + path);
    real_.Remove(path);
}

void TFaultyFiles::MakeFolder(const std::string& path) {
    Step("make folder " + path);
    real_.MakeFolder(path);
}

void TFaultyFiles::RemoveFolder(const std::string& path) {
    Step("remove folder " + path);
    real_.RemoveFolder(path);
}

void TFaultyFiles::ReplaceAtRestart(const std::string& from, const std::string& to) {
    if (FailRestart)
        throw EPatchFileError("Injected: no restart queue");
    ReplacedAtRestart.emplace_back(from, to);
}

void TFaultyFiles::DeleteAtRestart(const std::string& path) {
    if (FailRestart)
        throw EPatchFileError("Injected: no restart queue");
    DeletedAtRestart.push_back(path);
}

} // namespace oru::test
