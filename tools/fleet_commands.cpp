#include "fleet_commands.h"

#include "fleet/bucket_layout.h"
#include "fleet/fleet_store.h"
#include "fleet/s3_client.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <stdexcept>

const char* const kFleetHelp = R"(
  undercam_client fleet list --endpoint URL --bucket B [--vehicle V] [--side left|right]
                             [--since TIME] [--until TIME] [--session CODE]
      Prints one row per complete session in the fleet store (one whose
      manifest.json was written), tab-separated: vehicle, side, time (the
      session folder's local time, YYYYMMDDTHHMMSS), session code, frames,
      first and last odometer count, nominal step, gaps, covered share.
      TIME is YYYYMMDDTHHMMSS, YYYY-MM-DD[ HH:MM[:SS]] or YYYY.MM.DD HH.MM.SS.

  undercam_client fleet fetch --endpoint URL --bucket B --vehicle V --side S
                              --session-time TIME --value N --out FILE.png
      Writes the frame at or after odometer count N as the station's data
      service would send it (the same PNG), fetched with one ranged GET.

  undercam_client fleet restore --endpoint URL --bucket B --vehicle V --side S
                                --session-time TIME --out-dir DIR
      Rebuilds the session as DIR/<folder>, a database the station opens,
      its frames and metadata byte for byte those recorded.

  fleet commands also take --region (us-east-1), --ca-file FILE (certificates
  to trust for https; default the system's), --connect-timeout MS (10000) and
  --timeout MS (30000: a transfer that moves nothing for so long fails). The
  keys come from --access-key and --secret-key, or from AWS_ACCESS_KEY_ID and
  AWS_SECRET_ACCESS_KEY as other S3 tools take them.
)";

namespace {

using option_map = std::map<std::string, std::string>;

std::string option(const option_map& o, const std::string& key,
                   const std::optional<std::string>& fallback = std::nullopt) {
    const auto it = o.find(key);
    if (it != o.end()) return it->second;
    if (!fallback) throw std::runtime_error("--" + key + " is needed");
    return *fallback;
}

std::string key_from(const option_map& o, const char* name, const char* variable) {
    const auto it = o.find(name);
    if (it != o.end()) return it->second;
    if (const char* v = std::getenv(variable)) return v;
    throw std::runtime_error(std::string("--") + name + " or " + variable + " is needed");
}

// A whole decimal number of at most `max`.
uint64_t number(const option_map& o, const std::string& key,
                const std::optional<std::string>& fallback, uint64_t max) {
    const std::string text = option(o, key, fallback);
    uint64_t n = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), n);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || n > max) {
        throw std::runtime_error("--" + key + " \"" + text + "\" is not a number up to " +
                                 std::to_string(max));
    }
    return n;
}

s3_settings settings(const option_map& o) {
    s3_settings s;
    s.endpoint = option(o, "endpoint");
    s.bucket = option(o, "bucket");
    s.region = option(o, "region", "us-east-1");
    s.ca_file = option(o, "ca-file", "");
    s.access_key = key_from(o, "access-key", "AWS_ACCESS_KEY_ID");
    s.secret_key = key_from(o, "secret-key", "AWS_SECRET_ACCESS_KEY");
    s.connect_timeout = std::chrono::milliseconds(number(o, "connect-timeout", "10000", 3600000));
    s.stall_timeout = std::chrono::milliseconds(number(o, "timeout", "30000", 3600000));
    return s;
}

// "YYYYMMDDTHHMMSS" from any of the forms the help names; a date alone
// means its first second, or its last for the end of a range.
std::string time_code(const std::string& option_name, const std::string& text, bool range_end) {
    std::string digits;
    for (const char c : text) {
        if (c >= '0' && c <= '9') {
            digits += c;
        } else if (c != '-' && c != '.' && c != ':' && c != ' ' && c != 'T') {
            digits.clear();
            break;
        }
    }
    if (digits.size() == 8) digits += range_end ? "235959" : "000000";
    if (digits.size() == 12) digits += range_end ? "59" : "00";
    const std::string code =
        digits.size() == 14 ? digits.substr(0, 8) + "T" + digits.substr(8) : std::string();
    if (!bucket_layout::is_session_time(code)) {
        throw std::runtime_error("--" + option_name + " \"" + text + "\" is not a date and time");
    }
    return code;
}

