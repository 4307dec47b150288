// Read handles of session databases, shared within the process.
//
// The store locks its folder while a handle is open, so a second open of the
// same database in this process fails, and opening one costs some
// milliseconds (it rewrites its descriptor and syncs it). Readers that look
// at one database (parallel data connections, the viewer, requests one after
// the other) therefore share one handle.
//
// A handle nobody holds is idle. An idle handle is closed by the registry
// itself within idle_lifetime() plus half a second (a thread of its own runs
// while any handle is cached), or at once by release() when a writer, an
// archive or a scan is done with the folder. So no database stays locked
// against other programs for long after the station has read it.
//
// Safe from any thread. Opens of different databases run side by side; the
// registry's guard is never held while a store opens.
#pragma once

#include <leveldb/db.h>

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>

class shared_store {
  public:
    // The open handle of the database at `path` (never creating it). A folder
    // without a store is refused before the store could leave its files in
    // it. Throws the store's status text.
    static std::shared_ptr<leveldb::DB> open(const std::string& path);

    // Closes the handle of `path` if no reader holds it, so that a writer
    // (recording, relabelling) or an archive can have the folder.
    static void release(const std::string& path);

    // Closes every handle no reader holds, so that their descriptors are
    // free at once (for a process short of descriptors).
    static void release_idle();

    // How long a handle stays cached after its last holder let it go.
    static std::chrono::milliseconds idle_lifetime();
};
