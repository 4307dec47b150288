// Finishing a session database whose recording never reached its close: the
// process was killed or the power failed, or the store failed mid-session.
// Such a database lacks "count" (the last of the closing entries), maybe
// "session" and "side" too, and its "dpp_end" may name a frame that was
// never stored, since the process can end between any two puts.
//
// Used by one thread at a time per database; never on the database being
// recorded (its folder is locked).
#pragma once

#include <cstdint>
#include <string>

struct session_repair {
    enum outcome {
        closed,         // it has its closing entries: nothing was changed
        finished,       // the missing entries were written
        not_a_session,  // no store in the folder, or a store without a single frame
    } result = closed;
    uint64_t count = 0;  // frames, when finished
};

// Completes an unclosed session from what it holds: "dpp_start" and
// "dpp_end" from its first and last frame key, "time_start" and "time_end"
// where missing (from each other, or from the folder's name), "session" and
// "side" as given unless one is stored, and "count" the number of frame
// keys. Throws the store's status text when the store cannot be opened or
// written.
session_repair finish_unclosed_session(const std::string& path, const std::string& side,
                                       const std::string& session = {});
