#include <windows.h>

#include "support/ProcessDriver.h"

#include <algorithm>
#include <stdexcept>

namespace oru::test {

TProcess::TProcess(const std::string& commandLine, const std::string& currentDir,
                   const std::string& outputFile) {
    STARTUPINFOA si{};
    si.cb = sizeof si;
    HANDLE output = INVALID_HANDLE_VALUE;
    if (!outputFile.empty()) {
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        output = CreateFileA(outputFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (output == INVALID_HANDLE_VALUE)
            throw std::runtime_error("cannot create " + outputFile);
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdOutput = si.hStdError = output;
    }
    const bool redirected = output != INVALID_HANDLE_VALUE;
    PROCESS_INFORMATION pi{};
    std::string line = commandLine; // CreateProcessA may write into the buffer
    const BOOL started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, redirected,
                                        redirected ? CREATE_NO_WINDOW : 0, nullptr,
                                        currentDir.empty() ? nullptr : currentDir.c_str(), &si, &pi);
    const DWORD error = GetLastError();
    if (redirected)
        CloseHandle(output);
    if (!started)
        throw std::runtime_error("CreateProcessA failed for " + commandLine + ": " + std::to_string(error));
    CloseHandle(pi.hThread);
    process_ = pi.hProcess;
    id_ = pi.dwProcessId;
}

TProcess::~TProcess() {
    if (Running())
        Kill();
    CloseHandle(process_);
}

bool TProcess::WaitExit(DWORD timeoutMs, DWORD& exitCode) {
    return WaitForSingleObject(process_, timeoutMs) == WAIT_OBJECT_0 && GetExitCodeProcess(process_, &exitCode);
}

bool TProcess::Running() { return WaitForSingleObject(process_, 0) == WAIT_TIMEOUT; }

void TProcess::Kill() {
    TerminateProcess(process_, 99);
    WaitForSingleObject(process_, 10000);
}

namespace {

std::string ClassOf(HWND window) {
    char name[256] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

std::string TextOf(HWND window) {
    std::string text(static_cast<size_t>(GetWindowTextLengthA(window)) + 1, '\0');
    text.resize(static_cast<size_t>(std::max(0, GetWindowTextA(window, text.data(), static_cast<int>(text.size())))));
    return text;
}

struct FindRequest {
    DWORD Pid;
    std::string ClassName;
    std::vector<HWND> Found;
};

BOOL CALLBACK CollectTopLevel(HWND window, LPARAM param) {
    auto& request = *reinterpret_cast<FindRequest*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == request.Pid && IsWindowVisible(window) &&
        (request.ClassName.empty() || ClassOf(window) == request.ClassName))
        request.Found.push_back(window);
    return TRUE;
}

BOOL CALLBACK CollectChildren(HWND window, LPARAM param) {
    reinterpret_cast<std::vector<HWND>*>(param)->push_back(window);
    return TRUE;
}

std::vector<HWND> ChildWindows(HWND window) {
    std::vector<HWND> children;
    EnumChildWindows(window, CollectChildren, reinterpret_cast<LPARAM>(&children));
    return children;
}

bool IsClass(HWND window, const char* name) { return _stricmp(ClassOf(window).c_str(), name) == 0; }

bool IsButton(HWND window) {
    const LONG type = GetWindowLongA(window, GWL_STYLE) & BS_TYPEMASK;
    return IsClass(window, "Button") && (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON);
}

HWND FindButton(HWND window, const std::string& caption) {
    for (HWND child : ChildWindows(window))
        if (IsButton(child) && _stricmp(PlainCaption(TextOf(child)).c_str(), caption.c_str()) == 0)
            return child;
    return nullptr;
}

} // namespace

std::vector<HWND> ProcessWindows(DWORD pid, const std::string& className) {
    FindRequest request{pid, className, {}};
    EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&request));
    return request.Found;
}

TWindowInfo ReadWindow(HWND window) {
    TWindowInfo info{TextOf(window), "", {}};
    for (HWND child : ChildWindows(window)) {
        const std::string text = TextOf(child);
        if (IsButton(child))
            info.Buttons.push_back(text);
        else if (IsClass(child, "Static") && !text.empty())
            info.Text += (info.Text.empty() ? "" : "\n") + text;
    }
    return info;
}

std::string PlainCaption(const std::string& caption) {
    std::string plain;
    for (size_t i = 0; i < caption.size(); ++i)
        plain += caption[i] == '&' && i + 1 < caption.size() ? caption[++i] : caption[i];
    return plain;
}

HWND EnabledButton(HWND window, const std::string& caption) {
    HWND button = FindButton(window, caption);
    return button && IsWindowEnabled(button) ? button : nullptr;
}

bool PressButton(HWND window, const std::string& caption) {
    HWND child = FindButton(window, caption);
    // Posted, so a button that ends a modal loop never blocks this side.
    return child && PostMessageA(GetParent(child), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(child), BN_CLICKED),
                                 reinterpret_cast<LPARAM>(child));
}

std::vector<std::string> ReadMemoLines(HWND window) {
    for (HWND child : ChildWindows(window)) {
        if (!IsClass(child, "Edit") || !(GetWindowLongA(child, GWL_STYLE) & ES_MULTILINE))
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
        for (size_t start = 0, end = 0; start < text.size(); start = end + 2) {
            end = std::min(text.find("\r\n", start), text.size());
            lines.push_back(text.substr(start, end - start));
        }
        return lines;
    }
    return {"<no memo>"};
}

std::string WindowsPath(const std::string& path) {
    if (path.empty() || path[0] != '/')
        return path;
    std::string result = "Z:" + path;
    std::replace(result.begin(), result.end(), '/', '\\');
    return result;
}

} // namespace oru::test
