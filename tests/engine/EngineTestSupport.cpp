#include "EngineTestSupport.h"

#include "platform/Streams.h"

#include <algorithm>
#include <random>

namespace oru::test {

using namespace oru::patch;
using namespace oru::vcdiff;

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
    return std::any_of(Calls.begin(), Calls.end(), [&](const TCall& c) {
        return c.Id == id && c.Text.find(fragment) != std::string::npos;
    });
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

// ---- VCDIFF ----

Bytes EncodeBytes(const Bytes& source, const Bytes& target, const EncodeOptions& options) {
    TMemoryStream s(source), t(target), d;
    Encode(s, t, d, options);
    return d.Data();
}

Bytes DecodeBytes(const Bytes& source, const Bytes& delta, const DecodeOptions& options) {
    TMemoryStream s(source), d(delta), t;
    Decode(s, d, t, options);
    return t.Data();
}

Bytes WordBytes(size_t n, uint32_t seed) {
    static const std::string words[] = {
        "update ", "patch ", "window ", "source ", "target ", "copy ", "add ", "run ", "{\"id\": ",
        "42, ", "\"name\": ", "\"oru\"}, ", "\n", "address ", "cache ", "near "};
    std::mt19937 rng(seed);
    Bytes b;
    while (b.size() < n) {
        const std::string& w = words[rng() % std::size(words)];
        b.insert(b.end(), w.begin(), w.end());
    }
    b.resize(n);
    return b;
}

Bytes Varint(uint64_t v) {
    Bytes out{static_cast<uint8_t>(v & 0x7F)};
    while (v >>= 7)
        out.insert(out.begin(), static_cast<uint8_t>(0x80 | (v & 0x7F)));
    return out;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes BuildDelta(const std::vector<WindowLayout>& windows, uint8_t headerIndicator) {
    Bytes out = {0xD6, 0xC3, 0xC4, 0x00, headerIndicator};
    for (const WindowLayout& w : windows) {
        out.push_back(w.indicator);
        if (w.indicator & 3)
            out = Concat({out, Varint(w.segLen), Varint(w.segPos)});
        Bytes body = Concat({Varint(w.targetLen), Bytes{w.deltaIndicator}, Varint(w.data.size()),
                             Varint(w.inst.size()), Varint(w.addr.size())});
        if (w.indicator & 4)
            for (int shift : {24, 16, 8, 0})
                body.push_back(static_cast<uint8_t>(w.adler >> shift));
        body = Concat({body, w.data, w.inst, w.addr});
        out = Concat({out, Varint(w.deltaLength.value_or(body.size())), body});
    }
    return out;
}

} // namespace oru::test
