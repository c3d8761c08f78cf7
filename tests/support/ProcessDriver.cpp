#include <windows.h>

#include "support/ProcessDriver.h"

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
    PROCESS_INFORMATION pi{};
    std::string line = commandLine; // CreateProcessA may write into the buffer
    const BOOL started = CreateProcessA(
        nullptr, line.data(), nullptr, nullptr, output != INVALID_HANDLE_VALUE,
        output != INVALID_HANDLE_VALUE ? CREATE_NO_WINDOW : 0, nullptr,
        currentDir.empty() ? nullptr : currentDir.c_str(), &si, &pi);
    const DWORD error = GetLastError();
    if (output != INVALID_HANDLE_VALUE)
        CloseHandle(output);
    if (!started)
        throw std::runtime_error("CreateProcessA failed for " + commandLine + ": " +
                                 std::to_string(error));
    CloseHandle(pi.hThread);
    process_ = pi.hProcess;
    id_ = pi.dwProcessId;
}

TProcess::~TProcess() {
    if (Running()) {
        TerminateProcess(process_, 99);
        WaitForSingleObject(process_, 5000);
    }
    CloseHandle(process_);
}

bool TProcess::WaitExit(DWORD timeoutMs, DWORD& exitCode) {
    if (WaitForSingleObject(process_, timeoutMs) != WAIT_OBJECT_0)
        return false;
    return GetExitCodeProcess(process_, &exitCode) != 0;
}

bool TProcess::Running() {
    return WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

void TProcess::Kill() {
    TerminateProcess(process_, 99);
    WaitForSingleObject(process_, 10000);
}

std::string ClassOf(HWND window) {
    char name[256] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

namespace {

std::string TextOf(HWND window) {
    const int length = GetWindowTextLengthA(window);
    std::string text(static_cast<size_t>(length) + 1, '\0');
    const int got = GetWindowTextA(window, text.data(), length + 1);
    text.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return text;
}

struct FindRequest {
    DWORD Pid;
    std::string ClassName;
    std::string Title;
    std::vector<HWND> Found;
};

BOOL CALLBACK CollectTopLevel(HWND window, LPARAM param) {
    auto& request = *reinterpret_cast<FindRequest*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != request.Pid || !IsWindowVisible(window))
        return TRUE;
    if (!request.ClassName.empty() && ClassOf(window) != request.ClassName)
        return TRUE;
    if (!request.Title.empty() && TextOf(window) != request.Title)
        return TRUE;
    request.Found.push_back(window);
    return TRUE;
}

BOOL CALLBACK CollectChildren(HWND window, LPARAM param) {
    reinterpret_cast<std::vector<HWND>*>(param)->push_back(window);
    return TRUE;
}

bool IsButton(HWND window) {
    if (_stricmp(ClassOf(window).c_str(), "Button") != 0)
        return false;
    const LONG type = GetWindowLongA(window, GWL_STYLE) & BS_TYPEMASK;
    return type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON;
}

} // namespace

std::vector<HWND> ChildWindows(HWND window) {
    std::vector<HWND> children;
    EnumChildWindows(window, CollectChildren, reinterpret_cast<LPARAM>(&children));
    return children;
}

std::vector<HWND> ProcessWindows(DWORD pid, const std::string& className,
                                 const std::string& title) {
    FindRequest request{pid, className, title, {}};
    EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&request));
    return request.Found;
}

HWND WaitForWindow(DWORD pid, DWORD timeoutMs, const std::string& className,
                   const std::string& title) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        const auto found = ProcessWindows(pid, className, title);
        if (!found.empty())
            return found.front();
        if (GetTickCount64() >= deadline)
            return nullptr;
        Sleep(50);
    }
}

TWindowInfo ReadWindow(HWND window) {
    TWindowInfo info;
    info.Handle = window;
    info.ClassName = ClassOf(window);
    info.Title = TextOf(window);
    for (HWND child : ChildWindows(window)) {
        if (IsButton(child)) {
            info.Buttons.push_back(TextOf(child));
        } else if (_stricmp(ClassOf(child).c_str(), "Static") == 0) {
            const std::string text = TextOf(child);
            if (!text.empty())
                info.Text += (info.Text.empty() ? "" : "\n") + text;
        }
    }
    return info;
}

std::string PlainCaption(const std::string& caption) {
    std::string plain;
    for (size_t i = 0; i < caption.size(); ++i) {
        if (caption[i] == '&' && i + 1 < caption.size())
            ++i;
        plain += caption[i];
    }
    return plain;
}

namespace {

HWND FindButton(HWND window, const std::string& caption) {
    for (HWND child : ChildWindows(window))
        if (IsButton(child) && _stricmp(PlainCaption(TextOf(child)).c_str(), caption.c_str()) == 0)
            return child;
    return nullptr;
}

} // namespace

HWND EnabledButton(HWND window, const std::string& caption) {
    HWND button = FindButton(window, caption);
    return button && IsWindowEnabled(button) ? button : nullptr;
}

bool WaitForButton(HWND window, const std::string& caption, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        if (EnabledButton(window, caption))
            return true;
        if (GetTickCount64() >= deadline || !IsWindow(window))
            return false;
        Sleep(50);
    }
}

bool PressButton(HWND window, const std::string& caption) {
    if (HWND child = FindButton(window, caption)) {
        // Posted, so a button that ends a modal loop never blocks this side.
        const WPARAM command = MAKEWPARAM(GetDlgCtrlID(child), BN_CLICKED);
        return PostMessageA(GetParent(child), WM_COMMAND, command,
                            reinterpret_cast<LPARAM>(child)) != 0;
    }
    return false;
}

std::vector<std::string> ReadMemoLines(HWND window) {
    for (HWND child : ChildWindows(window)) {
        if (_stricmp(ClassOf(child).c_str(), "Edit") != 0 ||
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
        for (size_t start = 0; start < text.size();) {
            size_t end = text.find("\r\n", start);
            if (end == std::string::npos)
                end = text.size();
            lines.push_back(text.substr(start, end - start));
            start = end + 2;
        }
        return lines;
    }
    return {"<no memo>"};
}

std::string WindowsPath(const std::string& path) {
    if (path.empty() || path[0] != '/')
        return path;
    std::string result = "Z:" + path;
    for (char& c : result)
        if (c == '/')
            c = '\\';
    return result;
}

} // namespace oru::test
