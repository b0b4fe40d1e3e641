#include "core/progress.h"

#include "platform/texts.h"

namespace kv::core {
namespace {

ProgressSink sink;

}  // namespace

Progress::Progress(std::string what, std::size_t total, std::string unit)
    : what_(std::move(what)),
      unit_(unit.empty() ? platform::translated("Progress", "bytes").str() : std::move(unit)),
      total_(total) {
    if (sink && total_ > 0) sink(text(0), 0, total_);
}

Progress::~Progress() {
    if (sink && total_ > 0) sink({}, 0, 0);
}

void Progress::advance(std::size_t done) {
    if (!sink || total_ == 0 || done == reported_) return;
    const std::size_t step = total_ / 100 > 0 ? total_ / 100 : 1;
    if (done < total_ && done < reported_ + step) return;
    reported_ = done;
    sink(text(done), done, total_);
}

std::string Progress::text(std::size_t done) const {
    return platform::translated("Progress", "%1: %2 of %3 %4")
        .arg(what_)
        .arg(static_cast<long long>(done))
        .arg(static_cast<long long>(total_))
        .arg(unit_);
}

ScopedProgressSink::ScopedProgressSink(ProgressSink s) : previous_(std::move(sink)) {
    sink = std::move(s);
}

ScopedProgressSink::~ScopedProgressSink() {
    sink = std::move(previous_);
}

}  // namespace kv::core
