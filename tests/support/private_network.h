// A network namespace of the test process's own, holding only its loopback
// interface: discovery broadcasts and the fake GigE Vision camera stay inside
// it, and fixed ports never collide with other processes. Needs the right to
// make namespaces (root, as CI runs); without it the tests that need it skip
// themselves with the reason.
#pragma once

#include <string>

// Moves the calling thread into a new network namespace and brings its
// loopback up. Call first thing in main(): the namespace applies to the
// calling thread and the threads and processes it starts afterwards.
// Returns "" on success, else why it could not.
std::string enter_private_network();

// The reason enter_private_network() gave ("" when inside), or "not
// attempted" before it was called.
const std::string& private_network_failure();
