// Base of the detached service threads: each has an I/O loop of its own and
// ends when the loop runs out of work, or when the main window goes, since
// the link then stops every service that still runs and waits (briefly) for
// its sockets to be closed, so nothing of it outlives the window.
#pragma once

#include "app_link.h"

#include <boost/asio/io_context.hpp>
#include <wx/thread.h>

#include <condition_variable>
#include <memory>
#include <mutex>

class service_thread : public wxThread {
  public:
    // The loop and its end, shared with the link's stop request, which may
    // come after this object has deleted itself.
    struct loop_state : stoppable {
        boost::asio::io_context io;
        std::mutex guard;
        std::condition_variable ended_cv;
        bool started = false;  // guarded by guard: Entry has begun
        bool ended = false;    // guarded by guard: the sockets are closed
        void stop() override;
    };

  protected:
    explicit service_thread(const app_link_ptr& link);

    boost::asio::io_context& io() { return state_->io; }
    // Called first in Entry, and at its end once every socket is closed.
    void mark_started();
    void mark_ended();

    app_link_ptr link_;
    std::shared_ptr<loop_state> state_;
};
