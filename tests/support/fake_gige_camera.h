// Aravis's fake GigE Vision camera (arv-fake-gv-camera-0.8) in a child
// process on 127.0.0.1: discovery, control and streaming over the real
// protocol. Only inside the test's private network namespace
// (private_network.h); it stops with the object.
#pragma once

#include <cstdint>
#include <string>
#include <sys/types.h>

class fake_gige_camera {
  public:
    // Why the fake camera cannot be used here; "" when it can.
    static std::string unavailable();

    // Starts the camera with this serial number, losing `lost_per_thousand`
    // of its stream packets; waits until it answers discovery.
    explicit fake_gige_camera(const std::string& serial = "FAKE1", int lost_per_thousand = 0);
    ~fake_gige_camera();
    fake_gige_camera(const fake_gige_camera&) = delete;
    fake_gige_camera& operator=(const fake_gige_camera&) = delete;

    bool answering() const;  // a discovery request is answered
    // Sets a feature through a control connection of its own, closed again
    // before the test opens the camera; false when the camera refuses.
    bool set_integer(const char* feature, int64_t value);
    bool set_float(const char* feature, double value);
    void kill();  // as a pulled cable: no goodbye
    // The station's ID for it.
    std::string id() const;
    const std::string& serial() const { return serial_; }

  private:
    std::string serial_;
    pid_t pid_ = -1;
};
