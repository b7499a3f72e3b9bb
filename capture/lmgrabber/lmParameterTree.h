#pragma once
// Loading a camera section of the host's configuration tree into a parameter record.
#include "capture/lmgrabber/lmGrabber.h"
#include "nitypes/niPtree.h"

namespace lmgrabber {

// Reads the section's keys into parameters; a missing key keeps the current value, a key of another type
// throws, and a value outside the record's range throws capture::InvalidProperty (the keys read before stay).
// With "rgb" true, "white_balance" is required, and "color_correction" (nine floats) too when it is 6.
void loadParametersFromTree(lmGrabber::lmParameters& parameters, const niTypes::niPtree& section);

}  // namespace lmgrabber
