#include "app/ui_redirector.h"

#include "app/log_viewer.h"

ui_redirector::ui_redirector(std::wostream& stream, log_viewer* viewer)
    : stream_(stream), previous_(stream.rdbuf(this)), viewer_(viewer) {}

ui_redirector::~ui_redirector() {
    stream_.rdbuf(previous_);
}

ui_redirector::int_type ui_redirector::overflow(int_type c) {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    viewer_->put(traits_type::to_char_type(c));
    return c;
}
