#pragma once

// Registers the compiled-in images of the dialogs (":/BackTopImage/Header", ":/QKestrune/Left"). Needed once per
// process because they live in a static library; further calls do nothing.
void registerDialogImages();
