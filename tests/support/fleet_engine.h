// The fleet store's engine for tests: scripts/fleet_engine.sh's one-node Ceph
// RADOS Gateway, started in a temporary folder of its own and in the network
// namespace of the calling thread (a suite enters its private one first,
// private_network.h), with the faults tests need. The object owns the
// daemons: it stops them and removes the folder when destroyed, and a
// watchdog process does the same when the test program dies without
// destroying it (a crash, SIGKILL, a failed assertion in a child), so no
// daemon outlives the program that started it.
//
// Not thread-safe: one thread drives an engine. Every method that runs the
// script throws std::runtime_error with the script's own error text (and the
// tail of the log that says why) when it fails.
#pragma once

#include "support/program_run.h"

#include <string>
#include <sys/types.h>
#include <vector>

struct s3_account {
    std::string access_key;
    std::string secret_key;
};

class fleet_engine {
  public:
    // Why the engine cannot run here ("" when it can): its packages are
    // missing (scripts/setup.sh --tests installs them).
    static std::string unavailable();

    // The test program's engine, started on first use and stopped at exit:
    // one per program however many suites use it. A start that failed fails
    // every later call at once with the same reason.
    static fleet_engine& shared();

    // Starts an engine of its own on an empty folder; `idle` runs its daemons
    // in the idle CPU and I/O scheduling classes.
    explicit fleet_engine(bool idle = false);
    ~fleet_engine();
    fleet_engine(const fleet_engine&) = delete;
    fleet_engine& operator=(const fleet_engine&) = delete;

    const std::string& endpoint() const { return endpoint_; }  // http://127.0.0.1:PORT
    // The gateway's TLS endpoint and the self-signed certificate that a
    // client must be given to trust it.
    const std::string& https_endpoint();
    std::string ca_file() const { return dir_ + "/tls/ca.pem"; }
    const std::string& bucket() const { return bucket_; }
    const s3_account& account() const { return account_; }
    const std::string& dir() const { return dir_; }
    // What the last start printed on its standard output, unchanged.
    const std::string& start_output() const { return start_output_; }
    // The monitor's and the gateway's ports, and the pids of the daemons
    // running now (monitor, OSD, gateway).
    std::vector<int> ports() const;
    std::vector<pid_t> daemon_pids() const;

    // Starts what does not run: everything after stop(), the gateway after
    // kill_gateway(). Data, keys and (while free) ports are kept.
    void start();
    void stop();          // stops every daemon; returns once their ports are free
    void kill_gateway();  // SIGKILL, as a crash would
    // The OSD frozen: requests that reach the data wait 3 s and get
    // "408 RequestTimeout"; resume_store() thaws it and waits until the store
    // answers.
    void pause_store();
    void resume_store();
    // The gateway sheds load: every request gets "503 SlowDown" at once until
    // speed_up().
    void slow_down();
    void speed_up();
    // A user of its own with fresh keys.
    s3_account add_user(const std::string& name);

    // Debian's awscli with the engine's endpoint and keys in its environment
    // (region us-east-1, no instance metadata, one attempt: a fault shows at
    // once): `aws --endpoint-url ENDPOINT ARGS...`. Its 2.9 cannot show an
    // error answer whose XML has an empty Message, as the gateway's have (it
    // prints "argument of type 'NoneType' is not iterable"): read status codes
    // from head-object and head-bucket, whose errors have no body ("(403)").
    program_result aws(const std::vector<std::string>& args) const;
    program_result aws(const std::vector<std::string>& args, const s3_account& as,
                       const std::string& endpoint) const;

  private:
    // Runs `fleet_engine.sh COMMAND DIR ARGS...`; its standard output.
    std::string run(const std::string& command, const std::vector<std::string>& args = {});
    void take_start_output(const std::string& out);
    void start_watchdog();
    void end_watchdog(bool cleaned_up);

    bool idle_;
    std::string dir_;
    std::string start_output_;
    std::string endpoint_;
    std::string https_endpoint_;
    std::string bucket_;
    s3_account account_;
    int watchdog_fd_ = -1;  // closing it unsaid makes the watchdog clean up
    pid_t watchdog_pid_ = -1;
};
