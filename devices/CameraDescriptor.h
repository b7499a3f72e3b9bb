#pragma once
#include <string>

// One connected camera as a camera library lists it.
struct CameraDescriptor {
    std::string kind;  // kind label of the library row: "Pg grabber", "Lumenera camera"
    std::string id;    // the text after the first "#" of the name, or the whole name
    std::string name;  // as the library returned it
};
