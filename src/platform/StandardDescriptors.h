#pragma once

// Opens /dev/null on whichever of descriptors 0, 1 and 2 is closed, so that the first file,
// socket or log the program opens does not become its standard input, output or error (where
// a warning would then land). Called first thing in main, before any library opens anything.
// Plain POSIX, for every program of the project. Returns false when /dev/null cannot be opened.
bool OpenStandardDescriptors();
