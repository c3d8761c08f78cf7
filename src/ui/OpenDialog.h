// The open-file dialog. Filter entries are "description|pattern" pairs joined by
// "|"; FilterIndex counts from 1. Goes to the test hook instead when one is
// installed.
#pragma once

#include <string>

namespace oru {

using TOpenOptions = unsigned;
constexpr TOpenOptions ofHideReadOnly = 1u << 0;
constexpr TOpenOptions ofNoChangeDir = 1u << 1;
constexpr TOpenOptions ofPathMustExist = 1u << 2;
constexpr TOpenOptions ofFileMustExist = 1u << 3;

struct TOpenDialogSettings {
    std::string Title;
    std::string DefaultExt;
    std::string FileName; // the initial name; the chosen file after Execute()
    std::string Filter;
    int FilterIndex = 1;
    TOpenOptions Options = ofHideReadOnly;
    std::string InitialDir;
};

class TOpenDialog : public TOpenDialogSettings {
public:
    // True when the user chose a file (now in FileName); false when cancelled.
    // A Filter with an odd number of "|"-separated parts raises oru::Exception.
    bool Execute();
};

// Filter in the dialog's form: each part ends with a zero, the list with a
// second zero.
std::string NativeFilter(const std::string& filter);

} // namespace oru
