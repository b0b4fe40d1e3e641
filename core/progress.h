#pragma once
// How far the command in progress has come, for the window's status line: the bytes of a file
// being saved or loaded, the lines of a catalogue. Reports are thinned out, so that a handler may
// report after every byte.
#include <cstddef>
#include <functional>
#include <string>

namespace kv::core {

// Where progress goes: its text ("Saving HELLO: 1024 of 3000 bytes"), the count done and the
// total; a total of 0 ends the progress. Nothing goes anywhere without a sink.
using ProgressSink =
    std::function<void(const std::string& text, std::size_t done, std::size_t total)>;

// One transfer's progress: begun by the constructor, ended (the sink told) by the destructor,
// also when the command is abandoned.
class Progress {
  public:
    // `what` begins the text ("Saving HELLO"); `unit` is the plural of what is counted (bytes
    // when empty). Both are in the language of the windows (platform::translated).
    Progress(std::string what, std::size_t total, std::string unit = {});
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    // `done` of the total: passed on when it has moved by a hundredth of the total (or reached it)
    // since the last report.
    void advance(std::size_t done);

    // The text shown for a count: "Saving HELLO: 1024 of 3000 bytes".
    std::string text(std::size_t done) const;

  private:
    std::string what_;
    std::string unit_;
    std::size_t total_;
    std::size_t reported_ = 0;
};

// Installs a progress sink for the length of a scope and puts the one before it back.
class ScopedProgressSink {
  public:
    explicit ScopedProgressSink(ProgressSink sink);
    ~ScopedProgressSink();
    ScopedProgressSink(const ScopedProgressSink&) = delete;
    ScopedProgressSink& operator=(const ScopedProgressSink&) = delete;

  private:
    ProgressSink previous_;
};

}  // namespace kv::core
