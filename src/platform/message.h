// Telling the user something when there is no caller to return it to: a
// modal message box with an OK button on Windows, one line on standard
// error elsewhere.
#pragma once

namespace vek::platform {

void ShowMessage(const char* text) noexcept;

}  // namespace vek::platform
