// Results of modal forms and message dialogs. The values are those of the
// standard dialog command identifiers (IDOK, IDCANCEL, ...), so a message box's
// answer is a modal result as it stands.
#pragma once

namespace oru {

using TModalResult = int;

constexpr TModalResult mrNone = 0;
constexpr TModalResult mrOk = 1;
constexpr TModalResult mrCancel = 2;
constexpr TModalResult mrAbort = 3;
constexpr TModalResult mrRetry = 4;
constexpr TModalResult mrIgnore = 5;
constexpr TModalResult mrYes = 6;
constexpr TModalResult mrNo = 7;

} // namespace oru
