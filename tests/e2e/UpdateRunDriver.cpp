#include <windows.h>

#include "UpdateRunDriver.h"

#include <algorithm>
#include <set>
#include <stdexcept>

namespace oru::test {

std::string UpdateProgram() { return WindowsPath(ORU_E2E_UPDATE_EXE); }
std::string EngineLibrary() { return WindowsPath(ORU_E2E_ENGINE_DLL); }

TUpdateLayout::TUpdateLayout(const std::string& tag)
    : root_(tag), updateDir_(root_.MakeFolder("Update")),
      installDir_(root_.MakeFolder("Apps\\Parcelon")), sourceDir_(root_.MakeFolder("Source")) {
    if (!CopyFileA(UpdateProgram().c_str(), (updateDir_ + "ORUUpdate.exe").c_str(), FALSE))
        throw std::runtime_error("cannot copy the update program: " +
                                 std::to_string(GetLastError()));
    Install("parcelon.exe", "MZ old program");
}

std::string TUpdateLayout::Installed(const std::string& relative) const {
    return FileExists(installDir_ + relative) ? ReadWholeFile(installDir_ + relative) : "<missing>";
}

void TUpdateLayout::BuildPackage(const std::string& manifest) const {
    Source("manifest.txt", manifest);
    const std::string log = root_.File("orupack.log");
    // No trailing "\" inside the quotes: it would escape the closing quote.
    const std::string outDir = updateDir_.substr(0, updateDir_.size() - 1);
    TProcess tool("\"" + WindowsPath(ORU_E2E_ORUPACK_EXE) + "\" build manifest.txt \"" + outDir +
                      "\" --quiet",
                  sourceDir_, log);
    DWORD code = 1;
    if (!tool.WaitExit(120000, code) || code != 0)
        throw std::runtime_error("orupack build failed: " + ReadWholeFile(log));
}

std::map<std::string, std::string> TUpdateLayout::FilesOutsideUpdateDir() const {
    auto files = root_.Snapshot();
    std::erase_if(files, [](const auto& f) {
        return f.first.rfind("Update/", 0) == 0 || f.first == "orupack.log";
    });
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
        return line.rfind(" **********", 0) == 0;
    });
    return banner == History.end() ? History : std::vector<std::string>(banner + 1, History.end());
}

TRunOutcome RunUpdate(const TUpdateLayout& layout, const TRunOptions& options) {
    TRunOutcome outcome;
    TProcess process("\"" + layout.UpdateDir() + "ORUUpdate.exe\" \"" + layout.InstallDir() +
                         "\" -NV N -P 1",
                     layout.Root());
    const ULONGLONG deadline = GetTickCount64() + 60000;
    std::set<HWND> answered;
    bool donePressed = false;
    while (GetTickCount64() < deadline && process.Running()) {
        if (options.KillWhen && options.KillWhen()) {
            process.Kill();
            outcome.Killed = true;
            break;
        }
        for (HWND box : ProcessWindows(process.Id(), "#32770")) {
            if (!answered.insert(box).second)
                continue;
            TWindowInfo info = ReadWindow(box);
            // The finder's locate dialog after a run: the user has nothing to point at.
            if (std::any_of(info.Buttons.begin(), info.Buttons.end(),
                            [](const std::string& b) { return PlainCaption(b) == "Open"; })) {
                PressButton(box, "Cancel");
                continue;
            }
            outcome.Boxes.push_back(info);
            if (!PressButton(box, "OK"))
                PostMessageA(box, WM_CLOSE, 0, 0);
        }
        const auto forms = ProcessWindows(process.Id(), "OruForm");
        HWND window = forms.empty() ? nullptr : forms.front();
        outcome.WindowShown |= window != nullptr;
        if (window && options.PressCancel && !outcome.CancelPressed &&
            EnabledButton(window, "Cancel")) {
            outcome.CancelPressed = PressButton(window, "Cancel");
            continue; // at once: the engine may not run for long
        }
        if (window && !donePressed && EnabledButton(window, "Done")) {
            outcome.History = ReadMemoLines(window);
            donePressed = PressButton(window, "Done");
        }
        Sleep((options.PressCancel && !outcome.CancelPressed) || options.KillWhen ? 1 : 20);
    }
    outcome.Ended = process.WaitExit(5000, outcome.ExitCode);
    return outcome;
}

} // namespace oru::test
