// Images of the tool bar tools and the window icon, drawn in code.
#pragma once

#include <wx/bitmap.h>
#include <wx/icon.h>

wxBitmap camera_tool_image();
wxBitmap settings_tool_image();
wxBitmap exit_tool_image();
wxIcon station_icon();
