// Deciding whether files are text or binary by their first 512 bytes.
#pragma once

namespace vek {

// Stores 'T' in *typeOut, then 'B' if the first 512 bytes of `name` hold a
// byte that does not occur in text. VEK_RC_READ_FAILED (typeOut untouched) when the file
// cannot be opened.
int ProbeFileType(const char* name, char* typeOut);

}  // namespace vek
