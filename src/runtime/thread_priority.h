// Thread priorities on a machine whose cores the recording needs: work that
// serves other machines (frames for the data access service) runs below the
// recording, so a client fetching frames never costs the recording a
// message. Linux threads have a nice value of their own.
#pragma once

// Lowers the calling thread below the recording's threads (nice 10). Any
// thread; the threads it creates afterwards inherit it. Failures are ignored:
// the thread then runs as it did.
void run_below_recording();
