#pragma once

namespace platform {

// True on a 64-bit operating system, where the program takes the 64-bit download links.
// KESTRUNE_WOW64=0 or 1 overrides the answer.
bool isWow64();

}  // namespace platform
