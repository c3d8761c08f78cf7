// The application object: one per process, reached through Application(). Holds
// the title and help file, creates the forms it owns (the first is the main form),
// runs the message loop and reports exceptions.
#pragma once

#include <windows.h>

#include "ui/Form.h"

#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace oru {

class TApplication {
public:
    TApplication();
    ~TApplication();
    TApplication(const TApplication&) = delete;
    TApplication& operator=(const TApplication&) = delete;

    // Initially the program file's name without folder and extension.
    const std::string& Title() const { return title_; }
    void SetTitle(const std::string& title);

    // The window the task bar and Alt+Tab show under the title. Every form is owned
    // by it, so the forms keep their own captions off the task bar, and minimising
    // any form minimises the program. Created on first use.
    HWND Handle();
    // Puts the program on the task bar; a form calls it when it is shown.
    void ShowHandle();
    // Minimises the program: its forms hide until the task bar entry restores them.
    void Minimize();

    // Whether Run() shows the main form before entering the loop.
    bool ShowMainForm() const { return showMainForm_; }
    void SetShowMainForm(bool show) { showMainForm_ = show; }

    // Constructs F(args...) and keeps it until DestroyForms(). The first form
    // created this way becomes the main form once its construction has returned;
    // an exception out of the constructor propagates and no form is kept.
    template <class F, class... A>
    F* CreateForm(A&&... args)
    {
        auto form = std::make_unique<F>(std::forward<A>(args)...);
        F* raw = form.get();
        AdoptForm(std::move(form));
        return raw;
    }
    TForm* MainForm() const { return mainForm_; }

    // The message loop; returns when Terminate() was called (at once if that
    // happened before).
    void Run();
    void Terminate();
    bool Terminated() const { return terminated_; }
    // Handles every message waiting in the thread's queue, then returns.
    void ProcessMessages();
    // One message through the forms' keyboard handling and on to its window.
    void DispatchOne(MSG& msg);

    // The full file name of the running program.
    std::string ExeName() const;

    const std::string& HelpFile() const { return helpFile_; }
    void SetHelpFile(const std::string& file) { helpFile_ = file; }
    // Opens the help topic; failures are ignored. When OnHelp is set and returns
    // true, the help system is not called.
    void HelpContext(int context);
    std::function<bool(int context)> OnHelp;

    // The application's exception handler: an error message box with the
    // exception's text; the silent abort (EAbort) shows nothing.
    void HandleException(const std::exception& e);

    // Destroys the forms created by CreateForm, the main form last.
    void DestroyForms();

private:
    void AdoptForm(std::unique_ptr<TForm> form);

    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

    std::string title_;
    HWND handle_ = nullptr;
    std::string helpFile_;
    bool showMainForm_ = true;
    bool terminated_ = false;
    TForm* mainForm_ = nullptr;
    std::vector<std::unique_ptr<TForm>> forms_;
};

TApplication& Application();

} // namespace oru
