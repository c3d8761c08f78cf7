// The binding of the patch engine library: loads it, calls its entry point (export
// ordinal 1) with a command line and RTPatchCallback, and turns its result into the
// engine exceptions. Every callback goes to RTPatchWindow as a synchronous WM_USER
// message whose reply the window's handler sets.
#pragma once

#include <windows.h>

#include "platform/WinHandles.h"
#include "update/RTPatchErrors.h"

#include <string>

namespace oru {

// The engine's callback and entry point, both with the standard Windows calling
// convention.
using TRTPatchCallbackProc = void*(CALLBACK*)(UINT Id, void* Parm);
using TRTPatchApplyProc = UINT(WINAPI*)(LPCSTR CommandLine, TRTPatchCallbackProc Callback,
                                        BOOL WaitFlag);

// The reply (of the window) and the result code (of the engine) that mean "abort".
constexpr LRESULT RTPatchAbortReply = 0x8001;
constexpr UINT RTPatchResultAborted = 0x8001;
constexpr UINT RTPatchResultInvalidFormat = 0x8002;

// The receiver of all callback messages; one engine run at a time.
extern HWND RTPatchWindow;

void* CALLBACK RTPatchCallback(UINT Id, void* Parm);

// How the callback delivers its messages: SendMessageA unless a test puts its own
// sender in place. Returns the previous one; null restores SendMessageA.
using TRTPatchSender = LRESULT (*)(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);
TRTPatchSender SetRTPatchSender(TRTPatchSender sender);

class TRTPatch {
public:
    // Loads DllName ("patchw32.dll" by plain name when empty) and, for a command
    // line that is not empty after trimming, runs the engine before returning.
    // A library or entry point that cannot be had is reported through the
    // application's exception handler and ends in the silent abort.
    TRTPatch(HWND Window, const std::string& DllName, const std::string& CommandLine);
    ~TRTPatch();
    TRTPatch(const TRTPatch&) = delete;
    TRTPatch& operator=(const TRTPatch&) = delete;

    const std::string& CommandLine() const { return commandLine_; }
    // Trims blanks and control characters at both ends; a text left non-empty runs
    // the engine.
    void SetCommandLine(const std::string& commandLine);
    // Runs the engine once with CommandLine; the process's current folder becomes
    // "C:\" and stays so.
    void Apply();

    HMODULE LibHandle() const { return libHandle_.Get(); }
    TRTPatchApplyProc ApplyProc() const { return applyProc_; }

private:
    [[noreturn]] void ReportAndAbort(const std::string& context, DWORD code);

    TModuleHandle libHandle_;
    TRTPatchApplyProc applyProc_ = nullptr;
    std::string commandLine_;
};

} // namespace oru
