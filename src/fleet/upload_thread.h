// The thread that takes closed sessions to the fleet store, one at a time,
// in the idle scheduling classes for CPU and I/O so that it never costs the
// recording a message. Its work comes from an upload_queue the window fills.
//
// At its start it reads the upload state (upload_state.h) and shows every
// session the state knows: one still unfinished is queued again, one listed
// as stored is checked against its manifest in the bucket (the bucket is the
// truth) and queued again when they disagree; records of folders that are
// gone are dropped, their unfinished chunks deleted. Sessions waiting their
// turn are written to the state between uploads and during outages, so they
// are taken up at the next start too.
//
// An upload that fails for a reason that passes (no answer, a busy store) is
// tried again after growing pauses, from the first chunk not yet confirmed;
// the journal gets one row when the store stops answering and one when it
// answers again. Any other failure is one red row naming the session and
// the reason, and the session shows "ошибка". A state file that cannot be
// written stops the uploads, never the recording, and is said once.
//
// Reports only through the link: evt_fleet_state (a row's state),
// evt_fleet_progress (the status field), evt_fleet_deletable (a stored
// session verified again, or not, before the window deletes it), journal
// rows. No text it posts holds a key.
//
// Joinable: the window runs it through worker_threads; the queue's stop()
// (registered with the link) ends it within about a second.
#pragma once

#include "fleet/fleet_settings.h"
#include "fleet/upload_queue.h"
#include "runtime/app_link.h"

#include <wx/thread.h>

#include <memory>
#include <string>

class upload_thread : public wxThread {
  public:
    // `state_file`: where the upload state is kept (default_state_file()).
    upload_thread(const app_link_ptr& link, std::shared_ptr<upload_queue> queue,
                  fleet_settings settings, std::string state_file);

    // The pause before the n-th try in a row (n from 1): growing, at most a minute.
    static std::chrono::milliseconds retry_pause(int tries);

  protected:
    ExitCode Entry() override;

  private:
    void work();

    app_link_ptr link_;
    std::shared_ptr<upload_queue> queue_;
    fleet_settings settings_;
    std::string state_file_;
};
