// Stream buffers that replace those of std::wcout and std::wcerr while the
// journal window exists. They keep no put area, so every character reaches
// overflow() at once and goes on to the journal window and file.
// User-interface thread only.
#pragma once

#include <iostream>
#include <streambuf>

class log_viewer;

class ui_redirector : public std::wstreambuf {
  public:
    ui_redirector(std::wostream& stream, log_viewer* viewer);
    ~ui_redirector() override;
    ui_redirector(const ui_redirector&) = delete;
    ui_redirector& operator=(const ui_redirector&) = delete;

  protected:
    int_type overflow(int_type c) override;

  private:
    std::wostream& stream_;
    std::wstreambuf* previous_;
    log_viewer* viewer_;
};

// The two redirectors differ only in the stream they replace.
class ui_redirector_cout : public ui_redirector {
  public:
    explicit ui_redirector_cout(log_viewer* viewer) : ui_redirector(std::wcout, viewer) {}
};

class ui_redirector_cerr : public ui_redirector {
  public:
    explicit ui_redirector_cerr(log_viewer* viewer) : ui_redirector(std::wcerr, viewer) {}
};
