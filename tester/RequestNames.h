// Names that requests carry from the window to the decoding of their answers.
#pragma once

// The name of the window's continuous-read list and of each copy of it handed to the engine.
inline constexpr const char* kContReadData = "ContReadData";
// The tag of steps whose answer a data destination shows.
inline constexpr const char* kDataWithDestination = "DataWithDestination";
