#include <windows.h>

#include "UpdateRunDriver.h"

#include <algorithm>
#include <filesystem>
#include <set>
#include <stdexcept>

namespace oru::test {

namespace fs = std::filesystem;

std::string UpdateProgram() { return WindowsPath(ORU_E2E_UPDATE_EXE); }
std::string PackageTool() { return WindowsPath(ORU_E2E_ORUPACK_EXE); }
std::string EngineLibrary() { return WindowsPath(ORU_E2E_ENGINE_DLL); }
std::string Fixture(const std::string& name) {
    return WindowsPath(std::string(ORU_E2E_FIXTURES) + "/" + name);
}

std::string ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return "<missing>";
    return std::string(std::istreambuf_iterator<char>(in), {});
}

namespace {

std::string WithDelimiter(const char* text, size_t length) {
    std::string s(text, length);
    if (!s.empty() && s.back() != '\\')
        s += '\\';
    return s;
}

} // namespace

std::string WindowsFolder() {
    char b[MAX_PATH];
    return WithDelimiter(b, GetWindowsDirectoryA(b, MAX_PATH));
}
std::string SystemFolder() {
    char b[MAX_PATH];
    return WithDelimiter(b, GetSystemDirectoryA(b, MAX_PATH));
}
std::string TempFolder() {
    char b[MAX_PATH];
    return WithDelimiter(b, GetTempPathA(MAX_PATH, b));
}

TUpdateLayout::TUpdateLayout(const std::string& tag)
    : root_(tag), updateDir_(root_.Sub("Update")), installDir_(root_.Sub("Apps\\Parcelon")),
      sourceDir_(root_.Sub("Source")) {
    if (!CopyFileA(UpdateProgram().c_str(), (updateDir_ + "ORUUpdate.exe").c_str(), FALSE))
        throw std::runtime_error("cannot copy the update program: " + std::to_string(GetLastError()));
    Install("parcelon.exe", "MZ old program");
}

void TUpdateLayout::Install(const std::string& relative, const std::string& bytes) {
    fs::path p = fs::path(installDir_) / relative;
    fs::create_directories(p.parent_path());
    WriteBytes(p.string(), bytes);
}

std::string TUpdateLayout::Installed(const std::string& relative) const {
    return ReadFileBytes(installDir_ + relative);
}

void TUpdateLayout::Source(const std::string& relative, const std::string& bytes) {
    fs::path p = fs::path(sourceDir_) / relative;
    fs::create_directories(p.parent_path());
    WriteBytes(p.string(), bytes);
}

void TUpdateLayout::PackageFile(const std::string& name, const std::string& bytes) {
    WriteBytes(updateDir_ + name, bytes);
}

void TUpdateLayout::CopyToPackage(const std::string& from, const std::string& name) {
    if (!CopyFileA(from.c_str(), (updateDir_ + name).c_str(), FALSE))
        throw std::runtime_error("cannot copy " + from);
}

void TUpdateLayout::BuildPackage(const std::string& manifest) {
    Source("manifest.txt", manifest);
    const std::string log = root_.Dir() + "orupack.log";
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    HANDLE out = CreateFileA(log.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = out;
    si.hStdError = out;
    PROCESS_INFORMATION pi{};
    // No trailing "\" inside the quotes: it would escape the closing quote.
    const std::string outDir = updateDir_.substr(0, updateDir_.size() - 1);
    std::string line = "\"" + PackageTool() + "\" build manifest.txt \"" + outDir + "\" --quiet";
    BOOL started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                                  nullptr, sourceDir_.c_str(), &si, &pi);
    CloseHandle(out);
    if (!started)
        throw std::runtime_error("cannot start the package tool");
    WaitForSingleObject(pi.hProcess, 120000);
    DWORD code = 1;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    if (code != 0)
        throw std::runtime_error("orupack build failed: " + ReadFileBytes(log));
}

std::map<std::string, std::string> TUpdateLayout::FilesOutsideUpdateDir() const {
    std::map<std::string, std::string> files;
    const fs::path update = fs::path(updateDir_).parent_path();
    for (auto it = fs::recursive_directory_iterator(root_.Path()); it != fs::recursive_directory_iterator();
         ++it) {
        if (it->path() == update) {
            it.disable_recursion_pending();
            continue;
        }
        if (it->is_regular_file())
            files[it->path().string()] = ReadFileBytes(it->path().string());
    }
    return files;
}

std::vector<std::string> TRunOutcome::BoxTexts() const {
    std::vector<std::string> texts;
    for (const TWindowInfo& b : Boxes)
        texts.push_back(b.Text);
    return texts;
}

std::vector<std::string> TRunOutcome::RunLines() const {
    auto banner = std::find_if(History.begin(), History.end(), [](const std::string& line) {
        return line.rfind(" **********", 0) == 0 || line.rfind(" **************", 0) == 0;
    });
    if (banner == History.end())
        return History;
    return std::vector<std::string>(banner + 1, History.end());
}

