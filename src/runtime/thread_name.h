// Names the calling thread as the system shows it (/proc/PID/task/TID/comm,
// top -H, gdb), so that the share of the cores each of the station's threads
// takes can be told apart. At most 15 characters are kept. Any thread;
// failures are ignored.
#pragma once

void name_this_thread(const char* name);
