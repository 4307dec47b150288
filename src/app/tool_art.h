// Images of the tool bar tools and the window icon, drawn in code.
#pragma once

#include <wx/bitmap.h>
#include <wx/icon.h>

wxBitmap camera_tool_image();
wxBitmap settings_tool_image();
wxBitmap exit_tool_image();
// The window's icon, 32 x 32; the package installs the same picture as a
// PNG file (packaging/undercam.png, which a test holds to this drawing).
wxIcon station_icon();
wxBitmap station_icon_bitmap();
