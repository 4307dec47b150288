// The station's data service on a free port of 127.0.0.1, for benchmarks:
// a configuration in `home`, a link to a window that drops every event, and
// the first listening instance. Frames come from the catalogue.
#pragma once

#include "runtime/app_link.h"
#include "runtime/configuration.h"
#include "services/img_service.h"

#include <boost/asio.hpp>
#include <wx/event.h>

#include <filesystem>
#include <memory>

class local_data_service {
  public:
    explicit local_data_service(const std::filesystem::path& home) {
        std::filesystem::create_directories(home / "Dunmere/config");
        config_ = open_configuration(configuration_file_name(home.string()));
        {
            boost::asio::io_context io;
            boost::asio::ip::tcp::acceptor a(io, {boost::asio::ip::make_address("127.0.0.1"), 0});
            port_ = a.local_endpoint().port();
        }
        config_->Write(cfg::data_service_port, wxString::Format("%u", port_));
        link_ = std::make_shared<app_link>(&window_, config_.get());
        (new img_service(link_))->Run();
    }
    ~local_data_service() {
        link_->detach();
        config_.reset();
    }
    local_data_service(const local_data_service&) = delete;
    local_data_service& operator=(const local_data_service&) = delete;

    unsigned short port() const { return port_; }

  private:
    class sink : public wxEvtHandler {
      public:
        void QueueEvent(wxEvent* event) override { delete event; }
    };

    sink window_;
    std::unique_ptr<wxFileConfig> config_;
    std::shared_ptr<app_link> link_;
    unsigned short port_ = 0;
};
