#include <windows.h>

#include "update/RTPatch.h"

#include "platform/FileUtilsX.h"
#include "platform/SysUtils.h"
#include "ui/Application.h"

#include <exception>
#include <utility>

namespace oru {

HWND RTPatchWindow = nullptr;

namespace {

constexpr char kDefaultLibrary[] = "patchw32.dll";
constexpr char kEmptyReply[] = "";
constexpr char kCallbackPrefix[] = "RTPatch callback message ID: ";

LRESULT SendWithSendMessage(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    return SendMessageA(window, msg, wParam, lParam);
}

TRTPatchSender Sender = SendWithSendMessage;

// An exception caught inside the callback. It must not unwind through the engine's
// own frames, so the callback answers "abort" and Apply raises it once the engine
// has returned.
std::exception_ptr PendingCallbackError;

void* ForwardToWindow(UINT Id, void* Parm) {
    LRESULT reply = Sender(RTPatchWindow, WM_USER, static_cast<WPARAM>(Id & 0xFFFF),
                           reinterpret_cast<LPARAM>(Parm));
    if (reply == RTPatchAbortReply)
        return nullptr;
    switch (Id) {
    case 6:
    case 19:
    case 20:
        return reinterpret_cast<void*>(reply);
    default:
        return const_cast<char*>(kEmptyReply);
    }
}

} // namespace

TRTPatchSender SetRTPatchSender(TRTPatchSender sender) {
    TRTPatchSender previous = Sender;
    Sender = sender ? sender : SendWithSendMessage;
    return previous;
}

void* CALLBACK RTPatchCallback(UINT Id, void* Parm) {
    if (Id == 0 || Id == 27 || Id > 28)
        return nullptr;
    // Only the first error of a run is kept; after it every reply is "abort".
    if (PendingCallbackError)
        return nullptr;
    std::string prefix = kCallbackPrefix + std::to_string(Id) + "\r";
    try {
        return ForwardToWindow(Id, Parm);
    } catch (Exception& e) {
        e.SetMessage(prefix + e.Message());
        PendingCallbackError = std::current_exception();
    } catch (const std::exception& e) {
        PendingCallbackError = std::make_exception_ptr(Exception(prefix + e.what()));
    } catch (...) {
        PendingCallbackError = std::make_exception_ptr(Exception(prefix + "Unknown error"));
    }
    return nullptr;
}

TRTPatch::TRTPatch(HWND Window, const std::string& DllName, const std::string& CommandLine) {
    std::string name = DllName.empty() ? kDefaultLibrary : DllName;
    libHandle_.Reset(LoadLibraryA(name.c_str()));
    if (!libHandle_)
        ReportAndAbort("Cannot load the patch engine library '" + name + "'", GetLastError());
    applyProc_ = reinterpret_cast<TRTPatchApplyProc>(
        reinterpret_cast<void*>(GetProcAddress(libHandle_.Get(), MAKEINTRESOURCEA(1))));
    if (!applyProc_)
        ReportAndAbort("The patch engine library '" + name + "' has no entry point 1",
                       GetLastError());
    RTPatchWindow = Window;
    // An engine failure leaves the constructor; the library handle's owner unloads it.
    SetCommandLine(CommandLine);
}

TRTPatch::~TRTPatch() { applyProc_ = nullptr; }

void TRTPatch::ReportAndAbort(const std::string& context, DWORD code) {
    Application().HandleException(
        EOSError(AppendSystemError(context, static_cast<int32_t>(code)), code));
    throw EAbort();
}

void TRTPatch::SetCommandLine(const std::string& commandLine) {
    commandLine_ = Trim(commandLine);
    if (!commandLine_.empty())
        Apply();
}

void TRTPatch::Apply() {
    SetCurrentDirectoryA("C:\\");
    PendingCallbackError = nullptr;
    UINT result = applyProc_(commandLine_.c_str(), RTPatchCallback, TRUE);
    if (PendingCallbackError)
        std::rethrow_exception(std::exchange(PendingCallbackError, nullptr));
    uint16_t code = static_cast<uint16_t>(result & 0xFFFF);
    switch (code) {
    case 0:
        return;
    case RTPatchResultAborted:
        throw ERTPatchAborted("Patch was aborted.");
    case RTPatchResultInvalidFormat:
        throw ERTExtractingDLL("Patch has invalid format.");
    default:
        throw ERTPatch(Format("Fatal .RTPatch error : %u", static_cast<unsigned>(code)));
    }
}

} // namespace oru
