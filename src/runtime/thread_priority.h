// Thread priorities on a machine whose cores the recording needs, in one
// place: work that serves other machines (frames for the data access
// service) and background work (a scan of the write folder) runs below the
// recording, so neither ever costs the recording a message. Linux threads
// have a scheduling class and nice value of their own.
#pragma once

// Lowers the calling thread two nice steps, for the recording's encoders:
// they work through a queue with room to spare, while the capture, the
// odometer's line, the writer and the store's own background thread must
// act when their event comes. Still far above the services. Any thread;
// failures are ignored.
void run_as_recording_worker();

// Puts the calling thread below the recording's threads: it runs on what
// time the recording leaves (SCHED_IDLE; nice 19 where that is refused): a
// nice value alone still takes a share of the cores from busy encoders. Any
// thread; the threads it creates afterwards inherit it. Failures are
// ignored: the thread then runs as it did.
void run_below_recording();

// Puts the calling thread in the idle classes for both the CPU and the disk
// (SCHED_IDLE and the idle I/O class), for work that may take hours and must
// never delay the recording's writes: an upload reading whole sessions. Any
// thread; failures are ignored.
void run_in_idle_class();
