// Small helpers for window tests.
#pragma once

#include "app/database/database_list.h"

#include <wx/app.h>
#include <wx/window.h>

#include <chrono>
#include <functional>
#include <string>

// Runs the event loop's pending work for about `ms` milliseconds.
void pump_events(int ms = 100);

// Pumps until `done` holds or the limit passes.
bool pump_until(const std::function<bool()>& done, int limit_ms = 10000);

// Saves the window's on-screen pixels as a PNG test artifact; returns the
// path, or "" when no screenshot tool is at hand.
std::string save_screenshot(wxWindow* window, const std::string& name);

// Appends one row to the list, unless its folder already has one (false then).
bool add_row(database_list& list, const ldb_entry& row);
