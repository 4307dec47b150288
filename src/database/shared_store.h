// Read handles of session databases, shared within the process.
//
// The store locks its folder while a handle is open, so a second open of the
// same database in this process fails, and opening one costs some tens of
// milliseconds (it rewrites its descriptor). Readers that look at one
// database (parallel data connections, the viewer, requests one after the
// other) therefore share one handle; a handle nobody uses is closed after a
// few idle seconds, or at once when a writer needs the folder (release()).
// Safe from any thread.
#pragma once

#include <leveldb/db.h>

#include <memory>
#include <string>

class shared_store {
  public:
    // The open handle of the database at `path` (never creating it). A folder
    // without a store is refused before the store could leave its files in
    // it. Throws the store's status text.
    static std::shared_ptr<leveldb::DB> open(const std::string& path);

    // Closes the handle of `path` if no reader holds it, so that a writer
    // (recording, relabelling) can open the folder.
    static void release(const std::string& path);

    // Closes every handle no reader holds, so that their descriptors are
    // free at once (for a process short of descriptors).
    static void release_idle();
};