namespace {

std::string ClassName(HWND window) {
    char name[256] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

BOOL CALLBACK CollectChild(HWND window, LPARAM param) {
    reinterpret_cast<std::vector<HWND>*>(param)->push_back(window);
    return TRUE;
}

} // namespace

// The memo: the window's multi-line edit. Its text comes by WM_GETTEXT, which the
// program answers from its message loop.
std::vector<std::string> ReadHistory(HWND window) {
    std::vector<HWND> children;
    EnumChildWindows(window, CollectChild, reinterpret_cast<LPARAM>(&children));
    for (HWND child : children) {
        if (_stricmp(ClassName(child).c_str(), "Edit") != 0 ||
            !(GetWindowLongA(child, GWL_STYLE) & ES_MULTILINE))
            continue;
        DWORD_PTR length = 0;
        if (!SendMessageTimeoutA(child, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 10000, &length))
            return {"<no answer>"};
        std::string text(length + 1, '\0');
        DWORD_PTR got = 0;
        SendMessageTimeoutA(child, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(text.data()),
                            SMTO_ABORTIFHUNG, 10000, &got);
        text.resize(got);
        std::vector<std::string> lines;
        size_t start = 0;
        for (;;) {
            size_t end = text.find("\r\n", start);
            if (end == std::string::npos) {
                if (start < text.size())
                    lines.push_back(text.substr(start));
                break;
            }
            lines.push_back(text.substr(start, end - start));
            start = end + 2;
        }
        return lines;
    }
    return {"<no memo>"};
}

HWND EnabledButton(HWND window, const std::string& caption) {
    std::vector<HWND> children;
    EnumChildWindows(window, CollectChild, reinterpret_cast<LPARAM>(&children));
    for (HWND child : children) {
        char text[64] = {};
        GetWindowTextA(child, text, sizeof text);
        if (_stricmp(ClassName(child).c_str(), "Button") == 0 &&
            _stricmp(PlainCaption(text).c_str(), caption.c_str()) == 0)
            return IsWindowEnabled(child) ? child : nullptr;
    }
    return nullptr;
}

HWND FindUpdateWindow(DWORD pid) {
    const auto forms = ProcessWindows(pid, "OruForm");
    return forms.empty() ? nullptr : forms.front();
}

TRunOutcome RunUpdate(const TUpdateLayout& layout, const TRunOptions& options) {
    TRunOutcome outcome;
    const std::string args = options.Arguments.empty()
                                 ? "\"" + layout.InstallDir() + "\" -NV N -P 1"
                                 : options.Arguments;
    TProcess process("\"" + layout.UpdateDir() + "ORUUpdate.exe\" " + args, layout.Root());
    const ULONGLONG deadline = GetTickCount64() + options.TimeoutMs;
    std::set<HWND> answered;
    HWND window = nullptr;
    bool donePressed = false;
    while (GetTickCount64() < deadline) {
        if (!process.Running())
            break;
        if (options.KillWhen && options.KillWhen()) {
            process.Kill();
            outcome.Killed = true;
            break;
        }
        for (HWND box : ProcessWindows(process.Id(), "#32770")) {
            if (answered.count(box))
                continue;
            answered.insert(box);
            TWindowInfo info = ReadWindow(box);
            // The finder's locate dialog after a run: the user has nothing to point at.
            if (std::any_of(info.Buttons.begin(), info.Buttons.end(),
                            [](const std::string& b) { return PlainCaption(b) == "Open"; })) {
                outcome.FileDialogs.push_back(info.Title);
                PressButton(box, "Cancel");
                continue;
            }
            outcome.Boxes.push_back(info);
            if (!PressButton(box, options.BoxAnswer))
                PostMessageA(box, WM_CLOSE, 0, 0);
        }
        if (!window) {
            window = FindUpdateWindow(process.Id());
            if (window) {
                char title[256] = {};
                GetWindowTextA(window, title, sizeof title);
                outcome.WindowTitle = title;
            }
        }
        if (window && options.PressCancel && !outcome.CancelPressed) {
            if (EnabledButton(window, "Cancel")) {
                outcome.CancelPressed = PressButton(window, "Cancel");
                continue; // at once: the engine may not run for long
            }
        }
        if (window && !donePressed && EnabledButton(window, "Done")) {
            outcome.DoneOffered = true;
            outcome.History = ReadHistory(window);
            donePressed = PressButton(window, "Done");
        }
        Sleep((options.PressCancel && !outcome.CancelPressed) || options.KillWhen ? 1 : 20);
    }
    outcome.Ended = process.WaitExit(options.PressCancel ? 5000 : 5000, outcome.ExitCode);
    return outcome;
}

} // namespace oru::test
