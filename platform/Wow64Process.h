#pragma once

namespace platform {

// True when the 64-bit download links apply: a 64-bit operating system. KESTRUNE_WOW64=0|1 overrides.
bool isWow64Process();

}  // namespace platform
