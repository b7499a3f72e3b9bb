#pragma once
// Bayer tile codes of raw colour frames, as the camera libraries report them to their hosts.

namespace niBayerConversions {

enum BayerTileFormat {
    bayerNone = 0,
    bayerRGGB = 1,
    bayerGRBG = 2,
    bayerGBRG = 3,
    bayerBGGR = 4,
    bayerCYYM = 5,
    bayerYCMY = 6,
    bayerYMCY = 7,
    bayerMYYC = 8,
};

}  // namespace niBayerConversions
