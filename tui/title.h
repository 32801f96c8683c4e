// The frame and title bar that every full-screen page starts with.
#pragma once

#include <string>

inline constexpr const char* EditorVersionText = "VeRsIoN=4.00.05 Altura Korvane Image-safe Data Editor";
inline constexpr const char* ViewerVersionText = "VeRsIoN=4.00.05 Altura Korvane Image-safe Data Viewer";

// A version text taken apart: the number after "VeRsIoN=" up to the first
// blank, and the title after that blank.
struct VersionParts {
  std::string version;
  std::string title;
};
VersionParts splitVersionText(const char* versionText);

// The title line for a screen of `width` columns: the title at the left and
// "v" plus the version at the right, ending next to the right-hand frame.
// On a screen too narrow for both, one blank separates them and the line is
// cut at the frame, so it never runs past it.
std::string titleLine(const char* versionText, int width);

void tuiTitleBar();
