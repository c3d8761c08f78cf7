// Temporary stand-ins for the run steps that live in their own files
// (ExtractArchive.cpp, ApplyPatch.cpp, PatchCallbacks.cpp). Delete this file when
// those land.
#include <windows.h>

#include "update/Update.h"

#include "platform/SysUtils.h"

namespace oru {

void TfrmUpdate::ExtractArchive() { throw Exception("not built yet"); }

void TfrmUpdate::ApplyPatch() { throw Exception("not built yet"); }

void TfrmUpdate::WMRTPatch(TMessage&) { throw Exception("not built yet"); }

void TfrmUpdate::AddHistoryText(const char*) { throw Exception("not built yet"); }

} // namespace oru