// Texts as stored may hold anything: each row stays one line, every byte
// that is a control character or not UTF-8 shown as \xNN.
std::string printable(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        size_t n = c < 0x80                   ? 1
                   : (c >= 0xC2 && c <= 0xDF) ? 2
                   : (c >= 0xE0 && c <= 0xEF) ? 3
                   : (c >= 0xF0 && c <= 0xF4) ? 4
                                              : 0;
        for (size_t j = 1; j < n; ++j) {
            if (i + j >= text.size() || (static_cast<unsigned char>(text[i + j]) & 0xC0) != 0x80) {
                n = 0;
            }
        }
        if (n == 1 && c >= 0x20 && c != 0x7F && c != '\\') {
            out += char(c);
        } else if (n > 1) {
            out.append(text, i, n);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
            n = 1;
        }
        i += n;
    }
    return out;
}

int list(fleet_store& store, const option_map& o) {
    session_filter filter;
    filter.vehicle = option(o, "vehicle", "");
    filter.side = option(o, "side", "");
    if (!filter.side.empty() && filter.side != "left" && filter.side != "right") {
        throw std::runtime_error("--side is left or right");
    }
    if (o.count("since")) filter.since = time_code("since", o.at("since"), false);
    if (o.count("until")) filter.until = time_code("until", o.at("until"), true);
    const auto session = o.find("session");
    const auto places = store.sessions(filter);
    std::printf("vehicle\tside\ttime\tsession\tframes\tdpp_start\tdpp_end\tstep\tgaps\tcovered\n");
    int status = 0;
    size_t unfinished = 0;
    for (const auto& place : places) {
        std::optional<session_manifest> m;
        try {
            m = store.manifest(place.prefix);
        } catch (const manifest_error& e) {
            std::fprintf(stderr, "undercam_client: %s\n", e.what());
            status = 1;
            continue;
        }
        if (!m) {
            ++unfinished;
            continue;
        }
        if (session != o.end() && m->session != session->second) continue;
        std::printf("%s\t%s\t%s\t%s\t%llu\t%u\t%u\t%u\t%zu\t%.1f%%\n", m->vehicle.c_str(),
                    m->side.c_str(), place.time.c_str(), printable(m->session).c_str(),
                    static_cast<unsigned long long>(m->count), m->dpp_start, m->dpp_end,
                    m->cover.step, m->cover.gaps.size(), m->cover.covered * 100.0);
    }
    if (unfinished) {
        std::fprintf(stderr, "undercam_client: %zu session(s) without a manifest passed over\n",
                     unfinished);
    }
    return status;
}

session_manifest named_session(fleet_store& store, const option_map& o) {
    const std::string vehicle = option(o, "vehicle");
    const std::string side = option(o, "side");
    if (!bucket_layout::is_vehicle_name(vehicle)) {
        throw std::runtime_error("--vehicle \"" + vehicle + "\" is no vehicle name of the store");
    }
    if (!bucket_layout::is_side_name(side)) throw std::runtime_error("--side is left or right");
    const std::string time = time_code("session-time", option(o, "session-time"), false);
    const std::string prefix = vehicle + "/" + side + "/" + time + "/";
    auto m = store.manifest(prefix);
    if (!m) throw std::runtime_error("the fleet store holds no complete session at " + prefix);
    return *m;
}

int fetch(fleet_store& store, const option_map& o) {
    const std::string out = option(o, "out");
    const uint64_t value = number(o, "value", std::nullopt, UINT32_MAX);
    const session_manifest m = named_session(store, o);
    const std::vector<uint8_t> png = store.frame_png(m, uint32_t(value));
    std::ofstream file(out, std::ios::binary);
    file.write(reinterpret_cast<const char*>(png.data()), std::streamsize(png.size()));
    if (!file.flush()) throw std::runtime_error("cannot write " + out);
    std::printf("%zu bytes of PNG written to %s\n", png.size(), out.c_str());
    return 0;
}

int restore(fleet_store& store, const option_map& o) {
    const std::string dir = option(o, "out-dir");
    const session_manifest m = named_session(store, o);
    const std::string path = store.restore(m, dir);
    std::printf("%llu frames restored to %s\n", static_cast<unsigned long long>(m.count),
                path.c_str());
    return 0;
}

}  // namespace

int fleet_command(const std::string& verb, const option_map& o) {
    if (verb != "list" && verb != "fetch" && verb != "restore") {
        throw std::runtime_error("fleet takes list, fetch or restore, not \"" + verb + "\"");
    }
    s3_client client(settings(o));
    fleet_store store(client);
    if (verb == "list") return list(store, o);
    if (verb == "fetch") return fetch(store, o);
    return restore(store, o);
}
