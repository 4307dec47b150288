#include "database/load_thread.h"

#include "database/ldb_format.h"
#include "database/ldb_reader.h"
#include "database/ldb_writer.h"
#include "database/session_repair.h"
#include "database/shared_store.h"
#include "runtime/configuration.h"
#include "runtime/disk_space.h"
#include "runtime/text_encoding.h"
#include "runtime/thread_events.h"
#include "runtime/thread_priority.h"
#include "runtime/thread_name.h"

#include <wx/dir.h>
#include <wx/filename.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <sstream>
#include <thread>

namespace {

// Databases opened side by side: an open mostly waits for the disk to sync
// the store's descriptor, and those waits overlap.
constexpr size_t kOpeners = 8;

std::atomic<int> g_latest_scan{0};

// The record of a session that was closed, read with the one open of its
// store; nothing when the session lacks its closing entries.
std::optional<ldb_info> read_closed(const std::string& path) {
    if (!exact_read(*shared_store::open(path), ldb_key::count)) return std::nullopt;
    ldb_reader reader(path);  // shares the handle just opened
    return reader.read_info();
}

bool octal(char c) {
    return c >= '0' && c <= '7';
}

// A mount point as /proc/self/mounts writes it: blanks and backslashes as
// three-digit octal escapes.
std::string unescape_mount(const std::string& field) {
    std::string out;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && octal(field[i + 1]) &&
            octal(field[i + 2]) && octal(field[i + 3])) {
            out +=
                char((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0'));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

bool inside(const std::string& path, const std::string& folder) {
    if (folder == "/") return !path.empty() && path[0] == '/';
    return path.compare(0, folder.size(), folder) == 0 &&
           (path.size() == folder.size() || path[folder.size()] == '/');
}

}  // namespace

struct load_thread::folder_result {
    enum kind { pending, skipped, listed, failed } state = pending;
    ldb_info info;
    wxString error;
};

load_thread::load_thread(const app_link_ptr& link)
    : wxThread(wxTHREAD_JOINABLE),
      link_(link),
      write_folder_(link->read_text(cfg::write_path, cfg::write_path_default())),
      side_(to_narrow(link->read_text(cfg::side, cfg::side_default))),
      scan_(++g_latest_scan) {}

bool load_thread::is_current(int scan) {
    return scan == g_latest_scan.load();
}

bool load_thread::abandoned() const {
    return !is_current(scan_) || !link_->attached();
}

wxString load_thread::disk_space_text(const wxString& volume, uint64_t total, uint64_t free) {
    return wxString::Format(L"Диск: %s: Всего: %zu GB Cвободно: %zu GB", volume,
                            static_cast<size_t>(total >> 30), static_cast<size_t>(free >> 30));
}

std::string load_thread::mount_point(const std::string& path, const std::string& mounts) {
    std::istringstream lines(mounts);
    std::string best;
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::string device, folder;
        if (!(fields >> device >> folder)) continue;
        folder = unescape_mount(folder);
        if (folder.size() > 1 && folder.back() == '/') folder.pop_back();
        if (inside(path, folder) && folder.size() > best.size()) best = folder;
    }
    return best;
}

wxString load_thread::volume_name(const wxString& folder) {
    std::error_code ec;
    const auto resolved = std::filesystem::weakly_canonical(to_narrow(folder), ec);
    std::ifstream in("/proc/self/mounts");
    std::stringstream mounts;
    mounts << in.rdbuf();
    return from_narrow(mount_point(ec ? to_narrow(folder) : resolved.string(), mounts.str()));
}

wxThread::ExitCode load_thread::Entry() {
    name_this_thread("db scan");
    try {
        scan();
    } catch (const std::exception& e) {
        link_->post_error(from_narrow(e.what()));
    } catch (...) {
        link_->post_error("Unknown exception in database loading thread");
    }
    return 0;
}

std::vector<wxString> load_thread::subfolders() const {
    std::vector<wxString> paths;
    wxDir dir(write_folder_);
    if (!dir.IsOpened() || !dir.HasSubDirs()) return paths;
    wxString name;
    for (bool more = dir.GetFirst(&name, "*", wxDIR_DIRS); more; more = dir.GetNext(&name)) {
        wxFileName folder = wxFileName::DirName(write_folder_);
        folder.AppendDir(name);
        paths.push_back(folder.GetPath(wxPATH_GET_VOLUME, wxPATH_NATIVE));
    }
    return paths;
}

load_thread::folder_result load_thread::read_folder(const wxString& path) const {
    folder_result result;
    const std::string narrow = to_narrow(path);
    // A folder without a store was never a database; the one being
    // recorded joins the catalogue when its recording closes it.
    if (!holds_store(narrow) || ldb_writer::live().holds(narrow)) {
        result.state = folder_result::skipped;
        return result;
    }
    try {
        std::optional<ldb_info> info = read_closed(narrow);
        if (!info) {
            const session_repair repair = finish_unclosed_session(narrow, side_);
            if (repair.result == session_repair::finished) {
                // Told at once: the repair is done even if this scan is abandoned.
                link_->post_info(wxString::Format(L"Незакрытый сеанс %s завершен: кадров %llu",
                                                  path,
                                                  static_cast<unsigned long long>(repair.count)));
            }
            if (repair.result != session_repair::not_a_session) {
                info = ldb_reader(narrow).read_info();
            }
        }
        result.state = info ? folder_result::listed : folder_result::skipped;
        if (info) result.info = std::move(*info);
    } catch (const std::exception& e) {
        result.state = folder_result::failed;
        result.error = from_narrow(e.what());
    } catch (...) {
        result.state = folder_result::failed;
        result.error = "Unknown exception in database loading thread";
    }
    shared_store::release(narrow);  // read once: nobody waits for it here
    return result;
}

void load_thread::scan() {
    const std::vector<wxString> paths = subfolders();
    if (paths.empty()) return;

    std::vector<folder_result> results(paths.size());
    std::mutex guard;
    std::condition_variable arrived;  // a result is in, or an opener has ended
    std::atomic<size_t> next{0};
    std::atomic<bool> stop{false};
    auto open_folders = [&] {
        run_below_recording();  // a scan is background work: the window and a recording come first
        for (size_t i; !stop && !abandoned() && (i = next++) < paths.size();) {
            folder_result result = read_folder(paths[i]);
            std::lock_guard lock(guard);
            results[i] = std::move(result);
            arrived.notify_all();
        }
        std::lock_guard lock(guard);
        arrived.notify_all();
    };
    struct openers_t {
        std::vector<std::thread> threads;
        std::atomic<bool>& stop;
        ~openers_t() {
            stop = true;
            for (auto& t : threads)
                t.join();
        }
    } openers{{}, stop};
    for (size_t k = 0; k < std::min(kOpeners, paths.size()); ++k)
        openers.threads.emplace_back(open_folders);

    // Results go out in listing order, each as soon as it and all before it are in.
    for (size_t i = 0; i < paths.size(); ++i) {
        folder_result result;
        {
            std::unique_lock lock(guard);
            // Every opener notifies as it ends, and they end once the scan is abandoned.
            arrived.wait(lock,
                         [&] { return results[i].state != folder_result::pending || abandoned(); });
            if (abandoned()) return;
            result = std::move(results[i]);
        }
        if (result.state == folder_result::listed) {
            wxThreadEvent event(evt_db_list, wxID_ANY);
            event.SetString(paths[i]);
            event.SetInt(scan_);
            event.SetPayload(result.info);
            link_->post(event);
        } else if (result.state == folder_result::failed) {
            link_->post_error(result.error);
        }
    }

    if (const auto space = disk_space_of(to_narrow(write_folder_))) {
        link_->post(evt_thread_status,
                    disk_space_text(volume_name(write_folder_), space->total, space->free),
                    disk_field);
    } else {
        link_->post_error(L"Не удалось определить свободное место на диске");
    }
}
