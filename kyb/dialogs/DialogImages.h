#pragma once

// Registers the compiled-in images (":/BackTopImage/Header", ":/QKestrune/Left", ":/QKestrune/SplashScreen",
// ":/QKestrune/Warning"). Needed once per process because they live in a static library; further calls do nothing.
void registerDialogImages();
