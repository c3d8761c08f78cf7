#include <windows.h>
#include <commdlg.h>

#include "ui/OpenDialog.h"

#include "ui/ModalHook.h"

#include "platform/SysUtils.h"

#include <vector>

namespace oru {

std::string NativeFilter(const std::string& filter)
{
    if (filter.empty())
        return {};
    std::string native;
    size_t parts = 1;
    for (char c : filter) {
        if (c == '|') {
            native.push_back('\0');
            ++parts;
        } else {
            native.push_back(c);
        }
    }
    if (parts % 2 != 0)
        throw Exception("The file filter \"" + filter + "\" is not a list of description|pattern pairs");
    native.push_back('\0');
    native.push_back('\0');
    return native;
}

bool TOpenDialog::Execute()
{
    std::string filter = NativeFilter(Filter);
    if (TModalHook* hook = ModalHook())
        return hook->OpenDialog(*this);

    std::vector<char> file(32768, '\0');
    FileName.copy(file.data(), file.size() - 1);
    OPENFILENAMEA ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = GetActiveWindow();
    ofn.lpstrFilter = filter.empty() ? nullptr : filter.c_str();
    ofn.nFilterIndex = static_cast<DWORD>(FilterIndex);
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = static_cast<DWORD>(file.size());
    ofn.lpstrInitialDir = InitialDir.empty() ? nullptr : InitialDir.c_str();
    ofn.lpstrTitle = Title.empty() ? nullptr : Title.c_str();
    ofn.lpstrDefExt = DefaultExt.empty() ? nullptr : DefaultExt.c_str();
    ofn.Flags = OFN_EXPLORER | OFN_ENABLESIZING;
    if (Options & ofHideReadOnly)
        ofn.Flags |= OFN_HIDEREADONLY;
    if (Options & ofNoChangeDir)
        ofn.Flags |= OFN_NOCHANGEDIR;
    if (Options & ofPathMustExist)
        ofn.Flags |= OFN_PATHMUSTEXIST;
    if (Options & ofFileMustExist)
        ofn.Flags |= OFN_FILEMUSTEXIST;
    // A dialog that cannot open (a malformed initial name) counts as cancelled.
    if (!GetOpenFileNameA(&ofn))
        return false;
    FileName = file.data();
    FilterIndex = static_cast<int>(ofn.nFilterIndex);
    return true;
}

} // namespace oru
