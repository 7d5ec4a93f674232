#pragma once

#include <QString>

// Whether the operating system runs with a 64-bit native word, whatever
// this process was built for.
bool isNative64BitSystem();

// "(x64)" or "(x86)" for the window caption.
QString captionSuffix(bool native64);

// Maps the font names of the window layout to fonts this system has with
// the same metrics.
void installFontSubstitutes();
