// The program's name, edition and version as the windows show them.
#pragma once

namespace velmora::ui {

inline constexpr const char* kProductName = "Velmora";
inline constexpr const char* kProductVersion = "1.0";
inline constexpr const char* kWindowCaption = "Velmora Photo Mosaic - Standard Edition 1.0";

}  // namespace velmora::ui
